#include "sim/commands.hpp"

#include <charconv>
#include <cstdio>

#include "sim/replies.hpp"
#include "sim/spectrum.hpp"

namespace vorlix::sim {

bool line_matches(std::string_view line, std::string_view command) {
    if (command.ends_with('$')) return line == command.substr(0, command.size() - 1);
    if (command.empty() || !line.starts_with(command)) return false;
    return line.size() == command.size() || line[command.size()] == ' ';
}

bool line_may_match(std::string_view typed, std::string_view command) {
    if (command.empty()) return false;
    const bool whole = command.ends_with('$');
    const std::string_view name = whole ? command.substr(0, command.size() - 1) : command;
    if (name.starts_with(typed)) return true;
    return !whole && line_matches(typed, name);
}

std::vector<std::string> split_words(std::string_view line) {
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && line[i] == ' ') ++i;
        std::size_t j = i;
        while (j < line.size() && line[j] != ' ') ++j;
        if (j > i) words.emplace_back(line.substr(i, j - i));
        i = j;
    }
    return words;
}

std::optional<std::uint64_t> parse_unsigned(std::string_view word) {
    std::uint64_t value = 0;
    if (word.empty() || word[0] < '0' || word[0] > '9') return std::nullopt;
    auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (ec != std::errc{} || end != word.data() + word.size()) return std::nullopt;
    return value;
}

namespace {

using Lines = std::vector<std::string>;

struct Context {
    const std::vector<std::string>& words;
    const Options& options;
    InstrumentState& state;
    std::uint64_t text_scan_index;

    std::size_t argc() const { return words.size() - 1; }
    const std::string& arg(std::size_t i) const { return words[i + 1]; }
};

Lines zero(Context& c) {
    if (c.argc() == 1) {
        if (auto level = parse_unsigned(c.arg(0)); level && *level <= 65535) {
            c.state.zero_offset = static_cast<std::uint32_t>(*level);
            return {};
        }
    }
    Lines lines{"usage: zero {level}"};
    if (c.options.faults.zero_readback_missing) return lines;
    const std::uint32_t shown = c.options.faults.zero_readback.value_or(c.state.zero_offset);
    lines.push_back(std::to_string(shown) + "dBm");
    return lines;
}

Lines repeat(Context& c) {
    if (c.argc() == 1) {
        if (auto n = parse_unsigned(c.arg(0)); n && *n >= 1 && *n <= 1000) {
            c.state.repeat = static_cast<std::uint32_t>(*n);
            return {};
        }
    }
    return {"usage: repeat {1..1000}"};
}

std::uint64_t clamp_to_ceiling(const Context& c, std::uint64_t hz) {
    return std::min(hz, ceiling_hz(c.options.model, c.state.ultra_mode));
}

Lines sweep_usage() {
    return {"usage: sweep {start(Hz)} [stop(Hz)] [points]", "\tsweep {start|stop|center|span} {freq(Hz)}"};
}

Lines sweep(Context& c) {
    auto& s = c.state;
    if (c.argc() == 0) {
        const std::int64_t shown =
            static_cast<std::int64_t>(s.sweep_stop_hz) + c.options.faults.sweep_stop_offset;
        const std::uint64_t stop = shown < 0 ? 0 : static_cast<std::uint64_t>(shown);
        return {std::to_string(s.sweep_start_hz) + " " + std::to_string(stop) + " " +
                std::to_string(s.sweep_points)};
    }
    if (c.argc() == 2 && !parse_unsigned(c.arg(0))) {
        auto hz = parse_unsigned(c.arg(1));
        if (!hz) return sweep_usage();
        const std::string& which = c.arg(0);
        if (which == "start") {
            s.sweep_start_hz = clamp_to_ceiling(c, *hz);
        } else if (which == "stop") {
            s.sweep_stop_hz = clamp_to_ceiling(c, *hz);
        } else if (which == "center" || which == "span") {
            const std::uint64_t center = which == "center" ? *hz : (s.sweep_start_hz + s.sweep_stop_hz) / 2;
            const std::uint64_t half = which == "span" ? *hz / 2 : (s.sweep_stop_hz - s.sweep_start_hz) / 2;
            s.sweep_start_hz = center > half ? center - half : 0;
            s.sweep_stop_hz = clamp_to_ceiling(c, center + half);
        } else {
            return sweep_usage();
        }
        return {};
    }
    if (c.argc() >= 1 && c.argc() <= 3) {
        std::optional<std::uint64_t> v[3];
        for (std::size_t i = 0; i < c.argc(); ++i) {
            v[i] = parse_unsigned(c.arg(i));
            if (!v[i]) return sweep_usage();
        }
        s.sweep_start_hz = clamp_to_ceiling(c, *v[0]);
        if (v[1]) s.sweep_stop_hz = clamp_to_ceiling(c, *v[1]);
        if (v[2]) {
            if (*v[2] < 1 || *v[2] > MAX_POINTS) return sweep_usage();
            s.sweep_points = static_cast<std::uint32_t>(*v[2]);
        }
        return {};
    }
    return sweep_usage();
}

Lines mode(Context& c) {
    const bool ultra = is_ultra(c.options.model);
    auto io = [](const std::string& w) { return w == "input" || w == "output"; };
    if (ultra) {
        // The Ultra has one input path; "low" is accepted for compatibility.
        if (c.argc() == 1 && io(c.arg(0))) {
            c.state.mode = "low " + c.arg(0);
            return {};
        }
        if (c.argc() == 2 && c.arg(0) == "low" && io(c.arg(1))) {
            c.state.mode = "low " + c.arg(1);
            return {};
        }
        return {"usage: mode [low] input|output"};
    }
    if (c.argc() == 2 && (c.arg(0) == "low" || c.arg(0) == "high") && io(c.arg(1))) {
        c.state.mode = c.arg(0) + " " + c.arg(1);
        return {};
    }
    return {"usage: mode low|high input|output"};
}

Lines ultra(Context& c) {
    if (c.argc() == 1 && (c.arg(0) == "on" || c.arg(0) == "off")) {
        c.state.ultra_mode = c.arg(0) == "on";
        c.state.sweep_stop_hz = clamp_to_ceiling(c, c.state.sweep_stop_hz);
        c.state.sweep_start_hz = clamp_to_ceiling(c, c.state.sweep_start_hz);
        return {};
    }
    return {"usage: ultra off|on"};
}

std::string format_level(double dbm) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", dbm);
    return text;
}

Lines text_scan(Context& c) {
    const Lines usage{"usage: scan {start(Hz)} {stop(Hz)} [points] [outmask]"};
    if (c.argc() < 2 || c.argc() > 4) return usage;
    std::uint64_t v[4] = {0, 0, c.state.sweep_points, 0};
    for (std::size_t i = 0; i < c.argc(); ++i) {
        auto n = parse_unsigned(c.arg(i));
        if (!n) return usage;
        v[i] = *n;
    }
    const auto [start, stop, points, mask] = v;
    if (points < 1 || points > MAX_POINTS || stop < start) return usage;
    c.state.sweep_start_hz = start;
    c.state.sweep_stop_hz = stop;
    c.state.sweep_points = static_cast<std::uint32_t>(points);
    // Text scans draw their noise from a range of indices apart from scanraw's.
    const auto levels = sweep_levels(c.options.seed, (1ULL << 63) | c.text_scan_index, start, stop, points);
    const std::uint64_t step = point_step_hz(start, stop, points);
    Lines lines;
    if ((mask & 7) == 0) return lines;
    for (std::uint64_t i = 0; i < points; ++i) {
        std::string line;
        if (mask & 1) line += std::to_string(start + i * step) + " ";
        if (mask & 2) line += format_level(levels[i]) + " ";
        if (mask & 4) line += format_level(levels[i]) + " ";
        lines.push_back(std::move(line));
    }
    return lines;
}

}  // namespace

std::optional<ScanrawRequest> parse_scanraw(const std::vector<std::string>& words,
                                            const InstrumentState& state) {
    if (words.size() < 3 || words.size() > 4) return std::nullopt;
    auto start = parse_unsigned(words[1]);
    auto stop = parse_unsigned(words[2]);
    auto points =
        words.size() == 4 ? parse_unsigned(words[3]) : std::optional<std::uint64_t>(state.sweep_points);
    if (!start || !stop || !points || *stop < *start || *points < 1 || *points > MAX_POINTS)
        return std::nullopt;
    return ScanrawRequest{*start, *stop, *points};
}

std::vector<std::string> run_text_command(const std::vector<std::string>& words, const Options& options,
                                          InstrumentState& state, std::uint64_t text_scan_index) {
    Context c{words, options, state, text_scan_index};
    const std::string& name = words.front();
    if (name == "version") return version_lines(options);
    if (name == "info") return info_lines(options);
    if (name == "help") return help_lines(options);
    if (name == "zero") return zero(c);
    if (name == "repeat") return repeat(c);
    if (name == "sweep") return sweep(c);
    if (name == "mode") return mode(c);
    if (name == "scan") return text_scan(c);
    if (name == "ultra" && is_ultra(options.model)) return ultra(c);
    if (name == "pause" || name == "resume") {
        state.paused = name == "pause";
        return {};
    }
    Lines lines;
    if (diagnostic_lines(name, options.model, lines)) return lines;
    return {name + "?"};
}

}  // namespace vorlix::sim
