#include "instrument/sweep_setup.hpp"

#include <algorithm>
#include <string>

#include "instrument/shell.hpp"

namespace vorlix::instrument {

namespace {

using std::chrono::milliseconds;

std::expected<std::string, AcquisitionError> checked(ShellConnection& shell, const std::string& command,
                                                     milliseconds first, milliseconds second) {
    auto reply = command_checked(shell, command, first, second);
    if (!reply) {
        return std::unexpected(AcquisitionError(std::move(reply.error())));
    }
    return std::move(*reply);
}

// A delay too large for the duration type waits as long as it can; a plain
// cast would wrap it negative, and a negative pause is no pause at all.
milliseconds saturating_ms(std::uint64_t ms) {
    constexpr auto most = static_cast<std::uint64_t>(milliseconds::max().count());
    return milliseconds{static_cast<milliseconds::rep>(std::min(ms, most))};
}

}  // namespace

std::vector<std::string_view> required_command_list(bool ultra_mode, bool legacy_pre_scan) {
    std::vector<std::string_view> words(REQUIRED_COMMANDS.begin(), REQUIRED_COMMANDS.end());
    if (ultra_mode) {
        words.push_back("ultra");
    }
    if (legacy_pre_scan) {
        words.push_back("scan");
    }
    return words;
}

std::expected<void, AcquisitionError> check_required_commands(std::string_view help_reply,
                                                              InstrumentFamily family, bool ultra_mode,
                                                              bool legacy_pre_scan) {
    for (std::string_view word : required_command_list(ultra_mode, legacy_pre_scan)) {
        if (!reply_lists_command(help_reply, word)) {
            return std::unexpected(AcquisitionError::MissingCommand{family, std::string(word)});
        }
    }
    return {};
}

std::expected<void, AcquisitionError> configure_zero_offset(ShellConnection& shell,
                                                            const ScanRequest& request,
                                                            std::uint16_t zero_offset,
                                                            milliseconds command_delay,
                                                            milliseconds settle_delay) {
    const std::string commands[] = {"repeat " + std::to_string(request.repeat),
                                    "zero " + std::to_string(zero_offset)};
    for (const std::string& command : commands) {
        if (auto reply = checked(shell, command, command_delay, settle_delay); !reply) {
            return std::unexpected(std::move(reply.error()));
        }
    }
    // Unchecked on purpose: some firmware prints its usage line before the
    // offset, and the offset is all that matters here.
    auto readback = run_command(shell, "zero", command_delay, settle_delay);
    if (!readback) {
        return std::unexpected(AcquisitionError(std::move(readback.error())));
    }
    const auto actual = parse_zero_readback(*readback);
    if (!actual) {
        return std::unexpected(AcquisitionError::MissingZeroReadback{zero_offset});
    }
    if (*actual != zero_offset) {
        return std::unexpected(AcquisitionError::ZeroReadbackMismatch{zero_offset, *actual});
    }
    return {};
}

std::expected<void, AcquisitionError> configure_sweep(ShellConnection& shell, const ScanRequest& request,
                                                      bool legacy_pre_scan, std::uint64_t scan_delay_ms,
                                                      const SweepPacing& pacing) {
    const milliseconds first = pacing.command_delay;
    const milliseconds second = pacing.settle_delay;
    const bool ultra_mode = pacing.profile.ultra_mode;

    std::vector<std::string> commands = {"pause", std::string(pacing.profile.mode_command)};
    if (ultra_mode) {
        commands.emplace_back("ultra on");
    }
    commands.push_back("sweep start " + std::to_string(request.start_hz));
    commands.push_back("sweep stop " + std::to_string(request.stop_hz));
    for (const std::string& command : commands) {
        if (auto reply = checked(shell, command, first, second); !reply) {
            return std::unexpected(std::move(reply.error()));
        }
    }

    auto sweep = checked(shell, "sweep", first, second);
    if (!sweep) {
        return std::unexpected(std::move(sweep.error()));
    }
    // Above the normal ceiling the instrument may silently clamp the range,
    // so the read-back is the only proof that Ultra mode took effect.
    if (ultra_mode && !sweep_readback_confirms(*sweep, request.start_hz, request.stop_hz)) {
        return std::unexpected(
            AcquisitionError::SweepReadbackMismatch{request.start_hz, request.stop_hz, std::move(*sweep)});
    }

    if (legacy_pre_scan) {
        const std::string scan =
            "scan " + std::to_string(request.start_hz) + " " + std::to_string(request.stop_hz) + " 290 101";
        if (auto reply = checked(shell, scan, saturating_ms(scan_delay_ms), second); !reply) {
            return std::unexpected(std::move(reply.error()));
        }
    }
    return {};
}

}  // namespace vorlix::instrument
