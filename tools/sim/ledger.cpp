#include "sim/ledger.hpp"

#include "sim/replies.hpp"

namespace vorlix::sim {

Ledger::Ledger(const Options& options) : state(power_up_state(options.model)) {
    if (!options.log_path.empty()) log.open(options.log_path, std::ios::app);
}

void Ledger::record_command(const std::string& line) {
    {
        std::lock_guard lock(mutex);
        commands.push_back(line);
        if (log.is_open()) log << line << '\n' << std::flush;
    }
    changed.notify_all();
}

}  // namespace vorlix::sim
