#pragma once
// Taking the console over for the full-screen interface and giving it back
// on every way out: a normal quit, an error that ends the event loop, a
// failed take-over, and a crash on any thread.
//
//   auto session = setup_terminal();
//   if (!session) return AppError::io(session.error());   // already restored
//   ... run the event loop on session->terminal() and session->events() ...
//   session->shutdown();   // also done by the destructor
//
// A crash is an uncaught exception (std::terminate) or a fatal signal
// (SIGSEGV, SIGABRT, SIGBUS, SIGFPE). The handlers installed before
// setup_terminal() are kept and still run, but only after the terminal is
// back in line mode on the main screen, so their report stays readable.

#include <expected>
#include <memory>
#include <optional>

#include "base/io_error.hpp"
#include "tui/backend/backend.hpp"
#include "tui/terminal.hpp"

namespace vorlix::tui {
class NcursesBackend;
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
    TerminalSession(std::unique_ptr<tui::NcursesBackend> backend, tui::Terminal terminal);

    std::unique_ptr<tui::NcursesBackend> backend_;
    std::optional<tui::Terminal> terminal_;
};

// Chains the crash handlers (once per process; they stay until it ends),
// switches the console to raw mode on the alternate screen, flushes, and
// creates the frame-buffer terminal at the console's size. On failure the
// restore sequence has run before the error is returned.
std::expected<TerminalSession, base::IoError> setup_terminal();

// The restore sequence: raw mode off (line mode, echo and signal keys on,
// whatever they were before), the main screen back, output flushed. A
// failure is written to standard error as "Failed to restore terminal: {}"
// and ends the sequence; the caller goes on. Runs once per take-over: later
// calls, and calls without a take-over, do nothing.
void restore_terminal();

}  // namespace vorlix::app
