#include "instrument/profile.hpp"

namespace vorlix::instrument {

namespace {

constexpr std::string_view LOW_INPUT = "mode low input";
constexpr std::string_view HIGH_INPUT = "mode high input";
constexpr std::uint16_t basic_zero_offset = 128;
constexpr std::uint16_t ultra_zero_offset = 174;

constexpr std::uint64_t ultra_min_start_hz = 100'000;
constexpr std::uint64_t zs406_ceiling_hz = 900'000'000;
constexpr std::uint64_t ultra_ceiling_hz = 800'000'000;
constexpr std::uint64_t zs406_ultra_mode_max_hz = 5'400'000'000;

constexpr std::uint64_t basic_max_stop_hz = 960'000'000;
// The Basic switches to its high input at this stop frequency, and that
// input cannot reach below the high-input start.
constexpr std::uint64_t basic_high_input_from_hz = 350'000'000;
constexpr std::uint64_t basic_high_input_min_start_hz = 240'000'000;

std::expected<ScanProfile, std::string> ultra_profile(std::optional<HardwareRevision> revision,
                                                      const ScanRequest& request,
                                                      bool enable_ultra_mode) {
    if (request.start_hz < ultra_min_start_hz) {
        return std::unexpected("tinySA Ultra frequencies must start at or above 0.1 MHz");
    }
    const bool zs406 = revision == HardwareRevision::ZS406;
    const std::uint64_t ceiling = zs406 ? zs406_ceiling_hz : ultra_ceiling_hz;
    if (request.stop_hz <= ceiling) {
        return ScanProfile{LOW_INPUT, ultra_zero_offset, true, false};
    }
    if (!zs406) {
        return std::unexpected("extended acquisition currently requires an explicitly detected ZS406");
    }
    if (!enable_ultra_mode) {
        return std::unexpected("ZS406 scans above 900 MHz require scan.enable_ultra_mode = true");
    }
    if (request.stop_hz > zs406_ultra_mode_max_hz) {
        return std::unexpected("ZS406 support stops at 5.4 GHz; harmonic mode is not supported");
    }
    return ScanProfile{LOW_INPUT, ultra_zero_offset, true, true};
}

std::expected<ScanProfile, std::string> basic_profile(const ScanRequest& request) {
    if (request.stop_hz > basic_max_stop_hz) {
        return std::unexpected("tinySA Basic frequencies must be within 0\u2013960 MHz");
    }
    if (request.stop_hz < basic_high_input_from_hz) {
        return ScanProfile{LOW_INPUT, basic_zero_offset, false, false};
    }
    if (request.start_hz < basic_high_input_min_start_hz) {
        return std::unexpected("a Basic span crossing 350 MHz must start at or above 240 MHz");
    }
    return ScanProfile{HIGH_INPUT, basic_zero_offset, false, false};
}

}  // namespace

std::expected<void, std::string> validate_request(const ScanRequest& request) {
    if (!in_range_inclusive(request.points, min_scan_points, max_scan_points) ||
        !in_range_inclusive(request.repeat, min_scan_repeat, max_scan_repeat)) {
        return std::unexpected("points must be 2..=1000001 and repeat 1..=1000");
    }
    if (request.start_hz > request.stop_hz) {
        return std::unexpected("start frequency must not exceed stop frequency");
    }
    return {};
}

std::expected<ScanProfile, std::string> select_scan_profile(bool is_ultra,
                                                            std::optional<HardwareRevision> revision,
                                                            const ScanRequest& request,
                                                            bool enable_ultra_mode) {
    if (auto checked = validate_request(request); !checked) {
        return std::unexpected(std::move(checked.error()));
    }
    return is_ultra ? ultra_profile(revision, request, enable_ultra_mode) : basic_profile(request);
}

}  // namespace vorlix::instrument
