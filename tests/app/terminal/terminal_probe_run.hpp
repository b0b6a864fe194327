#pragma once
// Running the take-over probe on a pseudo-terminal of its own and reading
// what it wrote there, for the take-over tests.

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string_view>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "patience.hpp"

namespace vorlix::app::probe_run {

using namespace std::chrono_literals;

inline constexpr const char* ENTER_ALTERNATE = "\x1b[?1049h";
inline constexpr const char* LEAVE_ALTERNATE = "\x1b[?1049l";
inline constexpr const char* HIDE_CURSOR = "\x1b[?25l";
inline constexpr const char* SHOW_CURSOR = "\x1b[?25h";

struct ProbeRun {
    std::string output;
    int status = 0;
    bool finished = false;
    termios modes{};  // the pseudo-terminal's line modes once the probe ended
};

// One run of the probe on a pseudo-terminal of its own. As a job, it runs
// in a process group of its own in the foreground, under a parent in the
// same session, as a shell with job control runs a command: only then does
// a stop signal stop it.
class Probe {
public:
    // `term` empty: TERM unset.
    Probe(const std::string& mode, const std::string& term, bool job = false) {
        int pid_pipe[2];
        if (pipe(pid_pipe) != 0) return;
        winsize size{24, 80, 0, 0};
        child_ = forkpty(&master_, nullptr, nullptr, &size);
        if (child_ < 0) return;
        if (child_ == 0) {
            close(pid_pipe[0]);
            if (term.empty()) {
                unsetenv("TERM");
            } else {
                setenv("TERM", term.c_str(), 1);
            }
            setenv("LANG", "C.UTF-8", 1);
            // A fatal signal sent from outside must end the probe as in the
            // plain build, not as a sanitizer report; crashes must not leave
            // core files behind.
            for (const char* name : {"ASAN_OPTIONS", "TSAN_OPTIONS"}) {
                const char* old = std::getenv(name);
                setenv(name,
                       (std::string(old ? old : "") +
                        ":detect_leaks=0:handle_segv=0:handle_sigbus=0:handle_sigfpe=0")
                           .c_str(),
                       1);
            }
            const rlimit no_core{0, 0};
            setrlimit(RLIMIT_CORE, &no_core);
            // Whatever the test runner ignores or blocks (nohup, a CI
            // runner), the probe starts as a program started from a shell.
            for (int sig = 1; sig < _NSIG; ++sig) signal(sig, SIG_DFL);
            sigset_t none;
            sigemptyset(&none);
            sigprocmask(SIG_SETMASK, &none, nullptr);
            if (job) run_as_job(mode, pid_pipe[1]);
            const pid_t self = getpid();
            (void)!write(pid_pipe[1], &self, sizeof self);
            close(pid_pipe[1]);
            exec_probe(mode);
        }
        close(pid_pipe[1]);
        if (read(pid_pipe[0], &target_, sizeof target_) != sizeof target_) target_ = child_;
        close(pid_pipe[0]);
    }
    ~Probe() {
        if (child_ > 0 && !run_.finished) {
            kill(child_, SIGKILL);
            if (target_ != child_) kill(target_, SIGKILL);
            waitpid(child_, nullptr, 0);
        }
        if (master_ >= 0) close(master_);
    }
    Probe(const Probe&) = delete;
    Probe& operator=(const Probe&) = delete;

    bool started() const { return child_ > 0; }
    const std::string& output() const { return run_.output; }
    pid_t pid() const { return target_; }
    // To the probe's main thread: a sanitizer's own threads must not be the
    // ones to take it.
    void send(int sig) { syscall(SYS_tgkill, target_, target_, sig); }
    void type(std::string_view keys) { (void)!write(master_, keys.data(), keys.size()); }
    // Closes the terminal's other side, as a terminal window that is closed.
    void hang_up() {
        close(master_);
        master_ = -1;
    }

    // Reads until `text` appears at or after `from`; its position, or npos
    // when the probe ended first or nothing showed it for minutes. A slow
    // probe may stay silent for a long while before it draws.
    std::size_t read_until(std::string_view text, std::size_t from = 0) {
        const auto deadline = std::chrono::steady_clock::now() + ::vorlix::test::PATIENCE;
        for (;;) {
            const std::size_t found = run_.output.find(text, from);
            if (found != std::string::npos) return found;
            if (run_.finished || std::chrono::steady_clock::now() >= deadline) return std::string::npos;
            read_some();
        }
    }

    // The line modes of the pseudo-terminal right now.
    termios modes() const {
        termios t{};
        tcgetattr(master_, &t);
        return t;
    }

    // Reads to the end and waits for the probe (the job's parent, which
    // ends as the job did).
    ProbeRun finish() {
        const auto deadline = std::chrono::steady_clock::now() + ::vorlix::test::PATIENCE;
        while (!run_.finished && std::chrono::steady_clock::now() < deadline) read_some();
        if (!run_.finished) {
            kill(child_, SIGKILL);
            waitpid(child_, &run_.status, 0);
            run_.finished = false;
        }
        // The master side reports the modes of the terminal the probe used.
        if (master_ >= 0) run_.modes = modes();
        return run_;
    }

private:
    [[noreturn]] static void exec_probe(const std::string& mode) {
        execl(VORLIX_TERMINAL_PROBE, VORLIX_TERMINAL_PROBE, mode.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }

    [[noreturn]] static void run_as_job(const std::string& mode, int pid_out) {
        int go[2];
        if (pipe(go) != 0) _exit(126);
        const pid_t job = fork();
        if (job < 0) _exit(126);
        if (job == 0) {
            close(go[1]);
            char byte = 0;
            (void)!read(go[0], &byte, 1);  // in the foreground first
            exec_probe(mode);
        }
        setpgid(job, job);
        signal(SIGTTOU, SIG_IGN);
        tcsetpgrp(STDIN_FILENO, job);
        (void)!write(pid_out, &job, sizeof job);
        (void)!write(go[1], "g", 1);
        int status = 0;
        while (waitpid(job, &status, 0) < 0 && errno == EINTR) {}
        if (WIFSIGNALED(status)) {
            signal(WTERMSIG(status), SIG_DFL);
            raise(WTERMSIG(status));
        }
        _exit(WIFEXITED(status) ? WEXITSTATUS(status) : 125);
    }

    // Takes what the probe wrote, or notes that it ended, waiting a little
    // when neither happened: the callers' loops end only on their condition
    // or their deadline, never on a silence.
    void read_some() {
        if (run_.finished) return;
        bool waited = false;
        if (master_ >= 0) {
            pollfd p{master_, POLLIN, 0};
            const int ready = poll(&p, 1, 100);
            if (ready < 0 && errno == EINTR) return;
            if (ready > 0 && take_output()) return;
            // Ready without data is EIO: the probe closed the terminal.
            waited = ready == 0;
        }
        if (waitpid(child_, &run_.status, WNOHANG) == child_) {
            run_.finished = true;
            // What it wrote just before it ended.
            while (master_ >= 0 && take_output()) {}
            return;
        }
        if (!waited) std::this_thread::sleep_for(10ms);
    }

    // One read of what is there now; false when there is nothing.
    bool take_output() {
        pollfd p{master_, POLLIN, 0};
        if (poll(&p, 1, 0) <= 0) return false;
        char buf[4096];
        const ssize_t n = read(master_, buf, sizeof buf);
        if (n <= 0) return false;
        run_.output.append(buf, static_cast<std::size_t>(n));
        return true;
    }

    int master_ = -1;
    pid_t child_ = -1;
    pid_t target_ = -1;
    ProbeRun run_;
};

// With `signal`, it is sent once the probe has drawn its frame.
inline ProbeRun run_probe(const std::string& mode, const std::string& term, int signal = 0) {
    Probe probe(mode, term);
    if (!probe.started()) return {};
    if (signal != 0 && probe.read_until("frame") != std::string::npos) probe.send(signal);
    return probe.finish();
}

// The state letter of a process ("S", "T" when stopped), from /proc.
inline char process_state(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::size_t close = text.rfind(')');
    return close == std::string::npos || close + 2 >= text.size() ? '?' : text[close + 2];
}

template <class Ready>
bool eventually(Ready ready) {
    const auto deadline = std::chrono::steady_clock::now() + ::vorlix::test::PATIENCE;
    while (!ready()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

inline bool line_mode(const termios& t) {
    return (t.c_lflag & (ICANON | ECHO | ISIG)) == (ICANON | ECHO | ISIG);
}

inline std::string visible(const std::string& s) {
    std::string out;
    for (unsigned char c : s) {
        if (c == 0x1b) {
            out += "\\e";
        } else if (c < 0x20) {
            out += "^" + std::string(1, static_cast<char>(c + 0x40));
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

}  // namespace vorlix::app::probe_run
