// The TCP side of the connection, against listeners on the loopback
// interface only. Every wait is bounded by a short configured time-out.

#include "instrument/transport.hpp"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "config/socket_address.hpp"
#include "patience.hpp"

namespace vorlix::instrument {
namespace {

using base::IoErrorKind;

// A listening socket on a loopback address with a port the system chose.
class Listener {
public:
    explicit Listener(int family = AF_INET, int backlog = 16) {
        fd_ = UniqueFd(::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0));
        if (!fd_.valid()) return;
        sockaddr_storage storage{};
        socklen_t length = 0;
        if (family == AF_INET) {
            auto* v4 = reinterpret_cast<sockaddr_in*>(&storage);
            v4->sin_family = AF_INET;
            v4->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            length = sizeof *v4;
        } else {
            auto* v6 = reinterpret_cast<sockaddr_in6*>(&storage);
            v6->sin6_family = AF_INET6;
            v6->sin6_addr = in6addr_loopback;
            length = sizeof *v6;
        }
        if (::bind(fd_.get(), reinterpret_cast<sockaddr*>(&storage), length) < 0 ||
            ::listen(fd_.get(), backlog) < 0 ||
            ::getsockname(fd_.get(), reinterpret_cast<sockaddr*>(&storage), &length) < 0) {
            fd_.reset();
            return;
        }
        port_ = ntohs(family == AF_INET ? reinterpret_cast<sockaddr_in*>(&storage)->sin_port
                                        : reinterpret_cast<sockaddr_in6*>(&storage)->sin6_port);
        address_ = (family == AF_INET ? "127.0.0.1:" : "[::1]:") + std::to_string(port_);
    }

    bool ok() const { return fd_.valid(); }
    const std::string& address() const { return address_; }
    int fd() const { return fd_.get(); }
    void close() { fd_.reset(); }

    // The connection that completed in the backlog, or an invalid fd.
    UniqueFd accept_pending() {
        pollfd pfd{fd_.get(), POLLIN, 0};
        if (::poll(&pfd, 1, 0) != 1) return UniqueFd();
        return UniqueFd(::accept4(fd_.get(), nullptr, nullptr, SOCK_CLOEXEC));
    }

private:
    UniqueFd fd_;
    std::uint16_t port_ = 0;
    std::string address_;
};

config::Config tcp_config(const std::string& address, std::uint64_t timeout_ms = test::ANSWERED_TIMEOUT_MS) {
    config::Config config;
    config.connection.backend = config::Backend::Tcp;
    config.connection.tcp_address = address;
    config.connection.tcp_timeout_ms = timeout_ms;
    return config;
}

std::span<const std::uint8_t> bytes(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::string read_text(ByteStream& stream) {
    std::vector<std::uint8_t> buffer(256);
    auto n = stream.read(buffer);
    if (!n) return "<" + n.error().display() + ">";
    return std::string(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(*n));
}

TEST(SocketAddress, NumericFormsOnly) {
    struct Case {
        const char* text;
        bool ok;
    } cases[] = {
        {"127.0.0.1:7355", true},
        {"[::1]:7355", true},
        {"[fe80::1%2]:80", true},
        {"0.0.0.0:00080", true},
        {"localhost:7355", false},
        {"127.0.0.1", false},
        {"127.0.0.1:000000000007355", true},
        {"[::1]:0000000000080", true},
        {"[::ffff:127.0.0.1]:80", true},
        {"[::1.2.3.04]:80", false},
        {"[1::2::3]:80", false},
        {"127.0.0.1:", false},
        {"127.0.0.1:65536", false},
        {"127.0.0.1:+80", false},
        {"1.2.3:80", false},
        {"01.2.3.4:80", false},
        {"::1:80", false},
        {"[::1]7355", false},
        {"[::1%x]:80", false},
        {" 127.0.0.1:80", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        auto address = parse_socket_address(c.text);
        EXPECT_EQ(address.has_value(), c.ok);
        // Validation accepts exactly what the connection can parse.
        EXPECT_EQ(config::numeric_socket_port(c.text).has_value(), c.ok);
        if (!address) {
            EXPECT_EQ(address.error().kind(), IoErrorKind::InvalidInput);
            EXPECT_EQ(address.error().display(), "invalid socket address syntax");
        }
    }
}

TEST(TcpTransport, ExchangesBytesAndSeesTheEndOfTheStream) {
    for (int family : {AF_INET, AF_INET6}) {
        SCOPED_TRACE(family == AF_INET ? "IPv4" : "IPv6");
        Listener listener(family);
        if (!listener.ok()) {
            ASSERT_EQ(family, AF_INET6) << "no IPv4 loopback";
            continue;  // a host without IPv6 loopback
        }
        auto transport = open_transport(tcp_config(listener.address()));
        ASSERT_TRUE(transport) << transport.error().display();
        EXPECT_EQ(transport->kind(), Transport::Kind::Tcp);
        UniqueFd peer = listener.accept_pending();
        ASSERT_TRUE(peer.valid());

        ASSERT_TRUE(transport->write_all(bytes("version\r")));
        ASSERT_TRUE(transport->flush());
        char got[16] = {};
        ASSERT_EQ(::recv(peer.get(), got, sizeof got, 0), 8);
        EXPECT_EQ(std::string(got, 8), "version\r");

        ASSERT_EQ(::send(peer.get(), "ch> ", 4, 0), 4);
        EXPECT_EQ(read_text(*transport), "ch> ");
        peer.reset();
        EXPECT_EQ(read_text(*transport), "");
    }
}

TEST(TcpTransport, SetsTimeoutsAndNoDelay) {
    Listener listener;
    ASSERT_TRUE(listener.ok());
    auto address = parse_socket_address(listener.address());
    ASSERT_TRUE(address);
    auto stream = TcpStream::connect(*address, 1500);
    ASSERT_TRUE(stream) << stream.error().display();
    const int fd = stream->native_handle();
    int nodelay = 0;
    socklen_t length = sizeof nodelay;
    ASSERT_EQ(::getsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &nodelay, &length), 0);
    EXPECT_NE(nodelay, 0);
    for (int option : {SO_RCVTIMEO, SO_SNDTIMEO}) {
        timeval tv{};
        length = sizeof tv;
        ASSERT_EQ(::getsockopt(fd, SOL_SOCKET, option, &tv, &length), 0);
        EXPECT_EQ(tv.tv_sec * 1000 + tv.tv_usec / 1000, 1500);
    }
    EXPECT_EQ(::fcntl(fd, F_GETFL) & O_NONBLOCK, 0);
}

TEST(TcpTransport, ASilentPeerTimesTheReadOut) {
    Listener listener;
    ASSERT_TRUE(listener.ok());
    auto transport = open_transport(tcp_config(listener.address(), 50));
    ASSERT_TRUE(transport) << transport.error().display();
    std::vector<std::uint8_t> buffer(16);
    auto n = transport->read(buffer);
    ASSERT_FALSE(n);
    EXPECT_EQ(n.error().kind(), IoErrorKind::TimedOut);
}

TEST(TcpTransport, NothingListeningIsRefused) {
    Listener listener;
    ASSERT_TRUE(listener.ok());
    const std::string address = listener.address();
    listener.close();
    auto transport = open_transport(tcp_config(address));
    ASSERT_FALSE(transport);
    ASSERT_NE(transport.error().get_if<OpenError::Tcp>(), nullptr);
    EXPECT_EQ(transport.error().get_if<OpenError::Tcp>()->error.kind(), IoErrorKind::ConnectionRefused);
    EXPECT_EQ(transport.error().display(), "TCP connection: Connection refused (os error 111)");
}

// A listener that never accepts and whose queue is full drops further
// handshakes, so the connect waits out its time-out.
TEST(TcpTransport, APeerThatNeverAcceptsTimesTheConnectOut) {
    Listener listener(AF_INET, 0);
    ASSERT_TRUE(listener.ok());
    auto address = parse_socket_address(listener.address());
    ASSERT_TRUE(address);
    std::vector<UniqueFd> fillers;
    for (int i = 0; i < 8; ++i) {
        UniqueFd filler(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
        ASSERT_TRUE(filler.valid());
        int r =
            ::connect(filler.get(), reinterpret_cast<const sockaddr*>(&address->storage), address->length);
        bool pending = r < 0 && errno == EINPROGRESS;
        if (pending) {
            // A loopback handshake that is answered completes at once; one
            // still open after a second was dropped.
            pollfd pfd{filler.get(), POLLOUT, 0};
            pending = ::poll(&pfd, 1, 1000) == 0;
        }
        fillers.push_back(std::move(filler));
        if (pending) break;  // the queue is full: this handshake went unanswered
    }
    auto transport = open_transport(tcp_config(listener.address(), 150));
    ASSERT_FALSE(transport);
    ASSERT_NE(transport.error().get_if<OpenError::Tcp>(), nullptr);
    EXPECT_EQ(transport.error().get_if<OpenError::Tcp>()->error.kind(), IoErrorKind::TimedOut);
    EXPECT_EQ(transport.error().display(), "TCP connection: connection timed out");
}

TEST(OpenTransport, AnInvalidConfigurationOpensNothing) {
    Listener listener;
    ASSERT_TRUE(listener.ok());
    config::Config config = tcp_config(listener.address());
    config.serial.timeout_ms = 0;
    auto transport = open_transport(config);
    ASSERT_FALSE(transport);
    ASSERT_NE(transport.error().get_if<OpenError::Config>(), nullptr);
    EXPECT_EQ(transport.error().display(), "invalid configuration: serial.timeout_ms must be in 1..=600000");
    EXPECT_FALSE(listener.accept_pending().valid());

    config = tcp_config("localhost:7355");
    transport = open_transport(config);
    ASSERT_FALSE(transport);
    EXPECT_NE(transport.error().get_if<OpenError::Config>(), nullptr);
}

}  // namespace
}  // namespace vorlix::instrument
