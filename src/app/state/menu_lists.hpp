#pragma once
// The two cached menu list widgets of the port screen: built once before
// the event loop starts, then given their titles and colours again whenever
// the active column changes, so the active list is the bright one.

#include <expected>
#include <string>

#include "app/state/ui_error.hpp"

namespace vorlix::app {

struct UiState;

// "Vorlix version <version>-" followed by the build's short commit hash.
std::string about_text();

// Start-up: builds the port and baud-rate list widgets, sets the about
// line, and styles the lists for the current column.
std::expected<void, UiError> build_menu_widgets(UiState& state);

// On PortSelection only: titles "COM Ports" / "Baudrate", the list of the
// current column active. A missing widget is reported and the other one is
// dropped. Other screens: nothing.
std::expected<void, UiError> build_menu_lists(UiState& state);

}  // namespace vorlix::app
