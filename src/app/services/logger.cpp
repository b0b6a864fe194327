#include "app/services/logger.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <system_error>

#include <re2/re2.h>
#include <spdlog/pattern_formatter.h>
#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/spdlog.h>

#include "base/debug_form.hpp"
#include "base/text.hpp"
#include "base/unique_fd.hpp"

namespace vorlix::app {
namespace {

std::atomic<bool> logger_live{false};
std::atomic<std::uint64_t> logger_serial{0};

std::optional<LevelFilter> level_from_name(std::string_view name) {
    const std::string lower = base::ascii_lower(name);
    if (lower == "off") return LevelFilter::Off;
    if (lower == "error") return LevelFilter::Error;
    if (lower == "warn") return LevelFilter::Warn;
    if (lower == "info") return LevelFilter::Info;
    if (lower == "debug") return LevelFilter::Debug;
    if (lower == "trace") return LevelFilter::Trace;
    return std::nullopt;
}

bool has_white_space(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size()) {
        auto c = base::decode_utf8(text, pos);
        if (!c) {
            ++pos;  // the filter came from a UTF-8 file; a stray byte is no blank
            continue;
        }
        if (base::is_unicode_whitespace(*c)) return true;
    }
    return false;
}

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (;;) {
        std::size_t at = text.find(separator, start);
        parts.push_back(
            text.substr(start, at == std::string_view::npos ? std::string_view::npos : at - start));
        if (at == std::string_view::npos) return parts;
        start = at + 1;
    }
}

// A module entry covers the module itself and everything below it, but not
// a sibling that merely shares a prefix ("vorlix::scan" is not
// "vorlix::scanner").
bool covers(std::string_view entry, std::string_view module) {
    if (!module.starts_with(entry)) return false;
    return module.size() == entry.size() || module.substr(entry.size()).starts_with("::");
}

const char* level_word(base::Level level) {
    switch (level) {
        case base::Level::Error: return "ERROR";
        case base::Level::Warn: return "WARN";
        case base::Level::Info: return "INFO";
        case base::Level::Debug: return "DEBUG";
        case base::Level::Trace: return "TRACE";
    }
    return "TRACE";
}

spdlog::level::level_enum spdlog_level(base::Level level) {
    switch (level) {
        case base::Level::Error: return spdlog::level::err;
        case base::Level::Warn: return spdlog::level::warn;
        case base::Level::Info: return spdlog::level::info;
        case base::Level::Debug: return spdlog::level::debug;
        case base::Level::Trace: return spdlog::level::trace;
    }
    return spdlog::level::trace;
}

std::string program_stem(std::string_view program) {
    std::string stem = std::filesystem::path(program).stem().string();
    return stem.empty() ? std::string("vorlix") : stem;
}

std::string time_stamp() {
    std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d_%H-%M-%S", &local);
    return text;
}

// Creates a log file of our own under a name no other run is using, so two
// runs started in the same second never interleave their lines.
std::expected<std::filesystem::path, LoggerError> create_log_file(const std::filesystem::path& dir,
                                                                  std::string_view program) {
    std::string base = program_stem(program) + "_" + time_stamp();
    std::filesystem::path candidate;
    for (int n = 0; n < 100; ++n) {
        candidate = dir / (n == 0 ? base + ".log" : base + "_" + std::to_string(n) + ".log");
        const base::UniqueFd fd(::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (fd.valid()) return candidate;
        if (errno != EEXIST) {
            return std::unexpected(LoggerError::Open{candidate, base::IoError::from_errno(errno)});
        }
    }
    return std::unexpected(
        LoggerError::Open{candidate, base::IoError::custom(base::IoErrorKind::AlreadyExists,
                                                           "could not allocate a unique log file name")});
}

}  // namespace

// ---- LoggerError ---------------------------------------------------------

std::string LoggerError::display() const {
    return std::visit(
        base::Overloaded{
            [](const Parse& e) { return "invalid log specification: " + e.details; },
            [](const Directory& e) {
                return "cannot create log directory " + base::lossy_utf8(e.path.native()) + ": " +
                       e.source.display();
            },
            [](const Open& e) {
                return "cannot open log file " + base::lossy_utf8(e.path.native()) + ": " +
                       e.source.display();
            },
            [](const AlreadyInstalled&) { return std::string("a logger is already installed"); },
        },
        value());
}

std::string LoggerError::debug() const {
    const auto with_path = [](const char* name, const std::filesystem::path& path, const base::IoError& io) {
        return std::string(name) + " { path: " + base::debug_quote(path.native()) +
               ", source: " + io.debug() + " }";
    };
    return std::visit(
        base::Overloaded{
            [](const Parse& e) { return base::debug_wrap("Parse", base::debug_quote(e.details)); },
            [&](const Directory& e) { return with_path("Directory", e.path, e.source); },
            [&](const Open& e) { return with_path("Open", e.path, e.source); },
            [](const AlreadyInstalled&) { return std::string("AlreadyInstalled"); },
        },
        value());
}

std::optional<base::ErrorRef> LoggerError::source() const {
    if (const auto* dir = get_if<Directory>()) return base::ErrorRef(dir->source);
    if (const auto* file = get_if<Open>()) return base::ErrorRef(file->source);
    return std::nullopt;
}

// ---- LogFilter -----------------------------------------------------------

// RE2 matches in time linear in the text and without recursion, so a long
// record (a whole rejected reply) can neither stall nor overflow the stack
// of the thread that logs it.
struct LogFilter::Matcher {
    explicit Matcher(std::string_view pattern) : regex(pattern, options()) {}
    static RE2::Options options() {
        RE2::Options o;
        o.set_log_errors(false);  // the error comes back as a value
        return o;
    }
    RE2 regex;
};

std::expected<LogFilter, LoggerError> LogFilter::parse(std::string_view spec) {
    std::vector<std::string> problems;
    auto parts = split(spec, '/');
    if (parts.size() > 2) {
        return std::unexpected(
            LoggerError::Parse{"invalid log spec '" + std::string(spec) + "' (too many '/'s)"});
    }
    LogFilter filter;
    auto add = [&filter](std::optional<std::string> module, LevelFilter level) {
        // A later entry for the same module replaces the earlier one.
        std::erase_if(filter.entries_, [&](const FilterEntry& e) { return e.module == module; });
        filter.entries_.push_back(FilterEntry{std::move(module), level});
    };
    for (std::string_view raw : split(parts[0], ',')) {
        std::string_view entry = base::trim_unicode_whitespace(raw);
        if (entry.empty()) continue;
        auto sides = split(entry, '=');
        std::string_view name = base::trim_unicode_whitespace(sides[0]);
        if (sides.size() > 2) {
            problems.push_back("invalid part in log spec '" + std::string(entry) + "'");
            continue;
        }
        if (has_white_space(name)) {
            problems.push_back("invalid part in log spec '" + std::string(name) +
                               "' (contains a whitespace)");
            continue;
        }
        if (sides.size() == 1) {
            // A bare word is the default level if it names one, else a
            // module shown at every level.
            if (auto level = level_from_name(name)) {
                add(std::nullopt, *level);
            } else {
                add(std::string(name), LevelFilter::Trace);
            }
            continue;
        }
        // "=debug" names the empty module path, which every module starts
        // with: it acts as the default level.
        std::optional<std::string> module;
        if (!name.empty()) module = std::string(name);
        std::string_view level_text = base::trim_unicode_whitespace(sides[1]);
        if (level_text.empty()) {
            add(std::move(module), LevelFilter::Trace);
        } else if (auto level = level_from_name(level_text)) {
            add(std::move(module), *level);
        } else {
            problems.push_back("unknown level filter: " + std::string(level_text));
        }
    }
    if (parts.size() == 2) {
        auto matcher = std::make_shared<const Matcher>(parts[1]);
        if (matcher->regex.ok()) {
            filter.matcher_ = std::move(matcher);
            filter.text_pattern_ = std::string(parts[1]);
        } else {
            problems.push_back("invalid regex filter - " + matcher->regex.error());
        }
    }
    if (!problems.empty()) {
        std::string joined;
        for (const auto& p : problems) joined += (joined.empty() ? "" : "; ") + p;
        return std::unexpected(LoggerError::Parse{std::move(joined)});
    }
    // Longest module first so the first covering entry is the most specific;
    // the default entry (no module) comes last.
    std::stable_sort(filter.entries_.begin(), filter.entries_.end(),
                     [](const FilterEntry& a, const FilterEntry& b) {
                         std::size_t la = a.module ? a.module->size() + 1 : 0;
                         std::size_t lb = b.module ? b.module->size() + 1 : 0;
                         return la > lb;
                     });
    return filter;
}

bool LogFilter::enabled(base::Level level, std::string_view module) const {
    for (const auto& entry : entries_) {
        if (!entry.module || covers(*entry.module, module)) {
            return static_cast<int>(level) <= static_cast<int>(entry.level);
        }
    }
    return false;
}

bool LogFilter::accepts(const base::Record& record) const {
    if (!enabled(record.level, record.target)) return false;
    if (!matcher_) return true;
    return RE2::PartialMatch(re2::StringPiece(record.text.data(), record.text.size()), matcher_->regex);
}

LevelFilter LogFilter::max_level() const {
    LevelFilter most = LevelFilter::Off;
    for (const auto& entry : entries_) most = std::max(most, entry.level);
    return most;
}

// ---- the file logger -----------------------------------------------------

std::string format_log_line(const base::Record& record) {
    std::string line = level_word(record.level);
    line += " [";
    // Records carry replies, paths and file contents: a control character
    // in them would act on the terminal of whoever reads the log, and a
    // line break would forge a record.
    line += record.target.empty() ? std::string("<unnamed>") : base::escape_controls(record.target);
    line += "] ";
    line += base::escape_controls(record.text);
    line += '\n';
    return line;
}

struct LoggerHandle::State {
    std::filesystem::path file;
    std::string name;  // the logger's name in spdlog's registry
    std::shared_ptr<spdlog::logger> logger;

    ~State() {
        if (!logger) return;  // start-up failed before the logger existed
        base::set_log_sink({});
        logger->flush();
        spdlog::drop(name);
        logger_live.store(false);
    }
};

LoggerHandle::LoggerHandle(std::unique_ptr<State> state) : state_(std::move(state)) {}
LoggerHandle::LoggerHandle(LoggerHandle&&) noexcept = default;
LoggerHandle& LoggerHandle::operator=(LoggerHandle&&) noexcept = default;
LoggerHandle::~LoggerHandle() = default;

const std::filesystem::path& LoggerHandle::file_path() const { return state_->file; }

void LoggerHandle::flush() { state_->logger->flush(); }

std::expected<LoggerHandle, LoggerError> init_logger(const config::LoggingConfig& config,
                                                     std::string_view program) {
    auto filter = LogFilter::parse(config.filter);
    if (!filter) return std::unexpected(std::move(filter.error()));

    std::filesystem::path dir = config.directory.empty() ? "." : config.directory;
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) return std::unexpected(LoggerError::Directory{dir, base::IoError::from_errno(ec.value())});

    bool expected_idle = false;
    if (!logger_live.compare_exchange_strong(expected_idle, true)) {
        return std::unexpected(LoggerError::AlreadyInstalled{});
    }
    auto file = create_log_file(dir, program);
    if (!file) {
        logger_live.store(false);
        return std::unexpected(std::move(file.error()));
    }

    auto state = std::make_unique<LoggerHandle::State>();
    state->file = *file;
    state->name = "vorlix-log-" + std::to_string(logger_serial.fetch_add(1));
    try {
        auto sink = std::make_shared<spdlog::sinks::basic_file_sink_mt>(file->string(), false);
        // Lines arrive fully formatted, line feed included.
        sink->set_formatter(std::make_unique<spdlog::pattern_formatter>(
            "%v", spdlog::pattern_time_type::local, std::string()));
        state->logger = std::make_shared<spdlog::logger>(state->name, std::move(sink));
        state->logger->set_level(spdlog::level::trace);
        state->logger->flush_on(spdlog::level::off);
        // A failing write must not print over the full-screen interface.
        state->logger->set_error_handler([](const std::string&) {});
        spdlog::register_logger(state->logger);
    } catch (const std::exception& e) {
        logger_live.store(false);
        return std::unexpected(
            LoggerError::Open{*file, base::IoError::custom(base::IoErrorKind::Other, e.what())});
    }
    spdlog::flush_every(std::chrono::seconds(1));

    std::shared_ptr<spdlog::logger> logger = state->logger;
    LevelFilter most = filter->max_level();
    base::set_log_sink([logger, most, filter = std::move(*filter)](const base::Record& record) {
        if (static_cast<int>(record.level) > static_cast<int>(most)) return;
        if (!filter.accepts(record)) return;
        std::string line = format_log_line(record);
        logger->log(spdlog_level(record.level), spdlog::string_view_t(line.data(), line.size()));
    });
    return LoggerHandle(std::move(state));
}

}  // namespace vorlix::app
