// Signals during a take-over, run through the probe on a pseudo-terminal:
// each one that ends the process restores the terminal first and ends it by
// that same signal; a stop hands the terminal back until the probe goes on.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <termios.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/terminal/ending_signals.hpp"
#include "app/terminal/terminal_probe_run.hpp"

namespace {

using namespace vorlix::app::probe_run;

TEST(TerminalTakeOver, EverySignalThatEndsTheProcessRestoresFirst) {
    const std::vector<int> signals = vorlix::test::signals_that_end_by_default();
    // The table found something: the end requests and the real-time range.
    ASSERT_NE(std::find(signals.begin(), signals.end(), SIGTERM), signals.end());
    ASSERT_EQ(signals.back(), SIGRTMAX);
    for (int sig : signals) {
        SCOPED_TRACE(vorlix::test::signal_name(sig));
        const ProbeRun run = run_probe("wait", "xterm-256color", sig);
        ASSERT_TRUE(run.finished) << visible(run.output);
        const std::size_t frame = run.output.find("frame");
        ASSERT_NE(frame, std::string::npos) << visible(run.output);
        EXPECT_NE(run.output.find(SHOW_CURSOR, frame), std::string::npos) << visible(run.output);
        EXPECT_NE(run.output.find(LEAVE_ALTERNATE, frame), std::string::npos) << visible(run.output);
        EXPECT_TRUE(line_mode(run.modes));
        EXPECT_TRUE(WIFSIGNALED(run.status) && WTERMSIG(run.status) == sig) << run.status;
    }
}

// Threads started while outside signals are blocked keep them blocked, so
// only the thread that handles the terminal takes them; the starter's own
// mask is back afterwards.
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
    EXPECT_NE(run.output.find(LEAVE_ALTERNATE, held), std::string::npos) << visible(run.output);
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
    const std::size_t left = probe.read_until(LEAVE_ALTERNATE, frame);
    EXPECT_NE(left, std::string::npos) << visible(probe.output());
    EXPECT_NE(probe.read_until(SHOW_CURSOR, frame), std::string::npos) << visible(probe.output());
    EXPECT_TRUE(line_mode(probe.modes()));

    probe.send(SIGCONT);
    const std::size_t back = probe.read_until(ENTER_ALTERNATE, left);
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
