// Where the configuration comes from: the file named by VORLIX_CONFIG or
// config.toml, the start without a file, and the built-in default text.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

#include "config/defaults.hpp"
#include "config/load.hpp"
#include "config/toml_value.hpp"
#include "config/typed_read.hpp"

namespace vorlix::config {
namespace {

namespace fs = std::filesystem;

class LoadFromDisk : public testing::Test {
protected:
    void SetUp() override {
        char name[] = "/tmp/vorlix-config-XXXXXX";
        ASSERT_NE(::mkdtemp(name), nullptr);
        dir_ = name;
        old_cwd_ = fs::current_path();
    }
    void TearDown() override {
        ::unsetenv("VORLIX_CONFIG");
        fs::current_path(old_cwd_);
        fs::remove_all(dir_);
    }
    fs::path write(const std::string& name, const std::string& bytes) {
        const fs::path p = dir_ / name;
        std::ofstream(p, std::ios::binary) << bytes;
        return p;
    }
    void point_at(const fs::path& p) { ::setenv("VORLIX_CONFIG", p.c_str(), 1); }

    fs::path dir_;
    fs::path old_cwd_;
};

TEST_F(LoadFromDisk, PathComesFromEnvironmentElseConfigToml) {
    ::unsetenv("VORLIX_CONFIG");
    EXPECT_EQ(config_path(), fs::path("config.toml"));
    point_at(dir_ / "elsewhere.toml");
    EXPECT_EQ(config_path(), dir_ / "elsewhere.toml");
}

TEST_F(LoadFromDisk, MissingFileMeansDefaults) {
    ::unsetenv("VORLIX_CONFIG");
    fs::current_path(dir_);
    auto in_cwd = load_config();
    ASSERT_TRUE(in_cwd.has_value());
    EXPECT_EQ(*in_cwd, Config{});

    point_at(dir_ / "no" / "such" / "dir" / "config.toml");
    auto missing_dir = load_config();
    ASSERT_TRUE(missing_dir.has_value());
    EXPECT_EQ(*missing_dir, Config{});
}

TEST_F(LoadFromDisk, EmptyFileMeansDefaults) {
    point_at(write("empty.toml", ""));
    auto config = load_config();
    ASSERT_TRUE(config.has_value()) << config.error().display();
    EXPECT_EQ(*config, Config{});
}

TEST_F(LoadFromDisk, UserFileIsLaidOverDefaults) {
    fs::current_path(dir_);
    write("config.toml", "# mine\npoints = 2001\n");
    ::unsetenv("VORLIX_CONFIG");
    auto config = load_config();
    ASSERT_TRUE(config.has_value()) << config.error().display();
    Config expected;
    expected.points = 2001;
    EXPECT_EQ(*config, expected);
}

TEST_F(LoadFromDisk, UnreadableFileIsIoError) {
    point_at(dir_);  // a directory opens but cannot be read
    auto config = load_config();
    ASSERT_FALSE(config.has_value());
    EXPECT_NE(config.error().get_if<ConfigError::Io>(), nullptr);
    EXPECT_EQ(config.error().display(), "configuration I/O: Is a directory (os error 21)");
}

TEST_F(LoadFromDisk, NonUtf8IsIoErrorNotTomlError) {
    const char* bad[] = {"points = 1 # \xFF", "port = \"\xC0\x80\"", "port = \"\xED\xA0\x80\"",
                         "port = \"\xF4\x90\x80\x80\"", "port = \"\xE2\x82\""};
    for (const char* bytes : bad) {
        point_at(write("bad.toml", bytes));
        auto config = load_config();
        ASSERT_FALSE(config.has_value()) << bytes;
        EXPECT_EQ(config.error().display(), "configuration I/O: stream did not contain valid UTF-8");
        EXPECT_EQ(config.error().debug(),
                  "Io(Custom { kind: InvalidData, error: \"stream did not contain valid UTF-8\" })");
    }
}

// A file far past the size bound is refused from its first bytes: neither
// an endless device nor a huge sparse file is read whole.
TEST_F(LoadFromDisk, OversizeFileIsRefusedFromItsStart) {
    const std::size_t bound = 256 * 1024;
    const fs::path sparse = write("sparse.toml", "");
    fs::resize_file(sparse, std::uintmax_t{3} << 30);
    // The read ends inside a two-byte letter; the letter at the bound is whole.
    std::string letters = "port = 'x";
    while (letters.size() < 2 * bound) letters += "\u00e9";
    struct Case {
        const char* name;
        fs::path path;
        std::size_t column;
    } cases[] = {
        {"endless_zeros", "/dev/zero", bound + 1},
        {"sparse_3_gib", sparse, bound + 1},
        {"read_ends_inside_a_letter", write("letters.toml", letters), 9 + (bound - 10) / 2 + 1},
    };
    for (const Case& c : cases) {
        point_at(c.path);
        auto config = load_config();
        ASSERT_FALSE(config.has_value()) << c.name;
        const std::string shown = config.error().display();
        EXPECT_TRUE(shown.starts_with("invalid configuration: TOML parse error at line 1, column " +
                                      std::to_string(c.column) + "\n"))
            << c.name << ": " << shown.substr(0, 80);
        EXPECT_TRUE(shown.ends_with("^\nexceeded maximum size of 262144 bytes\n")) << c.name;
    }
    // Where the line of the bound ends within the bytes read, the message
    // is the one the whole text gives.
    std::string text = "port = \"" + std::string(bound - 9, 'x') + "\u00e9\"\n";
    while (text.size() < 2 * bound) text += "# more\n";
    point_at(write("long.toml", text));
    auto config = load_config();
    ASSERT_FALSE(config.has_value());
    EXPECT_EQ(config.error().display(), load_config_text(text).error().display());
}

TEST(ErrorForms, DebugAndSource) {
    auto validation = load_config_text("[logging]\nfilter = \"\"");
    ASSERT_FALSE(validation.has_value());
    EXPECT_EQ(validation.error().debug(), "Validation(\"logging.filter must not be empty\")");
    EXPECT_FALSE(validation.error().source().has_value());

    auto parse = load_config_text("[serial]\ntimeout_ms = true");
    ASSERT_FALSE(parse.has_value());
    EXPECT_EQ(parse.error().debug(),
              "Parse(TomlError { message: \"invalid type: boolean `true`, expected u64\", keys: [\"serial\", "
              "\"timeout_ms\"] })");
    ASSERT_TRUE(parse.error().source().has_value());
    EXPECT_EQ(parse.error().source()->display(),
              "invalid type: boolean `true`, expected u64\nin `serial.timeout_ms`\n");
    EXPECT_EQ(parse.error().source()->debug(), parse.error().get_if<ConfigError::Parse>()->error.debug());
}

TEST(EmbeddedDefaults, Layout) {
    std::istringstream lines{std::string(EMBEDDED_DEFAULTS)};
    std::string line, previous = "x";
    int comments = 0;
    while (std::getline(lines, line)) {
        if (line.starts_with("#")) {
            EXPECT_TRUE(line.starts_with("# ")) << line;
            ++comments;
        }
        // Blank lines only separate tables.
        if (previous.empty()) {
            EXPECT_TRUE(line.starts_with("[")) << line;
        }
        previous = line;
    }
    EXPECT_EQ(comments, 16);
    EXPECT_TRUE(EMBEDDED_DEFAULTS.ends_with("directory = \".\"\n"));
    EXPECT_FALSE(EMBEDDED_DEFAULTS.ends_with("\n\n"));
}

TEST(EmbeddedDefaults, BothRoadsReadTheRecordDefaults) {
    EXPECT_EQ(embedded_config(), Config{});
    auto file_road = load_config_text("");
    ASSERT_TRUE(file_road.has_value());
    EXPECT_EQ(*file_road, Config{});
}

TEST(EmbeddedDefaults, BrokenTextStopsTheProgram) {
    EXPECT_DEATH(config_from_defaults(std::string(EMBEDDED_DEFAULTS) + "zzz = 1\n"),
                 "embedded configuration must be valid: .*unknown field `zzz`");
    EXPECT_DEATH(config_from_defaults("port = "), "embedded configuration must be valid");
}

// The document form reads keys in document order and has its own rules for
// enumerations and date-times.
struct DocumentCase {
    const char* name;
    const char* extra;    // appended to the default text
    const char* message;  // nullptr: read succeeds with backend tcp
};

const DocumentCase DOCUMENT_CASES[] = {
    {"inline_variant_table",
     "[connection]\nbackend = {tcp = {}}\ntcp_address = \"127.0.0.1:7355\"\ntcp_timeout_ms = 3000\n",
     nullptr},
    {"standard_variant_table",
     "[connection]\ntcp_address = \"127.0.0.1:7355\"\ntcp_timeout_ms = 3000\n[connection.backend.tcp]\n",
     nullptr},
    {"empty_standard_table",
     "[connection]\ntcp_address = \"127.0.0.1:7355\"\ntcp_timeout_ms = 3000\n[connection.backend]\n",
     "expected table with exactly 1 entry, found empty table"},
    {"integer_variant",
     "[connection]\nbackend = 1\ntcp_address = \"127.0.0.1:7355\"\ntcp_timeout_ms = 3000\n",
     "wanted string or table"},
    {"datetime_text", "[connection]\nbackend = \"tcp\"\ntcp_address = 1979-05-27\ntcp_timeout_ms = 3000\n",
     "invalid type: map, expected a string"},
    {"document_order", "[connection]\ntcp_timeout_ms = true\nbackend = 1\ntcp_address = \"127.0.0.1:7355\"\n",
     "invalid type: boolean `true`, expected u64"},
};

TEST(DocumentRead, Forms) {
    std::string base(EMBEDDED_DEFAULTS);
    // Drop the default [connection] table so each case supplies its own.
    const auto from = base.find("[connection]");
    const auto to = base.find("[serial]");
    base.erase(from, to - from);
    for (const DocumentCase& c : DOCUMENT_CASES) {
        auto doc = parse_toml(base + c.extra);
        ASSERT_TRUE(doc.has_value()) << c.name << ": " << doc.error().display();
        auto config = deserialize_from_document(*doc);
        if (c.message == nullptr) {
            ASSERT_TRUE(config.has_value()) << c.name << ": " << config.error().display();
            EXPECT_EQ(config->connection.backend, Backend::Tcp) << c.name;
        } else {
            ASSERT_FALSE(config.has_value()) << c.name;
            EXPECT_EQ(config.error().message(), c.message) << c.name;
        }
    }
}

}  // namespace
}  // namespace vorlix::config
