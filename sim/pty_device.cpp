#include "pty_device.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "device_text.h"

using namespace vardex::platform;

namespace vardex::sim {
namespace {

// A device's output buffer is finite too; beyond this, output nobody reads is lost
// rather than piling up without bound.
constexpr std::size_t kMaxPendingBytes = 64 * 1024;
constexpr auto kHandshakeLimit = std::chrono::seconds(5);
// USB names tried above the last one before giving up.
constexpr int kUsbNumbersTried = 1000;

bool SetNonBlocking(int fd, SysError* error) {
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) {
        *error = SysError::FromErrno("set pseudo-terminal non-blocking");
        return false;
    }
    return true;
}

}  // namespace

PtyDevice::PtyDevice(DeviceOptions options)
    : device_(std::move(options),
              [this](std::string_view bytes) { Enqueue(bytes, Kind::kReply); }) {
    device_.SetEchoSink([this](std::string_view bytes) { Enqueue(bytes, Kind::kEcho); });
    device_.SetUnsolicitedSink(
        [this](std::string_view bytes) { Enqueue(bytes, Kind::kUnsolicited); });
}

PtyDevice::~PtyDevice() {
    Stop();
}

bool PtyDevice::Start(SysError* error) {
    SysError local;
    SysError& err = error != nullptr ? *error : local;
    if (started_) {
        err = SysError{EALREADY, "start simulator"};
        return false;
    }
    started_ = true;
    if (!PtyPair::Create(&pair_, &err)) {
        return false;
    }
    // The worker must never block in write(): a reply nobody reads waits in out_.
    if (!SetNonBlocking(pair_.Master(), &err)) {
        return false;
    }
    wake_fd_.reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!wake_fd_) {
        err = SysError::FromErrno("eventfd");
        return false;
    }
    path_ = pair_.SlavePath();
    if (!usb_dir_.empty() && !PlugIn(&err)) {
        return false;
    }
    worker_ = std::thread([this] { Run(); });

    std::unique_lock<std::mutex> lock(mutex_);
    if (!changed_.wait_for(lock, kHandshakeLimit, [this] { return ready_; })) {
        lock.unlock();
        Stop();
        err = SysError{ETIMEDOUT, "start simulator thread"};
        return false;
    }
    return true;
}

void PtyDevice::Stop() {
    if (worker_.joinable()) {
        stop_requested_.store(true);
        Wake();
        worker_.join();
    }
    wake_fd_.reset();  // after the worker, which polls it
    RemoveUsbLink();
}

void PtyDevice::SetUsbDirectory(std::string dir) {
    usb_dir_ = std::move(dir);
}

std::string PtyDevice::UsbName() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return usb_name_;
}

bool PtyDevice::PlugIn(SysError* error) {
    const int first = usb_number_ + 1;
    for (int n = first; n < first + kUsbNumbersTried; ++n) {
        const std::string name = usb_dir_ + "/ttyACM" + std::to_string(n);
        struct stat info {};
        if (::lstat(name.c_str(), &info) == 0) {
            continue;  // taken, by another simulator or an old link
        }
        if (::symlink(path_.c_str(), name.c_str()) != 0) {
            *error = SysError::FromErrno("make USB name " + name);
            return false;
        }
        std::lock_guard<std::mutex> lock(mutex_);
        usb_name_ = name;
        usb_number_ = n;
        return true;
    }
    *error = SysError{EEXIST, "find a free USB name in " + usb_dir_};
    return false;
}

void PtyDevice::RemoveUsbLink() {
    std::string name;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        name = std::exchange(usb_name_, std::string());
    }
    if (!name.empty()) {
        ::unlink(name.c_str());
    }
}

void PtyDevice::Unplug() {
    // The name goes first, so that a program that sees the hang-up never finds
    // the name of a device that is no longer there.
    RemoveUsbLink();
    Hangup();
}

bool PtyDevice::Replug(SysError* error) {
    SysError local;
    SysError& err = error != nullptr ? *error : local;
    if (!worker_.joinable() || !HungUp()) {
        err = SysError{EALREADY, "plug in the simulator"};
        return false;
    }
    PtyPair fresh;
    if (!PtyPair::Create(&fresh, &err) || !SetNonBlocking(fresh.Master(), &err)) {
        return false;
    }
    const std::string previous = path_;
    path_ = fresh.SlavePath();
    if (!usb_dir_.empty() && !PlugIn(&err)) {
        path_ = previous;
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        replacement_ = std::move(fresh);
        hangup_requested_.store(false);
        replug_requested_.store(true);
    }
    Wake();
    std::unique_lock<std::mutex> lock(mutex_);
    if (!changed_.wait_for(lock, kHandshakeLimit, [this] { return !master_closed_; })) {
        err = SysError{ETIMEDOUT, "plug in the simulator"};
        return false;
    }
    return true;
}

void PtyDevice::Hangup() {
    if (!worker_.joinable()) {
        CloseMaster();
        return;
    }
    hangup_requested_.store(true);
    Wake();
    // The worker owns the descriptor while it runs: closing it here could let a
    // new descriptor take its number under the worker's poll().
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, kHandshakeLimit, [this] { return master_closed_; });
}

std::uint8_t PtyDevice::Register(int number) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return device_.Register(number);
}

bool PtyDevice::Echo() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return device_.Echo();
}

std::uint64_t PtyDevice::CommandCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return device_.CommandCount();
}

bool PtyDevice::HungUp() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return master_closed_;
}

std::chrono::nanoseconds PtyDevice::WorkerCpuTime() const {
    std::lock_guard<std::mutex> lock(mutex_);
    timespec used{};
    if (!worker_running_ || ::clock_gettime(worker_clock_, &used) != 0) {
        return std::chrono::nanoseconds(0);
    }
    return std::chrono::seconds(used.tv_sec) + std::chrono::nanoseconds(used.tv_nsec);
}

std::int64_t PtyDevice::DeviceNow() const {
    const double us = static_cast<double>(
        std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - epoch_).count());
    return static_cast<std::int64_t>(us / (1000.0 * TimeScale()));
}

Clock::time_point PtyDevice::RealTime(std::int64_t device_ms) const {
    // A little past the instant, so that the device clock read on waking has
    // certainly reached the deadline and the worker does not wake twice.
    return epoch_ + ScaledMs(device_ms) + std::chrono::microseconds(200);
}

std::uint64_t PtyDevice::BytesReceived() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return bytes_received_;
}

void PtyDevice::KeepReceivedBytes(bool keep) {
    std::lock_guard<std::mutex> lock(mutex_);
    keep_received_ = keep;
    received_.clear();
}

std::string PtyDevice::ReceivedBytes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return received_;
}

bool PtyDevice::WaitForBytesReceived(std::uint64_t count, std::chrono::milliseconds limit) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, limit, [&] { return bytes_received_ >= count; });
}

bool PtyDevice::WaitForOutputSent(std::chrono::milliseconds limit) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, limit, [&] { return out_.empty() || master_closed_; });
}

void PtyDevice::Wake() {
    if (wake_fd_) {
        const std::uint64_t one = 1;
        // A full counter already means "wake up"; nothing to handle.
        [[maybe_unused]] const ssize_t n = ::write(wake_fd_.get(), &one, sizeof one);
    }
}

void PtyDevice::Enqueue(std::string_view bytes, Kind kind) {
    std::string faulty;
    int late_ms = 0;
    if (kind == Kind::kReply) {
        ++replies_;
        const int every = garbage_every_.load();
        const int cut_every = cut_every_.load();
        int noise = garbage_next_reply_.exchange(0);
        if (noise == 0 && every > 0 && replies_ % static_cast<std::uint64_t>(every) == 0) {
            noise = garbage_count_.load();
        }
        if (noise > 0) {
            for (int i = 0; i < noise; ++i) {
                noise_seed_ = noise_seed_ * 1664525u + 1013904223u;
                faulty.push_back(static_cast<char>(0x80u | (noise_seed_ >> 25)));
            }
        }
        if (cut_next_reply_.exchange(false) ||
            (cut_every > 0 && replies_ % static_cast<std::uint64_t>(cut_every) == 0)) {
            bytes = bytes.substr(0, bytes.size() / 2);
        }
        late_ms = late_next_reply_ms_.exchange(0);
        if (!faulty.empty()) {
            faulty += bytes;
            bytes = faulty;
        }
    }
    if (master_closed_ || bytes.empty() || out_bytes_ + bytes.size() > kMaxPendingBytes) {
        return;
    }
    // Output keeps its order: nothing is due before what was queued earlier.
    const Clock::time_point start = std::max(Clock::now(), last_due_);
    if (kind == Kind::kEcho) {
        out_.push_back(Chunk{start, std::string(bytes)});
        last_due_ = start;
    } else {
        const Dialect& dialect = device_.Options().dialect;
        Clock::time_point due = start;
        if (kind == Kind::kReply) {
            due += ScaledMs(reply_delay_ms_.load() + late_ms);
            // A restart takes its time before the device answers again.
            const std::string& command = device_.LastCommand();
            if (command.size() == 1 && Upper(command[0]) == 'Z') {
                due += ScaledMs(dialect.restart_ms);
            }
        }
        std::size_t pause_at = bytes.size();
        std::chrono::microseconds pause{0};
        if (kind == Kind::kReply) {
            const int after = pause_after_.exchange(-1);
            if (after >= 0) {
                pause_at = std::min(bytes.size(), static_cast<std::size_t>(after));
                pause = ScaledMs(pause_ms_.load());
            } else if (dialect.piece_pause_ms > 0) {
                pause_at = bytes.size() / 2;
                pause = ScaledMs(dialect.piece_pause_ms);
            }
        }
        const auto gap = ScaledMs(byte_delay_ms_.load());
        if (gap.count() == 0) {
            out_.push_back(Chunk{due, std::string(bytes.substr(0, pause_at))});
            if (pause_at < bytes.size()) {
                due += pause;
                out_.push_back(Chunk{due, std::string(bytes.substr(pause_at))});
            }
        } else {
            for (std::size_t i = 0; i < bytes.size(); ++i) {
                if (i > 0) {
                    due += gap;
                }
                if (i == pause_at) {
                    due += pause;
                }
                out_.push_back(Chunk{due, std::string(1, bytes[i])});
            }
        }
        if (kind == Kind::kReply && !line_after_reply_.empty()) {
            due += ScaledMs(line_after_reply_ms_);
            out_.push_back(Chunk{due, line_after_reply_});
            out_bytes_ += line_after_reply_.size();
            line_after_reply_.clear();
        }
        last_due_ = due;
    }
    out_bytes_ += bytes.size();
}

void PtyDevice::Deliver(std::string_view bytes) {
    if (silent_.load()) {
        return;
    }
    if (silence_once_.load()) {
        const std::size_t cr = bytes.find('\r');
        if (cr == std::string_view::npos) {
            return;
        }
        silence_once_.store(false);
        bytes.remove_prefix(cr + 1);
    }
    device_.Feed(bytes);
}

bool PtyDevice::WriteDue(int fd, Clock::time_point* next_due) {
    std::lock_guard<std::mutex> lock(mutex_);
    const Clock::time_point now = Clock::now();
    std::string batch;
    for (const Chunk& chunk : out_) {
        if (chunk.due > now) {
            break;
        }
        batch += chunk.bytes;
    }
    if (!batch.empty()) {
        const ssize_t n = ::write(fd, batch.data(), batch.size());
        std::size_t left = n > 0 ? static_cast<std::size_t>(n) : 0;
        out_bytes_ -= left;
        while (left > 0) {
            Chunk& front = out_.front();
            if (front.bytes.size() <= left) {
                left -= front.bytes.size();
                out_.pop_front();
            } else {
                front.bytes.erase(0, left);
                left = 0;
            }
        }
    }
    if (out_.empty()) {
        if (!batch.empty()) {
            changed_.notify_all();  // WaitForOutputSent
        }
        return false;
    }
    *next_due = out_.front().due;
    return true;
}

void PtyDevice::CloseMaster() {
    std::lock_guard<std::mutex> lock(mutex_);
    pair_.CloseMaster();
    out_.clear();
    out_bytes_ = 0;
    master_closed_ = true;
    changed_.notify_all();
}

void PtyDevice::Run() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        worker_running_ = ::pthread_getcpuclockid(::pthread_self(), &worker_clock_) == 0;
        ready_ = true;
    }
    changed_.notify_all();

    int master = pair_.Master();
    char buffer[512];
    while (!stop_requested_.load()) {
        if (replug_requested_.load()) {
            std::lock_guard<std::mutex> lock(mutex_);
            replug_requested_.store(false);
            pair_ = std::move(replacement_);
            master = pair_.Master();
            master_closed_ = false;
            changed_.notify_all();
        }
        if (master >= 0 && hangup_requested_.load()) {
            CloseMaster();
            master = -1;
        }

        // Fire what is due on the device's clock, then find the next instant
        // anything is due: a deadline of the device or output held back.
        Clock::time_point wake = Clock::time_point::max();
        {
            std::lock_guard<std::mutex> lock(mutex_);
            device_.AdvanceTo(DeviceNow());
            const std::int64_t deadline = device_.NextDeadline();
            if (deadline != Device::kNever) {
                wake = RealTime(deadline);
            }
        }
        pollfd fds[2] = {{wake_fd_.get(), POLLIN, 0}, {master, POLLIN, 0}};
        const nfds_t count = master >= 0 ? 2 : 1;
        Clock::time_point next_due;
        if (master >= 0 && WriteDue(master, &next_due)) {
            if (next_due <= Clock::now()) {
                fds[1].events |= POLLOUT;  // due but the slave's input queue is full
            } else {
                wake = std::min(wake, next_due);
            }
        }
        timespec wait{};
        const timespec* timeout = nullptr;  // nothing waits for a time: sleep until woken
        if (wake != Clock::time_point::max()) {
            const auto ns = std::max<std::int64_t>(
                0,
                std::chrono::duration_cast<std::chrono::nanoseconds>(wake - Clock::now()).count());
            wait.tv_sec = static_cast<time_t>(ns / 1000000000);
            wait.tv_nsec = static_cast<long>(ns % 1000000000);
            timeout = &wait;
        }

        if (::ppoll(fds, count, timeout, nullptr) < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;  // only a programming error gets here; the port then sees silence
        }
        if (fds[0].revents & POLLIN) {
            std::uint64_t counter = 0;
            [[maybe_unused]] const ssize_t n = ::read(wake_fd_.get(), &counter, sizeof counter);
        }
        if (count < 2 || (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) == 0) {
            continue;
        }
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n > 0) {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                bytes_received_ += static_cast<std::uint64_t>(n);
                if (keep_received_) {
                    received_.append(buffer, static_cast<std::size_t>(n));
                }
                device_.AdvanceTo(DeviceNow());
                Deliver(std::string_view(buffer, static_cast<std::size_t>(n)));
            }
            changed_.notify_all();
        } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
            // The keeper descriptor keeps the slave open, so this means the pair
            // is broken; stop listening rather than spin on the error.
            CloseMaster();
            master = -1;
        }
    }
    std::lock_guard<std::mutex> lock(mutex_);
    worker_running_ = false;
}

}  // namespace vardex::sim
