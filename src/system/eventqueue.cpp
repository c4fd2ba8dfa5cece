#include "taviosystem_p.h"

namespace Taviosystem {

// Runs on any thread: library callbacks, hubs, the host, the event thread itself.
void TavioSystem::asPostEvent(const AsEvent& event)
{
    if (!m_eventMutex.tryLock(MutexTryLockTime))
        return; // dropped: the queue is stuck
    m_eventQueue.append(event);
    m_eventMutex.unlock();
    m_eventCondition.wakeAll();
}

void TavioSystem::removeEvents(EventType type, AbstractAsEventHandler* handler)
{
    if (!m_eventMutex.tryLock(MutexTryLockTime))
        return;
    m_eventQueue.removeIf([type, handler](const AsEvent& event) {
        return event.type == type && event.handler == handler;
    });
    m_eventMutex.unlock();
}

bool TavioSystem::isStopping()
{
    QMutexLocker locker(&m_eventMutex);
    return m_stopEventThread;
}

void TavioSystem::startEventThread()
{
    if (d->eventThread.joinable()) {
        {
            QMutexLocker locker(&m_eventMutex);
            if (!m_stopEventThread)
                return; // already running: there is only ever one
        }
        // A thread asked to stop by an earlier shutdown(): wait for it before starting anew.
        d->eventThread.join();
    }
    releaseRetired();
    {
        QMutexLocker locker(&m_eventMutex);
        m_stopEventThread = false;
        m_eventQueue.clear();
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
    QMutexLocker locker(&m_eventMutex);
    m_stopEventThread = true;
    m_eventQueue.clear();
    m_eventCondition.wakeAll();
}

// The body of the event thread: events are dispatched one at a time, in posting order, with
// the event mutex released so that handlers may post further events.
void TavioSystem::taviosystemEventHandler()
{
    for (;;) {
        if (!m_eventMutex.tryLock(MutexTryLockTime))
            continue;
        // Wake-ups can be spurious; the stop flag is set under the mutex, so none is lost.
        while (m_eventQueue.isEmpty() && !m_stopEventThread)
            m_eventCondition.wait(&m_eventMutex);
        bool locked = true;
        while (!m_stopEventThread && !m_eventQueue.isEmpty()) {
            const AsEvent event = m_eventQueue.takeFirst();
            m_eventMutex.unlock();
            dispatchEvent(event);
            if (!m_eventMutex.tryLock(MutexTryLockTime)) {
                locked = false;
                break;
            }
        }
        if (!locked)
            continue;
        const bool stop = m_stopEventThread;
        m_eventMutex.unlock();
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
