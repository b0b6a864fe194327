#pragma once
// Replacing the configuration file with newly rendered text. The text goes
// to a fresh temporary file beside the target, is forced to disk, and is
// then renamed over the target, so the file on disk is always either the
// old or the new text, never half of one.

#include <cstdint>
#include <expected>
#include <filesystem>
#include <string>
#include <string_view>

#include "base/io_error.hpp"
#include "base/new_file.hpp"
#include "config/error.hpp"
#include "config/record.hpp"

namespace vorlix::app {

// How many candidate temporary names one replacement tries before giving up.
inline constexpr int TEMP_FILE_ATTEMPTS = static_cast<int>(base::NEW_FILE_NAME_ATTEMPTS);

// ".{file_name}.{pid}.{counter}.tmp"
std::string temp_file_name(std::string_view file_name, std::uint64_t pid, std::uint64_t counter);

// The value the next candidate name will take. Every attempt of every
// replacement in the process takes a fresh value, so two replacements never
// build the same name.
std::uint64_t next_temp_file_counter();

// Writes `text` to `path` through a temporary file in the same directory
// and a rename; temporaries that killed write-backs left beside `path` are
// removed first. Failures: "missing file name" (InvalidInput) when `path`
// names no file, "could not allocate a configuration temporary file"
// (AlreadyExists) when every candidate name is taken, the permission error
// when `path` is a file without write permission (the rename would replace
// it regardless), else the operating system's error. No temporary file is left behind on failure, and the old
// file stays untouched unless the rename happened.
std::expected<void, base::IoError> replace_file(const std::filesystem::path& path, std::string_view text);

// Renders the whole configuration and replaces the file at `path` with it.
// A value TOML cannot hold gives ConfigError Serialize (nothing is written);
// every file-system failure of replace_file gives ConfigError Io.
std::expected<void, config::ConfigError> write_back_config(const config::Config& config,
                                                           const std::filesystem::path& path);

}  // namespace vorlix::app
