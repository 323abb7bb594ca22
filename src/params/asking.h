// Asking the device a question whose answer must be a whole reply of a known
// shape.
//
// A reply that is no answer (line noise, a reply cut short or paused, a late
// answer to the previous command standing in for this one, silence) is never
// taken as a value: the line is drained of whatever is still arriving and the
// question is asked once more. A refusal ("ERROR") is asked once more too, so
// that a stray result line is not taken for the device's word. A second reply
// that is no answer fails the question, and the job learns which command it
// was; a second refusal is the device's answer.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "link/device_port.h"
#include "params/running_job.h"

namespace vardex::params {

// What the caller makes of one reply.
enum class Verdict {
    kTaken,     // an answer; the caller keeps what it parsed
    kRefused,   // the device's refusal: asked once more to be sure
    kNoAnswer,  // not whole or not of the question's shape: asked once more
};

enum class Answer {
    kAccepted,     // the last reply was taken
    kRefused,      // refused when asked again as well
    kNotAccepted,  // asked twice, no acceptable reply (noted in the job)
    kLinkDown,     // no reply at all: the channel is closed or DSR is off
};

using ReplyJudge = std::function<Verdict(std::string_view reply)>;

// judge sees each reply as the device sent it (echo and a leading line break
// removed); it may keep what it parsed, the last reply's parse being what
// counts. Blocks for one or two exchanges and a drain of at most one read
// time-out.
Answer AskChecked(CRunningJob* job, vardex::link::CDevicePort& port, const std::string& command,
                  const ReplyJudge& judge, std::string* reply = nullptr);

// The second half of AskChecked, for a caller that asked once itself and did
// not take the reply: drains the line and asks once more.
Answer AskAgain(CRunningJob* job, vardex::link::CDevicePort& port, const std::string& command,
                const ReplyJudge& judge, std::string* reply = nullptr);

// A judge for questions whose "ERROR" is an answer like any other.
inline Verdict TakenIf(bool answer) {
    return answer ? Verdict::kTaken : Verdict::kNoAnswer;
}

}  // namespace vardex::params
