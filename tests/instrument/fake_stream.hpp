#pragma once
// A scripted in-memory byte stream for driving the shell layer without
// hardware.
//
//   fake::FakeScript script;
//   script.reply(" version\r\ntinySA4_v1.4\r\nch>");   // what reads return
//   ShellConnection shell = script.shell(65536);        // pauses recorded
//   ... run commands ...
//   EXPECT_EQ(script.written, "version\r");
//
// Reads take queued steps in order: a chunk of bytes (split when the
// caller's buffer is smaller; the rest stays first in line), an error, or an
// end of stream. With the queue empty a read fails like a silent serial port
// (TimedOut, "Operation timed out") unless `exhausted_eof` is set.
//
// `respond` makes the script behave like an instrument: each time a "\r" is
// written, it is called with the command line before it and its result is
// queued as a chunk. `instrument_reply` builds what the real shell sends.
//
// Every read, write, flush and pause is also logged in `events` ("read",
// "write version", "write \r", "flush", "pause 20") so tests can check order.

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <expected>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/io_error.hpp"
#include "instrument/shell.hpp"
#include "instrument/transport.hpp"

namespace vorlix::instrument::fake {

// The shell's answer to `command` as the instrument sends it after its
// previous prompt "ch> ": the echo, "\r\n", the output, then the next prompt.
inline std::string instrument_reply(std::string_view command, std::string_view output) {
    return std::string(command) + "\r\n" + std::string(output) + "ch> ";
}

// What the instrument sends when a connection opens.
inline constexpr std::string_view GREETING = "\r\ntinySA Shell\r\nch> ";

struct FakeScript {
    struct Step {
        std::string bytes;  // used when neither error nor eof
        std::optional<base::IoError> error;
        bool eof = false;
    };

    // ---- what reads return ----
    std::deque<Step> reads;
    bool exhausted_eof = false;

    void reply(std::string_view bytes) { reads.push_back(Step{std::string(bytes), {}, false}); }
    void fail_read(base::IoError error) { reads.push_back(Step{{}, std::move(error), false}); }
    void timeout() { fail_read(base::IoError::custom(base::IoErrorKind::TimedOut, "Operation timed out")); }
    void eof() { reads.push_back(Step{{}, {}, true}); }

    // ---- what writes do ----
    // Each write_some call takes the next outcome, if any: an error, or a
    // count limit (0 means "wrote nothing"). Without one it writes everything
    // up to `max_write_chunk` bytes.
    struct WriteOutcome {
        std::optional<base::IoError> error;
        std::size_t limit = 0;
    };
    std::deque<WriteOutcome> write_outcomes;
    std::size_t max_write_chunk = std::numeric_limits<std::size_t>::max();
    std::optional<base::IoError> flush_error;

    void fail_write(base::IoError error) { write_outcomes.push_back({std::move(error), 0}); }
    void short_write(std::size_t limit) { write_outcomes.push_back({std::nullopt, limit}); }

    // ---- what happened ----
    std::string written;              // every byte accepted, in order
    std::vector<std::string> writes;  // the bytes accepted by each write call
    int flushes = 0;
    std::vector<std::chrono::milliseconds> pauses;
    std::vector<std::string> events;

    // ---- instrument behaviour ----
    std::function<std::string(std::string_view command)> respond;
    std::string line_;  // command bytes since the last "\r"

    // A sleeper that records instead of sleeping.
    Sleeper sleeper() {
        return [this](std::chrono::milliseconds pause) {
            pauses.push_back(pause);
            events.push_back("pause " + std::to_string(pause.count()));
        };
    }

    // A stream over this script; the script must outlive it.
    std::unique_ptr<ByteStream> stream();
    // A shell connection over this script with the recording sleeper.
    ShellConnection shell(std::size_t max_response_bytes = 65536) {
        return ShellConnection(stream(), max_response_bytes, sleeper());
    }
};

class FakeStream final : public ByteStream {
public:
    explicit FakeStream(FakeScript& script) : script_(script) {}

    std::expected<std::size_t, base::IoError> read(std::span<std::uint8_t> buffer) override {
        script_.events.emplace_back("read");
        if (script_.reads.empty()) {
            if (script_.exhausted_eof) return 0;
            return std::unexpected(base::IoError::custom(base::IoErrorKind::TimedOut, "Operation timed out"));
        }
        FakeScript::Step& step = script_.reads.front();
        if (step.error) {
            base::IoError error = *step.error;
            script_.reads.pop_front();
            return std::unexpected(error);
        }
        if (step.eof) {
            script_.reads.pop_front();
            return 0;
        }
        std::size_t n = std::min(buffer.size(), step.bytes.size());
        for (std::size_t i = 0; i < n; ++i) buffer[i] = static_cast<std::uint8_t>(step.bytes[i]);
        step.bytes.erase(0, n);
        if (step.bytes.empty()) script_.reads.pop_front();
        return n;
    }

    std::expected<std::size_t, base::IoError> write_some(std::span<const std::uint8_t> bytes) override {
        std::size_t n = std::min(bytes.size(), script_.max_write_chunk);
        if (!script_.write_outcomes.empty()) {
            FakeScript::WriteOutcome outcome = script_.write_outcomes.front();
            script_.write_outcomes.pop_front();
            if (outcome.error) {
                script_.events.push_back("write failed");
                return std::unexpected(*outcome.error);
            }
            n = std::min(n, outcome.limit);
        }
        std::string chunk(reinterpret_cast<const char*>(bytes.data()), n);
        script_.events.push_back("write " + chunk);
        script_.written += chunk;
        script_.writes.push_back(chunk);
        for (char c : chunk) {
            if (c != '\r') {
                script_.line_ += c;
                continue;
            }
            if (script_.respond) script_.reply(script_.respond(script_.line_));
            script_.line_.clear();
        }
        return n;
    }

    std::expected<void, base::IoError> flush() override {
        script_.events.emplace_back("flush");
        ++script_.flushes;
        if (script_.flush_error) return std::unexpected(*script_.flush_error);
        return {};
    }

private:
    FakeScript& script_;
};

inline std::unique_ptr<ByteStream> FakeScript::stream() { return std::make_unique<FakeStream>(*this); }

}  // namespace vorlix::instrument::fake
