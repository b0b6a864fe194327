// Saving and reading back the largest scan the instrument can deliver,
// 1,000,001 points, each next to its floor: the same bytes written and
// synced with plain system calls, or read in pieces and parsed with
// from_chars. The files go to
// VORLIX_BENCH_DIR (the current directory by default), which has to be on
// a real disk: on a RAM file system every fsync is free.

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

#include <charconv>
#include <cstdint>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "instrument/scanraw.hpp"
#include "scan_csv/reader.hpp"
#include "scan_csv/writer.hpp"

namespace fs = std::filesystem;
using namespace vorlix;

namespace {

constexpr std::uint64_t ROWS = 1'000'001;

fs::path make_scratch_dir() {
    const char* root = std::getenv("VORLIX_BENCH_DIR");
    std::string name = fs::path(root != nullptr && *root != '\0' ? root : ".") / "vorlix-csv-bench-XXXXXX";
    if (::mkdtemp(name.data()) == nullptr) return {};
    return fs::absolute(name);
}

const fs::path& scratch_dir() {
    static const fs::path dir = make_scratch_dir();
    return dir;
}

// A 240-800 MHz sweep as the decoder delivers it, with levels of the
// lengths noise and signals give.
const std::vector<instrument::Sample>& largest_sweep() {
    static const std::vector<instrument::Sample> samples = [] {
        std::vector<std::uint8_t> frame{instrument::SCANRAW_START};
        for (std::uint64_t i = 0; i < ROWS; ++i) {
            const auto raw = static_cast<std::uint16_t>(256 + (i * 7919) % 3200);
            frame.insert(frame.end(),
                         {instrument::SCANRAW_ALIGNMENT, std::uint8_t(raw & 0xff), std::uint8_t(raw >> 8)});
        }
        frame.push_back(instrument::SCANRAW_END);
        auto decoded = instrument::decode_scanraw(frame, {240'000'000, 800'000'000, ROWS, 1}, 128,
                                                  instrument::FrequencyAxis::Firmware);
        return decoded ? std::move(*decoded) : std::vector<instrument::Sample>{};
    }();
    return samples;
}

config::OutputConfig output_in(const fs::path& dir) {
    return config::OutputConfig{dir.string(), "bench", true};
}

// The largest sweep saved once, for the readers and the raw writes.
const fs::path& saved_scan() {
    static const fs::path path = [] {
        auto saved = scan_csv::write_scan_csv(largest_sweep(), output_in(scratch_dir() / "saved"));
        return saved ? *saved : fs::path{};
    }();
    return path;
}

std::vector<char> read_whole(const fs::path& path) {
    std::vector<char> bytes;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return bytes;
    bytes.resize(fs::file_size(path));
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
    bytes.resize(done);
    return bytes;
}

bool ready(benchmark::State& state) {
    if (scratch_dir().empty()) {
        state.SkipWithError("cannot make a scratch directory in VORLIX_BENCH_DIR");
        return false;
    }
    if (largest_sweep().size() != ROWS || saved_scan().empty()) {
        state.SkipWithError("cannot make the sweep or save it");
        return false;
    }
    return true;
}

void count_rows(benchmark::State& state) {
    state.counters["rows/s"] =
        benchmark::Counter(double(ROWS) * double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["bytes"] = double(fs::file_size(saved_scan()));
}

void BM_WriteScanCsv(benchmark::State& state) {
    if (!ready(state)) return;
    const config::OutputConfig output = output_in(scratch_dir() / "write");
    for (auto _ : state) {
        auto path = scan_csv::write_scan_csv(largest_sweep(), output);
        if (!path) {
            state.SkipWithError(path.error().display().c_str());
            break;
        }
        state.PauseTiming();
        fs::remove(*path);
        state.ResumeTiming();
    }
    count_rows(state);
}
BENCHMARK(BM_WriteScanCsv)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same bytes in one write, then the fsync.
void BM_WriteScanCsv_floor(benchmark::State& state) {
    if (!ready(state)) return;
    const std::vector<char> bytes = read_whole(saved_scan());
    const fs::path path = scratch_dir() / "raw.csv";
    for (auto _ : state) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        std::size_t done = 0;
        while (fd >= 0 && done < bytes.size()) {
            const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
            if (n <= 0) break;
            done += static_cast<std::size_t>(n);
        }
        const bool synced = fd >= 0 && ::fsync(fd) == 0;
        if (fd >= 0) ::close(fd);
        if (done != bytes.size() || !synced) {
            state.SkipWithError("the raw write failed");
            break;
        }
        state.PauseTiming();
        fs::remove(path);
        state.ResumeTiming();
    }
    count_rows(state);
}
BENCHMARK(BM_WriteScanCsv_floor)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReadScanCsv(benchmark::State& state) {
    if (!ready(state)) return;
    for (auto _ : state) {
        auto samples = scan_csv::read_scan_csv(saved_scan());
        if (!samples || samples->size() != ROWS) {
            state.SkipWithError("the saved scan did not read back");
            break;
        }
        benchmark::DoNotOptimize(samples->data());
    }
    count_rows(state);
}
BENCHMARK(BM_ReadScanCsv)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same bytes read in pieces of the reader's size and parsed into
// samples with from_chars, without any of the reader's checks and with room
// for exactly the samples there are: the least work that turns the file
// into a sweep.
std::vector<instrument::Sample> parse_plainly(const fs::path& path) {
    std::vector<instrument::Sample> samples;
    samples.reserve(ROWS);
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return samples;
    std::vector<char> buffer(scan_csv::READ_PIECE_BYTES);
    std::size_t kept = 0;
    for (;;) {
        const ssize_t n = ::read(fd, buffer.data() + kept, buffer.size() - kept);
        if (n <= 0) break;
        const char* line = buffer.data();
        const char* const end = line + kept + static_cast<std::size_t>(n);
        while (const void* found = std::memchr(line, '\n', static_cast<std::size_t>(end - line))) {
            const char* const eol = static_cast<const char*>(found);
            instrument::Sample sample{};
            const auto [comma, failed] = std::from_chars(line, eol, sample.frequency_mhz);
            if (failed == std::errc() && comma < eol) {
                std::from_chars(comma + 1, eol, sample.level_dbm);
                samples.push_back(sample);
            }
            line = eol + 1;
        }
        kept = static_cast<std::size_t>(end - line);
        std::memmove(buffer.data(), line, kept);
    }
    ::close(fd);
    return samples;
}

void BM_ReadScanCsv_floor(benchmark::State& state) {
    if (!ready(state)) return;
    for (auto _ : state) {
        auto samples = parse_plainly(saved_scan());
        if (samples.size() != ROWS) {
            state.SkipWithError("the saved scan did not parse");
            break;
        }
        benchmark::DoNotOptimize(samples.data());
    }
    count_rows(state);
}
BENCHMARK(BM_ReadScanCsv_floor)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    // The viewer reads once per process, into memory it touches for the
    // first time. A fixed threshold keeps every large block mapped afresh,
    // rather than left to the heap after the first free, so each run pays
    // for its pages as the viewer does, whatever ran before it.
    ::mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (!scratch_dir().empty()) {
        std::error_code ignored;
        fs::remove_all(scratch_dir(), ignored);
    }
    return 0;
}
