// Which commands a worker paces, and with which delay, seen through the
// connection's sleeper with three distinct delays; nothing really sleeps.

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "workers/acquisition.hpp"
#include "workers/live.hpp"
#include "workers/sim_fixture.hpp"

using namespace vorlix::workers;
using namespace vorlix::workers::test;
using std::chrono::milliseconds;
using vorlix::instrument::ScanRequest;
using vorlix::instrument::Sleeper;
namespace sim = vorlix::sim;

namespace {

const ScanRequest REQUEST{240'000'000, 800'000'000, 101, 1};
constexpr milliseconds COMMAND{1}, SETTLE{2}, SCAN{3};

using WorkerRun = std::function<void(vorlix::config::Config, Sleeper)>;

void single_scan(vorlix::config::Config config, Sleeper sleeper) {
    auto shared = make_acquisition_shared();
    run_acquisition(std::move(config), shared, REQUEST, std::move(sleeper));
    EXPECT_EQ(acquisition_phase(shared), ScanPhase::Complete) << acquisition_error_text(shared).value_or("");
}

// A capture stopped by the user once two sweeps are in.
void live_two_sweeps(vorlix::config::Config config, Sleeper sleeper) {
    auto shared = make_live_shared();
    shared->set_observer([](LiveShared& r) {
        if (r.sweep_count == 2 && !r.stop_requested) r.stop_requested = true;
    });
    run_live_capture(std::move(config), shared, REQUEST, std::move(sleeper));
    EXPECT_EQ(live_phase(shared), ScanPhase::Complete) << live_error_text(shared).value_or("");
}

// `paced` commands with the command and settle pauses, then the text scan's
// pauses when it is sent, then `resume`'s.
std::vector<milliseconds> expected_pauses(int paced, bool text_scan) {
    std::vector<milliseconds> out;
    for (int i = 0; i < paced; ++i) out.insert(out.end(), {COMMAND, SETTLE});
    if (text_scan) out.insert(out.end(), {SCAN, SETTLE});
    out.insert(out.end(), {COMMAND, SETTLE});
    return out;
}

}  // namespace

TEST(WorkerPacing, EveryCommandButScanrawPauses) {
    // version, info, help, five diagnostics, repeat, zero twice, pause, mode,
    // sweep start, sweep stop, sweep: 16 commands before the optional text scan.
    const struct {
        std::string name;
        WorkerRun run;
        bool legacy_pre_scan;
        std::size_t sweeps;
    } cases[] = {
        {"single scan", single_scan, true, 1},
        {"single scan without the text scan", single_scan, false, 1},
        {"live capture", live_two_sweeps, true, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir out;
        auto server = start_sim(Link::Tcp, {});
        ASSERT_TRUE(server);
        auto config = sim_config(*server, Link::Tcp, out.path(), REQUEST);
        config.serial.command_delay_ms = COMMAND.count();
        config.serial.settle_delay_ms = SETTLE.count();
        config.serial.scan_delay_ms = SCAN.count();
        config.scan.legacy_pre_scan = c.legacy_pre_scan;
        auto pauses = std::make_shared<std::vector<milliseconds>>();
        c.run(config, [pauses](milliseconds pause) { pauses->push_back(pause); });

        EXPECT_EQ(*pauses, expected_pauses(16, c.legacy_pre_scan));
        const auto commands = server->commands();
        EXPECT_EQ(std::count(commands.begin(), commands.end(), "scanraw 240000000 800000000 101"),
                  static_cast<std::ptrdiff_t>(c.sweeps));
    }
}
