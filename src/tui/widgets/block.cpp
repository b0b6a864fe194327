#include "tui/widgets/block.hpp"

namespace vorlix::tui {

namespace {
constexpr std::string_view HORIZONTAL = "─";
constexpr std::string_view VERTICAL = "│";
constexpr std::string_view TOP_LEFT = "┌";
constexpr std::string_view TOP_RIGHT = "┐";
constexpr std::string_view BOTTOM_LEFT = "└";
constexpr std::string_view BOTTOM_RIGHT = "┘";
}  // namespace

Rect Block::inner(Rect area) const {
    if (borders_) return area.inner({1, 1});
    if (title_) {
        const std::uint16_t rows = area.height > 0 ? 1 : 0;
        return {area.x, saturating_add(area.y, rows), area.width, saturating_sub(area.height, rows)};
    }
    return area;
}

void Block::render(Rect area, Buffer& buf) const {
    area = area.intersection(buf.area());
    if (area.is_empty()) return;
    buf.set_style(area, style_);
    const std::uint16_t left = area.left();
    const std::uint16_t top = area.top();
    const auto right = static_cast<std::uint16_t>(area.right() - 1);
    const auto bottom = static_cast<std::uint16_t>(area.bottom() - 1);
    if (borders_) {
        for (std::uint16_t x = left; x <= right; ++x) {
            buf.set_grapheme(x, top, HORIZONTAL, 1, border_style_);
            buf.set_grapheme(x, bottom, HORIZONTAL, 1, border_style_);
        }
        for (std::uint16_t y = top; y <= bottom; ++y) {
            buf.set_grapheme(left, y, VERTICAL, 1, border_style_);
            buf.set_grapheme(right, y, VERTICAL, 1, border_style_);
        }
        // Corners last, the top left one over all others, so that even a
        // one-cell box shows where it starts.
        buf.set_grapheme(right, bottom, BOTTOM_RIGHT, 1, border_style_);
        buf.set_grapheme(right, top, TOP_RIGHT, 1, border_style_);
        buf.set_grapheme(left, bottom, BOTTOM_LEFT, 1, border_style_);
        buf.set_grapheme(left, top, TOP_LEFT, 1, border_style_);
    }
    if (title_) {
        const std::uint16_t inset = borders_ ? 1 : 0;
        const std::uint16_t width = saturating_sub(area.width, static_cast<std::uint16_t>(2 * inset));
        if (width > 0)
            buf.set_line(static_cast<std::uint16_t>(left + inset), top, *title_, width, title_style_);
    }
}

}  // namespace vorlix::tui
