// A simulated varDex on a pseudo-terminal. The program under test opens Path()
// as its serial port; a worker thread plays the device on the master side.
//
// Blocking and threads:
//  - Start returns once the worker is polling (or failed); it waits at most a
//    few seconds for that.
//  - Stop wakes the worker and joins it. The worker only ever blocks in poll(),
//    which the stop event wakes, so the join is short. The destructor stops.
//  - Hangup returns once the master side is closed (bounded wait).
//  - Every other call may come from any thread at any time; the device state is
//    behind one mutex, so the accessors see a consistent snapshot.
//
// Faults: silence (input read and dropped, nothing answered), delays (before a
// reply and between its bytes, in milliseconds scaled by VARDEX_TIME_SCALE) and
// hang-up (the master closes: the port sees POLLHUP).
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "device.h"
#include "platform/pty.h"
#include "platform/sys_error.h"
#include "platform/vtime.h"

namespace vardex::sim {

class PtyDevice {
  public:
    explicit PtyDevice(DeviceOptions options = {});
    ~PtyDevice();
    PtyDevice(const PtyDevice&) = delete;
    PtyDevice& operator=(const PtyDevice&) = delete;

    // Creates the pseudo-terminal and starts the worker. Once only: a second call
    // fails with EALREADY, also after Stop.
    bool Start(SysError* error);
    void Stop();

    // The slave path; empty before Start.
    const std::string& Path() const { return path_; }

    void Hangup();
    void SetSilent(bool silent) { silent_.store(silent); }
    // Pause after a command line before its reply starts.
    void SetReplyDelayMs(int ms) { reply_delay_ms_.store(ms); }
    // Pause between the bytes of a reply.
    void SetByteDelayMs(int ms) { byte_delay_ms_.store(ms); }

    // Snapshots of the device state.
    std::uint8_t Register(int number) const;
    bool Echo() const;
    std::uint64_t CommandCount() const;
    // Bytes taken from the port so far, silent or not, and a bounded wait for a
    // count: the handshake a test needs before it changes a fault setting.
    std::uint64_t BytesReceived() const;
    bool WaitForBytesReceived(std::uint64_t count, std::chrono::milliseconds limit) const;

    // Runs f on the device under its lock, for reads the accessors above do not
    // cover. f must not call back into this PtyDevice.
    template <typename F>
    auto Inspect(F&& f) const {
        std::lock_guard<std::mutex> lock(mutex_);
        return std::forward<F>(f)(static_cast<const Device&>(device_));
    }
    // Changes the device under its lock (test set-up: a register, a state).
    // Output it causes goes out as usual.
    template <typename F>
    void Modify(F&& f) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            std::forward<F>(f)(device_);
        }
        Wake();
    }

  private:
    struct Chunk {
        Clock::time_point due;
        std::string bytes;
    };

    void Run();
    void Wake();
    void Enqueue(std::string_view bytes, bool reply);  // under mutex_
    // Writes what is due without blocking; returns whether output is left, and
    // then when its first byte is due.
    bool WriteDue(int fd, Clock::time_point* next_due);
    void CloseMaster();

    PtyPair pair_;
    std::string path_;
    int wake_fd_ = -1;
    std::thread worker_;
    bool started_ = false;

    std::atomic<bool> silent_{false};
    std::atomic<int> reply_delay_ms_{0};
    std::atomic<int> byte_delay_ms_{0};
    std::atomic<bool> stop_requested_{false};
    std::atomic<bool> hangup_requested_{false};

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    Device device_;
    std::deque<Chunk> out_;  // bytes not yet written, in order
    std::size_t out_bytes_ = 0;
    Clock::time_point last_due_{};
    std::uint64_t bytes_received_ = 0;
    bool ready_ = false;
    bool master_closed_ = false;
};

}  // namespace vardex::sim
