#include "app/state/ui_state.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/build_info.hpp"
#include "app/services/ports.hpp"
#include "app/state/menu_lists.hpp"

namespace vorlix::app {
namespace {

using Names = std::vector<std::string>;

PortList ports_named(const Names& names) {
    PortList list;
    for (const auto& n : names) list.push_back(PortEntry{n, PortKind::Usb, UsbPortInfo{}});
    return list;
}

config::Config base_config() {
    config::Config c;
    c.port = "COM9";
    c.serial.preferred_ports = {"COM7", "COM3"};
    return c;
}

TEST(UiStateNew, InitialPortSelection) {
    struct Case {
        const char* name;
        Names ports;
        std::string configured;
        std::optional<std::size_t> expected;
    } cases[] = {
        {"configured port wins", {"COM1", "COM3", "COM9", "COM7"}, "COM9", 2},
        {"preference order, not list order", {"COM1", "COM3", "COM7"}, "COM9", 2},
        {"later preference when earlier is absent", {"COM1", "COM3"}, "COM9", 1},
        {"first port otherwise", {"COM1", "COM2"}, "COM9", 0},
        {"exact bytes only", {"com9", "COM1"}, "COM9", 0},
        {"empty list", {}, "COM9", std::nullopt},
    };
    for (const auto& c : cases) {
        config::Config cfg = base_config();
        cfg.port = c.configured;
        UiState s(ports_named(c.ports), cfg, "config.toml");
        EXPECT_EQ(s.port_list.selected, c.expected) << c.name;
        EXPECT_EQ(s.port_names, c.ports) << c.name;
    }
}

TEST(UiStateNew, BaudSelectionAndDefaults) {
    config::Config cfg = base_config();
    cfg.serial.baudrates = {9600, 115200, 115200};
    cfg.baudrate = 115200;
    UiState found({}, cfg, "x.toml");
    EXPECT_EQ(found.baud_list.selected, std::optional<std::size_t>(1));
    EXPECT_EQ(found.baudrates, cfg.serial.baudrates);

    cfg.baudrate = 4800;
    UiState missing({}, cfg, "x.toml");
    EXPECT_EQ(missing.baud_list.selected, std::nullopt);

    EXPECT_EQ(missing.screen, Screen::PortSelection);
    EXPECT_EQ(missing.column, 0);
    EXPECT_TRUE(missing.instrument_run);
    EXPECT_FALSE(missing.quit || missing.live_mode || missing.stop_requested || missing.show_peak);
    EXPECT_FALSE(missing.port_list_widget || missing.baud_list_widget || missing.progress_gauge);
    EXPECT_FALSE(missing.plot || missing.last_scan);
    EXPECT_EQ(missing.config, cfg);
    EXPECT_EQ(missing.config_path, "x.toml");
    ASSERT_TRUE(missing.acquisition && missing.live);
    EXPECT_EQ(workers::acquisition_phase(missing.acquisition), workers::ScanPhase::Ready);
    EXPECT_EQ(workers::live_phase(missing.live), workers::ScanPhase::Ready);
}

TEST(UiStateNew, EditorsClampTheConfiguredValues) {
    struct Case {
        std::uint64_t start, stop, points, repeat;
        std::uint64_t e_start, e_stop, e_points, e_repeat;
    } cases[] = {
        {240, 800, 10001, 1, 240, 800, 10001, 1},
        {6000, 6000, 5, 0, 5400, 5400, 101, 1},
        {0, 3, 2000000, 5000, 0, 10, 1000001, 1000},
    };
    for (const auto& c : cases) {
        config::Config cfg = base_config();
        cfg.start_frequency = c.start;
        cfg.stop_frequency = c.stop;
        cfg.points = c.points;
        cfg.repeat = c.repeat;
        UiState s({}, cfg, "c");
        EXPECT_EQ(s.start.value(), c.e_start);
        EXPECT_EQ(s.stop.value(), c.e_stop);
        EXPECT_EQ(s.points.value(), c.e_points);
        EXPECT_EQ(s.repeat.value(), c.e_repeat);
        // The configuration itself keeps what was loaded.
        EXPECT_EQ(s.config.start_frequency, c.start);
    }
    UiState s({}, base_config(), "c");
    const NumberInput* editors[] = {&s.start, &s.stop, &s.points, &s.repeat};
    const std::uint64_t bounds[][3] = {{10, 0, 5400}, {10, 10, 5400}, {100, 101, 1000001}, {1, 1, 1000}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(editors[i]->step(), bounds[i][0]) << i;
        EXPECT_EQ(editors[i]->min(), bounds[i][1]) << i;
        EXPECT_EQ(editors[i]->max(), bounds[i][2]) << i;
        EXPECT_FALSE(editors[i]->typing() || editors[i]->invalid()) << i;
    }
}

TEST(UiStateLists, MovementStopsAtBothEnds) {
    struct Case {
        std::size_t length;
        std::optional<std::size_t> from;
        StepDirection direction;
        std::optional<std::size_t> to;
    } cases[] = {
        {3, 0, StepDirection::Down, 1},
        {3, 2, StepDirection::Down, 2},
        {3, 0, StepDirection::Up, 0},
        {3, 2, StepDirection::Up, 1},
        {3, std::nullopt, StepDirection::Down, 1},
        {3, std::nullopt, StepDirection::Up, 0},
        {0, std::nullopt, StepDirection::Down, std::nullopt},
        {3, 7, StepDirection::Up, 2},
        {3, SIZE_MAX, StepDirection::Down, 2},
    };
    for (std::uint8_t column : std::initializer_list<std::uint8_t>{0, 1}) {
        for (const auto& c : cases) {
            config::Config cfg = base_config();
            cfg.serial.baudrates.assign(c.length, 9600);
            UiState s(ports_named(Names(c.length, "P")), cfg, "c");
            s.column = column;
            ListState& list = column == 0 ? s.port_list : s.baud_list;
            list.selected = c.from;
            list.offset = 5;
            move_selection(s, c.direction);
            EXPECT_EQ(list.selected, c.to) << c.length << " col " << int(column);
            if (c.length == 0) {
                EXPECT_EQ(list.offset, 0u);
            }
        }
    }
}

TEST(UiStateLists, ParametersStepTheCurrentEditorOnly) {
    UiState s(ports_named({"COM1"}), base_config(), "c");
    s.screen = Screen::Parameters;
    s.column = 1;
    move_selection(s, StepDirection::Up);
    EXPECT_EQ(s.stop.value(), 810u);
    EXPECT_EQ(s.start.value(), 240u);

    s.screen = Screen::Plot;
    move_selection(s, StepDirection::Up);
    EXPECT_EQ(s.stop.value(), 810u);
    EXPECT_EQ(s.port_list.selected, std::optional<std::size_t>(0));
}

TEST(UiStateColumns, MovementAndListRebuild) {
    struct Case {
        Screen screen;
        std::uint8_t from;
        ColumnDirection direction;
        std::uint8_t to;
    } cases[] = {
        {Screen::PortSelection, 0, ColumnDirection::Right, 1},
        {Screen::PortSelection, 1, ColumnDirection::Right, 1},
        {Screen::PortSelection, 1, ColumnDirection::Left, 0},
        {Screen::Parameters, 0, ColumnDirection::Left, 0},
        {Screen::Parameters, 2, ColumnDirection::Right, 3},
        {Screen::Parameters, 3, ColumnDirection::Right, 3},
        {Screen::Parameters, 3, ColumnDirection::Left, 2},
        {Screen::Plot, 2, ColumnDirection::Right, 2},
    };
    for (const auto& c : cases) {
        UiState s(ports_named({"COM1"}), base_config(), "c");
        ASSERT_TRUE(build_menu_widgets(s).has_value());
        s.screen = c.screen;
        s.column = c.from;
        ASSERT_TRUE(move_column(s, c.direction).has_value());
        EXPECT_EQ(s.column, c.to);
        if (c.screen == Screen::PortSelection) {
            EXPECT_EQ(s.port_list_widget->active, c.to == 0);
            EXPECT_EQ(s.baud_list_widget->active, c.to == 1);
            EXPECT_EQ(s.port_list_widget->title, "COM Ports");
            EXPECT_EQ(s.baud_list_widget->title, "Baudrate");
        }
    }
}

TEST(UiStateColumns, MissingWidgetIsReportedAndTheOtherDropped) {
    UiState s(ports_named({"COM1"}), base_config(), "c");
    ASSERT_TRUE(build_menu_widgets(s).has_value());
    s.port_list_widget.reset();
    auto r = move_column(s, ColumnDirection::Right);
    ASSERT_FALSE(r.has_value());
    EXPECT_EQ(r.error(), UiError(UiError::UninitializedItemList{"Port List", 495, "src/ui/view"}));
    EXPECT_FALSE(s.baud_list_widget.has_value());

    ASSERT_TRUE(build_menu_widgets(s).has_value());
    s.baud_list_widget.reset();
    r = move_column(s, ColumnDirection::Left);
    ASSERT_FALSE(r.has_value());
    ASSERT_NE(r.error().get_if<UiError::UninitializedItemList>(), nullptr);
    EXPECT_EQ(r.error().get_if<UiError::UninitializedItemList>()->line, 503u);
    EXPECT_FALSE(s.port_list_widget.has_value());

    // Off the port screen the widgets are not looked at.
    s.screen = Screen::Parameters;
    EXPECT_TRUE(move_column(s, ColumnDirection::Right).has_value());
}

TEST(UiStateMenus, StartUpBuildsTheListsAndAboutLine) {
    config::Config cfg = base_config();
    cfg.serial.baudrates = {9600, 115200};
    UiState s(ports_named({"COM1", "COM3"}), cfg, "c");
    ASSERT_TRUE(build_menu_widgets(s).has_value());
    EXPECT_EQ(s.port_list_widget->items, (Names{"COM1", "COM3"}));
    EXPECT_EQ(s.baud_list_widget->items, (Names{"9600", "115200"}));
    EXPECT_TRUE(s.port_list_widget->active);
    const std::string version = "Vorlix version " VORLIX_VERSION "-";
    EXPECT_EQ(s.about_line.rfind(version, 0), 0u);
    EXPECT_GT(s.about_line.size(), version.size());
}

TEST(UiStateMenus, SelectionReads) {
    UiState s(ports_named({"COM1", "COM3"}), base_config(), "c");
    EXPECT_EQ(selected_port(s), std::string("COM3"));
    EXPECT_EQ(selected_baudrate(s), 115200u);

    s.port_list.selected = 2;
    s.baud_list.selected = 99;
    EXPECT_EQ(selected_port(s).error(), UiError::NoPortSelected{});
    EXPECT_EQ(selected_baudrate(s).error(), UiError::MenuSelection{});

    UiState empty({}, base_config(), "c");
    EXPECT_EQ(selected_port(empty).error().display(),
              "no serial port is selected; connect the instrument and restart");
}

TEST(UiStateMenus, PositionOf) {
    const Names names{"a", "b", "a"};
    EXPECT_EQ(position_of(names, "a"), std::optional<std::size_t>(0));
    EXPECT_EQ(position_of(names, "b"), std::optional<std::size_t>(1));
    EXPECT_EQ(position_of(names, "A"), std::nullopt);
    EXPECT_EQ(position_of({}, ""), std::nullopt);
}

}  // namespace
}  // namespace vorlix::app
