// The nesting bound found before a text reaches the TOML parser: what counts
// as a level, and what only looks like one.

#include <gtest/gtest.h>

#include <cstddef>
#include <optional>
#include <string>

#include "config/nesting_text.hpp"
#include "config/toml_bounds.hpp"

namespace vorlix::config {
namespace {

constexpr std::size_t BOUND = MAX_TOML_DEPTH;

using testing_text::parts;
using testing_text::times;

struct DepthCase {
    const char* name;
    std::string text;
    std::optional<std::size_t> offset;  // of the first part past the bound
};

// A key one part past the bound on the line after `before`.
DepthCase past_bound_after(const char* name, const std::string& before) {
    return {name, before + parts(BOUND + 1) + " = 1", before.size() + 2 * BOUND};
}

const DepthCase DEPTH_CASES[] = {
    {"key_at_bound", parts(BOUND) + " = 1", std::nullopt},
    {"key_past_bound", parts(BOUND + 1) + " = 1", 2 * BOUND},
    {"spaced_dots", "a . " + parts(BOUND) + " = 1", 4 + 2 * (BOUND - 1)},
    {"quoted_parts", times("\"x.y\".", BOUND) + "'z' = 1", 6 * BOUND},
    {"header_at_bound", "[" + parts(BOUND) + "]\n", std::nullopt},
    {"header_past_bound", "[" + parts(BOUND + 1) + "]\n", 1 + 2 * BOUND},
    {"array_of_tables_one_more", "[[" + parts(BOUND) + "]]\n", 2 + 2 * (BOUND - 1)},
    {"key_below_header", "[" + parts(300) + "]\n" + parts(300) + " = 1", 602 + 2 * (BOUND - 300)},
    {"header_resets_depth", "[" + parts(300) + "]\n[b]\n" + parts(BOUND - 1) + " = 1", std::nullopt},
    {"arrays_below_key", parts(BOUND - 2) + " = [[[]]]", 2 * (BOUND - 2) - 1 + 5},
    {"inline_tables_add_their_keys", "x = {" + parts(BOUND - 2) + " = {b = 1, " + parts(2) + " = 2}}",
     5 + 2 * (BOUND - 2) - 1 + 13},
    {"array_elements_share_a_level", "x = [" + times("[1], ", 600) + "]", std::nullopt},
    {"comma_returns_to_the_array", parts(BOUND - 2) + " = [{c = 1}, [2]]", std::nullopt},
    {"strings_hide_brackets", "x = [\"[[{\", '{{[', \"\\\"[\"]\n" + parts(BOUND) + " = 1", std::nullopt},
    {"comments_hide_keys", "# " + parts(2 * BOUND) + "\nx = [ # [[[[\n1]\n", std::nullopt},
    past_bound_after("multi_line_strings",
                     "x = \"\"\"\n" + parts(2 * BOUND) + " = \\\"\"\"\n\"\"\"\"\"\ny = '''\n[[[''''\n"),
    past_bound_after("unterminated_string_ends_at_its_line", "x = \"[[[\n"),
    {"nested_values_count", "x = " + times("[", BOUND) + times("]", BOUND), 4 + BOUND - 1},
    {"text_after_an_error_still_counts", "x = ]]\n" + parts(BOUND + 1) + "=1", 7 + 2 * BOUND},
    {"empty_text", "", std::nullopt},
    {"byte_order_mark_is_no_key", std::string(UTF8_BYTE_ORDER_MARK) + "[" + parts(BOUND + 1) + "]\n",
     3 + 1 + 2 * BOUND},
};

TEST(TomlDepth, FirstPartPastTheBound) {
    for (const DepthCase& c : DEPTH_CASES) {
        EXPECT_EQ(first_too_deep(c.text), c.offset) << c.name;
    }
}

}  // namespace
}  // namespace vorlix::config
