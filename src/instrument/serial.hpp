#pragma once
// A serial port opened raw with our own termios set-up: 8 data bits, no
// parity, 1 stop bit, no flow control of any kind, no character treated
// specially. The modem lines are left as opening the device leaves them.
//
// Reads return at once with what has arrived; with nothing waiting they wait
// for the first byte up to the time-out and then fail with kind TimedOut,
// "Operation timed out". A write waits at most the time-out for the port to
// take bytes.

#include <cstddef>
#include <cstdint>
#include <expected>
#include <span>
#include <string>

#include "base/io_error.hpp"
#include "instrument/errors.hpp"
#include "instrument/transport_fd.hpp"

namespace vorlix::instrument {

class SerialPort {
public:
    // Opens the device path as it stands (no prefix is added) at `baud_rate`
    // bit/s; any line speed the driver accepts is possible, not only the
    // classic table. Fails with the operating system's description.
    static std::expected<SerialPort, SerialError> open(const std::string& path, std::uint32_t baud_rate,
                                                       std::uint64_t timeout_ms);

    std::expected<std::size_t, base::IoError> read(std::span<std::uint8_t> buffer);
    std::expected<std::size_t, base::IoError> write_some(std::span<const std::uint8_t> bytes);
    // Waits until the driver has sent everything written, at most the
    // time-out (then kind TimedOut, "Operation timed out").
    std::expected<void, base::IoError> flush();

    int native_handle() const { return fd_.get(); }

private:
    SerialPort(UniqueFd fd, int timeout_ms) : fd_(std::move(fd)), timeout_ms_(timeout_ms) {}

    UniqueFd fd_;
    int timeout_ms_;
};

// The "Operation timed out" error of a silent port.
base::IoError serial_timeout_error();

}  // namespace vorlix::instrument
