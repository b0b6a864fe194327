#include "tui/keys.hpp"

#include <gtest/gtest.h>

#include <optional>

namespace vorlix::tui {
namespace {

std::string key_text(std::optional<Event> e) {
    if (!e) return "nothing";
    if (std::holds_alternative<ResizeEvent>(*e)) return "resize";
    return describe(std::get<KeyEvent>(*e));
}

TEST(Keys, CharactersAndControlCodes) {
    struct Case {
        std::uint32_t value;
        std::string key;
    };
    const Case cases[] = {
        {'q', "Char('q')"},   {'Q', "Char('Q')"},   {'5', "Char('5')"},   {'+', "Char('+')"},
        {U'é', "Char('é')"},  {'\r', "Enter"},      {'\n', "Char('j')"},  {0x1b, "Esc"},
        {0x7f, "Backspace"},  {0x08, "Backspace"},  {'\t', "Tab"},        {0x11, "Char('q')"},  // Ctrl+Q
        {0x03, "Char('c')"},  {0x1d, "Char(']')"},  {0x00, "Char(' ')"},  {0x85, "nothing"},
        {0xd800, "nothing"},  {0x110000, "nothing"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(key_text(translate_read(ReadStatus::Character, c.value)), c.key) << c.value;
    }
}

TEST(Keys, FunctionKeyCodes) {
    struct Case {
        int code;
        std::string key;
    };
    const Case cases[] = {
        {curses_key::up, "Up"},
        {curses_key::down, "Down"},
        {curses_key::left, "Left"},
        {curses_key::right, "Right"},
        {curses_key::home, "Home"},
        {curses_key::end, "End"},
        {curses_key::page_up, "PageUp"},
        {curses_key::page_down, "PageDown"},
        {curses_key::backspace, "Backspace"},
        {curses_key::delete_char, "Delete"},
        {curses_key::insert_char, "Insert"},
        {curses_key::enter, "Enter"},
        {curses_key::back_tab, "BackTab"},
        {curses_key::f0 + 5, "F(5)"},
        {curses_key::f0 + 63, "F(63)"},
        {curses_key::f0 + 64, "nothing"},
        {curses_key::resize, "resize"},
        {0777, "nothing"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(key_text(translate_read(ReadStatus::FunctionKey, static_cast<std::uint32_t>(c.code))), c.key)
            << c.code;
    }
    EXPECT_EQ(key_text(translate_read(ReadStatus::Nothing, 'q')), "nothing");
}

TEST(Keys, ModifiedKeysByNameAreTheBareKey) {
    struct Case {
        std::string_view name;
        std::optional<KeyCode> code;
    };
    const Case cases[] = {
        {"kLFT5", KeyCode::Left},   {"kRIT3", KeyCode::Right}, {"kUP", KeyCode::Up},
        {"kDN7", KeyCode::Down},    {"kHOM5", KeyCode::Home},  {"kEND2", KeyCode::End},
        {"kDC5", KeyCode::Delete},  {"kPRV5", KeyCode::PageUp}, {"kNXT3", KeyCode::PageDown},
        {"kLFTX", std::nullopt},    {"kxIN", std::nullopt},    {"", std::nullopt},
    };
    for (const Case& c : cases) {
        const auto key = key_from_extended_name(c.name);
        ASSERT_EQ(key.has_value(), c.code.has_value()) << c.name;
        if (key) {
            EXPECT_EQ(key->code, *c.code) << c.name;
        }
    }
}

TEST(Keys, EventsArePressesUnlessToldOtherwise) {
    const KeyEvent k = KeyEvent::character(U'm');
    EXPECT_EQ(k.kind, KeyKind::Press);
    EXPECT_TRUE(k.is_char(U'm'));
    EXPECT_FALSE(KeyEvent::key(KeyCode::Enter).is_char(0));
}

}  // namespace
}  // namespace vorlix::tui
