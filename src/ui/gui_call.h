// Hands a call from any thread to the thread that owns a QObject (the GUI
// thread for every widget) and waits for its answer. Worker threads reach the
// person only through this: they never touch a widget themselves.
//
// Blocks until the GUI thread has run f; the GUI thread must therefore never
// wait for a worker while that worker may be in such a call (the progress
// dialog joins its worker only after the worker's last call has returned).
// Called on the owner's thread, f runs at once.
#pragma once

#include <QMetaObject>
#include <QObject>
#include <QThread>
#include <type_traits>
#include <utility>

namespace vardex::ui {

template <typename F>
auto CallOnGuiThread(QObject* context, F&& f) -> std::invoke_result_t<F> {
    using R = std::invoke_result_t<F>;
    if (QThread::currentThread() == context->thread()) {
        return std::forward<F>(f)();
    }
    if constexpr (std::is_void_v<R>) {
        QMetaObject::invokeMethod(context, std::forward<F>(f), Qt::BlockingQueuedConnection);
    } else {
        R result{};
        QMetaObject::invokeMethod(
            context, [&result, &f] { result = f(); }, Qt::BlockingQueuedConnection);
        return result;
    }
}

// Queues f to the owner's thread and returns at once (the posted message).
template <typename F>
void PostToGuiThread(QObject* context, F&& f) {
    QMetaObject::invokeMethod(context, std::forward<F>(f), Qt::QueuedConnection);
}

}  // namespace vardex::ui
