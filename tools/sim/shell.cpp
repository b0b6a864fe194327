#include "sim/shell.hpp"

#include <algorithm>
#include <utility>

#include "sim/commands.hpp"
#include "sim/spectrum.hpp"

namespace vorlix::sim {

Shell::Shell(const Options& options, Ledger& ledger) : options_(options), ledger_(ledger) {
    counting_ =
        options_.faults.disconnect_after_bytes.has_value() && options_.faults.disconnect_command.empty();
}

Emission Shell::greet() {
    emit("\r\ntinySA Shell\r\n");
    emit(std::string(PROMPT));
    return std::exchange(out_, {});
}

Emission Shell::feed(std::string_view input) {
    for (char byte : input) {
        if (silent()) break;
        take(byte);
    }
    return std::exchange(out_, {});
}

bool Shell::blank_armed() const {
    if (options_.faults.blank_command.empty()) return false;
    std::lock_guard lock(ledger_.mutex);
    return ledger_.blanks_sent < options_.faults.blank_times;
}

void Shell::take(char byte) {
    const auto b = static_cast<unsigned char>(byte);
    if (b == '\r') {
        end_line();
        return;
    }
    if (b < 0x20 || b > 0x7e || line_.size() >= MAX_LINE) return;
    line_ += byte;
    // While the line may still become one that gets a blank reply, its echo
    // waits: a blank reply must not even carry the echo. Every other line is
    // echoed byte by byte, as the instrument does.
    withheld_echo_ += byte;
    if (!blank_armed() || !line_may_match(line_, options_.faults.blank_command))
        emit(std::exchange(withheld_echo_, {}));
}

void Shell::start_counting() {
    const auto& f = options_.faults;
    if (!counting_ && counted_ == 0 && f.disconnect_after_bytes) counting_ = true;
}

void Shell::end_line() {
    const std::string line = std::exchange(line_, {});
    const std::string echo = std::exchange(withheld_echo_, {});
    const auto& f = options_.faults;
    if (line.empty()) {
        emit("\r\n");
        emit(std::string(PROMPT));
        return;
    }
    ledger_.record_command(line);
    if (line_matches(line, f.stall_command)) {
        emit(echo);
        stalled_ = true;
        return;
    }
    const bool blank = blank_armed() && line_matches(line, f.blank_command);
    if (blank) {
        std::lock_guard lock(ledger_.mutex);
        ++ledger_.blanks_sent;
    } else {
        emit(echo);
    }
    if (line_matches(line, f.disconnect_command)) start_counting();
    emit("\r\n");
    if (blank)
        emit(std::string(PROMPT));
    else
        answer(line);
}

void Shell::answer(const std::string& line) {
    const auto& f = options_.faults;
    const auto words = split_words(line);
    // A line of blanks names no command: the shell only prompts again.
    if (words.empty()) {
        emit(std::string(PROMPT));
        return;
    }
    if (line_matches(line, f.reject_command)) {
        if (!f.reject_reply.empty()) emit(f.reject_reply + "\r\n");
        emit(std::string(PROMPT));
        return;
    }
    if (words.front() == "scanraw") {
        scanraw(words);
        return;
    }
    std::vector<std::string> lines;
    {
        std::lock_guard lock(ledger_.mutex);
        const std::uint64_t index = words.front() == "scan" ? ledger_.text_scans++ : 0;
        lines = run_text_command(words, options_, ledger_.state, index);
    }
    ledger_.changed.notify_all();
    for (const auto& l : lines) emit(l + "\r\n");
    emit(std::string(PROMPT));
}

void Shell::scanraw(const std::vector<std::string>& words) {
    const auto& f = options_.faults;
    std::optional<ScanrawRequest> request;
    std::uint32_t zero = 0;
    std::uint64_t index = 0;
    {
        std::lock_guard lock(ledger_.mutex);
        request = parse_scanraw(words, ledger_.state);
        zero = ledger_.state.zero_offset;
        index = ledger_.sweeps;
    }
    if (!request) {
        emit("usage: scanraw {start(Hz)} {stop(Hz)} [points]\r\n");
        emit(std::string(PROMPT));
        return;
    }
    const auto levels =
        sweep_levels(options_.seed, index, request->start_hz, request->stop_hz, request->points);
    const bool faulty = index >= f.frame_faults_from_sweep;
    std::uint64_t records = request->points;
    bool aborted = false;
    if (faulty) {
        const std::int64_t wanted = static_cast<std::int64_t>(records) + f.record_delta;
        records = wanted < 0 ? 0 : static_cast<std::uint64_t>(wanted);
        if (f.abort_after_records && *f.abort_after_records < records) {
            records = *f.abort_after_records;
            aborted = true;
        }
    }

    std::string frame = faulty ? f.garbage_before_frame : std::string();
    frame += '{';
    emit(frame);
    // The instrument streams its records in blocks of 20 points.
    std::string block;
    for (std::uint64_t i = 0; i < records; ++i) {
        const double dbm = i < levels.size() ? levels[i] : NOISE_FLOOR_DBM;
        const std::uint16_t raw = encode_level(dbm, zero);
        block += 'x';
        block += static_cast<char>(raw & 0xff);
        block += static_cast<char>(raw >> 8);
        if ((i + 1) % BLOCK_POINTS == 0 || i + 1 == records) {
            frame += block;
            emit(std::exchange(block, {}));
        }
    }
    std::string tail;
    if (!faulty || !f.missing_end || aborted) tail += '}';
    frame += tail;
    if (!aborted) tail += PROMPT;
    emit(tail);
    {
        std::lock_guard lock(ledger_.mutex);
        ++ledger_.sweeps;
        ledger_.last_frame.assign(frame.begin(), frame.end());
    }
    ledger_.changed.notify_all();
}

void Shell::emit(std::string bytes) {
    if (closed_ || bytes.empty()) return;
    if (counting_) {
        const std::uint64_t limit = *options_.faults.disconnect_after_bytes;
        if (counted_ + bytes.size() >= limit) {
            bytes.resize(static_cast<std::size_t>(limit - counted_));
            counted_ = limit;
            closed_ = true;
            out_.close = true;
            if (!bytes.empty()) out_.chunks.push_back(std::move(bytes));
            return;
        }
        counted_ += bytes.size();
    }
    out_.chunks.push_back(std::move(bytes));
}

}  // namespace vorlix::sim
