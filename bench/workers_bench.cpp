// Throughput of the heavy paths around a sweep: folding a sweep into a full
// live history, building the 16-sweep average, and one whole single scan
// against the simulator. Saving a sweep as CSV is in csv_bench.cpp.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

#include "config/record.hpp"
#include "sim/sim.hpp"
#include "workers/acquisition.hpp"
#include "workers/shared.hpp"
#include "workers/traces.hpp"

namespace fs = std::filesystem;
using namespace vorlix;
using instrument::Sample;

namespace {

constexpr std::size_t LARGEST_SWEEP = 1'000'001;

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

// A record holding 16 sweeps of the largest size, as after a long capture.
workers::LiveShared full_history() {
    workers::LiveShared r;
    for (int s = 0; s < int(workers::HISTORY_CAPACITY); ++s) workers::apply_sweep(r, sweep_of(LARGEST_SWEEP, s));
    return r;
}

void BM_LiveSweepUpdate(benchmark::State& state) {
    workers::LiveShared r = full_history();
    // Each update takes a fresh sweep, as the worker does with a decoded one;
    // making it is kept out of the measurement.
    for (auto _ : state) {
        state.PauseTiming();
        auto sweep = sweep_of(LARGEST_SWEEP, 0.5);
        state.ResumeTiming();
        workers::apply_sweep(r, std::move(sweep));
        benchmark::DoNotOptimize(r.max_hold.data());
    }
    state.counters["points/s"] =
        benchmark::Counter(double(LARGEST_SWEEP) * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_LiveSweepUpdate)->Unit(benchmark::kMillisecond);

void BM_TracePointsAverage16(benchmark::State& state) {
    const workers::LiveShared r = full_history();
    for (auto _ : state) {
        auto points = workers::trace_points(r, workers::TraceMode::Average16);
        benchmark::DoNotOptimize(points->data());
    }
    state.counters["points/s"] =
        benchmark::Counter(double(LARGEST_SWEEP) * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_TracePointsAverage16)->Unit(benchmark::kMillisecond);

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
