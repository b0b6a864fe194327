#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <thread>

#include "sim/ledger.hpp"
#include "sim/shell.hpp"
#include "sim/sim.hpp"

namespace vorlix::sim {

struct Server::Impl {
    explicit Impl(Options o) : options(std::move(o)), ledger(options) {}
    ~Impl() {
        for (int fd : {listen_fd, master_fd, slave_hold_fd, wake[0], wake[1]})
            if (fd >= 0) ::close(fd);
    }

    enum class Wait { Ready, Stop, Timeout };
    enum class End { PeerGone, Stop, Closed };

    // Waits for `fd` or for the stop signal, whichever comes first.
    Wait wait(int fd, short events, int timeout_ms = -1) const {
        pollfd fds[2] = {{fd, events, 0}, {wake[0], POLLIN, 0}};
        for (;;) {
            const int n = ::poll(fds, 2, timeout_ms);
            if (n == 0) return Wait::Timeout;
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 || fds[1].revents != 0) return Wait::Stop;
            if (fds[0].revents != 0) return Wait::Ready;
        }
    }

    bool send_all(int fd, const Emission& out) const {
        for (const auto& chunk : out.chunks) {
            std::size_t done = 0;
            while (done < chunk.size()) {
                const ssize_t n = pty ? ::write(fd, chunk.data() + done, chunk.size() - done)
                                      : ::send(fd, chunk.data() + done, chunk.size() - done, MSG_NOSIGNAL);
                if (n > 0) {
                    done += static_cast<std::size_t>(n);
                } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                    // A program that closes the line in the middle of a long
                    // reply must still be able to open it again meanwhile.
                    const Wait w = wait(fd, POLLOUT, pty ? 100 : -1);
                    if (pty) allow_reopen();
                    if (w == Wait::Stop) return false;
                } else if (!(n < 0 && errno == EINTR)) {
                    return false;
                }
            }
        }
        return true;
    }

    End serve(int fd) {
        Shell shell(options, ledger);
        {
            std::lock_guard lock(ledger.mutex);
            ++ledger.sessions;
        }
        ledger.changed.notify_all();
        Emission out = shell.greet();
        if (!send_all(fd, out)) return End::PeerGone;
        if (out.close) return End::Closed;
        char buffer[4096];
        for (;;) {
            const Wait w = wait(fd, POLLIN, pty ? 100 : -1);
            if (pty) allow_reopen();
            if (w == Wait::Stop) return End::Stop;
            if (w == Wait::Timeout) continue;
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n == 0) return End::PeerGone;
            if (n < 0) {
                if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) continue;
                return End::PeerGone;
            }
            out = shell.feed(std::string_view(buffer, static_cast<std::size_t>(n)));
            if (!send_all(fd, out)) return End::PeerGone;
            if (out.close) return End::Closed;
        }
    }

    void run_tcp() {
        for (;;) {
            if (wait(listen_fd, POLLIN) == Wait::Stop) return;
            const int fd = ::accept4(listen_fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd < 0) continue;
            // Echoed bytes must leave at once, as they do from the instrument.
            const int one = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            const End end = serve(fd);
            ::close(fd);
            if (end == End::Stop) return;
        }
    }

    // A program that opens the slave may claim it exclusively; since the
    // server's own slave descriptor keeps the line open across the program's
    // closes, the claim would outlive it and refuse the program's next open.
    void allow_reopen() const { ::ioctl(slave_hold_fd, TIOCNXCL); }

    // A hang-up discards what the slave has not read yet, so the line is only
    // dropped once the peer has taken the bytes sent before it (or after 10 s).
    // The kernel moves written bytes into the slave's queue a little later,
    // and later still on a loaded machine, so the queue must stay empty for
    // a good while (200 ms) before it counts as read.
    void drain_before_hangup() const {
        int empty_checks = 0;
        for (int i = 0; i < 1000 && empty_checks < 20; ++i) {
            int queued = 0;
            if (::ioctl(slave_hold_fd, TIOCINQ, &queued) != 0) return;
            empty_checks = queued == 0 ? empty_checks + 1 : 0;
            pollfd stop{wake[0], POLLIN, 0};
            if (::poll(&stop, 1, 10) != 0) return;
        }
    }

    void run_pty() {
        if (serve(master_fd) == End::Closed) {
            drain_before_hangup();
            // Closing the master hangs the line up for whoever holds the slave.
            ::close(master_fd);
            ::close(slave_hold_fd);
            master_fd = slave_hold_fd = -1;
        }
    }

    bool make_wake_pipe() { return ::pipe2(wake, O_CLOEXEC | O_NONBLOCK) == 0; }

    Options options;
    Ledger ledger;
    bool pty = false;
    int listen_fd = -1;
    int master_fd = -1;
    // Held open so the master never sees a hang-up between the program's
    // opens and closes of the slave.
    int slave_hold_fd = -1;
    int wake[2] = {-1, -1};
    std::uint16_t port = 0;
    std::string slave_path;
    std::thread thread;
};

Server::Server(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

Server::~Server() {
    if (impl_->thread.joinable()) {
        const char byte = 0;
        [[maybe_unused]] const ssize_t n = ::write(impl_->wake[1], &byte, 1);
        impl_->thread.join();
    }
}

std::unique_ptr<Server> Server::start_tcp(Options options, std::uint16_t port) {
    auto impl = std::make_unique<Impl>(std::move(options));
    if (!impl->make_wake_pipe()) return nullptr;
    impl->listen_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (impl->listen_fd < 0) return nullptr;
    const int one = 1;
    ::setsockopt(impl->listen_fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    socklen_t len = sizeof addr;
    if (::bind(impl->listen_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(impl->listen_fd, 8) != 0 ||
        ::getsockname(impl->listen_fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
        return nullptr;
    impl->port = ntohs(addr.sin_port);
    Impl* raw = impl.get();
    impl->thread = std::thread([raw] { raw->run_tcp(); });
    return std::make_unique<Server>(std::move(impl));
}

std::unique_ptr<Server> Server::start_pty(Options options) {
    auto impl = std::make_unique<Impl>(std::move(options));
    impl->pty = true;
    if (!impl->make_wake_pipe()) return nullptr;
    impl->master_fd = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (impl->master_fd < 0 || ::grantpt(impl->master_fd) != 0 || ::unlockpt(impl->master_fd) != 0)
        return nullptr;
    char name[128];
    if (::ptsname_r(impl->master_fd, name, sizeof name) != 0) return nullptr;
    impl->slave_path = name;
    // Raw line: no echo by the line discipline, no line-end translation, so
    // the shell alone decides every byte the program sees.
    termios tio{};
    if (::tcgetattr(impl->master_fd, &tio) != 0) return nullptr;
    ::cfmakeraw(&tio);
    ::cfsetspeed(&tio, B115200);
    if (::tcsetattr(impl->master_fd, TCSANOW, &tio) != 0) return nullptr;
    const int flags = ::fcntl(impl->master_fd, F_GETFL);
    if (flags < 0 || ::fcntl(impl->master_fd, F_SETFL, flags | O_NONBLOCK) != 0) return nullptr;
    impl->slave_hold_fd = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (impl->slave_hold_fd < 0) return nullptr;
    Impl* raw = impl.get();
    impl->thread = std::thread([raw] { raw->run_pty(); });
    return std::make_unique<Server>(std::move(impl));
}

std::uint16_t Server::port() const { return impl_->port; }
const std::string& Server::slave_path() const { return impl_->slave_path; }

std::vector<std::string> Server::commands() const {
    std::lock_guard lock(impl_->ledger.mutex);
    return impl_->ledger.commands;
}

bool Server::wait_for_command(std::string_view prefix, std::chrono::milliseconds timeout) const {
    auto& l = impl_->ledger;
    std::unique_lock lock(l.mutex);
    return l.changed.wait_for(lock, timeout, [&] {
        for (const auto& c : l.commands)
            if (c.starts_with(prefix)) return true;
        return false;
    });
}

bool Server::wait_for_sweeps(std::uint64_t n, std::chrono::milliseconds timeout) const {
    auto& l = impl_->ledger;
    std::unique_lock lock(l.mutex);
    return l.changed.wait_for(lock, timeout, [&] { return l.sweeps >= n; });
}

std::uint64_t Server::sweeps_served() const {
    std::lock_guard lock(impl_->ledger.mutex);
    return impl_->ledger.sweeps;
}

std::vector<std::uint8_t> Server::last_frame() const {
    std::lock_guard lock(impl_->ledger.mutex);
    return impl_->ledger.last_frame;
}

std::uint64_t Server::sessions_started() const {
    std::lock_guard lock(impl_->ledger.mutex);
    return impl_->ledger.sessions;
}

InstrumentState Server::state() const {
    std::lock_guard lock(impl_->ledger.mutex);
    return impl_->ledger.state;
}

}  // namespace vorlix::sim
