#include "instrument/profile.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace vorlix::instrument {
namespace {

using R = HardwareRevision;
constexpr std::uint64_t MHz = 1'000'000;

ScanRequest range(std::uint64_t start_hz, std::uint64_t stop_hz) { return {start_hz, stop_hz, 101, 1}; }

TEST(ValidateRequest, PointsRepeatAndOrder) {
    const std::string counts = "points must be 2..=1000001 and repeat 1..=1000";
    const std::string order = "start frequency must not exceed stop frequency";
    struct Case {
        ScanRequest request;
        std::string message;  // empty: accepted
    };
    const Case cases[] = {
        {{0, 10, 2, 1}, ""},           {{0, 10, 1000001, 1000}, ""},
        {{10, 10, 101, 1}, ""},        {{0, 10, 1, 1}, counts},
        {{0, 10, 1000002, 1}, counts}, {{0, 10, 101, 0}, counts},
        {{0, 10, 101, 1001}, counts},  {{11, 10, 101, 1}, order},
        {{11, 10, 1, 1}, counts},  // the count check comes first
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.request.points) + " " +
                     testing::PrintToString(c.request.repeat));
        const auto result = validate_request(c.request);
        if (c.message.empty()) {
            EXPECT_TRUE(result.has_value()) << result.error();
        } else {
            ASSERT_FALSE(result.has_value());
            EXPECT_EQ(result.error(), c.message);
        }
    }
}

struct ProfileCase {
    const char* name;
    bool is_ultra;
    std::optional<HardwareRevision> revision;
    ScanRequest request;
    bool enable_ultra_mode;
    std::optional<ScanProfile> profile;
    std::string message;
};

const ScanProfile ULTRA_NORMAL{"mode low input", 174, true, false};
const ScanProfile ULTRA_EXTENDED{"mode low input", 174, true, true};
const ScanProfile BASIC_LOW{"mode low input", 128, false, false};
const ScanProfile BASIC_HIGH{"mode high input", 128, false, false};

const std::string NEEDS_ZS406 = "extended acquisition currently requires an explicitly detected ZS406";
const std::string NEEDS_FLAG = "ZS406 scans above 900 MHz require scan.enable_ultra_mode = true";
const std::string BEYOND_54 = "ZS406 support stops at 5.4 GHz; harmonic mode is not supported";
const std::string ULTRA_START = "tinySA Ultra frequencies must start at or above 0.1 MHz";
const std::string BASIC_RANGE = "tinySA Basic frequencies must be within 0\u2013960 MHz";
const std::string BASIC_CROSS = "a Basic span crossing 350 MHz must start at or above 240 MHz";

const ProfileCase PROFILE_CASES[] = {
    {"ultra_no_revision_at_ceiling", true, {}, range(100000, 800 * MHz), false, ULTRA_NORMAL, ""},
    {"ultra_no_revision_above", true, {}, range(100000, 800 * MHz + 1), true, {}, NEEDS_ZS406},
    {"zs405_above", true, R::ZS405, range(100000, 800 * MHz + 1), true, {}, NEEDS_ZS406},
    {"zs407_above", true, R::ZS407, range(100000, 900 * MHz), true, {}, NEEDS_ZS406},
    {"zs406_at_ceiling", true, R::ZS406, range(100000, 900 * MHz), false, ULTRA_NORMAL, ""},
    {"zs406_above_without_flag", true, R::ZS406, range(100000, 900 * MHz + 1), false, {}, NEEDS_FLAG},
    {"zs406_above_with_flag", true, R::ZS406, range(100000, 900 * MHz + 1), true, ULTRA_EXTENDED, ""},
    {"zs406_at_54_ghz", true, R::ZS406, range(100000, 5400 * MHz), true, ULTRA_EXTENDED, ""},
    {"zs406_beyond_54_ghz", true, R::ZS406, range(100000, 5400 * MHz + 1), true, {}, BEYOND_54},
    {"ultra_start_too_low", true, R::ZS406, range(99999, 5400 * MHz + 1), true, {}, ULTRA_START},
    {"ultra_start_lowest", true, {}, range(100000, 100000), false, ULTRA_NORMAL, ""},
    {"basic_low_input_from_zero", false, {}, range(0, 350 * MHz - 1), false, BASIC_LOW, ""},
    {"basic_crossing_too_low", false, {}, range(240 * MHz - 1, 350 * MHz), false, {}, BASIC_CROSS},
    {"basic_high_input", false, {}, range(240 * MHz, 350 * MHz), false, BASIC_HIGH, ""},
    {"basic_at_960", false, {}, range(240 * MHz, 960 * MHz), false, BASIC_HIGH, ""},
    {"basic_above_960", false, {}, range(0, 960 * MHz + 1), true, {}, BASIC_RANGE},
    {"request_checked_first",
     true,
     {},
     {900 * MHz, 10, 101, 1},
     false,
     {},
     "start frequency must not exceed stop frequency"},
    {"counts_checked_first",
     false,
     {},
     {0, 960 * MHz + 1, 1, 1},
     false,
     {},
     "points must be 2..=1000001 and repeat 1..=1000"},
};

TEST(SelectScanProfile, CeilingsAndMessages) {
    for (const ProfileCase& c : PROFILE_CASES) {
        SCOPED_TRACE(c.name);
        const auto result = select_scan_profile(c.is_ultra, c.revision, c.request, c.enable_ultra_mode);
        if (c.profile) {
            ASSERT_TRUE(result.has_value()) << result.error();
            EXPECT_EQ(*result, *c.profile);
        } else {
            ASSERT_FALSE(result.has_value());
            EXPECT_EQ(result.error(), c.message);
        }
    }
}

}  // namespace
}  // namespace vorlix::instrument
