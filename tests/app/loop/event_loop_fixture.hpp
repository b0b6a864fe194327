#pragma once
// What the event-loop tests share: a state built as the entry builds it, a
// launcher that records the workers it was asked to start instead of
// starting them, frame text helpers, and a scratch directory for the
// written-back configuration.

#include <filesystem>
#include <string>
#include <vector>

#include "app/loop/confirm.hpp"
#include "app/loop/event_loop.hpp"
#include "app/services/ports.hpp"
#include "app/state/menu_lists.hpp"
#include "app/state/ui_state.hpp"
#include "config/record.hpp"
#include "tui/core/buffer.hpp"
#include "workers/temp_dir.hpp"
#include "workers/traces.hpp"

namespace vorlix::app::test {

using ScratchDir = vorlix::test::TempDir;

inline PortList ports_named(const std::vector<std::string>& names) {
    PortList list;
    for (const std::string& n : names) list.push_back(PortEntry{n, PortKind::Unknown, std::nullopt});
    return list;
}

// The state of a scan run, with the cached menu widgets the entry builds
// before the loop starts.
inline UiState make_state(const config::Config& config, const std::string& config_path,
                          const std::vector<std::string>& ports = {"/dev/ttyACM0", "/dev/ttyUSB0"}) {
    UiState state(ports_named(ports), config, config_path);
    (void)build_menu_widgets(state);
    return state;
}

struct StartedWorker {
    bool live = false;
    config::Config config;
    instrument::ScanRequest request;
};

// Records each start; the records stay as the start left them.
struct RecordingLauncher {
    std::vector<StartedWorker> started;

    WorkerLauncher launcher() {
        return WorkerLauncher{[this](config::Config c, workers::AcquisitionHandle,
                                     instrument::ScanRequest r) -> std::expected<void, base::IoError> {
                                  started.push_back({false, std::move(c), r});
                                  return {};
                              },
                              [this](config::Config c, workers::LiveHandle,
                                     instrument::ScanRequest r) -> std::expected<void, base::IoError> {
                                  started.push_back({true, std::move(c), r});
                                  return {};
                              }};
    }
};

// The worker's side of a live sweep: folded into the record's history.
inline void fold(UiState& s, const workers::Sweep& sweep) {
    s.live->with_lock([&](workers::LiveShared& r) { workers::apply_sweep(r, sweep); });
}

// The symbols of one row, trailing blanks included.
inline std::string row_text(const tui::Buffer& b, std::uint16_t y) {
    std::string out;
    for (std::uint16_t x = b.area().left(); x < b.area().right(); ++x) out += b.cell(x, y).symbol;
    return out;
}

inline bool frame_contains(const tui::Buffer& b, std::string_view text) {
    for (std::uint16_t y = b.area().top(); y < b.area().bottom(); ++y) {
        if (row_text(b, y).find(text) != std::string::npos) return true;
    }
    return false;
}

}  // namespace vorlix::app::test
