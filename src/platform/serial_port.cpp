#include "serial_port.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "net_backend.h"
#include "net_line.h"
#include "tty_backend.h"
#include "vtime.h"

namespace vardex::platform {

using TimePoint = Clock::time_point;

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
        const std::uint32_t confirmed = net->ConfirmedBaudRate();
        auto port = Wrap(std::make_unique<NetBackend>(std::move(net)), &err);
        if (port) {
            // Until it is set, the line runs at what the server confirmed.
            port->settings_.BaudRate = confirmed;
        }
        return port;
    }
    auto tty = TtyBackend::Open(path, &err);
    if (!tty) {
        return nullptr;
    }
    return Wrap(std::move(tty), &err);
}

std::shared_ptr<SerialPort> SerialPort::Wrap(std::unique_ptr<PortBackend> backend, SysError* err) {
    UniqueFd wake_fd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!wake_fd) {
        *err = SysError::FromErrno("eventfd");
        return nullptr;
    }
    return std::shared_ptr<SerialPort>(new SerialPort(std::move(backend), std::move(wake_fd)));
}

std::shared_ptr<SerialPort> SerialPort::Adopt(int fd, const std::string& path, SysError* error) {
    SysError local;
    SysError& err = error != nullptr ? *error : local;
    err = {};
    if (fd < 0) {
        err = SysError{EBADF, "adopt"};
        return nullptr;
    }
    auto tty = TtyBackend::Adopt(UniqueFd(fd), path, &err);
    if (!tty) {
        return nullptr;
    }
    return Wrap(std::move(tty), &err);
}

SerialPort::SerialPort(std::unique_ptr<PortBackend> backend, UniqueFd wake_fd)
    : backend_(std::move(backend)), wake_fd_(std::move(wake_fd)) {}

SerialPort::~SerialPort() = default;

void SerialPort::SetLastError(SysError error) {
    std::lock_guard lock(mutex_);
    last_error_ = std::move(error);
}

SysError SerialPort::LastError() const {
    std::lock_guard lock(mutex_);
    return last_error_;
}

bool SerialPort::Check(bool ok, const SysError& error) {
    if (!ok) {
        SetLastError(error);
    }
    return ok;
}

bool SerialPort::GetState(LineSettings* settings) {
    SysError error;
    LineSettings read;
    switch (backend_->GetState(&read, &error)) {
        case PortBackend::StateRead::kRead: {
            *settings = read;
            std::lock_guard lock(mutex_);
            settings_ = read;
            return true;
        }
        case PortBackend::StateRead::kLastKnown: {
            std::lock_guard lock(mutex_);
            *settings = settings_;
            return true;
        }
        case PortBackend::StateRead::kFailed:
            break;
    }
    SetLastError(error);
    return false;
}

bool SerialPort::SetState(const LineSettings& settings) {
    SysError error;
    if (!Check(backend_->SetState(settings, &error), error)) {
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

bool SerialPort::GetModemStatus(std::uint32_t* status) {
    if (cancelled_.load()) {
        SetLastError(SysError{EBADF, "read modem status"});
        return false;
    }
    SysError error;
    return Check(backend_->GetModemStatus(status, &error), error);
}

bool SerialPort::SetDtr(bool on) {
    SysError error;
    return Check(backend_->SetDtr(on, &error), error);
}

bool SerialPort::Purge(unsigned flags) {
    const bool input = (flags & (kPurgeRxAbort | kPurgeRxClear)) != 0;
    const bool output = (flags & (kPurgeTxAbort | kPurgeTxClear)) != 0;
    if (!input && !output) {
        return true;
    }
    SysError error;
    return Check(backend_->Purge(input, output, &error), error);
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
    (void)!::write(wake_fd_.get(), &one, sizeof one);
}

void SerialPort::WaitOut(TimePoint deadline, bool has_deadline) {
    // Nothing can arrive any more; a read without any deadline ends at once rather
    // than waiting for ever on a line that is gone.
    if (!has_deadline) {
        return;
    }
    pollfd wake{wake_fd_.get(), POLLIN, 0};
    while (!cancelled_.load() && Clock::now() < deadline) {
        (void)PollUntil(&wake, 1, &deadline);
    }
}

bool SerialPort::WaitFor(short events, const TimePoint* deadline, bool* stop) {
    SysError error;
    const int buffered = events == POLLIN ? backend_->BufferedFd() : -1;
    return Check(WaitReady(backend_->Fd(), events, buffered, {wake_fd_.get(), &cancelled_},
                           deadline, stop, &error),
                 error);
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
    std::int64_t total_ms = 0;
    if (first_byte_only) {
        total_ms = t.ReadTotalTimeoutConstant;
    } else if (return_at_once) {
        has_total = true;
    } else if (has_total) {
        total_ms = static_cast<std::int64_t>(t.ReadTotalTimeoutMultiplier) *
                       static_cast<std::int64_t>(count) +
                   static_cast<std::int64_t>(t.ReadTotalTimeoutConstant);
    }
    TimePoint total_deadline = start + ScaledMs(total_ms);
    const TimePoint first_byte_deadline =
        answer_due_.load() || stops.owed
            ? std::max(total_deadline, start + ScaledAnswerMs(total_ms))
            : total_deadline;
    const bool has_interval = t.ReadIntervalTimeout != 0 && t.ReadIntervalTimeout != kMaxDword;
    const auto interval = ScaledMs(has_interval ? t.ReadIntervalTimeout : 0);
    TimePoint interval_deadline = start;

    std::size_t got = 0;
    for (;;) {
        // Take what is already there before looking at any clock.
        const ssize_t n = backend_->Take(bytes + got, count - got, stops.bytes);
        if (n > 0) {
            const TimePoint now = Clock::now();
            if (got == 0) {
                answer_due_.store(false);
                if (now > total_deadline) {
                    total_deadline = now + ScaledMs(total_ms);
                }
            }
            got += static_cast<std::size_t>(n);
            interval_deadline = now + interval;
            if (got == count || stops.bytes.test(bytes[got - 1]) || first_byte_only) {
                break;
            }
            // Bytes that keep coming without a pause do not keep the read
            // from its deadline, nor from Cancel.
            if (backend_->TakesInPieces() &&
                (cancelled_.load() ||
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
        if ((n < 0 && errno == EIO) || backend_->PeerHungUp()) {
            if (!backend_->HangUpIsSilence()) {
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
            deadline = got == 0 ? first_byte_deadline : total_deadline;
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
    SysError error;
    const bool ok = Check(backend_->Write(static_cast<const std::uint8_t*>(data), count,
                                          bounded ? &deadline : nullptr,
                                          {wake_fd_.get(), &cancelled_}, written, &error),
                          error);
    if (*written > 0) {
        answer_due_.store(true);
    }
    return ok;
}

}  // namespace vardex::platform
