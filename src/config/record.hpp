#pragma once
// The whole configuration in one plain record. Field order is the TOML key
// order; config/schema.hpp lists the fields in this order with their keys
// and kinds for the typed read and the write-back.

#include <cstdint>
#include <string>
#include <vector>

namespace vorlix::config {

enum class Backend : std::uint8_t { Serial = 0, Tcp = 1 };
enum class DeviceModel : std::uint8_t { Auto = 0, Basic = 1, Ultra = 2 };
enum class FrequencyAxis : std::uint8_t { Inclusive = 0, Firmware = 1 };

struct ConnectionConfig {
    Backend backend = Backend::Serial;
    std::string tcp_address = "127.0.0.1:7355";
    std::uint64_t tcp_timeout_ms = 3000;
    bool operator==(const ConnectionConfig&) const = default;
};

struct SerialConfig {
    std::uint64_t timeout_ms = 3000;
    std::uint64_t command_delay_ms = 20;
    std::uint64_t settle_delay_ms = 200;
    std::uint64_t scan_delay_ms = 2000;
    std::uint64_t max_response_bytes = 65536;
    std::vector<std::uint32_t> baudrates = {19200,  38400,  57600,   115200,  230400,
                                            460800, 921600, 1843200, 2000000, 3000000};
    std::vector<std::string> preferred_ports = {"/dev/ttyACM0", "COM3", "COM5", "/dev/ttyS16"};
    bool operator==(const SerialConfig&) const = default;
};

struct ScanConfig {
    DeviceModel device_model = DeviceModel::Auto;
    bool enable_ultra_mode = false;
    bool auto_zero_offset = true;
    std::uint16_t zero_offset = 128;
    std::uint64_t frequency_step_mhz = 10;
    std::uint64_t points_step = 100;
    std::uint64_t min_points = 101;
    std::uint64_t max_points = 1000001;
    std::uint64_t max_repeat = 1000;
    FrequencyAxis frequency_axis = FrequencyAxis::Firmware;
    bool legacy_pre_scan = true;
    bool operator==(const ScanConfig&) const = default;
};

struct PlotBindings {
    std::vector<std::string> zoom_in = {"+", "="};
    std::vector<std::string> zoom_out = {"-"};
    std::vector<std::string> pan_left = {"left", "h"};
    std::vector<std::string> pan_right = {"right", "l"};
    std::vector<std::string> reset_view = {"0", "home"};
    bool operator==(const PlotBindings&) const = default;
};

struct UiConfig {
    std::uint64_t poll_interval_ms = 16;
    double chart_min_dbm = -128.0;
    double chart_max_dbm = 0.0;
    PlotBindings bindings;
    bool operator==(const UiConfig&) const = default;
};

struct OutputConfig {
    std::string directory = ".";
    std::string filename_prefix = "scan";
    bool include_header = false;
    bool operator==(const OutputConfig&) const = default;
};

struct LoggingConfig {
    std::string filter = "info";
    std::string directory = ".";
    bool operator==(const LoggingConfig&) const = default;
};

// Default member values mirror the embedded default text; the load path never
// relies on them (it always reads that text), they only make tests and
// fixtures short.
struct Config {
    std::string port;
    std::uint32_t baudrate = 115200;
    std::uint64_t start_frequency = 240;
    std::uint64_t stop_frequency = 800;
    std::uint64_t points = 10001;
    std::uint64_t repeat = 1;
    ConnectionConfig connection;
    SerialConfig serial;
    ScanConfig scan;
    UiConfig ui;
    OutputConfig output;
    LoggingConfig logging;

    // Every member is a value type, so a copy shares nothing with its source.
    [[nodiscard]] Config clone() const { return *this; }
    bool operator==(const Config&) const = default;
};

}  // namespace vorlix::config
