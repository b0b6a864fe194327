// The protocol layer end to end against the simulated instrument: the whole
// road of one acquisition over TCP and over a pseudo-terminal, and the
// faults the instrument can show with the exact text each one reports.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "config/record.hpp"
#include "instrument/identify.hpp"
#include "instrument/profile.hpp"
#include "instrument/scanraw.hpp"
#include "instrument/shell.hpp"
#include "instrument/sweep_setup.hpp"
#include "instrument/transport.hpp"
#include "sim/sim.hpp"
#include "sim/sim_link.hpp"

namespace vorlix::instrument {
namespace {

using std::chrono::milliseconds;
constexpr milliseconds NO_PAUSE{0};

using test::Link;
using test::start_sim;

struct Outcome {
    DeviceIdentity identity;
    ScanProfile profile;
    std::vector<Sample> samples;
};

struct Acquisition {
    std::expected<Outcome, AcquisitionError> result;
    std::optional<std::expected<std::string, TransportError>> resume;  // once the sweep set-up began
    std::vector<std::uint64_t> progress;
};

// One acquisition as a worker drives it, with every pause at zero.
Acquisition acquire(ShellConnection& shell, const ScanRequest& request, bool enable_ultra_mode) {
    Acquisition run{std::unexpected(AcquisitionError(AcquisitionError::MissingIdentity{})), std::nullopt, {}};
    auto fail = [&](AcquisitionError error) {
        run.result = std::unexpected(std::move(error));
        return std::move(run);
    };
    if (auto drained = drain_to_prompt(shell); !drained) return fail(drained.error());
    auto version = run_command(shell, "version", NO_PAUSE, NO_PAUSE);
    if (!version) return fail(version.error());
    auto info = run_command(shell, "info", NO_PAUSE, NO_PAUSE);
    if (!info) return fail(info.error());
    auto identity = identify_device(*version, *info);
    if (!identity) return fail(identity.error());
    auto profile = select_scan_profile(identity->is_ultra, identity->revision, request, enable_ultra_mode);
    if (!profile) return fail(RawScanError(RawScanError::InvalidRequest{profile.error()}));
    auto help = run_command(shell, "help", NO_PAUSE, NO_PAUSE);
    if (!help) return fail(help.error());
    if (auto listed = check_required_commands(*help, identity->family(), profile->ultra_mode, true);
        !listed) {
        return fail(listed.error());
    }
    if (auto zero = configure_zero_offset(shell, request, profile->zero_offset, NO_PAUSE, NO_PAUSE); !zero) {
        return fail(zero.error());
    }

    auto swept = configure_sweep(shell, request, true, 0, SweepPacing{NO_PAUSE, NO_PAUSE, *profile});
    std::expected<std::vector<Sample>, AcquisitionError> samples =
        std::unexpected(AcquisitionError::MissingIdentity{});
    if (swept) {
        samples = read_scanraw_frame(shell, request, profile->zero_offset, FrequencyAxis::Firmware,
                                     [&](std::uint64_t r, std::uint64_t n) {
                                         run.progress.push_back(scanraw_progress_percent(r, n));
                                     });
    } else {
        samples = std::unexpected(std::move(swept.error()));
    }
    run.resume = command_checked(shell, "resume", NO_PAUSE, NO_PAUSE);
    if (!samples) return fail(std::move(samples.error()));
    run.result = Outcome{std::move(*identity), *profile, std::move(*samples)};
    return run;
}

struct RoadCase {
    const char* name;
    sim::Model model;
    ScanRequest request;
    bool enable_ultra_mode;
    bool is_ultra;
    std::optional<HardwareRevision> revision;
    std::vector<std::string> commands;
};

const RoadCase ROAD_CASES[] = {
    {"basic_high_input",
     sim::Model::Basic,
     {240000000, 350000000, 101, 2},
     false,
     false,
     std::nullopt,
     {"version", "info", "help", "repeat 2", "zero 128", "zero", "pause", "mode high input",
      "sweep start 240000000", "sweep stop 350000000", "sweep", "scan 240000000 350000000 290 101",
      "scanraw 240000000 350000000 101", "resume"}},
    {"zs406_ultra_mode",
     sim::Model::UltraZS406,
     {100000, 5400000000, 10001, 1},
     true,
     true,
     HardwareRevision::ZS406,
     {"version", "info", "help", "repeat 1", "zero 174", "zero", "pause", "mode low input", "ultra on",
      "sweep start 100000", "sweep stop 5400000000", "sweep", "scan 100000 5400000000 290 101",
      "scanraw 100000 5400000000 10001", "resume"}},
};

class AgainstSim : public testing::TestWithParam<Link> {};

TEST_P(AgainstSim, MainRoad) {
    for (const RoadCase& c : ROAD_CASES) {
        SCOPED_TRACE(c.name);
        sim::Options options;
        options.model = c.model;
        auto server = start_sim(GetParam(), options);
        ASSERT_NE(server, nullptr);
        auto transport = open_transport(test::sim_connection(*server, GetParam(), test::ANSWERED_TIMEOUT_MS));
        ASSERT_TRUE(transport.has_value()) << transport.error().display();
        ShellConnection shell(std::move(*transport), 65536);

        Acquisition run = acquire(shell, c.request, c.enable_ultra_mode);
        ASSERT_TRUE(run.result.has_value()) << run.result.error().display();
        ASSERT_TRUE(run.resume.has_value());
        EXPECT_TRUE(run.resume->has_value()) << run.resume->error().display();
        EXPECT_EQ(server->commands(), c.commands);

        const Outcome& out = *run.result;
        EXPECT_EQ(out.identity.is_ultra, c.is_ultra);
        EXPECT_EQ(out.identity.revision, c.revision);
        const auto expected =
            decode_scanraw(server->last_frame(), c.request, out.profile.zero_offset, FrequencyAxis::Firmware);
        ASSERT_TRUE(expected.has_value());
        EXPECT_EQ(out.samples, *expected);
        EXPECT_EQ(out.samples.front().frequency_mhz, static_cast<double>(c.request.start_hz) / 1e6);
        ASSERT_FALSE(run.progress.empty());
        EXPECT_EQ(run.progress.back(), 95u);
    }
}

INSTANTIATE_TEST_SUITE_P(Links, AgainstSim, testing::Values(Link::Tcp, Link::Pty),
                         [](const testing::TestParamInfo<Link>& param_info) {
                             return param_info.param == Link::Tcp ? "Tcp" : "Pty";
                         });

struct FaultCase {
    const char* name;
    sim::Model model;
    ScanRequest request;
    sim::Options options;  // model filled in from `model`
    std::string error;     // the display text; empty when the run succeeds
};

sim::Options with(auto edit) {
    sim::Options options;
    edit(options);
    return options;
}

const ScanRequest ULTRA_WIDE{100000, 5400000000, 450, 1};
const ScanRequest ZS405_RANGE{100000, 800000000, 450, 1};

std::vector<FaultCase> fault_cases() {
    return {
        {"help_without_ultra", sim::Model::UltraZS406, ULTRA_WIDE,
         with([](sim::Options& o) { o.faults.help_omit = {"ultra"}; }),
         "tinySA Ultra family firmware does not advertise required command \"ultra\""},
        {"help_without_scan",
         sim::Model::Basic,
         {0, 300000000, 101, 1},
         with([](sim::Options& o) { o.faults.help_omit = {"scan"}; }),
         "tinySA Basic firmware does not advertise required command \"scan\""},
        {"zero_reads_back_other", sim::Model::UltraZS405, ZS405_RANGE,
         with([](sim::Options& o) { o.faults.zero_readback = 128; }),
         "raw-level offset readback is 128 dB after requesting 174 dB"},
        {"zero_reads_back_nothing", sim::Model::UltraZS405, ZS405_RANGE,
         with([](sim::Options& o) { o.faults.zero_readback_missing = true; }),
         "could not confirm the raw-level offset after configuring zero 174"},
        {"sweep_stop_rejected", sim::Model::UltraZS405, ZS405_RANGE,
         with([](sim::Options& o) { o.faults.reject_command = "sweep stop"; }),
         "device rejected \"sweep stop 800000000\":  sweep stop 800000000\r\nerror: command rejected\r\n"},
        {"ultra_range_not_confirmed", sim::Model::UltraZS406, ULTRA_WIDE,
         with([](sim::Options& o) { o.faults.sweep_stop_offset = -1; }),
         "ZS406 did not confirm the requested Ultra sweep 100000\u20135400000000 Hz; readback was "
         "\" sweep\\r\\n100000 5399999999 450\\r\\n\""},
        {"frame_without_closing_brace", sim::Model::UltraZS405, ZS405_RANGE,
         with([](sim::Options& o) { o.faults.missing_end = true; }), "raw scan is missing its closing brace"},
        {"frame_one_record_short", sim::Model::UltraZS405, ZS405_RANGE,
         with([](sim::Options& o) { o.faults.record_delta = -1; }), "raw scan is missing its closing brace"},
        {"frame_one_record_long", sim::Model::UltraZS405, ZS405_RANGE,
         with([](sim::Options& o) { o.faults.record_delta = 1; }), "raw scan is missing its closing brace"},
        {"garbage_before_frame_skipped", sim::Model::UltraZS405, ZS405_RANGE,
         with([](sim::Options& o) { o.faults.garbage_before_frame = std::string(65000, 'g'); }), ""},
        {"garbage_before_frame_too_long", sim::Model::UltraZS405, ZS405_RANGE,
         with([](sim::Options& o) { o.faults.garbage_before_frame = std::string(65536, 'g'); }),
         "serial response exceeds 65536 bytes"},
        {"link_drops_inside_frame", sim::Model::UltraZS405, ZS405_RANGE, with([](sim::Options& o) {
             o.faults.disconnect_command = "scanraw";
             o.faults.disconnect_after_bytes = 100;
         }),
         "serial transport: failed to fill whole buffer"},
        {"instrument_stalls_on_scanraw", sim::Model::UltraZS405, ZS405_RANGE,
         with([](sim::Options& o) { o.faults.stall_command = "scanraw"; }),
         "serial transport: Connection timed out (os error 110)"},
        {"unknown_identity",
         sim::Model::Basic,
         {0, 300000000, 101, 1},
         with([](sim::Options& o) {
             o.version_text = "hello";
             o.info_text = "world";
         }),
         "unsupported device identity; expected tinySA_v\u2026 or tinySA4_v\u2026 in version/info"},
        {"conflicting_identity", sim::Model::UltraZS405, ZS405_RANGE,
         with([](sim::Options& o) { o.info_text = "tinySA Basic"; }),
         "conflicting device identity: replies identify both tinySA Basic and Ultra"},
        {"range_needs_zs406",
         sim::Model::UltraZS405,
         {100000, 900000000, 450, 1},
         sim::Options{},
         "invalid scan request: extended acquisition currently requires an explicitly detected ZS406"},
    };
}

TEST(AgainstSimFaults, ExactErrorTexts) {
    for (FaultCase& c : fault_cases()) {
        SCOPED_TRACE(c.name);
        c.options.model = c.model;
        auto server = start_sim(Link::Tcp, c.options);
        ASSERT_NE(server, nullptr);
        config::Config config = test::sim_connection(*server, Link::Tcp, test::read_timeout_for(c.options));
        config.serial.max_response_bytes = 65536;
        auto transport = open_transport(config);
        ASSERT_TRUE(transport.has_value()) << transport.error().display();
        ShellConnection shell(std::move(*transport), config.serial.max_response_bytes);

        Acquisition run = acquire(shell, c.request, true);
        if (c.error.empty()) {
            EXPECT_TRUE(run.result.has_value()) << run.result.error().display();
        } else {
            ASSERT_FALSE(run.result.has_value());
            EXPECT_EQ(run.result.error().display(), c.error);
        }
    }
}

}  // namespace
}  // namespace vorlix::instrument
