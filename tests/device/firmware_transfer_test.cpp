// The block sender against a loader that records every byte: block layout and
// fill, resends, number wrap, progress text, and every way the device or the
// file can fail the transfer.
#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "device/firmware_upgrade.h"
#include "fake_loader.h"
#include "job_fixture.h"

using namespace vardex::platform;
using namespace vardex::params;
using namespace vardex::device;
using namespace vardex::link;

namespace vardex::test {
namespace {

using Reply = FakeLoader::Reply;

class Transfer : public ::testing::Test {
protected:
    Transfer() : scale_(0.2) {}

    void Open(FakeLoader& loader) {
        ASSERT_EQ(port_.Line().OpenPort(loader.SlavePath(), 115200), OpenResult::kOk);
    }
    // The transfer alone takes any size the progress bar can count; the file's
    // own checks come before it in the job.
    UpgradeResult Send(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        const std::vector<unsigned char> image((std::istreambuf_iterator<char>(in)),
                                               std::istreambuf_iterator<char>());
        return SendFirmwareImage(&view_, port_, image);
    }

    // The data of every frame, in order, after checking its frame bytes.
    static std::string Payload(const std::vector<std::string>& frames) {
        std::string data;
        for (const std::string& frame : frames) {
            EXPECT_EQ(frame.size(), 132u);
            EXPECT_EQ(frame[0], '\x01');
            EXPECT_EQ(static_cast<unsigned char>(frame[1]) ^ static_cast<unsigned char>(frame[2]),
                      0xFF);
            unsigned sum = 0;
            for (std::size_t i = 3; i < 131; ++i) {
                sum += static_cast<unsigned char>(frame[i]);
            }
            EXPECT_EQ(static_cast<unsigned char>(frame[131]), sum & 0xFF);
            data += frame.substr(3, 128);
        }
        return data;
    }

    ScopedTimeScale scale_;
    CDeviceConfig port_;
    FileChoosingView view_;
};

TEST_F(Transfer, BlocksCarryTheImageFilledWithFf) {
    for (const std::size_t size : {1u, 127u, 128u, 256u, 300u}) {
        SCOPED_TRACE(size);
        FakeLoader loader;
        Open(loader);
        const std::string image = PatternBytes(size);
        ASSERT_EQ(Send(WriteTempFile("image.img", image)), UpgradeResult::kDone);
        const auto frames = loader.Frames();
        ASSERT_EQ(frames.size(), size / 128 + 1);
        EXPECT_EQ(Payload(frames), WithFill(image));
        for (std::size_t i = 0; i < frames.size(); ++i) {
            EXPECT_EQ(static_cast<unsigned char>(frames[i][1]), i + 1);
        }
        EXPECT_EQ(loader.Eots(), 1);
        // The wake-up bytes go out before the first block.
        const std::string received = loader.Received();
        EXPECT_LT(received.find(std::string("\0x", 2)), received.find('\x01'));
        const std::string total = std::to_string(size);
        EXPECT_EQ(view_.status_texts.back(),
                  "Upgrading firmware...\nIf the process is interrupted you must reset your "
                  "varDex.\n\n" +
                      total + " bytes out of " + total + " (100.0%)");
        EXPECT_EQ(view_.progress.Upper(), static_cast<int>(size));
        EXPECT_EQ(view_.captions.back(), "Upgrading varDex firmware...");
    }
}

TEST_F(Transfer, NakResendsTheSameBlockTheLastOneIncluded) {
    FakeLoader loader;
    // Blocks 2 and 3 (the last) are refused once each.
    loader.SetBlockReply([](std::size_t index, const std::string&) {
        return index == 1 || index == 3 ? Reply::kNak : Reply::kAck;
    });
    Open(loader);
    const std::string image = PatternBytes(300);
    ASSERT_EQ(Send(WriteTempFile("nak.img", image)), UpgradeResult::kDone);
    const auto frames = loader.Frames();
    ASSERT_EQ(frames.size(), 5u);
    EXPECT_EQ(frames[1], frames[2]);
    EXPECT_EQ(frames[3], frames[4]);
    EXPECT_EQ(Payload({frames[0], frames[2], frames[4]}), WithFill(image));
    // A refused block is not counted as sent.
    EXPECT_NE(view_.status_texts.back().find("300 bytes out of 300 (100.0%)"), std::string::npos);
    for (const std::string& text : view_.status_texts) {
        EXPECT_EQ(text.find("428 bytes"), std::string::npos);
    }
}

TEST_F(Transfer, BlockNumbersWrapAfter255) {
    FakeLoader loader;
    Open(loader);
    const std::string image = PatternBytes(40000);
    ASSERT_EQ(Send(WriteTempFile("wrap.img", image)), UpgradeResult::kDone);
    const auto frames = loader.Frames();
    ASSERT_EQ(frames.size(), 313u);
    for (std::size_t i = 0; i < frames.size(); ++i) {
        ASSERT_EQ(static_cast<unsigned char>(frames[i][1]), (i + 1) & 0xFF) << i;
    }
    EXPECT_EQ(frames[255][1], '\0');
    EXPECT_EQ(frames[255][2], '\xFF');
    EXPECT_EQ(Payload(frames), WithFill(image));
}

TEST_F(Transfer, ProgressTextOnlyWhenTheTenthChangesAlsoBeyondTwoMegabytes) {
    FakeLoader loader;
    Open(loader);
    const std::size_t size = 2'200'000;
    ASSERT_EQ(Send(WriteTempFile("big.img", PatternBytes(size))), UpgradeResult::kDone);
    // Every tenth from 0.0 to 99.9 once in the loop, then the final 100.0.
    ASSERT_EQ(view_.status_texts.size(), 1001u);
    for (std::size_t i = 0; i < 1000; ++i) {
        char expected[32];
        std::snprintf(expected, sizeof expected, "(%zu.%zu%%)", i / 10, i % 10);
        ASSERT_NE(view_.status_texts[i].find(expected), std::string::npos) << view_.status_texts[i];
    }
    EXPECT_NE(view_.status_texts.back().find("2200000 bytes out of 2200000 (100.0%)"),
              std::string::npos);
}

TEST_F(Transfer, DeviceFailuresEndWithMinusSix) {
    struct Case {
        const char* what;
        Reply block2;
        Reply eot;
        std::size_t frames;
    };
    for (const Case& c : {Case{"CAN", Reply::kCan, Reply::kAck, 2},
                          Case{"other byte", Reply::kGarbage, Reply::kAck, 2},
                          Case{"silent", Reply::kSilent, Reply::kAck, 2},
                          Case{"hung up", Reply::kHangup, Reply::kAck, 2},
                          Case{"no answer to EOT", Reply::kAck, Reply::kSilent, 3}}) {
        SCOPED_TRACE(c.what);
        FakeLoader loader;
        loader.SetBlockReply([&c](std::size_t index, const std::string&) {
            return index == 1 ? c.block2 : Reply::kAck;
        });
        loader.SetEotReply(c.eot);
        Open(loader);
        const auto start = Clock::now();
        EXPECT_EQ(Send(WriteTempFile("fail.img", PatternBytes(300))), UpgradeResult::kDeviceFailed);
        EXPECT_EQ(loader.Frames().size(), c.frames);
        EXPECT_LT(MsSince(start), 10000);
        port_.Close();
    }
}

TEST_F(Transfer, EndlessNakGivesUp) {
    FakeLoader loader;
    loader.SetBlockReply([](std::size_t, const std::string&) { return Reply::kNak; });
    Open(loader);
    EXPECT_EQ(Send(WriteTempFile("refused.img", PatternBytes(300))), UpgradeResult::kDeviceFailed);
    EXPECT_EQ(loader.Frames().size(), static_cast<std::size_t>(kXmodemMaxResends + 1));
}

TEST_F(Transfer, AnEmptyImageIsMinusSevenAndSendsNoBlock) {
    FakeLoader loader;
    Open(loader);
    EXPECT_EQ(SendFirmwareImage(&view_, port_, {}), UpgradeResult::kFileFailed);
    EXPECT_TRUE(loader.Frames().empty());
}

TEST_F(Transfer, ALoaderLeftHalfWayCancelsTheFirstBlockAndTakesTheImageAfresh) {
    FakeLoader loader;
    loader.SetBlockReply([](std::size_t index, const std::string&) {
        return index == 0 ? Reply::kCanAndAskAgain : Reply::kAck;
    });
    Open(loader);
    const std::string image = PatternBytes(300);
    ASSERT_EQ(Send(WriteTempFile("afresh.img", image)), UpgradeResult::kDone);
    const auto frames = loader.Frames();
    ASSERT_EQ(frames.size(), 4u);  // the cancelled first block, then all three
    EXPECT_EQ(frames[0], frames[1]);
    EXPECT_EQ(Payload({frames.begin() + 1, frames.end()}), WithFill(image));
    EXPECT_EQ(loader.Eots(), 1);
}

TEST_F(Transfer, StopRequestEndsBeforeTheNextBlock) {
    FakeLoader loader;
    loader.SetBlockReply([this](std::size_t index, const std::string&) {
        if (index == 2) {
            view_.m_bAbort = 1;
        }
        return Reply::kAck;
    });
    Open(loader);
    EXPECT_EQ(Send(WriteTempFile("stop.img", PatternBytes(1000))), UpgradeResult::kStopped);
    EXPECT_EQ(loader.Frames().size(), 3u);
    EXPECT_EQ(loader.Eots(), 0);
}

}  // namespace
}  // namespace vardex::test
