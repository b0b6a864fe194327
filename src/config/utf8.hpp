#pragma once
// UTF-8 checks shared by the load (the file must be UTF-8), validation (one
// character per binding, Unicode white space) and serialisation.

#include <optional>
#include <string>
#include <string_view>

namespace vorlix::config {

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool is_valid_utf8(std::string_view bytes);

// Decodes the character starting at bytes[pos] and advances pos past it;
// nullopt (pos unchanged) when no valid character starts there.
std::optional<char32_t> decode_utf8(std::string_view bytes, std::size_t& pos);

// The text with every ill-formed sequence replaced by U+FFFD, for showing a
// path the operating system gave us as bytes.
std::string lossy_utf8(std::string_view bytes);

// White space in the Unicode sense (the White_Space property).
bool is_unicode_whitespace(char32_t c);

// The text without leading and trailing Unicode white space.
std::string_view trim_unicode_whitespace(std::string_view text);

}  // namespace vorlix::config
