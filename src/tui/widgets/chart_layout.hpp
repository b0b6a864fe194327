#pragma once
// The geometry of a chart, as pure computations: where the axes, their
// labels and titles go, and which cell a data point falls into.
//
// Layout of a chart's area:
// - with X labels, the bottom row holds them and the row above it the X axis
//   line, as long as rows remain above for the graph;
// - with Y labels, a band on the left holds them, as wide as the widest label
//   but at most a third of the area, followed by the Y axis line when a
//   column remains for the graph;
// - the graph takes the rest: the top rows from the band (or the left edge)
//   to the right edge;
// - an axis without labels has no line either;
// - the X title stands right-aligned on the graph's bottom row, the Y title
//   at the graph's top left; each only when it fits the graph's width and
//   the graph has at least two rows.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "tui/core/rect.hpp"
#include "tui/core/style.hpp"
#include "tui/core/text.hpp"

namespace vorlix::tui {

class Axis {
public:
    Axis& title(Line title) {
        title_ = std::move(title);
        return *this;
    }
    // The data range shown, from the first value (left or bottom) to the second.
    Axis& bounds(double low, double high) {
        bounds_ = {low, high};
        return *this;
    }
    // Spread evenly from the low end to the high end.
    Axis& labels(std::vector<Line> labels) {
        labels_ = std::move(labels);
        return *this;
    }
    // For the line, the labels and the title.
    Axis& style(Style style) {
        style_ = style;
        return *this;
    }

    const std::optional<Line>& title() const { return title_; }
    const std::array<double, 2>& bounds() const { return bounds_; }
    const std::vector<Line>& labels() const { return labels_; }
    const Style& style() const { return style_; }

private:
    std::optional<Line> title_;
    std::array<double, 2> bounds_{0.0, 0.0};
    std::vector<Line> labels_;
    Style style_;
};

struct ChartLayout {
    Rect graph;  // where the data is drawn
    std::optional<std::uint16_t> x_label_row;
    std::optional<std::uint16_t> x_axis_row;
    std::optional<std::uint16_t> y_axis_column;
    Rect y_label_band;                // empty without Y labels
    std::optional<Position> x_title;  // where the title starts
    std::optional<Position> y_title;
    bool operator==(const ChartLayout&) const = default;
};

ChartLayout chart_layout(Rect area, const Axis& x, const Axis& y);

struct LabelSpan {
    std::uint16_t x;
    std::uint16_t width;
    bool operator==(const LabelSpan&) const = default;
};

// Where each X label goes under a graph: the first starts at its left edge,
// the last ends at its right edge, the others are centred on their evenly
// spaced columns. Labels are wanted in that order (first, last, then the
// others); one that would touch or overlap a label already placed is left
// out, so neighbours always keep a blank between them.
std::vector<std::optional<LabelSpan>> x_label_spans(Rect graph, std::span<const std::size_t> widths);

// The row of each of `count` Y labels: the first on the graph's bottom row,
// the last on its top row, the others evenly between. A label whose row is
// taken (in the order first, last, others) is left out.
std::vector<std::optional<std::uint16_t>> y_label_rows(Rect graph, std::size_t count);

// Data to cells: the bounds' ends map to the graph's edge columns and rows,
// every point to its nearest cell. Points outside the bounds (or not a
// number) map to none, and so does every point when a range is empty or
// not finite.
class CellMapping {
public:
    CellMapping(Rect graph, std::array<double, 2> x_bounds, std::array<double, 2> y_bounds);

    bool usable() const { return usable_; }

    // The cell's offset from the graph's top left corner.
    bool map(double x, double y, std::size_t& column, std::size_t& row) const {
        if (!(x >= x0_ && x <= x1_ && y >= y0_ && y <= y1_)) return false;
        const auto c = static_cast<std::size_t>((x - x0_) * x_scale_ + 0.5);
        const auto r = static_cast<std::size_t>((y - y0_) * y_scale_ + 0.5);
        column = c < width_ ? c : width_ - 1;
        row = height_ - 1 - (r < height_ ? r : height_ - 1);
        return true;
    }

    // The absolute cell of a point, if it has one.
    std::optional<Position> cell(double x, double y) const;

private:
    Rect graph_;
    std::size_t width_;
    std::size_t height_;
    double x0_, x1_, y0_, y1_;
    double x_scale_ = 0.0;
    double y_scale_ = 0.0;
    bool usable_ = false;
};

}  // namespace vorlix::tui
