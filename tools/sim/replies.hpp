// The fixed texts each simulated model answers with: identification, the
// command list and the diagnostic commands.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/sim.hpp"

namespace vorlix::sim {

bool is_ultra(Model model);

// Output lines (without line ends) of version and info for these options.
std::vector<std::string> version_lines(const Options& options);
std::vector<std::string> info_lines(const Options& options);

// The help reply's lines with the words of Faults::help_omit taken out.
std::vector<std::string> help_lines(const Options& options);

// Output lines of a diagnostic command, or none if `name` is not one.
bool diagnostic_lines(const std::string& name, Model model, std::vector<std::string>& lines);

// Highest stop frequency the instrument accepts in its current mode.
std::uint64_t ceiling_hz(Model model, bool ultra_mode);

// Power-up zero offset and sweep of each model.
std::uint32_t native_zero_offset(Model model);
InstrumentState power_up_state(Model model);

}  // namespace vorlix::sim
