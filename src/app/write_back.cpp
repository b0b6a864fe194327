#include "app/write_back.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "base/file_io.hpp"
#include "base/text.hpp"
#include "config/serialize.hpp"

namespace vorlix::app {
namespace {

// Never reset: every candidate name of the process is new, so a leftover
// from an earlier attempt is never reused.
std::atomic<std::uint64_t> temp_file_counter{0};

base::IoError last_os_error() { return base::IoError::from_errno(errno); }

std::expected<void, base::IoError> write_and_sync(int fd, std::string_view text) {
    if (auto written = base::write_all(fd, text); !written) return written;
    return base::sync_file(fd);
}

// rename() replaces a file whatever its permissions, so a configuration
// file the user made read-only, or one this user may not write, would be
// overwritten all the same. Such a target is refused as a write to it would
// be.
std::expected<void, base::IoError> check_target_writable(const std::filesystem::path& path) {
    struct stat info{};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return {};
    if ((info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
        return std::unexpected(base::IoError::from_errno(EACCES));
    }
    if (::access(path.c_str(), W_OK) != 0 && (errno == EACCES || errno == EROFS)) {
        return std::unexpected(last_os_error());
    }
    return {};
}

// A configuration kept elsewhere and reached through a link is written
// where it really lives; replacing the link itself would leave the real file
// unchanged and the link gone.
std::filesystem::path resolve_link(const std::filesystem::path& path) {
    std::error_code ec;
    if (!std::filesystem::is_symlink(path, ec)) return path;
    std::filesystem::path real = std::filesystem::canonical(path, ec);
    return ec ? path : real;
}

// The new file keeps the old one's permission bits, so a private
// configuration does not become readable by others.
void keep_mode(int fd, const std::filesystem::path& path) {
    struct stat info{};
    if (::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
        (void)::fchmod(fd, info.st_mode & 07777);
    }
}

}  // namespace

std::string temp_file_name(std::string_view file_name, std::uint64_t pid, std::uint64_t counter) {
    std::string name = ".";
    name += file_name;
    name += '.';
    name += std::to_string(pid);
    name += '.';
    name += std::to_string(counter);
    name += ".tmp";
    return name;
}

std::uint64_t next_temp_file_counter() { return temp_file_counter.load(); }

std::expected<void, base::IoError> replace_file(const std::filesystem::path& given,
                                                std::string_view text) {
    const std::filesystem::path path = resolve_link(given);
    std::filesystem::path file_name = path.filename();
    if (file_name.empty() || file_name == "." || file_name == "..") {
        return std::unexpected(
            base::IoError::custom(base::IoErrorKind::InvalidInput, "missing file name"));
    }
    std::filesystem::path dir = path.parent_path();
    if (dir.empty()) dir = ".";
    const std::string shown_name = base::lossy_utf8(file_name.native());
    const auto pid = static_cast<std::uint64_t>(::getpid());

    std::filesystem::path temp;
    int fd = -1;
    for (int attempt = 0; attempt < temp_file_attempts && fd < 0; ++attempt) {
        temp = dir / temp_file_name(shown_name, pid, temp_file_counter.fetch_add(1));
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) return std::unexpected(last_os_error());
    }
    if (fd < 0) {
        return std::unexpected(base::IoError::custom(
            base::IoErrorKind::AlreadyExists, "could not allocate a configuration temporary file"));
    }

    keep_mode(fd, path);
    if (auto synced = write_and_sync(fd, text); !synced) {
        ::unlink(temp.c_str());
        ::close(fd);
        return synced;
    }
    // The data is on disk already; a late close error has nothing left to lose.
    ::close(fd);
    if (auto writable = check_target_writable(path); !writable) {
        ::unlink(temp.c_str());
        return writable;
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        base::IoError error = last_os_error();
        ::unlink(temp.c_str());
        return std::unexpected(std::move(error));
    }
    return {};
}

std::expected<void, config::ConfigError> write_back_config(const config::Config& config,
                                                           const std::filesystem::path& path) {
    auto text = config::serialize_config(config);
    if (!text) return std::unexpected(std::move(text.error()));
    if (auto replaced = replace_file(path, *text); !replaced) {
        return std::unexpected(config::ConfigError::io(std::move(replaced.error())));
    }
    return {};
}

}  // namespace vorlix::app
