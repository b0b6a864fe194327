#include "instrument/serial.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "instrument/serial_speed.hpp"

namespace vorlix::instrument {

using base::IoError;
using base::IoErrorKind;

namespace {

using Clock = std::chrono::steady_clock;

// Raw 8N1, no flow control, no character special. VMIN 1 with the
// descriptor non-blocking makes an empty read fail with EAGAIN (VMIN 0 would
// return 0, indistinguishable from a hang-up); the wait is ours, through poll.
std::expected<void, SerialError> apply_line_settings(int fd) {
    termios settings{};
    if (::tcgetattr(fd, &settings) < 0) return std::unexpected(SerialError::from_errno(errno));
    ::cfmakeraw(&settings);
    settings.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK | ISTRIP | IGNBRK | BRKINT | PARMRK);
    settings.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
    settings.c_cflag |= CS8 | CLOCAL | CREAD;
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    if (::tcsetattr(fd, TCSANOW, &settings) < 0) {
        return std::unexpected(SerialError::from_errno(errno));
    }
    return {};
}

// Waits for `events` until `deadline`: true when ready, false at the
// deadline, or an error of poll itself.
std::expected<bool, IoError> wait_for(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return false;
        pollfd pfd{fd, events, 0};
        int ready = ::poll(&pfd, 1, static_cast<int>(left.count()));
        if (ready > 0) return true;
        if (ready < 0 && errno != EINTR) return std::unexpected(IoError::from_errno(errno));
    }
}

}  // namespace

IoError serial_timeout_error() { return IoError::custom(IoErrorKind::TimedOut, "Operation timed out"); }

std::expected<SerialPort, SerialError> SerialPort::open(const std::string& path, std::uint32_t baud_rate,
                                                        std::uint64_t timeout_ms) {
    // O_NONBLOCK keeps open from waiting for a carrier; it stays set so that
    // reads and writes wait only as long as the time-out says.
    UniqueFd fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.valid()) return std::unexpected(SerialError::from_errno(errno));
    // The port is ours alone for the run, as a worker expects.
    if (::ioctl(fd.get(), TIOCEXCL) < 0) return std::unexpected(SerialError::from_errno(errno));
    if (auto ok = apply_line_settings(fd.get()); !ok) return std::unexpected(ok.error());
    if (int code = set_line_speed(fd.get(), baud_rate); code != 0) {
        return std::unexpected(SerialError::from_errno(code));
    }
    return SerialPort(std::move(fd), static_cast<int>(timeout_ms));
}

std::expected<std::size_t, IoError> SerialPort::read(std::span<std::uint8_t> buffer) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms_);
    for (;;) {
        ssize_t n = ::read(fd_.get(), buffer.data(), buffer.size());
        if (n >= 0) return static_cast<std::size_t>(n);  // 0: the device hung up
        if (errno == EINTR) continue;
        if (errno != EAGAIN) return std::unexpected(IoError::from_errno(errno));
        auto ready = wait_for(fd_.get(), POLLIN, deadline);
        if (!ready) return std::unexpected(ready.error());
        if (!*ready) return std::unexpected(serial_timeout_error());
    }
}

std::expected<std::size_t, IoError> SerialPort::write_some(std::span<const std::uint8_t> bytes) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms_);
    for (;;) {
        ssize_t n = ::write(fd_.get(), bytes.data(), bytes.size());
        if (n >= 0) return static_cast<std::size_t>(n);
        if (errno == EINTR) continue;
        if (errno != EAGAIN) return std::unexpected(IoError::from_errno(errno));
        auto ready = wait_for(fd_.get(), POLLOUT, deadline);
        if (!ready) return std::unexpected(ready.error());
        if (!*ready) return std::unexpected(serial_timeout_error());
    }
}

// tcdrain has no time-out of its own: an instrument that stops taking bytes
// would hold the worker for ever. Watching the driver's output queue gives
// the same "everything has left" answer within the time-out a write has.
std::expected<void, IoError> SerialPort::flush() {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms_);
    for (;;) {
        int queued = 0;
        if (::ioctl(fd_.get(), TIOCOUTQ, &queued) < 0) {
            if (errno == EINTR) continue;
            return std::unexpected(IoError::from_errno(errno));
        }
        if (queued <= 0) return {};
        if (Clock::now() >= deadline) return std::unexpected(serial_timeout_error());
        // A command line leaves a USB port within a few milliseconds.
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

}  // namespace vorlix::instrument
