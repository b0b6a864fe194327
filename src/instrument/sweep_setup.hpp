#pragma once
// Preparing the instrument between identification and the scanraw transfer:
// the help check, the zero-offset handshake and the sweep set-up. Each step
// stops at its first failure and returns it; none sends "resume", which is
// the caller's business once the sweep set-up has begun.

#include <array>
#include <chrono>
#include <cstdint>
#include <expected>
#include <string_view>
#include <vector>

#include "instrument/errors.hpp"
#include "instrument/sweep_setup_parse.hpp"
#include "instrument/types.hpp"

namespace vorlix::instrument {

class ShellConnection;

// The words every acquisition needs the help reply to list, in test order.
inline constexpr std::array<std::string_view, 7> REQUIRED_COMMANDS = {"repeat", "zero",    "pause", "mode",
                                                                      "sweep",  "scanraw", "resume"};

// The pauses of the paced set-up commands and the profile they serve.
struct SweepPacing {
    std::chrono::milliseconds command_delay{0};  // after each command is written
    std::chrono::milliseconds settle_delay{0};   // after each complete reply
    ScanProfile profile;
};

// The fixed words, then "ultra" for an Ultra-mode sweep, then "scan" when the
// preparatory text scan is used.
std::vector<std::string_view> required_command_list(bool ultra_mode, bool legacy_pre_scan);

// MissingCommand for the first word of `required_command_list` that the help
// reply does not list.
std::expected<void, AcquisitionError> check_required_commands(std::string_view help_reply,
                                                              InstrumentFamily family, bool ultra_mode,
                                                              bool legacy_pre_scan);

// "repeat {}", "zero {offset}", then an unchecked "zero" whose reply must
// report the same offset back.
std::expected<void, AcquisitionError> configure_zero_offset(ShellConnection& shell,
                                                            const ScanRequest& request,
                                                            std::uint16_t zero_offset,
                                                            std::chrono::milliseconds command_delay,
                                                            std::chrono::milliseconds settle_delay);

// pause, the input mode, "ultra on" for an Ultra-mode sweep, the range and
// "sweep" (its reply must confirm the range in Ultra mode), then with
// `legacy_pre_scan` the text scan "scan {start} {stop} 290 101", which waits
// `scan_delay_ms` after it is written.
std::expected<void, AcquisitionError> configure_sweep(ShellConnection& shell, const ScanRequest& request,
                                                      bool legacy_pre_scan, std::uint64_t scan_delay_ms,
                                                      const SweepPacing& pacing);

}  // namespace vorlix::instrument
