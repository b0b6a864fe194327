#pragma once
// Colours, text modifiers and styles. A Style is a patch: a field left unset
// keeps whatever the cell already has, so a colour given to a whole box
// survives the content drawn into it later.

#include <cstdint>
#include <optional>
#include <string>

namespace vorlix::tui {

// Reset (the terminal's default) or one of the 256 indexed colours; the 16
// named colours are indexes 0 to 15 in the terminals' usual order.
class Color {
public:
    constexpr Color() = default;
    static constexpr Color indexed(std::uint8_t index) { return Color(index); }

    constexpr bool is_reset() const { return value_ == RESET_VALUE; }
    constexpr std::optional<std::uint8_t> index() const {
        if (is_reset()) return std::nullopt;
        return static_cast<std::uint8_t>(value_);
    }

    static const Color Reset;
    static const Color Black;
    static const Color Red;
    static const Color Green;
    static const Color Yellow;
    static const Color Blue;
    static const Color Magenta;
    static const Color Cyan;
    static const Color Gray;      // the dim white
    static const Color DarkGray;  // the bright black
    static const Color LightRed;
    static const Color LightGreen;
    static const Color LightYellow;
    static const Color LightBlue;
    static const Color LightMagenta;
    static const Color LightCyan;
    static const Color White;  // the bright white

    constexpr bool operator==(const Color&) const = default;

private:
    static constexpr std::uint16_t RESET_VALUE = 256;
    constexpr explicit Color(std::uint16_t value) : value_(value) {}
    std::uint16_t value_ = RESET_VALUE;
};

inline constexpr Color Color::Reset{};
inline constexpr Color Color::Black = Color::indexed(0);
inline constexpr Color Color::Red = Color::indexed(1);
inline constexpr Color Color::Green = Color::indexed(2);
inline constexpr Color Color::Yellow = Color::indexed(3);
inline constexpr Color Color::Blue = Color::indexed(4);
inline constexpr Color Color::Magenta = Color::indexed(5);
inline constexpr Color Color::Cyan = Color::indexed(6);
inline constexpr Color Color::Gray = Color::indexed(7);
inline constexpr Color Color::DarkGray = Color::indexed(8);
inline constexpr Color Color::LightRed = Color::indexed(9);
inline constexpr Color Color::LightGreen = Color::indexed(10);
inline constexpr Color Color::LightYellow = Color::indexed(11);
inline constexpr Color Color::LightBlue = Color::indexed(12);
inline constexpr Color Color::LightMagenta = Color::indexed(13);
inline constexpr Color Color::LightCyan = Color::indexed(14);
inline constexpr Color Color::White = Color::indexed(15);

// "Blue", "DarkGray", "Reset" or "Indexed(200)".
std::string color_name(Color color);

enum class Modifier : std::uint16_t {
    None = 0,
    Bold = 1 << 0,
    Dim = 1 << 1,
    Italic = 1 << 2,
    Underlined = 1 << 3,
    SlowBlink = 1 << 4,
    RapidBlink = 1 << 5,
    Reversed = 1 << 6,
    Hidden = 1 << 7,
    CrossedOut = 1 << 8,
};

constexpr Modifier operator|(Modifier a, Modifier b) {
    return static_cast<Modifier>(static_cast<std::uint16_t>(a) | static_cast<std::uint16_t>(b));
}
constexpr Modifier operator&(Modifier a, Modifier b) {
    return static_cast<Modifier>(static_cast<std::uint16_t>(a) & static_cast<std::uint16_t>(b));
}
constexpr Modifier operator~(Modifier a) {
    return static_cast<Modifier>(~static_cast<std::uint16_t>(a) & 0x1ff);
}
constexpr Modifier& operator|=(Modifier& a, Modifier b) { return a = a | b; }
constexpr Modifier& operator&=(Modifier& a, Modifier b) { return a = a & b; }
constexpr bool has_modifier(Modifier set, Modifier m) { return (set & m) == m && m != Modifier::None; }

// "Bold | Italic", or "None".
std::string modifier_names(Modifier m);

struct Style {
    std::optional<Color> foreground;
    std::optional<Color> background;
    Modifier added = Modifier::None;
    Modifier removed = Modifier::None;
    // What a terminal without colours shows in their place, over the
    // modifiers: where the colours tell things apart (the active part, the
    // filled part), attributes every terminal has tell them apart there.
    std::optional<Modifier> monochrome;

    constexpr Style fg(Color c) const {
        Style s = *this;
        s.foreground = c;
        return s;
    }
    constexpr Style bg(Color c) const {
        Style s = *this;
        s.background = c;
        return s;
    }
    constexpr Style mono(Modifier m) const {
        Style s = *this;
        s.monochrome = m;
        return s;
    }
    constexpr Style add_modifier(Modifier m) const {
        Style s = *this;
        s.added |= m;
        s.removed &= ~m;
        return s;
    }
    constexpr Style remove_modifier(Modifier m) const {
        Style s = *this;
        s.removed |= m;
        s.added &= ~m;
        return s;
    }
    // This style with `other` laid over it: what `other` sets wins.
    constexpr Style patch(const Style& other) const {
        Style s = *this;
        if (other.foreground) s.foreground = other.foreground;
        if (other.background) s.background = other.background;
        if (other.monochrome) s.monochrome = other.monochrome;
        s.added = (s.added & ~other.removed) | other.added;
        s.removed = (s.removed & ~other.added) | other.removed;
        return s;
    }

    bool operator==(const Style&) const = default;
};

// "Style { fg: Blue, add: Italic, mono: Bold }", for test messages.
std::string describe(const Style& style);

}  // namespace vorlix::tui
