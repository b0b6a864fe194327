#include "tui/core/layout.hpp"

#include <algorithm>
#include <cmath>

namespace vorlix::tui {

namespace {

using Kind = Constraint::Kind;

// Gives each constraint of one kind, in order, what it asks for as long as
// there is room.
void grant(std::span<const Constraint> constraints, Kind kind, double total, std::vector<double>& sizes,
           double& free) {
    for (std::size_t i = 0; i < constraints.size(); ++i) {
        if (constraints[i].kind != kind) continue;
        const double wanted = kind == Kind::Percentage ? total * constraints[i].value / 100.0
                                                       : static_cast<double>(constraints[i].value);
        const double given = std::min(wanted, free);
        sizes[i] = given;
        free -= given;
    }
}

// Shares the Mins' cells so that the smallest are raised first: every Min
// ends at max(its minimum, level) for one common level.
void level_mins(std::span<const Constraint> constraints, std::vector<double>& sizes, double extra) {
    std::vector<std::size_t> mins;
    double pool = extra;
    for (std::size_t i = 0; i < constraints.size(); ++i) {
        if (constraints[i].kind != Kind::Min) continue;
        mins.push_back(i);
        pool += sizes[i];
    }
    if (mins.empty() || extra <= 0.0) return;
    std::sort(mins.begin(), mins.end(), [&](std::size_t a, std::size_t b) { return sizes[a] < sizes[b]; });
    // Try raising the k smallest to a common level, the rest keeping theirs.
    double above = 0.0;  // cells held by the Mins that are not raised
    std::size_t k = mins.size();
    double level = pool / static_cast<double>(k);
    while (k > 1 && level < sizes[mins[k - 1]]) {
        above += sizes[mins[k - 1]];
        --k;
        level = (pool - above) / static_cast<double>(k);
    }
    for (std::size_t j = 0; j < k; ++j) sizes[mins[j]] = level;
}

}  // namespace

std::vector<std::uint16_t> segment_sizes(std::span<const Constraint> constraints, std::uint16_t total) {
    std::vector<double> sizes(constraints.size(), 0.0);
    double free = total;
    grant(constraints, Kind::Min, total, sizes, free);
    grant(constraints, Kind::Length, total, sizes, free);
    grant(constraints, Kind::Percentage, total, sizes, free);
    level_mins(constraints, sizes, free);

    std::vector<std::uint16_t> out(constraints.size(), 0);
    double edge = 0.0;
    long previous = 0;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        edge += sizes[i];
        const long rounded = std::clamp(std::lround(edge), previous, static_cast<long>(total));
        out[i] = static_cast<std::uint16_t>(rounded - previous);
        previous = rounded;
    }
    return out;
}

std::vector<Rect> split(Rect area, Direction direction, std::span<const Constraint> constraints) {
    const bool across = direction == Direction::Horizontal;
    const std::vector<std::uint16_t> sizes = segment_sizes(constraints, across ? area.width : area.height);
    std::vector<Rect> out;
    out.reserve(sizes.size());
    std::uint16_t offset = 0;
    for (std::uint16_t size : sizes) {
        if (across) {
            out.push_back({static_cast<std::uint16_t>(area.x + offset), area.y, size, area.height});
        } else {
            out.push_back({area.x, static_cast<std::uint16_t>(area.y + offset), area.width, size});
        }
        offset = static_cast<std::uint16_t>(offset + size);
    }
    return out;
}

}  // namespace vorlix::tui
