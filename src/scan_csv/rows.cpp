#include "scan_csv/rows.hpp"

#include <algorithm>
#include <atomic>
#include <memory>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

#include "scan_csv/number_format.hpp"

namespace vorlix::scan_csv {

namespace {

// The longest line: two numbers, a comma and a line feed.
constexpr std::size_t MAX_LINE_CHARS = 2 * MAX_NUMBER_CHARS + 2;
// Most lines are two short decimals; a part grows past this only for
// numbers of unusual length.
constexpr std::size_t USUAL_LINE_CHARS = 32;

// A growing text that leaves its spare room uninitialised.
class Text {
public:
    char* room(std::size_t size) {
        if (capacity_ - size_ < size) grow(size);
        return data_.get() + size_;
    }
    void keep_until(const char* end) { size_ = static_cast<std::size_t>(end - data_.get()); }
    std::string_view view() const { return {data_.get(), size_}; }
    void release() { *this = Text{}; }

private:
    void grow(std::size_t size) {
        const std::size_t capacity = std::max(2 * capacity_, size_ + size);
        auto data = std::make_unique_for_overwrite<char[]>(capacity);
        std::copy_n(data_.get(), size_, data.get());
        data_ = std::move(data);
        capacity_ = capacity;
    }

    std::unique_ptr<char[]> data_;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

Text format_lines(std::span<const instrument::Sample> samples) {
    Text text;
    text.room(samples.size() * USUAL_LINE_CHARS + MAX_LINE_CHARS);
    for (const instrument::Sample& sample : samples) {
        char* p = text.room(MAX_LINE_CHARS);
        p = format_number(p, sample.frequency_mhz);
        *p++ = ',';
        p = format_number(p, sample.level_dbm);
        *p++ = '\n';
        text.keep_until(p);
    }
    return text;
}

struct Part {
    Text text;
    std::atomic<bool> ready{false};
};

// Parts formatted and not yet written, at most: the formatting threads may
// run ahead of a slow sink only this far, so a long sweep never holds its
// whole text at once.
constexpr std::size_t MAX_PARTS_AHEAD = MAX_FORMAT_THREADS;

// The parts of one sweep. Any thread claims the next part nobody has taken
// yet, as long as it lies within MAX_PARTS_AHEAD of the next part to write;
// the writing thread, while its next part in order is not ready, formats
// unclaimed ones itself rather than wait.
class PartedLines {
public:
    explicit PartedLines(std::span<const instrument::Sample> samples)
        : samples_(samples), parts_((samples.size() + ROWS_PER_PART - 1) / ROWS_PER_PART) {}

    std::size_t count() const { return parts_.size(); }

    // Formats unclaimed parts until none is left, waiting while the writing
    // is too far behind.
    void help() {
        while (auto index = claim(true)) format(*index);
    }

    // Waits for part `index` (formatting others meanwhile) and gives it up
    // to the caller.
    std::string_view take(std::size_t index) {
        Part& part = parts_[index];
        while (!part.ready.load(std::memory_order_acquire)) {
            if (auto other = claim(false)) {
                format(*other);
            } else {
                part.ready.wait(false, std::memory_order_acquire);
            }
        }
        return part.text.view();
    }

    // Parts are dropped in order, each once it is written.
    void drop(std::size_t index) {
        parts_[index].text.release();
        dropped_.fetch_add(1);
        dropped_.notify_all();
    }

    // No part not yet claimed will be formatted; a helper waiting for room
    // wakes up and ends.
    void stop() {
        next_.store(parts_.size());
        dropped_.fetch_add(1);
        dropped_.notify_all();
    }

private:
    // The next unclaimed part within reach of the writing, if any; with
    // `wait`, waits for the writing to make room rather than give up.
    std::optional<std::size_t> claim(bool wait) {
        for (;;) {
            std::size_t next = next_.load();
            if (next >= parts_.size()) return std::nullopt;
            const std::size_t dropped = dropped_.load();
            if (next - std::min(next, dropped) >= MAX_PARTS_AHEAD) {
                if (!wait) return std::nullopt;
                dropped_.wait(dropped);
                continue;
            }
            if (next_.compare_exchange_weak(next, next + 1)) return next;
        }
    }

    void format(std::size_t index) {
        const std::size_t first = index * ROWS_PER_PART;
        Part& part = parts_[index];
        part.text = format_lines(samples_.subspan(first, std::min(ROWS_PER_PART, samples_.size() - first)));
        part.ready.store(true, std::memory_order_release);
        part.ready.notify_all();
    }

    std::span<const instrument::Sample> samples_;
    std::vector<Part> parts_;
    std::atomic<std::size_t> next_{0};
    std::atomic<std::size_t> dropped_{0};  // parts written, counting a stop as one more
};

}  // namespace

std::expected<void, base::IoError> write_rows(std::span<const instrument::Sample> samples,
                                              const RowSink& sink) {
    if (samples.size() <= ROWS_PER_PART) {
        Text text = format_lines(samples);
        return sink(text.view());
    }
    PartedLines lines(samples);
    // Declared after the parts, so the helpers are joined before the parts
    // go away, also when the sink fails.
    std::vector<std::jthread> helpers;
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const std::size_t wanted = std::min<std::size_t>({MAX_FORMAT_THREADS, cores, lines.count()}) - 1;
    for (std::size_t i = 0; i < wanted; ++i) {
        // Without a thread the remaining parts are formatted by the others.
        try {
            helpers.emplace_back([&lines] { lines.help(); });
        } catch (const std::system_error&) {
            break;
        }
    }
    for (std::size_t index = 0; index < lines.count(); ++index) {
        if (auto ok = sink(lines.take(index)); !ok) {
            lines.stop();
            return ok;
        }
        lines.drop(index);
    }
    return {};
}

}  // namespace vorlix::scan_csv
