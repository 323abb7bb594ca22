// What a SerialPort runs its calls on: a local terminal device (tty_backend.h)
// or a port server's port over the network (net_backend.h). SerialPort keeps
// what both share: the Windows time-out semantics, Cancel and its wake-up, the
// last error and the line settings as last read or set. A back end only moves
// bytes and line state, and says how its line behaves once the other side is
// gone.
//
// Threads: as SerialPort's calls (one read and one write at once, the rest
// beside them).
#pragma once

#include <poll.h>
#include <sys/types.h>

#include <atomic>
#include <bitset>
#include <cstddef>
#include <cstdint>

#include "sys_error.h"
#include "vtime.h"

namespace vardex::platform {

struct LineSettings;

using PortTimePoint = Clock::time_point;

// What ends a wait besides its deadline: Cancel's flag and the descriptor it
// makes readable.
struct PortCancel {
    int wake_fd;
    const std::atomic<bool>* cancelled;
};

// Waits on the descriptors until the deadline (none: without limit). ppoll keeps
// the wait to the microsecond, where poll() would round each one up to a whole
// millisecond.
int PollUntil(pollfd* fds, nfds_t count, const PortTimePoint* deadline);

// Waits until fd is ready for events (or extra_fd, if >= 0, is readable), the
// deadline passes or Cancel is called; *stop tells the caller to end. False on
// a poll error, in *error.
bool WaitReady(int fd, short events, int extra_fd, const PortCancel& cancel,
               const PortTimePoint* deadline, bool* stop, SysError* error);

// Whether a port can take the line settings (baud rate, byte size, parity,
// stop bits); EINVAL in *error if not. Beside the terminal's baud table, in
// tty_backend.cpp.
bool CheckLineSettings(const LineSettings& settings, SysError* error);

class PortBackend {
public:
    virtual ~PortBackend() = default;

    // Polled for the line's bytes and for room to write.
    virtual int Fd() const = 0;
    // Readable while bytes already taken off Fd() wait to be read; -1 if none.
    virtual int BufferedFd() const { return -1; }

    enum class StateRead { kRead, kLastKnown, kFailed };
    // Reads the line settings into *settings (kRead), or says the port keeps
    // the ones last read or set (kLastKnown).
    virtual StateRead GetState(LineSettings* settings, SysError* error) = 0;
    // True when the settings hold from now on (also where the line dropped and
    // they wait for it).
    virtual bool SetState(const LineSettings& settings, SysError* error) = 0;
    virtual bool GetModemStatus(std::uint32_t* status, SysError* error) = 0;
    virtual bool SetDtr(bool on, SysError* error) = 0;
    virtual bool Purge(bool input, bool output, SysError* error) = 0;

    // Up to size bytes without waiting; a back end that keeps what it took
    // stops after the first stop byte. -1 with errno (EAGAIN: none there).
    virtual ssize_t Take(std::uint8_t* into, std::size_t size, const std::bitset<256>& stops) = 0;
    // Whether a single Take may return less than there is, so that bytes can
    // keep coming without a pause between two of them.
    virtual bool TakesInPieces() const = 0;
    // The other side is gone (a pseudo-terminal's): reads find nothing more.
    virtual bool PeerHungUp() const = 0;
    // Whether a hang-up reads as a silent line rather than an I/O error.
    virtual bool HangUpIsSilence() const = 0;

    // Writes until all has gone, the deadline (none: no limit) passes or Cancel;
    // *written counts what went.
    virtual bool Write(const std::uint8_t* data, std::size_t count, const PortTimePoint* deadline,
                       const PortCancel& cancel, std::size_t* written, SysError* error) = 0;
};

}  // namespace vardex::platform
