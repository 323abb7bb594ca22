#include "fake_port_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

#include "platform/rfc2217_codec.h"

namespace vardex::test {
namespace {

namespace t = vardex::telnet;

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
    for (;;) {
        bool reading = true;
        {
            std::lock_guard lock(mutex_);
            reading = reading_;
        }
        pollfd fds[2] = {{client, static_cast<short>(reading ? POLLIN : 0), 0},
                         {stop_fd_, POLLIN, 0}};
        if (::poll(fds, 2, reading ? -1 : 20) < 0 && errno != EINTR) {
            return;
        }
        if (fds[1].revents != 0) {
            return;
        }
        if (!reading) {
            continue;
        }
        if (fds[0].revents == 0) {
            continue;
        }
        std::uint8_t buffer[4096];
        const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
        if (n <= 0) {
            return;
        }
        decoder.Feed(buffer, static_cast<std::size_t>(n), &side);
        std::lock_guard lock(mutex_);
        data_ += side.data;
        side.data.clear();
        for (auto& command : side.commands) {
            commands_.push_back(std::move(command));
        }
        side.commands.clear();
        if (answer_ == Answer::kBusy) {
            SendLocked(side.reply + "Port already in use\r\n");
            return;
        }
        if (answer_ != Answer::kSilent) {
            SendLocked(side.reply);
        }
        side.reply.clear();
        changed_.notify_all();
    }
}

void FakePortServer::SendLocked(const std::string& bytes) {
    std::size_t done = 0;
    while (client_ >= 0 && done < bytes.size()) {
        const ssize_t n = ::send(client_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && errno != EINTR) {
            return;
        }
    }
}

void FakePortServer::SendRaw(const std::string& bytes) {
    std::lock_guard lock(mutex_);
    SendLocked(bytes);
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
