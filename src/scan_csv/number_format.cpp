#include "scan_csv/number_format.hpp"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace vorlix::scan_csv {

namespace {

// A scan's numbers are whole hertz in megahertz and levels in steps of
// 1/32 dB: decimals with at most six fraction digits. The general search
// for the shortest digits is several times slower than printing such a
// decimal as an integer count of millionths, so that is tried first.
//
// Why the millionths are then the exact answer: when the value is the
// double nearest to n / 10^6, the decimal n / 10^6 reads back as it. Below
// 2^32 two neighbouring doubles lie less than 10^-6 apart, so no other
// decimal with six fraction digits or fewer reads back as the same value,
// and every other one that does has more fraction digits, and at most one
// integer digit fewer, so it is longer. The value's decimal is thus the one
// shortest form, and the general search would print the same digits.
constexpr double MICROS = 1e6;
constexpr double FAST_LIMIT = 4294967296.0;  // 2^32
constexpr std::uint64_t MICROS_PER_UNIT = 1'000'000;

constexpr char DIGIT_PAIRS[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

char* put_pair(char* out, unsigned pair) {
    std::memcpy(out, DIGIT_PAIRS + 2 * pair, 2);
    return out + 2;
}

// "whole.fraction" of a count of millionths, the fraction without its
// trailing zeros and left out when it is zero.
char* put_micros(char* out, std::uint64_t micros) {
    const auto fraction = static_cast<unsigned>(micros % MICROS_PER_UNIT);
    out = std::to_chars(out, out + MAX_NUMBER_CHARS, micros / MICROS_PER_UNIT).ptr;
    if (fraction == 0) return out;
    *out++ = '.';
    char* end = put_pair(out, fraction / 10000);
    end = put_pair(end, fraction / 100 % 100);
    end = put_pair(end, fraction % 100);
    while (end[-1] == '0') --end;
    return end;
}

}  // namespace

char* format_number_general(char* out, double value) {
    // Plain notation with no precision gives the shortest round-trip digits.
    return std::to_chars(out, out + MAX_NUMBER_CHARS, value, std::chars_format::fixed).ptr;
}

char* format_number_millionths(char* out, double value) {
    const double magnitude = std::fabs(value);
    // Also keeps NaN and the infinities out.
    if (!(magnitude < FAST_LIMIT)) return nullptr;
    const auto micros = static_cast<std::uint64_t>(magnitude * MICROS + 0.5);
    // Whatever the rounding of the product, only this comparison decides
    // that the millionths are the value's decimal.
    if (static_cast<double>(micros) / MICROS != magnitude) return nullptr;
    if (std::signbit(value)) *out++ = '-';
    return put_micros(out, micros);
}

char* format_number(char* out, double value) {
    if (char* end = format_number_millionths(out, value)) return end;
    return format_number_general(out, value);
}

std::string format_number(double value) {
    char text[MAX_NUMBER_CHARS];
    return std::string(text, format_number(text, value));
}

}  // namespace vorlix::scan_csv
