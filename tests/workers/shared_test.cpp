#include "workers/shared.hpp"

#include <stdexcept>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "base/log.hpp"

using namespace vorlix::workers;
using vorlix::instrument::Sample;

namespace {

struct TestError {
    std::string display() const { return "device went away"; }
};

}  // namespace

TEST(AcquisitionShared, StartsEmptyAndResets) {
    auto shared = make_acquisition_shared();
    EXPECT_EQ(acquisition_phase(shared), ScanPhase::Ready);
    EXPECT_EQ(acquisition_status_text(shared), "");
    shared->with_lock([](AcquisitionShared& r) {
        r.info = "old";
        r.samples = std::vector<Sample>{{1, 2}};
        r.saved_path = "x.csv";
        r.error = "bad";
        r.progress = 100;
        r.phase = ScanPhase::Complete;
    });
    reset_acquisition_shared(shared);
    shared->with_lock([](AcquisitionShared& r) {
        EXPECT_EQ(r.status, "Opening connection");
        EXPECT_EQ(r.info, "");
        EXPECT_FALSE(r.samples || r.saved_path || r.error);
        EXPECT_EQ(r.progress, 0u);
        EXPECT_EQ(r.phase, ScanPhase::Running);
    });
}

TEST(AcquisitionShared, StatusUpdates) {
    const struct {
        std::uint8_t percent;
        std::uint64_t stored;
    } progress_cases[] = {{0, 0}, {98, 98}, {99, 99}, {100, 99}, {150, 99}, {255, 99}};
    auto shared = make_acquisition_shared();
    for (const auto& c : progress_cases) {
        set_acquisition_status(shared, Status::Progress{c.percent});
        EXPECT_EQ(shared->with_lock([](AcquisitionShared& r) { return r.progress; }), c.stored);
    }
    set_acquisition_status(shared, Status::Text{"Writing CSV"});
    set_acquisition_status(shared, Status::Info{"Detected tinySA Basic"});
    shared->with_lock([](AcquisitionShared& r) {
        EXPECT_EQ(r.status, "Writing CSV");
        EXPECT_EQ(r.info, "Detected tinySA Basic");
        EXPECT_EQ(r.progress, 99u);
    });
}

TEST(AcquisitionShared, FailureKeepsStageAndLogs) {
    std::vector<std::string> logged;
    vorlix::base::set_log_sink([&](const vorlix::base::Record& rec) {
        logged.push_back(std::string(rec.target) + "|" + std::to_string(int(rec.level)) + "|" +
                         std::string(rec.text));
    });
    auto shared = make_acquisition_shared();
    reset_acquisition_shared(shared);
    set_acquisition_status(shared, Status::Text{"Configuring scan"});
    set_acquisition_status(shared, Status::Progress{5});
    record_scan_failure(shared, TestError{});
    vorlix::base::set_log_sink({});
    EXPECT_EQ(logged, std::vector<std::string>{"vorlix::scan|1|device went away"});
    shared->with_lock([](AcquisitionShared& r) {
        EXPECT_EQ(r.status, "Configuring scan");
        EXPECT_EQ(r.progress, 5u);
        EXPECT_EQ(r.error, "device went away");
        EXPECT_EQ(r.phase, ScanPhase::Failed);
    });
    EXPECT_EQ(acquisition_error_text(shared), "device went away");
}

TEST(LiveShared, ResetClearsPreviousRun) {
    const struct {
        std::uint64_t generation_before;
        std::uint64_t generation_after;
    } cases[] = {{0, 1}, {41, 42}, {UINT64_MAX - 1, UINT64_MAX}, {UINT64_MAX, UINT64_MAX}};
    for (const auto& c : cases) {
        auto shared = make_live_shared();
        shared->with_lock([&](LiveShared& r) {
            r.status = "old";
            r.info = "old info";
            r.history.push_back({{1, 2}});
            r.max_hold = r.min_hold = r.max_decay = r.min_decay = {2};
            r.sweep_count = 7;
            r.error = "bad sweep";
            r.pending_save = Sweep{{1, 2}};
            r.generation = c.generation_before;
            r.stop_requested = r.save_on_first_sweep = true;
            r.phase = ScanPhase::Failed;
            r.trace_mode = TraceMode::MinDecay;
        });
        reset_live_shared(shared);
        shared->with_lock([&](LiveShared& r) {
            EXPECT_EQ(r.status, "Opening live connection");
            EXPECT_EQ(r.info, "");
            EXPECT_TRUE(r.history.empty() && r.max_hold.empty() && r.min_hold.empty() &&
                        r.max_decay.empty() && r.min_decay.empty());
            EXPECT_EQ(r.sweep_count, 0u);
            EXPECT_FALSE(r.error || r.pending_save || r.stop_requested || r.save_on_first_sweep);
            EXPECT_EQ(r.generation, c.generation_after);
            EXPECT_EQ(r.phase, ScanPhase::Running);
            EXPECT_EQ(r.trace_mode, TraceMode::Average4);
        });
    }
}

TEST(LiveShared, StatusStopAndReaders) {
    auto shared = make_live_shared();
    reset_live_shared(shared);
    set_live_status(shared, Status::Text{"Configuring scan"});
    set_live_status(shared, Status::Info{"Detected tinySA Ultra family ZS406"});
    const auto before = shared->with_lock(
        [](LiveShared& r) { return std::tuple(r.status, r.info, r.generation, r.phase, r.stop_requested); });
    set_live_status(shared, Status::Progress{50});
    EXPECT_EQ(shared->with_lock([](LiveShared& r) {
        return std::tuple(r.status, r.info, r.generation, r.phase, r.stop_requested);
    }),
              before);
    EXPECT_EQ(std::get<0>(before), "Configuring scan");
    EXPECT_EQ(std::get<1>(before), "Detected tinySA Ultra family ZS406");
    request_live_stop(shared);
    shared->with_lock([](LiveShared& r) {
        EXPECT_TRUE(r.stop_requested);
        EXPECT_EQ(r.status, "Stopping after the current sweep");
        r.error = "a live sweep cannot be empty";
    });
    EXPECT_EQ(live_error_text(shared), "a live sweep cannot be empty");
    EXPECT_EQ(live_phase(shared), ScanPhase::Running);
}

TEST(SharedRecord, UsableAfterAThrowWhileLocked) {
    auto shared = make_acquisition_shared();
    EXPECT_THROW(shared->with_lock([](AcquisitionShared& r) {
        r.status = "half written";
        throw std::runtime_error("unexpected");
    }),
                 std::runtime_error);
    EXPECT_EQ(acquisition_status_text(shared), "half written");
    set_acquisition_status(shared, Status::Text{"Writing CSV"});
    EXPECT_EQ(acquisition_status_text(shared), "Writing CSV");
}

TEST(SharedRecord, ConcurrentWritersNeverLoseUpdates) {
    auto shared = make_live_shared();
    constexpr int PER_THREAD = 2000;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([shared] {
            for (int i = 0; i < PER_THREAD; ++i) {
                shared->with_lock([](LiveShared& r) { r.generation = saturating_increment(r.generation); });
                set_live_status(shared, Status::Text{"Live capture running"});
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(shared->with_lock([](LiveShared& r) { return r.generation; }), 4u * PER_THREAD);
}
