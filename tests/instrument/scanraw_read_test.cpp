#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "instrument/fake_stream.hpp"
#include "instrument/scanraw.hpp"
#include "instrument/shell.hpp"
#include "scanraw_frames.hpp"

namespace vorlix::instrument {
namespace {

using testing_frames::as_text;
using testing_frames::frame_of;
using Progress = std::vector<std::pair<std::uint64_t, std::uint64_t>>;

constexpr ScanRequest TWO_POINTS{0, 10, 2, 1};

std::string echo(const ScanRequest& request) { return " " + scanraw_command(request) + "\r\n"; }

struct ReadResult {
    std::expected<std::vector<Sample>, AcquisitionError> samples;
    Progress progress;
    std::string written;
};

// Queues `reply` as the instrument's answer and reads one frame; the
// connection is handed to `after` so a test can look at what is left.
template <typename After>
ReadResult read_with(const std::vector<std::string>& chunks, const ScanRequest& request, std::size_t limit,
                     After after) {
    fake::FakeScript script;
    for (const std::string& chunk : chunks) {
        script.reply(chunk);
    }
    ShellConnection shell = script.shell(limit);
    Progress progress;
    auto samples = read_scanraw_frame(shell, request, 128, FrequencyAxis::Firmware,
                                      [&](std::uint64_t r, std::uint64_t n) { progress.emplace_back(r, n); });
    after(shell);
    EXPECT_TRUE(script.pauses.empty()) << "scanraw is never paced";
    return {std::move(samples), std::move(progress), script.written};
}

ReadResult read_with(const std::vector<std::string>& chunks, const ScanRequest& request,
                     std::size_t limit = 65536) {
    return read_with(chunks, request, limit, [](ShellConnection&) {});
}

TEST(ReadScanrawFrame, DelimiterBytesInDataAndTrailingReply) {
    // Levels whose bytes are "{", "}", ">" and "ch" inside the records; the
    // bytes after the prompt belong to the next reply and must stay.
    const std::uint16_t braces = '}' | ('{' << 8);
    const std::uint16_t prompt_like = 'c' | ('h' << 8);
    const std::uint16_t gt = '>' | ('}' << 8);
    const ScanRequest request{0, 30, 3, 1};
    const std::string frame = as_text(frame_of({braces, prompt_like, gt}));
    std::string next_reply;
    auto result = read_with({echo(request) + frame.substr(0, 5), frame.substr(5) + "\r\nch> resume\r\nch> "},
                            request, 65536, [&](ShellConnection& shell) {
                                auto next = read_until_prompt(shell);
                                ASSERT_TRUE(next.has_value());
                                next_reply = *next;
                            });
    ASSERT_TRUE(result.samples.has_value()) << result.samples.error().debug();
    ASSERT_EQ(result.samples->size(), 3u);
    EXPECT_EQ((*result.samples)[0].level_dbm, braces / 32.0 - 128);
    EXPECT_EQ((*result.samples)[1].level_dbm, prompt_like / 32.0 - 128);
    EXPECT_EQ((*result.samples)[2].level_dbm, gt / 32.0 - 128);
    EXPECT_EQ(result.written, "scanraw 0 30 3\r");
    EXPECT_EQ(next_reply, " resume\r\n");
}

TEST(ReadScanrawFrame, ProgressPerChunk) {
    struct Case {
        std::uint64_t points;
        std::vector<std::uint64_t> percents;
    };
    const Case cases[] = {
        {101, {95}},
        {10001, {30, 40, 50, 60, 71, 81, 91, 95}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.points);
        const ScanRequest request{240000000, 800000000, c.points, 1};
        const std::string frame = as_text(frame_of(std::vector<std::uint16_t>(c.points, 4096)));
        auto result = read_with({echo(request) + frame + "\r\nch> "}, request);
        ASSERT_TRUE(result.samples.has_value()) << result.samples.error().debug();
        EXPECT_EQ(result.samples->size(), c.points);
        std::vector<std::uint64_t> percents;
        std::uint64_t last = 1;
        for (auto [r, n] : result.progress) {
            EXPECT_EQ(n, frame.size());
            EXPECT_LE(r - last, 4096u);
            last = r;
            percents.push_back(scanraw_progress_percent(r, n));
        }
        EXPECT_EQ(last, frame.size());
        EXPECT_EQ(percents, c.percents);
    }
}

TEST(ReadScanrawFrame, Failures) {
    const std::string good = as_text(frame_of({1, 2}));
    std::string bad_alignment = good;
    bad_alignment[4] = 'y';
    std::string no_end = good;
    no_end.back() = ']';
    const std::string preamble_at_limit(255, 'a');

    struct Case {
        const char* name;
        std::vector<std::string> chunks;  // the stream then times out
        ScanRequest request;
        std::size_t limit;
        AcquisitionError error;
        const char* written;
    };
    const base::IoError timed_out = base::IoError::custom(base::IoErrorKind::TimedOut, "Operation timed out");
    const Case cases[] = {
        {"no_opening_brace_within_limit",
         {std::string(256, 'a') + good + "ch> "},
         TWO_POINTS,
         256,
         TransportError(TransportError::ResponseTooLong{256}),
         "scanraw 0 10 2\r"},
        {"closing_brace_missing",
         {echo(TWO_POINTS) + no_end + "ch> "},
         TWO_POINTS,
         65536,
         TransportError(TransportError::Protocol{RawScanError::MissingEnd{}}),
         "scanraw 0 10 2\r"},
        {"short_frame_times_out",
         {echo(TWO_POINTS) + good.substr(0, 6)},
         TWO_POINTS,
         65536,
         TransportError(TransportError::Io{timed_out}),
         "scanraw 0 10 2\r"},
        {"no_prompt_after_frame",
         {echo(TWO_POINTS) + good + std::string(300, 'z')},
         TWO_POINTS,
         256,
         TransportError(TransportError::ResponseTooLong{256}),
         "scanraw 0 10 2\r"},
        {"alignment_byte",
         {echo(TWO_POINTS) + bad_alignment + "ch> "},
         TWO_POINTS,
         65536,
         RawScanError(RawScanError::Alignment{1, 'y'}),
         "scanraw 0 10 2\r"},
        {"invalid_request_sends_nothing",
         {},
         {0, 10, 1, 1},
         65536,
         TransportError(TransportError::Protocol{
             RawScanError::InvalidRequest{"points must be 2..=1000001 and repeat 1..=1000"}}),
         ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto result = read_with(c.chunks, c.request, c.limit);
        ASSERT_FALSE(result.samples.has_value());
        EXPECT_EQ(result.samples.error(), c.error) << result.samples.error().debug();
        EXPECT_EQ(result.written, c.written);
    }
    // The longest preamble the limit allows still reaches the frame.
    auto longest = read_with({preamble_at_limit + good + "ch> "}, TWO_POINTS, 256);
    EXPECT_TRUE(longest.samples.has_value()) << longest.samples.error().debug();
}

TEST(ReadScanrawFrame, EndOfStreamInsideFrame) {
    fake::FakeScript script;
    script.reply(echo(TWO_POINTS) + "{x");
    script.eof();
    ShellConnection shell = script.shell();
    auto result = read_scanraw_bytes(shell, TWO_POINTS, {});
    ASSERT_FALSE(result.has_value());
    const base::IoError* io = result.error().io_error();
    ASSERT_NE(io, nullptr);
    EXPECT_EQ(io->kind(), base::IoErrorKind::UnexpectedEof);
}

TEST(ReadScanrawFrame, WriteFailure) {
    fake::FakeScript script;
    script.fail_write(base::IoError::custom(base::IoErrorKind::BrokenPipe, "broken pipe"));
    ShellConnection shell = script.shell();
    auto result = read_scanraw_frame(shell, TWO_POINTS, 128, FrequencyAxis::Firmware, {});
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().display(), "serial transport: broken pipe");
}

}  // namespace
}  // namespace vorlix::instrument
