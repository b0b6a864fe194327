#pragma once
// A new file that nobody can see under its final name before it is written
// in full and forced to disk, and the publishing of it under that name.
//
// Where the file system can hold a file without a name, the data goes into
// one and the name is linked to it at the end: a process that dies before
// has left nothing behind. Elsewhere the data goes to a hidden scratch file
// ".{stem}.{pid}.{n}.tmp" beside the target; a scratch file whose process
// no longer runs is removed by remove_dead_scratch, which the next writer in
// that directory calls. The way is chosen before the first byte is written,
// so the data is written once whatever the file system offers.

#include <atomic>
#include <cstdint>
#include <expected>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

#include "base/io_error.hpp"
#include "base/unique_fd.hpp"

namespace vorlix::base {

// How many scratch or final names one file tries before giving up.
inline constexpr unsigned NEW_FILE_NAME_ATTEMPTS = 100;

// ".{stem}.{pid}.{number}.tmp"
std::string scratch_file_name(std::string_view stem, std::uint64_t pid, std::uint64_t number);

// The numbers one kind of file takes for its scratch names, from 0 in each
// process. A number is never reused, so a leftover of an earlier attempt is
// never taken for our own file.
using ScratchNumbers = std::atomic<std::uint64_t>;

// Removes from `directory` the regular files named as scratch files whose
// stem `ours` accepts and whose process no longer exists. Anything else,
// the files of running processes included, stays untouched; failures are
// ignored, as the clean-up only saves space.
void remove_dead_scratch(const std::filesystem::path& directory,
                         const std::function<bool(std::string_view stem)>& ours);

// Forces a directory's entries to disk, so that a published name survives a
// power cut. File systems that refuse this lose nothing the file's own sync
// has not kept, so failures are ignored.
void sync_directory(const std::filesystem::path& directory);

class NewFile {
public:
    struct Place {
        std::filesystem::path directory;
        // Scratch names are ".{stem}.{pid}.{n}.tmp".
        std::string stem;
        // The text of the AlreadyExists failure when every scratch name
        // tried is taken.
        std::string names_taken;
        // Shared by every file of the same kind.
        ScratchNumbers* numbers;
    };

    // A failure to create is the operating system's error (the directory
    // is missing, not writable, …) or `names_taken`.
    static std::expected<NewFile, IoError> create(Place place);

    NewFile(NewFile&& other) noexcept
        : place_(std::move(other.place_)),
          fd_(std::move(other.fd_)),
          scratch_(std::move(other.scratch_)),
          nameless_(other.nameless_),
          linked_(std::exchange(other.linked_, false)) {}
    NewFile& operator=(NewFile&&) = delete;
    // An unpublished file is dropped: closed, and its scratch name removed.
    ~NewFile();

    int fd() const { return fd_.get(); }
    std::expected<void, IoError> write(std::string_view bytes);
    std::expected<void, IoError> sync();

    // Gives the complete file the first name `name_of(0)`, `name_of(1)`, …
    // that does not exist yet, never replacing a file, and returns it.
    // When `attempts` names are all taken, fails with `all_taken`.
    std::expected<std::filesystem::path, IoError> publish_new(
        const std::function<std::filesystem::path(unsigned)>& name_of, unsigned attempts,
        const IoError& all_taken);

    // Gives the complete file the name `target`, replacing what is there in
    // one step: a reader sees the old file or the new one, never a mix.
    std::expected<void, IoError> publish_replacing(const std::filesystem::path& target);

    // Whether the file has no name (the file system can hold such files).
    bool nameless() const { return nameless_; }

private:
    NewFile(Place place, UniqueFd fd, std::filesystem::path scratch, bool nameless)
        : place_(std::move(place)),
          fd_(std::move(fd)),
          scratch_(std::move(scratch)),
          nameless_(nameless),
          linked_(!nameless) {}

    // Links the nameless file to a scratch name, taking fresh numbers while
    // names are taken.
    std::expected<void, IoError> link_scratch();

    Place place_;
    UniqueFd fd_;
    // The scratch name: the file's name, or for a nameless file the first
    // candidate to link it to.
    std::filesystem::path scratch_;
    bool nameless_ = false;
    // Whether scratch_ names our file, and must go when it is dropped.
    bool linked_ = false;
};

}  // namespace vorlix::base
