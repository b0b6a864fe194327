#include "workers/trace_tiles.hpp"

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

using namespace vorlix::workers;
using vorlix::instrument::Sample;

namespace {

std::string path_name(VectorPath path) { return std::string(vorlix::base::vector_path_name(path)); }

// Goes back to the widest path however a test ends.
struct WidestAfterwards {
    ~WidestAfterwards() { use_vector_path(available_vector_paths().back()); }
};

}  // namespace

TEST(TraceTiles, EveryAvailablePathCanBeTaken) {
    const WidestAfterwards restore;
    const std::vector<VectorPath> paths = available_vector_paths();
    ASSERT_FALSE(paths.empty());
    EXPECT_EQ(paths.front(), VectorPath::Portable);
    EXPECT_EQ(current_vector_path(), paths.back());
    for (const VectorPath path : paths) {
        use_vector_path(path);
        EXPECT_EQ(current_vector_path(), path) << path_name(path);
    }
}

TEST(TraceTiles, AveragesMatchThePlainSumsOnEveryPathAndPlace) {
    // Floats of many magnitudes and both zeros, so that the order of the
    // adds and the rounding of each one decide the bits.
    std::mt19937_64 random(3);
    const float edges[] = {0.0f, -0.0f, 3e38f, -3e38f, 1e-45f, -1e-45f, 1.0f, -90.03125f};
    constexpr std::size_t most_tiles = 5;
    std::vector<float> levels(most_tiles * TILE_VALUES);
    for (float& level : levels) {
        level = random() % 5 == 0
                    ? edges[random() % std::size(edges)]
                    : std::ldexp(float(std::int64_t(random() % 100001) - 50000), int(random() % 61) - 30);
    }
    // One tile of nothing but negative zeros: an average of them is -0.
    for (std::size_t v = TILE_VALUES; v < 2 * TILE_VALUES; ++v) levels[v] = -0.0f;
    std::vector<double> axis(most_tiles * TILE_POINTS);
    for (std::size_t i = 0; i < axis.size(); ++i) axis[i] = 240.0 + double(i) * 0.37;
    const std::size_t order[] = {13, 2, 7, 0, 15, 9, 4, 11, 1, 6, 14, 3, 10, 5, 12, 8};
    std::vector<std::size_t> slots;
    for (const std::size_t slot : order) slots.push_back(slot * TILE_POINTS);

    // Room for every place within a cache line, with untouched samples
    // either side of what is written; the guard is two whole lines.
    constexpr std::size_t guard = 8;
    std::vector<Sample> buffer(guard + 8 + most_tiles * TILE_POINTS + guard);
    ASSERT_EQ(reinterpret_cast<std::uintptr_t>(buffer.data()) % 16, 0u);
    std::size_t aligned = 0;
    while (reinterpret_cast<std::uintptr_t>(buffer.data() + aligned) % 64 != 0) ++aligned;
    const Sample untouched{-7.0, std::numeric_limits<double>::quiet_NaN()};

    const WidestAfterwards restore;
    for (const VectorPath path : available_vector_paths()) {
        use_vector_path(path);
        for (const std::size_t m : {1, 3, 16}) {
            for (const std::size_t tiles : {0, 1, 2, 5}) {
                for (std::size_t place = 0; place < 4; ++place) {
                    for (const bool stream : {false, true}) {
                        SCOPED_TRACE(path_name(path) + ", window " + std::to_string(m) + ", " +
                                     std::to_string(tiles) + " tiles, place " + std::to_string(place) +
                                     (stream ? ", streamed" : ""));
                        std::fill(buffer.begin(), buffer.end(), untouched);
                        const std::size_t start = guard + aligned + place;
                        Sample* out = buffer.data() + start;
                        average_tiles(levels.data(), slots.data(), m, axis.data(), double(m), out, tiles,
                                      stream);
                        for (std::size_t i = 0; i < buffer.size(); ++i) {
                            const Sample got = buffer[i];
                            const bool written = i >= start && i < start + tiles * TILE_POINTS;
                            std::uint64_t want_frequency =
                                std::bit_cast<std::uint64_t>(untouched.frequency_mhz);
                            std::uint64_t want_level = std::bit_cast<std::uint64_t>(untouched.level_dbm);
                            if (written) {
                                const std::size_t point = i - start;
                                double sum = -0.0;
                                for (std::size_t s = 0; s < m; ++s)
                                    sum += double(levels[point / TILE_POINTS * TILE_VALUES + slots[s] +
                                                         point % TILE_POINTS]);
                                want_frequency = std::bit_cast<std::uint64_t>(axis[point]);
                                want_level = std::bit_cast<std::uint64_t>(sum / double(m));
                            }
                            ASSERT_EQ(std::bit_cast<std::uint64_t>(got.frequency_mhz), want_frequency)
                                << "sample " << i;
                            ASSERT_EQ(std::bit_cast<std::uint64_t>(got.level_dbm), want_level)
                                << "sample " << i;
                        }
                    }
                }
            }
        }
    }
}
