// Each injectable fault, byte for byte, so a test of the program can predict
// the exact error it must report.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "sim/session.hpp"
#include "sim/spectrum.hpp"

namespace vorlix::sim {
namespace {

using test::Session;

const std::string frame_line = "scanraw 240000000 800000000 2";

// The two records a fault-free instrument sends for the sweep with this index.
std::string clean_records(std::uint64_t sweep_index) {
    Session s;
    std::string out;
    for (std::uint64_t i = 0; i <= sweep_index; ++i) out = s.run(frame_line);
    return out.substr(frame_line.size() + 3, 6);
}

const std::string version_reply = "version\r\ntinySA4_v1.4-143-g864bb27\r\nHW Version:V0.4.5.1.1 \r\nch> ";

struct Case {
    const char* name;
    std::function<void(Faults&)> fault;
    std::vector<std::string> before;  // lines whose output is not examined
    std::string line;
    std::function<std::string()> expected;
    std::string after_line;      // then this line ...
    std::string after_expected;  // ... must give this
    bool closed = false;
};

TEST(SimFaults, EachFaultChangesExactlyTheRepliesItNames) {
    const std::string echo = frame_line + "\r\n";
    const std::vector<Case> cases{
        {"blank version once",
         [](Faults& f) { f.blank_command = "version"; },
         {},
         "version",
         [] { return std::string("\r\nch> "); },
         "version",
         version_reply},
        {"blank info twice",
         [](Faults& f) {
             f.blank_command = "info";
             f.blank_times = 2;
         },
         {"info"},
         "info",
         [] { return std::string("\r\nch> "); },
         "version",
         version_reply},
        {"rejected sweep stop",
         [](Faults& f) { f.reject_command = "sweep stop"; },
         {},
         "sweep stop 100000000",
         [] { return std::string("sweep stop 100000000\r\nerror: command rejected\r\nch> "); },
         "sweep",
         "sweep\r\n0 800000000 450\r\nch> "},
        {"rejected bare sweep only",
         [](Faults& f) { f.reject_command = "sweep$"; },
         {},
         "sweep start 100000",
         [] { return std::string("sweep start 100000\r\nch> "); },
         "sweep",
         "sweep\r\nerror: command rejected\r\nch> "},
        {"rejected resume with usage",
         [](Faults& f) {
             f.reject_command = "resume";
             f.reject_reply = "usage: resume";
         },
         {},
         "resume",
         [] { return std::string("resume\r\nusage: resume\r\nch> "); },
         "pause",
         "pause\r\nch> "},
        {"missing closing brace",
         [](Faults& f) { f.missing_end = true; },
         {},
         frame_line,
         [&] { return echo + "{" + clean_records(0) + "ch> "; },
         "",
         ""},
        {"one record short",
         [](Faults& f) { f.record_delta = -1; },
         {},
         frame_line,
         [&] { return echo + "{" + clean_records(0).substr(0, 3) + "}ch> "; },
         "",
         ""},
        {"one record extra",
         [](Faults& f) { f.record_delta = 1; },
         {},
         frame_line,
         [&] {
             const std::uint16_t raw = encode_level(NOISE_FLOOR_DBM, 174);
             return echo + "{" + clean_records(0) + "x" + char(raw & 0xff) + char(raw >> 8) + "}ch> ";
         },
         "",
         ""},
        {"garbage before the frame",
         [](Faults& f) { f.garbage_before_frame = "junk\r\n}>"; },
         {},
         frame_line,
         [&] { return echo + "junk\r\n}>{" + clean_records(0) + "}ch> "; },
         "",
         ""},
        {"aborted sweep",
         [](Faults& f) { f.abort_after_records = 1; },
         {},
         frame_line,
         [&] { return echo + "{" + clean_records(0).substr(0, 3) + "}"; },
         "version",
         version_reply},
        {"frame fault from the second sweep",
         [](Faults& f) {
             f.missing_end = true;
             f.frame_faults_from_sweep = 1;
         },
         {frame_line},
         frame_line,
         [&] { return echo + "{" + clean_records(1) + "ch> "; },
         "",
         ""},
        {"stall after zero",
         [](Faults& f) { f.stall_command = "zero"; },
         {},
         "zero",
         [] { return std::string("zero"); },
         "version",
         ""},
        {"disconnect inside the frame",
         [](Faults& f) {
             f.disconnect_after_bytes = 8;
             f.disconnect_command = "scanraw";
         },
         {"version"},
         frame_line,
         [&] { return frame_line + "\r\n{" + clean_records(0).substr(0, 5); },
         "version",
         ""},
    };
    for (const auto& c : cases) {
        Options o;
        c.fault(o.faults);
        Session s(o);
        for (const auto& line : c.before) s.run(line);
        EXPECT_EQ(s.run(c.line), c.expected()) << c.name;
        if (!c.after_line.empty()) {
            EXPECT_EQ(s.run(c.after_line), c.after_expected) << c.name;
        }
        EXPECT_EQ(s.closed, std::string(c.name).starts_with("disconnect")) << c.name;
    }
}

TEST(SimFaults, BlankReplyWithholdsOnlyTheEchoOfLinesThatMayGetIt) {
    struct EchoCase {
        std::string command, typed, echoed;
    };
    const std::vector<EchoCase> cases{
        {"version", "inf", "inf"},           {"version", "vers", ""}, {"version", "version 1", ""},
        {"version", "versionx", "versionx"}, {"sweep$", "sweep", ""}, {"sweep$", "sweep ", "sweep "},
    };
    for (const auto& c : cases) {
        Options o;
        o.faults.blank_command = c.command;
        Session s(o);
        EXPECT_EQ(s.type(c.typed), c.echoed) << c.command << " / " << c.typed;
    }
}

TEST(SimFaults, FrameFaultsAreVisibleInTheLastFrame) {
    Options o;
    o.faults.missing_end = true;
    o.faults.garbage_before_frame = "??";
    Session s(o);
    s.run(frame_line);
    const auto& frame = s.ledger.last_frame;
    EXPECT_EQ(std::string(frame.begin(), frame.end()), "??{" + clean_records(0));
}

TEST(SimFaults, DisconnectCountsFromTheGreeting) {
    Options o;
    o.faults.disconnect_after_bytes = 32;
    Session s(o);
    EXPECT_EQ(s.greeting, "\r\ntinySA Shell\r\nch> ");  // 20 of the 32 bytes
    EXPECT_FALSE(s.closed);
    EXPECT_EQ(s.run("version"), "version\r\ntin");
    EXPECT_TRUE(s.closed);
    EXPECT_EQ(s.run("version"), "");
}

TEST(SimFaults, HelpDocumentsExactlyTheFaultsThatParse) {
    const std::vector<std::string> names{
        "blank",     "blank-times", "reject",           "reject-reply",      "zero-readback", "zero-missing",
        "help-omit", "missing-end", "record-delta",     "garbage",           "abort",         "from-sweep",
        "stall",     "disconnect",  "disconnect-after", "sweep-stop-offset",
    };
    const std::vector<std::pair<std::string, std::string>> samples{
        {"CMD", "zero"}, {"N", "3"}, {"TEXT", "x"}, {"WORD", "x"}};
    std::vector<std::string> documented;
    std::istringstream help(fault_help());
    for (std::string line; std::getline(help, line);) {
        if (!line.starts_with("  ")) continue;
        const std::string entry = line.substr(2, line.find(' ', 2) - 2);
        const auto eq = entry.find('=');
        documented.push_back(entry.substr(0, eq));
        std::string spec = entry.substr(0, eq);
        if (eq != std::string::npos) {
            const auto kind = std::find_if(samples.begin(), samples.end(),
                                           [&](const auto& s) { return s.first == entry.substr(eq + 1); });
            ASSERT_NE(kind, samples.end()) << line;
            spec += "=" + kind->second;
        }
        Faults f;
        std::string error;
        EXPECT_TRUE(apply_fault(spec, f, error)) << spec << ": " << error;
    }
    EXPECT_EQ(documented, names);
}

TEST(SimFaults, ParsesFaultNames) {
    struct NameCase {
        std::string spec;
        bool ok;
        std::function<bool(const Faults&)> check;
    };
    const std::vector<NameCase> cases{
        {"blank=version", true,
         [](const Faults& f) { return f.blank_command == "version" && f.blank_times == 1; }},
        {"blank-times=2", true, [](const Faults& f) { return f.blank_times == 2; }},
        {"reject=sweep stop", true, [](const Faults& f) { return f.reject_command == "sweep stop"; }},
        {"reject-reply=usage: x", true, [](const Faults& f) { return f.reject_reply == "usage: x"; }},
        {"zero-readback=128", true, [](const Faults& f) { return f.zero_readback == 128u; }},
        {"zero-missing", true, [](const Faults& f) { return f.zero_readback_missing; }},
        {"help-omit=resume", true,
         [](const Faults& f) { return f.help_omit == std::vector<std::string>{"resume"}; }},
        {"from-sweep=3", true, [](const Faults& f) { return f.frame_faults_from_sweep == 3; }},
        {"missing-end", true, [](const Faults& f) { return f.missing_end; }},
        {"record-delta=-2", true, [](const Faults& f) { return f.record_delta == -2; }},
        {"record-delta=+1", true, [](const Faults& f) { return f.record_delta == 1; }},
        {"garbage=9", true,
         [](const Faults& f) {
             return f.garbage_before_frame.size() == 9 &&
                    f.garbage_before_frame.find('{') == std::string::npos;
         }},
        {"abort=5", true, [](const Faults& f) { return f.abort_after_records == 5u; }},
        {"stall=zero", true, [](const Faults& f) { return f.stall_command == "zero"; }},
        {"disconnect=100", true, [](const Faults& f) { return f.disconnect_after_bytes == 100u; }},
        {"disconnect-after=scanraw", true, [](const Faults& f) { return f.disconnect_command == "scanraw"; }},
        {"sweep-stop-offset=-1", true, [](const Faults& f) { return f.sweep_stop_offset == -1; }},
        {"missing-end=1", false, nullptr},
        {"zero-readback=x", false, nullptr},
        {"blank=", false, nullptr},
        {"disconnect", false, nullptr},
        {"explode", false, nullptr},
    };
    for (const auto& c : cases) {
        Faults f;
        std::string error;
        EXPECT_EQ(apply_fault(c.spec, f, error), c.ok) << c.spec;
        if (c.ok) {
            EXPECT_TRUE(c.check(f)) << c.spec;
        } else {
            EXPECT_FALSE(error.empty()) << c.spec;
        }
    }
}

}  // namespace
}  // namespace vorlix::sim
