#include "tty_backend.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "serial_port.h"

namespace vardex::platform {
namespace {

struct BaudEntry {
    std::uint32_t rate;
    speed_t code;
};

constexpr BaudEntry kBauds[] = {
    {50, B50},       {75, B75},         {110, B110},       {134, B134},       {150, B150},
    {200, B200},     {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
    {2400, B2400},   {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600}, {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
};

bool BaudToCode(std::uint32_t rate, speed_t* code) {
    for (const auto& entry : kBauds) {
        if (entry.rate == rate) {
            *code = entry.code;
            return true;
        }
    }
    return false;
}

std::uint32_t CodeToBaud(speed_t code) {
    for (const auto& entry : kBauds) {
        if (entry.code == code) {
            return entry.rate;
        }
    }
    return 0;
}

bool NoModemLinesErrno(int code) {
    return code == ENOTTY || code == EINVAL;
}

}  // namespace

bool CheckLineSettings(const LineSettings& settings, SysError* error) {
    speed_t unused = 0;
    if (!BaudToCode(settings.BaudRate, &unused) || settings.ByteSize < 5 || settings.ByteSize > 8 ||
        settings.Parity > 4 || settings.StopBits > 2) {
        *error = SysError{EINVAL, "set line settings"};
        return false;
    }
    return true;
}

std::unique_ptr<TtyBackend> TtyBackend::Open(const std::string& path, SysError* error) {
    UniqueFd fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd) {
        *error = SysError::FromErrno("open");
        return nullptr;
    }
    // flock holds for root too; TIOCEXCL keeps out programs that do not lock.
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        *error = SysError{errno == EWOULDBLOCK ? EBUSY : errno, "lock"};
        return nullptr;
    }
    (void)::ioctl(fd.get(), TIOCEXCL);
    return std::unique_ptr<TtyBackend>(new TtyBackend(std::move(fd), path));
}

std::unique_ptr<TtyBackend> TtyBackend::Adopt(UniqueFd fd, const std::string& path,
                                              SysError* error) {
    const int flags = ::fcntl(fd.get(), F_GETFL);
    if (flags < 0 || ::fcntl(fd.get(), F_SETFL, flags | O_NONBLOCK) != 0 ||
        ::fcntl(fd.get(), F_SETFD, FD_CLOEXEC) != 0) {
        *error = SysError::FromErrno("adopt");
        return nullptr;
    }
    return std::unique_ptr<TtyBackend>(new TtyBackend(std::move(fd), path));
}

TtyBackend::TtyBackend(UniqueFd fd, const std::string& path) : fd_(std::move(fd)), presence_(path) {
    // Learnt now, while the other side is surely there: after a hang-up a
    // pseudo-terminal fails every ioctl alike.
    int lines = 0;
    if (::ioctl(fd_.get(), TIOCMGET, &lines) != 0 && NoModemLinesErrno(errno)) {
        no_modem_lines_.store(true);
    }
}

TtyBackend::~TtyBackend() {
    (void)::ioctl(fd_.get(), TIOCNXCL);
}

bool TtyBackend::LineDroppedOnly() const {
    return HangUpIsSilence() && PeerHungUp();
}

bool TtyBackend::PeerHungUp() const {
    pollfd pfd{fd_.get(), POLLIN, 0};
    if (::poll(&pfd, 1, 0) < 0) {
        return false;
    }
    return (pfd.revents & POLLHUP) != 0;
}

bool TtyBackend::HangUpIsSilence() const {
    return no_modem_lines_.load() && !presence_.Vanished();
}

PortBackend::StateRead TtyBackend::GetState(LineSettings* settings, SysError* error) {
    termios tio{};
    if (::tcgetattr(fd_.get(), &tio) != 0) {
        const int code = errno;
        if (code == EIO && LineDroppedOnly()) {
            return StateRead::kLastKnown;
        }
        *error = SysError{code, "read line settings"};
        return StateRead::kFailed;
    }
    settings->BaudRate = CodeToBaud(::cfgetospeed(&tio));
    switch (tio.c_cflag & CSIZE) {
        case CS5:
            settings->ByteSize = 5;
            break;
        case CS6:
            settings->ByteSize = 6;
            break;
        case CS7:
            settings->ByteSize = 7;
            break;
        default:
            settings->ByteSize = 8;
            break;
    }
    if ((tio.c_cflag & PARENB) == 0) {
        settings->Parity = 0;
    } else if ((tio.c_cflag & CMSPAR) != 0) {
        settings->Parity = (tio.c_cflag & PARODD) != 0 ? 3 : 4;
    } else {
        settings->Parity = (tio.c_cflag & PARODD) != 0 ? 1 : 2;
    }
    settings->StopBits = (tio.c_cflag & CSTOPB) != 0 ? 2 : 0;
    return StateRead::kRead;
}

bool TtyBackend::SetState(const LineSettings& settings, SysError* error) {
    termios tio{};
    if (::tcgetattr(fd_.get(), &tio) != 0) {
        const int code = errno;
        if (code == EIO && LineDroppedOnly()) {
            return true;
        }
        *error = SysError{code, "read line settings"};
        return false;
    }
    speed_t code = 0;
    if (!CheckLineSettings(settings, error) || !BaudToCode(settings.BaudRate, &code)) {
        return false;
    }
    // Binary transfer: no line editing, echo, signals or character translation,
    // and no software flow control: a fresh Linux tty has IXON on, which would
    // swallow the device's bytes 0x11 and 0x13 and let a stray 0x13 stall our
    // writes. Hardware flow control (CRTSCTS) stays as the driver reported it.
    tio.c_iflag = 0;
    tio.c_oflag &= static_cast<tcflag_t>(~OPOST);
    tio.c_lflag &= static_cast<tcflag_t>(~(ECHO | ECHONL | ICANON | ISIG | IEXTEN | ECHOE | ECHOK));
    tio.c_cflag |= CREAD | CLOCAL;
    tio.c_cflag &= static_cast<tcflag_t>(~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB));
    static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    tio.c_cflag |= kSizes[settings.ByteSize - 5];
    switch (settings.Parity) {
        case 1:
            tio.c_cflag |= PARENB | PARODD;
            break;
        case 2:
            tio.c_cflag |= PARENB;
            break;
        case 3:
            tio.c_cflag |= PARENB | CMSPAR | PARODD;
            break;
        case 4:
            tio.c_cflag |= PARENB | CMSPAR;
            break;
        default:
            break;
    }
    if (settings.StopBits != 0) {
        tio.c_cflag |= CSTOPB;  // termios has no one and a half; two is the nearest
    }
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (::cfsetispeed(&tio, code) != 0 || ::cfsetospeed(&tio, code) != 0 ||
        ::tcsetattr(fd_.get(), TCSANOW, &tio) != 0) {
        *error = SysError::FromErrno("set line settings");
        return false;
    }
    return true;
}

bool TtyBackend::GetModemStatus(std::uint32_t* status, SysError* error) {
    int lines = 0;
    if (::ioctl(fd_.get(), TIOCMGET, &lines) == 0) {
        std::uint32_t bits = 0;
        bits |= (lines & TIOCM_CTS) != 0 ? kMsCtsOn : 0;
        bits |= (lines & TIOCM_DSR) != 0 ? kMsDsrOn : 0;
        bits |= (lines & TIOCM_RNG) != 0 ? kMsRingOn : 0;
        bits |= (lines & TIOCM_CAR) != 0 ? kMsRlsdOn : 0;
        *status = bits;
        return true;
    }
    const int code = errno;
    if (NoModemLinesErrno(code)) {
        no_modem_lines_.store(true);
    }
    // A hung-up pseudo-terminal answers every ioctl with EIO.
    if (!no_modem_lines_.load() || (!NoModemLinesErrno(code) && code != EIO)) {
        *error = SysError{code, "read modem status"};
        return false;
    }
    if (!PeerHungUp()) {
        *status = kMsCtsOn | kMsDsrOn;
        return true;
    }
    if (!HangUpIsSilence()) {
        *error = SysError{ENODEV, "read modem status"};
        return false;
    }
    *status = 0;
    return true;
}

bool TtyBackend::SetDtr(bool on, SysError* error) {
    int bits = TIOCM_DTR;
    if (::ioctl(fd_.get(), on ? TIOCMBIS : TIOCMBIC, &bits) == 0 || NoModemLinesErrno(errno)) {
        return true;
    }
    *error = SysError::FromErrno(on ? "raise DTR" : "drop DTR");
    return false;
}

bool TtyBackend::Purge(bool input, bool output, SysError* error) {
    const int which = input && output ? TCIOFLUSH : (input ? TCIFLUSH : TCOFLUSH);
    if (::tcflush(fd_.get(), which) != 0) {
        *error = SysError::FromErrno("purge");
        return false;
    }
    return true;
}

ssize_t TtyBackend::Take(std::uint8_t* into, std::size_t size, const std::bitset<256>& /*stops*/) {
    return ::read(fd_.get(), into, size);
}

bool TtyBackend::Write(const std::uint8_t* data, std::size_t count, const PortTimePoint* deadline,
                       const PortCancel& cancel, std::size_t* written, SysError* error) {
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = ::write(fd_.get(), data + done, count - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno == EIO && LineDroppedOnly()) {
            // The bytes go nowhere, as on a port whose device is switched off.
            *written = count;
            return true;
        }
        if (n < 0 && errno != EAGAIN) {
            *written = done;
            *error = SysError::FromErrno("write");
            return false;
        }
        bool stop = false;
        if (!WaitReady(fd_.get(), POLLOUT, -1, cancel, deadline, &stop, error)) {
            *written = done;
            return false;
        }
        if (stop) {
            break;
        }
    }
    *written = done;
    return true;
}

}  // namespace vardex::platform
