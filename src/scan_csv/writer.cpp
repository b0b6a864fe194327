#include "scan_csv/writer.hpp"

#include <charconv>
#include <cstring>
#include <ctime>

#include <fmt/format.h>

#include "base/new_file.hpp"
#include "scan_csv/rows.hpp"

namespace vorlix::scan_csv {

namespace {

base::ScratchNumbers scan_scratch_numbers{0};

base::IoError no_free_name() {
    return base::IoError::custom(base::IoErrorKind::AlreadyExists,
                                 "could not allocate a unique scan filename");
}

std::filesystem::path scan_name(const config::OutputConfig& output, std::string_view stamp, unsigned n) {
    return std::filesystem::path(output.directory) /
           fmt::format("{}_{}_{}.csv", output.filename_prefix, stamp, n);
}

}  // namespace

std::string format_scan_timestamp(std::chrono::system_clock::time_point when) {
    using namespace std::chrono;
    const auto micros = duration_cast<microseconds>(when.time_since_epoch()).count();
    // Floor division so that a time before the epoch still gets 0..999999.
    auto seconds = micros / 1'000'000;
    auto fraction = micros % 1'000'000;
    if (fraction < 0) {
        fraction += 1'000'000;
        seconds -= 1;
    }
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm local{};
    ::localtime_r(&t, &local);
    char date[32];
    const std::size_t len = std::strftime(date, sizeof date, "%Y%m%d %H_%M_%S", &local);
    return fmt::format("{}_{:06}", std::string_view(date, len), fraction);
}

namespace {

std::expected<void, base::IoError> create_directory(const config::OutputConfig& output) {
    std::error_code ec;
    std::filesystem::create_directories(output.directory, ec);
    if (ec) return std::unexpected(base::IoError::from_errno(ec.value()));
    return {};
}

std::expected<void, base::IoError> write_samples(base::NewFile& file,
                                                 std::span<const instrument::Sample> samples,
                                                 bool include_header) {
    if (include_header) {
        static const std::string header_line = std::string(CSV_HEADER) + "\n";
        if (auto ok = file.write(header_line); !ok) return ok;
    }
    auto written = write_rows(samples, [&file](std::string_view text) { return file.write(text); });
    if (!written) return written;
    return file.sync();
}

// "YYYYmmdd HH_MM_SS_ffffff", as format_scan_timestamp writes it.
bool is_stamp(std::string_view text) {
    constexpr std::string_view shape = "dddddddd dd_dd_dd_dddddd";
    if (text.size() != shape.size()) return false;
    for (std::size_t i = 0; i < shape.size(); ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        if (shape[i] == 'd' ? !digit : text[i] != shape[i]) return false;
    }
    return true;
}

// Scratch files are named after the scan: ".{prefix}_{stamp}.{pid}.{n}.tmp".
bool is_scan_stem(std::string_view stem) {
    constexpr std::size_t stamp_size = 24;
    return stem.size() > stamp_size && stem[stem.size() - stamp_size - 1] == '_' &&
           is_stamp(stem.substr(stem.size() - stamp_size));
}

// The samples take their scan name only once they are complete and on
// disk: a process ended or a power cut during the write must not leave a
// shortened scan that looks whole. Scratch files that killed saves left
// here are cleared first, so they never pile up.
std::expected<std::filesystem::path, base::IoError> write_into_directory(
    std::span<const instrument::Sample> samples, const config::OutputConfig& output, std::string_view stamp) {
    const std::filesystem::path directory(output.directory);
    base::remove_dead_scratch(directory, is_scan_stem);
    auto file = base::NewFile::create({directory, fmt::format("{}_{}", output.filename_prefix, stamp),
                                       std::string(no_free_name().display()), &scan_scratch_numbers});
    if (!file) return std::unexpected(std::move(file.error()));
    if (auto ok = write_samples(*file, samples, output.include_header); !ok) {
        return std::unexpected(ok.error());
    }
    return file->publish_new([&](unsigned n) { return scan_name(output, stamp, n); }, MAX_NAME_ATTEMPTS,
                             no_free_name());
}

}  // namespace

std::expected<std::filesystem::path, base::IoError> write_scan_csv(
    std::span<const instrument::Sample> samples, const config::OutputConfig& output) {
    if (auto ok = create_directory(output); !ok) return std::unexpected(ok.error());
    // One stamp for every attempt of this save.
    return write_into_directory(samples, output, format_scan_timestamp(std::chrono::system_clock::now()));
}

}  // namespace vorlix::scan_csv
