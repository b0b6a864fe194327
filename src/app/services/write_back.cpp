#include "app/services/write_back.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/new_file.hpp"
#include "base/text.hpp"
#include "config/serialize.hpp"

namespace vorlix::app {
namespace {

// The write-back's temporaries count on their own, whatever else the
// process saves.
base::ScratchNumbers temp_file_numbers{0};

base::IoError last_os_error() { return base::IoError::from_errno(errno); }

// rename() replaces a file whatever its permissions, so a configuration
// file the user made read-only, or one this user may not write, would be
// overwritten all the same. Such a target is refused as a write to it would
// be.
std::expected<void, base::IoError> check_target_writable(const std::filesystem::path& path) {
    struct stat info {};
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

// The new file takes the old one's owner, group and permission bits, so a
// write-back by another user (root, for the serial port) neither locks the
// owner out of their file nor makes a private configuration readable by
// others. The owner comes first: a change of owner may clear set-id bits.
// A user other than root cannot give a file away; their new file still
// keeps the group where they belong to it, as on a configuration shared by a
// group, and goes ahead where its owner can still read it through that
// group or as anyone. Otherwise the old file is left as it is rather than
// replaced by one its owner could no longer read.
std::expected<void, base::IoError> keep_owner_and_mode(int fd, const std::filesystem::path& path) {
    struct stat old_file {};
    if (::stat(path.c_str(), &old_file) != 0 || !S_ISREG(old_file.st_mode)) return {};
    struct stat new_file {};
    if (::fstat(fd, &new_file) != 0) return std::unexpected(last_os_error());
    if ((new_file.st_uid != old_file.st_uid || new_file.st_gid != old_file.st_gid) &&
        ::fchown(fd, old_file.st_uid, old_file.st_gid) != 0) {
        if (errno != EPERM) return std::unexpected(last_os_error());
        const bool group_kept =
            new_file.st_gid == old_file.st_gid || ::fchown(fd, static_cast<uid_t>(-1), old_file.st_gid) == 0;
        const bool owner_reads =
            (group_kept && (old_file.st_mode & S_IRGRP) != 0) || (old_file.st_mode & S_IROTH) != 0;
        if (!owner_reads) {
            return std::unexpected(base::IoError::custom(base::IoErrorKind::PermissionDenied,
                                                         "cannot keep the owner and group of the file"));
        }
    }
    (void)::fchmod(fd, old_file.st_mode & 07777);
    return {};
}

}  // namespace

std::expected<void, base::IoError> replace_file(const std::filesystem::path& given, std::string_view text) {
    const std::filesystem::path path = resolve_link(given);
    std::filesystem::path file_name = path.filename();
    if (file_name.empty() || file_name == "." || file_name == "..") {
        return std::unexpected(base::IoError::custom(base::IoErrorKind::InvalidInput, "missing file name"));
    }
    std::filesystem::path dir = path.parent_path();
    if (dir.empty()) dir = ".";
    const std::string shown_name = base::lossy_utf8(file_name.native());

    // Temporaries of write-backs killed before their rename are cleared,
    // so they never pile up beside the configuration.
    base::remove_dead_scratch(dir, [&](std::string_view stem) { return stem == shown_name; });
    auto file = base::NewFile::create(
        {dir, shown_name, "could not allocate a configuration temporary file", &temp_file_numbers});
    if (!file) return std::unexpected(std::move(file.error()));
    if (auto kept = keep_owner_and_mode(file->fd(), path); !kept) return kept;
    if (auto written = file->write(text); !written) return written;
    if (auto synced = file->sync(); !synced) return synced;
    if (auto writable = check_target_writable(path); !writable) return writable;
    return file->publish_replacing(path);
}

std::expected<void, config::ConfigError> write_back_config(const config::Config& config,
                                                           const std::filesystem::path& path) {
    auto text = config::serialize_config(config);
    if (!text) return std::unexpected(std::move(text.error()));
    if (auto replaced = replace_file(path, *text); !replaced) {
        return std::unexpected(config::ConfigError::Io{std::move(replaced.error())});
    }
    return {};
}

}  // namespace vorlix::app
