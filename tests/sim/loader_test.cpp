// The firmware loader and the image format, on the pure state machine: block
// by block, with the device's clock moved by hand.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "device.h"
#include "firmware_image.h"
#include "xmodem_block.h"

namespace vardex::sim {
namespace {

constexpr char kAck = 0x06;
constexpr char kNak = 0x15;
constexpr char kCan = 0x18;

class SimLoaderTest : public ::testing::Test {
protected:
    static DeviceOptions InLoader() {
        DeviceOptions options;
        options.start_in_loader = true;
        return options;
    }
    SimLoaderTest() : device_(InLoader(), [this](std::string_view bytes) { out_ += bytes; }) {}

    // What the device sends for these bytes.
    std::string Send(std::string_view bytes) {
        out_.clear();
        device_.Feed(bytes);
        return out_;
    }
    std::string Block(std::uint8_t number, std::string_view data) {
        return XmodemBlock(number, data);
    }
    // Sends a whole image block by block, expecting an ACK for each.
    void SendImage(std::string_view image) {
        std::uint8_t number = 1;
        for (std::size_t at = 0; at < image.size() || image.size() % 128 == 0; at += 128) {
            ASSERT_EQ(Send(Block(number, image.substr(at, 128))), std::string(1, kAck))
                << "block " << int(number);
            ++number;
            if (at + 128 > image.size()) {
                break;
            }
        }
    }

    std::string out_;
    Device device_;
};

TEST_F(SimLoaderTest, WaitsWithANakEverySecondAndAnswersALineWithNak) {
    EXPECT_EQ(device_.CurrentMode(), Mode::kLoader);
    EXPECT_EQ(device_.NextDeadline(), 1000);
    device_.AdvanceTo(1000);
    EXPECT_EQ(out_, std::string(1, kNak));
    EXPECT_EQ(device_.NextDeadline(), 2000);
    // Held up for a long time, it sends one NAK, not a burst.
    out_.clear();
    device_.AdvanceTo(9000);
    EXPECT_EQ(out_, std::string(1, kNak));

    EXPECT_EQ(Send("ATI4"), "");
    EXPECT_EQ(Send("\r"), std::string(1, kNak));
    EXPECT_EQ(Send(std::string("\x00x", 2)), "");  // the program's wake-up bytes
    EXPECT_EQ(device_.CurrentMode(), Mode::kLoader);
}

TEST_F(SimLoaderTest, InstallsAGoodImageAndRestartsWithItsVersion) {
    const std::string image = MakeFirmwareImage("V2.31", 300);
    ASSERT_EQ(image.size(), 300u);
    SendImage(image);
    EXPECT_EQ(device_.BlocksReceived(), 3u);
    EXPECT_EQ(Send("\x04"), std::string(1, kAck));
    EXPECT_EQ(device_.CurrentMode(), Mode::kCommand);
    EXPECT_EQ(device_.SoftwareVersion(), "V2.31");
    EXPECT_TRUE(device_.Nv().firmware_valid);
    EXPECT_NE(device_.CrcText(), "CRC: 5A3C");
    EXPECT_EQ(Send("ATI3\r"), "ATI3\r\r\nSoftware Version V2.31 Hungary\r\n\r\nOK\r\n");
    EXPECT_EQ(device_.NextDeadline(), Device::kNever);
}

TEST_F(SimLoaderTest, BlockNumbersWrapAndAFullLastBlockIsFollowedByFill) {
    const std::string image = MakeFirmwareImage("V3.0", 256 * 128);  // 256 blocks + fill block
    SendImage(image);
    EXPECT_EQ(device_.BlocksReceived(), 257u);
    EXPECT_EQ(Send("\x04"), std::string(1, kAck));
    EXPECT_EQ(device_.SoftwareVersion(), "V3.0");
}

TEST_F(SimLoaderTest, DamagedBlocksAreNakedAndRepeatsAcknowledged) {
    const std::string image = MakeFirmwareImage("V2.32", 400);
    std::string bad = Block(1, image.substr(0, 128));
    bad[131] = static_cast<char>(bad[131] + 1);  // checksum
    EXPECT_EQ(Send(bad), std::string(1, kNak));
    bad = Block(1, image.substr(0, 128));
    bad[2] = 0x00;  // complement
    EXPECT_EQ(Send(bad), std::string(1, kNak));
    EXPECT_EQ(Send(Block(1, image.substr(0, 128))), std::string(1, kAck));
    // The sender missed our ACK and repeats: acknowledged, not stored twice.
    EXPECT_EQ(Send(Block(1, image.substr(0, 128))), std::string(1, kAck));
    EXPECT_EQ(device_.BlocksReceived(), 1u);
    for (std::uint8_t n = 2; n <= 4; ++n) {
        EXPECT_EQ(Send(Block(n, image.substr((n - 1) * 128u, 128))), std::string(1, kAck));
    }
    EXPECT_EQ(Send("\x04"), std::string(1, kAck));
    EXPECT_EQ(device_.SoftwareVersion(), "V2.32");
}

TEST_F(SimLoaderTest, HalfABlockTimesOutWithANak) {
    const std::string block = Block(1, MakeFirmwareImage("V1.0", 128));
    EXPECT_EQ(Send(std::string_view(block).substr(0, 60)), "");
    EXPECT_EQ(device_.NextDeadline(), Device::kBlockByteTimeoutMs);
    device_.AdvanceTo(Device::kBlockByteTimeoutMs);
    EXPECT_EQ(out_, std::string(1, kNak));
    EXPECT_EQ(Send(block), std::string(1, kAck));
}

TEST_F(SimLoaderTest, ABlockOutOfSequenceCancelsAndTheLoaderWaitsAgain) {
    const std::string image = MakeFirmwareImage("V2.40", 600);
    EXPECT_EQ(Send(Block(1, image.substr(0, 128))), std::string(1, kAck));
    EXPECT_EQ(Send(Block(3, image.substr(256, 128))), std::string(2, kCan));
    EXPECT_EQ(device_.CurrentMode(), Mode::kLoader);
    EXPECT_EQ(device_.BlocksReceived(), 0u);
    out_.clear();
    device_.AdvanceTo(device_.Now() + 1000);
    EXPECT_EQ(out_, std::string(1, kNak));
    // A fresh transfer then goes through.
    SendImage(image);
    EXPECT_EQ(Send("\x04"), std::string(1, kAck));
    EXPECT_EQ(device_.SoftwareVersion(), "V2.40");
}

TEST_F(SimLoaderTest, ABadImageLeavesTheDeviceInItsLoader) {
    std::string image = MakeFirmwareImage("V9.9", 500);
    image[200] = static_cast<char>(image[200] ^ 0x40);
    SendImage(image);
    EXPECT_EQ(Send("\x04"), std::string(1, kAck));
    EXPECT_EQ(device_.CurrentMode(), Mode::kLoader);
    EXPECT_EQ(device_.SoftwareVersion(), "V2.10");
    EXPECT_FALSE(device_.Nv().firmware_valid);
    // Also after a power cycle.
    device_.PowerUp();
    EXPECT_EQ(device_.CurrentMode(), Mode::kLoader);
}

TEST_F(SimLoaderTest, AFaultyFlashReportsAnErrorInsteadOfNakUntilRestart) {
    device_.EnterLoaderError();
    device_.AdvanceTo(device_.Now() + 1000);
    EXPECT_NE(out_.find("error"), std::string::npos);
    EXPECT_EQ(out_.find(kNak), std::string::npos);
    EXPECT_EQ(Send(Block(1, MakeFirmwareImage("V1.0", 128))), "");
    out_.clear();
    device_.PowerUp();  // still no firmware: the ordinary loader
    device_.AdvanceTo(device_.Now() + 1000);
    EXPECT_EQ(out_, std::string(1, kNak));
}

TEST(SimFirmwareImage, ParseRejectsEveryKindOfDamage) {
    const std::string image = MakeFirmwareImage("V2.11", 1000);
    const auto info = ParseFirmwareImage(image + std::string(120, '\xFF'));
    ASSERT_TRUE(info) << info.error();
    EXPECT_EQ(info->version, "V2.11");
    EXPECT_EQ(info->payload_size, 1000u - kImageHeaderSize);
    EXPECT_EQ(FirmwareCrcText(0x1234ABCDu), "CRC: ABCD");

    // Why an image is refused; empty for one taken.
    auto why = [](std::string_view received) {
        const auto parsed = ParseFirmwareImage(received);
        return parsed ? std::string() : parsed.error();
    };
    EXPECT_EQ(why(image.substr(0, 999)), "image shorter than its payload length");
    EXPECT_FALSE(ParseFirmwareImage(image.substr(0, 40)));
    std::string copy = image;
    copy[0] = 'X';
    EXPECT_FALSE(ParseFirmwareImage(copy));
    copy = image;
    copy[20] = 'Z';  // inside the version: header CRC
    EXPECT_EQ(why(copy), "header CRC mismatch");
    copy = image;
    copy[999] = static_cast<char>(copy[999] + 1);
    EXPECT_EQ(why(copy), "payload CRC mismatch");

    EXPECT_TRUE(MakeFirmwareImage("", 100).empty());
    EXPECT_TRUE(MakeFirmwareImage(std::string(33, 'V'), 100).empty());
    EXPECT_TRUE(MakeFirmwareImage("V1\n", 100).empty());
    EXPECT_TRUE(MakeFirmwareImage("V1", kImageHeaderSize - 1).empty());
    EXPECT_EQ(MakeFirmwareImage("V1", kImageHeaderSize).size(), kImageHeaderSize);
    EXPECT_NE(MakeFirmwareImage("V1", 300), MakeFirmwareImage("V2", 300));
    EXPECT_EQ(Crc32("123456789"), 0xCBF43926u);  // the standard check value
}

}  // namespace
}  // namespace vardex::sim
