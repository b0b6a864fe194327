#pragma once
// The six live traces and the stored data behind them. A live capture keeps
// the newest sweeps and four running traces; the visible buffer is built from
// them on demand, always paired with the newest sweep's frequencies.
//
// Every function that takes a LiveShared expects its caller to hold that
// record's lock (see workers/shared.hpp).

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string_view>
#include <vector>

#include "instrument/types.hpp"

namespace vorlix::workers {

using instrument::Sample;
using Sweep = std::vector<Sample>;
using SweepHistory = std::deque<Sweep>;

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

// "average 4", "average 16", "max hold", "max decay", "min hold", "min decay".
std::string_view trace_mode_label(TraceMode mode);

// The mode for a 0-based index (key "1" is index 0); empty past the last one.
std::optional<TraceMode> trace_mode_from_index(std::size_t index);

struct LiveShared;

// Folds an accepted sweep into the record: traces updated in place, the sweep
// appended to the history (dropping the oldest past HISTORY_CAPACITY), the
// counters advanced and the status set to "Live capture — {n} sweeps". The
// caller has already checked the sweep against the history.
void apply_sweep(LiveShared& record, Sweep sweep);

// The visible buffer for `mode`; empty before the first accepted sweep.
std::optional<Sweep> trace_points(const LiveShared& record, TraceMode mode);

// Mean of the `window` newest sweeps (all of them when fewer are stored),
// summed oldest first. The history must not be empty.
Sweep average_sweeps(const SweepHistory& history, std::size_t window);

}  // namespace vorlix::workers
