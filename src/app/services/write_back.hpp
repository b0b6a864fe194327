#pragma once
// Replacing the configuration file with newly rendered text. The text goes
// to a fresh temporary file beside the target, is forced to disk, and is
// then renamed over the target, so the file on disk is always either the
// old or the new text, never half of one.

#include <expected>
#include <filesystem>
#include <string_view>

#include "base/io_error.hpp"
#include "config/error.hpp"
#include "config/record.hpp"

namespace vorlix::app {

// Writes `text` to `path` through a temporary file in the same directory
// and a rename; temporaries that killed write-backs left beside `path` are
// removed first. The temporary names are ".{file_name}.{pid}.{n}.tmp", n
// counting every attempt of the process from 0, so two replacements never
// build the same name. The new file keeps the owner, group and permission
// bits of the one it replaces. Failures: "missing file name" (InvalidInput)
// when `path` names no file, "could not allocate a configuration temporary
// file" (AlreadyExists) when every candidate name is taken, "cannot keep the
// owner and group of the file" (PermissionDenied) when the process may not
// give them to the new file, the permission error when `path` is a file
// without write permission (the rename would replace it regardless), else
// the operating system's error. No temporary file is left behind on
// failure, and the old file stays untouched unless the rename happened.
std::expected<void, base::IoError> replace_file(const std::filesystem::path& path, std::string_view text);

// Renders the whole configuration and replaces the file at `path` with it.
// A value TOML cannot hold gives ConfigError Serialize (nothing is written);
// every file-system failure of replace_file gives ConfigError Io.
std::expected<void, config::ConfigError> write_back_config(const config::Config& config,
                                                           const std::filesystem::path& path);

}  // namespace vorlix::app
