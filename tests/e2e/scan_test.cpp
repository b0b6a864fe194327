// A single scan in a real terminal against the simulated instrument over
// TCP: the menus, the confirmation and its write-back, the plot, "r" and
// "n", and the runs that end on the final status screen.

#include <charconv>

#include "config/load.hpp"
#include "config/serialize.hpp"
#include "e2e/e2e_fixture.hpp"

namespace vorlix::e2e {
namespace {

class ScanTest : public E2eTest {
protected:
    // From the port menu to a confirmed scan of 100–300 MHz, 9901 points,
    // repeat 2, going through typing, a refused value and stepping.
    void fill_in_parameters(TmuxRun& run) {
        ASSERT_TRUE(run.wait_for("tcp://127.0.0.1:" + std::to_string(server->port()))) << run.screen();
        run.keys({"Enter"});
        ASSERT_TRUE(run.wait_for("Start Frequency")) << run.screen();
        run.type("100");
        ASSERT_TRUE(run.wait_for("100_")) << run.screen();
        EXPECT_TRUE(run.wait_for("Type MHz; Backspace deletes, ↲ applies, and Esc cancels."));
        run.keys({"Enter", "Right"});
        run.type("5");
        run.keys({"Enter"});
        ASSERT_TRUE(run.wait_for("5_ (enter 10–5400)")) << run.screen();
        run.keys({"BSpace"});
        run.type("300");
        run.keys({"Enter", "Right", "Down", "Right", "Up"});
        ASSERT_TRUE(run.wait_for("9901")) << run.screen();
        ASSERT_TRUE(
            run.wait_for("Use ↓↑ to change, ←→ to select, digits to type MHz/points, and ↲ to continue."))
            << run.screen();
    }

    config::Config expected_config() {
        auto loaded = config::load_config_text(tcp_config_text(server->port()));
        EXPECT_TRUE(loaded.has_value());
        config::Config c = loaded.value_or(config::Config{});
        c.port = "tcp://127.0.0.1:" + std::to_string(server->port());
        c.baudrate = 115200;
        c.start_frequency = 100;
        c.stop_frequency = 300;
        c.points = 9901;
        c.repeat = 2;
        return c;
    }
};

// The first frequency of a CSV file and its number of lines.
std::pair<double, std::size_t> csv_summary(const fs::path& file) {
    const std::vector<std::string> lines = lines_of(slurp(file));
    double first = -1;
    if (!lines.empty()) std::from_chars(lines[0].data(), lines[0].data() + lines[0].find(','), first);
    return {first, lines.size()};
}

TEST_F(ScanTest, ConfirmScanRepeatAndEditAgain) {
    start_sim();
    write_config();
    auto run = launch();
    fill_in_parameters(*run);
    run->keys({"Enter"});
    ASSERT_TRUE(run->wait_for("— 9901 points — visible 100.00 to ")) << run->screen();
    EXPECT_TRUE(run->wait_for("; m peak; r repeats; n edits a new scan; q exits"));

    EXPECT_EQ(slurp(dir.path() / "config.toml"), config::serialize_config(expected_config()).value());
    EXPECT_NE(slurp(dir.path() / "config.toml").find("start_frequency = 100\nstop_frequency = 300\n"),
              std::string::npos);
    std::vector<fs::path> files = csv_files(dir.path());
    ASSERT_EQ(files.size(), 1u);
    EXPECT_TRUE(run->wait_for("Saved ./" + files[0].filename().string() + " — 9901 points"));
    EXPECT_EQ(csv_summary(files[0]), (std::pair<double, std::size_t>{100.0, 9901}));
    const std::vector<std::string> sent = server->commands();
    EXPECT_NE(std::find(sent.begin(), sent.end(), "scanraw 100000000 300000000 9901"), sent.end());

    run->type("r");
    ASSERT_TRUE(wait_until([&] { return csv_files(dir.path()).size() == 2; }, test::PATIENCE));
    files = csv_files(dir.path());
    EXPECT_TRUE(run->wait_for("Saved ./" + files[1].filename().string() + " — 9901 points")) << run->screen();

    run->type("n");
    ASSERT_TRUE(run->wait_for("Start Frequency")) << run->screen();
    // tmux may show the menu before the whole frame has reached it.
    for (const char* value : {"│100 ", "│300 ", "│9901 ", "│2 "}) {
        EXPECT_TRUE(run->wait_for(value)) << value << "\n" << run->screen();
    }
    run->type("q");
    expect_restored_exit(*run);
    EXPECT_EQ(run->stderr_text(), "");
}

TEST_F(ScanTest, FailuresEndOnTheFinishedScreen) {
    struct Case {
        const char* name;
        sim::Faults faults;
        std::vector<std::string> lines;  // shown on the screen, each whole
    };
    sim::Faults rejected;
    rejected.reject_command = "pause";
    sim::Faults zero;
    zero.zero_readback = 100;
    const std::vector<Case> cases = {
        // The rejection carries the instrument's whole reply, echo included.
        {"rejected command",
         rejected,
         {"│device rejected \"pause\":  pause ", "│error: command rejected ",
          "│Last message: Configuring scan "}},
        {"zero read-back",
         zero,
         {"│raw-level offset readback is 100 dB after requesting 174 dB ",
          "│Last message: Configuring scan "}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::Options options;
        options.faults = c.faults;
        start_sim(options);
        write_config();
        auto run = launch();
        ASSERT_TRUE(run->wait_for("COM Ports")) << run->screen();
        run->keys({"Enter"});
        ASSERT_TRUE(run->wait_for("Start Frequency")) << run->screen();
        run->keys({"Enter"});
        EXPECT_TRUE(run->wait_for("Last status: Failed")) << run->screen();
        for (const std::string& line : c.lines)
            EXPECT_TRUE(run->wait_for(line)) << line << "\n" << run->screen();
        EXPECT_TRUE(run->wait_for("Press ↲ or q to exit"));
        EXPECT_TRUE(csv_files(dir.path()).empty());
        run->keys({"Enter"});
        expect_restored_exit(*run);
    }
}

TEST_F(ScanTest, EscWhileAcquiringEndsAtOnce) {
    sim::Options options;
    options.faults.stall_command = "scanraw";
    start_sim(options);
    write_config(60000);  // the stalled read would outlast the test
    auto run = launch();
    ASSERT_TRUE(run->wait_for("COM Ports")) << run->screen();
    run->keys({"Enter"});
    ASSERT_TRUE(run->wait_for("Start Frequency")) << run->screen();
    run->keys({"Enter"});
    ASSERT_TRUE(run->wait_for("Acquiring samples")) << run->screen();
    EXPECT_TRUE(run->wait_for("Progress:"));
    run->keys({"Escape"});
    expect_restored_exit(*run);
    EXPECT_TRUE(csv_files(dir.path()).empty());
}

TEST_F(ScanTest, NoPortOnTheMachine) {
    // Hiding the machine's serial ports takes a mount namespace of our own.
    if (run_process({"unshare", "-m", "true"}, dir.path()).status != 0) {
        GTEST_SKIP() << "needs unshare -m (root) to hide the serial ports";
    }
    write_text(dir.path() / "config.toml", serial_config_text());
    auto run = launch({}, {"unshare", "-m", "sh", "-c", "mount -t tmpfs none /sys/class/tty && exec \"$0\""});
    ASSERT_TRUE(run->wait_for("COM Ports")) << run->screen();
    run->keys({"Enter"});
    EXPECT_TRUE(run->wait_for("no serial port is selected; connect the instrument and restart"))
        << run->screen();
    EXPECT_TRUE(run->wait_for("Last status: Failed"));
    run->type("q");
    expect_restored_exit(*run);
}

}  // namespace
}  // namespace vorlix::e2e
