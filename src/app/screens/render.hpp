#pragma once
// One complete frame of the interface for the current screen, drawn into a
// buffer the size of the terminal. The terminal object then sends only the
// cells that changed; nothing here touches a terminal, so every screen is
// tested on a plain buffer.
//
// Drawing only reads the state and the worker records (each value copied
// under a short lock of its own, never held while drawing). It does change
// what the frame owns: the lists' scroll offsets, the cached progress
// gauge's ratio, the plot's memo of what it worked out from the samples,
// and the inputs of the frame last drawn.

#include <expected>
#include <string>
#include <string_view>

#include "app/state/ui_error.hpp"
#include "tui/core/buffer.hpp"
#include "tui/core/rect.hpp"
#include "tui/terminal.hpp"

namespace vorlix::app {

struct UiState;

// Draws `state.screen` into the whole area of `buf`, which should be blank.
// A cached widget that the screen needs and that is missing gives
// UninitializedItemList; the Plot screen without a plot gives NoReturnData.
std::expected<void, UiError> render_ui(UiState& state, tui::Buffer& buf);

// The same into a terminal's frame. A screen whose frame would be the one
// on screen again (the same inputs, nothing cleared since) keeps that one
// and draws nothing, so an event-loop turn in which nothing changed sends
// nothing.
std::expected<void, UiError> render_ui(UiState& state, tui::Frame& frame);

// The key-help text of the two menus for the current column and editor.
std::string_view menu_help_text(const UiState& state);
// That text centred in a one-row area.
void help_line(const UiState& state, tui::Buffer& buf, tui::Rect area);

// "zoom +|= / -; pan left|h / right|l; reset 0|home; m peak; r repeats; n
// edits a new scan; q exits", from the configured bindings.
std::string plot_help_text(const UiState& state);

// "-128 dBm": the bound in its shortest form that reads back the same.
std::string level_label(double dbm);

}  // namespace vorlix::app
