#include "tui/core/utf8.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tui/core/text.hpp"

namespace vorlix::tui {
namespace {

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
        {"\xC3", 0xfffd, 1},              // truncated
        {"\x80", 0xfffd, 1},              // lone continuation
        {"\xC0\xAF", 0xfffd, 1},          // overlong "/"
        {"\xED\xA0\x80", 0xfffd, 1},      // surrogate
        {"\xF4\x90\x80\x80", 0xfffd, 1},  // above U+10FFFF
        {"\xFF", 0xfffd, 1},
    };
    for (const Case& c : cases) {
        const Decoded d = decode_utf8(c.bytes, 0);
        EXPECT_EQ(d.code_point, c.cp) << c.bytes;
        EXPECT_EQ(d.length, c.length) << c.bytes;
    }
}

TEST(Utf8, EncodesEveryLength) {
    for (char32_t c : {U'a', U'é', U'↲', U'\U0001F600'}) {
        std::string s;
        append_utf8(s, c);
        EXPECT_EQ(decode_utf8(s, 0).code_point, c);
        EXPECT_EQ(decode_utf8(s, 0).length, s.size());
    }
}

TEST(Utf8, WidthsOfTheCharactersOnOurScreens) {
    struct Case {
        std::string text;
        std::size_t width;
    };
    const Case cases[] = {
        {"abc", 3},   {"–—…·", 4},   {"↓↑←→↲", 5}, {"┌─┐│└┘", 6}, {"•", 1},
        {"中文", 4},   {"e\xCC\x81", 1},  // e with a combining acute
        {"a\tb", 3},  {"a\x1b[31mb", 6},  // ESC dropped, "[31m" is text
        {"\xFF", 1},  {"", 0},
    };
    for (const Case& c : cases) EXPECT_EQ(text_width(c.text), c.width) << c.text;
}

std::vector<std::string> graphemes(std::string_view text) {
    std::vector<std::string> out;
    GraphemeReader reader(text);
    while (auto g = reader.next()) out.emplace_back(g->text);
    return out;
}

TEST(Utf8, GraphemesKeepMarksWithTheirBaseAndDropControls) {
    EXPECT_EQ(graphemes("ae\xCC\x81z"), (std::vector<std::string>{"a", "e\xCC\x81", "z"}));
    EXPECT_EQ(graphemes("a\r\nb\x07"), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(graphemes("a\tb"), (std::vector<std::string>{"a", " ", "b"}));
    EXPECT_EQ(graphemes("\xFFx"), (std::vector<std::string>{"\xEF\xBF\xBD", "x"}));
}

TEST(Text, SplitsAtLineFeedsLikeLines) {
    struct Case {
        std::string_view text;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"", {}},
        {"a", {"a"}},
        {"a\n", {"a"}},
        {"\n", {""}},
        {"a\r\nb", {"a", "b"}},
        {"a\n\nb\n", {"a", "", "b"}},
    };
    for (const Case& c : cases) {
        const Text t(c.text);
        std::vector<std::string> got;
        for (const Line& l : t.lines) got.push_back(l.spans.at(0).content);
        EXPECT_EQ(got, c.lines) << c.text;
    }
}

}  // namespace
}  // namespace vorlix::tui
