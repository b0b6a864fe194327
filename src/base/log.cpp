#include "base/log.hpp"

#include <memory>
#include <mutex>

namespace vorlix::base {
namespace {
std::mutex sink_mutex;
std::shared_ptr<const Sink> current_sink;
}  // namespace

void set_log_sink(Sink sink) {
    auto next = sink ? std::make_shared<const Sink>(std::move(sink)) : nullptr;
    std::lock_guard lock(sink_mutex);
    current_sink = std::move(next);
}

void log(Level level, std::string_view target, std::string_view text) {
    std::shared_ptr<const Sink> sink;
    {
        std::lock_guard lock(sink_mutex);
        sink = current_sink;
    }
    // Called outside the lock so a slow sink never blocks the installer.
    if (sink) (*sink)(Record{level, target, text});
}

}  // namespace vorlix::base
