#include "sim/spectrum.hpp"

#include <algorithm>
#include <cmath>

namespace vorlix::sim {

const std::vector<Carrier>& carriers() {
    static const std::vector<Carrier> list{
        {100'000'000, -50.0}, {315'000'000, -42.0}, {433'920'000, -28.0},   {520'000'000, -55.0},
        {612'500'000, -35.0}, {760'000'000, -47.0}, {1'800'000'000, -40.0}, {2'440'000'000, -33.0},
    };
    return list;
}

std::uint64_t mix64(std::uint64_t x) {
    x += 0x9e3779b97f4a7c15ULL;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
    return x ^ (x >> 31);
}

std::uint64_t point_step_hz(std::uint64_t start_hz, std::uint64_t stop_hz, std::uint64_t points) {
    if (points == 0 || stop_hz <= start_hz) return 0;
    return (stop_hz - start_hz) / points;
}

namespace {

// Uniform in [0, 1) from the top 53 bits.
double unit(std::uint64_t h) { return static_cast<double>(h >> 11) * 0x1.0p-53; }

// Roughly normal jitter (sum of four uniforms, standard deviation about 1).
double jitter(std::uint64_t key) {
    double sum = 0.0;
    for (std::uint64_t k = 0; k < 4; ++k) sum += unit(mix64(key + k * 0x632be59bd9b4e019ULL));
    return (sum - 2.0) * 1.732;
}

double to_power(double dbm) { return std::pow(10.0, dbm / 10.0); }

}  // namespace

std::vector<double> sweep_levels(std::uint64_t seed, std::uint64_t sweep_index, std::uint64_t start_hz,
                                 std::uint64_t stop_hz, std::uint64_t points) {
    const std::uint64_t step = point_step_hz(start_hz, stop_hz, points);
    // The resolution bandwidth follows the point spacing, as an analyser's
    // automatic setting does, so a carrier never hides between two points.
    const double rbw = std::max<double>(static_cast<double>(step), 30'000.0);
    const std::uint64_t sweep_key = mix64(mix64(seed) ^ mix64(sweep_index + 0x5bd1e995ULL));
    std::vector<double> carrier_dbm;
    for (std::size_t c = 0; c < carriers().size(); ++c)
        carrier_dbm.push_back(carriers()[c].dbm + 0.3 * jitter(mix64(sweep_key ^ (c + 1) * 0x9e37ULL)));

    std::vector<double> levels;
    levels.reserve(points);
    for (std::uint64_t i = 0; i < points; ++i) {
        const std::uint64_t hz = start_hz + i * step;
        double power = to_power(NOISE_FLOOR_DBM + 1.5 * jitter(mix64(sweep_key + i)));
        for (std::size_t c = 0; c < carriers().size(); ++c) {
            const double offset = (static_cast<double>(hz) - static_cast<double>(carriers()[c].hz)) / rbw;
            if (std::abs(offset) > 6.0) continue;
            power += to_power(carrier_dbm[c] - 12.0 * offset * offset);
        }
        levels.push_back(10.0 * std::log10(power));
    }
    return levels;
}

std::uint16_t encode_level(double dbm, std::uint32_t zero_offset) {
    const double raw = std::round((dbm + static_cast<double>(zero_offset)) * 32.0);
    if (!(raw > 0.0)) return 0;
    if (raw >= 65535.0) return 65535;
    return static_cast<std::uint16_t>(raw);
}

}  // namespace vorlix::sim
