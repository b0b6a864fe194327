#include "config/socket_address.hpp"

#include <array>

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

    bool ipv6() {
        const std::size_t start = pos_;
        const auto [head, head_v4] = groups(8);
        if (head == 8) return true;
        // An embedded IPv4 part may only end the address.
        if (head_v4 || !take(':') || !take(':')) {
            pos_ = start;
            return false;
        }
        // "::" stands for at least one zero group.
        groups(8 - (head + 1));
        return true;
    }

private:
    static int digit_value(char c, unsigned radix) {
        if (c >= '0' && c <= '9') return c - '0';
        if (radix == 16 && c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (radix == 16 && c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    }

    // Up to limit colon-separated hex groups, the last two of which may be
    // an IPv4 address; returns the groups read and whether IPv4 ended them.
    std::pair<std::size_t, bool> groups(std::size_t limit) {
        for (std::size_t i = 0; i < limit; ++i) {
            if (i + 1 < limit) {
                const std::size_t before = pos_;
                if ((i == 0 || take(':')) && ipv4()) return {i + 2, true};
                pos_ = before;
            }
            const std::size_t before = pos_;
            if ((i == 0 || take(':')) && number(16, 4, 0xFFFF, true)) continue;
            pos_ = before;
            return {i, false};
        }
        return {limit, false};
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

std::optional<std::uint16_t> numeric_socket_port(std::string_view text) {
    Cursor v4(text);
    if (v4.ipv4()) {
        if (auto port = port_at_end(v4)) return port;
    }
    Cursor v6(text);
    if (!v6.take('[') || !v6.ipv6()) return std::nullopt;
    if (v6.take('%') && !v6.number(10, 0, 0xFFFFFFFF, true)) return std::nullopt;
    if (!v6.take(']')) return std::nullopt;
    return port_at_end(v6);
}

}  // namespace vorlix::config
