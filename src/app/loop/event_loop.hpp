#pragma once
// The user interface's heartbeat on the main thread. Each turn copies what
// the worker posted into the state, draws a frame if anything it shows
// changed (otherwise the screen keeps the one it has), and waits a short
// time for a key. The loop never waits for a worker: a single scan may still be
// running when the process ends, and a live capture is left only once its
// worker has reported the end of the capture the user asked to stop.

#include <cstdint>
#include <expected>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "app/loop/confirm.hpp"
#include "app/services/app_error.hpp"
#include "workers/traces.hpp"

namespace vorlix::tui {
class EventSource;
class Terminal;
}  // namespace vorlix::tui

namespace vorlix::app {

struct UiState;

// The first half of a turn: the completed or failed single scan, a new
// live sweep or trace, the end or failure of a live capture.
void refresh_from_workers(UiState& state);

// Turns until `quit` is set after a frame was drawn (success), until the
// event source reports an interrupt (success, after save_live_trace_now), or
// until drawing, waiting or reading fails; that error comes back as Terminal,
// with the place where it arose. The program passes the terminal and the
// keyboard of the terminal backend; tests a test backend and a key queue.
std::expected<void, AppError> run_event_loop(UiState& state, tui::Terminal& terminal,
                                             tui::EventSource& events, const WorkerLauncher& launch);

// With a live capture running on screen: writes the visible trace as of the
// last complete sweep to a new scan file at once, without waiting for the
// sweep in progress, and returns its path. Nothing otherwise, or when there
// is no complete sweep yet or the file cannot be written (that is logged).
std::optional<std::filesystem::path> save_live_trace_now(UiState& state);

// "Live {trace} — {n} sweeps".
std::string live_title(workers::TraceMode mode, std::uint64_t sweeps);

inline constexpr std::string_view LIVE_FAILED_DEFAULT = "live capture failed";

}  // namespace vorlix::app
