#include "tui/terminal.hpp"

#include <atomic>

namespace vorlix::tui {

namespace {
Rect screen_of(Size size) { return Rect{0, 0, size.width, size.height}; }
}  // namespace

IoResult<Terminal> Terminal::create(Backend& backend) {
    auto size = backend.size();
    if (!size) return std::unexpected(size.error());
    return Terminal(backend, screen_of(*size));
}

Terminal::Terminal(Backend& backend, Rect area)
    : backend_(&backend), area_(area), buffers_{Buffer::empty(area), Buffer::empty(area)} {}

IoResult<> Terminal::draw_buffer(const Buffer& frame) {
    return draw([&](Frame& f) {
        Buffer& screen = f.buffer();
        const Rect common = frame.area().intersection(screen.area());
        for (std::uint16_t y = common.top(); y < common.bottom(); ++y) {
            for (std::uint16_t x = common.left(); x < common.right(); ++x) {
                const Cell& cell = frame.cell(x, y);
                if (cell.skip) continue;  // comes with the wide grapheme to its left
                const bool wide = x + 1 < frame.area().right() && frame.cell(x + 1, y).skip;
                if (!screen.set_grapheme(x, y, cell.symbol, wide ? 2 : 1, cell.style())) {
                    screen.set_grapheme(x, y, " ", 1, cell.style());  // half of it would be off screen
                }
            }
        }
    });
}

IoResult<> Terminal::clear() {
    on_screen_ = 0;
    if (auto cleared = backend_->clear(); !cleared) return cleared;
    // What the screen shows now is blank, whatever was drawn before.
    buffers_[1 - current_].reset();
    return {};
}

IoResult<> Terminal::hide_cursor() {
    if (auto hidden = backend_->hide_cursor(); !hidden) return hidden;
    cursor_hidden_ = true;
    return {};
}

IoResult<> Terminal::show_cursor() {
    if (auto shown = backend_->show_cursor(); !shown) return shown;
    cursor_hidden_ = false;
    return {};
}

IoResult<> Terminal::autoresize() {
    auto size = backend_->size();
    if (!size) return std::unexpected(size.error());
    const Rect area = screen_of(*size);
    if (area == area_) return {};
    area_ = area;
    buffers_[0].resize(area);
    buffers_[1].resize(area);
    return clear();
}

std::uint64_t Terminal::fresh_frame_id() {
    static std::atomic<std::uint64_t> last{0};
    return ++last;
}

IoResult<> Terminal::finish_frame(std::uint64_t id, const std::optional<Position>& cursor) {
    // Until the frame is out whole, the screen shows no frame for certain.
    on_screen_ = 0;
    Buffer& next = buffers_[current_];
    Buffer& previous = buffers_[1 - current_];
    if (auto drawn = backend_->draw(next.diff(previous)); !drawn) return drawn;
    if (cursor) {
        if (auto shown = show_cursor(); !shown) return shown;
        if (auto placed = backend_->set_cursor_position(*cursor); !placed) return placed;
    } else if (auto hidden = hide_cursor(); !hidden) {
        return hidden;
    }
    current_ = 1 - current_;
    buffers_[current_].reset();
    if (auto flushed = backend_->flush(); !flushed) return flushed;
    on_screen_ = id;
    return {};
}

}  // namespace vorlix::tui
