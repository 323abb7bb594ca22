// A SerialPort's back end on a port server's port over the network
// (rfc2217://HOST:PORT, see net_line.h). Where it differs from a local device:
// the line settings read back are the ones last set; DTR and purges are
// requests to the server; a connection that closes fails every call as a
// vanished device does.
#pragma once

#include <memory>

#include "net_line.h"
#include "port_backend.h"

namespace vardex::platform {

class NetBackend final : public PortBackend {
public:
    explicit NetBackend(std::unique_ptr<NetLine> line) : line_(std::move(line)) {}

    int Fd() const override { return line_->Socket(); }
    // Bytes another call (the modem status reads what is there) took off the
    // socket wait in the line's buffer.
    int BufferedFd() const override { return line_->DataReadyFd(); }
    StateRead GetState(LineSettings* settings, SysError* error) override;
    bool SetState(const LineSettings& settings, SysError* error) override;
    bool GetModemStatus(std::uint32_t* status, SysError* error) override;
    bool SetDtr(bool on, SysError* error) override;
    bool Purge(bool input, bool output, SysError* error) override;
    ssize_t Take(std::uint8_t* into, std::size_t size, const std::bitset<256>& stops) override;
    // A server can keep bytes coming without a pause (a flood of commands with
    // a byte now and then), and a take is bounded.
    bool TakesInPieces() const override { return true; }
    bool PeerHungUp() const override { return false; }  // a closed connection fails the read
    bool HangUpIsSilence() const override { return false; }
    bool Write(const std::uint8_t* data, std::size_t count, const PortTimePoint* deadline,
               const PortCancel& cancel, std::size_t* written, SysError* error) override;

private:
    std::unique_ptr<NetLine> line_;
};

}  // namespace vardex::platform
