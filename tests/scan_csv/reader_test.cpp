#include "scan_csv/reader.hpp"

#include "scan_csv/pieces.hpp"
#include "scan_csv/writer.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <thread>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

// A file that grows while it is read, as one another process keeps
// appending to: while `growing` names a file, every read of it first adds a
// line (a thousand at most, so that a reader that follows the growth still
// ends, with more samples than the file had).
namespace {

struct Growing {
    std::atomic<bool> on{false};
    dev_t device = 0;
    ino_t inode = 0;
    int append_fd = -1;
    std::atomic<int> added{0};
} growing;

}  // namespace

extern "C" ssize_t read(int fd, void* buffer, size_t count) {
    using Real = ssize_t (*)(int, void*, size_t);
    static const Real real = reinterpret_cast<Real>(::dlsym(RTLD_NEXT, "read"));
    struct stat info {};
    if (growing.on.load() && ::fstat(fd, &info) == 0 && info.st_dev == growing.device &&
        info.st_ino == growing.inode && growing.added < 1000) {
        ++growing.added;
        if (::write(growing.append_fd, "5,6\n", 4) != 4) std::abort();
    }
    return real(fd, buffer, count);
}

namespace vorlix::scan_csv {
namespace {

using instrument::Sample;

struct ParseCase {
    const char* name;
    std::string text;
    std::vector<Sample> samples;  // expected when error is empty
    std::string error;
};

void PrintTo(const ParseCase& c, std::ostream* os) { *os << c.name; }

std::vector<ParseCase> parse_cases() {
    return {
        {"plain", "240,-87.46875\n240.001234,-50\n", {{240, -87.46875}, {240.001234, -50}}, ""},
        {"header_first", "frequency_MHz,level_dBm\n100,-50\n", {{100, -50}}, ""},
        {"last_line_without_feed", "1,2\n3,4", {{1, 2}, {3, 4}}, ""},
        {"cr_before_the_end_is_trimmed", "1,2\r", {{1, 2}}, ""},
        {"crlf_like_lf", "frequency_MHz,level_dBm\r\n1,2\r\n3,4\r\n", {{1, 2}, {3, 4}}, ""},
        {"blank_lines_and_spaces_skipped",
         "\n   \n frequency_MHz,level_dBm \n\t\n1.5 , -80\n\n",
         {{1.5, -80}},
         ""},
        {"unicode_space_trimmed",
         "\u3000"
         "1,2\u00a0\n",
         {{1, 2}},
         ""},
        {"equal_frequencies", "5,1\n5,2\n", {{5, 1}, {5, 2}}, ""},
        {"junk_after_exponent",
         "+1e2,-.5\n1e3,0\n1e400e,0\n",
         {},
         "invalid scan CSV at line 3: invalid frequency number `1e400e`"},
        {"accepted_forms", "+1e2,-.5\n1E+3,5e-1\n", {{100, -0.5}, {1000, 0.5}}, ""},
        {"tiny_underflows_to_zero", "1,1e-400\n", {{1, 0.0}}, ""},
        {"header_after_sample",
         "1,2\nfrequency_MHz,level_dBm\n",
         {},
         "invalid scan CSV at line 2: invalid frequency number `frequency_MHz`"},
        {"second_header",
         "frequency_MHz,level_dBm\nfrequency_MHz,level_dBm\n",
         {},
         "invalid scan CSV at line 2: invalid frequency number `frequency_MHz`"},
        {"header_case_matters",
         "Frequency_MHz,level_dBm\n1,2\n",
         {},
         "invalid scan CSV at line 1: invalid frequency number `Frequency_MHz`"},
        {"semicolon", "1.5;-80\n", {}, "invalid scan CSV at line 1: expected exactly two columns"},
        {"trailing_comma", "1,2,\n", {}, "invalid scan CSV at line 1: expected exactly two columns"},
        {"three_columns", "1,2\n3,4,5\n", {}, "invalid scan CSV at line 2: expected exactly two columns"},
        {"line_counts_blank_lines",
         "1,2\n\n  \n3,4\nbad\n",
         {},
         "invalid scan CSV at line 5: expected exactly two columns"},
        {"frequency_first", "x,y\n", {}, "invalid scan CSV at line 1: invalid frequency number `x`"},
        {"level_trimmed_in_message",
         "1,  -8x0 \n",
         {},
         "invalid scan CSV at line 1: invalid level number `-8x0`"},
        {"empty_level", "1,\n", {}, "invalid scan CSV at line 1: invalid level number ``"},
        {"double_sign", "+-1,2\n", {}, "invalid scan CSV at line 1: invalid frequency number `+-1`"},
        {"hex_refused", "0x10,2\n", {}, "invalid scan CSV at line 1: invalid frequency number `0x10`"},
        {"nan_payload_refused",
         "nan(1),2\n",
         {},
         "invalid scan CSV at line 1: invalid frequency number `nan(1)`"},
        {"inf_word", "1,2\n2,-Infinity\n", {}, "invalid scan CSV at line 2: values must be finite"},
        {"nan_word", "NaN,2\n", {}, "invalid scan CSV at line 1: values must be finite"},
        {"overflow_is_infinite", "1e400,2\n", {}, "invalid scan CSV at line 1: values must be finite"},
        {"decreasing",
         "2,0\n1,0\n",
         {},
         "invalid scan CSV at line 2: frequencies must be in nondecreasing order"},
        {"empty_file", "", {}, "invalid scan CSV: file contains no samples"},
        {"only_header", "frequency_MHz,level_dBm\n", {}, "invalid scan CSV: file contains no samples"},
        {"only_blank_lines", "\n \r\n\t\n", {}, "invalid scan CSV: file contains no samples"},
        {"bad_utf8_after_good_lines", "1,2\n3,\xff\n", {}, "stream did not contain valid UTF-8"},
        {"format_error_before_bad_utf8",
         "1\n\xc0\xaf\n",
         {},
         "invalid scan CSV at line 1: expected exactly two columns"},
        {"surrogate_refused", "1,2\n\xed\xa0\x80\n", {}, "stream did not contain valid UTF-8"},
    };
}

class ParseTable : public testing::TestWithParam<ParseCase> {};

TEST_P(ParseTable, ReadsSamplesOrReportsTheFirstProblem) {
    const ParseCase& c = GetParam();
    auto result = test::parse_whole(c.text);
    if (c.error.empty()) {
        ASSERT_TRUE(result.has_value()) << result.error().display();
        EXPECT_EQ(*result, c.samples);
    } else {
        ASSERT_FALSE(result.has_value());
        EXPECT_EQ(result.error().display(), c.error);
        EXPECT_EQ(result.error().kind(), base::IoErrorKind::InvalidData);
        EXPECT_FALSE(result.error().os_code().has_value());
    }
}

// What a parse gave, as one text, so that two results compare in one line.
std::string outcome(const std::expected<std::vector<Sample>, base::IoError>& result) {
    if (!result) return result.error().debug();
    std::string text;
    for (const Sample& s : *result)
        text += std::to_string(s.frequency_mhz) + "," + std::to_string(s.level_dbm) + ";";
    return text;
}

// A read hands the file over in pieces that may cut a line anywhere: in a
// number, between the carriage return and the line feed, inside a UTF-8
// character. Every cut, with the parser's room too small for one line or
// large enough for all, gives what the whole text gives.
TEST_P(ParseTable, EveryCutGivesTheSameResult) {
    const ParseCase& c = GetParam();
    const std::string whole = outcome(test::parse_whole(c.text));
    for (std::size_t room : {std::size_t{1}, std::size_t{3}, READ_PIECE_BYTES}) {
        for (std::size_t piece : {std::size_t{1}, std::size_t{2}, c.text.size() + 1}) {
            for (std::size_t cut = 0; cut <= c.text.size(); ++cut) {
                EXPECT_EQ(outcome(test::parse_cut(c.text, {cut}, piece, room)), whole)
                    << "room " << room << ", piece " << piece << ", cut at " << cut;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Csv, ParseTable, testing::ValuesIn(parse_cases()),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

TEST(ParseNumber, TrimsAndNamesTheColumn) {
    EXPECT_EQ(parse_number(" 2.5\t", "level"), 2.5);
    EXPECT_EQ(parse_number("-0", "level").value(), 0.0);
    EXPECT_TRUE(std::signbit(parse_number("-0", "level").value()));
    EXPECT_TRUE(std::isinf(parse_number("inf", "level").value()));
    EXPECT_EQ(parse_number(" 1 2 ", "frequency").error(), "invalid frequency number `1 2`");
    EXPECT_EQ(parse_number("-", "level").error(), "invalid level number `-`");
    EXPECT_EQ(parse_number(".", "level").error(), "invalid level number `.`");
}

TEST(ParseNumber, BytesThatAreNotUtf8CountAsText) {
    // Long enough to live on the heap, so a read past the end is caught.
    const std::string pad(15, ' ');
    struct Case {
        std::string field;
        std::string trimmed;
    };
    const std::vector<Case> cases = {
        {pad + "\xF0", "\xF0"},
        {"x" + pad + "\xF0\x80", "x" + pad + "\xF0\x80"},
        {"\xE2\x80" + pad, "\xE2\x80"},
        {" \xC2\xA0\xC2" + pad, "\xC2"},
        {pad + "\xED\xA0\x80", "\xED\xA0\x80"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(parse_number(c.field, "level").error(), "invalid level number `" + c.trimmed + "`");
    }
}

TEST(ScanCsvError, PutsTheLineBeforeTheMessage) {
    EXPECT_EQ(scan_csv_error(7, "expected exactly two columns").display(),
              "invalid scan CSV at line 7: expected exactly two columns");
    EXPECT_EQ(scan_csv_error(std::nullopt, "file contains no samples").display(),
              "invalid scan CSV: file contains no samples");
}

class ReadFile : public testing::Test {
protected:
    std::string path_ = testing::TempDir() + "reader_test_" + std::to_string(::getpid()) + ".csv";
    void TearDown() override { std::remove(path_.c_str()); }
};

TEST_F(ReadFile, ReadsAFileFromDisk) {
    std::ofstream(path_, std::ios::binary) << "frequency_MHz,level_dBm\n100,-50\n100.5,-49.25\n";
    auto result = read_scan_csv(path_);
    ASSERT_TRUE(result.has_value()) << result.error().display();
    EXPECT_EQ(*result, (std::vector<Sample>{{100, -50}, {100.5, -49.25}}));
}

TEST(ReadBack, WhatTheWriterSavedReadsBackExactly) {
    // Values at the ends of the double range, whose plain decimal forms run
    // to hundreds of digits, and a repeated frequency.
    const std::vector<Sample> sweep = {{0.0, -0.0},
                                       {4.9406564584124654e-324, -1.7976931348623157e308},
                                       {0.1, 2.2250738585072014e-308},
                                       {240.001234, -87.46875},
                                       {240.001234, 1e21},
                                       {1.7976931348623157e308, 5e-324}};
    const auto dir =
        std::filesystem::path(testing::TempDir()) / ("reader_round_trip_" + std::to_string(::getpid()));
    for (bool header : {false, true}) {
        SCOPED_TRACE(header ? "with header" : "without header");
        config::OutputConfig output{
            .directory = dir.string(), .filename_prefix = "scan", .include_header = header};
        auto saved = write_scan_csv(sweep, output);
        ASSERT_TRUE(saved.has_value()) << saved.error().display();
        auto read = read_scan_csv(*saved);
        ASSERT_TRUE(read.has_value()) << read.error().display();
        ASSERT_EQ(read->size(), sweep.size());
        for (std::size_t i = 0; i < sweep.size(); ++i) {
            EXPECT_EQ((*read)[i], sweep[i]) << "row " << i;
            EXPECT_EQ(std::signbit((*read)[i].level_dbm), std::signbit(sweep[i].level_dbm)) << "row " << i;
        }
    }
    std::filesystem::remove_all(dir);
}

TEST_F(ReadFile, AFileIsReadAsItStoodWhenOpened) {
    std::ofstream(path_, std::ios::binary) << "1,2\n3,4\n";
    struct stat info {};
    ASSERT_EQ(::stat(path_.c_str(), &info), 0);
    growing.device = info.st_dev;
    growing.inode = info.st_ino;
    growing.append_fd = ::open(path_.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    ASSERT_GE(growing.append_fd, 0);
    growing.on = true;
    auto result = read_scan_csv(path_);
    growing.on = false;
    ::close(growing.append_fd);
    ASSERT_TRUE(result.has_value()) << result.error().display();
    EXPECT_EQ(*result, (std::vector<Sample>{{1, 2}, {3, 4}}));
    // The growth really happened while the file was read.
    EXPECT_GE(growing.added.load(), 1);
}

TEST_F(ReadFile, KeepsTheOperatingSystemErrorWithoutALine) {
    auto missing = read_scan_csv(path_ + ".missing");
    ASSERT_FALSE(missing.has_value());
    EXPECT_EQ(missing.error(), base::IoError::from_errno(ENOENT));
    auto directory = read_scan_csv(testing::TempDir());
    ASSERT_FALSE(directory.has_value());
    EXPECT_EQ(directory.error(), base::IoError::from_errno(EISDIR));
}

// A line may hold up to its bound, however the pieces cut it; one byte more
// fails at that line, the carriage return of a CRLF end included.
TEST(ReadBounds, ALineMayHoldUpToItsBound) {
    const std::string longest = "1,2" + std::string(MAX_LINE_BYTES - 3, ' ');
    const std::string too_long = "invalid scan CSV at line 2: line is longer than 1 MiB";
    const struct {
        std::string text;
        std::string error;
    } cases[] = {
        {"0,0\n" + longest + "\n", ""},        {"0,0\n" + longest, ""},
        {"0,0\n" + longest + " \n", too_long}, {"0,0\n" + longest + "\r\n", too_long},
        {"0,0\n" + longest + " ", too_long},
    };
    for (const auto& c : cases) {
        const std::size_t size = c.text.size();
        for (const std::size_t cut : {std::size_t{4}, size - 2, size - 1, size}) {
            for (const std::size_t room : {std::size_t{4096}, READ_PIECE_BYTES}) {
                auto result = test::parse_cut(c.text, {cut}, READ_PIECE_BYTES, room);
                const std::string where = "size " + std::to_string(size) + ", cut " + std::to_string(cut) +
                                          ", room " + std::to_string(room);
                if (c.error.empty()) {
                    ASSERT_TRUE(result.has_value()) << where << ": " << result.error().display();
                    EXPECT_EQ(*result, (std::vector<Sample>{{0, 0}, {1, 2}})) << where;
                } else {
                    ASSERT_FALSE(result.has_value()) << where;
                    EXPECT_EQ(result.error().display(), c.error) << where;
                }
            }
        }
    }
}

// A line without an end, as /dev/zero gives one, fails as soon as it is
// past the bound: the parser never holds much more than one line.
TEST(ReadBounds, AnEndlessLineFailsOncePastItsBound) {
    ScanCsvParser parser(4096);
    std::size_t given = 0;
    std::optional<base::IoError> failed;
    while (!failed && given <= 2 * MAX_LINE_BYTES) {
        const std::span<char> room = parser.room();
        std::memset(room.data(), 'x', room.size());
        given += room.size();
        if (auto ok = parser.take(room.size()); !ok) failed = ok.error();
    }
    ASSERT_TRUE(failed.has_value());
    EXPECT_EQ(failed->display(), "invalid scan CSV at line 1: line is longer than 1 MiB");
    EXPECT_LE(given, 2 * MAX_LINE_BYTES);
}

// A stream of the shortest sample lines ends at the sample bound, long
// before its bytes reach theirs: the last sample it may hold is taken, the
// one after it is refused on its own line.
TEST(ReadBounds, AStreamOfSamplesFailsOncePastTheSampleBound) {
    ScanCsvParser parser(4096);
    std::uint64_t lines = 0;
    const auto feed = [&](std::uint64_t until) -> std::expected<void, base::IoError> {
        while (lines < until) {
            const std::span<char> room = parser.room();
            const std::uint64_t n = std::min<std::uint64_t>(room.size() / 4, until - lines);
            for (std::uint64_t i = 0; i < n; ++i) std::memcpy(room.data() + 4 * i, "1,2\n", 4);
            lines += n;
            if (auto ok = parser.take(static_cast<std::size_t>(4 * n)); !ok) return ok;
        }
        return {};
    };
    ASSERT_TRUE(feed(MAX_SAMPLES).has_value());
    auto past = feed(MAX_SAMPLES + 1);
    ASSERT_FALSE(past.has_value());
    EXPECT_EQ(past.error().display(),
              "invalid scan CSV at line 16777217: file holds more than 16777216 samples");
}

TEST(ReadBounds, DevicesWithoutEndFailWithAFormatError) {
    auto zero = read_scan_csv("/dev/zero");
    ASSERT_FALSE(zero.has_value());
    EXPECT_EQ(zero.error().display(), "invalid scan CSV at line 1: line is longer than 1 MiB");
    auto random = read_scan_csv("/dev/urandom");
    ASSERT_FALSE(random.has_value());
    EXPECT_EQ(random.error().kind(), base::IoErrorKind::InvalidData) << random.error().display();
}

// A regular file past the bound is refused from its size, before a byte is
// read; one of exactly the bound is read (here to its first line's end).
TEST_F(ReadFile, ARegularFilePastTheBoundIsRefusedAtOnce) {
    for (const std::uint64_t size : {MAX_FILE_BYTES + 1, MAX_FILE_BYTES}) {
        {
            std::ofstream(path_, std::ios::binary | std::ios::trunc) << "1,2\n";
        }
        std::filesystem::resize_file(path_, size);
        auto result = read_scan_csv(path_);
        ASSERT_FALSE(result.has_value());
        EXPECT_EQ(result.error().display(), size > MAX_FILE_BYTES
                                                ? "invalid scan CSV: file is larger than 1 GiB"
                                                : "invalid scan CSV at line 2: line is longer than 1 MiB");
    }
}

// A stream has no size: its bytes are counted as they come. Lines of blanks
// pass every check, so only the count can end such a stream.
TEST(ReadBounds, AStreamPastTheBoundFailsAsItPassesIt) {
    const std::string blanks = std::string(65535, ' ') + "\n";
    for (const std::uint64_t size : {MAX_FILE_BYTES, MAX_FILE_BYTES + 1}) {
        int ends[2];
        ASSERT_EQ(::pipe(ends), 0);
        std::thread writer([&, out = ends[1]] {
            std::uint64_t left = size;
            while (left > 0) {
                const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, blanks.size()));
                const ssize_t wrote = ::write(out, blanks.data() + blanks.size() - n, n);
                if (wrote <= 0) break;
                left -= static_cast<std::uint64_t>(wrote);
            }
            ::close(out);
        });
        auto result = read_scan_csv("/proc/self/fd/" + std::to_string(ends[0]));
        ::close(ends[0]);
        writer.join();
        ASSERT_FALSE(result.has_value());
        EXPECT_EQ(result.error().display(), size > MAX_FILE_BYTES
                                                ? "invalid scan CSV: file is larger than 1 GiB"
                                                : "invalid scan CSV: file contains no samples");
    }
}

// The bound still lets a file hold hundreds of millions of samples. Where
// the memory for them runs out, the read fails like any other, rather than
// ending the program.
TEST_F(ReadFile, SamplesBeyondTheMemoryAreAnErrorNotACrash) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizers need address space of their own";
#endif
    {
        std::ofstream out(path_, std::ios::binary);
        const std::string lines = [] {
            std::string text;
            for (int i = 0; i < 65536; ++i) text += "1,2\n";
            return text;
        }();
        for (int i = 0; i < 256; ++i) out << lines;  // 16 Mi samples, 256 MiB of them
    }
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::ifstream statm("/proc/self/statm");
        std::uint64_t pages = 0;
        statm >> pages;
        const std::uint64_t room = pages * static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE)) + (64u << 20);
        const rlimit limit{room, room};
        if (::setrlimit(RLIMIT_AS, &limit) != 0) ::_exit(3);
        auto result = read_scan_csv(path_);
        ::_exit(!result && result.error() == base::IoError::from_errno(ENOMEM) ? 0 : 2);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

}  // namespace
}  // namespace vorlix::scan_csv
