#include "app/entry/cli.hpp"

#include "config/load.hpp"
#include "base/stream_text.hpp"
#include "base/text.hpp"

namespace vorlix::app {

std::vector<std::string> arguments(int argc, char** argv) {
    std::vector<std::string> out;
    for (int i = 1; i < argc; ++i) out.emplace_back(argv[i]);
    return out;
}

std::expected<RunMode, std::string> parse_arguments(std::span<const std::string> args) {
    const auto usage = [] { return std::unexpected(std::string(USAGE_TEXT)); };
    if (args.empty()) return RunMode{RunMode::Kind::Scan, {}};
    if (args.size() == 1) {
        const std::string& a = args[0];
        if (a == "--live") return RunMode{RunMode::Kind::Live, {}};
        if (a == "-h" || a == "--help") return RunMode{RunMode::Kind::Help, {}};
        if (a.starts_with("-")) return usage();
        return RunMode{RunMode::Kind::View, std::filesystem::path(a)};
    }
    // After --view anything is a path, even a name that begins with "-".
    if (args.size() == 2 && args[0] == "--view")
        return RunMode{RunMode::Kind::View, std::filesystem::path(args[1])};
    return usage();
}

std::string cannot_load_line(const std::filesystem::path& path, const config::ConfigError& error) {
    return "Cannot load " + base::escape_controls(path.native()) + ": " +
           base::escape_controls(error.display(), base::EscapeStyle::Lines) + "\n";
}

std::expected<LoadedConfig, config::ConfigError> load_startup_config(std::FILE* err) {
    std::filesystem::path path = config::config_path();
    auto config = config::load_config_from(path);
    if (!config) {
        const std::string line = cannot_load_line(path, config.error());
        base::write_text(err, line);
        return std::unexpected(std::move(config.error()));
    }
    return LoadedConfig{std::move(*config), std::move(path)};
}

}  // namespace vorlix::app
