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
#include <optional>
#include <span>
#include <string_view>
#include <vector>

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

// The newest sweeps, oldest first, at most HISTORY_CAPACITY of them: a ring
// of each sweep's levels, a new sweep taking the oldest one's place. The live
// worker only accepts sweeps on the grid of the newest one, so the
// frequencies are kept once, as the newest sweep gives them.
//
// Levels are kept as floats, which halves the history and what an average
// reads. That loses nothing: the decoder gives every level as raw / 32 - zero
// offset, with raw an unsigned 16-bit count and the offset a whole number of
// dB, that is n / 32 for the integer n = raw - 32 * offset. With the offset
// below 2048, |n| < 2^16; even with any 16-bit offset |n| < 2^21. Either fits
// a float's 24-bit significand, and dividing by 32 only moves the exponent,
// so the float holds the decoder's double exactly. A level no decoder gives
// would read back rounded to the nearest float.
class SweepHistory {
public:
    std::size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }

    // Appends a sweep's levels, dropping the oldest entry when full, and makes
    // its frequencies the stored ones.
    void push_back(const Sweep& sweep);

    // Levels of entry `index`, 0 being the oldest.
    std::span<const float> levels(std::size_t index) const { return levels_[slot_of(index)]; }
    // The newest sweep's frequencies; empty while the history is.
    const std::vector<double>& frequencies() const { return frequencies_; }

private:
    friend void apply_sweep(LiveShared& record, const Sweep& sweep);

    std::size_t slot_of(std::size_t index) const { return (first_ + index) % HISTORY_CAPACITY; }
    // Room for a new entry of `points` levels, dropping the oldest when full;
    // the storage of the entry it replaces is reused.
    float* append(std::size_t points);
    void keep_frequencies(const Sweep& sweep);

    std::array<std::vector<float>, HISTORY_CAPACITY> levels_;
    std::vector<double> frequencies_;
    std::size_t first_ = 0;
    std::size_t count_ = 0;
};

// "average 4", "average 16", "max hold", "max decay", "min hold", "min decay".
std::string_view trace_mode_label(TraceMode mode);

// The mode for a 0-based index (key "1" is index 0); empty past the last one.
std::optional<TraceMode> trace_mode_from_index(std::size_t index);

// Folds an accepted sweep into the record: traces updated in place, the
// sweep's levels appended to the history (dropping the oldest past
// HISTORY_CAPACITY), the counters advanced and the status set to
// "Live capture — {n} sweeps". The caller has already checked the sweep
// against the history.
void apply_sweep(LiveShared& record, const Sweep& sweep);

// The visible buffer for `mode`; empty before the first accepted sweep.
// An average is the mean of the 4 or 16 newest sweeps (all of them while
// fewer are stored): each point summed from -0 in history order, oldest
// first, then divided by the count.
std::optional<Sweep> trace_points(const LiveShared& record, TraceMode mode);
// The same written into `out`, reusing its storage when it is large enough;
// false, with `out` untouched, before the first accepted sweep.
bool trace_points_into(const LiveShared& record, TraceMode mode, Sweep& out);

}  // namespace vorlix::workers
