#include "config/error.hpp"

#include "base/debug_form.hpp"

namespace vorlix::config {

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
        out += number + " | " + line_text_ + "\n";
        out += gutter + "|" + std::string(column_, ' ') + "^\n";
        out += message_ + "\n";
        return out;
    }
    out = message_ + "\n";
    if (!keys_.empty()) {
        out += "in `";
        for (std::size_t i = 0; i < keys_.size(); ++i) {
            if (i > 0) out += '.';
            out += keys_[i];
        }
        out += "`\n";
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
