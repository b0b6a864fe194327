#pragma once
// Numeric socket addresses as the TCP bridge setting accepts them.

#include <cstdint>
#include <optional>
#include <string_view>

namespace vorlix::config {

// The port of "a.b.c.d:port" or "[v6]:port" (with an optional numeric
// "%scope" inside the brackets), or nullopt for anything else: host names
// are never resolved. IPv4 parts are plain decimal without leading zeros.
std::optional<std::uint16_t> numeric_socket_port(std::string_view text);

}  // namespace vorlix::config
