#pragma once
// Sets a port's line speed to any rate in bit/s, beyond the classic table of
// the termios interface. Kept apart because the kernel's termios2 header
// cannot share a translation unit with the C library's <termios.h>.

#include <cstdint>

namespace vorlix::instrument {

// 0 on success, else the errno value.
int set_line_speed(int fd, std::uint32_t baud_rate);

// The output speed the driver now reports, or 0 if it cannot be read.
std::uint32_t line_speed(int fd);

}  // namespace vorlix::instrument
