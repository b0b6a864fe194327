#include "tui/widgets/chart.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "tui/buffer_assert.hpp"

namespace vorlix::tui {
namespace {

using testing_support::buffer_with_lines;
using testing_support::buffers_equal;

constexpr double NOT_A_NUMBER = std::numeric_limits<double>::quiet_NaN();
constexpr double INF = std::numeric_limits<double>::infinity();

Axis labelled(std::vector<Line> labels) { return Axis().labels(std::move(labels)); }

TEST(ChartLayout, AxesLabelsAndGraphArea) {
    const Axis plot_x = labelled({"2400.00", "2450.00", "2500.00"}).title("Frequency (MHz)");
    const Axis plot_y = labelled({"-128 dBm", "-64 dBm", "0 dBm"});
    const Axis live_y = Axis().title("Level (dBm)");
    struct Case {
        Rect area;
        Axis x, y;
        ChartLayout expected;
    };
    const Case cases[] = {
        // the plot screen: Y label band 8 wide, axis column, graph to the right
        {{0, 0, 66, 20},
         plot_x,
         plot_y,
         {{9, 0, 57, 18}, 19, 18, 8, {0, 0, 8, 18}, Position{51, 17}, std::nullopt}},
        // the band is at most a third of the width
        {{0, 0, 20, 10}, plot_x, plot_y, {{7, 0, 13, 8}, 9, 8, 6, {0, 0, 6, 8}, std::nullopt, std::nullopt}},
        // the live screen: no Y labels, so no Y axis line and no band
        {{2, 1, 40, 12},
         plot_x,
         live_y,
         {{2, 1, 40, 10}, 12, 11, std::nullopt, {2, 1, 0, 0}, Position{27, 10}, Position{2, 1}}},
        // no labels at all: the graph is the whole area
        {{0, 0, 10, 5},
         Axis(),
         Axis(),
         {{0, 0, 10, 5}, std::nullopt, std::nullopt, std::nullopt, {0, 0, 0, 0}, std::nullopt, std::nullopt}},
        // rows run out: labels first, then the axis line
        {{0, 0, 10, 2},
         plot_x,
         Axis(),
         {{0, 0, 10, 1}, 1, std::nullopt, std::nullopt, {0, 0, 0, 0}, std::nullopt, std::nullopt}},
        {{0, 0, 10, 1},
         plot_x,
         Axis(),
         {{0, 0, 10, 1}, std::nullopt, std::nullopt, std::nullopt, {0, 0, 0, 0}, std::nullopt, std::nullopt}},
        // too narrow for a band: the axis line still leaves one graph column
        {{0, 0, 2, 3},
         Axis(),
         plot_y,
         {{1, 0, 1, 3}, std::nullopt, std::nullopt, 0, {0, 0, 0, 3}, std::nullopt, std::nullopt}},
        {{4, 4, 0, 0},
         plot_x,
         plot_y,
         {{4, 4, 0, 0}, std::nullopt, std::nullopt, std::nullopt, {4, 4, 0, 0}, std::nullopt, std::nullopt}},
    };
    for (const Case& c : cases) {
        const ChartLayout got = chart_layout(c.area, c.x, c.y);
        EXPECT_EQ(got.graph, c.expected.graph) << describe(c.area);
        EXPECT_EQ(got.x_label_row, c.expected.x_label_row) << describe(c.area);
        EXPECT_EQ(got.x_axis_row, c.expected.x_axis_row) << describe(c.area);
        EXPECT_EQ(got.y_axis_column, c.expected.y_axis_column) << describe(c.area);
        EXPECT_EQ(got.y_label_band, c.expected.y_label_band) << describe(c.area);
        EXPECT_EQ(got.x_title, c.expected.x_title) << describe(c.area);
        EXPECT_EQ(got.y_title, c.expected.y_title) << describe(c.area);
    }
}

TEST(ChartLayout, XLabelsAtTheEndsAndCentredBetween) {
    using Spans = std::vector<std::optional<LabelSpan>>;
    struct Case {
        Rect graph;
        std::vector<std::size_t> widths;
        Spans expected;
    };
    const Case cases[] = {
        {{9, 0, 57, 1}, {7, 7, 7}, {LabelSpan{9, 7}, LabelSpan{34, 7}, LabelSpan{59, 7}}},
        {{0, 0, 10, 1}, {4, 4, 4}, {LabelSpan{0, 4}, std::nullopt, LabelSpan{6, 4}}},  // no room in between
        {{0, 0, 6, 1}, {3, 3}, {LabelSpan{0, 3}, std::nullopt}},  // would touch the first
        {{0, 0, 8, 1}, {3, 3}, {LabelSpan{0, 3}, LabelSpan{5, 3}}},
        {{0, 0, 10, 1}, {20}, {LabelSpan{0, 10}}},
        {{0, 0, 10, 1}, {0, 2}, {std::nullopt, LabelSpan{8, 2}}},
        {{0, 0, 0, 1}, {2, 2}, {std::nullopt, std::nullopt}},
    };
    for (const Case& c : cases) EXPECT_EQ(x_label_spans(c.graph, c.widths), c.expected) << describe(c.graph);
}

TEST(ChartLayout, YLabelsFromTheBottomRowToTheTopRow) {
    using Rows = std::vector<std::optional<std::uint16_t>>;
    struct Case {
        Rect graph;
        std::size_t count;
        Rows expected;
    };
    const Case cases[] = {
        {{0, 0, 10, 18}, 3, {17, 8, 0}},
        {{0, 2, 10, 4}, 2, {5, 2}},
        {{0, 0, 10, 2}, 3, {1, std::nullopt, 0}},
        {{0, 0, 10, 1}, 3, {0, std::nullopt, std::nullopt}},
        {{0, 0, 10, 5}, 1, {4}},
        {{0, 0, 10, 0}, 2, {std::nullopt, std::nullopt}},
    };
    for (const Case& c : cases) EXPECT_EQ(y_label_rows(c.graph, c.count), c.expected) << describe(c.graph);
}

TEST(CellMapping, EndsOfTheBoundsAreTheEdgeCells) {
    const CellMapping m(Rect{10, 5, 11, 5}, {0.0, 100.0}, {-10.0, 10.0});
    struct Case {
        double x, y;
        std::optional<Position> cell;
    };
    const Case cases[] = {
        {0.0, -10.0, Position{10, 9}},      {100.0, 10.0, Position{20, 5}}, {50.0, 0.0, Position{15, 7}},
        {4.9, 0.0, Position{10, 7}},  // nearest column
        {5.0, 0.0, Position{11, 7}},  // halves round up
        {0.0, 2.4, Position{10, 7}},        {0.0, 2.5, Position{10, 6}},    {-0.001, 0.0, std::nullopt},
        {100.001, 0.0, std::nullopt},       {50.0, 10.5, std::nullopt},     {NOT_A_NUMBER, 0.0, std::nullopt},
        {50.0, NOT_A_NUMBER, std::nullopt}, {INF, 0.0, std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(m.cell(c.x, c.y), c.cell) << c.x << ", " << c.y;
}

TEST(CellMapping, UnusableBoundsOrAreasMapNothing) {
    struct Case {
        Rect graph;
        std::array<double, 2> x, y;
    };
    const Case cases[] = {
        {{0, 0, 10, 10}, {5.0, 5.0}, {0.0, 1.0}},          {{0, 0, 10, 10}, {6.0, 5.0}, {0.0, 1.0}},
        {{0, 0, 10, 10}, {0.0, 1.0}, {NOT_A_NUMBER, 1.0}}, {{0, 0, 10, 10}, {-INF, INF}, {0.0, 1.0}},
        {{0, 0, 0, 10}, {0.0, 1.0}, {0.0, 1.0}},
    };
    for (const Case& c : cases) {
        const CellMapping m(c.graph, c.x, c.y);
        EXPECT_FALSE(m.usable());
        EXPECT_EQ(m.cell(5.0, 0.5), std::nullopt);
    }
    const CellMapping single(Rect{3, 3, 1, 1}, {0.0, 1.0}, {0.0, 1.0});
    EXPECT_EQ(single.cell(0.0, 0.0), (Position{3, 3}));
    EXPECT_EQ(single.cell(1.0, 1.0), (Position{3, 3}));
}

TEST(Chart, DotsWhereThePointsFall) {
    const std::vector<Point> points{{0, 0}, {4, 4}, {2, 2}, {9, 9}};
    Buffer b = Buffer::empty(Rect{0, 0, 5, 5});
    Chart({Dataset().marker(Marker::Dot).style(Style().fg(Color::Yellow)).data(points)})
        .x_axis(Axis().bounds(0, 4))
        .y_axis(Axis().bounds(0, 4))
        .render(b.area(), b);
    Buffer expected = buffer_with_lines({"    •", "     ", "  •  ", "     ", "•    "});
    for (Position p : {Position{4, 0}, Position{2, 2}, Position{0, 4}}) {
        expected.set_style(Rect{p.x, p.y, 1, 1}, Style().fg(Color::Yellow));
    }
    EXPECT_TRUE(buffers_equal(b, expected));
}

TEST(Chart, AxesWithLabels) {
    struct Reading {
        double mhz;
        double dbm;
    };
    const std::vector<Reading> readings{{0, 0}, {4, 10}, {2, 5}};
    const Style gray = Style().fg(Color::Gray);
    const Style yellow = Style().fg(Color::Yellow);
    Buffer b = Buffer::empty(Rect{0, 0, 12, 6});
    Chart({Dataset().style(yellow).data(PointSource(readings, &Reading::mhz, &Reading::dbm))})
        .x_axis(Axis().bounds(0, 4).labels({"0", "2", "4"}).style(gray))
        .y_axis(Axis().bounds(0, 10).labels({"lo", "hi"}).style(gray))
        .render(b.area(), b);
    Buffer expected = buffer_with_lines({
        "hi│        •",
        "  │    •    ",
        "  │         ",
        "lo│•        ",
        "  └─────────",
        "   0   2   4",
    });
    for (std::uint16_t y = 0; y < 4; ++y) expected.set_style(Rect{2, y, 1, 1}, gray);
    expected.set_style(Rect{0, 0, 2, 1}, gray);
    expected.set_style(Rect{0, 3, 2, 1}, gray);
    expected.set_style(Rect{2, 4, 10, 1}, gray);
    for (std::uint16_t x : std::initializer_list<std::uint16_t>{3, 7, 11})
        expected.set_style(Rect{x, 5, 1, 1}, gray);
    for (Position p : {Position{3, 3}, Position{11, 0}, Position{7, 1}}) {
        expected.set_style(Rect{p.x, p.y, 1, 1}, yellow);
    }
    EXPECT_TRUE(buffers_equal(b, expected));
}

TEST(Chart, TitlesLieOverTheData) {
    const std::vector<Point> points{{0, 1}, {1, 0}};
    Buffer b = Buffer::empty(Rect{0, 0, 10, 3});
    Chart({Dataset().data(points)})
        .x_axis(Axis().bounds(0, 1).title("MHz"))
        .y_axis(Axis().bounds(0, 1).title("dBm"))
        .render(b.area(), b);
    EXPECT_TRUE(buffers_equal(b, buffer_with_lines({"dBm       ", "          ", "       MHz"})));
}

TEST(Chart, EveryAreaSizeDrawsInsideItsGraph) {
    std::vector<Point> points;
    for (int i = 0; i <= 100; ++i) points.push_back({i * 1.0, std::sin(i / 10.0) * 50.0 - 60.0});
    for (std::uint16_t w = 0; w <= 16; ++w) {
        for (std::uint16_t h = 0; h <= 6; ++h) {
            const Axis x = labelled({"0.00", "50.00", "100.00"}).bounds(0, 100).title("Frequency (MHz)");
            const Axis y = labelled({"-128 dBm", "-64 dBm", "0 dBm"}).bounds(-128, 0);
            Buffer b = Buffer::empty(Rect{0, 0, w, h});
            Chart({Dataset().data(points)}).x_axis(x).y_axis(y).render(b.area(), b);
            const Rect graph = chart_layout(b.area(), x, y).graph;
            for (std::uint16_t row = 0; row < h; ++row) {
                for (std::uint16_t col = 0; col < w; ++col) {
                    if (b.cell(col, row).symbol == "•") {
                        EXPECT_TRUE(graph.contains({col, row}))
                            << w << "x" << h << " at " << col << "," << row;
                    }
                }
            }
        }
    }
}

TEST(Chart, CellsWorkedOutEarlierAreDrawnOnlyWhenTheyFitTheGraphAndBounds) {
    std::vector<Point> points;
    for (int i = 0; i <= 40; ++i) points.push_back({i * 0.25, std::sin(i / 4.0) * 4.0 + 5.0});
    const Axis x = labelled({"0", "10"}).bounds(0, 10);
    const Axis y = labelled({"lo", "hi"}).bounds(0, 10);
    const Rect area{1, 1, 16, 8};
    Buffer screen = Buffer::empty(Rect{0, 0, 18, 10});
    Chart chart;
    chart.block(Block::bordered()).x_axis(x).y_axis(y);
    const auto draw = [&](const DataCells* cells) {
        Buffer b = screen;
        Chart(chart).datasets({Dataset().data(points).cells(cells)}).render(area, b);
        return b;
    };
    const Buffer fresh = draw(nullptr);
    const Rect graph = chart.graph_area(area, screen.area());
    ASSERT_EQ(graph, (Rect{5, 2, 11, 4}));

    const DataCells cells = DataCells::of(points, graph, x.bounds(), y.bounds());
    EXPECT_FALSE(cells.hits.empty());
    EXPECT_TRUE(buffers_equal(draw(&cells), fresh));

    // Cells that fit are drawn instead of the points.
    const DataCells corner{graph, x.bounds(), y.bounds(), {0}};
    const Buffer drawn = draw(&corner);
    EXPECT_FALSE(drawn == fresh);
    EXPECT_EQ(drawn.cell(graph.x, graph.y).symbol, "•");

    // Stale cells are passed over and the points read.
    const DataCells stale[] = {
        {Rect{5, 2, 10, 4}, x.bounds(), y.bounds(), {0}},
        {Rect{5, 3, 11, 3}, x.bounds(), y.bounds(), {0}},
        {graph, {0, 9}, y.bounds(), {0}},
        {graph, x.bounds(), {1, 10}, {0}},
    };
    for (const DataCells& c : stale) EXPECT_TRUE(buffers_equal(draw(&c), fresh)) << describe(c.graph);
}

TEST(Chart, AMillionPointsMarkEveryColumnOfALine) {
    std::vector<Point> points(1'000'001);
    for (std::size_t i = 0; i < points.size(); ++i) {
        const double v = static_cast<double>(i) / 1e6;
        points[i] = {v, v};
    }
    Buffer b = Buffer::empty(Rect{0, 0, 200, 60});
    Chart({Dataset().data(points)})
        .x_axis(Axis().bounds(0, 1))
        .y_axis(Axis().bounds(0, 1))
        .render(b.area(), b);
    for (std::uint16_t x = 0; x < 200; ++x) {
        bool any = false;
        for (std::uint16_t y = 0; y < 60; ++y) any = any || b.cell(x, y).symbol == "•";
        EXPECT_TRUE(any) << "column " << x;
    }
    EXPECT_EQ(b.cell(0, 59).symbol, "•");
    EXPECT_EQ(b.cell(199, 0).symbol, "•");
    EXPECT_EQ(b.cell(199, 59).symbol, " ");
}

}  // namespace
}  // namespace vorlix::tui
