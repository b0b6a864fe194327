#include "workers/traces.hpp"

#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "workers/shared.hpp"

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
    const std::vector<std::vector<double>> sweeps = {
        {-20, -40}, {-60, -80}, {-60, -40}, {-60, -40}, {-60, -40}, {-60, -40}};
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
        {1, -1, -1, 1},
        {2, -1.5, -1.5, 2},
        {4, -2.5, -2.5, 4},
        {5, -3.5, -3, 5},
        {16, -14.5, -8.5, 16},
        {20, -18.5, -12.5, 16},  // history holds sweeps 5..20
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
