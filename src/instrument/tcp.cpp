#include "instrument/tcp.hpp"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>

#include "config/socket_address.hpp"

namespace vorlix::instrument {

using base::IoError;
using base::IoErrorKind;

namespace {

IoError syntax_error() { return IoError::custom(IoErrorKind::InvalidInput, "invalid socket address syntax"); }

// A receive or send that outlasts its socket time-out reports EAGAIN; the
// callers treat that as the time-out it is.
IoError socket_error(int code) {
    if (code == EAGAIN || code == EWOULDBLOCK) return IoError::from_errno(ETIMEDOUT);
    return IoError::from_errno(code);
}

std::expected<void, IoError> set_nonblocking(int fd, bool on) {
    int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0) return std::unexpected(IoError::from_errno(errno));
    flags = on ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK);
    if (::fcntl(fd, F_SETFL, flags) < 0) return std::unexpected(IoError::from_errno(errno));
    return {};
}

std::expected<void, IoError> wait_connected(int fd, std::uint64_t timeout_ms) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            return std::unexpected(IoError::custom(IoErrorKind::TimedOut, "connection timed out"));
        }
        pollfd pfd{fd, POLLOUT, 0};
        int ready = ::poll(&pfd, 1, static_cast<int>(left.count()));
        if (ready < 0) {
            if (errno == EINTR) continue;
            return std::unexpected(IoError::from_errno(errno));
        }
        if (ready == 0) continue;  // the deadline check above ends the wait
        int error = 0;
        socklen_t length = sizeof error;
        if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) < 0) {
            return std::unexpected(IoError::from_errno(errno));
        }
        if (error != 0) return std::unexpected(IoError::from_errno(error));
        return {};
    }
}

std::expected<void, IoError> set_option(int fd, int level, int name, const void* value, socklen_t size) {
    if (::setsockopt(fd, level, name, value, size) < 0) {
        return std::unexpected(IoError::from_errno(errno));
    }
    return {};
}

}  // namespace

std::expected<SocketAddress, IoError> parse_socket_address(std::string_view text) {
    const auto numeric = config::parse_numeric_socket_address(text);
    if (!numeric) return std::unexpected(syntax_error());
    SocketAddress address;
    if (numeric->family == config::NumericSocketAddress::Family::V6) {
        sockaddr_in6 v6{};
        v6.sin6_family = AF_INET6;
        v6.sin6_port = htons(numeric->port);
        v6.sin6_scope_id = numeric->scope;
        std::memcpy(&v6.sin6_addr, numeric->bytes.data(), sizeof v6.sin6_addr);
        std::memcpy(&address.storage, &v6, sizeof v6);
        address.length = sizeof v6;
    } else {
        sockaddr_in v4{};
        v4.sin_family = AF_INET;
        v4.sin_port = htons(numeric->port);
        std::memcpy(&v4.sin_addr, numeric->bytes.data(), sizeof v4.sin_addr);
        std::memcpy(&address.storage, &v4, sizeof v4);
        address.length = sizeof v4;
    }
    return address;
}

std::expected<TcpStream, IoError> TcpStream::connect(const SocketAddress& address, std::uint64_t timeout_ms) {
    UniqueFd fd(::socket(address.family(), SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd.valid()) return std::unexpected(IoError::from_errno(errno));

    if (auto ok = set_nonblocking(fd.get(), true); !ok) return std::unexpected(ok.error());
    if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address.storage), address.length) < 0) {
        if (errno != EINPROGRESS) return std::unexpected(IoError::from_errno(errno));
        if (auto ok = wait_connected(fd.get(), timeout_ms); !ok) {
            return std::unexpected(ok.error());
        }
    }
    if (auto ok = set_nonblocking(fd.get(), false); !ok) return std::unexpected(ok.error());

    timeval tv{};
    tv.tv_sec = static_cast<time_t>(timeout_ms / 1000);
    tv.tv_usec = static_cast<suseconds_t>((timeout_ms % 1000) * 1000);
    const int on = 1;
    auto ok = set_option(fd.get(), SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    if (ok) ok = set_option(fd.get(), SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    if (ok) ok = set_option(fd.get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    if (!ok) return std::unexpected(ok.error());
    return TcpStream(std::move(fd));
}

std::expected<std::size_t, IoError> TcpStream::read(std::span<std::uint8_t> buffer) {
    ssize_t n = ::recv(fd_.get(), buffer.data(), buffer.size(), 0);
    if (n < 0) return std::unexpected(socket_error(errno));
    return static_cast<std::size_t>(n);
}

std::expected<std::size_t, IoError> TcpStream::write_some(std::span<const std::uint8_t> bytes) {
    // No SIGPIPE: a peer that went away is an error value like any other.
    ssize_t n = ::send(fd_.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n < 0) return std::unexpected(socket_error(errno));
    return static_cast<std::size_t>(n);
}

}  // namespace vorlix::instrument
