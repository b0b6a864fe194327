#include "instrument/scanraw.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <ios>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "scanraw_frames.hpp"

namespace vorlix::instrument {
namespace {

using testing_frames::frame_of;

constexpr ScanRequest DEFAULT_RANGE{240'000'000, 800'000'000, 10001, 1};

TEST(ScanrawLength, FromRequest) {
    EXPECT_EQ(expected_scanraw_len({0, 10, 101, 1}), 305u);
    EXPECT_EQ(expected_scanraw_len(DEFAULT_RANGE), 30005u);
    EXPECT_EQ(expected_scanraw_len({0, 10, 1000001, 1}), 3000005u);
    const auto bad = expected_scanraw_len({0, 10, 1, 1});
    ASSERT_FALSE(bad.has_value());
    EXPECT_EQ(bad.error(), "points must be 2..=1000001 and repeat 1..=1000");
    EXPECT_EQ(scanraw_command({100000, 5400000000, 450, 3}), "scanraw 100000 5400000000 450");
}

TEST(ScanrawDecode, Levels) {
    struct Case {
        std::uint16_t raw;
        std::uint16_t offset;
        double dbm;
    };
    const Case cases[] = {
        {4096, 128, 0.0},       {0, 128, -128.0},   {1234, 128, -89.4375},
        {65535, 0, 2047.96875}, {0, 2047, -2047.0}, {5568, 174, 0.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.raw);
        const auto samples =
            decode_scanraw(frame_of({c.raw, c.raw}), {0, 10, 2, 1}, c.offset, FrequencyAxis::Firmware);
        ASSERT_TRUE(samples.has_value()) << samples.error().display();
        EXPECT_EQ((*samples)[0].level_dbm, c.dbm);
        EXPECT_EQ((*samples)[1].level_dbm, c.dbm);
    }
}

// Frequencies compared exactly: the firmware axis must reproduce the
// instrument's 32-bit float product, ties rounded to even included.
TEST(ScanrawDecode, FrequencyAxes) {
    struct Case {
        const char* name;
        ScanRequest request;
        FrequencyAxis axis;
        std::size_t index;
        double mhz;
    };
    const ScanRequest from_zero{0, 800'000'000, 101, 1};
    const ScanRequest near_top{18446744073709551000u, 18446744073709551615u, 3, 1};
    const Case cases[] = {
        {"firmware_first", DEFAULT_RANGE, FrequencyAxis::Firmware, 0, 240.0},
        {"firmware_step", DEFAULT_RANGE, FrequencyAxis::Firmware, 1, 240.055994},
        {"firmware_exact_product", DEFAULT_RANGE, FrequencyAxis::Firmware, 300, 256.7982},
        {"firmware_middle_rounded", DEFAULT_RANGE, FrequencyAxis::Firmware, 5000, 519.969984},
        {"firmware_last_rounded", DEFAULT_RANGE, FrequencyAxis::Firmware, 10000, 799.939968},
        {"firmware_from_zero_last", from_zero, FrequencyAxis::Firmware, 100, 792.079232},
        {"firmware_from_zero_step", from_zero, FrequencyAxis::Firmware, 1, 7.920792},
        {"firmware_flat_range", {5'000'000, 5'000'000, 3, 1}, FrequencyAxis::Firmware, 2, 5.0},
        {"firmware_near_top_of_range", near_top, FrequencyAxis::Firmware, 2,
         static_cast<double>(18446744073709551410ull) / 1e6},
        {"inclusive_near_top_of_range", near_top, FrequencyAxis::Inclusive, 1,
         (615.0 * 1.0 / 2.0 + static_cast<double>(near_top.start_hz)) / 1e6},
        {"inclusive_first", DEFAULT_RANGE, FrequencyAxis::Inclusive, 0, 240.0},
        {"inclusive_middle", DEFAULT_RANGE, FrequencyAxis::Inclusive, 5000, 520.0},
        {"inclusive_last", DEFAULT_RANGE, FrequencyAxis::Inclusive, 10000, 800.0},
        {"inclusive_from_zero", from_zero, FrequencyAxis::Inclusive, 1, 8.0},
        {"inclusive_order_of_operations",
         {0, 10, 4, 1},
         FrequencyAxis::Inclusive,
         1,
         (10.0 * 1.0) / 3.0 / 1e6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::uint16_t> raws(c.request.points, 0);
        const auto samples = decode_scanraw(frame_of(raws), c.request, 128, c.axis);
        ASSERT_TRUE(samples.has_value()) << samples.error().display();
        ASSERT_EQ(samples->size(), c.request.points);
        EXPECT_EQ((*samples)[c.index].frequency_mhz, c.mhz);

        const std::uint8_t record[3] = {'x', 0, 16};
        const auto one =
            decode_scanraw_sample(std::span<const std::uint8_t, 3>(record), c.index, c.request, 128, c.axis);
        ASSERT_TRUE(one.has_value());
        EXPECT_EQ(one->frequency_mhz, c.mhz);
        EXPECT_EQ(one->level_dbm, 0.0);
    }
}

TEST(ScanrawDecode, FirmwareFrequenciesNondecreasing) {
    std::vector<std::uint16_t> raws(DEFAULT_RANGE.points, 0);
    const auto samples = decode_scanraw(frame_of(raws), DEFAULT_RANGE, 128, FrequencyAxis::Firmware);
    ASSERT_TRUE(samples.has_value());
    for (std::size_t i = 1; i < samples->size(); ++i) {
        ASSERT_LE((*samples)[i - 1].frequency_mhz, (*samples)[i].frequency_mhz) << i;
    }
}

// Levels whose bytes are the frame's delimiters or the prompt's last byte.
TEST(ScanrawDecode, DelimiterBytesInsideRecords) {
    const std::uint16_t brace_pair = '{' | ('}' << 8);
    const std::uint16_t closing = '}' | ('}' << 8);
    const std::uint16_t prompt_tail = '>' | ('x' << 8);
    const auto samples = decode_scanraw(frame_of({brace_pair, prompt_tail, closing}), {0, 30, 3, 1}, 0,
                                        FrequencyAxis::Firmware);
    ASSERT_TRUE(samples.has_value()) << samples.error().display();
    EXPECT_EQ((*samples)[0].level_dbm, brace_pair / 32.0);
    EXPECT_EQ((*samples)[1].level_dbm, prompt_tail / 32.0);
    EXPECT_EQ((*samples)[2].level_dbm, closing / 32.0);
    EXPECT_EQ((*samples)[2].frequency_mhz, 20e-6);
}

TEST(ScanrawDecode, FrameErrorsInOrder) {
    const ScanRequest two{0, 10, 2, 1};
    const ScanRequest ten{0, 100, 10, 1};
    auto good = frame_of({1, 2});
    auto wrong_start = good;
    wrong_start[0] = '[';
    const std::vector<std::uint8_t> short_frame(good.begin(), good.end() - 1);
    auto no_end = good;
    no_end.back() = ']';
    auto bad_alignment = frame_of(std::vector<std::uint16_t>(10, 0));
    bad_alignment[1 + 3 * 7] = 0x79;
    bad_alignment[1 + 3 * 9] = 0x00;
    auto first_record_lf = good;
    first_record_lf[1] = 0x0a;

    struct Case {
        const char* name;
        std::vector<std::uint8_t> frame;
        ScanRequest request;
        std::uint16_t offset;
        RawScanError error;
    };
    const Case cases[] = {
        {"request_before_frame",
         {},
         {0, 10, 1, 1},
         128,
         RawScanError::InvalidRequest{"points must be 2..=1000001 and repeat 1..=1000"}},
        {"order_before_frame",
         {},
         {11, 10, 2, 1},
         128,
         RawScanError::InvalidRequest{"start frequency must not exceed stop frequency"}},
        {"offset_2048", good, two, 2048, RawScanError::InvalidRequest{"zero offset must be 0..=2047"}},
        {"offset_before_frame", {}, two, 2048, RawScanError::InvalidRequest{"zero offset must be 0..=2047"}},
        {"empty", {}, two, 128, RawScanError::MissingStart{}},
        {"start_before_length", wrong_start, two, 128, RawScanError::MissingStart{}},
        {"length_before_end", short_frame, two, 128, RawScanError::Length{8, 7}},
        {"too_long", frame_of({1, 2, 3}), two, 128, RawScanError::Length{8, 11}},
        {"missing_end", no_end, two, 128, RawScanError::MissingEnd{}},
        {"first_bad_record_wins", bad_alignment, ten, 128, RawScanError::Alignment{7, 0x79}},
        {"record_zero", first_record_lf, two, 128, RawScanError::Alignment{0, 0x0a}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto result = decode_scanraw(c.frame, c.request, c.offset, FrequencyAxis::Firmware);
        ASSERT_FALSE(result.has_value());
        EXPECT_EQ(result.error(), c.error) << result.error().debug();
    }
    EXPECT_TRUE(decode_scanraw(good, two, 2047, FrequencyAxis::Inclusive).has_value());
}

// A record decoded on its own with a request that cannot size a sweep must
// report it, not divide by a point count of zero or one.
TEST(ScanrawDecode, SampleWithInvalidRequest) {
    struct Case {
        const char* name;
        std::uint8_t alignment;
        ScanRequest request;
        RawScanError error;
    };
    const std::string counts = "points must be 2..=1000001 and repeat 1..=1000";
    const Case cases[] = {
        {"no_points_firmware", 'x', {0, 10, 0, 1}, RawScanError::InvalidRequest{counts}},
        {"one_point", 'x', {0, 10, 1, 1}, RawScanError::InvalidRequest{counts}},
        {"reversed",
         'x',
         {11, 10, 2, 1},
         RawScanError::InvalidRequest{"start frequency must not exceed stop frequency"}},
        {"alignment_first", 'y', {0, 10, 0, 1}, RawScanError::Alignment{3, 'y'}},
    };
    for (const FrequencyAxis axis : {FrequencyAxis::Firmware, FrequencyAxis::Inclusive}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name);
            const std::uint8_t record[3] = {c.alignment, 0, 16};
            const auto one =
                decode_scanraw_sample(std::span<const std::uint8_t, 3>(record), 3, c.request, 128, axis);
            ASSERT_FALSE(one.has_value());
            EXPECT_EQ(one.error(), c.error) << one.error().debug();
        }
    }
}

TEST(ScanrawDecode, ProgressPercent) {
    EXPECT_EQ(scanraw_progress_percent(305, 305), 95u);
    EXPECT_EQ(scanraw_progress_percent(0, 305), 20u);
    EXPECT_EQ(scanraw_progress_percent(4097, 30005), 30u);
    EXPECT_EQ(scanraw_progress_percent(20481, 30005), 71u);
}

}  // namespace
}  // namespace vorlix::instrument

namespace vorlix::instrument {
namespace {

// Each record of the frame alone, bit for bit as the record decoder has it:
// a difference in the last place must show.
::testing::AssertionResult matches_each_record(const std::vector<Sample>& samples,
                                               std::span<const std::uint8_t> frame,
                                               const ScanRequest& request, std::uint16_t zero_offset,
                                               FrequencyAxis axis) {
    if (samples.size() != request.points) {
        return ::testing::AssertionFailure()
               << samples.size() << " samples for " << request.points << " points";
    }
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const auto one = decode_scanraw_sample(std::span<const std::uint8_t, 3>(frame.data() + 1 + 3 * i, 3),
                                               i, request, zero_offset, axis);
        if (!one) return ::testing::AssertionFailure() << "record " << i << ": " << one.error().display();
        if (std::bit_cast<std::uint64_t>(samples[i].frequency_mhz) !=
                std::bit_cast<std::uint64_t>(one->frequency_mhz) ||
            std::bit_cast<std::uint64_t>(samples[i].level_dbm) !=
                std::bit_cast<std::uint64_t>(one->level_dbm)) {
            return ::testing::AssertionFailure()
                   << std::hexfloat << "sample " << i << " is {" << samples[i].frequency_mhz << ", "
                   << samples[i].level_dbm << "}, its record alone {" << one->frequency_mhz << ", "
                   << one->level_dbm << "}";
        }
    }
    return ::testing::AssertionSuccess();
}

// The first `points` levels of `raws` as a frame.
std::vector<std::uint8_t> frame_of_first(const std::vector<std::uint16_t>& raws, std::uint64_t points) {
    return testing_frames::frame_of(std::vector<std::uint16_t>(raws.begin(), raws.begin() + points));
}

// A whole frame decodes as each of its records does; so does decoding into a
// buffer that held another sweep, shorter, longer or as long, whose old
// samples must all be replaced.
TEST(ScanrawDecode, WholeFrameMatchesEachRecord) {
    const struct {
        const char* name;
        ScanRequest request;
        FrequencyAxis axis;
    } cases[] = {
        {"firmware", {240'000'000, 800'000'000, 1531, 1}, FrequencyAxis::Firmware},
        {"firmware near 2^64",
         {18446744073709551000u, 18446744073709551615u, 1531, 1},
         FrequencyAxis::Firmware},
        {"inclusive", {240'000'000, 800'000'000, 1531, 1}, FrequencyAxis::Inclusive},
    };
    std::vector<std::uint16_t> raws(1531);
    for (std::size_t i = 0; i < raws.size(); ++i) raws[i] = static_cast<std::uint16_t>(i * 7919 % 65536);
    const auto frame = testing_frames::frame_of(raws);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto samples = decode_scanraw(frame, c.request, 174, c.axis);
        ASSERT_TRUE(samples.has_value()) << samples.error().display();
        EXPECT_TRUE(matches_each_record(*samples, frame, c.request, 174, c.axis));
        for (std::size_t held :
             {std::size_t{0}, std::size_t{7}, std::size_t{300}, raws.size(), std::size_t{4000}}) {
            std::vector<Sample> reused(held, Sample{-1.0, -1.0});
            ASSERT_TRUE(decode_scanraw_into(frame, c.request, 174, c.axis, reused).has_value());
            EXPECT_EQ(reused, *samples) << held;
        }
    }
}

// Whole frames at the edges of the request range decode exactly as each of
// their records does alone: the fewest and the most points, spans that leave
// a remainder per point, starts at zero, just below and just above 2^53 Hz
// and next to the top of the 64-bit range. One buffer takes every sweep in
// turn, as in a live capture whose request changes.
TEST(ScanrawDecode, EdgeRequestsMatchEachRecord) {
    constexpr std::uint64_t top = 18446744073709551615u;
    constexpr std::uint64_t two_53 = std::uint64_t{1} << 53;
    const ScanRequest requests[] = {
        {0, 1, 2, 1},
        {0, 999'999'999, 101, 1},
        {1, 6'000'000'007, 1'000'001, 1},
        {240'000'000, 800'000'000, 1'000'001, 1},
        {123'456'789, 123'456'789, 257, 1},
        {two_53 - 1'000'000, two_53 - 1, 1'000'001, 1},
        {two_53 - 5'000, two_53 + 5'000, 101, 1},
        {top - 987'654'321, top, 1'000'001, 1},
        {0, top, 513, 1},
    };
    std::vector<std::uint16_t> raws(1'000'001);
    for (std::size_t i = 0; i < raws.size(); ++i) raws[i] = static_cast<std::uint16_t>(i * 40503 % 65536);
    std::vector<Sample> samples;
    for (const ScanRequest& request : requests) {
        const auto frame = frame_of_first(raws, request.points);
        for (const FrequencyAxis axis : {FrequencyAxis::Firmware, FrequencyAxis::Inclusive}) {
            SCOPED_TRACE(::testing::Message() << request.start_hz << " " << request.stop_hz << " "
                                              << request.points << " axis " << static_cast<int>(axis));
            ASSERT_TRUE(decode_scanraw_into(frame, request, 2047, axis, samples).has_value());
            ASSERT_TRUE(matches_each_record(samples, frame, request, 2047, axis));
        }
    }
}

// Requests drawn over every magnitude of start and span the 64-bit range
// holds, with point counts that leave every remainder of a block, decode as
// each of their records does alone.
TEST(ScanrawDecode, RandomRequestsMatchEachRecord) {
    std::mt19937_64 random(0x5ca9);
    std::vector<std::uint16_t> raws(5'000);
    for (std::uint16_t& raw : raws) raw = static_cast<std::uint16_t>(random());
    std::vector<Sample> samples;
    for (int n = 0; n < 2000; ++n) {
        const auto below = [&random](int bits) { return bits == 0 ? 0 : random() >> (64 - bits); };
        const std::uint64_t start = below(static_cast<int>(random() % 65));
        const std::uint64_t span =
            std::min(below(static_cast<int>(random() % 65)), ~std::uint64_t{0} - start);
        const std::uint64_t points = 2 + random() % (raws.size() - 1);
        const ScanRequest request{start, start + span, points, 1};
        const auto offset = static_cast<std::uint16_t>(random() % (MAX_ZERO_OFFSET + 1));
        const auto frame = frame_of_first(raws, points);
        for (const FrequencyAxis axis : {FrequencyAxis::Firmware, FrequencyAxis::Inclusive}) {
            SCOPED_TRACE(::testing::Message() << start << " " << start + span << " " << points << " offset "
                                              << offset << " axis " << static_cast<int>(axis));
            ASSERT_TRUE(decode_scanraw_into(frame, request, offset, axis, samples).has_value());
            ASSERT_TRUE(matches_each_record(samples, frame, request, offset, axis));
        }
    }
}

// The first bad alignment byte is named wherever it lies, whatever bad bytes
// follow it, on either axis, into a new buffer, one of the sweep's size and
// one that must grow.
TEST(ScanrawDecode, FirstBadRecordAtEveryIndex) {
    const ScanRequest request{0, 1'000'000, 1'001, 1};
    const auto clean = testing_frames::frame_of(std::vector<std::uint16_t>(request.points, 0x7878));
    for (std::size_t first = 0; first < request.points; ++first) {
        SCOPED_TRACE(first);
        auto frame = clean;
        frame[1 + 3 * first] = '{';
        const std::size_t later = first + 1 + first * 7 % (request.points - first);
        if (later < request.points) frame[1 + 3 * later] = 'y';
        const RawScanError named = RawScanError::Alignment{first, '{'};
        for (const FrequencyAxis axis : {FrequencyAxis::Firmware, FrequencyAxis::Inclusive}) {
            for (std::size_t held : {std::size_t{0}, std::size_t{300}, std::size_t{request.points}}) {
                std::vector<Sample> samples(held);
                const auto result = decode_scanraw_into(frame, request, 0, axis, samples);
                ASSERT_FALSE(result.has_value()) << held;
                ASSERT_EQ(result.error(), named) << held << " " << result.error().debug();
            }
        }
    }
}

}  // namespace
}  // namespace vorlix::instrument
