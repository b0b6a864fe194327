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
        std::string name;  // of the file
        std::string file;
        std::string cause;  // the display text after "Cannot load {path}: ", or empty for the loader's own
        std::string shown;  // where a control character of the path or the file shows escaped
    };
    const std::vector<Case> cases = {
        {"config.toml", "[logging]\nfilter = \"  \"\n",
         "invalid configuration: logging.filter must not be empty", ""},
        {"config.toml", "points = 2001\n\0garbage = = =\n"s, "", "2 | \\0garbage = = ="},
        {"config.toml", "[connection]\nbackend = \"TCP\\u0000more\"\n", "", "`TCP\\0more`"},
        {"c\x1b[2J.toml", "a = ]\n", "", "/c\\u{1b}[2J.toml: "},
        {"c\xc2\x9b"
         "31m.toml",
         "a = ]\n", "", "/c\\u{9b}31m.toml: "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const auto path = dir_ / c.name;
        ::setenv("VORLIX_CONFIG", path.c_str(), 1);
        std::ofstream(path, std::ios::binary | std::ios::trunc) << c.file;
        std::string cause = c.cause;
        if (cause.empty()) {
            auto direct = config::load_config_from(path);
            ASSERT_FALSE(direct.has_value());
            cause = direct.error().display();
        }
        std::optional<LoadedConfig> loaded;
        const std::string line = run(loaded);
        EXPECT_FALSE(loaded.has_value());
        EXPECT_TRUE(line.starts_with("Cannot load " + dir_.string() + "/")) << line;
        EXPECT_TRUE(line.ends_with(": " + cause + "\n")) << line;
        EXPECT_NE(line.find(c.shown), std::string::npos) << line;
        // Nothing a terminal acts on, only the message's own line breaks.
        EXPECT_EQ(line.find_first_of("\x1b\x07\x00\r"s), std::string::npos) << line;
        EXPECT_EQ(line.find("\xc2\x9b"), std::string::npos) << line;
    }
}

// A device or a binary taken for the configuration is one enormous line
// of control characters: the message shows a bounded part of it.
TEST_F(StartupConfig, AnEnormousLineGivesAShortMessage) {
    using namespace std::string_literals;
    const struct {
        const char* name;
        std::string file;
    } cases[] = {
        {"nuls", std::string(300 * 1024, '\0')},
        {"escapes", std::string(300 * 1024, '\x1b')},
        {"letters", std::string(300 * 1024, 'x')},
    };
    const auto path = dir_ / "config.toml";
    ::setenv("VORLIX_CONFIG", path.c_str(), 1);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::ofstream(path, std::ios::binary | std::ios::trunc) << c.file;
        std::optional<LoadedConfig> loaded;
        const std::string line = run(loaded);
        EXPECT_FALSE(loaded.has_value());
        EXPECT_TRUE(line.ends_with("\nexceeded maximum size of 262144 bytes\n\n")) << line.substr(0, 200);
        RecordProperty(c.name, static_cast<int>(line.size()));
        EXPECT_LE(line.size(), 8u * 1024);
        EXPECT_EQ(line.find_first_of("\x1b\x00"s), std::string::npos);
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
