// The two chart screens: a finished scan or stored file, and the live
// capture. The chart reads the plot's samples where they lie; nothing is
// copied per frame.

#include <charconv>
#include <string>
#include <vector>

#include "app/screens/frame.hpp"
#include "app/screens/peak_marker.hpp"
#include "app/screens/render.hpp"
#include "app/screens/screens.hpp"
#include "app/state/ui_state.hpp"
#include "tui/core/layout.hpp"
#include "tui/widgets/chart.hpp"

namespace vorlix::app {

using tui::Color;
using tui::Constraint;

namespace {

constexpr std::string_view LIVE_HELP =
    "1\u20136 trace \u00b7 zoom +/= / - \u00b7 pan \u2190/\u2192 \u00b7 0 reset \u00b7 m peak \u00b7 s save "
    "\u00b7 q stop+save";
constexpr std::string_view WAITING = "Waiting for the first complete sweep\u2026";
constexpr std::string_view EM_DASH = " \u2014 ";

std::string joined(const std::vector<std::string>& bindings) {
    std::string out;
    for (const std::string& b : bindings) {
        if (!out.empty()) out += '|';
        out += b;
    }
    return out;
}

// The frequency axis: the visible window with labels at both ends and the
// middle, as precise as the window is narrow.
tui::Axis frequency_axis(const PlotViewport& v) {
    const double span = v.view_span();
    tui::Axis axis;
    axis.title(tui::Line("Frequency (MHz)"))
        .bounds(v.view_min, v.view_max)
        .labels({tui::Line(format_frequency(v.view_min, span)),
                 tui::Line(format_frequency((v.view_min + v.view_max) * 0.5, span)),
                 tui::Line(format_frequency(v.view_max, span))});
    return axis;
}

tui::Dataset samples_dataset(const PlotView& plot) {
    tui::Dataset set;
    set.marker(tui::Marker::Dot)
        .style(screens::fg(Color::Yellow))
        .data(tui::PointSource(plot.samples, &Sample::frequency_mhz, &Sample::level_dbm));
    return set;
}

}  // namespace

std::string level_label(double dbm) {
    // Fixed notation in its shortest round-trip form: "-128", "-64.5",
    // never an exponent.
    char buf[400];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, dbm, std::chars_format::fixed);
    std::string out = ec == std::errc{} ? std::string(buf, end) : std::to_string(dbm);
    return out + " dBm";
}

std::string plot_help_text(const UiState& state) {
    const config::PlotBindings& b = state.config.ui.bindings;
    std::string text = "zoom " + joined(b.zoom_in) + " / " + joined(b.zoom_out) + "; pan " +
                       joined(b.pan_left) + " / " + joined(b.pan_right) + "; reset " +
                       joined(b.reset_view) + "; m peak";
    if (state.instrument_run) text += "; r repeats; n edits a new scan";
    return text + "; q exits";
}

namespace screens {

std::expected<void, UiError> render_plot(const UiState& state, tui::Buffer& buf) {
    if (!state.plot) return std::unexpected(UiError::no_return_data());
    const PlotView& plot = *state.plot;
    const PlotViewport& v = plot.viewport;
    const double span = v.view_span();

    const tui::Rect column = middle_column(buf.area(), 90);
    auto [status, gap, chart_area, gap2, help] =
        tui::vertical({Constraint::length(3), Constraint::length(1), Constraint::min(10),
                       Constraint::length(1), Constraint::length(1)})
            .areas(column);

    std::string header = plot.title;
    header += EM_DASH;
    header += std::to_string(plot.samples.size());
    header += " points";
    header += EM_DASH;
    header += "visible " + format_frequency(v.view_min, span) + " to " + format_frequency(v.view_max, span) +
              " MHz";
    tui::Paragraph(tui::Text(header)).block(box("Status")).style(fg(Color::White)).render(status, buf);

    const double low = state.config.ui.chart_min_dbm;
    const double high = state.config.ui.chart_max_dbm;
    tui::Axis levels;
    levels.bounds(low, high)
        .labels({tui::Line(level_label(low)), tui::Line(level_label((low + high) * 0.5)),
                 tui::Line(level_label(high))})
        .style(fg(Color::Gray));
    tui::Chart({samples_dataset(plot)})
        .x_axis(frequency_axis(v).style(fg(Color::Gray)))
        .y_axis(std::move(levels))
        .render(chart_area, buf);
    if (state.show_peak) render_peak_marker(buf, chart_area, plot);

    tui::Paragraph(tui::Text(plot_help_text(state))).alignment(tui::Alignment::Center).render(help, buf);
    (void)gap;
    (void)gap2;
    return {};
}

void render_live(const UiState& state, tui::Buffer& buf) {
    // Each value under a lock of its own; the frame may mix moments.
    const workers::TraceMode mode = state.live->with_lock([](auto& r) { return r.trace_mode; });
    const std::string status = state.live->with_lock([](auto& r) { return r.status; });
    const std::string info = state.live->with_lock([](auto& r) { return r.info; });

    // The live chart wants the width: narrower margins than elsewhere.
    const tui::Rect column = middle_column(buf.area(), 96, 2);
    auto [header, chart_area, help] =
        tui::vertical({Constraint::length(4), Constraint::min(4), Constraint::length(2)}).areas(column);

    std::string text(workers::trace_mode_label(mode));
    text += EM_DASH;
    text += status;
    text += "\n";
    text += info;
    wrapped_box(tui::Text(text), "Live capture").render(header, buf);

    if (!state.plot) {
        tui::Paragraph(tui::Text(WAITING)).block(box()).alignment(tui::Alignment::Center).render(chart_area, buf);
    } else {
        tui::Axis levels;
        levels.title(tui::Line("Level (dBm)")).bounds(state.config.ui.chart_min_dbm, state.config.ui.chart_max_dbm);
        tui::Chart({samples_dataset(*state.plot)})
            .x_axis(frequency_axis(state.plot->viewport))
            .y_axis(std::move(levels))
            .render(chart_area, buf);
        if (state.show_peak) render_peak_marker(buf, chart_area, *state.plot);
    }

    tui::Paragraph(tui::Text(LIVE_HELP))
        .alignment(tui::Alignment::Center)
        .wrap(tui::Wrap{true})
        .render(help, buf);
}

}  // namespace screens
}  // namespace vorlix::app
