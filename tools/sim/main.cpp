// vorlix-sim: serves the simulated instrument until SIGINT or SIGTERM.
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <string_view>

#include "sim/sim.hpp"

namespace {

constexpr const char* USAGE =
    "usage: vorlix-sim [--tcp PORT | --pty] [--model basic|zs405|zs406|zs407] [--seed N]\n"
    "                  [--omit-revision] [--fault NAME[=ARG]]... [--log FILE]\n";

constexpr const char* OPTIONS_HELP =
    "Serves a simulated tinySA shell until SIGINT or SIGTERM.\n"
    "  --tcp PORT        listen on 127.0.0.1:PORT (0, the default, lets the system choose)\n"
    "  --pty             serve a pseudo-terminal and print its path\n"
    "  --model M         the instrument: basic, zs405 (default), zs406 or zs407\n"
    "  --seed N          seed of the simulated spectrum (1)\n"
    "  --omit-revision   an Ultra whose replies name no hardware revision\n"
    "  --log FILE        append every command line received to FILE\n";

template <typename T>
bool parse_number(const char* text, T& value) {
    const std::string_view s = text;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    return !s.empty() && ec == std::errc{} && end == s.data() + s.size();
}

bool parse_model(std::string_view text, vorlix::sim::Model& model) {
    using vorlix::sim::Model;
    if (text == "basic")
        model = Model::Basic;
    else if (text == "zs405")
        model = Model::UltraZS405;
    else if (text == "zs406")
        model = Model::UltraZS406;
    else if (text == "zs407")
        model = Model::UltraZS407;
    else
        return false;
    return true;
}

int fail(const std::string& message) {
    std::fprintf(stderr, "vorlix-sim: %s\n%s", message.c_str(), USAGE);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    vorlix::sim::Options options;
    bool pty = false;
    std::uint16_t tcp_port = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool has_value = i + 1 < argc;
        if (arg == "--pty") {
            pty = true;
        } else if (arg == "--omit-revision") {
            options.omit_revision = true;
        } else if (arg == "-h" || arg == "--help") {
            std::fputs(USAGE, stdout);
            std::fputs(OPTIONS_HELP, stdout);
            std::fputs(vorlix::sim::fault_help(), stdout);
            return 0;
        } else if (!has_value) {
            return fail("missing value or unknown option: " + std::string(arg));
        } else if (arg == "--tcp") {
            if (!parse_number(argv[++i], tcp_port)) return fail("bad port");
        } else if (arg == "--model") {
            if (!parse_model(argv[++i], options.model)) return fail("unknown model");
        } else if (arg == "--seed") {
            if (!parse_number(argv[++i], options.seed)) return fail("bad seed");
        } else if (arg == "--fault") {
            std::string error;
            if (!vorlix::sim::apply_fault(argv[++i], options.faults, error)) return fail(error);
        } else if (arg == "--log") {
            options.log_path = argv[++i];
            // A log that silently stays empty would pass for a program that
            // sent nothing.
            if (!std::ofstream(options.log_path, std::ios::app))
                return fail("cannot open log: " + options.log_path);
        } else {
            return fail("unknown option: " + std::string(arg));
        }
    }

    // Block the stop signals before the serving thread starts, so it inherits
    // the mask and only sigwait below receives them.
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

    auto server =
        pty ? vorlix::sim::Server::start_pty(options) : vorlix::sim::Server::start_tcp(options, tcp_port);
    if (!server) {
        std::fprintf(stderr, "vorlix-sim: cannot start: %s\n", std::strerror(errno));
        return 1;
    }
    if (pty)
        std::printf("%s\n", server->slave_path().c_str());
    else
        std::printf("listening on 127.0.0.1:%u\n", static_cast<unsigned>(server->port()));
    std::fflush(stdout);

    int signal = 0;
    sigwait(&stop_signals, &signal);
    return 0;
}
