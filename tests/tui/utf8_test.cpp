#include "tui/core/utf8.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/text.hpp"
#include "tui/core/text.hpp"

namespace vorlix::tui {
namespace {

TEST(Utf8, EncodesEveryLength) {
    for (char32_t c : {U'a', U'é', U'↲', U'\U0001F600'}) {
        std::string s;
        append_utf8(s, c);
        std::size_t pos = 0;
        EXPECT_EQ(base::decode_utf8(s, pos), c);
        EXPECT_EQ(pos, s.size());
    }
}

TEST(Utf8, WidthsOfTheCharactersOnOurScreens) {
    struct Case {
        std::string text;
        std::size_t width;
    };
    const Case cases[] = {
        {"abc", 3},  {"–—…·", 4},       {"↓↑←→↲", 5},     {"┌─┐│└┘", 6},
        {"•", 1},    {"中文", 4},       {"e\xCC\x81", 1},  // e with a combining acute
        {"a\tb", 3}, {"a\x1b[31mb", 6},                    // ESC dropped, "[31m" is text
        {"\xFF", 1}, {"", 0},
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
        {"", {}},       {"a", {"a"}},           {"a\n", {"a"}},
        {"\n", {""}},   {"a\r\nb", {"a", "b"}}, {"a\n\nb\n", {"a", "", "b"}},
        {"a\r", {"a"}}, {"\r", {""}},           {"a\r\r\n\r\r", {"a\r", "\r"}},
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
