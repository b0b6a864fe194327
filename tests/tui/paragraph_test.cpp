#include "tui/widgets/paragraph.hpp"

#include <gtest/gtest.h>

#include <string>

#include "tui/buffer_assert.hpp"

namespace vorlix::tui {
namespace {

using testing_support::buffer_with_lines;
using testing_support::buffers_equal;

Buffer render(const Paragraph& p, Rect area) {
    Buffer b = Buffer::empty(area);
    p.render(area, b);
    return b;
}

TEST(Paragraph, LinesFromTheTopCutAtTheRightEdge) {
    const Buffer b = render(Paragraph(Text("hello world\nsecond\nthird\nfourth")), Rect{0, 0, 8, 3});
    EXPECT_TRUE(buffers_equal(b, buffer_with_lines({"hello wo", "second  ", "third   "})));
}

TEST(Paragraph, WrappedAndTrimmedInsideABox) {
    const Paragraph p =
        Paragraph(Text("Vorlix version 0.1.5-abc1234")).block(Block::bordered()).wrap(Wrap{.trim = true});
    EXPECT_TRUE(buffers_equal(render(p, Rect{0, 0, 18, 4}), buffer_with_lines({
                                                                "┌────────────────┐",
                                                                "│Vorlix version  │",
                                                                "│0.1.5-abc1234   │",
                                                                "└────────────────┘",
                                                            })));
    // Without room for the second row only the first is shown.
    EXPECT_TRUE(buffers_equal(render(p, Rect{0, 0, 18, 3}), buffer_with_lines({
                                                                "┌────────────────┐",
                                                                "│Vorlix version  │",
                                                                "└────────────────┘",
                                                            })));
}

TEST(Paragraph, AlignmentPlacesEachRow) {
    struct Case {
        Alignment alignment;
        std::uint16_t width;
        std::string_view row;
    };
    const Case cases[] = {
        {Alignment::Left, 9, "abc      "},  {Alignment::Center, 9, "   abc   "},
        {Alignment::Right, 9, "      abc"}, {Alignment::Center, 10, "    abc   "},
        {Alignment::Center, 2, "ab"},       {Alignment::Right, 2, "bc"},
    };
    for (const Case& c : cases) {
        const Buffer b = render(Paragraph(Text("abc")).alignment(c.alignment), Rect{0, 0, c.width, 1});
        EXPECT_TRUE(buffers_equal(b, buffer_with_lines({c.row}))) << c.width;
    }
}

TEST(Paragraph, LineAlignmentWinsOverTheParagraphs) {
    Text text(std::vector<Line>{Line("ab"), Line("cd").aligned(Alignment::Right)});
    const Buffer b = render(Paragraph(text).alignment(Alignment::Center), Rect{0, 0, 6, 2});
    EXPECT_TRUE(buffers_equal(b, buffer_with_lines({"  ab  ", "    cd"})));
}

TEST(Paragraph, WrappedCentredRowsAreCentredOneByOne) {
    const Buffer b = render(Paragraph(Text("1–6 trace · zoom")).alignment(Alignment::Center).wrap(Wrap{}),
                            Rect{0, 0, 11, 2});
    EXPECT_TRUE(buffers_equal(b, buffer_with_lines({"1–6 trace ·", "   zoom    "})));
}

TEST(Paragraph, StyleCoversTheWholeBox) {
    const Paragraph p =
        Paragraph(Text("hi")).block(Block::bordered().title("S")).style(Style().fg(Color::Red));
    Buffer expected = buffer_with_lines({"┌S──┐", "│hi │", "└───┘"});
    expected.set_style(expected.area(), Style().fg(Color::Red));
    EXPECT_TRUE(buffers_equal(render(p, Rect{0, 0, 5, 3}), expected));
}

TEST(Paragraph, SpanStylesLieOverTheParagraphStyle) {
    Text text(Line(std::vector<Span>{Span("a"), Span("b", Style().fg(Color::Yellow))}));
    const Buffer b =
        render(Paragraph(text).style(Style().fg(Color::White).bg(Color::Blue)), Rect{0, 0, 3, 1});
    Buffer expected = buffer_with_lines({"ab "});
    expected.set_style(expected.area(), Style().fg(Color::White).bg(Color::Blue));
    expected.set_style(Rect{1, 0, 1, 1}, Style().fg(Color::Yellow));
    EXPECT_TRUE(buffers_equal(b, expected));
}

TEST(Paragraph, EmptyAndTinyAreasDoNotFail) {
    const Paragraph p = Paragraph(Text("some text\nwith 中 lines")).block(Block::bordered()).wrap(Wrap{});
    for (std::uint16_t w = 0; w <= 4; ++w) {
        for (std::uint16_t h = 0; h <= 3; ++h) {
            const Buffer b = render(p, Rect{0, 0, w, h});
            EXPECT_EQ(b.area(), (Rect{0, 0, w, h}));
        }
    }
    EXPECT_TRUE(buffers_equal(render(Paragraph(Text("中")), Rect{0, 0, 1, 1}), buffer_with_lines({" "})));
}

}  // namespace
}  // namespace vorlix::tui
