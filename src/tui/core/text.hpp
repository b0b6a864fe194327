#pragma once
// Styled text: a Span is a run of one style, a Line a row of spans, a Text a
// list of lines. Widgets receive text in this form; the style of a Text
// lies under its lines', a Line's under its spans'.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tui/core/style.hpp"

namespace vorlix::tui {

enum class Alignment : std::uint8_t { Left, Center, Right };

struct Span {
    std::string content;
    Style style;

    Span() = default;
    Span(std::string_view text, Style s = {}) : content(text), style(s) {}  // NOLINT: implicit by design
    std::size_t width() const;
    bool operator==(const Span&) const = default;
};

struct Line {
    std::vector<Span> spans;
    Style style;
    std::optional<Alignment> alignment;  // unset: the widget's alignment

    Line() = default;
    Line(std::string_view text, Style s = {}) : spans{Span(text)}, style(s) {}  // NOLINT: implicit by design
    Line(std::vector<Span> s) : spans(std::move(s)) {}  // NOLINT: implicit by design

    Line& aligned(Alignment a) {
        alignment = a;
        return *this;
    }
    std::size_t width() const;
    bool operator==(const Line&) const = default;
};

struct Text {
    std::vector<Line> lines;
    Style style;

    Text() = default;
    // Split at line feeds, each line losing a final carriage return; a final
    // line feed does not start another line, and the empty text has none.
    Text(std::string_view text, Style s = {});  // NOLINT: implicit by design
    Text(Line line) : lines{std::move(line)} {}  // NOLINT: implicit by design
    Text(std::vector<Line> l) : lines(std::move(l)) {}  // NOLINT: implicit by design

    std::size_t width() const;  // of the widest line
    std::size_t height() const { return lines.size(); }
    bool operator==(const Text&) const = default;
};

}  // namespace vorlix::tui
