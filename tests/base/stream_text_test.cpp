// Texts reach the stream whole, by length, embedded NULs and all.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "base/stream_text.hpp"

namespace {

// Everything written to the pipe's other end until it is closed.
std::string drain(int fd) {
    std::string out;
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0) return out;
        out.append(buf, static_cast<std::size_t>(n));
    }
}

TEST(StreamText, WritesEveryByteToAStreamAndADescriptor) {
    using namespace std::string_literals;
    const std::vector<std::string> texts = {
        "",
        "plain line\n",
        "Cannot load c.toml: 2 | \0garbage = = =\n"s,
        "\0\0\0"s,
        // More than a pipe holds, so the descriptor writes come back short.
        std::string(300000, 'x') + "\0tail"s,
    };
    for (bool descriptor : {false, true}) {
        for (const std::string& text : texts) {
            SCOPED_TRACE(std::to_string(text.size()) +
                         (descriptor ? " bytes to a descriptor" : " bytes to a stream"));
            int fds[2];
            ASSERT_EQ(::pipe(fds), 0);
            std::string received;
            std::thread reader([&] { received = drain(fds[0]); });
            bool ok = false;
            if (descriptor) {
                ok = vorlix::base::write_text(fds[1], text);
                ::close(fds[1]);
            } else {
                std::FILE* stream = ::fdopen(fds[1], "w");
                ASSERT_NE(stream, nullptr);
                ok = vorlix::base::write_text(stream, text);
                std::fclose(stream);
            }
            reader.join();
            ::close(fds[0]);
            EXPECT_TRUE(ok);
            EXPECT_EQ(received, text);
        }
    }
}

TEST(StreamText, ReportsAStreamThatCannotTakeTheText) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ::close(fds[0]);
    // No reader: the write fails (the signal it raises is ignored here).
    ::signal(SIGPIPE, SIG_IGN);
    EXPECT_FALSE(vorlix::base::write_text(fds[1], "lost"));
    ::signal(SIGPIPE, SIG_DFL);
    ::close(fds[1]);
}

}  // namespace
