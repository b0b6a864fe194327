#include "workers/live.hpp"

#include <bit>
#include <cmath>
#include <cstdint>
#include <utility>

#include <fmt/format.h>

#include "instrument/scanraw.hpp"
#include "instrument/shell.hpp"
#include "scan_csv/writer.hpp"
#include "workers/setup.hpp"

namespace vorlix::workers {

using instrument::AcquisitionError;
using instrument::ShellConnection;

namespace {

bool stop_was_requested(const LiveHandle& shared) {
    return shared->with_lock([](LiveShared& r) { return r.stop_requested; });
}

// Marks the capture failed at once and stops it after the current sweep.
void fail_during_loop(const LiveHandle& shared, std::string message) {
    shared->with_lock([&](LiveShared& r) {
        r.error = std::move(message);
        r.phase = ScanPhase::Failed;
    });
    request_live_stop(shared);
}

// Writes a pending save, or the first sweep when the user asked before one
// existed. The buffer is taken under the lock and written outside it; the
// first sweep's trace goes into `spare`, the worker's sweep buffer, which
// the next read overwrites anyway.
void serve_save(const LiveHandle& shared, const config::OutputConfig& output, Sweep& spare) {
    std::optional<Sweep> pending;
    const bool first_sweep = shared->with_lock([&](LiveShared& r) {
        pending = std::exchange(r.pending_save, std::nullopt);
        if (pending || !r.save_on_first_sweep || !trace_points_into(r, r.trace_mode, spare)) return false;
        r.save_on_first_sweep = false;
        return true;
    });
    if (!pending && !first_sweep) return;
    auto saved = scan_csv::write_scan_csv(pending ? *pending : spare, output);
    if (saved) {
        shared->with_lock([&](LiveShared& r) {
            r.status = fmt::format("Saved {}; live capture continues", saved->string());
        });
    } else {
        fail_during_loop(shared, saved.error().display());
    }
}

// Sweeps until a stop is requested (by the user, or by a rejected sweep or a
// failed save) or the link fails.
std::expected<void, AcquisitionError> sweep_loop(ShellConnection& shell, const config::Config& config,
                                                 const instrument::ScanRequest& request,
                                                 const PreparedScan& prepared, const LiveHandle& shared,
                                                 Sweep& sweep) {
    // The live record has no progress gauge.
    const instrument::ScanrawProgress no_progress = [](std::uint64_t, std::uint64_t) {};
    // The history keeps its own copy of each sweep's levels, so one frame
    // buffer and the caller's sweep buffer serve every sweep of the capture.
    std::vector<std::uint8_t> frame;
    while (!stop_was_requested(shared)) {
        auto read = instrument::read_scanraw_frame_into(
            shell, request, prepared.zero_offset, config.scan.frequency_axis, no_progress, frame, sweep);
        if (!read) return read;
        // A rejected sweep serves no save; the stop it requested ends the loop.
        if (!take_live_sweep(shared, sweep)) serve_save(shared, config.output, sweep);
    }
    return {};
}

// The final save of the trace that is selected when the capture ends, built
// in the sweep buffer that no read needs any more.
std::expected<void, std::string> finish(const LiveHandle& shared, const config::OutputConfig& output,
                                        Sweep& buffer) {
    const bool built =
        shared->with_lock([&](LiveShared& r) { return trace_points_into(r, r.trace_mode, buffer); });
    if (!built) {
        shared->with_lock([](LiveShared& r) {
            r.phase = ScanPhase::Complete;
            r.status = "Live capture stopped before the first complete sweep";
        });
        return {};
    }
    auto saved = scan_csv::write_scan_csv(buffer, output);
    if (!saved) return std::unexpected(io_failure_text(saved.error()));
    shared->with_lock([&](LiveShared& r) {
        r.phase = ScanPhase::Complete;
        r.status = fmt::format("Saved {} and stopped live capture", saved->string());
    });
    return {};
}

std::expected<void, std::string> capture(std::optional<ShellConnection>& shell, const config::Config& config,
                                         const instrument::ScanRequest& request, const LiveHandle& shared,
                                         instrument::Sleeper sleeper) {
    const StatusSink post = [&shared](Status status) { set_live_status(shared, std::move(status)); };
    Sweep sweep;
    const SweepStage sweeps = [&](ShellConnection& link, const PreparedScan& prepared) {
        return sweep_loop(link, config, request, prepared, shared, sweep);
    };
    if (auto run = run_acquisition_sequence(shell, config, request, std::move(sleeper), post,
                                            "Live capture running", sweeps);
        !run) {
        return std::unexpected(std::move(run.error()));
    }
    if (auto failed_in_loop = live_error_text(shared)) {
        return std::unexpected(live_failure_text(*failed_in_loop));
    }
    return finish(shared, config.output, sweep);
}

// Zero in `non_finite` exactly when every value is finite, since x - x is
// +0 for a finite x and NaN for any other; zero in `moved` when every
// frequency has the expected bits, which only a sweep with a zero of the
// other sign has without being equal. Integer ORs, so the loop runs in
// vectors.
struct SweepFlags {
    std::uint64_t non_finite;
    std::uint64_t moved;
};

template <bool COMPARE>
SweepFlags sweep_flags(const Sample* points, const double* expected, std::size_t k) {
    std::uint64_t non_finite = 0;
    std::uint64_t moved = 0;
    for (std::size_t i = 0; i < k; ++i) {
        const double frequency = points[i].frequency_mhz;
        const double level = points[i].level_dbm;
        non_finite |=
            std::bit_cast<std::uint64_t>(frequency - frequency) | std::bit_cast<std::uint64_t>(level - level);
        if constexpr (COMPARE) {
            moved |= std::bit_cast<std::uint64_t>(frequency) ^ std::bit_cast<std::uint64_t>(expected[i]);
        }
    }
    return SweepFlags{non_finite, moved};
}

}  // namespace

std::optional<std::string> check_live_sweep(const Sweep& sweep, const SweepHistory& history) {
    if (sweep.empty()) return "a live sweep cannot be empty";
    const std::size_t k = sweep.size();
    const std::vector<double>& stored = history.frequencies();
    const bool compare = !history.empty() && stored.size() == k;
    // One branch-free pass finds whether anything is wrong; only a rejected
    // sweep is searched again for the point to name.
    const Sample* points = sweep.data();
    const double* expected = stored.data();
    const SweepFlags flags =
        compare ? sweep_flags<true>(points, expected, k) : sweep_flags<false>(points, expected, k);
    const std::uint64_t non_finite = flags.non_finite;
    const std::uint64_t moved = flags.moved;
    if (non_finite != 0) {
        for (std::size_t i = 0; i < k; ++i) {
            if (!std::isfinite(points[i].frequency_mhz) || !std::isfinite(points[i].level_dbm)) {
                return fmt::format("live sweep contains a non-finite value at point {}", i);
            }
        }
    }
    if (history.empty()) return std::nullopt;
    if (k != stored.size()) {
        return fmt::format("live sweep has {} points; expected {}", k, stored.size());
    }
    if (moved == 0) return std::nullopt;
    for (std::size_t i = 0; i < k; ++i) {
        if (points[i].frequency_mhz != expected[i]) {
            return fmt::format("live sweep frequency changed at point {}: expected {} MHz, got {} MHz", i,
                               scan_csv::format_number(expected[i]),
                               scan_csv::format_number(points[i].frequency_mhz));
        }
    }
    return std::nullopt;
}

std::optional<std::string> take_live_sweep(const LiveHandle& shared, const Sweep& sweep) {
    // Checked and folded in one lock, so the user interface never sees half
    // of a sweep.
    auto rejection = shared->with_lock([&](LiveShared& r) -> std::optional<std::string> {
        if (auto message = check_live_sweep(sweep, r.history)) return message;
        apply_sweep(r, sweep);
        return std::nullopt;
    });
    if (rejection) fail_during_loop(shared, *rejection);
    return rejection;
}

void run_live_capture(config::Config config, LiveHandle shared, instrument::ScanRequest request,
                      instrument::Sleeper sleeper) {
    if (live_phase(shared) == ScanPhase::Ready) reset_live_shared(shared);
    std::optional<ShellConnection> shell;
    auto outcome = capture(shell, config, request, shared, std::move(sleeper));
    shell.reset();
    if (!outcome) {
        shared->with_lock([&](LiveShared& r) {
            r.error = std::move(outcome.error());
            r.phase = ScanPhase::Failed;
        });
    }
}

}  // namespace vorlix::workers
