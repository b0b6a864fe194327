#include "app/screens/render.hpp"

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/screens/peak_marker.hpp"
#include "app/services/ports.hpp"
#include "app/state/menu_lists.hpp"
#include "app/state/ui_state.hpp"
#include "tui/backend/test_backend.hpp"
#include "tui/buffer_assert.hpp"
#include "tui/terminal.hpp"
#include "workers/traces.hpp"

namespace vorlix::app {
namespace {

using tui::Buffer;
using tui::Color;
using tui::Rect;
using tui::Style;
using tui::testing_support::buffer_with_lines;
using tui::testing_support::buffers_equal;
using Rows = std::vector<std::string>;

const Style WHITE = Style().fg(Color::White);
// The active list or editor: white, and bold where there are no colours.
const Style ACTIVE = WHITE.mono(tui::Modifier::Bold);
const Style GREY = Style().fg(Color::DarkGray);
const Style SELECTED = Style().bg(Color::Blue).add_modifier(tui::Modifier::Italic);

PortList ports_named(std::initializer_list<const char*> names) {
    PortList list;
    for (const char* n : names) list.push_back(PortEntry{n, PortKind::Unknown, std::nullopt});
    return list;
}

UiState menu_state(PortList ports = ports_named({"COM1", "COM3"})) {
    config::Config cfg;
    cfg.serial.baudrates = {9600, 115200, 230400};
    UiState s(ports, cfg, "config.toml");
    EXPECT_TRUE(build_menu_widgets(s).has_value());
    s.about_line = "Vorlix version 0.1.5-abc1234";
    return s;
}

Buffer draw(UiState& s, std::uint16_t w, std::uint16_t h) {
    Buffer b = Buffer::empty(Rect{0, 0, w, h});
    auto r = render_ui(s, b);
    EXPECT_TRUE(r.has_value()) << (r ? "" : r.error().debug());
    return b;
}

Rows symbols(const Buffer& b) {
    Rows rows;
    for (std::uint16_t y = 0; y < b.area().height; ++y) {
        std::string row;
        for (std::uint16_t x = 0; x < b.area().width; ++x) row += b.cell(x, y).symbol;
        rows.push_back(row);
    }
    return rows;
}

std::vector<Sample> ramp() { return {{100, -128}, {100.5, -96}, {101, -64}, {101.5, -32}, {102, 0}}; }

TEST(PortSelectionScreen, ListsAboutAndHelp) {
    UiState s = menu_state();
    Buffer expected = buffer_with_lines({
        "                                        ",
        "       ┌────────────────────────┐       ",
        "       │Vorlix version          │       ",
        "       └────────────────────────┘       ",
        "                                        ",
        "       ┌COM Ports──┐┌Baudrate───┐       ",
        "       │COM1       ││9600       │       ",
        "       │COM3       ││115200     │       ",
        "       │           ││230400     │       ",
        "       │           ││           │       ",
        "       │           ││           │       ",
        "       │           ││           │       ",
        "       │           ││           │       ",
        "       │           ││           │       ",
        "       └───────────┘└───────────┘       ",
        "       ove, ←→ to select, and ↲ t       ",
    });
    expected.set_style(Rect{7, 5, 13, 10}, ACTIVE);
    expected.set_style(Rect{20, 5, 13, 10}, GREY);
    expected.set_style(Rect{8, 7, 11, 1}, SELECTED);   // COM3: a preferred port
    expected.set_style(Rect{21, 7, 11, 1}, SELECTED);  // 115200: the configured rate
    EXPECT_TRUE(buffers_equal(draw(s, 40, 16), expected));
}

TEST(PortSelectionScreen, EmptyPortListAndSwappedColumn) {
    UiState s = menu_state({});
    s.column = 1;
    ASSERT_TRUE(build_menu_lists(s).has_value());
    Buffer expected = buffer_with_lines({
        "                                                                ",
        "       ┌────────────────────────────────────────────────┐       ",
        "       │Vorlix version 0.1.5-abc1234                    │       ",
        "       └────────────────────────────────────────────────┘       ",
        "                                                                ",
        "       ┌COM Ports──────────────┐┌Baudrate───────────────┐       ",
        "       │                       ││9600                   │       ",
        "       │                       ││115200                 │       ",
        "       │                       ││230400                 │       ",
        "       │                       ││                       │       ",
        "       │                       ││                       │       ",
        "       │                       ││                       │       ",
        "       │                       ││                       │       ",
        "       │                       ││                       │       ",
        "       └───────────────────────┘└───────────────────────┘       ",
        "        Use ↓↑ to move, ←→ to select, and ↲ to continue.        ",
    });
    expected.set_style(Rect{7, 5, 25, 10}, GREY);
    expected.set_style(Rect{32, 5, 25, 10}, ACTIVE);
    expected.set_style(Rect{33, 7, 23, 1}, SELECTED);
    EXPECT_TRUE(buffers_equal(draw(s, 64, 16), expected));
}

TEST(PortSelectionScreen, SelectionScrollsIntoView) {
    PortList many;
    for (int i = 0; i < 12; ++i)
        many.push_back(PortEntry{"P" + std::to_string(i), PortKind::Unknown, std::nullopt});
    UiState s = menu_state(many);
    s.port_list.selected = 11;
    const Rows rows = symbols(draw(s, 40, 16));
    EXPECT_EQ(rows[6].substr(0, 13), "       │P4 ");
    EXPECT_EQ(s.port_list.offset, 4u);
}

TEST(ParametersScreen, EditorsAndHelpWhileTyping) {
    UiState s = menu_state();
    s.screen = Screen::Parameters;
    s.column = 1;
    s.stop.push_digit('0');
    s.stop.apply_typed_value();  // 0 is below the stop editor's 10
    Buffer expected = buffer_with_lines({
        "                                                                                      ",
        "       ┌──────────────────────────────────────────────────────────────────────┐       ",
        "       │Vorlix version 0.1.5-abc1234                                          │       ",
        "       └──────────────────────────────────────────────────────────────────────┘       ",
        "                                                                                      ",
        "       ┌Start Frequency─┐┌Stop Frequency──┐┌Points──────────┐┌Repeat──────────┐       ",
        "       │240             ││0_ (enter 10–540││10001           ││1               │       ",
        "       └────────────────┘└────────────────┘└────────────────┘└────────────────┘       ",
        "                                                                                      ",
        "               Type MHz; Backspace deletes, ↲ applies, and Esc cancels.               ",
    });
    expected.set_style(Rect{7, 5, 18, 3}, GREY);
    expected.set_style(Rect{25, 5, 18, 3}, ACTIVE);
    expected.set_style(Rect{43, 5, 18, 3}, GREY);
    expected.set_style(Rect{61, 5, 18, 3}, GREY);
    EXPECT_TRUE(buffers_equal(draw(s, 86, 10), expected));
}

TEST(ParametersScreen, HelpTextFollowsTheEditor) {
    struct Case {
        std::uint8_t column;
        const char* typed;  // digits typed into the current editor, or null
        const char* help;
    } cases[] = {
        {0, nullptr, "Use ↓↑ to change, ←→ to select, digits to type MHz/points, and ↲ to continue."},
        {0, "", "Type MHz; Backspace deletes, ↲ applies, and Esc cancels."},
        {1, "5", "Type MHz; Backspace deletes, ↲ applies, and Esc cancels."},
        {2, "5", "Type the point count; Backspace deletes, ↲ applies, and Esc cancels."},
        {2, nullptr, "Use ↓↑ to change, ←→ to select, digits to type MHz/points, and ↲ to continue."},
        {3, nullptr, "Use ↓↑ to change, ←→ to select, digits to type MHz/points, and ↲ to continue."},
    };
    for (const auto& c : cases) {
        UiState s = menu_state();
        s.screen = Screen::Parameters;
        s.column = c.column;
        if (c.typed) {
            NumberInput* input = s.current_editor();
            // A typed digit taken back leaves typing on with no text.
            input->push_digit('0');
            input->pop_char();
            for (char ch : std::string_view(c.typed)) input->push_digit(ch);
        }
        EXPECT_EQ(menu_help_text(s), c.help) << int(c.column);
    }
    UiState s = menu_state();
    EXPECT_EQ(menu_help_text(s), "Use ↓↑ to move, ←→ to select, and ↲ to continue.");
}

TEST(AcquiringScreen, StatusGaugeAndInfo) {
    UiState s = menu_state();
    s.screen = Screen::Acquiring;
    s.progress_gauge = ProgressGauge{};
    workers::reset_acquisition_shared(s.acquisition);
    s.acquisition->with_lock([](auto& r) {
        r.status = "Acquiring samples";
        r.info = "Detected tinySA Basic (native raw offset 128 dB)\ntinySA_v1.3\nHW Version:V0.3.1";
    });
    Buffer expected = buffer_with_lines({
        "       ┌Operation─────────┐       ",
        "       │Acquiring samples │       ",
        "       └──────────────────┘       ",
        "       Progress: ──────────       ",
        "       ┌TinySA Info───────┐       ",
        "       │Detected tinySA   │       ",
        "       │Basic (native raw │       ",
        "       │offset 128 dB)    │       ",
        "       │tinySA_v1.3       │       ",
        "       │HW Version:V0.3.1 │       ",
        "       │                  │       ",
        "       │                  │       ",
        "       │                  │       ",
        "       └──────────────────┘       ",
        "                                  ",
        "                                  ",
    });
    expected.set_style(Rect{7, 0, 20, 3}, WHITE);
    expected.set_style(Rect{7, 4, 20, 10}, WHITE);

    // The gauge's ten bar cells after "Progress: ": filled in blue (reversed
    // where there are no colours), the rest red.
    struct Case {
        std::uint64_t progress;
        std::uint16_t filled;
    } cases[] = {{0, 0}, {50, 5}, {100, 10}};
    for (const auto& c : cases) {
        s.acquisition->with_lock([&](auto& r) { r.progress = c.progress; });
        Buffer want = expected;
        want.set_style(Rect{17, 3, c.filled, 1}, Style().fg(Color::Blue).mono(tui::Modifier::Reversed));
        want.set_style(
            Rect{static_cast<std::uint16_t>(17 + c.filled), 3, static_cast<std::uint16_t>(10 - c.filled), 1},
            Style().fg(Color::Red));
        EXPECT_TRUE(buffers_equal(draw(s, 34, 16), want)) << c.progress;
        EXPECT_DOUBLE_EQ(s.progress_gauge->ratio, static_cast<double>(c.progress) / 100.0);
    }
}

TEST(PlotScreen, HeaderChartAndHelp) {
    UiState s = menu_state();
    s.screen = Screen::Plot;
    s.instrument_run = false;
    s.plot.emplace("scan.csv", ramp());
    s.plot->viewport.zoom_to(1.0);
    const Buffer b = draw(s, 50, 16);
    EXPECT_EQ(symbols(b), (Rows{
                              "       ┌Status────────────────────────────┐       ",
                              "       │scan.csv — 5 points — visible 100.│       ",
                              "       └──────────────────────────────────┘       ",
                              "                                                  ",
                              "          0 dBm│                                  ",
                              "               │                                  ",
                              "               │                          •       ",
                              "        -64 dBm│             •                    ",
                              "               │                                  ",
                              "               │•                                 ",
                              "               │                                  ",
                              "       -128 dBm│            Frequency (MHz)       ",
                              "               └───────────────────────────       ",
                              "                100.50    101.00     101.50       ",
                              "                                                  ",
                              "       pan left|h / right|l; reset 0|home;        ",
                          }));
    EXPECT_EQ(b.cell(16, 9).fg, Color::Yellow);
    EXPECT_EQ(b.cell(15, 7).fg, Color::Gray);   // Y axis line
    EXPECT_EQ(b.cell(9, 7).fg, Color::Gray);    // Y label
    EXPECT_EQ(b.cell(20, 13).fg, Color::Gray);  // X label
    EXPECT_EQ(b.cell(8, 1).fg, Color::White);   // the header box is white, border included
    EXPECT_EQ(b.cell(7, 0).fg, Color::White);
    EXPECT_EQ(b.cell(42, 1).fg, Color::White);
}

TEST(PlotScreen, HeaderTextInFull) {
    UiState s = menu_state();
    s.screen = Screen::Plot;
    s.plot.emplace("Saved scan_1.csv", ramp());
    s.plot->viewport.view_min = 100.25;
    s.plot->viewport.view_max = 100.26;
    const Rows rows = symbols(draw(s, 120, 16));
    EXPECT_NE(rows[1].find("│Saved scan_1.csv — 5 points — visible 100.250 to 100.260 MHz "),
              std::string::npos)
        << rows[1];
}

TEST(PlotScreen, PeakMarkerOverTheChart) {
    UiState s = menu_state();
    s.screen = Screen::Plot;
    s.plot.emplace("p", ramp());
    s.show_peak = true;
    const Rows rows = symbols(draw(s, 60, 16));
    EXPECT_EQ(rows[4], "          0 dBm│           ┌Visible peak────────────┐       ");
    EXPECT_EQ(rows[5], "               │           │0.00 dBm                │       ");
    EXPECT_EQ(rows[6], "               │           │102.00 MHz              │       ");
    EXPECT_EQ(rows[7], "        -64 dBm│           └────────────────────────┘       ");
}

TEST(PlotScreen, HelpFollowsBindingsAndRun) {
    struct Case {
        bool instrument_run;
        config::PlotBindings bindings;
        const char* help;
    } cases[] = {
        {true,
         {},
         "zoom +|= / -; pan left|h / right|l; reset 0|home; m peak; r repeats; n edits a new scan; q exits"},
        {false, {}, "zoom +|= / -; pan left|h / right|l; reset 0|home; m peak; q exits"},
        {false,
         {{"a"}, {"b", "c", "d"}, {"left"}, {"right"}, {"home"}},
         "zoom a / b|c|d; pan left / right; reset home; m peak; q exits"},
    };
    for (const auto& c : cases) {
        UiState s = menu_state();
        s.instrument_run = c.instrument_run;
        s.config.ui.bindings = c.bindings;
        EXPECT_EQ(plot_help_text(s), c.help);
    }
}

TEST(PlotScreen, LevelLabels) {
    struct Case {
        double dbm;
        const char* text;
    } cases[] = {{-128, "-128 dBm"},   {-64, "-64 dBm"}, {0, "0 dBm"},
                 {-10.5, "-10.5 dBm"}, {0.1, "0.1 dBm"}, {1e21, "1000000000000000000000 dBm"}};
    for (const auto& c : cases) EXPECT_EQ(level_label(c.dbm), c.text);
}

TEST(LiveScreen, WaitingAndChart) {
    UiState s = menu_state();
    s.screen = Screen::Live;
    s.live->with_lock([](auto& r) {
        r.status = "Live capture — 3 sweeps";
        r.info = "Detected tinySA Basic";
        r.trace_mode = workers::TraceMode::MaxHold;
    });
    EXPECT_EQ(symbols(draw(s, 48, 10)), (Rows{
                                            "  ┌Live capture──────────────────────────────┐  ",
                                            "  │max hold — Live capture — 3 sweeps        │  ",
                                            "  │Detected tinySA Basic                     │  ",
                                            "  └──────────────────────────────────────────┘  ",
                                            "  ┌──────────────────────────────────────────┐  ",
                                            "  │   Waiting for the first complete sweep…  │  ",
                                            "  │                                          │  ",
                                            "  └──────────────────────────────────────────┘  ",
                                            "  1–6 trace · zoom +/= / - · pan ←/→ · 0 reset  ",
                                            "         · m peak · s save · q stop+save        ",
                                        }));

    s.plot.emplace("Live max hold — 3 sweeps", std::vector<Sample>{{100, -128}, {101, -64}, {102, 0}});
    const Buffer b = draw(s, 48, 12);
    EXPECT_EQ(symbols(b), (Rows{
                              "  ┌Live capture──────────────────────────────┐  ",
                              "  │max hold — Live capture — 3 sweeps        │  ",
                              "  │Detected tinySA Basic                     │  ",
                              "  └──────────────────────────────────────────┘  ",
                              "  Level (dBm)                                •  ",
                              "                        •                       ",
                              "                                                ",
                              "  •                            Frequency (MHz)  ",
                              "  ────────────────────────────────────────────  ",
                              "  100.00             101.00             102.00  ",
                              "  1–6 trace · zoom +/= / - · pan ←/→ · 0 reset  ",
                              "         · m peak · s save · q stop+save        ",
                          }));
    EXPECT_EQ(b.cell(2, 7).fg, Color::Yellow);
    EXPECT_EQ(b.cell(2, 8).fg, Color::Reset);  // axes keep the default colour here
    EXPECT_EQ(b.cell(2, 9).fg, Color::Reset);
}

// The same frame drawn with the plot's memo forgotten: every sample read.
Buffer fresh_frame(UiState& s, std::uint16_t w, std::uint16_t h) {
    const PlotMemo kept = std::exchange(s.plot->memo, PlotMemo{});
    Buffer b = draw(s, w, h);
    s.plot->memo = kept;
    return b;
}

// What the plot's memo holds, told apart without a counter: cells worked
// out again are a new buffer, and a peak worked out again has a new key.
struct MemoMark {
    const std::uint32_t* cells = nullptr;
    std::uint64_t cells_version = 0;
    std::uint64_t peak_version = 0;
    std::array<double, 2> peak_window{0.0, 0.0};
    bool operator==(const MemoMark&) const = default;
};

MemoMark mark(const PlotMemo& memo) {
    return MemoMark{memo.cells.hits.data(), memo.cells_version, memo.peak_version, memo.peak_window};
}

// Each change is made between two frames drawn through a terminal, on both
// chart screens: whether the next frame is drawn at all (or the one on
// screen kept), whether it works the chart's cells or the peak out again,
// and that the screen then equals a frame drawn from scratch.
TEST(ChartScreens, FramesAreKeptWhileNothingShownChangesAndEqualFreshOnesAfterEachChange) {
    // Two traces over one sweep range: a trace choice changes the levels only.
    workers::LiveShared record;
    workers::apply_sweep(record, {{100, -50}, {100.5, -40}, {101, -40}, {102, -60}});
    workers::apply_sweep(record, {{100, -10}, {100.5, -90}, {101, -70}, {102, -20}});
    const workers::Sweep average = *workers::trace_points(record, workers::TraceMode::Average4);
    const workers::Sweep max_hold = *workers::trace_points(record, workers::TraceMode::MaxHold);
    ASSERT_NE(average, max_hold);
    const workers::Sweep wider = {{100, -10}, {101, -30}, {102, -50}, {104, -70}};

    using Apply = std::function<void(UiState&, tui::TestBackend&)>;
    struct Change {
        const char* name;
        Apply apply;
        bool redraws_plot;
        bool redraws_live;
        bool works_out_again;
    };
    const auto key = [](tui::KeyEvent k) -> Apply {
        return [k](UiState& s, tui::TestBackend&) { handle_plot_key(s, k); };
    };
    const Change changes[] = {
        {"nothing", [](UiState&, tui::TestBackend&) {}, false, false, false},
        {"title", [](UiState& s, tui::TestBackend&) { s.plot->title = "Saved other.csv"; }, true, false,
         false},
        {"live status",
         [](UiState& s, tui::TestBackend&) { s.live->with_lock([](auto& r) { r.status = "3 sweeps"; }); },
         false, true, false},
        {"bindings", [](UiState& s, tui::TestBackend&) { s.config.ui.bindings.zoom_in = {"z"}; }, true, false,
         false},
        {"peak hidden", [](UiState& s, tui::TestBackend&) { s.show_peak = false; }, true, true, false},
        {"trace", [&](UiState& s, tui::TestBackend&) { s.plot->samples = max_hold; }, true, true, true},
        {"same samples again", [&](UiState& s, tui::TestBackend&) { s.plot->samples = average; }, true, true,
         true},
        {"samples",
         [&](UiState& s, tui::TestBackend&) {
             s.plot->samples = wider;
             s.plot->viewport = sample_bounds(wider);
         },
         true, true, true},
        {"zoom", key(tui::KeyEvent::character(U'+')), true, true, true},
        {"pan", key(tui::KeyEvent::key(tui::KeyCode::Right)), true, true, true},
        {"reset", key(tui::KeyEvent::character(U'0')), true, true, true},
        {"level range", [](UiState& s, tui::TestBackend&) { s.config.ui.chart_min_dbm = -100; }, true, true,
         true},
        {"area",
         [](UiState&, tui::TestBackend& b) {
             b.resize({70, 20});
         },
         true, true, true},
    };
    for (const Screen screen : {Screen::Plot, Screen::Live}) {
        for (const Change& change : changes) {
            const bool live = screen == Screen::Live;
            SCOPED_TRACE(std::string(change.name) + (live ? " on Live" : " on Plot"));
            UiState s = menu_state();
            s.screen = screen;
            s.show_peak = true;
            s.plot.emplace("Saved scan.csv", average);
            handle_plot_key(s, tui::KeyEvent::character(U'+'));  // zoomed, so that panning moves
            tui::TestBackend backend({60, 20});
            auto terminal = tui::Terminal::create(backend);
            ASSERT_TRUE(terminal);
            const auto turn = [&] {
                std::optional<UiError> failed;
                ASSERT_TRUE(terminal->draw([&](tui::Frame& f) {
                    if (auto r = render_ui(s, f); !r) failed = r.error();
                }));
                ASSERT_FALSE(failed) << failed->debug();
            };
            turn();
            const std::size_t flushes = backend.flushes();
            const MemoMark before = mark(s.plot->memo);

            change.apply(s, backend);
            turn();
            EXPECT_EQ(backend.flushes() > flushes, live ? change.redraws_live : change.redraws_plot);
            EXPECT_EQ(mark(s.plot->memo) != before, change.works_out_again);

            // A frame unchanged since is kept: nothing drawn, nothing worked out.
            const std::size_t flushes_after = backend.flushes();
            const MemoMark after = mark(s.plot->memo);
            turn();
            EXPECT_EQ(backend.flushes(), flushes_after);
            EXPECT_EQ(mark(s.plot->memo), after);

            const tui::Size size = backend.screen().area().size();
            EXPECT_TRUE(buffers_equal(backend.screen(), fresh_frame(s, size.width, size.height)));
        }
    }
}

TEST(FinishedScreen, ErrorTextWrapsAndDefaultsWhenMissing) {
    UiState s = menu_state();
    s.screen = Screen::Finished;
    workers::reset_acquisition_shared(s.acquisition);
    workers::record_scan_failure_text(
        s.acquisition, "serial connection: the port COM3 could not be opened because it is busy");
    Buffer expected = buffer_with_lines({
        "                                        ",
        "       ┌Status──────────────────┐       ",
        "       │serial connection: the  │       ",
        "       └────────────────────────┘       ",
        "                                        ",
        "       ┌Status──────────────────┐       ",
        "       │Last status: Failed     │       ",
        "       │Last message: Opening   │       ",
        "       │connection              │       ",
        "       │serial connection: the  │       ",
        "       │port COM3 could not be  │       ",
        "       │opened because it is    │       ",
        "       │busy                    │       ",
        "       │                        │       ",
        "       └────────────────────────┘       ",
        "                                        ",
        "          Press ↲ or q to exit          ",
    });
    expected.set_style(Rect{7, 1, 26, 3}, Style().fg(Color::Red));
    EXPECT_TRUE(buffers_equal(draw(s, 40, 17), expected));

    UiState clean = menu_state();
    clean.screen = Screen::Finished;
    const Buffer b = draw(clean, 50, 17);
    const Rows rows = symbols(b);
    EXPECT_EQ(rows[2], "       │An unspecified error occurred     │       ");
    EXPECT_EQ(b.cell(8, 2).fg, Color::Red);
    EXPECT_EQ(rows[6], "       │Last status: Ready                │       ");
    EXPECT_EQ(rows[7], "       │Last message:                     │       ");
    EXPECT_EQ(rows[8], "       │                                  │       ");
}

TEST(Screens, MissingWidgetsAndPlot) {
    struct Case {
        Screen screen;
        void (*strip)(UiState&);
        UiError error;
    } cases[] = {
        {Screen::PortSelection, [](UiState& s) { s.port_list_widget.reset(); },
         UiError::UninitializedItemList{"Port", 230, "src/ui/view"}},
        {Screen::PortSelection, [](UiState& s) { s.baud_list_widget.reset(); },
         UiError::UninitializedItemList{"Baud", 235, "src/ui/view"}},
        {Screen::Acquiring, [](UiState& s) { s.progress_gauge.reset(); },
         UiError::UninitializedItemList{"Progress", 280, "src/ui/view"}},
        {Screen::Plot, [](UiState& s) { s.plot.reset(); }, UiError::NoReturnData{}},
    };
    for (const auto& c : cases) {
        UiState s = menu_state();
        s.screen = c.screen;
        c.strip(s);
        Buffer b = Buffer::empty(Rect{0, 0, 40, 20});
        auto r = render_ui(s, b);
        ASSERT_FALSE(r.has_value());
        EXPECT_EQ(r.error(), c.error);
    }
}

TEST(Screens, TinyTerminalsDoNotCrash) {
    const Screen all[] = {Screen::PortSelection, Screen::Parameters, Screen::Plot,
                          Screen::Acquiring,     Screen::Live,       Screen::Finished};
    const Rect sizes[] = {{0, 0, 0, 0},   {0, 0, 1, 1},   {0, 0, 3, 2}, {0, 0, 14, 4},
                          {0, 0, 15, 30}, {0, 0, 200, 3}, {3, 2, 9, 9}};
    for (Screen screen : all) {
        for (const Rect& size : sizes) {
            UiState s = menu_state();
            s.screen = screen;
            s.progress_gauge = ProgressGauge{};
            s.plot.emplace("p", ramp());
            s.show_peak = true;
            Buffer b = Buffer::empty(size);
            EXPECT_TRUE(render_ui(s, b).has_value());
        }
    }
}

}  // namespace
}  // namespace vorlix::app

namespace vorlix::app {
namespace {

Buffer dotted(Rect area) {
    tui::Cell dot;
    dot.symbol = ".";
    return Buffer::filled(area, dot);
}

TEST(PeakMarker, PlacementAndShrinking) {
    PlotView view("p", std::vector<Sample>{{100, -12.345}, {101, -80}});
    struct Case {
        Rect area;
        std::vector<std::string> rows;  // of the whole 30x5 buffer
    } cases[] = {
        {{0, 0, 30, 5},
         {"....┌Visible peak────────────┐", "....│-12.35 dBm              │",
          "....│100.00 MHz              │", "....└────────────────────────┘",
          ".............................."}},
        {{2, 1, 12, 3},
         {"..............................", "..┌Visible pe┐................",
          "..│-12.35 dBm│................", "..└──────────┘................",
          ".............................."}},
        {{0, 0, 0, 5},
         {"..............................", "..............................",
          "..............................", "..............................",
          ".............................."}},
    };
    for (const auto& c : cases) {
        Buffer b = dotted(Rect{0, 0, 30, 5});
        render_peak_marker(b, c.area, view);
        EXPECT_EQ(symbols(b), c.rows) << tui::describe(c.area);
    }

    // Nothing visible: nothing drawn, not even the cleared box.
    view.viewport.view_min = 100.2;
    view.viewport.view_max = 100.8;
    Buffer b = dotted(Rect{0, 0, 30, 5});
    render_peak_marker(b, b.area(), view);
    EXPECT_EQ(symbols(b)[0], "..............................");
}

}  // namespace
}  // namespace vorlix::app
