// Any bytes as a viewer file, or as one field: the reader must never crash,
// the bytes cut into pieces anywhere must give what the whole gives,
// whatever it accepts must be a usable sweep, and that sweep saved by the
// scan writer (with or without its header, as the first byte chooses) must
// read back as the very same samples.

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include "scan_csv/pieces.hpp"
#include "scan_csv/reader.hpp"
#include "scan_csv/writer.hpp"

namespace {

// One scratch folder per process, in memory where the machine has it, and
// gone when the process ends.
class ScratchDirectory {
public:
    ScratchDirectory() {
        std::error_code ec;
        const std::filesystem::path base = std::filesystem::is_directory("/dev/shm", ec)
                                               ? std::filesystem::path("/dev/shm")
                                               : std::filesystem::temp_directory_path();
        path_ = (base / "vorlix-fuzz-csv-XXXXXX").string();
        if (::mkdtemp(path_.data()) == nullptr) std::abort();
    }
    ~ScratchDirectory() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

const std::string& scratch_directory() {
    static const ScratchDirectory directory;
    return directory.path();
}

void round_trip(const std::vector<vorlix::instrument::Sample>& samples, bool header) {
    vorlix::config::OutputConfig output;
    output.directory = scratch_directory();
    output.include_header = header;
    auto path = vorlix::scan_csv::write_scan_csv(samples, output);
    if (!path) {
        std::fprintf(stderr, "csv: accepted samples failed to save: %s\n", path.error().display().c_str());
        std::abort();
    }
    auto again = vorlix::scan_csv::read_scan_csv(*path);
    std::filesystem::remove(*path);
    if (!again) {
        std::fprintf(stderr, "csv: saved file failed to read: %s\n", again.error().display().c_str());
        std::abort();
    }
    // Bit for bit: the sign of a zero must survive as well.
    const auto same = [](double a, double b) {
        return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
    };
    bool equal = again->size() == samples.size();
    for (std::size_t i = 0; equal && i < samples.size(); ++i) {
        equal = same((*again)[i].frequency_mhz, samples[i].frequency_mhz) &&
                same((*again)[i].level_dbm, samples[i].level_dbm);
    }
    if (!equal) {
        std::fprintf(stderr, "csv: saved file reads back different samples\n");
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    // A single field of any bytes, as the line checks never hand it over.
    if (auto number = vorlix::scan_csv::parse_number(text, "level"); !number) {
        if (!number.error().starts_with("invalid level number `")) __builtin_trap();
    }
    auto samples = vorlix::test::parse_whole(text);
    // Where the pieces are cut and how much room the parser starts with
    // come from the last bytes, so the fuzzer steers them too.
    const std::size_t cut = size >= 2 ? (data[size - 1] | std::size_t{data[size - 2]} << 8) % (size + 1) : 0;
    const std::size_t room = size >= 3 ? 1 + data[size - 3] % 64 : 1;
    const auto cut_up = vorlix::test::parse_cut(text, {cut}, room + 1, room);
    if (cut_up != samples) __builtin_trap();
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
    round_trip(*samples, size > 0 && (data[0] & 1));
    return 0;
}
