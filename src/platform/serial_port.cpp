#include "serial_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "net_line.h"
#include "vtime.h"

namespace vardex {
namespace {

using TimePoint = Clock::time_point;

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

// Waits on the descriptors until the deadline (none: without limit). ppoll keeps
// the wait to the microsecond, where poll() would round each one up to a whole
// millisecond.
int PollUntil(pollfd* fds, nfds_t count, const TimePoint* deadline) {
    if (deadline == nullptr) {
        return ::ppoll(fds, count, nullptr, nullptr);
    }
    auto left = *deadline - Clock::now();
    if (left < Clock::duration::zero()) {
        left = Clock::duration::zero();
    }
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
    timespec timeout{};
    timeout.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
    timeout.tv_nsec = static_cast<long>(ns % 1'000'000'000);
    return ::ppoll(fds, count, &timeout, nullptr);
}

bool NoModemLinesErrno(int code) {
    return code == ENOTTY || code == EINVAL;
}

}  // namespace

std::shared_ptr<SerialPort> SerialPort::Open(const std::string& path, SysError* error,
                                             const std::atomic<bool>* cancel) {
    SysError local;
    SysError& err = error != nullptr ? *error : local;
    err = {};
    if (path.empty()) {
        err = SysError{ENOENT, "open"};
        return nullptr;
    }
    if (IsNetPortName(path)) {
        auto net = NetLine::Connect(path, cancel, &err);
        if (!net) {
            return nullptr;
        }
        const int wake_fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (wake_fd < 0) {
            err = SysError::FromErrno("eventfd");
            return nullptr;
        }
        const int socket = net->Socket();
        auto port =
            std::shared_ptr<SerialPort>(new SerialPort(path, socket, wake_fd, std::move(net)));
        // Until it is set, the line runs at what the server confirmed.
        port->settings_.BaudRate = port->net_->ConfirmedBaudRate();
        return port;
    }
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        err = SysError::FromErrno("open");
        return nullptr;
    }
    // flock holds for root too; TIOCEXCL keeps out programs that do not lock.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        err = SysError{errno == EWOULDBLOCK ? EBUSY : errno, "lock"};
        ::close(fd);
        return nullptr;
    }
    (void)::ioctl(fd, TIOCEXCL);
    return Wrap(fd, path, &err);
}

std::shared_ptr<SerialPort> SerialPort::Wrap(int fd, const std::string& path, SysError* err) {
    const int wake_fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake_fd < 0) {
        *err = SysError::FromErrno("eventfd");
        ::close(fd);
        return nullptr;
    }
    auto port = std::shared_ptr<SerialPort>(new SerialPort(path, fd, wake_fd));
    // Learnt now, while the other side is surely there: after a hang-up a
    // pseudo-terminal fails every ioctl alike.
    int lines = 0;
    if (::ioctl(fd, TIOCMGET, &lines) != 0 && NoModemLinesErrno(errno)) {
        port->no_modem_lines_.store(true);
    }
    return port;
}

std::shared_ptr<SerialPort> SerialPort::Adopt(int fd, const std::string& path, SysError* error) {
    SysError local;
    SysError& err = error != nullptr ? *error : local;
    err = {};
    if (fd < 0) {
        err = SysError{EBADF, "adopt"};
        return nullptr;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0 ||
        ::fcntl(fd, F_SETFD, FD_CLOEXEC) != 0) {
        err = SysError::FromErrno("adopt");
        ::close(fd);
        return nullptr;
    }
    return Wrap(fd, path, &err);
}

SerialPort::SerialPort(std::string path, int fd, int wake_fd, std::unique_ptr<NetLine> net)
    : path_(std::move(path)),
      net_(std::move(net)),
      presence_(net_ ? std::string() : path_),
      fd_(fd),
      wake_fd_(wake_fd) {}

SerialPort::~SerialPort() {
    if (!net_) {
        (void)::ioctl(fd_, TIOCNXCL);
        ::close(fd_);
    }
    ::close(wake_fd_);
}

void SerialPort::SetLastError(SysError error) {
    std::lock_guard lock(mutex_);
    last_error_ = std::move(error);
}

SysError SerialPort::LastError() const {
    std::lock_guard lock(mutex_);
    return last_error_;
}

bool SerialPort::LineDroppedOnly() const {
    return HangUpIsSilence() && PeerHungUp();
}

bool SerialPort::GetState(LineSettings* settings) {
    if (net_) {
        std::lock_guard lock(mutex_);
        *settings = settings_;
        return true;
    }
    termios tio{};
    if (::tcgetattr(fd_, &tio) != 0) {
        const int code = errno;
        if (code == EIO && LineDroppedOnly()) {
            std::lock_guard lock(mutex_);
            *settings = settings_;
            return true;
        }
        SetLastError(SysError{code, "read line settings"});
        return false;
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
    std::lock_guard lock(mutex_);
    settings_ = *settings;
    return true;
}

bool SerialPort::SetState(const LineSettings& settings) {
    if (net_) {
        speed_t unused = 0;
        if (!BaudToCode(settings.BaudRate, &unused) || settings.ByteSize < 5 ||
            settings.ByteSize > 8 || settings.Parity > 4 || settings.StopBits > 2) {
            SetLastError(SysError{EINVAL, "set line settings"});
            return false;
        }
        SysError error;
        if (!net_->SetLine(settings, &error)) {
            SetLastError(error);
            return false;
        }
        std::lock_guard lock(mutex_);
        settings_ = settings;
        return true;
    }
    termios tio{};
    if (::tcgetattr(fd_, &tio) != 0) {
        const int code = errno;
        if (code == EIO && LineDroppedOnly()) {
            std::lock_guard lock(mutex_);
            settings_ = settings;
            return true;
        }
        SetLastError(SysError{code, "read line settings"});
        return false;
    }
    speed_t code = 0;
    if (!BaudToCode(settings.BaudRate, &code) || settings.ByteSize < 5 || settings.ByteSize > 8 ||
        settings.Parity > 4 || settings.StopBits > 2) {
        SetLastError(SysError{EINVAL, "set line settings"});
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
        ::tcsetattr(fd_, TCSANOW, &tio) != 0) {
        SetLastError(SysError::FromErrno("set line settings"));
        return false;
    }
    std::lock_guard lock(mutex_);
    settings_ = settings;
    return true;
}

bool SerialPort::GetTimeouts(CommTimeouts* timeouts) {
    std::lock_guard lock(mutex_);
    *timeouts = timeouts_;
    return true;
}

bool SerialPort::SetTimeouts(const CommTimeouts& timeouts) {
    std::lock_guard lock(mutex_);
    timeouts_ = timeouts;
    return true;
}

bool SerialPort::PeerHungUp() const {
    if (net_) {
        return false;  // a closed connection fails the read itself
    }
    pollfd pfd{fd_, POLLIN, 0};
    if (::poll(&pfd, 1, 0) < 0) {
        return false;
    }
    return (pfd.revents & POLLHUP) != 0;
}

bool SerialPort::HangUpIsSilence() const {
    return no_modem_lines_.load() && !presence_.Vanished();
}

bool SerialPort::GetModemStatus(std::uint32_t* status) {
    if (cancelled_.load()) {
        SetLastError(SysError{EBADF, "read modem status"});
        return false;
    }
    if (net_) {
        SysError error;
        if (!net_->ModemStatus(status, &error)) {
            SetLastError(error);
            return false;
        }
        return true;
    }
    int lines = 0;
    if (::ioctl(fd_, TIOCMGET, &lines) == 0) {
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
        SetLastError(SysError{code, "read modem status"});
        return false;
    }
    if (!PeerHungUp()) {
        *status = kMsCtsOn | kMsDsrOn;
        return true;
    }
    if (!HangUpIsSilence()) {
        SetLastError(SysError{ENODEV, "read modem status"});
        return false;
    }
    *status = 0;
    return true;
}

bool SerialPort::SetDtr(bool on) {
    if (net_) {
        SysError error;
        if (!net_->SetDtr(on, &error)) {
            SetLastError(error);
            return false;
        }
        return true;
    }
    int bits = TIOCM_DTR;
    if (::ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bits) == 0 || NoModemLinesErrno(errno)) {
        return true;
    }
    SetLastError(SysError::FromErrno(on ? "raise DTR" : "drop DTR"));
    return false;
}

bool SerialPort::Purge(unsigned flags) {
    const bool input = (flags & (kPurgeRxAbort | kPurgeRxClear)) != 0;
    const bool output = (flags & (kPurgeTxAbort | kPurgeTxClear)) != 0;
    if (!input && !output) {
        return true;
    }
    if (net_) {
        SysError error;
        if (!net_->Purge(input, output, &error)) {
            SetLastError(error);
            return false;
        }
        return true;
    }
    const int which = input && output ? TCIOFLUSH : (input ? TCIFLUSH : TCOFLUSH);
    if (::tcflush(fd_, which) != 0) {
        SetLastError(SysError::FromErrno("purge"));
        return false;
    }
    return true;
}

bool SerialPort::SetEventMask(std::uint32_t mask) {
    event_mask_.store(mask);
    return true;
}

bool SerialPort::ClearError() {
    return true;
}

void SerialPort::Cancel() {
    cancelled_.store(true);
    const std::uint64_t one = 1;
    // The counter never goes back to zero: every wait, present and future, wakes.
    (void)!::write(wake_fd_, &one, sizeof one);
}

void SerialPort::WaitOut(TimePoint deadline, bool has_deadline) {
    // Nothing can arrive any more; a read without any deadline ends at once rather
    // than waiting for ever on a line that is gone.
    if (!has_deadline) {
        return;
    }
    pollfd wake{wake_fd_, POLLIN, 0};
    while (!cancelled_.load() && Clock::now() < deadline) {
        (void)PollUntil(&wake, 1, &deadline);
    }
}

bool SerialPort::WaitFor(short events, const TimePoint* deadline, bool* stop) {
    *stop = false;
    if (deadline != nullptr && Clock::now() >= *deadline) {
        *stop = true;
        return true;
    }
    // A network port's bytes may also have been taken off the socket by another
    // call (the modem status reads what is there); they wait in its buffer.
    pollfd fds[3] = {{fd_, events, 0}, {wake_fd_, POLLIN, 0}, {-1, POLLIN, 0}};
    if (net_ && events == POLLIN) {
        fds[2].fd = net_->DataReadyFd();
    }
    if (PollUntil(fds, 3, deadline) < 0 && errno != EINTR) {
        SetLastError(SysError::FromErrno("poll"));
        return false;
    }
    *stop = cancelled_.load();
    return true;
}

bool SerialPort::Read(void* buffer, std::size_t count, std::size_t* received, int stop_byte) {
    ReadStops stops;
    if (stop_byte >= 0 && stop_byte < 256) {
        stops.bytes.set(static_cast<std::size_t>(stop_byte));
    }
    return Read(buffer, count, received, stops);
}

bool SerialPort::Read(void* buffer, std::size_t count, std::size_t* received,
                      const ReadStops& stops) {
    *received = 0;
    if (cancelled_.load()) {
        return true;
    }
    if (count == 0) {
        return true;
    }
    CommTimeouts t;
    GetTimeouts(&t);
    if (stops.total_ms >= 0) {
        t.ReadTotalTimeoutMultiplier = 0;
        t.ReadTotalTimeoutConstant =
            static_cast<std::uint32_t>(std::clamp<std::int64_t>(stops.total_ms, 1, kMaxDword - 1));
        if (t.ReadIntervalTimeout == kMaxDword) {
            t.ReadIntervalTimeout = 0;
        }
    }
    auto* bytes = static_cast<unsigned char*>(buffer);
    const TimePoint start = Clock::now();

    // Windows' special combinations: return what is there at once, or wait only
    // for the first byte.
    const bool return_at_once = t.ReadIntervalTimeout == kMaxDword &&
                                t.ReadTotalTimeoutMultiplier == 0 &&
                                t.ReadTotalTimeoutConstant == 0;
    const bool first_byte_only =
        t.ReadIntervalTimeout == kMaxDword && t.ReadTotalTimeoutMultiplier == kMaxDword &&
        t.ReadTotalTimeoutConstant != 0 && t.ReadTotalTimeoutConstant != kMaxDword;

    bool has_total = t.ReadTotalTimeoutMultiplier != 0 || t.ReadTotalTimeoutConstant != 0;
    TimePoint total_deadline = start;
    if (first_byte_only) {
        total_deadline = start + ScaledMs(t.ReadTotalTimeoutConstant);
    } else if (return_at_once) {
        has_total = true;
    } else if (has_total) {
        const std::int64_t ms = static_cast<std::int64_t>(t.ReadTotalTimeoutMultiplier) *
                                    static_cast<std::int64_t>(count) +
                                static_cast<std::int64_t>(t.ReadTotalTimeoutConstant);
        total_deadline = start + ScaledMs(ms);
    }
    const bool has_interval = t.ReadIntervalTimeout != 0 && t.ReadIntervalTimeout != kMaxDword;
    const auto interval = ScaledMs(has_interval ? t.ReadIntervalTimeout : 0);
    TimePoint interval_deadline = start;

    std::size_t got = 0;
    for (;;) {
        // Take what is already there before looking at any clock.
        const ssize_t n = net_ ? net_->Take(bytes + got, count - got, &stops.bytes)
                               : ::read(fd_, bytes + got, count - got);
        if (n > 0) {
            got += static_cast<std::size_t>(n);
            interval_deadline = Clock::now() + interval;
            if (got == count || stops.bytes.test(bytes[got - 1]) || first_byte_only) {
                break;
            }
            // A port server can keep bytes coming without a pause (a flood of
            // commands with a byte now and then): the read still ends at its
            // deadline, and at Cancel. A tty's read takes all there is at
            // once, so it always meets a pause and the wait below.
            if (net_ && (cancelled_.load() ||
                         (has_total && !return_at_once && Clock::now() >= total_deadline))) {
                break;
            }
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        // With VMIN = VTIME = 0 an empty tty reads 0 bytes; a pseudo-terminal
        // whose other side is gone fails with EIO.
        if (n < 0 && errno != EAGAIN && errno != EIO) {
            *received = got;
            SetLastError(SysError::FromErrno("read"));
            return false;
        }
        if ((n < 0 && errno == EIO) || PeerHungUp()) {
            if (!HangUpIsSilence()) {
                *received = got;
                SetLastError(SysError{EIO, "read"});
                return false;
            }
            TimePoint end = total_deadline;
            bool bounded = has_total;
            if (got > 0 && has_interval && (!bounded || interval_deadline < end)) {
                end = interval_deadline;
                bounded = true;
            }
            WaitOut(end, bounded);
            break;
        }
        if (return_at_once) {
            break;
        }
        TimePoint deadline{};
        bool bounded = false;
        if (has_total) {
            deadline = total_deadline;
            bounded = true;
        }
        if (got > 0 && has_interval && (!bounded || interval_deadline < deadline)) {
            deadline = interval_deadline;
            bounded = true;
        }
        bool stop = false;
        if (!WaitFor(POLLIN, bounded ? &deadline : nullptr, &stop)) {
            *received = got;
            return false;
        }
        if (stop) {
            break;
        }
    }
    *received = got;
    return true;
}

bool SerialPort::Write(const void* data, std::size_t count, std::size_t* written) {
    *written = 0;
    if (cancelled_.load() || count == 0) {
        return true;
    }
    CommTimeouts t;
    GetTimeouts(&t);
    const bool bounded = t.WriteTotalTimeoutMultiplier != 0 || t.WriteTotalTimeoutConstant != 0;
    const std::int64_t ms = static_cast<std::int64_t>(t.WriteTotalTimeoutMultiplier) *
                                static_cast<std::int64_t>(count) +
                            static_cast<std::int64_t>(t.WriteTotalTimeoutConstant);
    const TimePoint deadline = Clock::now() + ScaledMs(ms);
    const auto* bytes = static_cast<const unsigned char*>(data);
    if (net_) {
        SysError error;
        if (!net_->Write(bytes, count, bounded ? &deadline : nullptr, wake_fd_, cancelled_, written,
                         &error)) {
            SetLastError(error);
            return false;
        }
        return true;
    }
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = ::write(fd_, bytes + done, count - done);
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
            SetLastError(SysError::FromErrno("write"));
            return false;
        }
        bool stop = false;
        if (!WaitFor(POLLOUT, bounded ? &deadline : nullptr, &stop)) {
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

}  // namespace vardex
