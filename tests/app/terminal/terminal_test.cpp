// Runs the take-over probe under a pseudo-terminal and reads what it wrote
// there: the alternate screen must be entered and left, and a crash on any
// thread must leave it, with the line modes back, before the error report
// is printed. The probe's own standard streams are the pseudo-terminal too,
// but it draws on /dev/tty, its controlling terminal.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <termios.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "app/terminal/ending_signals.hpp"
#include "app/terminal/terminal.hpp"
#include "app/terminal/terminal_probe_run.hpp"

namespace {

using namespace vorlix::app::probe_run;

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
        {"quit",
         "xterm-256color",
         {ENTER_ALTERNATE, HIDE_CURSOR, "probe", SHOW_CURSOR, LEAVE_ALTERNATE, "DONE icanon=1 echo=1 isig=1"},
         {"Failed to"},
         End::Success},
        // Line mode and echo are on after the program, whatever they were.
        {"echo-off",
         "xterm-256color",
         {ENTER_ALTERNATE, LEAVE_ALTERNATE, "DONE icanon=1 echo=1 isig=1"},
         {},
         End::Success},
        {"throw",
         "xterm-256color",
         {ENTER_ALTERNATE, "probe", SHOW_CURSOR, LEAVE_ALTERNATE, "REPORT: boom"},
         {"DONE"},
         End::Abort},
        {"thread-throw",
         "xterm-256color",
         {ENTER_ALTERNATE, "probe", LEAVE_ALTERNATE, "REPORT: boom on a worker"},
         {"DONE"},
         End::Abort},
        {"segv", "xterm-256color", {ENTER_ALTERNATE, "probe", LEAVE_ALTERNATE}, {"DONE"}, End::Crash},
        {"restore-only",
         "xterm-256color",
         {ENTER_ALTERNATE, HIDE_CURSOR, "probe", SHOW_CURSOR, LEAVE_ALTERNATE},
         {"DONE", "Failed to"},
         End::Failure},
        {"thread-throw",
         "vt100",
         {ENTER_ALTERNATE, "probe", SHOW_CURSOR, LEAVE_ALTERNATE, "REPORT: boom on a worker"},
         {"DONE"},
         End::Abort},
    };
    // The same sequences whatever the description says, or with none.
    for (const char* term : {"vorlix-no-such-terminal", "", "vt100", "dumb", "linux", "xterm-mono"}) {
        cases.push_back({"quit",
                         term,
                         {ENTER_ALTERNATE, HIDE_CURSOR, "probe", SHOW_CURSOR, LEAVE_ALTERNATE,
                          "DONE icanon=1 echo=1 isig=1"},
                         {"Failed to", "SETUP FAILED"},
                         End::Success});
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

// Threads started while outside signals are blocked keep them blocked, so
// only the thread that handles the terminal takes them, and the starter's
// own mask is back afterwards. A signal that a thread brings on itself stays
// deliverable to it.
TEST(TerminalTakeOver, ThreadsStartedWithOutsideSignalsBlockedNeverTakeThem) {
    const auto blocked_here = [](int sig) {
        sigset_t now;
        pthread_sigmask(SIG_BLOCK, nullptr, &now);
        return sigismember(&now, sig) == 1;
    };
    const std::vector<int> own = {SIGSEGV, SIGBUS,  SIGFPE,  SIGILL, SIGTRAP,
                                  SIGSYS,  SIGABRT, SIGPIPE, SIGXFSZ};
    std::vector<int> outside = {SIGTSTP, SIGCONT, SIGWINCH};
    for (int sig : vorlix::test::signals_that_end_by_default()) {
        if (std::find(own.begin(), own.end(), sig) == own.end()) outside.push_back(sig);
    }
    std::sort(outside.begin(), outside.end());
    ASSERT_GT(outside.size(), 40u);  // the real-time signals come from outside
    std::vector<int> checked = outside;
    checked.insert(checked.end(), own.begin(), own.end());
    std::sort(checked.begin(), checked.end());
    std::vector<int> blocked_in_worker;
    {
        const vorlix::app::OutsideSignalsBlocked blocked;
        std::thread([&] {
            for (int sig : checked) {
                if (blocked_here(sig)) blocked_in_worker.push_back(sig);
            }
        }).join();
    }
    EXPECT_EQ(blocked_in_worker, outside);
    for (int sig : checked) EXPECT_FALSE(blocked_here(sig)) << sig;
}

}  // namespace
