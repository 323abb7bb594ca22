#include "params/asking.h"

#include "platform/trace.h"

namespace {

Answer AskOnce(CDevicePort& port, const std::string& command,
               const std::function<bool(std::string_view reply)>& accept, std::string* reply) {
    const char* text = port.SendCommand(command.c_str());
    if (text == nullptr) {
        return Answer::kLinkDown;
    }
    const std::string_view got(text, port.GetReplyLength());
    if (reply != nullptr) {
        reply->assign(got);
    }
    if (accept(got)) {
        return Answer::kAccepted;
    }
    vardex::Trace("Reply to %s not accepted (%zu bytes)\n", command.c_str(), got.size());
    return Answer::kNotAccepted;
}

}  // namespace

Answer AskAgain(CRunningJob* job, CDevicePort& port, const std::string& command,
                const std::function<bool(std::string_view reply)>& accept, std::string* reply) {
    // What stood in the way (noise, a late answer) is read off the line before
    // the question goes out again.
    port.ReadPending();
    port.PurgeInput();
    const Answer answer = AskOnce(port, command, accept, reply);
    if (answer == Answer::kNotAccepted && job != nullptr) {
        job->m_strUnreadCommand = command;
    }
    return answer;
}

Answer AskChecked(CRunningJob* job, CDevicePort& port, const std::string& command,
                  const std::function<bool(std::string_view reply)>& accept, std::string* reply) {
    const Answer answer = AskOnce(port, command, accept, reply);
    return answer == Answer::kNotAccepted ? AskAgain(job, port, command, accept, reply) : answer;
}
