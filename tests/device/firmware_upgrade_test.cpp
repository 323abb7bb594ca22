// The whole upgrade job: through the simulator's loader (which installs what it
// received and restarts), and against a recording loader for what the device
// must or must not be sent.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "device/comm_progress.h"
#include "device/firmware_upgrade.h"
#include "fake_loader.h"
#include "firmware_image.h"
#include "job_fixture.h"
#include "res/strings.h"
#include "scripted_job_window.h"
#include "scripted_peer.h"
#include "temp_files.h"

using namespace vardex::params;
using namespace vardex::device;
using namespace vardex::link;

namespace vardex::test {
namespace {

class Upgrade : public SimJobTest {
protected:
    JobResult RunUpgrade(const std::string& path) {
        window_.open_file = path;
        CCommProgress progress(window_, app_);
        const JobResult result = progress.DoModalUpgrade();
        quiet_ = progress.m_bQuietEnd;
        return result;
    }
    std::string Message(std::size_t i) const { return window_.prompts.messages.at(i).first; }
    bool InLoader() const {
        return device_->Inspect([](const sim::Device& d) { return d.CurrentMode(); }) ==
               sim::Mode::kLoader;
    }
    std::string Version() const {
        return device_->Inspect([](const sim::Device& d) { return d.SoftwareVersion(); });
    }

    ScriptedJobWindow window_;
    int quiet_ = -1;
};

class UpgradeSizes : public Upgrade, public ::testing::WithParamInterface<std::size_t> {};

TEST_P(UpgradeSizes, DeviceRestartsWithTheNewVersion) {
    Start();
    const std::size_t size = GetParam();
    const std::string path = WriteTempFile("image.img", sim::MakeFirmwareImage("V3.7", size));
    W().m_bSettingsModified = 1;
    W().m_bOtherModified = 1;
    ASSERT_EQ(RunUpgrade(path), JobResult::kDone);
    EXPECT_EQ(Version(), "V3.7");
    EXPECT_EQ(W().m_wFirmwareVersion, 0x0307);
    EXPECT_EQ(W().m_bSettingsModified, 0);
    EXPECT_EQ(W().m_bOtherModified, 0);
    EXPECT_TRUE(window_.prompts.messages.empty());
    EXPECT_EQ(window_.file_filters.at(0), res::LoadString(res::IDS_FIRMWARE_FILE_FILTER));

    // Upgrade caption, the caption found at the start put back, then the read-all.
    const std::vector<std::string> expected_captions = {"Upgrading varDex firmware...",
                                                        "Communicating With varDex",
                                                        "Uploading varDex Parameters..."};
    EXPECT_EQ(window_.captions, expected_captions);
    const std::string total = std::to_string(size);
    bool final_text = false;
    for (const std::string& text : window_.status_texts) {
        final_text |=
            text.find(total + " bytes out of " + total + " (100.0%)") != std::string::npos;
    }
    EXPECT_TRUE(final_text);
    EXPECT_EQ(window_.ranges.back(), (std::pair<int, int>{0, 23}));
}

INSTANTIATE_TEST_SUITE_P(Images, UpgradeSizes, ::testing::Values(128u, 300u, 32768u, 100000u));

TEST_F(Upgrade, AnImageTheLoaderRejectsIsNotReportedAsInstalled) {
    Start();
    // One byte: no image the device can install. The loader takes the blocks,
    // then stays waiting: the job says so, not "sent and restarted".
    CCommProgress progress(window_, app_);
    window_.open_file = WriteTempFile("one.img", "\x5A");
    EXPECT_EQ(progress.DoModalUpgrade(), JobResult::kStopped);
    EXPECT_EQ(progress.m_firmwareResult, UpgradeResult::kImageRejected);
    EXPECT_EQ(progress.m_bInLoader, 1);
    EXPECT_TRUE(InLoader());
    EXPECT_EQ(Version(), "V2.10");
    ASSERT_EQ(window_.prompts.messages.size(), 1u);
    EXPECT_NE(Message(0).find("did not take the image"), std::string::npos);
    EXPECT_TRUE(W().IsOpen());  // the loader still waits on it for the next try
}

TEST_F(Upgrade, AFileThatIsNoImageIsRefusedBeforeTheDeviceHearsAWord) {
    Start();
    const std::string dir = TempPath("upgrade-files");
    std::filesystem::create_directories(dir);
    const std::string fifo = dir + "/fifo.img";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);  // nobody writes: a read would never end
    const std::string large = dir + "/large.img";
    {
        std::ofstream(large, std::ios::binary) << "x";
        std::filesystem::resize_file(large, kFirmwareImageMaxBytes + 1);
    }
    const std::pair<std::string, std::string> cases[] = {
        {dir + "/missing.img", "No such file or directory"},
        {WriteTempFile("empty.img", ""), "is empty"},
        {dir, "is a directory"},
        {fifo, "is a FIFO"},
        {large, "larger than"},
    };
    for (const auto& [path, why] : cases) {
        window_.prompts.messages.clear();
        const std::uint64_t heard = device_->BytesReceived();
        EXPECT_EQ(RunUpgrade(path), JobResult::kStopped) << path;
        ASSERT_EQ(window_.prompts.messages.size(), 1u) << path;
        const std::string text = Message(0);
        EXPECT_EQ(text.rfind(res::LoadString(res::IDS_FIRMWARE_FILE_ERROR), 0), 0u) << text;
        EXPECT_NE(text.find(path), std::string::npos) << text;
        EXPECT_NE(text.find(why), std::string::npos) << text;
        EXPECT_EQ(device_->BytesReceived(), heard) << path;
        EXPECT_FALSE(InLoader());
    }
    std::filesystem::remove_all(dir);
}

TEST_F(Upgrade, CancelledFileChoiceIsQuiet) {
    Start();
    const auto commands = device_->CommandCount();
    window_.open_file.reset();
    CCommProgress progress(window_, app_);
    EXPECT_EQ(progress.DoModalUpgrade(), JobResult::kStopped);
    EXPECT_EQ(progress.m_bQuietEnd, 1);
    EXPECT_TRUE(window_.prompts.messages.empty());
    EXPECT_EQ(device_->CommandCount(), commands);
}

TEST_F(Upgrade, CancelDuringTheTransferStopsQuietlyAndTheNextUpgradeGoesIn) {
    Start();
    window_.confirm_answers = {ScriptedJobWindow::Answer::kYes};
    bool pressed = false;
    window_.on_progress_pos = [&](int pos) {
        if (pos >= 1280 && !pressed) {
            pressed = true;
            window_.PressCancel();
        }
    };
    const std::string image = WriteTempFile("big.img", sim::MakeFirmwareImage("V3.1", 20000));
    EXPECT_EQ(RunUpgrade(image), JobResult::kStopped);
    EXPECT_EQ(quiet_, 1);
    // Only that the device waits in its loader now, and what brings it back.
    ASSERT_EQ(window_.prompts.messages.size(), 1u);
    EXPECT_NE(Message(0).find("waits in its firmware loader"), std::string::npos);
    EXPECT_TRUE(InLoader());
    EXPECT_EQ(Version(), "V2.10");

    // The loader holds the half transfer; the next upgrade goes in at once.
    window_.on_progress_pos = {};
    window_.prompts.messages.clear();
    EXPECT_EQ(RunUpgrade(image), JobResult::kDone);
    EXPECT_EQ(Version(), "V3.1");
}

class UpgradeLoader : public ::testing::Test {
protected:
    UpgradeLoader() : scale_(kDeviceTestScale) {}
    void Open(const std::string& path) {
        ASSERT_EQ(W().Line().OpenPort(path, 115200), OpenResult::kOk);
        W().Line().SelectDirectPort(path);
    }
    CDeviceConfig& W() { return app_.m_workingRecord; }

    ScopedTimeScale scale_;
    CVarDexConfigurationManagerApp app_;
};

TEST_F(UpgradeLoader, DeviceAlreadyInItsLoaderGetsNoRequest) {
    FakeLoader loader(std::chrono::milliseconds(50));
    Open(loader.SlavePath());
    FileChoosingView view;
    const std::string image = PatternBytes(300);
    view.file = WriteTempFile("loader.img", image);
    EXPECT_EQ(UpgradeFirmware(&view, &app_, 1), UpgradeResult::kDone);
    EXPECT_EQ(loader.Received().find("UPX"), std::string::npos);
    EXPECT_EQ(loader.Frames().size(), 3u);
    EXPECT_EQ(loader.Eots(), 1);
    ASSERT_EQ(view.prompts.messages.size(), 1u);
    EXPECT_EQ(view.prompts.messages[0].first, res::LoadString(res::IDS_DEVICE_IN_UPGRADE_MODE));
    EXPECT_EQ(view.caption, "Communicating With varDex");
}

TEST_F(UpgradeLoader, BlockFailureShowsTheUpgradeErrorAndClosesTheChannel) {
    FakeLoader loader(std::chrono::milliseconds(50));
    loader.SetBlockReply([](std::size_t, const std::string&) { return FakeLoader::Reply::kCan; });
    Open(loader.SlavePath());
    ScriptedJobWindow window;
    window.open_file = WriteTempFile("can.img", PatternBytes(300));
    CCommProgress progress(window, app_);
    EXPECT_EQ(progress.DoModalUpgrade(), JobResult::kStopped);
    EXPECT_EQ(progress.m_bQuietEnd, 0);
    ASSERT_EQ(window.prompts.messages.size(), 2u);
    // The failure, then that the device waits in its loader and what brings it back.
    const std::string& failure = window.prompts.messages[1].first;
    EXPECT_EQ(failure.rfind(res::LoadString(res::IDS_UPGRADE_FAILED), 0), 0u);
    EXPECT_NE(failure.find("waits in its firmware loader"), std::string::npos);
    EXPECT_EQ(window.prompts.messages[1].second, MessageIcon::Exclamation);
    EXPECT_FALSE(W().IsOpen());
    EXPECT_EQ(loader.Frames().size(), 1u);
}

TEST_F(UpgradeLoader, RequestWithoutTheUpgradeQuestionIsMinusSix) {
    ScriptedPeer peer(VarDexReplies());
    Open(peer.SlavePath());
    FileChoosingView view;
    view.file = WriteTempFile("question.img", PatternBytes(300));
    EXPECT_EQ(UpgradeFirmware(&view, &app_, 1), UpgradeResult::kDeviceFailed);
    const auto lines = peer.Lines();
    EXPECT_EQ(lines.back(), "ATUPX");
}

// The device took the question's "Y" and then says nothing; the person stops
// the job meanwhile. That is their stop, not a failed device: no upgrade error,
// and the channel stays open.
TEST_F(UpgradeLoader, CancelWhileWaitingForTheLoaderIsQuiet) {
    const ScriptedPeer::Responder replies = VarDexReplies();
    ScriptedPeer peer([replies](const std::string& line) {
        return line == "ATUPX" ? std::string("\r\nFirmware Upgrade: erase and load (Y/N)?")
                               : replies(line);
    });
    Open(peer.SlavePath());
    ScriptedJobWindow window;
    window.open_file = WriteTempFile("wait.img", PatternBytes(300));
    window.confirm_answers = {ScriptedJobWindow::Answer::kYes};
    std::thread presser([&] {
        if (peer.WaitForReceived("ATUPX\rY", std::chrono::seconds(60))) {
            window.PressCancel();
        }
    });
    CCommProgress progress(window, app_);
    EXPECT_EQ(progress.DoModalUpgrade(), JobResult::kStopped);
    presser.join();
    EXPECT_EQ(window.confirmations, 1);
    EXPECT_EQ(progress.m_bQuietEnd, 1);
    for (const auto& message : window.prompts.messages) {
        EXPECT_NE(message.first, res::LoadString(res::IDS_UPGRADE_FAILED));
    }
    EXPECT_TRUE(W().IsOpen());
}

}  // namespace
}  // namespace vardex::test
