#include "workers/shared.hpp"

#include <algorithm>

#include "base/log.hpp"

namespace vorlix::workers {

std::string_view scan_phase_name(ScanPhase phase) {
    switch (phase) {
        case ScanPhase::Ready: return "Ready";
        case ScanPhase::Running: return "Running";
        case ScanPhase::Complete: return "Complete";
        case ScanPhase::Failed: return "Failed";
    }
    return "Ready";
}

AcquisitionHandle make_acquisition_shared() { return std::make_shared<SharedRecord<AcquisitionShared>>(); }

LiveHandle make_live_shared() { return std::make_shared<SharedRecord<LiveShared>>(); }

void reset_acquisition_shared(const AcquisitionHandle& shared) {
    shared->with_lock([](AcquisitionShared& r) {
        r = AcquisitionShared{};
        r.status = OPENING_CONNECTION;
        r.phase = ScanPhase::Running;
    });
}

void set_acquisition_status(const AcquisitionHandle& shared, Status status) {
    shared->with_lock([&](AcquisitionShared& r) {
        if (auto* text = std::get_if<Status::Text>(&status.value)) {
            r.status = text->text;
        } else if (auto* progress = std::get_if<Status::Progress>(&status.value)) {
            r.progress = std::min<std::uint64_t>(progress->percent, 99);
        } else if (auto* info = std::get_if<Status::Info>(&status.value)) {
            r.info = std::move(info->text);
        }
    });
}

ScanPhase acquisition_phase(const AcquisitionHandle& shared) {
    return shared->with_lock([](AcquisitionShared& r) { return r.phase; });
}

std::string acquisition_status_text(const AcquisitionHandle& shared) {
    return shared->with_lock([](AcquisitionShared& r) { return r.status; });
}

std::optional<std::string> acquisition_error_text(const AcquisitionHandle& shared) {
    return shared->with_lock([](AcquisitionShared& r) { return r.error; });
}

void record_scan_failure_text(const AcquisitionHandle& shared, std::string text) {
    base::log(base::Level::Error, SCAN_LOG_TARGET, text);
    shared->with_lock([&](AcquisitionShared& r) {
        r.error = std::move(text);
        r.phase = ScanPhase::Failed;
    });
}

void reset_live_shared(const LiveHandle& shared) {
    shared->with_lock([](LiveShared& r) {
        const std::uint64_t generation = r.generation;
        r = LiveShared{};
        r.status = OPENING_LIVE_CONNECTION;
        r.generation = saturating_increment(generation);
        r.phase = ScanPhase::Running;
    });
}

void set_live_status(const LiveHandle& shared, Status status) {
    if (std::holds_alternative<Status::Progress>(status.value)) return;
    shared->with_lock([&](LiveShared& r) {
        if (auto* text = std::get_if<Status::Text>(&status.value)) {
            r.status = text->text;
        } else if (auto* info = std::get_if<Status::Info>(&status.value)) {
            r.info = std::move(info->text);
        }
    });
}

void request_live_stop(const LiveHandle& shared) {
    shared->with_lock([](LiveShared& r) {
        r.stop_requested = true;
        r.status = STOPPING_AFTER_SWEEP;
    });
}

std::optional<std::string> live_error_text(const LiveHandle& shared) {
    return shared->with_lock([](LiveShared& r) { return r.error; });
}

ScanPhase live_phase(const LiveHandle& shared) {
    return shared->with_lock([](LiveShared& r) { return r.phase; });
}

}  // namespace vorlix::workers
