#pragma once
// The command line and the configuration step of start-up: what the entry
// does before anything else is touched.

#include <cstdio>
#include <expected>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "config/error.hpp"
#include "config/record.hpp"

namespace vorlix::app {

// What a usage error carries.
inline constexpr std::string_view USAGE_TEXT = "usage: vorlix [--live | --view SCAN.csv | SCAN.csv]";

// Written to standard output for -h and --help, nothing added.
inline constexpr std::string_view HELP_TEXT =
    "vorlix [--live | --view SCAN.csv | SCAN.csv]\n"
    "\n"
    "With no option, acquire one scan. --live repeats complete snapshots until stopped. "
    "With a CSV path, open the plot renderer directly.\n";

struct RunMode {
    enum class Kind { Scan, Live, View, Help };
    Kind kind = Kind::Scan;
    // View only: the file as the operating system named it.
    std::filesystem::path path;

    bool operator==(const RunMode&) const = default;
};

// The arguments after the program name, as the operating system gave them.
std::vector<std::string> arguments(int argc, char** argv);

// The mode the arguments ask for, compared byte for byte; a usage error
// carries USAGE_TEXT. There are no other options and no "=" forms.
std::expected<RunMode, std::string> parse_arguments(std::span<const std::string> args);

// The configuration of the run with the path it came from; the write-back
// replaces that same file.
struct LoadedConfig {
    config::Config config;
    std::filesystem::path path;
};

// "Cannot load {path}: {error}\n", the path shown as text even when the
// operating system's bytes are not UTF-8. Both come from outside (the
// environment, the file's lines), so their control characters are escaped
// and never reach the terminal; the error's own line breaks stay.
std::string cannot_load_line(const std::filesystem::path& path, const config::ConfigError& error);

// Loads the configuration from config::config_path(). On failure writes the
// cannot-load line to err and hands the error back for the exit report.
std::expected<LoadedConfig, config::ConfigError> load_startup_config(std::FILE* err);

}  // namespace vorlix::app
