#pragma once
// Styled text: a Span is a run of one style, a Line a row of spans, a Text a
// list of lines. Widgets receive text in this form; the style of a Text
// lies under its lines', a Line's under its spans'.

#include <concepts>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tui/core/style.hpp"

namespace vorlix::tui {

enum class Alignment : std::uint8_t { Left, Center, Right };

// Anything that reads as text: literals, std::string, std::string_view.
template <class S>
concept TextLike = std::convertible_to<const S&, std::string_view>;

struct Span {
    std::string content;
    Style style;

    Span() = default;
    template <TextLike S>
    Span(const S& text, Style s = {})
        : content(std::string_view(text)), style(s) {}  // NOLINT: implicit by design
    std::size_t width() const;
    bool operator==(const Span&) const = default;
};

struct Line {
    std::vector<Span> spans;
    Style style;
    std::optional<Alignment> alignment;  // unset: the widget's alignment

    Line() = default;
    template <TextLike S>
    Line(const S& text, Style s = {}) : spans{Span(text)}, style(s) {}  // NOLINT: implicit by design
    Line(std::vector<Span> s) : spans(std::move(s)) {}                  // NOLINT: implicit by design

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
    template <TextLike S>
    Text(const S& text, Style s = {})
        : Text(split_lines(std::string_view(text)), s) {}                       // NOLINT: implicit by design
    Text(Line line) : lines{std::move(line)} {}                                 // NOLINT: implicit by design
    Text(std::vector<Line> l, Style s = {}) : lines(std::move(l)), style(s) {}  // NOLINT: implicit by design

    static std::vector<Line> split_lines(std::string_view text);

    std::size_t width() const;  // of the widest line
    std::size_t height() const { return lines.size(); }
    bool operator==(const Text&) const = default;
};

}  // namespace vorlix::tui
