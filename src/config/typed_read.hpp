#pragma once
// The strict typed read of a TOML table into Config: every key required, no
// other key accepted, every value of its field's type and width. The first
// fault in walk order is the one reported, with the key path to it.

#include <expected>

#include <toml++/toml.h>

#include "config/error.hpp"
#include "config/record.hpp"

namespace vorlix::config {

// The file road: the merged table, walked in byte-wise sorted key order; a
// date-time stands for its TOML text.
std::expected<Config, TomlError> deserialize_from_value(const toml::table& merged);

// The defaults-only road: the parsed default document, walked in document
// order; a date-time is never taken as text, and enumerations given as tables
// follow the document form's rules.
std::expected<Config, TomlError> deserialize_from_document(const toml::table& document);

}  // namespace vorlix::config
