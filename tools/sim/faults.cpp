#include <charconv>
#include <string>

#include "sim/sim.hpp"

namespace vorlix::sim {

namespace {

template <typename T>
bool parse_number(std::string_view text, T& value) {
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && ec == std::errc{} && end == text.data() + text.size();
}

// Filler that can never be mistaken for the frame start.
std::string garbage(std::size_t n) {
    static constexpr std::string_view pattern = "noise\r\n";
    std::string bytes;
    bytes.reserve(n);
    for (std::size_t i = 0; i < n; ++i) bytes += pattern[i % pattern.size()];
    return bytes;
}

}  // namespace

const char* fault_help() {
    return "faults (--fault NAME[=ARG], repeatable; a CMD matches a line that is CMD or\n"
           "starts with CMD and a blank, a CMD ending in \"$\" only the whole line):\n"
           "  blank=CMD             the first replies to CMD carry only \"\\r\\n\" and the prompt, no echo\n"
           "  blank-times=N         how many CMD replies blank=CMD empties, over all sessions (1)\n"
           "  reject=CMD            every CMD line is refused with the reject reply and has no effect\n"
           "  reject-reply=TEXT     the line a rejected command gets (\"error: command rejected\")\n"
           "  zero-readback=N       \"zero\" alone reports N dBm instead of the offset in force\n"
           "  zero-missing          \"zero\" alone prints its usage line and no offset\n"
           "  help-omit=WORD        WORD is left out of the help reply (repeatable)\n"
           "  missing-end           scanraw frames end without \"}\"; the prompt follows the records\n"
           "  record-delta=N        scanraw frames hold points + N records (N may be negative)\n"
           "  garbage=N             N bytes of text between the scanraw echo and the \"{\"\n"
           "  abort=N               scanraw frames end with \"}\" after N records and no prompt\n"
           "  from-sweep=N          the frame faults above start at scanraw reply N (from 0)\n"
           "  stall=CMD             after a CMD line the shell goes silent and ignores its input\n"
           "  disconnect=N          the connection is closed once a session has sent N bytes\n"
           "  disconnect-after=CMD  disconnect=N counts from the line end echoed for the first CMD\n"
           "  sweep-stop-offset=N   \"sweep\" alone reports the stop frequency plus N Hz\n";
}

bool apply_fault(std::string_view spec, Faults& f, std::string& error) {
    const auto eq = spec.find('=');
    const std::string_view name = spec.substr(0, eq);
    const bool has_arg = eq != std::string_view::npos;
    const std::string_view arg = has_arg ? spec.substr(eq + 1) : std::string_view{};
    auto need_text = [&](std::string& field) {
        if (arg.empty()) return false;
        field = std::string(arg);
        return true;
    };
    auto need_flag = [&](bool& field) {
        field = true;
        return !has_arg;
    };
    bool ok = false;
    std::uint64_t n = 0;
    std::int64_t signed_n = 0;
    std::uint32_t n32 = 0;
    if (name == "blank") {
        ok = need_text(f.blank_command);
    } else if (name == "blank-times") {
        ok = parse_number(arg, f.blank_times);
    } else if (name == "reject") {
        ok = need_text(f.reject_command);
    } else if (name == "reject-reply") {
        f.reject_reply = std::string(arg);
        ok = has_arg;
    } else if (name == "zero-readback") {
        ok = parse_number(arg, n32);
        if (ok) f.zero_readback = n32;
    } else if (name == "zero-missing") {
        ok = need_flag(f.zero_readback_missing);
    } else if (name == "help-omit") {
        ok = !arg.empty();
        if (ok) f.help_omit.emplace_back(arg);
    } else if (name == "from-sweep") {
        ok = parse_number(arg, f.frame_faults_from_sweep);
    } else if (name == "missing-end") {
        ok = need_flag(f.missing_end);
    } else if (name == "record-delta") {
        ok = parse_number(arg.starts_with('+') ? arg.substr(1) : arg, f.record_delta);
    } else if (name == "garbage") {
        ok = parse_number(arg, n);
        if (ok) f.garbage_before_frame = garbage(static_cast<std::size_t>(n));
    } else if (name == "abort") {
        ok = parse_number(arg, n);
        if (ok) f.abort_after_records = n;
    } else if (name == "stall") {
        ok = need_text(f.stall_command);
    } else if (name == "disconnect") {
        ok = parse_number(arg, n);
        if (ok) f.disconnect_after_bytes = n;
    } else if (name == "disconnect-after") {
        ok = need_text(f.disconnect_command);
    } else if (name == "sweep-stop-offset") {
        ok = parse_number(arg.starts_with('+') ? arg.substr(1) : arg, signed_n);
        if (ok) f.sweep_stop_offset = signed_n;
    } else {
        error = "unknown fault: " + std::string(name);
        return false;
    }
    if (!ok) error = "bad argument for fault " + std::string(name) + ": \"" + std::string(arg) + "\"";
    return ok;
}

}  // namespace vorlix::sim
