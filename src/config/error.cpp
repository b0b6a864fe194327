#include "config/error.hpp"

#include <algorithm>
#include <string_view>

#include "base/debug_form.hpp"
#include "base/text.hpp"

namespace vorlix::config {
namespace {

// How much of a user's text an error shows. A file that is one enormous
// line (a device, a binary) would otherwise be shown whole, with as many
// blanks again to reach the mark, and a message or a key path can be
// nearly as long as the file. The line's bound is in columns (a character
// takes one, an escaped one the width of its escape), the others in bytes
// of the escaped text.
constexpr std::size_t SHOWN_LINE_COLUMNS = 2048;
constexpr std::size_t SHOWN_PATH_COLUMNS = 1024;
constexpr std::size_t SHOWN_MESSAGE_COLUMNS = 4096;

// The byte offset of each character of `text`.
std::vector<std::size_t> character_starts(std::string_view text) {
    std::vector<std::size_t> starts;
    for (std::size_t pos = 0; pos < text.size(); pos += base::decode_utf8_replacing(text, pos).length)
        starts.push_back(pos);
    return starts;
}

// The text escaped, cut with "…" before the character that would take it
// past `columns`.
std::string shown_text(std::string_view text, std::size_t columns, base::EscapeStyle style) {
    std::string shown = base::escape_controls(text, style);
    if (shown.size() <= columns) return shown;
    shown.clear();
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t length = base::decode_utf8_replacing(text, pos).length;
        const std::string ch = base::escape_controls(text.substr(pos, length), style);
        if (shown.size() + ch.size() > columns) break;
        shown += ch;
        pos += length;
    }
    return shown + "…";
}

// The part of the offending line a syntax error shows, control characters
// escaped, and how many columns of it come before the character at `fault`
// (0-based, possibly the end of the line): the whole line when it fits,
// else a window around the fault with "…" where the line goes on.
struct ShownLine {
    std::string text;
    std::size_t mark = 0;
};

ShownLine shown_line(std::string_view line, std::size_t fault) {
    std::vector<std::size_t> starts = character_starts(line);
    const std::size_t count = starts.size();
    starts.push_back(line.size());
    std::vector<std::string> shown_chars(count);
    std::vector<std::size_t> widths(count);
    std::size_t total = 0;
    for (std::size_t i = 0; i < count; ++i) {
        shown_chars[i] = base::escape_controls(line.substr(starts[i], starts[i + 1] - starts[i]));
        // A character is one column, its escape as many as it has bytes.
        widths[i] = shown_chars[i].size() > 1 && shown_chars[i][0] == '\\' ? shown_chars[i].size() : 1;
        total += widths[i];
    }
    // A mark past the end of the line stays where the parser put it.
    const std::size_t beyond = fault > count ? fault - count : 0;
    fault -= beyond;
    std::size_t first = 0;
    std::size_t last = count;
    if (total > SHOWN_LINE_COLUMNS) {
        // Half the room before the fault, the rest after it, and what the
        // end of the line leaves over before it again.
        std::size_t used = 0;
        first = fault;
        while (first > 0 && used + widths[first - 1] <= SHOWN_LINE_COLUMNS / 2) used += widths[--first];
        last = fault;
        while (last < count && used + widths[last] <= SHOWN_LINE_COLUMNS) used += widths[last++];
        while (first > 0 && used + widths[first - 1] <= SHOWN_LINE_COLUMNS) used += widths[--first];
    }
    ShownLine shown;
    if (first > 0) {
        shown.text = "…";
        shown.mark = 1;
    }
    for (std::size_t i = first; i < last; ++i) {
        if (i < fault) shown.mark += widths[i];
        shown.text += shown_chars[i];
    }
    if (last < count) shown.text += "…";
    shown.mark += beyond;
    return shown;
}

}  // namespace

TomlError TomlError::syntax(std::string message, std::size_t line, std::size_t column,
                            std::string line_text) {
    TomlError e;
    e.message_ = std::move(message);
    e.line_ = line == 0 ? 1 : line;
    e.column_ = column == 0 ? 1 : column;
    e.line_text_ = std::move(line_text);
    return e;
}

TomlError TomlError::read(std::string message, std::vector<std::string> keys) {
    TomlError e;
    e.message_ = std::move(message);
    e.keys_ = std::move(keys);
    return e;
}

void TomlError::prepend_key(std::string key) { keys_.insert(keys_.begin(), std::move(key)); }

std::string TomlError::display() const {
    std::string out;
    if (is_syntax()) {
        const std::string number = std::to_string(line_);
        const std::string gutter(number.size() + 1, ' ');
        out += "TOML parse error at line " + number + ", column " + std::to_string(column_) + "\n";
        out += gutter + "|\n";
        const ShownLine shown = shown_line(line_text_, column_ - 1);
        out += number + " | " + shown.text + "\n";
        out += gutter + "|" + std::string(shown.mark + 1, ' ') + "^\n";
        out += shown_text(message_, SHOWN_MESSAGE_COLUMNS, base::EscapeStyle::Lines) + "\n";
        return out;
    }
    out = shown_text(message_, SHOWN_MESSAGE_COLUMNS, base::EscapeStyle::Lines) + "\n";
    if (!keys_.empty()) {
        std::string path;
        for (std::size_t i = 0; i < keys_.size(); ++i) {
            if (i > 0) path += '.';
            path += keys_[i];
        }
        out += "in `" + shown_text(path, SHOWN_PATH_COLUMNS, base::EscapeStyle::Line) + "`\n";
    }
    return out;
}

std::string TomlError::debug() const {
    std::string out = "TomlError { message: " + base::debug_quote(message_);
    if (is_syntax()) {
        out += ", line: " + std::to_string(line_) + ", column: " + std::to_string(column_);
    } else {
        out += ", keys: [";
        for (std::size_t i = 0; i < keys_.size(); ++i) {
            if (i > 0) out += ", ";
            out += base::debug_quote(keys_[i]);
        }
        out += "]";
    }
    return out + " }";
}

std::string TomlWriteError::debug() const {
    return "TomlWriteError { message: " + base::debug_quote(message_) + " }";
}

std::string ConfigError::display() const {
    return std::visit(
        base::Overloaded{
            [](const Io& e) { return "configuration I/O: " + e.error.display(); },
            [](const Parse& e) { return "invalid configuration: " + e.error.display(); },
            [](const Serialize& e) { return "cannot serialize configuration: " + e.error.display(); },
            [](const Validation& e) { return "invalid configuration: " + e.message; },
        },
        value());
}

std::string ConfigError::debug() const {
    return std::visit(
        base::Overloaded{
            [](const Io& e) { return base::debug_wrap("Io", e.error.debug()); },
            [](const Parse& e) { return base::debug_wrap("Parse", e.error.debug()); },
            [](const Serialize& e) { return base::debug_wrap("Serialize", e.error.debug()); },
            [](const Validation& e) { return base::debug_wrap("Validation", base::debug_quote(e.message)); },
        },
        value());
}

std::optional<base::ErrorRef> ConfigError::source() const {
    return std::visit(
        base::Overloaded{
            [](const Io& e) -> std::optional<base::ErrorRef> { return base::ErrorRef(e.error); },
            [](const Parse& e) -> std::optional<base::ErrorRef> { return base::ErrorRef(e.error); },
            [](const Serialize& e) -> std::optional<base::ErrorRef> { return base::ErrorRef(e.error); },
            [](const Validation&) -> std::optional<base::ErrorRef> { return std::nullopt; },
        },
        value());
}

}  // namespace vorlix::config
