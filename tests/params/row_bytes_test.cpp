// What the read-all and write-all rows send, byte for byte, compared with a
// recording kept beside this file. A change meant to keep the rows' behaviour
// (a new shape for the tables, a helper shared by rows) must leave these bytes
// alone; a change meant to alter them re-records with VARDEX_RECORD_ROW_BYTES=1
// and shows the difference in review.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <variant>

#include "link/tapi_line.h"
#include "params/field_table.h"
#include "params/param_rows.h"
#include "params/row_dispatch.h"
#include "pty_device.h"
#include "time_scale.h"

using namespace vardex::platform;
using namespace vardex::params;
using namespace vardex::link;

namespace vardex::test {
namespace {

// Every settable number at an end of what its field takes (the top, with the
// one more value it takes when that lies beyond, or the bottom), so that each
// row has something to send on the way up and on the way down. The second of
// each pair of flags goes the other way, so that a register holding both
// changes in either direction; a few choices take other values than their ends.
void SetEveryField(CDeviceConfig& r, bool high) {
    for (const RecordField& f : RecordFields()) {
        const auto* member = std::get_if<int CDeviceConfig::*>(&f.member);
        if (f.Writable() && member != nullptr) {
            const int top = f.also != RecordField::kNoOtherValue ? std::max(f.hi, f.also) : f.hi;
            r.** member = high ? top : f.lo;
        }
    }
    using R = CDeviceConfig;
    const int bit = high ? 1 : 0;
    for (int R::*second :
         {&R::m_bClipOnCw2, &R::m_bDelayedClearBack2, &R::m_bCallWaiting2, &R::m_bMeteringPulse2,
          &R::m_bNoIncomingMlppp2, &R::m_bMessageWaiting2, &R::m_bClir2, &R::m_bColr2,
          &R::m_bX25UsePad, &R::m_bX25SendRestart, &R::m_bX25PadCall}) {
        r.*second = 1 - bit;
    }
    r.m_nProtocol = high ? CDeviceConfig::kProtocolX25DChannel : CDeviceConfig::kProtocolV120;
    r.m_nPowerUpProfile = high ? 3 : 0;
    r.m_nStoreProfile = high ? 4 : 1;
    r.m_nOwnNumber2 = high ? 1 : 0;
    r.m_nOwnNumberDte = high ? 0 : CDeviceConfig::kOwnNumberNone;
    r.m_nTerminalType2 = high ? 1 : 0;
    for (std::size_t i = 0; i < CDeviceConfig::kDteMsnCount; ++i) {
        r.m_strDteMsn[i] = high ? "12*#" + std::to_string(i) + "567890123456789012" : "";
    }
    for (std::size_t i = 0; i < CDeviceConfig::kPhoneMsnCount; ++i) {
        r.m_strPhoneMsn[i] = high ? std::string(23, static_cast<char>('1' + i)) + "0" : "";
    }
    for (std::size_t port = 0; port < CDeviceConfig::kLlcPorts; ++port) {
        for (std::size_t octet = 0; octet < CDeviceConfig::kLlcOctets; ++octet) {
            r.m_byModemLlc[port][octet] = high ? static_cast<std::uint8_t>(0xFF - port - octet) : 0;
        }
    }
    r.m_strX25Address = high ? "262451234567890" : "";
}

// The bytes as lines: one command line per text line, other bytes escaped.
std::string Readable(const std::string& bytes) {
    std::string text;
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\r') {
            text += "\\r\n";
        } else if (u >= 0x20 && u < 0x7F && c != '\\') {
            text += c;
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", u);
            text += hex;
        }
    }
    return text;
}

class RowBytes : public ::testing::TestWithParam<const char*> {
protected:
    RowBytes() : scale_(kAnswerScale) {}

    CDeviceConfig& W() { return app_.m_workingRecord; }

    std::string RunTable(std::span<const ParamRowSpec> table) {
        device_->KeepReceivedBytes(true);
        std::string results;
        for (const ParamRowSpec& row : table) {
            results += " " + std::to_string(static_cast<int>(RunRow(row, &job_, &app_, 0)));
        }
        app_.m_deviceCopy.CopyFrom(W());
        const std::string bytes = device_->ReceivedBytes();
        device_->KeepReceivedBytes(false);
        return "results" + results + "\n" + Readable(bytes);
    }

    ScopedTimeScale scale_;
    std::unique_ptr<sim::PtyDevice> device_;
    CRunningJob job_;
    CVarDexConfigurationManagerApp app_;
};

TEST_P(RowBytes, ReadAllAndWriteAllSendWhatTheyAlwaysSent) {
    const std::string country = GetParam();
    device_ = std::make_unique<sim::PtyDevice>(sim::DeviceOptions{.country = country});
    SysError error;
    ASSERT_TRUE(device_->Start(&error));
    ASSERT_EQ(W().Line().OpenPort(device_->Path(), 115200), OpenResult::kOk);
    ASSERT_EQ(W().SetReadTimeout(kParamReadTimeoutMs), 1);
    W().m_strCountry = country;
    W().m_bX25Available = country == "Hungary" ? 1 : 0;
    W().m_bFskLevelAvailable = country == "Brasil USB" ? 0 : 1;

    std::string log = "# read all\n" + RunTable(QueryRows());
    SetEveryField(W(), true);
    log += "# write all, every field high\n" + RunTable(SettingRows());
    SetEveryField(W(), false);
    log += "# write all, every field low\n" + RunTable(SettingRows());

    std::string file = std::string(VARDEX_ROW_BYTES_DIR) + "/" + country + ".txt";
    for (char& c : file) {
        c = c == ' ' ? '_' : c;
    }
    if (std::getenv("VARDEX_RECORD_ROW_BYTES") != nullptr) {
        std::ofstream(file, std::ios::binary) << log;
        GTEST_SKIP() << "recorded " << file;
    }
    std::ifstream in(file, std::ios::binary);
    ASSERT_TRUE(in) << file;
    std::ostringstream recorded;
    recorded << in.rdbuf();
    EXPECT_EQ(log, recorded.str());
}

INSTANTIATE_TEST_SUITE_P(Countries, RowBytes, ::testing::Values("Hungary", "Germany", "Brasil USB"),
                         [](const ::testing::TestParamInfo<const char*>& param) {
                             std::string name = param.param;
                             return name.substr(0, name.find(' '));
                         });

}  // namespace
}  // namespace vardex::test
