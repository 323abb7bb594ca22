#include "link/tapi_line.h"

#include "link/at_commands.h"
#include "link/exchange_timing.h"
#include "link/protocol_waits.h"
#include "link/reply_assembly.h"

#include <cerrno>
#include <utility>

#include "platform/net_line.h"
#include "platform/port_kind.h"
#include "platform/port_map.h"
#include "platform/vtime.h"

namespace vardex::link {

vardex::platform::CommTimeouts DefaultCommTimeouts() {
    vardex::platform::CommTimeouts t;
    t.ReadIntervalTimeout = kReadIntervalMs;
    t.ReadTotalTimeoutMultiplier = 0;
    t.ReadTotalTimeoutConstant = kReadTotalMs;
    t.WriteTotalTimeoutMultiplier = 0;
    t.WriteTotalTimeoutConstant = kWriteTotalMs;
    return t;
}

namespace {

// "COM3" goes through the port map; anything else is taken as a device path.
std::string PathForName(const std::string& name) {
    if (auto path = vardex::platform::ResolvePortName(name)) {
        return *path;
    }
    if (name.size() >= 4 && (name[0] == 'C' || name[0] == 'c') &&
        name.find('/') == std::string::npos) {
        // A COM name that maps to nothing fails to open like a missing port.
        return {};
    }
    return name;
}

}  // namespace

CommHandle CTapiLine::GetHandle() const {
    std::lock_guard lock(m_handleMutex);
    return m_hComm;
}

void CTapiLine::SetHandle(CommHandle handle) {
    CommHandle old;
    {
        std::lock_guard lock(m_handleMutex);
        old = std::exchange(m_hComm, std::move(handle));
    }
    if (old) {
        // Wakes a read or write still in flight on another thread; the port itself
        // is released when that call lets go of it.
        old->Cancel();
    }
}

CommHandle CTapiLine::ReleaseHandle() {
    std::lock_guard lock(m_handleMutex);
    return std::exchange(m_hComm, nullptr);
}

void CTapiLine::CloseHandleOnly() {
    SetHandle(nullptr);
}

void CTapiLine::AdoptHandle(CommHandle handle) {
    m_bLinkLost = false;
    SetHandle(std::move(handle));
}

namespace {

// What a call on a local port fails with once its device is gone: a tty hung
// up by its driver (EIO), a port whose driver let go of it (ENODEV, ENXIO), a
// pseudo-terminal whose name went (ENODEV). Not EBADF: that is a channel closed
// under the call by Cancel. A port server closes its connection alike for a
// line that only dropped, so a network port's failure says nothing of its device.
bool DeviceGone(const std::string& path, const vardex::platform::SysError& error) {
    return !vardex::platform::IsNetPortName(path) &&
           (error.code == EIO || error.code == ENODEV || error.code == ENXIO);
}

}  // namespace

void CTapiLine::NoteFailure(const CommHandle& port) {
    if (port && DeviceGone(m_strOpenedPath, port->LastError())) {
        m_bLinkLost = true;
    }
}

namespace {

// A port server closes its device a little after the client that used it went
// (ser2net: some milliseconds), and until then it turns a new client away by
// closing the connection. A search that probes a port and opens it again at
// once, or two commands in a row, meet exactly that (ser2net answers "Port
// already in use" and closes).
constexpr int kNetOpenAttempts = 3;
constexpr std::int64_t kNetReopenPauseMs = 100;

// The connection was made and then lost; a name that does not resolve, a
// refusal or a time-out are final.
// A server that still closes the last connection says the port is in use.
bool ServerClosedConnection(const vardex::platform::SysError& error) {
    return error.code == EIO || error.code == ECONNRESET || error.code == EPIPE ||
           error.code == EBADF || error.code == EBUSY;
}

}  // namespace

OpenResult CTapiLine::OpenPort(const std::string& name, std::uint32_t baud) {
    for (int attempt = 1;; ++attempt) {
        const OpenResult opened = OpenPortOnce(name, baud);
        if (opened == OpenResult::kOk || attempt == kNetOpenAttempts ||
            !vardex::platform::IsNetPortName(m_strOpenedPath) ||
            !ServerClosedConnection(m_lastOpenError)) {
            return opened;
        }
        vardex::platform::SleepMs(kNetReopenPauseMs);
    }
}

OpenResult CTapiLine::OpenPortOnce(const std::string& name, std::uint32_t baud) {
    if (GetHandle()) {
        ClosePort();
    }
    m_lastOpenError = {};
    m_bLinkLost = false;
    m_bLineChannel = false;
    m_strOpenedPath = PathForName(name);
    auto port = m_strOpenedPath.empty()
                    ? nullptr
                    : vardex::platform::SerialPort::Open(m_strOpenedPath, &m_lastOpenError);
    if (!port) {
        if (m_strOpenedPath.empty()) {
            m_lastOpenError = vardex::platform::SysError{ENOENT, "open"};
        }
        return OpenResult::kFailed;
    }
    SetHandle(port);
    // Opening resets the device to its stored profile (ATZ) and turns its echo off.
    const OpenResult configured = ConfigureChannel(baud, at::kPortStartUp, &m_lastOpenError);
    if (configured != OpenResult::kOk) {
        ClosePort();
    }
    return configured;
}

OpenResult CTapiLine::ConfigureChannel(std::uint32_t baud,
                                       std::span<const std::string_view> init_lines,
                                       vardex::platform::SysError* error) {
    vardex::platform::SysError ignored;
    vardex::platform::SysError& failure = error != nullptr ? *error : ignored;
    const CommHandle port = GetHandle();
    vardex::platform::LineSettings settings;
    if (!port || !port->GetState(&settings)) {
        failure = port ? port->LastError() : vardex::platform::SysError{};
        return OpenResult::kGetSettingsFailed;
    }
    settings.BaudRate = baud;
    settings.ByteSize = 8;
    settings.Parity = 0;
    settings.StopBits = 0;
    if (!port->SetState(settings)) {
        failure = port->LastError();
        return OpenResult::kSetSettingsFailed;
    }
    if (!port->SetTimeouts(DefaultCommTimeouts())) {
        failure = port->LastError();
        return OpenResult::kSetTimeoutsFailed;
    }

    // The replies are thrown away; the purge below clears whatever is left.
    for (const std::string_view command : init_lines) {
        const std::string line = at::Line(command);
        std::size_t written = 0;
        Write(line.data(), line.size(), &written);
        // Thrown away, so nothing after the final result code is worth its
        // silent wait, not even after a restart ("ATZ"): in the early timing the
        // whole answer, echo included, is read, so that the next line's starts
        // clean; the settle delay and the purge below deal with anything later.
        char answer[257];
        ReadAnswer(answer, CurrentExchangeTiming() == ExchangeTiming::kFinalResult
                               ? sizeof answer - 1
                               : 10);
    }
    vardex::platform::SleepMs(kSettleDelayMs);

    std::uint32_t status = 0;
    if (!port->GetModemStatus(&status)) {
        failure = port->LastError();
        NoteFailure(port);
        return OpenResult::kModemStatusFailed;
    }
    if ((status & MS_CTS_ON) == 0 || (status & MS_DSR_ON) == 0) {
        failure = {};
        return OpenResult::kNotReady;
    }
    port->SetEventMask(EV_DSR);
    port->Purge(PURGE_ALL);
    port->SetDtr(true);
    return OpenResult::kOk;
}

bool CTapiLine::UsbConnection() const {
    if (!GetHandle()) {
        return false;
    }
    return m_bLineChannel || vardex::platform::IsUsbModemPort(m_strOpenedPath);
}

void CTapiLine::ClosePort() {
    const CommHandle port = GetHandle();
    if (!port) {
        return;
    }
    port->ClearError();
    port->SetDtr(false);
    port->Purge(PURGE_ALL);
    SetHandle(nullptr);
}

int CTapiLine::Write(const void* data, std::size_t count, std::size_t* written) {
    *written = 0;
    const CommHandle port = GetHandle();
    if (!port) {
        return 1;
    }
    if (!port->Write(data, count, written)) {
        NoteFailure(port);
        ClosePort();
    }
    return 1;
}

std::size_t CTapiLine::ReadAnswer(char* buffer, std::size_t count) {
    if (CurrentExchangeTiming() != ExchangeTiming::kFinalResult) {
        std::size_t received = 0;
        Read(buffer, count, &received);
        return received;
    }
    const std::size_t length = ReadToFinalResult(
        buffer, count, [this](char* into, std::size_t room) { return ReadSome(into, room); },
        [this](char* into, std::size_t room) { return ReadSome(into, room, true); });
    buffer[length] = '\0';
    return length;
}

int CTapiLine::Read(char* buffer, std::size_t count, std::size_t* received) {
    *received = 0;
    std::size_t total = 0;
    const CommHandle port = GetHandle();
    while (port && total < count) {
        std::size_t got = 0;
        const bool ok = port->Read(buffer + total, count - total, &got, NAK);
        total += got;
        if (!ok) {
            NoteFailure(port);
            ClosePort();
            break;
        }
        if (got == 0 || static_cast<unsigned char>(buffer[total - 1]) == NAK) {
            break;
        }
    }
    buffer[total] = '\0';
    *received = total;
    return 1;
}

std::size_t CTapiLine::ReadSome(char* buffer, std::size_t count, bool guard) {
    const CommHandle port = GetHandle();
    if (!port || count == 0) {
        return 0;
    }
    vardex::platform::SerialPort::ReadStops stops;
    for (const unsigned char stop : std::string_view("\n? \x15")) {
        stops.bytes.set(stop);
    }
    if (guard) {
        stops.total_ms = kFinalResultGuardMs;
    } else {
        stops.owed = true;  // no final result code yet
    }
    std::size_t received = 0;
    if (!port->Read(buffer, count, &received, stops)) {
        NoteFailure(port);
        ClosePort();
    }
    return received;
}

std::size_t CTapiLine::ReadOnce(char* buffer, std::size_t count) {
    const CommHandle port = GetHandle();
    if (!port || count == 0) {
        return 0;
    }
    std::size_t received = 0;
    if (!port->Read(buffer, count, &received)) {
        NoteFailure(port);
        ClosePort();
    }
    return received;
}

int CTapiLine::Guard() {
    const CommHandle port = GetHandle();
    if (!port) {
        return 0;
    }
    std::uint32_t status = 0;
    if (!port->GetModemStatus(&status)) {
        NoteFailure(port);
        CloseHandleOnly();
        return 0;
    }
    return (status & MS_DSR_ON) != 0 ? 1 : 0;
}

char* CTapiLine::ReadUntilNak(char* buffer, std::size_t size, std::size_t* length) {
    if (length != nullptr) {
        *length = 0;
    }
    if (size == 0) {
        return nullptr;
    }
    buffer[0] = '\0';
    if (Guard() == 0) {
        return nullptr;
    }
    const std::size_t room = size - 1;
    std::size_t stored = 0;
    std::size_t got = 0;
    Read(buffer, room, &got);
    stored = got;
    while (stored > 0 && static_cast<unsigned char>(buffer[stored - 1]) != NAK && got > 0 &&
           stored < room) {
        Read(buffer + stored, room - stored, &got);
        stored += got;
    }
    buffer[stored] = '\0';
    if (length != nullptr) {
        *length = stored;
    }
    return stored > 0 ? buffer : nullptr;
}

int CTapiLine::SetReadTimeout(std::uint32_t ms) {
    const CommHandle port = GetHandle();
    if (!port) {
        return 0;
    }
    vardex::platform::CommTimeouts t;
    if (!port->GetTimeouts(&t)) {
        ClosePort();
        return 0;
    }
    t.ReadTotalTimeoutMultiplier = 0;
    t.ReadTotalTimeoutConstant = ms;
    if (!port->SetTimeouts(t)) {
        ClosePort();
        return 0;
    }
    return 1;
}

void CTapiLine::PurgeInput() {
    if (const CommHandle port = GetHandle()) {
        port->Purge(PURGE_INPUT);
    }
}

}  // namespace vardex::link
