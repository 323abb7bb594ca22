// A scripted device on the master side of a pseudo-terminal, on its own thread.
// The program under test opens SlavePath() as its serial port. For every line the
// peer receives (ended by CR) it asks the responder what to send back; the echo
// and the reply go out in one write so that they arrive together.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/pty.h"

namespace vardex::test {

class ScriptedPeer {
public:
    using Responder = std::function<std::string(const std::string& line)>;

    // Starts the thread and returns once it is polling.
    explicit ScriptedPeer(Responder responder = {}, bool echo = false);
    ~ScriptedPeer();
    ScriptedPeer(const ScriptedPeer&) = delete;
    ScriptedPeer& operator=(const ScriptedPeer&) = delete;

    const std::string& SlavePath() const { return pty_.SlavePath(); }

    void SetEcho(bool echo);
    void SetResponder(Responder responder);
    // While nothing arrives, sends bytes every period (a firmware loader's NAK);
    // an empty text stops it.
    void SetIdleChatter(std::string bytes, std::chrono::milliseconds period);
    // Sends bytes at once, from the calling thread.
    void Send(const std::string& bytes);
    // The device goes away: the master side closes.
    void Hangup();
    // For the responder only (it runs with the peer's lock held): the device
    // goes away right after the reply being made has been sent.
    void HangUpAfterThisReply() { hang_up_after_reply_.store(true); }

    // Everything received so far (raw bytes) and the completed lines.
    std::string Received() const;
    std::vector<std::string> Lines() const;
    // Waits (bounded) until at least n lines have come in.
    bool WaitForLines(std::size_t n, std::chrono::milliseconds limit = std::chrono::seconds(10));
    // Waits (bounded) until bytes have come in, anywhere in what was received.
    bool WaitForReceived(const std::string& bytes,
                         std::chrono::milliseconds limit = std::chrono::seconds(10));
    // When the last byte of the last reply left the peer.
    std::chrono::steady_clock::time_point LastSendTime() const;

private:
    void Run();
    void WriteAll(const std::string& bytes);

    platform::PtyPair pty_;
    int stop_fd_ = -1;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    Responder responder_;
    bool echo_ = false;
    bool ready_ = false;
    bool hung_up_ = false;
    bool hangup_requested_ = false;
    std::atomic<bool> hang_up_after_reply_{false};
    bool stopping_ = false;
    std::string idle_bytes_;
    std::chrono::milliseconds idle_period_{0};
    std::string received_;
    std::string partial_line_;
    std::vector<std::string> lines_;
    std::chrono::steady_clock::time_point last_send_{};
    std::mutex write_mutex_;
    std::thread thread_;
};

}  // namespace vardex::test
