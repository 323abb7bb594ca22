// Per-thread message queues: the stand-in for a thread's window-message queue.
// Another thread (or the telephony provider) posts work to the queue of the
// thread that owns it; the owner runs the work only when it dispatches, so
// callbacks arrive where and when the calling code expects them.
#pragma once

#include <chrono>
#include <functional>
#include <memory>

namespace vardex {

class ThreadQueue;

// The calling thread's queue, made on first use. The queue lives as long as the
// thread or the last holder of the pointer; posting to the queue of a thread that
// has ended drops the work.
std::shared_ptr<ThreadQueue> CurrentThreadQueue();

// Thread-safe. Returns false when the queue's thread has ended.
bool PostToQueue(const std::shared_ptr<ThreadQueue>& queue, std::function<void()> work);

// Runs one waiting item of the calling thread's queue, if any; true when one ran.
bool DispatchOneMessage();

// Blocks until the calling thread's queue holds an item or the time is up.
bool WaitForQueuedMessage(std::chrono::steady_clock::time_point deadline);

// The C interface handed to the telephony provider in place of a module instance.
extern "C" {
struct VardexHostServices {
    unsigned version;  // 1
    void* (*acquire_current_queue)(void);
    void (*release_queue)(void* queue);
    // Queues fn(arg) to run on the queue's thread; when it cannot (the thread has
    // ended), drop(arg) runs at once instead. Returns 1 when queued.
    int (*post)(void* queue, void (*fn)(void*), void* arg, void (*drop)(void*));
};
}
const VardexHostServices* HostServices();

}  // namespace vardex
