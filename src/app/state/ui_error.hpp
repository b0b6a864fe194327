#pragma once
// The error of the menus and of the event loop's own checks. It ends on the
// final status screen through its display text, so every variant has one.

#include <cstdint>
#include <string>
#include <utility>

namespace vorlix::app {

class UiError {
public:
    enum class Kind : std::uint8_t {
        MenuSelection,
        UninitializedItemList,
        NoPortSelected,
        Application,
        NoReturnData,
    };

    static UiError menu_selection() { return UiError(Kind::MenuSelection); }
    static UiError no_port_selected() { return UiError(Kind::NoPortSelected); }
    static UiError no_return_data() { return UiError(Kind::NoReturnData); }

    // A cached widget that the drawing needs was missing; `file` and `line`
    // name the check that found it.
    static UiError uninitialized_item_list(std::string widget, std::uint32_t line,
                                           std::string file);

    // Wraps an application error (anything with display() and debug(), in
    // practice `AppError`). Both forms are taken at once: the loop only ever
    // shows or logs this error, it never inspects the cause again.
    template <class E>
    static UiError application(const E& error) {
        return application_from_text(error.display(), error.debug());
    }
    static UiError application_from_text(std::string display, std::string debug);

    Kind kind() const { return kind_; }
    // UninitializedItemList only; empty / 0 otherwise.
    const std::string& widget() const { return widget_; }
    std::uint32_t line() const { return line_; }
    const std::string& file() const { return file_; }

    // "selected menu item is unavailable", "widget Port is not initialized
    // (src/ui/view:230)", the wrapped error's own text, ...
    std::string display() const;
    // MenuSelection, UninitializedItemList("Port", 230, "src/ui/view"),
    // Application(<the wrapped error's debug form>), ...
    std::string debug() const;

    bool operator==(const UiError&) const = default;

private:
    explicit UiError(Kind kind) : kind_(kind) {}

    Kind kind_;
    std::string widget_;
    std::uint32_t line_ = 0;
    std::string file_;
    std::string app_display_;
    std::string app_debug_;
};

}  // namespace vorlix::app
