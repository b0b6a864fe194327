// Saves one probe sweep: save_probe DIRECTORY POINTS [MICROS], with the wall
// clock held at MICROS microseconds since the epoch when given. Exit 0 when
// saved, 1 with the error on stderr otherwise.

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <chrono>

#include "scan_csv/fixed_clock.hpp"
#include "scan_csv/save_probe.hpp"
#include "scan_csv/writer.hpp"

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) return 2;
    const auto sweep = vorlix::test::probe_sweep(std::strtoul(argv[2], nullptr, 10));
    const vorlix::config::OutputConfig output{argv[1], "scan", false};
    std::optional<vorlix::test::FixedClock> clock;
    if (argc == 4) {
        clock.emplace(std::chrono::system_clock::time_point(
            std::chrono::microseconds(std::strtoll(argv[3], nullptr, 10))));
    }
    auto saved = vorlix::scan_csv::write_scan_csv(sweep, output);
    if (!saved) {
        std::fprintf(stderr, "%s\n", saved.error().display().c_str());
        return 1;
    }
    return 0;
}
