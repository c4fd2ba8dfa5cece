#pragma once

#include <QtCore/QMetaObject>
#include <QtCore/QObject>
#include <QtCore/QThread>

#include <atomic>
#include <memory>
#include <type_traits>

namespace Taviosystem {

// Runs `work` on the thread that owns `object` and hands back its result: at once when called
// there, otherwise queued to that thread while the caller waits (the owner's event loop must be
// running). The cloud objects and their client belong to that one thread.
template <typename Work>
auto onOwnThread(QObject* object, Work work) -> decltype(work())
{
    using Result = decltype(work());
    if (QThread::currentThread() == object->thread())
        return work();
    // The wait itself happens inside Qt; the flag also orders the caller's state before the work
    // and the work's result before the caller reads it, visibly to thread checkers.
    auto handOver = std::make_shared<std::atomic<bool>>(false);
    handOver->store(true, std::memory_order_release);
    if constexpr (std::is_void_v<Result>) {
        QMetaObject::invokeMethod(
            object,
            [&work, handOver] {
                handOver->load(std::memory_order_acquire);
                work();
                handOver->store(false, std::memory_order_release);
            },
            Qt::BlockingQueuedConnection);
        handOver->load(std::memory_order_acquire);
    } else {
        Result result {};
        QMetaObject::invokeMethod(
            object,
            [&result, &work, handOver] {
                handOver->load(std::memory_order_acquire);
                result = work();
                handOver->store(false, std::memory_order_release);
            },
            Qt::BlockingQueuedConnection);
        handOver->load(std::memory_order_acquire);
        return result;
    }
}

} // namespace Taviosystem
