#include "app/services/app_error.hpp"

#include "base/debug_form.hpp"
#include "base/text.hpp"

namespace vorlix::app {
namespace {

using base::debug_wrap;
using base::Overloaded;

}  // namespace

ErrorReport::ErrorReport(std::string message, std::source_location location)
    : message_(std::move(message)), file_(location.file_name()), line_(location.line()) {
    if (auto at = file_.rfind("/src/"); at != std::string::npos) file_.erase(0, at + 1);
}

std::string ErrorReport::debug() const {
    return message_ + "\n\nLocation:\n   " + file_ + ":" + std::to_string(line_);
}

std::string AppError::display() const {
    return std::visit(Overloaded{
                          [](const Usage& e) { return e.text; },
                          [](const Config& e) { return e.error.display(); },
                          [](const Port& e) { return "serial connection: " + e.error.display(); },
                          [](const Connection& e) { return e.error.display(); },
                          [](const Io& e) { return "I/O: " + e.error.display(); },
                          [](const Csv& e) {
                              return "cannot load CSV " + base::lossy_utf8(e.path.native()) + ": " +
                                     e.source.display();
                          },
                          [](const Acquisition& e) { return e.error.display(); },
                          [](const Live& e) { return "live capture: " + e.text; },
                          [](const Logger& e) { return "logging: " + e.error.display(); },
                          [](const Terminal& e) { return "terminal: " + e.report.display(); },
                      },
                      value());
}

std::string AppError::debug() const {
    return std::visit(Overloaded{
                          [](const Usage& e) { return debug_wrap("Usage", base::debug_quote(e.text)); },
                          [](const Config& e) { return debug_wrap("Config", e.error.debug()); },
                          [](const Port& e) { return debug_wrap("Port", e.error.debug()); },
                          [](const Connection& e) { return debug_wrap("Connection", e.error.debug()); },
                          [](const Io& e) { return debug_wrap("Io", e.error.debug()); },
                          [](const Csv& e) {
                              return "Csv { path: " + base::debug_quote(e.path.native()) +
                                     ", source: " + e.source.debug() + " }";
                          },
                          [](const Acquisition& e) { return debug_wrap("Acquisition", e.error.debug()); },
                          [](const Live& e) { return debug_wrap("Live", base::debug_quote(e.text)); },
                          [](const Logger& e) { return debug_wrap("Logger", e.error.debug()); },
                          [](const Terminal& e) { return debug_wrap("Terminal", e.report.debug()); },
                      },
                      value());
}

std::optional<base::ErrorRef> AppError::source() const {
    using base::ErrorRef;
    using Source = std::optional<ErrorRef>;
    return std::visit(
        Overloaded{
            [](const Usage&) -> Source { return std::nullopt; },
            // Transparent: the configuration error's own cause.
            [](const Config& e) -> Source { return e.error.source(); },
            [](const Port& e) -> Source { return ErrorRef(e.error); },
            [](const Connection& e) -> Source { return e.error.source(); },
            [](const Io& e) -> Source { return ErrorRef(e.error); },
            [](const Csv& e) -> Source { return ErrorRef(e.source); },
            [](const Acquisition& e) -> Source { return e.error.source(); },
            [](const Live&) -> Source { return std::nullopt; },
            [](const Logger& e) -> Source { return ErrorRef::captured(e.error.display(), e.error.debug()); },
            [](const Terminal& e) -> Source {
                return ErrorRef::captured(e.report.message(), base::debug_quote(e.report.message()));
            },
        },
        value());
}

}  // namespace vorlix::app
