// The process entry: the run's result alone decides the exit status. An
// error is reported once, as "Error: " and its debug form, with status 1.
// A run ended by a signal ends by that signal, after the whole shut-down.

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include <langinfo.h>

#include "app/entry/entry.hpp"
#include "app/terminal/terminal.hpp"
#include "base/stream_text.hpp"

int main(int argc, char** argv) {
    // Only the character type follows the user's locale: the terminal needs
    // it for UTF-8, while numbers must keep their "." everywhere.
    // The screens are drawn in UTF-8 whatever the environment says; with no
    // UTF-8 character type (LANG unset, or "C") every box and symbol would
    // come out blank.
    const char* chosen = std::setlocale(LC_CTYPE, "");
    if (chosen == nullptr || std::string_view(nl_langinfo(CODESET)) != "UTF-8") {
        std::setlocale(LC_CTYPE, "C.UTF-8");
    }
    auto result = vorlix::app::run_program(argc, argv);
    if (const int sig = vorlix::app::pending_exit_signal(); sig != 0) {
        // Asked to end by a signal: everything is shut down and saved, and
        // the parent learns which signal it was; nothing is printed.
        std::fflush(nullptr);
        vorlix::app::end_by_signal(sig);
    }
    int status = 0;
    if (!result) {
        const std::string report = vorlix::app::exit_report(result.error());
        vorlix::base::write_text(stderr, report);
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
