#include "tui/widgets/chart.hpp"

#include <algorithm>
#include <cstdint>
#include <string_view>

namespace vorlix::tui {

namespace {

std::string_view marker_symbol(Marker m) {
    switch (m) {
        case Marker::Dot: return "•";
        case Marker::Block: return "█";
    }
    return "•";
}

}  // namespace

void Chart::render(Rect area, Buffer& buf) const {
    const Rect inner = begin_widget(area, buf, style_, block_);
    if (inner.is_empty()) return;

    const ChartLayout layout = chart_layout(inner, x_axis_, y_axis_);
    render_axes(layout, buf);
    if (!layout.graph.is_empty()) render_data(layout.graph, buf);
    if (layout.x_title) {
        buf.set_line(layout.x_title->x, layout.x_title->y, *x_axis_.title(), layout.graph.width,
                     x_axis_.style());
    }
    if (layout.y_title) {
        buf.set_line(layout.y_title->x, layout.y_title->y, *y_axis_.title(), layout.graph.width,
                     y_axis_.style());
    }
}

void Chart::render_axes(const ChartLayout& layout, Buffer& buf) const {
    const Rect& g = layout.graph;
    if (layout.x_label_row) {
        std::vector<std::size_t> widths;
        for (const Line& l : x_axis_.labels()) widths.push_back(l.width());
        const auto spans = x_label_spans(g, widths);
        for (std::size_t i = 0; i < spans.size(); ++i) {
            if (!spans[i]) continue;
            buf.set_line(spans[i]->x, *layout.x_label_row, x_axis_.labels()[i], spans[i]->width,
                         x_axis_.style());
        }
    }
    const Rect& band = layout.y_label_band;
    if (!band.is_empty()) {
        const auto rows = y_label_rows(g, y_axis_.labels().size());
        for (std::size_t i = 0; i < rows.size(); ++i) {
            if (!rows[i]) continue;
            const Line& label = y_axis_.labels()[i];
            const std::size_t w = std::min<std::size_t>(label.width(), band.width);
            buf.set_line(static_cast<std::uint16_t>(band.right() - w), *rows[i], label, band.width,
                         y_axis_.style());
        }
    }
    if (layout.x_axis_row) {
        for (std::uint16_t x = g.left(); x < g.right(); ++x) {
            buf.set_grapheme(x, *layout.x_axis_row, "─", 1, x_axis_.style());
        }
    }
    if (layout.y_axis_column) {
        for (std::uint16_t y = g.top(); y < g.bottom(); ++y) {
            buf.set_grapheme(*layout.y_axis_column, y, "│", 1, y_axis_.style());
        }
        if (layout.x_axis_row)
            buf.set_grapheme(*layout.y_axis_column, *layout.x_axis_row, "└", 1, x_axis_.style());
    }
}

DataCells DataCells::of(const PointSource& points, Rect graph, std::array<double, 2> x_bounds,
                        std::array<double, 2> y_bounds) {
    DataCells cells{graph, x_bounds, y_bounds, {}};
    const CellMapping mapping(graph, x_bounds, y_bounds);
    if (!mapping.usable()) return cells;
    // The cells hit are marked first and listed after, so the cost per
    // point is the mapping alone and each cell is listed once, in order.
    std::vector<std::uint8_t> hit(std::size_t{graph.width} * graph.height);
    const std::size_t n = points.size();
    std::size_t column = 0;
    std::size_t row = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const Point p = points[i];
        if (mapping.map(p.x, p.y, column, row)) hit[row * graph.width + column] = 1;
    }
    for (std::size_t i = 0; i < hit.size(); ++i) {
        if (hit[i]) cells.hits.push_back(static_cast<std::uint32_t>(i));
    }
    return cells;
}

Rect Chart::graph_area(Rect area, Rect screen) const {
    area = area.intersection(screen);
    const Rect inner = block_ && !area.is_empty() ? block_->inner(area) : area;
    return chart_layout(inner, x_axis_, y_axis_).graph;
}

void Chart::render_data(const Rect& graph, Buffer& buf) const {
    if (!CellMapping(graph, x_axis_.bounds(), y_axis_.bounds()).usable()) return;
    for (const Dataset& set : datasets_) {
        const DataCells* given = set.cells();
        std::optional<DataCells> own;
        if (given == nullptr || !given->fits(graph, x_axis_.bounds(), y_axis_.bounds())) {
            own = DataCells::of(set.points(), graph, x_axis_.bounds(), y_axis_.bounds());
            given = &*own;
        }
        const std::string_view symbol = marker_symbol(set.marker());
        for (const std::uint32_t i : given->hits) {
            buf.set_grapheme(static_cast<std::uint16_t>(graph.x + i % graph.width),
                             static_cast<std::uint16_t>(graph.y + i / graph.width), symbol, 1, set.style());
        }
    }
}

}  // namespace vorlix::tui
