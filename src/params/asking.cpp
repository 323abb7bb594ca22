#include "params/asking.h"

#include <cstdio>
#include <optional>

#include "platform/trace.h"

namespace vardex::params {

using namespace vardex::link;

namespace {

// The reply's verdict, or nothing when the link is down.
std::optional<Verdict> AskOnce(CDevicePort& port, const std::string& command,
                               const ReplyJudge& judge, std::string* reply) {
    const char* text = port.SendCommand(command.c_str());
    if (text == nullptr) {
        return std::nullopt;
    }
    const std::string_view got(text, port.GetReplyLength());
    if (reply != nullptr) {
        reply->assign(got);
    }
    const Verdict verdict = judge(got);
    if (verdict != Verdict::kTaken) {
        std::string shown;
        for (const char c : got) {
            const auto u = static_cast<unsigned char>(c);
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02x", u);
            shown += u >= 0x20 && u < 0x7F ? std::string(1, c) : std::string(escape);
        }
        vardex::platform::Trace("Reply to %s %s: %s\n", command.c_str(),
                                verdict == Verdict::kRefused ? "refused" : "not taken",
                                shown.c_str());
    }
    return verdict;
}

}  // namespace

Answer AskAgain(CRunningJob* job, CDevicePort& port, const std::string& command,
                const ReplyJudge& judge, std::string* reply) {
    // What stood in the way (noise, a late answer) is read off the line before
    // the question goes out again.
    port.ReadPending();
    port.PurgeInput();
    const std::optional<Verdict> verdict = AskOnce(port, command, judge, reply);
    if (!verdict) {
        return Answer::kLinkDown;
    }
    switch (*verdict) {
        case Verdict::kTaken:
            return Answer::kAccepted;
        case Verdict::kRefused:
            return Answer::kRefused;
        case Verdict::kNoAnswer:
            break;
    }
    if (job != nullptr) {
        job->m_strUnreadCommand = command;
    }
    return Answer::kNotAccepted;
}

Answer AskChecked(CRunningJob* job, CDevicePort& port, const std::string& command,
                  const ReplyJudge& judge, std::string* reply) {
    const std::optional<Verdict> verdict = AskOnce(port, command, judge, reply);
    if (!verdict) {
        return Answer::kLinkDown;
    }
    return *verdict == Verdict::kTaken ? Answer::kAccepted
                                       : AskAgain(job, port, command, judge, reply);
}

}  // namespace vardex::params
