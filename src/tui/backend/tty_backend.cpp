#include "tui/backend/tty_backend.hpp"

#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>

#include "base/stream_text.hpp"
#include "base/text.hpp"

namespace vorlix::tui {

namespace {

base::IoError failure(const char* what) { return base::IoError::custom(base::IoErrorKind::Other, what); }

void append_number(std::string& out, unsigned n) { out += std::to_string(n); }

// Cells never hold control characters or malformed text; should one slip
// through, it must not reach the terminal as a command.
void append_symbol(std::string& out, const std::string& symbol) {
    if (symbol.empty()) {
        out += ' ';
        return;
    }
    for (std::size_t pos = 0; pos < symbol.size();) {
        const base::DecodedChar d = base::decode_utf8_replacing(symbol, pos);
        const char32_t c = d.code_point;
        if (c < 0x20 || (c >= 0x7f && c <= 0x9f)) {
            out += '?';
        } else if (c == 0xfffd) {
            // Malformed bytes (0x9b alone is CSI to some terminals) go out
            // as the replacement character they were decoded to.
            out += "\xef\xbf\xbd";
        } else {
            out.append(symbol, pos, d.length);
        }
        pos += d.length;
    }
}

// What a write or a query to a terminal that was hung up fails with.
bool is_hangup_error(int error) { return error == EIO || error == ENXIO || error == EPIPE; }

}  // namespace

IoResult<> TtyBackend::draw(std::span<const CellUpdate> updates) {
    const IoResult<Size> screen = size();
    for (const CellUpdate& u : updates) {
        if (screen && (u.x >= screen->width || u.y >= screen->height)) continue;
        const Cell& cell = *u.cell;
        if (!at_ || at_->x != u.x || at_->y != u.y) {
            out_ += "\x1b[";
            append_number(out_, u.y + 1u);
            out_ += ';';
            append_number(out_, u.x + 1u);
            out_ += 'H';
        }
        // Without colours, the attributes meant to stand in for them.
        const Modifier modifier = colors_ < 8 ? cell.modifier | cell.monochrome : cell.modifier;
        append_style(Style{cell.fg, cell.bg, modifier});
        append_symbol(out_, cell.symbol);
        // A wide symbol moves the cursor two cells, but the cell after it is
        // never sent on its own: the next update always places the cursor.
        at_ = Position{static_cast<std::uint16_t>(u.x + 1), u.y};
    }
    return {};
}

void TtyBackend::append_style(const Style& style) {
    if (style_ && *style_ == style) return;
    style_ = style;
    out_ += "\x1b[0";
    Modifier m = style.modifier;
    // Eight colours have no dark grey, and the usual stand-in for a bright
    // colour, the dim one in bold, would be black: unreadable on the dark
    // background most terminals have. Dimmed grey is the nearest readable.
    const bool dark_gray = colors_ >= 8 && colors_ < 16 && style.fg == Color::DarkGray;
    if (dark_gray) m |= Modifier::Dim;
    bool bold = has_modifier(m, Modifier::Bold);
    std::string attributes;
    if (has_modifier(m, Modifier::Dim)) attributes += ";2";
    if (has_modifier(m, Modifier::Italic)) attributes += ";3";
    if (has_modifier(m, Modifier::Underlined)) attributes += ";4";
    if (has_modifier(m, Modifier::SlowBlink) || has_modifier(m, Modifier::RapidBlink)) attributes += ";5";
    bool reverse = has_modifier(m, Modifier::Reversed);
    if (has_modifier(m, Modifier::Hidden)) attributes += ";8";
    if (has_modifier(m, Modifier::CrossedOut)) attributes += ";9";
    if (colors_ < 8) {
        // No colours to tell a highlighted background by: show it reversed.
        if (style.bg.index()) reverse = !reverse;
    } else {
        append_color(dark_gray ? Color::Gray : style.fg, false, bold);
        bool unused = false;
        append_color(style.bg, true, unused);
    }
    if (bold) out_ += ";1";
    if (reverse) out_ += ";7";
    out_ += attributes;
    out_ += 'm';
}

void TtyBackend::append_color(Color color, bool background, bool& bold) {
    const auto index = color.index();
    if (!index) return;  // the terminal's default
    const unsigned base = background ? 40 : 30;
    if (*index < 8) {
        out_ += ';';
        append_number(out_, base + *index);
    } else if (*index < 16 && colors_ >= 16) {
        out_ += ';';
        append_number(out_, base + 60 + (*index - 8u));
    } else if (*index < 16) {
        // Eight colours: the bright one is the dim one, bold in front.
        out_ += ';';
        append_number(out_, base + (*index - 8u));
        if (!background) bold = true;
    } else if (colors_ >= 256) {
        out_ += background ? ";48;5;" : ";38;5;";
        append_number(out_, *index);
    }
}

IoResult<> TtyBackend::hide_cursor() {
    // Before the frame that is waiting to go out, so the cursor is not seen
    // running over the screen while it is drawn.
    if (cursor_visible_ != false) out_.insert(0, "\x1b[?25l");
    cursor_visible_ = false;
    return {};
}

IoResult<> TtyBackend::show_cursor() {
    if (cursor_visible_ != true) out_ += "\x1b[?25h";
    cursor_visible_ = true;
    return {};
}

IoResult<> TtyBackend::set_cursor_position(Position p) {
    out_ += "\x1b[";
    append_number(out_, p.y + 1u);
    out_ += ';';
    append_number(out_, p.x + 1u);
    out_ += 'H';
    at_ = p;
    return {};
}

IoResult<> TtyBackend::clear() {
    out_ += "\x1b[0m\x1b[H\x1b[2J";
    style_.reset();
    at_ = Position{0, 0};
    return {};
}

IoResult<Size> TtyBackend::size() {
    winsize ws{};
    if (closed_) return last_size_;
    if (::ioctl(fd_, TIOCGWINSZ, &ws) != 0) {
        const int error = errno;
        if (!is_hangup_error(error)) return std::unexpected(base::IoError::from_errno(error));
        closed_ = true;
        return last_size_;
    }
    // A terminal that does not know its size (a serial line) gets the
    // classic one.
    if (ws.ws_col == 0 || ws.ws_row == 0)
        last_size_ = Size{80, 24};
    else
        last_size_ = Size{ws.ws_col, ws.ws_row};
    return last_size_;
}

IoResult<> TtyBackend::flush() {
    if (out_.empty()) return {};
    // Nobody sees a hung-up terminal; its signal is on the way, and the
    // loop must reach the wait for it instead of ending on a write error.
    const bool written = closed_ || base::write_text(fd_, out_);
    const int error = errno;
    out_.clear();
    if (!written && is_hangup_error(error)) {
        closed_ = true;
        return {};
    }
    if (!written) {
        // What reached the terminal is unknown: draw everything next time.
        style_.reset();
        at_.reset();
        cursor_visible_.reset();
        return std::unexpected(base::IoError::from_errno(error));
    }
    return {};
}

IoResult<bool> TtyBackend::read_into(std::string& into, int timeout_ms) {
    if (closed_) return false;
    pollfd p{fd_, POLLIN, 0};
    int ready = 0;
    do {
        ready = ::poll(&p, 1, timeout_ms);
    } while (ready < 0 && errno == EINTR);
    if (ready < 0) return std::unexpected(base::IoError::from_errno(errno));
    if (ready == 0) return false;
    char buf[256];
    ssize_t n = 0;
    do {
        n = ::read(fd_, buf, sizeof buf);
    } while (n < 0 && errno == EINTR);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return false;
    if (n < 0 && errno != EIO) return std::unexpected(base::IoError::from_errno(errno));
    if (n <= 0) {
        // Hung up: the terminal is gone.
        closed_ = true;
        return false;
    }
    into.append(buf, static_cast<std::size_t>(n));
    return true;
}

bool TtyBackend::read_more(std::string& into, int timeout_ms) {
    return read_into(into, timeout_ms).value_or(false);
}

IoResult<std::optional<Event>> TtyBackend::poll(std::chrono::milliseconds timeout) {
    using clock = std::chrono::steady_clock;
    const auto deadline = clock::now() + timeout;
    for (;;) {
        if (!in_.empty()) return take_key(in_, *this);
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock::now());
        int wait_ms = static_cast<int>(std::clamp<std::chrono::milliseconds::rep>(left.count(), 0, INT_MAX));
        if (closed_) {
            // A hang-up comes with its signal; give it a moment to arrive
            // so the program ends as asked, not with a read error.
            if (hangup_waited_) return std::unexpected(failure("the terminal was closed"));
            hangup_waited_ = true;
            wait_ms = 1000;
        }
        pollfd fds[2] = {{closed_ ? -1 : fd_, POLLIN, 0}, {wake_fd_, POLLIN, 0}};
        const int ready = ::poll(fds, 2, wait_ms);
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) return std::unexpected(base::IoError::from_errno(errno));
        if (ready == 0 && !closed_) return std::nullopt;
        if ((fds[1].revents & POLLIN) != 0) {
            char bytes[64];
            const ssize_t n = ::read(wake_fd_, bytes, sizeof bytes);
            bool interrupt = false;
            bool redraw = false;
            bool resize = false;
            for (ssize_t i = 0; i < n; ++i) {
                interrupt |= bytes[i] == WAKE_INTERRUPT;
                redraw |= bytes[i] == WAKE_REDRAW;
                resize |= bytes[i] == WAKE_RESIZE;
            }
            if (redraw) {
                // The screen was given back and taken again: nothing on it
                // can be trusted.
                style_.reset();
                at_.reset();
                cursor_visible_ = false;
            }
            if (interrupt) return InterruptEvent{};
            if (redraw || resize) return ResizeEvent{};
        }
        if (!closed_ && (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
            if (auto got = read_into(in_, 0); !got) return std::unexpected(got.error());
        }
    }
}

}  // namespace vorlix::tui
