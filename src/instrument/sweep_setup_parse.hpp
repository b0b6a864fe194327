#pragma once
// Readers of what the shell reports back during sweep set-up: whether the
// help text lists a command, the raw-level offset after "zero", and the range
// after "sweep". Pure functions over reply text; an echoed command line is
// skipped by each reader's own rule rather than stripped beforehand.

#include <cstdint>
#include <optional>
#include <string_view>

namespace vorlix::instrument {

// True when some piece of the reply, cut at every character other than an
// ASCII letter, digit or "_", equals the word ignoring ASCII case. So "scan"
// is not listed by "scanraw", but "Sweep," lists "sweep".
bool reply_lists_command(std::string_view reply, std::string_view word);

// The first white-space token that reads as "<u16>dBm" once punctuation is
// peeled off its ends, e.g. "(174dBm)" or "+174dBm"; none when no token does.
std::optional<std::uint16_t> parse_zero_readback(std::string_view reply);

struct SweepRange {
    std::uint64_t start_hz = 0;
    std::uint64_t stop_hz = 0;
    bool operator==(const SweepRange&) const = default;
};

// The first two unsigned integer tokens of the first line that has at least
// two; later lines are never consulted, so a matching line further down
// cannot mask a wrong first one.
std::optional<SweepRange> parse_sweep_readback(std::string_view reply);

// Whether the read-back confirms exactly the requested range.
bool sweep_readback_confirms(std::string_view reply, std::uint64_t start_hz, std::uint64_t stop_hz);

}  // namespace vorlix::instrument
