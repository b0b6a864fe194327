// The simulated radio environment: a noise floor with a handful of fixed
// carriers, sampled the way the instrument spaces its sweep points, and the
// instrument's 1/32 dB raw level encoding.
#pragma once

#include <cstdint>
#include <vector>

namespace vorlix::sim {

struct Carrier {
    std::uint64_t hz;
    double dbm;
};

// Fixed carriers, most of them inside 240–800 MHz so the default range shows
// several peaks; two lie above 900 MHz for extended-range sweeps.
const std::vector<Carrier>& carriers();

inline constexpr double NOISE_FLOOR_DBM = -100.0;

// The instrument's own point spacing: the span divided by the point count,
// remainder dropped; point i lies at start + i * step.
std::uint64_t point_step_hz(std::uint64_t start_hz, std::uint64_t stop_hz, std::uint64_t points);

// Levels in dBm for one sweep. The same seed, sweep index and range always
// give the same levels; another sweep index gives fresh noise.
std::vector<double> sweep_levels(std::uint64_t seed, std::uint64_t sweep_index, std::uint64_t start_hz,
                                 std::uint64_t stop_hz, std::uint64_t points);

// raw = (level + zero offset) * 32, rounded to nearest and clamped to the
// 16 bits the record carries.
std::uint16_t encode_level(double dbm, std::uint32_t zero_offset);

// A well-mixed 64-bit hash; the simulator's only source of randomness, so
// runs are reproducible on every platform.
std::uint64_t mix64(std::uint64_t x);

}  // namespace vorlix::sim
