#pragma once
// The real vorlix binary in a detached tmux session of its own tmux server,
// driven by keys and read back through capture-pane. Every wait polls with
// a bound; nothing sleeps a fixed time. After the program ends the pane is
// kept (a sleep follows it), so the test can still ask tmux whether the
// program left the alternate screen and showed the cursor again.

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "e2e/process.hpp"

namespace vorlix::e2e {

using namespace std::chrono_literals;

inline std::filesystem::path vorlix_binary() { return std::filesystem::path(VORLIX_BINARY_DIR) / "vorlix"; }

// A word as the shell reads it literally.
inline std::string shell_quote(std::string_view word) {
    std::string out = "'";
    for (char c : word) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

struct RunOptions {
    std::vector<std::string> args;  // after the program name
    std::filesystem::path cwd;
    std::vector<std::string> env;      // "NAME=value" added to LANG and TERM, or "NAME" to unset
    std::vector<std::string> wrapper;  // words put in front of the program
    std::string redirect;              // shell redirections after the program's words, e.g. "</dev/null"
    std::uint16_t width = 160;
    std::uint16_t height = 40;
};

class TmuxRun {
public:
    explicit TmuxRun(RunOptions options) : options_(std::move(options)) {
        static std::atomic<int> counter{0};
        socket_ = "vorlix-e2e-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
        status_file_ = options_.cwd / ".exit_status";
        // What an earlier run in the same directory left.
        for (const char* name : {".exit_status", ".stty_before", ".stty_after", ".stderr"}) {
            std::filesystem::remove(options_.cwd / name);
        }
        const std::filesystem::path script = options_.cwd / ".run.sh";
        std::ofstream out(script);
        out << "export LANG=C.UTF-8 TERM=xterm-256color\nunset VORLIX_CONFIG\n";
        // Under a sanitizer, a fatal signal sent from outside must end the
        // program as it does in the plain build, not as a sanitizer report.
        out << "export "
               "ASAN_OPTIONS=\"${ASAN_OPTIONS:+$ASAN_OPTIONS:}handle_segv=0:handle_sigbus=0:handle_sigfpe="
               "0\"\n";
        for (const std::string& e : options_.env) {
            out << (e.find('=') == std::string::npos ? "unset " : "export ") << shell_quote(e) << "\n";
        }
        out << "cd " << shell_quote(options_.cwd.string()) << " || exit 99\n";
        out << "ulimit -c 0\nstty -a </dev/tty >.stty_before\n";
        // A subshell that becomes the program: what the shell prints about a
        // signal that ended it goes to the pane, not to the program's file.
        out << "(exec ";
        for (const std::string& w : options_.wrapper) out << shell_quote(w) << " ";
        out << shell_quote(vorlix_binary().string());
        for (const std::string& a : options_.args) out << " " << shell_quote(a);
        out << " " << options_.redirect << " 2>.stderr)\n";
        out << "status=$?\nstty -a </dev/tty >.stty_after\n";
        out << "echo $status >.exit_status.tmp && mv .exit_status.tmp .exit_status\n";
        out << "exec sleep 600\n";
        out.close();
        started_ = tmux({"new-session", "-d", "-s", "run", "-x", std::to_string(options_.width), "-y",
                         std::to_string(options_.height), "sh " + shell_quote(script.string())})
                       .status == 0;
    }
    ~TmuxRun() { tmux({"kill-server"}); }
    TmuxRun(const TmuxRun&) = delete;
    TmuxRun& operator=(const TmuxRun&) = delete;

    bool started() const { return started_; }

    std::string screen() { return tmux({"capture-pane", "-p", "-t", "run"}).out; }
    // The screen with its attributes, as escape sequences.
    std::string styled_screen() { return tmux({"capture-pane", "-e", "-p", "-t", "run"}).out; }

    // True once the screen shows `text`; false after `timeout`.
    bool wait_for(std::string_view text, std::chrono::milliseconds timeout = test::PATIENCE) {
        return wait_until([&] { return screen().find(text) != std::string::npos; }, timeout);
    }

    // Named keys as tmux spells them: "Enter", "Escape", "Up", "BSpace", "q".
    void keys(const std::vector<std::string>& names) {
        std::vector<std::string> args = {"send-keys", "-t", "run"};
        args.insert(args.end(), names.begin(), names.end());
        tmux(args);
    }
    // The terminal takes a new size, as a window that is resized.
    void resize(std::uint16_t width, std::uint16_t height) {
        tmux({"resize-window", "-t", "run", "-x", std::to_string(width), "-y", std::to_string(height)});
    }

    // The terminal goes away as a closed window does: the pane's side of it
    // is hung up, and its shell with it.
    void hang_up() { tmux({"kill-session", "-t", "run"}); }

    // Characters typed one by one, none read as a key name.
    void type(std::string_view text) { tmux({"send-keys", "-t", "run", "-l", std::string(text)}); }

    // The program's exit status once it ended, or nothing after `timeout`.
    std::optional<int> wait_exit(std::chrono::milliseconds timeout = test::PATIENCE) {
        if (!wait_until([&] { return std::filesystem::exists(status_file_); }, timeout)) return std::nullopt;
        return std::stoi(slurp(status_file_));
    }

    // tmux's view of the pane: "1" while the alternate screen is on.
    std::string pane_flag(std::string_view format) {
        std::string out = tmux({"display-message", "-p", "-t", "run", std::string(format)}).out;
        while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
        return out;
    }
    bool alternate_screen() { return pane_flag("#{alternate_on}") == "1"; }
    bool cursor_shown() { return pane_flag("#{cursor_flag}") == "1"; }

    std::string stderr_text() { return slurp(options_.cwd / ".stderr"); }

    // The terminal's modes ("stty -a") before the program started and after
    // it ended; the second is there once wait_exit() has seen the status.
    std::string modes_before() { return slurp(options_.cwd / ".stty_before"); }
    std::string modes_after() { return slurp(options_.cwd / ".stty_after"); }

    // The program's process id while it runs (a child of the pane's shell),
    // or nothing.
    std::optional<pid_t> program_pid() {
        const std::string shell = pane_flag("#{pane_pid}");
        for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
            const std::string name = entry.path().filename().string();
            if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
            const std::string stat = slurp(entry.path() / "stat");
            // "pid (comm) state ppid ...": the name may hold blanks, the ")" ends it.
            const std::size_t close = stat.rfind(')');
            if (close == std::string::npos || stat.find("(vorlix)") == std::string::npos) continue;
            std::istringstream rest(stat.substr(close + 1));
            std::string state;
            std::string parent;
            rest >> state >> parent;
            if (parent == shell) return static_cast<pid_t>(std::stoi(name));
        }
        return std::nullopt;
    }

private:
    Finished tmux(std::vector<std::string> args) {
        args.insert(args.begin(), {"tmux", "-L", socket_, "-f", "/dev/null"});
        return run_process(args, options_.cwd);
    }

    RunOptions options_;
    std::string socket_;
    std::filesystem::path status_file_;
    bool started_ = false;
};

}  // namespace vorlix::e2e
