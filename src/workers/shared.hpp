#pragma once
// The two records through which a worker thread and the user interface talk.
// There is no channel between the program's threads: a worker reports only by
// writing its record, and the user interface requests only by writing the
// live record.
//
// Locking rules for every user: one short lock per access, never two records
// at once, never a lock held over file or instrument I/O. Formatting a text
// under the lock is fine. A thread that unwinds while holding the lock
// releases it, and the contents stay valid for the next user.

#include <concepts>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "instrument/types.hpp"
#include "workers/traces.hpp"

namespace vorlix::workers {

// Ready until a worker first runs; a reset makes it Running, the worker's
// end Complete or Failed. Nothing sets it back to Ready.
enum class ScanPhase : std::uint8_t { Ready = 0, Running = 1, Complete = 2, Failed = 3 };

std::string_view scan_phase_name(ScanPhase phase);

// An update posted by the set-up steps that both workers share.
struct Status {
    struct Text {
        std::string_view text;  // copied into the record when applied
    };
    struct Progress {
        std::uint8_t percent;  // the live record ignores it
    };
    struct Info {
        std::string text;  // moved into the record
    };

    Status(Text t) : value(t) {}
    Status(Progress p) : value(p) {}
    Status(Info i) : value(std::move(i)) {}

    std::variant<Text, Progress, Info> value;
};

// Single scan. The worker writes everything; the user interface takes the
// samples out once it sees Complete.
struct AcquisitionShared {
    std::string status;
    std::string info;
    std::optional<std::vector<Sample>> samples;
    std::optional<std::string> saved_path;
    std::optional<std::string> error;
    std::uint64_t progress = 0;  // percent, 0..=100; only the final success write reaches 100
    ScanPhase phase = ScanPhase::Ready;
};

// Live capture. The worker writes the sweeps, traces, counters and outcome;
// the user interface writes the stop request, the pending save, the
// save-on-first-sweep flag and the selected trace.
struct LiveShared {
    std::string status;
    std::string info;
    SweepHistory history;  // oldest at the front, at most HISTORY_CAPACITY
    std::vector<double> max_hold;
    std::vector<double> max_decay;
    std::vector<double> min_hold;
    std::vector<double> min_decay;
    std::uint64_t sweep_count = 0;  // saturating
    std::optional<std::string> error;
    std::optional<Sweep> pending_save;
    std::uint64_t generation = 0;  // saturating; bumped whenever the visible buffer may change
    bool stop_requested = false;
    bool save_on_first_sweep = false;
    ScanPhase phase = ScanPhase::Ready;
    TraceMode trace_mode = TraceMode::Average4;
};

// Adds one, staying at the 64-bit maximum.
constexpr std::uint64_t saturating_increment(std::uint64_t value) {
    return value == UINT64_MAX ? value : value + 1;
}

// A record behind its mutex. Shared through a reference-counted handle; the
// record goes when the last handle does.
template <class Record>
class SharedRecord {
public:
    // Called with the record still locked at the end of every access, so a
    // test can see each intermediate state of a run that does not pause. It
    // must only look at the record (or change it as the other thread would)
    // and must not lock anything else.
    using Observer = std::function<void(Record&)>;

    // Runs `f` on the locked record and returns what it returns.
    template <class F>
    decltype(auto) with_lock(F&& f) {
        std::lock_guard lock(mutex_);
        if constexpr (std::is_void_v<std::invoke_result_t<F, Record&>>) {
            std::forward<F>(f)(record_);
            notify();
        } else {
            decltype(auto) result = std::forward<F>(f)(record_);
            notify();
            return result;
        }
    }

    void set_observer(Observer observer) {
        std::lock_guard lock(mutex_);
        observer_ = std::move(observer);
    }

private:
    void notify() {
        if (observer_) observer_(record_);
    }

    std::mutex mutex_;
    Record record_;
    Observer observer_;
};

using AcquisitionHandle = std::shared_ptr<SharedRecord<AcquisitionShared>>;
using LiveHandle = std::shared_ptr<SharedRecord<LiveShared>>;

// Both start in the initial state: empty texts, nothing stored, phase Ready.
AcquisitionHandle make_acquisition_shared();
LiveHandle make_live_shared();

// ---- single-scan record ----

// Status "Opening connection", everything else cleared, progress 0, phase Running.
void reset_acquisition_shared(const AcquisitionHandle& shared);
// Progress is capped at 99: only the worker's final success write shows 100.
void set_acquisition_status(const AcquisitionHandle& shared, Status status);
ScanPhase acquisition_phase(const AcquisitionHandle& shared);
std::string acquisition_status_text(const AcquisitionHandle& shared);
std::optional<std::string> acquisition_error_text(const AcquisitionHandle& shared);

// Logs the text at error level on target "vorlix::scan", then stores it as
// the error and sets phase Failed; status, info and progress stay as they
// are, so the final screen shows the stage that was reached.
void record_scan_failure_text(const AcquisitionHandle& shared, std::string text);

// The same for any error value with a display text.
template <class E>
    requires requires(const E& e) {
        { e.display() } -> std::convertible_to<std::string>;
    }
void record_scan_failure(const AcquisitionHandle& shared, E error) {
    record_scan_failure_text(shared, std::string(error.display()));
}

// ---- live record ----

// Status "Opening live connection", everything cleared, trace "average 4",
// phase Running; the generation moves on by one so a cached trace is rebuilt.
void reset_live_shared(const LiveHandle& shared);
// Text and Info as for the single scan; Progress has no effect.
void set_live_status(const LiveHandle& shared, Status status);
// Asks the worker to stop after the sweep in progress.
void request_live_stop(const LiveHandle& shared);
std::optional<std::string> live_error_text(const LiveHandle& shared);
ScanPhase live_phase(const LiveHandle& shared);

// Status texts written by these operations.
inline constexpr std::string_view OPENING_CONNECTION = "Opening connection";
inline constexpr std::string_view OPENING_LIVE_CONNECTION = "Opening live connection";
inline constexpr std::string_view STOPPING_AFTER_SWEEP = "Stopping after the current sweep";
inline constexpr std::string_view SCAN_LOG_TARGET = "vorlix::scan";

}  // namespace vorlix::workers
