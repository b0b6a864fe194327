#pragma once
// The byte stream between a worker and the instrument's shell: a serial
// port or a TCP connection to a bridge that relays the same shell.
//
// `ByteStream` is the interface the shell layer talks to, so that layer can
// be driven by a scripted stream in tests; `Transport` is the real one that
// `open_transport` builds from the configuration. Settings (time-outs, line
// speed, no-delay) are applied once when it opens and never change; the
// stream is closed when its owner drops it.

#include <cstddef>
#include <cstdint>
#include <expected>
#include <span>
#include <variant>

#include "base/io_error.hpp"
#include "config/record.hpp"
#include "instrument/errors.hpp"
#include "instrument/serial.hpp"
#include "instrument/tcp.hpp"

namespace vorlix::instrument {

class ByteStream {
public:
    virtual ~ByteStream() = default;

    // Places at least one byte into `buffer` and returns the count, or
    // returns 0 at the end of the stream. A serial port returns at once with
    // what has arrived and otherwise waits for the first byte up to its
    // time-out (then kind TimedOut). `buffer` is never empty.
    virtual std::expected<std::size_t, base::IoError> read(std::span<std::uint8_t> buffer) = 0;

    // One write attempt; returns how many bytes went out (0: no progress).
    virtual std::expected<std::size_t, base::IoError> write_some(std::span<const std::uint8_t> bytes) = 0;

    // Serial: waits until everything written has left the port. TCP: nothing.
    virtual std::expected<void, base::IoError> flush() = 0;

    // Writes every byte: a write failing with Interrupted is repeated, a
    // write of 0 bytes ends with WriteZero "failed to write whole buffer",
    // any other failure is returned.
    std::expected<void, base::IoError> write_all(std::span<const std::uint8_t> bytes);
};

class Transport final : public ByteStream {
public:
    enum class Kind : std::uint8_t { Serial, Tcp };

    explicit Transport(SerialPort port) : stream_(std::move(port)) {}
    explicit Transport(TcpStream stream) : stream_(std::move(stream)) {}
    Transport(Transport&&) noexcept = default;
    Transport& operator=(Transport&&) noexcept = default;

    Kind kind() const { return stream_.index() == 0 ? Kind::Serial : Kind::Tcp; }

    std::expected<std::size_t, base::IoError> read(std::span<std::uint8_t> buffer) override;
    std::expected<std::size_t, base::IoError> write_some(std::span<const std::uint8_t> bytes) override;
    std::expected<void, base::IoError> flush() override;

private:
    std::variant<SerialPort, TcpStream> stream_;
};

// Validates the whole configuration first (a failure is OpenError::Config
// and nothing is opened), then opens the backend it names: TCP to
// `connection.tcp_address` or the serial port `port` at `baudrate`.
std::expected<Transport, OpenError> open_transport(const config::Config& config);

}  // namespace vorlix::instrument
