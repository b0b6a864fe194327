// The text written back over the configuration file.

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "config/load.hpp"
#include "config/serialize.hpp"

namespace vorlix::config {
namespace {

const char* const default_text =
    "port = \"\"\nbaudrate = 115200\nstart_frequency = 240\nstop_frequency = 800\npoints = 10001\nrepeat = "
    "1\n"
    "\n[connection]\nbackend = \"serial\"\ntcp_address = \"127.0.0.1:7355\"\ntcp_timeout_ms = 3000\n"
    "\n[serial]\ntimeout_ms = 3000\ncommand_delay_ms = 20\nsettle_delay_ms = 200\nscan_delay_ms = 2000\n"
    "max_response_bytes = 65536\nbaudrates = [\n    19200,\n    38400,\n    57600,\n    115200,\n    "
    "230400,\n"
    "    460800,\n    921600,\n    1843200,\n    2000000,\n    3000000,\n]\npreferred_ports = [\n"
    "    \"/dev/ttyACM0\",\n    \"COM3\",\n    \"COM5\",\n    \"/dev/ttyS16\",\n]\n"
    "\n[scan]\ndevice_model = \"auto\"\nenable_ultra_mode = false\nauto_zero_offset = true\nzero_offset = "
    "128\n"
    "frequency_step_mhz = 10\npoints_step = 100\nmin_points = 101\nmax_points = 1000001\nmax_repeat = 1000\n"
    "frequency_axis = \"firmware\"\nlegacy_pre_scan = true\n"
    "\n[ui]\npoll_interval_ms = 16\nchart_min_dbm = -128.0\nchart_max_dbm = 0.0\n"
    "\n[ui.bindings]\nzoom_in = [\n    \"+\",\n    \"=\",\n]\nzoom_out = [\"-\"]\npan_left = [\n    "
    "\"left\",\n"
    "    \"h\",\n]\npan_right = [\n    \"right\",\n    \"l\",\n]\nreset_view = [\n    \"0\",\n    "
    "\"home\",\n]\n"
    "\n[output]\ndirectory = \".\"\nfilename_prefix = \"scan\"\ninclude_header = false\n"
    "\n[logging]\nfilter = \"info\"\ndirectory = \".\"\n";

TEST(Serialize, DefaultsAsEightyTwoLines) {
    auto text = serialize_config(Config{});
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(*text, default_text);
    EXPECT_EQ(std::count(text->begin(), text->end(), '\n'), 82);
}

struct Written {
    const char* name;
    std::function<void(Config&)> edit;
    std::string line;  // must appear as a whole line of the text
};

std::function<void(Config&)> chart_min(double v) {
    return [v](Config& c) { c.ui.chart_min_dbm = v; };
}
std::function<void(Config&)> chart_max(double v) {
    return [v](Config& c) { c.ui.chart_max_dbm = v; };
}

const Written WRITTEN[] = {
    {"no_ports", [](Config& c) { c.serial.preferred_ports.clear(); }, "preferred_ports = []"},
    {"one_port", [](Config& c) { c.serial.preferred_ports = {"COM7"}; }, "preferred_ports = [\"COM7\"]"},
    {"one_rate", [](Config& c) { c.serial.baudrates = {9600}; }, "baudrates = [9600]"},
    {"zero_float", [](Config& c) { c.ui.chart_max_dbm = 0; }, "chart_max_dbm = 0.0"},
    {"fraction", [](Config& c) { c.ui.chart_max_dbm = -10.5; }, "chart_max_dbm = -10.5"},
    {"whole", [](Config& c) { c.ui.chart_max_dbm = 10; }, "chart_max_dbm = 10.0"},
    {"negative_zero", [](Config& c) { c.ui.chart_max_dbm = -0.0; }, "chart_max_dbm = -0.0"},
    {"no_exponent", [](Config& c) { c.ui.chart_max_dbm = 1e21; }, "chart_max_dbm = 1000000000000000000000.0"},
    {"too_long_for_plain_form", [](Config& c) { c.ui.chart_max_dbm = 1e300; }, "chart_max_dbm = 1e+300"},
    {"shortest", [](Config& c) { c.ui.chart_max_dbm = 0.1; }, "chart_max_dbm = 0.1"},
    {"large_padded_with_zeros", chart_max(123456789012345678901234.0),
     "chart_max_dbm = 123456789012345690000000.0"},
    {"exact_power_of_ten", chart_max(1e22), "chart_max_dbm = 10000000000000000000000.0"},
    {"inexact_power_of_ten", chart_max(1e23), "chart_max_dbm = 100000000000000000000000.0"},
    {"two_to_the_53", chart_max(9007199254740992.0), "chart_max_dbm = 9007199254740992.0"},
    {"below_two_to_the_53", chart_max(9007199254740991.0), "chart_max_dbm = 9007199254740991.0"},
    {"above_two_to_the_53", chart_max(9007199254740994.0), "chart_max_dbm = 9007199254740994.0"},
    {"two_to_the_60", chart_max(1152921504606846976.0), "chart_max_dbm = 1152921504606847000.0"},
    {"negative_large", chart_min(-1e23), "chart_min_dbm = -100000000000000000000000.0"},
    {"small_fraction", chart_max(1.5e-10), "chart_max_dbm = 0.00000000015"},
    {"negative_small_fraction", chart_min(-1.5e-10), "chart_min_dbm = -0.00000000015"},
    {"point_inside_digits", chart_min(-128.0625), "chart_min_dbm = -128.0625"},
    {"longest_plain_whole", chart_max(1e125), "chart_max_dbm = 1" + std::string(125, '0') + ".0"},
    {"past_longest_plain_whole", chart_max(1e126), "chart_max_dbm = 1e+126"},
    {"longest_plain_fraction", chart_max(1e-124), "chart_max_dbm = 0." + std::string(123, '0') + "1"},
    {"past_longest_plain_fraction", chart_max(1e-125), "chart_max_dbm = 1e-125"},
    {"subnormal", chart_max(5e-324), "chart_max_dbm = 5e-324"},
    {"nan", [](Config& c) { c.ui.chart_max_dbm = -std::nan(""); }, "chart_max_dbm = nan"},
    {"inclusive", [](Config& c) { c.scan.frequency_axis = FrequencyAxis::Inclusive; },
     "frequency_axis = \"inclusive\""},
    {"tcp", [](Config& c) { c.connection.backend = Backend::Tcp; }, "backend = \"tcp\""},
    {"basic", [](Config& c) { c.scan.device_model = DeviceModel::Basic; }, "device_model = \"basic\""},
    {"escapes", [](Config& c) { c.port = "C:\\dev\\\"x\"\n\x01"; },
     "port = \"C:\\\\dev\\\\\\\"x\\\"\\n\\u0001\""},
};

TEST(Serialize, ValueForms) {
    for (const Written& w : WRITTEN) {
        Config c;
        w.edit(c);
        auto text = serialize_config(c);
        ASSERT_TRUE(text.has_value()) << w.name;
        EXPECT_NE(("\n" + *text).find("\n" + w.line + "\n"), std::string::npos) << w.name << "\n" << *text;
    }
}

TEST(Serialize, NonDefaultRecordReadsBackEqual) {
    Config c;
    c.port = "/dev/ttyUSB0";
    c.baudrate = 9600;
    c.start_frequency = 0;
    c.stop_frequency = 5400;
    c.points = 2;
    c.repeat = 7;
    c.connection = {Backend::Tcp, "[fe80::1%3]:65535", 1};
    c.serial = {600000, 0, 60000, 1, 256, {9600, 1}, {}};
    c.scan = {DeviceModel::Ultra,       true, false, 2047, 5400, 1000001, 2, 1000001, 7,
              FrequencyAxis::Inclusive, false};
    c.ui.poll_interval_ms = 1000;
    c.ui.chart_min_dbm = -0.1;
    c.ui.chart_max_dbm = 1e300;
    c.ui.bindings = {{"\xC3\xA9", "Q"}, {" "}, {"left"}, {"\""}, {"\\", "home"}};
    c.output = {"C:\\scans\\\"new\"\t", "a-Z_9", true};
    c.logging = {"vorlix=debug/x\ny", "\xE2\x82\xAC"};

    auto text = serialize_config(c);
    ASSERT_TRUE(text.has_value());
    auto back = load_config_text(*text);
    ASSERT_TRUE(back.has_value()) << back.error().display() << "\n" << *text;
    EXPECT_EQ(*back, c);
}

TEST(Serialize, FloatsReadBackBitIdentical) {
    constexpr double lowest = std::numeric_limits<double>::lowest();
    std::vector<double> values = {0.0,
                                  -0.0,
                                  0.1,
                                  -0.1,
                                  1.5e-10,
                                  1e22,
                                  1e23,
                                  -1e23,
                                  9007199254740991.0,
                                  9007199254740992.0,
                                  9007199254740994.0,
                                  123456789012345678901234.0,
                                  1e125,
                                  1e126,
                                  1e-124,
                                  1e-125,
                                  5e-324,
                                  -5e-324,
                                  2.2250738585072009e-308,
                                  2.2250738585072014e-308,
                                  std::numeric_limits<double>::max(),
                                  lowest};
    std::mt19937_64 bits(105);
    for (int i = 0; i < 2000; ++i) {
        const double v = std::bit_cast<double>(bits());
        if (std::isfinite(v)) values.push_back(v);
    }
    for (double v : values) {
        Config c;
        // A value at the bottom of the range goes below, any other above.
        c.ui.chart_min_dbm = v == lowest ? v : lowest;
        c.ui.chart_max_dbm = v == lowest ? 0.0 : v;
        auto text = serialize_config(c);
        ASSERT_TRUE(text.has_value()) << v;
        const std::string key = v == lowest ? "\nchart_min_dbm = " : "\nchart_max_dbm = ";
        const std::size_t start = text->find(key) + key.size();
        const std::string number_text = text->substr(start, text->find('\n', start) - start);
        if (v == 0 || (std::abs(v) >= 1e-100 && std::abs(v) < 1e100)) {
            EXPECT_EQ(number_text.find('e'), std::string::npos) << number_text;
        }
        auto back = load_config_text(*text);
        ASSERT_TRUE(back.has_value()) << back.error().display() << "\n" << *text;
        const auto bits_of = [](double d) { return std::bit_cast<std::uint64_t>(d); };
        EXPECT_EQ(bits_of(back->ui.chart_min_dbm), bits_of(c.ui.chart_min_dbm)) << *text;
        EXPECT_EQ(bits_of(back->ui.chart_max_dbm), bits_of(c.ui.chart_max_dbm)) << *text;
    }
}

struct Refused {
    const char* name;
    std::function<void(Config&)> edit;
    const char* message;
};

const Refused REFUSED[] = {
    {"u64_above_toml_range", [](Config& c) { c.serial.max_response_bytes = UINT64_MAX; },
     "cannot serialize configuration: out-of-range value for u64 type"},
    {"path_not_utf8", [](Config& c) { c.logging.directory = "\xFF"; },
     "cannot serialize configuration: path contains invalid UTF-8 characters"},
    {"first_field_in_record_order",
     [](Config& c) {
         c.output.directory = "\xFF";
         c.ui.poll_interval_ms = UINT64_MAX;
     },
     "cannot serialize configuration: out-of-range value for u64 type"},
};

TEST(Serialize, RefusedValues) {
    for (const Refused& r : REFUSED) {
        Config c;
        r.edit(c);
        auto text = serialize_config(c);
        ASSERT_FALSE(text.has_value()) << r.name;
        EXPECT_NE(text.error().get_if<ConfigError::Serialize>(), nullptr) << r.name;
        EXPECT_EQ(text.error().display(), r.message) << r.name;
    }
}

}  // namespace
}  // namespace vorlix::config
