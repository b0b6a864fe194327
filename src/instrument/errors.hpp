#pragma once
// The error values of the acquisition side: opening the connection
// (`OpenError`), one shell command and its reply (`TransportError`), a
// scanraw frame (`RawScanError`), identification (`IdentityError`) and a whole
// worker run (`AcquisitionError`).
//
// Every type offers
//   display()  the one-line text the user sees,
//   debug()    the structural form, e.g. Transport(Protocol(MissingEnd)) or
//              Length { expected: 8, actual: 7 },
//   source()   the underlying cause, or nothing.
//
// A variant is a small struct nested in its error type (through the type's
// `...Cases` struct and base::Cases); each error holds one of them (read
// through value() or get_if<Case>()) and converts implicitly from any of
// them, so
//   return std::unexpected(TransportError::ResponseTooLong{limit});
// works, and callers branch with `err.get_if<TransportError::Io>()`.
//
// source() returns a `base::ErrorRef`: a borrowed view of the cause that
// again answers display(), debug() and source(), so a caller can walk the
// whole chain.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>

#include "base/cases.hpp"
#include "base/error_ref.hpp"
#include "base/io_error.hpp"
#include "config/error.hpp"
#include "instrument/types.hpp"

namespace vorlix::instrument {

using base::ErrorRef;

class AcquisitionError;

// How a serial port failed to open or to take its settings.
enum class SerialErrorKind : std::uint8_t {
    NoDevice,      // the device does not exist or went away
    InvalidInput,  // the port refused a setting (an unsupported line speed)
    Unknown,
    Io,  // another operating-system failure; see `io_kind`
};

// The serial layer's error: a kind and the operating system's description.
class SerialError {
public:
    // `io_kind` is meaningful for kind Io only.
    SerialError(SerialErrorKind kind, base::IoErrorKind io_kind, std::string description)
        : kind_(kind), io_kind_(io_kind), description_(std::move(description)) {}
    // From an errno value of an open or configuration call.
    static SerialError from_errno(int code);

    SerialErrorKind kind() const { return kind_; }
    base::IoErrorKind io_kind() const { return io_kind_; }
    const std::string& description() const { return description_; }

    std::string display() const { return description_; }
    // SerialError { kind: Io(PermissionDenied), description: "Permission denied" }
    std::string debug() const;
    bool operator==(const SerialError&) const = default;

private:
    SerialErrorKind kind_;
    base::IoErrorKind io_kind_;
    std::string description_;
};

struct RawScanErrorCases {
    struct InvalidRequest {
        std::string message;
        bool operator==(const InvalidRequest&) const = default;
    };
    struct MissingStart {
        bool operator==(const MissingStart&) const = default;
    };
    struct Length {
        std::size_t expected = 0;
        std::size_t actual = 0;
        bool operator==(const Length&) const = default;
    };
    struct Alignment {
        std::size_t index = 0;  // 0-based sample number
        std::uint8_t found = 0;
        bool operator==(const Alignment&) const = default;
    };
    struct MissingEnd {
        bool operator==(const MissingEnd&) const = default;
    };
    using Value = std::variant<InvalidRequest, MissingStart, Length, Alignment, MissingEnd>;
};

class RawScanError : public base::Cases<RawScanErrorCases> {
public:
    using Cases::Cases;

    std::string display() const;
    std::string debug() const;
};

struct TransportErrorCases {
    struct Io {
        base::IoError error;
        bool operator==(const Io&) const = default;
    };
    struct ResponseTooLong {
        std::size_t limit = 0;  // the configured limit, not the count read
        bool operator==(const ResponseTooLong&) const = default;
    };
    struct InvalidCommand {
        bool operator==(const InvalidCommand&) const = default;
    };
    struct CommandRejected {
        std::string command;
        std::string response;  // the whole reply, echo and line ends included
        bool operator==(const CommandRejected&) const = default;
    };
    struct Protocol {
        RawScanError error;
        bool operator==(const Protocol&) const = default;
    };
    using Value = std::variant<Io, ResponseTooLong, InvalidCommand, CommandRejected, Protocol>;
};

class TransportError : public base::Cases<TransportErrorCases> {
public:
    using Cases::Cases;

    // The I/O error of an `Io` error, else null.
    const base::IoError* io_error() const;

    std::string display() const;
    std::string debug() const;
    std::optional<ErrorRef> source() const;
};

// Identification's outcome when the replies do not settle the identity.
// Its texts appear only inside AcquisitionError::Device.
class IdentityError {
public:
    enum class Kind : std::uint8_t { Unknown, Conflicting, ConflictingRevision };

    IdentityError(Kind kind) : kind_(kind) {}  // NOLINT: implicit, as the kind it stands for

    Kind kind() const { return kind_; }
    std::string display() const;
    std::string debug() const;  // the kind's name
    bool operator==(const IdentityError&) const = default;

private:
    Kind kind_;
};

struct OpenErrorCases {
    struct Config {
        config::ConfigError error;
        bool operator==(const Config&) const = default;
    };
    struct Tcp {
        base::IoError error;
        bool operator==(const Tcp&) const = default;
    };
    struct Serial {
        SerialError error;
        bool operator==(const Serial&) const = default;
    };
    using Value = std::variant<Config, Tcp, Serial>;
};

class OpenError : public base::Cases<OpenErrorCases> {
public:
    using Cases::Cases;

    std::string display() const;
    std::string debug() const;
    // Config passes straight to the ConfigError's own cause.
    std::optional<ErrorRef> source() const;
};

struct AcquisitionErrorCases {
    struct Transport {
        TransportError error;
        bool operator==(const Transport&) const = default;
    };
    struct Protocol {
        RawScanError error;
        bool operator==(const Protocol&) const = default;
    };
    struct MissingIdentity {
        bool operator==(const MissingIdentity&) const = default;
    };
    struct Device {
        IdentityError error;
        bool operator==(const Device&) const = default;
    };
    struct UnexpectedModel {
        InstrumentFamily expected;  // the configured model
        InstrumentFamily actual;    // the detected one
        bool operator==(const UnexpectedModel&) const = default;
    };
    struct MissingCommand {
        InstrumentFamily model;
        std::string command;
        bool operator==(const MissingCommand&) const = default;
    };
    struct MissingZeroReadback {
        std::uint16_t requested = 0;
        bool operator==(const MissingZeroReadback&) const = default;
    };
    struct ZeroReadbackMismatch {
        std::uint16_t requested = 0;
        std::uint16_t actual = 0;
        bool operator==(const ZeroReadbackMismatch&) const = default;
    };
    struct SweepReadbackMismatch {
        std::uint64_t requested_start = 0;  // Hz
        std::uint64_t requested_stop = 0;   // Hz
        std::string response;
        bool operator==(const SweepReadbackMismatch&) const = default;
    };
    // A run that failed and whose `resume` then failed too. The primary
    // error lives on the heap because it may itself be a Recovery; copies
    // are deep, and the primary is released before the recovery error.
    struct Recovery {
        Recovery(AcquisitionError primary, TransportError recovery);
        Recovery(const Recovery& other);
        Recovery(Recovery&& other) noexcept = default;
        Recovery& operator=(const Recovery& other);
        Recovery& operator=(Recovery&& other) noexcept = default;
        ~Recovery();
        bool operator==(const Recovery& other) const;

        std::unique_ptr<AcquisitionError> primary;  // never null
        TransportError recovery;
    };
    using Value = std::variant<Transport, Protocol, MissingIdentity, Device, UnexpectedModel, MissingCommand,
                               MissingZeroReadback, ZeroReadbackMismatch, SweepReadbackMismatch, Recovery>;
};

class AcquisitionError : public base::Cases<AcquisitionErrorCases> {
public:
    using Cases::Cases;
    // The two errors that a failing run wraps most often.
    AcquisitionError(TransportError error) : Cases(Transport{std::move(error)}) {}
    AcquisitionError(RawScanError error) : Cases(Protocol{std::move(error)}) {}
    AcquisitionError(IdentityError error) : Cases(Device{error}) {}

    std::string display() const;
    std::string debug() const;
    std::optional<ErrorRef> source() const;
};

}  // namespace vorlix::instrument
