#pragma once
// What the worker tests share: a simulated instrument to talk to, a
// configuration that reaches it with every pause at zero, a scratch output
// directory, and an independent reading of the frames the simulator sent.

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "config/record.hpp"
#include "instrument/types.hpp"
#include "sim/sim.hpp"
#include "sim/sim_link.hpp"
#include "workers/temp_dir.hpp"

namespace vorlix::workers::test {

namespace fs = std::filesystem;

using vorlix::test::TempDir;

using vorlix::test::Link;
using vorlix::test::start_sim;

// A simulator with the default instrument changed by `adjust` (a model, a fault).
// What a worker sends before its first sweep of a 240 to 800 MHz request
// on the simulated instrument, in order.
inline const std::vector<std::string> SETUP_COMMANDS = {"version",
                                                        "info",
                                                        "help",
                                                        "leveloffset",
                                                        "vbat",
                                                        "usart_cfg",
                                                        "threads",
                                                        "marker",
                                                        "repeat 1",
                                                        "zero 174",
                                                        "zero",
                                                        "pause",
                                                        "mode low input",
                                                        "sweep start 240000000",
                                                        "sweep stop 800000000",
                                                        "sweep",
                                                        "scan 240000000 800000000 290 101"};

inline std::unique_ptr<sim::Server> start_sim_with(Link link,
                                                   const std::function<void(sim::Options&)>& adjust) {
    sim::Options options;
    adjust(options);
    return start_sim(link, std::move(options));
}

// A configuration for `server` with no pauses, read time-outs that a loaded
// machine cannot run out, CSV files
// going to `output_dir`, and the range of `request` in the menu fields.
inline config::Config sim_config(const sim::Server& server, Link link, const fs::path& output_dir,
                                 const instrument::ScanRequest& request) {
    config::Config c = vorlix::test::sim_connection(server, link, vorlix::test::ANSWERED_TIMEOUT_MS);
    c.serial.command_delay_ms = 0;
    c.serial.settle_delay_ms = 0;
    c.serial.scan_delay_ms = 0;
    c.start_frequency = request.start_hz / 1'000'000;
    c.stop_frequency = request.stop_hz / 1'000'000;
    c.points = request.points;
    c.repeat = request.repeat;
    c.output.directory = output_dir.string();
    return c;
}

// Levels and frequencies read straight from a frame's bytes on the firmware
// axis: record i at start + trunc(float(i) * float(span / points)) Hz.
inline std::vector<instrument::Sample> decode_frame(const std::vector<std::uint8_t>& frame,
                                                    const instrument::ScanRequest& request,
                                                    double zero_offset) {
    std::vector<instrument::Sample> out;
    const std::uint64_t step = (request.stop_hz - request.start_hz) / request.points;
    for (std::uint64_t i = 0; i < request.points; ++i) {
        const std::size_t at = 1 + 3 * i;
        const unsigned raw = frame.at(at + 1) | (unsigned(frame.at(at + 2)) << 8);
        const float offset = static_cast<float>(i) * static_cast<float>(step);
        const double hz = double(request.start_hz + static_cast<std::uint64_t>(offset));
        out.push_back({hz / 1e6, raw / 32.0 - zero_offset});
    }
    return out;
}

inline std::string csv_number(double value) {
    char text[400];
    auto end = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed).ptr;
    return std::string(text, end);
}

inline std::string csv_text(const std::vector<instrument::Sample>& samples) {
    std::string text;
    for (const auto& s : samples) text += csv_number(s.frequency_mhz) + "," + csv_number(s.level_dbm) + "\n";
    return text;
}

inline std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline std::vector<fs::path> files_in(const fs::path& dir) {
    std::vector<fs::path> files;
    if (!fs::exists(dir)) return files;
    for (const auto& entry : fs::directory_iterator(dir)) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

inline bool contains(const std::vector<std::string>& list, std::string_view item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

// The stored error text equals `expected`, or with `prefix_only` starts with it.
inline testing::AssertionResult error_matches(const std::string& actual, const std::string& expected,
                                              bool prefix_only) {
    if (prefix_only ? actual.starts_with(expected) : actual == expected) return testing::AssertionSuccess();
    return testing::AssertionFailure()
           << "error text: \"" << actual << "\"\n"
           << (prefix_only ? "expected to start with: \"" : "expected: \"") << expected << "\"";
}

// Appends `value` unless it repeats the last entry, so polling the same state
// twice leaves one entry.
template <class T>
void push_changed(std::vector<T>& list, T value) {
    if (list.empty() || !(list.back() == value)) list.push_back(std::move(value));
}

}  // namespace vorlix::workers::test
