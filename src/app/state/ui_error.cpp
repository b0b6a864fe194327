#include "app/state/ui_error.hpp"

#include "base/io_error.hpp"

namespace vorlix::app {

UiError UiError::uninitialized_item_list(std::string widget, std::uint32_t line,
                                         std::string file) {
    UiError error(Kind::UninitializedItemList);
    error.widget_ = std::move(widget);
    error.line_ = line;
    error.file_ = std::move(file);
    return error;
}

UiError UiError::application_from_text(std::string display, std::string debug) {
    UiError error(Kind::Application);
    error.app_display_ = std::move(display);
    error.app_debug_ = std::move(debug);
    return error;
}

std::string UiError::display() const {
    switch (kind_) {
        case Kind::MenuSelection: return "selected menu item is unavailable";
        case Kind::UninitializedItemList:
            return "widget " + widget_ + " is not initialized (" + file_ + ":" +
                   std::to_string(line_) + ")";
        case Kind::NoPortSelected:
            return "no serial port is selected; connect the instrument and restart";
        case Kind::Application: return app_display_;
        case Kind::NoReturnData: return "the completed scan has no available samples";
    }
    return {};
}

std::string UiError::debug() const {
    switch (kind_) {
        case Kind::MenuSelection: return "MenuSelection";
        case Kind::UninitializedItemList:
            return "UninitializedItemList(" + base::debug_quote(widget_) + ", " +
                   std::to_string(line_) + ", " + base::debug_quote(file_) + ")";
        case Kind::NoPortSelected: return "NoPortSelected";
        case Kind::Application: return "Application(" + app_debug_ + ")";
        case Kind::NoReturnData: return "NoReturnData";
    }
    return {};
}

}  // namespace vorlix::app
