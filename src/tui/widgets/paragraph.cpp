#include "tui/widgets/paragraph.hpp"

#include <vector>

#include "tui/core/wrap.hpp"

namespace vorlix::tui {

void Paragraph::render(Rect area, Buffer& buf) const {
    const Rect inner = begin_widget(area, buf, style_, block_);
    if (inner.is_empty()) return;

    std::uint16_t y = inner.top();
    for (const Line& line : text_.lines) {
        if (y >= inner.bottom()) break;
        const std::vector<StyledGrapheme> g = styled_graphemes(line, text_.style);
        const Alignment alignment = line.alignment.value_or(alignment_);
        std::vector<Row> rows;
        if (wrap_) {
            rows = wrap_rows(g, inner.width, wrap_->trim);
        } else {
            rows.push_back(truncate_row(g, inner.width, alignment));
        }
        for (const Row& row : rows) {
            if (y >= inner.bottom()) break;
            auto x = static_cast<std::uint16_t>(inner.left() + row_offset(row.width, inner.width, alignment));
            for (std::size_t i = row.begin; i < row.end; ++i) {
                if (g[i].width == 0 || x + g[i].width > inner.right()) continue;
                buf.set_grapheme(x, y, g[i].symbol, g[i].width, g[i].style);
                x = static_cast<std::uint16_t>(x + g[i].width);
            }
            ++y;
        }
    }
}

}  // namespace vorlix::tui
