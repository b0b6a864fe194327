#pragma once
// What a frame of a chart screen (Plot or Live) is drawn from, gathered
// before drawing: every text and number it shows, and the samples by their
// version. Two frames drawn from equal inputs are the same frame, so while
// the inputs stay the terminal keeps showing the one it has.

#include <cstdint>
#include <string>

#include "app/state/plot_view.hpp"
#include "tui/core/rect.hpp"

namespace vorlix::app {

struct ChartFrameInputs {
    bool live = false;
    tui::Rect area;
    std::string header;  // the text of the box above the chart
    std::string help;    // the Plot screen's key help; the Live screen's is fixed
    bool has_plot = false;
    std::uint64_t samples_version = 0;
    PlotViewport viewport;
    double low_dbm = 0.0;  // the level range
    double high_dbm = 0.0;
    bool show_peak = false;
    bool operator==(const ChartFrameInputs&) const = default;
};

// The inputs of the chart frame drawn last and the terminal's number for it.
struct ChartFrameMemo {
    ChartFrameInputs inputs;
    std::uint64_t frame = 0;
};

}  // namespace vorlix::app
