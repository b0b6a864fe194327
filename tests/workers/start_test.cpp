#include "workers/start.hpp"

#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "workers/sim_fixture.hpp"

using namespace vorlix::workers;
using namespace vorlix::workers::test;
using vorlix::instrument::ScanRequest;
namespace sim = vorlix::sim;

namespace {

const ScanRequest REQUEST{240'000'000, 800'000'000, 101, 1};

// Polls until `done` holds or a generous bound passes; the bound only keeps
// a broken worker from hanging the suite.
template <class F>
bool eventually(F done) {
    const auto deadline = std::chrono::steady_clock::now() + vorlix::test::PATIENCE;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

}  // namespace

TEST(StartWorker, SingleScanRunsOnItsOwnThread) {
    TempDir out;
    auto server = sim::Server::start_tcp({});
    ASSERT_TRUE(server);
    auto shared = make_acquisition_shared();
    reset_acquisition_shared(shared);
    ASSERT_TRUE(
        start_acquisition_worker(sim_config(*server, Link::Tcp, out.path(), REQUEST), shared, REQUEST));
    ASSERT_TRUE(eventually([&] { return acquisition_phase(shared) != ScanPhase::Running; }));
    EXPECT_EQ(acquisition_phase(shared), ScanPhase::Complete) << acquisition_error_text(shared).value_or("");
    EXPECT_EQ(acquisition_status_text(shared).rfind("Saved ", 0), 0u);
    // The worker lets go of its handle when it ends.
    EXPECT_TRUE(eventually([&] { return shared.use_count() == 1; }));
}

TEST(StartWorker, LiveCaptureStopsOnRequest) {
    TempDir out;
    auto server = sim::Server::start_tcp({});
    ASSERT_TRUE(server);
    auto shared = make_live_shared();
    reset_live_shared(shared);
    ASSERT_TRUE(start_live_worker(sim_config(*server, Link::Tcp, out.path(), REQUEST), shared, REQUEST));
    ASSERT_TRUE(
        eventually([&] { return shared->with_lock([](LiveShared& r) { return r.sweep_count >= 2; }); }));
    request_live_stop(shared);
    ASSERT_TRUE(eventually([&] { return live_phase(shared) != ScanPhase::Running; }));
    EXPECT_EQ(live_phase(shared), ScanPhase::Complete) << live_error_text(shared).value_or("");
    EXPECT_EQ(files_in(out.path()).size(), 1u);
    EXPECT_EQ(server->commands().back(), "resume");
    EXPECT_TRUE(eventually([&] { return shared.use_count() == 1; }));
}
