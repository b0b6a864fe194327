#include "tui/widgets/line_gauge.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "tui/buffer_assert.hpp"

namespace vorlix::tui {
namespace {

using testing_support::buffer_with_lines;
using testing_support::buffers_equal;

const Style FILLED = Style().fg(Color::Blue);
const Style UNFILLED = Style().fg(Color::Red);

LineGauge progress(double ratio) {
    return LineGauge().label(Line("Progress:")).filled_style(FILLED).unfilled_style(UNFILLED).ratio(ratio);
}

TEST(LineGauge, LabelBlankThenTheBar) {
    Buffer b = Buffer::empty(Rect{0, 0, 20, 1});
    progress(0.5).render(b.area(), b);
    Buffer expected = buffer_with_lines({"Progress: ──────────"});
    expected.set_style(Rect{10, 0, 5, 1}, FILLED);
    expected.set_style(Rect{15, 0, 5, 1}, UNFILLED);
    EXPECT_TRUE(buffers_equal(b, expected));
}

TEST(LineGauge, FilledShareOfTheCellsAfterTheLabel) {
    struct Case {
        double ratio;
        std::uint16_t filled;
    };
    const Case cases[] = {
        {0.0, 0},  {0.05, 0}, {0.1, 1},
        {0.55, 5}, {0.99, 9}, {1.0, 10},
        {2.0, 10}, {-1.0, 0}, {std::numeric_limits<double>::quiet_NaN(), 0},
    };
    for (const Case& c : cases) {
        Buffer b = Buffer::empty(Rect{0, 0, 20, 1});
        progress(c.ratio).render(b.area(), b);
        std::uint16_t blue = 0;
        for (std::uint16_t x = 10; x < 20; ++x) {
            EXPECT_EQ(b.cell(x, 0).symbol, "─");
            if (b.cell(x, 0).fg == Color::Blue) ++blue;
        }
        EXPECT_EQ(blue, c.filled) << c.ratio;
    }
}

TEST(LineGauge, FilledCellsNeverExceedTheBar) {
    for (std::uint16_t width = 0; width < 50; ++width) {
        for (int percent = 0; percent <= 100; ++percent) {
            const std::uint16_t n = LineGauge::filled_cells(width, percent / 100.0);
            EXPECT_LE(n, width);
            EXPECT_EQ(n, static_cast<std::uint16_t>(width * percent / 100)) << width << " " << percent;
        }
    }
}

TEST(LineGauge, DefaultLabelIsThePercentage) {
    Buffer b = Buffer::empty(Rect{0, 0, 8, 1});
    LineGauge().ratio(0.42).render(b.area(), b);
    EXPECT_TRUE(buffers_equal(b, buffer_with_lines({"42% ────"})));
}

TEST(LineGauge, WidthSweepKeepsTheLabelFirst) {
    for (std::uint16_t w = 0; w <= 12; ++w) {
        Buffer b = Buffer::empty(Rect{0, 0, w, 1});
        progress(1.0).render(b.area(), b);
        const std::string label = std::string("Progress:").substr(0, w);
        Buffer expected = Buffer::empty(Rect{0, 0, w, 1});
        expected.set_string(0, 0, label);
        for (std::uint16_t x = 10; x < w; ++x) expected.set_grapheme(x, 0, "─", 1, FILLED);
        EXPECT_TRUE(buffers_equal(b, expected)) << w;
    }
    Buffer none = Buffer::empty(Rect{0, 0, 0, 0});
    progress(0.3).render(none.area(), none);
}

}  // namespace
}  // namespace vorlix::tui
