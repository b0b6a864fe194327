#pragma once
// The instrument's side of a connection, played from fuzz input: reads hand
// out the bytes in pieces whose sizes the input chose, now and then a read
// is interrupted, and once the bytes run out the line falls silent the way a
// serial port does (TimedOut) or, if asked, ends. Writes are kept so a
// target can check what was sent.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <expected>
#include <span>
#include <string>
#include <vector>

#include "base/io_error.hpp"
#include "instrument/transport.hpp"

namespace vorlix::fuzz {

// Stops the run on a broken property, naming it.
inline void require(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "fuzz property broken: %s\n", what);
    std::abort();
}

// Cuts the input's first bytes into a read schedule: one count byte, then
// that many little-endian 16-bit sizes (at most 16). Size 0 interrupts one
// read; any other size is taken modulo `largest`, plus one.
struct ReadSchedule {
    std::vector<std::size_t> sizes;

    static ReadSchedule take(std::span<const std::uint8_t>& input, std::size_t largest) {
        ReadSchedule schedule;
        if (input.empty()) return schedule;
        const std::size_t count = 1 + input[0] % 16;
        input = input.subspan(1);
        for (std::size_t i = 0; i < count && input.size() >= 2; ++i) {
            const std::size_t value = input[0] | (std::size_t{input[1]} << 8);
            schedule.sizes.push_back(value == 0 ? 0 : 1 + value % largest);
            input = input.subspan(2);
        }
        return schedule;
    }
};

class InputStream final : public instrument::ByteStream {
public:
    InputStream(std::span<const std::uint8_t> bytes, ReadSchedule schedule, bool ends)
        : bytes_(bytes), schedule_(std::move(schedule)), ends_(ends) {}

    std::expected<std::size_t, base::IoError> read(std::span<std::uint8_t> buffer) override {
        if (position_ == bytes_.size()) {
            if (ends_) return 0;
            return std::unexpected(base::IoError::custom(base::IoErrorKind::TimedOut, "Operation timed out"));
        }
        std::size_t size =
            schedule_.sizes.empty() ? buffer.size() : schedule_.sizes[next_++ % schedule_.sizes.size()];
        // Never two interruptions in a row, so a schedule of zeros still ends.
        if (size == 0 && !interrupted_) {
            interrupted_ = true;
            return std::unexpected(
                base::IoError::custom(base::IoErrorKind::Interrupted, "Interrupted system call"));
        }
        interrupted_ = false;
        const std::size_t n =
            std::min({std::max<std::size_t>(size, 1), buffer.size(), bytes_.size() - position_});
        std::memcpy(buffer.data(), bytes_.data() + position_, n);
        position_ += n;
        return n;
    }

    std::expected<std::size_t, base::IoError> write_some(std::span<const std::uint8_t> bytes) override {
        written_.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        return bytes.size();
    }

    std::expected<void, base::IoError> flush() override { return {}; }

    // How many of the bytes reads have handed out so far.
    std::size_t position() const { return position_; }
    std::span<const std::uint8_t> bytes() const { return bytes_; }
    const std::string& written() const { return written_; }

private:
    std::span<const std::uint8_t> bytes_;
    ReadSchedule schedule_;
    bool ends_;
    std::size_t position_ = 0;
    std::size_t next_ = 0;
    bool interrupted_ = false;
    std::string written_;
};

}  // namespace vorlix::fuzz
