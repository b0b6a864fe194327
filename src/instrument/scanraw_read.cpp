// Taking one scanraw frame off the shell connection. The frame's length
// follows from the request alone, so the reader never looks for a delimiter
// among the data bytes: it skips to the opening brace, then reads exactly the
// remaining bytes in bounded chunks.

#include <algorithm>

#include "instrument/scanraw.hpp"
#include "instrument/shell.hpp"

namespace vorlix::instrument {

namespace {

// Consumes everything before the frame, e.g. the echoed command line. Only
// this preamble counts against the reply limit; the frame is sized by the
// request instead.
std::expected<void, TransportError> skip_to_frame(ShellConnection& shell) {
    const std::size_t limit = shell.max_response_bytes();
    std::size_t skipped = 0;
    std::uint8_t byte = 0;
    for (;;) {
        if (auto read = shell.read_exact(std::span<std::uint8_t>(&byte, 1)); !read) {
            return std::unexpected(TransportError::Io{std::move(read.error())});
        }
        if (byte == SCANRAW_START) {
            return {};
        }
        ++skipped;
        if (skipped >= limit) {
            return std::unexpected(TransportError::ResponseTooLong{limit});
        }
    }
}

// A frame fault seen while reading. Built out of line: constructed in place
// inside the reader, the nested variants trip a false uninitialised-use
// warning in sanitizer builds.
[[gnu::noinline]] TransportError frame_fault(RawScanError error) {
    return TransportError::Protocol{std::move(error)};
}

}  // namespace

std::expected<std::vector<std::uint8_t>, TransportError> read_scanraw_bytes(ShellConnection& shell,
                                                                            const ScanRequest& request,
                                                                            const ScanrawProgress& progress) {
    std::vector<std::uint8_t> frame;
    if (auto read = read_scanraw_bytes_into(shell, request, progress, frame); !read) {
        return std::unexpected(std::move(read.error()));
    }
    return frame;
}

std::expected<void, TransportError> read_scanraw_bytes_into(ShellConnection& shell,
                                                            const ScanRequest& request,
                                                            const ScanrawProgress& progress,
                                                            std::vector<std::uint8_t>& frame) {
    // Checked before anything is sent: a command whose reply we could not
    // size would leave a whole frame unread in front of the next reply.
    const auto length = expected_scanraw_len(request);
    if (!length) {
        return std::unexpected(frame_fault(RawScanError::InvalidRequest{length.error()}));
    }
    if (auto written = write_command(shell, scanraw_command(request)); !written) {
        return std::unexpected(std::move(written.error()));
    }
    if (auto skipped = skip_to_frame(shell); !skipped) {
        return std::unexpected(std::move(skipped.error()));
    }

    const std::size_t n = *length;
    frame.resize(n);
    frame[0] = SCANRAW_START;
    std::size_t received = 1;
    while (received < n) {
        const std::size_t chunk = std::min(n - received, SCANRAW_CHUNK_LEN);
        auto read = shell.read_exact(std::span<std::uint8_t>(frame.data() + received, chunk));
        if (!read) {
            return std::unexpected(TransportError::Io{std::move(read.error())});
        }
        received += chunk;
        if (progress) {
            progress(received, n);
        }
    }
    if (frame.back() != SCANRAW_END) {
        return std::unexpected(frame_fault(RawScanError::MissingEnd{}));
    }
    if (auto rest = read_until_prompt(shell); !rest) {
        return std::unexpected(std::move(rest.error()));
    }
    return {};
}

std::expected<std::vector<Sample>, AcquisitionError> read_scanraw_frame(ShellConnection& shell,
                                                                        const ScanRequest& request,
                                                                        std::uint16_t zero_offset,
                                                                        FrequencyAxis axis,
                                                                        const ScanrawProgress& progress) {
    auto frame = read_scanraw_bytes(shell, request, progress);
    if (!frame) {
        return std::unexpected(AcquisitionError(std::move(frame.error())));
    }
    auto samples = decode_scanraw(*frame, request, zero_offset, axis);
    if (!samples) {
        return std::unexpected(AcquisitionError(std::move(samples.error())));
    }
    return std::move(*samples);
}

std::expected<void, AcquisitionError> read_scanraw_frame_into(
    ShellConnection& shell, const ScanRequest& request, std::uint16_t zero_offset, FrequencyAxis axis,
    const ScanrawProgress& progress, std::vector<std::uint8_t>& frame, std::vector<Sample>& samples) {
    if (auto read = read_scanraw_bytes_into(shell, request, progress, frame); !read) {
        return std::unexpected(AcquisitionError(std::move(read.error())));
    }
    if (auto decoded = decode_scanraw_into(frame, request, zero_offset, axis, samples); !decoded) {
        return std::unexpected(AcquisitionError(std::move(decoded.error())));
    }
    return {};
}

}  // namespace vorlix::instrument
