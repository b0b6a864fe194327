#pragma once
// The header line of a scan file, without its line end: the writer puts it
// first when asked to, and the reader skips it as the first row.

#include <string_view>

namespace vorlix::scan_csv {

inline constexpr std::string_view CSV_HEADER = "frequency_MHz,level_dBm";

}  // namespace vorlix::scan_csv
