// Text handling of shell replies: lossy UTF-8 decoding and the test for a
// reply that reports a refused command.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "instrument/shell.hpp"

namespace vorlix::instrument {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

bool in(std::uint8_t byte, std::uint8_t lo, std::uint8_t hi) { return byte >= lo && byte <= hi; }

// The length of the valid UTF-8 sequence at `bytes[0]`, or, when it is
// invalid, 0 and in `bad` the number of bytes to replace: the longest prefix
// that could still have begun a valid sequence (at least 1). Replacing that
// maximal prefix with one U+FFFD is the usual lossy rule.
std::size_t sequence_length(std::string_view bytes, std::size_t& bad) {
    auto b0 = static_cast<std::uint8_t>(bytes[0]);
    if (b0 < 0x80) return 1;
    std::size_t need = 0;
    std::uint8_t lo = 0x80, hi = 0xBF;  // allowed range of the second byte
    if (in(b0, 0xC2, 0xDF)) {
        need = 1;
    } else if (b0 == 0xE0) {
        need = 2, lo = 0xA0;
    } else if (in(b0, 0xE1, 0xEC) || in(b0, 0xEE, 0xEF)) {
        need = 2;
    } else if (b0 == 0xED) {
        need = 2, hi = 0x9F;  // no surrogates
    } else if (b0 == 0xF0) {
        need = 3, lo = 0x90;
    } else if (in(b0, 0xF1, 0xF3)) {
        need = 3;
    } else if (b0 == 0xF4) {
        need = 3, hi = 0x8F;  // nothing above U+10FFFF
    } else {
        bad = 1;
        return 0;
    }
    for (std::size_t k = 1; k <= need; ++k) {
        bool ok = k < bytes.size() &&
                  in(static_cast<std::uint8_t>(bytes[k]), k == 1 ? lo : 0x80, k == 1 ? hi : 0xBF);
        if (!ok) {
            bad = k;
            return 0;
        }
    }
    return need + 1;
}

// Decodes the code point at the start of valid UTF-8 text; sets `len`.
char32_t code_point(std::string_view text, std::size_t& len) {
    auto b0 = static_cast<std::uint8_t>(text[0]);
    if (b0 < 0x80) {
        len = 1;
        return b0;
    }
    len = b0 >= 0xF0 ? 4 : b0 >= 0xE0 ? 3 : 2;
    if (len > text.size()) {
        len = 1;
        return 0xFFFD;
    }
    char32_t cp = b0 & (0x7F >> len);
    for (std::size_t k = 1; k < len; ++k) cp = (cp << 6) | (static_cast<std::uint8_t>(text[k]) & 0x3F);
    return cp;
}

// Unicode White_Space.
bool is_space(char32_t cp) {
    return (cp >= 0x09 && cp <= 0x0D) || cp == 0x20 || cp == 0x85 || cp == 0xA0 ||
           cp == 0x1680 || (cp >= 0x2000 && cp <= 0x200A) || cp == 0x2028 || cp == 0x2029 ||
           cp == 0x202F || cp == 0x205F || cp == 0x3000;
}

std::string_view trim(std::string_view text) {
    while (!text.empty()) {
        std::size_t len = 0;
        if (!is_space(code_point(text, len))) break;
        text.remove_prefix(len);
    }
    while (!text.empty()) {
        // Step back to the first byte of the last code point.
        std::size_t start = text.size() - 1;
        while (start > 0 && (static_cast<std::uint8_t>(text[start]) & 0xC0) == 0x80) --start;
        std::size_t len = 0;
        if (!is_space(code_point(text.substr(start), len))) break;
        text.remove_suffix(text.size() - start);
    }
    return text;
}

bool line_rejects(std::string_view line) {
    static constexpr std::array<std::string_view, 3> kPrefixes = {"error:", "usage:",
                                                                  "unknown command"};
    std::string lowered(trim(line));
    for (char& c : lowered) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    for (std::string_view prefix : kPrefixes) {
        if (lowered.starts_with(prefix)) return true;
    }
    return false;
}

}  // namespace

std::string decode_lossy(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size());
    while (!bytes.empty()) {
        std::size_t bad = 0;
        std::size_t len = sequence_length(bytes, bad);
        if (len > 0) {
            text.append(bytes.substr(0, len));
            bytes.remove_prefix(len);
        } else {
            text.append(kReplacement);
            bytes.remove_prefix(bad);
        }
    }
    return text;
}

bool reply_rejects(std::string_view reply) {
    while (!reply.empty()) {
        std::size_t end = reply.find('\n');
        std::string_view line = reply.substr(0, end);
        if (end != std::string_view::npos && line.ends_with('\r')) line.remove_suffix(1);
        if (line_rejects(line)) return true;
        if (end == std::string_view::npos) break;
        reply.remove_prefix(end + 1);
    }
    return false;
}

}  // namespace vorlix::instrument
