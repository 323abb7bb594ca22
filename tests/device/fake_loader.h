// A firmware loader on a pseudo-terminal that records every byte and answers
// each received block as the test says: for the block sender's own tests,
// where the simulator's loader would hide what arrived.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/pty.h"

namespace vardex::test {

class FakeLoader {
public:
    // kCanAndAskAgain: a loader that gives up the transfer and starts over
    // (CAN CAN, then a fresh NAK).
    enum class Reply { kAck, kNak, kCan, kCanAndAskAgain, kGarbage, kSilent, kHangup };
    // Called on the loader's thread with the block's index in arrival order and
    // its 132 bytes.
    using BlockReply = std::function<Reply(std::size_t index, const std::string& frame)>;

    // idle_nak: NAK sent this often until a block arrives (zero: never). A
    // command line before that is also answered with NAK, as a real loader does.
    explicit FakeLoader(std::chrono::milliseconds idle_nak = std::chrono::milliseconds(0));
    ~FakeLoader();
    FakeLoader(const FakeLoader&) = delete;
    FakeLoader& operator=(const FakeLoader&) = delete;

    const std::string& SlavePath() const { return pty_.SlavePath(); }
    void SetBlockReply(BlockReply reply);
    void SetEotReply(Reply reply);

    std::string Received() const;
    std::vector<std::string> Frames() const;
    int Eots() const;

private:
    void Run();
    void Answer(Reply reply);  // on the loader's thread

    platform::PtyPair pty_;
    int stop_fd_ = -1;
    std::chrono::milliseconds idle_nak_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool ready_ = false;
    bool hung_up_ = false;
    BlockReply block_reply_;
    Reply eot_reply_ = Reply::kAck;
    std::string received_;
    std::string frame_;
    std::vector<std::string> frames_;
    int eots_ = 0;
    std::thread thread_;
};

}  // namespace vardex::test
