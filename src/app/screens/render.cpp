#include "app/screens/render.hpp"

#include "app/screens/screens.hpp"
#include "app/state/ui_state.hpp"

namespace vorlix::app {

std::expected<void, UiError> render_ui(UiState& state, tui::Buffer& buf) {
    switch (state.screen) {
        case Screen::PortSelection: return screens::render_port_selection(state, buf);
        case Screen::Parameters: screens::render_parameters(state, buf); return {};
        case Screen::Plot: return screens::render_plot(state, buf);
        case Screen::Acquiring: return screens::render_acquiring(state, buf);
        case Screen::Live: screens::render_live(state, buf); return {};
        case Screen::Finished: screens::render_finished(state, buf); return {};
    }
    return {};
}

std::expected<void, UiError> render_ui(UiState& state, tui::Frame& frame) {
    if (state.screen != Screen::Plot && state.screen != Screen::Live) {
        state.chart_frame.reset();
        return render_ui(state, frame.buffer());
    }
    ChartFrameInputs inputs = screens::chart_frame_inputs(state, frame.area(), state.screen == Screen::Live);
    if (state.chart_frame && state.chart_frame->inputs == inputs &&
        frame.keep_previous(state.chart_frame->frame)) {
        return {};
    }
    state.chart_frame.reset();
    auto drawn = screens::render_chart_screen(state, inputs, frame.buffer());
    if (drawn) state.chart_frame = ChartFrameMemo{std::move(inputs), frame.id()};
    return drawn;
}

}  // namespace vorlix::app
