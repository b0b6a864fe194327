#include "instrument/errors.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/debug_form.hpp"

namespace vorlix::instrument {

namespace {

using base::debug_quote;
using base::debug_wrap;
using base::Overloaded;

std::string family_text(InstrumentFamily family) { return std::string(display_name(family)); }
std::string family_debug(InstrumentFamily family) { return std::string(debug_name(family)); }

}  // namespace

// ---- SerialError -----------------------------------------------------------

SerialError SerialError::from_errno(int code) {
    switch (code) {
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return SerialError(SerialErrorKind::NoDevice, base::IoErrorKind::Other, std::strerror(code));
        case EINVAL:
            return SerialError(SerialErrorKind::InvalidInput, base::IoErrorKind::Other, std::strerror(code));
        default:
            return SerialError(SerialErrorKind::Io, base::IoError::from_errno(code).kind(),
                               std::strerror(code));
    }
}

std::string SerialError::debug() const {
    std::string kind_text;
    switch (kind_) {
        case SerialErrorKind::NoDevice: kind_text = "NoDevice"; break;
        case SerialErrorKind::InvalidInput: kind_text = "InvalidInput"; break;
        case SerialErrorKind::Unknown: kind_text = "Unknown"; break;
        case SerialErrorKind::Io: kind_text = debug_wrap("Io", base::kind_name(io_kind_)); break;
    }
    return "SerialError { kind: " + kind_text + ", description: " + debug_quote(description_) + " }";
}

// ---- RawScanError ----------------------------------------------------------

std::string RawScanError::display() const {
    return std::visit(
        Overloaded{
            [](const InvalidRequest& e) { return "invalid scan request: " + e.message; },
            [](const MissingStart&) { return std::string("raw scan is missing its opening brace"); },
            [](const Length& e) {
                return "raw frame has " + std::to_string(e.actual) + " bytes; expected " +
                       std::to_string(e.expected);
            },
            [](const Alignment& e) {
                char hex[3];
                std::snprintf(hex, sizeof hex, "%02x", static_cast<unsigned>(e.found));
                return "sample " + std::to_string(e.index) + " has alignment byte 0x" + hex +
                       "; expected 0x78";
            },
            [](const MissingEnd&) { return std::string("raw scan is missing its closing brace"); },
        },
        value());
}

std::string RawScanError::debug() const {
    return std::visit(
        Overloaded{
            [](const InvalidRequest& e) { return debug_wrap("InvalidRequest", debug_quote(e.message)); },
            [](const MissingStart&) { return std::string("MissingStart"); },
            [](const Length& e) {
                return "Length { expected: " + std::to_string(e.expected) +
                       ", actual: " + std::to_string(e.actual) + " }";
            },
            [](const Alignment& e) {
                return "Alignment { index: " + std::to_string(e.index) +
                       ", found: " + std::to_string(e.found) + " }";
            },
            [](const MissingEnd&) { return std::string("MissingEnd"); },
        },
        value());
}

// ---- TransportError --------------------------------------------------------

const base::IoError* TransportError::io_error() const {
    const auto* io = get_if<Io>();
    return io ? &io->error : nullptr;
}

std::string TransportError::display() const {
    return std::visit(Overloaded{
                          [](const Io& e) { return "serial transport: " + e.error.display(); },
                          [](const ResponseTooLong& e) {
                              return "serial response exceeds " + std::to_string(e.limit) + " bytes";
                          },
                          [](const InvalidCommand&) {
                              return std::string("a shell command must be one nonempty printable ASCII line");
                          },
                          [](const CommandRejected& e) {
                              return "device rejected " + debug_quote(e.command) + ": " + e.response;
                          },
                          [](const Protocol& e) { return e.error.display(); },
                      },
                      value());
}

std::string TransportError::debug() const {
    return std::visit(
        Overloaded{
            [](const Io& e) { return debug_wrap("Io", e.error.debug()); },
            [](const ResponseTooLong& e) { return debug_wrap("ResponseTooLong", std::to_string(e.limit)); },
            [](const InvalidCommand&) { return std::string("InvalidCommand"); },
            [](const CommandRejected& e) {
                return "CommandRejected { command: " + debug_quote(e.command) +
                       ", response: " + debug_quote(e.response) + " }";
            },
            [](const Protocol& e) { return debug_wrap("Protocol", e.error.debug()); },
        },
        value());
}

std::optional<ErrorRef> TransportError::source() const {
    // A protocol fault shows its frame error's text and, like it, has no cause.
    if (const auto* io = io_error()) return ErrorRef(*io);
    return std::nullopt;
}

// ---- IdentityError ---------------------------------------------------------

std::string IdentityError::display() const {
    switch (kind_) {
        case Kind::Unknown:
            return "unsupported device identity; expected tinySA_v\u2026 or tinySA4_v\u2026 in "
                   "version/info";
        case Kind::Conflicting:
            return "conflicting device identity: replies identify both tinySA Basic and Ultra";
        case Kind::ConflictingRevision:
            return "conflicting device identity: replies identify multiple tinySA Ultra "
                   "revisions";
    }
    return {};
}

std::string IdentityError::debug() const {
    switch (kind_) {
        case Kind::Unknown: return "Unknown";
        case Kind::Conflicting: return "Conflicting";
        case Kind::ConflictingRevision: return "ConflictingRevision";
    }
    return {};
}

// ---- OpenError -------------------------------------------------------------

std::string OpenError::display() const {
    return std::visit(Overloaded{
                          [](const Config& e) { return e.error.display(); },
                          [](const Tcp& e) { return "TCP connection: " + e.error.display(); },
                          [](const Serial& e) { return "serial connection: " + e.error.display(); },
                      },
                      value());
}

std::string OpenError::debug() const {
    return std::visit(Overloaded{
                          [](const Config& e) { return debug_wrap("Config", e.error.debug()); },
                          [](const Tcp& e) { return debug_wrap("Tcp", e.error.debug()); },
                          [](const Serial& e) { return debug_wrap("Serial", e.error.debug()); },
                      },
                      value());
}

std::optional<ErrorRef> OpenError::source() const {
    return std::visit(Overloaded{
                          [](const Config& e) { return e.error.source(); },
                          [](const Tcp& e) -> std::optional<ErrorRef> { return ErrorRef(e.error); },
                          [](const Serial& e) -> std::optional<ErrorRef> { return ErrorRef(e.error); },
                      },
                      value());
}

// ---- AcquisitionError ------------------------------------------------------

AcquisitionError::Recovery::Recovery(AcquisitionError primary_error, TransportError recovery_error)
    : primary(std::make_unique<AcquisitionError>(std::move(primary_error))),
      recovery(std::move(recovery_error)) {}

AcquisitionError::Recovery::Recovery(const Recovery& other)
    : primary(std::make_unique<AcquisitionError>(*other.primary)), recovery(other.recovery) {}

AcquisitionError::Recovery& AcquisitionError::Recovery::operator=(const Recovery& other) {
    if (this != &other) {
        primary = std::make_unique<AcquisitionError>(*other.primary);
        recovery = other.recovery;
    }
    return *this;
}

// The primary goes first, before the members are destroyed.
AcquisitionError::Recovery::~Recovery() { primary.reset(); }

bool AcquisitionError::Recovery::operator==(const Recovery& other) const {
    if ((primary == nullptr) != (other.primary == nullptr)) return false;
    if (primary && !(*primary == *other.primary)) return false;
    return recovery == other.recovery;
}

std::string AcquisitionError::display() const {
    return std::visit(
        Overloaded{
            [](const Transport& e) { return e.error.display(); },
            [](const Protocol& e) { return e.error.display(); },
            [](const MissingIdentity&) {
                return std::string("the instrument returned an empty version or info reply");
            },
            [](const Device& e) { return e.error.display(); },
            [](const UnexpectedModel& e) {
                return "configured model " + family_text(e.expected) + " does not match detected " +
                       family_text(e.actual);
            },
            [](const MissingCommand& e) {
                return family_text(e.model) + " firmware does not advertise required command " +
                       debug_quote(e.command);
            },
            [](const MissingZeroReadback& e) {
                return "could not confirm the raw-level offset after configuring zero " +
                       std::to_string(e.requested);
            },
            [](const ZeroReadbackMismatch& e) {
                return "raw-level offset readback is " + std::to_string(e.actual) + " dB after requesting " +
                       std::to_string(e.requested) + " dB";
            },
            [](const SweepReadbackMismatch& e) {
                return "ZS406 did not confirm the requested Ultra sweep " +
                       std::to_string(e.requested_start) + "\u2013" + std::to_string(e.requested_stop) +
                       " Hz; readback was " + debug_quote(e.response);
            },
            [](const Recovery& e) {
                return e.primary->display() + "; additionally, resume failed: " + e.recovery.display();
            },
        },
        value());
}

std::string AcquisitionError::debug() const {
    return std::visit(
        Overloaded{
            [](const Transport& e) { return debug_wrap("Transport", e.error.debug()); },
            [](const Protocol& e) { return debug_wrap("Protocol", e.error.debug()); },
            [](const MissingIdentity&) { return std::string("MissingIdentity"); },
            [](const Device& e) { return debug_wrap("Device", e.error.debug()); },
            [](const UnexpectedModel& e) {
                return "UnexpectedModel { expected: " + family_debug(e.expected) +
                       ", actual: " + family_debug(e.actual) + " }";
            },
            [](const MissingCommand& e) {
                return "MissingCommand { model: " + family_debug(e.model) +
                       ", command: " + debug_quote(e.command) + " }";
            },
            [](const MissingZeroReadback& e) {
                return "MissingZeroReadback { requested: " + std::to_string(e.requested) + " }";
            },
            [](const ZeroReadbackMismatch& e) {
                return "ZeroReadbackMismatch { requested: " + std::to_string(e.requested) +
                       ", actual: " + std::to_string(e.actual) + " }";
            },
            [](const SweepReadbackMismatch& e) {
                return "SweepReadbackMismatch { requested_start: " + std::to_string(e.requested_start) +
                       ", requested_stop: " + std::to_string(e.requested_stop) +
                       ", response: " + debug_quote(e.response) + " }";
            },
            [](const Recovery& e) {
                return "Recovery { primary: " + e.primary->debug() + ", recovery: " + e.recovery.debug() +
                       " }";
            },
        },
        value());
}

std::optional<ErrorRef> AcquisitionError::source() const {
    if (const auto* transport = get_if<Transport>()) return transport->error.source();
    if (const auto* recovery = get_if<Recovery>()) return ErrorRef(*recovery->primary);
    return std::nullopt;
}

}  // namespace vorlix::instrument
