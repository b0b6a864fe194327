#pragma once
// The program's log file. The filter text of `[logging] filter` is parsed
// whole before anything starts, so a run never logs with half a filter; the
// handle returned by init_logger owns the file and, while it lives, receives
// every record of the logging facade (base/log.hpp).

#include <cstdint>
#include <expected>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "base/cases.hpp"
#include "base/error_ref.hpp"
#include "base/io_error.hpp"
#include "base/log.hpp"
#include "config/record.hpp"

namespace vorlix::app {

// A level threshold; Off lets nothing through.
enum class LevelFilter : std::uint8_t { Off = 0, Error = 1, Warn = 2, Info = 3, Debug = 4, Trace = 5 };

// Why the logger could not start.
struct LoggerErrorCases {
    struct Parse {
        std::string details;
        bool operator==(const Parse&) const = default;
    };
    struct Directory {
        std::filesystem::path path;
        base::IoError source;
        bool operator==(const Directory&) const = default;
    };
    struct Open {
        std::filesystem::path path;
        base::IoError source;
        bool operator==(const Open&) const = default;
    };
    struct AlreadyInstalled {
        bool operator==(const AlreadyInstalled&) const = default;
    };
    using Value = std::variant<Parse, Directory, Open, AlreadyInstalled>;
};

class LoggerError : public base::Cases<LoggerErrorCases> {
public:
    using Cases::Cases;

    std::string display() const;
    // Parse("…"), Directory { path: "…", source: Os { … } }, Open { … },
    // AlreadyInstalled
    std::string debug() const;
    // The I/O failure behind Directory and Open.
    std::optional<base::ErrorRef> source() const;
};

// One entry of a filter: records of `module` (and of its submodules), or of
// every module when `module` is empty, pass at `level` and above.
struct FilterEntry {
    std::optional<std::string> module;
    LevelFilter level = LevelFilter::Off;
    bool operator==(const FilterEntry&) const = default;
};

// A parsed filter: "info", "warn,vorlix::acquisition=debug",
// "debug/timeout" (only records whose text matches the regular expression).
class LogFilter {
public:
    static std::expected<LogFilter, LoggerError> parse(std::string_view spec);

    // True when a record of this level and module passes.
    bool enabled(base::Level level, std::string_view module) const;
    // Level and module, then the text filter.
    bool accepts(const base::Record& record) const;
    // The most verbose level any entry lets through.
    LevelFilter max_level() const;

    const std::vector<FilterEntry>& entries() const { return entries_; }
    const std::optional<std::string>& text_filter() const { return text_pattern_; }

private:
    struct Matcher;
    std::vector<FilterEntry> entries_;  // longest module first, the default last
    std::optional<std::string> text_pattern_;
    std::shared_ptr<const Matcher> matcher_;  // compiled text_pattern_
};

// "ERROR [vorlix::scan] text\n"; "<unnamed>" stands for an empty module.
// Control characters in the module and the text are escaped
// (base::escape_controls), so a record is always one harmless line.
std::string format_log_line(const base::Record& record);

// The running logger. Destroying it detaches it from the facade, flushes
// what is buffered and closes the file.
class LoggerHandle {
public:
    LoggerHandle(LoggerHandle&&) noexcept;
    LoggerHandle& operator=(LoggerHandle&&) noexcept;
    LoggerHandle(const LoggerHandle&) = delete;
    LoggerHandle& operator=(const LoggerHandle&) = delete;
    ~LoggerHandle();

    const std::filesystem::path& file_path() const;
    // Writes out what is buffered now, instead of at the next tick.
    void flush();

    struct State;

private:
    friend std::expected<LoggerHandle, LoggerError> init_logger(const config::LoggingConfig&,
                                                                std::string_view);
    explicit LoggerHandle(std::unique_ptr<State> state);
    std::unique_ptr<State> state_;
};

// Parses the filter, creates `config.directory` with its parents, opens the
// log file there (named after the stem of `program`, the first command-line
// element, and the local time: "vorlix_2026-12-09_09-27-58.log", with "_1",
// "_2", … added when another run took that name) and installs it as the facade's sink; a background thread
// flushes the file every second. Only one logger may be live at a time.
std::expected<LoggerHandle, LoggerError> init_logger(const config::LoggingConfig& config,
                                                     std::string_view program);

}  // namespace vorlix::app
