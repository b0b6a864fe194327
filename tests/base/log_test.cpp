#include "base/log.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vorlix::base {
namespace {

TEST(LogFacade, DeliversRecordsToTheInstalledSinkAndDropsThemWithout) {
    std::vector<std::string> seen;
    log(Level::Error, "vorlix::scan", "before any sink");
    set_log_sink([&](const Record& r) {
        seen.push_back(std::string(r.target) + "|" + std::string(r.text) + "|" +
                       std::to_string(static_cast<int>(r.level)));
    });
    log(Level::Warn, "vorlix::acquisition", "retry");
    set_log_sink({});
    log(Level::Error, "vorlix::scan", "after removal");
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0], "vorlix::acquisition|retry|2");
}

}  // namespace
}  // namespace vorlix::base
