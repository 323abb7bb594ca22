// The simulator as the program meets it: through CDevicePort over the
// pseudo-terminal, with the program's own exchange, echo handling and reads.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <string_view>

#include "firmware_image.h"
#include "link/device_port.h"
#include "link/tapi_line.h"
#include "pty_device.h"
#include "time_scale.h"
#include "xmodem_block.h"

using namespace vardex::platform;
using namespace vardex::link;

namespace vardex::sim {
namespace {

constexpr char kAck = 0x06;
constexpr char kNak = 0x15;
constexpr char kEot = 0x04;

class SimPortTest : public ::testing::Test {
protected:
    explicit SimPortTest(DeviceOptions options = {}) : device_(std::move(options)) {}

    void SetUp() override {
        SysError error;
        ASSERT_TRUE(device_.Start(&error)) << error.Message();
        ASSERT_EQ(port_.Line().OpenPort(device_.Path(), 115200), OpenResult::kOk);
        port_.SetReadTimeout(250);
    }

    std::string Ask(const char* command) {
        const char* reply = port_.SendCommand(command);
        return reply != nullptr ? std::string(reply) : std::string("<null>");
    }
    long Number(const char* command) { return std::strtol(Ask(command).c_str(), nullptr, 10); }

    // The program's upgrade exchange, from "ATUPX" to the loader's first NAK.
    void RequestUpgrade() {
        port_.SetReadTimeout(4000);
        const std::string question = Ask("ATUPX");
        ASSERT_NE(question.find("Firmware Upgrade"), std::string::npos) << question;
        ASSERT_NE(question.find("(Y/N)?"), std::string::npos) << question;
        port_.SetReadTimeout(10000);
        port_.SetReadIntervalTimeout(2000);
        ASSERT_EQ(port_.WriteRaw("Y", 1), 1u);
        const char* banner = port_.ReadPending();
        ASSERT_NE(banner, nullptr);
        ASSERT_TRUE(std::string_view(banner).starts_with("Y\r\nErasing")) << banner;
        ASSERT_EQ(port_.GetReplyLength() > 0 ? banner[port_.GetReplyLength() - 1] : 0, kNak);
    }

    // Sends an image as the program does: PurgeInput, blocks of 128 filled with
    // 0xFF, one answer byte each, NAK repeats the block; then EOT.
    void SendImage(std::string_view image) {
        port_.PurgeInput();
        port_.SetReadTimeout(1000);
        std::uint8_t number = 1;
        std::size_t sent = 0;
        int repeats = 0;
        for (;;) {
            const std::string_view piece = image.substr(sent, 128);
            const std::string block = XmodemBlock(number, piece);
            ASSERT_EQ(port_.WriteRaw(block.data(), block.size()), block.size());
            char answer[2] = {};  // the read ends the text with a NUL
            ASSERT_EQ(port_.ReadRaw(answer, 1), 1u) << "block " << sent / 128;
            if (answer[0] == kNak) {
                ASSERT_LT(++repeats, 5);
                continue;
            }
            ASSERT_EQ(answer[0], kAck) << "block " << sent / 128;
            sent += piece.size();
            ++number;
            if (piece.size() < 128) {
                break;
            }
        }
        const char eot = kEot;
        ASSERT_EQ(port_.WriteRaw(&eot, 1), 1u);
        char answer[2] = {};
        ASSERT_EQ(port_.ReadRaw(answer, 1), 1u);
        EXPECT_EQ(answer[0], kAck);
        port_.SetReadTimeout(250);
    }

    vardex::test::ScopedTimeScale scale_{vardex::test::kAnswerScale};
    PtyDevice device_;
    CDevicePort port_;
};

TEST_F(SimPortTest, RegistersWholeAndBitByBitAndARefusedValue) {
    EXPECT_EQ(Ask("ATS84?"), "0\r\n\r\nOK\r\n");
    EXPECT_EQ(Number("ATS56?"), 20);
    EXPECT_EQ(Number("ATS82?"), 74);
    EXPECT_EQ(Ask("ATS84=144"), "OK\r\n");
    EXPECT_EQ(Number("ATS84?"), 144);
    EXPECT_EQ(Ask("ATS79.2=0"), "OK\r\n");
    EXPECT_EQ(Number("ATS79?"), 8);
    EXPECT_EQ(Ask("ATS103.2=1"), "OK\r\n");
    EXPECT_EQ(Number("ATS103.2?"), 1);
    EXPECT_EQ(Ask("ATS104.4=1"), "OK\r\n");
    EXPECT_EQ(Number("ATS104?"), 0x32);
    for (const char* command :
         {"ATS108=255", "ATS113=7", "ATS123.0=1", "ATS118.3=1", "ATS87.5=1", "ATS87.6=1",
          "ATS100.0=1", "ATS101.0=1", "ATS102.1=1", "ATS85.3=1", "ATS86.1=1", "ATS89.6=1",
          "ATS83.0=0", "ATS57=9", "ATS58=10", "ATS91=11", "ATS105=7"}) {
        EXPECT_EQ(Ask(command), "OK\r\n") << command;
    }
    EXPECT_EQ(Number("ATS87?") & 0x60, 0x60);
    EXPECT_EQ(Number("ATS113?"), 7);

    // A refused value: ERROR, and the read-back shows the old value, which is
    // what the program's verification compares.
    EXPECT_EQ(Ask("ATS56=101"), "ERROR\r\n");
    EXPECT_EQ(Number("ATS56?"), 20);
    EXPECT_EQ(Ask("ATS82=82"), "ERROR\r\n");
    EXPECT_EQ(Number("ATS82?"), 74);
    EXPECT_EQ(Ask("ATS82=84"), "OK\r\n");
    EXPECT_EQ(Number("ATS82?"), 84);
}

TEST_F(SimPortTest, NumbersAndCharges) {
    port_.SetReadTimeout(2000);
    EXPECT_EQ(Ask("AT&ZI0=3612345"), "OK\r\n");
    EXPECT_EQ(Ask("AT&ZI4="), "OK\r\n");
    EXPECT_EQ(Ask("AT&ZI7=4455"), "OK\r\n");
    EXPECT_EQ(Ask("AT&ZOa=3612345"), "OK\r\n");
    EXPECT_EQ(Ask("AT&ZOi=4455"), "OK\r\n");
    port_.SetReadTimeout(250);
    const std::string numbers = Ask("AT&ZI?");
    EXPECT_TRUE(numbers.starts_with("Phone 1\r\nMSN1 : 3612345\r\nMSN2 : \r\n")) << numbers;
    EXPECT_NE(numbers.find("DTE Port\r\nMSN1 : \r\nMSN2 : 4455\r\nMSN3 : \r\n\r\nOK"),
              std::string::npos)
        << numbers;
    EXPECT_EQ(Ask("AT&ZO?"),
              "Phone 1\r\nOWN NUMBER : 3612345\r\nPhone 2\r\nOWN NUMBER : \r\n"
              "DTE Port\r\nOWN NUMBER : 4455\r\n\r\nOK\r\n");

    device_.Modify([](Device& d) { d.AddCall(Line::kPhone2, 12); });
    EXPECT_EQ(Ask("ATCH?"),
              "Last Call Charges\r\nDTE Port: 0\r\nPhone 1: 0\r\nPhone 2: 12\r\n"
              "Accumulated Charges\r\nDTE Port: 0\r\nPhone 1: 0\r\nPhone 2: 12\r\n\r\nOK\r\n");
    // A running call: its units arrive on the device's own clock.
    device_.Modify([](Device& d) { d.StartCall(Line::kDte, 50); });
    const std::string_view label = "Last Call Charges\r\nDTE Port: ";
    long units = 0;
    for (int i = 0; i < 40 && units < 3; ++i) {
        const std::string reply = Ask("ATCH?");
        ASSERT_TRUE(reply.starts_with(label)) << reply;
        units = std::strtol(reply.c_str() + label.size(), nullptr, 10);
    }
    EXPECT_GE(units, 3);
    device_.Modify([](Device& d) { d.EndCall(Line::kDte); });
    port_.SetReadTimeout(3000);
    EXPECT_EQ(Ask("ATCH0"), "OK\r\n");
    port_.SetReadTimeout(250);
    EXPECT_EQ(Ask("ATCH?"),
              "Last Call Charges\r\nDTE Port: 0\r\nPhone 1: 0\r\nPhone 2: 0\r\n"
              "Accumulated Charges\r\nDTE Port: 0\r\nPhone 1: 0\r\nPhone 2: 0\r\n\r\nOK\r\n");
}

TEST_F(SimPortTest, ProfileStoreAndRecallCycle) {
    ASSERT_EQ(Ask("ATS56=55"), "OK\r\n");
    ASSERT_EQ(Ask("AT/CLIPLEVEL 7"), "OK\r\n");
    ASSERT_EQ(Ask("AT!X2=3620"), "OK\r\n");
    port_.SetReadTimeout(3000);
    ASSERT_EQ(Ask("AT&W1"), "OK\r\n");
    port_.SetReadTimeout(250);
    ASSERT_EQ(Ask("ATZ4"), "OK\r\n");
    EXPECT_EQ(Number("ATS56?"), 20);
    EXPECT_EQ(Number("AT/CLIPLEVEL"), 10);
    // Recalled profile, as the Information page does it.
    ASSERT_EQ(Ask("ATZ1"), "OK\r\n");
    EXPECT_EQ(Number("ATS56?"), 55);
    EXPECT_EQ(Ask("AT/CLIPLEVEL"), "7\r\n\r\nOK\r\n");
    EXPECT_EQ(Ask("AT!X2?"), "X121 ADDR: 3620\r\n\r\nOK\r\n");
    // Power-up profile 1: plain ATZ (with echo back on) loads it.
    port_.SetReadTimeout(4000);
    ASSERT_EQ(Ask("ATS15=32"), "OK\r\n");
    port_.SetReadTimeout(250);
    ASSERT_EQ(Ask("ATZ0"), "OK\r\n");
    EXPECT_EQ(Number("ATS56?"), 20);
    ASSERT_EQ(Ask("ATZ"), "OK\r\n");
    EXPECT_TRUE(device_.Echo());
    EXPECT_EQ(Number("ATS56?"), 55);
    EXPECT_EQ(Number("ATS15?") >> 5, 1);
}

TEST_F(SimPortTest, BothPromptStatesAsDetectionHandlesThem) {
    device_.Modify([](Device& d) { d.EnterQuestion(); });
    EXPECT_TRUE(Ask("ATI4").starts_with("Y"));
    ASSERT_EQ(port_.WriteRaw("N", 1), 1u);
    EXPECT_EQ(Ask("ATI4"), "Calvetra VarDex V1.2\r\n\r\nOK\r\n");

    device_.Modify([](Device& d) { d.EnterConsole(); });
    const std::string console = Ask("ATI4");
    EXPECT_TRUE(console.ends_with("> ")) << console;
    ASSERT_EQ(port_.WriteRaw("QUIT\r", 5), 5u);
    EXPECT_EQ(Ask("ATI4"), "Calvetra VarDex V1.2\r\n\r\nOK\r\n");
    EXPECT_EQ(Ask("ATI3"), "Software Version V2.10 Hungary\r\n\r\nOK\r\n");
    EXPECT_EQ(Ask("ATI1"), "CRC: 5A3C\r\n\r\nOK\r\n");
    EXPECT_EQ(Ask("ATI0"), "Hardware Version V3.0\r\n\r\nOK\r\n");
}

TEST_F(SimPortTest, FirmwareOf300BytesIsReceivedAndRuns) {
    RequestUpgrade();
    SendImage(MakeFirmwareImage("V2.31", 300));
    EXPECT_EQ(Ask("AT"), "OK\r\n");
    EXPECT_EQ(Ask("ATI3"), "Software Version V2.31 Hungary\r\n\r\nOK\r\n");
    EXPECT_TRUE(Ask("ATI1").starts_with("CRC: "));
}

TEST_F(SimPortTest, FirmwareOf40000BytesWrapsTheBlockNumbers) {
    RequestUpgrade();
    const std::string image = MakeFirmwareImage("V2.40", 40000);
    SendImage(image);
    EXPECT_EQ(Ask("ATI3"), "Software Version V2.40 Hungary\r\n\r\nOK\r\n");
}

TEST_F(SimPortTest, ABadChecksumIsAnsweredWithNak) {
    RequestUpgrade();
    port_.PurgeInput();
    port_.SetReadTimeout(1000);
    const std::string image = MakeFirmwareImage("V2.50", 200);
    std::string block = XmodemBlock(1, image.substr(0, 128));
    block[131] = static_cast<char>(block[131] ^ 0x01);
    ASSERT_EQ(port_.WriteRaw(block.data(), block.size()), block.size());
    char answer[2] = {};
    ASSERT_EQ(port_.ReadRaw(answer, 1), 1u);
    EXPECT_EQ(answer[0], kNak);
    EXPECT_EQ(device_.Inspect([](const Device& d) { return d.BlocksReceived(); }), 0u);
}

class SimPortLoaderTest : public SimPortTest {
protected:
    static DeviceOptions InLoader() {
        DeviceOptions options;
        options.start_in_loader = true;
        return options;
    }
    SimPortLoaderTest() : SimPortTest(InLoader()) {}
};

TEST_F(SimPortLoaderTest, ALoaderAtStartIsFoundByItsNakAndTakesAnImage) {
    // The detection's loader probe: whatever arrives, up to a NAK.
    port_.PurgeInput();
    port_.SetReadTimeout(10500);
    const char* probe = port_.ReadPending();
    ASSERT_NE(probe, nullptr);
    EXPECT_EQ(probe[0], kNak);
    port_.SetReadTimeout(250);
    EXPECT_EQ(Ask("ATI4"), std::string(1, kNak));
    // The upgrade then goes straight to the transfer. (A command read with a
    // time-out longer than the NAK period would never see silence here.)
    const char wake[2] = {0x00, 0x78};
    port_.WriteRaw(wake, 2);
    port_.SetReadTimeout(10000);
    const char* next = port_.ReadPending();
    ASSERT_NE(next, nullptr);
    EXPECT_EQ(next[port_.GetReplyLength() - 1], kNak);
    SendImage(MakeFirmwareImage("V2.60", 1000));
    EXPECT_EQ(Ask("ATI3"), "Software Version V2.60 Hungary\r\n\r\nOK\r\n");
}

}  // namespace
}  // namespace vardex::sim
