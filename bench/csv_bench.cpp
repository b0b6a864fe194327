// Reading back the largest scan the instrument can deliver: 1,000,001 points
// in the writer's format, header included, from a file on disk.

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "scan_csv/reader.hpp"

namespace {

constexpr std::size_t rows = 1'000'001;

const std::filesystem::path& scan_file() {
    static const std::filesystem::path path = [] {
        auto p = std::filesystem::temp_directory_path() /
                 ("vorlix_csv_bench_" + std::to_string(::getpid()) + ".csv");
        std::ofstream out(p, std::ios::binary);
        out << "frequency_MHz,level_dBm\n";
        char buf[64];
        for (std::size_t i = 0; i < rows; ++i) {
            // A 100–900 MHz sweep with levels of varied length, as scans have.
            double mhz = 100.0 + 800.0 * static_cast<double>(i) / static_cast<double>(rows - 1);
            double dbm = -120.0 + static_cast<double>((i * 7919) % 10000) / 128.0;
            char* end = std::to_chars(buf, buf + sizeof buf, mhz).ptr;
            *end++ = ',';
            end = std::to_chars(end, buf + sizeof buf, dbm).ptr;
            *end++ = '\n';
            out.write(buf, end - buf);
        }
        return p;
    }();
    return path;
}

void BM_ReadScanCsv(benchmark::State& state) {
    const auto& path = scan_file();
    for (auto _ : state) {
        auto samples = vorlix::scan_csv::read_scan_csv(path);
        if (!samples || samples->size() != rows) {
            state.SkipWithError("the generated scan did not read back");
            break;
        }
        benchmark::DoNotOptimize(samples->data());
    }
    state.counters["rows/s"] = benchmark::Counter(static_cast<double>(rows) * state.iterations(),
                                                  benchmark::Counter::kIsRate);
    state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(path));
}
BENCHMARK(BM_ReadScanCsv)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ec;
    std::filesystem::remove(scan_file(), ec);
    return 0;
}
