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
        EXPECT_EQ(key_text(translate_read(c.value)), c.key) << c.value;
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
