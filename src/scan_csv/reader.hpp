#pragma once
// Reading a stored scan back for the viewer. Any CSV scan file is checked
// line by line: two numeric columns, finite values, nondecreasing
// frequencies, at least one sample. The first problem ends the read, and
// its text names the physical line (blank lines and the header count too)
// so the user can find it in an editor.
//
// The read is bounded, so that a device such as /dev/zero, or a file
// another process keeps appending to, ends: a regular file is read as it
// stood when it was opened, and no file may hold more than MAX_FILE_BYTES,
// a line of more than MAX_LINE_BYTES or more than MAX_SAMPLES samples. All
// are far above anything the scan writer produces: at most 1,000,001 lines,
// each two numbers of at most 327 characters, so about 660 MB. The sample
// bound keeps a stream of short lines from taking gigabytes of memory
// before the byte bound is reached.

#include <cstddef>
#include <cstdint>
#include <expected>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/io_error.hpp"
#include "instrument/types.hpp"
#include "scan_csv/header.hpp"

namespace vorlix::scan_csv {

// The error texts name them: "1 GiB" and "1 MiB".
inline constexpr std::uint64_t MAX_FILE_BYTES = std::uint64_t{1} << 30;  // 1 GiB
inline constexpr std::size_t MAX_LINE_BYTES = std::size_t{1} << 20;      // 1 MiB, without the line feed
inline constexpr std::size_t MAX_SAMPLES = std::size_t{1} << 24;         // 16,777,216: 256 MiB of samples

// How much of a file one read takes.
inline constexpr std::size_t READ_PIECE_BYTES = 65536;

// Reads and checks the file at `path`. Open and read failures come back
// with the operating system's text; format problems as invalid-data errors
// built by scan_csv_error.
std::expected<std::vector<instrument::Sample>, base::IoError> read_scan_csv(
    const std::filesystem::path& path);

// The checks over a file's bytes, handed over in pieces of any size: each
// piece is read straight into room() and its size given to take(). Lines are
// checked as soon as they are whole, so a file is never held in memory, only
// its samples and the line in progress. After an error no call may follow.
class ScanCsvParser {
public:
    // `piece_bytes` is the room a piece gets; a longer line makes more.
    explicit ScanCsvParser(std::size_t piece_bytes);

    // The file holds about `bytes` bytes: once the first piece shows how long
    // its lines are, room for all its samples is made at once, rather than
    // in steps that each copy the samples so far.
    void expect_bytes(std::uint64_t bytes) { expected_bytes_ = bytes; }

    // Where the next bytes go; never empty.
    std::span<char> room();
    // The first `count` bytes of room() hold the next piece.
    std::expected<void, base::IoError> take(std::size_t count);
    // The end of the file: its last line, which needs no line feed, and the
    // samples.
    std::expected<std::vector<instrument::Sample>, base::IoError> finish();

private:
    std::expected<void, base::IoError> line(std::string_view text);

    std::unique_ptr<char[]> buffer_;
    std::size_t capacity_;
    std::size_t pending_ = 0;  // bytes of the line in progress, at the buffer's start
    std::uint64_t total_ = 0;
    std::uint64_t expected_bytes_ = 0;  // none once the room is made
    std::uint64_t line_number_ = 0;
    bool header_taken_ = false;
    std::vector<instrument::Sample> samples_;
};

// Trims `field` and reads it as a decimal floating-point number (optional
// sign, fraction and exponent; "inf", "infinity" and "nan" in any case).
// On failure the message "invalid {column} number `{trimmed}`".
std::expected<double, std::string> parse_number(std::string_view field, std::string_view column);

// "invalid scan CSV at line 7: {message}", or "invalid scan CSV: {message}"
// without a line, as an invalid-data I/O error.
base::IoError scan_csv_error(std::optional<std::uint64_t> line, std::string_view message);

}  // namespace vorlix::scan_csv
