// A serial port served over the network: a TCP connection to a port server with
// the telnet com-port option, named rfc2217://HOST:PORT (HOST a name, an IPv4
// address or an [IPv6] address). SerialPort runs its calls on it when it was
// opened under such a name; this class keeps the connection, the line's bytes
// received and not yet read, and the bytes waiting to go out.
//
// Threads: every member may be called from any thread; each holds the lock only
// around calls that do not block. Waiting is the caller's (SerialPort's), on
// Socket() and DataReadyFd().
#pragma once

#include <sys/types.h>

#include <atomic>
#include <bitset>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "rfc2217_codec.h"
#include "sys_error.h"
#include "unique_fd.h"

namespace vardex::platform {

struct LineSettings;

inline constexpr const char kNetPortScheme[] = "rfc2217://";

struct NetPortName {
    std::string host;  // without the brackets of an IPv6 address
    std::string port;  // decimal, 1..65535
};

// Whether the name is meant as a network port (it starts with the scheme, in
// any case); such a name never opens a device file, even when it is malformed.
bool IsNetPortName(std::string_view name);
// Checks and splits rfc2217://HOST:PORT. False for anything else: a missing or
// zero port, a port with more than digits, an IPv6 address without brackets,
// spaces, control characters or a path after the port.
bool ParseNetPortName(const std::string& name, NetPortName* parsed);

class NetLine {
public:
    // Resolves the name, connects and negotiates the com-port option, within a
    // bounded time; ends early when *cancel turns true. Null with *error on
    // failure: EINVAL for a malformed name, ENOENT for a host name that does not
    // resolve, the connection's own error (ECONNREFUSED, ETIMEDOUT, ...),
    // EPROTONOSUPPORT when the server refuses the com-port option, EBUSY when it
    // says the port is in use, ECONNRESET when it closed the connection otherwise.
    static std::unique_ptr<NetLine> Connect(const std::string& name,
                                            const std::atomic<bool>* cancel, SysError* error);
    ~NetLine();
    NetLine(const NetLine&) = delete;
    NetLine& operator=(const NetLine&) = delete;

    // Raw bytes one call takes off the socket at most. A server can send telnet
    // commands faster than we decode them: a call that read until the socket
    // ran dry would keep a read from its deadline and from Cancel for as long
    // as the flood lasts.
    static constexpr std::size_t kMaxTakenAtOnce = 64 * 1024;
    // The most one call of this line took (for the tests).
    std::size_t MostTakenAtOnce();

    int Socket() const { return socket_.get(); }
    // Readable while line bytes that another thread took off the socket wait in
    // the buffer (a reader waits on it beside the socket).
    int DataReadyFd() const { return data_ready_fd_.get(); }

    // Up to size of the line's bytes received, and no further than the first of
    // the stop bytes (if given): the rest waits for the next read. -1 with errno
    // EAGAIN while none are there, EIO once the connection is gone and the
    // buffer is empty.
    ssize_t Take(std::uint8_t* into, std::size_t size, const std::bitset<256>* stops = nullptr);

    // Sends the bytes, escaped, until all have gone, the deadline passes (none:
    // no limit) or wake_fd turns readable. *written counts the bytes handed on;
    // false with *error when the connection is gone.
    bool Write(const std::uint8_t* data, std::size_t count,
               const std::chrono::steady_clock::time_point* deadline, int wake_fd,
               const std::atomic<bool>& cancelled, std::size_t* written, SysError* error);

    // The CTS, DSR, RI and CD bits the server last reported; CTS and DSR on
    // while it reported none. False once the connection is gone.
    bool ModemStatus(std::uint32_t* status, SysError* error);
    bool SetLine(const LineSettings& settings, SysError* error);
    // The baud rate the server confirmed last, 0 before any.
    std::uint32_t ConfirmedBaudRate();
    bool SetDtr(bool on, SysError* error);
    // Clears the input: what is buffered here and what has reached the socket
    // is dropped, and the server is asked to drop what it holds.
    bool Purge(bool input, bool output, SysError* error);

private:
    explicit NetLine(UniqueFd socket);
    // Negotiates the com-port option after connecting, within the deadline.
    bool Negotiate(std::chrono::steady_clock::time_point deadline, const std::atomic<bool>* cancel,
                   SysError* error);
    // Without blocking: reads what the socket holds into the buffer (while it has
    // room, and a bounded amount per call), answers the server, sends what
    // waits. Needs mutex_.
    void PumpLocked();
    void FlushLocked();
    bool SendCommandLocked(const std::string& command, const char* step, SysError* error);
    std::size_t BufferedLocked() const { return in_.size() - in_pos_; }

    UniqueFd socket_;
    UniqueFd data_ready_fd_;
    std::mutex mutex_;  // guards everything below
    telnet::Session session_;
    std::string in_;  // line bytes received, from in_pos_ on
    std::size_t in_pos_ = 0;
    std::string out_;  // bytes to send, whole commands and escaped data
    bool closed_ = false;
    std::size_t most_taken_ = 0;
};

}  // namespace vardex::platform
