// CDevicePort is the channel to the device as the rest of the program sees it:
// guarded raw I/O and the AT exchange (SendCommand).
//
// SendCommand and ReadPending return ReplyBuffer itself; the text stays valid
// until the next exchange on the same object. Exchanges are serialised by
// ExchangeMutex(): a thread that needs several exchanges in a row (a page
// command beside the terminal reader) holds it for the whole sequence.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "link/channel.h"
#include "link/user_prompts.h"

namespace vardex::link {

// Declared in link/tapi_line.h, which brings the telephony types with it:
// included only where the channel itself is driven.
class CTapiLine;

class CDevicePort {
public:
    static constexpr std::size_t kCommandTextMax = 126;
    static constexpr std::size_t kCommandBufferSize = 128;
    static constexpr std::size_t kReplyBufferSize = 4096;

    CDevicePort();
    virtual ~CDevicePort();
    CDevicePort(const CDevicePort&) = delete;
    CDevicePort& operator=(const CDevicePort&) = delete;

    // Sends the command with a carriage return and returns the reply without echo
    // and without a leading "\r\n": empty when the device stayed silent, null when
    // the link is down. Blocks for the device's answer plus the guard time after
    // its final result code, or plus one silent period (link/exchange_timing.h).
    const char* SendCommand(const char* command);
    // Bytes in the last reply returned by SendCommand or ReadPending (it may
    // hold NUL bytes that the text form hides).
    std::size_t GetReplyLength() const { return m_nReplyLength; }

    std::size_t WriteRaw(const void* data, std::size_t count);
    // Reads up to count bytes, until the line falls silent; buffer must hold
    // count + 1 bytes, since a NUL is stored after what was read.
    std::size_t ReadRaw(char* buffer, std::size_t count);
    const char* ReadPending();
    // What arrives within one read time-out, at most count bytes (no NUL is
    // stored): unlike ReadPending it does not read on while a device keeps
    // sending, so a reader that must stay responsive gets its bytes in time.
    // 0 when nothing came or the link is down.
    std::size_t ReadAvailable(char* buffer, std::size_t count);
    int SetReadTimeout(std::uint32_t ms);
    int SetReadIntervalTimeout(std::uint32_t ms);
    void PurgeInput();
    void Close();

    // Makes sure a configured channel to the device is open: searches for it when
    // the channel is closed (the person may be asked to choose), then applies the
    // line settings and checks CTS and DSR. Ok() on success; otherwise the
    // search's result, or the set-up's result of the port it found.
    // Blocks for the settle delay (kSettleDelayMs) beside the search.
    ConnectResult Connect(IProgressBar* progress, IUserPrompts* prompts, std::uint32_t baud);
    // The display name of the device in use; always 1.
    int GetDeviceName(std::string* name);

    bool IsOpen() const;
    // The guard alone: the channel is open and DSR is on. A failed status query
    // closes the channel, as in every guarded operation.
    bool LinkUp();
    CTapiLine& Line() { return *m_line; }
    std::recursive_mutex& ExchangeMutex() { return m_exchangeMutex; }

private:
    // Declared first: made before, and let go after, everything else here.
    std::unique_ptr<CTapiLine> m_line;

    // Writes until everything is out or a write moves nothing; the total written.
    std::size_t WriteAll(const void* data, std::size_t count);

    std::recursive_mutex m_exchangeMutex;
    char CommandBuffer[kCommandBufferSize] = {};
    char ReplyBuffer[kReplyBufferSize] = {};
    std::size_t m_nReplyLength = 0;
    // The last exchange ended on its final result code's guard time, and no raw
    // I/O came since: bytes waiting now were sent unasked. Raw I/O may come from
    // another thread than the exchange's.
    std::atomic<bool> m_bEndedEarly{false};
};

}  // namespace vardex::link
