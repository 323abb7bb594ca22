// A simulated varDex on a pseudo-terminal, the runner on its channel, and a
// person who handles the telephones as the prompts say.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "control.h"
#include "link/tapi_line.h"
#include "params/app_core.h"
#include "pty_device.h"
#include "scripted_self_test_view.h"
#include "selftest/self_test.h"
#include "time_scale.h"

namespace vardex::test {

inline constexpr double kSelfTestScale = kAnswerScale;

class SelfTestSim : public ::testing::Test {
protected:
    SelfTestSim() : scale_(kSelfTestScale) {
        view_.alarm_ms = 2000;
        device_ = std::make_unique<sim::PtyDevice>();
        platform::SysError error;
        if (!device_->Start(&error)) {
            ADD_FAILURE() << error.Message();
            return;
        }
        auto& port = app_.m_workingRecord;
        EXPECT_EQ(port.Line().OpenPort(device_->Path(), 115200), link::OpenResult::kOk);
        port.Line().SelectDirectPort(device_->Path());
        device_->KeepReceivedBytes(true);
    }

    // A control-channel command, as a person at the simulator would type it.
    void Control(const std::string& line) {
        bool close = false;
        const std::string reply = sim::RunControlCommand(*device_, line, &close);
        ASSERT_EQ(reply.find("error"), std::string::npos) << line << ": " << reply;
    }

    // The command lines the device has received, in order.
    std::vector<std::string> Received() const {
        std::vector<std::string> lines;
        std::istringstream in(device_->ReceivedBytes());
        std::string line;
        while (std::getline(in, line, '\r')) {
            if (!line.empty()) {
                lines.push_back(line);
            }
        }
        return lines;
    }
    void ForgetReceived() {
        device_->KeepReceivedBytes(false);
        device_->KeepReceivedBytes(true);
    }

    // The port (0, 1) of the picture shown last.
    int CurrentPort() const {
        const auto pictures = view_.EventsOf("picture:");
        return !pictures.empty() && pictures.back() == "picture:1" ? 1 : 0;
    }
    sim::PhoneState Phone(int port) const {
        return device_->Inspect([port](const sim::Device& d) { return d.Phone(port); });
    }

    // The person: lifts the handset and presses the asked key the moment the
    // prompt appears (keys[port] replaces the expected one where given), and
    // answers by what the telephone does.
    void HandleTelephones() {
        view_.on_prompt = [this](const std::string& prompt) {
            const int port = CurrentPort();
            if (prompt == "Pickup the handset.") {
                device_->Modify([port](sim::Device& d) { d.LiftHandset(port); });
                return;
            }
            const std::string press = "Press the '";
            if (prompt.rfind(press, 0) == 0 && prompt.size() > press.size()) {
                char key = prompt[press.size()];
                const auto wrong = wrong_key_[port].find(key);
                if (wrong != wrong_key_[port].end()) {
                    key = wrong->second;
                } else if (hold_key_[port] == key) {
                    return;  // the test presses it itself, later
                }
                device_->Modify([port, key](sim::Device& d) { d.PressKey(port, key); });
            }
        };
    }
    int Decide(const std::string& prompt) {
        const int port = CurrentPort();
        if (prompt == "Place the handset down and press 'Test'") {
            device_->Modify([port](sim::Device& d) { d.ReplaceHandset(port); });
            return 1;
        }
        if (prompt == "Pickup the handset and press 'Test'") {
            device_->Modify([port](sim::Device& d) { d.LiftHandset(port); });
            return 1;
        }
        const sim::PhoneState phone = Phone(port);
        if (prompt == "Is the telephone ringing?") {
            return phone.ringing ? 1 : 0;
        }
        if (prompt == "Do you hear the tone?") {
            return phone.tone && phone.off_hook ? 1 : 0;
        }
        if (prompt == "Do you see any charging activity?") {
            return phone.charging ? 1 : 0;
        }
        ADD_FAILURE() << "unexpected question: " << prompt;
        return 0;
    }

    // Runs a test with the person at the telephones; returns RunTest's code.
    selftest::TestResult RunWithPerson(int test, int ports = selftest::kPortsBoth) {
        HandleTelephones();
        if (!runner_.Start(test, ports)) {
            return selftest::TEST_INTERRUPTED;
        }
        {
            ScriptedPerson person(runner_, view_,
                                  [this](const std::string& prompt) { return Decide(prompt); });
        }
        runner_.Wait();
        return selftest::CSelfTestRunner::Translate(runner_.Result());
    }

    ScopedTimeScale scale_;
    std::unique_ptr<sim::PtyDevice> device_;
    params::CVarDexConfigurationManagerApp app_;
    ScriptedSelfTestView view_;
    selftest::CSelfTestRunner runner_{view_, app_.m_workingRecord};
    std::map<char, char> wrong_key_[2];
    char hold_key_[2] = {'\0', '\0'};
};

}  // namespace vardex::test
