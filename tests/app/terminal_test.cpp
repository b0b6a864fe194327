// Runs the take-over probe under a pseudo-terminal and reads what it wrote
// there: the alternate screen must be entered and left, and a crash or a
// signal must leave it, with the line modes back, before the error report
// is printed. The probe's own standard streams are the pseudo-terminal too,
// but it draws on /dev/tty, its controlling terminal.

#include <gtest/gtest.h>

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string_view>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/terminal.hpp"

namespace {

using namespace std::chrono_literals;

constexpr const char* enter_alternate = "\x1b[?1049h";
constexpr const char* leave_alternate = "\x1b[?1049l";
constexpr const char* hide_cursor = "\x1b[?25l";
constexpr const char* show_cursor = "\x1b[?25h";

struct ProbeRun {
    std::string output;
    int status = 0;
    bool finished = false;
    termios modes{};  // the pseudo-terminal's line modes once the probe ended
};

// One run of the probe on a pseudo-terminal of its own. As a job, it runs
// in a process group of its own in the foreground, under a parent in the
// same session, as a shell with job control runs a command: only then does
// a stop signal stop it.
class Probe {
public:
    // `term` empty: TERM unset.
    Probe(const std::string& mode, const std::string& term, bool job = false) {
        int pid_pipe[2];
        if (pipe(pid_pipe) != 0) return;
        winsize size{24, 80, 0, 0};
        child_ = forkpty(&master_, nullptr, nullptr, &size);
        if (child_ < 0) return;
        if (child_ == 0) {
            close(pid_pipe[0]);
            if (term.empty()) {
                unsetenv("TERM");
            } else {
                setenv("TERM", term.c_str(), 1);
            }
            setenv("LANG", "C.UTF-8", 1);
            // A fatal signal sent from outside must end the probe as in the
            // plain build, not as a sanitizer report; crashes must not leave
            // core files behind.
            for (const char* name : {"ASAN_OPTIONS", "TSAN_OPTIONS"}) {
                const char* old = std::getenv(name);
                setenv(name,
                       (std::string(old ? old : "") + ":detect_leaks=0:handle_segv=0:handle_sigbus=0:handle_sigfpe=0")
                           .c_str(),
                       1);
            }
            const rlimit no_core{0, 0};
            setrlimit(RLIMIT_CORE, &no_core);
            if (job) run_as_job(mode, pid_pipe[1]);
            const pid_t self = getpid();
            (void)!write(pid_pipe[1], &self, sizeof self);
            close(pid_pipe[1]);
            exec_probe(mode);
        }
        close(pid_pipe[1]);
        if (read(pid_pipe[0], &target_, sizeof target_) != sizeof target_) target_ = child_;
        close(pid_pipe[0]);
    }
    ~Probe() {
        if (child_ > 0 && !run_.finished) {
            kill(child_, SIGKILL);
            if (target_ != child_) kill(target_, SIGKILL);
            waitpid(child_, nullptr, 0);
        }
        if (master_ >= 0) close(master_);
    }
    Probe(const Probe&) = delete;
    Probe& operator=(const Probe&) = delete;

    bool started() const { return child_ > 0; }
    const std::string& output() const { return run_.output; }
    pid_t pid() const { return target_; }
    // To the probe's main thread: a sanitizer's own threads must not be the
    // ones to take it.
    void send(int sig) { syscall(SYS_tgkill, target_, target_, sig); }
    void type(std::string_view keys) { (void)!write(master_, keys.data(), keys.size()); }
    // Closes the terminal's other side, as a terminal window that is closed.
    void hang_up() {
        close(master_);
        master_ = -1;
    }

    // Reads until `text` appears at or after `from`; its position, or npos
    // when the probe ended or went silent for minutes first.
    std::size_t read_until(std::string_view text, std::size_t from = 0) {
        const auto deadline = std::chrono::steady_clock::now() + 120s;
        for (;;) {
            const std::size_t found = run_.output.find(text, from);
            if (found != std::string::npos) return found;
            if (std::chrono::steady_clock::now() >= deadline || !read_some(200)) return std::string::npos;
        }
    }

    // The line modes of the pseudo-terminal right now.
    termios modes() const {
        termios t{};
        tcgetattr(master_, &t);
        return t;
    }

    // Reads to the end and waits for the probe (the job's parent, which
    // ends as the job did).
    ProbeRun finish() {
        const auto deadline = std::chrono::steady_clock::now() + 120s;
        while (!run_.finished && std::chrono::steady_clock::now() < deadline) {
            if (!read_some(200) && !run_.finished) std::this_thread::sleep_for(10ms);
        }
        if (!run_.finished) {
            kill(child_, SIGKILL);
            waitpid(child_, &run_.status, 0);
            run_.finished = false;
        }
        // The master side reports the modes of the terminal the probe used.
        if (master_ >= 0) run_.modes = modes();
        return run_;
    }

private:
    [[noreturn]] static void exec_probe(const std::string& mode) {
        execl(VORLIX_TERMINAL_PROBE, VORLIX_TERMINAL_PROBE, mode.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }

    [[noreturn]] static void run_as_job(const std::string& mode, int pid_out) {
        int go[2];
        if (pipe(go) != 0) _exit(126);
        const pid_t job = fork();
        if (job < 0) _exit(126);
        if (job == 0) {
            close(go[1]);
            char byte = 0;
            (void)!read(go[0], &byte, 1);  // in the foreground first
            exec_probe(mode);
        }
        setpgid(job, job);
        signal(SIGTTOU, SIG_IGN);
        tcsetpgrp(STDIN_FILENO, job);
        (void)!write(pid_out, &job, sizeof job);
        (void)!write(go[1], "g", 1);
        int status = 0;
        while (waitpid(job, &status, 0) < 0 && errno == EINTR) {
        }
        if (WIFSIGNALED(status)) {
            signal(WTERMSIG(status), SIG_DFL);
            raise(WTERMSIG(status));
        }
        _exit(WIFEXITED(status) ? WEXITSTATUS(status) : 125);
    }

    // False when nothing came within `timeout_ms` or the probe ended.
    bool read_some(int timeout_ms) {
        if (run_.finished) return false;
        if (master_ < 0) {
            if (waitpid(child_, &run_.status, WNOHANG) == child_) run_.finished = true;
            return false;
        }
        pollfd p{master_, POLLIN, 0};
        const int ready = poll(&p, 1, timeout_ms);
        if (ready < 0 && errno == EINTR) return true;
        if (ready > 0) {
            char buf[4096];
            const ssize_t n = read(master_, buf, sizeof buf);
            if (n > 0) {
                run_.output.append(buf, static_cast<std::size_t>(n));
                return true;
            }
        }
        // Silent, or EIO once the probe has closed the terminal.
        if (waitpid(child_, &run_.status, WNOHANG) == child_) run_.finished = true;
        return false;
    }

    int master_ = -1;
    pid_t child_ = -1;
    pid_t target_ = -1;
    ProbeRun run_;
};

// With `signal`, it is sent once the probe has drawn its frame.
ProbeRun run_probe(const std::string& mode, const std::string& term, int signal = 0) {
    Probe probe(mode, term);
    if (!probe.started()) return {};
    if (signal != 0 && probe.read_until("frame") != std::string::npos) probe.send(signal);
    return probe.finish();
}

// The state letter of a process ("S", "T" when stopped), from /proc.
char process_state(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::size_t close = text.rfind(')');
    return close == std::string::npos || close + 2 >= text.size() ? '?' : text[close + 2];
}

template <class Ready>
bool eventually(Ready ready) {
    const auto deadline = std::chrono::steady_clock::now() + 120s;
    while (!ready()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

bool line_mode(const termios& t) { return (t.c_lflag & (ICANON | ECHO | ISIG)) == (ICANON | ECHO | ISIG); }

std::string visible(const std::string& s) {
    std::string out;
    for (unsigned char c : s) {
        if (c == 0x1b) {
            out += "\\e";
        } else if (c < 0x20) {
            out += "^" + std::string(1, static_cast<char>(c + 0x40));
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

enum class End { Success, Failure, Abort, Crash };

TEST(TerminalTakeOver, EntersAndLeavesTheAlternateScreenOnEveryWayOut) {
    struct Case {
        std::string mode;
        std::string term;
        std::vector<std::string> in_order;  // each after the one before
        std::vector<std::string> absent;
        End end;
    };
    std::vector<Case> cases = {
        {"quit", "xterm-256color",
         {enter_alternate, hide_cursor, "probe", show_cursor, leave_alternate, "DONE icanon=1 echo=1 isig=1"},
         {"Failed to"}, End::Success},
        // Line mode and echo are on after the program, whatever they were.
        {"echo-off", "xterm-256color", {enter_alternate, leave_alternate, "DONE icanon=1 echo=1 isig=1"}, {},
         End::Success},
        {"throw", "xterm-256color", {enter_alternate, "probe", show_cursor, leave_alternate, "REPORT: boom"},
         {"DONE"}, End::Abort},
        {"thread-throw", "xterm-256color",
         {enter_alternate, "probe", leave_alternate, "REPORT: boom on a worker"}, {"DONE"}, End::Abort},
        {"segv", "xterm-256color", {enter_alternate, "probe", leave_alternate}, {"DONE"}, End::Crash},
        {"thread-throw", "vt100", {enter_alternate, "probe", show_cursor, leave_alternate, "REPORT: boom on a worker"},
         {"DONE"}, End::Abort},
    };
    // The same sequences whatever the description says, or with none.
    for (const char* term : {"vorlix-no-such-terminal", "", "vt100", "dumb", "linux", "xterm-mono"}) {
        cases.push_back({"quit", term,
                         {enter_alternate, hide_cursor, "probe", show_cursor, leave_alternate,
                          "DONE icanon=1 echo=1 isig=1"},
                         {"Failed to", "SETUP FAILED"}, End::Success});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode + " on " + (c.term.empty() ? "no TERM" : c.term));
        const ProbeRun run = run_probe(c.mode, c.term);
        ASSERT_TRUE(run.finished) << visible(run.output);
        // Every way out leaves the terminal in line mode, crashes included.
        EXPECT_EQ(run.modes.c_lflag & (ICANON | ECHO | ISIG), tcflag_t{ICANON | ECHO | ISIG});
        std::size_t at = 0;
        for (const std::string& part : c.in_order) {
            const std::size_t found = run.output.find(part, at);
            ASSERT_NE(found, std::string::npos) << "missing " << visible(part) << " in order in\n"
                                                << visible(run.output);
            at = found + part.size();
        }
        for (const std::string& part : c.absent) {
            EXPECT_EQ(run.output.find(part), std::string::npos) << visible(run.output);
        }
        switch (c.end) {
            case End::Success:
                EXPECT_TRUE(WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0) << run.status;
                break;
            case End::Failure:
                EXPECT_TRUE(WIFEXITED(run.status) && WEXITSTATUS(run.status) == 1) << run.status;
                break;
            case End::Abort:
                EXPECT_TRUE(WIFSIGNALED(run.status) && WTERMSIG(run.status) == SIGABRT) << run.status;
                break;
            case End::Crash:
                // A sanitizer's own handler may turn the signal into an exit.
                EXPECT_FALSE(WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0) << run.status;
                break;
        }
    }
}

// A signal that ends the process ends it after the restore, by that same
// signal; the three that ask for an end go through the probe's own wait for
// input first, like the program's event loop.
TEST(TerminalTakeOver, EverySignalThatEndsTheProcessRestoresFirst) {
    const int signals[] = {SIGHUP,  SIGINT,  SIGTERM, SIGQUIT, SIGILL,  SIGTRAP, SIGSYS,
                           SIGSEGV, SIGBUS,  SIGFPE,  SIGABRT, SIGXCPU, SIGXFSZ, SIGPIPE};
    for (int sig : signals) {
        SCOPED_TRACE(std::string("signal ") + strsignal(sig));
        const ProbeRun run = run_probe("wait", "xterm-256color", sig);
        ASSERT_TRUE(run.finished) << visible(run.output);
        const std::size_t frame = run.output.find("frame");
        ASSERT_NE(frame, std::string::npos) << visible(run.output);
        EXPECT_NE(run.output.find(show_cursor, frame), std::string::npos) << visible(run.output);
        EXPECT_NE(run.output.find(leave_alternate, frame), std::string::npos) << visible(run.output);
        EXPECT_EQ(run.modes.c_lflag & (ICANON | ECHO | ISIG), tcflag_t{ICANON | ECHO | ISIG});
        EXPECT_TRUE(WIFSIGNALED(run.status) && WTERMSIG(run.status) == sig) << run.status;
    }
}

// Threads started while outside signals are blocked keep them blocked, so
// only the thread that handles the terminal takes them; the starter's own
// mask is back afterwards.
TEST(TerminalTakeOver, ThreadsStartedWithOutsideSignalsBlockedNeverTakeThem) {
    const auto blocked_here = [](int sig) {
        sigset_t now;
        pthread_sigmask(SIG_BLOCK, nullptr, &now);
        return sigismember(&now, sig) == 1;
    };
    const int outside[] = {SIGHUP, SIGINT, SIGTERM, SIGQUIT, SIGTSTP, SIGCONT, SIGWINCH, SIGXCPU};
    std::vector<int> blocked_in_worker;
    bool faults_blocked_in_worker = true;
    {
        const vorlix::app::OutsideSignalsBlocked blocked;
        std::thread([&] {
            for (int sig : outside) {
                if (blocked_here(sig)) blocked_in_worker.push_back(sig);
            }
            faults_blocked_in_worker = blocked_here(SIGSEGV) || blocked_here(SIGBUS) || blocked_here(SIGFPE);
        }).join();
    }
    EXPECT_EQ(blocked_in_worker, std::vector<int>(std::begin(outside), std::end(outside)));
    for (int sig : outside) EXPECT_FALSE(blocked_here(sig)) << sig;
    // Faults of the thread itself stay deliverable to it.
    EXPECT_FALSE(faults_blocked_in_worker);
}

// A second request to end, while the first is still being served, ends the
// process at once, after the restore.
TEST(TerminalTakeOver, ASecondEndRequestEndsAtOnce) {
    Probe probe("hold", "xterm-256color");
    ASSERT_TRUE(probe.started());
    ASSERT_NE(probe.read_until("frame"), std::string::npos) << visible(probe.output());
    probe.send(SIGTERM);
    const std::size_t held = probe.read_until("held");
    ASSERT_NE(held, std::string::npos) << visible(probe.output());
    probe.send(SIGTERM);
    const ProbeRun run = probe.finish();
    ASSERT_TRUE(run.finished) << visible(run.output);
    EXPECT_NE(run.output.find(leave_alternate, held), std::string::npos) << visible(run.output);
    EXPECT_TRUE(line_mode(run.modes));
    EXPECT_TRUE(WIFSIGNALED(run.status) && WTERMSIG(run.status) == SIGTERM) << run.status;
}

// A terminal that goes away ends the program as its hang-up signal asks.
TEST(TerminalTakeOver, AHangUpEndsByItsSignal) {
    Probe probe("wait", "xterm-256color");
    ASSERT_TRUE(probe.started());
    ASSERT_NE(probe.read_until("frame"), std::string::npos) << visible(probe.output());
    probe.hang_up();
    const ProbeRun run = probe.finish();
    ASSERT_TRUE(run.finished);
    EXPECT_TRUE(WIFSIGNALED(run.status) && WTERMSIG(run.status) == SIGHUP) << run.status;
}

// Stopped, the probe gives the terminal back to the shell; continued, it
// takes it again and draws everything anew.
TEST(TerminalTakeOver, StopGivesTheTerminalBackAndContinueTakesItAgain) {
    Probe probe("wait", "xterm-256color", true);
    ASSERT_TRUE(probe.started());
    const std::size_t frame = probe.read_until("frame");
    ASSERT_NE(frame, std::string::npos) << visible(probe.output());
    EXPECT_FALSE(line_mode(probe.modes()));

    probe.send(SIGTSTP);
    ASSERT_TRUE(eventually([&] { return process_state(probe.pid()) == 'T'; })) << visible(probe.output());
    const std::size_t left = probe.read_until(leave_alternate, frame);
    EXPECT_NE(left, std::string::npos) << visible(probe.output());
    EXPECT_NE(probe.read_until(show_cursor, frame), std::string::npos) << visible(probe.output());
    EXPECT_TRUE(line_mode(probe.modes()));

    probe.send(SIGCONT);
    const std::size_t back = probe.read_until(enter_alternate, left);
    ASSERT_NE(back, std::string::npos) << visible(probe.output());
    EXPECT_NE(probe.read_until("again", back), std::string::npos) << visible(probe.output());
    EXPECT_FALSE(line_mode(probe.modes()));

    probe.type("q");
    const ProbeRun run = probe.finish();
    ASSERT_TRUE(run.finished) << visible(run.output);
    EXPECT_NE(run.output.find("DONE icanon=1 echo=1 isig=1", back), std::string::npos) << visible(run.output);
    EXPECT_TRUE(WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0) << run.status;
}

}  // namespace
