#pragma once
// The program's logging facade. Code logs records (level, target, text)
// without knowing where they go; the application installs the sink that
// writes them to the log file. Until a sink is installed records are dropped.

#include <functional>
#include <string>
#include <string_view>

namespace vorlix::base {

enum class Level { Error = 1, Warn = 2, Info = 3, Debug = 4, Trace = 5 };

struct Record {
    Level level;
    std::string_view target;  // e.g. "vorlix::scan"
    std::string_view text;
};

using Sink = std::function<void(const Record&)>;

// Replaces the sink; an empty function drops records again.
void set_log_sink(Sink sink);
void log(Level level, std::string_view target, std::string_view text);

}  // namespace vorlix::base
