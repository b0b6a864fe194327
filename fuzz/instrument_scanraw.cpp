// Arbitrary bytes as a scanraw frame, decoded directly and read off an
// in-memory shell stream whose reads are cut at input-chosen sizes.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>

#include "instrument/scanraw.hpp"
#include "instrument/shell.hpp"

namespace {

using namespace vorlix::instrument;

class MemoryStream final : public ByteStream {
public:
    MemoryStream(std::span<const std::uint8_t> data, std::size_t max_read)
        : data_(data), max_read_(max_read) {}

    std::expected<std::size_t, vorlix::base::IoError> read(std::span<std::uint8_t> buffer) override {
        if (data_.empty()) {
            return std::unexpected(vorlix::base::IoError::custom(vorlix::base::IoErrorKind::TimedOut,
                                                                  "Operation timed out"));
        }
        const std::size_t n = std::min({buffer.size(), data_.size(), max_read_});
        std::memcpy(buffer.data(), data_.data(), n);
        data_ = data_.subspan(n);
        return n;
    }
    std::expected<std::size_t, vorlix::base::IoError> write_some(std::span<const std::uint8_t> bytes) override {
        return bytes.size();
    }
    std::expected<void, vorlix::base::IoError> flush() override { return {}; }

private:
    std::span<const std::uint8_t> data_;
    std::size_t max_read_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 6) {
        return 0;
    }
    // Header: points, zero offset, axis and read size; the rest is the reply.
    // The shift reaches starts near 2^64, where the firmware axis leaves the
    // double-exact range and the span may wrap into an invalid request.
    const std::uint64_t start = (static_cast<std::uint64_t>(data[0]) * 1000003) << (data[2] >> 2);
    const ScanRequest request{start, start + data[1] * 7919ull, static_cast<std::uint64_t>(data[2] % 64), 1};
    const std::uint16_t zero_offset = static_cast<std::uint16_t>(data[3] | ((data[4] & 0x0f) << 8));
    const FrequencyAxis axis = (data[5] & 1) ? FrequencyAxis::Firmware : FrequencyAxis::Inclusive;
    const std::size_t max_read = 1 + (data[5] >> 1);
    const std::span<const std::uint8_t> body(data + 6, size - 6);

    auto decoded = decode_scanraw(body, request, zero_offset, axis);
    if (decoded && decoded->size() != request.points) {
        std::abort();
    }

    ShellConnection shell(std::make_unique<MemoryStream>(body, max_read), 256,
                          [](std::chrono::milliseconds) {});
    auto read = read_scanraw_frame(shell, request, zero_offset, axis, [&](std::uint64_t r, std::uint64_t n) {
        if (r > n || scanraw_progress_percent(r, n) > 95) {
            std::abort();
        }
    });
    if (read) {
        for (std::size_t i = 1; i < read->size(); ++i) {
            if ((*read)[i].frequency_mhz < (*read)[i - 1].frequency_mhz) {
                std::abort();
            }
        }
    }
    return 0;
}
