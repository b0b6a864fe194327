#pragma once
// One character cell of the screen: the grapheme drawn there and its style.
// A wide grapheme sits in its left cell; the cell to its right is marked
// `skip`, holds no symbol and is never sent to the terminal, which fills
// both columns when it draws the left one.

#include <string>

#include "tui/core/style.hpp"

namespace vorlix::tui {

struct Cell {
    std::string symbol = " ";
    Color fg;
    Color bg;
    Modifier modifier = Modifier::None;
    Modifier monochrome = Modifier::None;  // shown instead of the colours where there are none
    bool skip = false;

    // Lays a style over the cell: only what the style sets changes.
    void set_style(const Style& style) {
        if (style.foreground) fg = *style.foreground;
        if (style.background) bg = *style.background;
        if (style.monochrome) monochrome = *style.monochrome;
        modifier = (modifier & ~style.removed) | style.added;
    }

    // The cell's look as a style that sets every field.
    Style style() const {
        Style s;
        s.foreground = fg;
        s.background = bg;
        s.added = modifier;
        s.removed = ~modifier;
        s.monochrome = monochrome;
        return s;
    }

    void reset() { *this = Cell{}; }

    bool operator==(const Cell&) const = default;
};

}  // namespace vorlix::tui
