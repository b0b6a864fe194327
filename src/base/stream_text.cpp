#include "base/stream_text.hpp"

#include <unistd.h>

#include <cerrno>

namespace vorlix::base {

bool write_text(std::FILE* stream, std::string_view text) {
    while (!text.empty()) {
        const std::size_t n = std::fwrite(text.data(), 1, text.size(), stream);
        text.remove_prefix(n);
        if (text.empty()) break;
        if (errno != EINTR) return false;
        std::clearerr(stream);
    }
    while (std::fflush(stream) != 0) {
        if (errno != EINTR) return false;
        std::clearerr(stream);
    }
    return true;
}

bool write_text(int fd, std::string_view text) noexcept {
    while (!text.empty()) {
        const ssize_t n = ::write(fd, text.data(), text.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        text.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

}  // namespace vorlix::base
