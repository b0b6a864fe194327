#include "instrument/sweep_setup_parse.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace vorlix::instrument {
namespace {

TEST(ReplyListsCommand, WholeWordsOnly) {
    struct Case {
        std::string reply;
        const char* word;
        bool listed;
    };
    const Case cases[] = {
        {"help\r\nCommands: version reset scanraw\r\n", "scanraw", true},
        {"Commands: scanraw sweeps\r\n", "scan", false},
        {"Commands: scanraw sweeps\r\n", "sweep", false},
        {"Pause, Resume", "pause", true},
        {"MODE", "mode", true},
        {"usart_cfg threads", "usart_cfg", true},
        {"usart_cfg", "usart", false},
        {"zero-offset", "zero", true},
        {"\u00e9sweep\u00e9", "sweep", true},  // a non-ASCII letter cuts
        {"sweep2", "sweep", false},
        {"", "sweep", false},
        {"sweep", "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reply + " / " + c.word);
        EXPECT_EQ(reply_lists_command(c.reply, c.word), c.listed);
    }
}

TEST(ParseZeroReadback, Tokens) {
    struct Case {
        std::string reply;
        std::optional<std::uint16_t> value;
    };
    const Case cases[] = {
        {"zero\r\n174dBm\r\n", 174}, {"(174dBm)", 174},        {"+174dBm", 174},
        {"level: 174DBM.", 174},     {"70000dBm 150dBm", 150}, {"65535dBm", 65535},
        {"65536dBm", std::nullopt},  {"-5dBm", std::nullopt},  {"174 dBm", std::nullopt},
        {"dBm", std::nullopt},       {"+dBm", std::nullopt},   {"1+74dBm", std::nullopt},
        {"\u00ab128dBm\u00bb", 128}, {"x\u00a0128dBm", 128},   {"usage: zero {level}\r\n174dBm\r\n", 174},
        {"", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reply);
        EXPECT_EQ(parse_zero_readback(c.reply), c.value);
    }
}

TEST(ParseSweepReadback, FirstLineWithTwoNumbers) {
    struct Case {
        std::string reply;
        std::optional<SweepRange> range;
    };
    const Case cases[] = {
        {"sweep\r\n100000 5400000000 450\r\n", SweepRange{100000, 5400000000}},
        {"sweep\r\n100000 5399999999 450\r\n100000 5400000000 450\r\n", SweepRange{100000, 5399999999}},
        {"start 100000\r\nstop 5400000000\r\n", std::nullopt},
        {"+100000 abc 5400000000", SweepRange{100000, 5400000000}},
        {"- + 1 18446744073709551615", SweepRange{1, 18446744073709551615u}},
        {"1 18446744073709551616 2", SweepRange{1, 2}},
        {"1,2 3", std::nullopt},
        {"", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reply);
        EXPECT_EQ(parse_sweep_readback(c.reply), c.range);
    }
    EXPECT_TRUE(sweep_readback_confirms("sweep\r\n100000 5400000000 450\r\n", 100000, 5400000000));
    EXPECT_FALSE(sweep_readback_confirms("100000 5399999999\n100000 5400000000\n", 100000, 5400000000));
}

}  // namespace
}  // namespace vorlix::instrument
