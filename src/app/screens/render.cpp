#include "app/screens/render.hpp"

#include <utility>
#include <variant>

#include "app/screens/screens.hpp"
#include "app/state/ui_state.hpp"

namespace vorlix::app {
namespace {

MenuFrameInputs menu_inputs(const UiState& state) {
    return MenuFrameInputs{state.screen == Screen::Parameters,
                           state.about_line,
                           state.column,
                           state.port_list_widget,
                           state.baud_list_widget,
                           state.port_list,
                           state.baud_list,
                           {state.start, state.stop, state.points, state.repeat}};
}

ScanFrameInputs scan_inputs(const UiState& state) {
    ScanFrameInputs in = state.acquisition->with_lock([](const workers::AcquisitionShared& r) {
        return ScanFrameInputs{false, r.status, r.info, r.error, r.progress, r.phase, std::nullopt};
    });
    in.finished = state.screen == Screen::Finished;
    if (state.progress_gauge) in.gauge_label = state.progress_gauge->label;
    return in;
}

FrameInputs frame_inputs(const UiState& state, tui::Rect area) {
    switch (state.screen) {
        case Screen::PortSelection:
        case Screen::Parameters: return FrameInputs{area, menu_inputs(state)};
        case Screen::Acquiring:
        case Screen::Finished: return FrameInputs{area, scan_inputs(state)};
        case Screen::Plot:
        case Screen::Live: break;
    }
    return FrameInputs{area, screens::chart_frame_inputs(state, area, state.screen == Screen::Live)};
}

}  // namespace

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
    FrameInputs inputs = frame_inputs(state, frame.area());
    if (state.frame_memo && state.frame_memo->inputs == inputs &&
        frame.keep_previous(state.frame_memo->frame)) {
        return {};
    }
    state.frame_memo.reset();
    // A chart is drawn from the very inputs compared. The other screens
    // read the worker's values again while drawing; one that moved on
    // meanwhile differs from the one remembered, so the next turn draws
    // again.
    const auto* chart = std::get_if<ChartFrameInputs>(&inputs.screen);
    auto drawn = chart ? screens::render_chart_screen(state, *chart, frame.buffer())
                       : render_ui(state, frame.buffer());
    if (!drawn) return drawn;
    // Drawing scrolls a menu list to keep its selection visible: the menus
    // are remembered as drawing left them.
    if (auto* menu = std::get_if<MenuFrameInputs>(&inputs.screen)) *menu = menu_inputs(state);
    state.frame_memo = FrameMemo{std::move(inputs), frame.id()};
    return {};
}

}  // namespace vorlix::app
