#pragma once
// The record as the TOML text that replaces the configuration file: every
// key in record order, no comments, arrays of two or more elements one per
// line. The text loads back to an equal Config.

#include <expected>
#include <string>

#include "config/error.hpp"
#include "config/record.hpp"

namespace vorlix::config {

// The whole text, or ConfigError Serialize for a value TOML cannot hold
// (an unsigned 64-bit value above the largest TOML integer, a text that is
// not valid UTF-8).
std::expected<std::string, ConfigError> serialize_config(const Config& config);

}  // namespace vorlix::config
