#include "base/file_io.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <deque>
#include <fstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace vorlix::base {
namespace {

namespace fs = std::filesystem;

struct Scratch {
    fs::path dir = fs::path(testing::TempDir()) / ("file_io_test_" + std::to_string(::getpid()));
    Scratch() { fs::create_directories(dir); }
    ~Scratch() { fs::remove_all(dir); }
};

TEST(ReadWholeFile, ReturnsEveryByteOrTheOpenError) {
    Scratch scratch;
    std::string big(200'000, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 % 251);
    for (const std::string& bytes : {std::string(), std::string("a\0b\n", 4), big}) {
        const fs::path path = scratch.dir / "f";
        std::ofstream(path, std::ios::binary) << bytes;
        auto read = read_whole_file(path);
        ASSERT_TRUE(read.has_value()) << read.error().display();
        EXPECT_EQ(*read, bytes);
    }
    // A file that grows past the size seen at the open is still read whole,
    // as /proc files report size 0.
    auto proc = read_whole_file("/proc/self/status");
    ASSERT_TRUE(proc.has_value());
    EXPECT_NE(proc->find("Pid:"), std::string::npos);
    EXPECT_EQ(read_whole_file(scratch.dir / "absent").error(), IoError::from_errno(ENOENT));
    EXPECT_EQ(read_whole_file(scratch.dir).error(), IoError::from_errno(EISDIR));
}

TEST(ReadWholeFile, StopsAtTheLimit) {
    Scratch scratch;
    std::string big(200'000, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 % 251);
    const fs::path path = scratch.dir / "f";
    std::ofstream(path, std::ios::binary) << big;
    for (std::size_t limit :
         {std::size_t{0}, std::size_t{1}, std::size_t{65537}, big.size(), big.size() + 1}) {
        auto read = read_whole_file(path, limit);
        ASSERT_TRUE(read.has_value()) << limit;
        EXPECT_EQ(*read, big.substr(0, limit)) << limit;
    }
    // A device without an end, past the first guess at its size.
    auto zeros = read_whole_file("/dev/zero", 100'000);
    ASSERT_TRUE(zeros.has_value());
    EXPECT_EQ(*zeros, std::string(100'000, '\0'));
}

// One scripted step of write_some: bytes taken, or an error.
struct Step {
    std::size_t taken = 0;
    int error = 0;
};

TEST(WriteAllWith, RetriesInterruptionsAndStopsAtZeroOrAnError) {
    const IoError zero = IoError::custom(IoErrorKind::WriteZero, "failed to write whole buffer");
    const struct {
        const char* name;
        std::vector<Step> steps;
        std::string written;
        std::optional<IoError> error;
    } cases[] = {
        {"in_one", {{6}}, "abcdef", std::nullopt},
        {"in_parts_with_interruptions", {{2}, {0, EINTR}, {3}, {0, EINTR}, {1}}, "abcdef", std::nullopt},
        {"a_zero_write", {{4}, {0}}, "abcd", zero},
        {"an_error", {{1}, {0, ENOSPC}}, "a", IoError::from_errno(ENOSPC)},
        {"more_than_asked", {{9}}, "abcdef", std::nullopt},
    };
    for (const auto& c : cases) {
        std::deque<Step> steps(c.steps.begin(), c.steps.end());
        std::string written;
        auto write_some = [&](std::span<const std::uint8_t> rest) -> std::expected<std::size_t, IoError> {
            Step step = steps.front();
            steps.pop_front();
            if (step.error) return std::unexpected(IoError::from_errno(step.error));
            written.append(reinterpret_cast<const char*>(rest.data()), std::min(step.taken, rest.size()));
            return step.taken;
        };
        const std::string text = "abcdef";
        auto result = write_all_with(
            write_some, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
        EXPECT_EQ(written, c.written) << c.name;
        EXPECT_TRUE(steps.empty()) << c.name;
        if (c.error) {
            ASSERT_FALSE(result.has_value()) << c.name;
            EXPECT_EQ(result.error(), *c.error) << c.name;
        } else {
            EXPECT_TRUE(result.has_value()) << c.name;
        }
    }
}

TEST(WriteAll, WritesADescriptorWholeAndReportsItsError) {
    Scratch scratch;
    const fs::path path = scratch.dir / "out";
    {
        std::ofstream(path) << "";
        const int fd = ::open(path.c_str(), O_WRONLY);
        ASSERT_GE(fd, 0);
        const std::string text(100'000, 'x');
        EXPECT_TRUE(write_all(fd, text).has_value());
        EXPECT_TRUE(sync_file(fd).has_value());
        ::close(fd);
        EXPECT_EQ(read_whole_file(path).value(), text);
    }
    const int fd = ::open(path.c_str(), O_RDONLY);
    EXPECT_EQ(write_all(fd, "x").error(), IoError::from_errno(EBADF));
    ::close(fd);
    EXPECT_EQ(sync_file(-1).error(), IoError::from_errno(EBADF));
}

}  // namespace
}  // namespace vorlix::base
