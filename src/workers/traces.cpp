#include "workers/traces.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdio>
#include <cstdlib>

#include <fmt/format.h>

#include "workers/shared.hpp"

namespace vorlix::workers {

namespace {

constexpr std::array<std::string_view, TRACE_MODE_COUNT> LABELS = {
    "average 4", "average 16", "max hold", "max decay", "min hold", "min decay",
};

const std::vector<double>& stored_trace(const LiveShared& record, TraceMode mode) {
    switch (mode) {
        case TraceMode::MaxHold: return record.max_hold;
        case TraceMode::MaxDecay: return record.max_decay;
        case TraceMode::MinHold: return record.min_hold;
        default: return record.min_decay;
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

void SweepHistory::push_back(const Sweep& sweep) {
    std::vector<double>& slot = take_slot();
    slot.resize(sweep.size());
    for (std::size_t i = 0; i < sweep.size(); ++i) slot[i] = sweep[i].level_dbm;
    frequencies_.resize(sweep.size());
    for (std::size_t i = 0; i < sweep.size(); ++i) frequencies_[i] = sweep[i].frequency_mhz;
}

std::vector<double>& SweepHistory::take_slot() {
    if (count_ == HISTORY_CAPACITY) {
        first_ = (first_ + 1) % HISTORY_CAPACITY;
        return levels_[(first_ + count_ - 1) % HISTORY_CAPACITY];
    }
    ++count_;
    return levels_[(first_ + count_ - 1) % HISTORY_CAPACITY];
}

Sweep SweepHistory::sweep_at(std::size_t index) const {
    const std::vector<double>& stored = levels(index);
    const std::size_t n = std::min(stored.size(), frequencies_.size());
    Sweep out(n);
    for (std::size_t i = 0; i < n; ++i) out[i] = Sample{frequencies_[i], stored[i]};
    return out;
}

void apply_sweep(LiveShared& record, Sweep sweep) {
    const std::size_t k = sweep.size();
    const Sample* points = sweep.data();
    SweepHistory& history = record.history;
    if (history.empty()) {
        history.push_back(sweep);
        record.min_decay = history.newest_levels();
        record.max_hold = record.min_decay;
        record.max_decay = record.min_decay;
        record.min_hold = record.min_decay;
    } else {
        // Sizes agree for every sweep the worker accepts; the bound only keeps
        // a caller's mistake from reaching past a trace.
        const std::size_t n = std::min({k, record.max_hold.size(), record.max_decay.size(),
                                        record.min_hold.size(), record.min_decay.size()});
        // A sweep the worker accepted lies on the stored frequencies, so they
        // are only compared here, by their bits: 0 and -0 compare equal.
        std::vector<double>& axis = history.frequencies_;
        const bool regular = n == k && axis.size() == k;
        std::vector<double>& slot = history.take_slot();
        slot.resize(k);
        double* max_hold = record.max_hold.data();
        double* max_decay = record.max_decay.data();
        double* min_hold = record.min_hold.data();
        double* min_decay = record.min_decay.data();
        double* levels = slot.data();
        const double* stored = axis.data();
        std::uint64_t moved = regular ? 0 : 1;
        for (std::size_t i = 0; i < n; ++i) {
            const double level = points[i].level_dbm;
            levels[i] = level;
            if (regular) {
                moved |= std::bit_cast<std::uint64_t>(points[i].frequency_mhz) ^
                         std::bit_cast<std::uint64_t>(stored[i]);
            }
            // Plain compares give what fmax/fmin give here: an accepted level
            // is never NaN, a NaN trace value yields the level, and of two
            // equal values the level is kept.
            max_hold[i] = max_hold[i] > level ? max_hold[i] : level;
            min_hold[i] = min_hold[i] < level ? min_hold[i] : level;
            const double fallen = max_decay[i] - DECAY_STEP_DB;
            max_decay[i] = fallen > level ? fallen : level;
            const double risen = min_decay[i] + DECAY_STEP_DB;
            min_decay[i] = risen < level ? risen : level;
        }
        for (std::size_t i = n; i < k; ++i) levels[i] = points[i].level_dbm;
        if (moved != 0) {
            axis.resize(k);
            for (std::size_t i = 0; i < k; ++i) axis[i] = points[i].frequency_mhz;
        }
    }
    record.sweep_count = saturating_increment(record.sweep_count);
    record.generation = saturating_increment(record.generation);
    record.status = fmt::format("Live capture \u2014 {} sweeps", record.sweep_count);
}

std::optional<Sweep> trace_points(const LiveShared& record, TraceMode mode) {
    if (record.history.empty()) return std::nullopt;
    switch (mode) {
        case TraceMode::Average4: return average_sweeps(record.history, 4);
        case TraceMode::Average16: return average_sweeps(record.history, 16);
        default: break;
    }
    const std::vector<double>& axis = record.history.frequencies();
    const std::vector<double>& trace = stored_trace(record, mode);
    const std::size_t n = std::min(trace.size(), axis.size());
    Sweep out(n);
    Sample* points = out.data();
    const double* frequencies = axis.data();
    const double* levels = trace.data();
    for (std::size_t i = 0; i < n; ++i) points[i] = Sample{frequencies[i], levels[i]};
    return out;
}

Sweep average_sweeps(const SweepHistory& history, std::size_t window) {
    if (history.empty()) {
        std::fputs("average requires one sweep\n", stderr);
        std::abort();
    }
    const std::size_t m = std::min(window, history.size());
    const std::size_t first = history.size() - m;
    const std::vector<double>& axis = history.frequencies();
    const std::size_t k = axis.size();
    const double divisor = static_cast<double>(m);
    Sweep out(k);
    Sample* points = out.data();
    // Each point's sum is taken in history order, oldest of the window first,
    // from -0. A block of sums stays in cache while every sweep's levels for
    // it stream past once.
    constexpr std::size_t block = 2048;
    std::array<double, block> sums;
    for (std::size_t begin = 0; begin < k; begin += block) {
        const std::size_t end = std::min(k, begin + block);
        const std::size_t len = end - begin;
        sums.fill(-0.0);
        for (std::size_t s = first; s < history.size(); ++s) {
            const std::vector<double>& levels = history.levels(s);
            // A shorter sweep than the newest adds nothing past its end.
            const std::size_t n = levels.size() > begin ? std::min(levels.size(), end) - begin : 0;
            const double* from = levels.data() + begin;
            for (std::size_t i = 0; i < n; ++i) sums[i] += from[i];
        }
        const double* frequencies = axis.data() + begin;
        for (std::size_t i = 0; i < len; ++i) {
            points[begin + i] = Sample{frequencies[i], sums[i] / divisor};
        }
    }
    return out;
}

}  // namespace vorlix::workers
