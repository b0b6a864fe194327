#include "instrument/shell.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <string>
#include <vector>

#include "base/text.hpp"
#include "instrument/fake_stream.hpp"

namespace vorlix::instrument {
namespace {

using base::IoError;
using base::IoErrorKind;
using fake::FakeScript;
using namespace std::chrono_literals;

TEST(WriteCommand, SendsTheCommandThenACarriageReturnThenFlushes) {
    FakeScript script;
    ShellConnection shell = script.shell();
    ASSERT_TRUE(write_command(shell, "version"));
    EXPECT_EQ(script.writes, (std::vector<std::string>{"version", "\r"}));
    EXPECT_EQ(script.flushes, 1);
}

TEST(WriteCommand, RefusesAnythingButOnePrintableAsciiLine) {
    for (std::string bad :
         {std::string(""), std::string("sweep\n"), std::string("a\tb"), std::string("caf\xC3\xA9"),
          std::string("x\x7F"), std::string("a\0b", 3), std::string("zero\r")}) {
        SCOPED_TRACE(base::debug_quote(bad));
        FakeScript script;
        ShellConnection shell = script.shell();
        auto sent = write_command(shell, bad);
        ASSERT_FALSE(sent);
        EXPECT_TRUE(sent.error().get_if<TransportError::InvalidCommand>());
        EXPECT_EQ(script.written, "");
        EXPECT_EQ(script.flushes, 0);
    }
}

TEST(WriteCommand, StreamFailuresBecomeIo) {
    IoError broken = IoError::from_errno(5);
    struct Case {
        const char* name;
        void (*arrange)(FakeScript&, const IoError&);
    } cases[] = {
        {"command write", [](FakeScript& s, const IoError& e) { s.fail_write(e); }},
        {"terminator write",
         [](FakeScript& s, const IoError& e) {
             s.short_write(99);
             s.fail_write(e);
         }},
        {"flush", [](FakeScript& s, const IoError& e) { s.flush_error = e; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeScript script;
        c.arrange(script, broken);
        ShellConnection shell = script.shell();
        auto sent = write_command(shell, "pause");
        ASSERT_FALSE(sent);
        ASSERT_NE(sent.error().io_error(), nullptr);
        EXPECT_EQ(*sent.error().io_error(), broken);
    }
}

// The loop under every command write: short writes advance, an interrupted
// write is tried again, a write that takes nothing or fails ends it.
TEST(WriteAll, RetriesInterruptionsAndStopsOnNoProgress) {
    struct Case {
        const char* name;
        std::vector<FakeScript::WriteOutcome> outcomes;
        std::string written;
        std::string error;  // display text; empty: success
        IoErrorKind kind = IoErrorKind::Other;
    } cases[] = {
        {"short writes advance", {{std::nullopt, 2}, {std::nullopt, 3}}, "scanraw", ""},
        {"interrupted is repeated",
         {{IoError::custom(IoErrorKind::Interrupted, "interrupted"), 0}, {std::nullopt, 4}},
         "scanraw",
         ""},
        {"no progress",
         {{std::nullopt, 3}, {std::nullopt, 0}},
         "sca",
         "failed to write whole buffer",
         IoErrorKind::WriteZero},
        {"other failure",
         {{IoError::from_errno(EIO), 0}},
         "",
         "Input/output error (os error 5)",
         IoErrorKind::Uncategorized},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeScript script;
        script.write_outcomes.assign(c.outcomes.begin(), c.outcomes.end());
        auto stream = script.stream();
        const std::string_view text = "scanraw";
        auto written =
            stream->write_all(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
        EXPECT_EQ(script.written, c.written);
        if (c.error.empty()) {
            EXPECT_TRUE(written) << written.error().display();
        } else {
            ASSERT_FALSE(written);
            EXPECT_EQ(written.error().display(), c.error);
            EXPECT_EQ(written.error().kind(), c.kind);
        }
    }
}

// What read_until_prompt makes of a sequence of stream reads.
struct PromptCase {
    const char* name;
    std::vector<std::string> chunks;
    std::size_t limit;
    std::string reply;  // when it succeeds
    std::string error;  // display text when it fails
};

TEST(ReadUntilPrompt, ReturnsEverythingBeforeThePromptOrFails) {
    const std::string n253(253, 'a');
    const PromptCase cases[] = {
        {"echo and output",
         {" version\r\ntinySA4_v0.4.0\r\nch>"},
         65536,
         " version\r\ntinySA4_v0.4.0\r\n",
         ""},
        {"prompt split over reads", {"abc c", "h", "> "}, 65536, "abc ", ""},
        {"near misses", {"c>ch c", "hc", "ch>"}, 65536, "c>ch chc", ""},
        {"empty reply", {"ch>"}, 65536, "", ""},
        {"limit holds the prompt exactly", {n253 + "ch>"}, 256, n253, ""},
        {"one byte over the limit", {n253 + "a" + "ch>"}, 256, "", "serial response exceeds 256 bytes"},
        {"silent after part of a reply", {"partial"}, 65536, "", "serial transport: Operation timed out"},
    };
    for (const PromptCase& c : cases) {
        SCOPED_TRACE(c.name);
        FakeScript script;
        for (const std::string& chunk : c.chunks) script.reply(chunk);
        ShellConnection shell = script.shell(c.limit);
        auto reply = read_until_prompt(shell);
        if (c.error.empty()) {
            ASSERT_TRUE(reply) << reply.error().display();
            EXPECT_EQ(*reply, c.reply);
        } else {
            ASSERT_FALSE(reply);
            EXPECT_EQ(reply.error().display(), c.error);
        }
    }
}

TEST(ReadUntilPrompt, LimitErrorCarriesTheLimitNotTheCount) {
    FakeScript script;
    script.reply(std::string(5000, 'x'));
    ShellConnection shell = script.shell(256);
    auto reply = read_until_prompt(shell);
    ASSERT_FALSE(reply);
    EXPECT_EQ(reply.error(), TransportError(TransportError::ResponseTooLong{256}));
    EXPECT_EQ(shell.buffered(), 5000u - 256u);
}

TEST(ReadUntilPrompt, EndOfStreamAndInterruptedReads) {
    FakeScript script;
    script.fail_read(IoError::custom(IoErrorKind::Interrupted, "interrupted"));
    script.reply("ab");
    script.eof();
    ShellConnection shell = script.shell();
    auto reply = read_until_prompt(shell);
    ASSERT_FALSE(reply);
    ASSERT_NE(reply.error().io_error(), nullptr);
    EXPECT_EQ(reply.error().io_error()->kind(), IoErrorKind::UnexpectedEof);
    EXPECT_EQ(reply.error().display(), "serial transport: failed to fill whole buffer");
}

TEST(ReadUntilPrompt, BytesAfterAPromptBeginTheNextReply) {
    FakeScript script;
    script.reply(" a\r\n1\r\nch> b\r\n2\r\nch> ");
    ShellConnection shell = script.shell();
    auto first = read_until_prompt(shell);
    auto second = read_until_prompt(shell);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(*first, " a\r\n1\r\n");
    EXPECT_EQ(*second, " b\r\n2\r\n");
    EXPECT_EQ(shell.buffered(), 1u);  // the blank of the last prompt waits
    EXPECT_EQ(std::count(script.events.begin(), script.events.end(), "read"), 1);
}

TEST(ReadExact, FillsLargeBuffersAcrossReadsAndKeepsTheRest) {
    FakeScript script;
    std::string data;
    for (int i = 0; i < 20000; ++i) data.push_back(static_cast<char>(i * 7));
    for (std::size_t at = 0; at < data.size(); at += 3000) script.reply(data.substr(at, 3000));
    ShellConnection shell = script.shell();
    std::vector<std::uint8_t> first(4096), second(data.size() - 4096);
    ASSERT_TRUE(shell.read_exact(first));
    ASSERT_TRUE(shell.read_exact(second));
    std::string got(first.begin(), first.end());
    got.append(second.begin(), second.end());
    EXPECT_EQ(got, data);
}

TEST(Shell, GreetingIsDrainedAndEchoedCommandsComeBackWhole) {
    FakeScript script;
    script.reply(fake::GREETING);
    script.respond = [](std::string_view command) {
        return fake::instrument_reply(command, "tinySA4_v1.4-143\r\nHW Version:V0.4.5.1\r\n");
    };
    ShellConnection shell = script.shell();
    ASSERT_TRUE(drain_to_prompt(shell));
    auto reply = run_command(shell, "version", 0ms, 0ms);
    ASSERT_TRUE(reply);
    EXPECT_EQ(*reply, " version\r\ntinySA4_v1.4-143\r\nHW Version:V0.4.5.1\r\n");
    EXPECT_TRUE(script.pauses.empty());
}

TEST(DrainToPrompt, SilenceIsSuccessOtherFailuresAreNot) {
    struct Case {
        const char* name;
        void (*arrange)(FakeScript&);
        std::string error;  // empty: success
    } cases[] = {
        {"silent", [](FakeScript&) {}, ""},
        {"would block",
         [](FakeScript& s) {
             s.reply("stale output");
             s.fail_read(IoError::from_errno(EAGAIN));
         },
         ""},
        {"pending reply", [](FakeScript& s) { s.reply("junk\r\nch> "); }, ""},
        {"streams without a prompt", [](FakeScript& s) { s.reply(std::string(300, 'x')); },
         "serial response exceeds 256 bytes"},
        {"closed", [](FakeScript& s) { s.eof(); }, "serial transport: failed to fill whole buffer"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeScript script;
        c.arrange(script);
        ShellConnection shell = script.shell(256);
        auto drained = drain_to_prompt(shell);
        if (c.error.empty()) {
            EXPECT_TRUE(drained) << drained.error().display();
        } else {
            ASSERT_FALSE(drained);
            EXPECT_EQ(drained.error().display(), c.error);
        }
    }
}

TEST(RunCommand, PausesAfterTheWriteAndAfterACompleteReplyOnly) {
    struct Case {
        const char* name;
        void (*arrange)(FakeScript&);
        std::vector<std::string> events;
    } cases[] = {
        {"complete reply",
         [](FakeScript& s) { s.reply(" zero\r\nch>"); },
         {"write zero", "write \r", "flush", "pause 20", "read", "pause 200"}},
        {"failed read",
         [](FakeScript& s) { s.timeout(); },
         {"write zero", "write \r", "flush", "pause 20", "read"}},
        {"failed write", [](FakeScript& s) { s.fail_write(IoError::from_errno(EIO)); }, {"write failed"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeScript script;
        c.arrange(script);
        ShellConnection shell = script.shell();
        (void)run_command(shell, "zero", 20ms, 200ms);
        EXPECT_EQ(script.events, c.events);
    }
}

TEST(RunCommand, ZeroPausesDoNotSleep) {
    FakeScript script;
    script.reply(" help\r\nch>");
    ShellConnection shell = script.shell();
    ASSERT_TRUE(run_command(shell, "help", 0ms, 0ms));
    EXPECT_TRUE(script.pauses.empty());
}

TEST(CommandChecked, RejectsRepliesWithAnErrorLine) {
    struct Case {
        std::string reply;
        bool rejected;
    } cases[] = {
        {" sweep start 1\r\n", false},
        {" sweep\r\n  Usage: sweep {start(Hz)} [stop(Hz)]\r\n", true},
        {" pause\r\nERROR: not now\r\n", true},
        {" ultra on\r\nunknown command\r\n", true},
        {" bogus\r\nbogus?\r\n", false},
        {" mode\r\nstatus: no error: all fine\r\n", false},
        {" mode\r\n\xC2\xA0\tusage: mode", true},  // no-break space and tab trimmed
        {" mode\r\nusage\r\n", false},
        {"error:", true},
        {"", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(base::debug_quote(c.reply));
        FakeScript script;
        script.reply(c.reply + "ch>");
        script.reply(c.reply + "ch>");
        ShellConnection shell = script.shell();
        auto checked = command_checked(shell, "mode low input", 0ms, 0ms);
        auto plain = run_command(shell, "mode low input", 0ms, 0ms);
        ASSERT_TRUE(plain);
        EXPECT_EQ(*plain, c.reply);
        if (c.rejected) {
            ASSERT_FALSE(checked);
            EXPECT_EQ(checked.error(),
                      TransportError(TransportError::CommandRejected{"mode low input", c.reply}));
        } else {
            ASSERT_TRUE(checked);
            EXPECT_EQ(*checked, c.reply);
        }
    }
}

TEST(DecodeLossy, ReplacesEachInvalidSequence) {
    const std::string r = "\xEF\xBF\xBD";
    struct Case {
        std::string bytes;
        std::string text;
    } cases[] = {
        {"plain", "plain"},
        {"ab\xFF"
         "cd",
         "ab" + r + "cd"},
        {"\xE2\x80\xA6 \xE2\x80\x93", "\xE2\x80\xA6 \xE2\x80\x93"},
        {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},
        {"x\xE2\x82", "x" + r},  // cut short at the end
        {"\xE2\x82"
         "A",
         r + "A"},
        {"\xED\xA0\x80", r + r + r},          // a surrogate
        {"\xC0\xAF", r + r},                  // overlong
        {"\xF4\x90\x80\x80", r + r + r + r},  // above U+10FFFF
        {"\xF0\x9F\x98"
         "\xF0\x9F\x98\x80",
         r + "\xF0\x9F\x98\x80"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(base::debug_quote(c.bytes));
        EXPECT_EQ(base::lossy_utf8(c.bytes), c.text);
    }
}

TEST(RunCommand, DecodesTheReplyLossily) {
    FakeScript script;
    script.reply(
        " info\r\nlevel \xB0"
        "C\r\nch>");
    ShellConnection shell = script.shell();
    auto reply = run_command(shell, "info", 0ms, 0ms);
    ASSERT_TRUE(reply);
    EXPECT_EQ(*reply,
              " info\r\nlevel \xEF\xBF\xBD"
              "C\r\n");
}

}  // namespace
}  // namespace vorlix::instrument
