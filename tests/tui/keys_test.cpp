#include "tui/keys.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

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
        // Esc and an ordinary key is no sequence.
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

// Input that arrives in pieces: the first is there at once, each further
// piece comes with the next wait that gives the terminal any time at all.
class Pieces final : public InputSource {
public:
    explicit Pieces(std::vector<std::string> later) : later_(std::move(later)) {}

    bool read_more(std::string& into, int timeout_ms) override {
        waits.push_back(timeout_ms);
        if (timeout_ms <= 0 || next_ == later_.size()) return false;
        into += later_[next_++];
        return true;
    }
    // What the wait for input finds once every key before it is taken.
    bool arrive(std::string& into) {
        if (next_ == later_.size()) return false;
        into += later_[next_++];
        return true;
    }

    std::vector<int> waits;

private:
    std::vector<std::string> later_;
    std::size_t next_ = 0;
};

TEST(Keys, KeysCutAcrossReadsAndEscFollowedAtOnceByAKey) {
    struct Case {
        std::string first;
        std::vector<std::string> later;
        std::string keys;
    };
    const Case cases[] = {
        // A lone Esc is Esc once the delay has passed.
        {"\x1b", {}, "Esc"},
        // Escape sequences cut anywhere.
        {"\x1b", {"[C"}, "Right"},
        {"\x1b", {"[", "C"}, "Right"},
        {"\x1b[1;", {"5", "C"}, "Right"},
        {"\x1bO", {"D"}, "Left"},
        {"\x1b[15", {"~m"}, "nothing Char('m')"},
        // Characters cut anywhere.
        {"\xc3", {"\xa9"}, "Char('\u00e9')"},
        {"\xe2\x86", {"\x92"}, "Char('\u2192')"},
        {"\xf0", {"\x9f", "\x98\x80"}, "Char('\U0001f600')"},
        {"\x1b[", {"\xc3", "\xa9"}, "nothing"},
        // The rest of a character that never comes.
        {"\xc3", {}, "Char('\ufffd')"},
        // Esc and a key in one read, or the key within the delay.
        {"5\x1b\x1b[C", {}, "Char('5') Esc Right"},
        {"\x1b", {"\x1b[C"}, "Esc Right"},
        {"\x1b\x1b", {"[C"}, "Esc Right"},
        {"\x1b\x1b", {}, "Esc Esc"},
        {"\x1bq", {}, "Esc Char('q')"},
        {"\x1b", {"\r"}, "Esc Enter"},
        {"\x1b", {"\xc3\xa9"}, "Esc Char('\u00e9')"},
        {"\x1b[C\x1b", {}, "Right Esc"},
        // What could begin a sequence but is all that came follows Esc.
        {"\x1b[", {}, "Esc Char('[')"},
        {"\x1bO", {}, "Esc Char('O')"},
        // A sequence cut short is dropped; an Esc inside one begins the next.
        {"\x1b[1", {}, "nothing"},
        {"\x1b[1\x1b[D", {}, "nothing Left"},
        {"\x1b[1", {"\x1b", "[A"}, "nothing Up"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keys);
        Pieces source(c.later);
        std::string input = c.first;
        std::string keys;
        while (!input.empty() || source.arrive(input)) {
            if (!keys.empty()) keys += ' ';
            keys += key_text(take_key(input, source));
        }
        EXPECT_EQ(keys, c.keys);
        // Every wait for more gives the terminal a moment, and only that.
        for (int wait : source.waits) {
            EXPECT_GT(wait, 0);
            EXPECT_LE(wait, 1000);
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
