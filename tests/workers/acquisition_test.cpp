#include "workers/acquisition.hpp"

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/log.hpp"
#include "workers/setup.hpp"
#include "workers/sim_fixture.hpp"

using namespace vorlix::workers;
using namespace vorlix::workers::test;
using vorlix::instrument::ScanRequest;
namespace sim = vorlix::sim;

namespace {

struct Seen {
    std::string status;
    std::uint64_t progress;
    ScanPhase phase;
    bool operator==(const Seen&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Seen& s) {
    return os << "{" << s.status << ", " << s.progress << ", " << scan_phase_name(s.phase) << "}";
}

class LogCapture {
public:
    LogCapture() {
        vorlix::base::set_log_sink([this](const vorlix::base::Record& r) {
            std::lock_guard lock(mutex_);
            records_.push_back(std::string(r.target) + " " + std::to_string(int(r.level)) + " " +
                               std::string(r.text));
        });
    }
    ~LogCapture() { vorlix::base::set_log_sink({}); }
    std::vector<std::string> records() const {
        std::lock_guard lock(mutex_);
        return records_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> records_;
};

struct ScanRun {
    std::vector<Seen> states;
    AcquisitionShared final;
};

ScanRun run_scan(vorlix::config::Config config, const ScanRequest& request) {
    auto shared = make_acquisition_shared();
    // Only ever touched under the record's lock, by whichever thread holds it.
    auto states = std::make_shared<std::vector<Seen>>();
    shared->set_observer([states](AcquisitionShared& r) {
        push_changed(*states, Seen{r.status, r.progress, r.phase});
    });
    run_acquisition(std::move(config), shared, request);
    ScanRun run;
    shared->with_lock([&](AcquisitionShared& r) {
        run.states = *states;
        run.final = r;
    });
    return run;
}

const ScanRequest DEFAULT_REQUEST{240'000'000, 800'000'000, 2001, 1};

class SingleScanOverLink : public testing::TestWithParam<Link> {};

}  // namespace

TEST_P(SingleScanOverLink, WholeScanReportsEveryStageAndSavesTheFrame) {
    TempDir out;
    auto server = start_sim(GetParam(), sim::Options{});
    ASSERT_TRUE(server);
    ScanRun run = run_scan(sim_config(*server, GetParam(), out.path(), DEFAULT_REQUEST), DEFAULT_REQUEST);

    ASSERT_EQ(run.final.phase, ScanPhase::Complete) << run.final.error.value_or("");
    ASSERT_TRUE(run.final.saved_path.has_value());
    const std::string saved = *run.final.saved_path;
    const std::vector<Seen> expected = {
        {"Opening connection", 0, ScanPhase::Running},     {"Identifying instrument", 0, ScanPhase::Running},
        {"Identifying instrument", 5, ScanPhase::Running}, {"Configuring scan", 5, ScanPhase::Running},
        {"Configuring scan", 20, ScanPhase::Running},      {"Acquiring samples", 20, ScanPhase::Running},
        {"Acquiring samples", 71, ScanPhase::Running},  // 4097 of 6005 frame bytes
        {"Acquiring samples", 95, ScanPhase::Running},     {"Acquisition complete", 95, ScanPhase::Running},
        {"Acquisition complete", 99, ScanPhase::Running},  {"Writing CSV", 99, ScanPhase::Running},
        {"Saved " + saved, 100, ScanPhase::Complete},
    };
    EXPECT_EQ(run.states, expected);
    EXPECT_TRUE(run.final.info.starts_with("Detected tinySA Ultra family ZS405 (native raw offset 174 dB)\n"))
        << run.final.info;
    EXPECT_FALSE(run.final.error.has_value());

    std::vector<std::string> commands = SETUP_COMMANDS;
    commands.push_back("scanraw 240000000 800000000 2001");
    commands.push_back("resume");
    EXPECT_EQ(server->commands(), commands);

    const auto decoded = decode_frame(server->last_frame(), DEFAULT_REQUEST, 174);
    EXPECT_EQ(run.final.samples, decoded);
    EXPECT_EQ(fs::path(saved).parent_path(), out.path());
    EXPECT_EQ(read_file(saved), csv_text(decoded));
    EXPECT_EQ(files_in(out.path()).size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Links, SingleScanOverLink, testing::Values(Link::Tcp, Link::Pty),
                         [](const auto& param_info) {
                             return param_info.param == Link::Tcp ? "Tcp" : "Pty";
                         });

TEST(SingleScan, RetriesABlankIdentificationOnce) {
    TempDir out;
    sim::Options options;
    options.faults.blank_command = "version";
    options.faults.blank_times = 1;
    auto server = start_sim(Link::Tcp, options);
    ASSERT_TRUE(server);
    LogCapture logs;
    ScanRun run = run_scan(sim_config(*server, Link::Tcp, out.path(), DEFAULT_REQUEST), DEFAULT_REQUEST);
    ASSERT_EQ(run.final.phase, ScanPhase::Complete) << run.final.error.value_or("");
    ASSERT_GE(run.states.size(), 4u);
    EXPECT_EQ(run.states[2], (Seen{"Identifying instrument", 5, ScanPhase::Running}));
    EXPECT_EQ(run.states[3], (Seen{"Retrying instrument identification", 5, ScanPhase::Running}));
    EXPECT_EQ(run.states[4], (Seen{"Configuring scan", 5, ScanPhase::Running}));
    const auto commands = server->commands();
    ASSERT_GE(commands.size(), 5u);
    EXPECT_EQ(std::vector<std::string>(commands.begin(), commands.begin() + 5),
              (std::vector<std::string>{"version", "info", "version", "info", "help"}));
    const auto records = logs.records();
    EXPECT_TRUE(contains(records,
                         "vorlix::acquisition 2 instrument identification failed; retrying "
                         "once: the instrument returned an empty version or info reply"));
    // Each diagnostic reply goes to the debug log under its command's name.
    for (std::string_view diagnostic : {"leveloffset: ", "vbat: ", "usart_cfg: ", "threads: ", "marker: "}) {
        EXPECT_TRUE(std::any_of(records.begin(), records.end(), [&](const std::string& r) {
            return r.starts_with("vorlix::acquisition 4 " + std::string(diagnostic));
        })) << diagnostic;
    }
    EXPECT_FALSE(std::any_of(records.begin(), records.end(),
                             [](const std::string& r) { return r.starts_with("vorlix::scan"); }));
}

namespace {

struct FaultCase {
    std::string name;
    std::function<void(sim::Options&)> fault = [](sim::Options&) {};
    std::function<void(vorlix::config::Config&, ScanRequest&)> tweak = [](auto&, auto&) {};
    std::string error;  // the stored text; with `prefix_only`, how it starts
    bool prefix_only = false;
    std::string status;  // the last stage reached
    std::uint64_t progress;
    std::vector<std::string> commands;  // exactly the commands received, in order
};

std::vector<std::string> setup_upto(std::string_view last) {
    std::vector<std::string> out;
    for (const auto& c : SETUP_COMMANDS) {
        out.push_back(c);
        if (c == last) break;
    }
    return out;
}

std::vector<std::string> with(std::vector<std::string> list, std::vector<std::string> more) {
    list.insert(list.end(), more.begin(), more.end());
    return list;
}

const std::string SCANRAW = "scanraw 240000000 800000000 2001";

std::vector<FaultCase> fault_cases() {
    return {
        {.name = "invalid configuration",
         .tweak = [](auto& c, auto&) { c.serial.timeout_ms = 0; },
         .error = "invalid configuration: serial.timeout_ms must be in 1..=600000",
         .status = "Opening connection",
         .progress = 0,
         .commands = {}},
        {.name = "invalid request",
         .tweak = [](auto&, auto& r) { r.points = 1; },
         .error = "invalid scan request: points must be 2..=1000001 and repeat 1..=1000",
         .status = "Opening connection",
         .progress = 0,
         .commands = {}},
        {.name = "identification blank twice",
         .fault =
             [](auto& o) {
                 o.faults.blank_command = "info";
                 o.faults.blank_times = 2;
             },
         .error = "the instrument returned an empty version or info reply",
         .status = "Retrying instrument identification",
         .progress = 5,
         .commands = {"version", "info", "version", "info"}},
        {.name = "link lost on info is not retried",
         .fault =
             [](auto& o) {
                 o.faults.disconnect_command = "info";
                 o.faults.disconnect_after_bytes = 0;
             },
         .error = "serial transport: failed to fill whole buffer",
         .status = "Identifying instrument",
         .progress = 5,
         .commands = {"version", "info"}},
        {.name = "configured model differs",
         .tweak = [](auto& c, auto&) { c.scan.device_model = vorlix::config::DeviceModel::Basic; },
         .error = "configured model tinySA Basic does not match detected tinySA Ultra family",
         .status = "Identifying instrument",
         .progress = 5,
         .commands = {"version", "info"}},
        {.name = "range above the model's ceiling",
         .tweak =
             [](auto& c, auto& r) {
                 r.stop_hz = 900'000'000;
                 c.stop_frequency = 900;
             },
         .error =
             "invalid scan request: extended acquisition currently requires an explicitly detected ZS406",
         .status = "Identifying instrument",
         .progress = 5,
         .commands = {"version", "info"}},
        {.name = "help lacks resume",
         .fault = [](auto& o) { o.faults.help_omit = {"resume"}; },
         .error = "tinySA Ultra family firmware does not advertise required command \"resume\"",
         .status = "Identifying instrument",
         .progress = 5,
         .commands = {"version", "info", "help"}},
        {.name = "zero read back differs",
         .fault = [](auto& o) { o.faults.zero_readback = 128; },
         .error = "raw-level offset readback is 128 dB after requesting 174 dB",
         .status = "Configuring scan",
         .progress = 5,
         .commands = setup_upto("zero")},
        {.name = "sweep stop rejected",
         .fault = [](auto& o) { o.faults.reject_command = "sweep stop"; },
         .error = "device rejected \"sweep stop 800000000\": ",
         .prefix_only = true,
         .status = "Configuring scan",
         .progress = 20,
         .commands = with(setup_upto("sweep stop 800000000"), {"resume"})},
        {.name = "frame without closing brace",
         .fault = [](auto& o) { o.faults.missing_end = true; },
         .error = "raw scan is missing its closing brace",
         .status = "Acquiring samples",
         .progress = 95,
         .commands = with(SETUP_COMMANDS, {SCANRAW, "resume"})},
        {.name = "frame error and resume rejected",
         .fault =
             [](auto& o) {
                 o.faults.missing_end = true;
                 o.faults.reject_command = "resume";
             },
         .error = "raw scan is missing its closing brace; additionally, resume failed: device rejected "
                  "\"resume\": ",
         .prefix_only = true,
         .status = "Acquiring samples",
         .progress = 95,
         .commands = with(SETUP_COMMANDS, {SCANRAW, "resume"})},
        {.name = "resume rejected after a good frame",
         .fault = [](auto& o) { o.faults.reject_command = "resume"; },
         .error = "device rejected \"resume\": ",
         .prefix_only = true,
         .status = "Acquiring samples",
         .progress = 95,
         .commands = with(SETUP_COMMANDS, {SCANRAW, "resume"})},
        {.name = "instrument falls silent during the frame",
         .fault = [](auto& o) { o.faults.stall_command = "scanraw"; },
         .tweak = [](auto& c, auto&) { c.connection.tcp_timeout_ms = vorlix::test::SILENCE_TIMEOUT_MS; },
         .error = "serial transport: ",
         .prefix_only = true,
         .status = "Acquiring samples",
         .progress = 20,
         .commands = with(SETUP_COMMANDS, {SCANRAW})},
    };
}

}  // namespace

TEST(SingleScan, FailuresStopAtTheirStage) {
    for (const FaultCase& c : fault_cases()) {
        SCOPED_TRACE(c.name);
        TempDir out;
        auto server = start_sim_with(Link::Tcp, c.fault);
        ASSERT_TRUE(server);
        ScanRequest request = DEFAULT_REQUEST;
        auto config = sim_config(*server, Link::Tcp, out.path(), request);
        c.tweak(config, request);
        LogCapture logs;
        ScanRun run = run_scan(config, request);

        EXPECT_EQ(run.final.phase, ScanPhase::Failed);
        const std::string error = run.final.error.value_or("<none>");
        EXPECT_TRUE(error_matches(error, c.error, c.prefix_only));
        EXPECT_EQ(run.final.status, c.status);
        EXPECT_EQ(run.final.progress, c.progress);
        EXPECT_FALSE(run.final.samples.has_value());
        EXPECT_FALSE(run.final.saved_path.has_value());
        EXPECT_EQ(server->commands(), c.commands);
        EXPECT_TRUE(files_in(out.path()).empty());
        EXPECT_EQ(logs.records().back(), "vorlix::scan 1 " + error);
    }
}

TEST(SingleScan, TimedOutFrameThenSilentResumeKeepsBothErrors) {
    TempDir out;
    sim::Options options;
    options.faults.stall_command = "scanraw";
    auto server = start_sim(Link::Tcp, options);
    ASSERT_TRUE(server);
    auto config = sim_config(*server, Link::Tcp, out.path(), DEFAULT_REQUEST);
    config.connection.tcp_timeout_ms = vorlix::test::SILENCE_TIMEOUT_MS;
    ScanRun run = run_scan(config, DEFAULT_REQUEST);
    const std::string error = run.final.error.value_or("");
    EXPECT_NE(error.find("; additionally, resume failed: serial transport: "), std::string::npos) << error;
}

TEST(SingleScan, ConnectionRefused) {
    TempDir out;
    std::uint16_t closed_port;
    {
        auto server = sim::Server::start_tcp({});
        ASSERT_TRUE(server);
        closed_port = server->port();
    }
    auto server = sim::Server::start_tcp({});
    auto config = sim_config(*server, Link::Tcp, out.path(), DEFAULT_REQUEST);
    config.connection.tcp_address = "127.0.0.1:" + std::to_string(closed_port);
    ScanRun run = run_scan(config, DEFAULT_REQUEST);
    EXPECT_EQ(run.final.error, "TCP connection: Connection refused (os error 111)");
    EXPECT_EQ(run.final.status, "Opening connection");
}

TEST(SingleScan, FailedCsvWriteKeepsNoSamples) {
    TempDir out;
    auto server = start_sim(Link::Tcp, {});
    ASSERT_TRUE(server);
    std::ofstream(out.path() / "file") << "x";
    auto config = sim_config(*server, Link::Tcp, out.path() / "file" / "scans", DEFAULT_REQUEST);
    ScanRun run = run_scan(config, DEFAULT_REQUEST);
    EXPECT_EQ(run.final.phase, ScanPhase::Failed);
    EXPECT_EQ(run.final.error, "I/O: Not a directory (os error 20)");
    EXPECT_EQ(run.final.status, "Writing CSV");
    EXPECT_EQ(run.final.progress, 99u);
    EXPECT_FALSE(run.final.samples.has_value());
    EXPECT_EQ(server->commands().back(), "resume");
}

TEST(InstrumentDescription, FamilyRevisionNativeOffsetThenRawReplies) {
    using vorlix::instrument::DeviceIdentity;
    using vorlix::instrument::HardwareRevision;
    const vorlix::instrument::ScanProfile basic{"mode low input", 128, false};
    const vorlix::instrument::ScanProfile ultra{"mode low input", 174, false};
    const struct {
        DeviceIdentity identity;
        vorlix::instrument::ScanProfile profile;
        std::string text;
    } cases[] = {
        {{" version\r\ntinySA4_v1.4\r\nHW Version:V0.4.6.1\r\n", " info\r\nZS406\r\n", true,
          HardwareRevision::ZS406},
         ultra,
         "Detected tinySA Ultra family ZS406 (native raw offset 174 dB)\n"
         " version\r\ntinySA4_v1.4\r\nHW Version:V0.4.6.1\r\n info\r\nZS406\r\n"},
        {{"tinySA_v1.4\n", "tinySA v0.3\n", false, std::nullopt},
         basic,
         "Detected tinySA Basic (native raw offset 128 dB)\ntinySA_v1.4\ntinySA v0.3\n"},
        {{"V", "I", true, std::nullopt},
         ultra,
         "Detected tinySA Ultra family (native raw offset 174 dB)\nVI"},
    };
    for (const auto& c : cases) EXPECT_EQ(instrument_description(c.identity, c.profile), c.text);
}

TEST(SingleScan, SetUpFollowsTheInstrument) {
    const std::string SCANRAW_CMD = "scanraw 240000000 800000000 2001";
    const struct {
        std::string name;
        std::function<void(sim::Options&)> instrument;
        std::function<void(vorlix::config::Config&)> tweak = [](auto&) {};
        std::string first_line;     // of the instrument description
        std::string version_reply;  // a line of the version reply, shown before the info reply
        std::string zero_command;
        double decode_offset;
        std::vector<std::string> commands = {};  // when given, exactly the commands received
    } cases[] = {
        {.name = "ZS406",
         .instrument = [](auto& o) { o.model = sim::Model::UltraZS406; },
         .first_line = "Detected tinySA Ultra family ZS406 (native raw offset 174 dB)",
         .version_reply = "HW Version:V0.4.6.1",
         .zero_command = "zero 174",
         .decode_offset = 174},
        {.name = "Basic with a configured offset shows its native one",
         .instrument = [](auto& o) { o.model = sim::Model::Basic; },
         .tweak =
             [](auto& c) {
                 c.scan.auto_zero_offset = false;
                 c.scan.zero_offset = 100;
             },
         .first_line = "Detected tinySA Basic (native raw offset 128 dB)",
         .version_reply = "tinySA_v1.4-175-g1419a93",
         .zero_command = "zero 100",
         .decode_offset = 100},
        {.name = "help without vbat skips only that diagnostic",
         .instrument = [](auto& o) { o.faults.help_omit = {"vbat"}; },
         .first_line = "Detected tinySA Ultra family ZS405 (native raw offset 174 dB)",
         .version_reply = "HW Version:V0.4.5.1.1",
         .zero_command = "zero 174",
         .decode_offset = 174,
         .commands = with(setup_upto("leveloffset"),
                          {"usart_cfg", "threads", "marker", "repeat 1", "zero 174", "zero", "pause",
                           "mode low input", "sweep start 240000000", "sweep stop 800000000", "sweep",
                           "scan 240000000 800000000 290 101", SCANRAW_CMD, "resume"})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir out;
        auto server = start_sim_with(Link::Tcp, c.instrument);
        ASSERT_TRUE(server);
        auto config = sim_config(*server, Link::Tcp, out.path(), DEFAULT_REQUEST);
        c.tweak(config);
        ScanRun run = run_scan(config, DEFAULT_REQUEST);
        ASSERT_EQ(run.final.phase, ScanPhase::Complete) << run.final.error.value_or("");

        ASSERT_TRUE(run.final.info.starts_with(c.first_line + "\n")) << run.final.info;
        const std::string replies = run.final.info.substr(c.first_line.size() + 1);
        const auto version_at = replies.find(c.version_reply);
        const auto info_at = replies.find("Copyright (C) 2019-2024");
        EXPECT_TRUE(version_at != std::string::npos && info_at != std::string::npos && version_at < info_at)
            << replies;
        EXPECT_TRUE(contains(server->commands(), c.zero_command));
        EXPECT_EQ(run.final.samples, decode_frame(server->last_frame(), DEFAULT_REQUEST, c.decode_offset));
        if (!c.commands.empty()) {
            EXPECT_EQ(server->commands(), c.commands);
        }
    }
}
