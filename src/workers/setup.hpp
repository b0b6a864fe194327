#pragma once
// The stretch of a worker run that the single scan and the live capture
// share: checking the configuration and request, opening the link, then
// identifying the instrument, checking its shell, and setting the zero
// offset. Also the `resume` rule that ends every run once the sweep set-up
// has begun, and the failure texts both workers store.

#include <chrono>
#include <cstdint>
#include <expected>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "base/io_error.hpp"
#include "config/record.hpp"
#include "instrument/errors.hpp"
#include "instrument/shell.hpp"
#include "instrument/types.hpp"
#include "workers/shared.hpp"

namespace vorlix::workers {

// Where a worker posts the set-up's statuses: its own record's setter.
using StatusSink = std::function<void(Status)>;

// The two pauses of every paced command.
struct Pacing {
    std::chrono::milliseconds command_delay{0};
    std::chrono::milliseconds settle_delay{0};
};
Pacing pacing_from(const config::Config& config);

// What the set-up settled for the sweeps that follow.
struct PreparedScan {
    instrument::ScanProfile profile;
    std::uint16_t zero_offset = 0;  // the offset confirmed by the read-back
};

// Optional commands whose replies go to the debug log when help lists them.
inline constexpr std::string_view DIAGNOSTIC_COMMANDS[] = {"leveloffset", "vbat", "usart_cfg", "threads",
                                                           "marker"};
inline constexpr std::string_view ACQUISITION_LOG_TARGET = "vorlix::acquisition";

// Validates the configuration and the request, then opens the link. A
// failure comes back as the text the worker stores. `sleeper` takes the
// protocol's pauses (empty: really sleep), so a test can see them.
std::expected<instrument::ShellConnection, std::string> open_checked_connection(
    const config::Config& config, const instrument::ScanRequest& request, instrument::Sleeper sleeper = {});

// From "Identifying instrument" to the confirmed zero offset and progress
// 20. Nothing here sends `resume`: the instrument has not been paused yet.
std::expected<PreparedScan, instrument::AcquisitionError> prepare_instrument(
    instrument::ShellConnection& shell, const config::Config& config, const instrument::ScanRequest& request,
    const StatusSink& post);

// The instrument description posted once the help check passed.
std::string instrument_description(const instrument::DeviceIdentity& identity,
                                   const instrument::ScanProfile& profile);

// Sends `resume` once and joins its outcome with the run's: a failed resume
// after a good run is the run's error; after a failed run both are kept.
std::expected<void, instrument::AcquisitionError> resume_after(
    instrument::ShellConnection& shell, const Pacing& pacing,
    std::expected<void, instrument::AcquisitionError> outcome);

// What a worker does once the sweep is set up: its sweeps, up to the first
// failure. Its outcome is joined with `resume`.
using SweepStage = std::function<std::expected<void, instrument::AcquisitionError>(
    instrument::ShellConnection& shell, const PreparedScan& prepared)>;

// The sequence both workers run: open the checked link into `shell` (which
// the caller closes), prepare the instrument posting to `post`, set up the
// sweep, post `running` and run `sweeps`, then send `resume` after
// whatever happened from the sweep set-up on. A failure is the text the
// worker stores.
std::expected<void, std::string> run_acquisition_sequence(std::optional<instrument::ShellConnection>& shell,
                                                          const config::Config& config,
                                                          const instrument::ScanRequest& request,
                                                          instrument::Sleeper sleeper, const StatusSink& post,
                                                          std::string_view running, const SweepStage& sweeps);

// The texts of the program's error for the failures a worker meets.
std::string io_failure_text(const base::IoError& error);     // "I/O: {}"
std::string live_failure_text(std::string_view message);     // "live capture: {}"
std::string invalid_request_text(std::string_view message);  // "invalid scan request: {}"

}  // namespace vorlix::workers
