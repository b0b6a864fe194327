#include "tui/widgets/line_gauge.hpp"

#include <algorithm>
#include <cmath>
#include <string>

namespace vorlix::tui {

LineGauge& LineGauge::ratio(double ratio) {
    ratio_ = ratio >= 0.0 ? std::min(ratio, 1.0) : 0.0;  // NaN fails the test
    return *this;
}

std::uint16_t LineGauge::filled_cells(std::uint16_t width, double ratio) {
    const double cells = std::floor(width * ratio);
    if (!(cells > 0.0)) return 0;
    return cells >= width ? width : static_cast<std::uint16_t>(cells);
}

void LineGauge::render(Rect area, Buffer& buf) const {
    const Rect inner = begin_widget(area, buf, style_, block_);
    if (inner.is_empty()) return;

    const std::uint16_t y = inner.top();
    const Line label = label_ ? *label_ : Line(std::to_string(std::lround(ratio_ * 100.0)) + "%");
    std::uint16_t start = buf.set_line(inner.left(), y, label, inner.width);
    if (start > inner.left()) start = saturating_add(start, 1);  // a blank after the label
    if (start >= inner.right()) return;
    const auto width = static_cast<std::uint16_t>(inner.right() - start);
    const auto end = static_cast<std::uint16_t>(start + filled_cells(width, ratio_));
    for (std::uint16_t x = start; x < inner.right(); ++x) {
        buf.set_grapheme(x, y, "─", 1, x < end ? filled_style_ : unfilled_style_);
    }
}

}  // namespace vorlix::tui
