#pragma once
// A chart of data sets drawn as unconnected markers over two axes. The
// points are read where they lie (a span of any record with two double
// fields), never copied, so a sweep of a million points draws in one pass.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <vector>

#include "tui/core/buffer.hpp"
#include "tui/widgets/block.hpp"
#include "tui/widgets/chart_layout.hpp"

namespace vorlix::tui {

struct Point {
    double x;
    double y;
};

// A read-only view of points inside records: x and y are two double members
// of each element.
class PointSource {
public:
    PointSource() = default;
    PointSource(std::span<const Point> points) : PointSource(points, &Point::x, &Point::y) {}       // NOLINT
    PointSource(const std::vector<Point>& points) : PointSource(std::span<const Point>(points)) {}  // NOLINT
    template <class T>
    PointSource(std::span<const T> items, const double T::*x, const double T::*y)
        : base_(reinterpret_cast<const std::byte*>(items.data())), count_(items.size()), stride_(sizeof(T)) {
        if (items.empty()) return;
        const auto* first = reinterpret_cast<const std::byte*>(&items[0]);
        x_offset_ = static_cast<std::size_t>(reinterpret_cast<const std::byte*>(&(items[0].*x)) - first);
        y_offset_ = static_cast<std::size_t>(reinterpret_cast<const std::byte*>(&(items[0].*y)) - first);
    }
    template <class T>
    PointSource(const std::vector<T>& items, const double T::*x, const double T::*y)
        : PointSource(std::span<const T>(items), x, y) {}

    std::size_t size() const { return count_; }
    Point operator[](std::size_t i) const {
        Point p;
        const std::byte* at = base_ + i * stride_;
        std::memcpy(&p.x, at + x_offset_, sizeof p.x);
        std::memcpy(&p.y, at + y_offset_, sizeof p.y);
        return p;
    }

private:
    const std::byte* base_ = nullptr;
    std::size_t count_ = 0;
    std::size_t stride_ = 0;
    std::size_t x_offset_ = 0;
    std::size_t y_offset_ = 0;
};

enum class Marker : std::uint8_t {
    Dot,    // "•"
    Block,  // "█"
};

// The cells of a graph that a data set's points fall into for the given
// bounds, in row order: the one costly part of drawing a chart. Whoever can
// tell when the points change keeps these, so an unchanged frame is drawn
// without reading the points again.
struct DataCells {
    Rect graph;
    std::array<double, 2> x_bounds{0.0, 0.0};
    std::array<double, 2> y_bounds{0.0, 0.0};
    std::vector<std::uint32_t> hits;  // offsets from the graph's top left, row by row

    static DataCells of(const PointSource& points, Rect graph, std::array<double, 2> x_bounds,
                        std::array<double, 2> y_bounds);
    // Whether these were worked out for that graph and those bounds.
    bool fits(Rect g, const std::array<double, 2>& x, const std::array<double, 2>& y) const {
        return g == graph && x == x_bounds && y == y_bounds;
    }
    bool operator==(const DataCells&) const = default;
};

class Dataset {
public:
    Dataset& name(Line name) {
        name_ = std::move(name);
        return *this;
    }
    Dataset& marker(Marker marker) {
        marker_ = marker;
        return *this;
    }
    Dataset& style(Style style) {
        style_ = style;
        return *this;
    }
    // The points must outlive the rendering.
    Dataset& data(PointSource points) {
        points_ = points;
        return *this;
    }
    // Cells worked out earlier from these points, which must outlive the
    // rendering too. They are drawn when they fit the chart's graph and
    // bounds; otherwise the points are read as without them.
    Dataset& cells(const DataCells* cells) {
        cells_ = cells;
        return *this;
    }

    const Line& name() const { return name_; }
    Marker marker() const { return marker_; }
    const Style& style() const { return style_; }
    const PointSource& points() const { return points_; }
    const DataCells* cells() const { return cells_; }

private:
    Line name_;
    Marker marker_ = Marker::Dot;
    Style style_;
    PointSource points_;
    const DataCells* cells_ = nullptr;
};

class Chart {
public:
    Chart() = default;
    explicit Chart(std::vector<Dataset> datasets) : datasets_(std::move(datasets)) {}

    Chart& datasets(std::vector<Dataset> datasets) {
        datasets_ = std::move(datasets);
        return *this;
    }

    Chart& block(Block block) {
        block_ = std::move(block);
        return *this;
    }
    Chart& style(Style style) {
        style_ = style;
        return *this;
    }
    Chart& x_axis(Axis axis) {
        x_axis_ = std::move(axis);
        return *this;
    }
    Chart& y_axis(Axis axis) {
        y_axis_ = std::move(axis);
        return *this;
    }

    // Axes and labels first, then the data sets in order (a later one over
    // an earlier one), then the axis titles over the data.
    void render(Rect area, Buffer& buf) const;

    // Where render(area, buf) draws the data, for a buffer over `screen`:
    // what DataCells are worked out for.
    Rect graph_area(Rect area, Rect screen) const;

private:
    void render_axes(const ChartLayout& layout, Buffer& buf) const;
    void render_data(const Rect& graph, Buffer& buf) const;

    std::vector<Dataset> datasets_;
    std::optional<Block> block_;
    Style style_;
    Axis x_axis_;
    Axis y_axis_;
};

}  // namespace vorlix::tui
