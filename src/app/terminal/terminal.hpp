#pragma once
// Taking the controlling terminal over for the full-screen interface and
// giving it back on every way out: a normal quit, an error that ends the
// event loop, a failed take-over, a crash on any thread, and a signal.
//
//   auto session = setup_terminal();
//   if (!session) return AppError::io(session.error());   // already restored
//   ... run the event loop on session->terminal() and session->events() ...
//   session->shutdown();   // also done by the destructor
//   if (int sig = pending_exit_signal()) end_by_signal(sig);
//
// The terminal is /dev/tty, whatever the standard streams are, and the
// take-over writes its own fixed sequences, so it works on any terminal
// and with any redirection.
//
// A crash is an uncaught exception (std::terminate) or a signal whose
// default action ends the process. The handlers installed before
// setup_terminal() are kept and still run, but only after the terminal is
// back in line mode on the main screen, so their report stays readable; a
// signal that was ignored stays ignored. SIGHUP, SIGINT and SIGTERM during
// a take-over are not handled at once: they reach the event loop as an
// interrupt, so the screen in use can keep what it must, and the process
// ends by the same signal after the shut-down. A second one ends it at once.
// SIGTSTP gives the terminal back while the process is stopped and takes it
// again when it continues.

#include <signal.h>

#include <expected>
#include <memory>
#include <optional>

#include "base/io_error.hpp"
#include "tui/backend/backend.hpp"
#include "tui/terminal.hpp"

namespace vorlix::tui {
class TtyBackend;
}

namespace vorlix::app {

class TerminalSession {
public:
    TerminalSession(TerminalSession&& other) noexcept;
    TerminalSession& operator=(TerminalSession&&) = delete;
    TerminalSession(const TerminalSession&) = delete;
    TerminalSession& operator=(const TerminalSession&) = delete;
    ~TerminalSession();

    tui::Terminal& terminal() { return *terminal_; }
    tui::EventSource& events();

    // Shut-down: shows the cursor again if drawing hid it ("Failed to show
    // the cursor: {}" on standard error otherwise), releases the frame
    // buffers, then runs restore_terminal(). Later calls do nothing.
    void shutdown();

private:
    friend std::expected<TerminalSession, base::IoError> setup_terminal();
    TerminalSession(std::unique_ptr<tui::TtyBackend> backend, tui::Terminal terminal);

    std::unique_ptr<tui::TtyBackend> backend_;
    std::optional<tui::Terminal> terminal_;
};

// Installs the crash and signal handlers (once per process; they stay until
// it ends), opens the controlling terminal, switches it to raw mode on the
// alternate screen, and creates the frame-buffer terminal at its size. On
// failure the restore sequence has run before the error is returned; with
// no controlling terminal nothing is written at all.
std::expected<TerminalSession, base::IoError> setup_terminal();

// The restore sequence: the line modes the terminal had before (line mode,
// echo and signal keys on, whatever they were), the main screen back. A
// failure is written to standard error as "Failed to restore terminal: {}"
// and ends the sequence; the caller goes on. Runs once per take-over: later
// calls, and calls without a take-over, do nothing.
void restore_terminal();

// While it lives, the calling thread blocks the signals that come from
// outside (every ending signal that no thread brings on itself, stop,
// continue, resize), so threads it starts inherit that: such a signal then
// always reaches the thread that handles the terminal, so no frame is still
// being written after a restore, and never cuts a worker's instrument read
// short.
class OutsideSignalsBlocked {
public:
    OutsideSignalsBlocked();
    ~OutsideSignalsBlocked();
    OutsideSignalsBlocked(const OutsideSignalsBlocked&) = delete;
    OutsideSignalsBlocked& operator=(const OutsideSignalsBlocked&) = delete;

private:
    sigset_t previous_;
};

// The signal (SIGHUP, SIGINT or SIGTERM) that asked the program to end
// during a take-over, or 0.
int pending_exit_signal();

// Ends the process by `sig` with its default action, so the parent sees the
// usual status (128 + sig in a shell). The terminal must be restored first.
[[noreturn]] void end_by_signal(int sig);

}  // namespace vorlix::app
