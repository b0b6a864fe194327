#pragma once
// Whole-file reads and whole-buffer writes on plain descriptors.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <filesystem>
#include <limits>
#include <span>
#include <string>
#include <string_view>

#include "base/io_error.hpp"

namespace vorlix::base {

// The whole file, or its first `limit` bytes when it is longer, or the I/O
// error that stopped the open or a read.
std::expected<std::string, IoError> read_whole_file(
    const std::filesystem::path& path, std::size_t limit = std::numeric_limits<std::size_t>::max());

// Hands `bytes` to `write_some` (one write attempt: bytes out, or an error)
// until all are out: a failure of kind Interrupted is retried, an attempt
// that moves nothing ends with WriteZero "failed to write whole buffer".
template <class WriteSome>
std::expected<void, IoError> write_all_with(WriteSome&& write_some, std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        std::expected<std::size_t, IoError> written = write_some(bytes);
        if (!written) {
            if (written.error().kind() == IoErrorKind::Interrupted) continue;
            return std::unexpected(std::move(written.error()));
        }
        if (*written == 0) {
            return std::unexpected(IoError::custom(IoErrorKind::WriteZero, "failed to write whole buffer"));
        }
        bytes = bytes.subspan(std::min(*written, bytes.size()));
    }
    return {};
}

// Every byte of `bytes` to the descriptor, as write_all_with.
std::expected<void, IoError> write_all(int fd, std::string_view bytes);

// Forces the file's data to the storage device.
std::expected<void, IoError> sync_file(int fd);

}  // namespace vorlix::base
