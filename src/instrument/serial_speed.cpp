#include "instrument/serial_speed.hpp"

#include <asm/ioctls.h>
#include <asm/termbits.h>

#include <cerrno>

// <sys/ioctl.h> drags in the C library's termios definitions, which clash
// with the kernel's; the prototype is all that is needed here.
extern "C" int ioctl(int fd, unsigned long request, ...);

namespace vorlix::instrument {

int set_line_speed(int fd, std::uint32_t baud_rate) {
    // Speed 0 would mean "hang up" to the driver, never a line rate.
    if (baud_rate == 0) return EINVAL;
    termios2 settings{};
    if (ioctl(fd, TCGETS2, &settings) < 0) return errno;
    settings.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    settings.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    settings.c_ispeed = baud_rate;
    settings.c_ospeed = baud_rate;
    if (ioctl(fd, TCSETS2, &settings) < 0) return errno;
    return 0;
}

std::uint32_t line_speed(int fd) {
    termios2 settings{};
    if (ioctl(fd, TCGETS2, &settings) < 0) return 0;
    return settings.c_ospeed;
}

}  // namespace vorlix::instrument
