// Frame check and record decoding. The frequency of a record is a pure
// function of its index, so the per-frame constants are computed once and
// the loops do only conversions and arithmetic, in vectors.

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "base/cpu_features.hpp"
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

// A divisor fixed for the frame, with its reciprocal rounded to nearest.
class Divisor {
public:
    constexpr explicit Divisor(double divisor) : divisor_(divisor), reciprocal_(1.0 / divisor) {}

    constexpr double divisor() const { return divisor_; }
    constexpr double reciprocal() const { return reciprocal_; }

private:
    double divisor_;
    double reciprocal_;
};

constexpr Divisor MHZ_DIVISOR{HZ_PER_MHZ};

// The quotient as a plain division.
struct Divide {
    static double quotient(double x, const Divisor& y) { return x / y.divisor(); }
};

// The same quotient, bit for bit, from the reciprocal R = RN(1/y) and two
// fused multiply-adds, which a vector unit issues far more often than
// divisions. Called only where fused multiply-add is an instruction (the wide
// clone below); elsewhere the library call would be correct but slow.
//
// Why it is exact, for x zero or of magnitude within 2^-900..2^900 and an
// integer divisor y from 1 to below 2^31, with u = ulp(x/y):
// - x/y is never a rounding midpoint: a midpoint's odd significand has 54
//   bits, so y times it would have at least 54, more than x has. x and y*m
//   for a midpoint m are distinct multiples of u/4, so x/y lies at least
//   u/(4y) > u/2^33 from every midpoint.
// - q0 = RN(x*R) is within 2u of x/y, so r = x - q0*y is a multiple of u/2
//   below 2^33 of them: fma(-q0, y, x) gives it exactly.
// - x/y = q0 + r/y, and q0 + r*R differs from it by |r| |R - 1/y|
//   <= 2uy * 2^-53/y = u/2^52, far less than the distance to a midpoint.
// So the one rounding of q0 + r*R lands where x/y rounds: on RN(x/y). Zero
// gives positive zero, as the division does.
struct FusedDivide {
    [[gnu::always_inline]] static double quotient(double x, const Divisor& y) {
        const double q0 = x * y.reciprocal();
        const double remainder = std::fma(-q0, y.divisor(), x);
        return std::fma(remainder, y.reciprocal(), q0);
    }
};

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
          last_index_(static_cast<double>(request.points - 1)),
          start_f64_(static_cast<double>(request.start_hz)) {}

    bool firmware() const { return firmware_; }

    // Any index, with the saturating conversion the firmware implies.
    template <class Division = Divide>
    double mhz(std::size_t index, Division division = {}) const {
        if (firmware_) {
            const float product = static_cast<float>(index) * step_f32_;
            const std::uint64_t hz = start_hz_ + truncate_saturating(product);
            return division.quotient(static_cast<double>(hz), MHZ_DIVISOR);
        }
        return inclusive_mhz(static_cast<double>(index), division);
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
    template <class Division = Divide>
    double firmware_mhz_fast(std::int32_t index, Division division = {}) const {
        const float product = static_cast<float>(index) * step_f32_;
        return division.quotient(start_f64_ + static_cast<double>(product), MHZ_DIVISOR);
    }

    template <class Division = Divide>
    double inclusive_mhz(double index, Division division = {}) const {
        const double hz = division.quotient(span_f64_ * index, last_index_) + start_f64_;
        return division.quotient(hz, MHZ_DIVISOR);
    }

private:
    bool firmware_;
    std::uint64_t start_hz_;
    float step_f32_;
    double span_f64_;
    Divisor last_index_;
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

// Points per block: its samples stay in L1 until they are appended, so the
// sweep's storage is written once, and never zero-filled first. Not a power
// of two: a 4 KiB block would keep every copy's loads at the page offsets of
// the stores just before them, which the processor takes as a dependency.
constexpr std::int32_t BLOCK_POINTS = 200;

// One block into `out`, in three loops simple enough to vectorise: the
// frequencies, the alignment bytes and raw levels, and the samples; false
// when any of its alignment bytes is wrong.
template <class Division, class Mhz>
[[gnu::always_inline]] inline bool decode_block(const std::uint8_t* record, std::int32_t first,
                                                std::int32_t count, double offset, const Mhz& mhz,
                                                Sample* out) {
    double frequencies[BLOCK_POINTS];
    for (std::int32_t j = 0; j < count; ++j) {
        frequencies[j] = mhz(first + j, Division{});
    }
    std::int32_t raws[BLOCK_POINTS];
    unsigned misaligned = 0;
    for (std::int32_t j = 0; j < count; ++j) {
        misaligned |= static_cast<unsigned>(record[3 * j] ^ SCANRAW_ALIGNMENT);
        raws[j] = raw_level(record[3 * j + 1], record[3 * j + 2]);
    }
    for (std::int32_t j = 0; j < count; ++j) {
        out[j] = Sample{frequencies[j], level_dbm(raws[j], offset)};
    }
    return misaligned == 0;
}

#if defined(__x86_64__)
// The same with vectors twice as wide and the divisions done by fused
// multiply-adds, for processors that have both. Every other operation is the
// same correctly rounded one as in the portable loops, and the file is built
// without contraction, so no other a * b + c becomes a fused one: the results
// are the same bits.
template <class Mhz>
[[gnu::target("avx2,fma")]] bool decode_block_wide(const std::uint8_t* record, std::int32_t first,
                                                   std::int32_t count, double offset, const Mhz& mhz,
                                                   Sample* out) {
    return decode_block<FusedDivide>(record, first, count, offset, mhz, out);
}

bool wide_vectors() { return base::has_avx2_fma(); }

[[gnu::target("avx2,fma")]] void wide_quotients(const double* dividends, std::size_t count,
                                                const Divisor& divisor, double* quotients) {
    for (std::size_t i = 0; i < count; ++i) {
        quotients[i] = FusedDivide::quotient(dividends[i], divisor);
    }
}
#endif

// The whole sweep, block by block. Indices stay below 2^31 (the request check
// caps points), so they convert as signed values, a single instruction where
// unsigned is not. A bad block is searched for its first bad record, which is
// the first of the frame since every block before it was sound.
// A buffer that already holds as many samples is written in place; any other
// is refilled by appending, since a vector cannot grow without initialising.
template <class Mhz>
std::expected<void, RawScanError> decode_blocks(const std::uint8_t* records, std::int32_t points,
                                                double offset, std::vector<Sample>& samples, const Mhz& mhz) {
    const bool in_place = samples.size() == static_cast<std::size_t>(points);
    if (!in_place) {
        samples.clear();
        samples.reserve(static_cast<std::size_t>(points));
    }
    Sample block[BLOCK_POINTS];
    auto* decode = &decode_block<Divide, Mhz>;
#if defined(__x86_64__)
    if (wide_vectors()) {
        decode = &decode_block_wide<Mhz>;
    }
#endif
    for (std::int32_t first = 0; first < points; first += BLOCK_POINTS) {
        const std::int32_t count = std::min(BLOCK_POINTS, points - first);
        const std::uint8_t* record = records + static_cast<std::size_t>(first) * SCANRAW_RECORD_LEN;
        Sample* out = in_place ? samples.data() + first : block;
        if (!decode(record, first, count, offset, mhz, out)) {
            for (std::int32_t j = 0;; ++j, record += SCANRAW_RECORD_LEN) {
                if (record[0] != SCANRAW_ALIGNMENT) {
                    return std::unexpected(
                        RawScanError::Alignment{static_cast<std::size_t>(first + j), record[0]});
                }
            }
        }
        if (!in_place) {
            samples.insert(samples.end(), block, block + count);
        }
    }
    return {};
}

}  // namespace

bool scanraw_wide_quotients([[maybe_unused]] std::span<const double> dividends,
                            [[maybe_unused]] double divisor, [[maybe_unused]] std::span<double> quotients) {
#if defined(__x86_64__)
    if (wide_vectors() && quotients.size() >= dividends.size()) {
        wide_quotients(dividends.data(), dividends.size(), Divisor(divisor), quotients.data());
        return true;
    }
#endif
    return false;
}

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
        return decode_blocks(records, points, offset, samples, [&map](std::int32_t i, auto division) {
            return map.firmware_mhz_fast(i, division);
        });
    }
    if (map.firmware()) {
        return decode_blocks(records, points, offset, samples, [&map](std::int32_t i, auto division) {
            return map.mhz(static_cast<std::size_t>(i), division);
        });
    }
    return decode_blocks(records, points, offset, samples, [&map](std::int32_t i, auto division) {
        return map.inclusive_mhz(static_cast<double>(i), division);
    });
}

}  // namespace vorlix::instrument
