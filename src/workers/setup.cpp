#include "workers/setup.hpp"

#include <fmt/format.h>

#include "base/log.hpp"
#include "base/text.hpp"
#include "config/validate.hpp"
#include "instrument/identify.hpp"
#include "instrument/profile.hpp"
#include "instrument/sweep_setup.hpp"
#include "instrument/sweep_setup_parse.hpp"
#include "instrument/transport.hpp"

namespace vorlix::workers {

using instrument::AcquisitionError;
using instrument::DeviceIdentity;
using instrument::ShellConnection;

namespace {

// A failed identification try; only a try whose link worked may be repeated.
struct TryFailure {
    AcquisitionError error;
    bool retryable;
};

std::expected<DeviceIdentity, TryFailure> identify_once(ShellConnection& shell, const Pacing& pacing) {
    // Both commands go out before the replies are judged.
    auto version = instrument::run_command(shell, "version", pacing.command_delay, pacing.settle_delay);
    if (!version) return std::unexpected(TryFailure{std::move(version.error()), false});
    auto info = instrument::run_command(shell, "info", pacing.command_delay, pacing.settle_delay);
    if (!info) return std::unexpected(TryFailure{std::move(info.error()), false});
    if (base::trim_unicode_whitespace(*version).empty() || base::trim_unicode_whitespace(*info).empty()) {
        return std::unexpected(TryFailure{AcquisitionError::MissingIdentity{}, true});
    }
    auto identity = instrument::identify_device(std::move(*version), std::move(*info));
    if (!identity) return std::unexpected(TryFailure{identity.error(), true});
    return std::move(*identity);
}

std::expected<DeviceIdentity, AcquisitionError> identify_with_retry(ShellConnection& shell,
                                                                    const Pacing& pacing,
                                                                    const StatusSink& post) {
    auto first = identify_once(shell, pacing);
    if (first) return std::move(*first);
    if (!first.error().retryable) return std::unexpected(std::move(first.error().error));
    base::log(
        base::Level::Warn, ACQUISITION_LOG_TARGET,
        fmt::format("instrument identification failed; retrying once: {}", first.error().error.display()));
    post(Status::Text{"Retrying instrument identification"});
    auto second = identify_once(shell, pacing);
    if (second) return std::move(*second);
    return std::unexpected(std::move(second.error().error));
}

std::expected<void, AcquisitionError> check_model(config::DeviceModel configured,
                                                  instrument::InstrumentFamily detected) {
    using instrument::InstrumentFamily;
    if (configured == config::DeviceModel::Auto) return {};
    const InstrumentFamily expected =
        configured == config::DeviceModel::Ultra ? InstrumentFamily::Ultra : InstrumentFamily::Basic;
    if (expected == detected) return {};
    return std::unexpected(AcquisitionError::UnexpectedModel{expected, detected});
}

std::expected<void, AcquisitionError> run_diagnostics(ShellConnection& shell, std::string_view help,
                                                      const Pacing& pacing) {
    for (std::string_view command : DIAGNOSTIC_COMMANDS) {
        if (!instrument::reply_lists_command(help, command)) continue;
        auto reply = instrument::run_command(shell, command, pacing.command_delay, pacing.settle_delay);
        if (!reply) return std::unexpected(std::move(reply.error()));
        base::log(base::Level::Debug, ACQUISITION_LOG_TARGET, fmt::format("{}: {}", command, *reply));
    }
    return {};
}

AcquisitionError invalid_request(std::string message) {
    return instrument::RawScanError(instrument::RawScanError::InvalidRequest{std::move(message)});
}

}  // namespace

Pacing pacing_from(const config::Config& config) {
    return Pacing{std::chrono::milliseconds(config.serial.command_delay_ms),
                  std::chrono::milliseconds(config.serial.settle_delay_ms)};
}

std::expected<ShellConnection, std::string> open_checked_connection(const config::Config& config,
                                                                    const instrument::ScanRequest& request,
                                                                    instrument::Sleeper sleeper) {
    if (auto valid = config::validate_config(config); !valid) {
        return std::unexpected(valid.error().display());
    }
    if (auto valid = instrument::validate_request(request); !valid) {
        return std::unexpected(invalid_request_text(valid.error()));
    }
    auto transport = instrument::open_transport(config);
    if (!transport) return std::unexpected(transport.error().display());
    return ShellConnection(std::move(*transport), config.serial.max_response_bytes, std::move(sleeper));
}

std::expected<PreparedScan, AcquisitionError> prepare_instrument(ShellConnection& shell,
                                                                 const config::Config& config,
                                                                 const instrument::ScanRequest& request,
                                                                 const StatusSink& post) {
    const Pacing pacing = pacing_from(config);
    post(Status::Text{"Identifying instrument"});
    post(Status::Progress{5});
    if (auto drained = instrument::drain_to_prompt(shell); !drained) {
        return std::unexpected(std::move(drained.error()));
    }

    auto identity = identify_with_retry(shell, pacing, post);
    if (!identity) return std::unexpected(std::move(identity.error()));
    if (auto model = check_model(config.scan.device_model, identity->family()); !model) {
        return std::unexpected(std::move(model.error()));
    }
    auto profile = instrument::select_scan_profile(identity->is_ultra, identity->revision, request,
                                                   config.scan.enable_ultra_mode);
    if (!profile) return std::unexpected(invalid_request(std::move(profile.error())));

    auto help = instrument::run_command(shell, "help", pacing.command_delay, pacing.settle_delay);
    if (!help) return std::unexpected(std::move(help.error()));
    if (auto listed = instrument::check_required_commands(*help, identity->family(), profile->ultra_mode,
                                                          config.scan.legacy_pre_scan);
        !listed) {
        return std::unexpected(std::move(listed.error()));
    }
    post(Status::Info{instrument_description(*identity, *profile)});
    if (auto diagnostics = run_diagnostics(shell, *help, pacing); !diagnostics) {
        return std::unexpected(std::move(diagnostics.error()));
    }

    post(Status::Text{"Configuring scan"});
    const std::uint16_t offset =
        config.scan.auto_zero_offset ? profile->zero_offset : config.scan.zero_offset;
    if (auto zero = instrument::configure_zero_offset(shell, request, offset, pacing.command_delay,
                                                      pacing.settle_delay);
        !zero) {
        return std::unexpected(std::move(zero.error()));
    }
    post(Status::Progress{20});
    return PreparedScan{*profile, offset};
}

std::string instrument_description(const DeviceIdentity& identity, const instrument::ScanProfile& profile) {
    const std::string revision =
        identity.revision ? fmt::format(" {}", instrument::display_name(*identity.revision)) : "";
    return fmt::format("Detected {}{} (native raw offset {} dB)\n{}{}",
                       instrument::display_name(identity.family()), revision, profile.zero_offset,
                       identity.version, identity.info);
}

std::expected<void, AcquisitionError> resume_after(ShellConnection& shell, const Pacing& pacing,
                                                   std::expected<void, AcquisitionError> outcome) {
    auto resumed = instrument::command_checked(shell, "resume", pacing.command_delay, pacing.settle_delay);
    if (resumed) return outcome;
    if (outcome) return std::unexpected(AcquisitionError(std::move(resumed.error())));
    return std::unexpected(
        AcquisitionError::Recovery(std::move(outcome.error()), std::move(resumed.error())));
}

std::expected<void, std::string> run_acquisition_sequence(std::optional<ShellConnection>& shell,
                                                          const config::Config& config,
                                                          const instrument::ScanRequest& request,
                                                          instrument::Sleeper sleeper, const StatusSink& post,
                                                          std::string_view running,
                                                          const SweepStage& sweeps) {
    auto opened = open_checked_connection(config, request, std::move(sleeper));
    if (!opened) return std::unexpected(std::move(opened.error()));
    shell.emplace(std::move(*opened));

    auto prepared = prepare_instrument(*shell, config, request, post);
    if (!prepared) return std::unexpected(prepared.error().display());

    const Pacing pacing = pacing_from(config);
    const instrument::SweepPacing sweep_pacing{pacing.command_delay, pacing.settle_delay, prepared->profile};
    std::expected<void, AcquisitionError> outcome;
    if (auto set_up = instrument::configure_sweep(*shell, request, config.scan.legacy_pre_scan,
                                                  config.serial.scan_delay_ms, sweep_pacing);
        !set_up) {
        outcome = std::unexpected(std::move(set_up.error()));
    } else {
        post(Status::Text{running});
        outcome = sweeps(*shell, *prepared);
    }
    auto resumed = resume_after(*shell, pacing, std::move(outcome));
    if (!resumed) return std::unexpected(resumed.error().display());
    return {};
}

std::string io_failure_text(const base::IoError& error) { return "I/O: " + error.display(); }

std::string live_failure_text(std::string_view message) { return fmt::format("live capture: {}", message); }

std::string invalid_request_text(std::string_view message) {
    return invalid_request(std::string(message)).display();
}

}  // namespace vorlix::workers
