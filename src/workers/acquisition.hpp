#pragma once
// The single-scan worker: one complete acquisition from opening the link to
// the saved CSV file, reported only through the AcquisitionShared record.

#include "config/record.hpp"
#include "instrument/shell.hpp"
#include "instrument/types.hpp"
#include "workers/shared.hpp"

namespace vorlix::workers {

// Runs on the worker's own thread and returns when the run has ended; the
// outcome is the record's phase (Complete or Failed) and its texts.
// `sleeper` takes the protocol's pauses; empty, the thread really sleeps.
void run_acquisition(config::Config config, AcquisitionHandle shared, instrument::ScanRequest request,
                     instrument::Sleeper sleeper = {});

}  // namespace vorlix::workers
