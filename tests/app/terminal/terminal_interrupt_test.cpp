// The event loop given an interrupt (the program was asked to end by a
// signal): it ends at once, and a live capture running on screen leaves its
// visible trace in a scan file first, without waiting for the worker, which
// here never even runs.

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/loop/event_loop.hpp"
#include "app/loop/event_loop_fixture.hpp"
#include "tui/backend/test_backend.hpp"
#include "tui/terminal.hpp"
#include "workers/shared.hpp"
#include "workers/traces.hpp"

namespace vorlix::app {
namespace {

using test::make_state;
using test::RecordingLauncher;

const workers::Sweep LOW = {{100, -50}, {101, -40}, {102, -60}};
const workers::Sweep HIGH = {{100, -10}, {101, -20}, {102, -30}};

std::string slurp(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::filesystem::path> scan_files(const std::filesystem::path& dir) {
    std::vector<std::filesystem::path> out;
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
        if (e.path().extension() == ".csv") out.push_back(e.path());
    }
    return out;
}

// A live capture on screen whose record holds `sweeps`.
void start_live(UiState& state, RecordingLauncher& recorder, const std::vector<workers::Sweep>& sweeps,
                workers::TraceMode mode, workers::ScanPhase phase) {
    state.live_mode = true;
    start_live_capture(state, {}, state.config.clone(), recorder.launcher());
    state.live->with_lock([&](workers::LiveShared& r) {
        for (const workers::Sweep& s : sweeps) workers::apply_sweep(r, s);
        r.trace_mode = mode;
        r.phase = phase;
    });
}

TEST(LoopInterrupt, EndsAtOnceAndALiveCaptureKeepsItsVisibleTrace) {
    struct Case {
        const char* name;
        bool live;                           // a capture started, else the port menu
        std::vector<workers::Sweep> sweeps;  // folded into the record
        workers::TraceMode mode;
        workers::ScanPhase phase;  // the record's phase when the interrupt comes
        std::string file;          // the scan file expected, or none
    };
    const std::vector<Case> cases = {
        {"live, max hold",
         true,
         {LOW, HIGH},
         workers::TraceMode::MaxHold,
         workers::ScanPhase::Running,
         "100,-10\n101,-20\n102,-30\n"},
        {"live, min hold",
         true,
         {HIGH, LOW},
         workers::TraceMode::MinHold,
         workers::ScanPhase::Running,
         "100,-50\n101,-40\n102,-60\n"},
        {"live before the first sweep",
         true,
         {},
         workers::TraceMode::Average4,
         workers::ScanPhase::Running,
         ""},
        // A capture that ended on its own has saved already.
        {"live after the capture ended",
         true,
         {LOW},
         workers::TraceMode::MinHold,
         workers::ScanPhase::Complete,
         ""},
        {"port menu", false, {}, workers::TraceMode::Average4, workers::ScanPhase::Ready, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        vorlix::test::TempDir dir;
        config::Config config;
        config.output.directory = dir.path().string();
        UiState state = make_state(config, (dir.path() / "config.toml").string());
        RecordingLauncher recorder;
        if (c.live) start_live(state, recorder, c.sweeps, c.mode, c.phase);

        tui::TestBackend backend(tui::Size{100, 30});
        auto terminal = tui::Terminal::create(backend);
        ASSERT_TRUE(terminal.has_value());
        tui::TestEvents events;
        events.push(tui::InterruptEvent{});
        events.push_key(tui::KeyEvent::character(U'q'));  // never read
        EXPECT_TRUE(run_event_loop(state, *terminal, events, recorder.launcher()).has_value());
        EXPECT_EQ(events.pending(), 1u);
        EXPECT_FALSE(state.quit);

        const std::vector<std::filesystem::path> files = scan_files(dir.path());
        if (c.file.empty()) {
            EXPECT_TRUE(files.empty());
        } else {
            ASSERT_EQ(files.size(), 1u);
            EXPECT_EQ(slurp(files[0]), c.file);
        }
    }
}

// A terminal that fails while a live capture runs ends the loop with that
// error, and the capture is saved first.
TEST(LoopInterrupt, ALoopThatFailsDuringALiveCaptureSavesItsVisibleTraceFirst) {
    for (const bool drawing : {true, false}) {
        SCOPED_TRACE(drawing ? "the frame fails" : "reading the terminal fails");
        vorlix::test::TempDir dir;
        config::Config config;
        config.output.directory = dir.path().string();
        UiState state = make_state(config, (dir.path() / "config.toml").string());
        RecordingLauncher recorder;
        start_live(state, recorder, {LOW, HIGH}, workers::TraceMode::MaxHold, workers::ScanPhase::Running);

        tui::TestBackend backend(tui::Size{100, 30});
        auto terminal = tui::Terminal::create(backend);
        ASSERT_TRUE(terminal.has_value());
        tui::TestEvents events;
        const base::IoError broken = base::IoError::from_errno(EIO);
        if (drawing)
            backend.fail_next(broken);
        else
            events.fail_next(broken);
        EXPECT_FALSE(run_event_loop(state, *terminal, events, recorder.launcher()).has_value());

        const std::vector<std::filesystem::path> files = scan_files(dir.path());
        ASSERT_EQ(files.size(), 1u);
        EXPECT_EQ(slurp(files[0]), "100,-10\n101,-20\n102,-30\n");
    }
}

}  // namespace
}  // namespace vorlix::app
