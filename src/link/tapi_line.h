// CTapiLine owns the one channel to the device and performs its I/O. The
// channel is a serial port opened by name, or (on USB) the port of a modem-line
// call handed over by the telephony provider.
//
// Blocking: Write ends when everything is written or after the write time-out
// (5000 ms as configured); Read ends after one silent period (the total read
// time-out with nothing, or the interval time-out after a byte), at once when
// the data ends in NAK, or when the count is reached.
// Threads: one Read and one Write may run at once from two threads; opening and
// closing must not race with other calls of the same object except through the
// channel handle, which keeps a port alive while a call in flight uses it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "platform/serial_port.h"
#include "platform/sys_error.h"

inline constexpr unsigned char NAK = 0x15;
inline constexpr std::uint32_t MS_CTS_ON = vardex::kMsCtsOn;
inline constexpr std::uint32_t MS_DSR_ON = vardex::kMsDsrOn;
inline constexpr unsigned PURGE_ALL =
    vardex::kPurgeTxAbort | vardex::kPurgeRxAbort | vardex::kPurgeTxClear | vardex::kPurgeRxClear;
inline constexpr unsigned PURGE_INPUT = vardex::kPurgeRxAbort | vardex::kPurgeRxClear;
inline constexpr std::uint32_t EV_DSR = 0x20;
inline constexpr int kSettleDelayMs = 1000;

// The channel handle; null is the closed state.
using CommHandle = std::shared_ptr<vardex::SerialPort>;

// Time-outs applied whenever a channel is configured.
vardex::CommTimeouts DefaultCommTimeouts();

class CTapiLine {
  public:
    CTapiLine() = default;
    ~CTapiLine();
    CTapiLine(const CTapiLine&) = delete;
    CTapiLine& operator=(const CTapiLine&) = delete;

    // 0 success; -1 the port did not open; -2 reading the line settings failed;
    // -3 setting them failed; -4 setting the time-outs failed; -5 reading the
    // modem status failed; -6 CTS or DSR is off. Blocks for the settle delay
    // (1000 ms) plus the replies to three initialisation lines.
    int OpenPort(const std::string& name, std::uint32_t baud);
    void ClosePort();

    // Always 1; the outcome is the byte count. A failed request closes the channel.
    int Write(const void* data, std::size_t count, std::size_t* written);
    // Always 1; buffer must hold count + 1 bytes, the data is NUL-terminated.
    int Read(char* buffer, std::size_t count, std::size_t* received);
    // The buffer as text (NUL-terminated inside size), or null when nothing came
    // or the guard failed. *length, when given, is the number of bytes stored.
    char* ReadUntilNak(char* buffer, std::size_t size, std::size_t* length = nullptr);
    int SetReadTimeout(std::uint32_t ms);
    void PurgeInput();
    CommHandle GetHandle() const;

    // Releases the telephony service; nothing to release while only serial
    // ports are in use.
    void Shutdown();

    // The port path behind the last OpenPort, and the OS error of its failure.
    const std::string& OpenedPath() const { return m_strOpenedPath; }
    const vardex::SysError& LastOpenError() const { return m_lastOpenError; }

    // Closing without the orderly part of ClosePort (no DTR drop, no purge).
    void CloseHandleOnly();
    // Takes over a channel that was opened elsewhere (a modem-line call).
    void AdoptHandle(CommHandle handle);

    // The guard shared by every guarded operation: 1 when the channel is open
    // with DSR on; 0 otherwise (a failed status query closes the handle).
    int Guard();

  private:
    void SetHandle(CommHandle handle);

    mutable std::mutex m_handleMutex;  // guards m_hComm itself, not I/O on it
    CommHandle m_hComm;
    std::string m_strOpenedPath;
    vardex::SysError m_lastOpenError;
};
