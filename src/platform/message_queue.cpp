#include "message_queue.h"

namespace vardex::platform {

bool MessageQueue::Post(std::function<void()> work) {
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

bool MessageQueue::DispatchOne() {
    std::function<void()> work;
    {
        std::lock_guard lock(mutex_);
        if (items_.empty()) {
            return false;
        }
        work = std::move(items_.front());
        items_.pop_front();
    }
    work();
    return true;
}

bool MessageQueue::WaitUntil(std::chrono::steady_clock::time_point deadline) {
    std::unique_lock lock(mutex_);
    return ready_.wait_until(lock, deadline, [this] { return !items_.empty(); });
}

void MessageQueue::DropAll() {
    std::deque<std::function<void()>> dropped;
    {
        std::lock_guard lock(mutex_);
        dropped.swap(items_);
    }
    // Destroyed here, outside the lock: a provider message releases itself
    // through its drop function.
}

void MessageQueue::Close() {
    std::deque<std::function<void()>> dropped;
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
        dropped.swap(items_);
    }
    // The dropped items are destroyed here, outside the lock: a provider message
    // releases itself through its drop function.
}

namespace {

using QueueRef = std::shared_ptr<MessageQueue>;

void* AcquireQueue(void* context) {
    return new QueueRef(*static_cast<QueueRef*>(context));
}

void ReleaseQueue(void* queue) {
    delete static_cast<QueueRef*>(queue);
}

// The provider's message is released through drop() whenever it is not delivered:
// refused at once, or thrown away with a closed queue.
struct ProviderMessage {
    void (*fn)(void*) = nullptr;
    void* arg = nullptr;
    void (*drop)(void*) = nullptr;
    bool delivered = false;
    ProviderMessage() = default;
    ProviderMessage(const ProviderMessage&) = delete;
    ProviderMessage& operator=(const ProviderMessage&) = delete;
    ~ProviderMessage() {
        if (!delivered && drop != nullptr) {
            drop(arg);
        }
    }
};

int PostForProvider(void* queue, void (*fn)(void*), void* arg, void (*drop)(void*)) {
    const QueueRef& target = *static_cast<QueueRef*>(queue);
    auto message = std::make_shared<ProviderMessage>();
    message->fn = fn;
    message->arg = arg;
    message->drop = drop;
    return target && target->Post([message] {
        message->delivered = true;
        message->fn(message->arg);
    })
               ? 1
               : 0;
}

}  // namespace

HostServices::HostServices(std::shared_ptr<MessageQueue> queue) : queue_(std::move(queue)) {
    services_.version = VARDEX_HOST_SERVICES_VERSION;
    services_.context = &queue_;
    services_.acquire_queue = AcquireQueue;
    services_.release_queue = ReleaseQueue;
    services_.post = PostForProvider;
}

}  // namespace vardex::platform
