#include "scan_csv/rows.hpp"

#include <unistd.h>

#include <atomic>
#include <cfloat>
#include <chrono>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "patience.hpp"
#include "scan_csv/same_text.hpp"
#include "scan_csv/number_format.hpp"
#include "scan_csv/part_claims.hpp"

using namespace vorlix::scan_csv;
using vorlix::base::IoError;
using vorlix::base::IoErrorKind;
using vorlix::instrument::Sample;

namespace {

// Lines of every length: short decimals, long shortest forms that outgrow a
// part's first guess at its size, and now and then the longest number.
std::vector<Sample> sweep_of(std::size_t rows) {
    std::vector<Sample> samples(rows);
    for (std::size_t i = 0; i < rows; ++i) {
        const double x = static_cast<double>(i);
        switch (i % 3) {
            case 0: samples[i] = {240.0 + x * 0.000056, -120.0 + static_cast<double>(i % 4096) / 32}; break;
            case 1: samples[i] = {x / 3, -x / 7}; break;
            default: samples[i] = {i % 30 == 2 ? -DBL_MAX : x * 1e-9, 0.1 * x}; break;
        }
    }
    return samples;
}

std::string lines_of(const std::vector<Sample>& samples) {
    std::string text;
    for (const Sample& s : samples)
        text += format_number(s.frequency_mhz) + "," + format_number(s.level_dbm) + "\n";
    return text;
}

}  // namespace

TEST(WriteRows, PartsInOrderMakeTheLines) {
    const std::size_t sizes[] = {0, 1, ROWS_PER_PART, ROWS_PER_PART + 1, 3 * ROWS_PER_PART + 17};
    for (std::size_t rows : sizes) {
        const auto samples = sweep_of(rows);
        std::vector<std::string> parts;
        auto ok = write_rows(samples, [&](std::string_view text) -> std::expected<void, IoError> {
            parts.emplace_back(text);
            return {};
        });
        ASSERT_TRUE(ok.has_value()) << rows;
        EXPECT_EQ(parts.size(), rows <= ROWS_PER_PART ? 1 : (rows + ROWS_PER_PART - 1) / ROWS_PER_PART)
            << rows;
        std::string joined;
        for (const std::string& part : parts) {
            // Every part but the last holds whole lines, ROWS_PER_PART of them.
            if (&part != &parts.back()) {
                EXPECT_EQ(std::count(part.begin(), part.end(), '\n'), ROWS_PER_PART);
            }
            joined += part;
        }
        EXPECT_TRUE(vorlix::test::same_text(joined, lines_of(samples))) << rows;
    }
}

TEST(WriteRows, TheSinksErrorEndsTheWriting) {
    const auto samples = sweep_of(5 * ROWS_PER_PART);
    for (std::size_t failing : {0u, 1u, 4u}) {
        std::size_t calls = 0;
        auto ok = write_rows(samples, [&](std::string_view) -> std::expected<void, IoError> {
            if (calls++ == failing) return std::unexpected(IoError::custom(IoErrorKind::WriteZero, "full"));
            return {};
        });
        ASSERT_FALSE(ok.has_value());
        EXPECT_EQ(ok.error().display(), "full");
        EXPECT_EQ(calls, failing + 1);
    }
}

// Parts are taken in order and only as far ahead of the writing as allowed.
TEST(PartClaims, TakesInOrderWithinTheWindow) {
    PartClaims claims(5, 2);
    const std::optional<std::size_t> none;
    EXPECT_EQ(claims.try_claim(), 0u);
    EXPECT_EQ(claims.try_claim(), 1u);
    EXPECT_EQ(claims.try_claim(), none);
    claims.written(1);
    EXPECT_EQ(claims.try_claim(), 2u);
    EXPECT_EQ(claims.try_claim(), none);
    claims.written(3);
    EXPECT_EQ(claims.try_claim(), 3u);
    EXPECT_EQ(claims.try_claim(), 4u);
    // Every part taken: nothing more, and nothing to wait for.
    EXPECT_EQ(claims.try_claim(), none);
    EXPECT_EQ(claims.claim(), none);
}

// Whether thread `tid` of this process sleeps in the kernel.
bool sleeping(pid_t tid) {
    std::ifstream stat("/proc/self/task/" + std::to_string(tid) + "/stat");
    const std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    // The state follows the parenthesised command name.
    const std::size_t close = text.rfind(')');
    return close != std::string::npos && close + 2 < text.size() && text[close + 2] == 'S';
}

// A helper waiting for the writing goes on once a part is written, and
// goes home when the writing stops; a lost wake-up would hang here.
TEST(PartClaims, AWaitingHelperIsWokenByWritingAndByStop) {
    for (const bool stop : {false, true}) {
        PartClaims claims(5, 1);
        ASSERT_EQ(claims.try_claim(), 0u);
        std::optional<std::size_t> taken = 99;
        std::atomic<pid_t> tid{0};
        std::thread helper([&] {
            tid = ::gettid();
            taken = claims.claim();
        });
        // Nothing else in claim() sleeps: once the helper does, it waits
        // for the writing, and the wake-up must come from here.
        const auto deadline = std::chrono::steady_clock::now() + vorlix::test::PATIENCE;
        while ((tid == 0 || !sleeping(tid)) && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        EXPECT_TRUE(tid != 0 && sleeping(tid)) << stop;
        if (stop) {
            claims.stop();
        } else {
            claims.written(1);
        }
        helper.join();
        EXPECT_EQ(taken, stop ? std::nullopt : std::optional<std::size_t>(1)) << stop;
        // Stopped, or the one part allowed ahead taken: no more for now.
        EXPECT_EQ(claims.try_claim(), std::nullopt) << stop;
    }
}
