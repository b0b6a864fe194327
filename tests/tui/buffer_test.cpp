#include "tui/core/buffer.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tui/buffer_assert.hpp"

namespace vorlix::tui {
namespace {

using testing_support::buffer_with_lines;
using testing_support::buffers_equal;

TEST(Buffer, SetStringClipsAtTheWidthAndTheArea) {
    struct Case {
        std::uint16_t x;
        std::size_t max_width;
        std::string_view text;
        std::string_view row;
        std::uint16_t end;
    };
    const Case cases[] = {
        {0, 99, "hello", "hello", 5},
        {0, 3, "hello", "hel  ", 3},
        {2, 99, "hello", "  hel", 5},
        {0, 99, "ab中", "ab中 ", 4},
        {4, 99, "中", "     ", 4},  // a wide grapheme that would be cut is not
                                    // drawn
        {0, 3, "ab中", "ab   ", 2},
        {0, 99, "a\x1b[2Jb", "a[2Jb", 5},
    };
    for (const Case& c : cases) {
        Buffer b = Buffer::empty(Rect{0, 0, 5, 1});
        EXPECT_EQ(b.set_stringn(c.x, 0, c.text, c.max_width, {}), c.end) << c.text;
        EXPECT_TRUE(buffers_equal(b, buffer_with_lines({c.row}))) << c.text;
    }
}

TEST(Buffer, WritesOutsideTheAreaAreIgnored) {
    Buffer b = Buffer::empty(Rect{2, 2, 3, 1});
    EXPECT_EQ(b.set_string(0, 2, "xyz"), 0);
    EXPECT_EQ(b.set_string(2, 5, "xyz"), 2);
    b.set_style(Rect{0, 0, 100, 100}, Style().fg(Color::Red));
    EXPECT_EQ(b.cell(4, 2).fg, Color::Red);
    EXPECT_EQ(b.cell(2, 2).symbol, " ");
}

TEST(Buffer, WideGraphemeCoversTheNextCell) {
    Buffer b = Buffer::empty(Rect{0, 0, 4, 1});
    b.set_string(1, 0, "中", Style().fg(Color::Blue));
    EXPECT_EQ(b.cell(1, 0).symbol, "中");
    EXPECT_FALSE(b.cell(1, 0).skip);
    EXPECT_TRUE(b.cell(2, 0).skip);
    EXPECT_EQ(b.cell(2, 0).fg, Color::Blue);
}

TEST(Buffer, OverwritingHalfOfAWideGraphemeBlanksTheOtherHalf) {
    struct Case {
        std::uint16_t x;
        std::string_view text;
        std::string_view row;
    };
    const Case cases[] = {
        {1, "a", " a  "},   // over the left half
        {2, "b", "  b "},   // over the covered half
        {2, "中", "  中"},  // a wide one over the covered half
        {0, "中", "中  "},  // a wide one over the left neighbour and the left half
    };
    for (const Case& c : cases) {
        Buffer b = Buffer::empty(Rect{0, 0, 4, 1});
        b.set_string(1, 0, "中");
        b.set_string(c.x, 0, c.text);
        EXPECT_TRUE(buffers_equal(b, buffer_with_lines({c.row}))) << c.x << " " << c.text;
    }
}

TEST(Buffer, ResetAreaCutsWideGraphemesAtItsEdges) {
    Buffer b = buffer_with_lines({"中中中"});
    b.reset_area(Rect{1, 0, 3, 1});
    EXPECT_TRUE(buffers_equal(b, buffer_with_lines({"    中"})));
    b.reset_area(Rect{5, 0, 1, 1});
    EXPECT_TRUE(buffers_equal(b, buffer_with_lines({"      "})));
}

TEST(Buffer, StylesPatchOnlyWhatTheySet) {
    Buffer b = Buffer::empty(Rect{0, 0, 3, 1});
    b.set_style(Rect{0, 0, 3, 1}, Style().fg(Color::White).add_modifier(Modifier::Bold | Modifier::Italic));
    b.set_string(0, 0, "ab", Style().bg(Color::Blue).remove_modifier(Modifier::Bold));
    const Cell& a = b.cell(0, 0);
    EXPECT_EQ(a.fg, Color::White);
    EXPECT_EQ(a.bg, Color::Blue);
    EXPECT_EQ(a.modifier, Modifier::Italic);
    EXPECT_EQ(b.cell(2, 0).modifier, Modifier::Bold | Modifier::Italic);
    EXPECT_EQ(b.cell(2, 0).bg, Color::Reset);
}

TEST(Buffer, TheStandInForColoursIsKeptUntilAStyleSetsIt) {
    Buffer b = Buffer::empty(Rect{0, 0, 3, 1});
    b.set_style(Rect{0, 0, 3, 1}, Style().fg(Color::White).mono(Modifier::Bold));
    b.set_string(0, 0, "ab", Style().fg(Color::Blue));
    b.set_style(Rect{1, 0, 1, 1}, Style().mono(Modifier::None));
    EXPECT_EQ(b.cell(0, 0).monochrome, Modifier::Bold);
    EXPECT_EQ(b.cell(1, 0).monochrome, Modifier::None);
    EXPECT_EQ(b.cell(2, 0).monochrome, Modifier::Bold);
    EXPECT_EQ(Style().mono(Modifier::Bold).patch(Style().fg(Color::Red)).monochrome, Modifier::Bold);
    EXPECT_EQ(b.cell(0, 0).style().monochrome, Modifier::Bold);
    b.reset();
    EXPECT_EQ(b.cell(0, 0).monochrome, Modifier::None);
}

TEST(Buffer, SetLineLaysSpanStylesOverTheLineStyle) {
    Buffer b = Buffer::empty(Rect{0, 0, 6, 1});
    Line line(std::vector<Span>{Span("ab", Style().fg(Color::Red)), Span("cd")});
    line.style = Style().bg(Color::Gray);
    EXPECT_EQ(b.set_line(0, 0, line, 3), 3);
    Buffer expected = buffer_with_lines({"abc   "});
    expected.set_style(Rect{0, 0, 3, 1}, Style().bg(Color::Gray));
    expected.set_style(Rect{0, 0, 2, 1}, Style().fg(Color::Red));
    EXPECT_TRUE(buffers_equal(b, expected));
}

std::string updates_of(const Buffer& next, const Buffer& previous) {
    std::string out;
    for (const CellUpdate& u : next.diff(previous)) {
        out += std::to_string(u.x) + "," + std::to_string(u.y) + "=" + u.cell->symbol + " ";
    }
    return out;
}

TEST(Buffer, DiffSendsOnlyChangedCellsAndNeverCoveredOnes) {
    struct Case {
        std::string_view before;
        std::string_view after;
        std::string updates;
    };
    const Case cases[] = {
        {"abcd", "abcd", ""},        {"abcd", "abXd", "2,0=X "},
        {"abcd", "a中d", "1,0=中 "}, {"a中d", "abcd", "1,0=b 2,0=c "},
        {"中中", "中中", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(updates_of(buffer_with_lines({c.after}), buffer_with_lines({c.before})), c.updates)
            << c.before << " -> " << c.after;
    }
}

TEST(Buffer, DiffReportsStyleChanges) {
    const Buffer before = buffer_with_lines({"ab"});
    Buffer after = before;
    after.set_style(Rect{1, 0, 1, 1}, Style().add_modifier(Modifier::Reversed));
    EXPECT_EQ(updates_of(after, before), "1,0=b ");
    // Only what a terminal without colours shows changes: it must see it.
    Buffer mono = before;
    mono.set_style(Rect{0, 0, 1, 1}, Style().mono(Modifier::Bold));
    EXPECT_EQ(updates_of(mono, before), "0,0=a ");
}

TEST(Buffer, DiffAgainstAnotherAreaSendsEverything) {
    const Buffer before = buffer_with_lines({"ab"});
    const Buffer after = buffer_with_lines({"ab", "c"});
    EXPECT_EQ(updates_of(after, before), "0,0=a 1,0=b 0,1=c 1,1=  ");
}

TEST(Buffer, ComparisonReportsTheFirstDifferentCell) {
    Buffer a = buffer_with_lines({"┌─┐", "└─┘"});
    Buffer b = a;
    EXPECT_TRUE(buffers_equal(a, b));
    b.set_style(Rect{1, 1, 1, 1}, Style().fg(Color::Yellow));
    const ::testing::AssertionResult r = buffers_equal(a, b);
    ASSERT_FALSE(r);
    const std::string message = r.message();
    EXPECT_NE(message.find("(1, 1)"), std::string::npos) << message;
    EXPECT_NE(message.find("fg=Yellow"), std::string::npos) << message;
    EXPECT_NE(message.find("  1 |└─┘|"), std::string::npos) << message;
    EXPECT_FALSE(buffers_equal(a, buffer_with_lines({"┌─┐"})));
}

}  // namespace
}  // namespace vorlix::tui
