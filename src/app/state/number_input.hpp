#pragma once
// One numeric editor of the parameter menu: the value in force, its bounds
// and step, and the digits being typed. A typed number replaces the value
// only when it parses and lies within the bounds, so the value always stays
// in [min, max].

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace vorlix::app {

enum class StepDirection : std::uint8_t { Up, Down };

class NumberInput {
public:
    // Longest typed text; 20 digits hold every 64-bit number and then some.
    static constexpr std::size_t MAX_TYPED = 20;

    NumberInput() = default;
    // An editor that is not typing; `value` is clamped into [min, max]
    // (to `min` for crossed bounds, which must not crash the menu).
    static NumberInput make(std::uint64_t value, std::uint64_t step, std::uint64_t min, std::uint64_t max);

    std::uint64_t value() const { return value_; }
    std::uint64_t step() const { return step_; }
    std::uint64_t min() const { return min_; }
    std::uint64_t max() const { return max_; }
    // Present while typing; digits only.
    const std::optional<std::string>& edit() const { return edit_; }
    bool typing() const { return edit_.has_value(); }
    // Enter found the typed text unusable.
    bool invalid() const { return invalid_; }

    // Adds or takes away `step`, saturating, then clamps into [min, max].
    // The typed text and the invalid flag are left alone.
    void apply_step(StepDirection direction);

    // Only '0'..'9' do anything; the first digit starts typing.
    void push_digit(char c);
    // Removes the last typed character; typing goes on even when empty.
    void pop_char();
    // Drops the typed text; the value stays.
    void cancel_typing();
    // Enter while typing: takes the number if it is usable, otherwise marks
    // the text invalid and keeps typing.
    void apply_typed_value();

    // "1234", "12_", "_", or "12_ (enter 10–5400)" after a failed Enter.
    std::string display_text() const;

    bool operator==(const NumberInput&) const = default;

private:
    std::optional<std::string> edit_;
    std::uint64_t value_ = 0;
    std::uint64_t step_ = 1;
    std::uint64_t min_ = 0;
    std::uint64_t max_ = 0;
    bool invalid_ = false;
};

}  // namespace vorlix::app
