#pragma once
// Snapshot helpers for widget and screen tests: build the expected buffer
// from text rows, lay styles over it, and compare with the rendered one.
//
//   Buffer expected = buffer_with_lines({"┌──┐", "└──┘"});
//   expected.set_style(Rect{0, 0, 4, 1}, Style().fg(Color::White));
//   EXPECT_TRUE(buffers_equal(actual, expected));
//
// A failure prints both grids with row numbers (box-drawing characters stay
// readable) and the first differing cell with its style.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <string_view>

#include "tui/core/buffer.hpp"
#include "tui/core/utf8.hpp"

namespace vorlix::tui::testing_support {

// A buffer at (0, 0) as wide as the widest row; shorter rows are padded
// with blanks. Every cell has the default style.
inline Buffer buffer_with_lines(std::initializer_list<std::string_view> lines) {
    std::size_t width = 0;
    for (std::string_view l : lines) width = std::max(width, text_width(l));
    Buffer b = Buffer::empty(
        Rect{0, 0, static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(lines.size())});
    std::uint16_t y = 0;
    for (std::string_view l : lines) b.set_string(0, y++, l);
    return b;
}

inline std::string describe_cell(const Cell& c) {
    std::string out = "\"" + c.symbol + "\" fg=" + color_name(c.fg) + " bg=" + color_name(c.bg) +
                      " modifier=" + modifier_names(c.modifier);
    if (c.monochrome != Modifier::None) out += " mono=" + modifier_names(c.monochrome);
    if (c.skip) out += " (covered)";
    return out;
}

inline std::string buffer_grid(const Buffer& b) {
    std::string out;
    const Rect a = b.area();
    for (std::uint16_t y = a.top(); y < a.bottom(); ++y) {
        char label[16];
        std::snprintf(label, sizeof label, "%3u |", unsigned{y});
        out += label;
        for (std::uint16_t x = a.left(); x < a.right(); ++x) out += b.cell(x, y).symbol;
        out += "|\n";
    }
    return out;
}

inline ::testing::AssertionResult buffers_equal(const Buffer& actual, const Buffer& expected) {
    std::string where;
    if (actual.area() != expected.area()) {
        where = "areas differ: actual " + describe(actual.area()) + ", expected " + describe(expected.area());
    } else {
        const Rect a = actual.area();
        for (std::uint16_t y = a.top(); y < a.bottom() && where.empty(); ++y) {
            for (std::uint16_t x = a.left(); x < a.right(); ++x) {
                const Cell& got = actual.cell(x, y);
                const Cell& want = expected.cell(x, y);
                if (got == want) continue;
                where = "first difference at (" + std::to_string(x) + ", " + std::to_string(y) +
                        "):\n  actual   " + describe_cell(got) + "\n  expected " + describe_cell(want);
                break;
            }
        }
    }
    if (where.empty()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << where << "\nactual:\n"
                                         << buffer_grid(actual) << "expected:\n"
                                         << buffer_grid(expected);
}

}  // namespace vorlix::tui::testing_support
