#include "workers/acquisition.hpp"

#include <optional>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "instrument/scanraw.hpp"
#include "instrument/shell.hpp"
#include "scan_csv/writer.hpp"
#include "workers/setup.hpp"

namespace vorlix::workers {

using instrument::AcquisitionError;
using instrument::Sample;
using instrument::ShellConnection;

namespace {

// The run up to the final success write; a failure is the text to store.
std::expected<void, std::string> acquire(std::optional<ShellConnection>& shell, const config::Config& config,
                                         const instrument::ScanRequest& request,
                                         const AcquisitionHandle& shared, instrument::Sleeper sleeper) {
    const StatusSink post = [&shared](Status status) { set_acquisition_status(shared, std::move(status)); };
    std::optional<std::vector<Sample>> samples;
    const SweepStage one_sweep = [&](ShellConnection& link,
                                     const PreparedScan& prepared) -> std::expected<void, AcquisitionError> {
        auto progress = [&shared](std::uint64_t received, std::uint64_t total) {
            const auto percent = instrument::scanraw_progress_percent(received, total);
            set_acquisition_status(shared, Status::Progress{static_cast<std::uint8_t>(percent)});
        };
        auto read = instrument::read_scanraw_frame(link, request, prepared.zero_offset,
                                                   config.scan.frequency_axis, progress);
        if (!read) return std::unexpected(std::move(read.error()));
        samples = std::move(*read);
        return {};
    };
    if (auto run = run_acquisition_sequence(shell, config, request, std::move(sleeper), post,
                                            "Acquiring samples", one_sweep);
        !run) {
        return std::unexpected(std::move(run.error()));
    }

    set_acquisition_status(shared, Status::Text{"Acquisition complete"});
    set_acquisition_status(shared, Status::Progress{100});
    set_acquisition_status(shared, Status::Text{"Writing CSV"});
    auto saved = scan_csv::write_scan_csv(*samples, config.output);
    if (!saved) return std::unexpected(io_failure_text(saved.error()));

    shared->with_lock([&](AcquisitionShared& r) {
        r.status = fmt::format("Saved {}", saved->string());
        r.saved_path = saved->string();
        r.samples = std::move(*samples);
        r.progress = 100;
        r.phase = ScanPhase::Complete;
    });
    return {};
}

}  // namespace

void run_acquisition(config::Config config, AcquisitionHandle shared, instrument::ScanRequest request,
                     instrument::Sleeper sleeper) {
    reset_acquisition_shared(shared);
    std::optional<ShellConnection> shell;
    auto outcome = acquire(shell, config, request, shared, std::move(sleeper));
    // The link goes before the failure is posted, so nothing more reaches
    // the instrument once the user can see the run has ended.
    shell.reset();
    if (!outcome) record_scan_failure_text(shared, std::move(outcome.error()));
}

}  // namespace vorlix::workers
