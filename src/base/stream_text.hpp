#pragma once
// Writing a text whole to a standard stream or a file descriptor: by its
// length, so an embedded NUL is written like any other byte, with short
// writes and interrupted calls taken up again until all of it is out or the
// stream fails for good.

#include <cstdio>
#include <string_view>

namespace vorlix::base {

// Writes every byte of `text` to `stream`, then flushes it. False when the
// stream failed before the whole text was out.
bool write_text(std::FILE* stream, std::string_view text);

// The same on a file descriptor, with write(2) only, so a signal handler may
// call it.
bool write_text(int fd, std::string_view text) noexcept;

}  // namespace vorlix::base
