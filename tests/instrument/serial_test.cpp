// The serial side of the connection, through a pseudo-terminal: the test
// holds the master and the program opens the slave path like a real port.

#include "instrument/serial.hpp"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "instrument/serial_speed.hpp"
#include "instrument/transport.hpp"
#include "patience.hpp"

namespace vorlix::instrument {
namespace {

using base::IoErrorKind;

class Pty {
public:
    Pty() {
        master_ = UniqueFd(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
        if (!master_.valid() || ::grantpt(master_.get()) < 0 || ::unlockpt(master_.get()) < 0) {
            master_.reset();
            return;
        }
        char name[128];
        if (::ptsname_r(master_.get(), name, sizeof name) != 0) {
            master_.reset();
            return;
        }
        slave_path_ = name;
    }

    bool ok() const { return master_.valid(); }
    const std::string& slave_path() const { return slave_path_; }

    void send(std::string_view bytes) {
        ASSERT_EQ(::write(master_.get(), bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }

    // Everything the slave side wrote, waiting for `n` bytes as long as a
    // loaded machine may need.
    std::string receive(std::size_t n) {
        std::string got;
        while (got.size() < n) {
            pollfd pfd{master_.get(), POLLIN, 0};
            if (::poll(&pfd, 1, static_cast<int>(test::PATIENCE.count())) != 1) break;
            char buffer[256];
            ssize_t r = ::read(master_.get(), buffer, sizeof buffer);
            if (r <= 0) break;
            got.append(buffer, static_cast<std::size_t>(r));
        }
        return got;
    }

private:
    UniqueFd master_;
    std::string slave_path_;
};

config::Config serial_config(const std::string& port, std::uint32_t baud = 115200) {
    config::Config config;
    config.connection.backend = config::Backend::Serial;
    config.port = port;
    config.baudrate = baud;
    config.serial.timeout_ms = 100;
    return config;
}

std::span<const std::uint8_t> bytes(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// Every byte value, control characters included, must pass untouched in
// both directions: no echo, no line-end translation, no flow control, no
// signal characters.
TEST(SerialTransport, RawBytesBothWays) {
    Pty pty;
    ASSERT_TRUE(pty.ok());
    auto transport = open_transport(serial_config(pty.slave_path()));
    ASSERT_TRUE(transport) << transport.error().display();
    EXPECT_EQ(transport->kind(), Transport::Kind::Serial);

    std::string all;
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));

    ASSERT_TRUE(transport->write_all(bytes(all)));
    ASSERT_TRUE(transport->flush());
    EXPECT_EQ(pty.receive(all.size()), all);

    pty.send(all);
    std::string got;
    std::vector<std::uint8_t> buffer(64);
    while (got.size() < all.size()) {
        auto n = transport->read(buffer);
        ASSERT_TRUE(n) << n.error().display();
        ASSERT_GT(*n, 0u);
        got.append(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(*n));
    }
    EXPECT_EQ(got, all);
}

TEST(SerialTransport, AReadReturnsWhatHasArrivedAndTimesOutOnSilence) {
    Pty pty;
    ASSERT_TRUE(pty.ok());
    auto transport = open_transport(serial_config(pty.slave_path()));
    ASSERT_TRUE(transport) << transport.error().display();

    pty.send("ch> ");
    std::vector<std::uint8_t> buffer(8192);
    auto n = transport->read(buffer);
    ASSERT_TRUE(n) << n.error().display();
    EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(*n)), "ch> ");

    auto silent = transport->read(buffer);
    ASSERT_FALSE(silent);
    EXPECT_EQ(silent.error().kind(), IoErrorKind::TimedOut);
    EXPECT_EQ(silent.error().display(), "Operation timed out");
}

// A peer that never reads fills the line; the write gives up after the
// time-out instead of blocking the worker for ever.
TEST(SerialTransport, AStalledWriteTimesOut) {
    Pty pty;
    ASSERT_TRUE(pty.ok());
    auto transport = open_transport(serial_config(pty.slave_path()));
    ASSERT_TRUE(transport) << transport.error().display();
    const std::string flood(1 << 20, 'x');
    auto written = transport->write_all(bytes(flood));
    ASSERT_FALSE(written);
    EXPECT_EQ(written.error().kind(), IoErrorKind::TimedOut);
}

TEST(SerialTransport, TakesHighLineSpeeds) {
    for (std::uint32_t baud : {19200u, 921600u, 1843200u, 3000000u}) {
        SCOPED_TRACE(baud);
        Pty pty;
        ASSERT_TRUE(pty.ok());
        auto port = SerialPort::open(pty.slave_path(), baud, 100);
        ASSERT_TRUE(port) << port.error().display();
        EXPECT_EQ(line_speed(port->native_handle()), baud);
    }
}

TEST(SerialTransport, OpenFailuresCarryTheSystemsDescription) {
    struct Case {
        std::string port;
        std::uint32_t baud;
        std::string display;
    } cases[] = {
        {"/nonexistent/ttyACM9", 115200, "serial connection: No such file or directory"},
        {"/dev/null", 115200, "serial connection: Inappropriate ioctl for device"},
        {"", 115200, "serial connection: No such file or directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.port);
        auto transport = open_transport(serial_config(c.port, c.baud));
        ASSERT_FALSE(transport);
        ASSERT_NE(transport.error().get_if<OpenError::Serial>(), nullptr);
        EXPECT_EQ(transport.error().display(), c.display);
    }
}

TEST(SerialTransport, SpeedZeroIsRefusedNotAHangUp) {
    Pty pty;
    ASSERT_TRUE(pty.ok());
    auto port = SerialPort::open(pty.slave_path(), 0, 100);
    ASSERT_FALSE(port);
    EXPECT_EQ(port.error().kind(), SerialErrorKind::InvalidInput);
}

}  // namespace
}  // namespace vorlix::instrument
