#include "app/services/write_back.hpp"

#include <gtest/gtest.h>

#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
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
#include "base/new_file.hpp"
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

std::uint64_t own_pid() { return static_cast<std::uint64_t>(::getpid()); }

std::string temp_file_name(std::string_view file_name, std::uint64_t pid, std::uint64_t counter) {
    return base::scratch_file_name(file_name, pid, counter);
}

fs::path leftover_name(const fs::path& dir, std::uint64_t counter) {
    return dir / temp_file_name("config.toml", own_pid(), counter);
}

constexpr std::uint64_t ATTEMPTS = base::NEW_FILE_NAME_ATTEMPTS;

// Where the write-back's counter stands is seen only through the names it
// tries: with the ATTEMPTS names from `n` on all taken, a write-back gives
// up exactly when the counter stands at `n` (from below it finds a free
// name at once, from above past the taken ones). The probe itself takes
// those ATTEMPTS values.
testing::AssertionResult counter_stands_at(const fs::path& probe_dir, std::uint64_t n) {
    fs::create_directories(probe_dir);
    for (std::uint64_t k = n; k < n + ATTEMPTS; ++k) write_text(leftover_name(probe_dir, k), "");
    auto result = replace_file(probe_dir / "config.toml", "probe = 1\n");
    fs::remove_all(probe_dir);
    if (!result) {
        if (result.error().kind() == base::IoErrorKind::AlreadyExists) return testing::AssertionSuccess();
        return testing::AssertionFailure() << "probe failed: " << result.error().display();
    }
    return testing::AssertionFailure() << "the counter does not stand at " << n;
}

// The counter starts at 0 in every process and is never reset, so a test
// that counts the values it takes runs in a process of its own.
void in_fresh_process(const std::function<void()>& body) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            body();
            std::_Exit(testing::Test::HasFailure() ? 1 : 0);
        },
        testing::ExitedWithCode(0), "");
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

TEST_F(WriteBack, TheFirstCandidateOfAProcessIsCounterZeroInTheWorkingDirectory) {
    // The scan saves count their own scratch files. A leftover under the
    // very first name shows which name was tried first.
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
        in_fresh_process([&] {
            fs::current_path(root_);
            ASSERT_TRUE(c.before());
            const std::string first = ".config.toml." + std::to_string(own_pid()) + ".0.tmp";
            write_text(first, "leftover");
            ASSERT_TRUE(replace_file("config.toml", "a = 1\n").has_value());
            EXPECT_EQ(read_all(first), "leftover");
            EXPECT_EQ(read_all("config.toml"), "a = 1\n");
            EXPECT_TRUE(counter_stands_at(root_ / "probe", 2));
        });
    }
}

TEST_F(WriteBack, ReplacesTheFileWithTheTextAndLeavesNoTemporary) {
    in_fresh_process([&] {
        write_text(target_, "old = true\n");
        ASSERT_TRUE(replace_file(target_, "new = 1\n").has_value());
        ASSERT_TRUE(replace_file(target_, "new = 1\n").has_value());
        EXPECT_EQ(read_all(target_), "new = 1\n");
        EXPECT_EQ(listing(root_), std::set<std::string>{"config.toml"});
        EXPECT_TRUE(counter_stands_at(root_ / "probe", 2));
    });
}

// Tests run as root, so the old file can belong to another user (nobody).
TEST_F(WriteBack, KeepsOwnerGroupAndPermissionBitsAlsoThroughALink) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to give a file to another user";
    constexpr uid_t nobody = 65534;
    constexpr gid_t nogroup = 65534;
    const fs::path real_dir = root_ / "real";
    const fs::path real = real_dir / "cfg.toml";
    const struct {
        const char* name;
        fs::path target;
    } cases[] = {{"the_file_itself", real}, {"through_a_link", target_}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(root_);
        fs::create_directories(real_dir);
        write_text(real, "old = true\n");
        ASSERT_EQ(::chown(real.c_str(), nobody, nogroup), 0);
        fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
        fs::create_symlink(real, target_);
        ASSERT_TRUE(replace_file(c.target, "new = 1\n").has_value());
        EXPECT_TRUE(fs::is_symlink(target_));
        EXPECT_EQ(read_all(real), "new = 1\n");
        struct stat info {};
        ASSERT_EQ(::stat(real.c_str(), &info), 0);
        EXPECT_EQ(info.st_uid, nobody);
        EXPECT_EQ(info.st_gid, nogroup);
        EXPECT_EQ(info.st_mode & 07777, 0640u);
        EXPECT_EQ(listing(real_dir), std::set<std::string>{"cfg.toml"});
        EXPECT_EQ(listing(root_), (std::set<std::string>{"config.toml", "real"}));
    }
}

// A user other than root cannot give a file away. The new file keeps the
// group where the user belongs to it and goes ahead where the owner can
// still read it; otherwise the write-back refuses and the old file stays as
// it was.
TEST_F(WriteBack, AnotherUsersFileIsReplacedOnlyWhereItsOwnerCanStillReadIt) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to run as another user";
    constexpr uid_t nobody = 65534;
    const struct {
        const char* name;
        uid_t owner;
        gid_t group;
        fs::perms mode;
        bool replaced;
        gid_t group_after;
    } cases[] = {
        {"another_owner_and_group", 0, 0, fs::perms(0662), false, 0},
        {"a_group_the_user_is_in", 0, nobody, fs::perms(0660), true, nobody},
        {"readable_by_anyone", 0, 0, fs::perms(0666), true, nobody},
    };
    const fs::path shared = root_ / "shared";
    const fs::path target = shared / "config.toml";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(shared);
        fs::create_directories(shared);
        fs::permissions(shared, fs::perms::all);
        write_text(target, "old = true\n");
        ASSERT_EQ(::chown(target.c_str(), c.owner, c.group), 0);
        fs::permissions(target, c.mode);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            if (::setgroups(0, nullptr) != 0 || ::setgid(nobody) != 0 || ::setuid(nobody) != 0) ::_exit(2);
            auto result = replace_file(target, "new = 1\n");
            const bool refused =
                !result &&
                result.error() == base::IoError::custom(base::IoErrorKind::PermissionDenied,
                                                        "cannot keep the owner and group of the file");
            ::_exit(result.has_value() == c.replaced && refused != c.replaced ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        EXPECT_EQ(read_all(target), c.replaced ? "new = 1\n" : "old = true\n");
        struct stat info {};
        ASSERT_EQ(::stat(target.c_str(), &info), 0);
        EXPECT_EQ(info.st_uid, c.replaced ? nobody : c.owner);
        EXPECT_EQ(info.st_gid, c.replaced ? c.group_after : c.group);
        EXPECT_EQ(fs::perms(info.st_mode & 0777), c.mode);
        EXPECT_EQ(listing(shared), std::set<std::string>{"config.toml"});
    }
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
    in_fresh_process([&] {
        write_text(leftover_name(root_, 0), "leftover");
        ASSERT_TRUE(replace_file(target_, "x = 2\n").has_value());
        EXPECT_EQ(read_all(target_), "x = 2\n");
        EXPECT_EQ(read_all(leftover_name(root_, 0)), "leftover");
        EXPECT_EQ(listing(root_).size(), 2u);
        EXPECT_TRUE(counter_stands_at(root_ / "probe", 2));
    });
}

TEST_F(WriteBack, TemporaryNamesShowAnInvalidFileNameLossily) {
    in_fresh_process([&] {
        fs::path target = root_ / "cfg\xff.toml";
        fs::path leftover = root_ / temp_file_name("cfg\xef\xbf\xbd.toml", own_pid(), 0);
        write_text(leftover, "leftover");
        ASSERT_TRUE(replace_file(target, "y = 3\n").has_value());
        EXPECT_EQ(read_all(target), "y = 3\n");
        EXPECT_EQ(read_all(leftover), "leftover");
        EXPECT_TRUE(counter_stands_at(root_ / "probe", 2));
    });
}

TEST_F(WriteBack, GivesUpAfterAHundredTakenNames) {
    in_fresh_process([&] {
        write_text(target_, "old");
        for (std::uint64_t n = 0; n < ATTEMPTS; ++n) write_text(leftover_name(root_, n), "");
        auto result = replace_file(target_, "x = 2\n");
        ASSERT_FALSE(result.has_value());
        EXPECT_EQ(result.error(), base::IoError::custom(base::IoErrorKind::AlreadyExists,
                                                        "could not allocate a configuration temporary file"));
        EXPECT_EQ(read_all(target_), "old");
        EXPECT_EQ(listing(root_).size(), 1u + ATTEMPTS);
        EXPECT_TRUE(counter_stands_at(root_ / "probe", ATTEMPTS));
    });
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
    in_fresh_process([&] {
        fs::path target = c.prepare(root_);
        std::set<std::string> before = listing(root_);
        std::optional<std::string> old_text;
        if (fs::is_regular_file(target)) old_text = read_all(target);
        auto result = replace_file(target, "text = 1\n");
        ASSERT_FALSE(result.has_value());
        EXPECT_EQ(result.error(), c.error);
        EXPECT_EQ(listing(root_), before);
        if (old_text) {
            EXPECT_EQ(read_all(target), *old_text);
        }
        EXPECT_TRUE(counter_stands_at(root_ / "probe", c.attempts));
    });
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

// A record read from a file near the size bound can render past it, with
// the keys the file left out: such a text is never written, as the next
// start would refuse it.
TEST_F(WriteBack, RefusesATextTheLoaderWouldRefuse) {
    write_text(target_, "old = true\n");
    config::Config near_bound;
    near_bound.port = std::string(256 * 1024 - 100, 'p');
    auto result = write_back_config(near_bound, target_);
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().display(),
              "cannot serialize configuration: rendered text exceeds maximum size of 262144 bytes");
    EXPECT_EQ(read_all(target_), "old = true\n");
    EXPECT_EQ(listing(root_), std::set<std::string>{"config.toml"});
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
