#include "app/state/ui_error.hpp"

#include <gtest/gtest.h>

#include <string>

namespace vorlix::app {
namespace {

// Stands in for the application error: anything with both forms wraps.
struct FakeAppError {
    std::string display() const { return "live capture: a live sweep cannot be empty"; }
    std::string debug() const { return "Live(\"a live sweep cannot be empty\")"; }
};

struct Case {
    UiError error;
    const char* display;
    const char* debug;
};

TEST(UiError, DisplayAndDebugForms) {
    const Case cases[] = {
        {UiError::MenuSelection{}, "selected menu item is unavailable", "MenuSelection"},
        {UiError::UninitializedItemList{"Port", 230, "src/ui/view"},
         "widget Port is not initialized (src/ui/view:230)",
         "UninitializedItemList(\"Port\", 230, \"src/ui/view\")"},
        {UiError::UninitializedItemList{"a\"b", 7, "f"}, "widget a\"b is not initialized (f:7)",
         "UninitializedItemList(\"a\\\"b\", 7, \"f\")"},
        {UiError::NoPortSelected{}, "no serial port is selected; connect the instrument and restart",
         "NoPortSelected"},
        {UiError::application(FakeAppError{}), "live capture: a live sweep cannot be empty",
         "Application(Live(\"a live sweep cannot be empty\"))"},
        {UiError::NoReturnData{}, "the completed scan has no available samples", "NoReturnData"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.error.display(), c.display);
        EXPECT_EQ(c.error.debug(), c.debug);
    }
}

}  // namespace
}  // namespace vorlix::app
