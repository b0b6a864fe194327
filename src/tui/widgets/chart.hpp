#pragma once
// A chart of data sets drawn as unconnected markers over two axes. The
// points are read where they lie (a span of any record with two double
// fields), never copied, so a sweep of a million points draws in one pass.

#include <cstddef>
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
    PointSource(std::span<const Point> points) : PointSource(points, &Point::x, &Point::y) {}  // NOLINT
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

    const Line& name() const { return name_; }
    Marker marker() const { return marker_; }
    const Style& style() const { return style_; }
    const PointSource& points() const { return points_; }

private:
    Line name_;
    Marker marker_ = Marker::Dot;
    Style style_;
    PointSource points_;
};

class Chart {
public:
    explicit Chart(std::vector<Dataset> datasets) : datasets_(std::move(datasets)) {}

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
