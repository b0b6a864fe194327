// Arbitrary bytes through the whole load of a configuration file. Whatever
// the bytes, the load must end in a value or an error (never a crash or an
// escaped exception), and every accepted record must write out as text that
// loads back to an equal record.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "config/load.hpp"
#include "config/serialize.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    auto config = vorlix::config::load_config_text(bytes);
    if (!config) {
        (void)config.error().display();
        (void)config.error().debug();
        return 0;
    }
    auto text = vorlix::config::serialize_config(*config);
    if (!text) {
        std::fprintf(stderr, "accepted record failed to serialise: %s\n", text.error().display().c_str());
        std::abort();
    }
    auto again = vorlix::config::load_config_text(*text);
    if (!again) {
        std::fprintf(stderr, "written text failed to load: %s\n%s", again.error().display().c_str(),
                     text->c_str());
        std::abort();
    }
    if (!(*again == *config)) {
        std::fprintf(stderr, "written text loads to a different record:\n%s", text->c_str());
        std::abort();
    }
    return 0;
}
