// Every fault a configuration file can hold, from the text the user writes to
// the exact text the user reads.

#include <gtest/gtest.h>

#include <cstddef>
#include <string>

#include "config/load.hpp"
#include "config/nesting_text.hpp"

namespace vorlix::config {
namespace {

struct Case {
    const char* name;
    std::string text;
    std::string message;  // the ConfigError display text
};

const std::string TOP_LEVEL_FIELDS =
    "one of `port`, `baudrate`, `start_frequency`, `stop_frequency`, `points`, `repeat`, `connection`, "
    "`serial`, `scan`, `ui`, `output`, `logging`";

using testing_text::parts;
using testing_text::times;

// The parse error of a text nesting too deep, at a 1-based line and column
// of a line of up to nine lines; `mark` blanks before the "^" when the line
// is shown cut.
std::string too_deep(std::size_t line, std::size_t column, const std::string& line_text,
                     std::size_t mark = 0) {
    return "invalid configuration: TOML parse error at line " + std::to_string(line) + ", column " +
           std::to_string(column) + "\n  |\n" + std::to_string(line) + " | " + line_text + "\n  |" +
           std::string(mark == 0 ? column : mark, ' ') +
           "^\nexceeded maximum nesting depth of 512 (table headers, dotted keys, arrays and inline "
           "tables)\n";
}

// A line too long to show whole: the bytes [first, last) of it, with "…"
// where it goes on.
std::string cut(const std::string& line, std::size_t first, std::size_t last = std::string::npos) {
    return (first > 0 ? "…" : "") + line.substr(first, last - first) + (last < line.size() ? "…" : "");
}

// Arrays of tables, each inside the one before, from the middle of the
// bound to its end: a tree half as deep again as the bound, within the
// size bound.
std::string nested_arrays_of_tables() {
    std::string out;
    for (std::size_t n = 256; n < 512; ++n) out += "[[" + parts(n) + "]]\n";
    return out;
}

const Case CASES[] = {
    // Syntax errors come first, wherever the other faults are.
    {"syntax_before_unknown_key", "aaa = 1\nb = ",
     "invalid configuration: TOML parse error at line 2, column 5\n  |\n2 | b = \n  |     ^\n"
     "Error while parsing key-value pair: encountered end-of-file\n"},
    // Sorted walk order decides between several faults.
    {"bad_baudrate_sorts_before_zzz", "zzz = 1\nbaudrate = -1",
     "invalid configuration: invalid value: integer `-1`, expected u32\nin `baudrate`\n"},
    // Nesting: bounded before the parser sees the text, and after any earlier syntax error.
    {"key_at_depth_bound", parts(512) + " = 1",
     "invalid configuration: unknown field `a`, expected " + TOP_LEVEL_FIELDS + "\n"},
    {"key_past_depth_bound", parts(513) + " = 1", too_deep(1, 1025, parts(513) + " = 1")},
    // A line past 2048 columns is shown as 2048 of them around the fault.
    {"key_of_50000_parts", parts(50000) + " = 1", too_deep(1, 1025, cut(parts(50000) + " = 1", 0, 2048))},
    {"header_of_50000_parts", "[" + parts(50000) + "]",
     too_deep(1, 1026, cut("[" + parts(50000) + "]", 1, 2049))},
    {"key_adds_to_header", "[" + parts(300) + "]\r\n" + parts(300) + " = 1",
     too_deep(2, 425, parts(300) + " = 1")},
    {"arrays_add_to_key", "[serial]\n" + parts(500) + " = " + times("[", 20),
     too_deep(2, 1014, parts(500) + " = " + times("[", 20))},
    {"deepest_tree_allowed", nested_arrays_of_tables(),
     "invalid configuration: unknown field `a`, expected " + TOP_LEVEL_FIELDS + "\n"},
    {"byte_order_mark_before_header", "\xEF\xBB\xBF[" + parts(50000) + "]",
     too_deep(1, 1026, cut("\xEF\xBB\xBF[" + parts(50000) + "]", 3, 2051))},
    {"byte_order_mark_takes_no_column", "\xEF\xBB\xBF" + parts(513) + " = 1",
     too_deep(1, 1025, "\xEF\xBB\xBF" + parts(513) + " = 1")},
    {"columns_count_characters", "\"\u00e9\u00e9\"." + parts(600) + " = 1",
     too_deep(1, 1028, "\"\u00e9\u00e9\"." + parts(600) + " = 1")},
    {"earlier_syntax_error_wins", "b = ]\n" + parts(50000) + " = 1",
     "invalid configuration: TOML parse error at line 1, column 5\n  |\n1 | b = ]\n  |     ^\n"
     "Error while parsing key-value pair: expected value, saw ']'\n"},
    {"earlier_error_on_the_same_line_wins", "x = {a = 1 2, " + parts(600) + " = 1}",
     "invalid configuration: TOML parse error at line 1, column 12\n  |\n1 | x = {a = 1 2, " + parts(600) +
         " = 1}\n  |            ^\nError while parsing inline table: expected comma or closing '}', "
         "saw "
         "'2'\n"},
    // The bound falls inside the two bytes of the last letter but one.
    {"size_past_bound", "port = \"" + std::string(256 * 1024 - 9, 'x') + "\u00e9\"\n",
     "invalid configuration: TOML parse error at line 1, column " + std::to_string(256 * 1024) +
         "\n  |\n1 | " + cut("port = \"" + std::string(256 * 1024 - 9, 'x') + "\u00e9\"", 260097) + "\n  |" +
         std::string(2048, ' ') + "^\nexceeded maximum size of 262144 bytes\n"},
    // A message cut where it would pass 4096 bytes.
    {"long_unknown_key", "\"" + std::string(5000, 'k') + "\" = 1",
     "invalid configuration: unknown field `" + std::string(4096 - 15, 'k') + "…\n"},
    // Control characters are shown escaped, the mark still under the fault.
    {"control_characters_are_escaped", "a = 1\x1b[2J\x07",
     "invalid configuration: TOML parse error at line 1, column 6\n  |\n1 | a = 1\\u{1b}[2J\\u{7}\n  "
     "|      ^\n"
     "Error while parsing decimal integer: expected digit, saw '\\u001B'\n"},
    {"escapes_move_the_mark", "a\t= 1 2",
     "invalid configuration: TOML parse error at line 1, column 7\n  |\n1 | a\\t= 1 2\n  |        ^\n"
     "Error while parsing key-value pair: expected a comment or whitespace, saw '2'\n"},
    {"later_syntax_error_loses", parts(600) + " = 1\nb = ]", too_deep(1, 1025, parts(600) + " = 1")},
    {"nested_arrays_stop_at_256", "x = " + times("[", 300) + times("]", 300),
     "invalid configuration: TOML parse error at line 1, column 261\n  |\n1 | x = " + times("[", 300) +
         times("]", 300) + "\n  |" + std::string(261, ' ') +
         "^\nError while parsing value: exceeded maximum nested value depth of 256 "
         "(TOML_MAX_NESTED_VALUES)\n"},
    {"nested_inline_tables_stop_at_256", "x = " + times("{a = ", 300) + "1" + times("}", 300),
     "invalid configuration: TOML parse error at line 1, column 1285\n  |\n1 | x = " + times("{a = ", 300) +
         "1" + times("}", 300) + "\n  |" + std::string(1285, ' ') +
         "^\nError while parsing value: exceeded maximum nested value depth of 256 "
         "(TOML_MAX_NESTED_VALUES)\n"},
    {"aaa_sorts_before_bad_baudrate", "aaa = 1\nbaudrate = -1",
     "invalid configuration: unknown field `aaa`, expected one of `port`, `baudrate`, `start_frequency`, "
     "`stop_frequency`, `points`, `repeat`, `connection`, `serial`, `scan`, `ui`, `output`, `logging`\n"},
    {"unknown_key_in_scan", "[scan]\nfoo = 1\nzzz = 2",
     "invalid configuration: unknown field `foo`, expected one of `device_model`, `enable_ultra_mode`, "
     "`auto_zero_offset`, `zero_offset`, `frequency_step_mhz`, `points_step`, `min_points`, `max_points`, "
     "`max_repeat`, `frequency_axis`, `legacy_pre_scan`\nin `scan`\n"},
    {"auto_zero_offset_sorts_before_foo", "[scan]\nfoo = 1\nauto_zero_offset = 1",
     "invalid configuration: invalid type: integer `1`, expected a boolean\nin `scan.auto_zero_offset`\n"},
    {"serial_keys_sorted", "[serial]\ntimeout_ms = -1\nbaudrates = 5",
     "invalid configuration: invalid type: integer `5`, expected a sequence\nin `serial.baudrates`\n"},
    {"two_name_list", "[logging]\nlevel = 1",
     "invalid configuration: unknown field `level`, expected `filter` or `directory`\nin `logging`\n"},
    {"case_sensitive_key", "[connection]\nBackend = \"tcp\"",
     "invalid configuration: unknown field `Backend`, expected one of `backend`, `tcp_address`, "
     "`tcp_timeout_ms`\nin `connection`\n"},
    // Value descriptions.
    {"float_keeps_point", "[serial]\ntimeout_ms = 3000.0",
     "invalid configuration: invalid type: floating point `3000.0`, expected u64\nin `serial.timeout_ms`\n"},
    {"float_fraction", "points = 1.5",
     "invalid configuration: invalid type: floating point `1.5`, expected usize\nin `points`\n"},
    {"float_plain_decimal", "points = 1e20",
     "invalid configuration: invalid type: floating point `100000000000000000000.0`, expected usize\n"
     "in `points`\n"},
    {"float_shortest_digits_padded", "points = 123456789012345678901234.0",
     "invalid configuration: invalid type: floating point `123456789012345690000000.0`, expected usize\n"
     "in `points`\n"},
    {"float_inf", "points = -inf",
     "invalid configuration: invalid type: floating point `-inf`, expected usize\nin `points`\n"},
    {"float_nan", "points = nan",
     "invalid configuration: invalid type: floating point `NaN`, expected usize\nin `points`\n"},
    {"integer_for_string", "port = 5",
     "invalid configuration: invalid type: integer `5`, expected a string\nin `port`\n"},
    {"string_debug_form", "[scan]\nzero_offset = \"a\\\"b\\n\"",
     "invalid configuration: invalid type: string \"a\\\"b\\n\", expected u16\nin `scan.zero_offset`\n"},
    {"boolean_for_float", "[ui]\nchart_min_dbm = true",
     "invalid configuration: invalid type: boolean `true`, expected f64\nin `ui.chart_min_dbm`\n"},
    {"datetime_as_string", "points = 1979-05-27",
     "invalid configuration: invalid type: string \"1979-05-27\", expected usize\nin `points`\n"},
    {"array_for_path", "[output]\ndirectory = []",
     "invalid configuration: invalid type: sequence, expected path string\nin `output.directory`\n"},
    {"table_for_sequence", "[serial]\npreferred_ports = {}",
     "invalid configuration: invalid type: map, expected a sequence\nin `serial.preferred_ports`\n"},
    {"number_for_table", "serial = 5",
     "invalid configuration: invalid type: integer `5`, expected struct SerialConfig\nin `serial`\n"},
    {"text_for_table", "logging = \"x\"",
     "invalid configuration: invalid type: string \"x\", expected struct LoggingConfig\nin `logging`\n"},
    // Integer widths.
    {"u16_overflow", "[scan]\nzero_offset = 65536",
     "invalid configuration: invalid value: integer `65536`, expected u16\nin `scan.zero_offset`\n"},
    {"u32_overflow", "baudrate = 4294967296",
     "invalid configuration: invalid value: integer `4294967296`, expected u32\nin `baudrate`\n"},
    {"sequence_element", "[serial]\nbaudrates = [9600, -1]",
     "invalid configuration: invalid value: integer `-1`, expected u32\nin `serial.baudrates`\n"},
    {"negative_u64", "[ui]\npoll_interval_ms = -5",
     "invalid configuration: invalid value: integer `-5`, expected u64\nin `ui.poll_interval_ms`\n"},
    {"binding_element", "[ui.bindings]\nzoom_in = [\"a\", 1]",
     "invalid configuration: invalid type: integer `1`, expected a string\nin `ui.bindings.zoom_in`\n"},
    // Enumerations in every form.
    {"capitalised_variant", "[connection]\nbackend = \"TCP\"",
     "invalid configuration: unknown variant `TCP`, expected `serial` or `tcp`\nin `connection.backend`\n"},
    {"three_variants", "[scan]\ndevice_model = \"Auto\"",
     "invalid configuration: unknown variant `Auto`, expected one of `auto`, `basic`, `ultra`\n"
     "in `scan.device_model`\n"},
    {"integer_variant", "[connection]\nbackend = 1",
     "invalid configuration: invalid type: unit variant, expected string only\nin `connection.backend`\n"},
    {"array_variant", "[scan]\nfrequency_axis = []",
     "invalid configuration: invalid type: unit variant, expected string only\nin `scan.frequency_axis`\n"},
    {"empty_variant_table", "[connection]\nbackend = {}",
     "invalid configuration: wanted exactly 1 element, found 0 elements\nin `connection.backend`\n"},
    {"two_key_variant_table", "[connection]\nbackend = {tcp = {}, serial = {}}",
     "invalid configuration: wanted exactly 1 element, more than 1 element\nin `connection.backend`\n"},
    {"unknown_variant_key", "[connection]\nbackend = {udp = {}}",
     "invalid configuration: unknown variant `udp`, expected `serial` or `tcp`\nin `connection.backend`\n"},
    {"variant_with_table_data", "[connection]\nbackend = {tcp = {a = 1}}",
     "invalid configuration: expected empty table\nin `connection.backend`\n"},
    {"variant_with_array_data", "[connection]\nbackend = {tcp = [1]}",
     "invalid configuration: expected empty array\nin `connection.backend`\n"},
    {"variant_with_scalar", "[connection]\nbackend = {tcp = 1.5}",
     "invalid configuration: expected table, found float\nin `connection.backend`\n"},
    // Positional form of a record.
    {"positional_too_long", "logging = [\"info\", \".\", \"x\"]",
     "invalid configuration: invalid length 3, expected fewer elements in array\nin `logging`\n"},
    {"positional_empty", "logging = []",
     "invalid configuration: invalid length 0, expected struct LoggingConfig with 2 elements\nin "
     "`logging`\n"},
    {"positional_element_fault", "logging = [1, \".\"]",
     "invalid configuration: invalid type: integer `1`, expected a string\nin `logging`\n"},
    {"array_of_tables_scan", "[[scan]]\ndevice_model = \"auto\"\nlegacy_pre_scan = true",
     "invalid configuration: wanted exactly 1 element, more than 1 element\nin `scan`\n"},
    // Validation, rule by rule, in order.
    {"empty_baudrates", "[serial]\nbaudrates = []",
     "invalid configuration: serial.baudrates must contain nonzero values"},
    {"zero_baudrate", "[serial]\nbaudrates = [0, 115200]",
     "invalid configuration: serial.baudrates must contain nonzero values"},
    {"duplicates_before_membership", "[serial]\nbaudrates = [9600, 9600]",
     "invalid configuration: serial.baudrates must not contain duplicates"},
    {"baudrate_not_listed", "[serial]\nbaudrates = [9600]",
     "invalid configuration: baudrate must be in serial.baudrates"},
    {"stop_below_10", "start_frequency = 0\nstop_frequency = 9",
     "invalid configuration: frequencies must be ordered in 0\u20135400 MHz, with stop at least 10 MHz"},
    {"start_after_stop", "start_frequency = 900",
     "invalid configuration: frequencies must be ordered in 0\u20135400 MHz, with stop at least 10 MHz"},
    {"stop_above_5400", "stop_frequency = 5401",
     "invalid configuration: frequencies must be ordered in 0\u20135400 MHz, with stop at least 10 MHz"},
    {"max_points_too_big", "[scan]\nmax_points = 1000002",
     "invalid configuration: scan point bounds must satisfy 2 <= min_points <= max_points <= 1000001"},
    {"min_points_1", "[scan]\nmin_points = 1",
     "invalid configuration: scan point bounds must satisfy 2 <= min_points <= max_points <= 1000001"},
    {"points_outside", "points = 100",
     "invalid configuration: points must be within scan.min_points and scan.max_points"},
    {"max_repeat_1001", "[scan]\nmax_repeat = 1001",
     "invalid configuration: repeat must be within 1..=scan.max_repeat, which cannot exceed 1000"},
    {"repeat_0", "repeat = 0",
     "invalid configuration: repeat must be within 1..=scan.max_repeat, which cannot exceed 1000"},
    {"frequency_step_0", "[scan]\nfrequency_step_mhz = 0",
     "invalid configuration: scan keyboard steps must be positive and within their bounds"},
    {"points_step_above_max", "[scan]\npoints_step = 1000002\nmax_points = 1000001",
     "invalid configuration: scan keyboard steps must be positive and within their bounds"},
    {"zero_offset_2048", "[scan]\nzero_offset = 2048",
     "invalid configuration: scan.zero_offset must fit the 16-bit fixed-point encoding (0..=2047)"},
    {"zero_offset_65535", "[scan]\nzero_offset = 65535",
     "invalid configuration: scan.zero_offset must fit the 16-bit fixed-point encoding (0..=2047)"},
    {"serial_timeout_0", "[serial]\ntimeout_ms = 0",
     "invalid configuration: serial.timeout_ms must be in 1..=600000"},
    {"tcp_timeout_big", "[connection]\ntcp_timeout_ms = 600001",
     "invalid configuration: connection.tcp_timeout_ms must be in 1..=600000"},
    {"tcp_port_0", "[connection]\ntcp_address = \"127.0.0.1:0\"",
     "invalid configuration: connection.tcp_address must be a numeric IP:port with a nonzero port"},
    {"tcp_host_name", "[connection]\ntcp_address = \"localhost:7355\"",
     "invalid configuration: connection.tcp_address must be a numeric IP:port with a nonzero port"},
    {"scan_delay_60001", "[serial]\nscan_delay_ms = 60001",
     "invalid configuration: serial command delays cannot exceed 60000 ms"},
    {"response_255", "[serial]\nmax_response_bytes = 255",
     "invalid configuration: serial.max_response_bytes must be in 256..=16777216"},
    {"poll_0", "[ui]\npoll_interval_ms = 0",
     "invalid configuration: ui.poll_interval_ms must be in 1..=1000"},
    {"equal_chart_bounds", "[ui]\nchart_min_dbm = 0",
     "invalid configuration: UI chart bounds must be finite and increasing"},
    {"infinite_chart_bound", "[ui]\nchart_max_dbm = inf",
     "invalid configuration: UI chart bounds must be finite and increasing"},
    {"empty_binding_list", "[ui.bindings]\nreset_view = []",
     "invalid configuration: each UI plot action must have at least one binding"},
    {"q_reserved", "[ui.bindings]\nzoom_out = [\"q\"]",
     "invalid configuration: UI plot bindings must be one printable character or left/right/home; q is "
     "reserved"},
    {"capitalised_word", "[ui.bindings]\npan_left = [\"Left\"]",
     "invalid configuration: UI plot bindings must be one printable character or left/right/home; q is "
     "reserved"},
    {"empty_binding", "[ui.bindings]\nzoom_out = [\"\"]",
     "invalid configuration: UI plot bindings must be one printable character or left/right/home; q is "
     "reserved"},
    {"c1_control", "[ui.bindings]\nzoom_out = [\"\\u0085\"]",
     "invalid configuration: UI plot bindings must be one printable character or left/right/home; q is "
     "reserved"},
    {"del_binding", "[ui.bindings]\nzoom_out = [\"\\u007f\"]",
     "invalid configuration: UI plot bindings must be one printable character or left/right/home; q is "
     "reserved"},
    {"last_c1_binding", "[ui.bindings]\nzoom_out = [\"\\u009f\"]",
     "invalid configuration: UI plot bindings must be one printable character or left/right/home; q is "
     "reserved"},
    {"tab_binding", "[ui.bindings]\nzoom_out = [\"\\t\"]",
     "invalid configuration: UI plot bindings must be one printable character or left/right/home; q is "
     "reserved"},
    {"two_characters", "[ui.bindings]\nzoom_out = [\"up\"]",
     "invalid configuration: UI plot bindings must be one printable character or left/right/home; q is "
     "reserved"},
    {"overlap_within_list", "[ui.bindings]\nzoom_out = [\"-\", \"-\"]",
     "invalid configuration: UI plot bindings must not overlap"},
    {"overlap_across_actions", "[ui.bindings]\nzoom_in = [\"h\"]",
     "invalid configuration: UI plot bindings must not overlap"},
    {"overlap_before_later_form_fault", "[ui.bindings]\nzoom_in = [\"-\"]\npan_left = [\"xy\"]",
     "invalid configuration: UI plot bindings must not overlap"},
    {"prefix_65",
     "[output]\nfilename_prefix = \"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\"",
     "invalid configuration: output.filename_prefix must contain 1\u201364 ASCII letters, digits, "
     "underscores or hyphens"},
    {"prefix_dot", "[output]\nfilename_prefix = \"a.b\"",
     "invalid configuration: output.filename_prefix must contain 1\u201364 ASCII letters, digits, "
     "underscores or hyphens"},
    {"empty_log_directory", "[logging]\ndirectory = \"\"",
     "invalid configuration: output and logging directories must not be empty"},
    {"blank_filter", "[logging]\nfilter = \" \\t\\u3000\"",
     "invalid configuration: logging.filter must not be empty"},
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class Messages : public testing::TestWithParam<Case> {};

TEST_P(Messages, ExactText) {
    const Case& c = GetParam();
    auto result = load_config_text(c.text);
    ASSERT_FALSE(result.has_value()) << c.text;
    EXPECT_EQ(result.error().display(), c.message);
}

INSTANTIATE_TEST_SUITE_P(Config, Messages, testing::ValuesIn(CASES),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

}  // namespace
}  // namespace vorlix::config
