#pragma once
// One sweep as the instrument sends it in reply to "scanraw": "{", then per
// point the byte "x" and a little-endian 16-bit raw level in 1/32 dB, then
// "}". Reading takes the frame off the shell connection; decoding turns it
// into samples. Data bytes may be any value, "{", "}" and ">" included, so the
// frame is measured by its record count and never searched for a delimiter.

#include <cstddef>
#include <cstdint>
#include <expected>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "base/limits.hpp"
#include "config/record.hpp"
#include "instrument/errors.hpp"
#include "instrument/types.hpp"

namespace vorlix::instrument {

class ShellConnection;

using FrequencyAxis = config::FrequencyAxis;

inline constexpr std::uint8_t SCANRAW_START = '{';
inline constexpr std::uint8_t SCANRAW_END = '}';
inline constexpr std::uint8_t SCANRAW_ALIGNMENT = 'x';
inline constexpr std::size_t SCANRAW_RECORD_LEN = 3;
// Frame bytes are taken in chunks of at most this size, one progress report each.
inline constexpr std::size_t SCANRAW_CHUNK_LEN = 4096;
using base::MAX_ZERO_OFFSET;

// points × 3 + 2 for a valid request, else the request check's message.
std::expected<std::size_t, std::string> expected_scanraw_len(const ScanRequest& request);

// "scanraw {start_hz} {stop_hz} {points}".
std::string scanraw_command(const ScanRequest& request);

// The percentage a worker posts for `received` of `total` frame bytes: 20
// before the frame, 95 once it is complete.
std::uint64_t scanraw_progress_percent(std::uint64_t received, std::uint64_t total);

// Decodes one 3-byte record at `index`; fails only on its alignment byte.
std::expected<Sample, RawScanError> decode_scanraw_sample(std::span<const std::uint8_t, 3> record,
                                                          std::size_t index, const ScanRequest& request,
                                                          std::uint16_t zero_offset, FrequencyAxis axis);

// Checks the frame as a whole (request, offset, braces, length), then every
// record; the first failure decides and no partial sweep is returned.
std::expected<std::vector<Sample>, RawScanError> decode_scanraw(std::span<const std::uint8_t> frame,
                                                                const ScanRequest& request,
                                                                std::uint16_t zero_offset,
                                                                FrequencyAxis axis);

// The same into `samples`, whose storage is reused when it is large enough;
// after a failure its contents mean nothing.
std::expected<void, RawScanError> decode_scanraw_into(std::span<const std::uint8_t> frame,
                                                      const ScanRequest& request, std::uint16_t zero_offset,
                                                      FrequencyAxis axis, std::vector<Sample>& samples);

// Receives (frame bytes so far, the opening brace included; frame length).
using ScanrawProgress = std::function<void(std::uint64_t received, std::uint64_t total)>;

// Sends the command and reads the framed reply up to its prompt, without any
// pause; returns the frame from "{" to "}". Failures are the exchange's.
std::expected<std::vector<std::uint8_t>, TransportError> read_scanraw_bytes(ShellConnection& shell,
                                                                            const ScanRequest& request,
                                                                            const ScanrawProgress& progress);

// read_scanraw_bytes into `frame`, whose storage is reused when it is large
// enough; after a failure its contents mean nothing.
std::expected<void, TransportError> read_scanraw_bytes_into(ShellConnection& shell,
                                                            const ScanRequest& request,
                                                            const ScanrawProgress& progress,
                                                            std::vector<std::uint8_t>& frame);

// The whole acquisition of one sweep: read_scanraw_bytes, then decode_scanraw.
// An exchange failure comes back as AcquisitionError::Transport, a frame that
// does not decode as AcquisitionError::Protocol.
std::expected<std::vector<Sample>, AcquisitionError> read_scanraw_frame(ShellConnection& shell,
                                                                        const ScanRequest& request,
                                                                        std::uint16_t zero_offset,
                                                                        FrequencyAxis axis,
                                                                        const ScanrawProgress& progress);

// The same into the two buffers, reused from sweep to sweep by a caller that
// reads many; after a failure their contents mean nothing.
std::expected<void, AcquisitionError> read_scanraw_frame_into(
    ShellConnection& shell, const ScanRequest& request, std::uint16_t zero_offset, FrequencyAxis axis,
    const ScanrawProgress& progress, std::vector<std::uint8_t>& frame, std::vector<Sample>& samples);

}  // namespace vorlix::instrument
