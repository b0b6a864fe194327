// The process entry: the mode from the command line, then the configuration.
// Every failure ends in one exit report, "Error: " and the error's debug
// form, with status 1.

#include <cstdio>
#include <string>

#include "app/app_error.hpp"
#include "app/cli.hpp"

namespace {

int exit_report(const std::string& debug_form) {
    const std::string line = "Error: " + debug_form + "\n";
    std::fputs(line.c_str(), stderr);
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    using vorlix::app::AppError;
    using vorlix::app::RunMode;
    const auto args = vorlix::app::arguments(argc, argv);
    const auto mode = vorlix::app::parse_arguments(args);
    if (!mode) return exit_report(AppError{AppError::Usage{mode.error()}}.debug());
    if (mode->kind == RunMode::Kind::Help) {
        // Help never reads the configuration, so it works even when that is broken.
        std::fwrite(vorlix::app::HELP_TEXT.data(), 1, vorlix::app::HELP_TEXT.size(), stdout);
        return 0;
    }

    auto loaded = vorlix::app::load_startup_config(stderr);
    if (!loaded) return exit_report(AppError{AppError::Config{std::move(loaded.error())}}.debug());

    const char* name = mode->kind == RunMode::Kind::Live   ? "live capture"
                       : mode->kind == RunMode::Kind::View ? "viewer"
                                                           : "single scan";
    return exit_report(std::string("the ") + name + " mode is not built yet");
}
