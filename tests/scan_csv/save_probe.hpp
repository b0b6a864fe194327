#pragma once
// The sweep the save probe writes, so a test can write the same one itself.

#include <cstddef>
#include <vector>

#include "instrument/types.hpp"

namespace vorlix::test {

inline std::vector<instrument::Sample> probe_sweep(std::size_t points) {
    std::vector<instrument::Sample> sweep(points);
    for (std::size_t i = 0; i < points; ++i) {
        sweep[i] = {240.0 + static_cast<double>(i) * 0.001234, -87.46875 + static_cast<double>(i % 97)};
    }
    return sweep;
}

}  // namespace vorlix::test
