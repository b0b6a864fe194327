#pragma once
// The "Visible peak" box in the top right corner of a chart: the highest
// visible level and where it is.

#include "app/state/plot_view.hpp"
#include "tui/core/buffer.hpp"
#include "tui/core/rect.hpp"

namespace vorlix::app {

// Largest size of the box; it shrinks with a smaller area.
inline constexpr std::uint16_t PEAK_BOX_WIDTH = 26;
inline constexpr std::uint16_t PEAK_BOX_HEIGHT = 4;

// Nothing is drawn without a visible peak or for an empty area.
void render_peak_marker(tui::Buffer& buf, tui::Rect area, const PlotView& view);

}  // namespace vorlix::app
