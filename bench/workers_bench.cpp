// Throughput of the heavy paths around a sweep: checking and folding a sweep
// into a full live history, building the visible traces, and one whole single
// scan against the simulator. Each live figure has its memory floor beside
// it. Saving a sweep as CSV is in csv_bench.cpp.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "config/record.hpp"
#include "sim/sim.hpp"
#include "workers/acquisition.hpp"
#include "workers/live.hpp"
#include "workers/shared.hpp"
#include "workers/traces.hpp"

namespace fs = std::filesystem;
using namespace vorlix;
using instrument::Sample;

namespace {

// Sweep sizes of the live figures: a usual one and the largest.
constexpr std::int64_t USUAL_SWEEP = 10'001;
constexpr std::int64_t LARGEST_SWEEP = 1'000'001;

std::vector<Sample> sweep_of(std::size_t points, double shift) {
    std::vector<Sample> s(points);
    for (std::size_t i = 0; i < points; ++i) {
        s[i] = {240.0 + double(i) * 0.00056, -90.0 + double(i % 977) * 0.03125 + shift};
    }
    return s;
}

fs::path scratch_dir() {
    char name[] = "/tmp/vorlix-bench-XXXXXX";
    return fs::path(::mkdtemp(name));
}

// A record holding 16 sweeps of `points` points, as after a long capture.
workers::LiveHandle full_history(std::size_t points) {
    auto shared = workers::make_live_shared();
    workers::reset_live_shared(shared);
    for (int s = 0; s < int(workers::HISTORY_CAPACITY); ++s) {
        workers::take_live_sweep(shared, sweep_of(points, s));
    }
    return shared;
}

void count_points(benchmark::State& state, std::size_t points) {
    state.counters["points/s"] =
        benchmark::Counter(double(points) * double(state.iterations()), benchmark::Counter::kIsRate);
}

// Check and fold one decoded sweep, as the worker does under the record's
// lock. Each update takes a fresh sweep; making it stays out of the figure.
// Argument: the sweep's points.
void BM_LiveSweepUpdate(benchmark::State& state) {
    const auto points = std::size_t(state.range(0));
    const workers::LiveHandle shared = full_history(points);
    const auto source = sweep_of(points, 0.5);
    for (auto _ : state) {
        state.PauseTiming();
        auto sweep = source;
        state.ResumeTiming();
        if (workers::take_live_sweep(shared, std::move(sweep))) state.SkipWithError("sweep rejected");
    }
    count_points(state, points);
}
BENCHMARK(BM_LiveSweepUpdate)->Arg(USUAL_SWEEP)->Arg(LARGEST_SWEEP)->Unit(benchmark::kMillisecond);

// The traffic the update cannot avoid: the new sweep and the stored
// frequencies read once, the four traces read and written once, the new
// levels written once into the history, which keeps them as floats.
void BM_LiveSweepUpdate_floor(benchmark::State& state) {
    const auto points = std::size_t(state.range(0));
    const auto source = sweep_of(points, 0.5);
    const std::vector<double> axis = [&] {
        std::vector<double> a(points);
        for (std::size_t i = 0; i < a.size(); ++i) a[i] = source[i].frequency_mhz;
        return a;
    }();
    std::vector<double> traces[4];
    for (auto& t : traces) t.assign(points, -90.0);
    std::vector<float> slot(points);
    for (auto _ : state) {
        state.PauseTiming();
        auto sweep = source;
        state.ResumeTiming();
        const Sample* p = sweep.data();
        double* t0 = traces[0].data();
        double* t1 = traces[1].data();
        double* t2 = traces[2].data();
        double* t3 = traces[3].data();
        float* out = slot.data();
        const double* f = axis.data();
        bool differs = false;
        for (std::size_t i = 0; i < points; ++i) {
            const double level = p[i].level_dbm;
            differs |= p[i].frequency_mhz != f[i];
            t0[i] += level;
            t1[i] += level;
            t2[i] += level;
            t3[i] += level;
            out[i] = float(level);
        }
        benchmark::DoNotOptimize(differs);
        benchmark::ClobberMemory();
    }
    count_points(state, points);
}
BENCHMARK(BM_LiveSweepUpdate_floor)->Arg(USUAL_SWEEP)->Arg(LARGEST_SWEEP)->Unit(benchmark::kMillisecond);

// Arguments of the trace figures: the trace mode's index (0 average 4,
// 1 average 16, 2 max hold, 4 min hold) and the sweep's points.
void trace_args(benchmark::internal::Benchmark* b) {
    for (const std::int64_t points : {USUAL_SWEEP, LARGEST_SWEEP}) {
        for (const std::int64_t mode : {0, 1, 2, 4}) b->Args({mode, points});
    }
    b->Unit(benchmark::kMillisecond);
}

void BM_TracePoints(benchmark::State& state) {
    const auto points = std::size_t(state.range(1));
    const workers::LiveHandle shared = full_history(points);
    const auto mode = *workers::trace_mode_from_index(std::size_t(state.range(0)));
    for (auto _ : state) {
        auto visible =
            shared->with_lock([&](workers::LiveShared& r) { return workers::trace_points(r, mode); });
        benchmark::DoNotOptimize(visible->data());
    }
    state.SetLabel(std::string(workers::trace_mode_label(mode)));
    count_points(state, points);
}
BENCHMARK(BM_TracePoints)->Apply(trace_args);

// The floor of average 4 is a plain ring of sweeps, each one's levels as
// floats: the four newest summed point by point from -0 in the same order
// and divided by four, paired with the frequencies, into `out`.
void plain_ring_average(const std::vector<std::vector<float>>& ring, const std::vector<double>& axis,
                        std::vector<Sample>& out) {
    const float* a = ring[12].data();
    const float* b = ring[13].data();
    const float* c = ring[14].data();
    const float* d = ring[15].data();
    for (std::size_t i = 0; i < out.size(); ++i) {
        const double sum = -0.0 + double(a[i]) + double(b[i]) + double(c[i]) + double(d[i]);
        out[i] = Sample{axis[i], sum / 4.0};
    }
}

// Average 4 against that plain ring into a new buffer, or into the one
// `reused` holds; average 16 against reading the sixteen stored level
// arrays once, floats as the history keeps them; a hold trace against
// copying a sweep of the same size into a new buffer, or into a kept one.
void trace_floor(benchmark::State& state, bool reused) {
    const auto points = std::size_t(state.range(1));
    if (state.range(0) == 0) {
        std::vector<std::vector<float>> ring(workers::HISTORY_CAPACITY);
        for (std::size_t s = 0; s < ring.size(); ++s) {
            const auto sweep = sweep_of(points, double(s));
            for (const Sample& p : sweep) ring[s].push_back(float(p.level_dbm));
        }
        std::vector<double> axis;
        for (const Sample& p : sweep_of(points, 0)) axis.push_back(p.frequency_mhz);
        std::vector<Sample> kept(points);
        for (auto _ : state) {
            if (reused) {
                plain_ring_average(ring, axis, kept);
                benchmark::DoNotOptimize(kept.data());
            } else {
                std::vector<Sample> fresh(points);
                plain_ring_average(ring, axis, fresh);
                benchmark::DoNotOptimize(fresh.data());
            }
            benchmark::ClobberMemory();
        }
    } else if (state.range(0) == 1) {
        std::vector<std::vector<std::uint32_t>> levels(workers::HISTORY_CAPACITY);
        for (std::size_t s = 0; s < levels.size(); ++s) levels[s].assign(points, std::uint32_t(s));
        for (auto _ : state) {
            std::uint32_t seen = 0;
            for (const auto& sweep : levels) {
                for (const std::uint32_t bits : sweep) seen ^= bits;
            }
            benchmark::DoNotOptimize(seen);
        }
    } else {
        const auto source = sweep_of(points, 0);
        std::vector<Sample> kept(points);
        for (auto _ : state) {
            if (reused) {
                std::copy(source.begin(), source.end(), kept.begin());
                benchmark::DoNotOptimize(kept.data());
            } else {
                auto copy = source;
                benchmark::DoNotOptimize(copy.data());
            }
            benchmark::ClobberMemory();
        }
    }
    count_points(state, points);
}

void BM_TracePoints_floor(benchmark::State& state) { trace_floor(state, false); }
BENCHMARK(BM_TracePoints_floor)->Apply(trace_args);

// The same built into one buffer reused from the last build, as the screen
// does after every sweep.
void BM_TracePointsInto(benchmark::State& state) {
    const auto points = std::size_t(state.range(1));
    const workers::LiveHandle shared = full_history(points);
    const auto mode = *workers::trace_mode_from_index(std::size_t(state.range(0)));
    workers::Sweep visible;
    shared->with_lock([&](workers::LiveShared& r) { workers::trace_points_into(r, mode, visible); });
    for (auto _ : state) {
        shared->with_lock([&](workers::LiveShared& r) { workers::trace_points_into(r, mode, visible); });
        benchmark::DoNotOptimize(visible.data());
        benchmark::ClobberMemory();
    }
    state.SetLabel(std::string(workers::trace_mode_label(mode)));
    count_points(state, points);
}
BENCHMARK(BM_TracePointsInto)->Apply(trace_args);

void BM_TracePointsInto_floor(benchmark::State& state) { trace_floor(state, true); }
BENCHMARK(BM_TracePointsInto_floor)->Apply(trace_args);

void BM_WholeSingleScan(benchmark::State& state) {
    auto server = sim::Server::start_tcp({});
    const fs::path dir = scratch_dir();
    const instrument::ScanRequest request{240'000'000, 800'000'000, 10001, 1};
    config::Config c;
    c.connection.backend = config::Backend::Tcp;
    c.connection.tcp_address = "127.0.0.1:" + std::to_string(server->port());
    c.serial.command_delay_ms = c.serial.settle_delay_ms = c.serial.scan_delay_ms = 0;
    c.output.directory = dir.string();
    for (auto _ : state) {
        auto shared = workers::make_acquisition_shared();
        workers::run_acquisition(c, shared, request);
        if (workers::acquisition_phase(shared) != workers::ScanPhase::Complete) {
            state.SkipWithError(workers::acquisition_error_text(shared).value_or("failed").c_str());
            break;
        }
        state.PauseTiming();
        fs::remove_all(dir);
        state.ResumeTiming();
    }
    fs::remove_all(dir);
}
BENCHMARK(BM_WholeSingleScan)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
