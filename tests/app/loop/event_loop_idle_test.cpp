// Every screen idles: a turn in which nothing it shows changed draws and
// sends nothing, and a change is on screen by the next frame.

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/screens/render.hpp"
#include "event_loop_fixture.hpp"
#include "tui/backend/test_backend.hpp"
#include "tui/terminal.hpp"
#include "tui/buffer_assert.hpp"
#include "workers/traces.hpp"

namespace vorlix::app {
namespace {

using test::fold;
using test::make_state;
using test::RecordingLauncher;
using tui::KeyCode;
using tui::KeyEvent;
using tui::testing_support::buffers_equal;

constexpr tui::Size SIZE{90, 30};

// A change made between two turns: to the state or the worker records, and
// the event the loop reads next, if any.
using Change = std::function<std::optional<tui::Event>(UiState&, tui::TestBackend&)>;

// Runs the event loop for four turns: an unchanged one, one after
// `change`, and an unchanged one again; then ends it. Gives the flushes
// and the cells sent in each turn.
class ScriptedEvents final : public tui::EventSource {
public:
    ScriptedEvents(UiState& state, tui::TestBackend& backend, Change change)
        : state_(state), backend_(backend), change_(std::move(change)) {}

    tui::IoResult<std::optional<tui::Event>> poll(std::chrono::milliseconds) override {
        flushes.push_back(backend_.flushes());
        cells.push_back(backend_.cells_drawn());
        switch (flushes.size()) {
            case 2: return change_(state_, backend_);
            case 4: state_.quit = true; break;
            default: break;
        }
        return std::optional<tui::Event>{};
    }

    std::vector<std::size_t> flushes;
    std::vector<std::size_t> cells;

private:
    UiState& state_;
    tui::TestBackend& backend_;
    Change change_;
};

const workers::Sweep SWEEP = {{100, -50}, {100.5, -40}, {101, -40}, {102, -60}};

void on_acquiring(UiState& s) {
    workers::reset_acquisition_shared(s.acquisition);
    s.progress_gauge = ProgressGauge{};
    s.screen = Screen::Acquiring;
}

void on_live(UiState& s) {
    workers::reset_live_shared(s.live);
    fold(s, SWEEP);
    s.screen = Screen::Live;
}

void on_finished(UiState& s) {
    workers::record_scan_failure_text(s.acquisition, "the port is busy");
    s.screen = Screen::Finished;
}

Change key(KeyEvent k) {
    return [k](UiState&, tui::TestBackend&) -> std::optional<tui::Event> { return k; };
}

Change posted(workers::Status status) {
    return [status](UiState& s, tui::TestBackend&) -> std::optional<tui::Event> {
        workers::set_acquisition_status(s.acquisition, status);
        return std::nullopt;
    };
}

struct Case {
    const char* name;
    void (*setup)(UiState&);
    Change change;
    bool draws;
};

class IdleTest : public ::testing::Test {
protected:
    test::ScratchDir dir;
    config::Config config;
    RecordingLauncher recorder;
};

TEST_F(IdleTest, AnUnchangedTurnSendsNothingAndAChangeIsDrawn) {
    const std::vector<Case> cases = {
        {"port menu, selection", [](UiState&) {}, key(KeyEvent::key(KeyCode::Down)), true},
        {"port menu, other list", [](UiState&) {}, key(KeyEvent::key(KeyCode::Right)), true},
        {"port menu, selection at the top", [](UiState&) {}, key(KeyEvent::key(KeyCode::Up)), false},
        {"parameters, a digit", [](UiState& s) { s.screen = Screen::Parameters; },
         key(KeyEvent::character(U'5')), true},
        {"parameters, a released key", [](UiState& s) { s.screen = Screen::Parameters; },
         [](UiState&, tui::TestBackend&) -> std::optional<tui::Event> {
             KeyEvent released = KeyEvent::character(U'5');
             released.kind = tui::KeyKind::Release;
             return released;
         },
         false},
        {"acquiring, progress", on_acquiring, posted(workers::Status::Progress{40}), true},
        {"acquiring, status", on_acquiring, posted(workers::Status::Text{"Configuring scan"}), true},
        {"acquiring, info", on_acquiring, posted(workers::Status::Info{"tinySA4 v1.4"}), true},
        {"acquiring, arrow", on_acquiring, key(KeyEvent::key(KeyCode::Up)), false},
        {"plot, zoom",
         [](UiState& s) {
             s.plot.emplace("Saved scan.csv", SWEEP);
             s.screen = Screen::Plot;
         },
         key(KeyEvent::character(U'+')), true},
        {"plot, peak",
         [](UiState& s) {
             s.plot.emplace("Saved scan.csv", SWEEP);
             s.screen = Screen::Plot;
         },
         key(KeyEvent::character(U'm')), true},
        {"live, a sweep", on_live,
         [](UiState& s, tui::TestBackend&) -> std::optional<tui::Event> {
             fold(s, SWEEP);
             return std::nullopt;
         },
         true},
        {"live, status", on_live,
         [](UiState& s, tui::TestBackend&) -> std::optional<tui::Event> {
             s.live->with_lock([](workers::LiveShared& r) { r.status = "Sweep 2 of 2"; });
             return std::nullopt;
         },
         true},
        {"live, the trace on show again", on_live, key(KeyEvent::character(U'1')), false},
        {"finished, resize", on_finished,
         [](UiState&, tui::TestBackend& b) -> std::optional<tui::Event> {
             b.resize({70, 24});
             return tui::ResizeEvent{};
         },
         true},
        {"finished, arrow", on_finished, key(KeyEvent::key(KeyCode::Down)), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        UiState s = make_state(config, (dir.path() / "config.toml").string());
        c.setup(s);
        tui::TestBackend backend(SIZE);
        auto terminal = tui::Terminal::create(backend);
        ASSERT_TRUE(terminal.has_value());
        ScriptedEvents events(s, backend, c.change);
        auto result = run_event_loop(s, *terminal, events, recorder.launcher());
        ASSERT_TRUE(result.has_value()) << result.error().debug();

        // Flushes and cells sent by the end of each turn: the first frame,
        // an unchanged turn, the change, an unchanged turn, the last turn.
        ASSERT_EQ(events.flushes.size(), 4u);
        events.flushes.push_back(backend.flushes());
        events.cells.push_back(backend.cells_drawn());
        EXPECT_EQ(events.flushes[0], 1u);
        const std::size_t changed = c.draws ? 1 : 0;
        const std::vector<std::size_t> flushes = {1, 1, 1 + changed, 1 + changed, 1 + changed};
        EXPECT_EQ(events.flushes, flushes);
        for (const std::size_t turn : {1, 3, 4})
            EXPECT_EQ(events.cells[turn], events.cells[turn - 1]) << turn;
        EXPECT_EQ(events.cells[2] > events.cells[1], c.draws);

        // What is on screen is what the state now draws.
        const tui::Size size = backend.screen().area().size();
        tui::Buffer fresh = tui::Buffer::empty(tui::Rect{0, 0, size.width, size.height});
        ASSERT_TRUE(render_ui(s, fresh).has_value());
        EXPECT_TRUE(buffers_equal(backend.screen(), fresh));
    }
}

}  // namespace
}  // namespace vorlix::app
