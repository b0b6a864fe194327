#include "tui/core/rect.hpp"

#include <gtest/gtest.h>

namespace vorlix::tui {
namespace {

TEST(Rect, EdgesSaturateAtTheEndOfTheRange) {
    const Rect r{65530, 65000, 100, 1000};
    EXPECT_EQ(r.right(), 65535);
    EXPECT_EQ(r.bottom(), 65535);
    EXPECT_EQ((Rect{1, 2, 3, 4}.right()), 4);
    EXPECT_EQ((Rect{1, 2, 3, 4}.bottom()), 6);
}

TEST(Rect, InnerShrinksEachSideOrGivesAnEmptyArea) {
    struct Case {
        Rect area;
        Margin margin;
        Rect expected;
    };
    const Case cases[] = {
        {{0, 0, 10, 3}, {1, 1}, {1, 1, 8, 1}}, {{5, 5, 2, 2}, {1, 1}, {6, 6, 0, 0}},
        {{0, 0, 1, 5}, {1, 0}, {1, 0, 0, 0}},  {{0, 0, 3, 3}, {2, 2}, {2, 2, 0, 0}},
        {{0, 0, 4, 4}, {0, 0}, {0, 0, 4, 4}},  {{65535, 65535, 0, 0}, {1, 1}, {65535, 65535, 0, 0}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.area.inner(c.margin), c.expected) << describe(c.area);
        EXPECT_TRUE(c.area.inner(c.margin).width <= c.area.width);
    }
}

TEST(Rect, IntersectionIsTheCommonPartOrEmpty) {
    struct Case {
        Rect a, b, expected;
    };
    const Case cases[] = {
        {{0, 0, 10, 10}, {5, 5, 10, 10}, {5, 5, 5, 5}},
        {{0, 0, 10, 10}, {2, 3, 4, 5}, {2, 3, 4, 5}},
        {{0, 0, 5, 5}, {7, 7, 2, 2}, {7, 7, 0, 0}},
        {{0, 0, 5, 5}, {5, 0, 3, 3}, {5, 0, 0, 3}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.a.intersection(c.b), c.expected) << describe(c.a) << " & " << describe(c.b);
        EXPECT_EQ(c.b.intersection(c.a), c.expected);
        EXPECT_EQ(c.a.intersects(c.b), !c.expected.is_empty());
    }
}

TEST(Rect, ContainsUsesHalfOpenEdges) {
    const Rect r{2, 3, 4, 2};
    EXPECT_TRUE(r.contains({2, 3}));
    EXPECT_TRUE(r.contains({5, 4}));
    EXPECT_FALSE(r.contains({6, 4}));
    EXPECT_FALSE(r.contains({5, 5}));
    EXPECT_FALSE(r.contains({1, 3}));
    EXPECT_FALSE((Rect{2, 3, 0, 0}.contains({2, 3})));
}

TEST(Rect, RowsAreOneCellHighAndEmptyPastTheBottom) {
    const Rect r{1, 1, 5, 2};
    EXPECT_EQ(r.row(0), (Rect{1, 1, 5, 1}));
    EXPECT_EQ(r.row(1), (Rect{1, 2, 5, 1}));
    EXPECT_TRUE(r.row(2).is_empty());
}

}  // namespace
}  // namespace vorlix::tui
