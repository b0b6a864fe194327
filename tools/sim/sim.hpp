// A simulated tinySA instrument: a shell that answers the commands the
// acquisition side sends, over a loopback TCP socket or a pseudo-terminal.
// It is a test peer written independently of the program, so end-to-end
// tests exercise the program against the instrument's behaviour rather than
// against the program's own assumptions.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vorlix::sim {

// UltraZS405 also stands for an Ultra that names no revision at all when
// Options::omit_revision is set.
enum class Model { Basic, UltraZS405, UltraZS406, UltraZS407 };

// Injectable faults; every one is off by default. A "command" below matches a
// received line when the line equals it or starts with it followed by a
// blank ("sweep stop" matches "sweep stop 800000000"); a command ending in
// "$" matches only the whole line ("sweep$" matches "sweep" alone).
struct Faults {
    // The first `blank_times` replies to this command (counted over the
    // server's whole life, all sessions) carry nothing but "\r\n" and the
    // prompt: no echo, no output, so the reply is blank once trimmed.
    std::string blank_command;  // "" = off; usually "version" or "info"
    unsigned blank_times = 1;

    // Every line matching this command is refused: the echo, then
    // reject_reply, "\r\n" and the prompt. The command has no effect.
    std::string reject_command;  // "" = off
    std::string reject_reply = "error: command rejected";

    // "zero" without argument reports this offset instead of the one set.
    std::optional<std::uint32_t> zero_readback;
    // "zero" without argument prints only its usage line, no offset.
    bool zero_readback_missing = false;

    // Words left out of the help reply.
    std::vector<std::string> help_omit;

    // Frame faults, applied to the scanraw replies whose index (0-based,
    // counted over the server's life, see Server::sweeps_served) is at
    // least frame_faults_from_sweep.
    std::uint64_t frame_faults_from_sweep = 0;
    bool missing_end = false;          // no "}" after the records; "ch> " follows directly
    std::int64_t record_delta = 0;     // send points + record_delta records (clamped at 0)
    std::string garbage_before_frame;  // sent between the echo's "\r\n" and "{"
    // End the frame with "}" after this many records and send no prompt; the
    // shell then goes on reading commands as usual.
    std::optional<std::uint64_t> abort_after_records;

    // After a line matching this command is received the shell goes silent:
    // no line end, no reply, no prompt, input ignored; the connection stays
    // open until the peer closes it (TCP) or the server stops.
    std::string stall_command;  // "" = off

    // Close the connection once this many bytes have been sent in a session.
    // Counting starts at the session's first byte (the greeting), or, when
    // disconnect_command is set, at the "\r\n" that ends the echo of the first
    // line matching it. On a pty the master is closed and serving ends.
    std::optional<std::uint64_t> disconnect_after_bytes;
    std::string disconnect_command;

    // "sweep" reports stop + sweep_stop_offset (start and points unchanged).
    std::int64_t sweep_stop_offset = 0;
};

struct Options {
    Model model = Model::UltraZS405;
    std::uint64_t seed = 1;
    Faults faults;
    // Ultra only: neither version nor info names a hardware revision.
    bool omit_revision = false;
    // Replace the output lines (without echo and prompt) of version / info;
    // lines separated by "\n", sent with "\r\n".
    std::optional<std::string> version_text;
    std::optional<std::string> info_text;
    // When set, every received command line is appended to this file.
    std::string log_path;
};

// What the instrument holds right now (shared by all sessions of a server,
// as a real instrument keeps it across connections).
struct InstrumentState {
    std::uint32_t zero_offset = 0;  // 128 Basic, 174 Ultra at power-up
    std::uint64_t sweep_start_hz = 0;
    std::uint64_t sweep_stop_hz = 0;
    std::uint32_t sweep_points = 0;
    std::uint32_t repeat = 1;
    bool paused = false;
    bool ultra_mode = false;
    std::string mode;  // last accepted "mode" arguments, e.g. "low input"
};

class Server {
public:
    // Listens on 127.0.0.1 (port 0: chosen by the system); serves one
    // connection at a time, each a fresh shell session that starts with the
    // greeting. nullptr when the socket cannot be set up.
    static std::unique_ptr<Server> start_tcp(Options options, std::uint16_t port = 0);
    // A pseudo-terminal pair; the program opens slave_path(). The pty is one
    // continuous shell session: the greeting is queued at once. nullptr on
    // failure.
    static std::unique_ptr<Server> start_pty(Options options);

    ~Server();  // stops serving and joins the thread
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    std::uint16_t port() const;             // TCP only, else 0
    const std::string& slave_path() const;  // pty only, else ""

    // Every non-empty command line received, in order, as the shell saw it
    // (after the 47-character limit), over all sessions.
    std::vector<std::string> commands() const;
    // True once a line starting with `prefix` has been received (also when
    // it came before the call); false after `timeout`.
    bool wait_for_command(std::string_view prefix, std::chrono::milliseconds timeout) const;
    // True once sweeps_served() >= n; false after `timeout`.
    bool wait_for_sweeps(std::uint64_t n, std::chrono::milliseconds timeout) const;

    // scanraw replies served (including faulty ones), over all sessions.
    std::uint64_t sweeps_served() const;
    // The bytes of the last scanraw reply as composed after the echo's "\r\n"
    // and before the prompt: garbage (if any), "{", the records, "}" (unless a
    // fault left it out). A disconnect fault may cut it short on the wire.
    std::vector<std::uint8_t> last_frame() const;
    std::uint64_t sessions_started() const;
    InstrumentState state() const;

    struct Impl;
    explicit Server(std::unique_ptr<Impl> impl);

private:
    std::unique_ptr<Impl> impl_;
};

// Reads one "--fault NAME[=ARG]" value into `faults`; false with `error` set
// when the name or its argument is not understood. Names: blank=CMD,
// blank-times=N, reject=CMD, reject-reply=TEXT, zero-readback=N, zero-missing,
// help-omit=WORD, from-sweep=N, missing-end, record-delta=N, garbage=N,
// abort=N, stall=CMD, disconnect=N, disconnect-after=CMD,
// sweep-stop-offset=N.
bool apply_fault(std::string_view spec, Faults& faults, std::string& error);

// The fault names and what each does, one "  NAME[=ARG]  text" line each
// after a heading, for vorlix-sim --help.
const char* fault_help();

}  // namespace vorlix::sim
