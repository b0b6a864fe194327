// A shell session driven in-process, without sockets, for byte-exact tests.
#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "sim/ledger.hpp"
#include "sim/shell.hpp"
#include "sim/sim.hpp"

namespace vorlix::sim::test {

struct Session {
    explicit Session(Options o = {}) : options(std::move(o)), ledger(options), shell(options, ledger) {
        greeting = join(shell.greet());
    }
    std::string type(std::string_view input) { return join(shell.feed(input)); }
    std::string run(const std::string& line) { return type(line + "\r"); }
    std::string join(const Emission& e) {
        closed = closed || e.close;
        std::string all;
        for (const auto& c : e.chunks) all += c;
        return all;
    }

    Options options;
    Ledger ledger;
    Shell shell;
    std::string greeting;
    bool closed = false;
};

inline Options with_model(Model model, bool omit_revision = false) {
    Options o;
    o.model = model;
    o.omit_revision = omit_revision;
    return o;
}

// The reply body of a command: what follows the echo line, before the prompt.
inline std::string body(const std::string& line, const std::string& output) {
    const std::string head = line + "\r\n";
    if (!output.starts_with(head) || !output.ends_with("ch> ")) return "<malformed: " + output + ">";
    return output.substr(head.size(), output.size() - head.size() - 4);
}

}  // namespace vorlix::sim::test
