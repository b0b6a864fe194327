#include "instrument/shell.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <thread>

#include "base/text.hpp"

namespace vorlix::instrument {

using base::IoError;
using base::IoErrorKind;

void sleep_pause(std::chrono::milliseconds pause) {
    if (pause.count() > 0) std::this_thread::sleep_for(pause);
}

ShellConnection::ShellConnection(std::unique_ptr<ByteStream> stream, std::size_t max_response_bytes,
                                 Sleeper sleeper)
    : stream_(std::move(stream)),
      buffer_(std::make_unique<std::uint8_t[]>(BUFFER_SIZE)),
      max_response_bytes_(max_response_bytes),
      sleeper_(sleeper ? std::move(sleeper) : Sleeper(sleep_pause)) {}

ShellConnection::ShellConnection(Transport transport, std::size_t max_response_bytes, Sleeper sleeper)
    : ShellConnection(std::make_unique<Transport>(std::move(transport)), max_response_bytes,
                      std::move(sleeper)) {}

std::expected<void, IoError> ShellConnection::read_exact(std::span<std::uint8_t> out) {
    std::size_t done = 0;
    while (done < out.size()) {
        if (consumed_ == filled_) {
            auto got = stream_->read(std::span<std::uint8_t>(buffer_.get(), BUFFER_SIZE));
            if (!got) {
                if (got.error().kind() == IoErrorKind::Interrupted) continue;
                return std::unexpected(got.error());
            }
            if (*got == 0) {
                return std::unexpected(
                    IoError::custom(IoErrorKind::UnexpectedEof, "failed to fill whole buffer"));
            }
            consumed_ = 0;
            filled_ = std::min(*got, BUFFER_SIZE);
        }
        std::size_t n = std::min(out.size() - done, filled_ - consumed_);
        std::memcpy(out.data() + done, buffer_.get() + consumed_, n);
        consumed_ += n;
        done += n;
    }
    return {};
}

void ShellConnection::pause(std::chrono::milliseconds pause) {
    if (pause.count() > 0) sleeper_(pause);
}

std::expected<void, TransportError> write_command(ShellConnection& shell, std::string_view command) {
    bool printable = std::all_of(command.begin(), command.end(), [](char c) {
        auto byte = static_cast<unsigned char>(c);
        return byte >= 0x20 && byte <= 0x7E;
    });
    if (command.empty() || !printable) return std::unexpected(TransportError::InvalidCommand{});

    static constexpr std::uint8_t terminator[] = {'\r'};
    ByteStream& stream = shell.stream();
    auto sent =
        stream.write_all(std::span(reinterpret_cast<const std::uint8_t*>(command.data()), command.size()));
    if (sent) sent = stream.write_all(terminator);
    if (sent) sent = stream.flush();
    if (!sent) return std::unexpected(TransportError::Io{std::move(sent.error())});
    return {};
}

std::expected<std::string, TransportError> read_until_prompt(ShellConnection& shell) {
    std::string reply;
    for (;;) {
        std::uint8_t byte = 0;
        auto got = shell.read_exact(std::span(&byte, 1));
        if (!got) return std::unexpected(TransportError::Io{std::move(got.error())});
        reply.push_back(static_cast<char>(byte));
        if (reply.ends_with(PROMPT)) {
            reply.resize(reply.size() - PROMPT.size());
            return reply;
        }
        if (reply.size() >= shell.max_response_bytes()) {
            return std::unexpected(TransportError::ResponseTooLong{shell.max_response_bytes()});
        }
    }
}

std::expected<std::string, TransportError> run_command(ShellConnection& shell, std::string_view command,
                                                       std::chrono::milliseconds after_write,
                                                       std::chrono::milliseconds after_reply) {
    if (auto sent = write_command(shell, command); !sent) return std::unexpected(sent.error());
    shell.pause(after_write);
    auto reply = read_until_prompt(shell);
    if (!reply) return std::unexpected(std::move(reply.error()));
    shell.pause(after_reply);
    return base::lossy_utf8(*reply);
}

std::expected<std::string, TransportError> command_checked(ShellConnection& shell, std::string_view command,
                                                           std::chrono::milliseconds after_write,
                                                           std::chrono::milliseconds after_reply) {
    auto reply = run_command(shell, command, after_write, after_reply);
    if (!reply) return reply;
    if (reply_rejects(*reply)) {
        return std::unexpected(TransportError::CommandRejected{std::string(command), std::move(*reply)});
    }
    return reply;
}

std::expected<void, TransportError> drain_to_prompt(ShellConnection& shell) {
    auto reply = read_until_prompt(shell);
    if (reply) return {};
    if (const IoError* io = reply.error().io_error()) {
        if (io->kind() == IoErrorKind::TimedOut || io->kind() == IoErrorKind::WouldBlock) return {};
    }
    return std::unexpected(std::move(reply.error()));
}

namespace {

bool line_rejects(std::string_view line) {
    static constexpr std::array<std::string_view, 3> prefixes = {"error:", "usage:", "unknown command"};
    const std::string lowered = base::ascii_lower(base::trim_unicode_whitespace(line));
    for (std::string_view prefix : prefixes) {
        if (lowered.starts_with(prefix)) return true;
    }
    return false;
}

}  // namespace

bool reply_rejects(std::string_view reply) {
    const auto lines = base::split_lines(reply);
    return std::any_of(lines.begin(), lines.end(), line_rejects);
}

}  // namespace vorlix::instrument
