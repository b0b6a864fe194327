#include "scan_csv/rows.hpp"

#include <algorithm>
#include <atomic>
#include <memory>
#include <system_error>
#include <thread>
#include <vector>

#include "scan_csv/number_format.hpp"
#include "scan_csv/part_claims.hpp"

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

std::size_t part_count(std::span<const instrument::Sample> samples) {
    return (samples.size() + ROWS_PER_PART - 1) / ROWS_PER_PART;
}

// The parts of one sweep. Any thread claims the next part nobody has taken
// yet, at most `ahead` past the writing; the writing thread, while its next
// part in order is not ready, formats claimable ones itself rather than wait.
class PartedLines {
public:
    PartedLines(std::span<const instrument::Sample> samples, std::size_t ahead)
        : samples_(samples), parts_(part_count(samples)), claims_(parts_.size(), ahead) {}

    std::size_t count() const { return parts_.size(); }

    // Formats parts as the writing lets it until none is left.
    void help() {
        while (const auto index = claims_.claim()) format(*index);
    }

    // Waits for part `index` (formatting others meanwhile) and gives it up
    // to the caller.
    std::string_view take(std::size_t index) {
        Part& part = parts_[index];
        while (!part.ready.load(std::memory_order_acquire)) {
            if (const auto other = claims_.try_claim()) {
                format(*other);
            } else {
                part.ready.wait(false, std::memory_order_acquire);
            }
        }
        return part.text.view();
    }

    // Part `index` is written: its text goes, and the helpers may go on.
    void drop(std::size_t index) {
        parts_[index].text.release();
        claims_.written(index + 1);
    }

    // No part not yet claimed will be formatted.
    void stop() { claims_.stop(); }

private:
    void format(std::size_t index) {
        const std::size_t first = index * ROWS_PER_PART;
        Part& part = parts_[index];
        part.text = format_lines(samples_.subspan(first, std::min(ROWS_PER_PART, samples_.size() - first)));
        part.ready.store(true, std::memory_order_release);
        part.ready.notify_all();
    }

    std::span<const instrument::Sample> samples_;
    std::vector<Part> parts_;
    PartClaims claims_;
};

}  // namespace

std::expected<void, base::IoError> write_rows(std::span<const instrument::Sample> samples,
                                              const RowSink& sink) {
    if (samples.size() <= ROWS_PER_PART) {
        Text text = format_lines(samples);
        return sink(text.view());
    }
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const std::size_t threads = std::min<std::size_t>({MAX_FORMAT_THREADS, cores, part_count(samples)});
    // Two parts a thread keep every thread busy while the sink takes one.
    PartedLines lines(samples, 2 * threads);
    // Declared after the parts, so the helpers are joined before the parts
    // go away, also when the sink fails.
    std::vector<std::jthread> helpers;
    for (std::size_t i = 0; i + 1 < threads; ++i) {
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
