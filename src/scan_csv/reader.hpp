#pragma once
// Reading a stored scan back for the viewer. Any CSV scan file is checked
// line by line: two numeric columns, finite values, nondecreasing
// frequencies, at least one sample. The first problem ends the read, and
// its text names the physical line (blank lines and the header count too)
// so the user can find it in an editor.

#include <cstdint>
#include <expected>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/io_error.hpp"
#include "instrument/types.hpp"
#include "scan_csv/header.hpp"

namespace vorlix::scan_csv {

// Reads and checks the file at `path`. Open and read failures come back
// with the operating system's text; format problems as invalid-data errors
// built by scan_csv_error.
std::expected<std::vector<instrument::Sample>, base::IoError> read_scan_csv(
    const std::filesystem::path& path);

// The same checks over text already in memory (a whole file's bytes).
std::expected<std::vector<instrument::Sample>, base::IoError> parse_scan_csv(std::string_view text);

// Trims `field` and reads it as a decimal floating-point number (optional
// sign, fraction and exponent; "inf", "infinity" and "nan" in any case).
// On failure the message "invalid {column} number `{trimmed}`".
std::expected<double, std::string> parse_number(std::string_view field, std::string_view column);

// "invalid scan CSV at line 7: {message}", or "invalid scan CSV: {message}"
// without a line, as an invalid-data I/O error.
base::IoError scan_csv_error(std::optional<std::uint64_t> line, std::string_view message);

}  // namespace vorlix::scan_csv
