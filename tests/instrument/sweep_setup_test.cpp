#include "instrument/sweep_setup.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "instrument/fake_stream.hpp"
#include "instrument/shell.hpp"

namespace vorlix::instrument {
namespace {

using std::chrono::milliseconds;
using Commands = std::vector<std::string>;

constexpr milliseconds COMMAND_DELAY{20};
constexpr milliseconds SETTLE_DELAY{200};
constexpr std::uint64_t SCAN_DELAY_MS = 2000;

const ScanProfile BASIC_LOW{"mode low input", 128, false, false};
const ScanProfile ZS406_ULTRA{"mode low input", 174, true, true};

// An instrument that answers each command with the output given for it,
// or with no output, after the echo.
AcquisitionError rejected(std::string command, std::string response) {
    return TransportError(TransportError::CommandRejected{std::move(command), std::move(response)});
}

struct ScriptedInstrument {
    std::map<std::string, std::string> outputs;
    fake::FakeScript script;
    Commands received;

    ScriptedInstrument() {
        script.respond = [this](std::string_view command) {
            received.emplace_back(command);
            auto found = outputs.find(std::string(command));
            return fake::instrument_reply(command, found == outputs.end() ? "" : found->second);
        };
    }
};

TEST(CheckRequiredCommands, FirstMissingWordInOrder) {
    const std::string all = "help\r\nrepeat zero pause mode sweep scanraw resume ultra scan\r\n";
    struct Case {
        const char* name;
        std::string help;
        bool ultra_mode;
        bool legacy;
        std::optional<std::string> missing;
    };
    const Case cases[] = {
        {"everything", all, true, true, std::nullopt},
        {"neither_ultra_nor_scan", "repeat zero pause mode sweep scanraw resume", true, true, "ultra"},
        {"resume_before_ultra", "repeat zero pause mode sweep scanraw", true, true, "resume"},
        {"scan_needed_with_legacy", "repeat zero pause mode sweep scanraw resume", false, true, "scan"},
        {"scan_not_needed_without", "repeat zero pause mode sweep scanraw resume", false, false,
         std::nullopt},
        {"ultra_not_needed_without_mode", "repeat zero pause mode sweep scanraw resume scan", false, true,
         std::nullopt},
        {"case_and_punctuation", "Repeat, ZERO; Pause, mode|sweep scanraw(resume)", false, false,
         std::nullopt},
        {"plural_is_not_listed", "repeat zero pause mode sweeps scanraw resume", false, false, "sweep"},
        {"first_word", "", false, false, "repeat"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto result = check_required_commands(c.help, InstrumentFamily::Ultra, c.ultra_mode, c.legacy);
        if (!c.missing) {
            EXPECT_TRUE(result.has_value()) << result.error().debug();
            continue;
        }
        ASSERT_FALSE(result.has_value());
        EXPECT_EQ(result.error(),
                  AcquisitionError(AcquisitionError::MissingCommand{InstrumentFamily::Ultra, *c.missing}));
    }
    const auto missing = check_required_commands("", InstrumentFamily::Ultra, true, true);
    ASSERT_FALSE(missing.has_value());
    EXPECT_EQ(missing.error().display(),
              "tinySA Ultra family firmware does not advertise required command \"repeat\"");
}

TEST(ConfigureZeroOffset, HandshakeAndReadback) {
    struct Case {
        const char* name;
        std::map<std::string, std::string> outputs;
        std::uint16_t offset;
        Commands commands;
        std::optional<AcquisitionError> error;
    };
    const Commands full = {"repeat 3", "zero 150", "zero"};
    const Case cases[] = {
        {"confirmed", {{"zero", "150dBm\r\n"}}, 150, full, std::nullopt},
        {"usage_line_before_offset",
         {{"zero", "usage: zero {level}\r\n150dBm\r\n"}},
         150,
         full,
         std::nullopt},
        {"mismatch", {{"zero", "174dBm\r\n"}}, 150, full, AcquisitionError::ZeroReadbackMismatch{150, 174}},
        {"missing",
         {{"zero", "usage: zero {level}\r\n"}},
         150,
         full,
         AcquisitionError::MissingZeroReadback{150}},
        {"separate_unit_is_missing",
         {{"zero", "150 dBm\r\n"}},
         150,
         full,
         AcquisitionError::MissingZeroReadback{150}},
        {"rejected_offset_stops",
         {{"zero 150", "error: out of range\r\n"}},
         150,
         {"repeat 3", "zero 150"},
         rejected("zero 150", " zero 150\r\nerror: out of range\r\n")},
        {"rejected_repeat_stops",
         {{"repeat 3", "unknown command: repeat\r\n"}},
         150,
         {"repeat 3"},
         rejected("repeat 3", " repeat 3\r\nunknown command: repeat\r\n")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedInstrument instrument;
        instrument.outputs = c.outputs;
        instrument.script.reply(" ");  // the blank after the previous prompt
        ShellConnection shell = instrument.script.shell();
        const auto result =
            configure_zero_offset(shell, {0, 10, 101, 3}, c.offset, COMMAND_DELAY, SETTLE_DELAY);
        EXPECT_EQ(instrument.received, c.commands);
        if (c.error) {
            ASSERT_FALSE(result.has_value());
            EXPECT_EQ(result.error(), *c.error) << result.error().debug();
        } else {
            EXPECT_TRUE(result.has_value()) << result.error().debug();
        }
    }
}

TEST(ConfigureZeroOffset, PausesAroundEachCommand) {
    ScriptedInstrument instrument;
    instrument.outputs["zero"] = "128dBm\r\n";
    ShellConnection shell = instrument.script.shell();
    ASSERT_TRUE(configure_zero_offset(shell, {0, 10, 101, 1}, 128, COMMAND_DELAY, SETTLE_DELAY));
    const std::vector<milliseconds> expected = {COMMAND_DELAY, SETTLE_DELAY,  COMMAND_DELAY,
                                                SETTLE_DELAY,  COMMAND_DELAY, SETTLE_DELAY};
    EXPECT_EQ(instrument.script.pauses, expected);
    EXPECT_EQ(instrument.script.written, "repeat 1\rzero 128\rzero\r");
}

struct SweepCase {
    const char* name;
    ScanRequest request;
    ScanProfile profile;
    bool legacy;
    std::map<std::string, std::string> outputs;
    Commands commands;
    std::optional<AcquisitionError> error;
};

const ScanRequest ULTRA_RANGE{100000, 5400000000, 450, 1};
const ScanRequest BASIC_RANGE{240000000, 350000000, 101, 1};
const Commands ULTRA_COMMANDS = {"pause",
                                 "mode low input",
                                 "ultra on",
                                 "sweep start 100000",
                                 "sweep stop 5400000000",
                                 "sweep",
                                 "scan 100000 5400000000 290 101"};
const std::string ULTRA_READBACK = "100000 5400000000 450\r\n";

const SweepCase SWEEP_CASES[] = {
    {"ultra_mode_with_text_scan",
     ULTRA_RANGE,
     ZS406_ULTRA,
     true,
     {{"sweep", ULTRA_READBACK}},
     ULTRA_COMMANDS,
     std::nullopt},
    {"ultra_mode_without_text_scan",
     ULTRA_RANGE,
     ZS406_ULTRA,
     false,
     {{"sweep", ULTRA_READBACK}},
     Commands(ULTRA_COMMANDS.begin(), ULTRA_COMMANDS.end() - 1),
     std::nullopt},
    {"readback_first_line_decides",
     ULTRA_RANGE,
     ZS406_ULTRA,
     true,
     {{"sweep", "100000 5399999999 450\r\n100000 5400000000 450\r\n"}},
     Commands(ULTRA_COMMANDS.begin(), ULTRA_COMMANDS.end() - 1),
     AcquisitionError::SweepReadbackMismatch{100000, 5400000000,
                                             " sweep\r\n100000 5399999999 450\r\n100000 5400000000 450\r\n"}},
    {"readback_one_number_per_line",
     ULTRA_RANGE,
     ZS406_ULTRA,
     true,
     {{"sweep", "start 100000\r\nstop 5400000000\r\n"}},
     Commands(ULTRA_COMMANDS.begin(), ULTRA_COMMANDS.end() - 1),
     AcquisitionError::SweepReadbackMismatch{100000, 5400000000,
                                             " sweep\r\nstart 100000\r\nstop 5400000000\r\n"}},
    {"no_readback_check_without_ultra_mode",
     BASIC_RANGE,
     BASIC_LOW,
     true,
     {{"sweep", "garbage\r\n"}},
     {"pause", "mode low input", "sweep start 240000000", "sweep stop 350000000", "sweep",
      "scan 240000000 350000000 290 101"},
     std::nullopt},
    {"rejected_stop_sends_nothing_more",
     BASIC_RANGE,
     BASIC_LOW,
     true,
     {{"sweep stop 350000000", "usage: sweep {start(Hz)} [stop(Hz)]\r\n"}},
     {"pause", "mode low input", "sweep start 240000000", "sweep stop 350000000"},
     rejected("sweep stop 350000000", " sweep stop 350000000\r\nusage: sweep {start(Hz)} [stop(Hz)]\r\n")},
    {"rejected_sweep_query",
     BASIC_RANGE,
     BASIC_LOW,
     false,
     {{"sweep", "error: busy\r\n"}},
     {"pause", "mode low input", "sweep start 240000000", "sweep stop 350000000", "sweep"},
     rejected("sweep", " sweep\r\nerror: busy\r\n")},
    {"rejected_text_scan",
     BASIC_RANGE,
     BASIC_LOW,
     true,
     {{"scan 240000000 350000000 290 101", "error: no\r\n"}},
     {"pause", "mode low input", "sweep start 240000000", "sweep stop 350000000", "sweep",
      "scan 240000000 350000000 290 101"},
     rejected("scan 240000000 350000000 290 101", " scan 240000000 350000000 290 101\r\nerror: no\r\n")},
};

TEST(ConfigureSweep, CommandOrderAndReadback) {
    for (const SweepCase& c : SWEEP_CASES) {
        SCOPED_TRACE(c.name);
        ScriptedInstrument instrument;
        instrument.outputs = c.outputs;
        instrument.script.reply(" ");
        ShellConnection shell = instrument.script.shell();
        const auto result = configure_sweep(shell, c.request, c.legacy, SCAN_DELAY_MS,
                                            SweepPacing{COMMAND_DELAY, SETTLE_DELAY, c.profile});
        EXPECT_EQ(instrument.received, c.commands);
        if (c.error) {
            ASSERT_FALSE(result.has_value());
            EXPECT_EQ(result.error(), *c.error) << result.error().debug();
        } else {
            EXPECT_TRUE(result.has_value()) << result.error().debug();
        }
    }
}

TEST(ConfigureSweep, TextScanWaitsTheScanDelay) {
    struct Case {
        std::uint64_t scan_delay_ms;
        milliseconds waited;
    };
    const Case cases[] = {
        {SCAN_DELAY_MS, milliseconds{SCAN_DELAY_MS}},
        {0, milliseconds{0}},
        // Beyond the duration type: the longest wait, never a wrapped negative one.
        {UINT64_MAX, milliseconds::max()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.scan_delay_ms);
        ScriptedInstrument instrument;
        ShellConnection shell = instrument.script.shell();
        ASSERT_TRUE(configure_sweep(shell, BASIC_RANGE, true, c.scan_delay_ms,
                                    SweepPacing{COMMAND_DELAY, SETTLE_DELAY, BASIC_LOW}));
        std::vector<milliseconds> expected;
        for (int i = 0; i < 5; ++i) {
            expected.push_back(COMMAND_DELAY);
            expected.push_back(SETTLE_DELAY);
        }
        if (c.waited.count() > 0) {
            expected.push_back(c.waited);
        }
        expected.push_back(SETTLE_DELAY);
        EXPECT_EQ(instrument.script.pauses, expected);
    }
}

TEST(ConfigureSweep, ReadFailureSkipsSecondPause) {
    fake::FakeScript script;  // silent: every read times out
    ShellConnection shell = script.shell();
    const auto result = configure_sweep(shell, BASIC_RANGE, true, SCAN_DELAY_MS,
                                        SweepPacing{COMMAND_DELAY, SETTLE_DELAY, BASIC_LOW});
    ASSERT_FALSE(result.has_value());
    const auto* transport = result.error().get_if<AcquisitionError::Transport>();
    ASSERT_NE(transport, nullptr);
    ASSERT_NE(transport->error.io_error(), nullptr);
    EXPECT_EQ(transport->error.io_error()->kind(), base::IoErrorKind::TimedOut);
    EXPECT_EQ(script.written, "pause\r");
    EXPECT_EQ(script.pauses, std::vector<milliseconds>{COMMAND_DELAY});
}

}  // namespace
}  // namespace vorlix::instrument
