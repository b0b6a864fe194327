#include "tui/core/wrap.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tui/core/utf8.hpp"

namespace vorlix::tui {
namespace {

using Rows = std::vector<std::string>;

TEST(Wrap, BreaksAtWordBoundaries) {
    struct Case {
        std::string_view text;
        std::uint16_t width;
        bool trim;
        Rows rows;
    };
    const Case cases[] = {
        {"hello world", 20, true, {"hello world"}},
        {"hello world", 11, true, {"hello world"}},
        {"hello world", 10, true, {"hello", "world"}},
        {"a b c", 3, true, {"a b", "c"}},
        {"one  two", 4, true, {"one", "two"}},  // the blanks at a break are dropped
        {"one  two", 8, true, {"one  two"}},
        {"abcdefghijkl", 5, true, {"abcde", "fghij", "kl"}},
        {"ab abcdefghij", 5, true, {"ab", "abcde", "fghij"}},
        {"  indented text", 20, true, {"indented text"}},
        {"  indented text", 20, false, {"  indented text"}},
        {"  indented", 9, false, {"indented"}},  // indentation that does not fit is dropped
        {"trailing   ", 20, true, {"trailing"}},
        {"trailing   ", 10, false, {"trailing  "}},
        {"a\nb c", 5, true, {"a", "b c"}},
        {"a\n\nb", 5, true, {"a", "", "b"}},
        {"   ", 5, true, {""}},
        {"", 5, true, {}},
        {"中文字", 3, true, {"中", "文", "字"}},
        {"中", 1, true, {""}},  // never fits
        {"abc", 0, true, {}},
        {"Detected tinySA Ultra family ZS406 (native raw offset 174 dB)",
         30,
         true,
         {"Detected tinySA Ultra family", "ZS406 (native raw offset 174", "dB)"}},
        {"Vorlix version 0.1.5-abc1234", 20, true, {"Vorlix version", "0.1.5-abc1234"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(wrap_words(c.text, c.width, c.trim), c.rows)
            << "\"" << c.text << "\" in " << c.width << (c.trim ? " trimmed" : "");
    }
}

TEST(Wrap, EveryRowFitsItsWidth) {
    const std::string text =
        "The quick brown fox jumps over the lazy dog; 中文 and supercalifragilistic words.";
    for (std::uint16_t width = 1; width <= 40; ++width) {
        for (const std::string& row : wrap_words(text, width)) {
            EXPECT_LE(text_width(row), width) << row;
            EXPECT_FALSE(row.starts_with(' ')) << row;
        }
    }
}

std::string shown(std::string_view text, std::uint16_t width, Alignment a) {
    const Line line(text);
    const auto g = styled_graphemes(line, {});
    const Row r = truncate_row(g, width, a);
    std::string out;
    for (std::size_t i = r.begin; i < r.end; ++i) out += g[i].symbol;
    return out;
}

TEST(Wrap, TruncationKeepsThePartTheAlignmentShows) {
    struct Case {
        std::string_view text;
        std::uint16_t width;
        Alignment alignment;
        std::string shown;
    };
    const Case cases[] = {
        {"abcdef", 4, Alignment::Left, "abcd"},   {"abcdef", 4, Alignment::Right, "cdef"},
        {"abcdef", 4, Alignment::Center, "bcde"}, {"ab", 4, Alignment::Right, "ab"},
        {"a中b", 2, Alignment::Left, "a"},        {"a中b", 3, Alignment::Right, "中b"},
        {"abc", 0, Alignment::Left, ""},
    };
    for (const Case& c : cases) EXPECT_EQ(shown(c.text, c.width, c.alignment), c.shown) << c.text;
}

TEST(Wrap, RowOffsets) {
    struct Case {
        std::size_t row_width;
        std::uint16_t width;
        Alignment alignment;
        std::uint16_t offset;
    };
    const Case cases[] = {
        {3, 10, Alignment::Left, 0},  {3, 10, Alignment::Center, 4},  {4, 10, Alignment::Center, 3},
        {3, 10, Alignment::Right, 7}, {12, 10, Alignment::Center, 0}, {12, 10, Alignment::Right, 0},
    };
    for (const Case& c : cases) EXPECT_EQ(row_offset(c.row_width, c.width, c.alignment), c.offset);
}

TEST(Wrap, GraphemesCarryTheLayeredStyles) {
    Line line(std::vector<Span>{Span("a", Style().fg(Color::Red)), Span("b")});
    line.style = Style().bg(Color::Blue);
    const auto g = styled_graphemes(line, Style().fg(Color::White).add_modifier(Modifier::Bold));
    ASSERT_EQ(g.size(), 2u);
    EXPECT_EQ(g[0].style, Style().fg(Color::Red).bg(Color::Blue).add_modifier(Modifier::Bold));
    EXPECT_EQ(g[1].style, Style().fg(Color::White).bg(Color::Blue).add_modifier(Modifier::Bold));
}

}  // namespace
}  // namespace vorlix::tui
