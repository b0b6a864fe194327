#pragma once
// One set of samples on show as a chart (a completed scan, a CSV file, or
// the visible live trace) with its zoom and pan window, the peak search over
// that window, and the frequency formatting shared by every plot text.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "instrument/types.hpp"
#include "tui/widgets/chart.hpp"

namespace vorlix::tui {
struct KeyEvent;
}

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

// The samples on show, read-only, with a version that every assignment
// renews: what a frame worked out from them knows it is stale by comparing
// one number, not a million samples. Versions are unique in the process,
// so a new plot never shares one with the plot it replaces. Being a
// contiguous range, it passes as a std::span<const Sample> without a cast.
class PlotSamples {
public:
    using value_type = Sample;
    using const_iterator = std::vector<Sample>::const_iterator;
    using iterator = const_iterator;

    PlotSamples() : version_(next_version()) {}
    PlotSamples(std::vector<Sample> samples)  // NOLINT: implicit, as the vector it stands for
        : samples_(std::move(samples)), version_(next_version()) {}
    PlotSamples& operator=(std::vector<Sample> samples) {
        samples_ = std::move(samples);
        version_ = next_version();
        return *this;
    }

    // Lets `fill` rewrite the samples in their own storage, then renews the
    // version as an assignment would, so a million-sample refresh needs no
    // second buffer.
    template <class F>
    void rebuild(F&& fill) {
        std::forward<F>(fill)(samples_);
        version_ = next_version();
    }

    std::uint64_t version() const { return version_; }
    const std::vector<Sample>& vector() const { return samples_; }

    const_iterator begin() const { return samples_.begin(); }
    const_iterator end() const { return samples_.end(); }
    std::size_t size() const { return samples_.size(); }
    bool empty() const { return samples_.empty(); }
    const Sample* data() const { return samples_.data(); }
    const Sample& operator[](std::size_t i) const { return samples_[i]; }
    const Sample& front() const { return samples_.front(); }
    const Sample& back() const { return samples_.back(); }

private:
    static std::uint64_t next_version();

    std::vector<Sample> samples_;
    std::uint64_t version_;
};

struct Peak {
    double frequency_mhz = 0.0;
    double level_dbm = 0.0;
    bool operator==(const Peak&) const = default;
};

// What drawing worked out from the samples for the last frame, kept while
// what it depends on stays the same, so an unchanged frame reads no sample:
// the chart's cells (samples, window, level range and graph) and the
// visible peak (samples and window).
struct PlotMemo {
    tui::DataCells cells;
    std::uint64_t cells_version = 0;  // of the samples; 0 for none yet
    std::optional<Peak> peak;
    std::uint64_t peak_version = 0;
    std::array<double, 2> peak_window{0.0, 0.0};
};

struct PlotView {
    std::string title;
    PlotSamples samples;
    PlotViewport viewport;
    PlotMemo memo;

    PlotView(std::string title_text, std::vector<Sample> sweep)
        : title(std::move(title_text)),
          samples(std::move(sweep)),
          viewport(sample_bounds(samples.vector())) {}
};

// The cells of `graph` that the samples fall into for those bounds, from
// the memo while they still hold.
const tui::DataCells& chart_cells(PlotView& view, tui::Rect graph, std::array<double, 2> x_bounds,
                                  std::array<double, 2> y_bounds);

// visible_peak(view), from the memo while it still holds.
const std::optional<Peak>& memo_visible_peak(PlotView& view);

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
