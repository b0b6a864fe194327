#include "config/load.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/stream_text.hpp"
#include "config/defaults.hpp"
#include "config/merge.hpp"
#include "config/toml_bounds.hpp"
#include "config/toml_value.hpp"
#include "config/typed_read.hpp"
#include "base/file_io.hpp"
#include "base/text.hpp"
#include "config/validate.hpp"

namespace vorlix::config {

std::filesystem::path config_path() {
    // Taken byte for byte: a path need not be valid text.
    if (const char* value = std::getenv("VORLIX_CONFIG")) return std::filesystem::path(value);
    return std::filesystem::path("config.toml");
}

std::expected<Config, ConfigError> load_config() { return load_config_from(config_path()); }

namespace {

// The longest UTF-8 sequence of one character.
constexpr std::size_t MAX_UTF8_LENGTH = 4;

// Without the character a read cut short at its end, so that only the
// bytes of the file are judged, never where the reading stopped.
void drop_cut_character(std::string& bytes) {
    for (std::size_t back = 1; back <= std::min(bytes.size(), MAX_UTF8_LENGTH - 1); ++back) {
        const auto c = static_cast<unsigned char>(bytes[bytes.size() - back]);
        if ((c & 0xC0) == 0x80) continue;
        const std::size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        if (length > back) bytes.resize(bytes.size() - back);
        return;
    }
}

}  // namespace

std::expected<Config, ConfigError> load_config_from(const std::filesystem::path& path) {
    // A whole character past the size bound is enough to refuse the text
    // as over it, whatever the size of the file.
    const std::size_t limit = MAX_TOML_SIZE + MAX_UTF8_LENGTH;
    auto bytes = base::read_whole_file(path, limit);
    if (!bytes) {
        // A missing file is the normal first run: the defaults alone.
        if (bytes.error().kind() == base::IoErrorKind::NotFound) return embedded_config();
        return std::unexpected(ConfigError::Io{std::move(bytes.error())});
    }
    if (bytes->size() == limit) drop_cut_character(*bytes);
    return load_config_text(*bytes);
}

std::expected<Config, ConfigError> load_config_text(std::string_view bytes) {
    if (!base::is_valid_utf8(bytes)) {
        return std::unexpected(ConfigError::Io{
            base::IoError::custom(base::IoErrorKind::InvalidData, "stream did not contain valid UTF-8")});
    }
    auto merged = parse_toml(EMBEDDED_DEFAULTS);
    if (!merged) return std::unexpected(ConfigError::Parse{std::move(merged.error())});
    auto user = parse_toml(bytes);
    if (!user) return std::unexpected(ConfigError::Parse{std::move(user.error())});
    merge_toml(*merged, std::move(*user));

    auto config = deserialize_from_value(*merged);
    if (!config) return std::unexpected(ConfigError::Parse{std::move(config.error())});
    if (auto valid = validate_config(*config); !valid) return std::unexpected(std::move(valid.error()));
    return std::move(*config);
}

Config embedded_config() { return config_from_defaults(EMBEDDED_DEFAULTS); }

Config config_from_defaults(std::string_view defaults_text) {
    auto document = parse_toml(defaults_text);
    std::expected<Config, TomlError> config =
        document ? deserialize_from_document(*document) : std::unexpected(std::move(document.error()));
    if (!config) {
        // A broken built-in text is a defect of the program, never of the
        // user's input, so there is nothing to recover to.
        const std::string message = "embedded configuration must be valid: " + config.error().debug() + "\n";
        base::write_text(stderr, message);
        std::abort();
    }
    return std::move(*config);
}

}  // namespace vorlix::config
