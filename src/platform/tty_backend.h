// A SerialPort's back end on a local terminal device: a serial port, a USB
// modem line or a pseudo-terminal, held exclusively.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "port_backend.h"
#include "port_presence.h"
#include "unique_fd.h"

namespace vardex::platform {

class TtyBackend final : public PortBackend {
public:
    // Opens and locks the device; a port another holder has is EBUSY. Never
    // blocks. Null with *error on failure.
    static std::unique_ptr<TtyBackend> Open(const std::string& path, SysError* error);
    // Takes over a descriptor opened (and locked) elsewhere; it is closed on failure.
    static std::unique_ptr<TtyBackend> Adopt(UniqueFd fd, const std::string& path, SysError* error);

    ~TtyBackend() override;
    TtyBackend(const TtyBackend&) = delete;
    TtyBackend& operator=(const TtyBackend&) = delete;

    int Fd() const override { return fd_.get(); }
    StateRead GetState(LineSettings* settings, SysError* error) override;
    bool SetState(const LineSettings& settings, SysError* error) override;
    bool GetModemStatus(std::uint32_t* status, SysError* error) override;
    bool SetDtr(bool on, SysError* error) override;
    bool Purge(bool input, bool output, SysError* error) override;
    ssize_t Take(std::uint8_t* into, std::size_t size, const std::bitset<256>& stops) override;
    // A tty's read takes all there is at once, so a reader always meets a pause.
    bool TakesInPieces() const override { return false; }
    bool PeerHungUp() const override;
    // A pseudo-terminal without its other side reads like a silent line; a
    // device that vanished (a real one, or one whose name went) is an I/O error.
    bool HangUpIsSilence() const override;
    bool Write(const std::uint8_t* data, std::size_t count, const PortTimePoint* deadline,
               const PortCancel& cancel, std::size_t* written, SysError* error) override;

private:
    TtyBackend(UniqueFd fd, const std::string& path);
    // A pseudo-terminal whose other side hung up while its name stays: the line
    // dropped, the port itself is still there. It keeps its line settings and
    // takes writes (they go nowhere), as a serial port whose device is off does.
    bool LineDroppedOnly() const;

    UniqueFd fd_;
    PortPresence presence_;
    std::atomic<bool> no_modem_lines_{false};
};

}  // namespace vardex::platform
