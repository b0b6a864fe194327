#pragma once
// Small pieces of TOML text shared by the typed read and the writer: the
// parse of a whole text into a table, the shortest form of a float and the
// text form of a date-time.

#include <expected>
#include <string>
#include <string_view>

#include <toml++/toml.h>

#include "config/error.hpp"

namespace vorlix::config {

// The text as a table, or its first syntax error with the offending line.
// The bounds of config/toml_bounds.hpp fail the same way: a text longer than
// MAX_TOML_SIZE at its first character past it, a text nesting deeper than
// MAX_TOML_DEPTH at the first key part or bracket past it unless a syntax
// error comes before.
std::expected<toml::table, TomlError> parse_toml(std::string_view text);

enum class FloatStyle {
    Message,  // error messages: NaN, inf, -inf
    Toml,     // TOML text: nan, inf, -inf
};

// Plain decimal notation with the fewest digits that read back to the same
// value, padded with zeros rather than printed exactly (1e23 is
// 100000000000000000000000.0, not 99999999999999991611392.0); ".0" appended
// to whole numbers (-128.0, 0.0, -0.0). In TOML style a
// value whose plain form would be too long for the parser to read back
// (beyond about 1e125, or tiny fractions) is written with an exponent.
std::string shortest_float(double value, FloatStyle style);

// A date, time or date-time node as TOML writes it, e.g. 1979-05-27T07:32:00Z;
// empty for any other node.
std::string datetime_text(const toml::node& node);

bool is_datetime(const toml::node& node);

}  // namespace vorlix::config
