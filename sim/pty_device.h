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
// Time: the device's clock is the worker's steady clock divided by
// VARDEX_TIME_SCALE, so the loader's NAK, trace lines and call charges come
// faster in a scaled test. The worker sleeps in ppoll() until the next byte, the
// next output due or the device's next deadline; it never polls in a loop.
//
// Faults, switchable at any time from any thread: silence (input read and
// dropped, nothing answered) for good or for one command line, delays (before a
// reply and between its bytes, in milliseconds scaled by VARDEX_TIME_SCALE),
// the next reply cut short or preceded by garbage, values refused (on the
// device), and hang-up (the master closes: the port sees POLLHUP, which the
// program's SerialPort reports as DSR off). A pseudo-terminal has no modem
// lines, so CTS or DSR off on their own cannot be shown; the hang-up is the one
// line-state fault there is, and it is final for this PtyDevice. Offered as a
// USB modem line, the device can also be unplugged (its name goes with the
// line, as a USB device's does) and plugged in again under a new name.
#pragma once

#include <time.h>

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
#include "platform/unique_fd.h"
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
    bool Start(platform::SysError* error);
    void Stop();

    // The slave path; empty before Start.
    const std::string& Path() const { return path_; }

    void Hangup();
    bool HungUp() const;

    // Offers the port as a USB modem line: a symbolic link DIR/ttyACMn to the
    // pseudo-terminal. The first plug-in takes the lowest n free in DIR, each
    // later one the next free n above the last, as the kernel numbers a device
    // that comes back while a program still holds its old number. Call before
    // Start; the link goes at Stop (or Unplug).
    void SetUsbDirectory(std::string dir);
    // The USB name while plugged in; empty otherwise and without a USB directory.
    std::string UsbName() const;
    // The USB device is pulled out: its name goes and the other side closes, so
    // that the program's port fails as on a device that vanished (a hang-up
    // whose name stays is only DSR off). Not final: Replug brings it back.
    // Returns once the other side is closed (bounded wait).
    void Unplug();
    // Plugged in again: a fresh pseudo-terminal under the next USB name; the
    // device keeps its state. False (with *error) when it is plugged in, was never
    // started, or the pseudo-terminal cannot be made. Path() and UsbName() change
    // here: call it from the thread that reads them.
    bool Replug(platform::SysError* error);
    void SetSilent(bool silent) { silent_.store(silent); }
    // Drops the bytes of the next command line, up to and including its CR.
    void SilenceNextCommand() { silence_once_.store(true); }
    // The next reply (not echo, not unsolicited output) loses its second half.
    void CutNextReply() { cut_next_reply_.store(true); }
    // The next reply is preceded by count bytes of line noise (never NAK, CR or LF).
    void GarbleNextReply(int count) { garbage_next_reply_.store(count); }
    // Every n-th reply from now on (0: none) is preceded by count bytes of noise,
    // or (CutEveryReply) loses its second half.
    void GarbleEveryReply(int n, int count) {
        garbage_count_.store(count);
        garbage_every_.store(n);
    }
    void CutEveryReply(int n) { cut_every_.store(n); }
    // The next reply waits ms (scaled) more before it starts: it comes after the
    // program stopped waiting for it, in the way of the next exchange.
    void DelayNextReply(int ms) { late_next_reply_ms_.store(ms); }
    // The next reply stops for ms (scaled) after its first `after` bytes, as a
    // device that is busy in the middle of its answer.
    void PauseNextReply(int after, int ms) {
        pause_after_.store(after);
        pause_ms_.store(ms);
    }
    // After the next reply, the line "\r\n" text "\r\n" follows ms (scaled)
    // behind its last byte, as a line the device sends on its own (a call's
    // RING). Output queued later waits behind it.
    void SendLineAfterNextReply(std::string text, int ms) {
        std::lock_guard<std::mutex> lock(mutex_);
        line_after_reply_ = "\r\n" + text + "\r\n";
        line_after_reply_ms_ = ms;
    }
    void SetRefuseWrites(bool refuse) {
        Modify([refuse](Device& device) { device.SetRefuseWrites(refuse); });
    }
    void LoseCommands(std::string prefix, int count) {
        Modify([&prefix, count](Device& device) { device.LoseCommands(prefix, count); });
    }
    // Pause after a command line before its reply starts.
    void SetReplyDelayMs(int ms) { reply_delay_ms_.store(ms); }
    // Pause between the bytes of a reply.
    void SetByteDelayMs(int ms) { byte_delay_ms_.store(ms); }

    // Snapshots of the device state.
    std::uint8_t Register(int number) const;
    bool Echo() const;
    std::uint64_t CommandCount() const;
    // CPU time the worker thread has used so far; zero before Start and after Stop.
    std::chrono::nanoseconds WorkerCpuTime() const;
    // Bytes taken from the port so far, silent or not, and a bounded wait for a
    // count: the handshake a test needs before it changes a fault setting.
    std::uint64_t BytesReceived() const;
    bool WaitForBytesReceived(std::uint64_t count, std::chrono::milliseconds limit) const;
    // A bounded wait until everything queued so far (delayed output included)
    // is on the line, for a test that needs a late line to be there first.
    bool WaitForOutputSent(std::chrono::milliseconds limit) const;
    // Keeps a copy of every byte taken from the port from now on (off: forgets
    // it), for tests that compare what a job sent with a recording.
    void KeepReceivedBytes(bool keep);
    std::string ReceivedBytes() const;

    // Runs f on the device under its lock, for reads the accessors above do not
    // cover. f must not call back into this PtyDevice.
    template <typename F>
    auto Inspect(F&& f) const {
        std::lock_guard<std::mutex> lock(mutex_);
        return std::forward<F>(f)(static_cast<const Device&>(device_));
    }
    // Changes the device under its lock (test set-up: a register, a state).
    // Output it causes goes out as usual. The device's clock moves only when
    // something happens to it, so it is brought to now first: a change made
    // after an idle spell (a flood's start) must not date from before it.
    template <typename F>
    void Modify(F&& f) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            device_.AdvanceTo(DeviceNow());
            std::forward<F>(f)(device_);
        }
        Wake();
    }

private:
    enum class Kind { kEcho, kReply, kUnsolicited };
    struct Chunk {
        platform::Clock::time_point due;
        std::string bytes;
    };

    void Run();
    void Wake();
    void Enqueue(std::string_view bytes, Kind kind);  // under mutex_
    // Device time from the steady clock, and back; under mutex_ or in the worker.
    std::int64_t DeviceNow() const;
    platform::Clock::time_point RealTime(std::int64_t device_ms) const;
    // Feeds what the worker read, minus a silenced command line.
    void Deliver(std::string_view bytes);  // under mutex_
    // Writes what is due without blocking; returns whether output is left, and
    // then when its first byte is due.
    bool WriteDue(int fd, platform::Clock::time_point* next_due);
    void CloseMaster();
    // Places the USB link for the current pseudo-terminal; false when it fails.
    bool PlugIn(platform::SysError* error);
    void RemoveUsbLink();

    platform::PtyPair pair_;
    platform::PtyPair replacement_;  // handed to the worker by Replug, under mutex_
    std::string usb_dir_;
    std::string usb_name_;  // under mutex_
    int usb_number_ = -1;   // of the last plug-in
    std::string path_;
    platform::UniqueFd wake_fd_;
    std::thread worker_;
    bool started_ = false;

    std::atomic<bool> silent_{false};
    std::atomic<bool> silence_once_{false};
    std::atomic<bool> cut_next_reply_{false};
    std::atomic<int> garbage_next_reply_{0};
    std::atomic<int> garbage_every_{0};
    std::atomic<int> garbage_count_{0};
    std::atomic<int> cut_every_{0};
    std::atomic<int> late_next_reply_ms_{0};
    std::atomic<int> pause_after_{-1};
    std::atomic<int> pause_ms_{0};
    std::string line_after_reply_;  // under mutex_
    int line_after_reply_ms_ = 0;   // under mutex_
    std::uint64_t replies_ = 0;     // under mutex_
    std::atomic<int> reply_delay_ms_{0};
    std::atomic<int> byte_delay_ms_{0};
    std::atomic<bool> stop_requested_{false};
    std::atomic<bool> hangup_requested_{false};
    std::atomic<bool> replug_requested_{false};

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    Device device_;
    std::deque<Chunk> out_;  // bytes not yet written, in order
    std::size_t out_bytes_ = 0;
    platform::Clock::time_point last_due_{};
    platform::Clock::time_point epoch_ = platform::Clock::now();
    std::uint32_t noise_seed_ = 0x9E3779B9u;
    clockid_t worker_clock_{};
    bool worker_running_ = false;
    std::uint64_t bytes_received_ = 0;
    bool keep_received_ = false;
    std::string received_;
    bool ready_ = false;
    bool master_closed_ = false;
};

}  // namespace vardex::sim
