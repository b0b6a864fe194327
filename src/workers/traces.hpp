#pragma once
// The six live traces and the stored data behind them. A live capture keeps
// the newest sweeps and four running traces; the visible buffer is built from
// them on demand, always paired with the newest sweep's frequencies.
//
// Every function that takes a LiveShared expects its caller to hold that
// record's lock (see workers/shared.hpp).

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "base/cpu_features.hpp"
#include "instrument/types.hpp"

namespace vorlix::workers {

using instrument::Sample;
using Sweep = std::vector<Sample>;

// Keys 1 to 6 select these in this order; 0 is the selection after a reset.
enum class TraceMode : std::uint8_t {
    Average4 = 0,
    Average16 = 1,
    MaxHold = 2,
    MaxDecay = 3,
    MinHold = 4,
    MinDecay = 5,
};

inline constexpr std::size_t TRACE_MODE_COUNT = 6;
inline constexpr std::size_t HISTORY_CAPACITY = 16;
inline constexpr double DECAY_STEP_DB = 1.0;

struct LiveShared;

// The newest sweeps, oldest first, at most HISTORY_CAPACITY of them. The live
// worker only accepts sweeps on the grid of the newest one, so the
// frequencies are kept once, always the newest sweep's, and each entry keeps
// only its levels. Those live in one block, in tiles of TILE_POINTS points
// holding that stretch of every entry side by side, so that averaging reads
// the block front to back and a new sweep reuses the oldest entry's place.
//
// The block holds floats: every level the instrument reports is a count of
// 1/32 dB less a whole offset, which a float holds exactly, so the block is
// half the size and averaging reads half as much. An entry with any level a
// float does not hold exactly keeps all its levels as doubles beside the
// block instead, so every level reads back as the very value stored.
class SweepHistory {
public:
    static constexpr std::size_t TILE_POINTS = 16;
    static constexpr std::size_t TILE_VALUES = TILE_POINTS * HISTORY_CAPACITY;

    SweepHistory() = default;
    SweepHistory(const SweepHistory& other);
    SweepHistory(SweepHistory&&) noexcept = default;
    SweepHistory& operator=(const SweepHistory& other);
    SweepHistory& operator=(SweepHistory&&) noexcept = default;

    std::size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }

    // Appends a sweep's levels, dropping the oldest entry when full, and makes
    // its frequencies the stored ones.
    void push_back(const Sweep& sweep);

    // Points of entry `index`, 0 being the oldest, and one of its levels.
    std::size_t points(std::size_t index) const { return points_[slot_of(index)]; }
    double level(std::size_t index, std::size_t point) const { return level_in(slot_of(index), point); }
    // The newest sweep's frequencies; empty while the history is.
    const std::vector<double>& frequencies() const { return frequencies_; }

    // The oldest and the newest entry as sweeps, paired with the stored
    // frequencies. Copies, for inspection; the history must not be empty.
    Sweep front() const { return sweep_at(0); }
    Sweep back() const { return sweep_at(count_ - 1); }

private:
    friend void apply_sweep(LiveShared& record, const Sweep& sweep);
    friend void average_sweeps_into(const SweepHistory& history, std::size_t window, Sweep& out);

    std::size_t slot_of(std::size_t index) const { return (first_ + index) % HISTORY_CAPACITY; }
    static std::size_t value_at(std::size_t slot, std::size_t point) {
        return point / TILE_POINTS * TILE_VALUES + slot * TILE_POINTS + point % TILE_POINTS;
    }
    double level_in(std::size_t slot, std::size_t point) const {
        return wide_[slot] ? wide_[slot][point] : static_cast<double>(levels_[value_at(slot, point)]);
    }
    // The slot a new sweep of `points` points goes into, a free one or the
    // oldest when full, with the block grown to hold it.
    std::size_t take_slot(std::size_t points);
    // Settles how the levels just written into the block for `slot` are
    // kept: as they are when `inexact` is false, else also whole as doubles.
    void keep_levels(std::size_t slot, const Sample* points, bool inexact);
    Sweep sweep_at(std::size_t index) const;

    // Each entry's stretch of a tile fills one cache line, which the block
    // starts on.
    struct LevelsDelete {
        void operator()(float* block) const;
    };
    using Levels = std::unique_ptr<float[], LevelsDelete>;
    static Levels make_levels(std::size_t tiles);

    Levels levels_;
    // Per slot, the levels of an entry that the block cannot hold exactly;
    // empty for every other slot.
    std::array<std::unique_ptr<double[]>, HISTORY_CAPACITY> wide_;
    std::size_t tiles_ = 0;
    std::array<std::size_t, HISTORY_CAPACITY> points_{};
    std::vector<double> frequencies_;
    std::size_t first_ = 0;
    std::size_t count_ = 0;
};

// "average 4", "average 16", "max hold", "max decay", "min hold", "min decay".
std::string_view trace_mode_label(TraceMode mode);

// The mode for a 0-based index (key "1" is index 0); empty past the last one.
std::optional<TraceMode> trace_mode_from_index(std::size_t index);

// Folds an accepted sweep into the record: traces updated in place, the
// sweep's levels appended to the history (dropping the oldest past HISTORY_CAPACITY), the
// counters advanced and the status set to "Live capture — {n} sweeps". The
// caller has already checked the sweep against the history.
void apply_sweep(LiveShared& record, const Sweep& sweep);

// The visible buffer for `mode`; empty before the first accepted sweep.
std::optional<Sweep> trace_points(const LiveShared& record, TraceMode mode);
// The same written into `out`, reusing its storage when it is large enough;
// false, with `out` untouched, before the first accepted sweep.
bool trace_points_into(const LiveShared& record, TraceMode mode, Sweep& out);

// The vector widths the fold of a sweep and the averages can run with.
// They give the same bits; the widest the processor has is taken unless a
// test picks another to compare them.
using base::VectorPath;
// Those this processor has, narrowest first.
std::vector<VectorPath> available_vector_paths();
// The one taken now, and taking `path` from now on for every record; one
// the processor does not have is ignored.
VectorPath current_vector_path();
void use_vector_path(VectorPath path);

// Mean of the `window` newest sweeps (all of them when fewer are stored),
// summed oldest first. The history must not be empty.
Sweep average_sweeps(const SweepHistory& history, std::size_t window);
// The same written into `out`, resized to the newest sweep's points.
void average_sweeps_into(const SweepHistory& history, std::size_t window, Sweep& out);

}  // namespace vorlix::workers
