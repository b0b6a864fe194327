#include "workers/live.hpp"

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "workers/history_sweeps.hpp"
#include "workers/sim_fixture.hpp"

using namespace vorlix::workers;
using namespace vorlix::workers::test;
using vorlix::instrument::Sample;
using vorlix::instrument::ScanRequest;
namespace sim = vorlix::sim;

namespace {

const ScanRequest LIVE_REQUEST{240'000'000, 800'000'000, 451, 1};
constexpr double ULTRA_OFFSET = 174;

// Plays the user's part from inside the record's lock, so each request lands
// at a known point of the capture however fast the worker sweeps. It runs on
// whichever thread holds the lock; its own state is only touched there.
struct Script {
    std::vector<std::string> statuses;        // every distinct status, in order
    std::vector<std::vector<Sample>> frames;  // the simulator's frame of each accepted sweep
    std::uint64_t seen_sweeps = 0;
    std::function<void(LiveShared&, std::uint64_t sweeps)> on_sweep = [](auto&, auto) {};
    std::function<void(LiveShared&)> on_running = [](auto&) {};
    std::string running_status = "Live capture running";  // the status that fires on_running
    bool running_seen = false;
};

struct LiveRun {
    LiveShared final;
    std::vector<std::string> statuses;
    std::vector<std::vector<Sample>> frames;
};

LiveRun run_live(const sim::Server& server, vorlix::config::Config config, Script script) {
    auto shared = make_live_shared();
    auto state = std::make_shared<Script>(std::move(script));
    shared->set_observer([state, &server](LiveShared& r) {
        if (r.phase == ScanPhase::Ready) return;  // the worker's first look, before its reset
        push_changed(state->statuses, r.status);
        if (!state->running_seen && r.status == state->running_status) {
            state->running_seen = true;
            state->on_running(r);
        }
        if (r.sweep_count != state->seen_sweeps) {
            state->seen_sweeps = r.sweep_count;
            state->frames.push_back(decode_frame(server.last_frame(), LIVE_REQUEST, ULTRA_OFFSET));
            state->on_sweep(r, r.sweep_count);
            push_changed(state->statuses, r.status);
        }
    });
    run_live_capture(std::move(config), shared, LIVE_REQUEST);
    LiveRun run;
    shared->with_lock([&](LiveShared& r) {
        run.final = r;
        run.statuses = state->statuses;
        run.frames = state->frames;
    });
    return run;
}

// What the user interface does on "s", on a trace key and on "q".
void ask_save(LiveShared& r) {
    r.pending_save = trace_points(r, r.trace_mode);
    r.status = "Save requested for the visible buffer";
}
void choose_trace(LiveShared& r, TraceMode mode) {
    r.trace_mode = mode;
    r.generation = saturating_increment(r.generation);
}
void ask_stop(LiveShared& r) {
    r.stop_requested = true;
    r.status = "Stopping after the current sweep";
}

std::vector<Sample> mean_of(const std::vector<std::vector<Sample>>& sweeps) {
    std::vector<Sample> out = sweeps.back();
    for (std::size_t i = 0; i < out.size(); ++i) {
        double sum = -0.0;
        for (const auto& s : sweeps) sum += s[i].level_dbm;
        out[i].level_dbm = sum / double(sweeps.size());
    }
    return out;
}

std::vector<Sample> max_of(const std::vector<std::vector<Sample>>& sweeps) {
    std::vector<Sample> out = sweeps.back();
    for (std::size_t i = 0; i < out.size(); ++i)
        for (const auto& s : sweeps) out[i].level_dbm = std::max(out[i].level_dbm, s[i].level_dbm);
    return out;
}

const std::string SCANRAW = "scanraw 240000000 800000000 451";

std::vector<std::string> setup_then(std::size_t sweeps, bool resume = true) {
    std::vector<std::string> out = SETUP_COMMANDS;
    out.insert(out.end(), sweeps, SCANRAW);
    if (resume) out.push_back("resume");
    return out;
}

class LiveOverLink : public testing::TestWithParam<Link> {};

}  // namespace

TEST_P(LiveOverLink, SavesOnRequestSwitchesTraceAndStops) {
    TempDir out;
    auto server = start_sim(GetParam(), {});
    ASSERT_TRUE(server);
    Script script;
    script.on_sweep = [](LiveShared& r, std::uint64_t sweeps) {
        if (sweeps == 2) ask_save(r);
        if (sweeps == 3) choose_trace(r, TraceMode::MaxHold);
        if (sweeps == 4) ask_stop(r);
    };
    LiveRun run = run_live(*server, sim_config(*server, GetParam(), out.path(), LIVE_REQUEST), script);

    ASSERT_EQ(run.final.phase, ScanPhase::Complete) << run.final.error.value_or("");
    EXPECT_FALSE(run.final.error.has_value());
    EXPECT_EQ(run.final.sweep_count, 4u);
    EXPECT_EQ(server->commands(), setup_then(4));
    ASSERT_EQ(run.frames.size(), 4u);

    const auto files = files_in(out.path());
    ASSERT_EQ(files.size(), 2u);
    // Names share one pattern; the final save sorts after the first.
    const std::string mid = files[0].string(), last = files[1].string();
    EXPECT_EQ(read_file(mid), csv_text(mean_of({run.frames[0], run.frames[1]})));
    EXPECT_EQ(read_file(last), csv_text(max_of(run.frames)));

    const std::vector<std::string> expected = {
        "Opening live connection",
        "Identifying instrument",
        "Configuring scan",
        "Live capture running",
        "Live capture \u2014 1 sweeps",
        "Live capture \u2014 2 sweeps",
        "Save requested for the visible buffer",
        "Saved " + mid + "; live capture continues",
        "Live capture \u2014 3 sweeps",
        "Live capture \u2014 4 sweeps",
        "Stopping after the current sweep",
        "Saved " + last + " and stopped live capture",
    };
    EXPECT_EQ(run.statuses, expected);
    EXPECT_TRUE(
        run.final.info.starts_with("Detected tinySA Ultra family ZS405 (native raw offset 174 dB)\n"));
}

INSTANTIATE_TEST_SUITE_P(Links, LiveOverLink, testing::Values(Link::Tcp, Link::Pty),
                         [](const auto& param_info) {
                             return param_info.param == Link::Tcp ? "Tcp" : "Pty";
                         });

TEST(LiveCapture, SaveAskedBeforeTheFirstSweepIsServedByIt) {
    TempDir out;
    auto server = start_sim(Link::Tcp, {});
    ASSERT_TRUE(server);
    Script script;
    script.on_running = [](LiveShared& r) { r.save_on_first_sweep = true; };
    script.on_sweep = [](LiveShared& r, std::uint64_t sweeps) {
        if (sweeps == 1) {
            EXPECT_TRUE(r.save_on_first_sweep);
        }
        if (sweeps == 2) {
            EXPECT_FALSE(r.save_on_first_sweep);
            ask_stop(r);
        }
    };
    LiveRun run = run_live(*server, sim_config(*server, Link::Tcp, out.path(), LIVE_REQUEST), script);
    ASSERT_EQ(run.final.phase, ScanPhase::Complete) << run.final.error.value_or("");
    const auto files = files_in(out.path());
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(read_file(files[0]), csv_text(run.frames[0]));
    EXPECT_EQ(read_file(files[1]), csv_text(mean_of(run.frames)));
    EXPECT_TRUE(contains(run.statuses, "Saved " + files[0].string() + "; live capture continues"));
}

namespace {

struct LiveFault {
    std::string name;
    std::function<void(sim::Options&)> fault = [](sim::Options&) {};
    std::function<void(vorlix::config::Config&, const fs::path& out)> tweak = [](auto&, auto&) {};
    Script script = {};
    ScanPhase phase;
    std::string error;  // "" when none; with `prefix_only`, how it starts
    bool prefix_only = false;
    std::string status;
    std::uint64_t sweeps;
    std::vector<std::string> commands;
    std::size_t files = 0;  // entries left in the output folder
};

Script stop_after(std::uint64_t n) {
    Script s;
    s.on_sweep = [n](LiveShared& r, std::uint64_t sweeps) {
        if (sweeps == n) ask_stop(r);
    };
    return s;
}

// A stop while the instrument is still being set up.
Script stop_during_setup() {
    Script s;
    s.running_status = "Configuring scan";
    s.on_running = [](LiveShared& r) { ask_stop(r); };
    return s;
}

Script save_first_sweep() {
    Script s;
    s.on_running = [](LiveShared& r) { r.save_on_first_sweep = true; };
    return s;
}

void unwritable(vorlix::config::Config& c, const fs::path& out) {
    std::ofstream(out / "file") << "x";
    c.output.directory = (out / "file" / "scans").string();
}

std::vector<LiveFault> live_faults() {
    return {
        {.name = "stop during the set-up",
         .script = stop_during_setup(),
         .phase = ScanPhase::Complete,
         .error = "",
         .status = "Live capture stopped before the first complete sweep",
         .sweeps = 0,
         .commands = setup_then(0)},
        {.name = "frame error on the second sweep",
         .fault =
             [](auto& o) {
                 o.faults.missing_end = true;
                 o.faults.frame_faults_from_sweep = 1;
             },
         .script = stop_after(5),
         .phase = ScanPhase::Failed,
         .error = "raw scan is missing its closing brace",
         .status = "Live capture \u2014 1 sweeps",
         .sweeps = 1,
         .commands = setup_then(2)},
        {.name = "frame error and resume rejected",
         .fault =
             [](auto& o) {
                 o.faults.missing_end = true;
                 o.faults.reject_command = "resume";
             },
         .script = stop_after(5),
         .phase = ScanPhase::Failed,
         .error = "raw scan is missing its closing brace; additionally, resume failed: device rejected "
                  "\"resume\": ",
         .prefix_only = true,
         .status = "Live capture running",
         .sweeps = 0,
         .commands = setup_then(1)},
        {.name = "resume rejected after a clean stop saves nothing",
         .fault = [](auto& o) { o.faults.reject_command = "resume"; },
         .script = stop_after(2),
         .phase = ScanPhase::Failed,
         .error = "device rejected \"resume\": ",
         .prefix_only = true,
         .status = "Stopping after the current sweep",
         .sweeps = 2,
         .commands = setup_then(2)},
        {.name = "failed save during the capture",
         .tweak = unwritable,
         .script = save_first_sweep(),
         .phase = ScanPhase::Failed,
         .error = "live capture: Not a directory (os error 20)",
         .status = "Stopping after the current sweep",
         .sweeps = 1,
         .commands = setup_then(1),
         .files = 1},
        {.name = "failed final save",
         .tweak = unwritable,
         .script = stop_after(1),
         .phase = ScanPhase::Failed,
         .error = "I/O: Not a directory (os error 20)",
         .status = "Stopping after the current sweep",
         .sweeps = 1,
         .commands = setup_then(1),
         .files = 1},
        {.name = "set-up failure sends no resume",
         .fault = [](auto& o) { o.faults.zero_readback = 128; },
         .phase = ScanPhase::Failed,
         .error = "raw-level offset readback is 128 dB after requesting 174 dB",
         .status = "Configuring scan",
         .sweeps = 0,
         .commands = {SETUP_COMMANDS.begin(), SETUP_COMMANDS.begin() + 11}},
        {.name = "rejected sweep set-up still resumes",
         .fault = [](auto& o) { o.faults.reject_command = "pause"; },
         .phase = ScanPhase::Failed,
         .error = "device rejected \"pause\": ",
         .prefix_only = true,
         .status = "Configuring scan",
         .sweeps = 0,
         .commands = {"version", "info", "help", "leveloffset", "vbat", "usart_cfg", "threads", "marker",
                      "repeat 1", "zero 174", "zero", "pause", "resume"}},
        {.name = "invalid configuration",
         .tweak = [](auto& c, auto&) { c.serial.max_response_bytes = 10; },
         .phase = ScanPhase::Failed,
         .error = "invalid configuration: serial.max_response_bytes must be in 256..=16777216",
         .status = "Opening live connection",
         .sweeps = 0,
         .commands = {}},
    };
}

}  // namespace

TEST(LiveCapture, FailuresAndEarlyStops) {
    for (const LiveFault& c : live_faults()) {
        SCOPED_TRACE(c.name);
        TempDir out;
        auto server = start_sim_with(Link::Tcp, c.fault);
        ASSERT_TRUE(server);
        auto config = sim_config(*server, Link::Tcp, out.path(), LIVE_REQUEST);
        c.tweak(config, out.path());
        LiveRun run = run_live(*server, config, c.script);

        EXPECT_EQ(run.final.phase, c.phase);
        const std::string error = run.final.error.value_or("");
        EXPECT_TRUE(error_matches(error, c.error, c.prefix_only));
        EXPECT_EQ(run.final.status, c.status);
        EXPECT_EQ(run.final.sweep_count, c.sweeps);
        EXPECT_EQ(server->commands(), c.commands);
        EXPECT_EQ(files_in(out.path()).size(), c.files);
    }
}

TEST(LiveSweepCheck, RejectsWhatCannotJoinTheHistory) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    SweepHistory stored;
    stored.push_back({{240.0, -50}, {240.5, -51}, {241.0, -52}});
    const struct {
        std::string name;
        Sweep sweep;
        bool with_history;
        std::optional<std::string> message;
    } cases[] = {
        {"empty first sweep", {}, false, "a live sweep cannot be empty"},
        {"first sweep is never compared", {{1, 2}}, false, std::nullopt},
        {"frequency NaN", {{240, -1}, {nan, -1}}, false, "live sweep contains a non-finite value at point 1"},
        {"level infinite", {{240, -inf}}, true, "live sweep contains a non-finite value at point 0"},
        {"more points",
         {{240, 1}, {240.5, 1}, {241, 1}, {241.5, 1}},
         true,
         "live sweep has 4 points; expected 3"},
        {"frequency moved",
         {{240, 1}, {240.5, 1}, {241.000001, 1}},
         true,
         "live sweep frequency changed at point 2: expected 241 MHz, got 241.000001 MHz"},
        {"same grid", {{240, 0}, {240.5, 0}, {241, 0}}, true, std::nullopt},
        {"level NaN",
         {{240, 1}, {240.5, nan}, {241, 1}},
         true,
         "live sweep contains a non-finite value at point 1"},
        {"extreme finite levels",
         {{240, std::numeric_limits<double>::max()},
          {240.5, std::numeric_limits<double>::lowest()},
          {241, std::numeric_limits<double>::denorm_min()}},
         true,
         std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(check_live_sweep(c.sweep, c.with_history ? stored : SweepHistory{}), c.message) << c.name;
    }
    // A zero of either sign is the same frequency, on either side.
    SweepHistory at_zero;
    at_zero.push_back({{0.0, -50}, {-0.0, -51}});
    EXPECT_EQ(check_live_sweep({{-0.0, -1}, {0.0, -1}}, at_zero), std::nullopt);
    EXPECT_EQ(check_live_sweep({{-0.0, -1}, {1.0, -1}}, at_zero),
              "live sweep frequency changed at point 1: expected -0 MHz, got 1 MHz");
}

namespace {

// A sweep of `points` points on one fixed grid from 240 MHz.
Sweep grid(std::size_t points) {
    Sweep s;
    for (std::size_t i = 0; i < points; ++i) s.push_back({240.0 + double(i) * 1.24, -70.0 - double(i % 7)});
    return s;
}

}  // namespace

TEST(LiveSweepTake, RejectionFailsTheCaptureAtOnce) {
    const struct {
        std::string name;
        bool after_first;  // a 451-point sweep was taken before
        Sweep sweep;
        std::optional<std::string> rejection;
    } cases[] = {
        {"first sweep is folded in", false, grid(451), std::nullopt},
        {"matching sweep is folded in", true, grid(451), std::nullopt},
        {"452 points after 451", true, grid(452), "live sweep has 452 points; expected 451"},
        {"empty first sweep", false, {}, "a live sweep cannot be empty"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto shared = make_live_shared();
        reset_live_shared(shared);
        if (c.after_first) {
            ASSERT_EQ(take_live_sweep(shared, grid(451)), std::nullopt);
        }
        const auto [sweeps_before, generation_before] =
            shared->with_lock([](LiveShared& r) { return std::pair(r.sweep_count, r.generation); });

        EXPECT_EQ(take_live_sweep(shared, c.sweep), c.rejection);
        shared->with_lock([&](LiveShared& r) {
            if (c.rejection) {
                EXPECT_EQ(r.phase, ScanPhase::Failed);
                EXPECT_EQ(r.error, c.rejection);
                EXPECT_TRUE(r.stop_requested);
                EXPECT_EQ(r.status, "Stopping after the current sweep");
                EXPECT_EQ(r.sweep_count, sweeps_before);
                EXPECT_EQ(r.generation, generation_before);
                EXPECT_EQ(r.history.size(), sweeps_before);
            } else {
                EXPECT_EQ(r.phase, ScanPhase::Running);
                EXPECT_FALSE(r.error.has_value() || r.stop_requested);
                EXPECT_EQ(r.sweep_count, sweeps_before + 1);
                EXPECT_EQ(r.generation, generation_before + 1);
                EXPECT_EQ(newest_entry(r.history), c.sweep);
                EXPECT_EQ(r.status, "Live capture \u2014 " + std::to_string(sweeps_before + 1) + " sweeps");
            }
        });
    }
}
