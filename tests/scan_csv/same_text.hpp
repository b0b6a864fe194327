#pragma once
// Compares texts of megabytes and, where they differ, shows the first
// differing line of each instead of a diff of the whole.

#include <algorithm>
#include <string_view>

#include <gtest/gtest.h>

namespace vorlix::test {

inline testing::AssertionResult same_text(std::string_view actual, std::string_view expected) {
    if (actual == expected) return testing::AssertionSuccess();
    const auto at = static_cast<std::size_t>(
        std::mismatch(actual.begin(), actual.begin() + std::min(actual.size(), expected.size()),
                      expected.begin())
            .first -
        actual.begin());
    const std::size_t line_start = expected.rfind('\n', at == 0 ? 0 : at - 1);
    const std::size_t from = line_start == std::string_view::npos || at == 0 ? 0 : line_start + 1;
    // At most the first 120 bytes of the line, however long it is.
    auto line_of = [from](std::string_view text) {
        return text.substr(from, std::min<std::size_t>(text.find('\n', from) - from, 120));
    };
    return testing::AssertionFailure()
           << "sizes " << actual.size() << " and " << expected.size() << ", first difference at byte " << at
           << " in the line\n  actual:   \"" << line_of(actual) << "\"\n  expected: \"" << line_of(expected)
           << "\"";
}

}  // namespace vorlix::test
