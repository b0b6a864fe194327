// The simulated instrument on the wire: TCP sessions, the pty, faults that
// act on the connection itself, and the vorlix-sim executable.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>

#include "sim/peer.hpp"
#include "sim/sim.hpp"

extern char** environ;

namespace vorlix::sim {
namespace {

using test::Peer;
using namespace std::chrono_literals;

const std::string greeting = "\r\ntinySA Shell\r\nch> ";

TEST(SimServer, ServesOneFreshTcpSessionAtATimeOverOneInstrument) {
    auto server = Server::start_tcp({});
    ASSERT_TRUE(server);
    ASSERT_NE(server->port(), 0);
    auto first = Peer::tcp(server->port());
    ASSERT_TRUE(first.ok());
    EXPECT_EQ(first.read_until("ch> "), greeting);
    EXPECT_EQ(first.command("zero 150"), "zero 150\r\nch> ");

    // A second client waits in the backlog until the first one leaves.
    auto second = Peer::tcp(server->port());
    ASSERT_TRUE(second.ok());
    EXPECT_EQ(second.read_for(200ms), "");
    { auto gone = std::move(first); }
    EXPECT_EQ(second.read_until("ch> "), greeting);
    // The instrument kept its zero offset across the sessions.
    EXPECT_EQ(second.command("zero"), "zero\r\nusage: zero {level}\r\n150dBm\r\nch> ");
    EXPECT_EQ(server->sessions_started(), 2u);
    EXPECT_EQ(server->commands(), (std::vector<std::string>{"zero 150", "zero"}));
    EXPECT_EQ(server->state().zero_offset, 150u);
}

TEST(SimServer, ServesTheShellOverAPty) {
    Options o;
    o.model = Model::Basic;
    auto server = Server::start_pty(o);
    ASSERT_TRUE(server);
    auto peer = Peer::pty(server->slave_path());
    ASSERT_TRUE(peer.ok());
    // The program claims its port exclusively; the claim must not outlive
    // its use, or the program could not open the line again.
    ASSERT_EQ(::ioctl(peer.fd(), TIOCEXCL), 0);
    EXPECT_EQ(peer.read_until("ch> "), greeting);
    EXPECT_EQ(peer.command("version"), "version\r\ntinySA_v1.4-175-g1419a93\r\nch> ");
    int exclusive = -1;
    ASSERT_EQ(::ioctl(peer.fd(), TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
    const std::string line = "scanraw 0 350000000 1000";
    const std::string reply = peer.command(line);
    ASSERT_EQ(reply.size(), line.size() + 2 + 3002 + 4);
    const auto frame = server->last_frame();
    EXPECT_EQ(reply.substr(line.size() + 2, 3002), std::string(frame.begin(), frame.end()));
    EXPECT_EQ(server->sweeps_served(), 1u);
}

TEST(SimServer, LiftsTheExclusiveClaimWhileALongReplyWaitsForItsReader) {
    auto server = Server::start_pty({});
    ASSERT_TRUE(server);
    auto peer = Peer::pty(server->slave_path());
    ASSERT_TRUE(peer.ok());
    EXPECT_EQ(peer.read_until("ch> "), greeting);
    // Far more than the line buffers hold, so the server is left waiting to
    // write while the program is away.
    const std::string line = "scanraw 240000000 800000000 200000";
    peer.send(line + "\r");
    EXPECT_EQ(peer.read_exactly(line.size() + 3), line + "\r\n{");
    ASSERT_EQ(::ioctl(peer.fd(), TIOCEXCL), 0);
    int exclusive = 1;
    const auto deadline = std::chrono::steady_clock::now() + vorlix::test::PATIENCE;
    while (exclusive != 0 && std::chrono::steady_clock::now() < deadline) {
        ASSERT_EQ(::ioctl(peer.fd(), TIOCGEXCL, &exclusive), 0);
        if (exclusive != 0) ::usleep(10'000);
    }
    EXPECT_EQ(exclusive, 0);
    const std::string rest = peer.read_until("}ch> ");
    EXPECT_EQ(rest.size(), 3u * 200000u + 5u);
}

TEST(SimServer, WaitsForCommandsAndSweeps) {
    auto server = Server::start_tcp({});
    ASSERT_TRUE(server);
    auto peer = Peer::tcp(server->port());
    peer.read_until("ch> ");
    EXPECT_FALSE(server->wait_for_command("scanraw", 20ms));
    peer.send("scanraw 240000000 800000000 20000\r");
    EXPECT_TRUE(server->wait_for_command("scanraw 240", vorlix::test::PATIENCE));
    EXPECT_TRUE(server->wait_for_sweeps(1, vorlix::test::PATIENCE));
    EXPECT_FALSE(server->wait_for_sweeps(2, 20ms));
    EXPECT_EQ(peer.read_until("}ch> ").size(), 35u + 60002u + 4u);
}

TEST(SimServer, ConnectionFaultsActOnTheWire) {
    struct Case {
        const char* name;
        bool pty;
        std::function<void(Faults&)> fault;
        std::string line;
        std::string received;
        bool ends;
    };
    const std::vector<Case> cases{
        {"disconnect tcp", false, [](Faults& f) { f.disconnect_after_bytes = 32; }, "version",
         "version\r\ntin", true},
        {"disconnect pty", true, [](Faults& f) { f.disconnect_after_bytes = 32; }, "version",
         "version\r\ntin", true},
        {"stall tcp", false, [](Faults& f) { f.stall_command = "zero"; }, "zero", "zero", false},
        {"stall pty", true, [](Faults& f) { f.stall_command = "zero"; }, "zero", "zero", false},
    };
    for (const auto& c : cases) {
        Options o;
        c.fault(o.faults);
        auto server = c.pty ? Server::start_pty(o) : Server::start_tcp(o);
        ASSERT_TRUE(server) << c.name;
        auto peer = c.pty ? Peer::pty(server->slave_path()) : Peer::tcp(server->port());
        EXPECT_EQ(peer.read_until("ch> "), greeting) << c.name;
        peer.send(c.line + "\r");
        // A reply that ends is read to its end; a stalled one up to its
        // echo, then for a while in which nothing more may come.
        std::string received = c.ends ? peer.read_for(vorlix::test::PATIENCE) : peer.read_until(c.received);
        if (!c.ends) received += peer.read_for(300ms);
        EXPECT_EQ(received, c.received) << c.name;
        EXPECT_EQ(peer.at_end(), c.ends) << c.name;
        if (!c.pty && !c.ends) {
            // A stalled session ends with its client; the next one is served.
            { auto gone = std::move(peer); }
            auto next = Peer::tcp(server->port());
            EXPECT_EQ(next.read_until("ch> "), greeting) << c.name;
        }
    }
}

// Runs vorlix-sim with `args`, its standard output on a pipe.
struct Child {
    explicit Child(std::vector<std::string> args) {
        args.insert(args.begin(), VORLIX_BINARY_DIR "/vorlix-sim");
        int fds[2];
        if (::pipe(fds) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        out = fds[0];
    }
    ~Child() {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        if (out >= 0) ::close(out);
    }
    std::string first_line() {
        std::string line;
        pollfd pfd{out, POLLIN, 0};
        char ch;
        const int wait_ms = static_cast<int>(vorlix::test::PATIENCE.count());
        while (::poll(&pfd, 1, wait_ms) > 0 && ::read(out, &ch, 1) == 1 && ch != '\n') line += ch;
        return line;
    }
    // Sends `signal` and returns the exit status (or -1).
    int stop(int signal) {
        if (signal != 0) ::kill(pid, signal);
        int status = 0;
        const auto deadline = std::chrono::steady_clock::now() + vorlix::test::PATIENCE;
        while (std::chrono::steady_clock::now() < deadline) {
            if (::waitpid(pid, &status, WNOHANG) == pid) {
                pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            ::usleep(10'000);
        }
        return -1;
    }

    pid_t pid = -1;
    int out = -1;
};

TEST(SimExecutable, ServesOverTcpUntilTerminated) {
    // One file per test process, so that runs side by side keep apart.
    const std::string log = VORLIX_BINARY_DIR "/sim_exe_test." + std::to_string(::getpid()) + ".log";
    std::remove(log.c_str());
    Child child(
        {"--tcp", "0", "--model", "basic", "--seed", "5", "--fault", "zero-readback=99", "--log", log});
    const std::string line = child.first_line();
    ASSERT_TRUE(line.starts_with("listening on 127.0.0.1:")) << line;
    const auto port = static_cast<std::uint16_t>(std::stoi(line.substr(line.rfind(':') + 1)));
    {
        auto peer = Peer::tcp(port);
        EXPECT_EQ(peer.read_until("ch> "), greeting);
        EXPECT_EQ(peer.command("zero"), "zero\r\nusage: zero {level}\r\n99dBm\r\nch> ");
        EXPECT_EQ(peer.command("version"), "version\r\ntinySA_v1.4-175-g1419a93\r\nch> ");
    }
    EXPECT_EQ(child.stop(SIGTERM), 0);
    std::ifstream in(log);
    std::stringstream logged;
    logged << in.rdbuf();
    EXPECT_EQ(logged.str(), "zero\nversion\n");
    std::remove(log.c_str());
}

TEST(SimExecutable, ServesOverAPtyAndRefusesBadOptions) {
    Child child({"--pty", "--model", "zs407"});
    const std::string path = child.first_line();
    ASSERT_TRUE(path.starts_with("/dev/")) << path;
    auto peer = Peer::pty(path);
    EXPECT_EQ(peer.read_until("ch> "), greeting);
    EXPECT_TRUE(peer.command("version").find("HW Version:V0.5.4 \r\n") != std::string::npos);
    EXPECT_EQ(child.stop(SIGINT), 0);

    const std::vector<std::vector<std::string>> refused_options{
        {"--model", "zs999"}, {"--fault", "explode"}, {"--tcp"},
        {"--tcp", "70000"},   {"--tcp", ""},          {"--tcp", "-1"},
        {"--seed", "-1"},     {"--seed", "7x"},       {"--log", VORLIX_BINARY_DIR "/no/such/dir/sim.log"},
    };
    for (const auto& bad : refused_options) {
        Child refused(bad);
        EXPECT_EQ(refused.stop(0), 2) << bad.front() << " " << bad.back();
    }
}

TEST(SimExecutable, HelpNamesEveryOptionAndFault) {
    Child child({"--help"});
    std::string out;
    for (std::string line = child.first_line(); !line.empty(); line = child.first_line()) out += line + "\n";
    EXPECT_EQ(child.stop(0), 0);
    for (const char* option :
         {"--tcp PORT", "--pty", "--model M", "--seed N", "--omit-revision", "--log FILE"})
        EXPECT_NE(out.find(std::string("  ") + option), std::string::npos) << option;
    EXPECT_NE(out.find(fault_help()), std::string::npos) << out;
}

}  // namespace
}  // namespace vorlix::sim
