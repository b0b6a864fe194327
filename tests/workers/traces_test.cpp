#include "workers/traces.hpp"

#include <array>
#include <bit>
#include <cmath>
#include <math.h>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "workers/shared.hpp"
#include "workers/trace_tiles.hpp"

using namespace vorlix::workers;
using vorlix::instrument::Sample;

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
    EXPECT_EQ(r.history.front().front().level_dbm, -5.0);
    EXPECT_EQ(visible(r, TraceMode::MaxHold), std::vector<double>{-1});
    EXPECT_EQ(visible(r, TraceMode::MinHold), std::vector<double>{-20});
    EXPECT_EQ(r.status, "Live capture \u2014 20 sweeps");
}

TEST(Traces, AverageSumsOldestFirstFromNegativeZero) {
    SweepHistory history;
    // Summed oldest first, 1e16 + 1 + 1 loses both ones; another order would not.
    history.push_back(sweep_of({1e16, -0.0}));
    history.push_back(sweep_of({1.0, -0.0}));
    history.push_back(sweep_of({1.0, -0.0}));
    const Sweep mean = average_sweeps(history, 16);
    EXPECT_EQ(mean[0].level_dbm, 1e16 / 3.0);
    EXPECT_TRUE(std::signbit(mean[1].level_dbm));  // -0 + -0 stays -0
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

TEST(TracesDeathTest, AverageOfNothingAborts) {
    EXPECT_DEATH(average_sweeps(SweepHistory{}, 4), "average requires one sweep");
}

namespace {

// The C library's own fmax and fmin, called through a pointer: the compiler
// treats the two as symmetric and may swap their operands when it sees the
// call, which decides the sign of a zero result.
using Extremum = double (*)(double, double);
const volatile Extremum LIBRARY_FMAX = &::fmax;
const volatile Extremum LIBRARY_FMIN = &::fmin;

// The traces computed the plain way, one whole sweep kept per entry.
struct ReferenceTraces {
    std::vector<Sweep> history;
    std::vector<double> max_hold, max_decay, min_hold, min_decay;

    void apply(const Sweep& sweep) {
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

// Runs `body` through each vector path this processor has, which must all
// give the same bits, then goes back to the widest.
void through_each_path(void (*body)()) {
    const std::vector<VectorPath> paths = available_vector_paths();
    for (const VectorPath path : paths) {
        use_vector_path(path);
        SCOPED_TRACE(vorlix::base::vector_path_name(path));
        body();
        if (::testing::Test::HasFatalFailure()) break;
    }
    use_vector_path(paths.back());
}

std::vector<std::uint64_t> bits_of(const Sweep& sweep) {
    std::vector<std::uint64_t> out;
    for (const Sample& p : sweep) {
        out.push_back(std::bit_cast<std::uint64_t>(p.frequency_mhz));
        out.push_back(std::bit_cast<std::uint64_t>(p.level_dbm));
    }
    return out;
}

}  // namespace

namespace {

void match_the_plain_computation() {
    // Levels drawn from a small set so that ties, signed zeros, huge and tiny
    // magnitudes meet at the same point across sweeps; a point count that is
    // not a multiple of any vector width or block.
    const double edges[] = {0.0,
                            -0.0,
                            1.0,
                            -1.0,
                            0.5,
                            -0.5,
                            1e300,
                            -1e300,
                            5e-324,
                            -5e-324,
                            std::numeric_limits<double>::max(),
                            std::numeric_limits<double>::lowest(),
                            -90.03125,
                            -20.0,
                            -21.0,
                            1e16};
    constexpr std::size_t points = 2053;
    std::mt19937_64 random(12);
    Sweep grid_sweep(points);
    for (std::size_t i = 0; i < points; ++i)
        grid_sweep[i].frequency_mhz = i == 0 ? 0.0 : 240.0 + double(i) * 0.37;

    LiveShared r;
    ReferenceTraces reference;
    for (int s = 0; s < 37; ++s) {
        Sweep sweep = grid_sweep;
        for (Sample& p : sweep) {
            p.level_dbm = random() % 3 == 0 ? edges[random() % std::size(edges)]
                                            : std::ldexp(double(std::int64_t(random() % 4001) - 2000), -5);
        }
        // The first frequency flips the sign of its zero: equal values, other bits.
        if (s == 20) sweep[0].frequency_mhz = -0.0;
        apply_sweep(r, sweep);
        reference.apply(sweep);
        if (s == 5) {
            // A NaN reached a trace some other way: the next level replaces it.
            const double nan = std::numeric_limits<double>::quiet_NaN();
            r.max_hold[3] = r.max_decay[3] = r.min_hold[3] = r.min_decay[3] = nan;
            reference.max_hold[3] = reference.max_decay[3] = reference.min_hold[3] = reference.min_decay[3] =
                nan;
            continue;
        }
        for (std::size_t m = 0; m < TRACE_MODE_COUNT; ++m) {
            const TraceMode mode = *trace_mode_from_index(m);
            auto points_now = trace_points(r, mode);
            ASSERT_TRUE(points_now.has_value());
            ASSERT_EQ(bits_of(*points_now), bits_of(reference.visible(mode)))
                << "sweep " << s << ", " << trace_mode_label(mode);
        }
        ASSERT_EQ(r.history.size(), reference.history.size());
        EXPECT_EQ(bits_of(r.history.back()), bits_of(reference.history.back()));
    }
}

}  // namespace

TEST(Traces, MatchThePlainComputationBitForBit) { through_each_path(match_the_plain_computation); }

namespace {

void built_into_a_buffer() {
    LiveShared r;
    Sweep untouched = sweep_of({7, 8});
    for (std::size_t m = 0; m < TRACE_MODE_COUNT; ++m) {
        EXPECT_FALSE(trace_points_into(r, *trace_mode_from_index(m), untouched));
    }
    EXPECT_EQ(untouched, sweep_of({7, 8}));

    // Five sweeps of 19 points: averages over partial tiles and a full window.
    for (int s = 0; s < 5; ++s) {
        std::vector<double> levels;
        for (int i = 0; i < 19; ++i) levels.push_back(-50.0 + double((i * 7 + s * 3) % 11) - 0.25 * s);
        apply_sweep(r, sweep_of(levels));
    }
    struct Start {
        const char* name;
        Sweep buffer;
    };
    const std::vector<Start> starts = {
        {"empty", {}},
        {"shorter", sweep_of({1, 2, 3})},
        {"same size", Sweep(19, Sample{-1.0, 99.0})},
        {"longer", Sweep(40, Sample{-1.0, 99.0})},
    };
    for (std::size_t m = 0; m < TRACE_MODE_COUNT; ++m) {
        const TraceMode mode = *trace_mode_from_index(m);
        const Sweep expected = *trace_points(r, mode);
        ASSERT_EQ(expected.size(), 19u);
        for (const Start& start : starts) {
            SCOPED_TRACE(std::string(trace_mode_label(mode)) + ", " + start.name);
            Sweep buffer = start.buffer;
            buffer.reserve(19);
            const Sample* storage = buffer.data();
            ASSERT_TRUE(trace_points_into(r, mode, buffer));
            EXPECT_EQ(bits_of(buffer), bits_of(expected));
            // Room enough already: the trace is written where the buffer is.
            EXPECT_EQ(buffer.data(), storage);
        }
    }
}

}  // namespace

TEST(Traces, BuiltIntoABufferAsIntoANewOne) { through_each_path(built_into_a_buffer); }

TEST(Traces, HistoryKeepsSweepsOfOtherLengthsWhole) {
    // Only a caller that skips the sweep check stores these; a longer sweep
    // grows the storage and a shorter one adds nothing past its end.
    SweepHistory history;
    history.push_back(sweep_of({1, 2, 3}));
    history.push_back(sweep_of({10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110}));
    history.push_back(sweep_of({-4, -8}));
    const SweepHistory copy = history;
    const SweepHistory* both[] = {&history, &copy};
    for (const SweepHistory* h : both) {
        ASSERT_EQ(h->size(), 3u);
        EXPECT_EQ(h->front(), sweep_of({1, 2}));  // paired with the newest sweep's two frequencies
        EXPECT_EQ(h->back(), sweep_of({-4, -8}));
        EXPECT_EQ(levels_of(average_sweeps(*h, 16)), (std::vector<double>{7.0 / 3.0, 14.0 / 3.0}));
        EXPECT_EQ(levels_of(average_sweeps(*h, 2)), (std::vector<double>{3.0, 6.0}));
    }
    history.push_back(sweep_of({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}));
    EXPECT_EQ(levels_of(average_sweeps(history, 3)),
              (std::vector<double>{7.0 / 3, 14.0 / 3, 11, 44.0 / 3, 55.0 / 3, 22, 77.0 / 3, 88.0 / 3, 33,
                                   110.0 / 3, 121.0 / 3, 12.0 / 3, 13.0 / 3}));
}

namespace {

void levels_read_back_as_stored() {
    // Sweeps whose levels are all counts of 1/32 dB less a whole offset, as
    // the instrument reports them, mixed with sweeps where one level needs
    // more than a float: at the first point, either side of a tile boundary,
    // in the last whole tile and in the partial one past it. Enough points
    // that an average is built in several stretches.
    constexpr std::size_t tiles = 103;
    constexpr std::size_t points = tiles * SweepHistory::TILE_POINTS + 5;
    const struct {
        std::size_t point;
        double level;
    } inexact[] = {
        {0, 0.1},
        {SweepHistory::TILE_POINTS - 1, 1e300},
        {SweepHistory::TILE_POINTS, -5e-324},
        {tiles * SweepHistory::TILE_POINTS - 1, -90.0 + std::ldexp(1.0, -30)},
        {points - 1, -1e300},
        {points - 3, std::numeric_limits<double>::max()},
    };
    std::mt19937_64 random(7);
    LiveShared r;
    ReferenceTraces reference;
    std::array<Sweep, TRACE_MODE_COUNT> reused;  // the same buffers rebuilt after every sweep
    for (std::size_t s = 0; s < 40; ++s) {
        std::vector<double> levels(points);
        const double offset = double(random() % 2048);
        for (double& level : levels) level = double(random() % 65536) / 32.0 - offset;
        // Every third sweep up to the 30th has one such level; the exact
        // sweeps after those push the last of them out of the window.
        if (s % 3 == 1 && s < 30) {
            const auto& odd = inexact[s / 3 % std::size(inexact)];
            levels[odd.point] = odd.level;
        }
        const Sweep sweep = sweep_of(levels);
        apply_sweep(r, sweep);
        reference.apply(sweep);
        const LiveShared copied = r;
        for (std::size_t m = 0; m < TRACE_MODE_COUNT; ++m) {
            const TraceMode mode = *trace_mode_from_index(m);
            ASSERT_TRUE(trace_points_into(r, mode, reused[m]));
            ASSERT_EQ(bits_of(reused[m]), bits_of(reference.visible(mode)))
                << "sweep " << s << ", " << trace_mode_label(mode) << ", reused buffer";
        }
        const LiveShared* both[] = {&r, &copied};
        for (const LiveShared* record : both) {
            for (std::size_t m = 0; m < TRACE_MODE_COUNT; ++m) {
                const TraceMode mode = *trace_mode_from_index(m);
                auto now = trace_points(*record, mode);
                ASSERT_TRUE(now.has_value());
                ASSERT_EQ(bits_of(*now), bits_of(reference.visible(mode)))
                    << "sweep " << s << ", " << trace_mode_label(mode) << (record == &r ? "" : ", copied");
            }
            for (std::size_t e = 0; e < record->history.size(); ++e) {
                const Sweep& kept = reference.history[reference.history.size() - record->history.size() + e];
                for (std::size_t i = 0; i < points; ++i) {
                    ASSERT_EQ(std::bit_cast<std::uint64_t>(record->history.level(e, i)),
                              std::bit_cast<std::uint64_t>(kept[i].level_dbm))
                        << "sweep " << s << ", entry " << e << ", point " << i;
                }
            }
        }
    }
}

}  // namespace

TEST(Traces, LevelsAFloatDoesNotHoldReadBackAsStored) { through_each_path(levels_read_back_as_stored); }

namespace {

void large_averages_into_a_buffer() {
    // Enough points that an average built into a buffer goes past the
    // caches, and a partial tile at the end.
    constexpr std::size_t points = STREAM_POINTS + 37;
    std::mt19937_64 random(5);
    LiveShared r;
    ReferenceTraces reference;
    Sweep reused;
    for (std::size_t s = 0; s < 4; ++s) {
        Sweep sweep(points);
        const double offset = double(random() % 2048);
        for (std::size_t i = 0; i < points; ++i)
            sweep[i] = Sample{240.0 + double(i) * 0.001, double(random() % 65536) / 32.0 - offset};
        apply_sweep(r, sweep);
        reference.apply(sweep);
        for (const TraceMode mode : {TraceMode::Average4, TraceMode::Average16}) {
            ASSERT_TRUE(trace_points_into(r, mode, reused));
            ASSERT_EQ(bits_of(reused), bits_of(reference.visible(mode)))
                << "sweep " << s << ", " << trace_mode_label(mode);
        }
    }
}

}  // namespace

TEST(Traces, LargeAveragesIntoABufferMatchBitForBit) { through_each_path(large_averages_into_a_buffer); }
