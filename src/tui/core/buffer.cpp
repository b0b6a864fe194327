#include "tui/core/buffer.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "tui/core/utf8.hpp"

namespace vorlix::tui {

Buffer Buffer::filled(Rect area, const Cell& cell) {
    Buffer b;
    b.area_ = area;
    b.content_.assign(area.area(), cell);
    return b;
}

std::size_t Buffer::index_of(std::uint16_t x, std::uint16_t y) const {
    if (!contains(x, y)) {
        std::fprintf(stderr, "tui: cell (%u, %u) outside %s\n", unsigned{x}, unsigned{y},
                     describe(area_).c_str());
        std::abort();
    }
    return std::size_t{static_cast<std::uint16_t>(y - area_.y)} * area_.width +
           static_cast<std::uint16_t>(x - area_.x);
}

void Buffer::detach(std::uint16_t x, std::uint16_t y) {
    Cell& c = content_[index_of(x, y)];
    if (c.skip) {
        c.skip = false;
        c.symbol = " ";
        if (x > area_.x) content_[index_of(x - 1, y)].symbol = " ";
        return;
    }
    if (x + 1 < area_.right()) {
        Cell& right = content_[index_of(x + 1, y)];
        if (right.skip) {
            right.skip = false;
            right.symbol = " ";
        }
    }
}

bool Buffer::set_grapheme(std::uint16_t x, std::uint16_t y, std::string_view symbol, std::uint8_t width,
                          const Style& style) {
    if (width == 0 || width > 2 || !contains(x, y)) return false;
    if (width == 2 && x + 1 >= area_.right()) return false;
    detach(x, y);
    Cell& lead = content_[index_of(x, y)];
    lead.symbol.assign(symbol);
    lead.set_style(style);
    if (width == 2) {
        detach(x + 1, y);
        Cell& covered = content_[index_of(x + 1, y)];
        covered.symbol.clear();
        covered.skip = true;
        covered.set_style(style);
    }
    return true;
}

std::uint16_t Buffer::set_stringn(std::uint16_t x, std::uint16_t y, std::string_view text,
                                  std::size_t max_width, const Style& style) {
    if (!contains(x, y)) return x;
    const std::size_t room = static_cast<std::size_t>(area_.right() - x);
    const std::size_t limit = std::size_t{x} + std::min(room, max_width);
    GraphemeReader reader(text);
    while (auto g = reader.next()) {
        if (g->width == 0) continue;
        if (x + std::size_t{g->width} > limit) break;
        set_grapheme(x, y, g->text, g->width, style);
        x = static_cast<std::uint16_t>(x + g->width);
    }
    return x;
}

std::uint16_t Buffer::set_line(std::uint16_t x, std::uint16_t y, const Line& line, std::size_t max_width,
                               const Style& base) {
    const Style line_style = base.patch(line.style);
    const std::uint16_t start = x;
    for (const Span& span : line.spans) {
        const std::size_t used = static_cast<std::size_t>(x - start);
        if (used >= max_width) break;
        x = set_stringn(x, y, span.content, max_width - used, line_style.patch(span.style));
    }
    return x;
}

void Buffer::set_style(Rect area, const Style& style) {
    // Most widgets lay an empty style over their whole area on every frame.
    if (style == Style{}) return;
    const Rect r = area.intersection(area_);
    if (r.is_empty()) return;
    for (std::uint16_t y = r.top(); y < r.bottom(); ++y) {
        Cell* row = &content_[index_of(r.left(), y)];
        for (std::uint16_t i = 0; i < r.width; ++i) row[i].set_style(style);
    }
}

void Buffer::reset_area(Rect area) {
    const Rect r = area.intersection(area_);
    for (std::uint16_t y = r.top(); y < r.bottom(); ++y) {
        for (std::uint16_t x = r.left(); x < r.right(); ++x) {
            detach(x, y);
            content_[index_of(x, y)].reset();
        }
    }
}

void Buffer::reset() {
    // The terminal object resets a whole screen on every frame; a cell that
    // holds one byte is blanked in place, without building a cell anew.
    for (Cell& c : content_) {
        if (c.symbol.size() == 1) {
            c.symbol[0] = ' ';
            c.fg = Color::Reset;
            c.bg = Color::Reset;
            c.modifier = Modifier::None;
            c.monochrome = Modifier::None;
            c.skip = false;
        } else {
            c.reset();
        }
    }
}

void Buffer::resize(Rect area) {
    area_ = area;
    content_.assign(area.area(), Cell{});
}

namespace {

// Cell equality with the cheap fields first and one-byte symbols, nearly
// all of a screen, compared without a library call: an unchanged frame is
// compared cell by cell on every poll of the event loop.
bool same_cell(const Cell& a, const Cell& b) {
    if (a.fg != b.fg || a.bg != b.bg || a.modifier != b.modifier || a.monochrome != b.monochrome ||
        a.skip != b.skip) {
        return false;
    }
    const std::size_t n = a.symbol.size();
    if (n != b.symbol.size()) return false;
    if (n == 1) return a.symbol[0] == b.symbol[0];
    return a.symbol == b.symbol;
}

}  // namespace

std::vector<CellUpdate> Buffer::diff(const Buffer& previous) const {
    std::vector<CellUpdate> updates;
    const bool same_area = previous.area_ == area_;
    for (std::size_t i = 0; i < content_.size(); ++i) {
        const Cell& next = content_[i];
        if (next.skip) continue;
        if (same_area && same_cell(next, previous.content_[i])) continue;
        const auto x = static_cast<std::uint16_t>(area_.x + i % area_.width);
        const auto y = static_cast<std::uint16_t>(area_.y + i / area_.width);
        updates.push_back({x, y, &next});
    }
    return updates;
}

}  // namespace vorlix::tui
