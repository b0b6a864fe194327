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
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

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

// `term` empty: TERM unset. With `signal`, it is sent once the probe has
// drawn its frame.
ProbeRun run_probe(const std::string& mode, const std::string& term, int signal = 0) {
    ProbeRun run;
    int master = -1;
    winsize size{24, 80, 0, 0};
    const pid_t pid = forkpty(&master, nullptr, nullptr, &size);
    if (pid < 0) return run;
    if (pid == 0) {
        if (term.empty()) {
            unsetenv("TERM");
        } else {
            setenv("TERM", term.c_str(), 1);
        }
        setenv("LANG", "C.UTF-8", 1);
        // ncurses keeps some memory to the end by design; crashes must not
        // leave core files behind.
        const char* asan = std::getenv("ASAN_OPTIONS");
        setenv("ASAN_OPTIONS", (std::string(asan ? asan : "") + ":detect_leaks=0").c_str(), 1);
        const rlimit no_core{0, 0};
        setrlimit(RLIMIT_CORE, &no_core);
        execl(VORLIX_TERMINAL_PROBE, VORLIX_TERMINAL_PROBE, mode.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }

    const auto deadline = std::chrono::steady_clock::now() + 30s;
    char buf[4096];
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd p{master, POLLIN, 0};
        const int ready = poll(&p, 1, 200);
        if (ready < 0 && errno == EINTR) continue;
        if (ready == 0) {
            // Output may have ended without the pty reporting it yet.
            if (waitpid(pid, &run.status, WNOHANG) == pid) run.finished = true;
            if (run.finished) break;
            continue;
        }
        const ssize_t n = read(master, buf, sizeof buf);
        if (n <= 0) break;  // EIO once the probe has closed the terminal
        run.output.append(buf, static_cast<std::size_t>(n));
        if (signal != 0 && run.output.find("frame") != std::string::npos) {
            kill(pid, signal);
            signal = 0;
        }
    }
    while (!run.finished && std::chrono::steady_clock::now() < deadline) {
        if (waitpid(pid, &run.status, WNOHANG) == pid) {
            run.finished = true;
        } else {
            std::this_thread::sleep_for(10ms);
        }
    }
    if (!run.finished) {
        kill(pid, SIGKILL);
        waitpid(pid, &run.status, 0);
    }
    // The master side reports the modes of the terminal the probe used.
    tcgetattr(master, &run.modes);
    close(master);
    return run;
}

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

}  // namespace
