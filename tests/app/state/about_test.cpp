#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <string>

#include "app/state/menu_lists.hpp"

namespace vorlix::app {
namespace {

// The short hash of the checked-out commit, or "" where git cannot tell.
std::string checked_out_hash() {
    const std::string command =
        std::string("git -C '") + VORLIX_SOURCE_DIR + "' rev-parse --short HEAD 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return "";
    std::string out;
    char chunk[64];
    while (std::fgets(chunk, sizeof chunk, pipe) != nullptr) out += chunk;
    if (pclose(pipe) != 0) return "";
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return out;
}

TEST(AboutLine, NamesTheVersionAndTheBuiltCommit) {
    const std::string about = about_text();
    std::smatch m;
    ASSERT_TRUE(
        std::regex_match(about, m, std::regex(R"(Vorlix version \d+\.\d+\.\d+-([0-9a-f]{4,}|unknown))")))
        << about;
    // The build rewrites the hash at every build, so after a commit it is the
    // new one without a reconfigure.
    const std::string head = checked_out_hash();
    if (head.empty()) GTEST_SKIP() << "no git checkout to compare with";
    EXPECT_EQ(m[1].str(), head);
}

}  // namespace
}  // namespace vorlix::app
