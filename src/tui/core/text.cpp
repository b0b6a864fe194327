#include "tui/core/text.hpp"

#include <algorithm>

#include "base/text.hpp"
#include "tui/core/utf8.hpp"

namespace vorlix::tui {

std::size_t Span::width() const { return text_width(content); }

std::size_t Line::width() const {
    std::size_t total = 0;
    for (const Span& s : spans) total += s.width();
    return total;
}

std::vector<Line> Text::split_lines(std::string_view text) {
    const std::vector<std::string_view> parts = base::split_lines(text);
    std::vector<Line> lines(parts.begin(), parts.end());
    // A last line without its line feed loses a final carriage return too,
    // so a text ends the same way whichever line ending it was cut from.
    if (!text.ends_with('\n') && text.ends_with('\r')) {
        std::string& last = lines.back().spans.front().content;
        last.pop_back();
    }
    return lines;
}

std::size_t Text::width() const {
    std::size_t widest = 0;
    for (const Line& l : lines) widest = std::max(widest, l.width());
    return widest;
}

}  // namespace vorlix::tui
