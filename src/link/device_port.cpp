#include "link/device_port.h"

#include "link/at_commands.h"
#include "link/exchange_timing.h"
#include "link/protocol_waits.h"
#include "link/reply_assembly.h"
#include "link/tapi_line.h"
#include "platform/trace.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <utility>

namespace vardex::link {

CDevicePort::CDevicePort() : m_line(std::make_unique<CTapiLine>()) {}

CDevicePort::~CDevicePort() {
    // Destruction does not drop DTR or purge: the handle is just let go.
    m_line->CloseHandleOnly();
}

std::size_t CDevicePort::WriteAll(const void* data, std::size_t count) {
    const auto* bytes = static_cast<const char*>(data);
    std::size_t total = 0;
    while (total < count) {
        std::size_t written = 0;
        m_line->Write(bytes + total, count - total, &written);
        if (written == 0) {
            break;
        }
        total += written;
    }
    return total;
}

const char* CDevicePort::SendCommand(const char* command) {
    std::lock_guard lock(m_exchangeMutex);
    m_nReplyLength = 0;
    if (m_line->Guard() == 0) {
        return nullptr;
    }

    const std::size_t text_length = command != nullptr ? strnlen(command, kCommandTextMax) : 0;
    std::memcpy(CommandBuffer, command != nullptr ? command : "", text_length);
    CommandBuffer[text_length] = '\r';
    CommandBuffer[text_length + 1] = '\0';
    const std::size_t line_length = text_length + 1;

    const std::string_view line(CommandBuffer, line_length);
    const bool early = CurrentExchangeTiming() == ExchangeTiming::kFinalResult &&
                       !NeedsSilentEnd(std::string_view(CommandBuffer, text_length));
    const bool after_guard = m_bEndedEarly.exchange(false);
    if (early && after_guard) {
        // Whatever came after the last reply's guard time was sent unasked; it
        // must not pass for this command's answer.
        m_line->PurgeInput();
    }

    const std::size_t total_written = WriteAll(CommandBuffer, line_length);

    const auto read = [this](char* into, std::size_t room) {
        std::size_t got = 0;
        m_line->Read(into, room, &got);
        return got;
    };
    if (!early) {
        m_nReplyLength = AssembleReply(line, ReplyBuffer, kReplyBufferSize, read);
    } else {
        const auto read_some = [this](char* into, std::size_t room) {
            return m_line->ReadSome(into, room);
        };
        const auto read_guard = [this](char* into, std::size_t room) {
            return m_line->ReadSome(into, room, true);
        };
        bool ended_early = false;
        m_nReplyLength = AssembleReplyEarly(line, ReplyBuffer, kReplyBufferSize, read_some,
                                            read_guard, after_guard, &ended_early);
        m_bEndedEarly = ended_early;
    }
    return total_written > 0 ? ReplyBuffer : nullptr;
}

std::size_t CDevicePort::WriteRaw(const void* data, std::size_t count) {
    m_bEndedEarly = false;
    if (m_line->Guard() == 0 || count == 0) {
        return 0;
    }
    return WriteAll(data, count);
}

std::size_t CDevicePort::ReadRaw(char* buffer, std::size_t count) {
    m_bEndedEarly = false;
    if (m_line->Guard() == 0) {
        return 0;
    }
    std::size_t received = 0;
    m_line->Read(buffer, count, &received);
    return received;
}

std::size_t CDevicePort::ReadAvailable(char* buffer, std::size_t count) {
    std::lock_guard lock(m_exchangeMutex);
    m_bEndedEarly = false;
    if (m_line->Guard() == 0) {
        return 0;
    }
    return m_line->ReadOnce(buffer, count);
}

const char* CDevicePort::ReadPending() {
    std::lock_guard lock(m_exchangeMutex);
    m_bEndedEarly = false;
    std::size_t length = 0;
    const char* text = m_line->ReadUntilNak(ReplyBuffer, kReplyBufferSize, &length);
    m_nReplyLength = length;
    return text;
}

bool CDevicePort::IsOpen() const {
    return m_line->GetHandle() != nullptr;
}

bool CDevicePort::LinkUp() {
    return m_line->Guard() != 0;
}

int CDevicePort::SetReadTimeout(std::uint32_t ms) {
    return m_line->SetReadTimeout(ms);
}

int CDevicePort::SetReadIntervalTimeout(std::uint32_t ms) {
    const CommHandle port = m_line->GetHandle();
    if (!port) {
        return 0;
    }
    vardex::platform::CommTimeouts t;
    if (!port->GetTimeouts(&t)) {
        Close();
        return 0;
    }
    t.ReadIntervalTimeout = ms;
    if (!port->SetTimeouts(t)) {
        Close();
        return 0;
    }
    return 1;
}

void CDevicePort::PurgeInput() {
    m_line->PurgeInput();
}

void CDevicePort::Close() {
    m_line->Shutdown();
    m_line->ClosePort();
}

ConnectResult CDevicePort::Connect(IProgressBar* progress, IUserPrompts* prompts,
                                   std::uint32_t baud) {
    CNullProgressBar no_progress;
    if (progress == nullptr) {
        progress = &no_progress;
    }
    // A channel whose device vanished is no channel: search again rather than
    // fail on it (a hung-up line whose device is still there reads DSR off and
    // is refused below, as before).
    if (const CommHandle open = m_line->GetHandle()) {
        std::uint32_t status = 0;
        if (!open->GetModemStatus(&status)) {
            vardex::platform::Trace("The device of the open channel is gone; searching again\n");
            Close();
        }
    }
    ConnectResult result{SearchResult::kFound, OpenResult::kOk};
    // A port the person named is the device: opened again by its path, never
    // swapped for another varDex the search would find.
    const std::string direct = m_line->DirectPortPath();
    if (!m_line->GetHandle() && !direct.empty()) {
        m_line->Shutdown();
        m_line->Initialize(nullptr);
        result.open = m_line->OpenPort(direct, baud);
        m_line->SelectDirectPort(direct);
        if (result.open != OpenResult::kOk) {
            return result;
        }
    } else if (!m_line->GetHandle()) {
        // A channel that died on an I/O error leaves its call and the telephony
        // service behind. Both start afresh, so that the search finds the device
        // again (under a new name too) instead of "a call already being handled".
        m_line->Shutdown();
        m_line->Initialize(nullptr);
        // A search that could not even start leaves the result: nothing was found.
        result.search = SearchResult::kNothingFound;
        m_line->FindDevice(progress, prompts, &result);
        if (!result.Ok()) {
            return result;
        }
    }
    // No ATZ here: on a channel that was already open it would drop the settings
    // written but not stored. The search's port error stays for the person's message.
    vardex::platform::SysError why;
    result.open = m_line->ConfigureChannel(baud, at::kReconnect, &why);
    if (result.open != OpenResult::kOk) {
        // The reason goes with the port's name (a search's own error stays
        // when this step failed without one).
        if (why.Failed()) {
            m_line->NoteOpenError(why);
        }
        Close();
    }
    return result;
}

int CDevicePort::GetDeviceName(std::string* name) {
    name->clear();
    for (const DeviceEntry& row : m_line->Devices()) {
        if (row.index == m_line->SelectedIndex() && !row.name.empty()) {
            *name = row.name;
            break;
        }
    }
    return 1;
}

}  // namespace vardex::link
