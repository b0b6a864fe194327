#pragma once
// A backend and an event source without a terminal, for tests: the screen
// is a Buffer that drawing writes into, every flush is counted, and events
// come from a queue the test fills. Failures can be injected per call.

#include <deque>
#include <string>
#include <vector>

#include "tui/backend/backend.hpp"
#include "tui/core/utf8.hpp"

namespace vorlix::tui {

class TestBackend final : public Backend {
public:
    explicit TestBackend(Size size) : screen_(Buffer::empty(Rect{0, 0, size.width, size.height})) {}

    // The terminal changes size; what it showed is lost, as on a real one.
    void resize(Size size) { screen_.resize(Rect{0, 0, size.width, size.height}); }

    // A later draw, clear, flush or cursor call fails with this error: the
    // next one, or the one after `skip` calls that succeed.
    void fail_next(base::IoError error, std::size_t skip = 0) {
        failure_ = std::move(error);
        skip_ = skip;
    }

    const Buffer& screen() const { return screen_; }
    const std::vector<CellUpdate>& last_updates() const { return last_updates_; }
    std::size_t cells_drawn() const { return cells_drawn_; }
    std::size_t flushes() const { return flushes_; }
    std::size_t clears() const { return clears_; }
    bool cursor_visible() const { return cursor_visible_; }
    Position cursor_position() const { return cursor_; }

    IoResult<> draw(std::span<const CellUpdate> updates) override {
        if (auto f = take_failure()) return std::unexpected(*f);
        // Kept as cells of our own screen: the caller's buffer changes later.
        last_updates_.clear();
        for (const CellUpdate& u : updates) {
            if (!screen_.contains(u.x, u.y)) continue;
            Cell& c = screen_.cell(u.x, u.y);
            c = *u.cell;
            // A wide grapheme covers the next column, as on a terminal.
            if (text_width(c.symbol) == 2 && screen_.contains(u.x + 1, u.y)) {
                Cell& covered = screen_.cell(u.x + 1, u.y);
                covered = c;
                covered.symbol.clear();
                covered.skip = true;
            }
            last_updates_.push_back({u.x, u.y, &c});
            ++cells_drawn_;
        }
        return {};
    }
    IoResult<> hide_cursor() override {
        if (auto f = take_failure()) return std::unexpected(*f);
        cursor_visible_ = false;
        return {};
    }
    IoResult<> show_cursor() override {
        if (auto f = take_failure()) return std::unexpected(*f);
        cursor_visible_ = true;
        return {};
    }
    IoResult<> set_cursor_position(Position p) override {
        if (auto f = take_failure()) return std::unexpected(*f);
        cursor_ = p;
        return {};
    }
    IoResult<> clear() override {
        if (auto f = take_failure()) return std::unexpected(*f);
        screen_.reset();
        ++clears_;
        return {};
    }
    IoResult<Size> size() override { return screen_.area().size(); }
    IoResult<> flush() override {
        if (auto f = take_failure()) return std::unexpected(*f);
        ++flushes_;
        return {};
    }

private:
    std::optional<base::IoError> take_failure() {
        if (!failure_) return std::nullopt;
        if (skip_ > 0) {
            --skip_;
            return std::nullopt;
        }
        return std::exchange(failure_, std::nullopt);
    }

    Buffer screen_;
    std::vector<CellUpdate> last_updates_;
    std::optional<base::IoError> failure_;
    std::size_t skip_ = 0;
    std::size_t cells_drawn_ = 0;
    std::size_t flushes_ = 0;
    std::size_t clears_ = 0;
    bool cursor_visible_ = true;
    Position cursor_;
};

class TestEvents final : public EventSource {
public:
    void push(Event e) { queue_.push_back(e); }
    void push_key(KeyEvent k) { queue_.push_back(k); }
    // Pushes one Char key per character of an ASCII text.
    void push_text(std::string_view text) {
        for (char c : text) queue_.push_back(KeyEvent::character(static_cast<unsigned char>(c)));
    }
    void fail_next(base::IoError error) { failure_ = std::move(error); }
    std::size_t pending() const { return queue_.size(); }
    std::size_t polls() const { return polls_; }

    // Never waits: the next queued event, or nothing.
    IoResult<std::optional<Event>> poll(std::chrono::milliseconds) override {
        ++polls_;
        if (failure_) return std::unexpected(*std::exchange(failure_, std::nullopt));
        if (queue_.empty()) return std::optional<Event>{};
        Event e = queue_.front();
        queue_.pop_front();
        return std::optional<Event>{e};
    }

private:
    std::deque<Event> queue_;
    std::optional<base::IoError> failure_;
    std::size_t polls_ = 0;
};

}  // namespace vorlix::tui
