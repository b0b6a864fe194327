// One frame of the chart screens with the largest sweep the menus allow:
// it must fit well inside the 16 ms between two polls of the event loop.
// A turn in which nothing changed must cost next to nothing on every screen.

#include <benchmark/benchmark.h>

#include <cmath>
#include <optional>
#include <vector>

#include "app/screens/render.hpp"
#include "app/services/ports.hpp"
#include "app/state/menu_lists.hpp"
#include "app/state/ui_state.hpp"
#include "tui/backend/test_backend.hpp"
#include "tui/core/buffer.hpp"
#include "tui/terminal.hpp"
#include "workers/shared.hpp"

namespace {

using namespace vorlix;

constexpr std::size_t POINTS = 1000001;

std::vector<instrument::Sample> sweep() {
    std::vector<instrument::Sample> samples(POINTS);
    for (std::size_t i = 0; i < POINTS; ++i) {
        const double f = 100.0 + 700.0 * static_cast<double>(i) / (POINTS - 1);
        samples[i] = {f, -90.0 + 40.0 * std::sin(f / 7.0) * std::cos(f / 53.0)};
    }
    return samples;
}

app::UiState chart_state(app::Screen screen, bool zoomed) {
    app::UiState state(app::PortList{}, config::Config{}, "config.toml");
    state.screen = screen;
    state.show_peak = true;
    state.plot.emplace("Saved scan.csv", sweep());
    if (zoomed) state.plot->viewport.zoom_to(50.0);
    return state;
}

// Each frame works the chart out afresh, as the first one after a new
// sweep or a zoom does.
void render_frames(benchmark::State& bench, app::Screen screen, bool zoomed) {
    app::UiState state = chart_state(screen, zoomed);
    tui::Buffer buf = tui::Buffer::empty(tui::Rect{0, 0, 200, 60});
    for (auto _ : bench) {
        state.plot->memo = app::PlotMemo{};
        buf.reset();
        auto result = app::render_ui(state, buf);
        benchmark::DoNotOptimize(result);
        benchmark::DoNotOptimize(buf);
    }
}

void BM_PlotScreen_FullView(benchmark::State& s) { render_frames(s, app::Screen::Plot, false); }
void BM_PlotScreen_Zoomed(benchmark::State& s) { render_frames(s, app::Screen::Plot, true); }
void BM_LiveScreen_FullView(benchmark::State& s) { render_frames(s, app::Screen::Live, false); }

BENCHMARK(BM_PlotScreen_FullView)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlotScreen_Zoomed)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LiveScreen_FullView)->Unit(benchmark::kMillisecond);

// What the event loop does on every poll turn while nothing changes, per
// screen (the chart screens with the largest sweep, peak marker on): the
// frame's inputs gathered and found equal, the frame on screen kept. No
// floor: nothing else does comparable work, and the figure only has to
// stay far below the poll interval.
app::UiState unchanged_state(app::Screen screen) {
    if (screen == app::Screen::Plot || screen == app::Screen::Live) return chart_state(screen, false);
    app::UiState state(app::PortList{{"/dev/ttyACM0", app::PortKind::Unknown, std::nullopt}},
                       config::Config{}, "config.toml");
    (void)app::build_menu_widgets(state);
    state.screen = screen;
    state.progress_gauge = app::ProgressGauge{};
    workers::set_acquisition_status(state.acquisition, workers::Status::Info{"tinySA4 v1.4, 450 points"});
    return state;
}

void BM_Unchanged(benchmark::State& bench) {
    const auto screen = static_cast<app::Screen>(bench.range(0));
    app::UiState state = unchanged_state(screen);
    tui::TestBackend backend({200, 60});
    auto terminal = tui::Terminal::create(backend);
    auto frame = [&](tui::Frame& f) { benchmark::DoNotOptimize(app::render_ui(state, f)); };
    if (!terminal || !terminal->draw(frame)) bench.SkipWithError("cannot draw the first frame");
    const std::size_t flushes = backend.flushes();
    for (auto _ : bench) {
        auto drawn = terminal->draw(frame);
        benchmark::DoNotOptimize(drawn);
    }
    if (backend.flushes() != flushes) bench.SkipWithError("an unchanged frame was sent");
}

// One run per screen, by its number: ports, parameters, plot, acquiring,
// live, finished.
BENCHMARK(BM_Unchanged)->DenseRange(0, 5)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
