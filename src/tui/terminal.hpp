#pragma once
// The frame-buffer terminal: widgets draw a whole frame into a buffer, and
// only the cells that differ from the previous frame go to the backend.
//
//   auto drawn = terminal.draw([&](Frame& frame) {
//       frame.render_widget(Paragraph(Text("hello")), frame.area());
//   });
//
// A frame that places no cursor hides it; the terminal remembers that it
// did, so whoever gives the terminal back can show the cursor again.
//
// Every frame gets a number. A renderer that knows its frame would be
// the one on screen again (it keeps the number of the frame it drew) can
// keep that one instead: nothing is drawn, compared or sent, so an
// unchanged screen costs next to nothing on every turn of an event loop.

#include <array>
#include <cstdint>
#include <optional>
#include <utility>

#include "tui/backend/backend.hpp"
#include "tui/core/buffer.hpp"

namespace vorlix::tui {

class Frame {
public:
    explicit Frame(Buffer& buffer, std::uint64_t id = 0, std::uint64_t on_screen = 0)
        : buffer_(&buffer), id_(id), on_screen_(on_screen) {}

    // The number this frame has once drawn.
    std::uint64_t id() const { return id_; }
    // Keeps the frame on screen when it is frame `id`, unchanged since (no
    // clear, resize or failure came between); the renderer then draws
    // nothing at all. False, and nothing kept, otherwise.
    bool keep_previous(std::uint64_t id) {
        kept_ = id != 0 && id == on_screen_;
        return kept_;
    }
    bool kept() const { return kept_; }

    Rect area() const { return buffer_->area(); }
    Buffer& buffer() { return *buffer_; }

    template <class Widget>
    void render_widget(const Widget& widget, Rect area) {
        widget.render(area, *buffer_);
    }
    template <class Widget, class State>
    void render_stateful_widget(const Widget& widget, Rect area, State& state) {
        widget.render(area, *buffer_, state);
    }

    // Shows the cursor there after the frame is drawn.
    void set_cursor_position(Position p) { cursor_ = p; }
    const std::optional<Position>& cursor_position() const { return cursor_; }

private:
    Buffer* buffer_;
    std::optional<Position> cursor_;
    std::uint64_t id_;
    std::uint64_t on_screen_;
    bool kept_ = false;
};

class Terminal {
public:
    // A terminal over the backend, which must outlive it; sized to the
    // backend's current size.
    static IoResult<Terminal> create(Backend& backend);

    Terminal(Terminal&&) = default;
    Terminal& operator=(Terminal&&) = default;
    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;

    // Draws one frame: follows a change of the terminal's size, lets
    // `render(Frame&)` fill the frame, sends the changed cells, places or
    // hides the cursor and flushes. A kept frame does none of the last four.
    template <class Render>
    IoResult<> draw(Render&& render) {
        if (auto resized = autoresize(); !resized) return resized;
        Frame frame(buffers_[current_], fresh_frame_id(), on_screen_);
        std::forward<Render>(render)(frame);
        if (frame.kept()) return {};
        return finish_frame(frame.id(), frame.cursor_position());
    }

    // Draws a frame prepared elsewhere: the part of `frame` that lies on the
    // screen (a frame of another size after a resize is cut or padded).
    IoResult<> draw_buffer(const Buffer& frame);

    // Blanks the screen; the next frame sends all of its cells.
    IoResult<> clear();
    IoResult<> hide_cursor();
    IoResult<> show_cursor();
    // Whether the cursor was hidden by this terminal and not shown since.
    bool cursor_hidden() const { return cursor_hidden_; }

    Rect area() const { return area_; }
    // The frame drawn last, as the screen now shows it.
    const Buffer& last_frame() const { return buffers_[1 - current_]; }
    Backend& backend() { return *backend_; }

private:
    Terminal(Backend& backend, Rect area);
    IoResult<> autoresize();
    IoResult<> finish_frame(std::uint64_t id, const std::optional<Position>& cursor);
    // Unique in the process, so that no frame of another terminal object
    // passes for one of this.
    static std::uint64_t fresh_frame_id();

    Backend* backend_;
    Rect area_;
    std::array<Buffer, 2> buffers_;
    std::size_t current_ = 0;
    bool cursor_hidden_ = false;
    std::uint64_t on_screen_ = 0;  // the frame the screen shows; 0 for none known
};

}  // namespace vorlix::tui
