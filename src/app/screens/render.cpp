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

}  // namespace vorlix::app
