#include "config/validate.hpp"

#include <algorithm>
#include <cmath>
#include <string_view>
#include <vector>

#include "config/socket_address.hpp"
#include "base/limits.hpp"
#include "base/text.hpp"

namespace vorlix::config {

namespace {

using base::MAX_FREQUENCY_MHZ;
constexpr std::uint64_t MAX_TIMEOUT_MS = 600000;

bool is_word_binding(std::string_view b) { return b == "left" || b == "right" || b == "home"; }

// One printable character (not a C0 or C1 control, not DEL), or a key word;
// "q" is kept for quitting.
bool binding_form_ok(std::string_view b) {
    if (!is_word_binding(b)) {
        std::size_t pos = 0;
        const auto c = base::decode_utf8(b, pos);
        if (!c || pos != b.size()) return false;
        if (*c < 32 || (*c >= 127 && *c <= 159)) return false;
    }
    return b != "q";
}

bool prefix_ok(std::string_view prefix) {
    if (prefix.empty() || prefix.size() > 64) return false;
    return std::all_of(prefix.begin(), prefix.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
               c == '-';
    });
}

// The message of the first binding rule broken, walking the actions in
// their fixed order; nullptr when all bindings are fine.
const char* check_bindings(const PlotBindings& b) {
    const std::vector<std::string>* actions[] = {&b.zoom_in, &b.zoom_out, &b.pan_left, &b.pan_right,
                                                 &b.reset_view};
    for (const auto* list : actions) {
        if (list->empty()) return "each UI plot action must have at least one binding";
    }
    std::vector<std::string_view> seen;
    for (const auto* list : actions) {
        for (const std::string& binding : *list) {
            if (!binding_form_ok(binding)) {
                return "UI plot bindings must be one printable character or left/right/home; q is reserved";
            }
            if (std::find(seen.begin(), seen.end(), binding) != seen.end()) {
                return "UI plot bindings must not overlap";
            }
            seen.push_back(binding);
        }
    }
    return nullptr;
}

// The message of the first rule that fails, or nullptr.
const char* first_failure(const Config& c) {
    const auto& baudrates = c.serial.baudrates;
    if (baudrates.empty() || std::find(baudrates.begin(), baudrates.end(), 0u) != baudrates.end()) {
        return "serial.baudrates must contain nonzero values";
    }
    std::vector<std::uint32_t> unique = baudrates;
    std::sort(unique.begin(), unique.end());
    if (std::unique(unique.begin(), unique.end()) != unique.end()) {
        return "serial.baudrates must not contain duplicates";
    }
    if (std::find(baudrates.begin(), baudrates.end(), c.baudrate) == baudrates.end()) {
        return "baudrate must be in serial.baudrates";
    }
    if (c.start_frequency > c.stop_frequency || c.stop_frequency < base::MIN_STOP_FREQUENCY_MHZ ||
        c.stop_frequency > MAX_FREQUENCY_MHZ) {
        return "frequencies must be ordered in 0\u20135400 MHz, with stop at least 10 MHz";
    }
    const auto& s = c.scan;
    if (s.min_points < base::MIN_SCAN_POINTS || s.min_points > s.max_points ||
        s.max_points > base::MAX_SCAN_POINTS) {
        return "scan point bounds must satisfy 2 <= min_points <= max_points <= 1000001";
    }
    if (c.points < s.min_points || c.points > s.max_points) {
        return "points must be within scan.min_points and scan.max_points";
    }
    if (s.max_repeat < base::MIN_SCAN_REPEAT || s.max_repeat > base::MAX_SCAN_REPEAT ||
        c.repeat < base::MIN_SCAN_REPEAT || c.repeat > s.max_repeat) {
        return "repeat must be within 1..=scan.max_repeat, which cannot exceed 1000";
    }
    if (s.frequency_step_mhz < 1 || s.frequency_step_mhz > MAX_FREQUENCY_MHZ || s.points_step < 1 ||
        s.points_step > s.max_points) {
        return "scan keyboard steps must be positive and within their bounds";
    }
    if (s.zero_offset > base::MAX_ZERO_OFFSET)
        return "scan.zero_offset must fit the 16-bit fixed-point encoding (0..=2047)";
    if (c.serial.timeout_ms < 1 || c.serial.timeout_ms > MAX_TIMEOUT_MS) {
        return "serial.timeout_ms must be in 1..=600000";
    }
    if (c.connection.tcp_timeout_ms < 1 || c.connection.tcp_timeout_ms > MAX_TIMEOUT_MS) {
        return "connection.tcp_timeout_ms must be in 1..=600000";
    }
    const auto port = numeric_socket_port(c.connection.tcp_address);
    if (!port || *port == 0) return "connection.tcp_address must be a numeric IP:port with a nonzero port";
    if (c.serial.command_delay_ms > 60000 || c.serial.settle_delay_ms > 60000 ||
        c.serial.scan_delay_ms > 60000) {
        return "serial command delays cannot exceed 60000 ms";
    }
    if (c.serial.max_response_bytes < 256 || c.serial.max_response_bytes > 16777216) {
        return "serial.max_response_bytes must be in 256..=16777216";
    }
    if (c.ui.poll_interval_ms < 1 || c.ui.poll_interval_ms > 1000)
        return "ui.poll_interval_ms must be in 1..=1000";
    if (!std::isfinite(c.ui.chart_min_dbm) || !std::isfinite(c.ui.chart_max_dbm) ||
        !(c.ui.chart_max_dbm > c.ui.chart_min_dbm)) {
        return "UI chart bounds must be finite and increasing";
    }
    if (const char* message = check_bindings(c.ui.bindings)) return message;
    if (!prefix_ok(c.output.filename_prefix)) {
        return "output.filename_prefix must contain 1\u201364 ASCII letters, digits, underscores or hyphens";
    }
    if (c.output.directory.empty() || c.logging.directory.empty()) {
        return "output and logging directories must not be empty";
    }
    if (base::trim_unicode_whitespace(c.logging.filter).empty()) return "logging.filter must not be empty";
    return nullptr;
}

}  // namespace

std::expected<void, ConfigError> validate_config(const Config& config) {
    if (const char* message = first_failure(config)) return std::unexpected(ConfigError::Validation{message});
    return {};
}

}  // namespace vorlix::config
