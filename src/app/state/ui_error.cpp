#include "app/state/ui_error.hpp"

#include "base/debug_form.hpp"
#include "base/io_error.hpp"

namespace vorlix::app {

std::string UiError::display() const {
    return std::visit(
        base::Overloaded{
            [](const MenuSelection&) { return std::string("selected menu item is unavailable"); },
            [](const UninitializedItemList& e) {
                return "widget " + e.widget + " is not initialized (" + e.file + ":" +
                       std::to_string(e.line) + ")";
            },
            [](const NoPortSelected&) {
                return std::string("no serial port is selected; connect the instrument and restart");
            },
            [](const Application& e) { return e.display; },
            [](const NoReturnData&) { return std::string("the completed scan has no available samples"); },
        },
        value());
}

std::string UiError::debug() const {
    return std::visit(base::Overloaded{
                          [](const MenuSelection&) { return std::string("MenuSelection"); },
                          [](const UninitializedItemList& e) {
                              return "UninitializedItemList(" + base::debug_quote(e.widget) + ", " +
                                     std::to_string(e.line) + ", " + base::debug_quote(e.file) + ")";
                          },
                          [](const NoPortSelected&) { return std::string("NoPortSelected"); },
                          [](const Application& e) { return base::debug_wrap("Application", e.debug); },
                          [](const NoReturnData&) { return std::string("NoReturnData"); },
                      },
                      value());
}

}  // namespace vorlix::app
