#include "workers/traces.hpp"

#include <algorithm>
#include <array>
#include <cmath>
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

void apply_sweep(LiveShared& record, Sweep sweep) {
    const std::size_t k = sweep.size();
    if (record.history.empty()) {
        record.min_decay.resize(k);
        for (std::size_t i = 0; i < k; ++i) record.min_decay[i] = sweep[i].level_dbm;
        record.max_hold = record.min_decay;
        record.max_decay = record.min_decay;
        record.min_hold = record.min_decay;
    } else {
        // Sizes agree for every sweep the worker accepts; the bound only keeps
        // a caller's mistake from reaching past a trace.
        const std::size_t n = std::min({k, record.max_hold.size(), record.max_decay.size(),
                                        record.min_hold.size(), record.min_decay.size()});
        double* max_hold = record.max_hold.data();
        double* max_decay = record.max_decay.data();
        double* min_hold = record.min_hold.data();
        double* min_decay = record.min_decay.data();
        const Sample* points = sweep.data();
        for (std::size_t i = 0; i < n; ++i) {
            const double level = points[i].level_dbm;
            // fmax/fmin prefer the number over a NaN operand.
            max_hold[i] = std::fmax(max_hold[i], level);
            min_hold[i] = std::fmin(min_hold[i], level);
            max_decay[i] = std::fmax(max_decay[i] - DECAY_STEP_DB, level);
            min_decay[i] = std::fmin(min_decay[i] + DECAY_STEP_DB, level);
        }
    }
    record.history.push_back(std::move(sweep));
    if (record.history.size() > HISTORY_CAPACITY) record.history.pop_front();
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
    const Sweep& newest = record.history.back();
    const std::vector<double>& trace = stored_trace(record, mode);
    const std::size_t n = std::min(trace.size(), newest.size());
    Sweep out(n);
    for (std::size_t i = 0; i < n; ++i) out[i] = Sample{newest[i].frequency_mhz, trace[i]};
    return out;
}

Sweep average_sweeps(const SweepHistory& history, std::size_t window) {
    if (history.empty()) {
        std::fputs("average requires one sweep\n", stderr);
        std::abort();
    }
    const std::size_t m = std::min(window, history.size());
    const Sweep& newest = history.back();
    const std::size_t k = newest.size();
    Sweep out(k);
    for (std::size_t i = 0; i < k; ++i) out[i] = Sample{newest[i].frequency_mhz, -0.0};
    // One pass per sweep, oldest of the window first, so each point's sum is
    // taken in history order while memory is read front to back.
    for (std::size_t s = history.size() - m; s < history.size(); ++s) {
        const Sweep& sweep = history[s];
        const std::size_t n = std::min(k, sweep.size());
        for (std::size_t i = 0; i < n; ++i) out[i].level_dbm += sweep[i].level_dbm;
    }
    const double divisor = static_cast<double>(m);
    for (Sample& point : out) point.level_dbm /= divisor;
    return out;
}

}  // namespace vorlix::workers
