// The ways the program ends before or without the full-screen interface,
// run as a plain process: what reaches standard output and standard
// error, and the exit status.

#include "e2e/e2e_fixture.hpp"

namespace vorlix::e2e {
namespace {

class ExitTest : public E2eTest {
protected:
    std::size_t log_files() const {
        std::size_t n = 0;
        for (const auto& e : fs::directory_iterator(dir.path())) n += e.path().extension() == ".log";
        return n;
    }
};

struct ExitCase {
    const char* name;
    std::vector<std::string> args;
    std::string config;  // written as config.toml unless empty
    int status;
    std::string out;
    std::string err;  // the whole text, or its start when `err_prefix`
    bool err_prefix;
};

constexpr std::string_view VALID_CSV = "1,-5\n2,-6\n";

TEST_F(ExitTest, StatusAndReports) {
    const std::vector<ExitCase> cases = {
        {"help ignores a broken configuration",
         {"-h"},
         "port = 5\n",
         0,
         "vorlix [--live | --view SCAN.csv | SCAN.csv]\n\nWith no option, acquire one scan. --live repeats "
         "complete snapshots until stopped. With a CSV path, open the plot renderer directly.\n",
         "",
         false},
        {"unknown option",
         {"--bogus"},
         "",
         1,
         "",
         "Error: Usage(\"usage: vorlix [--live | --view SCAN.csv | SCAN.csv]\")\n",
         false},
        {"live with more",
         {"--live", "x"},
         "",
         1,
         "",
         "Error: Usage(\"usage: vorlix [--live | --view SCAN.csv | SCAN.csv]\")\n",
         false},
        {"missing viewer file",
         {"missing.csv"},
         "",
         1,
         "",
         "Error: Csv { path: \"missing.csv\", source: Os { code: 2, kind: NotFound, message: \"No such file "
         "or "
         "directory\" } }\n",
         false},
        {"broken configuration",
         {"valid.csv"},
         "points = \"many\"\n",
         1,
         "",
         "Cannot load config.toml: ",
         true},
        // The configuration comes first: the viewer's file is never opened.
        {"broken configuration and a missing viewer file",
         {"missing.csv"},
         "points = \"many\"\n",
         1,
         "",
         "Cannot load config.toml: ",
         true},
        // No controlling terminal at all: the take-over fails before it
        // writes anything, and the run ends with the I/O error.
        {"no terminal",
         {"valid.csv"},
         "",
         1,
         "",
         "Error: Io(Custom { kind: Uncategorized, error: \"cannot open the controlling terminal /dev/tty: ",
         true},
    };
    for (const ExitCase& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(dir.path() / "config.toml");
        if (!c.config.empty()) write_text(dir.path() / "config.toml", c.config);
        write_text(dir.path() / "valid.csv", VALID_CSV);
        std::vector<std::string> argv = {vorlix_binary().string()};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        const Finished r = run_process(argv, dir.path());
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.out, c.out);
        if (c.err_prefix) {
            EXPECT_EQ(r.err.substr(0, c.err.size()), c.err) << r.err;
        } else {
            EXPECT_EQ(r.err, c.err);
        }
        // Help and usage errors never start the logger.
        if (c.status == 0 || c.err.starts_with("Error: Usage")) {
            EXPECT_EQ(log_files(), 0u);
        }
    }
}

TEST_F(ExitTest, ABrokenConfigurationPrintsTwoLines) {
    write_text(dir.path() / "config.toml", "[ui]\npoll_interval_ms = 0\n");
    write_text(dir.path() / "valid.csv", VALID_CSV);
    const Finished r = run_process({vorlix_binary().string(), "valid.csv"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "Cannot load config.toml: invalid configuration: ui.poll_interval_ms must be in 1..=1000\n"
              "Error: Config(Validation(\"ui.poll_interval_ms must be in 1..=1000\"))\n");
}

// A configuration whose error text carries a NUL: the load error reaches
// standard error whole, the NUL shown escaped, and the exit report follows
// on its own line.
TEST_F(ExitTest, ReportLinesShowEmbeddedNulsEscaped) {
    using namespace std::string_literals;
    const std::vector<std::string> files = {
        "points = 2001\n\0garbage = = =\n"s,
        "[connection]\nbackend = \"TCP\\u0000more\"\n",
    };
    write_text(dir.path() / "valid.csv", VALID_CSV);
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        write_text(dir.path() / "config.toml", file);
        const Finished r = run_process({vorlix_binary().string(), "valid.csv"}, dir.path());
        EXPECT_EQ(r.status, 1);
        // The load error (its display may span lines), then the report on
        // a line of its own.
        EXPECT_TRUE(r.err.starts_with("Cannot load config.toml: ")) << r.err;
        const std::size_t report = r.err.find("\nError: Config(");
        ASSERT_NE(report, std::string::npos) << r.err;
        EXPECT_EQ(r.err.find('\0'), std::string::npos) << r.err;
        EXPECT_NE(r.err.substr(0, report).find("\\0"), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find('\n', report + 1), r.err.size() - 1) << r.err;
        EXPECT_TRUE(r.err.ends_with("\n"));
    }
}

}  // namespace
}  // namespace vorlix::e2e
