#pragma once
// Finding, reading and checking the configuration at start-up.

#include <expected>
#include <filesystem>
#include <string_view>

#include "config/error.hpp"
#include "config/record.hpp"

namespace vorlix::config {

// The value of VORLIX_CONFIG exactly as the environment holds it, else
// "config.toml" in the working directory. The write-back replaces this file.
std::filesystem::path config_path();

// The configuration of this run: the file at config_path() laid key by key
// over the embedded defaults, read strictly and validated. A file that does
// not exist means the embedded defaults alone; should those ever fail to
// read, the process aborts with "embedded configuration must be valid".
std::expected<Config, ConfigError> load_config();

// The same load for an explicit path (load_config() is this on config_path()).
std::expected<Config, ConfigError> load_config_from(const std::filesystem::path& path);

// The loading steps after the file has been read, for callers that already
// hold the text (the fuzzer): UTF-8 check, parse, merge, typed read, validation.
std::expected<Config, ConfigError> load_config_text(std::string_view bytes);

// The embedded defaults alone, as the start without a file reads them.
// Aborts the process if they cannot be read.
Config embedded_config();

// embedded_config() for another default text: a text that does not parse or
// read stops the process with "embedded configuration must be valid: …".
Config config_from_defaults(std::string_view defaults_text);

}  // namespace vorlix::config
