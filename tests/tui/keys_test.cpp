#include "tui/keys.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>

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
        {'q', "Char('q')"},  {'Q', "Char('Q')"},    {'5', "Char('5')"},  {'+', "Char('+')"},
        {U'é', "Char('é')"}, {'\r', "Enter"},       {'\n', "Char('j')"}, {0x1b, "Esc"},
        {0x7f, "Backspace"}, {0x08, "Backspace"},   {'\t', "Tab"},       {0x11, "Char('q')"},  // Ctrl+Q
        {0x03, "Char('c')"}, {0x1d, "Char(']')"},   {0x00, "Char(' ')"}, {0x85, "nothing"},
        {0xd800, "nothing"}, {0x110000, "nothing"},
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
        {curses_key::UP, "Up"},
        {curses_key::DOWN, "Down"},
        {curses_key::LEFT, "Left"},
        {curses_key::RIGHT, "Right"},
        {curses_key::HOME, "Home"},
        {curses_key::END, "End"},
        {curses_key::PAGE_UP, "PageUp"},
        {curses_key::PAGE_DOWN, "PageDown"},
        {curses_key::BACKSPACE, "Backspace"},
        {curses_key::DELETE_CHAR, "Delete"},
        {curses_key::INSERT_CHAR, "Insert"},
        {curses_key::ENTER, "Enter"},
        {curses_key::BACK_TAB, "BackTab"},
        {curses_key::SHIFT_LEFT, "Left"},
        {curses_key::SHIFT_RIGHT, "Right"},
        {curses_key::SHIFT_UP, "Up"},
        {curses_key::SHIFT_DOWN, "Down"},
        {curses_key::SHIFT_HOME, "Home"},
        {curses_key::SHIFT_END, "End"},
        {curses_key::SHIFT_DELETE, "Delete"},
        {curses_key::SHIFT_INSERT, "Insert"},
        {curses_key::SHIFT_PAGE_UP, "PageUp"},
        {curses_key::SHIFT_PAGE_DOWN, "PageDown"},
        {curses_key::F0 + 5, "F(5)"},
        {curses_key::F0 + 63, "F(63)"},
        {curses_key::F0 + 64, "nothing"},
        {curses_key::RESIZE, "resize"},
        {0777, "nothing"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(key_text(translate_read(ReadStatus::FunctionKey, static_cast<std::uint32_t>(c.code))),
                  c.key)
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
        {"kLFT5", KeyCode::Left},  {"kRIT3", KeyCode::Right},  {"kUP", KeyCode::Up},
        {"kDN7", KeyCode::Down},   {"kHOM5", KeyCode::Home},   {"kEND2", KeyCode::End},
        {"kDC5", KeyCode::Delete}, {"kPRV5", KeyCode::PageUp}, {"kNXT3", KeyCode::PageDown},
        {"kLFTX", std::nullopt},   {"kxIN", std::nullopt},     {"", std::nullopt},
    };
    for (const Case& c : cases) {
        const auto key = key_from_extended_name(c.name);
        ASSERT_EQ(key.has_value(), c.code.has_value()) << c.name;
        if (key) {
            EXPECT_EQ(key->code, *c.code) << c.name;
        }
    }
}

std::string parse_text(const EscapeParse& p) {
    switch (p.status) {
        case EscapeStatus::Key: return describe(p.key);
        case EscapeStatus::Swallow: return "swallow";
        case EscapeStatus::Incomplete: return "more";
        case EscapeStatus::NotASequence: return "not a sequence";
    }
    return "?";
}

TEST(Keys, EscapeSequencesInTheirCommonEncodings) {
    struct Case {
        std::u32string_view after_esc;
        std::string result;
    };
    const Case cases[] = {
        // Cursor keys, normal and application mode, and with modifiers.
        {U"[A", "Up"},
        {U"[B", "Down"},
        {U"[C", "Right"},
        {U"[D", "Left"},
        {U"OA", "Up"},
        {U"OB", "Down"},
        {U"OC", "Right"},
        {U"OD", "Left"},
        {U"[1;5C", "Right"},
        {U"[1;2D", "Left"},
        {U"[1;3A", "Up"},
        {U"O5B", "Down"},
        // Home and End in all their encodings.
        {U"[H", "Home"},
        {U"OH", "Home"},
        {U"[1~", "Home"},
        {U"[7~", "Home"},
        {U"[F", "End"},
        {U"OF", "End"},
        {U"[4~", "End"},
        {U"[8~", "End"},
        {U"[1;5H", "Home"},
        {U"[1;5~", "Home"},
        // The editing keypad.
        {U"[3~", "Delete"},
        {U"[2~", "Insert"},
        {U"[5~", "PageUp"},
        {U"[6~", "PageDown"},
        {U"[3;5~", "Delete"},
        {U"[6;2~", "PageDown"},
        // Starts of sequences wait for more.
        {U"", "more"},
        {U"[", "more"},
        {U"O", "more"},
        {U"[1", "more"},
        {U"[1;5", "more"},
        {U"[[", "more"},
        {U"[ ", "more"},
        // Other sequences, and broken ones, are swallowed.
        {U"[15~", "swallow"},
        {U"[9~", "swallow"},
        {U"[~", "swallow"},
        {U"[Z", "swallow"},
        {U"OP", "swallow"},
        {U"O~", "swallow"},
        {U"[?1;2c", "swallow"},
        {U"[<0;3;4M", "swallow"},
        {U"[1:2A", "swallow"},
        {U"[ q", "swallow"},
        {U"[[A", "swallow"},
        {U"[1\x1b", "swallow"},
        {U"[1\u00e9", "swallow"},
        // Esc and an ordinary key (Alt+key) is no sequence.
        {U"q", "not a sequence"},
        {U"\x1b", "not a sequence"},
        {U"o", "not a sequence"},
    };
    for (const Case& c : cases) {
        const std::string shown(c.after_esc.begin(), c.after_esc.end());
        EXPECT_EQ(parse_text(parse_escape_sequence(c.after_esc)), c.result) << shown;
    }
    // A sequence that never ends is given up on.
    const std::u32string endless = U"[" + std::u32string(MAX_ESCAPE_SEQUENCE - 2, U'1');
    EXPECT_EQ(parse_text(parse_escape_sequence(endless)), "more");
    EXPECT_EQ(parse_text(parse_escape_sequence(endless + U'1')), "swallow");
}

TEST(Keys, EventsArePressesUnlessToldOtherwise) {
    const KeyEvent k = KeyEvent::character(U'm');
    EXPECT_EQ(k.kind, KeyKind::Press);
    EXPECT_TRUE(k.is_char(U'm'));
    EXPECT_FALSE(KeyEvent::key(KeyCode::Enter).is_char(0));
}

}  // namespace
}  // namespace vorlix::tui
