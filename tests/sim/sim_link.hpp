#pragma once
// A simulated instrument reached over either link, and the connection
// settings that reach it: what every test against the simulator shares.

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "config/record.hpp"
#include "patience.hpp"
#include "sim/sim.hpp"

namespace vorlix::test {

enum class Link { Tcp, Pty };

inline std::unique_ptr<sim::Server> start_sim(Link link, sim::Options options = {}) {
    return link == Link::Tcp ? sim::Server::start_tcp(std::move(options))
                             : sim::Server::start_pty(std::move(options));
}

// A configuration that reaches `server` over `link`: the loopback address or
// the pseudo-terminal's path, with `timeout_ms` on both.
inline config::Config sim_connection(const sim::Server& server, Link link, std::uint64_t timeout_ms) {
    config::Config c;
    if (link == Link::Tcp) {
        c.connection.backend = config::Backend::Tcp;
        c.connection.tcp_address = "127.0.0.1:" + std::to_string(server.port());
    } else {
        c.connection.backend = config::Backend::Serial;
        c.port = server.slave_path();
    }
    c.connection.tcp_timeout_ms = timeout_ms;
    c.serial.timeout_ms = timeout_ms;
    return c;
}

// The read time-out for a run against a simulator with these faults: the
// short one only where the instrument falls silent on purpose.
inline std::uint64_t read_timeout_for(const sim::Options& options) {
    const bool silent =
        !options.faults.stall_command.empty() || options.faults.abort_after_records.has_value();
    return silent ? SILENCE_TIMEOUT_MS : ANSWERED_TIMEOUT_MS;
}

}  // namespace vorlix::test
