#pragma once
// The real terminal: draws by writing the escape sequences every terminal in
// use understands (cursor position, the colours and attributes of SGR) to
// one descriptor, and reads keys from it. Whoever opened the descriptor has
// put it in raw mode and owns the alternate screen; this backend only draws
// and reads, so it never fails because a terminal description is missing.
//
// The wait for input also watches a wake-up pipe: a signal handler writes a
// byte there to report what it cannot handle itself.

#include <memory>
#include <string>

#include "tui/backend/backend.hpp"

namespace vorlix::tui {

// The bytes a wake-up pipe carries.
inline constexpr char WAKE_RESIZE = 'W';     // the terminal changed size
inline constexpr char WAKE_REDRAW = 'C';     // the screen was lost: draw it all again
inline constexpr char WAKE_INTERRUPT = 'S';  // the program was asked to end

// The number of colours the terminal's description declares: 0 for one that
// has none (a monochrome terminal), 16 when there is no description at all,
// since every terminal emulator in use shows the sixteen named colours.
int described_colors(int fd);

class TtyBackend final : public Backend, public EventSource, private InputSource {
public:
    // Draws on and reads from `fd`; `wake_fd` is the read end of a
    // non-blocking wake-up pipe (-1 for none). Neither is closed here.
    // `colors` is what the terminal shows: 256, 16, 8 (bright colours become
    // bold dim ones, dark grey dimmed grey), or fewer (no colours: a
    // background becomes reverse video, so a selection stays visible, and
    // the attributes a cell holds in place of its colours are shown).
    TtyBackend(int fd, int wake_fd, int colors) : fd_(fd), wake_fd_(wake_fd), colors_(colors) {}

    IoResult<> draw(std::span<const CellUpdate> updates) override;
    IoResult<> hide_cursor() override;
    IoResult<> show_cursor() override;
    IoResult<> set_cursor_position(Position position) override;
    IoResult<> clear() override;
    IoResult<Size> size() override;
    IoResult<> flush() override;

    // Keys are read as take_key() makes them of the bytes: escape sequences
    // of the cursor and editing keys in their common encodings, and Esc
    // followed at once by another key as both.
    // A resize or a lost screen comes as a ResizeEvent, an end request as an
    // InterruptEvent.
    IoResult<std::optional<Event>> poll(std::chrono::milliseconds timeout) override;

private:
    struct Style {
        Color fg;
        Color bg;
        Modifier modifier = Modifier::None;
        bool operator==(const Style&) const = default;
    };
    void append_style(const Style& style);
    void append_color(Color color, bool background, bool& bold);
    // Appends to `into` what the terminal has sent within `timeout_ms`;
    // false when nothing came.
    IoResult<bool> read_into(std::string& into, int timeout_ms);
    bool read_more(std::string& into, int timeout_ms) override;

    int fd_;
    int wake_fd_;
    int colors_;
    std::string out_;
    std::string in_;
    std::optional<Style> style_;  // unknown until written
    std::optional<Position> at_;  // where the terminal's cursor stands
    std::optional<bool> cursor_visible_;
    Size last_size_{80, 24};  // kept for drawing on after a hang-up
    bool closed_ = false;     // hung up: nothing is read or written
    bool hangup_waited_ = false;
};

}  // namespace vorlix::tui
