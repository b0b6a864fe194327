#include "instrument/identify_text.hpp"

namespace vorlix::instrument {

namespace {

unsigned char byte_at(std::string_view text, std::size_t i) {
    return static_cast<unsigned char>(text[i]);
}

// The length of the character at `i` for stepping over a non-white-space
// character: the length of a well-formed UTF-8 sequence, else 1.
std::size_t char_len_at(std::string_view text, std::size_t i) {
    const unsigned char lead = byte_at(text, i);
    std::size_t len = 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        len = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        len = 3;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        len = 4;
    }
    if (i + len > text.size()) {
        return 1;
    }
    for (std::size_t k = 1; k < len; ++k) {
        if ((byte_at(text, i + k) & 0xC0) != 0x80) {
            return 1;
        }
    }
    return len;
}

}  // namespace

std::size_t white_space_len_at(std::string_view text) {
    if (text.empty()) {
        return 0;
    }
    const unsigned char b0 = byte_at(text, 0);
    if ((b0 >= 0x09 && b0 <= 0x0D) || b0 == 0x20) {
        return 1;
    }
    if (b0 < 0xC2 || text.size() < 2) {
        return 0;
    }
    const unsigned char b1 = byte_at(text, 1);
    if (b0 == 0xC2) {
        return (b1 == 0x85 || b1 == 0xA0) ? 2 : 0;  // U+0085, U+00A0
    }
    if (text.size() < 3) {
        return 0;
    }
    const unsigned char b2 = byte_at(text, 2);
    if (b0 == 0xE1) {
        return (b1 == 0x9A && b2 == 0x80) ? 3 : 0;  // U+1680
    }
    if (b0 == 0xE2 && b1 == 0x80) {
        // U+2000..U+200A, U+2028, U+2029, U+202F
        const bool ws = (b2 >= 0x80 && b2 <= 0x8A) || b2 == 0xA8 || b2 == 0xA9 || b2 == 0xAF;
        return ws ? 3 : 0;
    }
    if (b0 == 0xE2 && b1 == 0x81) {
        return b2 == 0x9F ? 3 : 0;  // U+205F
    }
    if (b0 == 0xE3) {
        return (b1 == 0x80 && b2 == 0x80) ? 3 : 0;  // U+3000
    }
    return 0;
}

std::vector<std::string_view> split_white_space(std::string_view text) {
    std::vector<std::string_view> tokens;
    std::size_t i = 0;
    std::size_t token_start = 0;
    bool in_token = false;
    while (i < text.size()) {
        const std::size_t ws = white_space_len_at(text.substr(i));
        if (ws != 0) {
            if (in_token) {
                tokens.push_back(text.substr(token_start, i - token_start));
                in_token = false;
            }
            i += ws;
            continue;
        }
        if (!in_token) {
            token_start = i;
            in_token = true;
        }
        i += char_len_at(text, i);
    }
    if (in_token) {
        tokens.push_back(text.substr(token_start));
    }
    return tokens;
}

std::string_view trim_white_space(std::string_view text) {
    std::size_t first = text.size();
    std::size_t end = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t ws = white_space_len_at(text.substr(i));
        if (ws != 0) {
            i += ws;
            continue;
        }
        if (first == text.size()) {
            first = i;
        }
        i += char_len_at(text, i);
        end = i;
    }
    if (first == text.size()) {
        return text.substr(0, 0);
    }
    return text.substr(first, end - first);
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
        if (end > start && text[end - 1] == '\r') {
            --end;
        }
        lines.push_back(text.substr(start, end - start));
        start = lf + 1;
    }
    return lines;
}

std::string ascii_lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

}  // namespace vorlix::instrument
