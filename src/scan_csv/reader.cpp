#include "scan_csv/reader.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "base/file_io.hpp"
#include "base/text.hpp"

namespace vorlix::scan_csv {
namespace {

using instrument::Sample;

bool is_ascii(std::string_view text) {
    // Eight bytes at a time: scan files are plain ASCII, so this is the only
    // check most lines ever get.
    std::size_t i = 0;
    for (; i + 8 <= text.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, text.data() + i, 8);
        if (word & 0x8080808080808080ULL) return false;
    }
    for (; i < text.size(); ++i) {
        if (static_cast<unsigned char>(text[i]) & 0x80) return false;
    }
    return true;
}

bool equals_lower(std::string_view text, std::string_view lower) {
    return text.size() == lower.size() &&
           std::equal(text.begin(), text.end(), lower.begin(),
                      [](char a, char b) { return (a >= 'A' && a <= 'Z' ? char(a - 'A' + 'a') : a) == b; });
}

// For a decimal text that overflowed or underflowed: whether its magnitude
// is above one (overflow) rather than below (underflow). Out-of-range
// values are hundreds of decades away from one, so a rough exponent is
// enough.
bool magnitude_above_one(std::string_view body) {
    std::size_t exp_at = body.find_first_of("eE");
    std::string_view mantissa = body.substr(0, exp_at);
    std::size_t point = mantissa.find('.');
    std::string_view whole = mantissa.substr(0, point);
    std::string_view fraction = point == std::string_view::npos ? "" : mantissa.substr(point + 1);
    std::int64_t decade;
    std::size_t first = whole.find_first_not_of('0');
    if (first != std::string_view::npos) {
        decade = static_cast<std::int64_t>(whole.size() - first) - 1;
    } else {
        std::size_t nonzero = fraction.find_first_not_of('0');
        decade = nonzero == std::string_view::npos ? 0 : -static_cast<std::int64_t>(nonzero) - 1;
    }
    std::int64_t exponent = 0;
    if (exp_at != std::string_view::npos) {
        std::string_view digits = body.substr(exp_at + 1);
        bool negative = !digits.empty() && digits[0] == '-';
        if (!digits.empty() && (digits[0] == '-' || digits[0] == '+')) digits.remove_prefix(1);
        for (char d : digits) exponent = std::min<std::int64_t>(exponent * 10 + (d - '0'), 1'000'000'000);
        if (negative) exponent = -exponent;
    }
    return decade + exponent >= 0;
}

std::optional<double> parse_decimal(std::string_view text) {
    bool negative = false;
    std::string_view body = text;
    if (!body.empty() && (body[0] == '+' || body[0] == '-')) {
        negative = body[0] == '-';
        body.remove_prefix(1);
    }
    if (body.empty()) return std::nullopt;
    double value;
    char first = body[0];
    if ((first >= '0' && first <= '9') || first == '.') {
        auto [ptr, ec] =
            std::from_chars(body.data(), body.data() + body.size(), value, std::chars_format::general);
        if (ptr != body.data() + body.size()) return std::nullopt;
        if (ec == std::errc::result_out_of_range) {
            value = magnitude_above_one(body) ? std::numeric_limits<double>::infinity() : 0.0;
        } else if (ec != std::errc()) {
            return std::nullopt;
        }
    } else if (equals_lower(body, "inf") || equals_lower(body, "infinity")) {
        value = std::numeric_limits<double>::infinity();
    } else if (equals_lower(body, "nan")) {
        value = std::numeric_limits<double>::quiet_NaN();
    } else {
        return std::nullopt;
    }
    return negative ? -value : value;
}

}  // namespace

base::IoError scan_csv_error(std::optional<std::uint64_t> line, std::string_view message) {
    std::string text = "invalid scan CSV";
    if (line) text += " at line " + std::to_string(*line);
    text += ": ";
    text += message;
    return base::IoError::custom(base::IoErrorKind::InvalidData, std::move(text));
}

std::expected<double, std::string> parse_number(std::string_view field, std::string_view column) {
    std::string_view trimmed = base::trim_unicode_whitespace(field);
    if (auto value = parse_decimal(trimmed)) return *value;
    std::string message = "invalid ";
    message += column;
    message += " number `";
    message += trimmed;
    message += '`';
    return std::unexpected(std::move(message));
}

std::expected<std::vector<Sample>, base::IoError> parse_scan_csv(std::string_view text) {
    std::vector<Sample> samples;
    samples.reserve(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1);
    bool header_taken = false;
    std::uint64_t line_number = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t eol = text.find('\n', pos);
        std::string_view line;
        if (eol == std::string_view::npos) {
            line = text.substr(pos);
            pos = text.size();
        } else {
            line = text.substr(pos, eol - pos);
            pos = eol + 1;
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        }
        ++line_number;
        if (!is_ascii(line) && !base::is_valid_utf8(line)) {
            return std::unexpected(
                base::IoError::custom(base::IoErrorKind::InvalidData, "stream did not contain valid UTF-8"));
        }
        std::string_view row = base::trim_unicode_whitespace(line);
        if (row.empty()) continue;
        if (samples.empty() && !header_taken && row == CSV_HEADER) {
            header_taken = true;
            continue;
        }
        std::size_t comma = row.find(',');
        if (comma == std::string_view::npos || row.find(',', comma + 1) != std::string_view::npos) {
            return std::unexpected(scan_csv_error(line_number, "expected exactly two columns"));
        }
        auto frequency = parse_number(row.substr(0, comma), "frequency");
        if (!frequency) return std::unexpected(scan_csv_error(line_number, frequency.error()));
        auto level = parse_number(row.substr(comma + 1), "level");
        if (!level) return std::unexpected(scan_csv_error(line_number, level.error()));
        if (!std::isfinite(*frequency) || !std::isfinite(*level)) {
            return std::unexpected(scan_csv_error(line_number, "values must be finite"));
        }
        if (!samples.empty() && samples.back().frequency_mhz > *frequency) {
            return std::unexpected(scan_csv_error(line_number, "frequencies must be in nondecreasing order"));
        }
        samples.push_back(Sample{*frequency, *level});
    }
    if (samples.empty()) return std::unexpected(scan_csv_error(std::nullopt, "file contains no samples"));
    return samples;
}

std::expected<std::vector<Sample>, base::IoError> read_scan_csv(const std::filesystem::path& path) {
    auto bytes = base::read_whole_file(path);
    if (!bytes) return std::unexpected(std::move(bytes.error()));
    return parse_scan_csv(*bytes);
}

}  // namespace vorlix::scan_csv
