#pragma once
// A scratch working directory for one run of the program, its
// configuration file, and the simulated instrument it talks to.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "e2e/tmux_run.hpp"
#include "sim/sim.hpp"
#include "workers/temp_dir.hpp"

namespace vorlix::e2e {

namespace fs = std::filesystem;

// Every pause at zero, the read time-out given, logs kept out of the way.
inline std::string serial_config_text(std::uint64_t timeout_ms = test::ANSWERED_TIMEOUT_MS) {
    return "[serial]\ntimeout_ms = " + std::to_string(timeout_ms) +
           "\ncommand_delay_ms = 0\nsettle_delay_ms = 0\nscan_delay_ms = 0\n"
           "[logging]\ndirectory = \"logs\"\n";
}

// The same for the simulator over TCP.
inline std::string tcp_config_text(std::uint16_t port, std::uint64_t timeout_ms = test::ANSWERED_TIMEOUT_MS) {
    return "[connection]\nbackend = \"tcp\"\ntcp_address = \"127.0.0.1:" + std::to_string(port) +
           "\"\ntcp_timeout_ms = " + std::to_string(timeout_ms) + "\n" + serial_config_text(timeout_ms);
}

inline void write_text(const fs::path& path, std::string_view text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

// The scan files in `dir`, sorted by name (their names rise with time).
inline std::vector<fs::path> csv_files(const fs::path& dir) {
    std::vector<fs::path> out;
    for (const auto& entry : fs::directory_iterator(dir)) {
        if (entry.path().extension() == ".csv") out.push_back(entry.path());
    }
    std::sort(out.begin(), out.end());
    return out;
}

inline std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> out;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = text.find('\n', at);
        out.push_back(text.substr(at, end == std::string::npos ? std::string::npos : end - at));
        if (end == std::string::npos) break;
        at = end + 1;
    }
    return out;
}

class E2eTest : public ::testing::Test {
protected:
    void start_sim(sim::Options options = {}) {
        server = sim::Server::start_tcp(std::move(options));
        ASSERT_NE(server, nullptr);
    }
    void write_config(std::uint64_t timeout_ms = test::ANSWERED_TIMEOUT_MS) {
        write_text(dir.path() / "config.toml", tcp_config_text(server->port(), timeout_ms));
    }
    std::unique_ptr<TmuxRun> launch(std::vector<std::string> args = {},
                                    std::vector<std::string> wrapper = {}) {
        RunOptions options;
        options.args = std::move(args);
        options.wrapper = std::move(wrapper);
        return launch_with(std::move(options));
    }
    // Any options; the working directory is the test's own.
    std::unique_ptr<TmuxRun> launch_with(RunOptions options) {
        options.cwd = dir.path();
        auto run = std::make_unique<TmuxRun>(std::move(options));
        EXPECT_TRUE(run->started());
        return run;
    }
    // The program ended with `status`, off the alternate screen, with the
    // cursor shown again. tmux reads the pane's output on its own time, so
    // the last bytes the program wrote may reach it after the exit status.
    void expect_restored_exit(TmuxRun& run, int status = 0) {
        EXPECT_EQ(run.wait_exit(), status) << run.screen();
        EXPECT_TRUE(wait_until([&] { return !run.alternate_screen(); }, test::PATIENCE))
            << "still on the alternate screen";
        EXPECT_TRUE(wait_until([&] { return run.cursor_shown(); }, test::PATIENCE)) << "cursor still hidden";
    }

    vorlix::test::TempDir dir;
    std::unique_ptr<sim::Server> server;
};

}  // namespace vorlix::e2e
