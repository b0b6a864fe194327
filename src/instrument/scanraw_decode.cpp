// Frame check and record decoding. The frequency of a record is a pure
// function of its index, so the per-frame constants are computed once and
// the loop does only conversions and one division per point.

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

double level_dbm(std::uint8_t low, std::uint8_t high, double zero_offset) {
    const unsigned raw = static_cast<unsigned>(low) | (static_cast<unsigned>(high) << 8);
    return static_cast<double>(raw) * DBM_PER_RAW - zero_offset;
}

std::expected<void, RawScanError> check_request(const ScanRequest& request, std::uint16_t zero_offset) {
    if (auto checked = validate_request(request); !checked) {
        return std::unexpected(RawScanError::InvalidRequest{std::move(checked.error())});
    }
    if (zero_offset > max_zero_offset) {
        return std::unexpected(RawScanError::InvalidRequest{"zero offset must be 0..=2047"});
    }
    return {};
}

}  // namespace

std::expected<std::size_t, std::string> expected_scanraw_len(const ScanRequest& request) {
    if (auto checked = validate_request(request); !checked) {
        return std::unexpected(std::move(checked.error()));
    }
    return static_cast<std::size_t>(request.points) * scanraw_record_len + 2;
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
    if (record[0] != scanraw_alignment) {
        return std::unexpected(RawScanError::Alignment{index, record[0]});
    }
    // Guards the divisions below when called on its own with a bad request.
    if (auto checked = validate_request(request); !checked) {
        return std::unexpected(RawScanError::InvalidRequest{std::move(checked.error())});
    }
    const FrequencyMap map(request, axis);
    return Sample{map.mhz(index), level_dbm(record[1], record[2], zero_offset)};
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
    const std::size_t expected = static_cast<std::size_t>(request.points) * scanraw_record_len + 2;
    if (frame.empty() || frame.front() != scanraw_start) {
        return std::unexpected(RawScanError::MissingStart{});
    }
    if (frame.size() != expected) {
        return std::unexpected(RawScanError::Length{expected, frame.size()});
    }
    if (frame.back() != scanraw_end) {
        return std::unexpected(RawScanError::MissingEnd{});
    }

    const std::size_t points = static_cast<std::size_t>(request.points);
    const std::uint8_t* record = frame.data() + 1;
    // Alignment first: a bad frame costs no sample work, and the loop below
    // stays free of early exits.
    for (std::size_t i = 0; i < points; ++i) {
        if (record[i * scanraw_record_len] != scanraw_alignment) {
            return std::unexpected(RawScanError::Alignment{i, record[i * scanraw_record_len]});
        }
    }

    const FrequencyMap map(request, axis);
    const double offset = static_cast<double>(zero_offset);
    // Reused storage keeps its capacity: no allocation and no zero fill.
    samples.clear();
    samples.reserve(points);
    // Indices stay below 2^31 (the request check caps points), so they
    // convert as signed values, a single instruction where unsigned is not.
    const auto points_signed = static_cast<std::int32_t>(points);
    if (map.firmware() && map.fast_path_exact(points)) {
        for (std::int32_t i = 0; i < points_signed; ++i, record += scanraw_record_len) {
            samples.push_back(Sample{map.firmware_mhz_fast(i), level_dbm(record[1], record[2], offset)});
        }
    } else if (map.firmware()) {
        for (std::size_t i = 0; i < points; ++i, record += scanraw_record_len) {
            samples.push_back(Sample{map.mhz(i), level_dbm(record[1], record[2], offset)});
        }
    } else {
        for (std::int32_t i = 0; i < points_signed; ++i, record += scanraw_record_len) {
            samples.push_back(
                Sample{map.inclusive_mhz(static_cast<double>(i)), level_dbm(record[1], record[2], offset)});
        }
    }
    return {};
}

}  // namespace vorlix::instrument
