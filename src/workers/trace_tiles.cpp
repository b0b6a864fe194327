#include "workers/trace_tiles.hpp"

#include <atomic>
#include <bit>
#include <cstring>
#include <vector>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "base/cpu_features.hpp"

namespace vorlix::workers {

namespace {

// The first `tiles` whole tiles of a sweep on the stored frequencies, in one
// pass without branches, the new entry's levels going to `levels`, its first
// stretch in the block. No two of the pointers overlap; each function that
// runs this loop says so of its own parameters, or the compiler would not
// keep the stretches in vectors.
[[gnu::always_inline]] inline Folded fold_tiles_inline(
    const Sample* __restrict points, const double* __restrict stored, double* __restrict max_hold,
    double* __restrict max_decay, double* __restrict min_hold, double* __restrict min_decay,
    float* __restrict levels, std::size_t tiles) {
    std::uint64_t moved = 0;
    unsigned inexact = 0;
    for (std::size_t t = 0; t < tiles; ++t) {
        float* tile = levels + t * TILE_VALUES;
        for (std::size_t j = 0; j < TILE_POINTS; ++j) {
            const std::size_t i = t * TILE_POINTS + j;
            const double level = points[i].level_dbm;
            inexact |= store_level(tile[j], level);
            moved |= std::bit_cast<std::uint64_t>(points[i].frequency_mhz) ^
                     std::bit_cast<std::uint64_t>(stored[i]);
            fold_level(max_hold[i], max_decay[i], min_hold[i], min_decay[i], level);
        }
    }
    return Folded{moved, inexact};
}

// Four lanes, in which a tile's stretch of one entry is summed: written as
// vectors because the compiler does not find them in the loop over the
// window. Each lane's operations are the ones a single point would take.
using FloatLanes = float __attribute__((vector_size(4 * sizeof(float))));
using DoubleLanes = double __attribute__((vector_size(4 * sizeof(double))));
constexpr std::size_t LANE_GROUPS = TILE_POINTS / 4;

// The mean of the window over the first `tiles` whole tiles; `slots` holds
// each entry's offset within a tile, oldest first.
[[gnu::always_inline]] inline void average_tiles_inline(const float* __restrict levels,
                                                        const std::size_t* __restrict slots, std::size_t m,
                                                        const double* __restrict axis, double divisor,
                                                        Sample* __restrict out, std::size_t tiles) {
    for (std::size_t t = 0; t < tiles; ++t) {
        const float* tile = levels + t * TILE_VALUES;
        DoubleLanes sums[LANE_GROUPS];
        for (DoubleLanes& sum : sums) sum = DoubleLanes{-0.0, -0.0, -0.0, -0.0};
        for (std::size_t s = 0; s < m; ++s) {
            const float* from = tile + slots[s];
            for (std::size_t g = 0; g < LANE_GROUPS; ++g) {
                FloatLanes narrow;
                std::memcpy(&narrow, from + 4 * g, sizeof narrow);
                sums[g] += __builtin_convertvector(narrow, DoubleLanes);
            }
        }
        for (std::size_t g = 0; g < LANE_GROUPS; ++g) {
            const DoubleLanes mean = sums[g] / divisor;
            for (std::size_t l = 0; l < 4; ++l) {
                const std::size_t i = t * TILE_POINTS + 4 * g + l;
                out[i] = Sample{axis[i], mean[l]};
            }
        }
    }
}

Folded fold_tiles_plain(const Sample* __restrict points, const double* __restrict stored,
                        double* __restrict max_hold, double* __restrict max_decay,
                        double* __restrict min_hold, double* __restrict min_decay, float* __restrict levels,
                        std::size_t tiles) {
    return fold_tiles_inline(points, stored, max_hold, max_decay, min_hold, min_decay, levels, tiles);
}

void average_tiles_plain(const float* __restrict levels, const std::size_t* __restrict slots, std::size_t m,
                         const double* __restrict axis, double divisor, Sample* __restrict out,
                         std::size_t tiles) {
    average_tiles_inline(levels, slots, m, axis, divisor, out, tiles);
}

#if defined(__x86_64__)
// The same with vectors twice as wide, for processors that have them: the
// same correctly rounded operations in the same order, so the same bits.
[[gnu::target("avx2")]] Folded fold_tiles_wide(const Sample* __restrict points,
                                               const double* __restrict stored, double* __restrict max_hold,
                                               double* __restrict max_decay, double* __restrict min_hold,
                                               double* __restrict min_decay, float* __restrict levels,
                                               std::size_t tiles) {
    return fold_tiles_inline(points, stored, max_hold, max_decay, min_hold, min_decay, levels, tiles);
}

// The averages written out in vectors, one tile at a time: summing two or
// more tiles together gives more independent adds but reads the block in
// an order the processor fetches ahead far worse, and the reads are what
// bound this loop; asking for tiles ahead gains nothing either.
//
// Here a tile is four vectors of four points; the samples go in 16-byte
// halves when streamed, as the buffer is only sure to start on 16 bytes.
[[gnu::target("avx2")]] void average_tiles_wide(const float* __restrict levels,
                                                const std::size_t* __restrict slots, std::size_t m,
                                                const double* __restrict axis, double divisor,
                                                Sample* __restrict out, std::size_t tiles, bool stream) {
    const __m256d by = _mm256_set1_pd(divisor);
    stream = stream && reinterpret_cast<std::uintptr_t>(out) % 16 == 0;
    for (std::size_t t = 0; t < tiles; ++t) {
        const float* tile = levels + t * TILE_VALUES;
        __m256d sums[4];
        for (__m256d& sum : sums) sum = _mm256_set1_pd(-0.0);
        for (std::size_t s = 0; s < m; ++s) {
            const float* from = tile + slots[s];
            for (std::size_t g = 0; g < 4; ++g)
                sums[g] = _mm256_add_pd(sums[g], _mm256_cvtps_pd(_mm_loadu_ps(from + 4 * g)));
        }
        for (std::size_t g = 0; g < 4; ++g) {
            const std::size_t i = t * TILE_POINTS + 4 * g;
            const __m256d mean = _mm256_div_pd(sums[g], by);
            const __m256d frequencies = _mm256_loadu_pd(axis + i);
            const __m256d even = _mm256_unpacklo_pd(frequencies, mean);
            const __m256d odd = _mm256_unpackhi_pd(frequencies, mean);
            const __m256d first = _mm256_permute2f128_pd(even, odd, 0x20);
            const __m256d second = _mm256_permute2f128_pd(even, odd, 0x31);
            double* to = &out[i].frequency_mhz;
            if (stream) {
                _mm_stream_pd(to, _mm256_castpd256_pd128(first));
                _mm_stream_pd(to + 2, _mm256_extractf128_pd(first, 1));
                _mm_stream_pd(to + 4, _mm256_castpd256_pd128(second));
                _mm_stream_pd(to + 6, _mm256_extractf128_pd(second, 1));
            } else {
                _mm256_storeu_pd(to, first);
                _mm256_storeu_pd(to + 4, second);
            }
        }
    }
    if (stream) _mm_sfence();
}

// Here a tile is two vectors of eight points, written as four vectors of
// four samples. Streamed stores go whole lines at a time, so the samples are
// shifted by the start's place within its line; the stretch before the
// first whole line and the one after the last go with masks.
class SampleWriter512 {
public:
    [[gnu::target("avx512f")]] SampleWriter512(Sample* out, bool stream) : to_(&out->frequency_mhz) {
        const auto address = reinterpret_cast<std::uintptr_t>(out);
        stream_ = stream && address % 16 == 0;
        lead_ = stream_ ? static_cast<unsigned>(4 - address % 64 / 16) % 4 : 0;
        shift_ = _mm512_add_epi64(_mm512_set_epi64(7, 6, 5, 4, 3, 2, 1, 0), _mm512_set1_epi64(2 * lead_));
        head_ = static_cast<__mmask8>((1u << (2 * lead_)) - 1);
    }

    // Writes the four samples from `k` * 4 on; vectors come in order.
    [[gnu::target("avx512f"), gnu::always_inline]] void put(std::size_t k, __m512d samples) {
        double* to = to_ + 8 * k;
        if (!stream_) {
            _mm512_storeu_pd(to, samples);
        } else if (lead_ == 0) {
            _mm512_stream_pd(to, samples);
        } else {
            if (k == 0) {
                _mm512_mask_storeu_pd(to, head_, samples);
            } else {
                _mm512_stream_pd(to - 8 + 2 * lead_, _mm512_permutex2var_pd(carry_, shift_, samples));
            }
            carry_ = samples;
        }
    }

    // Completes the writes of the `count` vectors put.
    [[gnu::target("avx512f")]] void finish(std::size_t count) {
        if (!stream_) return;
        if (lead_ != 0 && count != 0)
            _mm512_mask_storeu_pd(to_ + 8 * (count - 1), static_cast<__mmask8>(~head_), carry_);
        _mm_sfence();
    }

private:
    double* to_;
    bool stream_;
    unsigned lead_;
    __m512i shift_;
    __mmask8 head_;
    __m512d carry_ = _mm512_setzero_pd();
};

// Eight floats widened in one step; the compiler's own intrinsic for it
// leaves a value unset that gcc 12 then warns of.
using Float8 = float __attribute__((vector_size(8 * sizeof(float))));
using Double8 = double __attribute__((vector_size(8 * sizeof(double))));

[[gnu::target("avx512f")]] void average_tiles_widest(const float* __restrict levels,
                                                     const std::size_t* __restrict slots, std::size_t m,
                                                     const double* __restrict axis, double divisor,
                                                     Sample* __restrict out, std::size_t tiles, bool stream) {
    const __m512d by = _mm512_set1_pd(divisor);
    const __m512i low = _mm512_set_epi64(11, 3, 10, 2, 9, 1, 8, 0);
    const __m512i high = _mm512_set_epi64(15, 7, 14, 6, 13, 5, 12, 4);
    SampleWriter512 writer(out, stream);
    for (std::size_t t = 0; t < tiles; ++t) {
        const float* tile = levels + t * TILE_VALUES;
        __m512d sums[2];
        for (__m512d& sum : sums) sum = _mm512_set1_pd(-0.0);
        for (std::size_t s = 0; s < m; ++s) {
            const float* from = tile + slots[s];
            for (std::size_t g = 0; g < 2; ++g) {
                Float8 narrow;
                std::memcpy(&narrow, from + 8 * g, sizeof narrow);
                sums[g] = _mm512_add_pd(sums[g], (__m512d) __builtin_convertvector(narrow, Double8));
            }
        }
        for (std::size_t g = 0; g < 2; ++g) {
            const __m512d mean = _mm512_div_pd(sums[g], by);
            const __m512d frequencies = _mm512_loadu_pd(axis + t * TILE_POINTS + 8 * g);
            writer.put(4 * t + 2 * g, _mm512_permutex2var_pd(frequencies, low, mean));
            writer.put(4 * t + 2 * g + 1, _mm512_permutex2var_pd(frequencies, high, mean));
        }
    }
    writer.finish(4 * tiles);
}
#endif

// Whether the processor has what the loops of `path` use.
bool path_available(VectorPath path) {
    switch (path) {
        case VectorPath::Portable: return true;
#if defined(__x86_64__)
        case VectorPath::Avx2: return base::has_avx2();
        case VectorPath::Avx512: return base::has_avx512f();
#endif
        default: return false;
    }
}

// The path the loops take; the widest one unless a test chose another.
std::atomic<VectorPath>& chosen_path() {
    static std::atomic<VectorPath> chosen{base::vector_paths_where(path_available).back()};
    return chosen;
}

}  // namespace

std::vector<VectorPath> available_vector_paths() { return base::vector_paths_where(path_available); }

VectorPath current_vector_path() { return chosen_path().load(std::memory_order_relaxed); }

void use_vector_path(VectorPath path) {
    if (path_available(path)) chosen_path().store(path, std::memory_order_relaxed);
}

Folded fold_tiles(const Sample* points, const double* stored, double* max_hold, double* max_decay,
                  double* min_hold, double* min_decay, float* levels, std::size_t tiles) {
#if defined(__x86_64__)
    if (chosen_path().load(std::memory_order_relaxed) != VectorPath::Portable)
        return fold_tiles_wide(points, stored, max_hold, max_decay, min_hold, min_decay, levels, tiles);
#endif
    return fold_tiles_plain(points, stored, max_hold, max_decay, min_hold, min_decay, levels, tiles);
}

void average_tiles(const float* levels, const std::size_t* slots, std::size_t m, const double* axis,
                   double divisor, Sample* out, std::size_t tiles, [[maybe_unused]] bool stream) {
    switch (chosen_path().load(std::memory_order_relaxed)) {
#if defined(__x86_64__)
        case VectorPath::Avx512:
            return average_tiles_widest(levels, slots, m, axis, divisor, out, tiles, stream);
        case VectorPath::Avx2: return average_tiles_wide(levels, slots, m, axis, divisor, out, tiles, stream);
#endif
        default: return average_tiles_plain(levels, slots, m, axis, divisor, out, tiles);
    }
}

}  // namespace vorlix::workers
