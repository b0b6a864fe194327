#pragma once
// A box: a plain single-line border on all four sides, with an optional
// title standing in the top border at the left. Without a border a block
// only lays its style over the area (and keeps a title row when titled).

#include <optional>

#include "tui/core/buffer.hpp"
#include "tui/core/rect.hpp"
#include "tui/core/style.hpp"
#include "tui/core/text.hpp"

namespace vorlix::tui {

class Block {
public:
    Block() = default;
    static Block bordered() {
        Block b;
        b.borders_ = true;
        return b;
    }

    Block& title(Line title) {
        title_ = std::move(title);
        return *this;
    }
    // Under the title's own styles.
    Block& title_style(Style style) {
        title_style_ = style;
        return *this;
    }
    Block& border_style(Style style) {
        border_style_ = style;
        return *this;
    }
    // Laid over the whole area, border and title included.
    Block& style(Style style) {
        style_ = style;
        return *this;
    }

    bool has_borders() const { return borders_; }
    const std::optional<Line>& title() const { return title_; }

    // The area left inside the border (or under the title row).
    Rect inner(Rect area) const;
    void render(Rect area, Buffer& buf) const;

private:
    bool borders_ = false;
    std::optional<Line> title_;
    Style title_style_;
    Style border_style_;
    Style style_;
};

// The first steps every widget takes: cut the area to the buffer, lay the
// widget's style over it, draw the block if there is one. Gives the area
// left for the content; when it is empty there is nothing more to draw.
inline Rect begin_widget(Rect area, Buffer& buf, const Style& style, const std::optional<Block>& block) {
    area = area.intersection(buf.area());
    if (area.is_empty()) return area;
    buf.set_style(area, style);
    if (!block) return area;
    block->render(area, buf);
    return block->inner(area);
}

}  // namespace vorlix::tui
