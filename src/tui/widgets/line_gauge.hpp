#pragma once
// A one-row progress bar: the label, one blank, then a line of U+2500 whose
// filled share is the ratio of the cells after the label.

#include <optional>

#include "tui/core/buffer.hpp"
#include "tui/core/text.hpp"
#include "tui/widgets/block.hpp"

namespace vorlix::tui {

class LineGauge {
public:
    // Clamped into 0..1; not a number counts as 0.
    LineGauge& ratio(double ratio);
    double ratio() const { return ratio_; }
    // Without a label the bar is labelled with the whole percentage, "42%".
    LineGauge& label(Line label) {
        label_ = std::move(label);
        return *this;
    }
    LineGauge& block(Block block) {
        block_ = std::move(block);
        return *this;
    }
    LineGauge& style(Style style) {
        style_ = style;
        return *this;
    }
    LineGauge& filled_style(Style style) {
        filled_style_ = style;
        return *this;
    }
    LineGauge& unfilled_style(Style style) {
        unfilled_style_ = style;
        return *this;
    }

    // The number of filled cells in a bar of `width` cells.
    static std::uint16_t filled_cells(std::uint16_t width, double ratio);

    void render(Rect area, Buffer& buf) const;

private:
    double ratio_ = 0.0;
    std::optional<Line> label_;
    std::optional<Block> block_;
    Style style_;
    Style filled_style_;
    Style unfilled_style_;
};

}  // namespace vorlix::tui
