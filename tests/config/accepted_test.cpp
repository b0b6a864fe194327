// Files the load accepts, and what each one changes against the defaults;
// plus the socket address forms the TCP setting takes.

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>

#include "config/load.hpp"
#include "config/nesting_text.hpp"
#include "config/socket_address.hpp"

namespace vorlix::config {
namespace {

struct Accepted {
    const char* name;
    std::string text;
    std::function<void(Config&)> edit;  // turns the defaults into the expected record
};

const std::string prefix64(64, 'a');

// Far past the nesting bound if it were keys or brackets, not text.
const std::string DOTTED = testing_text::parts(1000);
const std::string brackets(1000, '[');
// A port line that makes the text exactly as long as the size bound.
const std::string longest_port(256 * 1024 - 10, 'x');

const Accepted ACCEPTED[] = {
    {"empty_file", "", [](Config&) {}},
    {"comments_only", "# nothing here\n\n# at all\n", [](Config&) {}},
    {"byte_order_mark", "\xEF\xBB\xBFpoints = 2001\n", [](Config& c) { c.points = 2001; }},
    {"points_only", "points = 2001", [](Config& c) { c.points = 2001; }},
    {"nested_table_merges_key_by_key", "[ui.bindings]\nzoom_in = [\"z\"]",
     [](Config& c) { c.ui.bindings.zoom_in = {"z"}; }},
    {"array_replaces_whole", "baudrate = 9600\n[serial]\nbaudrates = [9600]",
     [](Config& c) {
         c.baudrate = 9600;
         c.serial.baudrates = {9600};
     }},
    {"empty_ports", "[serial]\npreferred_ports = []", [](Config& c) { c.serial.preferred_ports.clear(); }},
    {"integer_as_float", "[ui]\nchart_min_dbm = -128\nchart_max_dbm = 10",
     [](Config& c) { c.ui.chart_max_dbm = 10.0; }},
    {"variant_table_with_empty_array", "[connection]\nbackend = {tcp = []}",
     [](Config& c) { c.connection.backend = Backend::Tcp; }},
    {"variant_table_with_empty_table", "[scan]\ndevice_model = {ultra = {}}\nfrequency_axis = \"inclusive\"",
     [](Config& c) {
         c.scan.device_model = DeviceModel::Ultra;
         c.scan.frequency_axis = FrequencyAxis::Inclusive;
     }},
    {"positional_record", "logging = [\"debug\", \"logs\"]",
     [](Config& c) {
         c.logging = {"debug", "logs"};
     }},
    {"datetime_as_path", "[output]\ndirectory = 1979-05-27T07:32:00.5-01:30",
     [](Config& c) { c.output.directory = "1979-05-27T07:32:00.5-01:30"; }},
    {"lowest_limits",
     "start_frequency = 0\nstop_frequency = 10\npoints = 2\n[scan]\nmin_points = 2\nmax_points = 1000001\n"
     "zero_offset = 2047\n[serial]\nscan_delay_ms = 60000\nmax_response_bytes = 256",
     [](Config& c) {
         c.start_frequency = 0;
         c.stop_frequency = 10;
         c.points = 2;
         c.scan.min_points = 2;
         c.scan.max_points = 1000001;
         c.scan.zero_offset = 2047;
         c.serial.scan_delay_ms = 60000;
         c.serial.max_response_bytes = 256;
     }},
    {"unusual_bindings", "[ui.bindings]\nzoom_in = [\"Q\", \" \", \"\xC3\xA9\", \"\\u00a0\", \"~\"]",
     [](Config& c) {
         c.ui.bindings.zoom_in = {"Q", " ", "\xC3\xA9", "\xC2\xA0", "~"};
     }},
    {"long_prefix", "[output]\nfilename_prefix = \"" + prefix64 + "\"",
     [](Config& c) { c.output.filename_prefix = prefix64; }},
    {"nesting_inside_strings_and_comments",
     "port = \"" + DOTTED + "\" # " + DOTTED + "\n[output]\ndirectory = '''\n" + brackets + "'''",
     [](Config& c) {
         c.port = DOTTED;
         c.output.directory = brackets;
     }},
    {"size_at_bound", "port = \"" + longest_port + "\"\n", [](Config& c) { c.port = longest_port; }},
    {"ipv6_bridge", "[connection]\ntcp_address = \"[::1]:7355\"",
     [](Config& c) { c.connection.tcp_address = "[::1]:7355"; }},
};

void PrintTo(const Accepted& a, std::ostream* os) { *os << a.name; }

class Accepts : public testing::TestWithParam<Accepted> {};

TEST_P(Accepts, YieldsDefaultsWithEdits) {
    const Accepted& a = GetParam();
    Config expected;
    a.edit(expected);
    auto result = load_config_text(a.text);
    ASSERT_TRUE(result.has_value()) << result.error().display();
    EXPECT_EQ(*result, expected);
}

INSTANTIATE_TEST_SUITE_P(Config, Accepts, testing::ValuesIn(ACCEPTED),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

TEST(Clone, CopyIsIndependent) {
    Config original;
    Config copy = original.clone();
    copy.ui.bindings.zoom_in.clear();
    copy.port = "/dev/ttyUSB1";
    EXPECT_EQ(original, Config{});
    EXPECT_NE(copy, original);
}

struct Address {
    const char* text;
    std::optional<std::uint16_t> port;
};

const Address ADDRESSES[] = {
    {"127.0.0.1:7355", 7355},
    {"0.0.0.0:1", 1},
    {"1.2.3.4:65535", 65535},
    {"1.2.3.4:0080", 80},
    {"1.2.3.4:0", 0},
    {"[::1]:80", 80},
    {"[::]:9", 9},
    {"[1:2:3:4:5:6:7:8]:1", 1},
    {"[ABCD::ef01]:2", 2},
    {"[::ffff:1.2.3.4]:5", 5},
    {"[1:2:3:4:5:6:1.2.3.4]:5", 5},
    {"[fe80::1%2]:80", 80},
    {"1.2.3.4:65536", std::nullopt},
    {"01.2.3.4:80", std::nullopt},
    {"256.1.1.1:80", std::nullopt},
    {"1.2.3:80", std::nullopt},
    {"1.2.3.4", std::nullopt},
    {"1.2.3.4:", std::nullopt},
    {"1.2.3.4:+80", std::nullopt},
    {" 1.2.3.4:80", std::nullopt},
    {"localhost:80", std::nullopt},
    {"::1:80", std::nullopt},
    {"[::1]", std::nullopt},
    {"[1:2:3:4:5:6:7:8:9]:1", std::nullopt},
    {"[1::2::3]:1", std::nullopt},
    {"[12345::]:1", std::nullopt},
    {"[1.2.3.4::]:1", std::nullopt},
    {"[fe80::1%]:80", std::nullopt},
    {"", std::nullopt},
};

TEST(SocketAddress, NumericFormsOnly) {
    for (const Address& a : ADDRESSES) EXPECT_EQ(numeric_socket_port(a.text), a.port) << a.text;
}

// What the connection is made to: the address bytes in network order.
TEST(SocketAddress, ParsedAddress) {
    using Family = NumericSocketAddress::Family;
    struct Parsed {
        const char* text;
        NumericSocketAddress address;
    } cases[] = {
        {"10.200.3.255:7355", {Family::V4, {10, 200, 3, 255}, 0, 7355}},
        {"[::]:9", {Family::V6, {}, 0, 9}},
        {"[1:2:3:4:5:6:7:8]:1", {Family::V6, {0, 1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 0, 7, 0, 8}, 0, 1}},
        {"[ABCD::ef01]:2", {Family::V6, {0xAB, 0xCD, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xEF, 0x01}, 0, 2}},
        {"[1::]:2", {Family::V6, {0, 1}, 0, 2}},
        {"[::ffff:1.2.3.4]:5", {Family::V6, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 1, 2, 3, 4}, 0, 5}},
        {"[1:2:3:4:5:6:1.2.3.4]:5", {Family::V6, {0, 1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 1, 2, 3, 4}, 0, 5}},
        {"[fe80::1%0042]:80", {Family::V6, {0xFE, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, 42, 80}},
    };
    for (const Parsed& c : cases) EXPECT_EQ(parse_numeric_socket_address(c.text), c.address) << c.text;
}

}  // namespace
}  // namespace vorlix::config
