#pragma once
// Texts that nest as deep or run as long as a test needs.

#include <cstddef>
#include <string>

namespace vorlix::config::testing_text {

// "a.a.…a" with n parts.
inline std::string parts(std::size_t n) {
    std::string out = "a";
    for (std::size_t i = 1; i < n; ++i) out += ".a";
    return out;
}

inline std::string times(const std::string& s, std::size_t n) {
    std::string out;
    for (std::size_t i = 0; i < n; ++i) out += s;
    return out;
}

}  // namespace vorlix::config::testing_text
