#include "params/asking.h"

#include "platform/trace.h"

namespace {

enum class Once { kAccepted, kNotAccepted, kLinkDown };

Once AskOnce(CDevicePort& port, const std::string& command,
             const std::function<bool(std::string_view reply)>& accept, std::string* reply) {
    const char* text = port.SendCommand(command.c_str());
    if (text == nullptr) {
        return Once::kLinkDown;
    }
    const std::string_view got(text, port.GetReplyLength());
    if (reply != nullptr) {
        reply->assign(got);
    }
    if (accept(got)) {
        return Once::kAccepted;
    }
    vardex::Trace("Reply to %s not accepted (%zu bytes)\n", command.c_str(), got.size());
    return Once::kNotAccepted;
}

}  // namespace

Answer AskAgain(CRunningJob* job, CDevicePort& port, const std::string& command,
                const std::function<bool(std::string_view reply)>& accept, std::string* reply) {
    // What stood in the way (noise, a late answer) is read off the line before
    // the question goes out again.
    port.ReadPending();
    port.PurgeInput();
    switch (AskOnce(port, command, accept, reply)) {
        case Once::kAccepted:
            return Answer::kAccepted;
        case Once::kLinkDown:
            return Answer::kLinkDown;
        case Once::kNotAccepted:
            break;
    }
    if (job != nullptr) {
        job->m_strUnreadCommand = command;
    }
    return Answer::kNotAccepted;
}

Answer AskChecked(CRunningJob* job, CDevicePort& port, const std::string& command,
                  const std::function<bool(std::string_view reply)>& accept, std::string* reply) {
    switch (AskOnce(port, command, accept, reply)) {
        case Once::kAccepted:
            return Answer::kAccepted;
        case Once::kLinkDown:
            return Answer::kLinkDown;
        case Once::kNotAccepted:
            break;
    }
    return AskAgain(job, port, command, accept, reply);
}
