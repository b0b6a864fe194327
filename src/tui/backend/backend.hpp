#pragma once
// What the terminal object needs from a terminal: draw cells, place or hide
// the cursor, report the size, and push out what was drawn. An event source
// waits for input with a time-out. The terminal backend provides both for a
// real terminal; the test backend keeps a buffer and a queue instead.

#include <chrono>
#include <expected>
#include <optional>
#include <span>

#include "base/io_error.hpp"
#include "tui/core/buffer.hpp"
#include "tui/core/rect.hpp"
#include "tui/keys.hpp"

namespace vorlix::tui {

template <class T = void>
using IoResult = std::expected<T, base::IoError>;

class Backend {
public:
    virtual ~Backend() = default;

    // Draws the given cells; nothing is visible before flush().
    virtual IoResult<> draw(std::span<const CellUpdate> updates) = 0;
    virtual IoResult<> hide_cursor() = 0;
    virtual IoResult<> show_cursor() = 0;
    virtual IoResult<> set_cursor_position(Position position) = 0;
    // Blanks the whole screen.
    virtual IoResult<> clear() = 0;
    virtual IoResult<Size> size() = 0;
    virtual IoResult<> flush() = 0;
};

class EventSource {
public:
    virtual ~EventSource() = default;

    // The next input event, waiting at most `timeout`; nothing when none
    // came in time (or the input was of a kind nobody uses).
    virtual IoResult<std::optional<Event>> poll(std::chrono::milliseconds timeout) = 0;
};

}  // namespace vorlix::tui
