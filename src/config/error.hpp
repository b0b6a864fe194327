#pragma once
// The one error type of the configuration layer, and the two TOML failures
// it wraps. Every text here reaches the user through "Cannot load …" or the
// failed-scan status, so display() forms are fixed; debug() forms feed the
// exit report.

#include <cstddef>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "base/cases.hpp"
#include "base/error_ref.hpp"
#include "base/io_error.hpp"

namespace vorlix::config {

// A failure of the TOML layer while reading: either a syntax error in a text
// (with the position and the offending line), or a typed-read fault (with the
// key path leading to the faulty value, outermost key first).
class TomlError {
public:
    // line and column are 1-based; column counts characters, not bytes.
    static TomlError syntax(std::string message, std::size_t line, std::size_t column, std::string line_text);
    static TomlError read(std::string message, std::vector<std::string> keys = {});

    const std::string& message() const { return message_; }
    const std::vector<std::string>& keys() const { return keys_; }
    bool is_syntax() const { return line_ != 0; }
    std::size_t line() const { return line_; }
    std::size_t column() const { return column_; }

    // As a read error travels out through the tables, each level puts its key
    // in front of the path.
    void prepend_key(std::string key);

    // Syntax: "TOML parse error at line L, column C", a gutter, the line, a
    // "^" under the fault, then the message. Read: the message, then
    // "in `a.b`" when the path is not empty. Each line ends with "\n".
    std::string display() const;
    std::string debug() const;

    bool operator==(const TomlError&) const = default;

private:
    TomlError() = default;

    std::string message_;
    std::vector<std::string> keys_;
    std::size_t line_ = 0;
    std::size_t column_ = 0;
    std::string line_text_;
};

// A failure to turn the record into TOML text, e.g. "out-of-range value for
// u64 type".
class TomlWriteError {
public:
    explicit TomlWriteError(std::string message) : message_(std::move(message)) {}
    const std::string& message() const { return message_; }
    std::string display() const { return message_; }
    std::string debug() const;
    bool operator==(const TomlWriteError&) const = default;

private:
    std::string message_;
};

struct ConfigErrorCases {
    struct Io {
        base::IoError error;
        bool operator==(const Io&) const = default;
    };
    struct Parse {
        TomlError error;
        bool operator==(const Parse&) const = default;
    };
    struct Serialize {
        TomlWriteError error;
        bool operator==(const Serialize&) const = default;
    };
    struct Validation {
        std::string message;
        bool operator==(const Validation&) const = default;
    };
    using Value = std::variant<Io, Parse, Serialize, Validation>;
};

class ConfigError : public base::Cases<ConfigErrorCases> {
public:
    using Cases::Cases;

    // "configuration I/O: {}", "invalid configuration: {}" (Parse and
    // Validation alike), "cannot serialize configuration: {}".
    std::string display() const;
    // The variant name with its payload's debug form in parentheses, e.g.
    // Validation("logging.filter must not be empty").
    std::string debug() const;
    // The wrapped cause: the I/O error for Io, the TOML error for Parse and
    // Serialize; nothing for Validation.
    std::optional<base::ErrorRef> source() const;
};

}  // namespace vorlix::config
