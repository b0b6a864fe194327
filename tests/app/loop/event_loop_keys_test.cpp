// Key handling per screen, driven by key events as the terminal layer
// delivers them; no worker is started (the launcher records the starts).

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "app/loop/keys_dispatch.hpp"
#include "event_loop_fixture.hpp"
#include "tui/keys.hpp"

namespace vorlix::app {
namespace {

using test::make_state;
using test::RecordingLauncher;
using tui::KeyCode;
using tui::KeyEvent;
using tui::KeyKind;

KeyEvent ch(char c) { return KeyEvent::character(static_cast<unsigned char>(c)); }
KeyEvent key(KeyCode code) { return KeyEvent::key(code); }
KeyEvent with_kind(KeyEvent k, KeyKind kind) {
    k.kind = kind;
    return k;
}

class KeysTest : public ::testing::Test {
protected:
    UiState state() { return make_state(config, (dir.path() / "config.toml").string()); }
    void press(UiState& s, const std::vector<KeyEvent>& keys) {
        const WorkerLauncher launch = recorder.launcher();
        for (const KeyEvent& k : keys) handle_key(s, k, launch);
    }

    test::ScratchDir dir;
    config::Config config;
    RecordingLauncher recorder;
};

struct PortCase {
    const char* name;
    std::vector<KeyEvent> keys;
    std::size_t port;
    std::size_t baud;
    std::uint8_t column;
    Screen screen;
    bool quit;
};

TEST_F(KeysTest, PortSelectionKeys) {
    // Ports /dev/ttyACM0 (preferred, selected) and /dev/ttyUSB0; 115200 is
    // the fourth configured rate.
    const std::vector<PortCase> cases = {
        {"down", {key(KeyCode::Down)}, 1, 3, 0, Screen::PortSelection, false},
        {"j stops at the end", {ch('j'), ch('j'), ch('j')}, 1, 3, 0, Screen::PortSelection, false},
        {"up k", {key(KeyCode::Down), ch('k')}, 0, 3, 0, Screen::PortSelection, false},
        {"right then down moves the rates",
         {key(KeyCode::Right), key(KeyCode::Down)},
         0,
         4,
         1,
         Screen::PortSelection,
         false},
        {"l then up", {ch('l'), key(KeyCode::Up)}, 0, 2, 1, Screen::PortSelection, false},
        {"back left", {ch('l'), ch('h'), ch('j')}, 1, 3, 0, Screen::PortSelection, false},
        {"enter", {key(KeyCode::Right), key(KeyCode::Enter)}, 0, 3, 0, Screen::Parameters, false},
        {"esc", {key(KeyCode::Esc)}, 0, 3, 0, Screen::PortSelection, true},
        {"q", {ch('q')}, 0, 3, 0, Screen::PortSelection, true},
        {"Q is not q", {ch('Q')}, 0, 3, 0, Screen::PortSelection, false},
        {"release and repeat do nothing",
         {with_kind(ch('q'), KeyKind::Release), with_kind(key(KeyCode::Down), KeyKind::Repeat),
          with_kind(key(KeyCode::Enter), KeyKind::Release)},
         0,
         3,
         0,
         Screen::PortSelection,
         false},
    };
    for (const PortCase& c : cases) {
        SCOPED_TRACE(c.name);
        UiState s = state();
        press(s, c.keys);
        EXPECT_EQ(s.port_list.selected, c.port);
        EXPECT_EQ(s.baud_list.selected, c.baud);
        EXPECT_EQ(s.column, c.column);
        EXPECT_EQ(s.screen, c.screen);
        EXPECT_EQ(s.quit, c.quit);
    }
}

TEST_F(KeysTest, CtrlQActsAsQOnEveryScreen) {
    // The terminal layer reports Ctrl+Q as the control character 0x11.
    const auto event = tui::translate_read(0x11);
    ASSERT_TRUE(event.has_value());
    const KeyEvent ctrl_q = std::get<KeyEvent>(*event);
    for (Screen screen : {Screen::PortSelection, Screen::Parameters, Screen::Plot, Screen::Acquiring,
                          Screen::Live, Screen::Finished}) {
        SCOPED_TRACE(static_cast<int>(screen));
        UiState s = state();
        s.screen = screen;
        if (screen == Screen::Plot) s.plot.emplace("t", std::vector<Sample>{{1, -5}, {2, -6}});
        press(s, {ctrl_q});
        // On Live "q" only asks the capture to stop; the worker's end quits.
        const bool live = screen == Screen::Live;
        EXPECT_EQ(s.quit, !live);
        EXPECT_EQ(s.stop_requested, live);
        EXPECT_EQ(s.live->with_lock([](workers::LiveShared& r) { return r.stop_requested; }), live);
    }
}

struct MenuFailureCase {
    const char* name;
    std::vector<std::string> ports;
    std::uint32_t baudrate;
    bool drop_widgets;
    std::vector<KeyEvent> keys;
    std::string error;
};

TEST_F(KeysTest, MenuFailuresEndOnFinishedWithTheirText) {
    const std::vector<MenuFailureCase> cases = {
        {"no ports",
         {},
         115200,
         false,
         {key(KeyCode::Enter)},
         "no serial port is selected; connect the instrument and restart"},
        {"no baud rate selected",
         {"/dev/ttyACM0"},
         1234,
         false,
         {key(KeyCode::Enter)},
         "selected menu item is unavailable"},
        {"lost list widget",
         {"/dev/ttyACM0"},
         115200,
         true,
         {key(KeyCode::Right)},
         "widget Port List is not initialized (src/ui/view:495)"},
    };
    for (const MenuFailureCase& c : cases) {
        SCOPED_TRACE(c.name);
        config.baudrate = c.baudrate;
        UiState s = make_state(config, (dir.path() / "config.toml").string(), c.ports);
        if (c.drop_widgets) s.port_list_widget.reset();
        press(s, c.keys);
        EXPECT_EQ(s.screen, Screen::Finished);
        EXPECT_FALSE(s.quit);
        EXPECT_EQ(workers::acquisition_error_text(s.acquisition), c.error);
        EXPECT_EQ(workers::acquisition_phase(s.acquisition), workers::ScanPhase::Failed);
    }
}

struct ParamCase {
    const char* name;
    std::uint8_t column;
    std::vector<KeyEvent> keys;
    std::uint64_t start, stop, points, repeat;
    std::optional<std::string> edit;  // of the editor of the final column
    bool invalid;
    std::uint8_t final_column;
    bool quit;
};

TEST_F(KeysTest, ParameterKeys) {
    // Defaults: start 240, stop 800 (step 10), points 10001 (step 100), repeat 1.
    const std::vector<ParamCase> cases = {
        {"up steps start", 0, {key(KeyCode::Up)}, 250, 800, 10001, 1, {}, false, 0, false},
        {"k j", 0, {ch('k'), ch('k'), ch('j')}, 250, 800, 10001, 1, {}, false, 0, false},
        {"down on points", 2, {key(KeyCode::Down)}, 240, 800, 9901, 1, {}, false, 2, false},
        {"up on repeat", 3, {ch('k')}, 240, 800, 10001, 2, {}, false, 3, false},
        {"a digit on repeat does nothing", 3, {ch('5')}, 240, 800, 10001, 1, {}, false, 3, false},
        {"a digit starts typing", 2, {ch('5')}, 240, 800, 10001, 1, "5", false, 2, false},
        {"backspace",
         0,
         {ch('1'), ch('2'), key(KeyCode::Backspace)},
         240,
         800,
         10001,
         1,
         "1",
         false,
         0,
         false},
        {"q while typing is ignored", 0, {ch('1'), ch('q')}, 240, 800, 10001, 1, "1", false, 0, false},
        {"arrows while typing are ignored",
         0,
         {ch('1'), key(KeyCode::Right), key(KeyCode::Up)},
         240,
         800,
         10001,
         1,
         "1",
         false,
         0,
         false},
        {"esc cancels typing, not the menu",
         0,
         {ch('1'), key(KeyCode::Esc)},
         240,
         800,
         10001,
         1,
         {},
         false,
         0,
         false},
        {"enter applies",
         0,
         {ch('1'), ch('2'), ch('0'), key(KeyCode::Enter)},
         120,
         800,
         10001,
         1,
         {},
         false,
         0,
         false},
        {"zero on stop is invalid and keeps typing",
         1,
         {ch('0'), key(KeyCode::Enter)},
         240,
         800,
         10001,
         1,
         "0",
         true,
         1,
         false},
        {"right stops at repeat",
         0,
         {key(KeyCode::Right), ch('l'), ch('l'), ch('l'), ch('l')},
         240,
         800,
         10001,
         1,
         {},
         false,
         3,
         false},
        {"left stops at start",
         2,
         {ch('h'), key(KeyCode::Left), ch('h')},
         240,
         800,
         10001,
         1,
         {},
         false,
         0,
         false},
        {"esc quits", 1, {key(KeyCode::Esc)}, 240, 800, 10001, 1, {}, false, 1, true},
        {"q quits", 3, {ch('q')}, 240, 800, 10001, 1, {}, false, 3, true},
    };
    for (const ParamCase& c : cases) {
        SCOPED_TRACE(c.name);
        UiState s = state();
        s.screen = Screen::Parameters;
        s.column = c.column;
        press(s, c.keys);
        EXPECT_EQ(s.start.value(), c.start);
        EXPECT_EQ(s.stop.value(), c.stop);
        EXPECT_EQ(s.points.value(), c.points);
        EXPECT_EQ(s.repeat.value(), c.repeat);
        EXPECT_EQ(s.column, c.final_column);
        ASSERT_NE(s.current_editor(), nullptr);
        EXPECT_EQ(s.current_editor()->edit(), c.edit);
        EXPECT_EQ(s.current_editor()->invalid(), c.invalid);
        EXPECT_EQ(s.quit, c.quit);
        EXPECT_EQ(s.screen, Screen::Parameters);
        EXPECT_TRUE(recorder.started.empty());
    }
}

std::vector<Sample> four_samples() { return {{100, -50}, {100.5, -40}, {101, -40}, {102, -60}}; }

struct PlotCase {
    const char* name;
    bool instrument_run;
    bool has_last_scan;
    std::vector<std::string> zoom_in;  // the binding list for zoom in
    std::vector<KeyEvent> keys;
    Screen screen;
    bool quit;
    bool show_peak;
    bool plot_kept;
    double view_min, view_max;  // when the plot is kept
    std::size_t workers_started;
};

TEST_F(KeysTest, PlotKeys) {
    const std::vector<std::string> plus = {"+", "="};
    const std::vector<PlotCase> cases = {
        {"viewer r and n are plot keys",
         false,
         false,
         plus,
         {ch('r'), ch('n')},
         Screen::Plot,
         false,
         false,
         true,
         100,
         102,
         0},
        {"n edits a new scan", true, true, plus, {ch('n')}, Screen::Parameters, false, false, false, 0, 0, 0},
        {"r without a stored scan",
         true,
         false,
         plus,
         {ch('r')},
         Screen::Plot,
         false,
         false,
         true,
         100,
         102,
         0},
        {"r repeats the stored scan",
         true,
         true,
         plus,
         {ch('r')},
         Screen::Acquiring,
         false,
         false,
         false,
         0,
         0,
         1},
        {"zoom", false, false, plus, {ch('+')}, Screen::Plot, false, false, true, 100.5, 101.5, 0},
        {"m toggles the marker", true, false, plus, {ch('m')}, Screen::Plot, false, true, true, 100, 102, 0},
        {"m twice", true, false, plus, {ch('m'), ch('m')}, Screen::Plot, false, false, true, 100, 102, 0},
        {"a binding on m takes it",
         false,
         false,
         {"m"},
         {ch('m')},
         Screen::Plot,
         false,
         false,
         true,
         100.5,
         101.5,
         0},
        {"fixed n before a binding on n",
         true,
         true,
         {"n"},
         {ch('n')},
         Screen::Parameters,
         false,
         false,
         false,
         0,
         0,
         0},
        {"a binding on n in the viewer",
         false,
         false,
         {"n"},
         {ch('n')},
         Screen::Plot,
         false,
         false,
         true,
         100.5,
         101.5,
         0},
        {"enter quits",
         false,
         false,
         plus,
         {key(KeyCode::Enter)},
         Screen::Plot,
         true,
         false,
         true,
         100,
         102,
         0},
        {"esc quits", true, true, plus, {key(KeyCode::Esc)}, Screen::Plot, true, false, true, 100, 102, 0},
    };
    for (const PlotCase& c : cases) {
        SCOPED_TRACE(c.name);
        config.ui.bindings.zoom_in = c.zoom_in;
        UiState s = state();
        s.screen = Screen::Plot;
        s.column = 2;
        s.instrument_run = c.instrument_run;
        s.plot.emplace("scan.csv", four_samples());
        const instrument::ScanRequest stored{100'000'000, 200'000'000, 11, 2};
        config::Config stored_config = config.clone();
        stored_config.points = 11;
        if (c.has_last_scan) s.last_scan.emplace(stored, stored_config);
        press(s, c.keys);
        EXPECT_EQ(s.screen, c.screen);
        EXPECT_EQ(s.quit, c.quit);
        EXPECT_EQ(s.show_peak, c.show_peak);
        ASSERT_EQ(s.plot.has_value(), c.plot_kept);
        if (c.plot_kept) {
            EXPECT_DOUBLE_EQ(s.plot->viewport.view_min, c.view_min);
            EXPECT_DOUBLE_EQ(s.plot->viewport.view_max, c.view_max);
        }
        if (c.screen == Screen::Parameters) {
            EXPECT_EQ(s.column, 0);
        }
        ASSERT_EQ(recorder.started.size(), c.workers_started);
        if (c.workers_started == 1) {
            EXPECT_FALSE(recorder.started[0].live);
            EXPECT_EQ(recorder.started[0].request, stored);
            EXPECT_EQ(recorder.started[0].config, stored_config);
            EXPECT_EQ(workers::acquisition_status_text(s.acquisition), "Opening connection");
            EXPECT_TRUE(s.progress_gauge.has_value());
        }
        recorder.started.clear();
    }
}

struct QuitCase {
    Screen screen;
    KeyEvent key;
    bool quit;
};

TEST_F(KeysTest, AcquiringAndFinishedLeaveOnlyByTheirKeys) {
    const std::vector<QuitCase> cases = {
        {Screen::Acquiring, key(KeyCode::Esc), true},
        {Screen::Acquiring, ch('q'), true},
        {Screen::Acquiring, key(KeyCode::Enter), false},
        {Screen::Acquiring, key(KeyCode::Down), false},
        {Screen::Acquiring, ch('l'), false},
        {Screen::Finished, key(KeyCode::Enter), true},
        {Screen::Finished, key(KeyCode::Esc), true},
        {Screen::Finished, ch('q'), true},
        {Screen::Finished, ch('r'), false},
        {Screen::Finished, key(KeyCode::Left), false},
    };
    for (const QuitCase& c : cases) {
        SCOPED_TRACE(tui::describe(c.key));
        UiState s = state();
        s.screen = c.screen;
        press(s, {c.key});
        EXPECT_EQ(s.quit, c.quit);
        EXPECT_EQ(s.screen, c.screen);
    }
}

}  // namespace
}  // namespace vorlix::app
