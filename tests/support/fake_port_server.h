// A port server on 127.0.0.1 for the tests of network ports: it takes one
// connection at a time on its own thread, answers the com-port option as told,
// records the line's bytes and the com-port commands it receives (unescaped),
// and sends what the test gives it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vardex::test {

class FakePortServer {
public:
    enum class Answer {
        kAgree,   // DO com-port, and every set command confirmed
        kRefuse,  // DONT com-port
        kSilent,  // never answers
        kClose,   // closes each connection at once
        kBusy,    // agrees, then says its port is in use and closes
    };

    explicit FakePortServer(Answer answer = Answer::kAgree);
    ~FakePortServer();
    FakePortServer(const FakePortServer&) = delete;
    FakePortServer& operator=(const FakePortServer&) = delete;

    // rfc2217://127.0.0.1:PORT
    std::string Name() const;

    // Sends bytes as they are (the test escapes them, or sends broken telnet).
    void SendRaw(const std::string& bytes);
    // Sends the line's bytes, IAC doubled.
    void SendData(const std::string& bytes);
    void SendModemState(std::uint8_t state);
    // Ends the connection now.
    void CloseConnection();
    // Leaves the client's bytes in the socket from now on (a stalled server).
    void StopReading();

    std::string Data() const;
    // The com-port commands received: command byte and value, without IAC SB 44.
    std::vector<std::string> Commands() const;
    // Waits (bounded) until the condition on the recorded data and commands holds.
    bool WaitUntil(const std::function<bool(const std::string& data,
                                            const std::vector<std::string>& commands)>& condition,
                   std::chrono::milliseconds limit = std::chrono::seconds(5));

private:
    void Run();
    void Serve(int client);
    void SendLocked(const std::string& bytes);

    int listener_ = -1;
    int stop_fd_ = -1;
    int port_ = 0;
    Answer answer_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    int client_ = -1;
    bool reading_ = true;
    std::string data_;
    std::vector<std::string> commands_;
    std::thread thread_;
};

}  // namespace vardex::test
