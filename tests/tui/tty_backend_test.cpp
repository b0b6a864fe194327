// The terminal backend on a pseudo-terminal: the bytes it writes for cells,
// colours and the cursor, and the keys it makes of the bytes it reads.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "tui/backend/tty_backend.hpp"

namespace vorlix::tui {
namespace {

using namespace std::chrono_literals;

// The backend on the terminal side of a pseudo-terminal in raw mode; the
// test plays the terminal on the other side.
class TtyBackendTest : public testing::Test {
protected:
    void SetUp() override {
        winsize size{24, 80, 0, 0};
        ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, &size), 0);
        termios t{};
        tcgetattr(slave, &t);
        cfmakeraw(&t);
        tcsetattr(slave, TCSANOW, &t);
        int fds[2];
        ASSERT_EQ(pipe2(fds, O_NONBLOCK | O_CLOEXEC), 0);
        wake_read = fds[0];
        wake_write = fds[1];
    }
    void TearDown() override {
        for (int fd : {master, slave, wake_read, wake_write}) close(fd);
    }

    // What the backend wrote, once `expected_size` bytes are there.
    std::string written(std::size_t expected_size) {
        std::string out;
        while (out.size() < expected_size) {
            pollfd p{master, POLLIN, 0};
            if (poll(&p, 1, 60000) <= 0) break;
            char buf[512];
            const ssize_t n = read(master, buf, sizeof buf);
            if (n <= 0) break;
            out.append(buf, static_cast<std::size_t>(n));
        }
        return out;
    }

    // The next event, waiting as long as it takes (minutes at most).
    std::optional<Event> next_event(TtyBackend& backend) {
        const auto deadline = std::chrono::steady_clock::now() + 120s;
        while (std::chrono::steady_clock::now() < deadline) {
            auto event = backend.poll(100ms);
            if (!event) return std::nullopt;
            if (*event) return *event;
        }
        return std::nullopt;
    }

    int master = -1;
    int slave = -1;
    int wake_read = -1;
    int wake_write = -1;
};

TEST_F(TtyBackendTest, CellsAreWrittenWithTheColoursTheTerminalShows) {
    Cell styled;
    styled.symbol = "X";
    styled.fg = Color::indexed(9);  // light red
    styled.bg = Color::indexed(4);  // blue
    styled.modifier = Modifier::Bold | Modifier::Italic;
    Cell wide_fg;
    wide_fg.symbol = "é";
    wide_fg.fg = Color::indexed(200);
    // What the menus and the gauge tell apart by colour alone.
    Cell inactive;
    inactive.symbol = "i";
    inactive.fg = Color::DarkGray;
    Cell active;
    active.symbol = "a";
    active.fg = Color::White;
    active.monochrome = Modifier::Bold;
    Cell filled;
    filled.symbol = "─";
    filled.fg = Color::Blue;
    filled.monochrome = Modifier::Reversed;
    struct Case {
        int colors;
        std::string styled;   // the SGR of `styled`
        std::string indexed;  // the SGR of `wide_fg`
        std::string inactive, active, filled;
    };
    const std::vector<Case> cases = {
        {256, "\x1b[0;91;44;1;3m", "\x1b[0;38;5;200m", "\x1b[0;90m", "\x1b[0;97m", "\x1b[0;34m"},
        {16, "\x1b[0;91;44;1;3m", "\x1b[0m", "\x1b[0;90m", "\x1b[0;97m", "\x1b[0;34m"},
        // Eight colours: the bright one is the dim one in bold, but dark
        // grey, which would be black, is dimmed grey.
        {8, "\x1b[0;31;44;1;3m", "\x1b[0m", "\x1b[0;37;2m", "\x1b[0;37;1m", "\x1b[0;34m"},
        // None: a background is shown as reverse video, and the attributes
        // that stand in for colours are shown.
        {2, "\x1b[0;1;7;3m", "\x1b[0m", "\x1b[0m", "\x1b[0;1m", "\x1b[0;7m"},
        {0, "\x1b[0;1;7;3m", "\x1b[0m", "\x1b[0m", "\x1b[0;1m", "\x1b[0;7m"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.colors);
        TtyBackend backend(slave, wake_read, c.colors);
        const CellUpdate updates[] = {{0, 0, &styled},   {1, 0, &wide_fg}, {5, 2, &styled},
                                      {6, 2, &inactive}, {7, 2, &active},  {8, 2, &filled}};
        ASSERT_TRUE(backend.draw(updates));
        ASSERT_TRUE(backend.hide_cursor());
        ASSERT_TRUE(backend.flush());
        // The cursor goes before the frame; neighbours share one position;
        // an unchanged style is not repeated.
        const std::string expected = "\x1b[?25l\x1b[1;1H" + c.styled + "X" + c.indexed + "é" + "\x1b[3;6H" +
                                     c.styled + "X" + c.inactive + "i" + c.active + "a" + c.filled + "─";
        EXPECT_EQ(written(expected.size()), expected);
    }
}

TEST_F(TtyBackendTest, ControlCharactersNeverReachTheTerminal) {
    TtyBackend backend(slave, wake_read, 256);
    Cell cell;
    cell.symbol = "a\x1b[2Jb\x9b";
    const CellUpdate updates[] = {{0, 0, &cell}};
    ASSERT_TRUE(backend.draw(updates));
    ASSERT_TRUE(backend.flush());
    const std::string expected = "\x1b[1;1H\x1b[0ma?[2Jb\xef\xbf\xbd";
    EXPECT_EQ(written(expected.size()), expected);
}

TEST_F(TtyBackendTest, KeysInTheirCommonEncodings) {
    struct Case {
        std::string bytes;  // written at once
        std::vector<KeyEvent> keys;
    };
    const KeyEvent esc = KeyEvent::key(KeyCode::Esc);
    const std::vector<Case> cases = {
        {"a", {KeyEvent::character(U'a')}},
        {"7", {KeyEvent::character(U'7')}},
        {"\r", {KeyEvent::key(KeyCode::Enter)}},
        {"\x7f", {KeyEvent::key(KeyCode::Backspace)}},
        {"\x1b[A", {KeyEvent::key(KeyCode::Up)}},
        {"\x1bOB", {KeyEvent::key(KeyCode::Down)}},
        {"\x1b[1;5C", {KeyEvent::key(KeyCode::Right)}},
        {"\x1b[D", {KeyEvent::key(KeyCode::Left)}},
        {"\x1b[H", {KeyEvent::key(KeyCode::Home)}},
        {"\x1b[1~", {KeyEvent::key(KeyCode::Home)}},
        {"\x1bOF", {KeyEvent::key(KeyCode::End)}},
        {"\x1b[4~", {KeyEvent::key(KeyCode::End)}},
        {"\x1b", {esc}},
        // Esc and a key at once: both.
        {"\x1bq", {esc, KeyEvent::character(U'q')}},
        {"\x1b\x1b[C", {esc, KeyEvent::key(KeyCode::Right)}},
        {"\xc3\xa9", {KeyEvent::character(U'\u00e9')}},
        // A sequence of a key no screen uses is swallowed whole.
        {"\x1b[[Aq", {KeyEvent::character(U'q')}},
        {"\x1b[15~m", {KeyEvent::character(U'm')}},
    };
    TtyBackend backend(slave, wake_read, 256);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes.substr(c.bytes[0] == '\x1b' ? 1 : 0));
        ASSERT_EQ(write(master, c.bytes.data(), c.bytes.size()), static_cast<ssize_t>(c.bytes.size()));
        for (const KeyEvent& expected : c.keys) {
            const std::optional<Event> event = next_event(backend);
            ASSERT_TRUE(event.has_value());
            const auto* key = std::get_if<KeyEvent>(&*event);
            ASSERT_NE(key, nullptr);
            EXPECT_EQ(*key, expected) << describe(*key);
        }
    }
}

TEST_F(TtyBackendTest, TheWakeUpPipeBringsResizesAndInterrupts) {
    struct Case {
        char byte;
        Event event;
    };
    const std::vector<Case> cases = {
        {WAKE_RESIZE, ResizeEvent{}}, {WAKE_REDRAW, ResizeEvent{}}, {WAKE_INTERRUPT, InterruptEvent{}}};
    TtyBackend backend(slave, wake_read, 256);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.byte);
        ASSERT_EQ(write(wake_write, &c.byte, 1), 1);
        EXPECT_EQ(next_event(backend), std::optional<Event>(c.event));
    }
}

}  // namespace
}  // namespace vorlix::tui
