// The scanraw frame: its shape on the wire, the level encoding, the point
// spacing and the believability and reproducibility of the spectrum.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/session.hpp"
#include "sim/spectrum.hpp"

namespace vorlix::sim {
namespace {

using test::Session;
using test::with_model;

std::string scanraw_line(std::uint64_t start, std::uint64_t stop, std::uint64_t points) {
    return "scanraw " + std::to_string(start) + " " + std::to_string(stop) + " " + std::to_string(points);
}

// The records of a well-formed reply, checked for shape on the way.
std::string records_of(const std::string& line, const std::string& output, std::uint64_t points) {
    const std::string head = line + "\r\n{";
    EXPECT_TRUE(output.starts_with(head));
    EXPECT_TRUE(output.ends_with("}ch> "));
    EXPECT_EQ(output.size(), head.size() + 3 * points + 5);
    return output.substr(head.size(), 3 * points);
}

// Decoding written here from the wire format alone: level = raw / 32 - zero.
std::vector<double> decode(const std::string& records, std::uint32_t zero) {
    std::vector<double> levels;
    for (std::size_t i = 0; i + 2 < records.size(); i += 3) {
        EXPECT_EQ(records[i], 'x') << "record " << i / 3;
        const auto lo = static_cast<unsigned char>(records[i + 1]);
        const auto hi = static_cast<unsigned char>(records[i + 2]);
        levels.push_back((lo + 256.0 * hi) / 32.0 - zero);
    }
    return levels;
}

TEST(SimFrame, HasOneAlignedRecordPerPointSentInBlocksOfTwenty) {
    for (std::uint64_t points : {1, 19, 20, 21, 450, 10001}) {
        Session s;
        const std::string line = scanraw_line(240'000'000, 800'000'000, points);
        const Emission e = s.shell.feed(line + "\r");
        const std::string output = s.join(e);
        const std::string records = records_of(line, output, points);
        EXPECT_EQ(decode(records, 174).size(), points);
        // Chunks after the echo: "{", the record blocks, then "}" with the prompt.
        std::vector<std::size_t> sizes;
        for (const auto& c : e.chunks) sizes.push_back(c.size());
        const std::size_t blocks = (points + 19) / 20;
        ASSERT_EQ(sizes.size(), line.size() + 1 + 1 + blocks + 1);
        for (std::size_t b = 0; b < blocks; ++b) {
            const std::size_t expected = b + 1 < blocks ? 60 : 3 * (points - 20 * (blocks - 1));
            EXPECT_EQ(sizes[line.size() + 2 + b], expected) << points << " block " << b;
        }
        const auto frame = s.ledger.last_frame;
        EXPECT_EQ(std::string(frame.begin(), frame.end()), "{" + records + "}");
        EXPECT_EQ(s.ledger.sweeps, 1u);
    }
}

TEST(SimFrame, RefusesMalformedRequests) {
    for (const char* line :
         {"scanraw 10 5 3", "scanraw a b c", "scanraw 1 2 0", "scanraw 1 2 1000002", "scanraw 1"}) {
        Session s;
        EXPECT_EQ(s.run(line),
                  std::string(line) + "\r\nusage: scanraw {start(Hz)} {stop(Hz)} [points]\r\nch> ");
        EXPECT_EQ(s.ledger.sweeps, 0u);
    }
}

TEST(SimFrame, EncodesLevelsInThirtySecondsOfADecibelAboveTheZeroOffset) {
    struct Case {
        double dbm;
        std::uint32_t zero;
        std::uint16_t raw;
    };
    const std::vector<Case> cases{
        {0.0, 128, 4096},     {-128.0, 128, 0}, {-89.4375, 128, 1234}, {-100.0, 174, 2368},
        {-100.01, 174, 2368}, {-200.0, 128, 0}, {3000.0, 0, 65535},    {2047.96875, 0, 65535},
    };
    for (const auto& c : cases) EXPECT_EQ(encode_level(c.dbm, c.zero), c.raw) << c.dbm << " " << c.zero;
}

TEST(SimFrame, ShowsCarriersAtTheInstrumentsPointSpacingOverANoiseFloor) {
    const std::uint64_t start = 240'000'000, stop = 800'000'000, points = 10001;
    Session s;
    const std::string line = scanraw_line(start, stop, points);
    const std::string records = records_of(line, s.run(line), points);
    // Level bytes that look like frame or prompt characters are routine.
    for (char special : {'{', '}', '>'}) EXPECT_NE(records.find(special), std::string::npos) << special;
    const auto levels = decode(records, 174);
    ASSERT_EQ(levels.size(), points);
    auto sorted = levels;
    std::nth_element(sorted.begin(), sorted.begin() + points / 2, sorted.end());
    EXPECT_NEAR(sorted[points / 2], NOISE_FLOOR_DBM, 3.0);
    EXPECT_GT(*std::min_element(levels.begin(), levels.end()), -115.0);
    const std::uint64_t step = (stop - start) / points;  // remainder dropped
    int seen = 0;
    for (const auto& c : carriers()) {
        if (c.hz < start || c.hz >= stop) continue;
        ++seen;
        const std::size_t at = static_cast<std::size_t>((c.hz - start + step / 2) / step);
        EXPECT_NEAR(levels[at], c.dbm, 4.0) << c.hz;
        // Narrow: ten points away the carrier is gone.
        EXPECT_LT(levels[at + 10], c.dbm - 30.0) << c.hz;
        EXPECT_LT(levels[at - 10], c.dbm - 30.0) << c.hz;
    }
    EXPECT_GE(seen, 3);
    for (const auto& c : carriers()) EXPECT_TRUE(c.dbm <= -20.0 && c.dbm >= -60.0);
}

TEST(SimFrame, PlacesPointIAtStartPlusITimesTheTruncatedStep) {
    // Five points whose span leaves a remainder: only start + i * (span / 5),
    // remainder dropped, puts the last point right on the carrier and its
    // neighbour one resolution bandwidth away.
    const std::uint64_t step = 1'000'000;
    for (const auto& c : carriers()) {
        const std::uint64_t start = c.hz - 4 * step;
        const std::string line = scanraw_line(start, start + 5 * step + 4, 5);
        Session s;
        const auto levels = decode(records_of(line, s.run(line), 5), 174);
        ASSERT_EQ(levels.size(), 5u);
        EXPECT_NEAR(levels[4], c.dbm, 1.2) << c.hz;
        EXPECT_LT(levels[3], c.dbm - 9.0) << c.hz;
    }
}

TEST(SimFrame, RepeatsForASeedAndVariesBetweenSweeps) {
    const std::string line = scanraw_line(240'000'000, 800'000'000, 450);
    auto sweeps = [&](std::uint64_t seed, std::uint32_t zero) {
        Options o;
        o.seed = seed;
        Session s(o);
        s.run("zero " + std::to_string(zero));
        return std::vector<std::string>{records_of(line, s.run(line), 450),
                                        records_of(line, s.run(line), 450)};
    };
    const auto a = sweeps(7, 174);
    EXPECT_EQ(a, sweeps(7, 174));
    EXPECT_NE(a[0], a[1]);
    EXPECT_NE(a, sweeps(8, 174));
    // The zero offset shifts every raw value by 32 per dB, nothing else.
    const auto low = decode(sweeps(7, 150)[0], 150);
    const auto high = decode(a[0], 174);
    ASSERT_EQ(low.size(), high.size());
    for (std::size_t i = 0; i < low.size(); ++i) EXPECT_DOUBLE_EQ(low[i], high[i]) << i;
}

}  // namespace
}  // namespace vorlix::sim
