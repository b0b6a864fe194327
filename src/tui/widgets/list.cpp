#include "tui/widgets/list.hpp"

#include <algorithm>

#include "tui/core/utf8.hpp"

namespace vorlix::tui {

std::size_t scroll_offset(std::size_t count, std::size_t height, std::optional<std::size_t> selected,
                          std::size_t offset) {
    if (count == 0) return 0;
    offset = std::min(offset, count - 1);
    if (height == 0) return offset;
    if (selected) {
        const std::size_t s = std::min(*selected, count - 1);
        if (s < offset) offset = s;
        if (s >= offset + height) offset = s + 1 - height;
    }
    return std::min(offset, count > height ? count - height : 0);
}

void List::render(Rect area, Buffer& buf, ListState& state) const {
    const Rect inner = begin_widget(area, buf, style_, block_);
    if (inner.is_empty() || items_.empty()) return;

    state.offset = scroll_offset(items_.size(), inner.height, state.selected, state.offset);
    const bool indent = state.selected.has_value() && !highlight_symbol_.empty();
    const auto symbol_width = static_cast<std::uint16_t>(
        std::min<std::size_t>(indent ? text_width(highlight_symbol_) : 0, inner.width));

    for (std::uint16_t row = 0; row < inner.height; ++row) {
        const std::size_t index = state.offset + row;
        if (index >= items_.size()) break;
        const Line& item = items_[index];
        const Rect row_area = inner.row(row);
        const bool selected = state.selected == index;
        buf.set_style(row_area, item.style);
        if (selected && indent) buf.set_stringn(inner.x, row_area.y, highlight_symbol_, symbol_width, {});
        const auto x = static_cast<std::uint16_t>(inner.x + symbol_width);
        buf.set_line(x, row_area.y, item, static_cast<std::size_t>(inner.width - symbol_width));
        if (selected) buf.set_style(row_area, highlight_style_);
    }
}

}  // namespace vorlix::tui
