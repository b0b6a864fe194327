#include "base/file_io.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/unique_fd.hpp"

namespace vorlix::base {

std::expected<std::string, IoError> read_whole_file(const std::filesystem::path& path, std::size_t limit) {
    int opened;
    do {
        opened = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    } while (opened < 0 && errno == EINTR);
    if (opened < 0) return std::unexpected(IoError::from_errno(errno));
    const UniqueFd fd(opened);
    // One spare byte past the reported size lets the final read see the end
    // without growing the buffer.
    std::size_t guess = 65536;
    struct stat info {};
    if (::fstat(fd.get(), &info) == 0 && info.st_size > 0) guess = static_cast<std::size_t>(info.st_size) + 1;
    std::string bytes(std::min(guess, limit), '\0');
    std::size_t used = 0;
    while (used < limit) {
        if (used == bytes.size()) bytes.resize(std::min(bytes.size() * 2, limit));
        const ssize_t n = ::read(fd.get(), bytes.data() + used, bytes.size() - used);
        if (n < 0) {
            if (errno == EINTR) continue;
            return std::unexpected(IoError::from_errno(errno));
        }
        if (n == 0) break;
        used += static_cast<std::size_t>(n);
    }
    bytes.resize(used);
    return bytes;
}

std::expected<void, IoError> write_all(int fd, std::string_view bytes) {
    return write_all_with(
        [fd](std::span<const std::uint8_t> rest) -> std::expected<std::size_t, IoError> {
            const ssize_t n = ::write(fd, rest.data(), rest.size());
            if (n < 0) return std::unexpected(IoError::from_errno(errno));
            return static_cast<std::size_t>(n);
        },
        std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

std::expected<void, IoError> sync_file(int fd) {
    if (::fsync(fd) != 0) return std::unexpected(IoError::from_errno(errno));
    return {};
}

}  // namespace vorlix::base
