#include "app/state/number_input.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <string>

namespace vorlix::app {
namespace {

constexpr std::uint64_t U64_MAX = std::numeric_limits<std::uint64_t>::max();

constexpr auto make = NumberInput::make;

struct StepCase {
    const char* name;
    NumberInput input;
    StepDirection direction;
    std::uint64_t expected;
};

TEST(NumberInputStep, ClampsAndSaturates) {
    const StepCase cases[] = {
        {"up inside", make(240, 10, 0, 5400), StepDirection::Up, 250},
        {"up clamps at max", make(5399, 10, 0, 5400), StepDirection::Up, 5400},
        {"down clamps at min", make(12, 10, 10, 5400), StepDirection::Down, 10},
        {"down saturates at zero", make(3, 10, 0, 5400), StepDirection::Down, 0},
        {"up saturates at u64 max", make(U64_MAX - 1, 10, 0, U64_MAX), StepDirection::Up, U64_MAX},
        {"down from max", make(1000001, 100, 101, 1000001), StepDirection::Down, 999901},
    };
    for (const auto& c : cases) {
        NumberInput n = c.input;
        // Twenty nines overflow every bound, so Enter leaves them typed and invalid.
        const std::string typed(NumberInput::MAX_TYPED, '9');
        for (char digit : typed) n.push_digit(digit);
        n.apply_typed_value();
        ASSERT_TRUE(n.invalid()) << c.name;
        n.apply_step(c.direction);
        EXPECT_EQ(n.value(), c.expected) << c.name;
        // Stepping never touches what is being typed.
        EXPECT_EQ(n.edit(), typed) << c.name;
        EXPECT_TRUE(n.invalid()) << c.name;
    }
}

// One scripted session per row: characters are digits to type, 'b' is
// Backspace, 'e' Enter, 'x' Esc.
struct TypingCase {
    const char* keys;
    std::optional<std::string> edit;
    std::uint64_t value;
    bool invalid;
    const char* shown;
};

TEST(NumberInputTyping, Sessions) {
    const std::string twenty_nines(20, '9');
    const TypingCase cases[] = {
        {"", std::nullopt, 800, false, "800"},
        {"9", "9", 800, false, "9_"},
        {"a", std::nullopt, 800, false, "800"},
        {"12b", "1", 800, false, "1_"},
        {"1bb", "", 800, false, "_"},
        {"123e", std::nullopt, 123, false, "123"},
        {"0123e", std::nullopt, 123, false, "123"},
        {"5e", "5", 800, true, "5_ (enter 10\u20135400)"},
        {"5401e", "5401", 800, true, "5401_ (enter 10\u20135400)"},
        {"1be", "", 800, true, "_ (enter 10\u20135400)"},
        {"1bea", "", 800, true, "_ (enter 10\u20135400)"},
        {"1beb", "", 800, false, "_"},
        {"1bex", std::nullopt, 800, false, "800"},
        {"5e0", "50", 800, false, "50_"},
        {"5e0e", std::nullopt, 50, false, "50"},
        {"77x", std::nullopt, 800, false, "800"},
        {"99999999999999999999", twenty_nines, 800, false, nullptr},
        {"999999999999999999991", twenty_nines, 800, false, nullptr},
        {"99999999999999999999e", twenty_nines, 800, true, nullptr},
    };
    for (const auto& c : cases) {
        NumberInput n = make(800, 10, 10, 5400);
        for (const char* k = c.keys; *k; ++k) {
            switch (*k) {
                case 'b': n.pop_char(); break;
                case 'e': n.apply_typed_value(); break;
                case 'x': n.cancel_typing(); break;
                default: n.push_digit(*k);
            }
        }
        EXPECT_EQ(n.edit(), c.edit) << c.keys;
        EXPECT_EQ(n.value(), c.value) << c.keys;
        EXPECT_EQ(n.invalid(), c.invalid) << c.keys;
        if (c.shown) {
            EXPECT_EQ(n.display_text(), c.shown) << c.keys;
        }
    }
}

TEST(NumberInputTyping, LargestNumberFitsWhenInRange) {
    NumberInput n = make(0, 1, 0, U64_MAX);
    for (char c : std::string("18446744073709551615")) n.push_digit(c);
    n.apply_typed_value();
    EXPECT_EQ(n.value(), U64_MAX);
    EXPECT_FALSE(n.typing());

    for (char c : std::string("18446744073709551616")) n.push_digit(c);
    n.apply_typed_value();
    EXPECT_TRUE(n.invalid());
    EXPECT_EQ(n.value(), U64_MAX);
}

TEST(NumberInputMake, ClampsTheValueIntoItsBounds) {
    const struct {
        NumberInput input;
        std::uint64_t value;
    } cases[] = {
        {make(5, 1, 10, 20), 10},
        {make(15, 1, 10, 20), 15},
        {make(25, 1, 10, 20), 20},
        {make(15, 1, 20, 10), 20},  // crossed bounds give min
    };
    for (const auto& c : cases) EXPECT_EQ(c.input.value(), c.value) << c.input.min() << ".." << c.input.max();
}

}  // namespace
}  // namespace vorlix::app
