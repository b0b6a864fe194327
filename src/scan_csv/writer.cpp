#include "scan_csv/writer.hpp"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <system_error>

#include <fcntl.h>
#include <unistd.h>

#include <fmt/format.h>

#include "scan_csv/rows.hpp"

namespace vorlix::scan_csv {

namespace {

base::IoError last_os_error() { return base::IoError::from_errno(errno); }

// Owns the open descriptor of a file being written; unless committed, the
// file is closed and removed when this goes away.
class PendingFile {
public:
    PendingFile(int fd, std::filesystem::path path) : fd_(fd), path_(std::move(path)) {}
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;
    ~PendingFile() {
        if (fd_ >= 0) ::close(fd_);
        if (!committed_ && !path_.empty()) {
            std::error_code ignored;
            std::filesystem::remove(path_, ignored);
        }
    }

    std::expected<void, base::IoError> write_all(const char* data, std::size_t size) {
        while (size > 0) {
            const ssize_t n = ::write(fd_, data, size);
            if (n < 0) {
                if (errno == EINTR) continue;
                return std::unexpected(last_os_error());
            }
            if (n == 0) {
                return std::unexpected(base::IoError::custom(base::IoErrorKind::WriteZero,
                                                             "failed to write whole buffer"));
            }
            data += n;
            size -= static_cast<std::size_t>(n);
        }
        return {};
    }

    std::expected<void, base::IoError> sync() {
        if (::fsync(fd_) != 0) return std::unexpected(last_os_error());
        return {};
    }

    const std::filesystem::path& path() const { return path_; }
    int fd() const { return fd_; }

    // Closes the file and keeps it. A close after a successful fsync cannot
    // lose data any more, so its result is not looked at.
    std::filesystem::path commit() {
        ::close(fd_);
        fd_ = -1;
        committed_ = true;
        return std::move(path_);
    }

private:
    int fd_;
    std::filesystem::path path_;
    bool committed_ = false;
};

base::IoError no_free_name() {
    return base::IoError::custom(base::IoErrorKind::AlreadyExists,
                                 "could not allocate a unique scan filename");
}

// Creates the first of up to MAX_NAME_ATTEMPTS names that does not exist yet,
// without ever opening an existing file.
template <class NameOf>
std::expected<PendingFile, base::IoError> create_first_free(NameOf name_of) {
    for (unsigned n = 0; n < MAX_NAME_ATTEMPTS; ++n) {
        std::filesystem::path path = name_of(n);
        int fd;
        do {
            fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        } while (fd < 0 && errno == EINTR);
        if (fd >= 0) return std::expected<PendingFile, base::IoError>(std::in_place, fd, std::move(path));
        if (errno != EEXIST) return std::unexpected(last_os_error());
    }
    return std::unexpected(no_free_name());
}

std::filesystem::path scan_name(const config::OutputConfig& output, std::string_view stamp,
                                unsigned n) {
    return std::filesystem::path(output.directory) /
           fmt::format("{}_{}_{}.csv", output.filename_prefix, stamp, n);
}

}  // namespace

std::string format_scan_timestamp(std::chrono::system_clock::time_point when) {
    using namespace std::chrono;
    const auto micros = duration_cast<microseconds>(when.time_since_epoch()).count();
    // Floor division so that a time before the epoch still gets 0..999999.
    auto seconds = micros / 1'000'000;
    auto fraction = micros % 1'000'000;
    if (fraction < 0) {
        fraction += 1'000'000;
        seconds -= 1;
    }
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm local{};
    ::localtime_r(&t, &local);
    char date[32];
    const std::size_t len = std::strftime(date, sizeof date, "%Y%m%d %H_%M_%S", &local);
    return fmt::format("{}_{:06}", std::string_view(date, len), fraction);
}

namespace {

// The file's own fsync makes its bytes durable but not its new name: until
// the directory entry reaches the disk, a power cut can lose a file already
// reported as saved. Some file systems refuse fsync on a directory, and the
// file is complete by now, so a failure here is not an error.
void sync_directory(const std::string& directory) {
    const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    (void)::fsync(fd);
    ::close(fd);
}

std::expected<void, base::IoError> create_directory(const config::OutputConfig& output) {
    std::error_code ec;
    std::filesystem::create_directories(output.directory, ec);
    if (ec) return std::unexpected(base::IoError::from_errno(ec.value()));
    return {};
}

std::expected<void, base::IoError> write_samples(PendingFile& file,
                                                 std::span<const instrument::Sample> samples,
                                                 bool include_header) {
    if (include_header) {
        if (auto ok = file.write_all(CSV_HEADER.data(), CSV_HEADER.size()); !ok) return ok;
    }
    auto written = write_rows(samples, [&file](std::string_view text) {
        return file.write_all(text.data(), text.size());
    });
    if (!written) return written;
    return file.sync();
}

// The old way, for file systems that cannot rename without replacing: the
// data goes straight into the reserved name.
std::expected<std::filesystem::path, base::IoError> write_directly(
    std::span<const instrument::Sample> samples, const config::OutputConfig& output,
    std::string_view stamp) {
    auto created = create_first_free([&](unsigned n) { return scan_name(output, stamp, n); });
    if (!created) return std::unexpected(std::move(created.error()));
    if (auto ok = write_samples(*created, samples, output.include_header); !ok) {
        return std::unexpected(ok.error());
    }
    return created->commit();
}

std::atomic<unsigned> scratch_counter{0};

// A hidden scratch file next to the scan files, never an existing one.
std::expected<PendingFile, base::IoError> create_scratch(const config::OutputConfig& output,
                                                         std::string_view stamp) {
    return create_first_free([&](unsigned) {
        return std::filesystem::path(output.directory) /
               fmt::format(".{}_{}.{}.{}.tmp", output.filename_prefix, stamp, ::getpid(),
                           scratch_counter.fetch_add(1, std::memory_order_relaxed));
    });
}

enum class Publish { Done, Taken, Unsupported, Failed };

Publish publish_without_replacing(const std::filesystem::path& from, const std::filesystem::path& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return Publish::Done;
    }
    if (errno == EEXIST) return Publish::Taken;
    if (errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP) return Publish::Unsupported;
    return Publish::Failed;
}

// The samples are written and synced under a scratch name first, and only a
// complete file takes a scan name: a process ended or a power cut during the
// write must not leave a shortened scan that looks whole.
std::expected<std::filesystem::path, base::IoError> write_via_scratch(
    std::span<const instrument::Sample> samples, const config::OutputConfig& output,
    std::string_view stamp) {
    auto scratch = create_scratch(output, stamp);
    if (!scratch) return std::unexpected(std::move(scratch.error()));
    if (auto ok = write_samples(*scratch, samples, output.include_header); !ok) {
        return std::unexpected(ok.error());
    }
    const std::filesystem::path from = scratch->path();
    for (unsigned n = 0; n < MAX_NAME_ATTEMPTS; ++n) {
        std::filesystem::path to = scan_name(output, stamp, n);
        switch (publish_without_replacing(from, to)) {
            case Publish::Done:
                scratch->commit();
                sync_directory(output.directory);
                return to;
            case Publish::Taken: continue;
            case Publish::Unsupported: {
                auto path = write_directly(samples, output, stamp);
                if (path) sync_directory(output.directory);
                return path;
            }
            case Publish::Failed: return std::unexpected(last_os_error());
        }
    }
    return std::unexpected(no_free_name());
}

// Better still, a file with no name at all until it is complete: if the
// process ends during the write, the kernel drops it and nothing is left
// behind, not even a scratch file. Where the file system cannot make one, or
// it cannot be given a name afterwards, the scratch-name way takes over.
std::expected<std::filesystem::path, base::IoError> write_into_directory(
    std::span<const instrument::Sample> samples, const config::OutputConfig& output,
    std::string_view stamp) {
    int fd;
    do {
        fd = ::open(output.directory.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return write_via_scratch(samples, output, stamp);
    PendingFile unnamed(fd, {});
    if (auto ok = write_samples(unnamed, samples, output.include_header); !ok) {
        return std::unexpected(ok.error());
    }
    const std::string self = fmt::format("/proc/self/fd/{}", unnamed.fd());
    for (unsigned n = 0; n < MAX_NAME_ATTEMPTS; ++n) {
        std::filesystem::path to = scan_name(output, stamp, n);
        // Linking never replaces an existing file: a taken name fails.
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, to.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            unnamed.commit();
            sync_directory(output.directory);
            return to;
        }
        if (errno != EEXIST) return write_via_scratch(samples, output, stamp);
    }
    return std::unexpected(no_free_name());
}

}  // namespace

std::expected<std::filesystem::path, base::IoError> write_scan_csv(
    std::span<const instrument::Sample> samples, const config::OutputConfig& output) {
    if (auto ok = create_directory(output); !ok) return std::unexpected(ok.error());
    // One stamp for every attempt of this save.
    return write_into_directory(samples, output,
                                format_scan_timestamp(std::chrono::system_clock::now()));
}

std::expected<std::filesystem::path, base::IoError> write_scan_csv_stamped(
    std::span<const instrument::Sample> samples, const config::OutputConfig& output,
    std::string_view stamp) {
    if (auto ok = create_directory(output); !ok) return std::unexpected(ok.error());
    return write_into_directory(samples, output, stamp);
}

}  // namespace vorlix::scan_csv
