#pragma once
// Text as it comes from files, the operating system and the instrument:
// strict UTF-8 checks and decoding, lossy conversion for showing bytes,
// Unicode white space, lines and ASCII case.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vorlix::base {

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool is_valid_utf8(std::string_view bytes);

// Decodes the character starting at bytes[pos] and advances pos past it;
// nullopt (pos unchanged) when no valid character starts there.
std::optional<char32_t> decode_utf8(std::string_view bytes, std::size_t& pos);

struct DecodedChar {
    char32_t code_point;
    std::size_t length;  // bytes taken, at least 1
};

// The same decoding for readers that must always move on (pos <
// bytes.size()): where no valid character starts, U+FFFD for that one byte.
DecodedChar decode_utf8_replacing(std::string_view bytes, std::size_t pos);

// The text with each maximal ill-formed sequence replaced by one U+FFFD, for
// showing bytes the operating system or the instrument gave us.
std::string lossy_utf8(std::string_view bytes);

// How escape_controls writes a text.
enum class EscapeStyle {
    // One item on one line (a log record, a path): every control escaped.
    Line,
    // A message of several lines: line feeds and tabs stay as they are.
    Lines,
    // The inside of a debug form's quotes: as Line, with '"' and '\\' escaped
    // too, the soft hyphen shown, and ill-formed bytes as \xNN so the exact
    // bytes stay visible.
    Quoted,
};

// The text as it may safely reach a terminal or a log: every control
// character a terminal would act on (C0, DEL and the C1 range
// U+0080–U+009F) written as an escape, \0 \t \n \r or \u{1b}, and each
// ill-formed UTF-8 sequence as one U+FFFD (Quoted: as \xNN per byte).
std::string escape_controls(std::string_view text, EscapeStyle style = EscapeStyle::Line);

// White space in the Unicode sense (the White_Space property).
bool is_unicode_whitespace(char32_t c);

// The text without leading and trailing Unicode white space. Bytes that do
// not form a valid character count as text, never as white space.
std::string_view trim_unicode_whitespace(std::string_view text);

// The non-empty runs between Unicode white space, in order; invalid bytes
// again count as text.
std::vector<std::string_view> split_unicode_whitespace(std::string_view text);

// Lines cut at each line feed, which goes together with a carriage return
// just before it; the text after the last line feed is the last line, and
// nothing follows a final line feed.
std::vector<std::string_view> split_lines(std::string_view text);

// A copy in which only A–Z become a–z; every other byte stays as it is.
std::string ascii_lower(std::string_view text);

}  // namespace vorlix::base
