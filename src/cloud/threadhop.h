#pragma once

#include <QtCore/QMetaObject>
#include <QtCore/QObject>
#include <QtCore/QThread>

#include <type_traits>

namespace Taviosystem {

// Runs `work` on the thread that owns `object` and hands back its result: at once when called
// there, otherwise queued to that thread while the caller waits (the owner's event loop must be
// running). The cloud objects and their client belong to that one thread.
template <typename Work>
auto onOwnThread(QObject* object, Work work) -> decltype(work())
{
    using Result = decltype(work());
    if (QThread::currentThread() == object->thread()) {
        return work();
    } else if constexpr (std::is_void_v<Result>) {
        QMetaObject::invokeMethod(object, work, Qt::BlockingQueuedConnection);
    } else {
        Result result {};
        QMetaObject::invokeMethod(
            object, [&result, &work] { result = work(); }, Qt::BlockingQueuedConnection);
        return result;
    }
}

} // namespace Taviosystem
