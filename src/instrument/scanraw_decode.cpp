// Frame check and record decoding. The frequency of a record is a pure
// function of its index, so the per-frame constants are computed once and
// the loop does only conversions and one division per point.

#include <limits>

#include "instrument/profile.hpp"
#include "instrument/scanraw.hpp"

namespace vorlix::instrument {

namespace {

constexpr double hz_per_mhz = 1000000.0;
constexpr double dbm_per_raw = 0.03125;  // the raw level counts 1/32 dB

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

    double mhz(std::size_t index) const {
        if (firmware_) {
            const float product = static_cast<float>(index) * step_f32_;
            const std::uint64_t hz = start_hz_ + truncate_saturating(product);
            return static_cast<double>(hz) / hz_per_mhz;
        }
        const double hz = (span_f64_ * static_cast<double>(index)) / last_index_f64_ + start_f64_;
        return hz / hz_per_mhz;
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
    return static_cast<double>(raw) * dbm_per_raw - zero_offset;
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
    std::vector<Sample> samples;
    samples.reserve(points);
    for (std::size_t i = 0; i < points; ++i, record += scanraw_record_len) {
        samples.push_back(Sample{map.mhz(i), level_dbm(record[1], record[2], offset)});
    }
    return samples;
}

}  // namespace vorlix::instrument
