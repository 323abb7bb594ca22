#include <gtest/gtest.h>

#include <string>

#include "exchange_timing.h"
#include "link/reply_assembly.h"
#include "link_fixture.h"

using namespace vardex::link;

namespace vardex::test {
namespace {

TEST_F(OpenLink, EchoAndNoEchoGiveTheSameText) {
    peer_.SetEcho(true);
    const std::string with_echo = port_.SendCommand("ATI4");
    peer_.SetEcho(false);
    const char* reply = port_.SendCommand("ATI4");
    ASSERT_NE(reply, nullptr);
    EXPECT_EQ(with_echo, "Calvetra VarDex V1.2\r\n\r\nOK\r\n");
    EXPECT_EQ(std::string(reply), with_echo);
    EXPECT_EQ(port_.GetReplyLength(), with_echo.size());
}

TEST_F(OpenLink, OnlyALeadingLineBreakIsRemoved) {
    peer_.SetEcho(false);
    peer_.SetResponder([](const std::string&) { return std::string("\r\n\r\nOK\r\n"); });
    EXPECT_STREQ(port_.SendCommand("AT"), "\r\nOK\r\n");
    peer_.SetResponder([](const std::string&) { return std::string("OK\r\n"); });
    EXPECT_STREQ(port_.SendCommand("AT"), "OK\r\n");
    peer_.SetResponder([](const std::string&) { return std::string("\n\rOK"); });
    EXPECT_STREQ(port_.SendCommand("AT"), "\n\rOK");
    peer_.SetResponder([](const std::string&) { return std::string("\r"); });
    EXPECT_STREQ(port_.SendCommand("AT"), "\r");
}

TEST_F(OpenLink, EchoThatDiffersBecomesTheStartOfTheReply) {
    peer_.SetEcho(false);
    peer_.SetResponder([](const std::string&) { return std::string("AT\rX\r\nOK\r\n"); });
    EXPECT_STREQ(port_.SendCommand("ATI"), "AT\rX\r\nOK\r\n");
    // An echo of the same length but other bytes is kept too.
    peer_.SetResponder([](const std::string&) { return std::string("at\r\r\nOK\r\n"); });
    EXPECT_STREQ(port_.SendCommand("AT"), "at\r\r\nOK\r\n");
}

TEST_F(OpenLink, LongCommandIsCutTo126Characters) {
    peer_.SetEcho(true);
    const std::string command = "AT" + std::string(198, '7');
    ASSERT_NE(port_.SendCommand(command.c_str()), nullptr);
    ASSERT_TRUE(peer_.WaitForLines(4));
    EXPECT_EQ(peer_.Lines().back(), command.substr(0, 126));
    const std::string received = peer_.Received();
    EXPECT_EQ(received.substr(received.size() - 127), command.substr(0, 126) + "\r");
}

TEST_F(OpenLink, SilentDeviceGivesEmptyTextNotNull) {
    peer_.SetEcho(false);
    peer_.SetResponder({});
    const char* reply = port_.SendCommand("ATI4");
    ASSERT_NE(reply, nullptr);
    EXPECT_STREQ(reply, "");
    EXPECT_EQ(port_.GetReplyLength(), 0u);
}

// Reads count bytes off the line (fewer if it falls silent first). What did not
// fit into a reply is read off this way rather than purged: the peer may still
// be writing it, and a purge would leave the rest for the next exchange.
std::size_t ReadOff(CDevicePort& port, std::size_t count) {
    std::size_t read = 0;
    char scratch[4096];
    for (std::size_t n = 1; read < count && n > 0; read += n) {
        n = port.ReadRaw(scratch, sizeof scratch - 1);  // room for its NUL
    }
    return read;
}

TEST_F(OpenLink, HostileRepliesStayInsideTheBuffer) {
    peer_.SetEcho(false);
    // Ten thousand bytes without a pause: the reply holds the first 4095.
    peer_.SetResponder([](const std::string&) { return std::string(10000, '9'); });
    const char* reply = port_.SendCommand("ATS84?");
    ASSERT_NE(reply, nullptr);
    EXPECT_EQ(port_.GetReplyLength(), 4095u);
    EXPECT_EQ(std::string(reply).size(), 4095u);
    EXPECT_EQ(ReadOff(port_, 10000 - 4095), 10000u - 4095u);

    // NUL and 0xFF bytes travel; the length tells where the text really ends.
    const std::string binary("\r\n\x00\xff\x00OK", 7);
    peer_.SetResponder([&](const std::string&) { return binary; });
    reply = port_.SendCommand("ATI1");
    ASSERT_NE(reply, nullptr);
    EXPECT_EQ(std::string(reply, port_.GetReplyLength()), binary.substr(2));

    // An echo longer than the room of the echo read (the command is short).
    peer_.SetResponder([](const std::string&) { return std::string(5000, '\xff'); });
    reply = port_.SendCommand("A");
    ASSERT_NE(reply, nullptr);
    EXPECT_EQ(port_.GetReplyLength(), 4095u);
}

TEST_F(OpenLink, NullCommandSendsABareCarriageReturn) {
    peer_.SetEcho(false);
    ASSERT_NE(port_.SendCommand(nullptr), nullptr);
    ASSERT_TRUE(peer_.WaitForLines(4));
    EXPECT_EQ(peer_.Lines().back(), "");
}

TEST_F(OpenLink, BothTimingsReturnTheSameBytes) {
    struct Case {
        bool echo;
        std::string reply;
    };
    const std::string nul_bytes("\r\n\x00\xff\x00OK\r\n", 10);
    const Case cases[] = {
        {true, "\r\nCalvetra VarDex V1.2\r\n\r\nOK\r\n"},
        {false, "\r\nCalvetra VarDex V1.2\r\n\r\nOK\r\n"},
        {false, "AT\rX\r\nOK\r\n"},  // an echo cut short
        {false, "\r\n\r\nOK\r\n"},
        {false, "OK\r\n"},
        {true, "\r\nERROR\r\n"},
        {false, "\r\nBOOK\r\nmore"},  // no result code: read until silence
        {false, ""},
        {false, nul_bytes},
        {true, "\r\nFirmware Upgrade ... (Y/N)?"},
        {true, "\r\nVDX> "},
        {false, std::string(5000, '9') + "\r\nOK\r\n"},
    };
    for (const Case& c : cases) {
        peer_.SetEcho(c.echo);
        peer_.SetResponder([reply = c.reply](const std::string&) { return reply; });
        std::string replies[2];
        for (const ExchangeTiming timing :
             {ExchangeTiming::kSilence, ExchangeTiming::kFinalResult}) {
            const ScopedExchangeTiming scoped(timing);
            const char* reply = port_.SendCommand("ATI4");
            ASSERT_NE(reply, nullptr);
            replies[timing == ExchangeTiming::kSilence ? 0 : 1].assign(reply,
                                                                       port_.GetReplyLength());
            ReadOff(port_, c.reply.size() > 4095 ? c.reply.size() - 4095 : 0);
            port_.PurgeInput();
        }
        EXPECT_EQ(replies[1], replies[0]) << c.reply.substr(0, 40);
        const std::string expected =
            c.reply.starts_with("\r\n") ? c.reply.substr(2) : c.reply.substr(0, 4095);
        EXPECT_EQ(replies[0], expected.substr(0, 4095)) << c.reply.substr(0, 40);
    }
}

TEST(FinalResult, OnlyAWholeLastLineOrAPromptEndsTheReply) {
    for (const char* text : {"OK\r\n", "\r\nERROR\r\n", "X\r\n\r\nOK\r\n", "\r\nVDX> "}) {
        EXPECT_TRUE(EndsInFinalResult(text)) << text;
    }
    // A question's wording is the device's own: it ends on silence.
    for (const char* text : {"", "OK", "\r\nBOOK\r\n", "\r\nOK\r\nRING\r\n", "OK \r\n",
                             "\r\nOK\r\n\r\n", "Go on (Y/N)?", ">"}) {
        EXPECT_FALSE(EndsInFinalResult(text)) << text;
    }
}

}  // namespace
}  // namespace vardex::test
