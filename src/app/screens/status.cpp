// The screens of a single scan that has not produced a plot: the running
// scan with its gauge, and the final status.

#include "app/screens/frame.hpp"
#include "app/screens/screens.hpp"
#include "app/state/ui_state.hpp"
#include "tui/core/layout.hpp"
#include "tui/widgets/line_gauge.hpp"

namespace vorlix::app::screens {

using tui::Color;
using tui::Constraint;

namespace {

constexpr std::string_view UNSPECIFIED_ERROR = "An unspecified error occurred";

tui::LineGauge gauge_widget(const ProgressGauge& gauge) {
    tui::LineGauge g;
    g.label(tui::Line(gauge.label))
        .ratio(gauge.ratio)
        // Without colours the filled part shows as a reversed bar.
        .filled_style(fg(Color::Blue).mono(tui::Modifier::Reversed))
        .unfilled_style(fg(Color::Red));
    return g;
}

}  // namespace

std::expected<void, UiError> render_acquiring(UiState& state, tui::Buffer& buf) {
    if (!state.progress_gauge) {
        return std::unexpected(UiError::UninitializedItemList{"Progress", 280, "src/ui/view"});
    }
    // One short lock per value, none held while drawing.
    const std::string status = workers::acquisition_status_text(state.acquisition);
    const std::string info = state.acquisition->with_lock([](auto& r) { return r.info; });
    const std::uint64_t progress = state.acquisition->with_lock([](auto& r) { return r.progress; });
    state.progress_gauge->ratio = std::min<double>(static_cast<double>(progress), 100.0) / 100.0;

    const tui::Rect column = middle_column(buf.area(), 90);
    auto [operation, gauge, details, spare1, spare2] =
        tui::vertical({Constraint::length(3), Constraint::length(1), Constraint::min(10),
                       Constraint::length(1), Constraint::length(1)})
            .areas(column);
    tui::Paragraph(tui::Text(status)).block(box("Operation")).style(fg(Color::White)).render(operation, buf);
    gauge_widget(*state.progress_gauge).render(gauge, buf);
    wrapped_box(tui::Text(info), "TinySA Info").style(fg(Color::White)).render(details, buf);
    (void)spare1;
    (void)spare2;
    return {};
}

void render_finished(const UiState& state, tui::Buffer& buf) {
    const workers::ScanPhase phase = workers::acquisition_phase(state.acquisition);
    const std::string status = workers::acquisition_status_text(state.acquisition);
    const std::optional<std::string> error = workers::acquisition_error_text(state.acquisition);

    const tui::Rect column = middle_column(buf.area(), 90);
    auto [top, failure, gap, summary, gap2, exit] =
        tui::vertical({Constraint::length(1), Constraint::length(3), Constraint::length(1),
                       Constraint::min(10), Constraint::length(1), Constraint::length(1)})
            .areas(column);
    wrapped_box(tui::Text(error ? std::string_view(*error) : UNSPECIFIED_ERROR), "Status")
        .style(fg(Color::Red))
        .render(failure, buf);
    std::string text = "Last status: ";
    text += workers::scan_phase_name(phase);
    text += "\nLast message: ";
    text += status;
    text += "\n";
    text += error.value_or("");
    wrapped_box(tui::Text(text), "Status").render(summary, buf);
    tui::Paragraph(tui::Text("Press \u21b2 or q to exit"))
        .alignment(tui::Alignment::Center)
        .render(exit, buf);
    (void)top;
    (void)gap;
    (void)gap2;
}

}  // namespace vorlix::app::screens
