#pragma once
// The one record that the event loop and the screen drawing share on the
// main thread: the two menu lists, the four editors, the loaded
// configuration, the plot on show, the worker records, the current screen
// and a few flags. Nothing here blocks; every operation runs on the main
// thread, and none of them changes `screen` (the event loop does).

#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/state/cached_widgets.hpp"
#include "app/state/frame_inputs.hpp"
#include "app/state/number_input.hpp"
#include "app/state/plot_view.hpp"
#include "config/record.hpp"
#include "instrument/types.hpp"
#include "tui/widgets/list.hpp"
#include "workers/shared.hpp"

namespace vorlix::app {

struct PortEntry;
using PortList = std::vector<PortEntry>;
class UiError;

enum class Screen : std::uint8_t {
    PortSelection = 0,
    Parameters = 1,
    Plot = 2,
    Acquiring = 3,
    Live = 4,
    Finished = 5,
};

// The selection of one menu list; `offset`, the first row shown, is kept
// by the drawing so the selection stays visible.
using ListState = tui::ListState;

enum class ColumnDirection : std::uint8_t { Left, Right };

struct UiState {
    // Only each port entry's name is kept; the kind of port is never used.
    // Cannot fail for a validated configuration (and does not crash for an
    // unvalidated one). Both worker records are created empty.
    UiState(const PortList& ports, config::Config config, std::string config_path);

    ListState baud_list;
    std::vector<std::uint32_t> baudrates;
    ListState port_list;
    std::vector<std::string> port_names;
    std::optional<MenuListWidget> port_list_widget;
    std::optional<MenuListWidget> baud_list_widget;
    std::optional<ProgressGauge> progress_gauge;
    std::string about_line;
    config::Config config;  // as loaded; confirmations work on a clone
    std::string config_path;
    NumberInput start;
    NumberInput stop;
    NumberInput points;
    NumberInput repeat;
    std::optional<PlotView> plot;
    std::optional<FrameMemo> frame_memo;  // kept by the drawing
    std::optional<std::pair<instrument::ScanRequest, config::Config>> last_scan;
    workers::AcquisitionHandle acquisition;
    workers::LiveHandle live;
    std::uint64_t seen_generation = 0;
    Screen screen = Screen::PortSelection;
    std::uint8_t column = 0;
    bool quit = false;
    bool live_mode = false;
    bool stop_requested = false;
    bool show_peak = false;
    bool instrument_run = true;

    // The editor of the current column on Parameters (0 start .. 3 repeat).
    NumberInput* current_editor();
    const NumberInput* current_editor() const;
};

// Index of the first name equal to `text`, byte for byte.
std::optional<std::size_t> position_of(const std::vector<std::string>& names, std::string_view text);

// Up/Down: moves the active list's selection on PortSelection (stopping at
// both ends) or steps the current editor on Parameters; elsewhere nothing.
void move_selection(UiState& state, StepDirection direction);

// Left/Right between the lists or the editors, then rebuilds the cached
// menu list widgets; a missing widget is reported.
std::expected<void, UiError> move_column(UiState& state, ColumnDirection direction);

std::expected<std::string, UiError> selected_port(const UiState& state);
std::expected<std::uint32_t, UiError> selected_baudrate(const UiState& state);

}  // namespace vorlix::app
