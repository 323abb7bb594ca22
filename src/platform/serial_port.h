// A serial device with the semantics of a Windows communications handle, because
// the device protocol's timing rests on them.
//
// Blocking and threads:
//  - Read blocks until the count is reached, the total deadline passes
//    (ReadTotalTimeoutConstant + ReadTotalTimeoutMultiplier x count), or the
//    interval time passes after a byte without another one. With every read
//    time-out 0 it waits until the count is reached or Cancel is called.
//  - Write blocks until everything is written or its total deadline passes.
//  - One Read and one Write may run at once from two threads; the status,
//    DTR, purge and time-out calls may run beside them. Cancel ends every call
//    in flight at once and every later one immediately; the descriptor itself is
//    closed when the last owner lets go, so a call in flight never sees it reused.
//  - A short result is not an error: Read and Write return true with the count
//    transferred; false means an I/O error (LastError tells which).
//
// Every duration is in the protocol's milliseconds and is scaled by TimeScale().
//
// A port named rfc2217://HOST:PORT is a serial port behind a port server on the
// network; every call keeps its meaning there, and opening connects and
// negotiates (bounded, and it ends on the cancel flag). Each kind runs on a back
// end of its own (port_backend.h: tty_backend.h, net_backend.h).
#pragma once

#include <atomic>
#include <bitset>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "sys_error.h"
#include "unique_fd.h"

namespace vardex::platform {

class PortBackend;

inline constexpr std::uint32_t kMaxDword = 0xFFFFFFFFu;

struct CommTimeouts {
    std::uint32_t ReadIntervalTimeout = 0;
    std::uint32_t ReadTotalTimeoutMultiplier = 0;
    std::uint32_t ReadTotalTimeoutConstant = 0;
    std::uint32_t WriteTotalTimeoutMultiplier = 0;
    std::uint32_t WriteTotalTimeoutConstant = 0;
};

// The fields of a line configuration that the program reads and changes. The
// line is otherwise made fully raw (software flow control off); hardware flow
// control is kept as the driver reported it.
struct LineSettings {
    std::uint32_t BaudRate = 0;
    std::uint8_t ByteSize = 8;  // 5..8
    std::uint8_t Parity = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
    std::uint8_t StopBits = 0;  // 0 one, 1 one and a half, 2 two
};

// Modem status bits as the channel code tests them.
inline constexpr std::uint32_t kMsCtsOn = 0x10;
inline constexpr std::uint32_t kMsDsrOn = 0x20;
inline constexpr std::uint32_t kMsRingOn = 0x40;
inline constexpr std::uint32_t kMsRlsdOn = 0x80;

// Purge flags.
inline constexpr unsigned kPurgeTxAbort = 0x1;
inline constexpr unsigned kPurgeRxAbort = 0x2;
inline constexpr unsigned kPurgeTxClear = 0x4;
inline constexpr unsigned kPurgeRxClear = 0x8;

class SerialPort {
public:
    // Opens a serial device exclusively: a port that another program (or another
    // SerialPort of this process) holds does not open (EBUSY). Never blocks; a
    // network port connects within a bounded time, and is busy when its server
    // says it serves another client already.
    // Returns null and fills *error on failure. A network port's connection may
    // take a while; it ends early when *cancel (if given) turns true.
    static std::shared_ptr<SerialPort> Open(const std::string& path, SysError* error,
                                            const std::atomic<bool>* cancel = nullptr);

    // Takes over a descriptor that was opened (and locked) elsewhere, such as the
    // channel of a modem-line call; the port owns and closes it. Null when fd < 0.
    static std::shared_ptr<SerialPort> Adopt(int fd, const std::string& path, SysError* error);

    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    bool GetState(LineSettings* settings);
    // Raw mode (no software flow control) with the given baud rate, byte size,
    // parity and stop bits.
    bool SetState(const LineSettings& settings);
    bool GetTimeouts(CommTimeouts* timeouts);
    bool SetTimeouts(const CommTimeouts& timeouts);

    // CTS, DSR, RING, RLSD bits. On a pseudo-terminal, which has no modem lines,
    // CTS and DSR read as on while the other side is open and as off after it
    // hung up. Fails on a device that has gone away (see PortPresence).
    bool GetModemStatus(std::uint32_t* status);
    bool SetDtr(bool on);  // ignored where the device has no modem lines
    bool Purge(unsigned flags);
    bool SetEventMask(std::uint32_t mask);  // recorded only
    bool ClearError();                      // nothing to clear on Linux

    // What may end a read early, besides the count and the time-outs.
    struct ReadStops {
        // The read ends as soon as the data received so far ends in one of these.
        // A network port ends it at the first of them exactly and keeps what
        // follows for the next read.
        std::bitset<256> bytes;
        // >= 0: the total time-out for this read only, in milliseconds, instead of
        // the configured one (the interval time-out still holds).
        std::int64_t total_ms = -1;
        // The device still owes the rest of an answer begun: the wait for this
        // read's first byte is ScaledAnswerMs, as after a write.
        bool owed = false;
    };

    // stop_byte >= 0 ends the read as soon as the data received so far ends in it.
    bool Read(void* buffer, std::size_t count, std::size_t* received, int stop_byte = -1);
    bool Read(void* buffer, std::size_t count, std::size_t* received, const ReadStops& stops);
    bool Write(const void* data, std::size_t count, std::size_t* written);

    void Cancel();
    bool Cancelled() const { return cancelled_.load(); }

    SysError LastError() const;

private:
    SerialPort(std::unique_ptr<PortBackend> backend, UniqueFd wake_fd);
    // The common end of Open and Adopt: the wake-up descriptor.
    static std::shared_ptr<SerialPort> Wrap(std::unique_ptr<PortBackend> backend, SysError* err);
    void SetLastError(SysError error);
    // Records the error of a back end's call that failed; passes its result on.
    bool Check(bool ok, const SysError& error);
    // Waits until the port is ready for events, the deadline (none: no limit)
    // passes or Cancel is called; *stop tells the caller to end. False on a poll
    // error, which is recorded.
    bool WaitFor(short events, const std::chrono::steady_clock::time_point* deadline, bool* stop);
    // Waits until the deadline (or Cancel) without looking at the descriptor.
    void WaitOut(std::chrono::steady_clock::time_point deadline, bool has_deadline);

    std::unique_ptr<PortBackend> backend_;
    UniqueFd wake_fd_;
    std::atomic<bool> cancelled_{false};
    // Written since the last byte came in: the next read waits for an answer,
    // whose first byte gets ScaledAnswerMs of the total time-out. A first byte
    // later than the scaled total gives the rest the total again from it.
    std::atomic<bool> answer_due_{false};
    std::atomic<std::uint32_t> event_mask_{0};
    mutable std::mutex mutex_;  // guards timeouts_, settings_ and last_error_
    CommTimeouts timeouts_;
    LineSettings settings_;  // as last read or set
    SysError last_error_;
};

}  // namespace vardex::platform
