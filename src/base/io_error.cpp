#include "base/io_error.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/text.hpp"

namespace vorlix::base {

const char* kind_name(IoErrorKind kind) {
    switch (kind) {
        case IoErrorKind::NotFound: return "NotFound";
        case IoErrorKind::PermissionDenied: return "PermissionDenied";
        case IoErrorKind::ConnectionRefused: return "ConnectionRefused";
        case IoErrorKind::ConnectionReset: return "ConnectionReset";
        case IoErrorKind::ConnectionAborted: return "ConnectionAborted";
        case IoErrorKind::NotConnected: return "NotConnected";
        case IoErrorKind::AddrInUse: return "AddrInUse";
        case IoErrorKind::AddrNotAvailable: return "AddrNotAvailable";
        case IoErrorKind::BrokenPipe: return "BrokenPipe";
        case IoErrorKind::AlreadyExists: return "AlreadyExists";
        case IoErrorKind::WouldBlock: return "WouldBlock";
        case IoErrorKind::InvalidInput: return "InvalidInput";
        case IoErrorKind::InvalidData: return "InvalidData";
        case IoErrorKind::TimedOut: return "TimedOut";
        case IoErrorKind::WriteZero: return "WriteZero";
        case IoErrorKind::Interrupted: return "Interrupted";
        case IoErrorKind::Unsupported: return "Unsupported";
        case IoErrorKind::UnexpectedEof: return "UnexpectedEof";
        case IoErrorKind::OutOfMemory: return "OutOfMemory";
        case IoErrorKind::IsADirectory: return "IsADirectory";
        case IoErrorKind::NotADirectory: return "NotADirectory";
        case IoErrorKind::DirectoryNotEmpty: return "DirectoryNotEmpty";
        case IoErrorKind::ReadOnlyFilesystem: return "ReadOnlyFilesystem";
        case IoErrorKind::StorageFull: return "StorageFull";
        case IoErrorKind::FileTooLarge: return "FileTooLarge";
        case IoErrorKind::ResourceBusy: return "ResourceBusy";
        case IoErrorKind::CrossesDevices: return "CrossesDevices";
        case IoErrorKind::TooManyLinks: return "TooManyLinks";
        case IoErrorKind::InvalidFilename: return "InvalidFilename";
        case IoErrorKind::FilesystemLoop: return "FilesystemLoop";
        case IoErrorKind::HostUnreachable: return "HostUnreachable";
        case IoErrorKind::NetworkUnreachable: return "NetworkUnreachable";
        case IoErrorKind::NetworkDown: return "NetworkDown";
        case IoErrorKind::Uncategorized: return "Uncategorized";
        case IoErrorKind::Other: return "Other";
    }
    return "Other";
}

namespace {
IoErrorKind kind_of_errno(int code) {
    switch (code) {
        case ENOENT: return IoErrorKind::NotFound;
        case EACCES:
        case EPERM: return IoErrorKind::PermissionDenied;
        case ECONNREFUSED: return IoErrorKind::ConnectionRefused;
        case ECONNRESET: return IoErrorKind::ConnectionReset;
        case ECONNABORTED: return IoErrorKind::ConnectionAborted;
        case ENOTCONN: return IoErrorKind::NotConnected;
        case EADDRINUSE: return IoErrorKind::AddrInUse;
        case EADDRNOTAVAIL: return IoErrorKind::AddrNotAvailable;
        case EPIPE: return IoErrorKind::BrokenPipe;
        case EEXIST: return IoErrorKind::AlreadyExists;
        case EAGAIN: return IoErrorKind::WouldBlock;
        case EINVAL: return IoErrorKind::InvalidInput;
        case ETIMEDOUT: return IoErrorKind::TimedOut;
        case EINTR: return IoErrorKind::Interrupted;
        case ENOSYS:
        case EOPNOTSUPP: return IoErrorKind::Unsupported;
        case ENOMEM: return IoErrorKind::OutOfMemory;
        case EISDIR: return IoErrorKind::IsADirectory;
        case ENOTDIR: return IoErrorKind::NotADirectory;
        case ENOTEMPTY: return IoErrorKind::DirectoryNotEmpty;
        case EROFS: return IoErrorKind::ReadOnlyFilesystem;
        case ENOSPC:
        case EDQUOT: return IoErrorKind::StorageFull;
        case EFBIG: return IoErrorKind::FileTooLarge;
        case EBUSY: return IoErrorKind::ResourceBusy;
        case EXDEV: return IoErrorKind::CrossesDevices;
        case EMLINK: return IoErrorKind::TooManyLinks;
        case ENAMETOOLONG: return IoErrorKind::InvalidFilename;
        case ELOOP: return IoErrorKind::FilesystemLoop;
        case EHOSTUNREACH: return IoErrorKind::HostUnreachable;
        case ENETUNREACH: return IoErrorKind::NetworkUnreachable;
        case ENETDOWN: return IoErrorKind::NetworkDown;
        default: return IoErrorKind::Uncategorized;
    }
}
}  // namespace

IoError IoError::from_errno(int code) { return IoError(kind_of_errno(code), code, std::strerror(code)); }

IoError IoError::custom(IoErrorKind kind, std::string message) {
    return IoError(kind, std::nullopt, std::move(message));
}

std::string IoError::display() const {
    if (os_code_) return message_ + " (os error " + std::to_string(*os_code_) + ")";
    return message_;
}

std::string IoError::debug() const {
    if (os_code_) {
        return "Os { code: " + std::to_string(*os_code_) + ", kind: " + kind_name(kind_) +
               ", message: " + debug_quote(message_) + " }";
    }
    return std::string("Custom { kind: ") + kind_name(kind_) + ", error: " + debug_quote(message_) + " }";
}

std::string debug_quote(std::string_view text) {
    return "\"" + escape_controls(text, EscapeStyle::Quoted) + "\"";
}

}  // namespace vorlix::base
