#pragma once
// What a frame of each screen is drawn from, gathered before drawing: every
// text and number it shows, the cached widgets it draws, and a chart's
// samples by their version. Two frames drawn from equal inputs are the same
// frame, so while the inputs stay the terminal keeps showing the one it has
// and nothing is drawn, compared or sent.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>

#include "app/state/cached_widgets.hpp"
#include "app/state/number_input.hpp"
#include "app/state/plot_view.hpp"
#include "tui/core/rect.hpp"
#include "tui/widgets/list.hpp"
#include "workers/shared.hpp"

namespace vorlix::app {

// The two menus: the lists with their selections, or the editors.
struct MenuFrameInputs {
    bool parameters = false;
    std::string about_line;
    std::uint8_t column = 0;
    std::optional<MenuListWidget> port_list_widget;
    std::optional<MenuListWidget> baud_list_widget;
    tui::ListState port_list;
    tui::ListState baud_list;
    std::array<NumberInput, 4> editors;  // start, stop, points, repeat
    bool operator==(const MenuFrameInputs&) const = default;
};

// The running single scan and the final status: the acquisition record as
// one read sees it, and the gauge the running scan draws.
struct ScanFrameInputs {
    bool finished = false;
    std::string status;
    std::string info;
    std::optional<std::string> error;
    std::uint64_t progress = 0;
    workers::ScanPhase phase = workers::ScanPhase::Ready;
    std::optional<std::string> gauge_label;
    bool operator==(const ScanFrameInputs&) const = default;
};

// The Plot and the Live screen.
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

struct FrameInputs {
    tui::Rect area;
    std::variant<MenuFrameInputs, ScanFrameInputs, ChartFrameInputs> screen;
    bool operator==(const FrameInputs&) const = default;
};

// The inputs of the frame drawn last and the terminal's number for it.
struct FrameMemo {
    FrameInputs inputs;
    std::uint64_t frame = 0;
};

}  // namespace vorlix::app
