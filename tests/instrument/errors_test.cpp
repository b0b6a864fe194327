#include "instrument/errors.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <optional>
#include <string>
#include <vector>

// GCC 12 with sanitizer instrumentation flags moves of std::variant values
// holding a string alternative as maybe-uninitialized, even when another
// alternative is active; every value below is fully initialised.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

namespace vorlix::instrument {
namespace {

using base::IoError;
using base::IoErrorKind;

IoError timed_out() { return IoError::custom(IoErrorKind::TimedOut, "Operation timed out"); }

TransportError rejected_resume() {
    return TransportError::CommandRejected{"resume", " resume\r\nerror: busy\r\n"};
}

// Every error type reduced to the three things a caller can ask of it.
struct Case {
    std::string name;
    std::string display;
    std::string debug;
    std::optional<std::string> source;  // display of the cause, if any
};

template <class E>
Case describe(std::string name, const E& error) {
    auto source = ErrorRef(error).source();
    return {std::move(name), error.display(), error.debug(),
            source ? std::optional(source->display()) : std::nullopt};
}

struct Expected {
    Case actual;
    std::string display;
    std::string debug;
    std::optional<std::string> source;
};

std::vector<Expected> cases() {
    const std::string io_debug = R"(Custom { kind: TimedOut, error: "Operation timed out" })";
    return {
        {describe("transport io", TransportError(TransportError::Io{timed_out()})),
         "serial transport: Operation timed out", "Io(" + io_debug + ")", "Operation timed out"},
        {describe("too long", TransportError(TransportError::ResponseTooLong{65536})),
         "serial response exceeds 65536 bytes", "ResponseTooLong(65536)", std::nullopt},
        {describe("invalid command", TransportError(TransportError::InvalidCommand{})),
         "a shell command must be one nonempty printable ASCII line", "InvalidCommand", std::nullopt},
        {describe("rejected", TransportError(TransportError::CommandRejected{
                                  "sweep \"a\"", " sweep\r\nusage: sweep {start}\r\n"})),
         "device rejected \"sweep \\\"a\\\"\":  sweep\r\nusage: sweep {start}\r\n",
         R"(CommandRejected { command: "sweep \"a\"", response: " sweep\r\nusage: sweep {start}\r\n" })",
         std::nullopt},
        {describe("transport protocol", TransportError(TransportError::Protocol{RawScanError::MissingEnd{}})),
         "raw scan is missing its closing brace", "Protocol(MissingEnd)", std::nullopt},
        {describe("invalid request",
                  RawScanError(RawScanError::InvalidRequest{"start frequency must not exceed"})),
         "invalid scan request: start frequency must not exceed",
         R"(InvalidRequest("start frequency must not exceed"))", std::nullopt},
        {describe("missing start", RawScanError(RawScanError::MissingStart{})),
         "raw scan is missing its opening brace", "MissingStart", std::nullopt},
        {describe("length", RawScanError(RawScanError::Length{8, 7})), "raw frame has 7 bytes; expected 8",
         "Length { expected: 8, actual: 7 }", std::nullopt},
        {describe("alignment", RawScanError(RawScanError::Alignment{0, 0x0A})),
         "sample 0 has alignment byte 0x0a; expected 0x78", "Alignment { index: 0, found: 10 }",
         std::nullopt},
        {describe("alignment high", RawScanError(RawScanError::Alignment{1000000, 0xFF})),
         "sample 1000000 has alignment byte 0xff; expected 0x78", "Alignment { index: 1000000, found: 255 }",
         std::nullopt},
        {describe("open config validation", OpenError(OpenError::Config{config::ConfigError::Validation{
                                                "serial.timeout_ms must be 1..=600000"}})),
         "invalid configuration: serial.timeout_ms must be 1..=600000",
         R"(Config(Validation("serial.timeout_ms must be 1..=600000")))", std::nullopt},
        {describe("open config io",
                  OpenError(OpenError::Config{config::ConfigError::Io{IoError::from_errno(EACCES)}})),
         "configuration I/O: Permission denied (os error 13)",
         R"(Config(Io(Os { code: 13, kind: PermissionDenied, message: "Permission denied" })))",
         "Permission denied (os error 13)"},
        {describe("open tcp",
                  OpenError(OpenError::Tcp{IoError::custom(IoErrorKind::TimedOut, "connection timed out")})),
         "TCP connection: connection timed out",
         R"(Tcp(Custom { kind: TimedOut, error: "connection timed out" }))", "connection timed out"},
        {describe("open serial", OpenError(OpenError::Serial{SerialError::from_errno(ENOENT)})),
         "serial connection: No such file or directory",
         R"(Serial(SerialError { kind: NoDevice, description: "No such file or directory" }))",
         "No such file or directory"},
        {describe("serial busy", SerialError::from_errno(EBUSY)), "Device or resource busy",
         R"(SerialError { kind: Io(ResourceBusy), description: "Device or resource busy" })", std::nullopt},
        {describe("acq transport io", AcquisitionError(TransportError::Io{timed_out()})),
         "serial transport: Operation timed out", "Transport(Io(" + io_debug + "))", "Operation timed out"},
        {describe("acq transport rejected", AcquisitionError(rejected_resume())),
         "device rejected \"resume\":  resume\r\nerror: busy\r\n",
         R"(Transport(CommandRejected { command: "resume", response: " resume\r\nerror: busy\r\n" }))",
         std::nullopt},
        {describe("acq transport protocol",
                  AcquisitionError(TransportError::Protocol{RawScanError::MissingEnd{}})),
         "raw scan is missing its closing brace", "Transport(Protocol(MissingEnd))", std::nullopt},
        {describe("acq protocol", AcquisitionError(RawScanError::Length{8, 7})),
         "raw frame has 7 bytes; expected 8", "Protocol(Length { expected: 8, actual: 7 })", std::nullopt},
        {describe("missing identity", AcquisitionError(AcquisitionError::MissingIdentity{})),
         "the instrument returned an empty version or info reply", "MissingIdentity", std::nullopt},
        {describe("unknown", AcquisitionError(IdentityError(IdentityError::Kind::Unknown))),
         "unsupported device identity; expected tinySA_v\u2026 or tinySA4_v\u2026 in "
         "version/info",
         "Device(Unknown)", std::nullopt},
        {describe("conflicting", AcquisitionError(IdentityError(IdentityError::Kind::Conflicting))),
         "conflicting device identity: replies identify both tinySA Basic and Ultra", "Device(Conflicting)",
         std::nullopt},
        {describe("conflicting revision",
                  AcquisitionError(IdentityError(IdentityError::Kind::ConflictingRevision))),
         "conflicting device identity: replies identify multiple tinySA Ultra revisions",
         "Device(ConflictingRevision)", std::nullopt},
        {describe("unexpected model", AcquisitionError(AcquisitionError::UnexpectedModel{
                                          InstrumentFamily::Basic, InstrumentFamily::Ultra})),
         "configured model tinySA Basic does not match detected tinySA Ultra family",
         "UnexpectedModel { expected: Basic, actual: Ultra }", std::nullopt},
        {describe("missing command",
                  AcquisitionError(AcquisitionError::MissingCommand{InstrumentFamily::Ultra, "ultra"})),
         "tinySA Ultra family firmware does not advertise required command \"ultra\"",
         R"(MissingCommand { model: Ultra, command: "ultra" })", std::nullopt},
        {describe("missing zero", AcquisitionError(AcquisitionError::MissingZeroReadback{174})),
         "could not confirm the raw-level offset after configuring zero 174",
         "MissingZeroReadback { requested: 174 }", std::nullopt},
        {describe("zero mismatch", AcquisitionError(AcquisitionError::ZeroReadbackMismatch{128, 174})),
         "raw-level offset readback is 174 dB after requesting 128 dB",
         "ZeroReadbackMismatch { requested: 128, actual: 174 }", std::nullopt},
        {describe("sweep mismatch", AcquisitionError(AcquisitionError::SweepReadbackMismatch{
                                        800000000, 5400000000, "0 800000000\r\n"})),
         "ZS406 did not confirm the requested Ultra sweep 800000000\u20135400000000 Hz; readback "
         "was \"0 800000000\\r\\n\"",
         R"(SweepReadbackMismatch { requested_start: 800000000, requested_stop: 5400000000, response: "0 800000000\r\n" })",
         std::nullopt},
        {describe("recovery", AcquisitionError(AcquisitionError::Recovery{
                                  AcquisitionError(TransportError::Io{timed_out()}), rejected_resume()})),
         "serial transport: Operation timed out; additionally, resume failed: device rejected "
         "\"resume\":  resume\r\nerror: busy\r\n",
         "Recovery { primary: Transport(Io(" + io_debug +
             R"()), recovery: CommandRejected { command: "resume", response: " resume\r\nerror: busy\r\n" } })",
         "serial transport: Operation timed out"},
    };
}

TEST(AcquisitionErrors, DisplayDebugAndSource) {
    for (const Expected& c : cases()) {
        SCOPED_TRACE(c.actual.name);
        EXPECT_EQ(c.actual.display, c.display);
        EXPECT_EQ(c.actual.debug, c.debug);
        EXPECT_EQ(c.actual.source, c.source);
    }
}

// The cause chain of a recovery runs through its primary down to the I/O
// error; a copy is deep and outlives the original.
TEST(AcquisitionErrors, RecoveryChainAndCopy) {
    std::optional<AcquisitionError> original(
        AcquisitionError::Recovery{AcquisitionError(AcquisitionError::Recovery{
                                       AcquisitionError(TransportError::Io{timed_out()}), rejected_resume()}),
                                   TransportError::ResponseTooLong{256}});
    AcquisitionError copy = *original;
    const std::string display = original->display();
    original.reset();

    EXPECT_EQ(copy.display(), display);
    std::vector<std::string> chain;
    for (auto cause = copy.source(); cause; cause = cause->source()) {
        chain.push_back(cause->debug());
    }
    const AcquisitionError& inner = *copy.get_if<AcquisitionError::Recovery>()->primary;
    ASSERT_EQ(chain.size(), 3u);
    EXPECT_EQ(chain[0], inner.debug());
    EXPECT_EQ(chain[1], inner.get_if<AcquisitionError::Recovery>()->primary->debug());
    EXPECT_EQ(chain[2], timed_out().debug());
}

TEST(AcquisitionErrors, ParseErrorCauseOfConfigIsTheTomlError) {
    auto toml = config::TomlError::read("invalid type: string \"x\", expected u64", {"points"});
    OpenError error = OpenError::Config{config::ConfigError::Parse{toml}};
    auto source = error.source();
    ASSERT_TRUE(source.has_value());
    EXPECT_EQ(source->display(), toml.display());
    EXPECT_EQ(source->debug(), toml.debug());
    EXPECT_FALSE(source->source().has_value());
}

}  // namespace
}  // namespace vorlix::instrument
