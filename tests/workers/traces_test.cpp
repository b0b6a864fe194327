#include "workers/traces.hpp"

#include <array>
#include <bit>
#include <cmath>
#include <math.h>
#include <cstdint>
#include <limits>
#include <random>
#include <span>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "instrument/scanraw.hpp"
#include "workers/history_sweeps.hpp"
#include "workers/shared.hpp"

using namespace vorlix::workers;
using namespace vorlix::workers::test;
using vorlix::config::FrequencyAxis;
using vorlix::instrument::decode_scanraw;
using vorlix::instrument::Sample;
using vorlix::instrument::ScanRequest;

namespace {

// A sweep over 240, 241, ... MHz with the given levels.
Sweep sweep_of(std::vector<double> levels) {
    Sweep s;
    for (std::size_t i = 0; i < levels.size(); ++i) s.push_back({240.0 + double(i), levels[i]});
    return s;
}

std::vector<double> levels_of(const Sweep& sweep) {
    std::vector<double> out;
    for (const auto& p : sweep) out.push_back(p.level_dbm);
    return out;
}

std::vector<double> visible(const LiveShared& r, TraceMode mode) {
    auto points = trace_points(r, mode);
    return points ? levels_of(*points) : std::vector<double>{};
}

}  // namespace

TEST(TraceMode, LabelsInKeyOrder) {
    const std::string_view expected[] = {"average 4", "average 16", "max hold",
                                         "max decay", "min hold",   "min decay"};
    for (std::size_t i = 0; i < TRACE_MODE_COUNT; ++i) {
        auto mode = trace_mode_from_index(i);
        ASSERT_TRUE(mode.has_value());
        EXPECT_EQ(static_cast<std::size_t>(*mode), i);
        EXPECT_EQ(trace_mode_label(*mode), expected[i]);
    }
    EXPECT_FALSE(trace_mode_from_index(6).has_value());
    EXPECT_EQ(trace_mode_label(TraceMode::MaxDecay), "max decay");
}

TEST(Traces, AbsentBeforeFirstSweep) {
    LiveShared r;
    for (std::size_t i = 0; i < TRACE_MODE_COUNT; ++i)
        EXPECT_FALSE(trace_points(r, *trace_mode_from_index(i)).has_value());
}

TEST(Traces, FirstSweepSetsEveryTrace) {
    LiveShared r;
    apply_sweep(r, sweep_of({-10, -20.5, -30}));
    for (std::size_t i = 0; i < TRACE_MODE_COUNT; ++i) {
        auto points = trace_points(r, *trace_mode_from_index(i));
        ASSERT_TRUE(points.has_value());
        EXPECT_EQ(*points, sweep_of({-10, -20.5, -30})) << i;
    }
    EXPECT_EQ(r.sweep_count, 1u);
    EXPECT_EQ(r.generation, 1u);
    EXPECT_EQ(r.status, "Live capture \u2014 1 sweeps");
}

TEST(Traces, HoldAndDecayFollowTheLevels) {
    // Point 0 peaks once then stays low; point 1 dips once then stays high.
    const std::vector<std::vector<double>> sweeps = {{-20, -40}, {-60, -80}, {-60, -40},
                                                     {-60, -40}, {-60, -40}, {-60, -40}};
    const struct {
        TraceMode mode;
        std::vector<double> after_each[6];
    } cases[] = {
        {TraceMode::MaxHold, {{-20, -40}, {-20, -40}, {-20, -40}, {-20, -40}, {-20, -40}, {-20, -40}}},
        {TraceMode::MaxDecay, {{-20, -40}, {-21, -41}, {-22, -40}, {-23, -40}, {-24, -40}, {-25, -40}}},
        {TraceMode::MinHold, {{-20, -40}, {-60, -80}, {-60, -80}, {-60, -80}, {-60, -80}, {-60, -80}}},
        {TraceMode::MinDecay, {{-20, -40}, {-60, -80}, {-60, -79}, {-60, -78}, {-60, -77}, {-60, -76}}},
    };
    for (const auto& c : cases) {
        LiveShared r;
        for (std::size_t s = 0; s < sweeps.size(); ++s) {
            apply_sweep(r, sweep_of(sweeps[s]));
            EXPECT_EQ(visible(r, c.mode), c.after_each[s]) << trace_mode_label(c.mode) << " sweep " << s;
        }
    }
}

TEST(Traces, DecayMeetsTheLevel) {
    LiveShared r;
    apply_sweep(r, sweep_of({-20}));
    for (int s = 0; s < 45; ++s) apply_sweep(r, sweep_of({-60}));
    EXPECT_EQ(visible(r, TraceMode::MaxDecay), std::vector<double>{-60});
    EXPECT_EQ(visible(r, TraceMode::MaxHold), std::vector<double>{-20});
}

TEST(Traces, AveragesGrowTheirWindowThenSlide) {
    LiveShared r;
    // Sweep k (1-based) reads -k dBm at its one point.
    const struct {
        int sweeps;
        double average4;
        double average16;
        std::size_t history;
    } cases[] = {
        {1, -1, -1, 1},   {2, -1.5, -1.5, 2},    {4, -2.5, -2.5, 4},
        {5, -3.5, -3, 5}, {16, -14.5, -8.5, 16}, {20, -18.5, -12.5, 16},  // history holds sweeps 5..20
    };
    int applied = 0;
    for (const auto& c : cases) {
        while (applied < c.sweeps) {
            ++applied;
            apply_sweep(r, sweep_of({-double(applied)}));
        }
        EXPECT_EQ(r.history.size(), c.history);
        EXPECT_EQ(visible(r, TraceMode::Average4), std::vector<double>{c.average4}) << c.sweeps;
        EXPECT_EQ(visible(r, TraceMode::Average16), std::vector<double>{c.average16}) << c.sweeps;
    }
    EXPECT_EQ(history_entry(r.history, 0), sweep_of({-5.0}));
    EXPECT_EQ(visible(r, TraceMode::MaxHold), std::vector<double>{-1});
    EXPECT_EQ(visible(r, TraceMode::MinHold), std::vector<double>{-20});
    EXPECT_EQ(r.status, "Live capture \u2014 20 sweeps");
}

TEST(Traces, AverageSumsOldestFirstFromNegativeZero) {
    LiveShared r;
    // Summed oldest first, 2^53 + 1 + 1 loses both ones; another order would
    // not. Every level here is one a float holds.
    const double big = std::ldexp(1.0, 53);
    apply_sweep(r, sweep_of({big, -0.0}));
    apply_sweep(r, sweep_of({1.0, -0.0}));
    apply_sweep(r, sweep_of({1.0, -0.0}));
    for (const TraceMode mode : {TraceMode::Average4, TraceMode::Average16}) {
        const std::vector<double> mean = visible(r, mode);
        ASSERT_EQ(mean.size(), 2u);
        EXPECT_EQ(mean[0], big / 3.0);
        EXPECT_TRUE(std::signbit(mean[1]));  // -0 + -0 stays -0
    }
}

TEST(Traces, FrequenciesComeFromTheNewestSweep) {
    LiveShared r;
    apply_sweep(r, Sweep{{100.0, -1}, {200.0, -2}});
    apply_sweep(r, Sweep{{100.5, -3}, {200.5, -4}});
    for (std::size_t i = 0; i < TRACE_MODE_COUNT; ++i) {
        auto points = trace_points(r, *trace_mode_from_index(i));
        ASSERT_TRUE(points && points->size() == 2);
        EXPECT_EQ((*points)[0].frequency_mhz, 100.5);
        EXPECT_EQ((*points)[1].frequency_mhz, 200.5);
    }
}

TEST(Traces, CountersSaturate) {
    LiveShared r;
    r.sweep_count = UINT64_MAX;
    r.generation = UINT64_MAX;
    apply_sweep(r, sweep_of({-1}));
    EXPECT_EQ(r.sweep_count, UINT64_MAX);
    EXPECT_EQ(r.generation, UINT64_MAX);
}

namespace {

// The C library's own fmax and fmin, called through a pointer: the compiler
// treats the two as symmetric and may swap their operands when it sees the
// call, which decides the sign of a zero result.
using Extremum = double (*)(double, double);
const volatile Extremum LIBRARY_FMAX = &::fmax;
const volatile Extremum LIBRARY_FMIN = &::fmin;

// The traces computed the plain way, one whole sweep of doubles kept per
// entry. With `as_float` the history keeps each level rounded to a float.
struct ReferenceTraces {
    bool as_float = false;
    std::vector<Sweep> history;
    std::vector<double> max_hold, max_decay, min_hold, min_decay;

    void apply(Sweep sweep) {
        if (history.empty()) {
            for (const Sample& p : sweep) max_hold.push_back(p.level_dbm);
            max_decay = min_hold = min_decay = max_hold;
        } else {
            for (std::size_t i = 0; i < sweep.size(); ++i) {
                const double level = sweep[i].level_dbm;
                max_hold[i] = LIBRARY_FMAX(max_hold[i], level);
                min_hold[i] = LIBRARY_FMIN(min_hold[i], level);
                max_decay[i] = LIBRARY_FMAX(max_decay[i] - DECAY_STEP_DB, level);
                min_decay[i] = LIBRARY_FMIN(min_decay[i] + DECAY_STEP_DB, level);
            }
        }
        if (as_float) {
            for (Sample& p : sweep) p.level_dbm = double(float(p.level_dbm));
        }
        history.push_back(sweep);
        if (history.size() > HISTORY_CAPACITY) history.erase(history.begin());
    }

    Sweep visible(TraceMode mode) const {
        const Sweep& newest = history.back();
        Sweep out = newest;
        if (mode == TraceMode::Average4 || mode == TraceMode::Average16) {
            const std::size_t m = std::min<std::size_t>(mode == TraceMode::Average4 ? 4 : 16, history.size());
            for (std::size_t i = 0; i < out.size(); ++i) {
                double sum = -0.0;
                for (std::size_t s = history.size() - m; s < history.size(); ++s)
                    sum += history[s][i].level_dbm;
                out[i].level_dbm = sum / double(m);
            }
            return out;
        }
        const std::vector<double>& trace = mode == TraceMode::MaxHold    ? max_hold
                                           : mode == TraceMode::MaxDecay ? max_decay
                                           : mode == TraceMode::MinHold  ? min_hold
                                                                         : min_decay;
        for (std::size_t i = 0; i < out.size(); ++i) out[i].level_dbm = trace[i];
        return out;
    }
};

std::vector<std::uint64_t> bits_of(const Sweep& sweep) {
    std::vector<std::uint64_t> out;
    for (const Sample& p : sweep) {
        out.push_back(std::bit_cast<std::uint64_t>(p.frequency_mhz));
        out.push_back(std::bit_cast<std::uint64_t>(p.level_dbm));
    }
    return out;
}

// Applies `sweeps` to a record and to the reference, and after each one
// compares every visible trace, built fresh and into a buffer reused from
// the sweep before, and the stored levels, bit for bit. A copy of the
// record must give the same.
void expect_as_the_reference(const std::vector<Sweep>& sweeps, ReferenceTraces reference) {
    LiveShared r;
    std::array<Sweep, TRACE_MODE_COUNT> reused;
    for (std::size_t s = 0; s < sweeps.size(); ++s) {
        apply_sweep(r, sweeps[s]);
        reference.apply(sweeps[s]);
        if (s == 5) {
            // A NaN reached a trace some other way: the next level replaces it.
            const double nan = std::numeric_limits<double>::quiet_NaN();
            r.max_hold[3] = r.max_decay[3] = r.min_hold[3] = r.min_decay[3] = nan;
            reference.max_hold[3] = reference.max_decay[3] = reference.min_hold[3] = reference.min_decay[3] =
                nan;
            continue;
        }
        const LiveShared copied = r;
        for (std::size_t m = 0; m < TRACE_MODE_COUNT; ++m) {
            const TraceMode mode = *trace_mode_from_index(m);
            SCOPED_TRACE("sweep " + std::to_string(s) + ", " + std::string(trace_mode_label(mode)));
            const auto expected = bits_of(reference.visible(mode));
            ASSERT_TRUE(trace_points_into(r, mode, reused[m]));
            ASSERT_EQ(bits_of(reused[m]), expected) << "reused buffer";
            ASSERT_EQ(bits_of(*trace_points(r, mode)), expected);
            ASSERT_EQ(bits_of(*trace_points(copied, mode)), expected) << "copied record";
        }
        // Each entry's levels; the frequencies are the newest sweep's.
        ASSERT_EQ(r.history.size(), reference.history.size());
        for (std::size_t e = 0; e < r.history.size(); ++e) {
            Sweep kept = reference.history[e];
            for (std::size_t i = 0; i < kept.size(); ++i) kept[i].frequency_mhz = sweeps[s][i].frequency_mhz;
            ASSERT_EQ(bits_of(history_entry(r.history, e)), bits_of(kept)) << "entry " << e;
        }
    }
}

// `count` sweeps of `points` points on one grid whose first frequency is a
// zero that flips its sign at sweep 20: equal values, other bits. Each level
// is a count of 1/32 dB less a whole offset, as the decoder gives it, or
// one of `edges`.
std::vector<Sweep> sweeps_with(std::span<const double> edges, std::size_t points, std::size_t count) {
    std::mt19937_64 random(12);
    std::vector<Sweep> sweeps;
    for (std::size_t s = 0; s < count; ++s) {
        Sweep sweep(points);
        const double offset = double(random() % 2048);
        for (std::size_t i = 0; i < points; ++i) {
            sweep[i].frequency_mhz = i == 0 ? (s == 20 ? -0.0 : 0.0) : 240.0 + double(i) * 0.37;
            sweep[i].level_dbm =
                random() % 3 == 0 ? edges[random() % edges.size()] : double(random() % 65536) / 32.0 - offset;
        }
        sweeps.push_back(sweep);
    }
    return sweeps;
}

// A point count that is not a multiple of any vector width, and more than
// one stretch of a visible buffer.
constexpr std::size_t POINTS = 2053;

}  // namespace

TEST(Traces, MatchThePlainComputationBitForBit) {
    // Levels drawn from a small set as well, so that ties, signed zeros and
    // the extremes a float holds meet at the same point across sweeps.
    const double edges[] = {0.0,
                            -0.0,
                            1.0,
                            -1.0,
                            0.5,
                            -0.5,
                            2047.96875,
                            -2047.0,
                            -65535.0,
                            std::ldexp(1.0, 53),
                            std::numeric_limits<float>::max(),
                            std::numeric_limits<float>::lowest(),
                            std::numeric_limits<float>::denorm_min(),
                            -std::numeric_limits<float>::denorm_min(),
                            -90.03125,
                            -20.0,
                            -21.0};
    expect_as_the_reference(sweeps_with(edges, POINTS, 37), ReferenceTraces{});
}

TEST(Traces, HoldsKeepEveryDoubleAndTheHistoryItsNearestFloat) {
    // Levels no decoder gives: the hold and decay traces keep them as they
    // are, the averages take them rounded to a float.
    const double edges[] = {0.1,
                            -0.0,
                            1e300,
                            -1e300,
                            5e-324,
                            std::numeric_limits<double>::max(),
                            std::numeric_limits<double>::lowest(),
                            -90.0 + std::ldexp(1.0, -30),
                            1e16};
    ReferenceTraces rounded;
    rounded.as_float = true;
    expect_as_the_reference(sweeps_with(edges, POINTS, 21), rounded);
}

TEST(Traces, EveryDecodedLevelIsKeptExactly) {
    // Every raw count at the offsets the instruments use and the extremes
    // of the range, decoded as a live sweep is.
    const ScanRequest request{240'000'000, 800'000'000, 65536, 1};
    std::vector<std::uint8_t> frame{'{'};
    for (std::uint32_t raw = 0; raw < 65536; ++raw) {
        frame.insert(frame.end(), {std::uint8_t('x'), std::uint8_t(raw & 0xff), std::uint8_t(raw >> 8)});
    }
    frame.push_back('}');
    for (const std::uint16_t offset : std::initializer_list<std::uint16_t>{0, 1, 128, 174, 1000, 2047}) {
        SCOPED_TRACE("offset " + std::to_string(offset));
        auto sweep = decode_scanraw(frame, request, offset, FrequencyAxis::Firmware);
        ASSERT_TRUE(sweep.has_value());
        LiveShared r;
        apply_sweep(r, *sweep);
        EXPECT_EQ(bits_of(newest_entry(r.history)), bits_of(*sweep));
    }
}

TEST(Traces, BuiltIntoABufferAsIntoANewOne) {
    LiveShared r;
    Sweep untouched = sweep_of({7, 8});
    for (std::size_t m = 0; m < TRACE_MODE_COUNT; ++m) {
        EXPECT_FALSE(trace_points_into(r, *trace_mode_from_index(m), untouched));
    }
    EXPECT_EQ(untouched, sweep_of({7, 8}));

    // Five sweeps: a full window for average 4, a partial one for average
    // 16, and a last stretch of the buffer that is not full.
    constexpr std::size_t points = 1100;
    for (int s = 0; s < 5; ++s) {
        std::vector<double> levels;
        for (std::size_t i = 0; i < points; ++i)
            levels.push_back(-50.0 + double((i * 7 + std::size_t(s) * 3) % 11) - 0.25 * s);
        apply_sweep(r, sweep_of(levels));
    }
    struct Start {
        const char* name;
        Sweep buffer;
    };
    const std::vector<Start> starts = {
        {"empty", {}},
        {"shorter", sweep_of({1, 2, 3})},
        {"same size", Sweep(points, Sample{-1.0, 99.0})},
        {"longer", Sweep(points + 600, Sample{-1.0, 99.0})},
    };
    for (std::size_t m = 0; m < TRACE_MODE_COUNT; ++m) {
        const TraceMode mode = *trace_mode_from_index(m);
        const Sweep expected = *trace_points(r, mode);
        ASSERT_EQ(expected.size(), points);
        for (const Start& start : starts) {
            SCOPED_TRACE(std::string(trace_mode_label(mode)) + ", " + start.name);
            Sweep buffer = start.buffer;
            buffer.reserve(points);
            const Sample* storage = buffer.data();
            ASSERT_TRUE(trace_points_into(r, mode, buffer));
            EXPECT_EQ(bits_of(buffer), bits_of(expected));
            // Room enough already: the trace is written where the buffer is.
            EXPECT_EQ(buffer.data(), storage);
        }
    }
}

TEST(Traces, SweepsOfOtherLengthsAddNothingPastTheirEnd) {
    // Only a caller that skips the sweep check stores these: a longer sweep
    // is kept whole, a shorter one adds nothing past its end, the traces
    // keep the first sweep's length and the frequencies are the newest's.
    LiveShared r;
    apply_sweep(r, sweep_of({1, 2, 3}));
    const Sweep longer = sweep_of({10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110});
    apply_sweep(r, longer);
    EXPECT_EQ(newest_entry(r.history), longer);
    apply_sweep(r, sweep_of({-4, -8}));
    const LiveShared copy = r;
    const LiveShared* both[] = {&r, &copy};
    for (const LiveShared* record : both) {
        EXPECT_EQ(visible(*record, TraceMode::Average16), (std::vector<double>{7.0 / 3.0, 14.0 / 3.0}));
        EXPECT_EQ(visible(*record, TraceMode::MaxHold), (std::vector<double>{10, 20}));
        EXPECT_EQ(history_entry(record->history, 0), sweep_of({1, 2}));
        EXPECT_EQ(newest_entry(record->history), sweep_of({-4, -8}));
    }
    std::vector<double> longest;
    for (int i = 1; i <= 13; ++i) longest.push_back(100.0 * i);
    apply_sweep(r, sweep_of(longest));
    std::vector<double> mean;
    for (int i = 1; i <= 13; ++i) {
        const double sum = (i <= 3 ? i : 0) + (i <= 11 ? 10 * i : 0) +
                           (i == 1   ? -4
                            : i == 2 ? -8
                                     : 0) +
                           100 * i;
        mean.push_back(sum / 4);
    }
    EXPECT_EQ(visible(r, TraceMode::Average4), mean);
    // The third point was last folded by the 11-point sweep; the short one
    // did not reach it.
    EXPECT_EQ(visible(r, TraceMode::MaxHold), (std::vector<double>{100, 200, 300}));
    EXPECT_EQ(visible(r, TraceMode::MinHold), (std::vector<double>{-4, -8, 3}));
    EXPECT_EQ(newest_entry(r.history), sweep_of(longest));
}
