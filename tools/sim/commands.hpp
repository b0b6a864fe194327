// The text commands of the shell: each takes the words of one line and the
// instrument state and gives the output lines.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/sim.hpp"

namespace vorlix::sim {

// True when `line` is `command` or starts with it followed by a blank; a
// command ending in "$" matches only the whole line.
bool line_matches(std::string_view line, std::string_view command);

// True while a line that begins with `typed` may still turn out to match
// `command` once it is complete.
bool line_may_match(std::string_view typed, std::string_view command);

std::vector<std::string> split_words(std::string_view line);

// Plain unsigned decimal, the whole word; none otherwise.
std::optional<std::uint64_t> parse_unsigned(std::string_view word);

// Output lines of every command except scanraw; an unknown command gives
// "{name}?". `text_scan_index` seeds the noise of a text scan.
std::vector<std::string> run_text_command(const std::vector<std::string>& words, const Options& options,
                                          InstrumentState& state, std::uint64_t text_scan_index);

struct ScanrawRequest {
    std::uint64_t start_hz;
    std::uint64_t stop_hz;
    std::uint64_t points;
};

// Arguments of scanraw, with the sweep's own point count when none is given;
// none for a malformed line.
std::optional<ScanrawRequest> parse_scanraw(const std::vector<std::string>& words,
                                            const InstrumentState& state);

inline constexpr std::uint64_t MAX_POINTS = 1'000'001;

}  // namespace vorlix::sim
