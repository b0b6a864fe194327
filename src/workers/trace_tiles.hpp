#pragma once
// The loops over whole tiles of the history block behind the live traces,
// in the widest vectors the processor has, and the point by point steps
// they share with the rest of the traces.

#include <cstddef>
#include <cstdint>

#include "workers/traces.hpp"

namespace vorlix::workers {

// One point of the four running traces. Plain compares give what fmax and
// fmin give here: an accepted level is never NaN, a NaN trace value yields
// the level, and of two equal values the level is kept.
inline void fold_level(double& max_hold, double& max_decay, double& min_hold, double& min_decay,
                       double level) {
    max_hold = max_hold > level ? max_hold : level;
    min_hold = min_hold < level ? min_hold : level;
    const double fallen = max_decay - DECAY_STEP_DB;
    max_decay = fallen > level ? fallen : level;
    const double risen = min_decay + DECAY_STEP_DB;
    min_decay = risen < level ? risen : level;
}

// Writes `level` into the block as a float and says whether the float does
// not hold it exactly: a level past the float range becomes an infinity and
// a NaN never equals itself, so neither counts as held.
inline unsigned store_level(float& stored, double level) {
    const float narrow = static_cast<float>(level);
    stored = narrow;
    return static_cast<unsigned>(static_cast<double>(narrow) != level);
}

// Whether any frequency differed from the stored one, by its bits, and
// whether any level needs more than a float.
struct Folded {
    std::uint64_t moved;
    unsigned inexact;
};

constexpr std::size_t TILE_POINTS = SweepHistory::TILE_POINTS;
constexpr std::size_t TILE_VALUES = SweepHistory::TILE_VALUES;

// From this many points on, an average written into the caller's buffer
// goes past the caches: it is larger than they are, so keeping it there
// would only evict the levels still to be read and cost a read of each
// line before it is written. A smaller one stays for the screen to read.
constexpr std::size_t STREAM_POINTS = std::size_t{1} << 18;

// Folds the first `tiles` whole tiles of a sweep on the stored frequencies
// into the four traces, the new entry's levels going to `levels`, its first
// stretch in the block.
Folded fold_tiles(const Sample* points, const double* stored, double* max_hold, double* max_decay,
                  double* min_hold, double* min_decay, float* levels, std::size_t tiles);

// The mean of the window over the first `tiles` whole tiles into `out`;
// `slots` holds each entry's offset within a tile, oldest first. With
// `stream` the vector paths send the samples to memory past the caches,
// done before the return.
void average_tiles(const float* levels, const std::size_t* slots, std::size_t m, const double* axis,
                   double divisor, Sample* out, std::size_t tiles, bool stream);

}  // namespace vorlix::workers
