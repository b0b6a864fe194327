#pragma once
// Turning the parameter menu into a running worker. Nothing here may start a
// worker on a configuration that failed a check or could not be written
// back: every failure ends on the Finished screen with its text instead.

#include <expected>
#include <functional>

#include "base/io_error.hpp"
#include "config/record.hpp"
#include "instrument/types.hpp"
#include "workers/shared.hpp"

namespace vorlix::app {

struct UiState;

// How workers are started. The program uses detached threads; tests put a
// recorder in their place so the key handling runs without an instrument.
struct WorkerLauncher {
    using AcquisitionStart = std::function<std::expected<void, base::IoError>(
        config::Config, workers::AcquisitionHandle, instrument::ScanRequest)>;
    using LiveStart = std::function<std::expected<void, base::IoError>(config::Config, workers::LiveHandle,
                                                                       instrument::ScanRequest)>;

    AcquisitionStart acquisition;
    LiveStart live;

    // The real workers, each on a detached thread that nobody joins.
    static WorkerLauncher threads();
};

// A thread that cannot be created leaves no sane way on: the program stops
// with "failed to spawn thread". The cleanup (the entry gives the terminal
// back there) runs first, so the message lands on the normal screen.
[[noreturn]] void spawn_failed(const base::IoError& cause);
void set_spawn_failure_cleanup(void (*cleanup)());

// The request of a configuration's top-level values, frequencies in Hz.
instrument::ScanRequest scan_request_of(const config::Config& config);

// New gauge, fresh single-scan record, screen Acquiring, the request kept
// for "r", then one detached single-scan worker.
void start_acquisition(UiState& state, instrument::ScanRequest request, config::Config config,
                       const WorkerLauncher& launch);

// Fresh live record, screen Live with no plot, then one detached live worker.
void start_live_capture(UiState& state, instrument::ScanRequest request, config::Config config,
                        const WorkerLauncher& launch);

// Enter on Parameters while nothing is typed: the selections and editor
// values go into a clone of the loaded configuration, which is checked,
// written back to `config_path` and only then handed to one worker. The
// first failure is recorded as the scan's failure and shows Finished.
void confirm_parameters(UiState& state, const WorkerLauncher& launch);

}  // namespace vorlix::app
