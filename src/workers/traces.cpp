#include "workers/traces.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <utility>

#include <fmt/format.h>

#include "workers/shared.hpp"

namespace vorlix::workers {

namespace {

constexpr std::array<std::string_view, TRACE_MODE_COUNT> LABELS = {
    "average 4", "average 16", "max hold", "max decay", "min hold", "min decay",
};

// Points of a visible buffer built at a time: the stretches of levels
// padding a short window are this size, small enough to stay in the
// first-level cache.
constexpr std::size_t STRETCH_POINTS = 512;

const std::vector<double>& stored_trace(const LiveShared& record, TraceMode mode) {
    switch (mode) {
        case TraceMode::MaxHold: return record.max_hold;
        case TraceMode::MaxDecay: return record.max_decay;
        case TraceMode::MinHold: return record.min_hold;
        default: return record.min_decay;
    }
}

// One pass over the first `n` points of a sweep: each level into the new
// entry and into the four traces, and the frequencies compared with the
// stored ones by their bits, since 0 and -0 compare equal. Nonzero when any
// differs. Plain compares give what fmax and fmin give here: an accepted
// level is never NaN, a NaN trace value yields the level, and of two equal
// values the level is kept. No two of the arrays overlap, which the compiler
// must be told to keep the loop in vectors.
std::uint64_t fold(const Sample* __restrict points, std::size_t n, const double* __restrict stored,
                   float* __restrict levels, double* __restrict max_hold, double* __restrict max_decay,
                   double* __restrict min_hold, double* __restrict min_decay) {
    std::uint64_t moved = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double level = points[i].level_dbm;
        levels[i] = static_cast<float>(level);
        moved |=
            std::bit_cast<std::uint64_t>(points[i].frequency_mhz) ^ std::bit_cast<std::uint64_t>(stored[i]);
        max_hold[i] = max_hold[i] > level ? max_hold[i] : level;
        min_hold[i] = min_hold[i] < level ? min_hold[i] : level;
        const double fallen = max_decay[i] - DECAY_STEP_DB;
        max_decay[i] = fallen > level ? fallen : level;
        const double risen = min_decay[i] + DECAY_STEP_DB;
        min_decay[i] = risen < level ? risen : level;
    }
    return moved;
}

// Writes the `n` points `make(base, count, to)` gives a stretch at a time
// into `out`, where they stay: a buffer with room is written in place, only
// a grown size cleared first; too small a one goes before the new storage
// is made.
template <class Make>
void build(Sweep& out, std::size_t n, Make make) {
    if (out.capacity() < n) out = Sweep();
    out.resize(n);
    for (std::size_t base = 0; base < n; base += STRETCH_POINTS) {
        make(base, std::min(STRETCH_POINTS, n - base), out.data() + base);
    }
}

// A stretch of levels that adds nothing to any sum: x + -0 is x for every x.
constexpr auto NEGATIVE_ZEROS = [] {
    std::array<float, STRETCH_POINTS> zeros{};
    zeros.fill(-0.0f);
    return zeros;
}();

// A point's sum over the entries, from -0 in the entries' order; written
// out term by term so that the compiler sees one loop over the points.
template <std::size_t... E>
double sum_at(const std::array<const float*, sizeof...(E)>& entries, std::size_t j,
              std::index_sequence<E...>) {
    double total = -0.0;
    ((total += static_cast<double>(entries[E][j])), ...);
    return total;
}

// The means over `N` entries' stretches of levels, paired with the
// frequencies. Dividing by a power of two gives the very bits of multiplying
// by its reciprocal, which is several times cheaper; the windows of a full
// history are powers of two.
template <std::size_t N>
void mean_into(Sample* __restrict to, const double* __restrict frequencies,
               const std::array<const float*, N>& entries, std::size_t count, double divisor) {
    constexpr auto each = std::make_index_sequence<N>();
    if (std::has_single_bit(static_cast<std::size_t>(divisor))) {
        const double scale = 1.0 / divisor;
        for (std::size_t j = 0; j < count; ++j)
            to[j] = Sample{frequencies[j], sum_at(entries, j, each) * scale};
    } else {
        for (std::size_t j = 0; j < count; ++j)
            to[j] = Sample{frequencies[j], sum_at(entries, j, each) / divisor};
    }
}

// The mean of the `window` newest entries, one point per frequency, in one
// pass that reads each level once and writes each point once. The window is
// padded to four or to HISTORY_CAPACITY entries with stretches of -0, so
// that the loop's entry count is fixed and the compiler keeps the points in
// vectors.
template <std::size_t N>
void average_into(const SweepHistory& history, std::size_t m, Sweep& out) {
    const std::vector<double>& axis = history.frequencies();
    const std::size_t k = axis.size();
    // An entry shorter than the newest one adds nothing past its end; only a
    // caller that skips the sweep check stores one.
    std::array<const float*, N> entries{};
    std::array<std::vector<float>, N> padded;
    for (std::size_t s = 0; s < m; ++s) {
        const std::span<const float> levels = history.levels(history.size() - m + s);
        entries[s] = levels.data();
        if (levels.size() < k) {
            padded[s].assign(levels.begin(), levels.end());
            padded[s].resize(k, -0.0f);
            entries[s] = padded[s].data();
        }
    }
    build(out, k, [&](std::size_t base, std::size_t count, Sample* to) {
        std::array<const float*, N> stretch;
        for (std::size_t s = 0; s < N; ++s) stretch[s] = s < m ? entries[s] + base : NEGATIVE_ZEROS.data();
        mean_into(to, axis.data() + base, stretch, count, static_cast<double>(m));
    });
}

void average_into(const SweepHistory& history, std::size_t window, Sweep& out) {
    const std::size_t m = std::min(window, history.size());
    if (m <= 4) {
        average_into<4>(history, m, out);
    } else {
        average_into<HISTORY_CAPACITY>(history, m, out);
    }
}

}  // namespace

std::string_view trace_mode_label(TraceMode mode) {
    const auto index = static_cast<std::size_t>(mode);
    return index < LABELS.size() ? LABELS[index] : LABELS[0];
}

std::optional<TraceMode> trace_mode_from_index(std::size_t index) {
    if (index >= TRACE_MODE_COUNT) return std::nullopt;
    return static_cast<TraceMode>(index);
}

float* SweepHistory::append(std::size_t points) {
    if (count_ == HISTORY_CAPACITY) {
        first_ = (first_ + 1) % HISTORY_CAPACITY;
    } else {
        ++count_;
    }
    std::vector<float>& entry = levels_[slot_of(count_ - 1)];
    entry.resize(points);
    return entry.data();
}

void SweepHistory::push_back(const Sweep& sweep) {
    float* levels = append(sweep.size());
    for (std::size_t i = 0; i < sweep.size(); ++i) levels[i] = static_cast<float>(sweep[i].level_dbm);
    keep_frequencies(sweep);
}

void SweepHistory::keep_frequencies(const Sweep& sweep) {
    frequencies_.resize(sweep.size());
    for (std::size_t i = 0; i < sweep.size(); ++i) frequencies_[i] = sweep[i].frequency_mhz;
}

void apply_sweep(LiveShared& record, const Sweep& sweep) {
    const std::size_t k = sweep.size();
    const Sample* points = sweep.data();
    SweepHistory& history = record.history;
    if (history.empty()) {
        history.push_back(sweep);
        record.min_decay.resize(k);
        for (std::size_t i = 0; i < k; ++i) record.min_decay[i] = points[i].level_dbm;
        record.max_hold = record.min_decay;
        record.max_decay = record.min_decay;
        record.min_hold = record.min_decay;
    } else {
        // Sizes agree for every sweep the worker accepts; the bound only keeps
        // a caller's mistake from reaching past a trace, and such a sweep's
        // frequencies are taken whole.
        const std::size_t n = std::min({k, record.max_hold.size(), record.max_decay.size(),
                                        record.min_hold.size(), record.min_decay.size()});
        std::vector<double>& axis = history.frequencies_;
        const bool regular = n == k && axis.size() == k;
        axis.resize(k);
        float* levels = history.append(k);
        const std::uint64_t moved =
            fold(points, n, axis.data(), levels, record.max_hold.data(), record.max_decay.data(),
                 record.min_hold.data(), record.min_decay.data());
        for (std::size_t i = n; i < k; ++i) levels[i] = static_cast<float>(points[i].level_dbm);
        if (moved != 0 || !regular) history.keep_frequencies(sweep);
    }
    record.sweep_count = saturating_increment(record.sweep_count);
    record.generation = saturating_increment(record.generation);
    record.status = fmt::format("Live capture \u2014 {} sweeps", record.sweep_count);
}

bool trace_points_into(const LiveShared& record, TraceMode mode, Sweep& out) {
    if (record.history.empty()) return false;
    switch (mode) {
        case TraceMode::Average4: average_into(record.history, 4, out); return true;
        case TraceMode::Average16: average_into(record.history, 16, out); return true;
        default: break;
    }
    const std::vector<double>& axis = record.history.frequencies();
    const std::vector<double>& trace = stored_trace(record, mode);
    build(out, std::min(trace.size(), axis.size()), [&](std::size_t base, std::size_t count, Sample* to) {
        for (std::size_t j = 0; j < count; ++j) to[j] = Sample{axis[base + j], trace[base + j]};
    });
    return true;
}

std::optional<Sweep> trace_points(const LiveShared& record, TraceMode mode) {
    Sweep out;
    if (!trace_points_into(record, mode, out)) return std::nullopt;
    return out;
}

}  // namespace vorlix::workers
