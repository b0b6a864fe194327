#pragma once
// What a key press does on each screen. Only presses count: repeats and
// releases are ignored, and modifiers never reach this point (the terminal
// layer already turned Ctrl+Q into "q"). On the Plot and Live screens the
// fixed keys are tested before the plot bindings, so a binding can never
// take over quitting, saving or choosing a trace.

#include <string_view>

#include "app/loop/confirm.hpp"
#include "tui/keys.hpp"
#include "workers/traces.hpp"

namespace vorlix::app {

struct UiState;

// Dispatches one key event to the current screen.
void handle_key(UiState& state, const tui::KeyEvent& key, const WorkerLauncher& launch);

// "s" on Live: the trace visible right now becomes the pending save
// (replacing one not yet served), or, before the first sweep, the first
// sweep is saved as soon as it arrives.
void request_live_save(UiState& state);

// "1" to "6" on Live: a different trace bumps the generation so the next
// refresh rebuilds the plot; the same trace again changes nothing.
void choose_live_trace(UiState& state, workers::TraceMode mode);

inline constexpr std::string_view SAVE_REQUESTED = "Save requested for the visible buffer";
inline constexpr std::string_view SAVE_WAITING = "Save requested; waiting for the first complete sweep";

}  // namespace vorlix::app
