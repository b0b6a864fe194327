#pragma once
// The real terminal, through ncurses' wide-character interface: the only
// place that talks to it. Opening it takes the terminal over on standard
// input and output (raw mode, no echo, keypad decoding, the alternate
// screen); end() gives it back. The terminal object decides which cells to
// draw; this backend only puts them on ncurses' screen and refreshes it.
//
// The caller sets the process locale (setlocale(LC_ALL, "")) first, so
// ncurses reads and writes UTF-8.

#include <memory>
#include <string>

#include "tui/backend/backend.hpp"

struct screen;  // ncurses' SCREEN, kept out of this header

namespace vorlix::tui {

class NcursesBackend final : public Backend, public EventSource {
public:
    // Fails when standard output is no terminal ncurses knows (TERM unset
    // or unknown); the terminal is then left as it was.
    static IoResult<std::unique_ptr<NcursesBackend>> open();

    NcursesBackend(const NcursesBackend&) = delete;
    NcursesBackend& operator=(const NcursesBackend&) = delete;
    ~NcursesBackend() override;

    // Back to the terminal's shell modes (line mode, echo) and the main
    // screen, flushed. Later calls do nothing.
    IoResult<> end();
    bool ended() const { return ended_; }

    // What a crash handler writes to give the terminal back without ncurses
    // (which another thread may be using): the terminal's own sequences for
    // plain attributes, normal cursor keys, a visible cursor and leaving
    // the alternate screen, those it has.
    const std::string& crash_restore_sequence() const { return crash_restore_; }

    IoResult<> draw(std::span<const CellUpdate> updates) override;
    IoResult<> hide_cursor() override;
    IoResult<> show_cursor() override;
    IoResult<> set_cursor_position(Position position) override;
    IoResult<> clear() override;
    IoResult<Size> size() override;
    IoResult<> flush() override;

    // A key typed right after Esc (what an Alt combination sends) counts as
    // that key alone, since modifiers do not count. Escape sequences of the
    // cursor and editing keys are recognised in their common encodings
    // even when the terminal description declares others.
    IoResult<std::optional<Event>> poll(std::chrono::milliseconds timeout) override;

private:
    explicit NcursesBackend(::screen* screen) : screen_(screen) {}
    std::optional<Event> read(int timeout_ms);

    ::screen* screen_;
    bool ended_ = false;
    bool default_colors_ = false;
    std::string crash_restore_;
};

}  // namespace vorlix::tui
