#pragma once
// The user interface's heartbeat on the main thread. Each turn copies what
// the worker posted into the state, draws one frame, and waits a short time
// for a key. The loop never waits for a worker: a single scan may still be
// running when the process ends, and a live capture is left only once its
// worker has reported the end of the capture the user asked to stop.

#include <expected>

#include "app/loop/confirm.hpp"
#include "app/services/app_error.hpp"
#include "app/state/ui_state.hpp"
#include "tui/backend/backend.hpp"
#include "tui/terminal.hpp"

namespace vorlix::app {

// The first half of a turn: the completed or failed single scan, a new
// live sweep or trace, the end or failure of a live capture.
void refresh_from_workers(UiState& state);

// Turns until `quit` is set after a frame was drawn (success), or until
// drawing, waiting or reading fails; that error comes back as Terminal,
// with the place where it arose. The program passes the terminal and the
// keyboard of the ncurses backend; tests a test backend and a key queue.
std::expected<void, AppError> run_event_loop(UiState& state, tui::Terminal& terminal,
                                             tui::EventSource& events, const WorkerLauncher& launch);

// "Live {trace} — {n} sweeps".
std::string live_title(workers::TraceMode mode, std::uint64_t sweeps);

inline constexpr std::string_view LIVE_FAILED_DEFAULT = "live capture failed";

}  // namespace vorlix::app
