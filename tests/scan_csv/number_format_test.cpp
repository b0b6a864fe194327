#include "scan_csv/number_format.hpp"

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "instrument/scanraw.hpp"

using namespace vorlix::scan_csv;
using vorlix::instrument::FrequencyAxis;
using vorlix::instrument::ScanRequest;

namespace {

enum class Route { Millionths, Either };

// Formats each value both ways and counts where format_number differs from
// the general search, or where a value expected on the integer route is not
// taken by it; the first few of each are kept for the failure message.
class Comparison {
public:
    void check(double value, Route route) {
        char fast[MAX_NUMBER_CHARS], general[MAX_NUMBER_CHARS], chosen[MAX_NUMBER_CHARS];
        const std::string_view expected(general, format_number_general(general, value));
        const std::string_view got(chosen, format_number(chosen, value));
        char* fast_end = format_number_millionths(fast, value);
        ++checked_;
        if (got != expected) note(mismatches_, value, std::string(got) + " != " + std::string(expected));
        if (fast_end != nullptr && std::string_view(fast, fast_end) != expected) {
            note(mismatches_, value, "integer route " + std::string(fast, fast_end));
        }
        if (route == Route::Millionths && fast_end == nullptr)
            note(missed_, value, "not on the integer route");
        if (fast_end != nullptr) ++fast_;
    }

    std::size_t checked() const { return checked_; }
    std::size_t fast() const { return fast_; }

    testing::AssertionResult all_equal() const {
        if (mismatches_ == 0 && missed_ == 0) return testing::AssertionSuccess();
        return testing::AssertionFailure() << mismatches_ << " differ, " << missed_
                                           << " missed the integer route of " << checked_ << ":" << examples_;
    }

private:
    void note(std::size_t& count, double value, const std::string& what) {
        if (++count > 5) return;
        char text[64];
        std::snprintf(text, sizeof text, "%.17g", value);
        examples_ += std::string("\n  ") + text + ": " + what;
    }

    std::size_t checked_ = 0, fast_ = 0, mismatches_ = 0, missed_ = 0;
    std::string examples_;
};

std::vector<std::uint8_t> frame_of(const std::vector<std::uint16_t>& raws) {
    std::vector<std::uint8_t> frame{vorlix::instrument::SCANRAW_START};
    for (std::uint16_t raw : raws) {
        frame.insert(frame.end(), {vorlix::instrument::SCANRAW_ALIGNMENT, std::uint8_t(raw & 0xff),
                                   std::uint8_t(raw >> 8)});
    }
    frame.push_back(vorlix::instrument::SCANRAW_END);
    return frame;
}

}  // namespace

TEST(NumberFormat, EveryLevelTheDecoderCanProduce) {
    Comparison levels;
    // Every raw level through the decoder itself, with each model's offset.
    std::vector<std::uint16_t> raws(65536);
    for (std::size_t i = 0; i < raws.size(); ++i) raws[i] = std::uint16_t(i);
    const auto frame = frame_of(raws);
    for (std::uint16_t offset : std::initializer_list<std::uint16_t>{128, 174}) {
        auto samples = vorlix::instrument::decode_scanraw(frame, ScanRequest{0, 65536, 65536, 1}, offset,
                                                          FrequencyAxis::Firmware);
        ASSERT_TRUE(samples.has_value());
        for (const auto& sample : *samples) levels.check(sample.level_dbm, Route::Millionths);
    }
    // With any offset the decoder accepts (0 to 2047) a level is raw/32 -
    // offset, exact in a double: together, every 1/32 step from -2047 up to
    // 65535/32.
    for (int step = -2047 * 32; step <= 65535; ++step) levels.check(step / 32.0, Route::Millionths);
    EXPECT_EQ(levels.checked(), 2 * 65536u + 2047 * 32 + 65536);
    EXPECT_TRUE(levels.all_equal());
}

TEST(NumberFormat, FrequenciesOfDecodedSweeps) {
    const ScanRequest requests[] = {
        {0, 960'000'000, 1'000'001, 1},
        {240'000'000, 800'000'000, 100'001, 1},
        {100'000, 5'400'000'000, 100'001, 1},
        {5'399'999'000, 5'400'000'000, 1001, 1},
        {1, 999'999'999, 99'991, 1},
        // Far beyond any instrument, where the firmware arithmetic leaves
        // whole hertz no double holds.
        {1ULL << 60, (1ULL << 60) + 1'000'000'000, 10'001, 1},
    };
    Comparison firmware, inclusive;
    for (const auto& request : requests) {
        const auto frame = frame_of(std::vector<std::uint16_t>(request.points, 0));
        auto on_firmware = vorlix::instrument::decode_scanraw(frame, request, 0, FrequencyAxis::Firmware);
        auto on_inclusive = vorlix::instrument::decode_scanraw(frame, request, 0, FrequencyAxis::Inclusive);
        ASSERT_TRUE(on_firmware && on_inclusive);
        const Route route = request.start_hz < (1ULL << 50) ? Route::Millionths : Route::Either;
        for (const auto& sample : *on_firmware) firmware.check(sample.frequency_mhz, route);
        for (const auto& sample : *on_inclusive) inclusive.check(sample.frequency_mhz, Route::Either);
    }
    EXPECT_TRUE(firmware.all_equal());
    EXPECT_TRUE(inclusive.all_equal());
    // The inclusive axis gives fractions of a hertz too, which take the
    // general route.
    EXPECT_LT(inclusive.fast(), inclusive.checked());
}

TEST(NumberFormat, WholeHertzAtTheEdgesAndAtRandom) {
    Comparison hertz;
    auto mhz = [](std::uint64_t hz) { return static_cast<double>(hz) / 1e6; };
    // Up to 2^50 Hz the integer route recovers every whole hertz; beyond, up
    // to its limit, it may leave some to the general search.
    auto route = [](std::uint64_t hz) { return hz < (1ULL << 50) ? Route::Millionths : Route::Either; };
    for (std::uint64_t hz = 0; hz <= 1'000'000; ++hz) hertz.check(mhz(hz), Route::Millionths);
    std::vector<std::uint64_t> edges;
    for (std::uint64_t p = 1'000'000; p <= 10'000'000'000'000'000; p *= 10) edges.push_back(p);
    for (int k = 20; k <= 63; ++k) edges.push_back(1ULL << k);
    edges.push_back(4'294'967'296'000'000);  // 2^32 MHz, the integer route's limit
    for (std::uint64_t edge : edges) {
        for (std::uint64_t hz = edge - 1000; hz <= edge + 1000; ++hz) hertz.check(mhz(hz), route(hz));
    }
    std::mt19937_64 random(20261210);
    std::uniform_int_distribution<std::uint64_t> to_6ghz(0, 6'000'000'000), anywhere;
    for (int i = 0; i < 300'000; ++i) {
        const std::uint64_t hz = to_6ghz(random);
        hertz.check(mhz(hz), Route::Millionths);
        hertz.check(-mhz(hz), Route::Millionths);
        const std::uint64_t far = anywhere(random) >> (random() % 64);
        hertz.check(mhz(far), route(far));
    }
    EXPECT_TRUE(hertz.all_equal());
}

TEST(NumberFormat, OtherValuesTakeTheGeneralRoute) {
    const double other[] = {
        0.1 + 0.2,
        1.0 / 3,
        1e-7,
        5e-7,
        -87.001953125 /* a 16-sweep average */,
        4294967296.0,
        std::nextafter(4294967296.0, 0.0),
        4294967295.9999995,
        1e21,
        DBL_MAX,
        -DBL_MAX,
        DBL_MIN,
        4.9406564584124654e-324,
        std::numeric_limits<double>::infinity(),
        -std::numeric_limits<double>::infinity(),
        std::numeric_limits<double>::quiet_NaN(),
        // Neighbours of a six-digit decimal: near, but not the double nearest.
        std::nextafter(240.000001, 0.0),
        std::nextafter(240.000001, 1e3),
        std::nextafter(0.5, 1.0),
    };
    char text[MAX_NUMBER_CHARS];
    for (double value : other) {
        EXPECT_EQ(format_number_millionths(text, value), nullptr) << value;
    }
    Comparison comparison;
    for (double value : other) comparison.check(value, Route::Either);
    // Zeros keep their sign, as the general search writes them.
    comparison.check(0.0, Route::Millionths);
    comparison.check(-0.0, Route::Millionths);
    EXPECT_EQ(format_number(-0.0), "-0");
    // Any bit pattern at all.
    std::mt19937_64 random(7);
    for (int i = 0; i < 200'000; ++i) comparison.check(std::bit_cast<double>(random()), Route::Either);
    // Random short decimals of every size the integer route takes.
    for (int i = 0; i < 200'000; ++i) {
        const double value = static_cast<double>(random() >> (random() % 53 + 11)) / 1e6;
        comparison.check(value, value < 2147483648.0 ? Route::Millionths : Route::Either);
    }
    EXPECT_TRUE(comparison.all_equal());
}
