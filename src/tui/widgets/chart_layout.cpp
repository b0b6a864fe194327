#include "tui/widgets/chart_layout.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace vorlix::tui {

ChartLayout chart_layout(Rect area, const Axis& x, const Axis& y) {
    ChartLayout layout;
    layout.graph = {area.x, area.y, 0, 0};
    layout.y_label_band = {area.x, area.y, 0, 0};
    if (area.is_empty()) return layout;

    std::uint16_t last_row = static_cast<std::uint16_t>(area.bottom() - 1);
    if (!x.labels().empty() && last_row > area.top()) layout.x_label_row = last_row--;
    if (!x.labels().empty() && last_row > area.top()) layout.x_axis_row = last_row--;
    const auto rows = static_cast<std::uint16_t>(last_row - area.top() + 1);

    std::uint16_t left = area.left();
    if (!y.labels().empty()) {
        std::size_t widest = 0;
        for (const Line& l : y.labels()) widest = std::max(widest, l.width());
        const auto band = static_cast<std::uint16_t>(std::min<std::size_t>(widest, area.width / 3));
        layout.y_label_band = {left, area.top(), band, rows};
        left = static_cast<std::uint16_t>(left + band);
        if (left + 1 < area.right()) layout.y_axis_column = left++;
    }
    layout.graph = {left, area.top(), static_cast<std::uint16_t>(area.right() - left), rows};

    const Rect& g = layout.graph;
    if (x.title() && g.height >= 2 && x.title()->width() <= g.width) {
        layout.x_title = Position{static_cast<std::uint16_t>(g.right() - x.title()->width()),
                                  static_cast<std::uint16_t>(g.bottom() - 1)};
    }
    if (y.title() && g.height >= 2 && y.title()->width() <= g.width) layout.y_title = Position{g.x, g.y};
    return layout;
}

namespace {

// Order in which labels claim their place: the ends first.
std::vector<std::size_t> claim_order(std::size_t count) {
    std::vector<std::size_t> order;
    if (count == 0) return order;
    order.push_back(0);
    if (count > 1) order.push_back(count - 1);
    for (std::size_t i = 1; i + 1 < count; ++i) order.push_back(i);
    return order;
}

// The evenly spaced position of item i of count along `length` cells.
std::size_t spread(std::size_t i, std::size_t count, std::size_t length) {
    if (count < 2 || length == 0) return 0;
    return static_cast<std::size_t>(std::lround(static_cast<double>(i) * static_cast<double>(length - 1) /
                                                static_cast<double>(count - 1)));
}

}  // namespace

std::vector<std::optional<LabelSpan>> x_label_spans(Rect graph, std::span<const std::size_t> widths) {
    std::vector<std::optional<LabelSpan>> out(widths.size());
    if (graph.width == 0) return out;
    const std::size_t n = widths.size();
    std::vector<LabelSpan> taken;
    for (std::size_t i : claim_order(n)) {
        const auto w = static_cast<std::uint16_t>(std::min<std::size_t>(widths[i], graph.width));
        if (w == 0) continue;
        const std::uint16_t latest = static_cast<std::uint16_t>(graph.right() - w);
        std::uint16_t start;
        if (i == 0) {
            start = graph.x;
        } else if (i == n - 1) {
            start = latest;
        } else {
            const std::size_t centre = graph.x + spread(i, n, graph.width);
            start = static_cast<std::uint16_t>(
                std::clamp<std::size_t>(centre - std::min<std::size_t>(centre, w / 2), graph.x, latest));
        }
        const LabelSpan span{start, w};
        const bool clear = std::all_of(taken.begin(), taken.end(), [&](const LabelSpan& t) {
            return span.x + span.width + 1u <= t.x || t.x + t.width + 1u <= span.x;
        });
        if (!clear) continue;
        taken.push_back(span);
        out[i] = span;
    }
    return out;
}

std::vector<std::optional<std::uint16_t>> y_label_rows(Rect graph, std::size_t count) {
    std::vector<std::optional<std::uint16_t>> out(count);
    if (graph.height == 0) return out;
    std::vector<std::uint16_t> taken;
    for (std::size_t i : claim_order(count)) {
        const auto row = static_cast<std::uint16_t>(graph.bottom() - 1 - spread(i, count, graph.height));
        if (std::find(taken.begin(), taken.end(), row) != taken.end()) continue;
        taken.push_back(row);
        out[i] = row;
    }
    return out;
}

CellMapping::CellMapping(Rect graph, std::array<double, 2> x_bounds, std::array<double, 2> y_bounds)
    : graph_(graph), width_(graph.width), height_(graph.height) {
    const double x_span = x_bounds[1] - x_bounds[0];
    const double y_span = y_bounds[1] - y_bounds[0];
    usable_ = width_ > 0 && height_ > 0 && x_span > 0.0 && y_span > 0.0 && std::isfinite(x_span) &&
              std::isfinite(y_span);
    if (!usable_) {
        // Bounds no value can lie between, so map() needs no test of its own.
        x0_ = y0_ = std::numeric_limits<double>::infinity();
        x1_ = y1_ = -std::numeric_limits<double>::infinity();
        return;
    }
    x0_ = x_bounds[0];
    x1_ = x_bounds[1];
    y0_ = y_bounds[0];
    y1_ = y_bounds[1];
    x_scale_ = static_cast<double>(width_ - 1) / x_span;
    y_scale_ = static_cast<double>(height_ - 1) / y_span;
}

std::optional<Position> CellMapping::cell(double x, double y) const {
    std::size_t column = 0;
    std::size_t row = 0;
    if (!map(x, y, column, row)) return std::nullopt;
    return Position{static_cast<std::uint16_t>(graph_.x + column),
                    static_cast<std::uint16_t>(graph_.y + row)};
}

}  // namespace vorlix::tui
