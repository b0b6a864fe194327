// Frame check and record decoding. The frequency of a record is a pure
// function of its index, so the per-frame constants are computed once and
// the loops do only conversions and arithmetic, in vectors.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <type_traits>
#include <vector>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

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

    // The constants of the two axes above, for the vector loops.
    auto firmware_fast_wide() const;
    auto inclusive_wide() const;

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

// Points per block: a growing sweep takes a block at a time, whose zeros and
// then samples are written while its lines are in the first-level cache. A
// multiple of the longest vector run, and of the four samples in a cache
// line; at under 2 KiB, the stores that bring in one block's lines still
// overlap the work on the block before.
constexpr std::int32_t BLOCK_POINTS = 112;

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
// The same on vector units, with the divisions done by fused multiply-adds,
// for processors that have both. Every other operation is the same correctly
// rounded one as in the portable loops, and the file is built without
// contraction, so no other a * b + c becomes a fused one: the results are
// the same bits.
//
// Runs of records go straight from their bytes into the samples. The points
// of a run are computed in an order that makes pairing every frequency with
// its level two in-lane unpacks per vector, with nothing moved across lanes.

// g++ 12 warns inside its own 512-bit intrinsics, whose unused lanes start
// undefined on purpose.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

static_assert(std::is_standard_layout_v<Sample> && sizeof(Sample) == 2 * sizeof(double) &&
              offsetof(Sample, level_dbm) == sizeof(double));

// The raw level's two bytes in the low end of a 64-bit lane, under the
// exponent bits of 2^52, make the double 2^52 + raw. Then d/32 - (2^47 +
// offset) is raw/32 - offset, exactly, and so rounded as the two plain
// operations round it.
constexpr std::uint64_t TWO_52_BITS = 0x4330000000000000;
constexpr double TWO_47 = 140737488355328.0;

// x / y, lane by lane, as FusedDivide does it for one.
[[gnu::target("avx2,fma"), gnu::always_inline]] inline __m256d fused_quotients(__m256d x, __m256d y,
                                                                               __m256d reciprocal) {
    const __m256d q0 = _mm256_mul_pd(x, reciprocal);
    const __m256d remainder = _mm256_fnmadd_pd(q0, y, x);
    return _mm256_fmadd_pd(remainder, reciprocal, q0);
}

[[gnu::target("avx2,fma,avx512f,avx512bw,avx512vbmi"), gnu::always_inline]] inline __m512d fused_quotients(
    __m512d x, __m512d y, __m512d reciprocal) {
    const __m512d q0 = _mm512_mul_pd(x, reciprocal);
    const __m512d remainder = _mm512_fnmadd_pd(q0, y, x);
    return _mm512_fmadd_pd(remainder, reciprocal, q0);
}

// The firmware axis of `firmware_mhz_fast` for the indices in `index`, its
// first half into `low`.
struct FirmwareFastWide {
    float step;
    double start;

    [[gnu::target("avx2,fma"), gnu::always_inline]] void operator()(__m256i index, __m256d& low,
                                                                    __m256d& high) const {
        const __m256 product = _mm256_mul_ps(_mm256_cvtepi32_ps(index), _mm256_set1_ps(step));
        const __m256d origin = _mm256_set1_pd(start);
        const __m256d divisor = _mm256_set1_pd(MHZ_DIVISOR.divisor());
        const __m256d reciprocal = _mm256_set1_pd(MHZ_DIVISOR.reciprocal());
        const __m256d hz_low = _mm256_add_pd(origin, _mm256_cvtps_pd(_mm256_castps256_ps128(product)));
        const __m256d hz_high = _mm256_add_pd(origin, _mm256_cvtps_pd(_mm256_extractf128_ps(product, 1)));
        low = fused_quotients(hz_low, divisor, reciprocal);
        high = fused_quotients(hz_high, divisor, reciprocal);
    }

    [[gnu::target("avx2,fma,avx512f,avx512bw,avx512vbmi"), gnu::always_inline]] void operator()(
        __m512i index, __m512d& low, __m512d& high) const {
        const __m512 product = _mm512_mul_ps(_mm512_cvtepi32_ps(index), _mm512_set1_ps(step));
        const __m256 product_high = _mm256_castpd_ps(_mm512_extractf64x4_pd(_mm512_castps_pd(product), 1));
        const __m512d origin = _mm512_set1_pd(start);
        const __m512d divisor = _mm512_set1_pd(MHZ_DIVISOR.divisor());
        const __m512d reciprocal = _mm512_set1_pd(MHZ_DIVISOR.reciprocal());
        const __m512d hz_low = _mm512_add_pd(origin, _mm512_cvtps_pd(_mm512_castps512_ps256(product)));
        const __m512d hz_high = _mm512_add_pd(origin, _mm512_cvtps_pd(product_high));
        low = fused_quotients(hz_low, divisor, reciprocal);
        high = fused_quotients(hz_high, divisor, reciprocal);
    }
};

// The inclusive axis of `inclusive_mhz` for the indices in `index`, its
// first half into `low`.
struct InclusiveWide {
    double span;
    Divisor last_index;
    double start;

    [[gnu::target("avx2,fma"), gnu::always_inline]] __m256d half(__m128i index) const {
        const __m256d scaled = _mm256_mul_pd(_mm256_set1_pd(span), _mm256_cvtepi32_pd(index));
        const __m256d offset_hz = fused_quotients(scaled, _mm256_set1_pd(last_index.divisor()),
                                                  _mm256_set1_pd(last_index.reciprocal()));
        const __m256d hz = _mm256_add_pd(offset_hz, _mm256_set1_pd(start));
        return fused_quotients(hz, _mm256_set1_pd(MHZ_DIVISOR.divisor()),
                               _mm256_set1_pd(MHZ_DIVISOR.reciprocal()));
    }

    [[gnu::target("avx2,fma"), gnu::always_inline]] void operator()(__m256i index, __m256d& low,
                                                                    __m256d& high) const {
        low = half(_mm256_castsi256_si128(index));
        high = half(_mm256_extracti128_si256(index, 1));
    }

    [[gnu::target("avx2,fma,avx512f,avx512bw,avx512vbmi"), gnu::always_inline]] __m512d half(
        __m256i index) const {
        const __m512d scaled = _mm512_mul_pd(_mm512_set1_pd(span), _mm512_cvtepi32_pd(index));
        const __m512d offset_hz = fused_quotients(scaled, _mm512_set1_pd(last_index.divisor()),
                                                  _mm512_set1_pd(last_index.reciprocal()));
        const __m512d hz = _mm512_add_pd(offset_hz, _mm512_set1_pd(start));
        return fused_quotients(hz, _mm512_set1_pd(MHZ_DIVISOR.divisor()),
                               _mm512_set1_pd(MHZ_DIVISOR.reciprocal()));
    }

    [[gnu::target("avx2,fma,avx512f,avx512bw,avx512vbmi"), gnu::always_inline]] void operator()(
        __m512i index, __m512d& low, __m512d& high) const {
        low = half(_mm512_castsi512_si256(index));
        high = half(_mm512_extracti64x4_epi64(index, 1));
    }
};

// `runs` runs of eight records from index `first` into `out`; false when any
// of their alignment bytes is wrong. Each half of a run is computed in the
// point order 0, 2, 1, 3. A run's levels are read as two 16-byte loads, from
// its bytes 0 and 8, so nothing past the run is read.
template <class Axis>
[[gnu::target("avx2,fma")]] bool decode_runs_avx2(const std::uint8_t* record, std::int32_t first,
                                                  std::int32_t runs, double offset, const Axis axis,
                                                  Sample* out) {
    // A run's 24 bytes are three 64-bit words; these are where each word
    // holds alignment bytes, little end first, and what they must be. The
    // check runs on the integer units, which have nothing else to do here.
    constexpr std::uint64_t BYTE = 0xFF;
    constexpr std::uint64_t MARK = SCANRAW_ALIGNMENT;
    constexpr std::uint64_t WHERE[3] = {
        BYTE | BYTE << 24 | BYTE << 48,
        BYTE << 8 | BYTE << 32 | BYTE << 56,
        BYTE << 16 | BYTE << 40,
    };
    constexpr std::uint64_t MARKS[3] = {
        MARK | MARK << 24 | MARK << 48,
        MARK << 8 | MARK << 32 | MARK << 56,
        MARK << 16 | MARK << 40,
    };
    // Each level's two bytes, from both 128-bit lanes holding the same 16
    // bytes of records.
    constexpr char Z = -1;
    const __m256i low_levels = _mm256_setr_epi8(1, 2, Z, Z, Z, Z, Z, Z, 7, 8, Z, Z, Z, Z, Z, Z,  //
                                                4, 5, Z, Z, Z, Z, Z, Z, 10, 11, Z, Z, Z, Z, Z, Z);
    const __m256i high_levels = _mm256_setr_epi8(5, 6, Z, Z, Z, Z, Z, Z, 11, 12, Z, Z, Z, Z, Z, Z,  //
                                                 8, 9, Z, Z, Z, Z, Z, Z, 14, 15, Z, Z, Z, Z, Z, Z);
    const __m256i two_52 = _mm256_set1_epi64x(static_cast<long long>(TWO_52_BITS));
    const __m256d per_raw = _mm256_set1_pd(DBM_PER_RAW);
    const __m256d shift = _mm256_set1_pd(TWO_47 + offset);
    __m256i index = _mm256_add_epi32(_mm256_set1_epi32(first), _mm256_setr_epi32(0, 2, 1, 3, 4, 6, 5, 7));
    const __m256i step = _mm256_set1_epi32(8);
    // Bits that differ from the marks, gathered over every run; only the
    // alignment bytes are looked at once the runs are done.
    std::uint64_t seen[3] = {0, 0, 0};
    double* to = &out->frequency_mhz;
    for (std::int32_t r = 0; r < runs; ++r, record += 8 * SCANRAW_RECORD_LEN, to += 16) {
        for (std::size_t w = 0; w < 3; ++w) {
            std::uint64_t word;
            std::memcpy(&word, record + 8 * w, sizeof word);
            seen[w] |= word ^ MARKS[w];
        }
        const __m256i low_bytes =
            _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(record)));
        const __m256i high_bytes =
            _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(record + 8)));
        const __m256d low_raw =
            _mm256_castsi256_pd(_mm256_or_si256(_mm256_shuffle_epi8(low_bytes, low_levels), two_52));
        const __m256d high_raw =
            _mm256_castsi256_pd(_mm256_or_si256(_mm256_shuffle_epi8(high_bytes, high_levels), two_52));
        const __m256d low_level = _mm256_fmsub_pd(low_raw, per_raw, shift);
        const __m256d high_level = _mm256_fmsub_pd(high_raw, per_raw, shift);
        __m256d low_mhz;
        __m256d high_mhz;
        axis(index, low_mhz, high_mhz);
        index = _mm256_add_epi32(index, step);
        _mm256_storeu_pd(to, _mm256_unpacklo_pd(low_mhz, low_level));
        _mm256_storeu_pd(to + 4, _mm256_unpackhi_pd(low_mhz, low_level));
        _mm256_storeu_pd(to + 8, _mm256_unpacklo_pd(high_mhz, high_level));
        _mm256_storeu_pd(to + 12, _mm256_unpackhi_pd(high_mhz, high_level));
    }
    return ((seen[0] & WHERE[0]) | (seen[1] & WHERE[1]) | (seen[2] & WHERE[2])) == 0;
}

// Byte tables of the 16-record runs below: each level's two bytes into the
// low end of a 64-bit lane, the lanes holding points `order`; and the
// places of the alignment bytes, holding `mark`.
constexpr std::array<std::uint8_t, 64> level_bytes(std::array<std::uint8_t, 8> order) {
    std::array<std::uint8_t, 64> table{};
    for (std::size_t lane = 0; lane < order.size(); ++lane) {
        table[8 * lane] = static_cast<std::uint8_t>(3 * order[lane] + 1);
        table[8 * lane + 1] = static_cast<std::uint8_t>(3 * order[lane] + 2);
    }
    return table;
}

constexpr std::array<std::uint8_t, 64> alignment_bytes(std::uint8_t mark) {
    std::array<std::uint8_t, 64> table{};
    for (std::size_t record = 0; record < 16; ++record) table[SCANRAW_RECORD_LEN * record] = mark;
    return table;
}

constexpr auto LOW_LEVELS = level_bytes({0, 4, 1, 5, 2, 6, 3, 7});
constexpr auto HIGH_LEVELS = level_bytes({8, 12, 9, 13, 10, 14, 11, 15});
constexpr auto ALIGNMENT_MARKS = alignment_bytes(SCANRAW_ALIGNMENT);
constexpr auto ALIGNMENT_PLACES = alignment_bytes(0xFF);

// The same sixteen records at a time, each half of a run in the point order
// 0, 4, 1, 5, 2, 6, 3, 7. A run's 48 bytes are one load that leaves the
// rest of its 64 unread, and a byte permutation puts each level in place.
template <class Axis>
[[gnu::target("avx2,fma,avx512f,avx512bw,avx512vbmi")]] bool decode_runs_avx512(
    const std::uint8_t* record, std::int32_t first, std::int32_t runs, double offset, const Axis axis,
    Sample* out) {
    constexpr __mmask64 RUN_BYTES = 0x0000FFFFFFFFFFFF;
    constexpr __mmask64 LEVEL_BYTES = 0x0303030303030303;
    const __m512i low_levels = _mm512_loadu_si512(LOW_LEVELS.data());
    const __m512i high_levels = _mm512_loadu_si512(HIGH_LEVELS.data());
    const __m512i marks = _mm512_loadu_si512(ALIGNMENT_MARKS.data());
    const __m512i places = _mm512_loadu_si512(ALIGNMENT_PLACES.data());
    const __m512i two_52 = _mm512_set1_epi64(static_cast<long long>(TWO_52_BITS));
    const __m512d per_raw = _mm512_set1_pd(DBM_PER_RAW);
    const __m512d shift = _mm512_set1_pd(TWO_47 + offset);
    __m512i index = _mm512_add_epi32(_mm512_set1_epi32(first),
                                     _mm512_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7, 8, 12, 9, 13, 10, 14, 11, 15));
    const __m512i step = _mm512_set1_epi32(16);
    // Bits that differ from the marks, gathered over every run: seen | (bytes
    // ^ marks).
    constexpr int OR_OF_DIFFERENCE = 0xF6;
    __m512i seen = _mm512_setzero_si512();
    double* to = &out->frequency_mhz;
    for (std::int32_t r = 0; r < runs; ++r, record += 16 * SCANRAW_RECORD_LEN, to += 32) {
        const __m512i bytes = _mm512_maskz_loadu_epi8(RUN_BYTES, record);
        seen = _mm512_ternarylogic_epi64(seen, bytes, marks, OR_OF_DIFFERENCE);
        const __m512d low_raw =
            _mm512_castsi512_pd(_mm512_mask_permutexvar_epi8(two_52, LEVEL_BYTES, low_levels, bytes));
        const __m512d high_raw =
            _mm512_castsi512_pd(_mm512_mask_permutexvar_epi8(two_52, LEVEL_BYTES, high_levels, bytes));
        const __m512d low_level = _mm512_fmsub_pd(low_raw, per_raw, shift);
        const __m512d high_level = _mm512_fmsub_pd(high_raw, per_raw, shift);
        __m512d low_mhz;
        __m512d high_mhz;
        axis(index, low_mhz, high_mhz);
        index = _mm512_add_epi32(index, step);
        _mm512_storeu_pd(to, _mm512_unpacklo_pd(low_mhz, low_level));
        _mm512_storeu_pd(to + 8, _mm512_unpackhi_pd(low_mhz, low_level));
        _mm512_storeu_pd(to + 16, _mm512_unpacklo_pd(high_mhz, high_level));
        _mm512_storeu_pd(to + 24, _mm512_unpackhi_pd(high_mhz, high_level));
    }
    return _mm512_test_epi8_mask(seen, places) == 0;
}

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

// Records one by one with the fused divisions, for the points around the
// runs and for the axis that has no vector form.
template <class Mhz>
[[gnu::target("avx2,fma")]] bool decode_block_fused(const std::uint8_t* record, std::int32_t first,
                                                    std::int32_t count, double offset, const Mhz& mhz,
                                                    Sample* out) {
    return decode_block<FusedDivide>(record, first, count, offset, mhz, out);
}

[[gnu::target("avx2,fma")]] void wide_quotients(const double* dividends, std::size_t count,
                                                const Divisor& divisor, double* quotients) {
    for (std::size_t i = 0; i < count; ++i) {
        quotients[i] = FusedDivide::quotient(dividends[i], divisor);
    }
}
#endif

// For the axes without a vector form, and for builds without vector paths.
struct NoWideAxis {};

#if defined(__x86_64__)
auto FrequencyMap::firmware_fast_wide() const { return FirmwareFastWide{step_f32_, start_f64_}; }
auto FrequencyMap::inclusive_wide() const { return InclusiveWide{span_f64_, last_index_, start_f64_}; }
#else
auto FrequencyMap::firmware_fast_wide() const { return NoWideAxis{}; }
auto FrequencyMap::inclusive_wide() const { return NoWideAxis{}; }
#endif

bool path_available(VectorPath path) {
    switch (path) {
        case VectorPath::Portable: return true;
#if defined(__x86_64__)
        case VectorPath::Avx2: return base::has_avx2_fma();
        case VectorPath::Avx512: return base::has_avx512_vbmi();
#endif
        default: return false;
    }
}

VectorPath widest_path() {
    static const VectorPath widest = base::vector_paths_where(path_available).back();
    return widest;
}

// `count` records from index `first` into `out` on `path`: runs of the
// path's vector length, the rest one by one; false when any alignment byte
// is wrong.
template <class Mhz, class Axis>
bool decode_span(VectorPath path, const std::uint8_t* record, std::int32_t first, std::int32_t count,
                 double offset, const Mhz& mhz, [[maybe_unused]] const Axis& axis, Sample* out) {
#if defined(__x86_64__)
    if (path != VectorPath::Portable) {
        std::int32_t done = 0;
        bool sound = true;
        if constexpr (!std::is_same_v<Axis, NoWideAxis>) {
            const std::int32_t run = path == VectorPath::Avx512 ? 16 : 8;
            const std::int32_t runs = count / run;
            sound = path == VectorPath::Avx512 ? decode_runs_avx512(record, first, runs, offset, axis, out)
                                               : decode_runs_avx2(record, first, runs, offset, axis, out);
            done = runs * run;
        }
        const auto rest = static_cast<std::size_t>(done);
        return decode_block_fused(record + rest * SCANRAW_RECORD_LEN, first + done, count - done, offset, mhz,
                                  out + rest) &&
               sound;
    }
#endif
    return decode_block<Divide>(record, first, count, offset, mhz, out);
}

// The whole sweep, block by block. Indices stay below 2^31 (the request check
// caps points), so they convert as signed values, a single instruction where
// unsigned is not. A bad block is searched for its first bad record, which is
// the first of the frame since every block before it was sound.
// A buffer that already holds as many samples is written in place; any other
// grows a block at a time, each zero-filled first, since a vector cannot grow
// without initialising. Exactly one of `in_place` (room for all the points)
// and `appended` is set. The blocks start at cache lines: the vector stores
// then never split a line, which costs more than the rest of the work.
template <class Mhz, class Axis = NoWideAxis>
std::expected<void, RawScanError> decode_blocks(VectorPath path, const std::uint8_t* records,
                                                std::int32_t points, double offset, Sample* in_place,
                                                std::vector<Sample>* appended, const Mhz& mhz,
                                                const Axis& axis = {}) {
    if (!in_place) {
        appended->clear();
        appended->reserve(static_cast<std::size_t>(points));
    }
    constexpr std::size_t LINE = 64;
    const std::size_t past_line =
        reinterpret_cast<std::uintptr_t>(in_place ? in_place : appended->data()) % LINE;
    const auto lead = std::min(points, static_cast<std::int32_t>((LINE - past_line) % LINE / sizeof(Sample)));
    // The first span reaches the first cache line.
    for (std::int32_t first = 0, count = lead; first < points;
         first += count, count = std::min(BLOCK_POINTS, points - first)) {
        const std::uint8_t* record = records + static_cast<std::size_t>(first) * SCANRAW_RECORD_LEN;
        if (!in_place) appended->resize(appended->size() + static_cast<std::size_t>(count));
        Sample* out = in_place ? in_place + first : appended->data() + first;
        if (!decode_span(path, record, first, count, offset, mhz, axis, out)) {
            for (std::int32_t j = 0;; ++j, record += SCANRAW_RECORD_LEN) {
                if (record[0] != SCANRAW_ALIGNMENT) {
                    return std::unexpected(
                        RawScanError::Alignment{static_cast<std::size_t>(first + j), record[0]});
                }
            }
        }
    }
    return {};
}

// The frame checked whole, then decoded as `decode_blocks` does it.
std::expected<void, RawScanError> decode_frame(VectorPath path, std::span<const std::uint8_t> frame,
                                               const ScanRequest& request, std::uint16_t zero_offset,
                                               FrequencyAxis axis, Sample* in_place,
                                               std::vector<Sample>* appended) {
    if (!path_available(path)) path = VectorPath::Portable;
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
        return decode_blocks(
            path, records, points, offset, in_place, appended,
            [&map](std::int32_t i, auto division) { return map.firmware_mhz_fast(i, division); },
            map.firmware_fast_wide());
    }
    if (map.firmware()) {
        return decode_blocks(
            path, records, points, offset, in_place, appended,
            [&map](std::int32_t i, auto division) { return map.mhz(static_cast<std::size_t>(i), division); });
    }
    return decode_blocks(
        path, records, points, offset, in_place, appended,
        [&map](std::int32_t i, auto division) { return map.inclusive_mhz(static_cast<double>(i), division); },
        map.inclusive_wide());
}

}  // namespace

bool scanraw_wide_quotients([[maybe_unused]] std::span<const double> dividends,
                            [[maybe_unused]] double divisor, [[maybe_unused]] std::span<double> quotients) {
#if defined(__x86_64__)
    if (path_available(VectorPath::Avx2) && quotients.size() >= dividends.size()) {
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
    return decode_scanraw_on(widest_path(), frame, request, zero_offset, axis, samples);
}

std::vector<VectorPath> scanraw_decode_paths() { return base::vector_paths_where(path_available); }

std::expected<void, RawScanError> decode_scanraw_on(VectorPath path, std::span<const std::uint8_t> frame,
                                                    const ScanRequest& request, std::uint16_t zero_offset,
                                                    FrequencyAxis axis, std::vector<Sample>& samples) {
    const bool room = samples.size() == request.points;
    return decode_frame(path, frame, request, zero_offset, axis, room ? samples.data() : nullptr,
                        room ? nullptr : &samples);
}

std::expected<void, RawScanError> decode_scanraw_on(VectorPath path, std::span<const std::uint8_t> frame,
                                                    const ScanRequest& request, std::uint16_t zero_offset,
                                                    FrequencyAxis axis, std::span<Sample> samples) {
    if (samples.size() != request.points) {
        return std::unexpected(RawScanError::InvalidRequest{"the samples must hold the request's points"});
    }
    return decode_frame(path, frame, request, zero_offset, axis, samples.data(), nullptr);
}

}  // namespace vorlix::instrument
