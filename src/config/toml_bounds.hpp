#pragma once
// The largest TOML text the parser is given, and how deep a text nests,
// found without parsing it. The parser and every walk over its tree (its own
// clean-up, the merge, destruction) recurse once per level, and dotted keys
// reach any depth in a few bytes per level: a text must be refused before it
// reaches the parser, not after the stack is gone.

#include <cstddef>
#include <optional>
#include <string_view>

namespace vorlix::config {

// The parser spends about a microsecond per table, array or value, and a
// text can hold one every two bytes; a configuration is a few kilobytes.
inline constexpr std::size_t MAX_TOML_SIZE = 256 * 1024;

// The most levels a text may nest. A level is a part of a table header, a
// part of a dotted key, or an array or inline table opened inside a value;
// header parts count once although an array of tables behind one may add a
// second level, so the tree is at most twice this deep.
inline constexpr std::size_t MAX_TOML_DEPTH = 512;

// The byte order mark the parser skips at the start of a text: it is no key,
// and takes no column.
inline constexpr std::string_view UTF8_BYTE_ORDER_MARK = "\xEF\xBB\xBF";

// The byte offset of the first key part or bracket that nests deeper than
// MAX_TOML_DEPTH, or nullopt when no part of the text does. The scan follows
// strings, comments, quoted keys, arrays and inline tables exactly as far as
// the text is valid TOML; past a syntax error it only has to stay bounded.
std::optional<std::size_t> first_too_deep(std::string_view text);

}  // namespace vorlix::config
