#pragma once
// The text the write-back probe writes for a version, so a test can tell
// each whole version from a part of one.

#include <string>

namespace vorlix::test {

inline std::string probe_config_text(int version) {
    std::string text;
    for (int i = 0; i < 4000; ++i)
        text += "key_" + std::to_string(i) + " = " + std::to_string(version) + "\n";
    return text;
}

}  // namespace vorlix::test
