#pragma once
// The number form of the scan files: the shortest text that reads back as
// the same double, never in exponent form and without a fraction for whole
// values ("240", "-87.46875", "0.5").

#include <cstddef>
#include <string>

namespace vorlix::scan_csv {

// Every formatter below returns the end of the text written into `out`,
// which must hold MAX_NUMBER_CHARS bytes.
inline constexpr std::size_t MAX_NUMBER_CHARS = 400;

char* format_number(char* out, double value);
std::string format_number(double value);

// The two routes format_number takes. The first covers the values nearest
// to a decimal with at most six fraction digits and magnitude below 2^32,
// and returns nullptr, having written nothing, for any other value; the
// second is the general shortest-digits search.
char* format_number_millionths(char* out, double value);
char* format_number_general(char* out, double value);

}  // namespace vorlix::scan_csv
