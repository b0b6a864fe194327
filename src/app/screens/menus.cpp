// The two menu screens: the port and baud-rate lists, then the four editors.

#include <array>

#include "app/screens/frame.hpp"
#include "app/screens/render.hpp"
#include "app/screens/screens.hpp"
#include "app/state/ui_state.hpp"
#include "tui/core/layout.hpp"
#include "tui/widgets/list.hpp"

namespace vorlix::app {

using tui::Color;
using tui::Constraint;

namespace {

constexpr std::string_view PORT_HELP =
    "Use \u2193\u2191 to move, \u2190\u2192 to select, and \u21b2 to continue.";
constexpr std::string_view GENERAL_HELP =
    "Use \u2193\u2191 to change, \u2190\u2192 to select, digits to type MHz/points, and \u21b2 to continue.";
constexpr std::string_view MHZ_HELP = "Type MHz; Backspace deletes, \u21b2 applies, and Esc cancels.";
constexpr std::string_view POINTS_HELP =
    "Type the point count; Backspace deletes, \u21b2 applies, and Esc cancels.";

// The active list or editor is white, the others dark grey; a terminal
// without colours shows the active one in bold instead.
tui::Style active_style(bool active) {
    return active ? screens::fg(Color::White).mono(tui::Modifier::Bold) : screens::fg(Color::DarkGray);
}

tui::List menu_list(const MenuListWidget& widget) {
    std::vector<tui::Line> items(widget.items.begin(), widget.items.end());
    tui::List list(std::move(items));
    list.block(screens::box(widget.title))
        .style(active_style(widget.active))
        .highlight_style(tui::Style().bg(Color::Blue).add_modifier(tui::Modifier::Italic));
    return list;
}

}  // namespace

std::string_view menu_help_text(const UiState& state) {
    if (state.screen == Screen::PortSelection) return PORT_HELP;
    switch (state.column) {
        case 0:
        case 1: return state.start.typing() || state.stop.typing() ? MHZ_HELP : GENERAL_HELP;
        case 2: return state.points.typing() ? POINTS_HELP : GENERAL_HELP;
        default: return GENERAL_HELP;
    }
}

void help_line(const UiState& state, tui::Buffer& buf, tui::Rect area) {
    tui::Paragraph(tui::Text(menu_help_text(state))).alignment(tui::Alignment::Center).render(area, buf);
}

namespace screens {

std::expected<void, UiError> render_port_selection(UiState& state, tui::Buffer& buf) {
    if (!state.port_list_widget) {
        return std::unexpected(UiError::UninitializedItemList{"Port", 230, "src/ui/view"});
    }
    if (!state.baud_list_widget) {
        return std::unexpected(UiError::UninitializedItemList{"Baud", 235, "src/ui/view"});
    }
    const tui::Rect column = middle_column(buf.area(), 100);
    auto [top, about, gap, lists, help] =
        tui::vertical({Constraint::length(1), Constraint::length(3), Constraint::length(1),
                       Constraint::min(10), Constraint::length(1)})
            .areas(column);
    render_about(state.about_line, buf, about);
    auto [ports, rates] =
        tui::horizontal({Constraint::percentage(50), Constraint::percentage(50)}).areas(lists);
    menu_list(*state.port_list_widget).render(ports, buf, state.port_list);
    menu_list(*state.baud_list_widget).render(rates, buf, state.baud_list);
    help_line(state, buf, help);
    (void)top;
    (void)gap;
    return {};
}

void render_parameters(const UiState& state, tui::Buffer& buf) {
    const tui::Rect column = middle_column(buf.area(), 100);
    auto [top, about, gap, editors, rest, help] =
        tui::vertical({Constraint::length(1), Constraint::length(3), Constraint::length(1),
                       Constraint::length(3), Constraint::min(0), Constraint::length(1)})
            .areas(column);
    render_about(state.about_line, buf, about);
    const auto cells = tui::horizontal({Constraint::percentage(25), Constraint::percentage(25),
                                        Constraint::percentage(25), Constraint::percentage(25)})
                           .areas(editors);
    const std::array<std::pair<std::string_view, const NumberInput*>, 4> boxes{{
        {"Start Frequency", &state.start},
        {"Stop Frequency", &state.stop},
        {"Points", &state.points},
        {"Repeat", &state.repeat},
    }};
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        tui::Paragraph(tui::Text(boxes[i].second->display_text()))
            .block(box(boxes[i].first))
            .style(active_style(i == state.column))
            .render(cells[i], buf);
    }
    help_line(state, buf, help);
    (void)top;
    (void)gap;
    (void)rest;
}

}  // namespace screens
}  // namespace vorlix::app
