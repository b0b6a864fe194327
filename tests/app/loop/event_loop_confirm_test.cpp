// The parameter menu's confirmation, the worker starts, and the Live
// screen's own keys (stop, save, trace), with recorded worker starts.

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/loop/keys_dispatch.hpp"
#include "config/serialize.hpp"
#include "event_loop_fixture.hpp"
#include "workers/traces.hpp"

namespace vorlix::app {
namespace {

using test::make_state;
using test::RecordingLauncher;
using tui::KeyCode;
using tui::KeyEvent;

void set_value(NumberInput& editor, std::uint64_t value) {
    editor = NumberInput::make(value, editor.step(), editor.min(), editor.max());
}

std::string read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class ConfirmTest : public ::testing::Test {
protected:
    std::filesystem::path config_file() const { return dir.path() / "config.toml"; }
    UiState parameters_state() {
        UiState s = make_state(config, config_file().string());
        s.screen = Screen::Parameters;
        return s;
    }
    void press(UiState& s, std::vector<KeyEvent> keys) {
        const WorkerLauncher launch = recorder.launcher();
        for (const KeyEvent& k : keys) handle_key(s, k, launch);
    }

    test::ScratchDir dir;
    config::Config config;
    RecordingLauncher recorder;
};

TEST_F(ConfirmTest, EnterWritesTheMenuValuesBackAndStartsOneWorker) {
    for (bool live : {false, true}) {
        SCOPED_TRACE(live ? "live" : "single scan");
        std::filesystem::remove(config_file());
        recorder.started.clear();
        UiState s = parameters_state();
        s.live_mode = live;
        s.column = 3;  // Enter confirms from any column
        set_value(s.start, 100);
        set_value(s.stop, 350);
        set_value(s.points, 501);
        set_value(s.repeat, 3);
        s.baud_list.selected = 0;
        s.port_list.selected = 1;
        const config::Config loaded = s.config;

        press(s, {KeyEvent::key(KeyCode::Enter)});

        config::Config expected = config.clone();
        expected.port = "/dev/ttyUSB0";
        expected.baudrate = 19200;
        expected.start_frequency = 100;
        expected.stop_frequency = 350;
        expected.points = 501;
        expected.repeat = 3;
        ASSERT_EQ(recorder.started.size(), 1u);
        EXPECT_EQ(recorder.started[0].live, live);
        EXPECT_EQ(recorder.started[0].config, expected);
        EXPECT_EQ(recorder.started[0].request, (instrument::ScanRequest{100'000'000, 350'000'000, 501, 3}));
        EXPECT_EQ(read_file(config_file()), config::serialize_config(expected).value());
        EXPECT_EQ(s.config, loaded) << "the loaded configuration must stay as it was";
        if (live) {
            EXPECT_EQ(s.screen, Screen::Live);
            EXPECT_FALSE(s.last_scan.has_value());
            EXPECT_EQ(s.live->with_lock([](workers::LiveShared& r) { return r.status; }),
                      "Opening live connection");
            EXPECT_EQ(workers::live_phase(s.live), workers::ScanPhase::Running);
        } else {
            EXPECT_EQ(s.screen, Screen::Acquiring);
            ASSERT_TRUE(s.last_scan.has_value());
            EXPECT_EQ(s.last_scan->first, recorder.started[0].request);
            EXPECT_EQ(s.last_scan->second, expected);
            EXPECT_EQ(workers::acquisition_status_text(s.acquisition), "Opening connection");
            EXPECT_EQ(workers::acquisition_phase(s.acquisition), workers::ScanPhase::Running);
            EXPECT_TRUE(s.progress_gauge.has_value());
        }
    }
}

struct FailureCase {
    const char* name;
    void (*arrange)(UiState&);
    std::string error;  // whole text, or the start of it when `prefix`
    bool prefix;
};

TEST_F(ConfirmTest, AFailedCheckStartsNothingAndEndsOnFinished) {
    const std::vector<FailureCase> cases = {
        {"no port", [](UiState& s) { s.port_list.selected.reset(); },
         "no serial port is selected; connect the instrument and restart", false},
        {"no baud rate", [](UiState& s) { s.baud_list.selected = 99; }, "selected menu item is unavailable",
         false},
        {"start above stop",
         [](UiState& s) {
             set_value(s.start, 900);
             set_value(s.stop, 800);
         },
         "invalid configuration: frequencies must be ordered in 0\u20135400 MHz, with stop at least 10 MHz",
         false},
        {"loaded configuration that fails a rule", [](UiState& s) { s.config.ui.chart_min_dbm = 5.0; },
         "invalid configuration: UI chart bounds must be finite and increasing", false},
        {"write-back into a missing directory",
         [](UiState& s) { s.config_path = "/nonexistent-vorlix-dir/config.toml"; },
         "configuration I/O: ", true},
    };
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(config_file());
        UiState s = parameters_state();
        c.arrange(s);
        press(s, {KeyEvent::key(KeyCode::Enter)});
        EXPECT_TRUE(recorder.started.empty());
        EXPECT_EQ(s.screen, Screen::Finished);
        EXPECT_FALSE(s.quit);
        EXPECT_FALSE(std::filesystem::exists(config_file()));
        EXPECT_EQ(workers::acquisition_phase(s.acquisition), workers::ScanPhase::Failed);
        const std::string error = workers::acquisition_error_text(s.acquisition).value_or("<none>");
        if (c.prefix) {
            EXPECT_EQ(error.substr(0, c.error.size()), c.error) << error;
        } else {
            EXPECT_EQ(error, c.error);
        }
    }
}

TEST_F(ConfirmTest, EnterOnAnInvalidTypedStopNeitherConfirmsNorChangesTheValue) {
    UiState s = parameters_state();
    s.column = 1;
    press(s, {KeyEvent::character(U'0'), KeyEvent::key(KeyCode::Enter)});
    EXPECT_TRUE(recorder.started.empty());
    EXPECT_EQ(s.screen, Screen::Parameters);
    EXPECT_EQ(s.stop.value(), 800u);
    EXPECT_TRUE(s.stop.invalid());
    EXPECT_EQ(s.stop.edit(), "0");
}

TEST_F(ConfirmTest, AWorkerThreadThatCannotStartStopsTheProgramAfterTheCleanup) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const WorkerLauncher refused{[](config::Config, workers::AcquisitionHandle,
                                    instrument::ScanRequest) -> std::expected<void, base::IoError> {
                                     return std::unexpected(base::IoError::from_errno(EAGAIN));
                                 },
                                 [](config::Config, workers::LiveHandle,
                                    instrument::ScanRequest) -> std::expected<void, base::IoError> {
                                     return std::unexpected(base::IoError::from_errno(EAGAIN));
                                 }};
    for (bool live : {false, true}) {
        UiState s = parameters_state();
        s.live_mode = live;
        EXPECT_DEATH(
            {
                set_spawn_failure_cleanup([] { std::fputs("terminal restored\n", stderr); });
                handle_key(s, KeyEvent::key(KeyCode::Enter), refused);
            },
            "terminal restored\nfailed to spawn thread");
    }
}

// A live record holding sweeps as the worker would have folded them in.
void feed_sweeps(UiState& s, const std::vector<workers::Sweep>& sweeps) {
    s.live->with_lock([&](workers::LiveShared& r) {
        for (const workers::Sweep& sweep : sweeps) workers::apply_sweep(r, sweep);
    });
}

class LiveKeysTest : public ConfirmTest {
protected:
    UiState live_state() {
        UiState s = make_state(config, config_file().string());
        s.live_mode = true;
        start_live_capture(s, instrument::ScanRequest{1'000'000, 3'000'000, 3, 1}, config.clone(),
                           recorder.launcher());
        return s;
    }
};

const workers::Sweep SWEEP_A = {{1, -10}, {2, -20}, {3, -30}};
const workers::Sweep SWEEP_B = {{1, -30}, {2, -40}, {3, -50}};

TEST_F(LiveKeysTest, SaveTakesTheTraceVisibleWhenPressed) {
    UiState s = live_state();
    press(s, {KeyEvent::character(U's')});
    s.live->with_lock([](workers::LiveShared& r) {
        EXPECT_TRUE(r.save_on_first_sweep);
        EXPECT_FALSE(r.pending_save.has_value());
        EXPECT_EQ(r.status, SAVE_WAITING);
    });

    feed_sweeps(s, {SWEEP_A});
    press(s, {KeyEvent::character(U's')});
    feed_sweeps(s, {SWEEP_B});
    press(s, {KeyEvent::character(U's')});
    // Only the second request is pending: the average of both sweeps.
    const workers::Sweep expected = {{1, -20}, {2, -30}, {3, -40}};
    s.live->with_lock([&](workers::LiveShared& r) {
        ASSERT_TRUE(r.pending_save.has_value());
        EXPECT_EQ(*r.pending_save, expected);
        EXPECT_EQ(r.status, SAVE_REQUESTED);
    });
}

TEST_F(LiveKeysTest, TraceKeysBumpTheGenerationOnlyOnAChange) {
    struct Case {
        char32_t key;
        workers::TraceMode mode;
        std::uint64_t bump;
    };
    const std::vector<Case> cases = {
        {U'3', workers::TraceMode::MaxHold, 1},  {U'3', workers::TraceMode::MaxHold, 0},
        {U'6', workers::TraceMode::MinDecay, 1}, {U'1', workers::TraceMode::Average4, 1},
        {U'7', workers::TraceMode::Average4, 0}, {U'0', workers::TraceMode::Average4, 0},
    };
    UiState s = live_state();
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<char>(c.key));
        const auto before = s.live->with_lock([](workers::LiveShared& r) { return r.generation; });
        press(s, {KeyEvent::character(c.key)});
        s.live->with_lock([&](workers::LiveShared& r) {
            EXPECT_EQ(r.trace_mode, c.mode);
            EXPECT_EQ(r.generation, before + c.bump);
        });
    }
}

TEST_F(LiveKeysTest, LeavingKeysOnlyRequestAStop) {
    for (KeyEvent leave :
         {KeyEvent::key(KeyCode::Enter), KeyEvent::key(KeyCode::Esc), KeyEvent::character(U'q')}) {
        SCOPED_TRACE(tui::describe(leave));
        UiState s = live_state();
        press(s, {leave, leave});
        EXPECT_TRUE(s.stop_requested);
        EXPECT_FALSE(s.quit);
        EXPECT_EQ(s.screen, Screen::Live);
        s.live->with_lock([](workers::LiveShared& r) {
            EXPECT_TRUE(r.stop_requested);
            EXPECT_EQ(r.status, "Stopping after the current sweep");
        });
    }
}

TEST_F(LiveKeysTest, OtherKeysGoToThePlot) {
    UiState s = live_state();
    s.plot.emplace("live", std::vector<Sample>{{100, -50}, {100.5, -40}, {101, -40}, {102, -60}});
    press(s, {KeyEvent::character(U'+'), KeyEvent::character(U'm'), KeyEvent::key(KeyCode::Right)});
    EXPECT_TRUE(s.show_peak);
    EXPECT_DOUBLE_EQ(s.plot->viewport.view_min, 100.75);
    EXPECT_DOUBLE_EQ(s.plot->viewport.view_max, 101.75);
}

}  // namespace
}  // namespace vorlix::app
