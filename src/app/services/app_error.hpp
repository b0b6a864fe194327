#pragma once
// The error of the program as a whole. The entry returns it and prints its
// debug form in the exit report; the workers build one for their own
// failures and keep its display text. Each variant wraps the error of one
// layer, or a failure only the entry knows (usage, ports, CSV file, logger,
// terminal). Wrappers that add nothing (Config, Connection, Acquisition)
// show the wrapped error's text and pass its cause straight through.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <source_location>
#include <string>
#include <variant>

#include "app/services/logger.hpp"
#include "app/services/ports.hpp"
#include "base/cases.hpp"
#include "base/error_ref.hpp"
#include "base/io_error.hpp"
#include "config/error.hpp"
#include "instrument/errors.hpp"

namespace vorlix::app {

// An error text and the place in the program where it arose, for failures
// of the error hooks and of the event loop.
class ErrorReport {
public:
    explicit ErrorReport(std::string message,
                         std::source_location location = std::source_location::current());

    const std::string& message() const { return message_; }
    // The source file, from "src/" on when the build path contains it.
    const std::string& file() const { return file_; }
    std::uint32_t line() const { return line_; }

    std::string display() const { return message_; }
    // "{message}\n\nLocation:\n   {file}:{line}"
    std::string debug() const;

    bool operator==(const ErrorReport&) const = default;

private:
    std::string message_;
    std::string file_;
    std::uint32_t line_ = 0;
};

struct AppErrorCases {
    struct Usage {
        std::string text;
        bool operator==(const Usage&) const = default;
    };
    struct Config {
        config::ConfigError error;
        bool operator==(const Config&) const = default;
    };
    struct Port {
        PortError error;
        bool operator==(const Port&) const = default;
    };
    struct Connection {
        instrument::OpenError error;
        bool operator==(const Connection&) const = default;
    };
    struct Io {
        base::IoError error;
        bool operator==(const Io&) const = default;
    };
    struct Csv {
        std::filesystem::path path;
        base::IoError source;
        bool operator==(const Csv&) const = default;
    };
    struct Acquisition {
        instrument::AcquisitionError error;
        bool operator==(const Acquisition&) const = default;
    };
    struct Live {
        std::string text;
        bool operator==(const Live&) const = default;
    };
    struct Logger {
        LoggerError error;
        bool operator==(const Logger&) const = default;
    };
    struct Terminal {
        ErrorReport report;
        bool operator==(const Terminal&) const = default;
    };
    using Value = std::variant<Usage, Config, Port, Connection, Io, Csv, Acquisition, Live, Logger, Terminal>;
};

class AppError : public base::Cases<AppErrorCases> {
public:
    using Cases::Cases;

    // "serial connection: {}", "I/O: {}", "cannot load CSV {path}: {}",
    // "live capture: {}", "logging: {}", "terminal: {}"; Usage shows its
    // text, and the transparent variants their payload's text.
    std::string display() const;
    // Usage("…"), Config(Validation("…")), Csv { path: "…", source: Os { … } }, …
    std::string debug() const;
    // The underlying cause, borrowed from this error: the payload of Port,
    // Io and Logger, the source of Csv, the report's error for Terminal,
    // the payload's own cause for Config, Connection and Acquisition,
    // nothing for Usage and Live.
    std::optional<base::ErrorRef> source() const;
};

}  // namespace vorlix::app
