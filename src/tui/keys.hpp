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
};

enum class KeyKind : std::uint8_t { Press, Repeat, Release };

struct KeyEvent {
    KeyCode code = KeyCode::Char;
    char32_t ch = 0;  // the character of a Char key, else 0
    KeyKind kind = KeyKind::Press;

    static constexpr KeyEvent key(KeyCode code) { return KeyEvent{code, 0, KeyKind::Press}; }
    static constexpr KeyEvent character(char32_t c) { return KeyEvent{KeyCode::Char, c, KeyKind::Press}; }

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

// Translates one character read from the terminal. Control characters count
// as their bare key (Ctrl+Q is "q"), since modifiers are never looked at;
// codes that no screen can use give nothing.
std::optional<Event> translate_read(std::uint32_t value);

// What the characters read right after an Esc make of it.
enum class EscapeStatus : std::uint8_t {
    Key,           // a whole escape sequence of a key screens use
    Swallow,       // a whole or broken sequence of anything else: dropped
    Incomplete,    // the start of a sequence; its next character is needed
    NotASequence,  // Esc on its own, and then an ordinary key
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

// Where more input comes from while a key is read whose bytes were cut
// across reads of the terminal.
class InputSource {
public:
    virtual ~InputSource() = default;
    // Appends to `into` what the terminal sends within `timeout_ms`; false
    // when nothing came in that time. A failed read counts as nothing: the
    // next wait for input reports it.
    virtual bool read_more(std::string& into, int timeout_ms) = 0;
};

// Takes the next key from the front of `input`, waiting through
// `source` a short delay for the rest of a character or of an escape
// sequence cut across reads; nothing when the bytes taken make no key a
// screen uses. An Esc that nothing continuing a sequence follows within the
// delay is Esc, and what follows it is the next key: so Esc and another key
// in one write are both seen, and an Alt combination, which a terminal sends
// the same way, acts as Esc and then the bare key.
std::optional<Event> take_key(std::string& input, InputSource& source);

// A short readable name for test output and logs: "Char('q')", "Left".
std::string describe(const KeyEvent& key);

}  // namespace vorlix::tui
