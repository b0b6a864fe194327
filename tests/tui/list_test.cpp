#include "tui/widgets/list.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tui/buffer_assert.hpp"

namespace vorlix::tui {
namespace {

using testing_support::buffer_with_lines;
using testing_support::buffers_equal;

TEST(List, ScrollOffsetKeepsTheSelectionVisible) {
    struct Case {
        std::size_t count, height;
        std::optional<std::size_t> selected;
        std::size_t offset, expected;
    };
    const Case cases[] = {
        {5, 3, 0, 0, 0},
        {5, 3, 2, 0, 0},
        {5, 3, 3, 0, 1},  // one past the bottom: scroll by one
        {5, 3, 4, 0, 2},
        {5, 3, 1, 2, 1},             // above the top: scroll up to it
        {5, 3, std::nullopt, 4, 2},  // no room wasted below the last item
        {5, 3, 99, 0, 2},            // a selection past the end counts as the last item
        {2, 3, 1, 1, 0},
        {0, 3, 0, 7, 0},
        {5, 0, 4, 1, 1},
        {10, 1, 7, 0, 7},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(scroll_offset(c.count, c.height, c.selected, c.offset), c.expected)
            << c.count << " items in " << c.height << " rows, offset " << c.offset;
    }
}

std::vector<Line> items(std::initializer_list<std::string_view> texts) {
    std::vector<Line> out;
    for (auto t : texts) out.emplace_back(t);
    return out;
}

TEST(List, SelectedRowIsHighlightedAcrossTheWholeWidth) {
    const List list = List(items({"COM1", "COM3", "ttyUSB0"}))
                          .block(Block::bordered().title("COM Ports"))
                          .style(Style().fg(Color::White))
                          .highlight_style(Style().bg(Color::Blue).add_modifier(Modifier::Italic));
    Buffer b = Buffer::empty(Rect{0, 0, 12, 5});
    ListState state{1, 0};
    list.render(b.area(), b, state);
    Buffer expected = buffer_with_lines({
        "┌COM Ports─┐",
        "│COM1      │",
        "│COM3      │",
        "│ttyUSB0   │",
        "└──────────┘",
    });
    expected.set_style(expected.area(), Style().fg(Color::White));
    expected.set_style(Rect{1, 2, 10, 1}, Style().bg(Color::Blue).add_modifier(Modifier::Italic));
    EXPECT_TRUE(buffers_equal(b, expected));
    EXPECT_EQ(state, (ListState{1, 0}));
}

TEST(List, ScrollsToTheSelectedItem) {
    const List list = List(items({"a", "b", "c", "d", "e"})).highlight_style(Style().bg(Color::Blue));
    Buffer b = Buffer::empty(Rect{0, 0, 3, 2});
    ListState state{4, 0};
    list.render(b.area(), b, state);
    Buffer expected = buffer_with_lines({"d  ", "e  "});
    expected.set_style(Rect{0, 1, 3, 1}, Style().bg(Color::Blue));
    EXPECT_TRUE(buffers_equal(b, expected));
    EXPECT_EQ(state.offset, 3u);

    state.selected = 0;
    b = Buffer::empty(Rect{0, 0, 3, 2});
    list.render(b.area(), b, state);
    EXPECT_EQ(state.offset, 0u);
    EXPECT_EQ(b.cell(0, 0).symbol, "a");
}

TEST(List, HighlightSymbolIndentsEveryRowWhileSomethingIsSelected) {
    const List list = List(items({"one", "two"})).highlight_symbol(">> ");
    Buffer b = Buffer::empty(Rect{0, 0, 6, 2});
    ListState state{1, 0};
    list.render(b.area(), b, state);
    EXPECT_TRUE(buffers_equal(b, buffer_with_lines({"   one", ">> two"})));

    b = Buffer::empty(Rect{0, 0, 6, 2});
    list.render(b.area(), b);
    EXPECT_TRUE(buffers_equal(b, buffer_with_lines({"one   ", "two   "})));
}

TEST(List, ItemsFromPlainTexts) {
    const std::vector<std::string> rates{"9600", "115200"};
    Buffer b = Buffer::empty(Rect{0, 0, 6, 2});
    List(rates).render(b.area(), b);
    EXPECT_TRUE(buffers_equal(b, buffer_with_lines({"9600  ", "115200"})));
}

TEST(List, EmptyListDrawsOnlyItsBox) {
    const List list = List({}).block(Block::bordered().title("Ports"));
    Buffer b = Buffer::empty(Rect{0, 0, 8, 3});
    ListState state{0, 0};
    list.render(b.area(), b, state);
    EXPECT_TRUE(buffers_equal(b, buffer_with_lines({"┌Ports─┐", "│      │", "└──────┘"})));
}

TEST(List, TinyAreasAndWidthSweep) {
    const List list = List(items({"115200", "9600"})).block(Block::bordered());
    for (std::uint16_t w = 0; w <= 9; ++w) {
        for (std::uint16_t h = 0; h <= 3; ++h) {
            Buffer b = Buffer::empty(Rect{0, 0, w, h});
            ListState state{1, 0};
            list.render(b.area(), b, state);
            if (w >= 3 && h == 3) {
                // One row inside: the selected item, cut to the width.
                const std::string shown = std::string("9600").substr(0, w - 2u);
                std::string row;
                for (std::uint16_t x = 1; x < w - 1; ++x) row += b.cell(x, 1).symbol;
                EXPECT_EQ(row, shown + std::string(w - 2u - shown.size(), ' ')) << w;
                EXPECT_EQ(state.offset, 1u);
            }
        }
    }
}

}  // namespace
}  // namespace vorlix::tui
