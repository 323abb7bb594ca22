#include "device.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace vardex::sim {
namespace {

// A device with a capture sink; Send returns what the device sent for the bytes.
class SimDeviceTest : public ::testing::Test {
protected:
    explicit SimDeviceTest(DeviceOptions options = {})
        : device_(std::move(options), [this](std::string_view bytes) { out_ += bytes; }) {}

    std::string Send(std::string_view bytes) {
        out_.clear();
        device_.Feed(bytes);
        return out_;
    }
    // Same, with echo off first, so that only replies are compared.
    std::string Quiet(std::string_view bytes) {
        Send("ATE0\r");
        return Send(bytes);
    }

    std::string out_;
    Device device_;
};

// What the program makes of a command's bytes: drop the echo when it equals the
// command line, then a leading "\r\n".
std::string AsProgramSees(std::string_view command_line, std::string reply) {
    if (reply.starts_with(command_line)) {
        reply.erase(0, command_line.size());
    }
    if (reply.starts_with("\r\n")) {
        reply.erase(0, 2);
    }
    return reply;
}

// The program's version rule: skip blanks and 'V's, major, optional ".minor".
int VersionWord(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == 'V' || text[i] == 'v')) {
        ++i;
    }
    if (i == text.size()) {
        return -1;
    }
    const std::string rest(text.substr(i));
    char* end = nullptr;
    const long major = std::strtol(rest.c_str(), &end, 10);
    long minor = 0;
    if (*end == '.') {
        minor = std::strtol(end + 1, nullptr, 10);
    }
    return static_cast<int>(((major & 0xFF) << 8) | (minor & 0xFF));
}

TEST_F(SimDeviceTest, EchoesEveryByteAtOnceAndSwitchesWithE) {
    EXPECT_EQ(Send("AT\r"), "AT\r\r\nOK\r\n");
    // A partial line is echoed before the line ends.
    EXPECT_EQ(Send("ATI"), "ATI");
    EXPECT_EQ(Send("4\r").substr(0, 2), "4\r");

    // The line that turns echo off is still echoed; the next one is not.
    EXPECT_EQ(Send("ATE0\r"), "ATE0\r\r\nOK\r\n");
    EXPECT_FALSE(device_.Echo());
    EXPECT_EQ(Send("AT\r"), "\r\nOK\r\n");
    EXPECT_EQ(Send("ATE1\r"), "\r\nOK\r\n");
    EXPECT_EQ(Send("AT\r"), "AT\r\r\nOK\r\n");
    EXPECT_EQ(Send("ATE\r"), "ATE\r\r\nOK\r\n");
    EXPECT_FALSE(device_.Echo());
    EXPECT_EQ(Send("ATE2\r"), "\r\nERROR\r\n");
    EXPECT_FALSE(device_.Echo());
}

TEST_F(SimDeviceTest, ResetRestoresPowerUpEchoAndRegisters) {
    EXPECT_EQ(Quiet("ATS56=99\r"), "\r\nOK\r\n");
    EXPECT_EQ(Send("ATZ\r"), "\r\nOK\r\n");
    EXPECT_TRUE(device_.Echo());
    EXPECT_EQ(device_.Register(56), 20);
    Send("ATE0\r");
    EXPECT_EQ(Send("ATZ4\r"), "\r\nOK\r\n");
    EXPECT_TRUE(device_.Echo());
    EXPECT_EQ(Send("ATZ5\r"), "ATZ5\r\r\nERROR\r\n");
}

TEST(SimDeviceEcho, PowerUpEchoIsAnOptionAndEchoCanHaveItsOwnSink) {
    DeviceOptions options;
    options.echo = false;
    std::string all;
    Device device(options, [&](std::string_view bytes) { all += "R:" + std::string(bytes); });
    device.Feed("AT\r");
    EXPECT_EQ(all, "R:\r\nOK\r\n");

    all.clear();
    device.SetEchoSink([&](std::string_view bytes) { all += "E:" + std::string(bytes); });
    device.Feed("ATE1\rAT\r");
    EXPECT_EQ(all, "R:\r\nOK\r\nE:AT\rR:\r\nOK\r\n");
    device.Feed("ATZ\r");
    EXPECT_FALSE(device.Echo());
}

TEST_F(SimDeviceTest, IdentityRepliesParseByTheProgramsRules) {
    EXPECT_EQ(Send("ATI4\r"), "ATI4\r\r\nCalvetra VarDex V1.2\r\n\r\nOK\r\n");
    EXPECT_EQ(Send("ATI0\r"), "ATI0\r\r\nHardware Version V3.0\r\n\r\nOK\r\n");
    EXPECT_EQ(Send("ATI3\r"), "ATI3\r\r\nSoftware Version V2.10 Hungary\r\n\r\nOK\r\n");
    EXPECT_EQ(Send("ATI1\r"), "ATI1\r\r\nCRC: 5A3C\r\n\r\nOK\r\n");

    const std::string model = AsProgramSees("ATI4\r", Send("ATI4\r"));
    ASSERT_TRUE(model.starts_with("Calvetra VarDex"));
    EXPECT_EQ(VersionWord(std::string_view(model).substr(15)), 0x0102);
    const std::string hardware = AsProgramSees("ATI0\r", Send("ATI0\r"));
    EXPECT_EQ(VersionWord(std::string_view(hardware).substr(16)), 0x0300);
    const std::string software = AsProgramSees("ATI3\r", Send("ATI3\r"));
    EXPECT_EQ(VersionWord(std::string_view(software).substr(16)), 0x020A);
    // The CRC text ends four characters before "OK".
    const std::string crc = AsProgramSees("ATI1\r", Send("ATI1\r"));
    EXPECT_EQ(crc.substr(0, crc.find("OK") - 4), "CRC: 5A3C");

    EXPECT_EQ(Quiet("ati4\r"), "\r\nCalvetra VarDex V1.2\r\n\r\nOK\r\n");
    EXPECT_EQ(Send("ATI\r"), "\r\nHardware Version V3.0\r\n\r\nOK\r\n");
    EXPECT_EQ(Send("ATI2\r"), "\r\nERROR\r\n");
    EXPECT_EQ(Send("ATI44\r"), "\r\nERROR\r\n");
}

TEST(SimDeviceIdentity, OptionsChangeTheReplies) {
    DeviceOptions options;
    options.country = "";
    options.model_version = "V2.0";
    options.software_version = "V3.01";
    options.echo = false;
    std::string out;
    Device device(options, [&](std::string_view bytes) { out += bytes; });
    device.Feed("ATI3\r");
    EXPECT_EQ(out, "\r\nSoftware Version V3.01\r\n\r\nOK\r\n");
    out.clear();
    device.Feed("ATI4\r");
    EXPECT_EQ(out, "\r\nCalvetra VarDex V2.0\r\n\r\nOK\r\n");
}

TEST_F(SimDeviceTest, RegisterQueriesAnswerAPlainDecimalNumber) {
    EXPECT_EQ(Quiet("ATS56?\r"), "\r\n20\r\n\r\nOK\r\n");
    EXPECT_EQ(Send("ATS82?\r"), "\r\n74\r\n\r\nOK\r\n");
    EXPECT_EQ(Send("ATS84?\r"), "\r\n0\r\n\r\nOK\r\n");
    EXPECT_EQ(Send("ats105?\r"), "\r\n255\r\n\r\nOK\r\n");

    // The program reads the leading number with strtol after its own stripping.
    EXPECT_EQ(Send("ATS84=192\r"), "\r\nOK\r\n");
    const std::string seen = AsProgramSees("ATS84?\r", Send("ATS84?\r"));
    EXPECT_EQ(std::strtol(seen.c_str(), nullptr, 10), 192);
    EXPECT_EQ(std::strtol(seen.c_str(), nullptr, 0), 192);
}

TEST_F(SimDeviceTest, WholeAndSingleBitWrites) {
    EXPECT_EQ(Quiet("ATS56=0\r"), "\r\nOK\r\n");
    EXPECT_EQ(device_.Register(56), 0);
    EXPECT_EQ(Send("ATS56=100\r"), "\r\nOK\r\n");
    EXPECT_EQ(device_.Register(56), 100);

    EXPECT_EQ(Send("ATS79=0\r"), "\r\nOK\r\n");
    EXPECT_EQ(Send("ATS79.2=1\r"), "\r\nOK\r\n");
    EXPECT_EQ(Send("ATS79.7=1\r"), "\r\nOK\r\n");
    EXPECT_EQ(device_.Register(79), 0x84);
    EXPECT_EQ(Send("ATS79.2=0\r"), "\r\nOK\r\n");
    EXPECT_EQ(device_.Register(79), 0x80);
    EXPECT_EQ(Send("ATS79?\r"), "\r\n128\r\n\r\nOK\r\n");

    EXPECT_EQ(Send("ATS103=4\r"), "\r\nOK\r\n");
    EXPECT_EQ(Send("ATS103.2?\r"), "\r\n1\r\n\r\nOK\r\n");
    EXPECT_EQ(Send("ATS103.3?\r"), "\r\n0\r\n\r\nOK\r\n");
    EXPECT_EQ(Send("ATS103.0?\r"), "\r\n0\r\n\r\nOK\r\n");
}

TEST_F(SimDeviceTest, RefusedRegisterCommandsChangeNothing) {
    Send("ATE0\r");
    Send("ATS79=5\r");
    for (const std::string_view command :
         {"ATS56=256\r", "ATS56=-1\r",  "ATS56=\r",    "ATS56=1x\r", "ATS56=99999999999999\r",
          "ATS56\r",     "ATS56?x\r",   "ATS256=1\r",  "ATS256?\r",  "ATS=1\r",
          "ATS?\r",      "ATS79.8=1\r", "ATS79.2=2\r", "ATS79.1=\r", "ATS79.=1\r",
          "ATS79.8?\r",  "ATS79.1?1\r", "ATS56=101\r", "ATS2?\r",    "ATS2=1\r",
          "ATS56.7=1\r"}) {
        EXPECT_EQ(Send(command), "\r\nERROR\r\n") << command;
        EXPECT_EQ(device_.Register(56), 20) << command;
        EXPECT_EQ(device_.Register(79), 5) << command;
    }
}

TEST_F(SimDeviceTest, LinesMayArriveInPiecesAndCrLfIsOneEnd) {
    Send("ATE0\r");
    std::string out;
    for (const std::string_view piece : {"A", "T", "S5", "6=3", "3", "\r"}) {
        out += Send(piece);
    }
    EXPECT_EQ(out, "\r\nOK\r\n");
    EXPECT_EQ(device_.Register(56), 33);

    EXPECT_EQ(Send("AT\r\nAT\r\n"), "\r\nOK\r\n\r\nOK\r\n");
    EXPECT_EQ(device_.CommandCount(), 4u);
}

TEST_F(SimDeviceTest, BytesOutsideACommandAreIgnored) {
    Send("ATE0\r");
    // The program may send a lone "N" or "QUIT\r" before its next command.
    EXPECT_EQ(Send("N"), "");
    EXPECT_EQ(Send("ATI4\r"), "\r\nCalvetra VarDex V1.2\r\n\r\nOK\r\n");
    EXPECT_EQ(Send("QUIT\r"), "");
    EXPECT_EQ(Send("\n\r\n"), "");
    EXPECT_EQ(Send("A\rT\r"), "");
    EXPECT_EQ(Send("xxAAT\r"), "\r\nOK\r\n");
    EXPECT_EQ(Send("aT/setri\r"), "\r\nOK\r\n");
    EXPECT_EQ(Send("AT/SETRIX\r"), "\r\nERROR\r\n");
    EXPECT_EQ(Send("ATXYZ\r"), "\r\nERROR\r\n");
    EXPECT_EQ(device_.LastCommand(), "XYZ");
}

TEST_F(SimDeviceTest, BackspaceRemovesTheLastCharacter) {
    EXPECT_EQ(Quiet("ATS56=9\b5\r"), "\r\nOK\r\n");
    EXPECT_EQ(device_.Register(56), 5);
}

class SimSmallLineBufferTest : public SimDeviceTest {
protected:
    static DeviceOptions Options() {
        DeviceOptions options;
        options.line_buffer = 10;
        options.echo = false;
        return options;
    }
    SimSmallLineBufferTest() : SimDeviceTest(Options()) {}
};

TEST_F(SimSmallLineBufferTest, OverlongLineIsRefusedAndTheNextOneWorks) {
    EXPECT_EQ(Send("ATS56=0099\r"), "\r\nOK\r\n");  // exactly ten characters
    EXPECT_EQ(device_.Register(56), 99);
    EXPECT_EQ(Send("ATS56=00012\r"), "\r\nERROR\r\n");
    EXPECT_EQ(device_.Register(56), 99);
    EXPECT_EQ(Send("AT" + std::string(100000, 'S') + "\r"), "\r\nERROR\r\n");
    EXPECT_EQ(Send("AT\r"), "\r\nOK\r\n");
}

TEST_F(SimDeviceTest, DefaultLineBufferHoldsTheProgramsLongestLine) {
    // The program sends at most 126 characters before the CR.
    EXPECT_EQ(Quiet("ATS56=" + std::string(119, '0') + "7\r"), "\r\nOK\r\n");
    EXPECT_EQ(device_.Register(56), 7);
    EXPECT_EQ(Send("AT" + std::string(300, 'I') + "\r"), "\r\nERROR\r\n");
}

// The load generator: the byte count follows the rate in device time, the
// numbered lines continue across floods, and the duration ends it.
TEST(SimTraceFlood, SendsAtTheRateInNumberedLinesAndStopsOnTime) {
    std::string out;
    Device device({}, [&out](std::string_view bytes) { out += bytes; });
    device.SetTraceFlood(6400, 1000);
    for (std::int64_t t = 0; t <= 1500; t += 7) {
        if (device.TraceFlooding()) {
            EXPECT_LE(device.NextDeadline(), t + Device::kFloodTickMs);
        }
        device.AdvanceTo(t);
    }
    EXPECT_FALSE(device.TraceFlooding());
    EXPECT_EQ(device.NextDeadline(), Device::kNever);
    EXPECT_EQ(out.size(), 6400u);
    EXPECT_EQ(device.TraceFloodBytes(), 6400u);
    // 100 whole lines of 64 bytes, numbered 0..99.
    for (std::size_t n = 0; n < 100; ++n) {
        const std::string line = out.substr(n * 64, 64);
        char head[20];
        std::snprintf(head, sizeof head, "FLOOD %010zu", n);
        EXPECT_TRUE(line.starts_with(head)) << line;
        EXPECT_TRUE(line.ends_with("\r\n")) << line;
    }

    // Only whole lines go out; a new flood goes on with the numbering.
    device.AdvanceTo(1500);
    out.clear();
    device.SetTraceFlood(1000, 0);
    device.AdvanceTo(1563);
    EXPECT_TRUE(out.empty());
    device.AdvanceTo(1564);
    EXPECT_EQ(out.size(), 64u);
    device.SetTraceFlood(0, 0);
    device.AdvanceTo(2000);
    device.SetTraceFlood(1000, 0);
    device.AdvanceTo(2064);
    EXPECT_EQ(out.size(), 128u);
    EXPECT_TRUE(out.starts_with("FLOOD 0000000100"));
    EXPECT_EQ(out.substr(64, 16), "FLOOD 0000000101");
    EXPECT_TRUE(out.ends_with("\r\n"));
    EXPECT_EQ(device.NextDeadline(), 2064 + Device::kFloodTickMs);
}

}  // namespace
}  // namespace vardex::sim
