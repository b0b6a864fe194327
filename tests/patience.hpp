#pragma once
// How long tests wait. A wait for something that must happen ends as soon as
// it happens, so its bound costs nothing on a healthy run and only has to
// outlast any machine load: minutes, not seconds. A product read time-out
// on a path that should succeed is the same kind of wait. Only a wait for
// something that must NOT happen may be short, because a slow machine can
// only make it pass more slowly.

#include <chrono>
#include <cstdint>

namespace vorlix::test {

inline constexpr std::chrono::milliseconds PATIENCE = std::chrono::minutes(2);

// A read time-out for the product on links that are expected to answer.
inline constexpr std::uint64_t ANSWERED_TIMEOUT_MS = 60'000;

// The read time-out for a test whose instrument falls silent on purpose: the
// product must give up on the silence, while every reply before it still
// arrives in time on a loaded machine.
inline constexpr std::uint64_t SILENCE_TIMEOUT_MS = 5'000;

}  // namespace vorlix::test
