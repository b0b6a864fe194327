// Replaces a file with a probe text: write_back_probe PATH VERSION. Exit 0
// when replaced, 1 with the error on stderr otherwise.

#include <cstdio>
#include <cstdlib>

#include "app/services/write_back.hpp"
#include "app/services/write_back_probe.hpp"

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    auto replaced = vorlix::app::replace_file(argv[1], vorlix::test::probe_config_text(std::atoi(argv[2])));
    if (!replaced) {
        std::fprintf(stderr, "%s\n", replaced.error().display().c_str());
        return 1;
    }
    return 0;
}
