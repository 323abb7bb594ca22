#include "link/device_port.h"

#include "link/reply_assembly.h"

#include <algorithm>
#include <cstring>

CDevicePort::~CDevicePort() {
    // Destruction does not drop DTR or purge: the handle is just let go.
    m_line.CloseHandleOnly();
}

std::size_t CDevicePort::WriteAll(const void* data, std::size_t count) {
    const auto* bytes = static_cast<const char*>(data);
    std::size_t total = 0;
    while (total < count) {
        std::size_t written = 0;
        m_line.Write(bytes + total, count - total, &written);
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
    if (m_line.Guard() == 0) {
        return nullptr;
    }

    const std::size_t text_length = command != nullptr ? strnlen(command, kCommandTextMax) : 0;
    std::memcpy(CommandBuffer, command != nullptr ? command : "", text_length);
    CommandBuffer[text_length] = '\r';
    CommandBuffer[text_length + 1] = '\0';
    const std::size_t line_length = text_length + 1;

    const std::size_t total_written = WriteAll(CommandBuffer, line_length);

    m_nReplyLength = AssembleReply(std::string_view(CommandBuffer, line_length), ReplyBuffer,
                                   kReplyBufferSize, [this](char* into, std::size_t room) {
                                       std::size_t got = 0;
                                       m_line.Read(into, room, &got);
                                       return got;
                                   });
    return total_written > 0 ? ReplyBuffer : nullptr;
}

std::size_t CDevicePort::WriteRaw(const void* data, std::size_t count) {
    if (m_line.Guard() == 0 || count == 0) {
        return 0;
    }
    return WriteAll(data, count);
}

std::size_t CDevicePort::ReadRaw(char* buffer, std::size_t count) {
    if (m_line.Guard() == 0) {
        return 0;
    }
    std::size_t received = 0;
    m_line.Read(buffer, count, &received);
    return received;
}

const char* CDevicePort::ReadPending() {
    std::lock_guard lock(m_exchangeMutex);
    std::size_t length = 0;
    const char* text = m_line.ReadUntilNak(ReplyBuffer, kReplyBufferSize, &length);
    m_nReplyLength = length;
    return text;
}

int CDevicePort::SetReadTimeout(std::uint32_t ms) {
    return m_line.SetReadTimeout(ms);
}

int CDevicePort::SetReadIntervalTimeout(std::uint32_t ms) {
    const CommHandle port = m_line.GetHandle();
    if (!port) {
        return 0;
    }
    vardex::CommTimeouts t;
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
    m_line.PurgeInput();
}

void CDevicePort::Close() {
    m_line.Shutdown();
    m_line.ClosePort();
}
