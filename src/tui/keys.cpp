#include "tui/keys.hpp"

#include <array>
#include <utility>

#include "tui/core/utf8.hpp"

namespace vorlix::tui {

namespace {

constexpr std::array<std::pair<int, KeyCode>, 13> function_keys{{
    {curses_key::down, KeyCode::Down},
    {curses_key::up, KeyCode::Up},
    {curses_key::left, KeyCode::Left},
    {curses_key::right, KeyCode::Right},
    {curses_key::home, KeyCode::Home},
    {curses_key::backspace, KeyCode::Backspace},
    {curses_key::delete_char, KeyCode::Delete},
    {curses_key::insert_char, KeyCode::Insert},
    {curses_key::page_down, KeyCode::PageDown},
    {curses_key::page_up, KeyCode::PageUp},
    {curses_key::enter, KeyCode::Enter},
    {curses_key::back_tab, KeyCode::BackTab},
    {curses_key::end, KeyCode::End},
}};

std::optional<Event> translate_character(std::uint32_t c) {
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

}  // namespace

std::optional<Event> translate_read(ReadStatus status, std::uint32_t value) {
    switch (status) {
        case ReadStatus::Nothing: return std::nullopt;
        case ReadStatus::Character: return translate_character(value);
        case ReadStatus::FunctionKey: break;
    }
    const int code = static_cast<int>(value);
    if (code == curses_key::resize) return ResizeEvent{};
    for (const auto& [curses, key] : function_keys) {
        if (curses == code) return KeyEvent::key(key);
    }
    if (code > curses_key::f0 && code <= curses_key::f0 + 63) {
        return KeyEvent::function(static_cast<std::uint8_t>(code - curses_key::f0));
    }
    return std::nullopt;
}

std::optional<KeyEvent> key_from_extended_name(std::string_view name) {
    // Names are the capability name followed by a modifier digit (3 Alt,
    // 5 Ctrl, ...); the digit is dropped since modifiers do not count.
    static constexpr std::array<std::pair<std::string_view, KeyCode>, 10> names{{
        {"kLFT", KeyCode::Left},
        {"kRIT", KeyCode::Right},
        {"kUP", KeyCode::Up},
        {"kDN", KeyCode::Down},
        {"kHOM", KeyCode::Home},
        {"kEND", KeyCode::End},
        {"kDC", KeyCode::Delete},
        {"kIC", KeyCode::Insert},
        {"kPRV", KeyCode::PageUp},
        {"kNXT", KeyCode::PageDown},
    }};
    for (const auto& [prefix, key] : names) {
        if (!name.starts_with(prefix)) continue;
        std::string_view rest = name.substr(prefix.size());
        if (rest.empty()) return KeyEvent::key(key);
        for (char c : rest) {
            if (c < '0' || c > '9') return std::nullopt;
        }
        return KeyEvent::key(key);
    }
    return std::nullopt;
}

std::string describe(const KeyEvent& key) {
    std::string out;
    switch (key.code) {
        case KeyCode::Char:
            out = "Char('";
            append_utf8(out, key.ch);
            out += "')";
            break;
        case KeyCode::F: out = "F(" + std::to_string(key.f) + ")"; break;
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
        case KeyCode::BackTab: out = "BackTab"; break;
    }
    if (key.kind == KeyKind::Repeat) out += " (repeat)";
    if (key.kind == KeyKind::Release) out += " (release)";
    return out;
}

}  // namespace vorlix::tui
