#include "base/text.hpp"

#include <cstdio>

namespace vorlix::base {

namespace {
struct Prefix {
    std::size_t length;  // bytes the character needs
    std::size_t valid;   // leading bytes that are a well-formed start of it
    char32_t code;       // the decoded value when valid == length
};

// How far the bytes at pos form a well-formed character. The second byte's
// range carries the overlong, surrogate and ceiling checks, as in the table
// of well-formed sequences.
Prefix scan_prefix(std::string_view bytes, std::size_t pos) {
    const auto lead = static_cast<unsigned char>(bytes[pos]);
    if (lead < 0x80) return {1, 1, lead};
    std::size_t length = 0;
    char32_t code = 0;
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0F;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return {1, 0, 0};
    }
    std::size_t valid = 1;
    while (valid < length && pos + valid < bytes.size()) {
        const auto c = static_cast<unsigned char>(bytes[pos + valid]);
        const unsigned char lo = valid == 1 ? low : 0x80;
        const unsigned char hi = valid == 1 ? high : 0xBF;
        if (c < lo || c > hi) break;
        code = (code << 6) | (c & 0x3F);
        ++valid;
    }
    return {length, valid, code};
}
}  // namespace

std::optional<char32_t> decode_utf8(std::string_view bytes, std::size_t& pos) {
    if (pos >= bytes.size()) return std::nullopt;
    const Prefix p = scan_prefix(bytes, pos);
    if (p.valid != p.length) return std::nullopt;
    pos += p.length;
    return p.code;
}

DecodedChar decode_utf8_replacing(std::string_view bytes, std::size_t pos) {
    std::size_t next = pos;
    if (const auto c = decode_utf8(bytes, next)) return {*c, next - pos};
    return {0xFFFD, 1};
}

bool is_valid_utf8(std::string_view bytes) {
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        if (!decode_utf8(bytes, pos)) return false;
    }
    return true;
}

std::string lossy_utf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        const Prefix p = scan_prefix(bytes, pos);
        if (p.valid == p.length) {
            out.append(bytes.substr(pos, p.length));
            pos += p.length;
        } else {
            // One replacement for the whole ill-formed prefix.
            out += "\xEF\xBF\xBD";
            pos += p.valid == 0 ? 1 : p.valid;
        }
    }
    return out;
}

namespace {

void append_code(std::string& out, const char* form, unsigned value) {
    char buf[16];
    std::snprintf(buf, sizeof buf, form, value);
    out += buf;
}

// A byte that needs no thought: printable ASCII, and for the quoted style
// neither quote nor backslash.
bool plain(unsigned char c, EscapeStyle style) {
    if (c < 0x20 || c >= 0x7F) return false;
    return style != EscapeStyle::Quoted || (c != '"' && c != '\\');
}

}  // namespace

std::string escape_controls(std::string_view text, EscapeStyle style) {
    std::string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        // Runs of plain bytes, nearly all of any text, go over in one piece.
        std::size_t run = pos;
        while (run < text.size() && plain(static_cast<unsigned char>(text[run]), style)) ++run;
        out.append(text.substr(pos, run - pos));
        pos = run;
        if (pos == text.size()) break;
        const auto c = static_cast<unsigned char>(text[pos]);
        if (c < 0x80) {
            ++pos;
            const bool layout = style == EscapeStyle::Lines && (c == '\n' || c == '\t');
            switch (c) {
                case '"': out += "\\\""; break;
                case '\\': out += "\\\\"; break;
                case '\n': out += layout ? "\n" : "\\n"; break;
                case '\t': out += layout ? "\t" : "\\t"; break;
                case '\r': out += "\\r"; break;
                case '\0': out += "\\0"; break;
                default: append_code(out, "\\u{%x}", c);
            }
            continue;
        }
        const Prefix p = scan_prefix(text, pos);
        if (p.valid != p.length) {
            if (style == EscapeStyle::Quoted) {
                const std::size_t bad = p.valid == 0 ? 1 : p.valid;
                for (std::size_t i = 0; i < bad; ++i)
                    append_code(out, "\\x%02X", static_cast<unsigned char>(text[pos + i]));
                pos += bad;
            } else {
                out += "\xEF\xBF\xBD";
                pos += p.valid == 0 ? 1 : p.valid;
            }
            continue;
        }
        // C1 controls, and in a debug form the invisible soft hyphen.
        if ((p.code >= 0x80 && p.code <= 0x9F) || (p.code == 0xAD && style == EscapeStyle::Quoted)) {
            append_code(out, "\\u{%x}", static_cast<unsigned>(p.code));
        } else {
            out.append(text.substr(pos, p.length));
        }
        pos += p.length;
    }
    return out;
}

bool is_unicode_whitespace(char32_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F ||
           c == 0x3000;
}

// ASCII bytes, nearly all a scan file or a reply holds, are settled without
// decoding; only the ends are looked at, so long texts cost no more.
std::string_view trim_unicode_whitespace(std::string_view text) {
    const auto* data = reinterpret_cast<const unsigned char*>(text.data());
    const auto is_ascii_space = [](unsigned char c) { return c == ' ' || (c >= 0x09 && c <= 0x0D); };
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end) {
        if (data[begin] < 0x80) {
            if (!is_ascii_space(data[begin])) break;
            ++begin;
            continue;
        }
        std::size_t next = begin;
        const auto c = decode_utf8(text, next);
        if (!c || !is_unicode_whitespace(*c)) break;
        begin = next;
    }
    while (end > begin) {
        if (data[end - 1] < 0x80) {
            if (!is_ascii_space(data[end - 1])) break;
            --end;
            continue;
        }
        // Back to the lead byte of the last character, then forward over it.
        std::size_t start = end - 1;
        while (start > begin && end - start < 4 && (data[start] & 0xC0) == 0x80) --start;
        std::size_t next = start;
        const auto c = decode_utf8(text.substr(0, end), next);
        if (!c || next != end || !is_unicode_whitespace(*c)) break;
        end = start;
    }
    return text.substr(begin, end - begin);
}

std::vector<std::string_view> split_unicode_whitespace(std::string_view text) {
    std::vector<std::string_view> tokens;
    std::size_t pos = 0;
    std::size_t token_start = 0;
    bool in_token = false;
    while (pos < text.size()) {
        std::size_t next = pos;
        const auto c = decode_utf8(text, next);
        if (c && is_unicode_whitespace(*c)) {
            if (in_token) tokens.push_back(text.substr(token_start, pos - token_start));
            in_token = false;
        } else {
            if (!c) next = pos + 1;
            if (!in_token) token_start = pos;
            in_token = true;
        }
        pos = next;
    }
    if (in_token) tokens.push_back(text.substr(token_start));
    return tokens;
}

std::vector<std::string_view> split_lines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t lf = text.find('\n', start);
        if (lf == std::string_view::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        std::size_t end = lf;
        if (end > start && text[end - 1] == '\r') --end;
        lines.push_back(text.substr(start, end - start));
        start = lf + 1;
    }
    return lines;
}

std::string ascii_lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

}  // namespace vorlix::base
