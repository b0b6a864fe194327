#pragma once
// An I/O failure as every layer reports it: a kind to branch on, and the
// text shown to the user. Operating-system failures keep their errno so the
// text reads "<strerror> (os error N)"; our own failures carry a fixed text.

#include <cstdint>
#include <optional>
#include <string_view>
#include <string>

namespace vorlix::base {

enum class IoErrorKind : std::uint8_t {
    NotFound,
    PermissionDenied,
    ConnectionRefused,
    ConnectionReset,
    ConnectionAborted,
    NotConnected,
    AddrInUse,
    AddrNotAvailable,
    BrokenPipe,
    AlreadyExists,
    WouldBlock,
    InvalidInput,
    InvalidData,
    TimedOut,
    WriteZero,
    Interrupted,
    Unsupported,
    UnexpectedEof,
    OutOfMemory,
    IsADirectory,
    NotADirectory,
    DirectoryNotEmpty,
    ReadOnlyFilesystem,
    StorageFull,
    FileTooLarge,
    ResourceBusy,
    CrossesDevices,
    TooManyLinks,
    InvalidFilename,
    FilesystemLoop,
    HostUnreachable,
    NetworkUnreachable,
    NetworkDown,
    // An operating-system error with no kind of its own.
    Uncategorized,
    // One of our own failures that fits no other kind.
    Other,
};

// The kind's name as the debug form spells it, e.g. "TimedOut".
const char* kind_name(IoErrorKind kind);

class IoError {
public:
    // An operating-system error; the kind is derived from the errno value.
    static IoError from_errno(int code);
    // A failure of our own with a fixed text, e.g. {TimedOut, "connection timed out"}.
    static IoError custom(IoErrorKind kind, std::string message);

    IoErrorKind kind() const { return kind_; }
    std::optional<int> os_code() const { return os_code_; }

    // "No such file or directory (os error 2)" or the custom text.
    std::string display() const;
    // Os { code: 2, kind: NotFound, message: "No such file or directory" }
    // or Custom { kind: TimedOut, error: "connection timed out" }
    std::string debug() const;

    bool operator==(const IoError&) const = default;

private:
    IoError(IoErrorKind kind, std::optional<int> code, std::string message)
        : kind_(kind), os_code_(code), message_(std::move(message)) {}

    IoErrorKind kind_;
    std::optional<int> os_code_;
    std::string message_;
};

// Quotes a text the way debug forms show strings: in double quotes, with
// backslash, double quote and control characters escaped, and bytes that
// are not UTF-8 as \xNN (escape_controls, style Quoted).
std::string debug_quote(std::string_view text);

}  // namespace vorlix::base
