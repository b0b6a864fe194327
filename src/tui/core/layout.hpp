#pragma once
// Splitting an area into rows or columns by constraints.
//
//   auto [status, gauge, body] =
//       vertical({Constraint::length(3), Constraint::length(1), Constraint::min(10)}).areas(area);
//
// Segments are laid out from the start with no spacing. How the cells are
// shared (segment_sizes):
// - first every Min gets its minimum, then every Length its length, then
//   every Percentage its share of the whole; within each kind in list order,
//   each taking what is still free, so when the space is too small the later
//   ones of a kind lose first and a Min keeps its cells longest;
// - what is left over then goes to the Mins, raising the smallest ones
//   first so that they end as equal as their minimums allow; without a Min
//   it stays unused at the end;
// - fractional shares are placed on the segment edges, and each edge is
//   rounded to the nearest cell (halves away from zero), so the sizes always
//   add up to the cells used and whole-cell segments keep their size.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "tui/core/rect.hpp"

namespace vorlix::tui {

enum class Direction : std::uint8_t { Horizontal, Vertical };

struct Constraint {
    enum class Kind : std::uint8_t { Length, Min, Percentage };
    Kind kind = Kind::Length;
    std::uint16_t value = 0;

    // Exactly n cells.
    static constexpr Constraint length(std::uint16_t n) { return {Kind::Length, n}; }
    // At least n cells, growing into what is left over.
    static constexpr Constraint min(std::uint16_t n) { return {Kind::Min, n}; }
    // p percent of the whole area.
    static constexpr Constraint percentage(std::uint16_t p) { return {Kind::Percentage, p}; }

    bool operator==(const Constraint&) const = default;
};

// The sizes of the segments, in order, along `total` cells.
std::vector<std::uint16_t> segment_sizes(std::span<const Constraint> constraints, std::uint16_t total);

// The segments as areas, left to right or top to bottom.
std::vector<Rect> split(Rect area, Direction direction, std::span<const Constraint> constraints);

template <std::size_t N>
class Layout {
public:
    Layout(Direction direction, const std::array<Constraint, N>& constraints)
        : direction_(direction), constraints_(constraints) {}

    std::array<Rect, N> areas(Rect area) const {
        const std::vector<Rect> parts = split(area, direction_, constraints_);
        std::array<Rect, N> out{};
        for (std::size_t i = 0; i < N; ++i) out[i] = parts[i];
        return out;
    }

private:
    Direction direction_;
    std::array<Constraint, N> constraints_;
};

template <std::size_t N>
Layout<N> vertical(const Constraint (&constraints)[N]) {
    return Layout<N>(Direction::Vertical, std::to_array(constraints));
}

template <std::size_t N>
Layout<N> horizontal(const Constraint (&constraints)[N]) {
    return Layout<N>(Direction::Horizontal, std::to_array(constraints));
}

}  // namespace vorlix::tui
