#include "terminal/terminal_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <string_view>
#include <utility>

#include "link/device_port.h"
#include "platform/file_io.h"
#include "platform/vtime.h"

using namespace vardex::platform;
using namespace vardex::link;

namespace vardex::terminal {

CTerminalReader::CTerminalReader(CDevicePort& port, ITerminalSink& sink, HangUp hang_up)
    : m_port(port), m_sink(sink), m_hangUp(hang_up) {}

CTerminalReader::~CTerminalReader() {
    {
        std::lock_guard lock(m_mutex);
        m_bStopReader = true;
        m_changed.notify_all();
    }
    if (m_readerThread.joinable()) {
        m_readerThread.join();
    }
    CloseLog();
}

void CTerminalReader::StartReader() {
    std::lock_guard lock(m_mutex);
    m_bStopReader = false;
    if (m_bRunning) {
        // The reader has not left yet: it carries on, so the start is kept
        // without a second reader.
        return;
    }
    // A reader that left its loop has nothing more to do than return.
    if (m_readerThread.joinable()) {
        m_readerThread.join();
    }
    m_bRunning = true;
    m_bLinkDown.store(false);
    ++m_nThreadsStarted;
    ++m_nAlive;
    m_readerThread = std::thread(&CTerminalReader::ReaderThreadProc, this);
}

bool CTerminalReader::StopReader(std::int64_t wait_ms) {
    bool left = false;
    {
        std::unique_lock lock(m_mutex);
        m_bStopReader = true;
        m_changed.notify_all();
        if (wait_ms > 0) {
            m_changed.wait_for(lock, ScaledMs(wait_ms), [this] { return !m_bRunning; });
        }
        left = !m_bRunning;
    }
    // After the reader's last chunk: what it handed on is in the log as well.
    CloseLog();
    return left;
}

bool CTerminalReader::IsRunning() const {
    std::lock_guard lock(m_mutex);
    return m_bRunning;
}

unsigned CTerminalReader::ThreadsStarted() const {
    std::lock_guard lock(m_mutex);
    return m_nThreadsStarted;
}

std::string CTerminalReader::ScreenText() const {
    std::lock_guard lock(m_mutex);
    return m_screen.Text();
}

bool CTerminalReader::OpenLog(const std::string& path) {
    // Opened without blocking, so a FIFO nobody reads fails here instead of
    // hanging the page; only a file or a device node (/dev/null) takes a log.
    UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NONBLOCK, 0666));
    if (!fd) {
        return false;
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !(S_ISREG(st.st_mode) || S_ISCHR(st.st_mode)) ||
        ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK) != 0) {
        return false;
    }
    std::lock_guard lock(m_logMutex);
    m_logFd = std::move(fd);
    return true;
}

void CTerminalReader::CloseLog() {
    std::lock_guard lock(m_logMutex);
    m_logFd.reset();
}

bool CTerminalReader::IsLogOpen() const {
    std::lock_guard lock(m_logMutex);
    return m_logFd.valid();
}

void CTerminalReader::WriteLog(const char* data, std::size_t length) {
    bool failed = false;
    {
        std::lock_guard lock(m_logMutex);
        if (!m_logFd) {
            return;
        }
        failed = !WriteAll(m_logFd.get(), std::string_view(data, length));
        if (failed) {
            m_logFd.reset();
        }
    }
    if (failed) {
        m_sink.OnLogFailed();
    }
}

void CTerminalReader::Leave() {
    --m_nAlive;
    m_bRunning = false;
    m_changed.notify_all();
}

void CTerminalReader::ReaderThreadProc() {
    std::string chunk;
    for (;;) {
        {
            // Deciding to leave and saying so is one step under the lock, so a
            // start in between either keeps this reader or sees it gone.
            std::lock_guard lock(m_mutex);
            if (m_bStopReader) {
                Leave();
                return;
            }
        }
        // The time-out is set again before every read: a page exchange between
        // a stop and a start may have changed it, and this reader may be the
        // one that was kept.
        bool received = false;
        bool closed = false;
        bool hung_up = false;
        {
            std::lock_guard exchange(m_port.ExchangeMutex());
            m_port.SetReadTimeout(kReadTimeoutMs);
            // One bounded read, not a read until silence: a device that never
            // falls silent for a whole time-out must not hold the screen back
            // or keep a stop waiting.
            chunk.resize(kReadChunk);
            chunk.resize(m_port.ReadAvailable(chunk.data(), chunk.size()));
            received = !chunk.empty();
            // Nothing came: a silent line, or one that is gone (the read then
            // returns at once, without its time-out).
            if (!received && !m_port.LinkUp()) {
                closed = !m_port.IsOpen();
                hung_up = !closed;
            }
        }
        if (received) {
            WriteLog(chunk.data(), chunk.size());
            const ConvertedChunk converted = ConvertChunk(chunk);
            m_sink.OnReceived(chunk, converted);
            ScreenUpdate update;
            {
                std::lock_guard lock(m_mutex);
                update = m_screen.Apply(converted);
            }
            if (update.kind != ScreenUpdate::Kind::kNone) {
                m_sink.OnScreenUpdate(update);
            }
        }
        if (closed || (hung_up && m_hangUp == HangUp::kEndsReader)) {
            m_bLinkDown.store(true);
            m_sink.OnLinkDown();
            std::lock_guard lock(m_mutex);
            Leave();
            return;
        }
        // The pause; a stop request cuts it short. A hung-up line is looked at
        // again after what a read of a silent one takes, not at once.
        std::unique_lock lock(m_mutex);
        m_changed.wait_for(lock, ScaledMs(hung_up ? kReadTimeoutMs : kPauseMs),
                           [this] { return m_bStopReader; });
    }
}

}  // namespace vardex::terminal
