#pragma once
// The error of the menus and of the event loop's own checks. It ends on the
// final status screen through its display text, so every variant has one.

#include <cstdint>
#include <string>
#include <variant>

#include "base/cases.hpp"

namespace vorlix::app {

struct UiErrorCases {
    struct MenuSelection {
        bool operator==(const MenuSelection&) const = default;
    };
    // A cached widget that the drawing needs was missing; `file` and `line`
    // name the check that found it.
    struct UninitializedItemList {
        std::string widget;
        std::uint32_t line = 0;
        std::string file;
        bool operator==(const UninitializedItemList&) const = default;
    };
    struct NoPortSelected {
        bool operator==(const NoPortSelected&) const = default;
    };
    // An application error's two texts, taken at once: the loop only ever
    // shows or logs this error, it never inspects the cause again.
    struct Application {
        std::string display;
        std::string debug;
        bool operator==(const Application&) const = default;
    };
    struct NoReturnData {
        bool operator==(const NoReturnData&) const = default;
    };
    using Value =
        std::variant<MenuSelection, UninitializedItemList, NoPortSelected, Application, NoReturnData>;
};

class UiError : public base::Cases<UiErrorCases> {
public:
    using Cases::Cases;

    // Wraps an application error (anything with display() and debug(), in
    // practice `AppError`).
    template <class E>
    static UiError application(const E& error) {
        return Application{error.display(), error.debug()};
    }

    // "selected menu item is unavailable", "widget Port is not initialized
    // (src/ui/view:230)", the wrapped error's own text, ...
    std::string display() const;
    // MenuSelection, UninitializedItemList("Port", 230, "src/ui/view"),
    // Application(<the wrapped error's debug form>), ...
    std::string debug() const;
};

}  // namespace vorlix::app
