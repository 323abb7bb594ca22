#include "net_backend.h"

#include "serial_port.h"

namespace vardex::platform {

PortBackend::StateRead NetBackend::GetState(LineSettings* /*settings*/, SysError* /*error*/) {
    return StateRead::kLastKnown;
}

bool NetBackend::SetState(const LineSettings& settings, SysError* error) {
    return CheckLineSettings(settings, error) && line_->SetLine(settings, error);
}

bool NetBackend::GetModemStatus(std::uint32_t* status, SysError* error) {
    return line_->ModemStatus(status, error);
}

bool NetBackend::SetDtr(bool on, SysError* error) {
    return line_->SetDtr(on, error);
}

bool NetBackend::Purge(bool input, bool output, SysError* error) {
    return line_->Purge(input, output, error);
}

ssize_t NetBackend::Take(std::uint8_t* into, std::size_t size, const std::bitset<256>& stops) {
    return line_->Take(into, size, &stops);
}

bool NetBackend::Write(const std::uint8_t* data, std::size_t count, const PortTimePoint* deadline,
                       const PortCancel& cancel, std::size_t* written, SysError* error) {
    return line_->Write(data, count, deadline, cancel.wake_fd, *cancel.cancelled, written, error);
}

}  // namespace vardex::platform
