#include "instrument/transport.hpp"

#include "base/file_io.hpp"
#include "config/validate.hpp"

namespace vorlix::instrument {

using base::IoError;

std::expected<void, IoError> ByteStream::write_all(std::span<const std::uint8_t> bytes) {
    return base::write_all_with([this](std::span<const std::uint8_t> rest) { return write_some(rest); },
                                bytes);
}

std::expected<std::size_t, IoError> Transport::read(std::span<std::uint8_t> buffer) {
    return std::visit([&](auto& stream) { return stream.read(buffer); }, stream_);
}

std::expected<std::size_t, IoError> Transport::write_some(std::span<const std::uint8_t> bytes) {
    return std::visit([&](auto& stream) { return stream.write_some(bytes); }, stream_);
}

std::expected<void, IoError> Transport::flush() {
    if (auto* port = std::get_if<SerialPort>(&stream_)) return port->flush();
    return {};
}

std::expected<Transport, OpenError> open_transport(const config::Config& config) {
    if (auto valid = config::validate_config(config); !valid) {
        return std::unexpected(OpenError::Config{std::move(valid.error())});
    }
    if (config.connection.backend == config::Backend::Tcp) {
        auto address = parse_socket_address(config.connection.tcp_address);
        if (!address) return std::unexpected(OpenError::Tcp{std::move(address.error())});
        auto stream = TcpStream::connect(*address, config.connection.tcp_timeout_ms);
        if (!stream) return std::unexpected(OpenError::Tcp{std::move(stream.error())});
        return Transport(std::move(*stream));
    }
    auto port = SerialPort::open(config.port, config.baudrate, config.serial.timeout_ms);
    if (!port) return std::unexpected(OpenError::Serial{std::move(port.error())});
    return Transport(std::move(*port));
}

}  // namespace vorlix::instrument
