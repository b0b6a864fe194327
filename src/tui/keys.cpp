#include "tui/keys.hpp"

#include "base/text.hpp"
#include "tui/core/utf8.hpp"

namespace vorlix::tui {

namespace {

// Short enough that Esc feels immediate, long enough for the rest of an
// escape sequence or of a character to arrive over a local terminal.
constexpr int ESCAPE_DELAY_MS = 25;

constexpr char32_t ESC = 0x1b;

bool is_parameter(char32_t c) { return c >= 0x30 && c <= 0x3f; }
bool is_intermediate(char32_t c) { return c >= 0x20 && c <= 0x2f; }
bool is_final(char32_t c) { return c >= 0x40 && c <= 0x7e; }

// Parameters a key sends: decimal numbers separated by ';' (the second
// being the modifiers, which do not count); no private markers.
bool key_parameters(std::u32string_view params) {
    for (char32_t c : params) {
        if ((c < U'0' || c > U'9') && c != U';') return false;
    }
    return true;
}

std::optional<KeyCode> letter_key(char32_t final_char) {
    switch (final_char) {
        case U'A': return KeyCode::Up;
        case U'B': return KeyCode::Down;
        case U'C': return KeyCode::Right;
        case U'D': return KeyCode::Left;
        case U'H': return KeyCode::Home;
        case U'F': return KeyCode::End;
        default: return std::nullopt;
    }
}

// The key of "[n~" (the VT220 editing keypad and its rxvt variants).
std::optional<KeyCode> tilde_key(std::u32string_view params) {
    const std::u32string_view number = params.substr(0, params.find(U';'));
    if (number.size() != 1) return std::nullopt;
    switch (number[0]) {
        case U'1':
        case U'7': return KeyCode::Home;
        case U'2': return KeyCode::Insert;
        case U'3': return KeyCode::Delete;
        case U'4':
        case U'8': return KeyCode::End;
        case U'5': return KeyCode::PageUp;
        case U'6': return KeyCode::PageDown;
        default: return std::nullopt;
    }
}

EscapeParse of_key(std::optional<KeyCode> code) {
    if (!code) return {EscapeStatus::Swallow};
    return {EscapeStatus::Key, KeyEvent::key(*code)};
}

}  // namespace

EscapeParse parse_escape_sequence(std::u32string_view after_esc) {
    if (after_esc.empty()) return {EscapeStatus::Incomplete};
    const char32_t introducer = after_esc[0];
    if (introducer != U'[' && introducer != U'O') return {EscapeStatus::NotASequence};
    const bool csi = introducer == U'[';
    const std::u32string_view body = after_esc.substr(1);
    if (csi && !body.empty() && body[0] == U'[') {
        // The Linux console's function keys: "[[" and one letter.
        return {body.size() < 2 ? EscapeStatus::Incomplete : EscapeStatus::Swallow};
    }
    // Parameter characters, then (CSI only) intermediate ones, then the
    // final character; anything else breaks the sequence.
    std::size_t i = 0;
    while (i < body.size() && is_parameter(body[i])) ++i;
    const std::u32string_view params = body.substr(0, i);
    const std::size_t intermediates_start = i;
    while (csi && i < body.size() && is_intermediate(body[i])) ++i;
    const bool intermediates = i > intermediates_start;
    if (i == body.size()) {
        return {after_esc.size() < MAX_ESCAPE_SEQUENCE ? EscapeStatus::Incomplete : EscapeStatus::Swallow};
    }
    const char32_t final_char = body[i];
    if (!is_final(final_char) || intermediates || !key_parameters(params)) return {EscapeStatus::Swallow};
    if (final_char == U'~') return of_key(csi ? tilde_key(params) : std::nullopt);
    return of_key(letter_key(final_char));
}

namespace {

std::size_t utf8_length(unsigned char lead) {
    if (lead < 0x80) return 1;
    if ((lead & 0xe0) == 0xc0) return 2;
    if ((lead & 0xf0) == 0xe0) return 3;
    if ((lead & 0xf8) == 0xf0) return 4;
    return 1;  // malformed: decoded as U+FFFD on its own
}

// The character at `pos` of the input, waiting the escape delay for it to
// come and for the rest of one cut in two; nothing when none came.
std::optional<base::DecodedChar> peek_char(std::string& input, std::size_t pos, InputSource& source) {
    if (pos >= input.size() && !source.read_more(input, ESCAPE_DELAY_MS)) return std::nullopt;
    const std::size_t end = pos + utf8_length(static_cast<unsigned char>(input[pos]));
    while (input.size() < end && source.read_more(input, ESCAPE_DELAY_MS)) {}
    return base::decode_utf8_replacing(input, pos);
}

}  // namespace

std::optional<Event> translate_read(std::uint32_t c) {
    switch (c) {
        // Raw input without newline translation delivers Enter as CR; a lone
        // LF is Ctrl+J and falls through to the bare letter below.
        case '\r': return KeyEvent::key(KeyCode::Enter);
        case 0x1b: return KeyEvent::key(KeyCode::Esc);
        case 0x7f:
        case 0x08: return KeyEvent::key(KeyCode::Backspace);
        case '\t': return KeyEvent::key(KeyCode::Tab);
        case 0x00: return KeyEvent::character(U' ');  // Ctrl+Space
        default: break;
    }
    // The rest of C0 is Ctrl with a letter or with one of @[\]^_; the user
    // meant the bare key.
    if (c >= 0x01 && c <= 0x1a) return KeyEvent::character(U'a' + (c - 1));
    if (c >= 0x1c && c <= 0x1f) return KeyEvent::character(U'\\' + (c - 0x1c));
    if (c >= 0x80 && c <= 0x9f) return std::nullopt;  // C1 controls
    if (!is_scalar_value(c)) return std::nullopt;
    return KeyEvent::character(static_cast<char32_t>(c));
}

std::optional<Event> take_key(std::string& input, InputSource& source) {
    const std::optional<base::DecodedChar> first = peek_char(input, 0, source);
    if (!first) return std::nullopt;
    if (first->code_point != ESC) {
        input.erase(0, first->length);
        return translate_read(first->code_point);
    }
    // What follows at once decides between an escape sequence and Esc on
    // its own. A sequence of a key no screen uses is swallowed whole, so
    // its characters do not arrive as keys.
    std::u32string sequence;
    std::size_t end = 1;  // past the bytes the sequence has taken
    for (;;) {
        const std::optional<base::DecodedChar> c = peek_char(input, end, source);
        if (!c) {
            // Nothing more came. An introducer alone was typed after the
            // Esc and follows it as a key; a longer sequence was cut short.
            if (sequence.size() <= 1) break;
            input.erase(0, end);
            return std::nullopt;
        }
        sequence.push_back(c->code_point);
        const EscapeParse parse = parse_escape_sequence(sequence);
        if (parse.status == EscapeStatus::NotASequence) break;
        if (parse.status == EscapeStatus::Swallow && c->code_point == ESC) {
            // An Esc cannot be part of a sequence: it begins the next key.
            input.erase(0, end);
            return std::nullopt;
        }
        end += c->length;
        if (parse.status == EscapeStatus::Key) {
            input.erase(0, end);
            return parse.key;
        }
        if (parse.status == EscapeStatus::Swallow) {
            input.erase(0, end);
            return std::nullopt;
        }
    }
    input.erase(0, 1);
    return KeyEvent::key(KeyCode::Esc);
}

std::string describe(const KeyEvent& key) {
    std::string out;
    switch (key.code) {
        case KeyCode::Char:
            out = "Char('";
            append_utf8(out, key.ch);
            out += "')";
            break;
        case KeyCode::Enter: out = "Enter"; break;
        case KeyCode::Esc: out = "Esc"; break;
        case KeyCode::Backspace: out = "Backspace"; break;
        case KeyCode::Delete: out = "Delete"; break;
        case KeyCode::Insert: out = "Insert"; break;
        case KeyCode::Left: out = "Left"; break;
        case KeyCode::Right: out = "Right"; break;
        case KeyCode::Up: out = "Up"; break;
        case KeyCode::Down: out = "Down"; break;
        case KeyCode::Home: out = "Home"; break;
        case KeyCode::End: out = "End"; break;
        case KeyCode::PageUp: out = "PageUp"; break;
        case KeyCode::PageDown: out = "PageDown"; break;
        case KeyCode::Tab: out = "Tab"; break;
    }
    if (key.kind == KeyKind::Repeat) out += " (repeat)";
    if (key.kind == KeyKind::Release) out += " (release)";
    return out;
}

}  // namespace vorlix::tui
