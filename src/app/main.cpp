// The process entry: the run's result alone decides the exit status. An
// error is reported once, as "Error: " and its debug form, with status 1.

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/entry.hpp"

int main(int argc, char** argv) {
    // Only the character type follows the user's locale: the terminal needs
    // it for UTF-8, while numbers must keep their "." everywhere.
    std::setlocale(LC_CTYPE, "");
    auto result = vorlix::app::run_program(argc, argv);
    int status = 0;
    if (!result) {
        const std::string report = vorlix::app::exit_report(result.error());
        std::fputs(report.c_str(), stderr);
        status = 1;
    }
    if (vorlix::app::detached_worker_running()) {
        // The worker is never waited for; it must not see the statics it
        // uses (the log facade among them) destroyed under it.
        std::fflush(nullptr);
        std::_Exit(status);
    }
    return status;
}
