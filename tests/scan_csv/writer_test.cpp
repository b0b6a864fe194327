#include "scan_csv/same_text.hpp"
#include "scan_csv/rows.hpp"
#include "scan_csv/writer.hpp"
#include "base/fault_run.hpp"
#include "scan_csv/fixed_clock.hpp"
#include "scan_csv/save_probe.hpp"
#include "workers/temp_dir.hpp"

#include <cfloat>
#include <chrono>
#include <charconv>
#include <csignal>
#include <ctime>
#include <fstream>
#include <iterator>
#include <regex>
#include <span>
#include <sstream>
#include <vector>

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>
#include <stdlib.h>
#include <sys/resource.h>

namespace fs = std::filesystem;
using vorlix::config::OutputConfig;
using vorlix::instrument::Sample;
using namespace vorlix::scan_csv;

namespace {

using vorlix::test::TempDir;

std::string read_all(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> names_in(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

OutputConfig output_in(const fs::path& dir, bool header = false) {
    return OutputConfig{dir.string(), "scan", header};
}

constexpr std::string_view STAMP = "20261209 09_27_58_123456";

// The local time STAMP stands for.
std::chrono::system_clock::time_point stamp_time() {
    std::tm local{};
    local.tm_year = 2026 - 1900;
    local.tm_mon = 11;
    local.tm_mday = 9;
    local.tm_hour = 9;
    local.tm_min = 27;
    local.tm_sec = 58;
    local.tm_isdst = -1;
    return std::chrono::system_clock::from_time_t(std::mktime(&local)) + std::chrono::microseconds(123456);
}

// The same, as the save probe takes it: microseconds since the epoch.
std::string stamp_micros() {
    return std::to_string(
        std::chrono::duration_cast<std::chrono::microseconds>(stamp_time().time_since_epoch()).count());
}

// A save at the time STAMP stands for.
std::expected<fs::path, vorlix::base::IoError> save_at_stamp(std::span<const Sample> samples,
                                                             const OutputConfig& output) {
    const vorlix::test::FixedClock clock(stamp_time());
    return write_scan_csv(samples, output);
}

// The fault shim's settings for every way a file system lets a save reach
// its name.
const char* const FILE_SYSTEMS[] = {
    "",                                 // nameless files
    "no_proc",                          // nameless, named by a privileged link
    "no_proc,no_empty_path",            // nameless files that cannot be named
    "no_tmpfile",                       // no-replace renames
    "no_tmpfile,no_noreplace",          // links only
    "no_tmpfile,no_noreplace,no_link",  // plain renames only
};

}  // namespace

TEST(FormatNumber, ShortestPlainForm) {
    const struct {
        double value;
        std::string_view text;
    } cases[] = {
        {240.0, "240"},
        {240.001234, "240.001234"},
        {-87.46875, "-87.46875"},
        {0.5, "0.5"},
        {-50.0, "-50"},
        {0.0, "0"},
        {0.1 + 0.2, "0.30000000000000004"},
        {1e21, "1000000000000000000000"},
        {1e-7, "0.0000001"},
        {5400.0001, "5400.0001"},
    };
    for (const auto& c : cases) EXPECT_EQ(format_number(c.value), c.text) << c.value;
}

TEST(FormatNumber, ExtremesFitAndReadBack) {
    for (double value : {DBL_MAX, -DBL_MAX, DBL_MIN, 4.9406564584124654e-324, -1.2345678901234567e-300,
                         800.0 - 55.99 * 1e-6}) {
        const std::string text = format_number(value);
        EXPECT_LE(text.size(), MAX_NUMBER_CHARS);
        EXPECT_EQ(text.find_first_of("eE"), std::string::npos) << text;
        double back = 0;
        std::from_chars(text.data(), text.data() + text.size(), back);
        EXPECT_EQ(back, value) << text;
    }
}

TEST(ScanTimestamp, LocalTimeWithMicroseconds) {
    const auto when = stamp_time();
    EXPECT_EQ(format_scan_timestamp(when), STAMP);
    EXPECT_EQ(format_scan_timestamp(when - std::chrono::microseconds(123455)), "20261209 09_27_58_000001");
}

TEST(WriteScanCsv, FileBytes) {
    const std::vector<Sample> sweep = {{100.0, -50.0}, {240.001234, -87.46875}, {0.5, 0.0}};
    const struct {
        bool header;
        std::vector<Sample> samples;
        std::string expected;
    } cases[] = {
        {false, sweep, "100,-50\n240.001234,-87.46875\n0.5,0\n"},
        {true, sweep, "frequency_MHz,level_dBm\n100,-50\n240.001234,-87.46875\n0.5,0\n"},
        {false, {}, ""},
        {true, {}, "frequency_MHz,level_dBm\n"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        auto path = save_at_stamp(c.samples, output_in(dir.path(), c.header));
        ASSERT_TRUE(path.has_value()) << path.error().display();
        EXPECT_EQ(*path, dir.path() / "scan_20261209 09_27_58_123456_0.csv");
        EXPECT_EQ(read_all(*path), c.expected);
    }
}

TEST(WriteScanCsv, LargeSweepCrossesBufferBoundaries) {
    TempDir dir;
    std::vector<Sample> sweep;
    std::string expected;
    for (int i = 0; i < 5000; ++i) {
        const double f = 240.0 + i * 0.056, level = -120.0 + i * 0.03125;
        sweep.push_back({f, level});
        expected += format_number(f) + "," + format_number(level) + "\n";
    }
    auto path = save_at_stamp(sweep, output_in(dir.path()));
    ASSERT_TRUE(path.has_value());
    EXPECT_GT(expected.size(), 3 * 8192u);
    EXPECT_EQ(read_all(*path), expected);
}

TEST(WriteScanCsv, TakenNamesAreSkippedAndNeverTouched) {
    TempDir dir;
    const std::string base = "scan_" + std::string(STAMP) + "_";
    for (int n : {0, 1, 3}) std::ofstream(dir.path() / (base + std::to_string(n) + ".csv")) << "old";
    const std::vector<Sample> sweep = {{1.0, 2.0}};
    auto first = save_at_stamp(sweep, output_in(dir.path()));
    auto second = save_at_stamp(sweep, output_in(dir.path()));
    auto third = save_at_stamp(sweep, output_in(dir.path()));
    ASSERT_TRUE(first && second && third);
    EXPECT_EQ(first->filename(), base + "2.csv");
    EXPECT_EQ(second->filename(), base + "4.csv");
    EXPECT_EQ(third->filename(), base + "5.csv");
    for (int n : {0, 1, 3}) EXPECT_EQ(read_all(dir.path() / (base + std::to_string(n) + ".csv")), "old");
}

// A stamp gives a hundred names: _99 is the last one free, and with it
// taken the save fails without a file.
TEST(WriteScanCsv, NinetyNineIsTheLastName) {
    TempDir dir;
    const std::string base = "scan_" + std::string(STAMP) + "_";
    for (int n = 0; n < 99; ++n) std::ofstream(dir.path() / (base + std::to_string(n) + ".csv"));
    const std::vector<Sample> sweep = {{1.0, 2.0}};
    auto last = save_at_stamp(sweep, output_in(dir.path()));
    ASSERT_TRUE(last.has_value()) << last.error().display();
    EXPECT_EQ(last->filename(), base + "99.csv");
    EXPECT_EQ(read_all(*last), "1,2\n");
    auto none = save_at_stamp(sweep, output_in(dir.path()));
    ASSERT_FALSE(none.has_value()) << *none;
    EXPECT_EQ(none.error().kind(), vorlix::base::IoErrorKind::AlreadyExists);
    EXPECT_EQ(none.error().display(), "could not allocate a unique scan filename");
    EXPECT_EQ(names_in(dir.path()).size(), 100u);
}

TEST(WriteScanCsv, DirectoryHandling) {
    TempDir dir;
    const std::vector<Sample> sweep = {{1.0, 2.0}};
    // A missing nested directory is made with its parents.
    const fs::path nested = dir.path() / "a" / "b" / "c";
    auto made = write_scan_csv(sweep, output_in(nested));
    ASSERT_TRUE(made.has_value()) << made.error().display();
    EXPECT_EQ(made->parent_path(), nested);
    EXPECT_TRUE(std::regex_match(made->filename().string(),
                                 std::regex(R"(scan_\d{8} \d{2}_\d{2}_\d{2}_\d{6}_0\.csv)")))
        << *made;
    // An existing directory is used as it is.
    auto again = write_scan_csv(sweep, output_in(nested));
    ASSERT_TRUE(again.has_value());
    EXPECT_EQ(names_in(nested).size(), 2u);
    // A directory path that is a file fails before anything is written.
    std::ofstream(dir.path() / "plain") << "x";
    auto blocked = write_scan_csv(sweep, output_in(dir.path() / "plain" / "sub"));
    ASSERT_FALSE(blocked.has_value());
    EXPECT_EQ(read_all(dir.path() / "plain"), "x");
}

TEST(WriteScanCsv, FailedWriteLeavesNoFile) {
    TempDir dir;
    std::vector<Sample> sweep(20000, Sample{240.001234, -87.46875});
    // A file-size limit makes a write fail part-way, as a full disk would.
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto* previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 10000;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    auto result = save_at_stamp(sweep, output_in(dir.path()));
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().os_code(), EFBIG);
    EXPECT_TRUE(names_in(dir.path()).empty());
}

TEST(WriteScanCsv, AProcessKilledMidWriteLeavesNoScanFile) {
    TempDir dir;
    std::vector<Sample> sweep(20000, Sample{240.001234, -87.46875});
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The default action of SIGXFSZ ends the process at the size limit,
        // as a kill or a power cut would in the middle of the write.
        std::signal(SIGXFSZ, SIG_DFL);
        rlimit small{10000, 10000};
        ::setrlimit(RLIMIT_FSIZE, &small);
        (void)save_at_stamp(sweep, output_in(dir.path()));
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << status;
    // Not even a scratch file stays behind where the file system can hold
    // a file without a name, as the ones the tests run on can.
    EXPECT_TRUE(names_in(dir.path()).empty()) << names_in(dir.path()).front();
}

// Every way a save can reach its name, each killed at every stage: no name
// ever holds less than the whole scan, and the next save leaves no scratch
// file of the killed one behind.
TEST(WriteScanCsv, KilledSavesLeaveNoShortScanAndNoScratchOnEveryFileSystem) {
    constexpr std::size_t POINTS = 3 * ROWS_PER_PART + 100;  // four writes of rows
    TempDir reference;
    const auto sweep = vorlix::test::probe_sweep(POINTS);
    auto made = save_at_stamp(sweep, output_in(reference.path()));
    ASSERT_TRUE(made.has_value());
    const std::string whole = read_all(*made);

    const char* const kills[] = {"write:1",   "write:3",         "fsync:1",
                                 "publish:1", "publish:1:after", "publish:2"};
    for (const char* faults : FILE_SYSTEMS) {
        for (const char* kill : kills) {
            const std::string where = std::string(faults) + " / " + kill;
            TempDir dir;
            const int killed = vorlix::test::run_with_faults(
                VORLIX_SAVE_PROBE, {dir.path(), std::to_string(POINTS)}, faults, kill);
            // Only the paths with a second publishing call can outlive the
            // last kill point.
            if (std::string_view(kill) != "publish:2") {
                ASSERT_TRUE(WIFSIGNALED(killed) && WTERMSIG(killed) == SIGKILL) << where << " " << killed;
            }
            const int saved = vorlix::test::run_with_faults(VORLIX_SAVE_PROBE,
                                                            {dir.path(), std::to_string(POINTS)}, faults, "");
            ASSERT_TRUE(WIFEXITED(saved) && WEXITSTATUS(saved) == 0) << where;
            std::size_t scans = 0;
            for (const std::string& name : names_in(dir.path())) {
                ASSERT_TRUE(
                    std::regex_match(name, std::regex(R"(scan_\d{8} \d{2}_\d{2}_\d{2}_\d{6}_\d+\.csv)")))
                    << where << ": " << name;
                EXPECT_EQ(read_all(dir.path() / name), whole) << where << ": " << name;
                ++scans;
            }
            EXPECT_GE(scans, 1u) << where;
        }
    }
}

// Leftovers are removed only when clearly a scratch file of a scan whose
// process is gone.
TEST(WriteScanCsv, OnlyDeadScratchFilesOfScansAreRemoved) {
    TempDir dir;
    const pid_t gone = ::fork();
    if (gone == 0) ::_exit(0);
    ASSERT_EQ(::waitpid(gone, nullptr, 0), gone);
    const std::string dead = std::to_string(gone);
    const std::string alive = std::to_string(::getpid());
    const std::string stamp(STAMP);
    const std::vector<std::string> removed = {
        ".scan_" + stamp + "." + dead + ".0.tmp",
        ".other prefix_" + stamp + "." + dead + ".17.tmp",
    };
    const std::vector<std::string> kept = {
        ".scan_" + stamp + "." + alive + ".0.tmp",      // a running process
        ".scan_" + stamp + "." + dead + ".x.tmp",       // not our number
        ".scan_20261209.." + dead + ".0.tmp",           // not a stamp
        ".config.toml." + dead + ".0.tmp",              // not a scan
        "scan_" + stamp + "." + dead + ".0.tmp",        // not hidden
        ".scan_" + stamp + "." + dead + ".0.tmp.keep",  // not a scratch name
    };
    for (const auto& name : removed) std::ofstream(dir.path() / name) << "x";
    for (const auto& name : kept) std::ofstream(dir.path() / name) << "x";
    fs::create_directory(dir.path() / (".scan_" + stamp + "." + dead + ".1.tmp"));  // not a file
    const std::vector<Sample> sweep = {{1.0, 2.0}};
    auto saved = write_scan_csv(sweep, output_in(dir.path()));
    ASSERT_TRUE(saved.has_value());
    auto names = names_in(dir.path());
    for (const auto& name : removed) EXPECT_EQ(std::count(names.begin(), names.end(), name), 0) << name;
    for (const auto& name : kept) EXPECT_EQ(std::count(names.begin(), names.end(), name), 1) << name;
    EXPECT_EQ(names.size(), kept.size() + 2);
}

TEST(WriteScanCsv, EveryFileSystemSkipsTakenNamesWithoutTouchingThem) {
    const std::string base = "scan_" + std::string(STAMP) + "_";
    for (const char* faults : FILE_SYSTEMS) {
        TempDir dir;
        for (int n : {0, 1}) std::ofstream(dir.path() / (base + std::to_string(n) + ".csv")) << "old";
        const int saved =
            vorlix::test::run_with_faults(VORLIX_SAVE_PROBE, {dir.path(), "3", stamp_micros()}, faults, "");
        ASSERT_TRUE(WIFEXITED(saved) && WEXITSTATUS(saved) == 0) << faults;
        EXPECT_EQ(names_in(dir.path()),
                  (std::vector<std::string>{base + "0.csv", base + "1.csv", base + "2.csv"}))
            << faults;
        for (int n : {0, 1})
            EXPECT_EQ(read_all(dir.path() / (base + std::to_string(n) + ".csv")), "old") << faults;
        EXPECT_EQ(read_all(dir.path() / (base + "2.csv")),
                  "240,-87.46875\n240.001234,-86.46875\n240.002468,-85.46875\n")
            << faults;
    }
}

TEST(WriteScanCsv, ASweepOfManyPartsKeepsItsOrder) {
    TempDir dir;
    std::vector<Sample> sweep;
    std::string expected = std::string(CSV_HEADER) + "\n";
    for (std::size_t i = 0; i < 2 * ROWS_PER_PART + 5; ++i) {
        const double f = static_cast<double>(240'000'000 + i * 560) / 1e6,
                     level = -120.0 + double(i % 977) / 32;
        sweep.push_back({f, level});
        expected += format_number(f) + "," + format_number(level) + "\n";
    }
    auto path = save_at_stamp(sweep, output_in(dir.path(), true));
    ASSERT_TRUE(path.has_value()) << path.error().display();
    EXPECT_TRUE(vorlix::test::same_text(read_all(*path), expected));
}
