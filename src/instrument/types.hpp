#pragma once
// Plain values shared by the whole acquisition side: what one sweep point is,
// what an acquisition asks for, and what the instrument turned out to be.
// Header-only so the error types can name the family without a link cycle.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vorlix::instrument {

// One sweep point. A sweep is a sequence of these with nondecreasing
// frequencies.
struct Sample {
    double frequency_mhz = 0.0;
    double level_dbm = 0.0;
    bool operator==(const Sample&) const = default;
};

// The numbers of one acquisition, frequencies on the wire in Hz.
struct ScanRequest {
    std::uint64_t start_hz = 0;
    std::uint64_t stop_hz = 0;
    std::uint64_t points = 0;
    std::uint64_t repeat = 0;
    bool operator==(const ScanRequest&) const = default;
};

enum class InstrumentFamily : std::uint8_t { Basic = 0, Ultra = 1 };

// "tinySA Basic" / "tinySA Ultra family", as the user sees the family.
constexpr std::string_view display_name(InstrumentFamily family) {
    return family == InstrumentFamily::Ultra ? "tinySA Ultra family" : "tinySA Basic";
}

// "Basic" / "Ultra", as debug forms spell the family.
constexpr std::string_view debug_name(InstrumentFamily family) {
    return family == InstrumentFamily::Ultra ? "Ultra" : "Basic";
}

enum class HardwareRevision : std::uint8_t { ZS405 = 0, ZS406 = 1, ZS407 = 2 };

// The revision's own name, e.g. "ZS406"; display and debug forms agree.
constexpr std::string_view display_name(HardwareRevision revision) {
    switch (revision) {
        case HardwareRevision::ZS405: return "ZS405";
        case HardwareRevision::ZS406: return "ZS406";
        case HardwareRevision::ZS407: return "ZS407";
    }
    return "ZS405";
}

// What identification found. Both replies are kept exactly as received so
// the instrument description can show them.
struct DeviceIdentity {
    std::string version;
    std::string info;
    bool is_ultra = false;
    std::optional<HardwareRevision> revision;  // always empty for a Basic

    InstrumentFamily family() const { return is_ultra ? InstrumentFamily::Ultra : InstrumentFamily::Basic; }
    bool operator==(const DeviceIdentity&) const = default;
};

// Per-model settings of one sweep.
struct ScanProfile {
    std::string_view mode_command;  // "mode low input" or "mode high input", static text
    std::uint16_t zero_offset = 0;  // native raw-level offset in dB: 128 Basic, 174 Ultra
    bool ultra = false;             // the profile belongs to the Ultra family
    bool ultra_mode = false;        // the sweep reaches above the normal ceiling
    bool operator==(const ScanProfile&) const = default;
};

}  // namespace vorlix::instrument
