#include "app/loop/event_loop.hpp"

#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include <fmt/format.h>

#include "app/loop/keys_dispatch.hpp"
#include "app/screens/render.hpp"
#include "app/state/plot_view.hpp"
#include "app/state/ui_state.hpp"
#include "base/log.hpp"
#include "scan_csv/writer.hpp"
#include "tui/backend/backend.hpp"
#include "tui/terminal.hpp"
#include "workers/shared.hpp"
#include "workers/traces.hpp"

namespace vorlix::app {
namespace {

void refresh_acquiring(UiState& state) {
    switch (workers::acquisition_phase(state.acquisition)) {
        case workers::ScanPhase::Complete: {
            auto samples = state.acquisition->with_lock(
                [](workers::AcquisitionShared& r) { return std::exchange(r.samples, std::nullopt); });
            if (!samples || samples->empty()) {
                workers::record_scan_failure(state.acquisition, UiError(UiError::NoReturnData{}));
                state.screen = Screen::Finished;
                return;
            }
            // The worker's last status names the saved file.
            state.plot.emplace(workers::acquisition_status_text(state.acquisition), std::move(*samples));
            state.screen = Screen::Plot;
            return;
        }
        case workers::ScanPhase::Failed: state.screen = Screen::Finished; return;
        case workers::ScanPhase::Ready:
        case workers::ScanPhase::Running: return;
    }
}

struct LiveUpdate {
    std::uint64_t sweeps = 0;
    std::uint64_t generation = 0;
    workers::TraceMode mode = workers::TraceMode::Average4;
};

// The trace is recomputed only when the worker or a trace choice moved the
// generation on, straight into the samples on show once there are some;
// everything but the trace itself is done after the lock.
std::optional<LiveUpdate> take_live_update(UiState& state) {
    const std::uint64_t seen = state.seen_generation;
    return state.live->with_lock([&state, seen](workers::LiveShared& r) -> std::optional<LiveUpdate> {
        if (r.generation == seen || r.history.empty()) return std::nullopt;
        if (state.plot) {
            state.plot->samples.rebuild(
                [&r](workers::Sweep& samples) { workers::trace_points_into(r, r.trace_mode, samples); });
        } else {
            workers::Sweep fresh;
            workers::trace_points_into(r, r.trace_mode, fresh);
            state.plot.emplace(std::string(), std::move(fresh));
        }
        return LiveUpdate{r.sweep_count, r.generation, r.trace_mode};
    });
}

// A sweep over the same range keeps the user's zoom and pan; any other
// range would leave the window pointing at nothing, so it shows all. A plot
// made by this update has its window from its own samples already.
void show_live_update(UiState& state, const LiveUpdate& update) {
    state.seen_generation = update.generation;
    PlotView& plot = *state.plot;
    const PlotViewport fresh = sample_bounds(plot.samples);
    if (fresh.full_min != plot.viewport.full_min || fresh.full_max != plot.viewport.full_max) {
        plot.viewport = fresh;
    }
    plot.title = live_title(update.mode, update.sweeps);
}

void refresh_live(UiState& state) {
    if (auto update = take_live_update(state)) show_live_update(state, *update);
    switch (workers::live_phase(state.live)) {
        case workers::ScanPhase::Complete:
            // A capture that ended on its own stays on show until the user
            // leaves; only the stop the user asked for ends the program.
            if (state.stop_requested) state.quit = true;
            return;
        case workers::ScanPhase::Failed: {
            // The live lock is released before the acquisition record is
            // touched: the two records are never locked together.
            std::string text =
                workers::live_error_text(state.live).value_or(std::string(LIVE_FAILED_DEFAULT));
            workers::record_scan_failure_text(state.acquisition, std::move(text));
            state.screen = Screen::Finished;
            return;
        }
        case workers::ScanPhase::Ready:
        case workers::ScanPhase::Running: return;
    }
}

AppError loop_error(std::string message, std::source_location where = std::source_location::current()) {
    return AppError{AppError::Terminal{ErrorReport(std::move(message), where)}};
}

}  // namespace

std::optional<std::filesystem::path> save_live_trace_now(UiState& state) {
    if (state.screen != Screen::Live || workers::live_phase(state.live) != workers::ScanPhase::Running) {
        return std::nullopt;
    }
    // The samples on show, brought up to the newest sweep in place, are the
    // trace to save: no second copy of it is made.
    if (state.live->with_lock([](workers::LiveShared& r) { return r.history.empty(); })) return std::nullopt;
    if (auto update = take_live_update(state)) show_live_update(state, *update);
    if (!state.plot) return std::nullopt;
    auto saved = scan_csv::write_scan_csv(state.plot->samples, state.config.output);
    if (!saved) {
        base::log(base::Level::Error, workers::SCAN_LOG_TARGET,
                  "cannot save the live trace before ending: " + saved.error().display());
        return std::nullopt;
    }
    base::log(base::Level::Info, workers::SCAN_LOG_TARGET, "Saved " + saved->string() + " before ending");
    return std::move(*saved);
}

std::string live_title(workers::TraceMode mode, std::uint64_t sweeps) {
    return fmt::format("Live {} — {} sweeps", workers::trace_mode_label(mode), sweeps);
}

void refresh_from_workers(UiState& state) {
    switch (state.screen) {
        case Screen::Acquiring: refresh_acquiring(state); break;
        case Screen::Live: refresh_live(state); break;
        default: break;
    }
}

namespace {

// Whatever ends the loop with an error, a running live capture keeps its
// visible trace.
std::unexpected<AppError> loop_failed(UiState& state, std::string message,
                                      std::source_location where = std::source_location::current()) {
    save_live_trace_now(state);
    return std::unexpected(loop_error(std::move(message), where));
}

}  // namespace

std::expected<void, AppError> run_event_loop(UiState& state, tui::Terminal& terminal,
                                             tui::EventSource& events, const WorkerLauncher& launch) {
    for (;;) {
        refresh_from_workers(state);

        std::optional<UiError> not_drawn;
        auto drawn = terminal.draw([&](tui::Frame& frame) {
            if (auto rendered = render_ui(state, frame); !rendered) not_drawn = std::move(rendered.error());
        });
        if (not_drawn) return loop_failed(state, not_drawn->display());
        if (!drawn) return loop_failed(state, drawn.error().display());

        if (state.quit) return {};

        auto event = events.poll(std::chrono::milliseconds(state.config.ui.poll_interval_ms));
        if (!event) return loop_failed(state, event.error().display());
        if (!*event) continue;
        if (std::holds_alternative<tui::InterruptEvent>(**event)) {
            save_live_trace_now(state);
            return {};
        }
        if (std::holds_alternative<tui::ResizeEvent>(**event)) {
            // The next frame is drawn whole: a new size, or a screen that was
            // given back while the process was stopped.
            if (auto cleared = terminal.clear(); !cleared)
                return loop_failed(state, cleared.error().display());
            continue;
        }
        if (const auto* key = std::get_if<tui::KeyEvent>(&**event)) handle_key(state, *key, launch);
    }
}

}  // namespace vorlix::app
