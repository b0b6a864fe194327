// One turn's first half (what the loop copies from the worker records) and
// whole loops over queued key events drawn into a plain buffer.

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "app/loop/event_loop.hpp"
#include "app/loop/keys_dispatch.hpp"
#include "event_loop_fixture.hpp"
#include "scan_csv/reader.hpp"
#include "tui/backend/test_backend.hpp"
#include "tui/terminal.hpp"
#include "workers/traces.hpp"

namespace vorlix::app {
namespace {

using test::fold;
using test::frame_contains;
using test::make_state;
using test::RecordingLauncher;
using tui::KeyCode;
using tui::KeyEvent;

class LoopTest : public ::testing::Test {
protected:
    UiState state() { return make_state(config, (dir.path() / "config.toml").string()); }

    test::ScratchDir dir;
    config::Config config;
    RecordingLauncher recorder;
};

struct AcquiringCase {
    const char* name;
    workers::ScanPhase phase;
    std::optional<std::vector<Sample>> samples;
    Screen screen;
    std::optional<std::string> error;
};

TEST_F(LoopTest, AcquiringFollowsTheWorkersOutcome) {
    const std::vector<AcquiringCase> cases = {
        {"running", workers::ScanPhase::Running, std::nullopt, Screen::Acquiring, std::nullopt},
        {"complete", workers::ScanPhase::Complete, std::vector<Sample>{{1, -3}, {2, -4}}, Screen::Plot,
         std::nullopt},
        {"complete without samples", workers::ScanPhase::Complete, std::nullopt, Screen::Finished,
         "the completed scan has no available samples"},
        {"failed", workers::ScanPhase::Failed, std::nullopt, Screen::Finished, "zero read-back"},
    };
    for (const AcquiringCase& c : cases) {
        SCOPED_TRACE(c.name);
        UiState s = state();
        s.screen = Screen::Acquiring;
        s.acquisition->with_lock([&](workers::AcquisitionShared& r) {
            r.phase = c.phase;
            r.samples = c.samples;
            r.status = "Saved ./scan_1.csv";
            if (c.phase == workers::ScanPhase::Failed) r.error = "zero read-back";
        });
        refresh_from_workers(s);
        EXPECT_EQ(s.screen, c.screen);
        EXPECT_EQ(workers::acquisition_error_text(s.acquisition), c.error);
        if (c.screen == Screen::Plot) {
            ASSERT_TRUE(s.plot.has_value());
            EXPECT_EQ(s.plot->title, "Saved ./scan_1.csv");
            EXPECT_EQ(s.plot->samples.vector(), *c.samples);
            // The samples were taken, not copied.
            EXPECT_FALSE(s.acquisition->with_lock(
                [](workers::AcquisitionShared& r) { return r.samples.has_value(); }));
        }
    }
}

const workers::Sweep NARROW = {{100, -50}, {100.5, -40}, {101, -40}, {102, -60}};
const workers::Sweep SAME_RANGE = {{100, -10}, {100.5, -10}, {101, -10}, {102, -10}};
const workers::Sweep WIDER = {{100, -10}, {101, -10}, {102, -10}, {104, -10}};

TEST_F(LoopTest, LiveSweepsBuildThePlotAndKeepTheZoomOnTheSameRange) {
    UiState s = state();
    s.live_mode = true;
    start_live_capture(s, {}, config.clone(), recorder.launcher());

    refresh_from_workers(s);  // no sweep yet
    EXPECT_FALSE(s.plot.has_value());
    EXPECT_EQ(s.seen_generation, 0u);

    fold(s, NARROW);
    refresh_from_workers(s);
    ASSERT_TRUE(s.plot.has_value());
    EXPECT_EQ(s.plot->title, "Live average 4 — 1 sweeps");
    const std::uint64_t generation = s.live->with_lock([](workers::LiveShared& r) { return r.generation; });
    EXPECT_EQ(s.seen_generation, generation);

    s.plot->viewport.zoom_to(1.0);
    const PlotViewport zoomed = s.plot->viewport;
    // Later traces of the same size are built where the samples on show are,
    // each with a new version.
    const Sample* storage = s.plot->samples.data();
    std::uint64_t version = s.plot->samples.version();
    fold(s, SAME_RANGE);
    refresh_from_workers(s);
    EXPECT_EQ(s.plot->samples.data(), storage);
    EXPECT_NE(s.plot->samples.version(), version);
    version = s.plot->samples.version();
    EXPECT_EQ(s.plot->viewport, zoomed);
    EXPECT_EQ(s.plot->title, "Live average 4 — 2 sweeps");
    EXPECT_DOUBLE_EQ(s.plot->samples[0].level_dbm, -30.0);

    // A trace choice alone rebuilds the plot.
    handle_key(s, KeyEvent::character(U'3'), recorder.launcher());
    refresh_from_workers(s);
    EXPECT_EQ(s.plot->title, "Live max hold — 2 sweeps");
    EXPECT_DOUBLE_EQ(s.plot->samples[0].level_dbm, -10.0);
    EXPECT_EQ(s.plot->samples.data(), storage);
    EXPECT_NE(s.plot->samples.version(), version);
    EXPECT_EQ(s.plot->viewport, zoomed);

    fold(s, WIDER);
    refresh_from_workers(s);
    EXPECT_EQ(s.plot->viewport, sample_bounds(WIDER));
}

TEST_F(LoopTest, AnEndRequestSavesTheNewestTraceFromTheSamplesOnShow) {
    UiState s = state();
    s.config.output.directory = dir.path().string();
    s.live_mode = true;
    start_live_capture(s, {}, config.clone(), recorder.launcher());
    EXPECT_FALSE(save_live_trace_now(s).has_value());  // no complete sweep yet

    fold(s, NARROW);
    refresh_from_workers(s);
    const Sample* storage = s.plot->samples.data();
    fold(s, SAME_RANGE);  // not on show yet
    const auto path = save_live_trace_now(s);
    ASSERT_TRUE(path.has_value());
    const workers::Sweep newest =
        *s.live->with_lock([](workers::LiveShared& r) { return workers::trace_points(r, r.trace_mode); });
    EXPECT_DOUBLE_EQ(newest[0].level_dbm, -30.0);
    auto written = scan_csv::read_scan_csv(*path);
    ASSERT_TRUE(written.has_value());
    EXPECT_EQ(*written, newest);
    EXPECT_EQ(s.plot->samples.vector(), newest);
    EXPECT_EQ(s.plot->samples.data(), storage);
}

struct LiveEndCase {
    const char* name;
    workers::ScanPhase phase;
    bool stop_requested;
    std::optional<std::string> live_error;
    bool quit;
    Screen screen;
    std::optional<std::string> acquisition_error;
};

TEST_F(LoopTest, LiveEndsOnlyAfterTheUsersStopAndCopiesAFailure) {
    const std::vector<LiveEndCase> cases = {
        {"complete after a stop", workers::ScanPhase::Complete, true, {}, true, Screen::Live, {}},
        {"complete on its own", workers::ScanPhase::Complete, false, {}, false, Screen::Live, {}},
        {"running after a stop", workers::ScanPhase::Running, true, {}, false, Screen::Live, {}},
        {"failed", workers::ScanPhase::Failed, false, "live capture: a live sweep cannot be empty", false,
         Screen::Finished, "live capture: a live sweep cannot be empty"},
        {"failed without a text",
         workers::ScanPhase::Failed,
         true,
         {},
         false,
         Screen::Finished,
         "live capture failed"},
    };
    for (const LiveEndCase& c : cases) {
        SCOPED_TRACE(c.name);
        UiState s = state();
        s.live_mode = true;
        start_live_capture(s, {}, config.clone(), recorder.launcher());
        if (c.stop_requested) handle_key(s, KeyEvent::character(U'q'), recorder.launcher());
        s.live->with_lock([&](workers::LiveShared& r) {
            r.phase = c.phase;
            r.error = c.live_error;
        });
        refresh_from_workers(s);
        EXPECT_EQ(s.quit, c.quit);
        EXPECT_EQ(s.screen, c.screen);
        EXPECT_EQ(workers::acquisition_error_text(s.acquisition), c.acquisition_error);
        if (c.acquisition_error) {
            EXPECT_EQ(workers::acquisition_phase(s.acquisition), workers::ScanPhase::Failed);
        }
    }
}

// The queued events, with the wait each poll was allowed.
struct TimedEvents final : tui::EventSource {
    tui::TestEvents queue;
    std::vector<std::chrono::milliseconds> waits;

    tui::IoResult<std::optional<tui::Event>> poll(std::chrono::milliseconds timeout) override {
        waits.push_back(timeout);
        return queue.poll(timeout);
    }
};

TEST_F(LoopTest, TheFrameBeforeQuittingIsTheLastOneAndOnlyPressesCount) {
    config.ui.poll_interval_ms = 250;
    UiState s = state();
    tui::TestBackend backend(tui::Size{80, 24});
    auto terminal = tui::Terminal::create(backend);
    ASSERT_TRUE(terminal.has_value());
    TimedEvents timed;
    tui::TestEvents& events = timed.queue;
    KeyEvent released = KeyEvent::character(U'q');
    released.kind = tui::KeyKind::Release;
    events.push(tui::ResizeEvent{});
    events.push_key(released);
    events.push_key(KeyEvent::key(KeyCode::Enter));  // to Parameters
    events.push_text("q");
    auto result = run_event_loop(s, *terminal, timed, recorder.launcher());
    ASSERT_TRUE(result.has_value()) << result.error().debug();
    EXPECT_TRUE(s.quit);
    // A frame only when what is shown changed: the first, the one after the
    // resize blanked the screen, and Parameters. The release changes nothing,
    // and the turn that sees the quit keeps the Parameters frame.
    EXPECT_EQ(backend.flushes(), 3u);
    EXPECT_EQ(events.pending(), 0u);
    // Each wait is the configured poll interval, and none follows the last frame.
    EXPECT_EQ(timed.waits, std::vector<std::chrono::milliseconds>(4, std::chrono::milliseconds(250)));
    EXPECT_TRUE(frame_contains(backend.screen(), "Start Frequency"));
    EXPECT_FALSE(backend.cursor_visible());
}

TEST_F(LoopTest, FailuresOfDrawingAndInputEndTheLoop) {
    struct Case {
        const char* name;
        bool plot_without_samples;
        bool fail_poll;
        bool fail_present;
        std::string display;
    };
    const std::vector<Case> cases = {
        {"plot screen without a plot", true, false, false,
         "terminal: the completed scan has no available samples"},
        {"input read", false, true, false, "terminal: input gone"},
        {"flush", false, false, true, "terminal: output gone"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        UiState s = state();
        if (c.plot_without_samples) s.screen = Screen::Plot;
        tui::TestBackend backend(tui::Size{80, 24});
        auto terminal = tui::Terminal::create(backend);
        ASSERT_TRUE(terminal.has_value());
        tui::TestEvents events;
        if (c.fail_poll) events.fail_next(base::IoError::custom(base::IoErrorKind::BrokenPipe, "input gone"));
        if (c.fail_present)
            backend.fail_next(base::IoError::custom(base::IoErrorKind::BrokenPipe, "output gone"));
        events.push_text("q");
        auto result = run_event_loop(s, *terminal, events, recorder.launcher());
        ASSERT_FALSE(result.has_value());
        EXPECT_EQ(result.error().display(), c.display);
        ASSERT_NE(result.error().get_if<AppError::Terminal>(), nullptr);
        EXPECT_EQ(result.error().get_if<AppError::Terminal>()->report.file(), "src/app/loop/event_loop.cpp");
        EXPECT_FALSE(s.quit);
    }
}

}  // namespace
}  // namespace vorlix::app
