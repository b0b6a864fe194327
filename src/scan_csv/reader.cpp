#include "scan_csv/reader.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>

#include "base/text.hpp"
#include "base/unique_fd.hpp"

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

// Most lines and fields begin and end with a byte that is neither ASCII
// white space nor part of a longer character: nothing to trim, and no call.
std::string_view trim(std::string_view text) {
    const auto plain = [](char c) { return static_cast<unsigned char>(c) - 0x21u < 0x5Fu; };  // '!' to DEL
    if (!text.empty() && plain(text.front()) && plain(text.back())) return text;
    return base::trim_unicode_whitespace(text);
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

base::IoError line_too_long(std::uint64_t line) { return scan_csv_error(line, "line is longer than 1 MiB"); }

base::IoError file_too_large() { return scan_csv_error(std::nullopt, "file is larger than 1 GiB"); }

base::IoError too_many_samples(std::uint64_t line) {
    return scan_csv_error(line, "file holds more than 16777216 samples");
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
    std::string_view trimmed = trim(field);
    if (auto value = parse_decimal(trimmed)) return *value;
    std::string message = "invalid ";
    message += column;
    message += " number `";
    message += trimmed;
    message += '`';
    return std::unexpected(std::move(message));
}

ScanCsvParser::ScanCsvParser(std::size_t piece_bytes)
    : buffer_(std::make_unique_for_overwrite<char[]>(std::max<std::size_t>(piece_bytes, 1))),
      capacity_(std::max<std::size_t>(piece_bytes, 1)) {}

std::span<char> ScanCsvParser::room() {
    if (pending_ == capacity_) {
        // The line in progress fills the buffer: it grows until the line
        // ends or passes its bound.
        const std::size_t capacity = 2 * capacity_;
        auto buffer = std::make_unique_for_overwrite<char[]>(capacity);
        std::memcpy(buffer.get(), buffer_.get(), pending_);
        buffer_ = std::move(buffer);
        capacity_ = capacity;
    }
    return {buffer_.get() + pending_, capacity_ - pending_};
}

std::expected<void, base::IoError> ScanCsvParser::take(std::size_t count) {
    total_ += count;
    if (total_ > MAX_FILE_BYTES) return std::unexpected(file_too_large());
    char* const begin = buffer_.get();
    const char* const end = begin + pending_ + count;
    const char* start = begin;
    // The line in progress holds no line feed: the search starts at the new bytes.
    const char* search = begin + pending_;
    while (const void* found = std::memchr(search, '\n', static_cast<std::size_t>(end - search))) {
        const char* const eol = static_cast<const char*>(found);
        if (auto ok = line({start, eol}); !ok) return ok;
        start = eol + 1;
        search = start;
    }
    pending_ = static_cast<std::size_t>(end - start);
    if (expected_bytes_ != 0 && !samples_.empty()) {
        // An eighth more than the lines so far suggest, and never more
        // than the shortest sample lines ("1,2\n") could give.
        const std::uint64_t seen = total_ - pending_;
        const std::uint64_t guess = expected_bytes_ * samples_.size() / seen;
        samples_.reserve(static_cast<std::size_t>(
            std::min({guess + guess / 8, expected_bytes_ / 4 + 1, std::uint64_t{MAX_SAMPLES}})));
        expected_bytes_ = 0;
    }
    // Whatever follows, the next line is already too long.
    if (pending_ > MAX_LINE_BYTES) return std::unexpected(line_too_long(line_number_ + 1));
    if (start != begin) std::memmove(begin, start, pending_);
    return {};
}

std::expected<std::vector<Sample>, base::IoError> ScanCsvParser::finish() {
    if (pending_ > 0) {
        if (auto ok = line({buffer_.get(), pending_}); !ok) return std::unexpected(std::move(ok.error()));
        pending_ = 0;
    }
    if (samples_.empty()) return std::unexpected(scan_csv_error(std::nullopt, "file contains no samples"));
    return std::move(samples_);
}

// One physical line without its line feed. The carriage return of a CRLF
// end needs no step of its own: it is white space, trimmed with the rest.
std::expected<void, base::IoError> ScanCsvParser::line(std::string_view text) {
    ++line_number_;
    if (text.size() > MAX_LINE_BYTES) return std::unexpected(line_too_long(line_number_));
    if (!is_ascii(text) && !base::is_valid_utf8(text)) {
        return std::unexpected(
            base::IoError::custom(base::IoErrorKind::InvalidData, "stream did not contain valid UTF-8"));
    }
    std::string_view row = trim(text);
    if (row.empty()) return {};
    if (samples_.empty() && !header_taken_ && row == CSV_HEADER) {
        header_taken_ = true;
        return {};
    }
    std::size_t comma = row.find(',');
    if (comma == std::string_view::npos || row.find(',', comma + 1) != std::string_view::npos) {
        return std::unexpected(scan_csv_error(line_number_, "expected exactly two columns"));
    }
    auto frequency = parse_number(row.substr(0, comma), "frequency");
    if (!frequency) return std::unexpected(scan_csv_error(line_number_, frequency.error()));
    auto level = parse_number(row.substr(comma + 1), "level");
    if (!level) return std::unexpected(scan_csv_error(line_number_, level.error()));
    if (!std::isfinite(*frequency) || !std::isfinite(*level)) {
        return std::unexpected(scan_csv_error(line_number_, "values must be finite"));
    }
    if (!samples_.empty() && samples_.back().frequency_mhz > *frequency) {
        return std::unexpected(scan_csv_error(line_number_, "frequencies must be in nondecreasing order"));
    }
    if (samples_.size() == MAX_SAMPLES) return std::unexpected(too_many_samples(line_number_));
    samples_.push_back(Sample{*frequency, *level});
    return {};
}

namespace {

std::expected<std::vector<Sample>, base::IoError> read_from(int fd) {
    // A regular file is read as it stood when it was opened, so one that
    // keeps growing still ends. One that reports no size (as those under
    // /proc do) is read like a stream: up to one byte past the bound.
    std::uint64_t left = MAX_FILE_BYTES + 1;
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
        left = static_cast<std::uint64_t>(info.st_size);
        if (left > MAX_FILE_BYTES) return std::unexpected(file_too_large());
    }
    ScanCsvParser parser(READ_PIECE_BYTES);
    if (left <= MAX_FILE_BYTES) parser.expect_bytes(left);
    while (left > 0) {
        const std::span<char> room = parser.room();
        const ssize_t n =
            ::read(fd, room.data(), static_cast<std::size_t>(std::min<std::uint64_t>(room.size(), left)));
        if (n < 0) {
            if (errno == EINTR) continue;
            return std::unexpected(base::IoError::from_errno(errno));
        }
        if (n == 0) break;
        left -= static_cast<std::uint64_t>(n);
        if (auto ok = parser.take(static_cast<std::size_t>(n)); !ok)
            return std::unexpected(std::move(ok.error()));
    }
    return parser.finish();
}

}  // namespace

std::expected<std::vector<Sample>, base::IoError> read_scan_csv(const std::filesystem::path& path) {
    int opened;
    do {
        opened = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    } while (opened < 0 && errno == EINTR);
    if (opened < 0) return std::unexpected(base::IoError::from_errno(errno));
    const base::UniqueFd fd(opened);
    try {
        return read_from(fd.get());
    } catch (const std::bad_alloc&) {
        // More samples than the memory holds (the byte bound still allows
        // hundreds of millions): an error like any other, not a crash.
        return std::unexpected(base::IoError::from_errno(ENOMEM));
    }
}

}  // namespace vorlix::scan_csv
