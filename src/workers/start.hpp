#pragma once
// Starting a worker on a detached thread of its own. The caller resets the
// record first; the worker gets its own copy of the configuration and one
// more handle to the record, and nobody ever joins the thread.

#include <expected>

#include "base/io_error.hpp"
#include "config/record.hpp"
#include "instrument/types.hpp"
#include "workers/shared.hpp"

namespace vorlix::workers {

// Runs run_acquisition on a new thread. Fails only when the operating system
// refuses to create the thread; the caller then aborts the program.
std::expected<void, base::IoError> start_acquisition_worker(config::Config config, AcquisitionHandle shared,
                                                            instrument::ScanRequest request);

// Runs run_live_capture on a new thread; fails as above.
std::expected<void, base::IoError> start_live_worker(config::Config config, LiveHandle shared,
                                                     instrument::ScanRequest request);

}  // namespace vorlix::workers
