// Arbitrary bytes as shell replies: identification, the zero and sweep
// read-backs and the help listing must accept any text without fault.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "instrument/identify.hpp"
#include "instrument/sweep_setup.hpp"
#include "instrument/sweep_setup_parse.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vorlix::instrument;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::size_t cut = size == 0 ? 0 : data[0] % (size + 1);
    std::string version(text.substr(0, cut));
    std::string info(text.substr(cut));

    auto identity = identify_device(version, info);
    if (identity && (identity->version != version || identity->info != info ||
                     (!identity->is_ultra && identity->revision))) {
        std::abort();
    }

    (void)parse_zero_readback(text);
    if (auto range = parse_sweep_readback(text)) {
        if (!sweep_readback_confirms(text, range->start_hz, range->stop_hz)) {
            std::abort();
        }
    }
    for (std::string_view word : required_command_list(true, true)) {
        (void)reply_lists_command(text, word);
    }
    (void)check_required_commands(text, InstrumentFamily::Basic, true, true);
    return 0;
}
