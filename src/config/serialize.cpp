#include "config/serialize.hpp"

#include <cstdint>
#include <cstdio>
#include <limits>
#include <string_view>
#include <vector>

#include "config/toml_value.hpp"
#include "base/text.hpp"

namespace vorlix::config {

namespace {

// Builds the text in record order; the first value TOML cannot hold stops
// it, so the error names the earliest such field.
class Writer {
public:
    std::string take() { return std::move(out_); }
    bool failed() const { return error_.has_value(); }
    TomlWriteError error() const { return *error_; }

    void header(std::string_view path) {
        out_ += "\n[";
        out_ += path;
        out_ += "]\n";
    }

    void text(std::string_view key, std::string_view value) {
        if (auto v = quoted(value, "string contains invalid UTF-8 characters")) line(key, *v);
    }
    void path(std::string_view key, std::string_view value) {
        if (auto v = quoted(value, "path contains invalid UTF-8 characters")) line(key, *v);
    }
    void integer(std::string_view key, std::uint64_t value) {
        if (value > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
            fail("out-of-range value for u64 type");
            return;
        }
        line(key, std::to_string(value));
    }
    void floating(std::string_view key, double value) { line(key, shortest_float(value, FloatStyle::Toml)); }
    void boolean(std::string_view key, bool value) { line(key, value ? "true" : "false"); }
    void word(std::string_view key, std::string_view value) { line(key, "\"" + std::string(value) + "\""); }

    void texts(std::string_view key, const std::vector<std::string>& values) {
        std::vector<std::string> items;
        for (const auto& v : values) {
            auto q = quoted(v, "string contains invalid UTF-8 characters");
            if (!q) return;
            items.push_back(std::move(*q));
        }
        array(key, items);
    }
    void integers(std::string_view key, const std::vector<std::uint32_t>& values) {
        std::vector<std::string> items;
        for (auto v : values) items.push_back(std::to_string(v));
        array(key, items);
    }

private:
    void fail(std::string message) {
        if (!error_) error_ = TomlWriteError(std::move(message));
    }

    void line(std::string_view key, std::string_view value) {
        if (failed()) return;
        out_ += key;
        out_ += " = ";
        out_ += value;
        out_ += '\n';
    }

    // Short arrays stay on the key's line; longer ones get one element per
    // line so that edits to the file show up as one-line changes.
    void array(std::string_view key, const std::vector<std::string>& items) {
        if (items.size() < 2) {
            line(key, items.empty() ? "[]" : "[" + items.front() + "]");
            return;
        }
        std::string value = "[";
        for (const auto& item : items) value += "\n    " + item + ",";
        value += "\n]";
        line(key, value);
    }

    std::optional<std::string> quoted(std::string_view value, const char* invalid_message) {
        if (failed()) return std::nullopt;
        if (!base::is_valid_utf8(value)) {
            fail(invalid_message);
            return std::nullopt;
        }
        std::string out = "\"";
        for (unsigned char c : value) {
            switch (c) {
                case '"': out += "\\\""; break;
                case '\\': out += "\\\\"; break;
                case '\b': out += "\\b"; break;
                case '\t': out += "\\t"; break;
                case '\n': out += "\\n"; break;
                case '\f': out += "\\f"; break;
                case '\r': out += "\\r"; break;
                default:
                    if (c < 0x20 || c == 0x7F) {
                        char buf[8];
                        std::snprintf(buf, sizeof buf, "\\u%04X", c);
                        out += buf;
                    } else {
                        out += static_cast<char>(c);
                    }
            }
        }
        return out + "\"";
    }

    std::string out_;
    std::optional<TomlWriteError> error_;
};

const char* backend_name(Backend b) { return b == Backend::Tcp ? "tcp" : "serial"; }
const char* device_model_name(DeviceModel m) {
    switch (m) {
        case DeviceModel::Basic: return "basic";
        case DeviceModel::Ultra: return "ultra";
        case DeviceModel::Auto: break;
    }
    return "auto";
}
const char* frequency_axis_name(FrequencyAxis a) { return a == FrequencyAxis::Inclusive ? "inclusive" : "firmware"; }

}  // namespace

std::expected<std::string, ConfigError> serialize_config(const Config& c) {
    Writer w;
    w.text("port", c.port);
    w.integer("baudrate", c.baudrate);
    w.integer("start_frequency", c.start_frequency);
    w.integer("stop_frequency", c.stop_frequency);
    w.integer("points", c.points);
    w.integer("repeat", c.repeat);

    w.header("connection");
    w.word("backend", backend_name(c.connection.backend));
    w.text("tcp_address", c.connection.tcp_address);
    w.integer("tcp_timeout_ms", c.connection.tcp_timeout_ms);

    w.header("serial");
    w.integer("timeout_ms", c.serial.timeout_ms);
    w.integer("command_delay_ms", c.serial.command_delay_ms);
    w.integer("settle_delay_ms", c.serial.settle_delay_ms);
    w.integer("scan_delay_ms", c.serial.scan_delay_ms);
    w.integer("max_response_bytes", c.serial.max_response_bytes);
    w.integers("baudrates", c.serial.baudrates);
    w.texts("preferred_ports", c.serial.preferred_ports);

    w.header("scan");
    w.word("device_model", device_model_name(c.scan.device_model));
    w.boolean("enable_ultra_mode", c.scan.enable_ultra_mode);
    w.boolean("auto_zero_offset", c.scan.auto_zero_offset);
    w.integer("zero_offset", c.scan.zero_offset);
    w.integer("frequency_step_mhz", c.scan.frequency_step_mhz);
    w.integer("points_step", c.scan.points_step);
    w.integer("min_points", c.scan.min_points);
    w.integer("max_points", c.scan.max_points);
    w.integer("max_repeat", c.scan.max_repeat);
    w.word("frequency_axis", frequency_axis_name(c.scan.frequency_axis));
    w.boolean("legacy_pre_scan", c.scan.legacy_pre_scan);

    w.header("ui");
    w.integer("poll_interval_ms", c.ui.poll_interval_ms);
    w.floating("chart_min_dbm", c.ui.chart_min_dbm);
    w.floating("chart_max_dbm", c.ui.chart_max_dbm);

    w.header("ui.bindings");
    w.texts("zoom_in", c.ui.bindings.zoom_in);
    w.texts("zoom_out", c.ui.bindings.zoom_out);
    w.texts("pan_left", c.ui.bindings.pan_left);
    w.texts("pan_right", c.ui.bindings.pan_right);
    w.texts("reset_view", c.ui.bindings.reset_view);

    w.header("output");
    w.path("directory", c.output.directory);
    w.text("filename_prefix", c.output.filename_prefix);
    w.boolean("include_header", c.output.include_header);

    w.header("logging");
    w.text("filter", c.logging.filter);
    w.path("directory", c.logging.directory);

    if (w.failed()) return std::unexpected(ConfigError::serialize(w.error()));
    return w.take();
}

}  // namespace vorlix::config
