#pragma once
// Which part of a sweep a formatting thread takes next. Parts are taken in
// order and never more than `ahead` past the first part not yet written, so
// a writer slower than the formatting keeps only a few parts in memory
// rather than the text of the whole sweep.

#include <atomic>
#include <cstddef>
#include <optional>

namespace vorlix::scan_csv {

class PartClaims {
public:
    PartClaims(std::size_t count, std::size_t ahead) : count_(count), ahead_(ahead) {}

    // The next part, waiting while it is too far ahead of the writing;
    // nullopt once every part is taken or the writing stopped.
    std::optional<std::size_t> claim() { return next(true); }

    // The next part if it may be taken now, else nullopt.
    std::optional<std::size_t> try_claim() { return next(false); }

    // The first `parts` parts are written.
    void written(std::size_t parts) {
        written_.store(parts, std::memory_order_release);
        written_.notify_all();
    }

    // No part not yet taken will be; waiting threads go.
    void stop() {
        next_.store(count_, std::memory_order_relaxed);
        // Written never reaches the count while a thread waits, so the
        // change wakes every one of them.
        written(count_);
    }

private:
    std::optional<std::size_t> next(bool wait) {
        for (;;) {
            std::size_t index = next_.load(std::memory_order_relaxed);
            const std::size_t written = written_.load(std::memory_order_acquire);
            if (index >= count_) return std::nullopt;
            if (index >= written + ahead_) {
                if (!wait) return std::nullopt;
                written_.wait(written, std::memory_order_acquire);
                continue;
            }
            if (next_.compare_exchange_weak(index, index + 1, std::memory_order_relaxed)) return index;
        }
    }

    const std::size_t count_;
    const std::size_t ahead_;
    std::atomic<std::size_t> next_{0};
    std::atomic<std::size_t> written_{0};
};

}  // namespace vorlix::scan_csv
