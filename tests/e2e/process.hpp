#pragma once
// Running a helper program to completion and collecting what it printed,
// without a shell in between, so arguments never need quoting.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "patience.hpp"

extern char** environ;

namespace vorlix::e2e {

struct Finished {
    int status = -1;  // exit status, or -1 when it did not exit normally
    std::string out;
    std::string err;
};

inline std::string slurp(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs argv[0] (looked up on PATH) in `cwd` with `extra_env` added to the
// environment; standard input is /dev/null, the outputs go to files in
// `cwd` that are read back. It runs in a session of its own, without a
// controlling terminal, so it can never reach the terminal of whoever runs
// the tests. The caller's VORLIX_CONFIG is not passed on, so
// a run reads the configuration of its own directory. A program still
// running after `timeout` is killed and reported with status -1.
inline Finished run_process(const std::vector<std::string>& argv, const std::filesystem::path& cwd,
                            const std::vector<std::string>& extra_env = {},
                            std::chrono::milliseconds timeout = test::PATIENCE) {
    const std::filesystem::path out_file = cwd / ".run.out";
    const std::filesystem::path err_file = cwd / ".run.err";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());

    std::vector<std::string> env_text;
    for (char** e = environ; *e != nullptr; ++e) {
        if (!std::string_view(*e).starts_with("VORLIX_CONFIG=")) env_text.emplace_back(*e);
    }
    for (const std::string& e : extra_env) env_text.push_back(e);
    std::vector<char*> env_ptrs;
    for (std::string& e : env_text) env_ptrs.push_back(e.data());
    env_ptrs.push_back(nullptr);
    std::vector<std::string> args = argv;
    std::vector<char*> arg_ptrs;
    for (std::string& a : args) arg_ptrs.push_back(a.data());
    arg_ptrs.push_back(nullptr);

    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);

    Finished result;
    pid_t pid = 0;
    const int spawned =
        posix_spawnp(&pid, arg_ptrs[0], &actions, &attributes, arg_ptrs.data(), env_ptrs.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (spawned != 0) return result;
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) break;
        if (done < 0 && errno != EINTR) return result;
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(pid, SIGKILL);
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
            status = -1;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (status != -1 && WIFEXITED(status)) result.status = WEXITSTATUS(status);
    result.out = slurp(out_file);
    result.err = slurp(err_file);
    std::filesystem::remove(out_file);
    std::filesystem::remove(err_file);
    return result;
}

// Polls `ready` every few milliseconds until it holds or `timeout` passes.
template <class Ready>
bool wait_until(Ready ready, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (ready()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(15));
    }
}

}  // namespace vorlix::e2e
