// A scripted varDex and the job view, with the program's records, for the
// identification and search tests.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "device/identify.h"
#include "link/tapi_line.h"
#include "scripted_job_view.h"
#include "scripted_peer.h"
#include "time_scale.h"

namespace vardex::test {

inline constexpr double kDeviceTestScale = kAnswerScale;

// Replies of a varDex in normal operation; "ATI3" carries the country.
inline ScriptedPeer::Responder VarDexReplies(const std::string& country = "Hungary") {
    return [country](const std::string& line) -> std::string {
        if (line.size() >= 4 && line.compare(line.size() - 4, 4, "ATI4") == 0) {
            return "\r\nCalvetra VarDex V1.2\r\n\r\nOK\r\n";
        }
        if (line == "ATI0") {
            return "\r\nHardware Version 3\r\n\r\nOK\r\n";
        }
        if (line == "ATI3") {
            return "\r\nSoftware Version V2.10" + (country.empty() ? "" : " " + country) +
                   "\r\n\r\nOK\r\n";
        }
        if (line == "ATI1") {
            return "\r\nCRC: 5A3C\r\n\r\nOK\r\n";
        }
        return "\r\nOK\r\n";
    };
}

class DeviceTest : public ::testing::Test {
protected:
    DeviceTest() : scale_(kDeviceTestScale) {}

    params::CDeviceConfig& Record() { return app_.m_workingRecord; }

    // Opens the peer's port as a search would have left it.
    void OpenDirect(ScriptedPeer& peer) {
        ASSERT_EQ(Record().Line().OpenPort(peer.SlavePath(), 115200), link::OpenResult::kOk);
        Record().Line().SelectDirectPort(peer.SlavePath());
    }

    ScopedTimeScale scale_;
    params::CVarDexConfigurationManagerApp app_;
    ScriptedJobView view_;
};

}  // namespace vardex::test
