// Any bytes as a viewer file, or as one field: the reader must never crash,
// and whatever it accepts must be a usable sweep.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "scan_csv/reader.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    // A single field of any bytes, as the line checks never hand it over.
    if (auto number = vorlix::scan_csv::parse_number(text, "level"); !number) {
        if (!number.error().starts_with("invalid level number `")) __builtin_trap();
    }
    auto samples = vorlix::scan_csv::parse_scan_csv(text);
    if (!samples) {
        if (samples.error().kind() != vorlix::base::IoErrorKind::InvalidData) __builtin_trap();
        return 0;
    }
    if (samples->empty()) __builtin_trap();
    for (std::size_t i = 0; i < samples->size(); ++i) {
        const auto& s = (*samples)[i];
        if (!std::isfinite(s.frequency_mhz) || !std::isfinite(s.level_dbm)) __builtin_trap();
        if (i > 0 && (*samples)[i - 1].frequency_mhz > s.frequency_mhz) __builtin_trap();
    }
    return 0;
}
