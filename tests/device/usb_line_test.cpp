// A varDex on USB that is unplugged and plugged in again, between jobs and in
// the middle of one: the simulator offered as a modem line whose name goes with
// it and comes back under the next ttyACM number.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <thread>

#include "device/firmware_upgrade.h"
#include "device/transfer_jobs.h"
#include "device_fixture.h"
#include "firmware_image.h"
#include "job_fixture.h"
#include "link/at_commands.h"
#include "platform/tapi_binding.h"
#include "pty_device.h"
#include "res/strings.h"
#include "scoped_env.h"

using namespace vardex::platform;
using namespace vardex::params;
using namespace vardex::device;
using namespace vardex::link;

namespace vardex::test {
namespace {

class UsbLine : public DeviceTest {
protected:
    UsbLine() {
        std::string pattern = ::testing::TempDir() + "/vardex-usb-XXXXXX";
        dir_ = ::mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
        env_.Set("VARDEX_LINES", dir_ + "/ttyACM*");
        env_.Set("VARDEX_PORTS", "");
        env_.Set("VARDEX_TAPI_PROVIDER", std::nullopt);
        vardex::platform::tapi::ResetBindingForTests();
        device_.SetUsbDirectory(dir_);
        SysError error;
        EXPECT_TRUE(device_.Start(&error)) << error.Message();
    }
    ~UsbLine() override {
        device_.Stop();
        vardex::platform::tapi::ResetBindingForTests();
        std::filesystem::remove_all(dir_);
    }

    // A fresh view for the next job, which chooses the first device listed.
    ScriptedJobView& NewJob() {
        job_ = std::make_unique<ScriptedJobView>();
        job_->prompts.answers = {{Choice::kMade, 0}};
        return *job_;
    }
    IdentifyResult Identify() { return IdentifyDevice(&NewJob(), &app_); }
    std::string DeviceName() {
        std::string name;
        Record().GetDeviceName(&name);
        return name;
    }
    bool SaidCallAlreadyHandled() const {
        for (const auto& [text, icon] : job_->prompts.messages) {
            if (text == res::kTextCallAlreadyHandled) {
                return true;
            }
        }
        return false;
    }

    ScopedTimeScale faster_{kAnswerScale};
    std::string dir_;
    std::unique_ptr<ScriptedJobView> job_;
    ScopedEnv env_;
    sim::PtyDevice device_;
};

TEST_F(UsbLine, ReplugBetweenJobsIsFoundUnderItsNewName) {
    ASSERT_EQ(Identify(), IdentifyResult::kIdentified);
    EXPECT_EQ(DeviceName(), "varDex USB Modem (" + dir_ + "/ttyACM0)");

    device_.Unplug();
    ASSERT_TRUE(device_.Replug(nullptr));
    ASSERT_EQ(device_.UsbName(), dir_ + "/ttyACM1");

    // The next job finds the old channel dead and searches afresh.
    ASSERT_EQ(Identify(), IdentifyResult::kIdentified);
    EXPECT_FALSE(SaidCallAlreadyHandled());
    EXPECT_EQ(DeviceName(), "varDex USB Modem (" + dir_ + "/ttyACM1)");
    EXPECT_EQ(Record().m_wFirmwareVersion, 0x020A);
    EXPECT_EQ(job_->prompts.lists.size(), 1u);
}

TEST_F(UsbLine, AJobWhileUnpluggedFindsNothingAndTheNextOneFindsTheDeviceBack) {
    ASSERT_EQ(Identify(), IdentifyResult::kIdentified);
    device_.Unplug();

    EXPECT_EQ(Identify(), IdentifyResult::kNotIdentified);
    EXPECT_FALSE(SaidCallAlreadyHandled());
    ASSERT_EQ(job_->prompts.messages.size(), 1u);
    EXPECT_EQ(job_->prompts.messages[0].first.rfind(res::LoadString(res::IDS_DEVICE_NOT_FOUND), 0),
              0u);
    EXPECT_FALSE(Record().IsOpen());
    EXPECT_FALSE(Record().Line().CallInProgress());

    ASSERT_TRUE(device_.Replug(nullptr));
    ASSERT_EQ(Identify(), IdentifyResult::kIdentified);
    EXPECT_EQ(DeviceName(), "varDex USB Modem (" + dir_ + "/ttyACM1)");
}

// Pulled out half way through a read, then through a write: each job fails
// saying the device went away (a found device is not "not found", which its
// caller would say of a job that ended without a word), and the next job
// works on the device plugged in again. Where half way falls depends on how
// the threads ran: in the identification, which says so itself, or in the
// rows, where a read says so and a write hands it to its caller in its outcome.
TEST_F(UsbLine, UnpluggedInTheMiddleOfAJobItSaysSoAndTheNextOneWorks) {
    using Job = WriteOutcome::End (*)(CJobView*, CVarDexConfigurationManagerApp*);
    const Job read = [](CJobView* view, CVarDexConfigurationManagerApp* app) {
        return ReadAllParameters(view, app) == JobResult::kDone ? WriteOutcome::End::kDone
                                                                : WriteOutcome::End::kStopped;
    };
    const Job write = [](CJobView* view, CVarDexConfigurationManagerApp* app) {
        return WriteAllParameters(view, app).end;
    };
    int plugged = 0;
    for (const Job job : {read, write}) {
        SCOPED_TRACE(job == read ? "read" : "write");
        ASSERT_EQ(ReadAllParameters(&NewJob(), &app_), JobResult::kDone);
        const std::uint64_t before = device_.BytesReceived();
        ASSERT_EQ(job(&NewJob(), &app_), WriteOutcome::End::kDone);
        const std::uint64_t one_job = device_.BytesReceived() - before;

        std::thread unplug([&] {
            if (device_.WaitForBytesReceived(device_.BytesReceived() + one_job / 2,
                                             std::chrono::seconds(60))) {
                device_.Unplug();
            }
        });
        const WriteOutcome::End end = job(&NewJob(), &app_);
        unplug.join();
        EXPECT_TRUE(device_.HungUp());
        if (end == WriteOutcome::End::kLinkLost) {
            EXPECT_EQ(job, write);
            EXPECT_TRUE(job_->prompts.messages.empty());
        } else {
            EXPECT_NE(end, WriteOutcome::End::kDone);
            EXPECT_EQ(job_->m_bQuietEnd, 1);
            ASSERT_EQ(job_->prompts.messages.size(), 1u);
            EXPECT_EQ(job_->prompts.messages[0].first, res::kTextJobDeviceVanished);
        }

        ASSERT_TRUE(device_.Replug(nullptr));
        ++plugged;
        ASSERT_EQ(job(&NewJob(), &app_), WriteOutcome::End::kDone);
        EXPECT_TRUE(job_->prompts.messages.empty());
        EXPECT_FALSE(SaidCallAlreadyHandled());
        EXPECT_EQ(DeviceName(),
                  "varDex USB Modem (" + dir_ + "/ttyACM" + std::to_string(plugged) + ")");
    }
}

// Pulled out while the identification waits for an answer, to its first
// question or to a later one: no versions are shown as the device's, and the
// identification fails saying why (the first question's silence is not taken
// for a loader's).
TEST_F(UsbLine, UnpluggedDuringTheIdentificationIdentifiesNothing) {
    int plugged = 0;
    for (const std::string_view question : {at::kIdentify, at::kFirmwareVersion}) {
        SCOPED_TRACE(std::string(question));
        ASSERT_EQ(Identify(), IdentifyResult::kIdentified);
        device_.LoseCommands(std::string(question.substr(2)), 1);
        const std::uint64_t before = device_.BytesReceived();
        // The unanswered question has come in; the identification waits for its answer.
        std::thread unplug([&] {
            while (device_.WaitForBytesReceived(device_.BytesReceived() + 1,
                                                std::chrono::seconds(60))) {
                if (device_.Inspect([](const sim::Device& d) { return d.LostCommandsLeft(); }) ==
                    0) {
                    break;
                }
            }
            device_.Unplug();
        });
        EXPECT_EQ(Identify(), IdentifyResult::kNotIdentified);
        unplug.join();
        EXPECT_GT(device_.BytesReceived(), before);
        ASSERT_EQ(job_->prompts.messages.size(), 1u);
        EXPECT_EQ(job_->prompts.messages[0].first, res::kTextJobDeviceVanished);
        EXPECT_EQ(job_->m_bQuietEnd, 1);
        ASSERT_TRUE(device_.Replug(nullptr));
        ++plugged;
    }
    EXPECT_EQ(plugged, 2);
}

TEST_F(UsbLine, ALoaderOnTheLineIsRecognisedAndTakesTheUpgrade) {
    device_.Modify([](sim::Device& d) { d.EnterLoader(); });
    ScriptedPeer com1(VarDexReplies());  // a varDex on a COM port is not searched
    env_.Set("VARDEX_PORTS", com1.SlavePath());
    EXPECT_EQ(Identify(), IdentifyResult::kInLoader);
    ASSERT_EQ(job_->prompts.messages.size(), 1u);
    EXPECT_EQ(job_->prompts.messages[0].first, res::LoadString(res::IDS_DEVICE_IN_UPGRADE_MODE));
    EXPECT_EQ(job_->m_bInLoader, 1);
    EXPECT_TRUE(Record().IsOpen());
    EXPECT_EQ(Record().m_bUsbConnection, 1);
    EXPECT_TRUE(com1.Lines().empty());

    // The upgrade goes on with the line the search left open.
    FileChoosingView upgrade;
    upgrade.file = WriteTempFile("usb-loader.img", sim::MakeFirmwareImage("V3.3", 1000));
    ASSERT_EQ(UpgradeFirmware(&upgrade, &app_, 1), UpgradeResult::kDone);
    EXPECT_EQ(device_.Inspect([](const sim::Device& d) { return d.SoftwareVersion(); }), "V3.3");
    EXPECT_TRUE(com1.Lines().empty());
}

}  // namespace
}  // namespace vardex::test
