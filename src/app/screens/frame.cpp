#include "app/screens/frame.hpp"

#include <string>

#include "tui/core/layout.hpp"

namespace vorlix::app::screens {

using tui::Constraint;

tui::Rect middle_column(tui::Rect area, std::uint16_t percent, std::uint16_t side) {
    auto [left, middle, right] =
        tui::horizontal({Constraint::min(side), Constraint::percentage(percent), Constraint::min(side)})
            .areas(area);
    (void)left;
    (void)right;
    return middle;
}

tui::Block box(std::string_view title) {
    tui::Block block = tui::Block::bordered();
    if (!title.empty()) block.title(tui::Line(title));
    return block;
}

tui::Paragraph wrapped_box(tui::Text text, std::string_view title) {
    tui::Paragraph p(std::move(text));
    p.block(box(title)).wrap(tui::Wrap{true});
    return p;
}

void render_about(std::string_view about_line, tui::Buffer& buf, tui::Rect area) {
    wrapped_box(tui::Text(about_line)).render(area, buf);
}

}  // namespace vorlix::app::screens
