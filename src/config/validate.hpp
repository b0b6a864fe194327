#pragma once
// Limits and cross-field rules that the typed read cannot express.

#include <expected>

#include "config/error.hpp"
#include "config/record.hpp"

namespace vorlix::config {

// Success, or ConfigError Validation with the message of the first rule
// that fails. Never changes the record.
std::expected<void, ConfigError> validate_config(const Config& config);

}  // namespace vorlix::config
