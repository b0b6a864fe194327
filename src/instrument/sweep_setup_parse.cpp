#include "instrument/sweep_setup_parse.hpp"

#include <charconv>
#include <limits>

#include "base/text.hpp"

namespace vorlix::instrument {

namespace {

bool is_ascii_alnum(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

bool is_ascii_digit(char c) { return c >= '0' && c <= '9'; }

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool equals_ignoring_ascii_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t k = 0; k < a.size(); ++k) {
        if (lower(a[k]) != lower(b[k])) {
            return false;
        }
    }
    return true;
}

// An optional "+" then one or more digits, within the range of T.
template <typename T>
std::optional<T> parse_unsigned(std::string_view text) {
    if (text.starts_with('+')) {
        text.remove_prefix(1);
    }
    if (text.empty()) {
        return std::nullopt;
    }
    for (char c : text) {
        if (!is_ascii_digit(c)) {
            return std::nullopt;
        }
    }
    T value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

// Bytes of a multi-byte character are all above 0x7F, so peeling byte by byte
// removes whole non-ASCII characters, as it should.
bool kept_at_token_ends(char c) { return is_ascii_alnum(c) || c == '-'; }

std::string_view peel_token(std::string_view token) {
    while (!token.empty() && !kept_at_token_ends(token.front())) {
        token.remove_prefix(1);
    }
    while (!token.empty() && !kept_at_token_ends(token.back())) {
        token.remove_suffix(1);
    }
    return token;
}

}  // namespace

bool reply_lists_command(std::string_view reply, std::string_view word) {
    if (word.empty()) {
        return false;
    }
    std::size_t start = 0;
    for (std::size_t k = 0; k <= reply.size(); ++k) {
        const bool cut = k == reply.size() || !(is_ascii_alnum(reply[k]) || reply[k] == '_');
        if (!cut) {
            continue;
        }
        if (equals_ignoring_ascii_case(reply.substr(start, k - start), word)) {
            return true;
        }
        start = k + 1;
    }
    return false;
}

std::optional<std::uint16_t> parse_zero_readback(std::string_view reply) {
    for (std::string_view raw : base::split_unicode_whitespace(reply)) {
        const std::string token = base::ascii_lower(peel_token(raw));
        const std::string_view text = token;
        if (!text.ends_with("dbm")) {
            continue;
        }
        if (auto value = parse_unsigned<std::uint16_t>(text.substr(0, text.size() - 3))) {
            return value;
        }
    }
    return std::nullopt;
}

std::optional<SweepRange> parse_sweep_readback(std::string_view reply) {
    for (std::string_view line : base::split_lines(reply)) {
        std::optional<std::uint64_t> first;
        for (std::string_view token : base::split_unicode_whitespace(line)) {
            const auto value = parse_unsigned<std::uint64_t>(token);
            if (!value) {
                continue;
            }
            if (!first) {
                first = value;
                continue;
            }
            return SweepRange{*first, *value};
        }
    }
    return std::nullopt;
}

bool sweep_readback_confirms(std::string_view reply, std::uint64_t start_hz, std::uint64_t stop_hz) {
    return parse_sweep_readback(reply) == SweepRange{start_hz, stop_hz};
}

}  // namespace vorlix::instrument
