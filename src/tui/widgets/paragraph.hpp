#pragma once
// A text in an area: line by line from the top, each line aligned on its
// own, cut at the right edge or wrapped at word boundaries. Rows that do
// not fit below are not drawn.

#include <optional>

#include "tui/core/buffer.hpp"
#include "tui/core/text.hpp"
#include "tui/widgets/block.hpp"

namespace vorlix::tui {

struct Wrap {
    bool trim = true;  // drop the blanks that would start a row
};

class Paragraph {
public:
    explicit Paragraph(Text text) : text_(std::move(text)) {}

    Paragraph& block(Block block) {
        block_ = std::move(block);
        return *this;
    }
    // Laid over the whole area, the block included.
    Paragraph& style(Style style) {
        style_ = style;
        return *this;
    }
    Paragraph& wrap(Wrap wrap) {
        wrap_ = wrap;
        return *this;
    }
    // For lines that do not set their own.
    Paragraph& alignment(Alignment alignment) {
        alignment_ = alignment;
        return *this;
    }

    void render(Rect area, Buffer& buf) const;

private:
    Text text_;
    std::optional<Block> block_;
    Style style_;
    std::optional<Wrap> wrap_;
    Alignment alignment_ = Alignment::Left;
};

}  // namespace vorlix::tui
