#pragma once
// What a requested acquisition may be: the plain numeric check shared by the
// menu and both workers, and the per-model limits that choose a scan profile.
// Failures are message texts; callers wrap them as an invalid scan request.

#include <cstdint>
#include <expected>
#include <optional>
#include <string>

#include "base/limits.hpp"
#include "instrument/types.hpp"

namespace vorlix::instrument {

using base::MAX_SCAN_POINTS;
using base::MAX_SCAN_REPEAT;
using base::MIN_SCAN_POINTS;
using base::MIN_SCAN_REPEAT;

// lower <= value <= upper.
constexpr bool in_range_inclusive(std::uint64_t value, std::uint64_t lower, std::uint64_t upper) {
    return lower <= value && value <= upper;
}

// Points and repeat first, then the order of the two frequencies.
std::expected<void, std::string> validate_request(const ScanRequest& request);

// Checks the range against the detected model and yields the sweep's
// settings; the first failing limit decides the message.
std::expected<ScanProfile, std::string> select_scan_profile(bool is_ultra,
                                                            std::optional<HardwareRevision> revision,
                                                            const ScanRequest& request,
                                                            bool enable_ultra_mode);

}  // namespace vorlix::instrument
