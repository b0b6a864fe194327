#include "instrument/identify.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "base/text.hpp"

namespace vorlix::instrument {
namespace {

using R = HardwareRevision;

struct IdentifyCase {
    const char* name;
    std::string version;
    std::string info;
    std::optional<bool> is_ultra;  // none: an error is expected
    std::optional<HardwareRevision> revision;
    IdentityError error = IdentityError::Kind::Unknown;
};

const std::string BASIC_VERSION = "version\r\ntinySA_v1.4-175-g1419a93\r\n";
const std::string ULTRA_VERSION = "version\r\ntinySA4_v1.4-143-g864bb27\r\nHW Version:V0.4.5.1.1 \r\n";

const IdentifyCase IDENTIFY_CASES[] = {
    {"basic_reply", BASIC_VERSION, "info\r\ntinySA v0.3\r\n2019-2024 Copyright\r\n", false, {}},
    {"ultra_zs405_from_hw_line", ULTRA_VERSION, "info\r\ntinySA ULTRA\r\n", true, R::ZS405},
    {"ultra_zs405_from_info", "version\r\ntinySA4_v1.4-143-g864bb27\r\n", "info\r\ntinySA ULTRA ZS405\r\n",
     true, R::ZS405},
    {"ultra_zs406_both_markers", "tinySA4_v1.4-143-g864bb27\r\nHW Version:V0.4.6.1\r\n",
     "tinySA ULTRA+ ZS406\r\n", true, R::ZS406},
    {"ultra_zs407_v054", "tinySA4_v1.4\nHW Version:V0.5.4\n", "tinySA ULTRA\n", true, R::ZS407},
    {"ultra_zs407_v053", "tinySA4_v1.4\nhw version:v0.5.3\n", "", true, R::ZS407},
    {"ultra_without_revision", "tinySA4_v1.4\n", "", true, {}},
    {"ultra_from_info_substring_only", "version\n", "xxtinysa ultraxx", true, {}},
    {"basic_from_info_words", "version\n", "This is a TINYSA BASIC", false, {}},
    {"basic_from_bare_line_with_blanks", "version\n", "info\r\n   tinySA \t\r\nmore", false, {}},
    {"basic_bare_last_line_without_lf", "", "info\n \u3000tinySA", false, {}},
    {"basic_ignores_revision_marker", BASIC_VERSION, "zs406", false, {}},
    {"tinysa4_is_not_basic_evidence", "tinySA4_v1.4", "", true, {}},
    {"token_after_no_break_space", "version\u00a0tinySA4_v1.4", "", true, {}},
    {"token_after_line_separator", "version\u2028tinySA_v1.4", "", false, {}},
    {"token_after_next_line", "x\u0085tinySA4_v2", "", true, {}},
    {"token_after_ideographic_space", "x\u3000tinySA_v2", "", false, {}},
    {"zero_width_space_does_not_split",
     "x\u200btinySA4_v1.4",
     "",
     std::nullopt,
     {},
     IdentityError::Kind::Unknown},
    {"prefix_inside_token_is_no_evidence", "xtinysa4_v1", "", std::nullopt, {}, IdentityError::Kind::Unknown},
    {"line_tinysa_plus_text_is_no_evidence",
     "",
     "tinySA v0.3",
     std::nullopt,
     {},
     IdentityError::Kind::Unknown},
    {"no_tinysa_at_all",
     "version\r\nch",
     "info\r\nsomething else\r\n",
     std::nullopt,
     {},
     IdentityError::Kind::Unknown},
    {"ultra_and_basic_conflict",
     ULTRA_VERSION,
     "tinySA Basic\n",
     std::nullopt,
     {},
     IdentityError::Kind::Conflicting},
    {"both_version_tokens_conflict",
     "tinySA_v1 tinySA4_v1",
     "",
     std::nullopt,
     {},
     IdentityError::Kind::Conflicting},
    {"two_revisions",
     "tinySA4_v1.4 zs405",
     "HW Version:V0.4.6",
     std::nullopt,
     {},
     IdentityError::Kind::ConflictingRevision},
    {"two_revisions_on_basic",
     BASIC_VERSION,
     "ZS405 ZS407",
     std::nullopt,
     {},
     IdentityError::Kind::ConflictingRevision},
    {"marker_across_the_joining_line_feed", "tinySA4_v1 zs40", "5", true, {}},
};

TEST(IdentifyDevice, TableOfReplies) {
    for (const IdentifyCase& c : IDENTIFY_CASES) {
        SCOPED_TRACE(c.name);
        auto result = identify_device(c.version, c.info);
        if (!c.is_ultra) {
            ASSERT_FALSE(result.has_value());
            EXPECT_EQ(result.error(), c.error);
            continue;
        }
        ASSERT_TRUE(result.has_value()) << result.error().debug();
        EXPECT_EQ(result->is_ultra, *c.is_ultra);
        EXPECT_EQ(result->revision, c.revision);
        EXPECT_EQ(result->version, c.version);
        EXPECT_EQ(result->info, c.info);
    }
}

TEST(IdentifyDevice, FamilyNames) {
    auto ultra = identify_device(ULTRA_VERSION, "");
    ASSERT_TRUE(ultra.has_value());
    EXPECT_EQ(ultra->family(), InstrumentFamily::Ultra);
    EXPECT_EQ(display_name(ultra->family()), "tinySA Ultra family");
    EXPECT_EQ(display_name(InstrumentFamily::Basic), "tinySA Basic");
    EXPECT_EQ(debug_name(InstrumentFamily::Ultra), "Ultra");
    EXPECT_EQ(display_name(HardwareRevision::ZS406), "ZS406");
}

// Every Unicode White_Space character separates tokens; look-alikes do not,
// and a truncated sequence is an ordinary character.
TEST(ReplyText, WhiteSpaceSet) {
    const char* separators[] = {"\t",     "\n",     "\v",     "\f",     "\r",     " ",
                                "\u0085", "\u00a0", "\u1680", "\u2000", "\u2005", "\u200a",
                                "\u2028", "\u2029", "\u202f", "\u205f", "\u3000"};
    for (const char* ws : separators) {
        SCOPED_TRACE(testing::PrintToString(std::string(ws)));
        const std::string text = std::string("a") + ws + "b" + ws;
        const auto tokens = base::split_unicode_whitespace(text);
        ASSERT_EQ(tokens.size(), 2u);
        EXPECT_EQ(tokens[0], "a");
        EXPECT_EQ(tokens[1], "b");
        EXPECT_EQ(base::trim_unicode_whitespace(std::string(ws) + "a b" + ws), "a b");
    }
    const char* not_separators[] = {"\u200b",   "\ufeff", "\u180e", "\u00a1",
                                    "\xe2\x80", "\xc2",   "\x85",   "\u2030"};
    for (const char* other : not_separators) {
        SCOPED_TRACE(testing::PrintToString(std::string(other)));
        const std::string text = std::string("a") + other + "b";
        const auto tokens = base::split_unicode_whitespace(text);
        ASSERT_EQ(tokens.size(), 1u);
        EXPECT_EQ(tokens[0], text);
    }
}

TEST(ReplyText, Lines) {
    struct Case {
        std::string text;
        std::vector<std::string_view> lines;
    };
    const Case cases[] = {
        {"", {}},           {"a", {"a"}},
        {"a\n", {"a"}},     {"a\r\nb\r\n\r\nc\r", {"a", "b", "", "c\r"}},
        {"\n\n", {"", ""}}, {"a\rb\n", {"a\rb"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.text));
        EXPECT_EQ(base::split_lines(c.text), c.lines);
    }
}

}  // namespace
}  // namespace vorlix::instrument
