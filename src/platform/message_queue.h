// The queue the telephony provider's callbacks go to: the stand-in for the
// message queue through which a telephony service delivers its callbacks.
//
// The queue belongs to the telephony service, not to a thread: a service that
// one job's worker initialised is used by later jobs' workers and shut down at
// exit by the UI thread, and work posted to the queue of a thread that has
// ended would be lost (every wait for a reply would then run out its time).
// Work still runs only when a thread dispatches the queue, inside the wait for
// a reply, so callbacks arrive where and when the calling code expects them.
//
// Threads: Post may come from any thread; one thread at a time dispatches.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

#include "platform/tapi_api.h"

namespace vardex::platform {

class MessageQueue {
public:
    // False once the queue is closed.
    bool Post(std::function<void()> work);
    // Runs one waiting item on the calling thread; true when one ran.
    bool DispatchOne();
    // Blocks until an item waits or the time is up; true when one waits.
    bool WaitUntil(std::chrono::steady_clock::time_point deadline);
    // Drops what waits (messages of a service that has ended mean nothing).
    void DropAll();
    // Refuses later posts and drops what waits.
    void Close();

private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::function<void()>> items_;
    bool closed_ = false;
};

// Host services whose callbacks go to one queue. The object must outlive the
// provider's use of it (until lineShutdown); it is neither copied nor moved,
// since the provider keeps a pointer to it.
class HostServices {
public:
    explicit HostServices(std::shared_ptr<MessageQueue> queue);
    HostServices(const HostServices&) = delete;
    HostServices& operator=(const HostServices&) = delete;

    const VardexHostServices* Get() const { return &services_; }
    MessageQueue& Queue() const { return *queue_; }

private:
    std::shared_ptr<MessageQueue> queue_;
    VardexHostServices services_{};
};

}  // namespace vardex::platform
