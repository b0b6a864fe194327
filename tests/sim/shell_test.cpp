// Byte-exact behaviour of one simulated shell session, driven without I/O.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "sim/session.hpp"

namespace vorlix::sim {
namespace {

using test::body;
using test::Session;
using test::with_model;

TEST(SimShell, GreetsWithBannerAndPrompt) {
    Session s;
    EXPECT_EQ(s.greeting, "\r\ntinySA Shell\r\nch> ");
}

TEST(SimShell, EchoesPrintableBytesAndEndsLinesWithCrLf) {
    struct Case {
        std::string input, output;
        std::vector<std::string> logged;
    };
    const std::string long_line(47, 'y');
    const std::vector<Case> cases{
        {"abc\r", "abc\r\nabc?\r\nch> ", {"abc"}},
        {"a\tb\nc\x7f\x01\r", "abc\r\nabc?\r\nch> ", {"abc"}},
        {"\xc3\xa9x\r", "x\r\nx?\r\nch> ", {"x"}},
        {"\r", "\r\nch> ", {}},
        {"\r\n", "\r\nch> ", {}},
        {std::string(60, 'y') + "\r", long_line + "\r\n" + long_line + "?\r\nch> ", {long_line}},
        {"ab", "ab", {}},
        {"foo bar\r", "foo bar\r\nfoo?\r\nch> ", {"foo bar"}},
        {"  \r", "  \r\nch> ", {"  "}},
    };
    for (const auto& c : cases) {
        Session s;
        EXPECT_EQ(s.type(c.input), c.output) << c.input;
        std::lock_guard lock(s.ledger.mutex);
        EXPECT_EQ(s.ledger.commands, c.logged) << c.input;
    }
}

std::string lower(std::string text) {
    for (char& ch : text)
        if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
    return text;
}

TEST(SimShell, IdentifiesAsEachModel) {
    struct Case {
        Model model;
        bool omit;
        std::string version;  // reply body
        std::string info_first;
        const char* revision;  // marker family expected, or nullptr
    };
    const std::vector<Case> cases{
        {Model::Basic, false, "tinySA_v1.4-175-g1419a93\r\n", "tinySA v0.3", nullptr},
        {Model::UltraZS405, false, "tinySA4_v1.4-143-g864bb27\r\nHW Version:V0.4.5.1.1 \r\n",
         "tinySA ULTRA ZS405", "zs405"},
        {Model::UltraZS405, true, "tinySA4_v1.4-143-g864bb27\r\n", "tinySA ULTRA", nullptr},
        {Model::UltraZS406, false, "tinySA4_v1.4-143-g864bb27\r\nHW Version:V0.4.6.1 \r\n",
         "tinySA ULTRA+ ZS406", "zs406"},
        {Model::UltraZS407, false, "tinySA4_v1.4-143-g864bb27\r\nHW Version:V0.5.4 \r\n",
         "tinySA ULTRA+ ZS407", "zs407"},
    };
    const std::vector<std::pair<std::string, std::vector<std::string>>> markers{
        {"zs405", {"zs405", "hw version:v0.4.5.1"}},
        {"zs406", {"zs406", "hw version:v0.4.6"}},
        {"zs407", {"zs407", "hw version:v0.5.3", "hw version:v0.5.4"}},
    };
    for (const auto& c : cases) {
        Session s(with_model(c.model, c.omit));
        const std::string version = body("version", s.run("version"));
        const std::string info = body("info", s.run("info"));
        EXPECT_EQ(version, c.version);
        EXPECT_TRUE(info.starts_with(c.info_first + "\r\n")) << info;
        EXPECT_GE(std::count(info.begin(), info.end(), '\n'), 8) << info;
        const std::string all = lower(version + "\n" + info);
        const bool ultra = c.model != Model::Basic;
        EXPECT_EQ(all.find("tinysa ultra") != std::string::npos, ultra) << all;
        EXPECT_EQ(lower(version).starts_with("tinysa4_v"), ultra);
        EXPECT_EQ(lower(version).starts_with("tinysa_v"), !ultra);
        for (const auto& [name, needles] : markers) {
            const bool found = std::any_of(needles.begin(), needles.end(), [&](const std::string& n) {
                return all.find(n) != std::string::npos;
            });
            EXPECT_EQ(found, c.revision && name == c.revision) << name << " in " << all;
        }
    }
}

// Whole words as a listing reader would cut them: runs of letters, digits, '_'.
std::vector<std::string> words_of(const std::string& text) {
    std::vector<std::string> words;
    std::string word;
    for (char ch : text + " ") {
        if (std::isalnum(static_cast<unsigned char>(ch)) || ch == '_') {
            word += ch;
        } else if (!word.empty()) {
            words.push_back(std::exchange(word, {}));
        }
    }
    return words;
}

bool lists(const std::string& text, const std::string& word) {
    const auto w = words_of(text);
    return std::find(w.begin(), w.end(), word) != w.end();
}

TEST(SimShell, HelpListsTheCommandsOfEachFamily) {
    const std::vector<std::string> always{"repeat", "zero",      "pause",   "mode",  "sweep", "scanraw",
                                          "resume", "scan",      "version", "info",  "help",  "leveloffset",
                                          "vbat",   "usart_cfg", "threads", "marker"};
    for (Model model : {Model::Basic, Model::UltraZS405, Model::UltraZS406, Model::UltraZS407}) {
        Session s(with_model(model));
        const std::string help = body("help", s.run("help"));
        const bool ultra = model != Model::Basic;
        EXPECT_TRUE(help.starts_with("commands: ")) << help;
        EXPECT_EQ(help.find("\r\nOther commands: ") != std::string::npos, ultra) << help;
        EXPECT_EQ(std::count(help.begin(), help.end(), '\n'), ultra ? 2 : 1) << help;
        for (const auto& w : always) EXPECT_TRUE(lists(help, w)) << w << " in " << help;
        EXPECT_EQ(lists(help, "ultra"), ultra);
        // Every listed command is one the shell answers.
        for (const auto& w : words_of(help)) {
            if (w == "commands" || w == "Other") continue;
            EXPECT_NE(body(w, s.run(w)), w + "?\r\n") << w;
        }
    }
    Options o = with_model(Model::UltraZS406);
    o.faults.help_omit = {"scanraw", "ultra"};
    Session s(o);
    const std::string help = body("help", s.run("help"));
    EXPECT_FALSE(lists(help, "scanraw"));
    EXPECT_FALSE(lists(help, "ultra"));
    EXPECT_TRUE(lists(help, "scan"));
}

TEST(SimShell, SetupCommandsAnswerOnlyWhereTheInstrumentDoes) {
    struct Case {
        Model model;
        std::string line, reply;
    };
    const std::vector<Case> cases{
        {Model::Basic, "repeat 5", ""},
        {Model::UltraZS405, "repeat 0", "usage: repeat {1..1000}\r\n"},
        {Model::Basic, "pause", ""},
        {Model::UltraZS405, "resume", ""},
        {Model::Basic, "zero 128", ""},
        {Model::Basic, "mode low input", ""},
        {Model::Basic, "mode high input", ""},
        {Model::UltraZS405, "mode low input", ""},
        {Model::UltraZS405, "mode high input", "usage: mode [low] input|output\r\n"},
        {Model::UltraZS406, "ultra on", ""},
        {Model::Basic, "ultra on", "ultra?\r\n"},
        {Model::UltraZS406, "sweep start 100000", ""},
        {Model::UltraZS406, "sweep stop 900000000", ""},
        {Model::UltraZS406, "sweep stop x",
         "usage: sweep {start(Hz)} [stop(Hz)] [points]\r\n"
         "\tsweep {start|stop|center|span} {freq(Hz)}\r\n"},
    };
    for (const auto& c : cases) {
        Session s(with_model(c.model));
        EXPECT_EQ(s.run(c.line), c.line + "\r\n" + c.reply + "ch> ");
    }
}

TEST(SimShell, ZeroReportsTheOffsetInForce) {
    struct Case {
        Model model;
        std::function<void(Faults&)> fault;
        std::vector<std::string> before;
        std::string reply;
    };
    auto none = [](Faults&) {};
    const std::vector<Case> cases{
        {Model::Basic, none, {}, "usage: zero {level}\r\n128dBm\r\n"},
        {Model::UltraZS405, none, {}, "usage: zero {level}\r\n174dBm\r\n"},
        {Model::UltraZS405, none, {"zero 150"}, "usage: zero {level}\r\n150dBm\r\n"},
        {Model::UltraZS405, none, {"zero 70000"}, "usage: zero {level}\r\n174dBm\r\n"},
        {Model::UltraZS405,
         [](Faults& f) { f.zero_readback = 128; },
         {"zero 174"},
         "usage: zero {level}\r\n128dBm\r\n"},
        {Model::UltraZS405, [](Faults& f) { f.zero_readback_missing = true; }, {}, "usage: zero {level}\r\n"},
    };
    for (const auto& c : cases) {
        Options o = with_model(c.model);
        c.fault(o.faults);
        Session s(o);
        for (const auto& line : c.before) s.run(line);
        EXPECT_EQ(body("zero", s.run("zero")), c.reply);
    }
}

TEST(SimShell, SweepReadsBackWithinTheModelsCeiling) {
    struct Case {
        Model model;
        std::int64_t stop_offset;
        std::vector<std::string> lines;
        std::string reply;
    };
    const std::vector<Case> cases{
        {Model::UltraZS406,
         0,
         {"ultra on", "sweep start 100000", "sweep stop 5400000000"},
         "100000 5400000000 450"},
        {Model::UltraZS406, 0, {"sweep start 100000", "sweep stop 5400000000"}, "100000 900000000 450"},
        {Model::UltraZS406, 0, {"ultra on", "sweep stop 5400000000", "ultra off"}, "0 900000000 450"},
        {Model::UltraZS405, 0, {"ultra on", "sweep stop 5400000000"}, "0 800000000 450"},
        {Model::UltraZS407, 0, {"sweep 240000000 800000000 101"}, "240000000 800000000 101"},
        {Model::Basic, 0, {"sweep stop 2000000000"}, "0 960000000 290"},
        {Model::UltraZS406,
         -1,
         {"ultra on", "sweep start 100000", "sweep stop 5400000000"},
         "100000 5399999999 450"},
    };
    for (const auto& c : cases) {
        Options o = with_model(c.model);
        o.faults.sweep_stop_offset = c.stop_offset;
        Session s(o);
        for (const auto& line : c.lines) s.run(line);
        EXPECT_EQ(body("sweep", s.run("sweep")), c.reply + "\r\n");
    }
}

TEST(SimShell, TextScanPrintsOneLinePerPoint) {
    Session s;
    const std::string reply =
        body("scan 240000000 800000000 290 101", s.run("scan 240000000 800000000 290 101"));
    ASSERT_EQ(std::count(reply.begin(), reply.end(), '\n'), 290);
    const std::uint64_t step = 560'000'000 / 290;
    std::size_t pos = 0;
    for (std::uint64_t i = 0; i < 290; ++i) {
        const std::size_t end = reply.find("\r\n", pos);
        const std::string line = reply.substr(pos, end - pos);
        EXPECT_TRUE(line.starts_with(std::to_string(240'000'000 + i * step) + " -")) << line;
        pos = end + 2;
    }
    EXPECT_EQ(body("scan 5 1 3", s.run("scan 5 1 3")),
              "usage: scan {start(Hz)} {stop(Hz)} [points] [outmask]\r\n");
}

}  // namespace
}  // namespace vorlix::sim
