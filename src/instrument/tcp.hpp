#pragma once
// A TCP connection to a bridge or mock that relays the instrument's shell.
// Only numeric addresses are accepted: no name is ever looked up.

#include <sys/socket.h>

#include <cstddef>
#include <cstdint>
#include <expected>
#include <span>
#include <string_view>

#include "base/io_error.hpp"
#include "instrument/transport_fd.hpp"

namespace vorlix::instrument {

struct SocketAddress {
    sockaddr_storage storage{};
    socklen_t length = 0;
    int family() const { return storage.ss_family; }
};

// "192.0.2.1:7355" or "[::1]:7355" (an IPv6 scope may follow as "%N").
// Anything else fails with InvalidInput "invalid socket address syntax".
std::expected<SocketAddress, base::IoError> parse_socket_address(std::string_view text);

class TcpStream {
public:
    // Connects, waiting at most `timeout_ms` (then TimedOut "connection timed
    // out"); then sets the receive and send time-outs to `timeout_ms` and
    // turns no-delay on. The socket is closed on every failure.
    static std::expected<TcpStream, base::IoError> connect(const SocketAddress& address,
                                                           std::uint64_t timeout_ms);

    // 0 bytes when the peer has shut the stream down; a receive outlasting
    // the time-out fails with kind TimedOut.
    std::expected<std::size_t, base::IoError> read(std::span<std::uint8_t> buffer);
    std::expected<std::size_t, base::IoError> write_some(std::span<const std::uint8_t> bytes);

    int native_handle() const { return fd_.get(); }

private:
    explicit TcpStream(UniqueFd fd) : fd_(std::move(fd)) {}

    UniqueFd fd_;
};

}  // namespace vorlix::instrument
