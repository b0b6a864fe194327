#include "app/state/plot_view.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <vector>

#include "app/services/ports.hpp"
#include "app/state/ui_state.hpp"
#include "tui/keys.hpp"

namespace vorlix::app {
namespace {

std::vector<Sample> at(std::initializer_list<double> mhz, double level = -50.0) {
    std::vector<Sample> out;
    for (double f : mhz) out.push_back({f, level});
    return out;
}

PlotViewport window(double full_min, double full_max, double view_min, double view_max, double min_span) {
    return {full_min, full_max, view_min, view_max, min_span};
}

TEST(SampleBounds, FullRangeAndMinimumSpan) {
    struct Case {
        const char* name;
        std::vector<Sample> samples;
        double full_min, full_max, min_span;
    } cases[] = {
        {"rising", at({100, 100.5, 101, 102}), 100, 102, 0.5},
        {"empty", {}, -0.001, 0.001, 0.002},
        {"single", at({2400}), 2400 - 0.0024, 2400 + 0.0024, 0.0048},
        {"falling ends", at({5, 3}), 4.999, 5.001, 0.002},
        {"repeated frequency skipped", at({1, 1, 2}), 1, 2, 1},
        {"step wider than the full span", at({0, 10, 5}), 0, 5, 5},
    };
    for (const auto& c : cases) {
        const PlotViewport v = sample_bounds(c.samples);
        EXPECT_NEAR(v.full_min, c.full_min, 1e-9) << c.name;
        EXPECT_NEAR(v.full_max, c.full_max, 1e-9) << c.name;
        EXPECT_NEAR(v.min_span, c.min_span, 1e-9) << c.name;
        EXPECT_EQ(v.view_min, v.full_min) << c.name;
        EXPECT_EQ(v.view_max, v.full_max) << c.name;
    }
}

TEST(SampleBounds, MinimumSpanNeverBelowEpsilon) {
    const PlotViewport tiny = sample_bounds(at({0.0, 1e-300, 1.0}));
    EXPECT_EQ(tiny.min_span, std::numeric_limits<double>::epsilon());
}

TEST(PlotView, NewShowsTheFullRange) {
    PlotView view("t", at({100, 101}));
    EXPECT_EQ(view.title, "t");
    EXPECT_EQ(view.samples.size(), 2u);
    EXPECT_EQ(view.viewport, window(100, 101, 100, 101, 1));
}

TEST(PlotViewport, ZoomAndPan) {
    enum Op { ZoomIn, ZoomOut, PanLeft, PanRight };
    struct Case {
        const char* name;
        PlotViewport from;
        std::vector<Op> ops;
        double view_min, view_max;
    } cases[] = {
        {"zoom in once", window(100, 102, 100, 102, 0.5), {ZoomIn}, 100.5, 101.5},
        {"zoom in twice", window(100, 102, 100, 102, 0.5), {ZoomIn, ZoomIn}, 100.75, 101.25},
        {"zoom in stops at min span",
         window(100, 102, 100, 102, 0.5),
         {ZoomIn, ZoomIn, ZoomIn},
         100.75,
         101.25},
        {"zoom out at left edge stays there", window(0, 100, 0, 10, 1), {ZoomOut}, 0, 20},
        {"zoom out at right edge stays there", window(0, 100, 95, 100, 1), {ZoomOut}, 90, 100},
        {"zoom out never passes the full range", window(0, 100, 20, 80, 1), {ZoomOut}, 0, 100},
        {"pan left a quarter", window(100, 102, 100.5, 101.5, 0.5), {PanLeft}, 100.25, 101.25},
        {"pan right a quarter", window(100, 102, 100.5, 101.5, 0.5), {PanRight}, 100.75, 101.75},
        {"pan right at the edge", window(100, 102, 101, 102, 0.5), {PanRight}, 101, 102},
        {"pan left stops at the edge", window(100, 102, 100.125, 101.125, 0.5), {PanLeft}, 100, 101},
        {"pan of the full view", window(100, 102, 100, 102, 0.5), {PanLeft, PanRight}, 100, 102},
        {"single sample cannot zoom",
         sample_bounds(at({2400})),
         {ZoomIn, ZoomOut},
         2400 - 0.0024,
         2400 + 0.0024},
    };
    for (const auto& c : cases) {
        PlotViewport v = c.from;
        for (Op op : c.ops) {
            switch (op) {
                case ZoomIn: v.zoom_to(std::max(v.view_span() * 0.5, v.min_span)); break;
                case ZoomOut: v.zoom_to(std::min(v.view_span() * 2.0, v.full_span())); break;
                case PanLeft: v.pan(PanDirection::Left); break;
                case PanRight: v.pan(PanDirection::Right); break;
            }
        }
        EXPECT_NEAR(v.view_min, c.view_min, 1e-9) << c.name;
        EXPECT_NEAR(v.view_max, c.view_max, 1e-9) << c.name;
        EXPECT_EQ(v.full_min, c.from.full_min) << c.name;
        EXPECT_EQ(v.full_max, c.from.full_max) << c.name;
    }
}

TEST(PlotViewport, RoundedSpansStayInsideTheFullRange) {
    // A window a hair wider than the full range, and a full range narrower
    // than the minimum span, must still give a window inside the range.
    PlotViewport wide = window(0.1, 0.3, 0.1, 0.3 + 1e-17, 0.01);
    wide.pan(PanDirection::Right);
    wide.zoom_to(1.0);
    PlotViewport narrow = window(1.0, 1.0 + 1e-16, 1.0, 1.0 + 1e-16, 2.220446049250313e-16);
    narrow.zoom_to(0.0);
    narrow.pan(PanDirection::Left);
    for (const PlotViewport& v : {wide, narrow}) {
        EXPECT_GE(v.view_min, v.full_min);
        EXPECT_LE(v.view_max, v.full_max);
        EXPECT_LE(v.view_min, v.view_max);
    }
}

TEST(VisiblePeak, Search) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        const char* name;
        std::vector<Sample> samples;
        double view_min, view_max;
        std::optional<Peak> expected;
    } cases[] = {
        {"highest wins", {{1, -60}, {2, -20}, {3, -40}}, 1, 3, Peak{2, -20}},
        {"tie keeps the earlier", {{1, -20}, {2, -60}, {3, -20}}, 1, 3, Peak{1, -20}},
        {"window ends are visible", {{1, -10}, {2, -90}, {3, -5}, {4, -1}}, 1, 3, Peak{3, -5}},
        {"outside the window ignored", {{1, 0}, {2, -50}, {3, 0}}, 1.5, 2.5, Peak{2, -50}},
        {"NaN never becomes the peak", {{1, -70}, {2, nan}, {3, -80}}, 1, 3, Peak{1, -70}},
        {"leading NaN is passed over", {{1, nan}, {2, -80}}, 1, 2, Peak{2, -80}},
        {"nothing visible", {{1, 0}, {5, 0}}, 2, 4, std::nullopt},
        {"no samples", {}, 0, 1, std::nullopt},
    };
    for (const auto& c : cases) {
        PlotView view("p", c.samples);
        view.viewport.view_min = c.view_min;
        view.viewport.view_max = c.view_max;
        EXPECT_EQ(visible_peak(view), c.expected) << c.name;
    }
}

TEST(FormatFrequency, DecimalsFollowTheSpan) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        double value, span;
        const char* text;
    } cases[] = {
        {2400, 560, "2400.00"},           {100.5, 1, "100.50"},         {100.5, 2.5, "100.50"},
        {100.5, 0.01, "100.500"},         {100.5, 0.0099, "100.500"},   {100.5, 0.0001, "100.50000"},
        {100.5, 0.00001, "100.500000"},   {100.5, 1e-12, "100.500000"}, {100.5, 0, "100.500000"},
        {100.5, nan, "100.50"},           {100.5, -4, "100.50"},        {-0.001, 0.002, "-0.001"},
        {0.123456789, 0.0001, "0.12346"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(format_frequency(c.value, c.span), c.text) << c.value << " span " << c.span;
    }
}

}  // namespace
}  // namespace vorlix::app

namespace vorlix::app {
namespace {

using tui::KeyCode;
using tui::KeyEvent;

TEST(BindingMatches, NamedKeysAndSingleCharacters) {
    struct Case {
        KeyEvent key;
        std::vector<std::string> bindings;
        bool matches;
    } cases[] = {
        {KeyEvent::key(KeyCode::Home), {"home"}, true},
        {KeyEvent::character(U'h'), {"home"}, false},
        {KeyEvent::key(KeyCode::Left), {"left", "h"}, true},
        {KeyEvent::character(U'h'), {"left", "h"}, true},
        {KeyEvent::key(KeyCode::Right), {"right"}, true},
        {KeyEvent::key(KeyCode::Right), {"left"}, false},
        {KeyEvent::character(U'l'), {"left"}, false},
        {KeyEvent::character(U'+'), {"+", "="}, true},
        {KeyEvent::character(U'='), {"+", "="}, true},
        {KeyEvent::character(U'H'), {"h"}, false},
        {KeyEvent::character(U'a'), {"ab"}, false},
        {KeyEvent::character(U'a'), {""}, false},
        {KeyEvent::character(U'\u00e9'), {"\u00e9"}, true},
        {KeyEvent::character(U'\u00e9'), {"\u00e9x"}, false},
        // Broken UTF-8 never matches, not even the character it would spell.
        {KeyEvent::character(U'/'), {"\xC0\xAF"}, false},
        {KeyEvent::character(U'A'), {"\xC1\x81"}, false},
        {KeyEvent::character(U'\u00e9'), {"\xC3"}, false},
        {KeyEvent::key(KeyCode::Enter), {"+"}, false},
        {KeyEvent::key(KeyCode::Home), {"0"}, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(binding_matches(c.key, c.bindings), c.matches) << tui::describe(c.key);
    }
}

UiState plot_state(std::optional<PlotView> plot) {
    UiState s({}, config::Config{}, "c");
    s.screen = Screen::Plot;
    s.plot = std::move(plot);
    return s;
}

TEST(HandlePlotKey, ActionsOnTheDefaultBindings) {
    const PlotView view("p", at({100, 100.5, 101, 102}));
    struct Case {
        std::vector<KeyEvent> keys;
        bool consumed;
        double view_min, view_max;
    } cases[] = {
        {{KeyEvent::character(U'+')}, true, 100.5, 101.5},
        {{KeyEvent::character(U'=')}, true, 100.5, 101.5},
        {{KeyEvent::character(U'+'), KeyEvent::character(U'-')}, true, 100, 102},
        {{KeyEvent::character(U'+'), KeyEvent::key(KeyCode::Left)}, true, 100.25, 101.25},
        {{KeyEvent::character(U'+'), KeyEvent::character(U'l')}, true, 100.75, 101.75},
        {{KeyEvent::character(U'+'), KeyEvent::character(U'0')}, true, 100, 102},
        {{KeyEvent::character(U'+'), KeyEvent::key(KeyCode::Home)}, true, 100, 102},
        {{KeyEvent::character(U'm')}, false, 100, 102},
        {{KeyEvent::character(U'r')}, false, 100, 102},
        {{KeyEvent::key(KeyCode::Up)}, false, 100, 102},
    };
    for (const auto& c : cases) {
        UiState s = plot_state(view);
        bool consumed = false;
        for (const KeyEvent& k : c.keys) consumed = handle_plot_key(s, k);
        EXPECT_EQ(consumed, c.consumed) << tui::describe(c.keys.back());
        EXPECT_NEAR(s.plot->viewport.view_min, c.view_min, 1e-12) << tui::describe(c.keys.back());
        EXPECT_NEAR(s.plot->viewport.view_max, c.view_max, 1e-12) << tui::describe(c.keys.back());
    }
}

TEST(HandlePlotKey, BoundKeyIsConsumedWithoutAPlotAndFirstActionWins) {
    UiState none = plot_state(std::nullopt);
    EXPECT_TRUE(handle_plot_key(none, KeyEvent::character(U'+')));
    EXPECT_FALSE(handle_plot_key(none, KeyEvent::character(U'x')));

    // The same key in two lists: zoom_in is tested first.
    UiState s = plot_state(PlotView("p", at({100, 100.5, 101, 102})));
    s.config.ui.bindings.zoom_in = {"m"};
    s.config.ui.bindings.pan_left = {"m"};
    EXPECT_TRUE(handle_plot_key(s, KeyEvent::character(U'm')));
    EXPECT_NEAR(s.plot->viewport.view_min, 100.5, 1e-12);
    EXPECT_NEAR(s.plot->viewport.view_max, 101.5, 1e-12);
}

}  // namespace
}  // namespace vorlix::app
