// The two chart screens: a finished scan or stored file, and the live
// capture. The chart reads the plot's samples where they lie, and only when
// they, the window, the level range or the chart's area changed; nothing is
// copied per frame.

#include <array>
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

// The samples as the one data set of a chart with these axes; the cells
// they fall into come from the plot's memo, so an unchanged frame does not
// read the samples again.
void render_samples_chart(PlotView& plot, tui::Axis x_axis, tui::Axis y_axis, tui::Rect area,
                          tui::Buffer& buf) {
    const std::array<double, 2> x_bounds = x_axis.bounds();
    const std::array<double, 2> y_bounds = y_axis.bounds();
    tui::Chart chart;
    chart.x_axis(std::move(x_axis)).y_axis(std::move(y_axis));
    const tui::DataCells& cells = chart_cells(plot, chart.graph_area(area, buf.area()), x_bounds, y_bounds);
    tui::Dataset set;
    set.marker(tui::Marker::Dot)
        .style(screens::fg(Color::Yellow))
        .data(tui::PointSource(plot.samples.vector(), &Sample::frequency_mhz, &Sample::level_dbm))
        .cells(&cells);
    chart.datasets({std::move(set)}).render(area, buf);
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
                       joined(b.pan_left) + " / " + joined(b.pan_right) + "; reset " + joined(b.reset_view) +
                       "; m peak";
    if (state.instrument_run) text += "; r repeats; n edits a new scan";
    return text + "; q exits";
}

namespace screens {

ChartFrameInputs chart_frame_inputs(const UiState& state, tui::Rect area, bool live) {
    ChartFrameInputs in;
    in.live = live;
    in.area = area;
    in.low_dbm = state.config.ui.chart_min_dbm;
    in.high_dbm = state.config.ui.chart_max_dbm;
    in.show_peak = state.show_peak;
    if (state.plot) {
        in.has_plot = true;
        in.samples_version = state.plot->samples.version();
        in.viewport = state.plot->viewport;
    }
    if (in.live) {
        // Each value under a lock of its own; the frame may mix moments.
        const workers::TraceMode mode = state.live->with_lock([](auto& r) { return r.trace_mode; });
        const std::string status = state.live->with_lock([](auto& r) { return r.status; });
        const std::string info = state.live->with_lock([](auto& r) { return r.info; });
        in.header = workers::trace_mode_label(mode);
        in.header += EM_DASH;
        in.header += status;
        in.header += "\n";
        in.header += info;
        return in;
    }
    if (state.plot) {
        const PlotViewport& v = state.plot->viewport;
        const double span = v.view_span();
        in.header = state.plot->title;
        in.header += EM_DASH;
        in.header += std::to_string(state.plot->samples.size());
        in.header += " points";
        in.header += EM_DASH;
        in.header += "visible " + format_frequency(v.view_min, span) + " to " +
                     format_frequency(v.view_max, span) + " MHz";
    }
    in.help = plot_help_text(state);
    return in;
}

namespace {

std::expected<void, UiError> render_plot_from(PlotView* plot, const ChartFrameInputs& in, tui::Buffer& buf) {
    if (plot == nullptr) return std::unexpected(UiError::NoReturnData{});

    const tui::Rect column = middle_column(buf.area(), 90);
    auto [status, gap, chart_area, gap2, help] =
        tui::vertical({Constraint::length(3), Constraint::length(1), Constraint::min(10),
                       Constraint::length(1), Constraint::length(1)})
            .areas(column);

    tui::Paragraph(tui::Text(in.header)).block(box("Status")).style(fg(Color::White)).render(status, buf);

    const double low = in.low_dbm;
    const double high = in.high_dbm;
    tui::Axis levels;
    levels.bounds(low, high)
        .labels({tui::Line(level_label(low)), tui::Line(level_label((low + high) * 0.5)),
                 tui::Line(level_label(high))})
        .style(fg(Color::Gray));
    render_samples_chart(*plot, frequency_axis(in.viewport).style(fg(Color::Gray)), std::move(levels),
                         chart_area, buf);
    if (in.show_peak) render_peak_marker(buf, chart_area, *plot);

    tui::Paragraph(tui::Text(in.help)).alignment(tui::Alignment::Center).render(help, buf);
    (void)gap;
    (void)gap2;
    return {};
}

void render_live_from(PlotView* plot, const ChartFrameInputs& in, tui::Buffer& buf) {
    // The live chart wants the width: narrower margins than elsewhere.
    const tui::Rect column = middle_column(buf.area(), 96, 2);
    auto [header, chart_area, help] =
        tui::vertical({Constraint::length(4), Constraint::min(4), Constraint::length(2)}).areas(column);

    wrapped_box(tui::Text(in.header), "Live capture").render(header, buf);

    if (plot == nullptr) {
        tui::Paragraph(tui::Text(WAITING))
            .block(box())
            .alignment(tui::Alignment::Center)
            .render(chart_area, buf);
    } else {
        tui::Axis levels;
        levels.title(tui::Line("Level (dBm)")).bounds(in.low_dbm, in.high_dbm);
        render_samples_chart(*plot, frequency_axis(in.viewport), std::move(levels), chart_area, buf);
        if (in.show_peak) render_peak_marker(buf, chart_area, *plot);
    }

    tui::Paragraph(tui::Text(LIVE_HELP))
        .alignment(tui::Alignment::Center)
        .wrap(tui::Wrap{true})
        .render(help, buf);
}

}  // namespace

std::expected<void, UiError> render_chart_screen(UiState& state, const ChartFrameInputs& inputs,
                                                 tui::Buffer& buf) {
    PlotView* plot = state.plot ? &*state.plot : nullptr;
    if (inputs.live) {
        render_live_from(plot, inputs, buf);
        return {};
    }
    return render_plot_from(plot, inputs, buf);
}

std::expected<void, UiError> render_plot(UiState& state, tui::Buffer& buf) {
    return render_chart_screen(state, chart_frame_inputs(state, buf.area(), false), buf);
}

void render_live(UiState& state, tui::Buffer& buf) {
    (void)render_chart_screen(state, chart_frame_inputs(state, buf.area(), true), buf);
}

}  // namespace screens
}  // namespace vorlix::app
