#include "app/entry/entry.hpp"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/entry/cli.hpp"
#include "app/loop/confirm.hpp"
#include "app/loop/event_loop.hpp"
#include "app/services/logger.hpp"
#include "app/services/ports.hpp"
#include "app/state/menu_lists.hpp"
#include "app/state/plot_view.hpp"
#include "app/state/ui_state.hpp"
#include "app/terminal/terminal.hpp"
#include "base/stream_text.hpp"
#include "base/text.hpp"
#include "scan_csv/reader.hpp"

namespace vorlix::app {
namespace {

std::atomic<bool> g_hooks_installed{false};
std::atomic<bool> g_worker_left_running{false};

// The process's crash report: what escaped, on standard error, then the
// abort. By the time it runs the terminal's handler has restored the screen.
[[noreturn]] void report_crash() {
    std::string what = "an unknown error";
    if (std::exception_ptr escaped = std::current_exception()) {
        try {
            std::rethrow_exception(escaped);
        } catch (const std::exception& e) {
            what = e.what();
        } catch (...) {}
    }
    const std::string line =
        "The program crashed: " + base::escape_controls(what, base::EscapeStyle::Lines) + "\n";
    base::write_text(stderr, line);
    std::abort();
}

AppError terminal_error(std::string message, std::source_location where = std::source_location::current()) {
    return AppError{AppError::Terminal{ErrorReport(std::move(message), where)}};
}

// What the chosen mode brings before the interface exists: the viewer's
// samples, or the ports a scan or live run offers.
struct ModeInputs {
    std::vector<Sample> samples;
    PortList ports;
};

// The real workers, started with the signals from outside blocked, so that
// those always reach the main thread and never interrupt a worker's read.
WorkerLauncher worker_threads() {
    WorkerLauncher threads = WorkerLauncher::threads();
    return WorkerLauncher{
        [start = threads.acquisition](config::Config c, workers::AcquisitionHandle h,
                                      instrument::ScanRequest r) {
            const OutsideSignalsBlocked blocked;
            return start(std::move(c), std::move(h), r);
        },
        [start = threads.live](config::Config c, workers::LiveHandle h, instrument::ScanRequest r) {
            const OutsideSignalsBlocked blocked;
            return start(std::move(c), std::move(h), r);
        }};
}

// The interface on the terminal until the loop ends, then the terminal
// back. The state outlives the terminal and is dropped by the caller.
std::expected<void, AppError> run_interface(UiState& state) {
    auto session = setup_terminal();
    if (!session) return std::unexpected(AppError{AppError::Io{std::move(session.error())}});
    // A worker thread that cannot be created ends the process; give the
    // terminal back first so the message stays readable.
    set_spawn_failure_cleanup(&restore_terminal);

    std::expected<void, AppError> result;
    if (auto built = build_menu_widgets(state); !built) {
        result = std::unexpected(terminal_error(built.error().display()));
    } else {
        result = run_event_loop(state, session->terminal(), session->events(), worker_threads());
    }
    session->shutdown();
    set_spawn_failure_cleanup(nullptr);
    return result;
}

}  // namespace

std::expected<void, AppError> install_error_hooks() {
    if (g_hooks_installed.exchange(true)) {
        return std::unexpected(terminal_error("the error-report hooks are already installed"));
    }
    std::set_terminate(report_crash);
    return {};
}

std::expected<void, AppError> run_from_arguments(std::span<const std::string> args,
                                                 std::string_view program) {
    auto mode = parse_arguments(args);
    if (!mode) return std::unexpected(AppError{AppError::Usage{std::move(mode.error())}});
    if (mode->kind == RunMode::Kind::Help) {
        // Help that never arrived (a full disk, a closed file) is a failure
        // like any other, not a success with nothing said.
        errno = 0;
        if (!base::write_text(stdout, HELP_TEXT)) {
            return std::unexpected(
                AppError{AppError::Io{base::IoError::from_errno(errno != 0 ? errno : EIO)}});
        }
        return {};
    }

    auto loaded = load_startup_config(stderr);
    if (!loaded) return std::unexpected(AppError{AppError::Config{std::move(loaded.error())}});

    ModeInputs inputs;
    const bool viewer = mode->kind == RunMode::Kind::View;
    // The viewer's file is checked before anything else is started, so a bad
    // file never touches the log directory or the terminal.
    if (viewer) {
        auto samples = scan_csv::read_scan_csv(mode->path);
        if (!samples) return std::unexpected(AppError{AppError::Csv{mode->path, std::move(samples.error())}});
        inputs.samples = std::move(*samples);
    }

    std::optional<LoggerHandle> logger;
    // The logging library starts its flusher thread here; started with the
    // outside signals blocked, like the workers, it never takes one that the
    // terminal's thread must handle.
    auto started = [&] {
        const OutsideSignalsBlocked blocked;
        return init_logger(loaded->config.logging, program);
    }();
    if (!started) {
        return std::unexpected(AppError{AppError::Logger{std::move(started.error())}});
    } else {
        logger.emplace(std::move(*started));
    }

    if (!viewer) {
        auto ports = build_port_list(loaded->config, PortUse::Instrument);
        if (!ports) return std::unexpected(AppError{AppError::Port{std::move(ports.error())}});
        inputs.ports = std::move(*ports);
    }

    std::optional<UiState> state;
    state.emplace(inputs.ports, std::move(loaded->config), loaded->path.string());
    state->live_mode = mode->kind == RunMode::Kind::Live;
    if (viewer) {
        state->screen = Screen::Plot;
        state->plot.emplace(base::lossy_utf8(mode->path.native()), std::move(inputs.samples));
        state->instrument_run = false;
    }

    std::expected<void, AppError> result = run_interface(*state);
    // A worker keeps a handle on its record until it returns.
    g_worker_left_running = state->acquisition.use_count() > 1 || state->live.use_count() > 1;
    // The records go before the log is flushed and closed, so anything
    // logged while they are released still reaches the file.
    state.reset();
    logger.reset();
    return result;
}

std::expected<void, AppError> run_program(int argc, char** argv) {
    if (auto hooks = install_error_hooks(); !hooks) return hooks;
    const std::vector<std::string> args = arguments(argc, argv);
    const std::string_view program = argc > 0 && argv[0] != nullptr ? argv[0] : "vorlix";
    return run_from_arguments(args, program);
}

bool detached_worker_running() { return g_worker_left_running.load(); }

std::string exit_report(const AppError& error) {
    // Debug forms quote the texts they carry, but not every error type's
    // form is ours (the error report of Terminal spans lines).
    return "Error: " + base::escape_controls(error.debug(), base::EscapeStyle::Lines) + "\n";
}

}  // namespace vorlix::app
