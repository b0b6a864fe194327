#include "base/io_error.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

namespace vorlix::base {
namespace {

TEST(IoError, OsErrorsShowTheirTextCodeAndKind) {
    auto e = IoError::from_errno(ENOENT);
    EXPECT_EQ(e.kind(), IoErrorKind::NotFound);
    EXPECT_EQ(e.display(), "No such file or directory (os error 2)");
    EXPECT_EQ(e.debug(), "Os { code: 2, kind: NotFound, message: \"No such file or directory\" }");
}

TEST(IoError, ErrnoValuesMapToTheirKinds) {
    const struct {
        int code;
        IoErrorKind kind;
        const char* name;
    } cases[] = {
        {EISDIR, IoErrorKind::IsADirectory, "IsADirectory"},
        {ENOTDIR, IoErrorKind::NotADirectory, "NotADirectory"},
        {ENOSPC, IoErrorKind::StorageFull, "StorageFull"},
        {EFBIG, IoErrorKind::FileTooLarge, "FileTooLarge"},
        {ETIMEDOUT, IoErrorKind::TimedOut, "TimedOut"},
        {ENOTTY, IoErrorKind::Uncategorized, "Uncategorized"},
    };
    for (const auto& c : cases) {
        auto e = IoError::from_errno(c.code);
        EXPECT_EQ(e.kind(), c.kind) << c.name;
        EXPECT_EQ(kind_name(e.kind()), std::string(c.name));
    }
}

TEST(IoError, CustomErrorsShowTheirOwnText) {
    auto e = IoError::custom(IoErrorKind::TimedOut, "connection timed out");
    EXPECT_EQ(e.display(), "connection timed out");
    EXPECT_EQ(e.debug(), "Custom { kind: TimedOut, error: \"connection timed out\" }");
}

TEST(DebugQuote, EscapesQuotesBackslashesAndControls) {
    EXPECT_EQ(debug_quote("a\"b\\c\r\n\x01"), "\"a\\\"b\\\\c\\r\\n\\u{1}\"");
    EXPECT_EQ(debug_quote("ch> µ"), "\"ch> µ\"");
    EXPECT_EQ(debug_quote("a\u0085b\u00adc"), "\"a\\u{85}b\\u{ad}c\"");
    EXPECT_EQ(debug_quote("a\xff\x9b"), "\"a\\xFF\\x9B\"");
}

}  // namespace
}  // namespace vorlix::base
