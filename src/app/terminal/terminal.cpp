#include "app/terminal/terminal.hpp"

#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

#include "tui/backend/ncurses_backend.hpp"

namespace vorlix::app {

namespace {

// One take-over at a time. The state moves Idle -> Active at the take-over
// and Active -> Restored exactly once, by whichever comes first: the normal
// restore or a crash handler on any thread.
enum State : int { Idle, Active, Restored };
std::atomic<int> g_state{Idle};

// What a crash handler needs, captured while taking over. It may only use
// async-signal-safe calls, so these are plain bytes, published through the
// flags before a handler may read them.
termios g_shell_mode{};
std::atomic<bool> g_have_shell_mode{false};
char g_restore_sequence[256];
std::size_t g_restore_sequence_length = 0;
std::atomic<bool> g_sequence_ready{false};

// The backend of the current take-over, for the normal restore on the
// main thread (ncurses must not be called from a crash handler).
std::atomic<tui::NcursesBackend*> g_backend{nullptr};

std::terminate_handler g_previous_terminate = nullptr;
constexpr int fatal_signals[] = {SIGSEGV, SIGABRT, SIGBUS, SIGFPE};
struct sigaction g_previous_actions[std::size(fatal_signals)];
std::atomic<bool> g_hooks_installed{false};

// Line mode, echo and the signal keys, whatever they were at start-up.
termios line_mode(termios t) {
    t.c_lflag |= ICANON | ECHO | ISIG;
    return t;
}

void write_all(int fd, const char* data, std::size_t length) {
    while (length > 0) {
        const ssize_t n = ::write(fd, data, length);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        data += n;
        length -= static_cast<std::size_t>(n);
    }
}

// The restore sequence as a crash handler runs it: async-signal-safe calls
// only, and no ncurses, which another thread may be using.
void restore_after_crash() {
    int expected = Active;
    if (!g_state.compare_exchange_strong(expected, Restored)) return;
    const int saved_errno = errno;
    if (g_have_shell_mode.load()) {
        const termios mode = line_mode(g_shell_mode);
        ::tcsetattr(STDIN_FILENO, TCSANOW, &mode);
    }
    if (g_sequence_ready.load()) write_all(STDOUT_FILENO, g_restore_sequence, g_restore_sequence_length);
    errno = saved_errno;
}

[[noreturn]] void on_terminate() {
    restore_after_crash();
    if (g_previous_terminate != nullptr) g_previous_terminate();
    std::abort();
}

void on_fatal_signal(int sig, siginfo_t* info, void* context) {
    restore_after_crash();
    std::size_t i = 0;
    while (i < std::size(fatal_signals) && fatal_signals[i] != sig) ++i;
    if (i == std::size(fatal_signals)) return;
    const struct sigaction& previous = g_previous_actions[i];
    if ((previous.sa_flags & SA_SIGINFO) != 0 && previous.sa_sigaction != nullptr) {
        previous.sa_sigaction(sig, info, context);
        return;
    }
    if ((previous.sa_flags & SA_SIGINFO) == 0 && previous.sa_handler != SIG_DFL &&
        previous.sa_handler != SIG_IGN) {
        previous.sa_handler(sig);
        return;
    }
    // Default action: put it back and let the signal end the process once
    // this handler returns (the signal is blocked until then).
    ::sigaction(sig, &previous, nullptr);
    ::raise(sig);
}

void install_crash_hooks() {
    if (g_hooks_installed.exchange(true)) return;
    g_previous_terminate = std::set_terminate(on_terminate);
    for (std::size_t i = 0; i < std::size(fatal_signals); ++i) {
        struct sigaction action {};
        action.sa_sigaction = on_fatal_signal;
        action.sa_flags = SA_SIGINFO;
        sigemptyset(&action.sa_mask);
        ::sigaction(fatal_signals[i], &action, &g_previous_actions[i]);
    }
}

void report_restore_failure(const base::IoError& error) {
    std::fprintf(stderr, "Failed to restore terminal: %s\n", error.display().c_str());
}

}  // namespace

void restore_terminal() {
    int expected = Active;
    if (!g_state.compare_exchange_strong(expected, Restored)) return;
    if (tui::NcursesBackend* backend = g_backend.load(); backend != nullptr) {
        if (auto ended = backend->end(); !ended) return report_restore_failure(ended.error());
    }
    if (g_have_shell_mode.load()) {
        termios current{};
        if (::tcgetattr(STDIN_FILENO, &current) != 0) {
            return report_restore_failure(base::IoError::from_errno(errno));
        }
        const termios mode = line_mode(current);
        if (::tcsetattr(STDIN_FILENO, TCSANOW, &mode) != 0) {
            return report_restore_failure(base::IoError::from_errno(errno));
        }
    }
    if (std::fflush(stdout) != 0) report_restore_failure(base::IoError::from_errno(errno));
}

std::expected<TerminalSession, base::IoError> setup_terminal() {
    install_crash_hooks();
    if (g_state.load() == Active) {
        return std::unexpected(
            base::IoError::custom(base::IoErrorKind::AlreadyExists, "the terminal is already taken over"));
    }
    g_sequence_ready = false;
    g_have_shell_mode = false;
    g_state = Active;

    termios shell{};
    if (::tcgetattr(STDIN_FILENO, &shell) != 0) {
        const base::IoError error = base::IoError::from_errno(errno);
        restore_terminal();
        return std::unexpected(error);
    }
    g_shell_mode = shell;
    g_have_shell_mode = true;

    auto backend = tui::NcursesBackend::open();
    if (!backend) {
        restore_terminal();
        return std::unexpected(backend.error());
    }
    const std::string& sequence = (*backend)->crash_restore_sequence();
    g_restore_sequence_length = std::min(sequence.size(), sizeof g_restore_sequence);
    std::memcpy(g_restore_sequence, sequence.data(), g_restore_sequence_length);
    g_sequence_ready = true;
    g_backend = backend->get();

    auto terminal = tui::Terminal::create(**backend);
    if (!terminal) {
        restore_terminal();
        g_backend = nullptr;
        return std::unexpected(terminal.error());
    }
    return TerminalSession(std::move(*backend), std::move(*terminal));
}

TerminalSession::TerminalSession(std::unique_ptr<tui::NcursesBackend> backend, tui::Terminal terminal)
    : backend_(std::move(backend)), terminal_(std::move(terminal)) {}

TerminalSession::TerminalSession(TerminalSession&& other) noexcept
    : backend_(std::move(other.backend_)), terminal_(std::move(other.terminal_)) {
    other.terminal_.reset();
}

TerminalSession::~TerminalSession() { shutdown(); }

tui::EventSource& TerminalSession::events() { return *backend_; }

void TerminalSession::shutdown() {
    if (!backend_) return;
    if (terminal_ && terminal_->cursor_hidden()) {
        if (auto shown = terminal_->show_cursor(); !shown) {
            std::fprintf(stderr, "Failed to show the cursor: %s\n", shown.error().display().c_str());
        }
    }
    terminal_.reset();
    restore_terminal();
    g_backend = nullptr;
    backend_.reset();
}

}  // namespace vorlix::app
