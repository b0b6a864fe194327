// Cost of a sweep of the default 10,001 and of the largest 1,000,001 points:
// decoding its frame against writing its output once, and reading and
// decoding it off a loopback TCP connection through the shell layer against
// raw socket reads of the same reply decoded the same way. The reply comes in
// small packets, as a serial-to-TCP bridge passes on what the line gives it.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "config/record.hpp"
#include "instrument/scanraw.hpp"
#include "instrument/shell.hpp"
#include "instrument/transport.hpp"

namespace {

using namespace vorlix::instrument;

constexpr std::uint64_t DEFAULT_POINTS = 10'001;
constexpr std::uint64_t LARGEST_POINTS = 1'000'001;

ScanRequest request_of(std::uint64_t points) { return {240'000'000, 800'000'000, points, 1}; }

std::vector<std::uint8_t> make_frame(std::uint64_t points) {
    std::vector<std::uint8_t> frame;
    frame.reserve(points * 3 + 2);
    frame.push_back('{');
    for (std::uint64_t i = 0; i < points; ++i) {
        const auto raw = static_cast<std::uint16_t>(2000 + (i * 7919) % 3000);
        frame.push_back('x');
        frame.push_back(static_cast<std::uint8_t>(raw & 0xff));
        frame.push_back(static_cast<std::uint8_t>(raw >> 8));
    }
    frame.push_back('}');
    return frame;
}

const std::vector<std::uint8_t>& frame_of(std::uint64_t points) {
    static const std::vector<std::uint8_t> default_frame = make_frame(DEFAULT_POINTS);
    static const std::vector<std::uint8_t> largest_frame = make_frame(LARGEST_POINTS);
    return points == DEFAULT_POINTS ? default_frame : largest_frame;
}

// Arguments: the axis (1 firmware, 0 inclusive) and the points.
void decode_sizes(benchmark::internal::Benchmark* bench) {
    for (const std::int64_t points : {DEFAULT_POINTS, LARGEST_POINTS}) {
        for (const std::int64_t firmware : {1, 0}) bench->Args({firmware, points});
    }
    bench->Unit(benchmark::kMillisecond);
}

void report_points(benchmark::State& state, std::uint64_t points, std::size_t bytes) {
    const auto iterations = static_cast<std::int64_t>(state.iterations());
    state.SetBytesProcessed(iterations * static_cast<std::int64_t>(bytes));
    state.counters["ns_per_point"] =
        benchmark::Counter(static_cast<double>(points) * static_cast<double>(iterations),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_DecodeScanraw(benchmark::State& state) {
    const ScanRequest request = request_of(static_cast<std::uint64_t>(state.range(1)));
    const auto& frame = frame_of(request.points);
    const auto axis = state.range(0) ? FrequencyAxis::Firmware : FrequencyAxis::Inclusive;
    for (auto _ : state) {
        auto samples = decode_scanraw(frame, request, 128, axis);
        benchmark::DoNotOptimize(samples);
    }
    state.SetLabel(state.range(0) ? "firmware axis" : "inclusive axis");
    report_points(state, request.points, frame.size());
}
BENCHMARK(BM_DecodeScanraw)->Apply(decode_sizes);

// Writing the decoded sweep's bytes into a new buffer, once: what any decode
// must at least do.
void BM_DecodeScanraw_floor(benchmark::State& state) {
    const ScanRequest request = request_of(static_cast<std::uint64_t>(state.range(1)));
    const auto& frame = frame_of(request.points);
    for (auto _ : state) {
        std::vector<Sample> samples(request.points, Sample{1.0, -1.0});
        benchmark::DoNotOptimize(samples.data());
        benchmark::ClobberMemory();
    }
    report_points(state, request.points, frame.size());
}
BENCHMARK(BM_DecodeScanraw_floor)->Apply(decode_sizes);

// Decoding into the buffer of the previous sweep, as the live capture does,
// against writing the same bytes into a buffer kept from run to run.
void BM_DecodeScanrawInto(benchmark::State& state) {
    const ScanRequest request = request_of(static_cast<std::uint64_t>(state.range(1)));
    const auto& frame = frame_of(request.points);
    const auto axis = state.range(0) ? FrequencyAxis::Firmware : FrequencyAxis::Inclusive;
    std::vector<Sample> samples;
    for (auto _ : state) {
        if (!decode_scanraw_into(frame, request, 128, axis, samples)) state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(samples.data());
        benchmark::ClobberMemory();
    }
    state.SetLabel(state.range(0) ? "firmware axis" : "inclusive axis");
    report_points(state, request.points, frame.size());
}
BENCHMARK(BM_DecodeScanrawInto)->Apply(decode_sizes);

void BM_DecodeScanrawInto_floor(benchmark::State& state) {
    const ScanRequest request = request_of(static_cast<std::uint64_t>(state.range(1)));
    const auto& frame = frame_of(request.points);
    std::vector<Sample> samples(request.points);
    double level = 0;
    for (auto _ : state) {
        level += 1;
        for (Sample& sample : samples) sample = Sample{1.0, level};
        benchmark::DoNotOptimize(samples.data());
        benchmark::ClobberMemory();
    }
    report_points(state, request.points, frame.size());
}
BENCHMARK(BM_DecodeScanrawInto_floor)->Apply(decode_sizes);

// What a serial-to-TCP bridge passes on per send: whatever the line has
// delivered since the last, a few hundred bytes up to about one Ethernet
// payload. The sizes take turns, so no read in the shell layer lines up with
// them.
constexpr std::array<std::size_t, 6> PACKET_SIZES{512, 1460, 300, 1024, 1400, 700};

// A loopback peer that answers each line ended by "\r" with the echo, the
// frame and the prompt, as the instrument does for "scanraw", each send one
// packet of PACKET_SIZES.
class FrameSender {
public:
    explicit FrameSender(const ScanRequest& request) {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = 0;
        socklen_t len = sizeof addr;
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
            ::listen(listener_, 1) != 0 ||
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
            return;
        }
        port_ = ntohs(addr.sin_port);
        const std::string echo = scanraw_command(request) + "\r\n";
        reply_.assign(echo.begin(), echo.end());
        reply_.insert(reply_.end(), frame_of(request.points).begin(), frame_of(request.points).end());
        const std::string tail = "\r\nch> ";
        reply_.insert(reply_.end(), tail.begin(), tail.end());
        thread_ = std::thread([this] { serve(); });
    }

    ~FrameSender() {
        ::shutdown(listener_, SHUT_RDWR);
        ::close(listener_);
        if (thread_.joinable()) {
            thread_.join();
        }
    }

    std::uint16_t port() const { return port_; }
    std::size_t reply_size() const { return reply_.size(); }

private:
    void serve() {
        for (;;) {
            const int fd = ::accept(listener_, nullptr, nullptr);
            if (fd < 0) {
                return;
            }
            // Each send leaves as its own packet instead of waiting to join
            // the next.
            const int one = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            char byte = 0;
            while (::recv(fd, &byte, 1, 0) == 1) {
                if (byte != '\r') {
                    continue;
                }
                std::size_t sent = 0;
                for (std::size_t packet = 0; sent < reply_.size(); ++packet) {
                    const std::size_t size =
                        std::min(PACKET_SIZES[packet % PACKET_SIZES.size()], reply_.size() - sent);
                    const ssize_t n = ::send(fd, reply_.data() + sent, size, MSG_NOSIGNAL);
                    if (n <= 0) {
                        break;
                    }
                    sent += static_cast<std::size_t>(n);
                }
            }
            ::close(fd);
        }
    }

    int listener_ = -1;
    std::uint16_t port_ = 0;
    std::vector<std::uint8_t> reply_;
    std::thread thread_;
};

// Argument: the points. The time is the reader's wait as well as its work.
void tcp_sizes(benchmark::internal::Benchmark* bench) {
    bench->Arg(DEFAULT_POINTS)->Arg(LARGEST_POINTS)->Unit(benchmark::kMillisecond)->UseRealTime();
}

void BM_ReadScanrawFrameTcp(benchmark::State& state) {
    const ScanRequest request = request_of(static_cast<std::uint64_t>(state.range(0)));
    FrameSender sender(request);
    vorlix::config::Config config;
    config.connection.backend = vorlix::config::Backend::Tcp;
    config.connection.tcp_address = "127.0.0.1:" + std::to_string(sender.port());
    auto transport = open_transport(config);
    if (!transport) {
        state.SkipWithError(transport.error().display().c_str());
        return;
    }
    ShellConnection shell(std::move(*transport), 65536);
    std::uint64_t reports = 0;
    for (auto _ : state) {
        auto samples = read_scanraw_frame(shell, request, 128, FrequencyAxis::Firmware,
                                          [&](std::uint64_t, std::uint64_t) { ++reports; });
        if (!samples) {
            state.SkipWithError(samples.error().display().c_str());
            return;
        }
        benchmark::DoNotOptimize(samples);
    }
    benchmark::DoNotOptimize(reports);
    report_points(state, request.points, sender.reply_size());
}
BENCHMARK(BM_ReadScanrawFrameTcp)->Apply(tcp_sizes);

// The same reply taken with plain recv calls into one buffer, and its frame
// decoded like the shell read's: the floor the shell layer is measured
// against.
void BM_ReadScanrawFrameTcp_floor(benchmark::State& state) {
    const ScanRequest request = request_of(static_cast<std::uint64_t>(state.range(0)));
    FrameSender sender(request);
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(sender.port());
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        state.SkipWithError("connect failed");
        ::close(fd);
        return;
    }
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    std::vector<std::uint8_t> buffer(sender.reply_size());
    const std::size_t frame_at = scanraw_command(request).size() + 2;
    const std::size_t frame_len = frame_of(request.points).size();
    for (auto _ : state) {
        const char line[] = "scanraw\r";
        if (::send(fd, line, sizeof line - 1, MSG_NOSIGNAL) != sizeof line - 1) {
            state.SkipWithError("send failed");
            break;
        }
        std::size_t got = 0;
        while (got < buffer.size()) {
            const ssize_t n = ::recv(fd, buffer.data() + got, buffer.size() - got, 0);
            if (n <= 0) {
                state.SkipWithError("recv failed");
                break;
            }
            got += static_cast<std::size_t>(n);
        }
        auto samples = decode_scanraw(std::span<const std::uint8_t>(buffer).subspan(frame_at, frame_len),
                                      request, 128, FrequencyAxis::Firmware);
        if (!samples) {
            state.SkipWithError(samples.error().display().c_str());
            break;
        }
        benchmark::DoNotOptimize(samples);
    }
    ::close(fd);
    report_points(state, request.points, sender.reply_size());
}
BENCHMARK(BM_ReadScanrawFrameTcp_floor)->Apply(tcp_sizes);

}  // namespace

BENCHMARK_MAIN();
