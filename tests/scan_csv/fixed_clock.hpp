#pragma once
// Holds the wall clock still, so that saves can be made to compete for one
// time stamp and so for one set of names. While a FixedClock lives, every
// read of CLOCK_REALTIME in the process gives its time; the other clocks
// run on. A program that uses it links fixed_clock.cpp, whose clock_gettime
// comes before the C library's.

#include <chrono>

namespace vorlix::test {

class FixedClock {
public:
    explicit FixedClock(std::chrono::system_clock::time_point when);
    ~FixedClock();
    FixedClock(const FixedClock&) = delete;
    FixedClock& operator=(const FixedClock&) = delete;
};

}  // namespace vorlix::test
