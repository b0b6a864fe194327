#include "tui/core/layout.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tui/core/buffer.hpp"

namespace vorlix::tui {
namespace {

using C = Constraint;

// Fills each segment of a one-row split with its own letter; cells that no
// segment takes stay '.'.
std::string letters(std::vector<Constraint> constraints, std::uint16_t width) {
    Cell dot;
    dot.symbol = ".";
    Buffer b = Buffer::filled(Rect{0, 0, width, 1}, dot);
    char letter = 'a';
    for (const Rect& r : split(b.area(), Direction::Horizontal, constraints)) {
        for (std::uint16_t x = r.left(); x < r.right(); ++x) b.cell(x, 0).symbol = std::string(1, letter);
        ++letter;
    }
    std::string out;
    for (const Cell& c : b.content()) out += c.symbol;
    return out;
}

TEST(Layout, SegmentsFillFromTheStart) {
    struct Case {
        std::vector<Constraint> constraints;
        std::uint16_t width;
        std::string expected;
    };
    const Case cases[] = {
        {{C::length(2), C::length(1)}, 3, "aab"},
        {{C::length(2), C::length(1)}, 5, "aab.."},           // no Min: the rest stays unused
        {{C::length(4), C::length(4)}, 5, "aaaab"},           // too little: the later one loses
        {{C::min(2), C::length(1)}, 6, "aaaaab"},             // a Min takes what is left over
        {{C::length(1), C::min(2), C::length(1)}, 3, "abb"},  // a Min keeps its cells first
        {{C::min(1), C::min(1)}, 5, "aaabb"},                 // Mins share the rest evenly
        {{C::min(1), C::min(3)}, 5, "aabbb"},                 // ... as their minimums allow
        {{C::percentage(50), C::percentage(50)}, 5, "aaabb"},
        {{C::percentage(50), C::length(2)}, 5, "aaabb"},
        {{C::percentage(200)}, 4, "aaaa"},
        {{C::length(2), C::percentage(100)}, 5, "aabbb"},  // a Length comes before a Percentage
        {{C::min(0)}, 3, "aaa"},
        {{}, 3, "..."},
        {{C::length(3), C::min(3)}, 0, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(letters(c.constraints, c.width), c.expected) << c.width << " cells";
    }
}

TEST(Layout, SizesOfTheScreenSplits) {
    struct Case {
        std::vector<Constraint> constraints;
        std::uint16_t total;
        std::vector<std::uint16_t> sizes;
    };
    const Case cases[] = {
        // the middle column of the menus and of the plot screens
        {{C::min(7), C::percentage(100), C::min(7)}, 80, {7, 66, 7}},
        {{C::min(7), C::percentage(90), C::min(7)}, 80, {7, 66, 7}},
        {{C::min(7), C::percentage(90), C::min(7)}, 200, {10, 180, 10}},
        {{C::min(7), C::percentage(90), C::min(7)}, 201, {10, 181, 10}},
        {{C::min(7), C::percentage(90), C::min(7)}, 10, {7, 0, 3}},
        {{C::min(2), C::percentage(96), C::min(2)}, 100, {2, 96, 2}},
        {{C::min(2), C::percentage(96), C::min(2)}, 300, {6, 288, 6}},
        // the four parameter editors
        {{C::percentage(25), C::percentage(25), C::percentage(25), C::percentage(25)}, 66, {17, 16, 17, 16}},
        {{C::percentage(25), C::percentage(25), C::percentage(25), C::percentage(25)}, 3, {1, 1, 0, 1}},
        // rows of the port screen
        {{C::length(1), C::length(3), C::length(1), C::min(10), C::length(1)}, 24, {1, 3, 1, 18, 1}},
        {{C::length(1), C::length(3), C::length(1), C::min(10), C::length(1)}, 12, {1, 1, 0, 10, 0}},
        {{C::length(1), C::length(3), C::length(1), C::min(10), C::length(1)}, 5, {0, 0, 0, 5, 0}},
        // rows of the live screen
        {{C::length(4), C::min(4), C::length(2)}, 30, {4, 24, 2}},
    };
    for (const Case& c : cases) {
        const std::vector<std::uint16_t> sizes = segment_sizes(c.constraints, c.total);
        EXPECT_EQ(sizes, c.sizes) << c.total << " cells";
        unsigned sum = 0;
        for (auto s : sizes) sum += s;
        EXPECT_LE(sum, c.total);
    }
}

TEST(Layout, AreasFollowTheDirectionAndTheOrigin) {
    const Rect area{2, 3, 10, 6};
    auto [top, middle, bottom] = vertical({C::length(1), C::min(0), C::length(2)}).areas(area);
    EXPECT_EQ(top, (Rect{2, 3, 10, 1}));
    EXPECT_EQ(middle, (Rect{2, 4, 10, 3}));
    EXPECT_EQ(bottom, (Rect{2, 7, 10, 2}));

    auto [left, right] = horizontal({C::percentage(50), C::percentage(50)}).areas(area);
    EXPECT_EQ(left, (Rect{2, 3, 5, 6}));
    EXPECT_EQ(right, (Rect{7, 3, 5, 6}));
}

}  // namespace
}  // namespace vorlix::tui
