#include "app/state/plot_view.hpp"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <limits>
#include <string_view>

#include "app/state/ui_state.hpp"
#include "config/record.hpp"
#include "base/text.hpp"
#include "tui/keys.hpp"

namespace vorlix::app {
namespace {

// std::clamp requires lo <= hi; rounding can break that by a hair (a window
// a little wider than the full range), so the lower bound wins then, which
// keeps the window starting inside the full range.
double clamp_soft(double x, double lo, double hi) { return std::max(lo, std::min(x, hi)); }

// Keeps the window [view_min, view_min + span] inside the full range even
// when span rounds a hair wider than the full span.
void place_window(PlotViewport& v, double start, double span) {
    v.view_min = clamp_soft(start, v.full_min, v.full_max - span);
    v.view_max = std::min(v.view_min + span, v.full_max);
    if (!(v.view_max >= v.view_min)) v.view_max = v.view_min;
}

// The one code point of a UTF-8 text, or none for an empty text, several
// code points or broken UTF-8, so such a binding never matches.
std::optional<char32_t> single_code_point(std::string_view text) {
    std::size_t pos = 0;
    const std::optional<char32_t> c = base::decode_utf8(text, pos);
    if (!c || pos != text.size()) return std::nullopt;
    return c;
}

}  // namespace

std::uint64_t PlotSamples::next_version() {
    static std::atomic<std::uint64_t> last{0};
    return ++last;
}

const tui::DataCells& chart_cells(PlotView& view, tui::Rect graph, std::array<double, 2> x_bounds,
                                  std::array<double, 2> y_bounds) {
    PlotMemo& memo = view.memo;
    if (memo.cells_version != view.samples.version() || !memo.cells.fits(graph, x_bounds, y_bounds)) {
        memo.cells = tui::DataCells::of(
            tui::PointSource(view.samples.vector(), &Sample::frequency_mhz, &Sample::level_dbm), graph,
            x_bounds, y_bounds);
        memo.cells_version = view.samples.version();
    }
    return memo.cells;
}

const std::optional<Peak>& memo_visible_peak(PlotView& view) {
    PlotMemo& memo = view.memo;
    const std::array<double, 2> window{view.viewport.view_min, view.viewport.view_max};
    if (memo.peak_version != view.samples.version() || memo.peak_window != window) {
        memo.peak = visible_peak(view);
        memo.peak_version = view.samples.version();
        memo.peak_window = window;
    }
    return memo.peak;
}

PlotViewport sample_bounds(std::span<const Sample> samples) {
    const double first = samples.empty() ? 0.0 : samples.front().frequency_mhz;
    const double last = samples.empty() ? 0.0 : samples.back().frequency_mhz;
    PlotViewport v;
    if (last > first) {
        v.full_min = first;
        v.full_max = last;
    } else {
        const double half = std::fmax(std::abs(first) * 0.000001, 0.001);
        v.full_min = first - half;
        v.full_max = first + half;
    }
    std::optional<double> step;
    for (std::size_t i = 1; i < samples.size(); ++i) {
        const double d = samples[i].frequency_mhz - samples[i - 1].frequency_mhz;
        if (d > 0.0 && (!step || d < *step)) step = d;
    }
    const double full_span = v.full_max - v.full_min;
    double min_span = full_span;
    if (step) min_span = std::isnan(full_span) ? *step : std::min(*step, full_span);
    v.min_span = std::fmax(min_span, std::numeric_limits<double>::epsilon());
    v.reset();
    return v;
}

void PlotViewport::zoom_to(double requested) {
    const double span = clamp_soft(requested, min_span, full_max - full_min);
    const double centre = (view_min + view_max) * 0.5;
    place_window(*this, centre - 0.5 * span, span);
}

void PlotViewport::pan(PanDirection direction) {
    const double span = view_max - view_min;
    const double f = direction == PanDirection::Right ? 0.25 : -0.25;
    place_window(*this, view_min + f * span, span);
}

std::optional<Peak> visible_peak(const PlotView& view) {
    const PlotViewport& v = view.viewport;
    std::optional<Peak> peak;
    for (const Sample& s : view.samples) {
        if (!(s.frequency_mhz >= v.view_min && s.frequency_mhz <= v.view_max)) continue;
        // A NaN level is never a peak, not even as the first candidate: the
        // marker would otherwise show "NaN dBm" over real data.
        if (std::isnan(s.level_dbm)) continue;
        if (!peak) {
            peak = Peak{s.frequency_mhz, s.level_dbm};
        } else if (s.level_dbm > peak->level_dbm) {
            *peak = Peak{s.frequency_mhz, s.level_dbm};
        }
    }
    return peak;
}

std::string format_frequency(double value, double span) {
    int decimals = 2;
    const double half = span * 0.5;
    if (!(half >= 1.0)) {
        const double d = std::ceil(-std::log10(half));
        // NaN and negative give 0 decimals wanted, i.e. the floor of 2.
        if (d >= 3.0) decimals = static_cast<int>(std::min(d, 6.0));
    }
    char buf[512];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
    if (ec != std::errc{}) return std::to_string(value);
    return std::string(buf, end);
}

bool binding_matches(const tui::KeyEvent& key, const std::vector<std::string>& bindings) {
    for (const std::string& b : bindings) {
        if (b == "left") {
            if (key.code == tui::KeyCode::Left) return true;
        } else if (b == "right") {
            if (key.code == tui::KeyCode::Right) return true;
        } else if (b == "home") {
            if (key.code == tui::KeyCode::Home) return true;
        } else if (key.code == tui::KeyCode::Char && single_code_point(b) == key.ch) {
            return true;
        }
    }
    return false;
}

bool handle_plot_key(UiState& state, const tui::KeyEvent& key) {
    const config::PlotBindings& b = state.config.ui.bindings;
    enum class Action { ZoomIn, ZoomOut, PanLeft, PanRight, Reset };
    std::optional<Action> action;
    if (binding_matches(key, b.zoom_in))
        action = Action::ZoomIn;
    else if (binding_matches(key, b.zoom_out))
        action = Action::ZoomOut;
    else if (binding_matches(key, b.pan_left))
        action = Action::PanLeft;
    else if (binding_matches(key, b.pan_right))
        action = Action::PanRight;
    else if (binding_matches(key, b.reset_view))
        action = Action::Reset;
    if (!action) return false;
    if (!state.plot) return true;
    PlotViewport& v = state.plot->viewport;
    switch (*action) {
        case Action::ZoomIn: v.zoom_to(std::max(v.view_span() * 0.5, v.min_span)); break;
        case Action::ZoomOut: v.zoom_to(std::min(v.view_span() * 2.0, v.full_span())); break;
        case Action::PanLeft: v.pan(PanDirection::Left); break;
        case Action::PanRight: v.pan(PanDirection::Right); break;
        case Action::Reset: v.reset(); break;
    }
    return true;
}

}  // namespace vorlix::app
