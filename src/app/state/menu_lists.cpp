#include "app/state/menu_lists.hpp"

#include "app/build_info.hpp"
#include "app/state/ui_state.hpp"

namespace vorlix::app {

std::string about_text() { return "Vorlix version " VORLIX_VERSION "-" VORLIX_GIT_HASH; }

std::expected<void, UiError> build_menu_widgets(UiState& state) {
    MenuListWidget ports;
    ports.items = state.port_names;
    MenuListWidget rates;
    rates.items.reserve(state.baudrates.size());
    for (std::uint32_t rate : state.baudrates) rates.items.push_back(std::to_string(rate));
    state.port_list_widget = std::move(ports);
    state.baud_list_widget = std::move(rates);
    state.about_line = about_text();
    return build_menu_lists(state);
}

std::expected<void, UiError> build_menu_lists(UiState& state) {
    if (state.screen != Screen::PortSelection) return {};
    std::optional<MenuListWidget> ports = std::exchange(state.port_list_widget, std::nullopt);
    std::optional<MenuListWidget> rates = std::exchange(state.baud_list_widget, std::nullopt);
    if (!ports) return std::unexpected(UiError::UninitializedItemList{"Port List", 495, "src/ui/view"});
    if (!rates) return std::unexpected(UiError::UninitializedItemList{"Baud List", 503, "src/ui/view"});
    ports->title = "COM Ports";
    ports->active = state.column == 0;
    rates->title = "Baudrate";
    rates->active = state.column == 1;
    state.port_list_widget = std::move(ports);
    state.baud_list_widget = std::move(rates);
    return {};
}

}  // namespace vorlix::app
