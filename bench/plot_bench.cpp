// One frame of the chart screens with the largest sweep the menus allow:
// it must fit well inside the 16 ms between two polls of the event loop.

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "app/screens/render.hpp"
#include "app/state/ui_state.hpp"
#include "tui/core/buffer.hpp"

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

void render_frames(benchmark::State& bench, app::Screen screen, bool zoomed) {
    app::UiState state = chart_state(screen, zoomed);
    tui::Buffer buf = tui::Buffer::empty(tui::Rect{0, 0, 200, 60});
    for (auto _ : bench) {
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

}  // namespace

BENCHMARK_MAIN();
