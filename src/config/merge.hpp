#pragma once
// Laying the user's table over the defaults, key by key.

#include <toml++/toml.h>

namespace vorlix::config {

// Tables merge key by key at every depth; any other value of the overlay
// (an array, a scalar, an array of tables) replaces the base value whole,
// whatever its kind. Nothing is removed from the base.
void merge_toml(toml::table& base, toml::table&& overlay);

}  // namespace vorlix::config
