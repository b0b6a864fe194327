#pragma once
// What the processor offers beyond the baseline the program is built for, asked
// once, so the loops with wider copies can choose them at run time.

#include <cstdint>
#include <string_view>
#include <vector>

namespace vorlix::base {

// The widths a loop with vector copies can run at; each such loop says which
// of them it has on this processor. They give the same results.
enum class VectorPath : std::uint8_t { Portable, Avx2, Avx512 };

// "portable", "avx2" or "avx512".
constexpr std::string_view vector_path_name(VectorPath path) {
    switch (path) {
        case VectorPath::Avx2: return "avx2";
        case VectorPath::Avx512: return "avx512";
        default: return "portable";
    }
}

// The paths `has` admits, narrowest first and so the widest last; the
// portable one is always there.
template <class Has>
std::vector<VectorPath> vector_paths_where(Has has) {
    std::vector<VectorPath> paths{VectorPath::Portable};
    for (const VectorPath path : {VectorPath::Avx2, VectorPath::Avx512}) {
        if (has(path)) paths.push_back(path);
    }
    return paths;
}

#if defined(__x86_64__)
// 256-bit integer and floating-point vectors.
inline bool has_avx2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}

// The same with fused multiply-add.
inline bool has_avx2_fma() {
    static const bool has = has_avx2() && __builtin_cpu_supports("fma");
    return has;
}

// 512-bit vectors with their masks, the foundation set only.
inline bool has_avx512f() {
    static const bool has = has_avx2() && __builtin_cpu_supports("avx512f");
    return has;
}

// The same with byte and word operations, byte permutations and fused
// multiply-add.
inline bool has_avx512_vbmi() {
    static const bool has = has_avx2_fma() && has_avx512f() && __builtin_cpu_supports("avx512bw") &&
                            __builtin_cpu_supports("avx512vbmi");
    return has;
}
#endif

}  // namespace vorlix::base
