#pragma once
// Saving one sweep as a CSV scan file: two columns, frequency in MHz and level
// in dBm, under a fresh time-stamped name that never replaces an existing
// file. A write that fails part-way leaves no file behind.

#include <chrono>
#include <expected>
#include <filesystem>
#include <span>
#include <string>

#include "base/io_error.hpp"
#include "config/record.hpp"
#include "instrument/types.hpp"
#include "scan_csv/header.hpp"
#include "scan_csv/number_format.hpp"

namespace vorlix::scan_csv {

// How many numbered names one time stamp may take before the save gives up.
inline constexpr unsigned MAX_NAME_ATTEMPTS = 100;

// Writes the samples under "{prefix}_{local time stamp}_{n}.csv" in
// output.directory (created with its parents) and returns the joined path.
std::expected<std::filesystem::path, base::IoError> write_scan_csv(
    std::span<const instrument::Sample> samples, const config::OutputConfig& output);

// Local wall-clock time as "YYYYmmdd HH_MM_SS_ffffff" (microseconds).
std::string format_scan_timestamp(std::chrono::system_clock::time_point when);

}  // namespace vorlix::scan_csv
