#pragma once
// The bounds of what the program can ask an instrument for, shared by the
// configuration check, the request check, the frame decoder and the menus.
// Here at the bottom of the layers because the configuration sits below the
// instrument side.

#include <cstdint>

namespace vorlix::base {

// Points of one sweep and sweeps of one request.
inline constexpr std::uint64_t MIN_SCAN_POINTS = 2;
inline constexpr std::uint64_t MAX_SCAN_POINTS = 1000001;
inline constexpr std::uint64_t MIN_SCAN_REPEAT = 1;
inline constexpr std::uint64_t MAX_SCAN_REPEAT = 1000;

// The frequency span any model covers, and the lowest stop frequency.
inline constexpr std::uint64_t MAX_FREQUENCY_MHZ = 5400;
inline constexpr std::uint64_t MIN_STOP_FREQUENCY_MHZ = 10;

// The raw-level offset in dB that the 16-bit fixed-point level can carry.
inline constexpr std::uint16_t MAX_ZERO_OFFSET = 2047;

}  // namespace vorlix::base
