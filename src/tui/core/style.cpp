#include "tui/core/style.hpp"

#include <array>
#include <string_view>

namespace vorlix::tui {

std::string color_name(Color color) {
    static constexpr std::array<std::string_view, 16> named{
        "Black",     "Red",          "Green",     "Yellow",   "Blue",       "Magenta",
        "Cyan",      "Gray",         "DarkGray",  "LightRed", "LightGreen", "LightYellow",
        "LightBlue", "LightMagenta", "LightCyan", "White",
    };
    const auto index = color.index();
    if (!index) return "Reset";
    if (*index < named.size()) return std::string(named[*index]);
    return "Indexed(" + std::to_string(*index) + ")";
}

std::string modifier_names(Modifier m) {
    static constexpr std::array<std::pair<Modifier, std::string_view>, 9> names{{
        {Modifier::Bold, "Bold"},
        {Modifier::Dim, "Dim"},
        {Modifier::Italic, "Italic"},
        {Modifier::Underlined, "Underlined"},
        {Modifier::SlowBlink, "SlowBlink"},
        {Modifier::RapidBlink, "RapidBlink"},
        {Modifier::Reversed, "Reversed"},
        {Modifier::Hidden, "Hidden"},
        {Modifier::CrossedOut, "CrossedOut"},
    }};
    std::string out;
    for (const auto& [flag, name] : names) {
        if (!has_modifier(m, flag)) continue;
        if (!out.empty()) out += " | ";
        out += name;
    }
    return out.empty() ? "None" : out;
}

std::string describe(const Style& style) {
    std::string out = "Style {";
    const char* sep = " ";
    if (style.foreground) {
        out += sep + std::string("fg: ") + color_name(*style.foreground);
        sep = ", ";
    }
    if (style.background) {
        out += sep + std::string("bg: ") + color_name(*style.background);
        sep = ", ";
    }
    if (style.added != Modifier::None) {
        out += sep + std::string("add: ") + modifier_names(style.added);
        sep = ", ";
    }
    if (style.removed != Modifier::None) {
        out += sep + std::string("remove: ") + modifier_names(style.removed);
        sep = ", ";
    }
    if (style.monochrome) out += sep + std::string("mono: ") + modifier_names(*style.monochrome);
    out += " }";
    return out;
}

}  // namespace vorlix::tui
