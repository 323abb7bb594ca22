// The control channel's commands, on a running simulator.
#include "control.h"

#include <gtest/gtest.h>

#include <string>

using namespace vardex::platform;

namespace vardex::sim {
namespace {

class SimControlTest : public ::testing::Test {
protected:
    void SetUp() override {
        SysError error;
        ASSERT_TRUE(device_.Start(&error)) << error.Message();
    }
    std::string Run(std::string_view line) {
        bool close = false;
        return RunControlCommand(device_, line, &close);
    }
    PtyDevice device_;
};

TEST_F(SimControlTest, TelephonesAreHandledAndReported) {
    EXPECT_EQ(Run("lift 2"), "ok\n");
    EXPECT_EQ(Run("press 2 12*#"), "ok\n");
    EXPECT_EQ(device_.Inspect([](const Device& d) { return d.Phone(1).off_hook; }), true);
    EXPECT_EQ(Run("phone 2"), "phone 2: off hook, ringing no, tone no, charging no\nok\n");
    EXPECT_EQ(Run("press 2 5A"), "error: keys are 0-9, * and #\n");
    EXPECT_EQ(Run("replace 2"), "ok\n");
    EXPECT_EQ(Run("phone 2"), "phone 2: on hook, ringing no, tone no, charging no\nok\n");
    device_.Modify([](Device& d) { d.Feed("AT/DISCPOTS\rAT/RING 0\r"); });
    EXPECT_EQ(Run("phone 1"),
              "phone 1: on hook, ringing yes, tone no, charging no, under test\nok\n");
    for (const std::string_view bad : {"lift 3", "lift", "phone 0", "press 1"}) {
        EXPECT_TRUE(Run(bad).starts_with("error:")) << bad;
    }
}

TEST_F(SimControlTest, CallsFaultsAndDeviceStates) {
    EXPECT_EQ(Run("book dte 9"), "ok\n");
    EXPECT_EQ(Run("call phone1 1000"), "ok\n");
    std::string status = Run("status");
    EXPECT_NE(status.find("dte 9/9"), std::string::npos) << status;
    EXPECT_NE(status.find("phone1 0/0 (in call)"), std::string::npos) << status;
    EXPECT_EQ(Run("endcall phone1"), "ok\n");
    EXPECT_EQ(Run("call modem"), "error: unknown command or bad arguments, see help\n");

    EXPECT_EQ(Run("fault ring1 on"), "ok\n");
    EXPECT_EQ(Run("fault hook2 on"), "ok\n");
    EXPECT_EQ(Run("fault tone9 on"), "error: usage, see help\n");
    EXPECT_NE(Run("status").find("faults: ring1 hook2\n"), std::string::npos);
    EXPECT_EQ(Run("fault ring1 off"), "ok\n");
    EXPECT_TRUE(device_.Inspect([](const Device& d) { return d.Fault(Circuit::kHook2); }));

    EXPECT_EQ(Run("prompt console"), "ok\n");
    EXPECT_NE(Run("status").find("mode: console"), std::string::npos);
    EXPECT_EQ(Run("prompt yesno"), "ok\n");
    EXPECT_NE(Run("status").find("mode: upgrade question"), std::string::npos);
    EXPECT_EQ(Run("loader"), "ok\n");
    EXPECT_NE(Run("status").find("mode: loader"), std::string::npos);
    EXPECT_EQ(Run("loader error"), "ok\n");
    EXPECT_EQ(Run("restart"), "ok\n");  // the firmware is erased: back to the loader
    EXPECT_NE(Run("status").find("mode: loader"), std::string::npos);

    EXPECT_EQ(Run("refuse on"), "ok\n");
    EXPECT_EQ(Run("silence once"), "ok\n");
    EXPECT_EQ(Run("silence maybe"), "error: usage, see help\n");
    EXPECT_EQ(Run("garbage 3"), "ok\n");
    EXPECT_EQ(Run("cut"), "ok\n");
    EXPECT_EQ(Run("delay 0"), "ok\n");
    EXPECT_EQ(Run("slow 0"), "ok\n");
    EXPECT_EQ(Run(""), "");
    EXPECT_TRUE(Run("help").ends_with("quit                 end this control session\nok\n"));
    bool close = false;
    EXPECT_EQ(RunControlCommand(device_, "quit", &close), "ok\n");
    EXPECT_TRUE(close);
    EXPECT_EQ(Run("drop"), "ok\n");
    EXPECT_TRUE(device_.HungUp());
}

}  // namespace
}  // namespace vardex::sim
