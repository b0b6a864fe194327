#pragma once
// A list of one-line items, one per row, with the selected one highlighted.
// The selection and the scroll position live with the application in a
// ListState; rendering moves the position so the selected item is visible.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "tui/core/buffer.hpp"
#include "tui/core/text.hpp"
#include "tui/widgets/block.hpp"

namespace vorlix::tui {

struct ListState {
    std::optional<std::size_t> selected;
    std::size_t offset = 0;  // the first item shown
    bool operator==(const ListState&) const = default;
};

// The first item to show in `height` rows: the current one, moved just far
// enough that the selected item is visible, and back towards the start when
// the rows below would otherwise stay empty.
std::size_t scroll_offset(std::size_t count, std::size_t height, std::optional<std::size_t> selected,
                          std::size_t offset);

class List {
public:
    explicit List(std::vector<Line> items) : items_(std::move(items)) {}
    // One plain item per text.
    template <TextLike S>
    explicit List(const std::vector<S>& texts) {
        items_.reserve(texts.size());
        for (const S& t : texts) items_.emplace_back(t);
    }

    List& block(Block block) {
        block_ = std::move(block);
        return *this;
    }
    // Laid over the whole area, the block included.
    List& style(Style style) {
        style_ = style;
        return *this;
    }
    // Laid over the whole row of the selected item.
    List& highlight_style(Style style) {
        highlight_style_ = style;
        return *this;
    }
    // Shown before the selected item; while an item is selected every row
    // is indented by its width.
    List& highlight_symbol(std::string symbol) {
        highlight_symbol_ = std::move(symbol);
        return *this;
    }

    const std::vector<Line>& items() const { return items_; }
    const std::optional<Block>& block() const { return block_; }

    void render(Rect area, Buffer& buf, ListState& state) const;
    void render(Rect area, Buffer& buf) const {
        ListState unselected;
        render(area, buf, unselected);
    }

private:
    std::vector<Line> items_;
    std::optional<Block> block_;
    Style style_;
    Style highlight_style_;
    std::string highlight_symbol_;
};

}  // namespace vorlix::tui
