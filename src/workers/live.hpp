#pragma once
// The live-capture worker: set up like a single scan, then sweep until asked
// to stop, folding every accepted sweep into the stored traces and serving
// save requests between sweeps. Reports only through the LiveShared record.

#include <optional>
#include <string>

#include "config/record.hpp"
#include "instrument/shell.hpp"
#include "instrument/types.hpp"
#include "workers/shared.hpp"

namespace vorlix::workers {

// Runs on the worker's own thread and returns when the capture has ended;
// the outcome is the record's phase (Complete or Failed) and its texts.
// `sleeper` takes the protocol's pauses; empty, the thread really sleeps.
void run_live_capture(config::Config config, LiveHandle shared, instrument::ScanRequest request,
                      instrument::Sleeper sleeper = {});

// One decoded sweep of the capture: folded into the record when it fits the
// history; otherwise the record is failed at once with the reason, a stop is
// requested, and the reason is returned.
std::optional<std::string> take_live_sweep(const LiveHandle& shared, const Sweep& sweep);

// Why a decoded sweep cannot join the history, or nothing when it can. The
// first sweep is only checked on its own; later ones must match the newest
// stored sweep point for point.
std::optional<std::string> check_live_sweep(const Sweep& sweep, const SweepHistory& history);

}  // namespace vorlix::workers
