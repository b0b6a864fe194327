#include "workers/acquisition.hpp"

#include <optional>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "instrument/scanraw.hpp"
#include "instrument/shell.hpp"
#include "instrument/sweep_setup.hpp"
#include "scan_csv/writer.hpp"
#include "workers/setup.hpp"

namespace vorlix::workers {

using instrument::AcquisitionError;
using instrument::Sample;
using instrument::ShellConnection;

namespace {

// Everything from the sweep set-up to the decoded samples. Every outcome,
// good or bad, is followed by exactly one `resume`.
std::expected<std::vector<Sample>, AcquisitionError> sweep_and_resume(
    ShellConnection& shell, const config::Config& config, const instrument::ScanRequest& request,
    const PreparedScan& prepared, const AcquisitionHandle& shared) {
    const Pacing pacing = pacing_from(config);
    std::optional<std::vector<Sample>> samples;
    std::expected<void, AcquisitionError> outcome;

    const instrument::SweepPacing sweep_pacing{pacing.command_delay, pacing.settle_delay,
                                               prepared.profile};
    if (auto set_up = instrument::configure_sweep(shell, request, config.scan.legacy_pre_scan,
                                                  config.serial.scan_delay_ms, sweep_pacing);
        !set_up) {
        outcome = std::unexpected(std::move(set_up.error()));
    } else {
        set_acquisition_status(shared, Status::Text{"Acquiring samples"});
        auto progress = [&shared](std::uint64_t received, std::uint64_t total) {
            const auto percent = instrument::scanraw_progress_percent(received, total);
            set_acquisition_status(shared, Status::Progress{static_cast<std::uint8_t>(percent)});
        };
        auto read = instrument::read_scanraw_frame(shell, request, prepared.zero_offset,
                                                   config.scan.frequency_axis, progress);
        if (read) {
            samples = std::move(*read);
        } else {
            outcome = std::unexpected(std::move(read.error()));
        }
    }

    auto resumed = resume_after(shell, pacing, std::move(outcome));
    if (!resumed) return std::unexpected(std::move(resumed.error()));
    return std::move(*samples);
}

// The run up to the final success write; a failure is the text to store.
std::expected<void, std::string> acquire(std::optional<ShellConnection>& shell,
                                         const config::Config& config,
                                         const instrument::ScanRequest& request,
                                         const AcquisitionHandle& shared, instrument::Sleeper sleeper) {
    auto opened = open_checked_connection(config, request, std::move(sleeper));
    if (!opened) return std::unexpected(std::move(opened.error()));
    shell.emplace(std::move(*opened));

    const StatusSink post = [&shared](Status status) { set_acquisition_status(shared, std::move(status)); };
    auto prepared = prepare_instrument(*shell, config, request, post);
    if (!prepared) return std::unexpected(prepared.error().display());

    auto samples = sweep_and_resume(*shell, config, request, *prepared, shared);
    if (!samples) return std::unexpected(samples.error().display());

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
