// The program in a real terminal (tmux) whatever the terminal's description
// says, with its standard streams redirected, and ended by every signal that
// ends a process: each run must give the terminal back exactly as it was.

#include <signal.h>

#include <cstdint>
#include <functional>

#include "app/terminal/ending_signals.hpp"
#include "e2e/e2e_fixture.hpp"

namespace vorlix::e2e {
namespace {

// Eleven points, 100 to 110 MHz, one clear peak at 105 MHz.
constexpr std::string_view SCAN =
    "frequency_MHz,level_dBm\n100,-80\n101,-80\n102,-81\n103,-80\n104,-79\n105,-20.5\n106,-80\n"
    "107,-80\n108,-80\n109,-82\n110,-80\n";

class TerminalTest : public E2eTest {
protected:
    void SetUp() override {
        start_sim();
        write_text(dir.path() / "config.toml", "points = 101\n" + tcp_config_text(server->port()));
        write_text(dir.path() / "scan.csv", SCAN);
    }

    RunOptions options(std::vector<std::string> args, std::vector<std::string> env = {}) {
        RunOptions o;
        o.args = std::move(args);
        o.env = std::move(env);
        return o;
    }

    // Arrows, Enter, digits and Esc on the menus, then Esc leaves.
    void menu_keys(TmuxRun& run) {
        ASSERT_TRUE(run.wait_for("COM Ports")) << run.screen();
        run.keys({"Down", "Up", "Enter"});
        ASSERT_TRUE(run.wait_for("Start Frequency")) << run.screen();
        run.keys({"Right", "Right"});
        run.type("12");
        ASSERT_TRUE(run.wait_for("12_")) << run.screen();
        ASSERT_TRUE(run.wait_for("Type the point count;")) << run.screen();
        // Home and End mean nothing while typing; their sequences must not
        // arrive as characters either.
        run.keys({"Home", "End"});
        run.type("3");
        ASSERT_TRUE(run.wait_for("123_")) << run.screen();
        run.keys({"Escape"});
        ASSERT_TRUE(run.wait_for("Use ↓↑ to change, ←→ to select")) << run.screen();
        run.keys({"Escape"});
    }

    // Zoom, pan, Home, digits and letters on the viewer, then Enter leaves.
    void viewer_keys(TmuxRun& run) {
        ASSERT_TRUE(run.wait_for("scan.csv — 11 points — visible 100.00 to 110.00 MHz")) << run.screen();
        run.type("+");
        ASSERT_TRUE(run.wait_for("visible 102.50 to 107.50 MHz")) << run.screen();
        run.keys({"Left"});
        ASSERT_TRUE(run.wait_for("visible 101.25 to 106.25 MHz")) << run.screen();
        run.keys({"Home"});
        ASSERT_TRUE(run.wait_for("visible 100.00 to 110.00 MHz")) << run.screen();
        run.type("+");
        run.keys({"Right", "End"});
        ASSERT_TRUE(run.wait_for("visible 103.75 to 108.75 MHz")) << run.screen();
        run.type("0m");
        ASSERT_TRUE(run.wait_for("Visible peak")) << run.screen();
        ASSERT_TRUE(run.wait_for("visible 100.00 to 110.00 MHz")) << run.screen();
        run.keys({"Enter"});
    }

    // Ended with `status`, off the alternate screen, cursor shown, the line
    // modes as they were before, nothing on standard error. After a resize
    // only the first line, which holds the size, may differ.
    void expect_given_back(TmuxRun& run, int status, bool resized = false) {
        expect_restored_exit(run, status);
        std::string before = run.modes_before();
        std::string after = run.modes_after();
        EXPECT_NE(before.find("icanon"), std::string::npos) << before;
        if (resized) {
            before.erase(0, before.find('\n'));
            after.erase(0, after.find('\n'));
        }
        EXPECT_EQ(after, before);
        EXPECT_EQ(run.stderr_text(), "");
    }
};

TEST_F(TerminalTest, EveryTerminalDescriptionStartsDrawsReadsKeysAndRestores) {
    // "TERM" alone: unset.
    const std::vector<std::string> terms = {
        "TERM",       "TERM=nosuchterm",     "TERM=dumb",   "TERM=vt100",
        "TERM=vt220", "TERM=linux",          "TERM=ansi",   "TERM=xterm-mono",
        "TERM=xterm", "TERM=xterm-256color", "TERM=screen", "TERM=tmux-256color"};
    for (const std::string& term : terms) {
        SCOPED_TRACE(term);
        {
            auto run = launch_with(options({}, {term}));
            menu_keys(*run);
            expect_given_back(*run, 0);
        }
        {
            auto run = launch_with(options({"scan.csv"}, {term}));
            viewer_keys(*run);
            expect_given_back(*run, 0);
        }
    }
}

TEST_F(TerminalTest, RedirectedStandardStreamsDoNotMatter) {
    struct Case {
        const char* name;
        std::vector<std::string> args;
        std::vector<std::string> wrapper;
        std::string redirect;
        std::string title;
    };
    const std::vector<Case> cases = {
        {"input from /dev/null", {"scan.csv"}, {}, "</dev/null", "scan.csv"},
        {"output to a file", {"scan.csv"}, {}, ">out.txt", "scan.csv"},
        {"the scan read from standard input", {"/dev/stdin"}, {}, "<scan.csv", "/dev/stdin"},
        {"the scan read from a pipe",
         {"/dev/stdin"},
         {"sh", "-c", "cat scan.csv | \"$0\" \"$@\""},
         "",
         "/dev/stdin"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(dir.path() / "out.txt");
        RunOptions o = options(c.args);
        o.wrapper = c.wrapper;
        o.redirect = c.redirect;
        auto run = launch_with(std::move(o));
        ASSERT_TRUE(run->wait_for(c.title + " — 11 points — visible 100.00 to 110.00 MHz")) << run->screen();
        run->type("+");
        ASSERT_TRUE(run->wait_for("visible 102.50 to 107.50 MHz")) << run->screen();
        run->type("q");
        expect_given_back(*run, 0);
        if (c.redirect == ">out.txt") {
            EXPECT_EQ(slurp(dir.path() / "out.txt"), "");
        }
    }
}

// The code points of the screen line that holds `text`, trailing blanks
// left out; 0 when no line holds it.
std::size_t line_width(const std::string& screen, std::string_view text) {
    for (const std::string& line : lines_of(screen)) {
        if (line.find(text) == std::string::npos) continue;
        const std::string trimmed = line.substr(0, line.find_last_not_of(' ') + 1);
        std::size_t n = 0;
        for (unsigned char c : trimmed) n += (c & 0xc0) != 0x80;
        return n;
    }
    return 0;
}

// A resized terminal gets a whole frame at its new size.
TEST_F(TerminalTest, AResizedTerminalIsDrawnAnewAtItsSize) {
    auto run = launch_with(options({"scan.csv"}));
    ASSERT_TRUE(run->wait_for("11 points")) << run->screen();
    const std::size_t wide = line_width(run->screen(), "┌Status");
    ASSERT_GT(wide, 100u) << run->screen();
    run->resize(100, 30);
    EXPECT_TRUE(wait_until(
        [&] {
            const std::string screen = run->screen();
            const std::size_t now = line_width(screen, "┌Status");
            return now > 0 && now < 100 && screen.find("11 points") != std::string::npos;
        },
        test::PATIENCE))
        << run->screen();
    run->type("q");
    expect_given_back(*run, 0, true);
}

// Each screen is a test of its own, so a loaded machine runs them side by
// side and none comes near a per-test time limit.
struct Screen {
    const char* name;
    std::vector<std::string> args;
    std::function<void(TmuxRun&)> reach;
};

const std::vector<Screen>& screens() {
    static const std::vector<Screen> all = {
        {"PortMenu", {}, [](TmuxRun& run) { ASSERT_TRUE(run.wait_for("COM Ports")) << run.screen(); }},
        {"Parameters",
         {},
         [](TmuxRun& run) {
             ASSERT_TRUE(run.wait_for("COM Ports")) << run.screen();
             run.keys({"Enter"});
             ASSERT_TRUE(run.wait_for("Start Frequency")) << run.screen();
         }},
        {"Viewer",
         {"scan.csv"},
         [](TmuxRun& run) { ASSERT_TRUE(run.wait_for("11 points")) << run.screen(); }},
        {"Live",
         {"--live"},
         [](TmuxRun& run) {
             ASSERT_TRUE(run.wait_for("COM Ports")) << run.screen();
             run.keys({"Enter"});
             ASSERT_TRUE(run.wait_for("Start Frequency")) << run.screen();
             run.keys({"Enter"});
             ASSERT_TRUE(run.wait_for(" sweeps")) << run.screen();
         }},
    };
    return all;
}

class TerminalSignalTest : public TerminalTest, public ::testing::WithParamInterface<std::size_t> {};

TEST_P(TerminalSignalTest, EverySignalThatEndsTheProcessRestoresAndEndsWithItsStatus) {
    const Screen& screen = screens()[GetParam()];
    const std::vector<int> signals = test::signals_that_end_by_default();
    ASSERT_EQ(signals.back(), SIGRTMAX);
    for (int sig : signals) {
        SCOPED_TRACE(std::string(screen.name) + ", " + test::signal_name(sig));
        for (const fs::path& f : csv_files(dir.path())) fs::remove(f);
        write_text(dir.path() / "scan.csv", SCAN);
        auto run = launch_with(options(screen.args));
        screen.reach(*run);
        const std::optional<pid_t> pid = run->program_pid();
        ASSERT_TRUE(pid.has_value());
        ASSERT_EQ(::kill(*pid, sig), 0);
        expect_given_back(*run, 128 + sig);
        // A live capture asked to end keeps its visible trace, whole.
        const bool saves =
            std::string_view(screen.name) == "Live" && (sig == SIGHUP || sig == SIGINT || sig == SIGTERM);
        std::vector<fs::path> files = csv_files(dir.path());
        std::erase(files, dir.path() / "scan.csv");
        ASSERT_EQ(files.size(), saves ? 1u : 0u);
        if (saves) {
            EXPECT_EQ(lines_of(slurp(files[0])).size(), 101u);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(OnEveryScreen, TerminalSignalTest, ::testing::Range<std::size_t>(0, 4),
                         [](const ::testing::TestParamInfo<std::size_t>& param) {
                             return std::string(screens()[param.param].name);
                         });

// A signal from outside is the terminal's thread's to handle: every other
// thread of a live run (the worker and the log's flusher) blocks each one,
// so none can restore the terminal while a frame is being written.
TEST_F(TerminalTest, OnlyTheTerminalThreadTakesSignalsFromOutside) {
    auto run = launch_with(options({"--live"}));
    screens()[3].reach(*run);
    const std::optional<pid_t> pid = run->program_pid();
    ASSERT_TRUE(pid.has_value());
    const fs::path tasks = "/proc/" + std::to_string(*pid) + "/task";
    std::size_t others = 0;
    for (const fs::directory_entry& task : fs::directory_iterator(tasks)) {
        if (task.path().filename() == std::to_string(*pid)) continue;
        ++others;
        const std::string status = slurp(task.path() / "status");
        const std::size_t at = status.find("SigBlk:");
        ASSERT_NE(at, std::string::npos) << status;
        const std::uint64_t blocked = std::stoull(status.substr(at + 7), nullptr, 16);
        for (int sig : {SIGHUP, SIGINT, SIGTERM, SIGQUIT, SIGUSR1, SIGALRM, SIGRTMIN, SIGRTMAX}) {
            EXPECT_NE(blocked & (std::uint64_t{1} << (sig - 1)), 0u)
                << "thread " << task.path().filename() << " takes " << test::signal_name(sig);
        }
    }
    EXPECT_GE(others, 2u);
    run->type("q");
    expect_given_back(*run, 0);
}

// The window is closed while the live screen redraws: the frame that finds
// the terminal gone must not end the run before the hang-up signal does, so
// the capture is saved and the run ends as a hang-up ends it.
TEST_F(TerminalTest, AClosedTerminalDuringALiveCaptureKeepsItsTraceAndEndsAsHungUp) {
    // The pane's shell dies with the terminal; this one waits for the
    // program and keeps its status, and what it says about the signal stays
    // out of the program's standard error.
    RunOptions o = options({"--live"});
    o.wrapper = {"sh", "-c",
                 "trap : HUP; exec 3>&2 2>/dev/null; (exec \"$@\" 2>&3 3>&-); s=$?; "
                 "echo $s >.hup_status.tmp && mv .hup_status.tmp .hup_status",
                 "sh"};
    auto run = launch_with(std::move(o));
    ASSERT_TRUE(run->wait_for("COM Ports")) << run->screen();
    run->keys({"Enter"});
    ASSERT_TRUE(run->wait_for("Start Frequency")) << run->screen();
    run->keys({"Enter"});
    ASSERT_TRUE(run->wait_for(" sweeps")) << run->screen();
    run->hang_up();
    const fs::path status = dir.path() / ".hup_status";
    ASSERT_TRUE(wait_until([&] { return fs::exists(status); }, test::PATIENCE));
    EXPECT_EQ(std::stoi(slurp(status)), 128 + SIGHUP);
    EXPECT_EQ(run->stderr_text(), "");
    std::vector<fs::path> files = csv_files(dir.path());
    std::erase(files, dir.path() / "scan.csv");
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(lines_of(slurp(files[0])).size(), 101u);
}

}  // namespace
}  // namespace vorlix::e2e
