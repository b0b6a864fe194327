#include "app/services/logger.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <cstdio>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace vorlix::app {
namespace {

using base::Level;

struct Probe {
    Level level;
    const char* module;
    bool passes;
};

struct FilterCase {
    const char* name;
    const char* spec;
    std::vector<Probe> probes;
    LevelFilter max_level;
};

void PrintTo(const FilterCase& c, std::ostream* os) { *os << c.spec; }

class ValidFilter : public testing::TestWithParam<FilterCase> {};

TEST_P(ValidFilter, LetsThroughWhatTheEntriesAllow) {
    const FilterCase& c = GetParam();
    auto filter = LogFilter::parse(c.spec);
    ASSERT_TRUE(filter.has_value()) << filter.error().display();
    for (const Probe& p : c.probes) {
        EXPECT_EQ(filter->enabled(p.level, p.module), p.passes)
            << "level " << static_cast<int>(p.level) << " module " << p.module;
    }
    EXPECT_EQ(filter->max_level(), c.max_level);
}

INSTANTIATE_TEST_SUITE_P(
    Logger, ValidFilter,
    testing::Values(
        FilterCase{"default_info",
                   "info",
                   {{Level::Error, "vorlix::scan", true},
                    {Level::Info, "vorlix::acquisition", true},
                    {Level::Debug, "vorlix::scan", false},
                    {Level::Trace, "", false}},
                   LevelFilter::Info},
        FilterCase{"warn",
                   "warn",
                   {{Level::Info, "vorlix::scan", false},
                    {Level::Error, "vorlix::scan", true},
                    {Level::Warn, "x", true}},
                   LevelFilter::Warn},
        FilterCase{"module_override",
                   "warn,vorlix::acquisition=debug",
                   {{Level::Debug, "vorlix::acquisition", true},
                    {Level::Debug, "vorlix::acquisition::shell", true},
                    {Level::Trace, "vorlix::acquisition", false},
                    {Level::Debug, "vorlix::acquisitions", false},
                    {Level::Info, "vorlix::scan", false},
                    {Level::Warn, "vorlix::scan", true}},
                   LevelFilter::Debug},
        FilterCase{"longest_module_wins",
                   "vorlix=error,vorlix::scan=trace,off",
                   {{Level::Trace, "vorlix::scan", true},
                    {Level::Warn, "vorlix::acquisition", false},
                    {Level::Error, "vorlix", true},
                    {Level::Error, "other", false}},
                   LevelFilter::Trace},
        FilterCase{"bare_module_is_most_verbose",
                   "vorlix::scan",
                   {{Level::Trace, "vorlix::scan", true}, {Level::Error, "vorlix::acquisition", false}},
                   LevelFilter::Trace},
        FilterCase{"empty_level_is_most_verbose",
                   "vorlix=",
                   {{Level::Trace, "vorlix::scan", true}, {Level::Error, "", false}},
                   LevelFilter::Trace},
        FilterCase{"case_and_blanks",
                   " INFO , vorlix::scan = Debug ,, ",
                   {{Level::Debug, "vorlix::scan", true},
                    {Level::Debug, "vorlix::x", false},
                    {Level::Info, "vorlix::x", true}},
                   LevelFilter::Debug},
        FilterCase{"later_entry_replaces",
                   "info,debug",
                   {{Level::Debug, "any", true}, {Level::Trace, "any", false}},
                   LevelFilter::Debug},
        FilterCase{"empty_module_is_every_module",
                   "=debug",
                   {{Level::Debug, "vorlix::scan", true},
                    {Level::Debug, "", true},
                    {Level::Trace, "vorlix::scan", false}},
                   LevelFilter::Debug},
        FilterCase{"empty_module_and_level",
                   "error,vorlix::scan=warn, = ",
                   {{Level::Trace, "vorlix::acquisition", true}, {Level::Info, "vorlix::scan", false}},
                   LevelFilter::Trace},
        FilterCase{
            "empty_spec_lets_nothing_through", "", {{Level::Error, "vorlix::scan", false}}, LevelFilter::Off},
        FilterCase{"text_filter_keeps_levels",
                   "debug/time.?out",
                   {{Level::Debug, "vorlix::scan", true}, {Level::Trace, "vorlix::scan", false}},
                   LevelFilter::Debug}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST(LogFilterText, RecordTextMustMatchTheExpression) {
    auto filter = LogFilter::parse("info/time.?out");
    ASSERT_TRUE(filter.has_value());
    EXPECT_EQ(filter->text_filter(), "time.?out");
    EXPECT_TRUE(filter->accepts({Level::Warn, "vorlix::scan", "read timed out: time out"}));
    EXPECT_TRUE(filter->accepts({Level::Info, "vorlix::scan", "timeout"}));
    EXPECT_FALSE(filter->accepts({Level::Info, "vorlix::scan", "all fine"}));
    EXPECT_FALSE(filter->accepts({Level::Debug, "vorlix::scan", "timeout"}));
}

TEST(LogFilterText, ALongRecordIsMatchedWithoutRecursion) {
    // A rejected reply can put tens of kilobytes into one record; a
    // backtracking matcher overflows the stack on this.
    auto filter = LogFilter::parse("info/a.*c");
    ASSERT_TRUE(filter.has_value());
    std::string text(1 << 20, 'a');
    EXPECT_FALSE(filter->accepts({Level::Info, "vorlix::scan", text}));
    text += 'c';
    EXPECT_TRUE(filter->accepts({Level::Info, "vorlix::scan", text}));
}

struct BadCase {
    const char* spec;
    const char* display_prefix;
};

class InvalidFilter : public testing::TestWithParam<BadCase> {};

TEST_P(InvalidFilter, IsRefusedWhole) {
    auto filter = LogFilter::parse(GetParam().spec);
    ASSERT_FALSE(filter.has_value());
    EXPECT_NE(filter.error().get_if<LoggerError::Parse>(), nullptr);
    EXPECT_TRUE(filter.error().display().starts_with(GetParam().display_prefix)) << filter.error().display();
}

INSTANTIATE_TEST_SUITE_P(
    Logger, InvalidFilter,
    testing::Values(
        BadCase{"info,a=b=c", "invalid log specification: invalid part in log spec 'a=b=c'"},
        BadCase{"info,vorlix=loud,warn", "invalid log specification: unknown level filter: loud"},
        BadCase{"info/a/b", "invalid log specification: invalid log spec 'info/a/b' (too many '/'s)"},
        BadCase{"info/(", "invalid log specification: invalid regex filter - "},
        BadCase{"info/(a)\\1", "invalid log specification: invalid regex filter - "},
        BadCase{"vorlix scan=info",
                "invalid log specification: invalid part in log spec 'vorlix scan' (contains a whitespace)"},
        BadCase{"info,=debug=x", "invalid log specification: invalid part in log spec '=debug=x'"},
        BadCase{"=loud", "invalid log specification: unknown level filter: loud"},
        BadCase{"a=b=c,x=nope",
                "invalid log specification: invalid part in log spec 'a=b=c'; unknown level filter: nope"}));

TEST(LoggerErrorForms, DebugShowsTheVariantAndItsPayload) {
    const LoggerError parse = LoggerError::Parse{"unknown level filter: x"};
    EXPECT_EQ(parse.debug(), "Parse(\"unknown level filter: x\")");
    EXPECT_FALSE(parse.source().has_value());
    const LoggerError dir = LoggerError::Directory{"logs/a", base::IoError::from_errno(ENOTDIR)};
    EXPECT_EQ(dir.display(), "cannot create log directory logs/a: Not a directory (os error 20)");
    EXPECT_EQ(dir.debug(),
              "Directory { path: \"logs/a\", source: Os { code: 20, kind: NotADirectory, message: \"Not a "
              "directory\" } }");
    ASSERT_TRUE(dir.source().has_value());
    EXPECT_EQ(dir.source()->display(), "Not a directory (os error 20)");
    const LoggerError open = LoggerError::Open{"logs/b.log", base::IoError::from_errno(EACCES)};
    EXPECT_EQ(open.display(), "cannot open log file logs/b.log: Permission denied (os error 13)");
    EXPECT_EQ(open.debug(),
              "Open { path: \"logs/b.log\", source: Os { code: 13, kind: PermissionDenied, message: "
              "\"Permission denied\" } }");
    EXPECT_EQ(open.source()->debug(), open.get_if<LoggerError::Open>()->source.debug());
    EXPECT_EQ(LoggerError(LoggerError::AlreadyInstalled{}).debug(), "AlreadyInstalled");
}

TEST(LogLine, LevelWordModuleAndText) {
    EXPECT_EQ(format_log_line({Level::Error, "vorlix::scan", "failed"}), "ERROR [vorlix::scan] failed\n");
    EXPECT_EQ(format_log_line({Level::Warn, "vorlix::acquisition", "retry"}),
              "WARN [vorlix::acquisition] retry\n");
    EXPECT_EQ(format_log_line({Level::Info, "m", "i"}), "INFO [m] i\n");
    EXPECT_EQ(format_log_line({Level::Debug, "m", "d"}), "DEBUG [m] d\n");
    EXPECT_EQ(format_log_line({Level::Trace, "", "t"}), "TRACE [<unnamed>] t\n");
}

// Replies, paths and file contents in a record can neither act on the
// terminal of whoever reads the log nor start a record of their own.
TEST(LogLine, ControlCharactersAreEscaped) {
    EXPECT_EQ(
        format_log_line(
            {Level::Error, "vorlix::scan", "device rejected \"pause\": error: \x1b]0;X\x07\x1b[2J\u009b31m"}),
        "ERROR [vorlix::scan] device rejected \"pause\": error: \\u{1b}]0;X\\u{7}\\u{1b}[2J\\u{9b}31m\n");
    EXPECT_EQ(format_log_line({Level::Info, "m\x1b", "one\nINFO [m] forged\r"}),
              "INFO [m\\u{1b}] one\\nINFO [m] forged\\r\n");
}

bool all_digits(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// "{stem}_YYYY-MM-DD_HH-MM-SS.log", with "_N" before ".log" when that name
// was taken.
bool is_log_file_name(std::string_view name, std::string_view stem) {
    const std::string start = std::string(stem) + "_";
    if (!name.starts_with(start) || !name.ends_with(".log")) return false;
    name = name.substr(start.size(), name.size() - start.size() - 4);
    constexpr std::string_view form = "9999-99-99_99-99-99";
    if (name.size() < form.size()) return false;
    for (std::size_t i = 0; i < form.size(); ++i) {
        if (form[i] == '9' ? !all_digits(name.substr(i, 1)) : name[i] != form[i]) return false;
    }
    std::string_view rest = name.substr(form.size());
    return rest.empty() || (rest.size() > 1 && rest[0] == '_' && all_digits(rest.substr(1)));
}

TEST(LogFileName, FormOfTheCheck) {
    EXPECT_TRUE(is_log_file_name("vorlix_2026-12-09_09-27-58.log", "vorlix"));
    EXPECT_TRUE(is_log_file_name("vorlix_2026-12-09_09-27-58_12.log", "vorlix"));
    EXPECT_FALSE(is_log_file_name("vorlix_2026-12-09_09-27-58_.log", "vorlix"));
    EXPECT_FALSE(is_log_file_name("vorlix_2026-12-09 09-27-58.log", "vorlix"));
    EXPECT_FALSE(is_log_file_name("vorlix.log", "vorlix"));
}

std::string read_all(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

class LogFile : public testing::Test {
protected:
    std::filesystem::path root_ =
        std::filesystem::path(testing::TempDir()) / ("logger_test_" + std::to_string(::getpid()));
    void TearDown() override { std::filesystem::remove_all(root_); }
};

TEST_F(LogFile, CreatesTheDirectoryAndWritesFilteredLinesByDrop) {
    std::filesystem::path dir = root_ / "nested" / "logs";
    std::filesystem::path file;
    {
        auto handle = init_logger({.filter = "warn", .directory = dir.string()}, "./build/vorlix");
        ASSERT_TRUE(handle.has_value()) << handle.error().display();
        file = handle->file_path();
        EXPECT_EQ(file.parent_path(), dir);
        EXPECT_TRUE(is_log_file_name(file.filename().string(), "vorlix")) << file;
        base::log(Level::Info, "vorlix::scan", "dropped by the filter");
        base::log(Level::Error, "vorlix::scan", "kept");
        base::log(Level::Warn, "", "no module");
    }
    base::log(Level::Error, "vorlix::scan", "after the handle is gone");
    EXPECT_EQ(read_all(file), "ERROR [vorlix::scan] kept\nWARN [<unnamed>] no module\n");
}

TEST_F(LogFile, OneLoggerAtATimeAndEachRunItsOwnFile) {
    config::LoggingConfig config{.filter = "info", .directory = root_.string()};
    std::filesystem::path first;
    {
        auto handle = init_logger(config, "prog.exe");
        ASSERT_TRUE(handle.has_value()) << handle.error().display();
        first = handle->file_path();
        EXPECT_TRUE(first.filename().string().starts_with("prog_")) << first;
        auto second = init_logger(config, "prog.exe");
        ASSERT_FALSE(second.has_value());
        EXPECT_EQ(second.error(), LoggerError::AlreadyInstalled{});
        base::log(Level::Info, "a", "one");
    }
    auto again = init_logger(config, "prog.exe");
    ASSERT_TRUE(again.has_value()) << again.error().display();
    EXPECT_NE(again->file_path(), first);
    base::log(Level::Info, "a", "two");
    again->flush();
    EXPECT_EQ(read_all(first), "INFO [a] one\n");
    EXPECT_EQ(read_all(again->file_path()), "INFO [a] two\n");
}

TEST_F(LogFile, RecordsFromSeveralThreadsArriveWholeAndComplete) {
    constexpr int threads = 4;
    constexpr int per_thread = 500;
    std::filesystem::path file;
    {
        auto handle = init_logger({.filter = "debug", .directory = root_.string()}, "vorlix");
        ASSERT_TRUE(handle.has_value()) << handle.error().display();
        file = handle->file_path();
        std::vector<std::thread> workers;
        for (int t = 0; t < threads; ++t) {
            workers.emplace_back([t] {
                for (int i = 0; i < per_thread; ++i) {
                    base::log(Level::Debug, "vorlix::acquisition",
                              "worker " + std::to_string(t) + " record " + std::to_string(i));
                }
            });
        }
        for (auto& w : workers) w.join();
    }
    std::istringstream lines(read_all(file));
    std::vector<int> next(threads, 0);
    std::string line;
    int count = 0;
    while (std::getline(lines, line)) {
        int t = -1;
        int i = -1;
        ASSERT_EQ(std::sscanf(line.c_str(), "DEBUG [vorlix::acquisition] worker %d record %d", &t, &i), 2)
            << line;
        ASSERT_TRUE(t >= 0 && t < threads) << line;
        EXPECT_EQ(i, next[t]++) << "records of one thread keep their order";
        ++count;
    }
    EXPECT_EQ(count, threads * per_thread);
}

TEST_F(LogFile, StartUpFailuresTouchNothingOrNameTheDirectory) {
    auto bad_filter = init_logger({.filter = "a=b=c", .directory = (root_ / "never").string()}, "p");
    ASSERT_FALSE(bad_filter.has_value());
    EXPECT_NE(bad_filter.error().get_if<LoggerError::Parse>(), nullptr);
    EXPECT_FALSE(std::filesystem::exists(root_ / "never"));

    std::filesystem::create_directories(root_);
    std::ofstream(root_ / "plain") << "x";
    auto bad_dir = init_logger({.filter = "info", .directory = (root_ / "plain" / "logs").string()}, "p");
    ASSERT_FALSE(bad_dir.has_value());
    const auto* dir = bad_dir.error().get_if<LoggerError::Directory>();
    ASSERT_NE(dir, nullptr);
    EXPECT_EQ(dir->path, root_ / "plain" / "logs");
    EXPECT_EQ(dir->source.os_code(), ENOTDIR);
}

}  // namespace
}  // namespace vorlix::app
