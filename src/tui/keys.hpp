#pragma once
// The program's own key event. The terminal backend translates what the
// terminal sends into this, so menus, editors and screens are driven (and
// tested) by plain values and never see a terminal key code.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace vorlix::tui {

enum class KeyCode : std::uint8_t {
    Char,  // a character key; the character is in `ch`
    Enter,
    Esc,
    Backspace,
    Delete,
    Insert,
    Left,
    Right,
    Up,
    Down,
    Home,
    End,
    PageUp,
    PageDown,
    Tab,
    BackTab,
    F,  // a function key; its number is in `f`
};

enum class KeyKind : std::uint8_t { Press, Repeat, Release };

struct KeyEvent {
    KeyCode code = KeyCode::Char;
    char32_t ch = 0;     // the character of a Char key, else 0
    std::uint8_t f = 0;  // the number of an F key, else 0
    KeyKind kind = KeyKind::Press;

    static constexpr KeyEvent key(KeyCode code) { return KeyEvent{code, 0, 0, KeyKind::Press}; }
    static constexpr KeyEvent character(char32_t c) { return KeyEvent{KeyCode::Char, c, 0, KeyKind::Press}; }
    static constexpr KeyEvent function(std::uint8_t n) { return KeyEvent{KeyCode::F, 0, n, KeyKind::Press}; }

    constexpr bool is_char(char32_t c) const { return code == KeyCode::Char && ch == c; }
    bool operator==(const KeyEvent&) const = default;
};

// The terminal changed size; the next frame is drawn at the new size.
struct ResizeEvent {
    bool operator==(const ResizeEvent&) const = default;
};

// The program was asked to end (a terminating signal): the screen in use may
// keep what it must before the program goes.
struct InterruptEvent {
    bool operator==(const InterruptEvent&) const = default;
};

using Event = std::variant<KeyEvent, ResizeEvent, InterruptEvent>;

// What one wide-character read of the terminal library returned: a
// character, a function-key code, or nothing (time-out).
enum class ReadStatus : std::uint8_t { Character, FunctionKey, Nothing };

// The terminal library's function-key codes that we translate. These values
// are part of its stable interface; the backend checks them against the
// library's own definitions at compile time.
namespace curses_key {
inline constexpr int DOWN = 0402;
inline constexpr int UP = 0403;
inline constexpr int LEFT = 0404;
inline constexpr int RIGHT = 0405;
inline constexpr int HOME = 0406;
inline constexpr int BACKSPACE = 0407;
inline constexpr int F0 = 0410;  // F(n) is F0 + n, n up to 63
inline constexpr int DELETE_CHAR = 0512;
inline constexpr int INSERT_CHAR = 0513;
inline constexpr int PAGE_DOWN = 0522;
inline constexpr int PAGE_UP = 0523;
inline constexpr int ENTER = 0527;
inline constexpr int BACK_TAB = 0541;
inline constexpr int END = 0550;
inline constexpr int RESIZE = 0632;
// Shifted keys, which the terminal description may give their own codes.
inline constexpr int SHIFT_DOWN = 0520;  // "scroll forward"
inline constexpr int SHIFT_UP = 0521;    // "scroll backward"
inline constexpr int SHIFT_DELETE = 0577;
inline constexpr int SHIFT_END = 0602;
inline constexpr int SHIFT_HOME = 0607;
inline constexpr int SHIFT_INSERT = 0610;
inline constexpr int SHIFT_LEFT = 0611;
inline constexpr int SHIFT_PAGE_DOWN = 0614;
inline constexpr int SHIFT_PAGE_UP = 0616;
inline constexpr int SHIFT_RIGHT = 0622;
}  // namespace curses_key

// Translates one read. Control characters count as their bare key (Ctrl+Q
// is "q"), since modifiers are never looked at; codes that no screen can use
// give nothing.
std::optional<Event> translate_read(ReadStatus status, std::uint32_t value);

// A function key the library knows only by its terminal-description name,
// such as "kLFT5" (Ctrl+Left) or "kDN3": the bare key of that name.
std::optional<KeyEvent> key_from_extended_name(std::string_view name);

// What the characters read right after an Esc make of it.
enum class EscapeStatus : std::uint8_t {
    Key,           // a whole escape sequence of a key screens use
    Swallow,       // a whole or broken sequence of anything else: dropped
    Incomplete,    // the start of a sequence; its next character is needed
    NotASequence,  // Esc and an ordinary key, as an Alt combination sends
};

struct EscapeParse {
    EscapeStatus status = EscapeStatus::Incomplete;
    KeyEvent key{};  // the key, when status is Key
    bool operator==(const EscapeParse&) const = default;
};

// The longest sequence read before giving up on it (and swallowing it).
inline constexpr std::size_t MAX_ESCAPE_SEQUENCE = 32;

// Parses what followed an Esc, fed one character at a time: `after_esc` is
// everything read since the Esc, and nothing past the end of a sequence is
// looked at. Recognises the common encodings whatever the terminal
// description declares: arrows "[A".."[D" and "OA".."OD", Home "[H" "OH"
// "[1~" "[7~", End "[F" "OF" "[4~" "[8~", Delete "[3~", Insert "[2~",
// PageUp "[5~", PageDown "[6~". Modifier parameters ("[1;5C") give the bare
// key. Any other sequence is swallowed whole.
EscapeParse parse_escape_sequence(std::u32string_view after_esc);

// A short readable name for test output and logs: "Char('q')", "Left", "F(5)".
std::string describe(const KeyEvent& key);

}  // namespace vorlix::tui
