// Arbitrary bytes as everything the instrument says during one set-up, taken
// off the shell connection the way a run takes it: the greeting drained,
// then version, info, help, the zero hand-shake, the sweep set-up and resume,
// each reply cut at its prompt, held to the reply limit and turned into UTF-8
// text before the readers see it. Reads come in input-chosen pieces.
//
// Input: one option byte (line end or silence, Ultra mode, text pre-scan,
// zero offset), one reply-limit byte, the read schedule, then the bytes.
// Every plain exchange must have consumed exactly its reply and prompt: a
// reply never holds a prompt, never passes the limit, and is valid UTF-8
// equal to the bytes whenever the bytes were valid UTF-8.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "base/text.hpp"
#include "input_stream.hpp"
#include "instrument/identify.hpp"
#include "instrument/shell.hpp"
#include "instrument/sweep_setup.hpp"
#include "instrument/sweep_setup_parse.hpp"

namespace {

using namespace vorlix::instrument;
using vorlix::fuzz::InputStream;
using vorlix::fuzz::ReadSchedule;
using vorlix::fuzz::require;

class Session {
public:
    Session(std::span<const std::uint8_t> bytes, ReadSchedule schedule, bool ends, std::size_t limit)
        : limit_(limit) {
        auto stream = std::make_unique<InputStream>(bytes, std::move(schedule), ends);
        stream_ = stream.get();
        shell_ =
            std::make_unique<ShellConnection>(std::move(stream), limit, [](std::chrono::milliseconds) {});
    }

    ShellConnection& shell() { return *shell_; }

    // One command through the shell, its reply checked against the bytes it
    // took off the line.
    std::expected<std::string, TransportError> exchange(std::string_view command, bool checked) {
        const std::size_t before = consumed();
        auto reply =
            checked ? command_checked(*shell_, command, {}, {}) : run_command(*shell_, command, {}, {});
        require(stream_->written().ends_with(std::string(command) + "\r"), "command not sent as one line");
        const auto taken = stream_->bytes().subspan(before, consumed() - before);
        check(std::string_view(reinterpret_cast<const char*>(taken.data()), taken.size()), reply, checked);
        return reply;
    }

private:
    std::size_t consumed() const { return stream_->position() - shell_->buffered(); }

    void check(std::string_view taken, const std::expected<std::string, TransportError>& reply,
               bool checked) const {
        const std::size_t prompt_at = taken.find(PROMPT);
        const TransportError::CommandRejected* rejected =
            reply ? nullptr : reply.error().get_if<TransportError::CommandRejected>();
        if (reply || rejected) {
            require(prompt_at != std::string_view::npos && prompt_at + PROMPT.size() == taken.size(),
                    "reply does not end at its first prompt");
            require(taken.size() <= limit_, "reply longer than the limit accepted");
            const std::string_view raw = taken.substr(0, prompt_at);
            const std::string& text = reply ? *reply : rejected->response;
            require(vorlix::base::is_valid_utf8(text), "reply text is not UTF-8");
            require(!vorlix::base::is_valid_utf8(raw) || text == raw, "valid reply bytes changed");
            require(text.size() >= raw.size(), "reply text lost bytes");
            if (checked)
                require(reply_rejects(text) == (rejected != nullptr), "rejection does not match the reply");
            return;
        }
        require(prompt_at == std::string_view::npos, "a reply with a prompt failed");
        if (const auto* too_long = reply.error().get_if<TransportError::ResponseTooLong>()) {
            require(too_long->limit == limit_, "limit misreported");
            require(taken.size() == std::max<std::size_t>(limit_, 1), "reply refused before the limit");
            return;
        }
        require(reply.error().io_error() != nullptr, "unexpected failure kind");
        require(stream_->position() == stream_->bytes().size() && shell_->buffered() == 0,
                "read failed with bytes left");
        require(taken.size() < limit_, "reply past the limit read on");
    }

    std::size_t limit_;
    InputStream* stream_ = nullptr;
    std::unique_ptr<ShellConnection> shell_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::uint8_t options = data[0];
    // From below the smallest configurable limit (so short inputs reach it)
    // up to the default.
    const std::size_t limit = data[1] == 255 ? 65536 : 3 + std::size_t{data[1]} * 4;
    std::span<const std::uint8_t> rest(data + 2, size - 2);
    ReadSchedule schedule = ReadSchedule::take(rest, 300);

    const bool ends = options & 1;
    const bool ultra_mode = options & 2;
    const bool legacy_pre_scan = options & 4;
    const std::uint16_t zero_offset = (options & 8) ? 174 : 128;
    const ScanRequest request{100000, 5400000000, 450, 1};

    Session session(rest, std::move(schedule), ends, limit);
    ShellConnection& shell = session.shell();
    (void)drain_to_prompt(shell);

    auto version = session.exchange("version", false);
    auto info = session.exchange("info", false);
    InstrumentFamily family = InstrumentFamily::Basic;
    if (version && info) {
        auto identity = identify_device(*version, *info);
        if (identity) {
            require(identity->version == *version && identity->info == *info, "identity changed the replies");
            require(identity->is_ultra || !identity->revision, "a Basic with a revision");
            family = identity->family();
        } else {
            (void)AcquisitionError(identity.error()).display();
        }
    }

    if (auto help = session.exchange("help", false)) {
        auto listed = check_required_commands(*help, family, ultra_mode, legacy_pre_scan);
        for (std::string_view word : required_command_list(ultra_mode, legacy_pre_scan)) {
            if (!reply_lists_command(*help, word)) {
                require(!listed, "a missing command passed the help check");
            }
        }
    }

    if (auto zero = configure_zero_offset(shell, request, zero_offset, {}, {}); !zero) {
        (void)zero.error().display();
        (void)zero.error().debug();
    }
    SweepPacing pacing;
    pacing.profile.mode_command = ultra_mode ? "mode high input" : "mode low input";
    pacing.profile.ultra = family == InstrumentFamily::Ultra;
    pacing.profile.ultra_mode = ultra_mode;
    pacing.profile.zero_offset = zero_offset;
    if (auto sweep = configure_sweep(shell, request, legacy_pre_scan, 0, pacing); !sweep) {
        (void)sweep.error().display();
        (void)sweep.error().debug();
    }
    if (auto resumed = session.exchange("resume", true)) {
        if (auto range = parse_sweep_readback(*resumed)) {
            require(sweep_readback_confirms(*resumed, range->start_hz, range->stop_hz), "read-back disowned");
        }
        (void)parse_zero_readback(*resumed);
    }
    return 0;
}
