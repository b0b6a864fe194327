#include "sim/replies.hpp"

#include <algorithm>
#include <sstream>

namespace vorlix::sim {

bool is_ultra(Model model) { return model != Model::Basic; }

namespace {

std::vector<std::string> split_lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

const char* BASIC_VERSION = "tinySA_v1.4-175-g1419a93";
const char* ULTRA_VERSION = "tinySA4_v1.4-143-g864bb27";

// The revision shows in two places: the hardware version line and, on newer
// firmware, the product line of info.
const char* hardware_line(Model model) {
    switch (model) {
        case Model::UltraZS406: return "HW Version:V0.4.6.1 ";
        case Model::UltraZS407: return "HW Version:V0.5.4 ";
        default: return "HW Version:V0.4.5.1.1 ";
    }
}

const char* product_line(const Options& options) {
    if (options.model == Model::Basic) return "tinySA v0.3";
    if (options.omit_revision) return "tinySA ULTRA";
    switch (options.model) {
        case Model::UltraZS406: return "tinySA ULTRA+ ZS406";
        case Model::UltraZS407: return "tinySA ULTRA+ ZS407";
        default: return "tinySA ULTRA ZS405";
    }
}

}  // namespace

std::vector<std::string> version_lines(const Options& options) {
    if (options.version_text) return split_lines(*options.version_text);
    if (!is_ultra(options.model)) return {BASIC_VERSION};
    if (options.omit_revision) return {ULTRA_VERSION};
    return {ULTRA_VERSION, hardware_line(options.model)};
}

std::vector<std::string> info_lines(const Options& options) {
    if (options.info_text) return split_lines(*options.info_text);
    const bool ultra = is_ultra(options.model);
    return {
        product_line(options),
        "Copyright (C) 2019-2024",
        "licensed under GPL. See: https://www.gnu.org/licenses/gpl-3.0.html",
        std::string("Version: ") + (ultra ? ULTRA_VERSION : BASIC_VERSION),
        "Build time: Mar 11 2024 - 09:41:07",
        "Kernel: 4.0.0",
        "Compiler: GCC 7.2.1 20170904 (release)",
        ultra ? "Architecture: ARMv7E-M Core Variant: Cortex-M4F"
              : "Architecture: ARMv6-M Core Variant: Cortex-M0",
        "Port Info: Advanced kernel mode",
        ultra ? "Platform: STM32F303xC Analog & DSP"
              : "Platform: STM32F072xB Entry Level Medium Density devices",
    };
}

std::vector<std::string> help_lines(const Options& options) {
    std::vector<std::string> words{"version", "zero", "sweep",       "pause", "resume", "repeat", "status",
                                   "marker",  "vbat", "leveloffset", "mode",  "scan",   "scanraw"};
    std::vector<std::string> other{"usart_cfg", "threads", "help", "info"};
    if (is_ultra(options.model)) other.insert(other.begin(), "ultra");
    auto drop = [&](std::vector<std::string>& list) {
        std::erase_if(list, [&](const std::string& w) {
            return std::find(options.faults.help_omit.begin(), options.faults.help_omit.end(), w) !=
                   options.faults.help_omit.end();
        });
    };
    drop(words);
    drop(other);
    auto join = [](const char* head, const std::vector<std::string>& list) {
        std::string line = head;
        for (const auto& w : list) line += " " + w;
        return line;
    };
    // A Basic lists everything on one line; an Ultra splits the list in two.
    if (!is_ultra(options.model)) {
        words.insert(words.end(), other.begin(), other.end());
        return {join("commands:", words)};
    }
    std::vector<std::string> lines{join("commands:", words), join("Other commands:", other)};
    return lines;
}

bool diagnostic_lines(const std::string& name, Model model, std::vector<std::string>& lines) {
    if (name == "vbat") {
        lines = {is_ultra(model) ? "4128 mV" : "4072 mV"};
    } else if (name == "leveloffset") {
        lines = {"leveloffset low 0.0", "leveloffset high 0.0", "leveloffset switch 0.0",
                 "leveloffset receive 0.0"};
    } else if (name == "usart_cfg") {
        lines = {"Serial: 115200 baud"};
    } else if (name == "threads") {
        lines = {"stklimit|   stack|   addr|refs|prio|    state|       name",
                 "20000200|2000026C|200005C0|   1| 128|  CURRENT|       main",
                 "20000C3C|20000CC4|20000CF8|   1|   1|    READY|       idle"};
    } else if (name == "marker") {
        lines = {"1 1 433920000 -2.80e+01"};
    } else if (name == "status") {
        lines = {"Resumed"};
    } else {
        return false;
    }
    return true;
}

std::uint64_t ceiling_hz(Model model, bool ultra_mode) {
    switch (model) {
        case Model::Basic: return 960'000'000;
        case Model::UltraZS406: return ultra_mode ? 5'400'000'000ULL : 900'000'000;
        default: return 800'000'000;
    }
}

std::uint32_t native_zero_offset(Model model) { return is_ultra(model) ? 174 : 128; }

InstrumentState power_up_state(Model model) {
    InstrumentState s;
    s.zero_offset = native_zero_offset(model);
    s.sweep_start_hz = 0;
    s.sweep_stop_hz = is_ultra(model) ? 800'000'000 : 350'000'000;
    s.sweep_points = is_ultra(model) ? 450 : 290;
    s.mode = "low input";
    return s;
}

}  // namespace vorlix::sim
