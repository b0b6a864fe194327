#pragma once
// The drawing of each screen; render_ui picks one by `UiState::screen`.

#include <expected>

#include "app/state/frame_inputs.hpp"
#include "app/state/ui_error.hpp"
#include "tui/core/buffer.hpp"

namespace vorlix::app {
struct UiState;
}

namespace vorlix::app::screens {

std::expected<void, UiError> render_port_selection(UiState& state, tui::Buffer& buf);
void render_parameters(const UiState& state, tui::Buffer& buf);
std::expected<void, UiError> render_acquiring(UiState& state, tui::Buffer& buf);
std::expected<void, UiError> render_plot(UiState& state, tui::Buffer& buf);
void render_live(UiState& state, tui::Buffer& buf);
// The two chart screens in two steps: gathering what the frame of the Plot
// or the Live screen shows, and drawing it.
ChartFrameInputs chart_frame_inputs(const UiState& state, tui::Rect area, bool live);
std::expected<void, UiError> render_chart_screen(UiState& state, const ChartFrameInputs& inputs,
                                                 tui::Buffer& buf);
void render_finished(const UiState& state, tui::Buffer& buf);

}  // namespace vorlix::app::screens
