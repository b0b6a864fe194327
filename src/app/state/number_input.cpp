#include "app/state/number_input.hpp"

#include <algorithm>
#include <charconv>
#include <limits>

namespace vorlix::app {

void NumberInput::apply_step(StepDirection direction) {
    std::uint64_t next = 0;
    if (direction == StepDirection::Up) {
        constexpr auto top = std::numeric_limits<std::uint64_t>::max();
        next = value > top - step ? top : value + step;
    } else {
        next = value < step ? 0 : value - step;
    }
    // Bounds could only be crossed by a hand-built editor; clamp without
    // asserting order so such an editor cannot crash the menu.
    value = std::max(min, std::min(next, max));
}

void NumberInput::push_digit(char c) {
    if (c < '0' || c > '9') return;
    if (!edit) edit.emplace();
    if (edit->size() < MAX_TYPED) edit->push_back(c);
    invalid = false;
}

void NumberInput::pop_char() {
    if (edit && !edit->empty()) edit->pop_back();
    invalid = false;
}

void NumberInput::cancel_typing() {
    edit.reset();
    invalid = false;
}

void NumberInput::apply_typed_value() {
    if (!edit) return;
    const std::string& text = *edit;
    std::uint64_t parsed = 0;
    const char* first = text.data();
    const char* last = first + text.size();
    auto [end, ec] = std::from_chars(first, last, parsed);
    if (text.empty() || ec != std::errc{} || end != last || parsed < min || parsed > max) {
        invalid = true;
        return;
    }
    value = parsed;
    edit.reset();
    invalid = false;
}

std::string NumberInput::display_text() const {
    if (!edit) return std::to_string(value);
    if (invalid) {
        return *edit + "_ (enter " + std::to_string(min) + "\u2013" + std::to_string(max) + ")";
    }
    return *edit + "_";
}

}  // namespace vorlix::app
