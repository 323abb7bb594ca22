#include "scripted_peer.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

using namespace vardex::platform;

namespace vardex::test {

ScriptedPeer::ScriptedPeer(Responder responder, bool echo)
    : responder_(std::move(responder)), echo_(echo) {
    SysError error;
    if (!PtyPair::Create(&pty_, &error)) {
        throw std::runtime_error("pseudo-terminal: " + error.Message());
    }
    stop_fd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    thread_ = std::thread([this] { Run(); });
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return ready_; });
}

ScriptedPeer::~ScriptedPeer() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    const std::uint64_t one = 1;
    (void)!::write(stop_fd_, &one, sizeof one);
    thread_.join();
    ::close(stop_fd_);
}

void ScriptedPeer::SetEcho(bool echo) {
    std::lock_guard lock(mutex_);
    echo_ = echo;
}

void ScriptedPeer::SetResponder(Responder responder) {
    std::lock_guard lock(mutex_);
    responder_ = std::move(responder);
}

void ScriptedPeer::WriteAll(const std::string& bytes) {
    std::chrono::steady_clock::time_point sent;
    {
        std::lock_guard lock(write_mutex_);
        std::size_t done = 0;
        while (done < bytes.size() && pty_.Master() >= 0) {
            const ssize_t n = ::write(pty_.Master(), bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
            } else if (n < 0 && errno != EINTR && errno != EAGAIN) {
                break;
            } else {
                pollfd pfd{pty_.Master(), POLLOUT, 0};
                (void)::poll(&pfd, 1, 100);
            }
        }
        sent = std::chrono::steady_clock::now();
    }
    // Taken after the write lock is let go: Hangup holds mutex_ before write_mutex_.
    std::lock_guard state(mutex_);
    last_send_ = sent;
}

void ScriptedPeer::SetIdleChatter(std::string bytes, std::chrono::milliseconds period) {
    {
        std::lock_guard lock(mutex_);
        idle_bytes_ = std::move(bytes);
        idle_period_ = period;
    }
    const std::uint64_t one = 1;
    (void)!::write(stop_fd_, &one, sizeof one);  // wake the thread to take the new period
}

void ScriptedPeer::Send(const std::string& bytes) {
    WriteAll(bytes);
}

void ScriptedPeer::Hangup() {
    // The peer thread closes the master itself: a descriptor closed while another
    // thread polls it stays open until that poll returns.
    std::unique_lock lock(mutex_);
    hangup_requested_ = true;
    const std::uint64_t one = 1;
    (void)!::write(stop_fd_, &one, sizeof one);
    changed_.wait(lock, [this] { return hung_up_; });
}

std::string ScriptedPeer::Received() const {
    std::lock_guard lock(mutex_);
    return received_;
}

std::vector<std::string> ScriptedPeer::Lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
}

bool ScriptedPeer::WaitForLines(std::size_t n, std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [&] { return lines_.size() >= n; });
}

std::chrono::steady_clock::time_point ScriptedPeer::LastSendTime() const {
    std::lock_guard lock(mutex_);
    return last_send_;
}

bool ScriptedPeer::WaitForReceived(const std::string& bytes, std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit,
                             [&] { return received_.find(bytes) != std::string::npos; });
}

void ScriptedPeer::Run() {
    {
        std::lock_guard lock(mutex_);
        ready_ = true;
    }
    changed_.notify_all();
    char buffer[4096];
    for (;;) {
        int master = -1;
        int timeout = -1;
        std::string idle;
        {
            std::lock_guard lock(mutex_);
            master = hung_up_ ? -1 : pty_.Master();
            if (!idle_bytes_.empty() && master >= 0) {
                timeout = static_cast<int>(idle_period_.count());
                idle = idle_bytes_;
            }
        }
        pollfd fds[2] = {{stop_fd_, POLLIN, 0}, {master, POLLIN, 0}};
        const int ready = ::poll(fds, master >= 0 ? 2 : 1, timeout);
        if (ready == 0 && !idle.empty()) {
            WriteAll(idle);
            continue;
        }
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if ((fds[0].revents & POLLIN) != 0) {
            std::uint64_t count = 0;
            (void)!::read(stop_fd_, &count, sizeof count);
            std::unique_lock lock(mutex_);
            if (stopping_) {
                return;
            }
            if (!hangup_requested_ || hung_up_) {
                continue;
            }
            {
                std::lock_guard writing(write_mutex_);
                pty_.CloseMaster();
                pty_.CloseKeeper();
            }
            hung_up_ = true;
            lock.unlock();
            changed_.notify_all();
            continue;
        }
        if (master < 0 || (fds[1].revents & POLLIN) == 0) {
            continue;
        }
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n <= 0) {
            continue;
        }
        std::string out;
        {
            std::lock_guard lock(mutex_);
            received_.append(buffer, static_cast<std::size_t>(n));
            for (ssize_t i = 0; i < n; ++i) {
                const char c = buffer[i];
                if (echo_) {
                    out.push_back(c);
                }
                if (c == '\r') {
                    lines_.push_back(partial_line_);
                    if (responder_) {
                        out += responder_(partial_line_);
                    }
                    partial_line_.clear();
                } else {
                    partial_line_.push_back(c);
                }
            }
        }
        changed_.notify_all();
        if (!out.empty()) {
            WriteAll(out);
        }
        if (hang_up_after_reply_.exchange(false)) {
            {
                std::lock_guard lock(mutex_);
                std::lock_guard writing(write_mutex_);
                pty_.CloseMaster();
                pty_.CloseKeeper();
                hung_up_ = true;
            }
            changed_.notify_all();
        }
    }
}

}  // namespace vardex::test
