// One shell session: turns the bytes a host types into the bytes the
// instrument sends back. No I/O of its own, so the serving loop only moves
// bytes and every answer can be reasoned about byte for byte.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sim/ledger.hpp"
#include "sim/sim.hpp"

namespace vorlix::sim {

// Bytes to write, in the pieces the instrument would write them, and whether
// the connection must be closed after the last piece.
struct Emission {
    std::vector<std::string> chunks;
    bool close = false;
};

class Shell {
public:
    Shell(const Options& options, Ledger& ledger);

    Emission greet();
    Emission feed(std::string_view input);

    // Stalled or closed: further input is ignored.
    bool silent() const { return stalled_ || closed_; }

    static constexpr std::size_t MAX_LINE = 47;
    static constexpr std::string_view PROMPT = "ch> ";
    static constexpr std::uint64_t BLOCK_POINTS = 20;

private:
    void take(char byte);
    void end_line();
    void answer(const std::string& line);
    void scanraw(const std::vector<std::string>& words);
    void emit(std::string bytes);
    void start_counting();
    bool blank_armed() const;

    const Options& options_;
    Ledger& ledger_;
    Emission out_;
    std::string line_;
    std::string withheld_echo_;
    bool stalled_ = false;
    bool closed_ = false;
    bool counting_ = false;
    std::uint64_t counted_ = 0;
};

}  // namespace vorlix::sim
