// The key handling and the refresh with real worker threads against the
// simulated instrument, over TCP and over a pseudo-terminal. The terminal
// tests cannot pick a pseudo-terminal from the port menu (the machine's
// port list never holds one), so the serial backend is driven from here,
// with the slave's path standing in for an enumerated port.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "app/loop/keys_dispatch.hpp"
#include "event_loop_fixture.hpp"
#include "sim/sim.hpp"
#include "sim/sim_link.hpp"

namespace vorlix::app {
namespace {

using namespace std::chrono_literals;
using tui::KeyCode;
using tui::KeyEvent;

using vorlix::test::Link;
using vorlix::test::start_sim;

struct Rig {
    std::unique_ptr<sim::Server> server;
    test::ScratchDir dir;
    std::optional<UiState> state;
    WorkerLauncher launch = WorkerLauncher::threads();

    explicit Rig(Link link, bool live) {
        server = start_sim(link);
        if (!server) return;
        config::Config c;
        std::string port = server->slave_path();
        if (link == Link::Tcp) {
            c.connection.backend = config::Backend::Tcp;
            c.connection.tcp_address = "127.0.0.1:" + std::to_string(server->port());
            port = "tcp://" + c.connection.tcp_address;
        }
        c.connection.tcp_timeout_ms = vorlix::test::ANSWERED_TIMEOUT_MS;
        c.serial.timeout_ms = vorlix::test::ANSWERED_TIMEOUT_MS;
        c.serial.command_delay_ms = 0;
        c.serial.settle_delay_ms = 0;
        c.serial.scan_delay_ms = 0;
        c.output.directory = dir.path().string();
        state.emplace(test::make_state(c, (dir.path() / "config.toml").string(), {port}));
        state->live_mode = live;
    }

    void press(const std::vector<KeyEvent>& keys) {
        for (const KeyEvent& k : keys) handle_key(*state, k, launch);
    }
    // Refreshes as the loop would until `done` holds; false only after the
    // generous wait of every test.
    template <class Done>
    bool refresh_until(Done done) {
        const auto deadline = std::chrono::steady_clock::now() + vorlix::test::PATIENCE;
        while (std::chrono::steady_clock::now() < deadline) {
            refresh_from_workers(*state);
            if (done(*state)) return true;
            std::this_thread::sleep_for(2ms);
        }
        return false;
    }
    std::size_t csv_count() const {
        std::size_t n = 0;
        for (const auto& e : std::filesystem::directory_iterator(dir.path()))
            n += e.path().extension() == ".csv";
        return n;
    }
};

// Port menu, then 1001 points typed on the parameter menu, then confirm.
const std::vector<KeyEvent> CONFIRM_1001 = {
    KeyEvent::key(KeyCode::Enter), KeyEvent::key(KeyCode::Right), KeyEvent::key(KeyCode::Right),
    KeyEvent::character(U'1'),     KeyEvent::character(U'0'),     KeyEvent::character(U'0'),
    KeyEvent::character(U'1'),     KeyEvent::key(KeyCode::Enter), KeyEvent::key(KeyCode::Enter),
};

class LoopWithWorkersTest : public ::testing::TestWithParam<Link> {};

TEST_P(LoopWithWorkersTest, SingleScanEndsOnThePlot) {
    Rig rig(GetParam(), false);
    ASSERT_NE(rig.server, nullptr);
    rig.press(CONFIRM_1001);
    ASSERT_EQ(rig.state->screen, Screen::Acquiring);
    ASSERT_TRUE(rig.refresh_until([](const UiState& s) { return s.screen != Screen::Acquiring; }));
    ASSERT_EQ(rig.state->screen, Screen::Plot)
        << workers::acquisition_error_text(rig.state->acquisition).value_or("");
    ASSERT_TRUE(rig.state->plot.has_value());
    EXPECT_EQ(rig.state->plot->samples.size(), 1001u);
    EXPECT_EQ(rig.state->plot->title.rfind("Saved " + rig.dir.path().string() + "/", 0), 0u)
        << rig.state->plot->title;
    EXPECT_EQ(rig.csv_count(), 1u);
}

TEST_P(LoopWithWorkersTest, LiveCaptureSavesOnRequestAndOnStop) {
    Rig rig(GetParam(), true);
    ASSERT_NE(rig.server, nullptr);
    rig.press(CONFIRM_1001);
    ASSERT_EQ(rig.state->screen, Screen::Live);
    ASSERT_TRUE(rig.refresh_until([](const UiState& s) { return s.plot.has_value(); }));
    EXPECT_EQ(rig.state->plot->samples.size(), 1001u);
    rig.press({KeyEvent::character(U'4'), KeyEvent::character(U's')});
    ASSERT_TRUE(rig.refresh_until([&](const UiState&) { return rig.csv_count() == 1; }));
    rig.press({KeyEvent::character(U'q')});
    ASSERT_TRUE(rig.refresh_until([](const UiState& s) { return s.quit || s.screen != Screen::Live; }));
    EXPECT_TRUE(rig.state->quit);
    EXPECT_EQ(rig.state->plot->title.rfind("Live max decay — ", 0), 0u) << rig.state->plot->title;
    EXPECT_EQ(rig.csv_count(), 2u);
}

INSTANTIATE_TEST_SUITE_P(Links, LoopWithWorkersTest, ::testing::Values(Link::Tcp, Link::Pty),
                         [](const auto& param_info) {
                             return param_info.param == Link::Tcp ? "Tcp" : "Pty";
                         });

}  // namespace
}  // namespace vorlix::app
