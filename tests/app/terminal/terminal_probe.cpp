// A tiny program that takes the terminal over the way the application does
// and then leaves it in the way its first argument names, for the terminal
// take-over test to run under a pseudo-terminal:
//   quit          draw one frame, shut down, report the line modes
//   echo-off      the same, with echo switched off before the take-over
//   throw         an uncaught exception on the main thread
//   thread-throw  an uncaught exception on another thread
//   segv          a fatal signal
//   wait          wait for keys until "q" or an interrupt, then shut down;
//                 an interrupt then ends the probe by its signal; a resize
//                 or a lost screen draws "probe again"
//   hold          the same, but an interrupt only draws "held"
// Its own terminate handler stands for the application's error report.

#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <chrono>
#include <cstdlib>
#include <exception>
#include <stdexcept>
#include <string>
#include <thread>
#include <variant>

#include "app/terminal/terminal.hpp"
#include "tui/widgets/paragraph.hpp"

namespace {

[[noreturn]] void report() {
    std::string what = "unknown";
    try {
        if (auto e = std::current_exception()) std::rethrow_exception(e);
    } catch (const std::exception& e) {
        what = e.what();
    } catch (...) {}
    std::fprintf(stderr, "REPORT: %s\n", what.c_str());
    std::fflush(stderr);
    std::abort();
}

}  // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    const std::string mode = argc > 1 ? argv[1] : "quit";
    std::set_terminate(report);
    if (mode == "echo-off") {
        termios t{};
        tcgetattr(STDIN_FILENO, &t);
        t.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        tcsetattr(STDIN_FILENO, TCSANOW, &t);
    }

    auto session = vorlix::app::setup_terminal();
    if (!session) {
        std::fprintf(stderr, "SETUP FAILED: %s\n", session.error().display().c_str());
        return 1;
    }
    const auto draw = [&](const char* text) {
        return session->terminal().draw([text](vorlix::tui::Frame& f) {
            f.render_widget(vorlix::tui::Paragraph(vorlix::tui::Text(text)), f.area());
        });
    };
    if (!draw("probe frame")) return 2;

    if (mode == "throw") throw std::runtime_error("boom");
    if (mode == "thread-throw") std::thread([] { throw std::runtime_error("boom on a worker"); }).join();
    if (mode == "segv") ::raise(SIGSEGV);
    if (mode == "restore-only") {
        // As a thread that cannot be started ends the process: the terminal
        // is given back without the session's own shutdown.
        vorlix::app::restore_terminal();
        std::_Exit(1);
    }
    if (mode == "wait" || mode == "hold") {
        for (;;) {
            auto event = session->events().poll(std::chrono::milliseconds(100));
            if (!event) return 3;
            if (!*event) continue;
            if (std::holds_alternative<vorlix::tui::InterruptEvent>(**event)) {
                if (mode == "wait") break;
                if (!draw("held")) return 2;
                continue;
            }
            if (std::holds_alternative<vorlix::tui::ResizeEvent>(**event)) {
                // Drawn whole again, as the program's event loop does.
                if (!session->terminal().clear() || !draw("probe again")) return 2;
                continue;
            }
            const auto* key = std::get_if<vorlix::tui::KeyEvent>(&**event);
            if (key != nullptr && key->is_char(U'q')) break;
        }
        session->shutdown();
        if (const int sig = vorlix::app::pending_exit_signal()) vorlix::app::end_by_signal(sig);
    }

    session->shutdown();
    termios t{};
    tcgetattr(STDIN_FILENO, &t);
    std::printf("DONE icanon=%d echo=%d isig=%d\n", (t.c_lflag & ICANON) != 0, (t.c_lflag & ECHO) != 0,
                (t.c_lflag & ISIG) != 0);
    return 0;
}
