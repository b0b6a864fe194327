#include "base/text.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace vorlix::base {
namespace {

// Each case through both forms: the strict one gives nothing and leaves pos
// where no valid character starts; the replacing one then gives U+FFFD for
// the one byte.
TEST(Utf8, DecodesAndRejectsMalformedSequences) {
    struct Case {
        std::string bytes;
        char32_t cp;
        std::size_t length;
    };
    const Case cases[] = {
        {"a", U'a', 1},
        {"\xC3\xA9", U'é', 2},
        {"\xE2\x94\x80", U'─', 3},
        {"\xF0\x9F\x98\x80", U'\U0001F600', 4},
        {"\xEF\xBF\xBD", 0xfffd, 3},      // the replacement character itself
        {"\xC3", 0xfffd, 1},              // truncated
        {"\xE2\x94", 0xfffd, 1},          // truncated after a good second byte
        {"\x80", 0xfffd, 1},              // lone continuation
        {"\xC0\xAF", 0xfffd, 1},          // overlong "/"
        {"\xE0\x80\xAF", 0xfffd, 1},      // overlong, three bytes
        {"\xED\xA0\x80", 0xfffd, 1},      // surrogate
        {"\xF4\x90\x80\x80", 0xfffd, 1},  // above U+10FFFF
        {"\xF5\x80\x80\x80", 0xfffd, 1},
        {"\xFF", 0xfffd, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.bytes));
        const std::string text = "x" + c.bytes + "y";
        const DecodedChar d = decode_utf8_replacing(text, 1);
        EXPECT_EQ(d.code_point, c.cp);
        EXPECT_EQ(d.length, c.length);

        std::size_t pos = 1;
        const std::optional<char32_t> strict = decode_utf8(text, pos);
        const bool valid = c.cp != 0xfffd || c.length > 1;
        EXPECT_EQ(strict.has_value(), valid);
        EXPECT_EQ(pos, valid ? 1 + c.length : 1);
        if (valid) {
            EXPECT_EQ(*strict, c.cp);
        }
    }
}

// What may reach a terminal or a log: each style on the same inputs.
TEST(EscapeControls, EveryControlCharacterIsShownEscaped) {
    using namespace std::string_literals;
    const struct {
        std::string text;
        std::string line, lines, quoted;
    } cases[] = {
        {"plain ascii \"q\" \\ ~", "plain ascii \"q\" \\ ~", "plain ascii \"q\" \\ ~",
         "plain ascii \\\"q\\\" \\\\ ~"},
        {"a\0b"s, "a\\0b", "a\\0b", "a\\0b"},
        {"l1\nl2\tx\r", "l1\\nl2\\tx\\r", "l1\nl2\tx\\r", "l1\\nl2\\tx\\r"},
        // An instrument's reply that would set the title, ring, clear and recolour.
        {"error: \x1b]0;X\x07\x1b[2J\u009b31m", "error: \\u{1b}]0;X\\u{7}\\u{1b}[2J\\u{9b}31m",
         "error: \\u{1b}]0;X\\u{7}\\u{1b}[2J\\u{9b}31m", "error: \\u{1b}]0;X\\u{7}\\u{1b}[2J\\u{9b}31m"},
        {"\x01\x1f\x7f\u0080\u009f", "\\u{1}\\u{1f}\\u{7f}\\u{80}\\u{9f}",
         "\\u{1}\\u{1f}\\u{7f}\\u{80}\\u{9f}", "\\u{1}\\u{1f}\\u{7f}\\u{80}\\u{9f}"},
        // Printable text beyond ASCII stays; the soft hyphen only in debug forms is shown.
        {"\u00a0µ€\U0001F600\u00ad", "\u00a0µ€\U0001F600\u00ad", "\u00a0µ€\U0001F600\u00ad",
         "\u00a0µ€\U0001F600\\u{ad}"},
        // A lone C1 byte or any ill-formed sequence never goes out raw.
        {"a\x9b"
         "b\xff\xe2\x82",
         "a\uFFFDb\uFFFD\uFFFD", "a\uFFFDb\uFFFD\uFFFD", "a\\x9Bb\\xFF\\xE2\\x82"},
        {"", "", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(escape_controls(c.text), c.line);
        EXPECT_EQ(escape_controls(c.text, EscapeStyle::Lines), c.lines);
        EXPECT_EQ(escape_controls(c.text, EscapeStyle::Quoted), c.quoted);
        // Escaping what is already escaped changes nothing more.
        EXPECT_EQ(escape_controls(c.line), c.line);
    }
}

}  // namespace
}  // namespace vorlix::base
