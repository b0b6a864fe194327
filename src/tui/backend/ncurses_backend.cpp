#include "tui/backend/ncurses_backend.hpp"

// Wide characters; and functions rather than macros, whose names (clear,
// erase, refresh) would rewrite our own.
#define NCURSES_WIDECHAR 1
#define NCURSES_NOMACROS 1
#include <curses.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/text.hpp"

// The key codes keys.cpp translates are ncurses' own.
static_assert(vorlix::tui::curses_key::down == KEY_DOWN);
static_assert(vorlix::tui::curses_key::up == KEY_UP);
static_assert(vorlix::tui::curses_key::left == KEY_LEFT);
static_assert(vorlix::tui::curses_key::right == KEY_RIGHT);
static_assert(vorlix::tui::curses_key::home == KEY_HOME);
static_assert(vorlix::tui::curses_key::backspace == KEY_BACKSPACE);
static_assert(vorlix::tui::curses_key::f0 == KEY_F0);
static_assert(vorlix::tui::curses_key::delete_char == KEY_DC);
static_assert(vorlix::tui::curses_key::insert_char == KEY_IC);
static_assert(vorlix::tui::curses_key::page_down == KEY_NPAGE);
static_assert(vorlix::tui::curses_key::page_up == KEY_PPAGE);
static_assert(vorlix::tui::curses_key::enter == KEY_ENTER);
static_assert(vorlix::tui::curses_key::back_tab == KEY_BTAB);
static_assert(vorlix::tui::curses_key::end == KEY_END);
static_assert(vorlix::tui::curses_key::resize == KEY_RESIZE);
static_assert(vorlix::tui::curses_key::shift_down == KEY_SF);
static_assert(vorlix::tui::curses_key::shift_up == KEY_SR);
static_assert(vorlix::tui::curses_key::shift_delete == KEY_SDC);
static_assert(vorlix::tui::curses_key::shift_end == KEY_SEND);
static_assert(vorlix::tui::curses_key::shift_home == KEY_SHOME);
static_assert(vorlix::tui::curses_key::shift_insert == KEY_SIC);
static_assert(vorlix::tui::curses_key::shift_left == KEY_SLEFT);
static_assert(vorlix::tui::curses_key::shift_page_down == KEY_SNEXT);
static_assert(vorlix::tui::curses_key::shift_page_up == KEY_SPREVIOUS);
static_assert(vorlix::tui::curses_key::shift_right == KEY_SRIGHT);

namespace vorlix::tui {

namespace {

// Short enough that Esc feels immediate, long enough for the escape
// sequences of arrow keys to arrive whole over a local terminal.
constexpr int escape_delay_ms = 25;

base::IoError failure(const char* what) { return base::IoError::custom(base::IoErrorKind::Other, what); }

std::string capability(const char* name) {
    char* value = tigetstr(name);
    if (value == nullptr || value == reinterpret_cast<char*>(-1)) return {};
    return value;
}

attr_t attributes_of(Modifier m) {
    attr_t a = WA_NORMAL;
    if (has_modifier(m, Modifier::Bold)) a |= WA_BOLD;
    if (has_modifier(m, Modifier::Dim)) a |= WA_DIM;
    if (has_modifier(m, Modifier::Italic)) a |= WA_ITALIC;
    if (has_modifier(m, Modifier::Underlined)) a |= WA_UNDERLINE;
    if (has_modifier(m, Modifier::SlowBlink) || has_modifier(m, Modifier::RapidBlink)) a |= WA_BLINK;
    if (has_modifier(m, Modifier::Reversed)) a |= WA_REVERSE;
    if (has_modifier(m, Modifier::Hidden)) a |= WA_INVIS;
    return a;
}

// The terminal's number for a colour. A bright colour on a terminal of
// eight becomes its dim one, made bold when it is the foreground.
int color_number(Color c, bool default_colors, int fallback, bool& brighten) {
    const auto index = c.index();
    if (!index) return default_colors ? -1 : fallback;
    if (*index < COLORS) return *index;
    if (*index >= 8 && *index < 16 && *index - 8 < COLORS) {
        brighten = true;
        return *index - 8;
    }
    return default_colors ? -1 : fallback;
}

std::optional<Event> translate(int status, wint_t value) {
    if (status == KEY_CODE_YES) {
        if (auto e = translate_read(ReadStatus::FunctionKey, static_cast<std::uint32_t>(value))) return e;
        // Modified keys (Ctrl+Left...) have codes given by the terminal
        // description; their names tell which key they are.
        const char* name = keyname(static_cast<int>(value));
        if (name == nullptr) return std::nullopt;
        if (auto key = key_from_extended_name(name)) return Event{*key};
        return std::nullopt;
    }
    if (status == OK) return translate_read(ReadStatus::Character, static_cast<std::uint32_t>(value));
    return std::nullopt;
}

}  // namespace

IoResult<std::unique_ptr<NcursesBackend>> NcursesBackend::open() {
    ::screen* s = newterm(nullptr, stdout, stdin);
    if (s == nullptr) {
        const char* term = std::getenv("TERM");
        return std::unexpected(base::IoError::custom(
            base::IoErrorKind::Unsupported,
            std::string("cannot use the terminal \"") + (term ? term : "") + "\""));
    }
    set_term(s);
    std::unique_ptr<NcursesBackend> backend(new NcursesBackend(s));
    if (raw() == ERR || noecho() == ERR || keypad(stdscr, TRUE) == ERR) {
        (void)backend->end();
        return std::unexpected(failure("cannot switch the terminal to raw mode"));
    }
    nonl();
    set_escdelay(escape_delay_ms);
    if (has_colors() && start_color() == OK) backend->default_colors_ = use_default_colors() == OK;
    for (const char* name : {"sgr0", "rmkx", "cnorm", "rmcup"}) backend->crash_restore_ += capability(name);
    // Let the take-over reach the terminal now, not with the first frame.
    if (wnoutrefresh(stdscr) == ERR || doupdate() == ERR) {
        (void)backend->end();
        return std::unexpected(failure("cannot write to the terminal"));
    }
    return backend;
}

NcursesBackend::~NcursesBackend() {
    (void)end();
    delscreen(screen_);
}

IoResult<> NcursesBackend::end() {
    if (ended_) return {};
    ended_ = true;
    if (endwin() == ERR) return std::unexpected(failure("cannot restore the terminal modes"));
    if (std::fflush(stdout) != 0) return std::unexpected(base::IoError::from_errno(errno));
    return {};
}

IoResult<> NcursesBackend::draw(std::span<const CellUpdate> updates) {
    const int height = getmaxy(stdscr);
    const int width = getmaxx(stdscr);
    for (const CellUpdate& u : updates) {
        if (u.x >= width || u.y >= height) continue;
        const Cell& cell = *u.cell;
        wchar_t text[CCHARW_MAX + 1] = {};
        std::size_t n = 0;
        for (std::size_t pos = 0; pos < cell.symbol.size() && n < CCHARW_MAX;) {
            const base::DecodedChar d = base::decode_utf8_replacing(cell.symbol, pos);
            text[n++] = static_cast<wchar_t>(d.code_point);
            pos += d.length;
        }
        if (n == 0) text[n++] = L' ';
        bool bright = false;
        bool unused = false;
        const int fg = color_number(cell.fg, default_colors_, COLOR_WHITE, bright);
        const int bg = color_number(cell.bg, default_colors_, COLOR_BLACK, unused);
        attr_t attrs = attributes_of(cell.modifier);
        if (bright) attrs |= WA_BOLD;
        int pair = 0;
        if (has_colors()) pair = std::max(0, alloc_pair(fg, bg));
        cchar_t cc;
        setcchar(&cc, text, attrs, static_cast<short>(std::min(pair, SHRT_MAX)), &pair);
        // The bottom right cell cannot move the cursor on; ncurses reports
        // that as an error although the cell is drawn.
        mvwadd_wch(stdscr, u.y, u.x, &cc);
    }
    return {};
}

IoResult<> NcursesBackend::hide_cursor() {
    if (curs_set(0) == ERR) return std::unexpected(failure("the terminal cannot hide the cursor"));
    return {};
}

IoResult<> NcursesBackend::show_cursor() {
    if (curs_set(1) == ERR) return std::unexpected(failure("the terminal cannot show the cursor"));
    return {};
}

IoResult<> NcursesBackend::set_cursor_position(Position p) {
    if (wmove(stdscr, p.y, p.x) == ERR) return std::unexpected(failure("cursor position outside the terminal"));
    return {};
}

IoResult<> NcursesBackend::clear() {
    if (wclear(stdscr) == ERR) return std::unexpected(failure("cannot clear the terminal"));
    return {};
}

IoResult<Size> NcursesBackend::size() {
    const int height = getmaxy(stdscr);
    const int width = getmaxx(stdscr);
    if (height < 0 || width < 0) return std::unexpected(failure("cannot read the terminal size"));
    return Size{static_cast<std::uint16_t>(std::min(width, 0xffff)),
                static_cast<std::uint16_t>(std::min(height, 0xffff))};
}

IoResult<> NcursesBackend::flush() {
    if (wnoutrefresh(stdscr) == ERR || doupdate() == ERR) {
        return std::unexpected(failure("cannot write to the terminal"));
    }
    return {};
}

IoResult<std::optional<Event>> NcursesBackend::poll(std::chrono::milliseconds timeout) {
    const auto ms = static_cast<int>(std::clamp<std::chrono::milliseconds::rep>(timeout.count(), 0, INT_MAX));
    return read(ms);
}

std::optional<Event> NcursesBackend::read(int timeout_ms) {
    wtimeout(stdscr, timeout_ms);
    wint_t value = 0;
    const int status = wget_wch(stdscr, &value);
    if (status != OK || value != 0x1b) return translate(status, value);

    // Esc with more input already waiting: an Alt combination, or an escape
    // sequence. Sequences are parsed here too, since the terminal
    // description knows only some encodings of a key; those of keys no
    // screen uses are swallowed whole so their characters do not arrive as
    // keys, and so is one cut short.
    wtimeout(stdscr, 0);
    wint_t next = 0;
    const int next_status = wget_wch(stdscr, &next);
    if (next_status == ERR) return KeyEvent::key(KeyCode::Esc);
    if (next_status == OK) {
        std::u32string sequence(1, static_cast<char32_t>(next));
        wtimeout(stdscr, escape_delay_ms);  // the rest may trail a little
        for (;;) {
            const EscapeParse parse = parse_escape_sequence(sequence);
            if (parse.status == EscapeStatus::Key) return parse.key;
            if (parse.status == EscapeStatus::Swallow) return std::nullopt;
            if (parse.status == EscapeStatus::NotASequence) break;
            wint_t c = 0;
            if (wget_wch(stdscr, &c) != OK) return std::nullopt;
            sequence.push_back(static_cast<char32_t>(c));
        }
    }
    if (auto e = translate(next_status, next)) return e;
    return KeyEvent::key(KeyCode::Esc);
}

}  // namespace vorlix::tui
