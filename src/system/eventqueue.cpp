#include "taviosystem_p.h"

namespace Taviosystem {

namespace {
const std::chrono::milliseconds EventMutexWait(TavioSystem::MutexTryLockTime);
}

// Runs on any thread: library callbacks, hubs, the host, the event thread itself.
void TavioSystem::asPostEvent(const AsEvent& event)
{
    if (!d->eventMutex.try_lock_for(EventMutexWait))
        return; // dropped: the queue is stuck
    d->eventQueue.append(event);
    d->eventMutex.unlock();
    d->eventCondition.notify_all();
}

// Once it returns, no event of that type for that handler is queued, and none taken from the
// queue before is still being handled (unless the caller is that handling itself, on the event
// thread): a session stopping can be sure its handler is no longer called with its packets.
void TavioSystem::removeEvents(EventType type, AbstractAsEventHandler* handler)
{
    if (!d->eventMutex.try_lock_for(EventMutexWait))
        return;
    d->eventQueue.removeIf([type, handler](const AsEvent& event) {
        return event.type == type && event.handler == handler;
    });
    if (handler && std::this_thread::get_id() != d->eventThread.get_id()) {
        const auto deadline = std::chrono::steady_clock::now() + EventMutexWait;
        while (d->dispatchingHandler == handler) {
            if (d->dispatchDone.wait_until(d->eventMutex, deadline) == std::cv_status::timeout)
                break;
        }
    }
    d->eventMutex.unlock();
}

bool TavioSystem::isStopping()
{
    std::lock_guard<TimedMutex> locker(d->eventMutex);
    return d->stopEventThread;
}

void TavioSystem::startEventThread()
{
    if (d->eventThread.joinable()) {
        {
            std::lock_guard<TimedMutex> locker(d->eventMutex);
            if (!d->stopEventThread)
                return; // already running: there is only ever one
        }
        // A thread asked to stop by an earlier shutdown(): wait for it before starting anew.
        d->eventThread.join();
    }
    releaseRetired();
    {
        std::lock_guard<TimedMutex> locker(d->eventMutex);
        d->stopEventThread = false;
        d->eventQueue.clear();
    }
    {
        std::lock_guard<std::mutex> locker(d->endMutex);
        d->eventThreadEnded = false;
    }
    d->eventThread = std::thread([this] { taviosystemEventHandler(); });
}

// Asks the event thread to end; the flag and the wake-up are given under the event mutex so the
// wake-up cannot be lost. Queued events are dropped: they may name hubs about to be deleted.
void TavioSystem::stopEventThread()
{
    std::lock_guard<TimedMutex> locker(d->eventMutex);
    d->stopEventThread = true;
    d->eventQueue.clear();
    d->eventCondition.notify_all();
}

// The body of the event thread: events are dispatched one at a time, in posting order, with
// the event mutex released so that handlers may post further events.
void TavioSystem::taviosystemEventHandler()
{
    for (;;) {
        if (!d->eventMutex.try_lock_for(EventMutexWait))
            continue;
        // Wake-ups can be spurious; the stop flag is set under the mutex, so none is lost.
        while (d->eventQueue.isEmpty() && !d->stopEventThread)
            d->eventCondition.wait(d->eventMutex);
        while (!d->stopEventThread && !d->eventQueue.isEmpty()) {
            const AsEvent event = d->eventQueue.takeFirst();
            d->dispatchingHandler = event.handler;
            d->eventMutex.unlock();
            dispatchEvent(event);
            // Blocking: the handler must be marked done, or a stop waiting for it would wait
            // its whole time.
            d->eventMutex.lock();
            d->dispatchingHandler = nullptr;
            d->dispatchDone.notify_all();
        }
        const bool stop = d->stopEventThread;
        d->eventMutex.unlock();
        if (stop)
            break;
    }
    std::lock_guard<std::mutex> locker(d->endMutex);
    d->eventThreadEnded = true;
    d->endCondition.notify_all();
}

void TavioSystem::dispatchEvent(const AsEvent& event)
{
    switch (event.type) {
    case EventType_HubsChanged:
        updateHubs();
        break;
    case EventType_ReadDeviceLists:
    case EventType_AsyncPacket:
    case EventType_GenericAsyncPacket:
        if (event.handler)
            event.handler->handleAsEvent(event.type, event.data);
        break;
    default:
        break;
    }
}

} // namespace Taviosystem
