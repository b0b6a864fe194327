#pragma once
// The reader's checks over bytes in memory, handed to the parser in pieces
// of `piece` bytes (the last may be shorter), or at a chosen split, with the
// parser's room starting at `room` bytes: however the bytes are cut, the
// result must be the same as for the whole.

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <initializer_list>
#include <string_view>

#include "scan_csv/reader.hpp"

namespace vorlix::test {

inline std::expected<std::vector<instrument::Sample>, base::IoError> parse_cut(
    std::string_view text, std::initializer_list<std::size_t> cuts, std::size_t piece, std::size_t room) {
    scan_csv::ScanCsvParser parser(room);
    std::size_t done = 0;
    const auto feed = [&](std::size_t until) -> std::expected<void, base::IoError> {
        while (done < until) {
            const std::span<char> into = parser.room();
            const std::size_t n = std::min({piece, into.size(), until - done});
            std::memcpy(into.data(), text.data() + done, n);
            done += n;
            if (auto ok = parser.take(n); !ok) return ok;
        }
        return {};
    };
    for (const std::size_t cut : cuts) {
        if (auto ok = feed(std::min(cut, text.size())); !ok) return std::unexpected(ok.error());
    }
    if (auto ok = feed(text.size()); !ok) return std::unexpected(ok.error());
    return parser.finish();
}

// The whole text as one piece, as a read of a small file gives it.
inline std::expected<std::vector<instrument::Sample>, base::IoError> parse_whole(std::string_view text) {
    return parse_cut(text, {}, text.size() + 1, scan_csv::READ_PIECE_BYTES);
}

}  // namespace vorlix::test
