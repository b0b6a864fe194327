#pragma once
// The live history's entries as whole sweeps, for tests that compare them
// with the sweeps that went in.

#include <algorithm>
#include <cstddef>

#include "workers/traces.hpp"

namespace vorlix::workers::test {

// Entry `index` (0 the oldest) paired with the stored frequencies, as long
// as the shorter of the two.
inline Sweep history_entry(const SweepHistory& history, std::size_t index) {
    const auto levels = history.levels(index);
    const auto& frequencies = history.frequencies();
    Sweep out(std::min(levels.size(), frequencies.size()));
    for (std::size_t i = 0; i < out.size(); ++i) out[i] = Sample{frequencies[i], double(levels[i])};
    return out;
}

inline Sweep newest_entry(const SweepHistory& history) { return history_entry(history, history.size() - 1); }

}  // namespace vorlix::workers::test
