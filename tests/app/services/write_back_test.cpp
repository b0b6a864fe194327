#include "app/services/write_back.hpp"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <limits>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/services/write_back_probe.hpp"
#include "base/fault_run.hpp"
#include "config/serialize.hpp"
#include "scan_csv/writer.hpp"

namespace vorlix::app {
namespace {

namespace fs = std::filesystem;

std::string read_all(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void write_text(const fs::path& path, std::string_view text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::set<std::string> listing(const fs::path& dir) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.insert(entry.path().filename());
    return names;
}

fs::path leftover_name(const fs::path& dir, std::uint64_t counter) {
    return dir / temp_file_name("config.toml", static_cast<std::uint64_t>(::getpid()), counter);
}

class WriteBack : public testing::Test {
protected:
    fs::path root_ = fs::path(testing::TempDir()) / ("write_back_test_" + std::to_string(::getpid()));
    fs::path target_ = root_ / "config.toml";
    void SetUp() override {
        fs::remove_all(root_);
        fs::create_directories(root_);
    }
    void TearDown() override { fs::remove_all(root_); }
};

TEST(TempFileName, NamesFileProcessAndCounter) {
    EXPECT_EQ(temp_file_name("config.toml", 4242, 0), ".config.toml.4242.0.tmp");
    EXPECT_EQ(temp_file_name("my cfg.toml", 1, 17), ".my cfg.toml.1.17.tmp");
}

TEST_F(WriteBack, TheFirstCandidateOfAProcessIsCounterZeroInTheWorkingDirectory) {
    // A fresh process, so no earlier write-back has moved the counter, and
    // the scan saves count their own scratch files. A leftover under the
    // very first name shows which name was tried first.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::vector<instrument::Sample> samples = {{100.0, -50.0}};
    const config::OutputConfig scans{(root_ / "scans").string(), "scan", false};
    const struct {
        const char* name;
        std::function<bool()> before;
    } cases[] = {
        {"first_save_of_the_process", [] { return true; }},
        {"after_a_scan_save", [&] { return scan_csv::write_scan_csv(samples, scans).has_value(); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EXIT(
            {
                fs::current_path(root_);
                if (!c.before()) std::_Exit(2);
                const fs::path first =
                    temp_file_name("config.toml", static_cast<std::uint64_t>(::getpid()), 0);
                write_text(first, "leftover");
                const bool replaced = replace_file("config.toml", "a = 1\n").has_value();
                const bool ok = replaced && next_temp_file_counter() == 2 && read_all(first) == "leftover" &&
                                read_all("config.toml") == "a = 1\n";
                std::_Exit(ok ? 0 : 1);
            },
            testing::ExitedWithCode(0), "");
    }
}

TEST_F(WriteBack, ReplacesTheFileWithTheTextAndLeavesNoTemporary) {
    write_text(target_, "old = true\n");
    std::uint64_t before = next_temp_file_counter();
    ASSERT_TRUE(replace_file(target_, "new = 1\n").has_value());
    ASSERT_TRUE(replace_file(target_, "new = 1\n").has_value());
    EXPECT_EQ(read_all(target_), "new = 1\n");
    EXPECT_EQ(listing(root_), std::set<std::string>{"config.toml"});
    EXPECT_EQ(next_temp_file_counter(), before + 2);
}

TEST_F(WriteBack, KeepsThePermissionBitsAndWritesThroughALink) {
    const fs::path real_dir = root_ / "real";
    fs::create_directories(real_dir);
    const fs::path real = real_dir / "cfg.toml";
    write_text(real, "old = true\n");
    fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write);
    fs::create_symlink(real, target_);
    ASSERT_TRUE(replace_file(target_, "new = 1\n").has_value());
    EXPECT_TRUE(fs::is_symlink(target_));
    EXPECT_EQ(read_all(real), "new = 1\n");
    EXPECT_EQ(fs::status(real).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(listing(real_dir), std::set<std::string>{"cfg.toml"});
    EXPECT_EQ(listing(root_), (std::set<std::string>{"config.toml", "real"}));
}

TEST_F(WriteBack, ABareFileNameIsWrittenInTheWorkingDirectory) {
    fs::path previous = fs::current_path();
    fs::current_path(root_);
    auto result = replace_file("config.toml", "a = 1\n");
    fs::current_path(previous);
    ASSERT_TRUE(result.has_value()) << result.error().display();
    EXPECT_EQ(read_all(target_), "a = 1\n");
}

TEST_F(WriteBack, SkipsALeftoverTemporaryFile) {
    std::uint64_t next = next_temp_file_counter();
    write_text(leftover_name(root_, next), "leftover");
    ASSERT_TRUE(replace_file(target_, "x = 2\n").has_value());
    EXPECT_EQ(read_all(target_), "x = 2\n");
    EXPECT_EQ(read_all(leftover_name(root_, next)), "leftover");
    EXPECT_EQ(next_temp_file_counter(), next + 2);
    EXPECT_EQ(listing(root_).size(), 2u);
}

TEST_F(WriteBack, TemporaryNamesShowAnInvalidFileNameLossily) {
    fs::path target = root_ / "cfg\xff.toml";
    std::uint64_t next = next_temp_file_counter();
    fs::path leftover =
        root_ / temp_file_name("cfg\xef\xbf\xbd.toml", static_cast<std::uint64_t>(::getpid()), next);
    write_text(leftover, "leftover");
    ASSERT_TRUE(replace_file(target, "y = 3\n").has_value());
    EXPECT_EQ(read_all(target), "y = 3\n");
    EXPECT_EQ(read_all(leftover), "leftover");
    EXPECT_EQ(next_temp_file_counter(), next + 2);
}

TEST_F(WriteBack, GivesUpAfterAHundredTakenNames) {
    write_text(target_, "old");
    std::uint64_t next = next_temp_file_counter();
    for (std::uint64_t n = next; n < next + TEMP_FILE_ATTEMPTS; ++n) write_text(leftover_name(root_, n), "");
    auto result = replace_file(target_, "x = 2\n");
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error(), base::IoError::custom(base::IoErrorKind::AlreadyExists,
                                                    "could not allocate a configuration temporary file"));
    EXPECT_EQ(next_temp_file_counter(), next + TEMP_FILE_ATTEMPTS);
    EXPECT_EQ(read_all(target_), "old");
    EXPECT_EQ(listing(root_).size(), 1u + TEMP_FILE_ATTEMPTS);
}

struct FailureCase {
    const char* name;
    std::function<fs::path(const fs::path& root)> prepare;  // returns the target path
    base::IoError error;
    std::uint64_t attempts;  // counter values used
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

class WriteBackFailure : public testing::TestWithParam<FailureCase> {
protected:
    fs::path root_ = fs::path(testing::TempDir()) / ("write_back_fail_" + std::to_string(::getpid()));
    void SetUp() override {
        fs::remove_all(root_);
        fs::create_directories(root_);
    }
    void TearDown() override { fs::remove_all(root_); }
};

TEST_P(WriteBackFailure, FailsWithTheErrorAndLeavesNothingBehind) {
    const FailureCase& c = GetParam();
    fs::path target = c.prepare(root_);
    std::set<std::string> before = listing(root_);
    std::optional<std::string> old_text;
    if (fs::is_regular_file(target)) old_text = read_all(target);
    std::uint64_t counter = next_temp_file_counter();
    auto result = replace_file(target, "text = 1\n");
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error(), c.error);
    EXPECT_EQ(next_temp_file_counter(), counter + c.attempts);
    EXPECT_EQ(listing(root_), before);
    if (old_text) {
        EXPECT_EQ(read_all(target), *old_text);
    }
}

INSTANTIATE_TEST_SUITE_P(
    WriteBack, WriteBackFailure,
    testing::Values(
        FailureCase{"root_has_no_file_name", [](const fs::path&) { return fs::path("/"); },
                    base::IoError::custom(base::IoErrorKind::InvalidInput, "missing file name"), 0},
        FailureCase{"dot_dot_has_no_file_name", [](const fs::path& r) { return r / ".."; },
                    base::IoError::custom(base::IoErrorKind::InvalidInput, "missing file name"), 0},
        FailureCase{"missing_directory", [](const fs::path& r) { return r / "absent" / "config.toml"; },
                    base::IoError::from_errno(ENOENT), 1},
        // Tests run as root, where permission bits stop nothing: a parent that
        // is a regular file makes the directory unwritable for everyone.
        FailureCase{"parent_is_a_file",
                    [](const fs::path& r) {
                        write_text(r / "plain", "");
                        return r / "plain" / "config.toml";
                    },
                    base::IoError::from_errno(ENOTDIR), 1},
        // Permission bits are checked as such, so this holds for root too.
        FailureCase{"read_only_target",
                    [](const fs::path& r) {
                        write_text(r / "config.toml", "old = true\n");
                        fs::permissions(r / "config.toml", fs::perms::owner_read | fs::perms::group_read |
                                                               fs::perms::others_read);
                        return r / "config.toml";
                    },
                    base::IoError::from_errno(EACCES), 1},
        FailureCase{"rename_onto_a_directory",
                    [](const fs::path& r) {
                        fs::create_directories(r / "config.toml" / "inside");
                        return r / "config.toml";
                    },
                    base::IoError::from_errno(EISDIR), 1}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST_F(WriteBack, AFailedWriteRemovesTheTemporaryAndKeepsTheOldFile) {
    write_text(target_, "old");
    // A file size limit makes the write fail part-way, like a full disk.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 4;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    auto result = replace_file(target_, "a text longer than four bytes\n");
    setrlimit(RLIMIT_FSIZE, &saved);
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error(), base::IoError::from_errno(EFBIG));
    EXPECT_EQ(read_all(target_), "old");
    EXPECT_EQ(listing(root_), std::set<std::string>{"config.toml"});
}

TEST_F(WriteBack, WritesTheRenderedConfiguration) {
    config::Config config;
    config.port = "/dev/ttyACM0";
    config.points = 2001;
    ASSERT_TRUE(write_back_config(config, target_).has_value());
    auto rendered = config::serialize_config(config);
    ASSERT_TRUE(rendered.has_value());
    EXPECT_EQ(read_all(target_), *rendered);
    EXPECT_EQ(listing(root_), std::set<std::string>{"config.toml"});
}

TEST_F(WriteBack, ReportsRenderAndFileFailuresAsConfigurationErrors) {
    config::Config unrenderable;
    unrenderable.start_frequency = std::numeric_limits<std::uint64_t>::max();
    auto serialize = write_back_config(unrenderable, target_);
    ASSERT_FALSE(serialize.has_value());
    EXPECT_NE(serialize.error().get_if<config::ConfigError::Serialize>(), nullptr);
    EXPECT_FALSE(fs::exists(target_));

    auto io = write_back_config(config::Config{}, root_ / "absent" / "config.toml");
    ASSERT_FALSE(io.has_value());
    EXPECT_EQ(io.error(), config::ConfigError(config::ConfigError::Io{base::IoError::from_errno(ENOENT)}));
    EXPECT_EQ(io.error().display(), "configuration I/O: No such file or directory (os error 2)");
}

// Killed at every stage, with and without nameless files: the file is
// always one whole version, and the next write-back leaves no temporary of
// the killed one behind.
TEST_F(WriteBack, KilledWriteBacksLeaveAWholeFileAndNoTemporary) {
    const std::string old_text = test::probe_config_text(1);
    const std::string new_text = test::probe_config_text(2);
    const struct {
        const char* faults;
        std::vector<const char*> kills;
    } cases[] = {
        // The nameless file takes its temporary name only just before the rename.
        {"", {"write:1", "fsync:1", "publish:1", "publish:1:after", "publish:2", "publish:2:after"}},
        {"no_tmpfile", {"write:1", "fsync:1", "publish:1", "publish:1:after"}},
    };
    for (const auto& c : cases) {
        for (const char* kill : c.kills) {
            const std::string where = std::string(c.faults) + " / " + kill;
            write_text(target_, old_text);
            const int killed = test::run_with_faults(VORLIX_WRITE_BACK_PROBE, {target_, "2"}, c.faults, kill);
            ASSERT_TRUE(WIFSIGNALED(killed) && WTERMSIG(killed) == SIGKILL) << where << " " << killed;
            const std::string after_kill = read_all(target_);
            EXPECT_TRUE(after_kill == old_text || after_kill == new_text) << where;
            const int written = test::run_with_faults(VORLIX_WRITE_BACK_PROBE, {target_, "3"}, c.faults, "");
            ASSERT_TRUE(WIFEXITED(written) && WEXITSTATUS(written) == 0) << where;
            EXPECT_EQ(read_all(target_), test::probe_config_text(3)) << where;
            EXPECT_EQ(listing(root_), std::set<std::string>{"config.toml"}) << where;
        }
    }
}

TEST_F(WriteBack, RemovesOnlyTheTemporariesOfItsFileWhoseProcessIsGone) {
    const pid_t gone = ::fork();
    if (gone == 0) ::_exit(0);
    ASSERT_EQ(::waitpid(gone, nullptr, 0), gone);
    const auto dead = static_cast<std::uint64_t>(gone);
    const auto alive = static_cast<std::uint64_t>(::getpid());
    write_text(target_, "old");
    write_text(root_ / temp_file_name("config.toml", dead, 5), "leftover");
    const std::set<std::string> kept = {
        "config.toml", temp_file_name("config.toml", alive, 1'000'000),  // a running process
        temp_file_name("other.toml", dead, 5),                           // another file's
        temp_file_name("config.toml", dead, 5) + ".bak",                 // not a temporary name
    };
    for (const auto& name : kept) {
        if (name != "config.toml") write_text(root_ / name, "x");
    }
    ASSERT_TRUE(replace_file(target_, "new = 1\n").has_value());
    EXPECT_EQ(listing(root_), kept);
    EXPECT_EQ(read_all(target_), "new = 1\n");
}

}  // namespace
}  // namespace vorlix::app
