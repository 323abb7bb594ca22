// Asking the device a question whose answer must have a known shape.
//
// A reply that is not accepted (line noise before it, a reply cut short, a
// late answer to the previous command standing in for this one, silence) is
// never taken as a value: the line is drained of whatever is still arriving and
// the question is asked once more. A second reply that is not accepted either
// fails the question, and the job learns which command it was.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "link/device_port.h"
#include "params/running_job.h"

enum class Answer {
    kAccepted,     // *reply is the accepted reply
    kNotAccepted,  // asked twice, no acceptable reply (noted in the job)
    kLinkDown,     // no reply at all: the channel is closed or DSR is off
};

// accept sees each reply as the device sent it (echo and a leading line break
// removed); it may keep what it parsed. Blocks for one or two exchanges and a
// drain of at most one read time-out.
Answer AskChecked(CRunningJob* job, CDevicePort& port, const std::string& command,
                  const std::function<bool(std::string_view reply)>& accept,
                  std::string* reply = nullptr);

// The second half of AskChecked, for a caller that asked once itself and did
// not accept the reply: drains the line and asks once more.
Answer AskAgain(CRunningJob* job, CDevicePort& port, const std::string& command,
                const std::function<bool(std::string_view reply)>& accept,
                std::string* reply = nullptr);
