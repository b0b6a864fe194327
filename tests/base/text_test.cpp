#include "base/text.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace vorlix::base {
namespace {

// Each case through both forms: the strict one gives nothing and leaves pos
// where no valid character starts; the replacing one then gives U+FFFD for
// the one byte.
TEST(Utf8, DecodesAndRejectsMalformedSequences) {
    struct Case {
        std::string bytes;
        char32_t cp;
        std::size_t length;
    };
    const Case cases[] = {
        {"a", U'a', 1},
        {"\xC3\xA9", U'é', 2},
        {"\xE2\x94\x80", U'─', 3},
        {"\xF0\x9F\x98\x80", U'\U0001F600', 4},
        {"\xEF\xBF\xBD", 0xfffd, 3},      // the replacement character itself
        {"\xC3", 0xfffd, 1},              // truncated
        {"\xE2\x94", 0xfffd, 1},          // truncated after a good second byte
        {"\x80", 0xfffd, 1},              // lone continuation
        {"\xC0\xAF", 0xfffd, 1},          // overlong "/"
        {"\xE0\x80\xAF", 0xfffd, 1},      // overlong, three bytes
        {"\xED\xA0\x80", 0xfffd, 1},      // surrogate
        {"\xF4\x90\x80\x80", 0xfffd, 1},  // above U+10FFFF
        {"\xF5\x80\x80\x80", 0xfffd, 1},
        {"\xFF", 0xfffd, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.bytes));
        const std::string text = "x" + c.bytes + "y";
        const DecodedChar d = decode_utf8_replacing(text, 1);
        EXPECT_EQ(d.code_point, c.cp);
        EXPECT_EQ(d.length, c.length);

        std::size_t pos = 1;
        const std::optional<char32_t> strict = decode_utf8(text, pos);
        const bool valid = c.cp != 0xfffd || c.length > 1;
        EXPECT_EQ(strict.has_value(), valid);
        EXPECT_EQ(pos, valid ? 1 + c.length : 1);
        if (valid) {
            EXPECT_EQ(*strict, c.cp);
        }
    }
}

}  // namespace
}  // namespace vorlix::base
