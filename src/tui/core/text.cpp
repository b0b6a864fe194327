#include "tui/core/text.hpp"

#include <algorithm>

#include "tui/core/utf8.hpp"

namespace vorlix::tui {

std::size_t Span::width() const { return text_width(content); }

std::size_t Line::width() const {
    std::size_t total = 0;
    for (const Span& s : spans) total += s.width();
    return total;
}

std::vector<Line> Text::split_lines(std::string_view text) {
    std::vector<Line> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (line.ends_with('\r')) line.remove_suffix(1);
        lines.emplace_back(line);
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return lines;
}

std::size_t Text::width() const {
    std::size_t widest = 0;
    for (const Line& l : lines) widest = std::max(widest, l.width());
    return widest;
}

}  // namespace vorlix::tui
