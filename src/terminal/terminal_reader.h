// The terminal's reader: a worker thread that reads what the device sends,
// copies it raw into the log file when one is open, and hands the converted
// text to a sink. The sink is called on the worker thread; a window side must
// pass the update on to its own thread (queued) and never touch a widget from
// the sink.
//
// Start and stop may come in any order and at any pace from one controlling
// thread: after StartReader exactly one reader runs (a start that comes while
// the previous reader is still leaving keeps that reader running instead of
// being lost), and never two at once. StopReader waits, bounded, for the
// reader to leave, so that the caller may use the channel afterwards.
//
// A reader whose channel closed (the device vanished, a read failed) leaves by
// itself and tells its sink: nothing comes on that channel any more, and only a
// new search opens another. A hang-up (DSR off, the channel still open) ends it
// too when it was made to leave on one; otherwise it looks again after a read
// time-out, since the device may come back (a power cycle).
//
// The log is written only by the reader, a whole chunk under the log lock;
// CloseLog takes the same lock, so a close falls between two chunks: the file
// holds exactly the bytes received while it was open, none torn. StopReader
// closes it only once the reader has left (or its wait ran out), so every chunk
// handed to the sink before the stop is in the log too.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "platform/unique_fd.h"
#include "terminal/terminal_text.h"

namespace vardex::link {
class CDevicePort;
}

namespace vardex::terminal {

class ITerminalSink {
public:
    virtual ~ITerminalSink() = default;
    // One call per chunk received, in order, on the reader thread. Must not
    // wait for the thread that starts and stops the reader (post, never a
    // blocking call): StopReader waits for the reader.
    virtual void OnScreenUpdate(const ScreenUpdate& update) = 0;
    // The chunk as it arrived and as converted, before OnScreenUpdate; for a
    // sink that prints rather than keeps a screen.
    virtual void OnReceived(std::string_view /*bytes*/, const ConvertedChunk& /*chunk*/) {}
    // The log was closed because a write to it failed (disk full, file gone);
    // on the reader thread. The window shows that no log runs any more.
    virtual void OnLogFailed() {}
    // The reader found the link down and leaves; its last call, on the reader
    // thread.
    virtual void OnLinkDown() {}
};

// What a reader makes of a hang-up: DSR off on a channel that is still open.
enum class HangUp {
    kWaitForDevice,  // the window's terminal: the device may come back
    kEndsReader,     // a session on the command line: the link is down
};

class CTerminalReader {
public:
    // Read time-out while the reader runs, and the pause after each read
    // (milliseconds before VARDEX_TIME_SCALE).
    static constexpr std::uint32_t kReadTimeoutMs = 50;
    static constexpr std::int64_t kPauseMs = 10;
    // The most one read takes in: more than a read time-out brings at any of
    // the device's speeds.
    static constexpr std::size_t kReadChunk = 4095;
    // How long StopReader waits by default for the reader to leave; a read in
    // progress ends after one read time-out.
    static constexpr std::int64_t kStopWaitMs = 2000;

    // The port and the sink must outlive the reader object.
    CTerminalReader(link::CDevicePort& port, ITerminalSink& sink,
                    HangUp hang_up = HangUp::kWaitForDevice);
    // Stops the reader, waiting for it without limit, and closes the log.
    ~CTerminalReader();
    CTerminalReader(const CTerminalReader&) = delete;
    CTerminalReader& operator=(const CTerminalReader&) = delete;

    // Starts reading (or keeps a reader that is still leaving).
    void StartReader();
    // Asks the reader to stop, waits up to `wait_ms` (milliseconds, scaled by
    // VARDEX_TIME_SCALE) for it to leave, then closes the log. True when no reader
    // runs any more; false when it is still inside a read (it leaves after that
    // read, and a later StartReader keeps it).
    bool StopReader(std::int64_t wait_ms = kStopWaitMs);
    // Whether a reader thread is in its loop (it may have been asked to stop).
    bool IsRunning() const;
    // Whether the last reader left because the link was down (until the next
    // StartReader).
    bool LinkDown() const { return m_bLinkDown.load(); }

    // Opens the file for writing, created or emptied; true on success.
    bool OpenLog(const std::string& path);
    void CloseLog();
    bool IsLogOpen() const;

    // The screen as the reader left it after its last chunk (the window starts
    // from this when it is created after the reader).
    std::string ScreenText() const;

    // Reader threads begun since construction (a start that kept a leaving
    // reader begins none); for checks.
    unsigned ThreadsStarted() const;
    // Reader threads alive at this moment (0 or 1); for checks.
    unsigned ReadersAlive() const { return m_nAlive.load(); }

private:
    void ReaderThreadProc();
    // Writes the chunk to the log when it is open; closes the log on failure.
    void WriteLog(const char* data, std::size_t length);

    // Marks the reader gone; under m_mutex.
    void Leave();

    link::CDevicePort& m_port;
    ITerminalSink& m_sink;
    const HangUp m_hangUp;
    std::atomic<bool> m_bLinkDown{false};

    // Guards the reader state below and the screen.
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::thread m_readerThread;
    bool m_bRunning = false;
    bool m_bStopReader = false;
    unsigned m_nThreadsStarted = 0;
    std::atomic<unsigned> m_nAlive{0};
    CTerminalScreen m_screen;

    // Guards the log; held for a whole chunk's write and for the close.
    mutable std::mutex m_logMutex;
    platform::UniqueFd m_logFd;
};

}  // namespace vardex::terminal
