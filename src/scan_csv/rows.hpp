#pragma once
// The lines of a scan file, one per sample: the frequency, a comma, the
// level and a line feed. Formatting them costs several times writing them,
// so a long sweep is formatted in parts on a few threads at once while the
// finished parts are already being written, in order.

#include <cstddef>
#include <expected>
#include <functional>
#include <span>
#include <string_view>

#include "base/io_error.hpp"
#include "instrument/types.hpp"

namespace vorlix::scan_csv {

// Lines per part; a sweep of at most this many is formatted on the caller's
// thread alone.
inline constexpr std::size_t ROWS_PER_PART = 32768;
// Threads formatting at once, the caller's included.
inline constexpr unsigned MAX_FORMAT_THREADS = 4;

// Receives the text of consecutive parts; an error ends the writing.
using RowSink = std::function<std::expected<void, base::IoError>(std::string_view text)>;

// Hands the text of all lines to `sink`, part after part in order, and
// returns the first error it reports. An empty sweep calls it with nothing.
std::expected<void, base::IoError> write_rows(std::span<const instrument::Sample> samples,
                                              const RowSink& sink);

}  // namespace vorlix::scan_csv
