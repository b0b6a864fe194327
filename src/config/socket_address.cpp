#include "config/socket_address.hpp"

#include <algorithm>
#include <array>
#include <cstddef>

namespace vorlix::config {

namespace {

// A cursor over the text; every reader either consumes what it recognises
// or leaves the position where it was.
class Cursor {
public:
    explicit Cursor(std::string_view text) : text_(text) {}

    bool at_end() const { return pos_ == text_.size(); }

    bool take(char c) {
        if (pos_ < text_.size() && text_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }

    // Digits in the radix, at most max_digits of them (0: no limit), with a
    // value no larger than max. A leading zero is refused when more digits
    // follow unless allow_zero_prefix.
    std::optional<std::uint64_t> number(unsigned radix, std::size_t max_digits, std::uint64_t max,
                                        bool allow_zero_prefix) {
        const std::size_t start = pos_;
        std::uint64_t value = 0;
        std::size_t count = 0;
        while (pos_ < text_.size()) {
            const int digit = digit_value(text_[pos_], radix);
            if (digit < 0) break;
            value = value * radix + static_cast<unsigned>(digit);
            ++count;
            ++pos_;
            if ((max_digits != 0 && count > max_digits) || value > max) {
                pos_ = start;
                return std::nullopt;
            }
        }
        if (count == 0 || (!allow_zero_prefix && count > 1 && text_[start] == '0')) {
            pos_ = start;
            return std::nullopt;
        }
        return value;
    }

    std::optional<std::array<std::uint8_t, 4>> ipv4() {
        const std::size_t start = pos_;
        std::array<std::uint8_t, 4> octets{};
        for (std::size_t i = 0; i < 4; ++i) {
            if (i > 0 && !take('.')) {
                pos_ = start;
                return std::nullopt;
            }
            auto v = number(10, 3, 255, false);
            if (!v) {
                pos_ = start;
                return std::nullopt;
            }
            octets[i] = static_cast<std::uint8_t>(*v);
        }
        return octets;
    }

    // The sixteen bytes of an IPv6 address in network order.
    std::optional<std::array<std::uint8_t, 16>> ipv6() {
        const std::size_t start = pos_;
        std::array<std::uint16_t, 8> address{};
        const Groups head = groups(8);
        std::copy_n(head.values.begin(), head.count, address.begin());
        if (head.count < 8) {
            // An embedded IPv4 part may only end the address.
            if (head.ends_in_ipv4 || !take(':') || !take(':')) {
                pos_ = start;
                return std::nullopt;
            }
            // "::" stands for at least one zero group.
            const Groups tail = groups(8 - (head.count + 1));
            std::copy_n(tail.values.begin(), tail.count,
                        address.end() - static_cast<std::ptrdiff_t>(tail.count));
        }
        std::array<std::uint8_t, 16> bytes{};
        for (std::size_t i = 0; i < 8; ++i) {
            bytes[2 * i] = static_cast<std::uint8_t>(address[i] >> 8);
            bytes[2 * i + 1] = static_cast<std::uint8_t>(address[i] & 0xFF);
        }
        return bytes;
    }

private:
    static int digit_value(char c, unsigned radix) {
        if (c >= '0' && c <= '9') return c - '0';
        if (radix == 16 && c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (radix == 16 && c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    }

    struct Groups {
        std::array<std::uint16_t, 8> values{};
        std::size_t count = 0;
        bool ends_in_ipv4 = false;
    };

    // Up to limit colon-separated hex groups, the last two of which may be
    // an IPv4 address.
    Groups groups(std::size_t limit) {
        Groups g;
        for (std::size_t i = 0; i < limit; ++i) {
            if (i + 1 < limit) {
                const std::size_t before = pos_;
                if (i == 0 || take(':')) {
                    if (const auto v4 = ipv4()) {
                        g.values[i] = static_cast<std::uint16_t>((*v4)[0] << 8 | (*v4)[1]);
                        g.values[i + 1] = static_cast<std::uint16_t>((*v4)[2] << 8 | (*v4)[3]);
                        g.count = i + 2;
                        g.ends_in_ipv4 = true;
                        return g;
                    }
                }
                pos_ = before;
            }
            const std::size_t before = pos_;
            if (i == 0 || take(':')) {
                if (const auto group = number(16, 4, 0xFFFF, true)) {
                    g.values[i] = static_cast<std::uint16_t>(*group);
                    g.count = i + 1;
                    continue;
                }
            }
            pos_ = before;
            return g;
        }
        return g;
    }

    std::string_view text_;
    std::size_t pos_ = 0;
};

std::optional<std::uint16_t> port_at_end(Cursor& c) {
    if (!c.take(':')) return std::nullopt;
    auto port = c.number(10, 0, 0xFFFF, true);
    if (!port || !c.at_end()) return std::nullopt;
    return static_cast<std::uint16_t>(*port);
}

}  // namespace

std::optional<NumericSocketAddress> parse_numeric_socket_address(std::string_view text) {
    Cursor v4(text);
    if (const auto octets = v4.ipv4()) {
        if (const auto port = port_at_end(v4)) {
            NumericSocketAddress address;
            std::copy(octets->begin(), octets->end(), address.bytes.begin());
            address.port = *port;
            return address;
        }
    }
    Cursor v6(text);
    if (!v6.take('[')) return std::nullopt;
    const auto bytes = v6.ipv6();
    if (!bytes) return std::nullopt;
    NumericSocketAddress address;
    address.family = NumericSocketAddress::Family::V6;
    address.bytes = *bytes;
    if (v6.take('%')) {
        const auto scope = v6.number(10, 0, 0xFFFFFFFF, true);
        if (!scope) return std::nullopt;
        address.scope = static_cast<std::uint32_t>(*scope);
    }
    if (!v6.take(']')) return std::nullopt;
    const auto port = port_at_end(v6);
    if (!port) return std::nullopt;
    address.port = *port;
    return address;
}

std::optional<std::uint16_t> numeric_socket_port(std::string_view text) {
    const auto address = parse_numeric_socket_address(text);
    if (!address) return std::nullopt;
    return address->port;
}

}  // namespace vorlix::config
