#include "scan_csv/fixed_clock.hpp"

#include <dlfcn.h>
#include <time.h>

#include <atomic>
#include <cstdint>

namespace {

std::atomic<bool> fixed{false};
std::atomic<std::int64_t> fixed_nanos{0};

}  // namespace

extern "C" int clock_gettime(clockid_t clock, struct timespec* time) noexcept {
    using Real = int (*)(clockid_t, struct timespec*);
    static const Real real = reinterpret_cast<Real>(::dlsym(RTLD_NEXT, "clock_gettime"));
    if (clock == CLOCK_REALTIME && fixed.load(std::memory_order_acquire)) {
        const std::int64_t nanos = fixed_nanos.load(std::memory_order_relaxed);
        // Floor division, so that a time before the epoch still has its
        // nanoseconds in 0..999999999.
        std::int64_t seconds = nanos / 1'000'000'000;
        std::int64_t rest = nanos % 1'000'000'000;
        if (rest < 0) {
            rest += 1'000'000'000;
            seconds -= 1;
        }
        time->tv_sec = static_cast<time_t>(seconds);
        time->tv_nsec = static_cast<long>(rest);
        return 0;
    }
    return real(clock, time);
}

namespace vorlix::test {

FixedClock::FixedClock(std::chrono::system_clock::time_point when) {
    fixed_nanos.store(std::chrono::duration_cast<std::chrono::nanoseconds>(when.time_since_epoch()).count(),
                      std::memory_order_relaxed);
    fixed.store(true, std::memory_order_release);
}

FixedClock::~FixedClock() { fixed.store(false, std::memory_order_release); }

}  // namespace vorlix::test
