#include "tui/widgets/block.hpp"

#include <gtest/gtest.h>

#include <string>

#include "tui/buffer_assert.hpp"
#include "tui/core/utf8.hpp"

namespace vorlix::tui {
namespace {

using testing_support::buffer_with_lines;
using testing_support::buffers_equal;

TEST(Block, BorderWithTitleAtTheLeft) {
    Buffer b = Buffer::empty(Rect{0, 0, 10, 3});
    Block::bordered().title("Title").render(b.area(), b);
    EXPECT_TRUE(buffers_equal(b, buffer_with_lines({"┌Title───┐", "│        │", "└────────┘"})));
}

std::string repeat(std::string_view s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

TEST(Block, WidthSweepCutsTheTitleBetweenTheCorners) {
    for (std::uint16_t width = 0; width <= 12; ++width) {
        Buffer b = Buffer::empty(Rect{0, 0, width, 3});
        Block::bordered().title("Status").render(b.area(), b);
        std::string top, middle, bottom;
        if (width == 1) {
            top = "┌", middle = "│", bottom = "└";
        } else if (width >= 2) {
            const int inside = width - 2;
            const std::string title = std::string("Status").substr(0, static_cast<std::size_t>(inside));
            top = "┌" + title + repeat("─", inside - static_cast<int>(title.size())) + "┐";
            middle = "│" + std::string(static_cast<std::size_t>(inside), ' ') + "│";
            bottom = "└" + repeat("─", inside) + "┘";
        }
        Buffer expected = Buffer::empty(Rect{0, 0, width, 3});
        expected.set_string(0, 0, top);
        expected.set_string(0, 1, middle);
        expected.set_string(0, 2, bottom);
        EXPECT_TRUE(buffers_equal(b, expected)) << "width " << width;
    }
}

TEST(Block, TinyAreasKeepTheirCorners) {
    struct Case {
        Rect area;
        Buffer expected;
    };
    const Case cases[] = {
        {{0, 0, 1, 1}, buffer_with_lines({"┌"})},
        {{0, 0, 2, 2}, buffer_with_lines({"┌┐", "└┘"})},
        {{0, 0, 3, 1}, buffer_with_lines({"┌x┐"})},
    };
    for (const Case& c : cases) {
        Buffer b = Buffer::empty(c.area);
        Block::bordered().title("x").render(c.area, b);
        EXPECT_TRUE(buffers_equal(b, c.expected));
    }
    Buffer none = Buffer::empty(Rect{});
    Block::bordered().title("x").render(none.area(), none);
    EXPECT_TRUE(none.area().is_empty());
}

TEST(Block, StyleCoversTheBoxAndBorderStyleTheBorder) {
    Buffer b = Buffer::empty(Rect{0, 0, 5, 3});
    Block::bordered()
        .title("T")
        .style(Style().fg(Color::White))
        .border_style(Style().bg(Color::Blue))
        .title_style(Style().add_modifier(Modifier::Bold))
        .render(b.area(), b);
    Buffer expected = buffer_with_lines({"┌T──┐", "│   │", "└───┘"});
    expected.set_style(expected.area(), Style().fg(Color::White));
    for (std::uint16_t x = 0; x < 5; ++x) {
        expected.set_style(Rect{x, 0, 1, 1}, Style().bg(Color::Blue));
        expected.set_style(Rect{x, 2, 1, 1}, Style().bg(Color::Blue));
    }
    expected.set_style(Rect{0, 1, 1, 1}, Style().bg(Color::Blue));
    expected.set_style(Rect{4, 1, 1, 1}, Style().bg(Color::Blue));
    expected.set_style(Rect{1, 0, 1, 1}, Style().add_modifier(Modifier::Bold));
    EXPECT_TRUE(buffers_equal(b, expected));
}

TEST(Block, InnerArea) {
    struct Case {
        Block block;
        Rect area;
        Rect inner;
    };
    const Case cases[] = {
        {Block::bordered(), {2, 1, 10, 3}, {3, 2, 8, 1}},
        {Block::bordered(), {0, 0, 1, 1}, {1, 1, 0, 0}},
        {Block(), {0, 0, 10, 3}, {0, 0, 10, 3}},
        {Block().title("t"), {0, 0, 10, 3}, {0, 1, 10, 2}},
        {Block().title("t"), {0, 0, 10, 0}, {0, 0, 10, 0}},
    };
    for (const Case& c : cases) EXPECT_EQ(c.block.inner(c.area), c.inner) << describe(c.area);
}

TEST(Block, AreaIsCutToTheBufferFirst) {
    Buffer b = Buffer::empty(Rect{0, 0, 4, 2});
    Block::bordered().render(Rect{2, 1, 10, 10}, b);
    EXPECT_TRUE(buffers_equal(b, buffer_with_lines({"    ", "  ┌┐"})));
}

}  // namespace
}  // namespace vorlix::tui
