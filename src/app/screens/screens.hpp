#pragma once
// The drawing of each screen; render_ui picks one by `UiState::screen`.

#include <expected>

#include "app/state/ui_error.hpp"
#include "tui/core/buffer.hpp"

namespace vorlix::app {
struct UiState;
}

namespace vorlix::app::screens {

std::expected<void, UiError> render_port_selection(UiState& state, tui::Buffer& buf);
void render_parameters(const UiState& state, tui::Buffer& buf);
std::expected<void, UiError> render_acquiring(UiState& state, tui::Buffer& buf);
std::expected<void, UiError> render_plot(const UiState& state, tui::Buffer& buf);
void render_live(const UiState& state, tui::Buffer& buf);
void render_finished(const UiState& state, tui::Buffer& buf);

}  // namespace vorlix::app::screens
