#pragma once
// Fitting one line of text into a width: breaking it into rows at word
// boundaries, or cutting it down to one row. Both work on the line's styled
// graphemes and give ranges of them, so a widget only positions the rows.
//
// Word wrap rules (wrap_rows):
// - words are runs of non-blank graphemes, separated by blanks;
// - a row takes whole words with the blanks between them while they fit;
//   the blanks where a row breaks are dropped;
// - a word wider than the width is cut into pieces that fill whole rows;
// - trim: a row never starts with blanks (the indentation of the line is
//   dropped too) and trailing blanks of the line are dropped;
//   without trim the line's indentation is kept when it fits beside the
//   first word, and its trailing blanks as far as they fit;
// - a line without words gives one empty row.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tui/core/style.hpp"
#include "tui/core/text.hpp"

namespace vorlix::tui {

struct StyledGrapheme {
    std::string_view symbol;
    std::uint8_t width;
    Style style;
};

// The graphemes of a line, each styled base ⊕ line style ⊕ span style. The
// symbols point into the line (or static text), which must outlive them.
std::vector<StyledGrapheme> styled_graphemes(const Line& line, const Style& base);

// A run of graphemes [begin, end) and the cells it takes.
struct Row {
    std::size_t begin = 0;
    std::size_t end = 0;
    std::size_t width = 0;
    bool operator==(const Row&) const = default;
};

std::vector<Row> wrap_rows(std::span<const StyledGrapheme> graphemes, std::uint16_t width, bool trim);

// The part of a line shown in one row of `width` cells when it is not
// wrapped: its start for left alignment, its end for right alignment, its
// middle for centred text.
Row truncate_row(std::span<const StyledGrapheme> graphemes, std::uint16_t width, Alignment alignment);

// Where a row of `row_width` cells starts within `width` cells.
std::uint16_t row_offset(std::size_t row_width, std::uint16_t width, Alignment alignment);

// Plain-text form of wrap_rows, line by line of `text`: the rows' texts.
std::vector<std::string> wrap_words(std::string_view text, std::uint16_t width, bool trim = true);

}  // namespace vorlix::tui
