// The application object with its working record's channel opened on a scripted
// device. The scripted device keeps a small register file, so that setting
// commands ("ATS84=144", "ATS79.2=1") change what the queries ("ATS84?",
// "ATS79.2?") then report; fixed replies for any other command line are set per
// test.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "link/tapi_line.h"
#include "params/param_rows.h"
#include "params/row_dispatch.h"
#include "scripted_peer.h"
#include "time_scale.h"

namespace vardex::test {

// A numeric reply as the device frames it.
inline std::string ValueReply(long long value) {
    return "\r\n" + std::to_string(value) + "\r\n\r\nOK\r\n";
}

// The own-number and charge replies as the device frames them.
inline std::string OwnNumbersReply(const std::string& phone1, const std::string& phone2,
                                   const std::string& dte) {
    return "\r\nPhone 1\r\nOWN NUMBER : " + phone1 + "\r\nPhone 2\r\nOWN NUMBER : " + phone2 +
           "\r\nDTE Port\r\nOWN NUMBER : " + dte + "\r\n\r\nOK\r\n";
}
inline std::string ChargesReply(int last_dte, int last1, int last2, int total_dte, int total1,
                                int total2) {
    const auto section = [](const char* name, int dte, int one, int two) {
        return std::string(name) + "\r\nDTE Port: " + std::to_string(dte) +
               "\r\nPhone 1: " + std::to_string(one) + "\r\nPhone 2: " + std::to_string(two) +
               "\r\n";
    };
    return "\r\n" + section("Last Call Charges", last_dte, last1, last2) +
           section("Accumulated Charges", total_dte, total1, total2) + "\r\nOK\r\n";
}

class RowTest : public ::testing::Test {
protected:
    static constexpr double kScale = 0.2;

    RowTest()
        : scale_(kScale), peer_([this](const std::string& line) { return Respond(line); }, true) {}

    void SetUp() override {
        ASSERT_EQ(W().Line().OpenPort(peer_.SlavePath(), 115200), link::OpenResult::kOk)
            << W().Line().LastOpenError().Message();
        ASSERT_TRUE(peer_.WaitForLines(3));
        ASSERT_EQ(W().SetReadTimeout(params::kParamReadTimeoutMs), 1);
        baseline_ = peer_.Lines().size();
    }

    params::CDeviceConfig& W() { return app_.m_workingRecord; }
    params::CDeviceConfig& D() { return app_.m_deviceCopy; }

    // A fixed reply for one command line (it wins over the register file).
    void Answer(const std::string& command, const std::string& reply) {
        std::lock_guard lock(mutex_);
        answers_[command] = reply;
    }
    // A reply for the next time this command line arrives only.
    void AnswerOnce(const std::string& command, const std::string& reply) {
        std::lock_guard lock(mutex_);
        once_[command] = reply;
    }
    void SetRegister(int number, int value) {
        std::lock_guard lock(mutex_);
        registers_[number] = value;
    }
    int Register(int number) {
        std::lock_guard lock(mutex_);
        return registers_[number];
    }
    // Sets the job's stop request when this command line arrives.
    void StopAt(const std::string& command) {
        std::lock_guard lock(mutex_);
        stop_at_ = command;
    }

    params::RowResult Run(std::string_view name, int verify = 0) {
        const params::ParamRowSpec* row = params::FindRow(name);
        EXPECT_NE(row, nullptr) << name;
        return row != nullptr ? RunRow(*row, &job_, &app_, verify) : params::PARAM_FAILED;
    }

    // Command lines the device received since SetUp.
    std::vector<std::string> Sent() const {
        const std::vector<std::string> lines = peer_.Lines();
        return std::vector<std::string>(lines.begin() + static_cast<std::ptrdiff_t>(baseline_),
                                        lines.end());
    }
    void ClearSent() { baseline_ = peer_.Lines().size(); }

    std::uint32_t ReadTimeout() {
        vardex::platform::CommTimeouts t;
        if (!W().Line().GetHandle() || !W().Line().GetHandle()->GetTimeouts(&t)) {
            return 0;
        }
        return t.ReadTotalTimeoutConstant;
    }

    // Both records equal, as after a read-all job.
    void Sync() { D().CopyFrom(W()); }

private:
    std::string Respond(const std::string& line) {
        std::lock_guard lock(mutex_);
        if (!stop_at_.empty() && line == stop_at_) {
            job_.m_bAbort = 1;
        }
        if (const auto once = once_.find(line); once != once_.end()) {
            const std::string reply = once->second;
            once_.erase(once);
            return reply;
        }
        const auto fixed = answers_.find(line);
        if (fixed != answers_.end()) {
            return fixed->second;
        }
        if (line == "AT&ZI?") {
            return "\r\nPhone 1\r\nMSN1 : \r\nMSN2 : \r\nMSN3 : \r\nPhone 2\r\nMSN1 : \r\n"
                   "MSN2 : \r\nMSN3 : \r\nDTE Port\r\nMSN1 : \r\nMSN2 : \r\nMSN3 : \r\n\r\nOK\r\n";
        }
        if (line == "AT&ZO?") {
            return OwnNumbersReply("", "", "");
        }
        if (line == "ATCH?") {
            return ChargesReply(0, 0, 0, 0, 0, 0);
        }
        // "ATSn?", "ATSn.b?", "ATSn=v", "ATSn.b=v".
        if (line.size() > 3 && line.compare(0, 3, "ATS") == 0) {
            char* end = nullptr;
            const long number = std::strtol(line.c_str() + 3, &end, 10);
            long bit = -1;
            if (*end == '.') {
                bit = std::strtol(end + 1, &end, 10);
            }
            int& reg = registers_[static_cast<int>(number)];
            if (*end == '?' && end[1] == '\0') {
                return ValueReply(bit < 0 ? reg : (reg >> bit) & 1);
            }
            if (*end == '=') {
                const int value = std::atoi(end + 1);
                if (bit < 0) {
                    reg = value;
                } else {
                    reg = (reg & ~(1 << bit)) | ((value & 1) << bit);
                }
                return "\r\nOK\r\n";
            }
        }
        return "\r\nOK\r\n";
    }

    ScopedTimeScale scale_;
    std::mutex mutex_;
    std::map<std::string, std::string> answers_;
    std::map<std::string, std::string> once_;
    std::map<int, int> registers_;
    std::string stop_at_;

protected:
    // The job outlives the peer, whose thread may still be answering.
    params::CRunningJob job_;
    ScriptedPeer peer_;
    params::CVarDexConfigurationManagerApp app_;
    std::size_t baseline_ = 0;
};

}  // namespace vardex::test
