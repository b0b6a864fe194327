#pragma once
// The widgets that the user-interface state keeps between frames: the two
// menu lists and the progress gauge of a running scan.

#include <string>
#include <vector>

namespace vorlix::app {

// A cached menu list: its items as shown, and the look that
// build_menu_lists gives it for the current column (box title, and whether
// it is the active, white, list).
struct MenuListWidget {
    std::vector<std::string> items;
    std::string title;
    bool active = false;
    bool operator==(const MenuListWidget&) const = default;
};

// The cached progress gauge of the Acquiring screen; the drawing updates
// its ratio from the worker's progress.
struct ProgressGauge {
    std::string label = "Progress:";
    double ratio = 0.0;
    bool operator==(const ProgressGauge&) const = default;
};

}  // namespace vorlix::app
