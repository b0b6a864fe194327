// What a server remembers across its sessions, shared between the serving
// thread and the test thread that inspects it.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "sim/sim.hpp"

namespace vorlix::sim {

struct Ledger {
    explicit Ledger(const Options& options);

    // Appends to the command log (and the log file) and wakes waiters.
    void record_command(const std::string& line);

    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    std::vector<std::string> commands;
    std::uint64_t sweeps = 0;
    std::uint64_t text_scans = 0;
    std::uint64_t sessions = 0;
    unsigned blanks_sent = 0;
    std::vector<std::uint8_t> last_frame;
    InstrumentState state;
    std::ofstream log;
};

}  // namespace vorlix::sim
