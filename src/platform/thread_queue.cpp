#include "thread_queue.h"

#include <condition_variable>
#include <deque>
#include <mutex>

namespace vardex {

class ThreadQueue {
public:
    bool Post(std::function<void()> work) {
        {
            std::lock_guard lock(mutex_);
            if (closed_) {
                return false;
            }
            items_.push_back(std::move(work));
        }
        ready_.notify_all();
        return true;
    }
    bool TakeOne(std::function<void()>* work) {
        std::lock_guard lock(mutex_);
        if (items_.empty()) {
            return false;
        }
        *work = std::move(items_.front());
        items_.pop_front();
        return true;
    }
    bool WaitUntil(std::chrono::steady_clock::time_point deadline) {
        std::unique_lock lock(mutex_);
        return ready_.wait_until(lock, deadline, [this] { return !items_.empty(); });
    }
    void Close() {
        std::deque<std::function<void()>> dropped;
        {
            std::lock_guard lock(mutex_);
            closed_ = true;
            dropped.swap(items_);
        }
    }

private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::function<void()>> items_;
    bool closed_ = false;
};

namespace {

// Closes the queue when its thread ends, so that later posts are refused.
struct QueueOwner {
    std::shared_ptr<ThreadQueue> queue = std::make_shared<ThreadQueue>();
    ~QueueOwner() { queue->Close(); }
};

QueueOwner& Owner() {
    thread_local QueueOwner owner;
    return owner;
}

void* AcquireCurrentQueue() {
    return new std::shared_ptr<ThreadQueue>(CurrentThreadQueue());
}

void ReleaseQueue(void* queue) {
    delete static_cast<std::shared_ptr<ThreadQueue>*>(queue);
}

// The provider's message is released through drop() whenever it is not delivered:
// refused at once, or thrown away with the queue of a thread that ended.
struct ProviderMessage {
    void (*fn)(void*) = nullptr;
    void* arg = nullptr;
    void (*drop)(void*) = nullptr;
    bool delivered = false;
    ~ProviderMessage() {
        if (!delivered && drop != nullptr) {
            drop(arg);
        }
    }
};

int PostForProvider(void* queue, void (*fn)(void*), void* arg, void (*drop)(void*)) {
    const auto& target = *static_cast<std::shared_ptr<ThreadQueue>*>(queue);
    auto message = std::make_shared<ProviderMessage>();
    message->fn = fn;
    message->arg = arg;
    message->drop = drop;
    return PostToQueue(target,
                       [message] {
                           message->delivered = true;
                           message->fn(message->arg);
                       })
               ? 1
               : 0;
}

constexpr VardexHostServices kHostServices = {1, AcquireCurrentQueue, ReleaseQueue,
                                              PostForProvider};

}  // namespace

std::shared_ptr<ThreadQueue> CurrentThreadQueue() {
    return Owner().queue;
}

bool PostToQueue(const std::shared_ptr<ThreadQueue>& queue, std::function<void()> work) {
    return queue && queue->Post(std::move(work));
}

bool DispatchOneMessage() {
    std::function<void()> work;
    if (!Owner().queue->TakeOne(&work)) {
        return false;
    }
    work();
    return true;
}

bool WaitForQueuedMessage(std::chrono::steady_clock::time_point deadline) {
    return Owner().queue->WaitUntil(deadline);
}

const VardexHostServices* HostServices() {
    return &kHostServices;
}

}  // namespace vardex
