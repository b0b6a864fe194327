#include "app/state/ui_state.hpp"

#include <algorithm>

#include "app/services/ports.hpp"
#include "app/state/menu_lists.hpp"
#include "app/state/ui_error.hpp"
#include "base/limits.hpp"

namespace vorlix::app {
namespace {

constexpr std::uint64_t MAX_FREQUENCY_MHZ = base::MAX_FREQUENCY_MHZ;
constexpr std::uint64_t MIN_STOP_MHZ = base::MIN_STOP_FREQUENCY_MHZ;

// The configured port if present, else the first preferred port present in
// configuration order (not list order), else the first port.
std::optional<std::size_t> initial_port(const std::vector<std::string>& names, const config::Config& config) {
    if (auto at = position_of(names, config.port)) return at;
    for (const std::string& preferred : config.serial.preferred_ports) {
        if (auto at = position_of(names, preferred)) return at;
    }
    if (!names.empty()) return 0;
    return std::nullopt;
}

void move_in_list(ListState& list, std::size_t length, StepDirection direction) {
    if (length == 0) {
        list.selected.reset();
        list.offset = 0;
        return;
    }
    const std::size_t cur = list.selected.value_or(0);
    if (direction == StepDirection::Down) {
        // Compared before adding so that no stored index can wrap to the top.
        list.selected = cur >= length - 1 ? length - 1 : cur + 1;
    } else {
        list.selected = cur == 0 ? 0 : std::min(cur - 1, length - 1);
    }
}

}  // namespace

UiState::UiState(const PortList& ports, config::Config loaded, std::string path)
    : baudrates(loaded.serial.baudrates),
      acquisition(workers::make_acquisition_shared()),
      live(workers::make_live_shared()) {
    port_names.reserve(ports.size());
    for (const PortEntry& entry : ports) port_names.push_back(entry.name);
    auto rate = std::find(baudrates.begin(), baudrates.end(), loaded.baudrate);
    if (rate != baudrates.end()) baud_list.selected = static_cast<std::size_t>(rate - baudrates.begin());
    port_list.selected = initial_port(port_names, loaded);

    const config::ScanConfig& scan = loaded.scan;
    // Each editor clamps the loaded value into its bounds.
    start = NumberInput::make(loaded.start_frequency, scan.frequency_step_mhz, 0, MAX_FREQUENCY_MHZ);
    stop = NumberInput::make(loaded.stop_frequency, scan.frequency_step_mhz, MIN_STOP_MHZ, MAX_FREQUENCY_MHZ);
    points = NumberInput::make(loaded.points, scan.points_step, scan.min_points, scan.max_points);
    repeat = NumberInput::make(loaded.repeat, 1, 1, scan.max_repeat);

    config = std::move(loaded);
    config_path = std::move(path);
}

NumberInput* UiState::current_editor() {
    return const_cast<NumberInput*>(std::as_const(*this).current_editor());
}

const NumberInput* UiState::current_editor() const {
    switch (column) {
        case 0: return &start;
        case 1: return &stop;
        case 2: return &points;
        case 3: return &repeat;
        default: return nullptr;
    }
}

std::optional<std::size_t> position_of(const std::vector<std::string>& names, std::string_view text) {
    auto it = std::find(names.begin(), names.end(), text);
    if (it == names.end()) return std::nullopt;
    return static_cast<std::size_t>(it - names.begin());
}

void move_selection(UiState& state, StepDirection direction) {
    switch (state.screen) {
        case Screen::PortSelection:
            if (state.column == 0) {
                move_in_list(state.port_list, state.port_names.size(), direction);
            } else {
                move_in_list(state.baud_list, state.baudrates.size(), direction);
            }
            break;
        case Screen::Parameters:
            if (NumberInput* input = state.current_editor()) input->apply_step(direction);
            break;
        default: break;
    }
}

std::expected<void, UiError> move_column(UiState& state, ColumnDirection direction) {
    const bool right = direction == ColumnDirection::Right;
    switch (state.screen) {
        case Screen::PortSelection: state.column = right ? 1 : 0; break;
        case Screen::Parameters:
            if (right && state.column < 3) ++state.column;
            if (!right && state.column > 0) --state.column;
            break;
        default: break;
    }
    return build_menu_lists(state);
}

std::expected<std::string, UiError> selected_port(const UiState& state) {
    const auto& sel = state.port_list.selected;
    if (sel && *sel < state.port_names.size()) return state.port_names[*sel];
    return std::unexpected(UiError::NoPortSelected{});
}

std::expected<std::uint32_t, UiError> selected_baudrate(const UiState& state) {
    const auto& sel = state.baud_list.selected;
    if (sel && *sel < state.baudrates.size()) return state.baudrates[*sel];
    return std::unexpected(UiError::MenuSelection{});
}

}  // namespace vorlix::app
