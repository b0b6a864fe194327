#pragma once
// The host side of the instrument's line-oriented shell: a command line
// ended by one carriage return goes out, and the reply is every byte up to
// the next prompt "ch>".
//
// The real shell echoes each printable byte of a command (the carriage
// return comes back as "\r\n"), and its prompt "ch> " has a trailing blank,
// so a reply usually begins with that blank, then the echo, then the output.
// Replies are returned as received; the parsers skip the echo themselves.
//
// Commands are strictly sequential. Bytes read past a prompt stay in the
// connection's buffer and begin the next reply; only `drain_to_prompt` at the
// start of a run discards pending output.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "base/io_error.hpp"
#include "instrument/errors.hpp"
#include "instrument/transport.hpp"

namespace vorlix::instrument {

inline constexpr std::string_view PROMPT = "ch>";

// Blocks the calling thread for a pause of the protocol. Injected so tests
// can observe the pauses without sleeping.
using Sleeper = std::function<void(std::chrono::milliseconds)>;

// The real sleeper; a zero pause returns at once.
void sleep_pause(std::chrono::milliseconds pause);

class ShellConnection {
public:
    static constexpr std::size_t BUFFER_SIZE = 8192;

    // `max_response_bytes` is the reply limit (`serial.max_response_bytes`).
    // An empty sleeper means `sleep_pause`.
    ShellConnection(std::unique_ptr<ByteStream> stream, std::size_t max_response_bytes, Sleeper sleeper = {});
    ShellConnection(Transport transport, std::size_t max_response_bytes, Sleeper sleeper = {});

    ShellConnection(ShellConnection&&) noexcept = default;
    ShellConnection& operator=(ShellConnection&&) noexcept = default;

    // Fills `out` exactly through the read buffer. A stream error is returned
    // as it is, an end of stream first gives UnexpectedEof "failed to fill
    // whole buffer"; Interrupted reads are repeated.
    std::expected<void, base::IoError> read_exact(std::span<std::uint8_t> out);

    std::size_t max_response_bytes() const { return max_response_bytes_; }
    // Bytes already read from the stream and not yet consumed.
    std::size_t buffered() const { return filled_ - consumed_; }

    // Writes go straight to the stream; the read buffer is not touched.
    ByteStream& stream() { return *stream_; }

    // Sleeps `pause` through the sleeper; zero sleeps nothing.
    void pause(std::chrono::milliseconds pause);

private:
    std::unique_ptr<ByteStream> stream_;
    std::unique_ptr<std::uint8_t[]> buffer_;
    std::size_t consumed_ = 0;
    std::size_t filled_ = 0;
    std::size_t max_response_bytes_;
    Sleeper sleeper_;
};

// Sends `command` then "\r" as a separate write, then flushes. An empty
// command or one with a byte outside 0x20..=0x7E fails with InvalidCommand
// and sends nothing; a stream failure is Io.
std::expected<void, TransportError> write_command(ShellConnection& shell, std::string_view command);

// Everything up to the next prompt, the prompt removed: raw bytes, not
// necessarily UTF-8. A reply whose length reaches the limit before the
// prompt ends fails with ResponseTooLong (the prompt is tested first, so
// n bytes need n + 3 <= limit). A read failure is Io; the partial reply is
// dropped.
std::expected<std::string, TransportError> read_until_prompt(ShellConnection& shell);

// Write, pause `after_write`, read the reply, pause `after_reply`, and return
// the reply as UTF-8 text (invalid sequences become U+FFFD). A failed write
// or read returns at once, without the pauses that would follow it.
std::expected<std::string, TransportError> run_command(ShellConnection& shell, std::string_view command,
                                                       std::chrono::milliseconds after_write,
                                                       std::chrono::milliseconds after_reply);

// `run_command`, then refuses the reply with CommandRejected (the command
// and the whole reply) when one of its lines, trimmed and lower-cased,
// starts with "error:", "usage:" or "unknown command".
std::expected<std::string, TransportError> command_checked(ShellConnection& shell, std::string_view command,
                                                           std::chrono::milliseconds after_write,
                                                           std::chrono::milliseconds after_reply);

// Reads and discards one reply. Silence (TimedOut or WouldBlock) counts as
// success; other failures, ResponseTooLong included, are returned.
std::expected<void, TransportError> drain_to_prompt(ShellConnection& shell);

// True when a line of the reply reports that the command was refused.
bool reply_rejects(std::string_view reply);

}  // namespace vorlix::instrument
