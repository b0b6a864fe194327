#pragma once
// Numeric socket addresses as the TCP bridge setting accepts them: the one
// reading that both the configuration check and the connection use, so an
// address that passes the check always connects to what it says.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace vorlix::config {

struct NumericSocketAddress {
    enum class Family : std::uint8_t { V4, V6 };
    Family family = Family::V4;
    // Network order; an IPv4 address fills the first four.
    std::array<std::uint8_t, 16> bytes{};
    std::uint32_t scope = 0;  // IPv6 only
    std::uint16_t port = 0;
    bool operator==(const NumericSocketAddress&) const = default;
};

// "a.b.c.d:port" or "[v6]:port" (with an optional numeric "%scope" inside
// the brackets), or nullopt for anything else: host names are never
// resolved. IPv4 parts are plain decimal without leading zeros; the port
// and the scope take any number of leading zeros.
std::optional<NumericSocketAddress> parse_numeric_socket_address(std::string_view text);

// The port of parse_numeric_socket_address(text).
std::optional<std::uint16_t> numeric_socket_port(std::string_view text);

}  // namespace vorlix::config
