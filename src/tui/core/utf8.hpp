#pragma once
// UTF-8 text as the screen sees it: user-perceived characters (a base code
// point with the zero-width marks that follow it) and their width in cells.
// Text comes from the instrument and from files as well as from us, so
// malformed bytes become U+FFFD (each byte on its own, as the shared decoder
// in base/text.hpp reads them) and control characters never reach a cell.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vorlix::tui {

constexpr bool is_scalar_value(std::uint32_t c) { return c <= 0x10ffff && !(c >= 0xd800 && c <= 0xdfff); }

void append_utf8(std::string& out, char32_t c);

// Cells that one code point takes: 2 for wide (East Asian) characters, 0 for
// combining marks and other zero-width code points, 1 otherwise. Control
// characters give -1. The table is the C library's for UTF-8, the one the
// terminal library uses too, whatever the process locale is.
int code_point_width(char32_t c);

// Cells taken by a whole text, counted by graphemes as they are drawn.
std::size_t text_width(std::string_view text);

struct Grapheme {
    std::string_view text;  // into the source, or a static replacement
    std::uint8_t width;     // 0, 1 or 2
};

// Walks a text grapheme by grapheme. A tab is drawn as one blank; other
// control characters are skipped; a zero-width code point joins the grapheme
// before it (and the one after a zero-width joiner joins as well).
class GraphemeReader {
public:
    explicit GraphemeReader(std::string_view text) : text_(text) {}
    std::optional<Grapheme> next();

private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

}  // namespace vorlix::tui
