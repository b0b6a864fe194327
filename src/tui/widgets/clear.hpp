#pragma once
// Blanks an area in the terminal's default style, so that a widget drawn
// over other content (a pop-up box) does not show what lies beneath.

#include "tui/core/buffer.hpp"

namespace vorlix::tui {

struct Clear {
    void render(Rect area, Buffer& buf) const { buf.reset_area(area); }
};

}  // namespace vorlix::tui
