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

ConfigError ConfigError::io(base::IoError error) { return ConfigError(std::move(error)); }
ConfigError ConfigError::parse(TomlError error) { return ConfigError(std::move(error)); }
ConfigError ConfigError::serialize(TomlWriteError error) { return ConfigError(std::move(error)); }
ConfigError ConfigError::validation(std::string message) { return ConfigError(std::move(message)); }

std::string ConfigError::display() const {
    switch (kind()) {
        case Kind::Io: return "configuration I/O: " + io_error()->display();
        case Kind::Parse: return "invalid configuration: " + parse_error()->display();
        case Kind::Serialize: return "cannot serialize configuration: " + serialize_error()->display();
        case Kind::Validation: return "invalid configuration: " + *validation_message();
    }
    return {};
}

std::string ConfigError::debug() const {
    switch (kind()) {
        case Kind::Io: return base::debug_wrap("Io", io_error()->debug());
        case Kind::Parse: return base::debug_wrap("Parse", parse_error()->debug());
        case Kind::Serialize: return base::debug_wrap("Serialize", serialize_error()->debug());
        case Kind::Validation:
            return base::debug_wrap("Validation", base::debug_quote(*validation_message()));
    }
    return {};
}

std::optional<std::string> ConfigError::source() const {
    switch (kind()) {
        case Kind::Io: return io_error()->display();
        case Kind::Parse: return parse_error()->display();
        case Kind::Serialize: return serialize_error()->display();
        case Kind::Validation: return std::nullopt;
    }
    return std::nullopt;
}

}  // namespace vorlix::config
