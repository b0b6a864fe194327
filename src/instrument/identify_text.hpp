#pragma once
// Text helpers for reading the instrument's replies. Replies are UTF-8 text
// (invalid sequences already replaced), but the helpers accept any bytes: a
// byte that does not start a valid sequence is taken as one character that
// is not white space, so nothing here can read past the text.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vorlix::instrument {

// The length in bytes of the white-space character at the start of `text`,
// or 0 when the text is empty or does not start with one. White space is the
// full Unicode White_Space set, not just the ASCII blanks.
std::size_t white_space_len_at(std::string_view text);

// The non-empty runs between white space, in order.
std::vector<std::string_view> split_white_space(std::string_view text);

// The text without white space at either end.
std::string_view trim_white_space(std::string_view text);

// Lines cut at each line feed, which goes together with a carriage return
// just before it; the text after the last line feed is the last line, and
// nothing follows a final line feed.
std::vector<std::string_view> split_lines(std::string_view text);

// A copy in which only A–Z become a–z; every other byte stays as it is.
std::string ascii_lower(std::string_view text);

}  // namespace vorlix::instrument
