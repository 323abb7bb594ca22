// A port server on 127.0.0.1 for the tests of network ports: it takes one
// connection at a time on its own thread, answers the com-port option as told,
// records the line's bytes and the com-port commands it receives (unescaped),
// and sends what the test gives it, or floods the client with it.
//
// Everything goes out from the serving thread, in order and without blocking,
// so that a client that stops reading never holds up the test's calls.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
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

    // Sends bytes as they are (the test escapes them, or sends broken telnet),
    // behind what is queued already.
    void SendRaw(const std::string& bytes);
    // Sends the line's bytes, IAC doubled.
    void SendData(const std::string& bytes);
    void SendModemState(std::uint8_t state);
    // Ends the connection now.
    void CloseConnection();
    // Leaves the client's bytes in the socket from now on (a stalled server).
    void StopReading();

    // Sends the unit (telnet commands, line bytes, or both) over and over, as
    // fast as the client takes it, on every connection that has asked a
    // com-port question (the options are agreed), until kFloodLimit has passed
    // since this call. Units go out whole, between the server's answers. Once
    // per server.
    static constexpr std::chrono::seconds kFloodLimit{30};
    // A unit of commands that mean nothing: IAC NOP, count times.
    static std::string Nops(std::size_t count = 512);
    void Flood(const std::string& unit);
    // Whether the flood ended at its limit: a client that waited for its end
    // did not keep its own deadline.
    bool FloodRanOut() const;
    // Bytes sent and received so far, and waits (bounded by the flood's limit)
    // until more than count have gone or come.
    std::uint64_t BytesSent() const;
    bool WaitForBytesSent(std::uint64_t count);
    std::uint64_t BytesReceived() const;
    bool WaitForBytesReceived(std::uint64_t count);

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
    void Wake();
    // Whether the flood is on for this connection; notes its end at the limit.
    bool FloodLocked();
    // Sends what the socket takes now; false when the connection broke.
    bool SendSomeLocked(int client, bool flooding);

    int listener_ = -1;
    int stop_fd_ = -1;
    int wake_fd_ = -1;  // something to send, or a change of mind
    int port_ = 0;
    Answer answer_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    int client_ = -1;
    bool reading_ = true;
    std::string data_;
    std::vector<std::string> commands_;
    std::size_t commands_before_ = 0;  // of the connections before this one
    std::string out_;                  // answers and the test's bytes, to send
    std::uint64_t sent_ = 0;
    std::uint64_t received_ = 0;
    std::string flood_piece_;   // whole units
    std::size_t flood_at_ = 0;  // how much of the piece has gone
    std::chrono::steady_clock::time_point flood_end_{};
    bool flood_ran_out_ = false;
    std::thread thread_;
};

}  // namespace vardex::test
