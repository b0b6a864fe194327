#include "tui/core/utf8.hpp"

#include <clocale>
#include <cwchar>
#include <locale.h>

#include "base/text.hpp"

namespace vorlix::tui {

namespace {

constexpr std::string_view REPLACEMENT = "\xEF\xBF\xBD";
constexpr std::string_view BLANK = " ";
constexpr char32_t ZERO_WIDTH_JOINER = 0x200d;

bool is_control(char32_t c) { return c < 0x20 || (c >= 0x7f && c < 0xa0); }

// A UTF-8 character-type locale of our own, switched to per thread around
// the width query: the process locale may still be "C" (tests, or a caller
// that never set one), where the C library knows no width beyond ASCII.
locale_t utf8_ctype() {
    static const locale_t loc = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    return loc;
}

}  // namespace

void append_utf8(std::string& out, char32_t c) {
    if (!is_scalar_value(c)) c = 0xfffd;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xc0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3f));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xe0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3f));
        out += static_cast<char>(0x80 | (c & 0x3f));
    } else {
        out += static_cast<char>(0xf0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3f));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3f));
        out += static_cast<char>(0x80 | (c & 0x3f));
    }
}

int code_point_width(char32_t c) {
    if (c >= 0x20 && c < 0x7f) return 1;
    if (is_control(c)) return -1;
    int width;
    if (locale_t loc = utf8_ctype(); loc != static_cast<locale_t>(nullptr)) {
        const locale_t previous = uselocale(loc);
        width = ::wcwidth(static_cast<wchar_t>(c));
        uselocale(previous);
    } else {
        width = ::wcwidth(static_cast<wchar_t>(c));
    }
    // Unassigned but printable code points: one cell, as terminals draw them.
    if (width < 0) return 1;
    return width > 2 ? 2 : width;
}

std::optional<Grapheme> GraphemeReader::next() {
    while (pos_ < text_.size()) {
        const std::size_t start = pos_;
        const base::DecodedChar first = base::decode_utf8_replacing(text_, pos_);
        pos_ += first.length;
        if (first.code_point == U'\t') return Grapheme{BLANK, 1};
        if (is_control(first.code_point)) continue;
        if (first.code_point == 0xfffd && first.length == 1) return Grapheme{REPLACEMENT, 1};
        const int width = code_point_width(first.code_point);
        bool join_next = first.code_point == ZERO_WIDTH_JOINER;
        while (pos_ < text_.size()) {
            const base::DecodedChar d = base::decode_utf8_replacing(text_, pos_);
            if (d.code_point == 0xfffd && d.length == 1) break;
            if (is_control(d.code_point)) break;
            if (!join_next && code_point_width(d.code_point) != 0) break;
            join_next = d.code_point == ZERO_WIDTH_JOINER;
            pos_ += d.length;
        }
        return Grapheme{text_.substr(start, pos_ - start), static_cast<std::uint8_t>(width)};
    }
    return std::nullopt;
}

std::size_t text_width(std::string_view text) {
    std::size_t total = 0;
    GraphemeReader reader(text);
    while (auto g = reader.next()) total += g->width;
    return total;
}

}  // namespace vorlix::tui
