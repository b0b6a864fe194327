// The entry's own pieces that the end-to-end runs cannot reach: the hooks
// installed twice, and the exit report's exact form.

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace vorlix::app
