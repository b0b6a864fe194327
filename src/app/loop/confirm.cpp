#include "app/loop/confirm.hpp"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>

#include "app/services/app_error.hpp"
#include "app/services/write_back.hpp"
#include "app/state/ui_error.hpp"
#include "app/state/ui_state.hpp"
#include "base/stream_text.hpp"
#include "config/validate.hpp"
#include "instrument/errors.hpp"
#include "instrument/profile.hpp"
#include "workers/start.hpp"

namespace vorlix::app {
namespace {

constexpr std::uint64_t HZ_PER_MHZ = 1'000'000;

std::atomic<void (*)()> g_spawn_failure_cleanup{nullptr};

// The editors bound the frequencies to 5400 MHz, but a product that does
// not fit must never wrap into a small, valid-looking range.
std::uint64_t mhz_to_hz(std::uint64_t mhz) {
    return mhz > UINT64_MAX / HZ_PER_MHZ ? UINT64_MAX : mhz * HZ_PER_MHZ;
}

UiError config_failure(config::ConfigError error) {
    return UiError::application(AppError{AppError::Config{std::move(error)}});
}

UiError request_failure(std::string message) {
    instrument::AcquisitionError error(
        instrument::RawScanError(instrument::RawScanError::InvalidRequest{std::move(message)}));
    return UiError::application(AppError{AppError::Acquisition{std::move(error)}});
}

struct Prepared {
    config::Config config;
    instrument::ScanRequest request;
};

// Every check of the confirmation, in its order; the first failure wins.
// The record is validated once more after the request check, in the exact
// form the write-back and the worker get.
std::expected<Prepared, UiError> prepare(const UiState& state) {
    auto port = selected_port(state);
    if (!port) return std::unexpected(port.error());
    auto baudrate = selected_baudrate(state);
    if (!baudrate) return std::unexpected(baudrate.error());

    config::Config config = state.config.clone();
    config.port = std::move(*port);
    config.baudrate = *baudrate;
    config.start_frequency = state.start.value();
    config.stop_frequency = state.stop.value();
    config.points = state.points.value();
    config.repeat = state.repeat.value();

    if (auto valid = config::validate_config(config); !valid) {
        return std::unexpected(config_failure(std::move(valid.error())));
    }
    const instrument::ScanRequest request = scan_request_of(config);
    if (auto valid = instrument::validate_request(request); !valid) {
        return std::unexpected(request_failure(std::move(valid.error())));
    }
    if (auto valid = config::validate_config(config); !valid) {
        return std::unexpected(config_failure(std::move(valid.error())));
    }
    if (auto written = write_back_config(config, state.config_path); !written) {
        return std::unexpected(config_failure(std::move(written.error())));
    }
    return Prepared{std::move(config), request};
}

}  // namespace

WorkerLauncher WorkerLauncher::threads() {
    return WorkerLauncher{&workers::start_acquisition_worker, &workers::start_live_worker};
}

void set_spawn_failure_cleanup(void (*cleanup)()) { g_spawn_failure_cleanup = cleanup; }

void spawn_failed(const base::IoError& cause) {
    if (auto cleanup = g_spawn_failure_cleanup.load()) cleanup();
    const std::string message = "failed to spawn thread: " + cause.debug() + "\n";
    base::write_text(stderr, message);
    std::abort();
}

instrument::ScanRequest scan_request_of(const config::Config& config) {
    return instrument::ScanRequest{mhz_to_hz(config.start_frequency), mhz_to_hz(config.stop_frequency),
                                   config.points, config.repeat};
}

void start_acquisition(UiState& state, instrument::ScanRequest request, config::Config config,
                       const WorkerLauncher& launch) {
    state.progress_gauge = ProgressGauge{};
    workers::reset_acquisition_shared(state.acquisition);
    state.screen = Screen::Acquiring;
    state.plot.reset();
    state.last_scan.emplace(request, config.clone());
    if (auto started = launch.acquisition(std::move(config), state.acquisition, request); !started) {
        spawn_failed(started.error());
    }
}

void start_live_capture(UiState& state, instrument::ScanRequest request, config::Config config,
                        const WorkerLauncher& launch) {
    workers::reset_live_shared(state.live);
    state.seen_generation = 0;
    state.stop_requested = false;
    state.screen = Screen::Live;
    state.plot.reset();
    if (auto started = launch.live(std::move(config), state.live, request); !started) {
        spawn_failed(started.error());
    }
}

void confirm_parameters(UiState& state, const WorkerLauncher& launch) {
    auto prepared = prepare(state);
    if (!prepared) {
        workers::record_scan_failure(state.acquisition, std::move(prepared.error()));
        state.screen = Screen::Finished;
        return;
    }
    if (state.live_mode) {
        start_live_capture(state, prepared->request, std::move(prepared->config), launch);
    } else {
        start_acquisition(state, prepared->request, std::move(prepared->config), launch);
    }
}

}  // namespace vorlix::app
