// Arbitrary bytes through the whole load of a configuration file. Whatever
// the bytes, the load must end in a value or an error (never a crash or an
// escaped exception), and every accepted record must write out as text that
// loads back to an equal record. What a rejected text shows the user holds
// no byte a terminal would act on and stays short, whatever the input.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include <string>

#include "base/text.hpp"
#include "config/load.hpp"
#include "config/serialize.hpp"

namespace {

// Well above the longest error text: a window of the line, its mark and a
// cut message, a few KB each.
constexpr std::size_t MAX_SHOWN_BYTES = 16 * 1024;

void check_shown(const std::string& shown) {
    if (shown.size() > MAX_SHOWN_BYTES) {
        std::fprintf(stderr, "error text of %zu bytes\n", shown.size());
        std::abort();
    }
    // Escaping again changes nothing only when no control byte (but the
    // message's own line breaks and tabs) and no ill-formed byte is left.
    if (vorlix::base::escape_controls(shown, vorlix::base::EscapeStyle::Lines) != shown) {
        std::fprintf(stderr, "error text with a raw control byte:\n%s\n",
                     vorlix::base::escape_controls(shown).c_str());
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    auto config = vorlix::config::load_config_text(bytes);
    if (!config) {
        check_shown(config.error().display());
        (void)config.error().debug();
        return 0;
    }
    auto text = vorlix::config::serialize_config(*config);
    if (!text) {
        // Near the size bound the rendered text can pass it; it is then
        // refused rather than written as a file the next start rejects.
        if (text.error().display().ends_with("rendered text exceeds maximum size of 262144 bytes")) return 0;
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
