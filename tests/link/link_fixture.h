// A CDevicePort opened on a scripted device, as OpenPort leaves it, at a time
// scale that keeps the protocol's quarter-second waits short.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "link/device_port.h"
#include "link/tapi_line.h"
#include "scripted_peer.h"
#include "time_scale.h"

namespace vardex::test {

// Answers like a modem: OK to everything, identity to ATI4.
inline std::string ModemReply(const std::string& line) {
    if (line == "ATI4") {
        return "\r\nCalvetra VarDex V1.2\r\n\r\nOK\r\n";
    }
    return "\r\nOK\r\n";
}

class OpenLink : public ::testing::Test {
protected:
    static constexpr double kScale = 0.2;

    OpenLink() : scale_(kScale), peer_(ModemReply, true) {}

    void SetUp() override {
        ASSERT_EQ(port_.Line().OpenPort(peer_.SlavePath(), 115200), link::OpenResult::kOk)
            << port_.Line().LastOpenError().Message();
        ASSERT_TRUE(peer_.WaitForLines(3));
        ASSERT_EQ(port_.SetReadTimeout(250), 1);
    }

    ScopedTimeScale scale_;
    ScriptedPeer peer_;
    link::CDevicePort port_;
};

}  // namespace vardex::test
