// Frame check and record decoding. The frequency of a record is a pure
// function of its index, so the per-frame constants are computed once and
// the loop over the records does only conversions and arithmetic, written
// plainly enough for the compiler to vectorise it.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include "instrument/profile.hpp"
#include "instrument/scanraw.hpp"

namespace vorlix::instrument {

namespace {

constexpr double HZ_PER_MHZ = 1000000.0;
constexpr double DBM_PER_RAW = 0.03125;  // the raw level counts 1/32 dB

// The float-to-integer conversion the instrument's own arithmetic implies:
// toward zero, clamped to the unsigned 64-bit range, NaN as 0. A plain cast
// would be undefined outside that range.
std::uint64_t truncate_saturating(float value) {
    if (!(value > 0.0f)) {
        return 0;
    }
    if (value >= 18446744073709551616.0f) {
        return std::numeric_limits<std::uint64_t>::max();
    }
    return static_cast<std::uint64_t>(value);
}

// Record index to frequency for one request and axis.
class FrequencyMap {
public:
    FrequencyMap(const ScanRequest& request, FrequencyAxis axis)
        : firmware_(axis == FrequencyAxis::Firmware),
          start_hz_(request.start_hz),
          // The firmware's step drops the remainder and then lives as a
          // 32-bit float, which is why its upper offsets carry 24 bits only.
          step_f32_(static_cast<float>((request.stop_hz - request.start_hz) / request.points)),
          span_f64_(static_cast<double>(request.stop_hz - request.start_hz)),
          // The request check keeps points at 2 or more, so this is at least 1.
          last_index_f64_(static_cast<double>(request.points - 1)),
          start_f64_(static_cast<double>(request.start_hz)) {}

    bool firmware() const { return firmware_; }

    // Any index, with the saturating conversion the firmware implies.
    double mhz(std::size_t index) const {
        if (firmware_) {
            const float product = static_cast<float>(index) * step_f32_;
            const std::uint64_t hz = start_hz_ + truncate_saturating(product);
            return static_cast<double>(hz) / HZ_PER_MHZ;
        }
        return inclusive_mhz(static_cast<double>(index));
    }

    // Whether every index below `points` maps below 2^53 Hz. There the
    // firmware arithmetic needs no integer step at all: the float product of
    // two integral floats is itself integral, so truncating it changes
    // nothing, and start plus offset is exact in a double. The product grows
    // with the index, so the last index bounds them all.
    bool fast_path_exact(std::uint64_t points) const {
        const float last = static_cast<float>(points - 1) * step_f32_;
        const std::uint64_t max_offset = truncate_saturating(last);
        constexpr std::uint64_t limit = std::uint64_t{1} << 53;
        return max_offset < limit && start_hz_ < limit - max_offset;
    }

    // The firmware axis for an index that `fast_path_exact` covers.
    double firmware_mhz_fast(std::int32_t index) const {
        const float product = static_cast<float>(index) * step_f32_;
        return (start_f64_ + static_cast<double>(product)) / HZ_PER_MHZ;
    }

    double inclusive_mhz(double index) const {
        const double hz = (span_f64_ * index) / last_index_f64_ + start_f64_;
        return hz / HZ_PER_MHZ;
    }

private:
    bool firmware_;
    std::uint64_t start_hz_;
    float step_f32_;
    double span_f64_;
    double last_index_f64_;
    double start_f64_;
};

double level_dbm(std::int32_t raw, double zero_offset) {
    return static_cast<double>(raw) * DBM_PER_RAW - zero_offset;
}

std::int32_t raw_level(std::uint8_t low, std::uint8_t high) { return low | (high << 8); }

std::expected<void, RawScanError> check_request(const ScanRequest& request, std::uint16_t zero_offset) {
    if (auto checked = validate_request(request); !checked) {
        return std::unexpected(RawScanError::InvalidRequest{std::move(checked.error())});
    }
    if (zero_offset > MAX_ZERO_OFFSET) {
        return std::unexpected(RawScanError::InvalidRequest{"zero offset must be 0..=2047"});
    }
    return {};
}

// Points per block. Few enough that the processor takes apart one block's
// record bytes while the divisions of the block before are still under way,
// which is most of the inclusive axis's time; a growing sweep also writes a
// block's zeros and then its samples into lines still in the first-level
// cache.
constexpr std::int32_t BLOCK_POINTS = 32;

// One block into `out`; false when any of its alignment bytes is wrong.
//
// The record bytes are taken apart first, four records a round: the vector
// instructions every processor of the family has cannot deal out bytes three
// apart, so this loop runs on the integer units, and four records a round
// roughly halves its count of instructions. The samples are computed in a second loop, whose inputs are
// a local array and `mhz`'s own copy of the frame's constants, which no store
// to `out` can change: the compiler vectorises it with no checks at run time
// and, for a full block, no scalar remainder.
template <class Mhz>
[[gnu::always_inline]] inline bool decode_block(const std::uint8_t* record, std::int32_t first,
                                                std::int32_t count, double offset, const Mhz mhz,
                                                Sample* out) {
    constexpr unsigned mark = SCANRAW_ALIGNMENT;
    std::int32_t raws[BLOCK_POINTS];
    unsigned misaligned = 0;
    std::int32_t j = 0;
    for (; j + 4 <= count; j += 4) {
        const std::uint8_t* r = record + 3 * j;
        misaligned |= (r[0] ^ mark) | (r[3] ^ mark) | (r[6] ^ mark) | (r[9] ^ mark);
        raws[j] = raw_level(r[1], r[2]);
        raws[j + 1] = raw_level(r[4], r[5]);
        raws[j + 2] = raw_level(r[7], r[8]);
        raws[j + 3] = raw_level(r[10], r[11]);
    }
    for (; j < count; ++j) {
        misaligned |= record[3 * j] ^ mark;
        raws[j] = raw_level(record[3 * j + 1], record[3 * j + 2]);
    }
    for (j = 0; j < count; ++j) {
        out[j] = Sample{mhz(first + j), level_dbm(raws[j], offset)};
    }
    return misaligned == 0;
}

// The whole sweep into `samples`, block by block. Indices stay below 2^31
// (the request check caps points), so they convert as signed values, a
// single instruction where unsigned is not. Samples the buffer already holds
// are overwritten in place; the rest are added a block at a time, since a
// vector cannot grow without initialising. A bad block is searched for its
// first bad record, which is the first of the frame since every block before
// it was sound.
template <class Mhz>
std::expected<void, RawScanError> decode_blocks(const std::uint8_t* records, std::int32_t points,
                                                double offset, std::vector<Sample>& samples, const Mhz mhz) {
    const auto total = static_cast<std::size_t>(points);
    if (samples.size() > total) samples.resize(total);
    samples.reserve(total);
    for (std::int32_t first = 0; first < points; first += BLOCK_POINTS) {
        const std::uint8_t* record = records + static_cast<std::size_t>(first) * SCANRAW_RECORD_LEN;
        const std::int32_t count = std::min(BLOCK_POINTS, points - first);
        const auto end = static_cast<std::size_t>(first + count);
        if (samples.size() < end) samples.resize(end);
        Sample* out = samples.data() + first;
        // A full block has a count the compiler knows.
        const bool sound = count == BLOCK_POINTS ? decode_block(record, first, BLOCK_POINTS, offset, mhz, out)
                                                 : decode_block(record, first, count, offset, mhz, out);
        if (!sound) {
            for (std::int32_t k = 0;; ++k, record += SCANRAW_RECORD_LEN) {
                if (record[0] != SCANRAW_ALIGNMENT) {
                    return std::unexpected(
                        RawScanError::Alignment{static_cast<std::size_t>(first + k), record[0]});
                }
            }
        }
    }
    return {};
}

}  // namespace

std::expected<std::size_t, std::string> expected_scanraw_len(const ScanRequest& request) {
    if (auto checked = validate_request(request); !checked) {
        return std::unexpected(std::move(checked.error()));
    }
    return static_cast<std::size_t>(request.points) * SCANRAW_RECORD_LEN + 2;
}

std::string scanraw_command(const ScanRequest& request) {
    return "scanraw " + std::to_string(request.start_hz) + " " + std::to_string(request.stop_hz) + " " +
           std::to_string(request.points);
}

std::uint64_t scanraw_progress_percent(std::uint64_t received, std::uint64_t total) {
    if (total == 0) {
        return 95;
    }
    return received * 75 / total + 20;
}

std::expected<Sample, RawScanError> decode_scanraw_sample(std::span<const std::uint8_t, 3> record,
                                                          std::size_t index, const ScanRequest& request,
                                                          std::uint16_t zero_offset, FrequencyAxis axis) {
    if (record[0] != SCANRAW_ALIGNMENT) {
        return std::unexpected(RawScanError::Alignment{index, record[0]});
    }
    // Guards the divisions below when called on its own with a bad request.
    if (auto checked = validate_request(request); !checked) {
        return std::unexpected(RawScanError::InvalidRequest{std::move(checked.error())});
    }
    const FrequencyMap map(request, axis);
    return Sample{map.mhz(index), level_dbm(raw_level(record[1], record[2]), zero_offset)};
}

std::expected<std::vector<Sample>, RawScanError> decode_scanraw(std::span<const std::uint8_t> frame,
                                                                const ScanRequest& request,
                                                                std::uint16_t zero_offset,
                                                                FrequencyAxis axis) {
    std::vector<Sample> samples;
    if (auto decoded = decode_scanraw_into(frame, request, zero_offset, axis, samples); !decoded) {
        return std::unexpected(std::move(decoded.error()));
    }
    return samples;
}

std::expected<void, RawScanError> decode_scanraw_into(std::span<const std::uint8_t> frame,
                                                      const ScanRequest& request, std::uint16_t zero_offset,
                                                      FrequencyAxis axis, std::vector<Sample>& samples) {
    if (auto checked = check_request(request, zero_offset); !checked) {
        return std::unexpected(std::move(checked.error()));
    }
    const std::size_t expected = static_cast<std::size_t>(request.points) * SCANRAW_RECORD_LEN + 2;
    if (frame.empty() || frame.front() != SCANRAW_START) {
        return std::unexpected(RawScanError::MissingStart{});
    }
    if (frame.size() != expected) {
        return std::unexpected(RawScanError::Length{expected, frame.size()});
    }
    if (frame.back() != SCANRAW_END) {
        return std::unexpected(RawScanError::MissingEnd{});
    }

    const FrequencyMap map(request, axis);
    const double offset = static_cast<double>(zero_offset);
    const auto points = static_cast<std::int32_t>(request.points);
    const std::uint8_t* records = frame.data() + 1;
    if (map.firmware() && map.fast_path_exact(request.points)) {
        return decode_blocks(records, points, offset, samples,
                             [map](std::int32_t i) { return map.firmware_mhz_fast(i); });
    }
    if (map.firmware()) {
        return decode_blocks(records, points, offset, samples,
                             [map](std::int32_t i) { return map.mhz(static_cast<std::size_t>(i)); });
    }
    return decode_blocks(records, points, offset, samples,
                         [map](std::int32_t i) { return map.inclusive_mhz(static_cast<double>(i)); });
}

}  // namespace vorlix::instrument
