#include "base/new_file.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <mutex>
#include <optional>

#include "base/file_io.hpp"

namespace vorlix::base {
namespace {

IoError last_os_error() { return IoError::from_errno(errno); }

std::filesystem::path fresh_scratch(const NewFile::Place& place) {
    return place.directory /
           scratch_file_name(place.stem, static_cast<std::uint64_t>(::getpid()), place.numbers->fetch_add(1));
}

IoError names_taken(const NewFile::Place& place) {
    return IoError::custom(IoErrorKind::AlreadyExists, place.names_taken);
}

int open_retrying(const char* path, int flags) {
    int fd;
    do {
        fd = ::open(path, flags, 0666);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// The answers of a file system that lacks a call or a flag, rather than
// refusing this one use of it.
bool unsupported(int code) { return code == EOPNOTSUPP || code == ENOSYS || code == EINVAL; }

std::string proc_path(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

// The pid in a scratch name ".{stem}.{pid}.{n}.tmp", with the stem.
struct ScratchParts {
    std::string_view stem;
    pid_t pid;
};

bool all_digits(std::string_view text) {
    return !text.empty() && text.size() <= 19 &&
           text.find_first_not_of("0123456789") == std::string_view::npos;
}

std::optional<ScratchParts> parse_scratch(std::string_view name) {
    constexpr std::string_view suffix = ".tmp";
    if (name.size() < 2 || name[0] != '.' || !name.ends_with(suffix)) return std::nullopt;
    name.remove_suffix(suffix.size());
    const std::size_t number_dot = name.rfind('.');
    if (number_dot == std::string_view::npos || !all_digits(name.substr(number_dot + 1))) return std::nullopt;
    name = name.substr(0, number_dot);
    const std::size_t pid_dot = name.rfind('.');
    if (pid_dot == std::string_view::npos || pid_dot == 0) return std::nullopt;
    const std::string_view pid_text = name.substr(pid_dot + 1);
    long long pid = 0;
    if (!all_digits(pid_text) ||
        std::from_chars(pid_text.data(), pid_text.data() + pid_text.size(), pid).ec != std::errc() ||
        pid <= 0 || pid > 0x7fffffff) {
        return std::nullopt;
    }
    return ScratchParts{name.substr(1, pid_dot - 1), static_cast<pid_t>(pid)};
}

bool process_gone(pid_t pid) { return pid != ::getpid() && ::kill(pid, 0) == -1 && errno == ESRCH; }

// Without a rename that refuses to replace and without links, a rename is
// the only way left to give a complete file its name. It replaces, so the
// name is checked free first; saves of this process are serialised around
// the check, leaving only another process that picks the same name in the
// same moment.
std::mutex last_resort_rename;

enum class Outcome { Done, Taken, Unsupported, Failed };

Outcome rename_no_replace(const std::filesystem::path& from, const std::filesystem::path& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return Outcome::Done;
    if (errno == EEXIST) return Outcome::Taken;
    return unsupported(errno) ? Outcome::Unsupported : Outcome::Failed;
}

// A link never replaces an existing file.
Outcome link_then_unlink(const std::filesystem::path& from, const std::filesystem::path& to) {
    if (::link(from.c_str(), to.c_str()) == 0) {
        ::unlink(from.c_str());
        return Outcome::Done;
    }
    if (errno == EEXIST) return Outcome::Taken;
    // File systems without hard links answer EPERM.
    return unsupported(errno) || errno == EPERM ? Outcome::Unsupported : Outcome::Failed;
}

Outcome checked_rename(const std::filesystem::path& from, const std::filesystem::path& to) {
    const std::lock_guard lock(last_resort_rename);
    struct stat info {};
    if (::lstat(to.c_str(), &info) == 0) return Outcome::Taken;
    if (errno != ENOENT) return Outcome::Failed;
    return ::rename(from.c_str(), to.c_str()) == 0 ? Outcome::Done : Outcome::Failed;
}

}  // namespace

std::string scratch_file_name(std::string_view stem, std::uint64_t pid, std::uint64_t number) {
    std::string name = ".";
    name += stem;
    name += '.';
    name += std::to_string(pid);
    name += '.';
    name += std::to_string(number);
    name += ".tmp";
    return name;
}

void remove_dead_scratch(const std::filesystem::path& directory,
                         const std::function<bool(std::string_view stem)>& ours) {
    DIR* dir = ::opendir(directory.c_str());
    if (dir == nullptr) return;
    const int dir_fd = ::dirfd(dir);
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        const auto parts = parse_scratch(name);
        if (!parts || !ours(parts->stem) || !process_gone(parts->pid)) continue;
        struct stat info {};
        if (::fstatat(dir_fd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode))
            continue;
        (void)::unlinkat(dir_fd, entry->d_name, 0);
    }
    ::closedir(dir);
}

void sync_directory(const std::filesystem::path& directory) {
    const UniqueFd fd(open_retrying(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.valid()) (void)::fsync(fd.get());
}

std::expected<NewFile, IoError> NewFile::create(Place place) {
    // The first scratch name is taken before anything is opened, so every
    // file takes at least one number, whichever way it goes.
    std::filesystem::path scratch = fresh_scratch(place);
    UniqueFd nameless(open_retrying(place.directory.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC));
    if (nameless.valid()) {
        // Naming it later goes through /proc; where that is missing, only a
        // link by the descriptor itself can name it, which needs a
        // privilege. Either is tried now, while the file is still empty,
        // so that a file that cannot be named is never written.
        if (::access(proc_path(nameless.get()).c_str(), F_OK) == 0) {
            return NewFile(std::move(place), std::move(nameless), std::move(scratch), true);
        }
        if (::linkat(nameless.get(), "", AT_FDCWD, scratch.c_str(), AT_EMPTY_PATH) == 0) {
            return NewFile(std::move(place), std::move(nameless), std::move(scratch), false);
        }
    } else if (!unsupported(errno) && errno != EISDIR) {
        return std::unexpected(last_os_error());
    }
    for (unsigned attempt = 0; attempt < NEW_FILE_NAME_ATTEMPTS; ++attempt) {
        if (attempt > 0) scratch = fresh_scratch(place);
        UniqueFd fd(open_retrying(scratch.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC));
        if (fd.valid()) return NewFile(std::move(place), std::move(fd), std::move(scratch), false);
        if (errno != EEXIST) return std::unexpected(last_os_error());
    }
    return std::unexpected(names_taken(place));
}

NewFile::~NewFile() {
    fd_.reset();
    if (linked_) (void)::unlink(scratch_.c_str());
}

std::expected<void, IoError> NewFile::write(std::string_view bytes) { return write_all(fd_.get(), bytes); }

std::expected<void, IoError> NewFile::sync() { return sync_file(fd_.get()); }

std::expected<void, IoError> NewFile::link_scratch() {
    const std::string self = proc_path(fd_.get());
    for (unsigned attempt = 0; attempt < NEW_FILE_NAME_ATTEMPTS; ++attempt) {
        if (attempt > 0) scratch_ = fresh_scratch(place_);
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, scratch_.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            linked_ = true;
            return {};
        }
        if (errno != EEXIST) return std::unexpected(last_os_error());
    }
    return std::unexpected(names_taken(place_));
}

std::expected<std::filesystem::path, IoError> NewFile::publish_new(
    const std::function<std::filesystem::path(unsigned)>& name_of, unsigned attempts,
    const IoError& all_taken) {
    const std::string self = nameless_ ? proc_path(fd_.get()) : std::string();
    // Learnt once per file: which way this directory's file system offers.
    Outcome (*way)(const std::filesystem::path&, const std::filesystem::path&) = rename_no_replace;
    for (unsigned n = 0; n < attempts; ++n) {
        std::filesystem::path to = name_of(n);
        Outcome outcome;
        if (nameless_) {
            if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, to.c_str(), AT_SYMLINK_FOLLOW) == 0) {
                outcome = Outcome::Done;
            } else {
                outcome = errno == EEXIST ? Outcome::Taken : Outcome::Failed;
            }
        } else {
            outcome = way(scratch_, to);
            if (outcome == Outcome::Unsupported && way == rename_no_replace) {
                way = link_then_unlink;
                outcome = way(scratch_, to);
            }
            if (outcome == Outcome::Unsupported && way == link_then_unlink) {
                way = checked_rename;
                outcome = way(scratch_, to);
            }
        }
        switch (outcome) {
            case Outcome::Done:
                linked_ = false;
                fd_.reset();
                sync_directory(place_.directory);
                return to;
            case Outcome::Taken: continue;
            case Outcome::Unsupported:
            case Outcome::Failed: return std::unexpected(last_os_error());
        }
    }
    return std::unexpected(all_taken);
}

std::expected<void, IoError> NewFile::publish_replacing(const std::filesystem::path& target) {
    // A nameless file cannot be renamed; it gets its scratch name only now,
    // so a process ended before this point leaves nothing behind.
    if (nameless_ && !linked_) {
        if (auto named = link_scratch(); !named) return named;
    }
    fd_.reset();
    if (::rename(scratch_.c_str(), target.c_str()) != 0) return std::unexpected(last_os_error());
    linked_ = false;
    sync_directory(place_.directory);
    return {};
}

}  // namespace vorlix::base
