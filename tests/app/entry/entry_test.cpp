// The entry's own pieces that the end-to-end runs cannot reach: the hooks
// installed twice, the exit report's exact form, and help that cannot be
// written.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/entry/entry.hpp"

namespace vorlix::app {
namespace {

TEST(EntryTest, ErrorHooksInstallOncePerProcess) {
    ASSERT_TRUE(install_error_hooks().has_value());
    auto again = install_error_hooks();
    ASSERT_FALSE(again.has_value());
    EXPECT_EQ(again.error().display(), "terminal: the error-report hooks are already installed");
    ASSERT_NE(again.error().get_if<AppError::Terminal>(), nullptr);
    EXPECT_EQ(again.error().get_if<AppError::Terminal>()->report.file(), "src/app/entry/entry.cpp");
}

TEST(EntryTest, ExitReportIsTheDebugFormOnOneLine) {
    const std::vector<std::pair<AppError, std::string>> cases = {
        {AppError{AppError::Usage{"usage: vorlix [--live | --view SCAN.csv | SCAN.csv]"}},
         "Error: Usage(\"usage: vorlix [--live | --view SCAN.csv | SCAN.csv]\")\n"},
        {AppError{AppError::Live{"a \"quoted\" text"}}, "Error: Live(\"a \\\"quoted\\\" text\")\n"},
    };
    for (const auto& [error, report] : cases) EXPECT_EQ(exit_report(error), report);
}

// Not every debug form quotes what it carries: the report of a Terminal
// error shows its message as it is, over several lines.
TEST(EntryTest, ExitReportEscapesControlsAndKeepsLines) {
    const AppError error{AppError::Terminal{ErrorReport("bad \x1b[2J\u009b31m reply")}};
    const std::string report = exit_report(error);
    EXPECT_TRUE(report.starts_with("Error: Terminal(bad \\u{1b}[2J\\u{9b}31m reply\n\nLocation:\n"))
        << report;
    EXPECT_EQ(report.find('\x1b'), std::string::npos);
}

struct Ended {
    int status = -1;
    std::string err;
};

// The run as the process entry finishes it, in a child whose standard
// output is `out_device`: the exit status and what reached standard error.
Ended run_with_stdout(const std::vector<std::string>& args, const char* out_device) {
    int err_pipe[2];
    if (::pipe(err_pipe) != 0) return {};
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        const int out = ::open(out_device, O_WRONLY);
        if (out < 0 || ::dup2(out, STDOUT_FILENO) < 0 || ::dup2(err_pipe[1], STDERR_FILENO) < 0) ::_exit(99);
        ::close(err_pipe[0]);
        auto result = run_from_arguments(args, "vorlix");
        if (!result) {
            const std::string report = exit_report(result.error());
            (void)!::write(STDERR_FILENO, report.data(), report.size());
        }
        ::_exit(result ? 0 : 1);
    }
    ::close(err_pipe[1]);
    Ended ended;
    char buffer[4096];
    for (ssize_t n; (n = ::read(err_pipe[0], buffer, sizeof buffer)) > 0;)
        ended.err.append(buffer, static_cast<std::size_t>(n));
    ::close(err_pipe[0]);
    int status = 0;
    if (::waitpid(child, &status, 0) == child && WIFEXITED(status)) ended.status = WEXITSTATUS(status);
    return ended;
}

TEST(EntryTest, HelpThatCannotBeWrittenFailsWithOneLine) {
    const struct {
        const char* name;
        std::vector<std::string> args;
        const char* out_device;
        Ended expected;
    } cases[] = {
        {"help_written", {"--help"}, "/dev/null", {0, ""}},
        {"help_to_a_full_device",
         {"--help"},
         "/dev/full",
         {1, "Error: Io(Os { code: 28, kind: StorageFull, message: \"No space left on device\" })\n"}},
        {"short_help_to_a_full_device",
         {"-h"},
         "/dev/full",
         {1, "Error: Io(Os { code: 28, kind: StorageFull, message: \"No space left on device\" })\n"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Ended ended = run_with_stdout(c.args, c.out_device);
        EXPECT_EQ(ended.status, c.expected.status);
        EXPECT_EQ(ended.err, c.expected.err);
    }
}

}  // namespace
}  // namespace vorlix::app
