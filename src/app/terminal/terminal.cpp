#include "app/terminal/terminal.hpp"

#include <fcntl.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <exception>
#include <string>
#include <string_view>

#include "base/stream_text.hpp"
#include "tui/backend/tty_backend.hpp"

namespace vorlix::app {

namespace {

// One take-over at a time. The state moves Idle -> Active at the take-over
// and Active -> Restored exactly once, by whichever comes first: the normal
// restore or a crash handler on any thread.
enum State : int { Idle, Active, Restored };
std::atomic<int> g_state{Idle};

// What the handlers need, captured while taking over. They may only use
// async-signal-safe calls, so these are plain values, published before the
// state becomes Active.
std::atomic<int> g_tty{-1};
termios g_shell_mode{};
termios g_raw_mode{};
// The write end of the backend's wake-up pipe while the event loop may read
// it; -1 otherwise.
std::atomic<int> g_wake{-1};
std::atomic<int> g_exit_signal{0};

// Fixed sequences, whatever the terminal description says: every terminal
// in use understands them, and one that does not ignores them.
constexpr std::string_view ENTER_SEQUENCE = "\x1b[?1049h\x1b[?7l\x1b[0m\x1b[H\x1b[2J";
// The cursor is shown here as well, for a restore that comes before the
// session's own shutdown (a worker thread that could not be started).
constexpr std::string_view LEAVE_SEQUENCE = "\x1b[0m\x1b[?7h\x1b[?25h\x1b[?1049l";
// A handler may cut a frame in the middle of an escape sequence; CAN ends
// that sequence first.
constexpr std::string_view CRASH_LEAVE_SEQUENCE = "\x18\x1b[0m\x1b[?7h\x1b[?25h\x1b[?1049l";
constexpr std::string_view RESUME_SEQUENCE = "\x1b[?1049h\x1b[?7l\x1b[0m\x1b[H\x1b[2J\x1b[?25l";

std::terminate_handler g_previous_terminate = nullptr;
// Indexed by signal number: whether the signal's default action ends the
// process (and so it is handled here), and the action it had before.
bool g_ending[_NSIG]{};
struct sigaction g_previous_actions[_NSIG];
struct sigaction g_stop_action {};
std::atomic<bool> g_hooks_installed{false};

// Every signal up to the last real-time one whose default action ends the
// process. Not KILL and STOP, which cannot be caught, nor those whose default
// is to ignore, stop or continue. Nor the first real-time numbers: the C
// library keeps them for its threads and timers, and SIGRTMIN, not a
// constant, starts past them.
bool ends_by_default(int sig) {
    if (sig < 1 || sig >= _NSIG || sig > SIGRTMAX) return false;
    if (sig >= __SIGRTMIN && sig < SIGRTMIN) return false;
    switch (sig) {
        case SIGKILL:
        case SIGSTOP:
        case SIGCHLD:
        case SIGCONT:
        case SIGURG:
        case SIGWINCH:
        case SIGTSTP:
        case SIGTTIN:
        case SIGTTOU: return false;
        default: return true;
    }
}

// Signals that a thread brings on itself, by a fault or by its own call
// (abort, a write to a closed pipe or past the file size limit): the thread
// that caused them must take them. Every other ending signal comes from
// outside.
bool own_thread_signal(int sig) {
    switch (sig) {
        case SIGSEGV:
        case SIGBUS:
        case SIGFPE:
        case SIGILL:
        case SIGTRAP:
        case SIGSYS:
        case SIGABRT:
        case SIGPIPE:
        case SIGXFSZ: return true;
        default: return false;
    }
}

bool is_exit_request(int sig) { return sig == SIGHUP || sig == SIGINT || sig == SIGTERM; }

// Line mode, echo and the signal keys, whatever they were at start-up.
termios line_mode(termios t) {
    t.c_lflag |= ICANON | ECHO | ISIG;
    return t;
}

// No line editing, echo, signal keys, flow control or CR translation;
// one byte at a time. Output is left as it was.
termios raw_mode(termios t) {
    t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON);
    t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB);
    t.c_cflag |= CS8;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    return t;
}

// The restore sequence as a handler runs it: async-signal-safe calls only.
void restore_after_crash() {
    int expected = Active;
    if (!g_state.compare_exchange_strong(expected, Restored)) return;
    const int saved_errno = errno;
    g_wake = -1;
    const int tty = g_tty.load();
    const termios mode = line_mode(g_shell_mode);
    ::tcsetattr(tty, TCSANOW, &mode);
    base::write_text(tty, CRASH_LEAVE_SEQUENCE);
    errno = saved_errno;
}

[[noreturn]] void on_terminate() {
    restore_after_crash();
    if (g_previous_terminate != nullptr) g_previous_terminate();
    std::abort();
}

// The default action, with `sig` alone in the returned set, to be
// unblocked by the caller.
sigset_t restore_default_action(int sig) {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    ::sigaction(sig, &action, nullptr);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, sig);
    return set;
}

// In a handler: sigprocmask is the async-signal-safe one, and it only
// touches the calling thread's mask.
void default_action_now(int sig) {
    const sigset_t set = restore_default_action(sig);
    ::sigprocmask(SIG_UNBLOCK, &set, nullptr);
    ::raise(sig);
}

void on_ending_signal(int sig, siginfo_t* info, void* context) {
    if (is_exit_request(sig) && g_state.load() == Active) {
        // The first request goes to the event loop; a second one, or one
        // that cannot be delivered, ends the process at once.
        const int wake = g_wake.load();
        int none = 0;
        if (wake >= 0 && g_exit_signal.compare_exchange_strong(none, sig)) {
            const int saved_errno = errno;
            const char byte = tui::WAKE_INTERRUPT;
            (void)::write(wake, &byte, 1);
            errno = saved_errno;
            return;
        }
    }
    restore_after_crash();
    if (sig <= 0 || sig >= _NSIG || !g_ending[sig]) return;
    const struct sigaction& previous = g_previous_actions[sig];
    if ((previous.sa_flags & SA_SIGINFO) != 0 && previous.sa_sigaction != nullptr) {
        previous.sa_sigaction(sig, info, context);
        return;
    }
    if ((previous.sa_flags & SA_SIGINFO) == 0 && previous.sa_handler != SIG_DFL &&
        previous.sa_handler != SIG_IGN) {
        previous.sa_handler(sig);
        return;
    }
    // The default action, now: the signal ends the process as soon as it
    // is unblocked.
    default_action_now(sig);
}

// Stopped by SIGTSTP: the shell gets its terminal back while the process
// waits, and the screen is taken again when it continues.
void on_stop(int sig) {
    const int saved_errno = errno;
    const bool active = g_state.load() == Active;
    const int tty = g_tty.load();
    if (active) {
        const termios mode = line_mode(g_shell_mode);
        ::tcsetattr(tty, TCSANOW, &mode);
        base::write_text(tty, CRASH_LEAVE_SEQUENCE);
    }
    default_action_now(sig);  // stops here until SIGCONT
    ::sigaction(SIGTSTP, &g_stop_action, nullptr);
    if (active && g_state.load() == Active) {
        ::tcsetattr(tty, TCSANOW, &g_raw_mode);
        base::write_text(tty, RESUME_SEQUENCE);
        if (const int wake = g_wake.load(); wake >= 0) {
            const char byte = tui::WAKE_REDRAW;
            (void)::write(wake, &byte, 1);
        }
    }
    errno = saved_errno;
}

void on_resize(int) {
    const int saved_errno = errno;
    if (const int wake = g_wake.load(); wake >= 0) {
        const char byte = tui::WAKE_RESIZE;
        (void)::write(wake, &byte, 1);
    }
    errno = saved_errno;
}

void handle(int sig, struct sigaction& action, struct sigaction* previous) {
    struct sigaction old {};
    ::sigaction(sig, nullptr, &old);
    if (previous != nullptr) *previous = old;
    // Ignored on purpose by whoever started us (nohup, a background job):
    // it stays ignored.
    if ((old.sa_flags & SA_SIGINFO) == 0 && old.sa_handler == SIG_IGN) return;
    ::sigaction(sig, &action, nullptr);
}

void install_hooks() {
    if (g_hooks_installed.exchange(true)) return;
    g_previous_terminate = std::set_terminate(on_terminate);
    sigset_t all;
    sigemptyset(&all);
    for (int sig = 1; sig < _NSIG; ++sig) {
        g_ending[sig] = ends_by_default(sig);
        if (g_ending[sig]) sigaddset(&all, sig);
    }
    sigaddset(&all, SIGTSTP);
    sigaddset(&all, SIGWINCH);

    struct sigaction ending {};
    ending.sa_sigaction = on_ending_signal;
    ending.sa_flags = SA_SIGINFO | SA_RESTART;
    ending.sa_mask = all;
    for (int sig = 1; sig < _NSIG; ++sig) {
        if (g_ending[sig]) handle(sig, ending, &g_previous_actions[sig]);
    }
    g_stop_action.sa_handler = on_stop;
    g_stop_action.sa_flags = SA_RESTART;
    g_stop_action.sa_mask = all;
    handle(SIGTSTP, g_stop_action, nullptr);
    struct sigaction resize {};
    resize.sa_handler = on_resize;
    resize.sa_flags = SA_RESTART;
    resize.sa_mask = all;
    handle(SIGWINCH, resize, nullptr);
}

// A terminal that was hung up is gone: there is nothing to restore on it,
// and nothing to report.
void report_restore_failure(int code) {
    if (code == EIO || code == ENXIO) return;
    base::write_text(stderr,
                     "Failed to restore terminal: " + base::IoError::from_errno(code).display() + "\n");
}

// The descriptors of one take-over, closed when it is over.
struct Descriptors {
    int tty = -1;
    int wake_read = -1;
    int wake_write = -1;
};
Descriptors g_descriptors;

void close_descriptors() {
    for (int* fd : {&g_descriptors.tty, &g_descriptors.wake_read, &g_descriptors.wake_write}) {
        if (*fd >= 0) ::close(*fd);
        *fd = -1;
    }
    g_tty = -1;
}

base::IoError failed(std::string_view what, int code) {
    const base::IoError os = base::IoError::from_errno(code);
    return base::IoError::custom(os.kind(), std::string(what) + ": " + os.display());
}

std::expected<void, base::IoError> open_descriptors() {
    const int tty = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (tty < 0) return std::unexpected(failed("cannot open the controlling terminal /dev/tty", errno));
    g_descriptors.tty = tty;
    if (::tcgetattr(tty, &g_shell_mode) != 0) {
        const int code = errno;
        close_descriptors();
        return std::unexpected(failed("cannot read the terminal modes", code));
    }
    int wake[2];
    if (::pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        const int code = errno;
        close_descriptors();
        return std::unexpected(failed("cannot create the wake-up pipe", code));
    }
    g_descriptors.wake_read = wake[0];
    g_descriptors.wake_write = wake[1];
    g_raw_mode = raw_mode(g_shell_mode);
    g_tty = tty;
    return {};
}

}  // namespace

void restore_terminal() {
    int expected = Active;
    if (!g_state.compare_exchange_strong(expected, Restored)) return;
    g_wake = -1;
    const int tty = g_tty.load();
    const termios mode = line_mode(g_shell_mode);
    if (::tcsetattr(tty, TCSADRAIN, &mode) != 0) return report_restore_failure(errno);
    if (!base::write_text(tty, LEAVE_SEQUENCE)) report_restore_failure(errno);
}

OutsideSignalsBlocked::OutsideSignalsBlocked() {
    sigset_t outside;
    sigemptyset(&outside);
    for (int sig = 1; sig < _NSIG; ++sig) {
        if (ends_by_default(sig) && !own_thread_signal(sig)) sigaddset(&outside, sig);
    }
    for (int sig : {SIGTSTP, SIGCONT, SIGWINCH}) sigaddset(&outside, sig);
    ::pthread_sigmask(SIG_BLOCK, &outside, &previous_);
}

OutsideSignalsBlocked::~OutsideSignalsBlocked() { ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }

int pending_exit_signal() { return g_exit_signal.load(); }

void end_by_signal(int sig) {
    const sigset_t set = restore_default_action(sig);
    ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    ::raise(sig);
    std::_Exit(128 + sig);  // only if the signal could not end the process
}

std::expected<TerminalSession, base::IoError> setup_terminal() {
    install_hooks();
    if (g_state.load() == Active) {
        return std::unexpected(
            base::IoError::custom(base::IoErrorKind::AlreadyExists, "the terminal is already taken over"));
    }
    if (auto opened = open_descriptors(); !opened) return std::unexpected(opened.error());
    g_state = Active;
    const auto fail = [](base::IoError error) {
        restore_terminal();
        close_descriptors();
        return std::unexpected(std::move(error));
    };
    const int tty = g_descriptors.tty;
    if (::tcsetattr(tty, TCSANOW, &g_raw_mode) != 0)
        return fail(failed("cannot switch the terminal to raw mode", errno));
    if (!base::write_text(tty, ENTER_SEQUENCE)) return fail(failed("cannot write to the terminal", errno));

    auto backend =
        std::make_unique<tui::TtyBackend>(tty, g_descriptors.wake_read, tui::described_colors(tty));
    auto terminal = tui::Terminal::create(*backend);
    if (!terminal) return fail(std::move(terminal.error()));
    g_wake = g_descriptors.wake_write;
    return TerminalSession(std::move(backend), std::move(*terminal));
}

TerminalSession::TerminalSession(std::unique_ptr<tui::TtyBackend> backend, tui::Terminal terminal)
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
        auto shown = terminal_->show_cursor();
        if (shown) shown = backend_->flush();
        if (!shown) base::write_text(stderr, "Failed to show the cursor: " + shown.error().display() + "\n");
    }
    terminal_.reset();
    restore_terminal();
    backend_.reset();
    close_descriptors();
}

}  // namespace vorlix::app
