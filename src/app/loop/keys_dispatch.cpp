#include "app/loop/keys_dispatch.hpp"

#include <utility>

#include "app/state/plot_view.hpp"
#include "app/state/ui_error.hpp"
#include "app/state/ui_state.hpp"
#include "workers/shared.hpp"
#include "workers/traces.hpp"

namespace vorlix::app {
namespace {

using tui::KeyCode;
using tui::KeyEvent;

bool is_up(const KeyEvent& k) { return k.code == KeyCode::Up || k.is_char(U'k'); }
bool is_down(const KeyEvent& k) { return k.code == KeyCode::Down || k.is_char(U'j'); }
bool is_left(const KeyEvent& k) { return k.code == KeyCode::Left || k.is_char(U'h'); }
bool is_right(const KeyEvent& k) { return k.code == KeyCode::Right || k.is_char(U'l'); }
bool is_quit(const KeyEvent& k) { return k.code == KeyCode::Esc || k.is_char(U'q'); }
bool is_leave(const KeyEvent& k) { return k.code == KeyCode::Enter || is_quit(k); }
bool is_digit(const KeyEvent& k) { return k.code == KeyCode::Char && k.ch >= U'0' && k.ch <= U'9'; }

// A menu step that failed (a cached widget gone missing) is shown like any
// other failure of the run, on Finished.
void fail_to_finished(UiState& state, UiError error) {
    workers::record_scan_failure(state.acquisition, std::move(error));
    state.screen = Screen::Finished;
}

void column_step(UiState& state, ColumnDirection direction) {
    if (auto moved = move_column(state, direction); !moved) fail_to_finished(state, std::move(moved.error()));
}

// The arrows and their letters move within and between the menu columns
// alike on both menus; false for any other key.
bool menu_navigation(UiState& state, const KeyEvent& key) {
    if (is_up(key)) {
        move_selection(state, StepDirection::Up);
    } else if (is_down(key)) {
        move_selection(state, StepDirection::Down);
    } else if (is_left(key)) {
        column_step(state, ColumnDirection::Left);
    } else if (is_right(key)) {
        column_step(state, ColumnDirection::Right);
    } else {
        return false;
    }
    return true;
}

void port_selection_key(UiState& state, const KeyEvent& key) {
    if (menu_navigation(state, key)) return;
    if (key.code == KeyCode::Enter) {
        if (auto port = selected_port(state); !port) return fail_to_finished(state, std::move(port.error()));
        if (auto rate = selected_baudrate(state); !rate)
            return fail_to_finished(state, std::move(rate.error()));
        state.screen = Screen::Parameters;
        state.column = 0;
    } else if (is_quit(key)) {
        state.quit = true;
    }
}

// While a number is typed every key belongs to the editor, so "q" or an
// arrow cannot leave the menu with half a number in it.
void typing_key(NumberInput& editor, const KeyEvent& key) {
    if (is_digit(key)) {
        editor.push_digit(static_cast<char>(key.ch));
    } else if (key.code == KeyCode::Backspace) {
        editor.pop_char();
    } else if (key.code == KeyCode::Enter) {
        editor.apply_typed_value();
    } else if (key.code == KeyCode::Esc) {
        editor.cancel_typing();
    }
}

void parameters_key(UiState& state, const KeyEvent& key, const WorkerLauncher& launch) {
    NumberInput* editor = state.current_editor();
    // Repeat (column 3) is stepped only; it never types.
    const bool typable = editor != nullptr && state.column <= 2;
    if (typable && editor->typing()) return typing_key(*editor, key);

    if (menu_navigation(state, key)) return;
    if (is_digit(key)) {
        if (typable) editor->push_digit(static_cast<char>(key.ch));
    } else if (key.code == KeyCode::Enter) {
        confirm_parameters(state, launch);
    } else if (is_quit(key)) {
        state.quit = true;
    }
}

void plot_fallback(UiState& state, const KeyEvent& key) {
    if (!handle_plot_key(state, key) && key.is_char(U'm')) state.show_peak = !state.show_peak;
}

void plot_key(UiState& state, const KeyEvent& key, const WorkerLauncher& launch) {
    if (is_leave(key)) {
        state.quit = true;
    } else if (state.instrument_run && key.is_char(U'n')) {
        state.plot.reset();
        state.screen = Screen::Parameters;
        state.column = 0;
    } else if (state.instrument_run && key.is_char(U'r')) {
        if (!state.last_scan) return;
        // The stored copy was checked and written back when it was confirmed;
        // the worker validates it again on its own.
        const instrument::ScanRequest request = state.last_scan->first;
        start_acquisition(state, request, state.last_scan->second.clone(), launch);
    } else {
        plot_fallback(state, key);
    }
}

void live_key(UiState& state, const KeyEvent& key) {
    if (is_leave(key)) {
        state.stop_requested = true;
        workers::request_live_stop(state.live);
    } else if (key.is_char(U's')) {
        request_live_save(state);
    } else if (key.code == KeyCode::Char && key.ch >= U'1' && key.ch <= U'6') {
        if (auto mode = workers::trace_mode_from_index(key.ch - U'1')) choose_live_trace(state, *mode);
    } else {
        plot_fallback(state, key);
    }
}

}  // namespace

void handle_key(UiState& state, const KeyEvent& key, const WorkerLauncher& launch) {
    if (key.kind != tui::KeyKind::Press) return;
    switch (state.screen) {
        case Screen::PortSelection: port_selection_key(state, key); break;
        case Screen::Parameters: parameters_key(state, key, launch); break;
        case Screen::Plot: plot_key(state, key, launch); break;
        case Screen::Acquiring:
            // The worker is not waited for: the process may end while it runs.
            if (is_quit(key)) state.quit = true;
            break;
        case Screen::Live: live_key(state, key); break;
        case Screen::Finished:
            if (is_leave(key)) state.quit = true;
            break;
    }
}

void request_live_save(UiState& state) {
    state.live->with_lock([](workers::LiveShared& record) {
        if (auto visible = workers::trace_points(record, record.trace_mode)) {
            record.pending_save = std::move(*visible);
            record.status = SAVE_REQUESTED;
        } else {
            record.save_on_first_sweep = true;
            record.status = SAVE_WAITING;
        }
    });
}

void choose_live_trace(UiState& state, workers::TraceMode mode) {
    state.live->with_lock([mode](workers::LiveShared& record) {
        if (record.trace_mode == mode) return;
        record.trace_mode = mode;
        record.generation = workers::saturating_increment(record.generation);
    });
}

}  // namespace vorlix::app
