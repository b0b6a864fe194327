// Scanraw sweeps of up to several thousand points taken off the shell
// connection in input-chosen reads, as every sweep past one read chunk is.
//
// Input: a header (points, range, axis, zero offset, reply limit, a fault to
// put into the reply), the read schedule, then the levels. The reply is
// built as the instrument sends it (echo, frame, prompt) with the chosen
// fault, so the outcome is known in advance: a clean reply must decode to
// exactly the levels sent, raw / 32 - offset dB each, at nondecreasing
// frequencies from the start; each fault must end in its own error. For one of
// the fault values the levels are the whole reply instead, any bytes at all.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "input_stream.hpp"
#include "instrument/scanraw.hpp"
#include "instrument/shell.hpp"

namespace {

using namespace vorlix::instrument;
using vorlix::fuzz::InputStream;
using vorlix::fuzz::ReadSchedule;
using vorlix::fuzz::require;

enum class Fault : std::uint8_t { None, Alignment, EndBrace, Truncated, LongEcho, Raw };

struct Reply {
    std::vector<std::uint8_t> bytes;
    std::vector<std::uint16_t> raws;
    std::size_t echo_len = 0;
    std::size_t fault_index = 0;
};

Reply build_reply(const ScanRequest& request, Fault fault, std::size_t limit,
                  std::span<const std::uint8_t> levels) {
    Reply reply;
    const std::size_t points = request.points;
    const std::string echo =
        fault == Fault::LongEcho ? std::string(limit, 'e') : scanraw_command(request) + "\r\n";
    reply.echo_len = echo.size();
    reply.bytes.assign(echo.begin(), echo.end());
    reply.bytes.push_back(SCANRAW_START);
    for (std::size_t i = 0; i < points; ++i) {
        // Levels repeat when the input holds fewer than the sweep needs.
        const std::size_t at = levels.size() < 2 ? 0 : (2 * i) % (levels.size() - 1);
        const std::uint16_t raw =
            levels.size() < 2 ? 0 : static_cast<std::uint16_t>(levels[at] | (levels[at + 1] << 8));
        reply.raws.push_back(raw);
        reply.bytes.push_back(SCANRAW_ALIGNMENT);
        reply.bytes.push_back(static_cast<std::uint8_t>(raw & 0xff));
        reply.bytes.push_back(static_cast<std::uint8_t>(raw >> 8));
    }
    reply.bytes.push_back(SCANRAW_END);
    const std::size_t frame_at = reply.echo_len;
    const std::size_t pick = levels.empty() ? 0 : levels[0] | (std::size_t{levels.back()} << 8);
    switch (fault) {
        case Fault::Alignment:
            reply.fault_index = pick % points;
            reply.bytes[frame_at + 1 + 3 * reply.fault_index] = pick & 1 ? '{' : '}';
            break;
        case Fault::EndBrace: reply.bytes.back() = 'x'; break;
        case Fault::Truncated:
            // Anywhere after the opening brace, the closing one included.
            reply.bytes.resize(frame_at + 1 + pick % (3 * points + 1));
            return reply;
        default: break;
    }
    for (char c : std::string_view("\r\nch> ")) reply.bytes.push_back(static_cast<std::uint8_t>(c));
    return reply;
}

void check_outcome(const std::expected<std::vector<Sample>, AcquisitionError>& read, const Reply& reply,
                   const ScanRequest& request, std::uint16_t zero_offset, Fault fault, std::size_t limit) {
    const auto* transport = read ? nullptr : read.error().get_if<AcquisitionError::Transport>();
    const auto* protocol = read ? nullptr : read.error().get_if<AcquisitionError::Protocol>();
    if (fault == Fault::LongEcho || reply.echo_len >= limit) {
        require(transport && transport->error.get_if<TransportError::ResponseTooLong>(),
                "long echo accepted");
        return;
    }
    switch (fault) {
        case Fault::Truncated:
            require(transport && transport->error.io_error(), "a cut frame did not fail on the read");
            return;
        case Fault::EndBrace: {
            const auto* frame = transport ? transport->error.get_if<TransportError::Protocol>() : nullptr;
            require(frame && frame->error.get_if<RawScanError::MissingEnd>(),
                    "a frame without its end accepted");
            return;
        }
        default: break;
    }
    if (zero_offset > MAX_ZERO_OFFSET) {
        require(protocol && protocol->error.get_if<RawScanError::InvalidRequest>(), "bad offset accepted");
        return;
    }
    if (fault == Fault::Alignment) {
        const auto* alignment = protocol ? protocol->error.get_if<RawScanError::Alignment>() : nullptr;
        require(alignment && alignment->index == reply.fault_index, "misaligned record not found");
        return;
    }
    require(read.has_value(), "a clean frame failed");
    require(read->size() == request.points, "sample count differs from the request");
    require((*read)[0].frequency_mhz == static_cast<double>(request.start_hz) / 1e6,
            "sweep does not begin at its start");
    for (std::size_t i = 0; i < read->size(); ++i) {
        require((*read)[i].level_dbm == reply.raws[i] / 32.0 - zero_offset, "level decoded wrongly");
        if (i > 0) require((*read)[i].frequency_mhz >= (*read)[i - 1].frequency_mhz, "frequencies go down");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 8) return 0;
    // Header: points (2 bytes), start, span, axis and fault, zero offset (2
    // bytes), reply limit. The shift reaches starts near 2^64, where the
    // firmware axis leaves the double-exact range.
    const std::uint64_t points = 2 + (data[0] | (data[1] << 8)) % 6000;
    const std::uint64_t start = (std::uint64_t{data[2]} * 1000003) << (data[4] >> 2);
    const ScanRequest request{start, start + std::uint64_t{data[3]} * 7919 * (1 + data[3]), points, 1};
    const FrequencyAxis axis = (data[4] & 1) ? FrequencyAxis::Firmware : FrequencyAxis::Inclusive;
    const std::uint16_t zero_offset = static_cast<std::uint16_t>(data[5] | ((data[6] & 0x0f) << 8));
    const Fault fault = (data[6] >> 4) < 6 ? Fault::None : static_cast<Fault>(1 + (data[6] >> 4) % 5);
    const std::size_t limit = 32 + std::size_t{data[7]} * 4;
    std::span<const std::uint8_t> rest(data + 8, size - 8);
    ReadSchedule schedule = ReadSchedule::take(rest, 10000);

    if (request.stop_hz < request.start_hz) return 0;  // wrapped: the sweep setup refuses these earlier
    const Reply reply = fault == Fault::Raw ? Reply{{rest.begin(), rest.end()}, {}, 0, 0}
                                            : build_reply(request, fault, limit, rest);

    std::uint64_t received = 1;
    std::size_t reports = 0;
    auto stream = std::make_unique<InputStream>(reply.bytes, std::move(schedule), false);
    ShellConnection shell(std::move(stream), limit, [](std::chrono::milliseconds) {});
    auto read = read_scanraw_frame(shell, request, zero_offset, axis, [&](std::uint64_t r, std::uint64_t n) {
        require(n == points * SCANRAW_RECORD_LEN + 2, "progress total is not the frame length");
        require(r > received && r - received <= SCANRAW_CHUNK_LEN && r <= n, "progress out of step");
        require(scanraw_progress_percent(r, n) <= 95, "progress past 95");
        received = r;
        ++reports;
    });
    if (read) {
        require(received == points * SCANRAW_RECORD_LEN + 2, "frame accepted before its end");
        require(reports == (received - 1 + SCANRAW_CHUNK_LEN - 1) / SCANRAW_CHUNK_LEN,
                "chunks not as large as allowed");
    }
    if (fault == Fault::Raw) {
        auto decoded = decode_scanraw(reply.bytes, request, zero_offset, axis);
        require(!decoded || decoded->size() == points, "decoded sample count differs");
        if (read) {
            for (std::size_t i = 1; i < read->size(); ++i) {
                require((*read)[i].frequency_mhz >= (*read)[i - 1].frequency_mhz, "frequencies go down");
            }
        }
        return 0;
    }
    check_outcome(read, reply, request, zero_offset, fault, limit);
    return 0;
}
