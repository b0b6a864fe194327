#pragma once
// Screen geometry in cells. A Rect is half-open: right() and bottom() are one
// past the last column and row, so an empty area needs no special casing.
// All arithmetic saturates at the 16-bit range instead of wrapping, so a
// margin larger than its area gives an empty area, never a huge one.

#include <algorithm>
#include <cstdint>
#include <string>

namespace vorlix::tui {

struct Position {
    std::uint16_t x = 0;
    std::uint16_t y = 0;
    bool operator==(const Position&) const = default;
};

struct Size {
    std::uint16_t width = 0;
    std::uint16_t height = 0;
    bool operator==(const Size&) const = default;
};

struct Margin {
    std::uint16_t horizontal = 0;
    std::uint16_t vertical = 0;
};

constexpr std::uint16_t saturating_add(std::uint16_t a, std::uint16_t b) {
    const unsigned sum = unsigned{a} + unsigned{b};
    return sum > 0xffffu ? std::uint16_t{0xffff} : static_cast<std::uint16_t>(sum);
}

constexpr std::uint16_t saturating_sub(std::uint16_t a, std::uint16_t b) {
    return a > b ? static_cast<std::uint16_t>(a - b) : std::uint16_t{0};
}

struct Rect {
    std::uint16_t x = 0;
    std::uint16_t y = 0;
    std::uint16_t width = 0;
    std::uint16_t height = 0;

    constexpr std::uint16_t left() const { return x; }
    constexpr std::uint16_t top() const { return y; }
    constexpr std::uint16_t right() const { return saturating_add(x, width); }
    constexpr std::uint16_t bottom() const { return saturating_add(y, height); }
    constexpr std::uint32_t area() const { return std::uint32_t{width} * height; }
    constexpr bool is_empty() const { return width == 0 || height == 0; }
    constexpr Size size() const { return {width, height}; }
    constexpr Position position() const { return {x, y}; }

    constexpr bool contains(Position p) const {
        return p.x >= left() && p.x < right() && p.y >= top() && p.y < bottom();
    }

    // The area shrunk by the margin on each side; empty when it does not fit.
    constexpr Rect inner(Margin m) const {
        const unsigned dx = 2u * m.horizontal;
        const unsigned dy = 2u * m.vertical;
        if (width < dx || height < dy) {
            return {saturating_add(x, m.horizontal), saturating_add(y, m.vertical), 0, 0};
        }
        return {saturating_add(x, m.horizontal), saturating_add(y, m.vertical),
                static_cast<std::uint16_t>(width - dx), static_cast<std::uint16_t>(height - dy)};
    }

    // The common part; empty (with a clamped origin) when they do not overlap.
    constexpr Rect intersection(const Rect& other) const {
        const std::uint16_t x1 = std::max(left(), other.left());
        const std::uint16_t y1 = std::max(top(), other.top());
        const std::uint16_t x2 = std::min(right(), other.right());
        const std::uint16_t y2 = std::min(bottom(), other.bottom());
        return {x1, y1, saturating_sub(x2, x1), saturating_sub(y2, y1)};
    }

    constexpr bool intersects(const Rect& other) const { return !intersection(other).is_empty(); }

    // The rows of the area from top to bottom, each one cell high.
    constexpr Rect row(std::uint16_t index) const {
        if (index >= height) return {x, bottom(), width, 0};
        return {x, static_cast<std::uint16_t>(y + index), width, 1};
    }

    bool operator==(const Rect&) const = default;
};

// "Rect { x: 1, y: 2, width: 3, height: 4 }", for test messages.
inline std::string describe(const Rect& r) {
    return "Rect { x: " + std::to_string(r.x) + ", y: " + std::to_string(r.y) +
           ", width: " + std::to_string(r.width) + ", height: " + std::to_string(r.height) + " }";
}

}  // namespace vorlix::tui
