#pragma once
// Pieces that several screens share: the centred column every screen draws
// in, boxes, and the about box of the menus.

#include <string_view>

#include "tui/core/buffer.hpp"
#include "tui/core/rect.hpp"
#include "tui/core/style.hpp"
#include "tui/core/text.hpp"
#include "tui/widgets/block.hpp"
#include "tui/widgets/paragraph.hpp"

namespace vorlix::app::screens {

// The middle of [Min side, Percentage percent, Min side].
tui::Rect middle_column(tui::Rect area, std::uint16_t percent, std::uint16_t side = 7);

// A bordered box, titled when `title` is not empty.
tui::Block box(std::string_view title = {});

// The text in a bordered box, wrapped at word boundaries with trimming.
tui::Paragraph wrapped_box(tui::Text text, std::string_view title = {});

inline tui::Style fg(tui::Color color) { return tui::Style().fg(color); }

// The about line in an untitled box; long builds wrap instead of clipping.
void render_about(std::string_view about_line, tui::Buffer& buf, tui::Rect area);

}  // namespace vorlix::app::screens
