#include "instrument/profile.hpp"

namespace vorlix::instrument {

namespace {

constexpr std::string_view LOW_INPUT = "mode low input";
constexpr std::string_view HIGH_INPUT = "mode high input";
constexpr std::uint16_t BASIC_ZERO_OFFSET = 128;
constexpr std::uint16_t ULTRA_ZERO_OFFSET = 174;

constexpr std::uint64_t ULTRA_MIN_START_HZ = 100'000;
constexpr std::uint64_t ZS406_CEILING_HZ = 900'000'000;
constexpr std::uint64_t ULTRA_CEILING_HZ = 800'000'000;
constexpr std::uint64_t ZS406_ULTRA_MODE_MAX_HZ = 5'400'000'000;

constexpr std::uint64_t BASIC_MAX_STOP_HZ = 960'000'000;
// The Basic switches to its high input at this stop frequency, and that
// input cannot reach below the high-input start.
constexpr std::uint64_t BASIC_HIGH_INPUT_FROM_HZ = 350'000'000;
constexpr std::uint64_t BASIC_HIGH_INPUT_MIN_START_HZ = 240'000'000;

std::expected<ScanProfile, std::string> ultra_profile(std::optional<HardwareRevision> revision,
                                                      const ScanRequest& request, bool enable_ultra_mode) {
    if (request.start_hz < ULTRA_MIN_START_HZ) {
        return std::unexpected("tinySA Ultra frequencies must start at or above 0.1 MHz");
    }
    const bool zs406 = revision == HardwareRevision::ZS406;
    const std::uint64_t ceiling = zs406 ? ZS406_CEILING_HZ : ULTRA_CEILING_HZ;
    if (request.stop_hz <= ceiling) {
        return ScanProfile{LOW_INPUT, ULTRA_ZERO_OFFSET, true, false};
    }
    if (!zs406) {
        return std::unexpected("extended acquisition currently requires an explicitly detected ZS406");
    }
    if (!enable_ultra_mode) {
        return std::unexpected("ZS406 scans above 900 MHz require scan.enable_ultra_mode = true");
    }
    if (request.stop_hz > ZS406_ULTRA_MODE_MAX_HZ) {
        return std::unexpected("ZS406 support stops at 5.4 GHz; harmonic mode is not supported");
    }
    return ScanProfile{LOW_INPUT, ULTRA_ZERO_OFFSET, true, true};
}

std::expected<ScanProfile, std::string> basic_profile(const ScanRequest& request) {
    if (request.stop_hz > BASIC_MAX_STOP_HZ) {
        return std::unexpected("tinySA Basic frequencies must be within 0\u2013960 MHz");
    }
    if (request.stop_hz < BASIC_HIGH_INPUT_FROM_HZ) {
        return ScanProfile{LOW_INPUT, BASIC_ZERO_OFFSET, false, false};
    }
    if (request.start_hz < BASIC_HIGH_INPUT_MIN_START_HZ) {
        return std::unexpected("a Basic span crossing 350 MHz must start at or above 240 MHz");
    }
    return ScanProfile{HIGH_INPUT, BASIC_ZERO_OFFSET, false, false};
}

}  // namespace

std::expected<void, std::string> validate_request(const ScanRequest& request) {
    if (!in_range_inclusive(request.points, MIN_SCAN_POINTS, MAX_SCAN_POINTS) ||
        !in_range_inclusive(request.repeat, MIN_SCAN_REPEAT, MAX_SCAN_REPEAT)) {
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
