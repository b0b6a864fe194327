#pragma once
// The signals the program must give the terminal back on, found the way the
// system itself decides them: each number is raised, left to its default
// action, in a child process, and counts when the child ends by it. So the
// table follows the kernel and the C library, not a list kept by hand.

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

namespace vorlix::test {

// Every number from 1 to SIGRTMAX whose default action ends the process,
// but KILL, which no handler can see, and the real-time numbers the C
// library keeps for itself (from the first real-time number up to
// SIGRTMIN).
inline std::vector<int> signals_that_end_by_default() {
    std::vector<int> out;
    for (int sig = 1; sig <= SIGRTMAX; ++sig) {
        if (sig == SIGKILL || (sig >= __SIGRTMIN && sig < SIGRTMIN)) continue;
        const pid_t child = ::fork();
        if (child < 0) return {};
        if (child == 0) {
            const rlimit no_core{0, 0};
            ::setrlimit(RLIMIT_CORE, &no_core);
            ::signal(sig, SIG_DFL);
            sigset_t set;
            sigemptyset(&set);
            sigaddset(&set, sig);
            ::sigprocmask(SIG_UNBLOCK, &set, nullptr);
            ::raise(sig);
            ::_exit(0);
        }
        int status = 0;
        while (::waitpid(child, &status, WUNTRACED) < 0 && errno == EINTR) {}
        if (WIFSTOPPED(status)) {
            ::kill(child, SIGKILL);
            while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {}
            continue;
        }
        if (WIFSIGNALED(status) && WTERMSIG(status) == sig) out.push_back(sig);
    }
    return out;
}

// "SIGUSR1", "SIGRTMIN+3": how the table names a signal in a message.
inline std::string signal_name(int sig) {
    if (sig >= SIGRTMIN && sig <= SIGRTMAX) return "SIGRTMIN+" + std::to_string(sig - SIGRTMIN);
    const char* abbrev = ::sigabbrev_np(sig);
    return abbrev != nullptr ? std::string("SIG") + abbrev : std::to_string(sig);
}

}  // namespace vorlix::test
