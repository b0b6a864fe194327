#include "tui/widgets/clear.hpp"

#include <gtest/gtest.h>

#include "tui/buffer_assert.hpp"

namespace vorlix::tui {
namespace {

using testing_support::buffer_with_lines;
using testing_support::buffers_equal;

TEST(Clear, BlanksTheAreaInTheDefaultStyle) {
    Buffer b = buffer_with_lines({"xxxx", "x中x", "xxxx"});
    b.set_style(b.area(), Style().fg(Color::Yellow).add_modifier(Modifier::Bold));
    Clear().render(Rect{1, 1, 2, 5}, b);
    Buffer expected = buffer_with_lines({"xxxx", "x  x", "x  x"});
    expected.set_style(expected.area(), Style().fg(Color::Yellow).add_modifier(Modifier::Bold));
    expected.reset_area(Rect{1, 1, 2, 2});
    EXPECT_TRUE(buffers_equal(b, expected));
    EXPECT_EQ(b.cell(1, 2).fg, Color::Reset);
}

TEST(Clear, EmptyAreaChangesNothing) {
    Buffer b = buffer_with_lines({"ab"});
    Clear().render(Rect{0, 0, 0, 0}, b);
    Clear().render(Rect{9, 9, 2, 2}, b);
    EXPECT_TRUE(buffers_equal(b, buffer_with_lines({"ab"})));
}

}  // namespace
}  // namespace vorlix::tui
