#pragma once
// Runs a probe program with the fault shim's settings (see fault_shim.cpp)
// and returns its wait status. A probe that has not ended after the
// patience of every test is killed, and its status tells so.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "patience.hpp"

namespace vorlix::test {

inline int run_with_faults(const std::string& program, const std::vector<std::string>& args,
                           const std::string& faults, const std::string& kill) {
    const pid_t child = ::fork();
    if (child == 0) {
        ::setenv("VORLIX_FAULTS", faults.c_str(), 1);
        ::setenv("VORLIX_KILL", kill.c_str(), 1);
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    int status = -1;
    if (child < 0) return status;
    const auto deadline = std::chrono::steady_clock::now() + PATIENCE;
    for (;;) {
        const pid_t done = ::waitpid(child, &status, WNOHANG);
        if (done == child) return status;
        if (done < 0 && errno != EINTR) return -1;
        if (std::chrono::steady_clock::now() >= deadline) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ::kill(child, SIGKILL);
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {}
    return status;
}

}  // namespace vorlix::test
