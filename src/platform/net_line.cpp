#include "net_line.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <thread>
#include <utility>

#include "serial_port.h"
#include "unique_fd.h"
#include "vtime.h"

namespace vardex::platform {
namespace {

using TimePoint = Clock::time_point;

// Design-time bounds of opening, scaled like every other wait.
constexpr std::int64_t kResolveMs = 5000;
constexpr std::int64_t kConnectMs = 5000;
constexpr std::int64_t kNegotiateMs = 3000;
// The network does not run faster with the device's waits: a scaled bound is
// never shorter than this, so that a busy machine's loopback still connects.
constexpr auto kShortestBound = std::chrono::milliseconds(500);
// How often a wait that cannot see Cancel looks at the flag.
constexpr auto kCancelSlice = std::chrono::milliseconds(20);

// The line's bytes held back before the socket is left to fill: the server then
// waits for us, as a serial port's driver buffer would.
constexpr std::size_t kMaxBuffered = 64 * 1024;
// Raw bytes a write escapes at a time; it queues no more until they have gone.
constexpr std::size_t kWriteChunk = 1024;
// For socket options that are switched on.
constexpr int kOne = 1;
// A server that sends without ever reading our answers has lost its way.
constexpr std::size_t kMaxQueued = 256 * 1024;

TimePoint BoundFromNow(std::int64_t ms) {
    return Clock::now() + std::max<Clock::duration>(ScaledMs(ms), kShortestBound);
}

bool Cancelled(const std::atomic<bool>* cancel) {
    return cancel != nullptr && cancel->load();
}

int PollFor(pollfd* fds, nfds_t count, TimePoint deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    left = std::clamp(left, std::chrono::milliseconds(0), kCancelSlice);
    return ::poll(fds, count, static_cast<int>(left.count()) + (left.count() == 0 ? 0 : 1));
}

bool HostCharOk(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_';
}

bool V6CharOk(char c) {
    return (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || (c >= '0' && c <= '9') || c == ':' ||
           c == '.';
}

// The host's addresses. Names are looked up on a thread of their own, so that
// the wait is bounded and ends on Cancel even while the resolver hangs.
struct Lookup {
    std::mutex mutex;
    std::condition_variable done_cv;
    bool done = false;
    int result = 0;
    int system_errno = 0;
    addrinfo* list = nullptr;
    ~Lookup() {
        if (list != nullptr) {
            ::freeaddrinfo(list);
        }
    }
};

addrinfo* Resolve(const NetPortName& name, const std::atomic<bool>* cancel, SysError* error) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    addrinfo* list = nullptr;
    if (::getaddrinfo(name.host.c_str(), name.port.c_str(), &hints, &list) == 0) {
        return list;
    }
    auto lookup = std::make_shared<Lookup>();
    hints.ai_flags = AI_NUMERICSERV | AI_ADDRCONFIG;
    std::thread([lookup, hints, host = name.host, port = name.port] {
        addrinfo* found = nullptr;
        const int result = ::getaddrinfo(host.c_str(), port.c_str(), &hints, &found);
        const int code = errno;
        std::lock_guard lock(lookup->mutex);
        lookup->result = result;
        lookup->system_errno = code;
        lookup->list = found;
        lookup->done = true;
        lookup->done_cv.notify_all();
    }).detach();
    const TimePoint deadline = BoundFromNow(kResolveMs);
    std::unique_lock lock(lookup->mutex);
    while (!lookup->done && !Cancelled(cancel) && Clock::now() < deadline) {
        lookup->done_cv.wait_for(lock, kCancelSlice);
    }
    const std::string step = "find the host " + name.host;
    if (!lookup->done) {
        *error = SysError{Cancelled(cancel) ? ECANCELED : ETIMEDOUT, step};
        return nullptr;
    }
    if (lookup->result != 0) {
        const int code = lookup->result == EAI_SYSTEM && lookup->system_errno != 0
                             ? lookup->system_errno
                             : (lookup->result == EAI_AGAIN ? EAGAIN : ENOENT);
        *error = SysError{code, step};
        if (lookup->result != EAI_SYSTEM) {
            // errno has no words for "no such host".
            error->detail = ::gai_strerror(lookup->result);
        }
        return nullptr;
    }
    return std::exchange(lookup->list, nullptr);
}

// One non-blocking connect, bounded by the deadline and Cancel. The socket or
// an empty one with *error.
UniqueFd ConnectOne(const addrinfo& address, TimePoint deadline, const std::atomic<bool>* cancel,
                    const std::string& step, SysError* error) {
    UniqueFd fd(::socket(address.ai_family, address.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                         address.ai_protocol));
    if (!fd) {
        *error = SysError::FromErrno(step);
        return {};
    }
    if (::connect(fd.get(), address.ai_addr, address.ai_addrlen) != 0 && errno != EINPROGRESS) {
        *error = SysError::FromErrno(step);
        return {};
    }
    for (;;) {
        if (Cancelled(cancel)) {
            *error = SysError{ECANCELED, step};
            return {};
        }
        if (Clock::now() >= deadline) {
            *error = SysError{ETIMEDOUT, step};
            return {};
        }
        pollfd pfd{fd.get(), POLLOUT, 0};
        const int ready = PollFor(&pfd, 1, deadline);
        if (ready < 0 && errno != EINTR) {
            *error = SysError::FromErrno(step);
            return {};
        }
        if (ready > 0) {
            break;
        }
    }
    int code = 0;
    socklen_t length = sizeof code;
    if (::getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &code, &length) != 0) {
        code = errno;
    }
    if (code != 0) {
        *error = SysError{code, step};
        return {};
    }
    // Commands and replies are short and go one at a time: waiting to fill a
    // segment would cost every exchange a delay.
    (void)::setsockopt(fd.get(), IPPROTO_TCP, TCP_NODELAY, &kOne, sizeof kOne);
    return fd;
}

}  // namespace

bool IsNetPortName(std::string_view name) {
    const std::size_t length = std::strlen(kNetPortScheme);
    if (name.size() < length) {
        return false;
    }
    for (std::size_t i = 0; i < length; ++i) {
        const char c = name[i];
        const char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        if (lower != kNetPortScheme[i]) {
            return false;
        }
    }
    return true;
}

bool ParseNetPortName(const std::string& name, NetPortName* parsed) {
    if (!IsNetPortName(name)) {
        return false;
    }
    const std::string rest = name.substr(std::strlen(kNetPortScheme));
    std::string host;
    std::size_t colon = 0;
    if (!rest.empty() && rest.front() == '[') {
        const std::size_t close = rest.find(']');
        if (close == std::string::npos || close < 3) {
            return false;
        }
        host = rest.substr(1, close - 1);
        if (!std::all_of(host.begin(), host.end(), V6CharOk) ||
            host.find(':') == std::string::npos) {
            return false;
        }
        colon = close + 1;
        if (colon >= rest.size() || rest[colon] != ':') {
            return false;
        }
    } else {
        colon = rest.find(':');
        if (colon == std::string::npos || colon == 0) {
            return false;
        }
        host = rest.substr(0, colon);
        if (!std::all_of(host.begin(), host.end(), HostCharOk) || host.size() > 253) {
            return false;
        }
    }
    const std::string port = rest.substr(colon + 1);
    if (port.empty() || port.size() > 5 ||
        !std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return false;
    }
    const long number = std::stol(port);
    if (number < 1 || number > 65535) {
        return false;
    }
    parsed->host = host;
    parsed->port = std::to_string(number);
    return true;
}

std::unique_ptr<NetLine> NetLine::Connect(const std::string& name, const std::atomic<bool>* cancel,
                                          SysError* error) {
    NetPortName parsed;
    if (!ParseNetPortName(name, &parsed)) {
        *error = SysError{EINVAL, "port name (rfc2217://HOST:PORT)"};
        return nullptr;
    }
    addrinfo* list = Resolve(parsed, cancel, error);
    if (list == nullptr) {
        return nullptr;
    }
    const std::string step = "connect to " + parsed.host + " port " + parsed.port;
    const TimePoint deadline = BoundFromNow(kConnectMs);
    UniqueFd fd;
    for (const addrinfo* address = list; address != nullptr && !fd; address = address->ai_next) {
        fd = ConnectOne(*address, deadline, cancel, step, error);
        if (error->code == ECANCELED) {
            break;
        }
    }
    ::freeaddrinfo(list);
    if (!fd) {
        return nullptr;
    }
    std::unique_ptr<NetLine> line(new NetLine(std::move(fd)));
    if (!line->data_ready_fd_) {
        *error = SysError::FromErrno("eventfd");
        return nullptr;
    }
    if (!line->Negotiate(BoundFromNow(kNegotiateMs), cancel, error)) {
        return nullptr;
    }
    *error = {};
    return line;
}

NetLine::NetLine(UniqueFd socket)
    : socket_(std::move(socket)), data_ready_fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

NetLine::~NetLine() = default;

bool NetLine::Negotiate(TimePoint deadline, const std::atomic<bool>* cancel, SysError* error) {
    // The port is ours once the server has agreed to the option and answered
    // a question about the line (the baud rate, for GetState): a server whose
    // port is taken agrees, says so in text and closes.
    const std::string step = "negotiate with the port server";
    std::unique_lock lock(mutex_);
    out_ += session_.Greeting();
    bool asked = false;
    for (;;) {
        PumpLocked();
        if (session_.ComPortAnswered() && !session_.ComPortAgreed()) {
            *error = SysError{EPROTONOSUPPORT, step};
            return false;
        }
        if (session_.ComPortAgreed() && !asked) {
            out_ += telnet::ComPortBaudRate(0);  // 0 asks
            FlushLocked();
            asked = true;
        }
        if (session_.BaudRateAnswered()) {
            return true;
        }
        if (closed_) {
            const bool busy = in_.find("in use") != std::string::npos;
            *error = SysError{busy ? EBUSY : ECONNRESET, step};
            return false;
        }
        if (Cancelled(cancel)) {
            *error = SysError{ECANCELED, step};
            return false;
        }
        if (Clock::now() >= deadline) {
            *error = SysError{ETIMEDOUT, step};
            return false;
        }
        lock.unlock();
        pollfd pfd{socket_.get(), POLLIN, 0};
        (void)PollFor(&pfd, 1, deadline);
        lock.lock();
    }
}

void NetLine::FlushLocked() {
    while (!closed_ && !out_.empty()) {
        const ssize_t n =
            ::send(socket_.get(), out_.data(), out_.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            out_.erase(0, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            break;
        }
        closed_ = true;
    }
    if (out_.size() > kMaxQueued) {
        closed_ = true;
    }
    if (closed_) {
        out_.clear();
    }
}

void NetLine::PumpLocked() {
    std::uint8_t buffer[16 * 1024];
    std::size_t taken = 0;
    while (!closed_ && BufferedLocked() < kMaxBuffered && taken < kMaxTakenAtOnce) {
        const ssize_t n = ::recv(socket_.get(), buffer,
                                 std::min(sizeof buffer, kMaxTakenAtOnce - taken), MSG_DONTWAIT);
        if (n > 0) {
            taken += static_cast<std::size_t>(n);
            // Acknowledge at once, every time (the kernel falls back to delayed
            // acknowledgements): a server that holds the rest of a reply until
            // its first part is acknowledged would otherwise wait ~40 ms.
            (void)::setsockopt(socket_.get(), IPPROTO_TCP, TCP_QUICKACK, &kOne, sizeof kOne);
            if (in_pos_ > 0 && in_pos_ == in_.size()) {
                in_.clear();
                in_pos_ = 0;
            }
            std::string reply;
            session_.Receive(buffer, static_cast<std::size_t>(n), &in_, &reply);
            out_ += reply;
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            break;
        }
        closed_ = true;  // the server closed the connection, or it broke
    }
    most_taken_ = std::max(most_taken_, taken);
    FlushLocked();
}

ssize_t NetLine::Take(std::uint8_t* into, std::size_t size, const std::bitset<256>* stops) {
    std::lock_guard lock(mutex_);
    std::uint64_t ignored = 0;
    (void)!::read(data_ready_fd_.get(), &ignored, sizeof ignored);
    if (BufferedLocked() == 0) {
        PumpLocked();
    }
    std::size_t n = std::min(size, BufferedLocked());
    if (stops != nullptr && stops->any()) {
        for (std::size_t i = 0; i < n; ++i) {
            if (stops->test(static_cast<std::uint8_t>(in_[in_pos_ + i]))) {
                n = i + 1;
                break;
            }
        }
    }
    if (n == 0) {
        errno = closed_ ? EIO : EAGAIN;
        return -1;
    }
    std::memcpy(into, in_.data() + in_pos_, n);
    in_pos_ += n;
    if (in_pos_ == in_.size()) {
        in_.clear();
        in_pos_ = 0;
    } else if (in_pos_ > kMaxBuffered) {
        in_.erase(0, in_pos_);
        in_pos_ = 0;
    }
    return static_cast<ssize_t>(n);
}

bool NetLine::Write(const std::uint8_t* data, std::size_t count, const TimePoint* deadline,
                    int wake_fd, const std::atomic<bool>& cancelled, std::size_t* written,
                    SysError* error) {
    std::size_t done = 0;
    std::unique_lock lock(mutex_);
    for (;;) {
        if (closed_) {
            *written = done;
            *error = SysError{EIO, "write"};
            return false;
        }
        // A new piece goes into the queue only once the last has nearly gone, so
        // the deadline holds back all but one piece.
        if (done < count && out_.size() < kWriteChunk) {
            const std::size_t n = std::min(kWriteChunk, count - done);
            telnet::AppendEscaped(data + done, n, &out_);
            done += n;
        }
        FlushLocked();
        if (closed_) {
            continue;
        }
        if (done == count && out_.empty()) {
            break;
        }
        if (out_.size() < kWriteChunk && done < count) {
            continue;
        }
        if (cancelled.load() || (deadline != nullptr && Clock::now() >= *deadline)) {
            break;
        }
        lock.unlock();
        pollfd fds[2] = {{socket_.get(), POLLOUT, 0}, {wake_fd, POLLIN, 0}};
        if (deadline == nullptr) {
            (void)::poll(fds, 2, -1);
        } else {
            const auto left =
                std::chrono::duration_cast<std::chrono::microseconds>(*deadline - Clock::now());
            const auto ms = std::max<std::int64_t>(0, (left.count() + 999) / 1000);
            (void)::poll(fds, 2, static_cast<int>(std::min<std::int64_t>(ms, 1 << 30)));
        }
        lock.lock();
    }
    *written = done;
    return true;
}

bool NetLine::SendCommandLocked(const std::string& command, const char* step, SysError* error) {
    PumpLocked();
    if (!closed_) {
        out_ += command;
        FlushLocked();
    }
    if (closed_) {
        *error = SysError{EIO, step};
        return false;
    }
    return true;
}

bool NetLine::ModemStatus(std::uint32_t* status, SysError* error) {
    std::lock_guard lock(mutex_);
    const std::size_t before = BufferedLocked();
    PumpLocked();
    if (BufferedLocked() > before) {
        const std::uint64_t one = 1;
        (void)!::write(data_ready_fd_.get(), &one, sizeof one);
    }
    if (closed_) {
        *error = SysError{EIO, "read modem status"};
        return false;
    }
    *status = session_.ModemStateKnown() ? session_.ModemState() : (kMsCtsOn | kMsDsrOn);
    return true;
}

bool NetLine::SetLine(const LineSettings& settings, SysError* error) {
    // Our parity and stop-bit numbers and the option's differ by one, and one
    // and a half stop bits is the option's 3.
    static constexpr std::uint8_t kStopSizes[] = {1, 3, 2};
    const std::string commands =
        telnet::ComPortBaudRate(settings.BaudRate) +
        telnet::ComPortCommand(telnet::kSetDataSize, settings.ByteSize) +
        telnet::ComPortCommand(telnet::kSetParity, static_cast<std::uint8_t>(settings.Parity + 1)) +
        telnet::ComPortCommand(telnet::kSetStopSize, kStopSizes[settings.StopBits]);
    std::lock_guard lock(mutex_);
    return SendCommandLocked(commands, "set line settings", error);
}

std::size_t NetLine::MostTakenAtOnce() {
    std::lock_guard lock(mutex_);
    return most_taken_;
}

std::uint32_t NetLine::ConfirmedBaudRate() {
    std::lock_guard lock(mutex_);
    PumpLocked();
    return session_.ConfirmedBaudRate();
}

bool NetLine::SetDtr(bool on, SysError* error) {
    std::lock_guard lock(mutex_);
    return SendCommandLocked(
        telnet::ComPortCommand(telnet::kSetControl,
                               on ? telnet::kControlDtrOn : telnet::kControlDtrOff),
        on ? "raise DTR" : "drop DTR", error);
}

bool NetLine::Purge(bool input, bool output, SysError* error) {
    std::lock_guard lock(mutex_);
    if (input) {
        // What has reached us is ours to drop; the server drops the rest. A
        // server that never stops sending does not hold the purge for ever.
        int rounds = 16;
        do {
            in_.clear();
            in_pos_ = 0;
            PumpLocked();
        } while (BufferedLocked() > 0 && !closed_ && --rounds > 0);
        in_.clear();
        in_pos_ = 0;
        std::uint64_t ignored = 0;
        (void)!::read(data_ready_fd_.get(), &ignored, sizeof ignored);
    }
    const std::uint8_t which = input && output
                                   ? telnet::kPurgeBoth
                                   : (input ? telnet::kPurgeReceive : telnet::kPurgeTransmit);
    return SendCommandLocked(telnet::ComPortCommand(telnet::kPurgeData, which), "purge", error);
}

}  // namespace vardex::platform
