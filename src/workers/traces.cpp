#include "workers/traces.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdio>
#include <cstddef>
#include <cstdlib>
#include <iterator>
#include <new>

#include <fmt/format.h>

#include "workers/shared.hpp"
#include "workers/trace_tiles.hpp"

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

// Points of the average built at a time: whole tiles, few enough that the
// stretch stays in the first-level cache until it is appended while the
// levels it is summed from stream through that cache too, and not a
// multiple of 4 KiB, so that the copy's loads do not keep meeting the page
// offsets of the stores just before them.
constexpr std::size_t STRETCH_POINTS = 8 * TILE_POINTS;

// The points (frequencies[i], levels[i]) as a counted range, read once each
// when a sweep is built from it; no zero fill precedes them. It offers what
// that construction uses.
struct PairedPoints {
    using iterator_category = std::random_access_iterator_tag;
    using value_type = Sample;
    using difference_type = std::ptrdiff_t;
    using pointer = const Sample*;
    using reference = Sample;

    const double* frequencies;
    const double* levels;
    std::ptrdiff_t index;

    Sample operator*() const { return Sample{frequencies[index], levels[index]}; }
    PairedPoints& operator++() {
        ++index;
        return *this;
    }
    PairedPoints operator++(int) {
        PairedPoints before = *this;
        ++index;
        return before;
    }
    difference_type operator-(const PairedPoints& other) const { return index - other.index; }
    bool operator==(const PairedPoints& other) const { return index == other.index; }
};

}  // namespace

std::string_view trace_mode_label(TraceMode mode) {
    const auto index = static_cast<std::size_t>(mode);
    return index < LABELS.size() ? LABELS[index] : LABELS[0];
}

std::optional<TraceMode> trace_mode_from_index(std::size_t index) {
    if (index >= TRACE_MODE_COUNT) return std::nullopt;
    return static_cast<TraceMode>(index);
}

constexpr std::align_val_t LEVELS_ALIGNMENT{TILE_POINTS * sizeof(float)};

void SweepHistory::LevelsDelete::operator()(float* block) const {
    ::operator delete[](block, LEVELS_ALIGNMENT);
}

SweepHistory::Levels SweepHistory::make_levels(std::size_t tiles) {
    return Levels(
        static_cast<float*>(::operator new[](sizeof(float) * TILE_VALUES * tiles, LEVELS_ALIGNMENT)));
}

SweepHistory::SweepHistory(const SweepHistory& other)
    : tiles_(other.tiles_),
      points_(other.points_),
      frequencies_(other.frequencies_),
      first_(other.first_),
      count_(other.count_) {
    // Only the stored levels are copied; the rest of the block is unset.
    if (tiles_ != 0) levels_ = make_levels(tiles_);
    for (std::size_t index = 0; index < count_; ++index) {
        const std::size_t slot = slot_of(index);
        for (std::size_t i = 0; i < points_[slot]; ++i)
            levels_[value_at(slot, i)] = other.levels_[value_at(slot, i)];
        if (other.wide_[slot]) {
            wide_[slot] = std::make_unique_for_overwrite<double[]>(points_[slot]);
            std::copy_n(other.wide_[slot].get(), points_[slot], wide_[slot].get());
        }
    }
}

SweepHistory& SweepHistory::operator=(const SweepHistory& other) {
    if (this != &other) *this = SweepHistory(other);
    return *this;
}

void SweepHistory::push_back(const Sweep& sweep) {
    const std::size_t slot = take_slot(sweep.size());
    unsigned inexact = 0;
    for (std::size_t i = 0; i < sweep.size(); ++i)
        inexact |= store_level(levels_[value_at(slot, i)], sweep[i].level_dbm);
    keep_levels(slot, sweep.data(), inexact != 0);
    frequencies_.resize(sweep.size());
    for (std::size_t i = 0; i < sweep.size(); ++i) frequencies_[i] = sweep[i].frequency_mhz;
}

std::size_t SweepHistory::take_slot(std::size_t points) {
    const std::size_t tiles = (points + TILE_POINTS - 1) / TILE_POINTS;
    if (tiles > tiles_) {
        // Only a caller that skips the sweep check grows a block that holds
        // sweeps already; every entry moves over as it is.
        Levels grown = make_levels(tiles);
        for (std::size_t index = 0; index < count_; ++index) {
            const std::size_t from = slot_of(index);
            for (std::size_t i = 0; i < points_[from]; ++i)
                grown[value_at(from, i)] = levels_[value_at(from, i)];
        }
        levels_ = std::move(grown);
        tiles_ = tiles;
    }
    if (count_ == HISTORY_CAPACITY) {
        first_ = (first_ + 1) % HISTORY_CAPACITY;
    } else {
        ++count_;
    }
    const std::size_t slot = slot_of(count_ - 1);
    points_[slot] = points;
    return slot;
}

void SweepHistory::keep_levels(std::size_t slot, const Sample* points, bool inexact) {
    if (!inexact) {
        wide_[slot].reset();
        return;
    }
    wide_[slot] = std::make_unique_for_overwrite<double[]>(points_[slot]);
    for (std::size_t i = 0; i < points_[slot]; ++i) wide_[slot][i] = points[i].level_dbm;
}

Sweep SweepHistory::sweep_at(std::size_t index) const {
    const std::size_t n = std::min(points(index), frequencies_.size());
    Sweep out(n);
    for (std::size_t i = 0; i < n; ++i) out[i] = Sample{frequencies_[i], level(index, i)};
    return out;
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
        // a caller's mistake from reaching past a trace.
        const std::size_t n = std::min({k, record.max_hold.size(), record.max_decay.size(),
                                        record.min_hold.size(), record.min_decay.size()});
        // A sweep the worker accepted lies on the stored frequencies, so they
        // are only compared here, by their bits: 0 and -0 compare equal.
        std::vector<double>& axis = history.frequencies_;
        const bool regular = n == k && axis.size() == k;
        const std::size_t slot = history.take_slot(k);
        double* max_hold = record.max_hold.data();
        double* max_decay = record.max_decay.data();
        double* min_hold = record.min_hold.data();
        double* min_decay = record.min_decay.data();
        float* levels = history.levels_.get();
        const double* stored = axis.data();
        // Whole tiles in vectors; the last partial tile and any mismatch
        // point by point.
        const std::size_t whole = regular ? n / TILE_POINTS * TILE_POINTS : 0;
        Folded folded = fold_tiles(points, stored, max_hold, max_decay, min_hold, min_decay,
                                   levels + slot * TILE_POINTS, whole / TILE_POINTS);
        folded.moved |= regular ? 0 : 1;
        for (std::size_t i = whole; i < k; ++i) {
            const double level = points[i].level_dbm;
            folded.inexact |= store_level(levels[SweepHistory::value_at(slot, i)], level);
            if (i >= n) continue;
            if (regular) {
                folded.moved |= std::bit_cast<std::uint64_t>(points[i].frequency_mhz) ^
                                std::bit_cast<std::uint64_t>(stored[i]);
            }
            fold_level(max_hold[i], max_decay[i], min_hold[i], min_decay[i], level);
        }
        history.keep_levels(slot, points, folded.inexact != 0);
        if (folded.moved != 0) {
            axis.resize(k);
            for (std::size_t i = 0; i < k; ++i) axis[i] = points[i].frequency_mhz;
        }
    }
    record.sweep_count = saturating_increment(record.sweep_count);
    record.generation = saturating_increment(record.generation);
    record.status = fmt::format("Live capture \u2014 {} sweeps", record.sweep_count);
}

bool trace_points_into(const LiveShared& record, TraceMode mode, Sweep& out) {
    if (record.history.empty()) return false;
    switch (mode) {
        case TraceMode::Average4: average_sweeps_into(record.history, 4, out); return true;
        case TraceMode::Average16: average_sweeps_into(record.history, 16, out); return true;
        default: break;
    }
    const std::vector<double>& axis = record.history.frequencies();
    const std::vector<double>& trace = stored_trace(record, mode);
    const std::size_t n = std::min(trace.size(), axis.size());
    if (out.capacity() >= n) {
        // The storage the buffer has is written over; only a grown size
        // clears the new points first.
        out.resize(n);
        for (std::size_t i = 0; i < n; ++i) out[i] = Sample{axis[i], trace[i]};
        return true;
    }
    // Too small a buffer goes before the new one is made, built straight from
    // the pairs so that each point is written once.
    const auto end = static_cast<std::ptrdiff_t>(n);
    out = Sweep();
    out = Sweep(PairedPoints{axis.data(), trace.data(), 0}, PairedPoints{axis.data(), trace.data(), end});
    return true;
}

std::optional<Sweep> trace_points(const LiveShared& record, TraceMode mode) {
    Sweep out;
    if (!trace_points_into(record, mode, out)) return std::nullopt;
    return out;
}

Sweep average_sweeps(const SweepHistory& history, std::size_t window) {
    Sweep out;
    average_sweeps_into(history, window, out);
    return out;
}

void average_sweeps_into(const SweepHistory& history, std::size_t window, Sweep& out) {
    if (history.empty()) {
        std::fputs("average requires one sweep\n", stderr);
        std::abort();
    }
    const std::size_t m = std::min(window, history.size());
    const std::size_t first = history.size() - m;
    const std::vector<double>& axis = history.frequencies();
    const std::size_t k = axis.size();
    const double divisor = static_cast<double>(m);
    // A buffer with room enough is written where it is, with only a grown
    // size cleared first. Too small a one goes before the new storage is
    // made, which is filled by appending a stretch at a time from a small
    // buffer, so that it is written once and never cleared.
    const bool room = out.capacity() >= k;
    if (room) {
        out.resize(k);
    } else {
        out = Sweep();
        out.reserve(k);
    }
    // Each point's sum is taken in history order, oldest of the window first,
    // from -0. The tiles are read front to back; a window whose entries all
    // cover a tile, and all keep their levels in the block, sums it in vectors.
    std::array<std::size_t, HISTORY_CAPACITY> slots{};
    std::size_t shortest = k;
    for (std::size_t s = 0; s < m; ++s) {
        const std::size_t slot = history.slot_of(first + s);
        slots[s] = slot * TILE_POINTS;
        shortest = history.wide_[slot] ? 0 : std::min(shortest, history.points(first + s));
    }
    const std::size_t whole = shortest / TILE_POINTS * TILE_POINTS;
    // The caller's buffer is written in one pass: each pass may leave the
    // lines at its ends part written and must wait for streamed stores.
    const bool stream = room && k >= STREAM_POINTS;
    const std::size_t step = room ? k : STRETCH_POINTS;
    std::array<Sample, STRETCH_POINTS> stretch;
    for (std::size_t base = 0; base < k; base += step) {
        const std::size_t end = std::min(k, base + step);
        const std::size_t tiled = std::max(base, std::min(end, whole));
        Sample* to = room ? out.data() + base : stretch.data();
        average_tiles(history.levels_.get() + base / TILE_POINTS * TILE_VALUES, slots.data(), m,
                      axis.data() + base, divisor, to, (tiled - base) / TILE_POINTS, stream);
        for (std::size_t i = tiled; i < end; ++i) {
            double sum = -0.0;
            // A shorter sweep than the newest adds nothing past its end.
            for (std::size_t s = first; s < history.size(); ++s) {
                if (i < history.points(s)) sum += history.level(s, i);
            }
            to[i - base] = Sample{axis[i], sum / divisor};
        }
        if (!room) out.insert(out.end(), to, to + (end - base));
    }
}

}  // namespace vorlix::workers
