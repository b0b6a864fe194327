// The test's end of a connection to the simulated instrument: a TCP client
// or the slave side of the pty, with every read bounded by a deadline (for
// what must arrive, the generous one shared by every test).
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "patience.hpp"

namespace vorlix::sim::test {

using namespace std::chrono_literals;

class Peer {
public:
    static Peer tcp(std::uint16_t port) {
        Peer p(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = htons(port);
        if (::connect(p.fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) p.reset();
        return p;
    }

    static Peer pty(const std::string& path) {
        Peer p(::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
        termios tio{};
        if (p.fd_ >= 0 && ::tcgetattr(p.fd_, &tio) == 0) {
            ::cfmakeraw(&tio);
            ::tcsetattr(p.fd_, TCSANOW, &tio);
        }
        return p;
    }

    Peer(Peer&& other) noexcept : fd_(other.fd_), eof_(other.eof_) { other.fd_ = -1; }
    Peer& operator=(Peer&&) = delete;
    ~Peer() { reset(); }

    bool ok() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    // The far end closed or hung up during the last read.
    bool at_end() const { return eof_; }

    void send(std::string_view bytes) {
        while (!bytes.empty()) {
            // A socket the simulator closed must not raise SIGPIPE in the test.
            ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (n < 0 && errno == ENOTSOCK) n = ::write(fd_, bytes.data(), bytes.size());
            if (n <= 0) return;
            bytes.remove_prefix(static_cast<std::size_t>(n));
        }
    }

    // Reads until the data ends with `end`, the peer closes, or the deadline.
    std::string read_until(std::string_view end,
                           std::chrono::milliseconds timeout = ::vorlix::test::PATIENCE) {
        std::string data;
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!data.ends_with(end)) {
            if (!read_some(data, 65536, deadline)) break;
        }
        return data;
    }

    std::string read_exactly(std::size_t n, std::chrono::milliseconds timeout = ::vorlix::test::PATIENCE) {
        std::string data;
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (data.size() < n) {
            if (!read_some(data, n - data.size(), deadline)) break;
        }
        return data;
    }

    // Everything that arrives until the deadline or the end of the stream.
    std::string read_for(std::chrono::milliseconds timeout) {
        std::string data;
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (read_some(data, 65536, deadline)) {}
        return data;
    }

    // One command line and its reply up to and including the prompt.
    std::string command(std::string_view line) {
        send(std::string(line) + "\r");
        return read_until("ch> ");
    }

private:
    explicit Peer(int fd) : fd_(fd) {}
    void reset() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

    bool read_some(std::string& data, std::size_t max, std::chrono::steady_clock::time_point deadline) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || fd_ < 0) return false;
        pollfd pfd{fd_, POLLIN, 0};
        const int ready = ::poll(&pfd, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) return true;  // the deadline still holds
        if (ready <= 0) return false;
        char buffer[65536];
        const ssize_t n = ::read(fd_, buffer, std::min(max, sizeof buffer));
        if (n <= 0) {
            eof_ = true;
            return false;
        }
        data.append(buffer, static_cast<std::size_t>(n));
        return true;
    }

    int fd_ = -1;
    bool eof_ = false;
};

}  // namespace vorlix::sim::test
