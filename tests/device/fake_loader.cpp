#include "fake_loader.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <stdexcept>

using namespace vardex::platform;

namespace vardex::test {
namespace {

constexpr char kSoh = 0x01;
constexpr char kEot = 0x04;
constexpr std::size_t kFrameSize = 132;

}  // namespace

FakeLoader::FakeLoader(std::chrono::milliseconds idle_nak) : idle_nak_(idle_nak) {
    SysError error;
    if (!PtyPair::Create(&pty_, &error)) {
        throw std::runtime_error("pseudo-terminal: " + error.Message());
    }
    stop_fd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    thread_ = std::thread([this] { Run(); });
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return ready_; });
}

FakeLoader::~FakeLoader() {
    const std::uint64_t one = 1;
    (void)!::write(stop_fd_, &one, sizeof one);
    thread_.join();
    ::close(stop_fd_);
}

void FakeLoader::SetBlockReply(BlockReply reply) {
    std::lock_guard lock(mutex_);
    block_reply_ = std::move(reply);
}

void FakeLoader::SetEotReply(Reply reply) {
    std::lock_guard lock(mutex_);
    eot_reply_ = reply;
}

std::string FakeLoader::Received() const {
    std::lock_guard lock(mutex_);
    return received_;
}

std::vector<std::string> FakeLoader::Frames() const {
    std::lock_guard lock(mutex_);
    return frames_;
}

int FakeLoader::Eots() const {
    std::lock_guard lock(mutex_);
    return eots_;
}

void FakeLoader::Answer(Reply reply) {
    char byte = 0;
    switch (reply) {
        case Reply::kAck:
            byte = 0x06;
            break;
        case Reply::kNak:
            byte = 0x15;
            break;
        case Reply::kCan:
            byte = 0x18;
            break;
        case Reply::kCanAndAskAgain:
            (void)!::write(pty_.Master(), "\x18\x18\x15", 3);
            return;
        case Reply::kGarbage:
            byte = 'x';
            break;
        case Reply::kSilent:
            return;
        case Reply::kHangup:
            pty_.CloseMaster();
            pty_.CloseKeeper();
            hung_up_ = true;
            return;
    }
    (void)!::write(pty_.Master(), &byte, 1);
}

void FakeLoader::Run() {
    {
        std::lock_guard lock(mutex_);
        ready_ = true;
    }
    changed_.notify_all();
    bool started = false;
    const char nak = 0x15;
    for (;;) {
        pollfd fds[2] = {{stop_fd_, POLLIN, 0}, {hung_up_ ? -1 : pty_.Master(), POLLIN, 0}};
        const int timeout =
            !started && idle_nak_.count() > 0 ? static_cast<int>(idle_nak_.count()) : -1;
        const int ready = ::poll(fds, 2, timeout);
        if ((fds[0].revents & POLLIN) != 0) {
            return;
        }
        if (ready == 0) {
            (void)!::write(pty_.Master(), &nak, 1);
            continue;
        }
        if (hung_up_ || (fds[1].revents & POLLIN) == 0) {
            continue;
        }
        char buffer[512];
        const ssize_t n = ::read(pty_.Master(), buffer, sizeof buffer);
        if (n <= 0) {
            continue;
        }
        for (ssize_t i = 0; i < n && !hung_up_; ++i) {
            const char c = buffer[i];
            std::unique_lock lock(mutex_);
            received_.push_back(c);
            if (!frame_.empty() || c == kSoh) {
                frame_.push_back(c);
                if (frame_.size() < kFrameSize) {
                    continue;
                }
                frames_.push_back(frame_);
                const std::size_t index = frames_.size() - 1;
                const std::string frame = std::move(frame_);
                frame_.clear();
                started = true;
                const BlockReply reply = block_reply_;
                lock.unlock();
                Answer(reply ? reply(index, frame) : Reply::kAck);
            } else if (c == kEot) {
                ++eots_;
                const Reply reply = eot_reply_;
                lock.unlock();
                Answer(reply);
            } else if ((c == '\r' || c == 'x') && !started) {
                lock.unlock();
                Answer(Reply::kNak);
            }
        }
    }
}

}  // namespace vardex::test
