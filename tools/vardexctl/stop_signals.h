// The signals that end a command-line session on the device: Ctrl+C (SIGINT),
// Ctrl+\ (SIGQUIT), a polite kill (SIGTERM) and the terminal closing (SIGHUP).
//
// While a StopSignals lives, each of them is caught instead of ending the
// program: the first one's number is kept, and every one writes a byte to a
// pipe, so that a loop polling Fd() hears of it at once and can put the device
// back in order before it leaves. Later signals change nothing: what the first
// one started runs to its end (it is bounded). SIGPIPE is ignored meanwhile, so
// that output nobody reads any more fails instead of ending the program with
// the device left as it was. The destructor puts the previous dispositions
// back. One instance at a time, made and destroyed on one thread.
#pragma once

#include <csignal>
#include <iterator>

#include "platform/unique_fd.h"

namespace vardex::ctl {

class StopSignals {
public:
    static constexpr int kCaught[] = {SIGINT, SIGQUIT, SIGTERM, SIGHUP};

    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // False when the pipe could not be made; nothing is caught then.
    bool Ok() const { return pipe_[0].valid(); }
    // Readable once a signal has come; -1 when not Ok().
    int Fd() const { return pipe_[0].get(); }
    // The first signal caught, 0 while none has come.
    static int Caught();
    // Empties the pipe, so that Fd() waits for the next signal.
    void Drain() const;

private:
    platform::UniqueFd pipe_[2];
    struct sigaction previous_[std::size(kCaught)]{};
    struct sigaction previous_pipe_ {};
};

}  // namespace vardex::ctl
