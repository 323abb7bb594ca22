#include "fake_port_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <string_view>

#include "platform/rfc2217_codec.h"

using namespace vardex::platform;

namespace vardex::test {
namespace {

namespace t = vardex::platform::telnet;
using Clock = std::chrono::steady_clock;

// The flood goes out a piece at a time, straight from one buffer, as fast as
// the kernel copies it (faster than any client decodes it); an answer waits
// behind one piece at most.
constexpr std::size_t kFloodPiece = 1024 * 1024;
// How often the serving thread looks at the flood's limit while it floods.
constexpr int kFloodSliceMs = 20;

// The client's stream, as the server side reads it.
class ServerSide : public t::Decoder::Handler {
public:
    std::string data;
    std::string reply;
    std::vector<std::string> commands;
    FakePortServer::Answer answer = FakePortServer::Answer::kAgree;

    void OnData(const std::uint8_t* bytes, std::size_t size) override {
        data.append(reinterpret_cast<const char*>(bytes), size);
    }
    void OnNegotiation(std::uint8_t verb, std::uint8_t option) override {
        if (verb == t::kWill) {
            const bool agree =
                option != t::kOptComPort || answer != FakePortServer::Answer::kRefuse;
            reply += t::Negotiation(agree ? t::kDo : t::kDont, option);
        } else if (verb == t::kDo) {
            reply += t::Negotiation(t::kWill, option);
        }
    }
    void OnSubnegotiation(const std::uint8_t* body, std::size_t size) override {
        if (size < 2 || body[0] != t::kOptComPort) {
            return;
        }
        commands.emplace_back(reinterpret_cast<const char*>(body + 1), size - 1);
        reply += t::ComPortCommand(static_cast<std::uint8_t>(body[1] + t::kServerOffset), body + 2,
                                   size - 2);
    }
};

}  // namespace

FakePortServer::FakePortServer(Answer answer) : answer_(answer) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(listener_, 4) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw std::runtime_error("fake port server: cannot listen");
    }
    port_ = ntohs(address.sin_port);
    stop_fd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    wake_fd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    thread_ = std::thread([this] { Run(); });
}

FakePortServer::~FakePortServer() {
    const std::uint64_t one = 1;
    (void)!::write(stop_fd_, &one, sizeof one);
    thread_.join();
    if (client_ >= 0) {
        ::close(client_);
    }
    ::close(listener_);
    ::close(stop_fd_);
    ::close(wake_fd_);
}

std::string FakePortServer::Name() const {
    return "rfc2217://127.0.0.1:" + std::to_string(port_);
}

void FakePortServer::Run() {
    for (;;) {
        pollfd fds[2] = {{listener_, POLLIN, 0}, {stop_fd_, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 && errno != EINTR) {
            return;
        }
        if (fds[1].revents != 0) {
            return;
        }
        if ((fds[0].revents & POLLIN) == 0) {
            continue;
        }
        const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) {
            continue;
        }
        if (answer_ == Answer::kClose) {
            ::close(client);
            continue;
        }
        {
            std::lock_guard lock(mutex_);
            client_ = client;
            reading_ = true;
            out_.clear();
            flood_at_ = 0;
            commands_before_ = commands_.size();
        }
        Serve(client);
        std::lock_guard lock(mutex_);
        ::close(client_);
        client_ = -1;
    }
}

void FakePortServer::Serve(int client) {
    ServerSide side;
    side.answer = answer_;
    t::Decoder decoder;
    bool closing = false;  // a busy server closes once it has said so
    for (;;) {
        short events = 0;
        bool flooding = false;
        {
            std::lock_guard lock(mutex_);
            flooding = FloodLocked();
            if (closing && out_.empty() && flood_at_ == 0) {
                return;
            }
            const bool sending = flooding || flood_at_ != 0 || !out_.empty();
            events =
                static_cast<short>((reading_ && !closing ? POLLIN : 0) | (sending ? POLLOUT : 0));
        }
        pollfd fds[3] = {{client, events, 0}, {stop_fd_, POLLIN, 0}, {wake_fd_, POLLIN, 0}};
        if (::poll(fds, 3, flooding ? kFloodSliceMs : -1) < 0 && errno != EINTR) {
            return;
        }
        if (fds[1].revents != 0) {
            return;
        }
        if (fds[2].revents != 0) {
            std::uint64_t ignored = 0;
            (void)!::read(wake_fd_, &ignored, sizeof ignored);
        }
        if ((fds[0].revents & POLLOUT) != 0) {
            std::lock_guard lock(mutex_);
            if (!SendSomeLocked(client, flooding)) {
                return;
            }
        }
        if ((events & POLLIN) == 0) {
            if ((fds[0].revents & (POLLHUP | POLLERR)) != 0) {
                return;  // the client went while this server did not read
            }
            continue;
        }
        if ((fds[0].revents & (POLLIN | POLLHUP | POLLERR)) == 0) {
            continue;
        }
        std::uint8_t buffer[4096];
        const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
        if (n <= 0) {
            return;
        }
        decoder.Feed(buffer, static_cast<std::size_t>(n), &side);
        std::lock_guard lock(mutex_);
        received_ += static_cast<std::uint64_t>(n);
        data_ += side.data;
        side.data.clear();
        for (auto& command : side.commands) {
            commands_.push_back(std::move(command));
        }
        side.commands.clear();
        if (answer_ == Answer::kBusy) {
            out_ += side.reply + "Port already in use\r\n";
            closing = true;
        } else if (answer_ != Answer::kSilent) {
            out_ += side.reply;
        }
        side.reply.clear();
        changed_.notify_all();
    }
}

bool FakePortServer::FloodLocked() {
    if (flood_piece_.empty() || commands_.size() == commands_before_) {
        return false;
    }
    if (Clock::now() >= flood_end_) {
        flood_ran_out_ = true;
        return false;
    }
    return true;
}

bool FakePortServer::SendSomeLocked(int client, bool flooding) {
    // The rest of a piece of the flood first, so that its units stay whole, then
    // the answers, then the next piece.
    const bool answers = flood_at_ == 0 && !out_.empty();
    if (!answers && flood_at_ == 0 && !flooding) {
        return true;
    }
    const std::string_view next =
        answers ? std::string_view(out_) : std::string_view(flood_piece_).substr(flood_at_);
    const ssize_t n = ::send(client, next.data(), next.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0) {
        return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
    }
    const auto sent = static_cast<std::size_t>(n);
    if (answers) {
        out_.erase(0, sent);
    } else {
        flood_at_ = (flood_at_ + sent) % flood_piece_.size();
    }
    sent_ += sent;
    changed_.notify_all();
    return true;
}

void FakePortServer::Wake() {
    const std::uint64_t one = 1;
    (void)!::write(wake_fd_, &one, sizeof one);
}

void FakePortServer::SendRaw(const std::string& bytes) {
    std::lock_guard lock(mutex_);
    out_ += bytes;
    Wake();
}

void FakePortServer::SendData(const std::string& bytes) {
    std::string escaped;
    t::AppendEscaped(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), &escaped);
    SendRaw(escaped);
}

void FakePortServer::SendModemState(std::uint8_t state) {
    SendRaw(t::ComPortCommand(t::kNotifyModemState + t::kServerOffset, state));
}

void FakePortServer::CloseConnection() {
    // The serving thread sees the end and closes the descriptor itself.
    std::lock_guard lock(mutex_);
    if (client_ >= 0) {
        ::shutdown(client_, SHUT_RDWR);
        reading_ = true;
    }
}

void FakePortServer::StopReading() {
    std::lock_guard lock(mutex_);
    reading_ = false;
    Wake();
}

std::string FakePortServer::Nops(std::size_t count) {
    std::string nops;
    for (std::size_t i = 0; i < count; ++i) {
        nops += static_cast<char>(t::kIac);
        nops += '\xF1';
    }
    return nops;
}

void FakePortServer::Flood(const std::string& unit) {
    std::lock_guard lock(mutex_);
    flood_piece_.clear();
    while (!unit.empty() && flood_piece_.size() < kFloodPiece) {
        flood_piece_ += unit;
    }
    flood_end_ = Clock::now() + kFloodLimit;
    flood_ran_out_ = false;
    Wake();
}

bool FakePortServer::FloodRanOut() const {
    std::lock_guard lock(mutex_);
    return flood_ran_out_;
}

std::uint64_t FakePortServer::BytesSent() const {
    std::lock_guard lock(mutex_);
    return sent_;
}

bool FakePortServer::WaitForBytesSent(std::uint64_t count) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, kFloodLimit, [&] { return sent_ > count; });
}

std::uint64_t FakePortServer::BytesReceived() const {
    std::lock_guard lock(mutex_);
    return received_;
}

bool FakePortServer::WaitForBytesReceived(std::uint64_t count) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, kFloodLimit, [&] { return received_ > count; });
}

std::string FakePortServer::Data() const {
    std::lock_guard lock(mutex_);
    return data_;
}

std::vector<std::string> FakePortServer::Commands() const {
    std::lock_guard lock(mutex_);
    return commands_;
}

bool FakePortServer::WaitUntil(
    const std::function<bool(const std::string&, const std::vector<std::string>&)>& condition,
    std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [&] { return condition(data_, commands_); });
}

}  // namespace vardex::test
