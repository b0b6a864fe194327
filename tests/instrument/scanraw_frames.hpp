#pragma once
// Builds scanraw frames for tests: "{", per level "x" and two little-endian
// bytes, "}".

#include <cstdint>
#include <string>
#include <vector>

namespace vorlix::instrument::testing_frames {

inline std::vector<std::uint8_t> frame_of(const std::vector<std::uint16_t>& raws) {
    std::vector<std::uint8_t> frame;
    frame.reserve(raws.size() * 3 + 2);
    frame.push_back('{');
    for (std::uint16_t raw : raws) {
        frame.push_back('x');
        frame.push_back(static_cast<std::uint8_t>(raw & 0xff));
        frame.push_back(static_cast<std::uint8_t>(raw >> 8));
    }
    frame.push_back('}');
    return frame;
}

inline std::string as_text(const std::vector<std::uint8_t>& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

}  // namespace vorlix::instrument::testing_frames
