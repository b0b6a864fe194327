#pragma once
// One set of samples on show as a chart (a completed scan, a CSV file, or
// the visible live trace) with its zoom and pan window, the peak search over
// that window, and the frequency formatting shared by every plot text.

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "config/record.hpp"
#include "instrument/types.hpp"
#include "tui/keys.hpp"

namespace vorlix::app {

using instrument::Sample;

enum class PanDirection : std::uint8_t { Left, Right };

// The full frequency range of the samples and the visible window inside it,
// in MHz. Zoom and pan move only view_min/view_max.
struct PlotViewport {
    double full_min = 0.0;
    double full_max = 0.0;
    double view_min = 0.0;
    double view_max = 0.0;
    double min_span = 0.0;  // narrowest window zooming in may reach

    double view_span() const { return view_max - view_min; }
    double full_span() const { return full_max - full_min; }

    // Narrows or widens the window to `span`, keeping its centre where the
    // full range allows and sliding it back inside where it does not.
    void zoom_to(double span);
    // Moves the window a quarter of its span, stopping at the edges.
    void pan(PanDirection direction);
    void reset() {
        view_min = full_min;
        view_max = full_max;
    }

    bool operator==(const PlotViewport&) const = default;
};

// The full range of a sweep and its smallest sensible zoom; the window shows
// everything. A degenerate sweep (empty, one point, falling ends) gets a tiny
// range around its first frequency so the chart always has width.
PlotViewport sample_bounds(std::span<const Sample> samples);

struct PlotView {
    std::string title;
    std::vector<Sample> samples;
    PlotViewport viewport;

    PlotView(std::string title_text, std::vector<Sample> sweep)
        : title(std::move(title_text)), samples(std::move(sweep)),
          viewport(sample_bounds(samples)) {}
};

struct Peak {
    double frequency_mhz = 0.0;
    double level_dbm = 0.0;
    bool operator==(const Peak&) const = default;
};

// The highest visible sample (ends of the window included); the earliest one
// wins a tie, and a NaN level never wins.
std::optional<Peak> visible_peak(const PlotView& view);

// Fixed-point text with 2 to 6 decimals, more the narrower the span.
std::string format_frequency(double value, double span);

// Whether `key` matches one of `bindings`: "left", "right" and "home" name
// those keys, any other binding is exactly one character.
bool binding_matches(const tui::KeyEvent& key, const std::vector<std::string>& bindings);

struct UiState;

// Carries out the first plot action whose bindings match the key. A bound
// key counts as used even without a plot, so it never falls through to the
// screen's own keys.
bool handle_plot_key(UiState& state, const tui::KeyEvent& key);

}  // namespace vorlix::app
