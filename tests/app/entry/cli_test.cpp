// The command line and the configuration step of start-up.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

#include "app/entry/cli.hpp"
#include "config/load.hpp"

namespace vorlix::app {
namespace {

struct ArgCase {
    std::vector<std::string> args;
    std::optional<RunMode> mode;  // nullopt: usage error
};

const ArgCase ARG_CASES[] = {
    {{}, RunMode{RunMode::Kind::Scan, {}}},
    {{"--live"}, RunMode{RunMode::Kind::Live, {}}},
    {{"-h"}, RunMode{RunMode::Kind::Help, {}}},
    {{"--help"}, RunMode{RunMode::Kind::Help, {}}},
    {{"scan.csv"}, RunMode{RunMode::Kind::View, "scan.csv"}},
    {{""}, RunMode{RunMode::Kind::View, ""}},
    {{"--view", "scan.csv"}, RunMode{RunMode::Kind::View, "scan.csv"}},
    {{"--view", "-odd.csv"}, RunMode{RunMode::Kind::View, "-odd.csv"}},
    {{"--view", "--live"}, RunMode{RunMode::Kind::View, "--live"}},
    {{"-odd.csv"}, std::nullopt},
    {{"--bogus"}, std::nullopt},
    {{"-"}, std::nullopt},
    {{"--LIVE"}, std::nullopt},
    {{"--live=1"}, std::nullopt},
    {{"--view"}, std::nullopt},
    {{"--live", "x"}, std::nullopt},
    {{"--help", "x"}, std::nullopt},
    {{"a.csv", "b.csv"}, std::nullopt},
    {{"--view", "a.csv", "b.csv"}, std::nullopt},
};

TEST(Arguments, Modes) {
    for (const ArgCase& c : ARG_CASES) {
        std::string shown;
        for (const auto& a : c.args) shown += "[" + a + "]";
        auto mode = parse_arguments(c.args);
        if (c.mode) {
            ASSERT_TRUE(mode.has_value()) << shown;
            EXPECT_EQ(*mode, *c.mode) << shown;
        } else {
            ASSERT_FALSE(mode.has_value()) << shown;
            EXPECT_EQ(mode.error(), "usage: vorlix [--live | --view SCAN.csv | SCAN.csv]") << shown;
        }
    }
}

TEST(Arguments, ProgramNameIsDropped) {
    char prog[] = "vorlix", live[] = "--live";
    char* argv[] = {prog, live, nullptr};
    EXPECT_EQ(arguments(2, argv), std::vector<std::string>{"--live"});
}

TEST(Arguments, HelpText) {
    EXPECT_EQ(
        HELP_TEXT,
        "vorlix [--live | --view SCAN.csv | SCAN.csv]\n\nWith no option, acquire one scan. --live repeats "
        "complete snapshots until stopped. With a CSV path, open the plot renderer directly.\n");
}

class StartupConfig : public testing::Test {
protected:
    void SetUp() override {
        char name[] = "/tmp/vorlix-cli-XXXXXX";
        ASSERT_NE(::mkdtemp(name), nullptr);
        dir_ = name;
    }
    void TearDown() override {
        ::unsetenv("VORLIX_CONFIG");
        std::filesystem::remove_all(dir_);
    }
    // Runs the load step with err captured; returns what it wrote.
    std::string run(std::optional<LoadedConfig>& out) {
        std::FILE* err = std::tmpfile();
        auto loaded = load_startup_config(err);
        std::rewind(err);
        std::string text;
        for (int ch; (ch = std::fgetc(err)) != EOF;) text += static_cast<char>(ch);
        std::fclose(err);
        if (loaded) out = std::move(*loaded);
        return text;
    }
    std::filesystem::path dir_;
};

TEST_F(StartupConfig, FailurePrintsCannotLoadLine) {
    using namespace std::string_literals;
    struct Case {
        std::string file;
        std::string cause;  // the display text after "Cannot load {path}: ", or empty for the loader's own
        bool has_nul;       // the line carries a NUL byte, which must reach the stream with the rest
    };
    const std::vector<Case> cases = {
        {"[logging]\nfilter = \"  \"\n", "invalid configuration: logging.filter must not be empty", false},
        {"points = 2001\n\0garbage = = =\n"s, "", true},
        {"[connection]\nbackend = \"TCP\\u0000more\"\n", "", true},
    };
    const auto path = dir_ / "config.toml";
    ::setenv("VORLIX_CONFIG", path.c_str(), 1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        std::ofstream(path, std::ios::binary | std::ios::trunc) << c.file;
        std::string cause = c.cause;
        if (cause.empty()) {
            auto direct = config::load_config_from(path);
            ASSERT_FALSE(direct.has_value());
            cause = direct.error().display();
        }
        const std::string expected = "Cannot load " + path.string() + ": " + cause + "\n";
        EXPECT_EQ(expected.find('\0') != std::string::npos, c.has_nul);
        std::optional<LoadedConfig> loaded;
        EXPECT_EQ(run(loaded), expected);
        EXPECT_FALSE(loaded.has_value());
    }
}

TEST_F(StartupConfig, SuccessKeepsPathAndPrintsNothing) {
    const auto path = dir_ / "absent.toml";
    ::setenv("VORLIX_CONFIG", path.c_str(), 1);
    std::optional<LoadedConfig> loaded;
    EXPECT_EQ(run(loaded), "");
    ASSERT_TRUE(loaded.has_value());
    EXPECT_EQ(loaded->path, path);
    EXPECT_EQ(loaded->config, config::Config{});
}

TEST(CannotLoadLine, PathBytesShownLossily) {
    const auto error = config::ConfigError(config::ConfigError::Validation{"x"});
    EXPECT_EQ(cannot_load_line(std::filesystem::path("a\xFF.toml"), error),
              "Cannot load a\xEF\xBF\xBD.toml: invalid configuration: x\n");
}

}  // namespace
}  // namespace vorlix::app
