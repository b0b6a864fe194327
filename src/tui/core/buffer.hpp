#pragma once
// A grid of cells covering one area of the screen. Widgets draw into a
// Buffer and never into the terminal; the terminal object compares two
// buffers and sends only the cells that changed.
//
// Coordinates are absolute screen positions, like the areas widgets get.
// Writes outside the buffer's area are clipped; the writers keep wide
// graphemes whole (a wide grapheme cut in half becomes a blank).

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "tui/core/cell.hpp"
#include "tui/core/rect.hpp"
#include "tui/core/style.hpp"
#include "tui/core/text.hpp"

namespace vorlix::tui {

struct CellUpdate {
    std::uint16_t x;
    std::uint16_t y;
    const Cell* cell;
};

class Buffer {
public:
    Buffer() = default;
    static Buffer empty(Rect area) { return filled(area, Cell{}); }
    static Buffer filled(Rect area, const Cell& cell);

    const Rect& area() const { return area_; }
    std::span<const Cell> content() const { return content_; }
    bool contains(std::uint16_t x, std::uint16_t y) const { return area_.contains({x, y}); }

    // The cell at an absolute position inside the area; a position outside
    // is a programming error and stops the program.
    const Cell& cell(std::uint16_t x, std::uint16_t y) const { return content_[index_of(x, y)]; }
    Cell& cell(std::uint16_t x, std::uint16_t y) { return content_[index_of(x, y)]; }

    // Puts one grapheme of `width` (1 or 2) cells at (x, y), laying `style`
    // over the cell. False when it does not fit in the area's row.
    bool set_grapheme(std::uint16_t x, std::uint16_t y, std::string_view symbol, std::uint8_t width,
                      const Style& style);

    // Writes the text's graphemes from (x, y) on while they fit within
    // `max_width` columns and the area's row; a grapheme that does not fit
    // ends the write. Returns the column after the last one written.
    std::uint16_t set_stringn(std::uint16_t x, std::uint16_t y, std::string_view text, std::size_t max_width,
                              const Style& style);
    std::uint16_t set_string(std::uint16_t x, std::uint16_t y, std::string_view text,
                             const Style& style = {}) {
        return set_stringn(x, y, text, SIZE_MAX, style);
    }
    // The spans of a line, each in `base` patched with the line's and the
    // span's style.
    std::uint16_t set_line(std::uint16_t x, std::uint16_t y, const Line& line, std::size_t max_width,
                           const Style& base = {});

    // Lays a style over every cell of the area that lies inside the buffer.
    void set_style(Rect area, const Style& style);
    // Blank cells in the terminal's default style over the area.
    void reset_area(Rect area);
    void reset();
    // New area; every cell blank.
    void resize(Rect area);

    // The cells of this buffer that differ from `previous`, in row order.
    // Cells covered by a wide grapheme are left out. A buffer of another
    // area differs everywhere.
    std::vector<CellUpdate> diff(const Buffer& previous) const;

    bool operator==(const Buffer&) const = default;

private:
    std::size_t index_of(std::uint16_t x, std::uint16_t y) const;
    // Makes the cell safe to overwrite: the other half of a wide grapheme
    // that it is part of becomes a blank.
    void detach(std::uint16_t x, std::uint16_t y);

    Rect area_;
    std::vector<Cell> content_;
};

}  // namespace vorlix::tui
