#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "at_command.h"
#include "command_table.h"
#include "identify_command.h"
#include "platform/environment.h"
#include "pty_device.h"
#include "scripted_peer.h"
#include "settings/json_text.h"
#include "time_scale.h"

using namespace vardex::platform;
using namespace vardex::settings;

namespace vardex::ctl {
namespace {

using test::ScopedTimeScale;
using test::ScriptedPeer;

struct AtRun {
    int status = -1;
    std::string out;
    std::string err;
};

AtRun RunAtWith(const std::vector<std::string>& args) {
    std::ostringstream out;
    std::ostringstream err;
    AtRun run;
    run.status = RunAt(CallOf("at", args), out, err);
    run.out = out.str();
    run.err = err.str();
    return run;
}

std::string Reply(const std::string& line) {
    if (line == "ATI4") {
        return "\r\nCalvetra VarDex V1.2\r\n\r\nOK\r\n";
    }
    if (line == "ATI1") {
        return std::string("\r\n\x01\xe9\"\\\r\n\r\nOK\r\n");
    }
    return "\r\nOK\r\n";
}

TEST(JsonString, EscapesControlsAndKeepsEveryByte) {
    EXPECT_EQ(JsonString(""), "\"\"");
    EXPECT_EQ(JsonString("OK\r\n"), "\"OK\\r\\n\"");
    EXPECT_EQ(JsonString("a\"b\\c\t"), "\"a\\\"b\\\\c\\t\"");
    EXPECT_EQ(JsonString(std::string("\x00\x1f\x7f", 3)), "\"\\u0000\\u001f\\u007f\"");
    // Bytes above 0x7F become U+0080..U+00FF in UTF-8, one code point per byte.
    EXPECT_EQ(JsonString("\xff\x80"), "\"\xc3\xbf\xc2\x80\"");
}

TEST(VardexctlAt, UsageErrorsExitWithTwoBeforeTouchingAPort) {
    EXPECT_EQ(RunAtWith({}).status, kExitUsage);
    EXPECT_EQ(RunAtWith({"--port"}).status, kExitUsage);
    EXPECT_EQ(RunAtWith({"--bogus", "AT"}).status, kExitUsage);
    EXPECT_EQ(RunAtWith({"--timeout", "0", "AT"}).status, kExitUsage);
    EXPECT_EQ(RunAtWith({"--timeout", "12x", "AT"}).status, kExitUsage);
    // A person's control characters never reach a command line.
    const AtRun injected = RunAtWith({"--port", "/dev/null", "ATZ\rAT&F"});
    EXPECT_EQ(injected.status, kExitUsage);
    EXPECT_NE(injected.err.find("control characters"), std::string::npos);
    EXPECT_EQ(RunAtWith({"--help"}).status, kExitOk);
}

TEST(VardexctlAt, OpenFailuresAreSentencesWithPathAndReason) {
    ScopedTimeScale scale(vardex::test::kAnswerScale);
    AtRun run = RunAtWith({"--port", "/dev/no-such-vardex", "AT"});
    EXPECT_EQ(run.status, kExitLinkDown);
    EXPECT_NE(run.err.find("/dev/no-such-vardex"), std::string::npos);
    EXPECT_NE(run.err.find("No such file or directory"), std::string::npos);

    run = RunAtWith({"--port", "/dev/null", "AT"});
    EXPECT_EQ(run.status, kExitLinkDown);
    EXPECT_NE(run.err.find("not a serial port"), std::string::npos);

    ::setenv(env::kPorts, "", 1);
    run = RunAtWith({"AT"});
    EXPECT_EQ(run.status, kExitLinkDown);
    EXPECT_NE(run.err.find("COM1"), std::string::npos);
    ::unsetenv(env::kPorts);
}

TEST(VardexctlAt, PrintsRepliesExactlyOrAsJson) {
    ScopedTimeScale scale(vardex::test::kAnswerScale);
    ScriptedPeer peer(Reply, true);
    AtRun run = RunAtWith({"--port", peer.SlavePath(), "ATI4", "AT"});
    EXPECT_EQ(run.status, kExitOk) << run.err;
    EXPECT_EQ(run.out, "Calvetra VarDex V1.2\r\n\r\nOK\r\nOK\r\n");

    run = RunAtWith({"--port", peer.SlavePath(), "--json", "ATI1", "ATI4"});
    EXPECT_EQ(run.status, kExitOk) << run.err;
    EXPECT_EQ(run.out,
              "\"\\u0001\xc3\xa9\\\"\\\\\\r\\n\\r\\nOK\\r\\n\"\n"
              "\"Calvetra VarDex V1.2\\r\\n\\r\\nOK\\r\\n\"\n");

    // COM1 resolves through the port map.
    ::setenv(env::kPorts, peer.SlavePath().c_str(), 1);
    run = RunAtWith({"--json", "AT"});
    ::unsetenv(env::kPorts);
    EXPECT_EQ(run.status, kExitOk) << run.err;
    EXPECT_EQ(run.out, "\"OK\\r\\n\"\n");
}

TEST(VardexctlAt, SilentDeviceIsAnEmptyReplyNotAFailure) {
    ScopedTimeScale scale(vardex::test::kAnswerScale);
    ScriptedPeer peer(Reply, true);
    // The device answers the opening lines, then falls silent.
    std::thread silence([&] {
        if (peer.WaitForLines(3)) {
            peer.SetEcho(false);
            peer.SetResponder({});
        }
    });
    const AtRun run = RunAtWith({"--port", peer.SlavePath(), "--json", "ATI4"});
    silence.join();
    EXPECT_EQ(run.status, kExitOk) << run.err;
    EXPECT_EQ(run.out, "\"\"\n");
}

TEST(VardexctlAt, LinkDownPrintsNullAndExitsWithOne) {
    ScopedTimeScale scale(1.0);  // the hang-up must land inside the settle delay
    ScriptedPeer peer(Reply, true);
    std::thread hangup([&] {
        if (peer.WaitForLines(3)) {
            peer.Hangup();
        }
    });
    const AtRun run = RunAtWith({"--port", peer.SlavePath(), "--json", "ATI4"});
    hangup.join();
    // Either the settle check saw the line gone (an open failure) or the
    // exchange did: both are a link that went down.
    EXPECT_EQ(run.status, kExitLinkDown);
    EXPECT_TRUE(run.out == "null\n" || run.err.find("CTS or DSR") != std::string::npos)
        << run.out << run.err;
}

std::string IdentityReply(const std::string& line) {
    if (line == "ATI4") {
        return "\r\nCalvetra VarDex V1.2\r\n\r\nOK\r\n";
    }
    if (line == "ATI0") {
        return "\r\nHardware Version V3.0\r\n\r\nOK\r\n";
    }
    if (line == "ATI3") {
        return "\r\nSoftware Version V2.10 Brasil USB\r\n\r\nOK\r\n";
    }
    if (line == "ATI1") {
        return "\r\nCRC: 0001\r\n\r\nOK\r\n";
    }
    return "\r\nOK\r\n";
}

TEST(VardexctlIdentify, PrintsTheIdentityOfTheDeviceOnThePort) {
    ScopedTimeScale scale(test::kAnswerScale);
    ScriptedPeer peer(IdentityReply, false);
    std::ostringstream out;
    char* err_text = nullptr;
    std::size_t err_size = 0;
    FILE* err = ::open_memstream(&err_text, &err_size);
    FILE* in = std::fopen("/dev/null", "r");
    const int status =
        RunIdentify(CallOf("identify", {"--port", peer.SlavePath(), "--json"}), out, in, err);
    std::fclose(in);
    std::fclose(err);
    const std::string messages(err_text, err_size);
    std::free(err_text);
    EXPECT_EQ(status, kExitOk) << messages;
    EXPECT_EQ(out.str(),
              "{\"device\":\"Direct to " + peer.SlavePath() +
                  "\",\"m_strCountry\":\"Brasil USB\",\"m_wModelVersion\":258,"
                  "\"m_wHardwareVersion\":768,\"m_wFirmwareVersion\":522,"
                  "\"m_strCrc\":\"CRC: 0001\",\"m_bUsbConnection\":0,\"m_bX25Available\":0,"
                  "\"m_bFskLevelAvailable\":0}\n");
    // The status texts of the job went to the terminal.
    EXPECT_NE(messages.find("Performing initial probing"), std::string::npos);
    EXPECT_NE(messages.find("varDex country:\t\tBrasil USB"), std::string::npos);
}

TEST(VardexctlIdentify, SearchesThePortsAndAsksWhichDevice) {
    ScopedTimeScale scale(test::kAnswerScale);
    ScriptedPeer com1(IdentityReply, false);
    ScriptedPeer com2(IdentityReply, false);
    ::setenv(env::kPorts, (com1.SlavePath() + ":" + com2.SlavePath()).c_str(), 1);
    ::setenv(env::kLines, "", 1);
    std::ostringstream out;
    char answer[] = "2\n";
    FILE* in = ::fmemopen(answer, 2, "r");
    FILE* err = std::fopen("/dev/null", "w");
    const int status = RunIdentify(CallOf("identify", {}), out, in, err);
    std::fclose(in);
    std::fclose(err);
    ::unsetenv(env::kPorts);
    ::unsetenv(env::kLines);
    EXPECT_EQ(status, kExitOk);
    EXPECT_NE(out.str().find("Device:           Direct to COM2"), std::string::npos) << out.str();
}

// The program itself, against the simulator on a pseudo-terminal, as a person
// or a script would run it.
TEST(VardexctlProgram, IdentifiesTheSimulatedDeviceAsJson) {
    sim::PtyDevice device;
    SysError error;
    ASSERT_TRUE(device.Start(&error)) << error.Message();
    const std::string command = std::string("VARDEX_TIME_SCALE=0.2 '") + VARDEXCTL_PATH +
                                "' at --port '" + device.Path() + "' --json ATI4 ATI3";
    FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string out;
    char chunk[256];
    while (std::fgets(chunk, sizeof chunk, pipe) != nullptr) {
        out += chunk;
    }
    const int status = ::pclose(pipe);
    EXPECT_EQ(status, 0);
    const auto newline = out.find('\n');
    ASSERT_NE(newline, std::string::npos) << out;
    EXPECT_EQ(out.rfind("\"Calvetra VarDex", 0), 0u) << out;
    const std::string second = out.substr(newline + 1);
    EXPECT_EQ(second.rfind("\"Software Version", 0), 0u) << out;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 2) << out;
}

}  // namespace
}  // namespace vardex::ctl
