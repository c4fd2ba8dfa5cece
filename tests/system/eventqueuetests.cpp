// The event queue and its thread: order, re-entrant posting, selective removal and a shutdown
// that does not wait for a busy thread.

#include "support/emulatorfixture.h"

#include <taviosystem/taviosystem.h>

#include <QtCore/QMutex>
#include <QtCore/QMutexLocker>

#include <condition_variable>
#include <mutex>
#include <thread>

using namespace Taviosystem;
using namespace TavioTest;

namespace {

// A one-shot gate: threads wait until it is opened.
class Gate
{
public:
    void open()
    {
        std::lock_guard<std::mutex> locker(m_mutex);
        m_open = true;
        m_condition.notify_all();
    }
    bool wait(std::chrono::milliseconds timeout = 5000ms)
    {
        std::unique_lock<std::mutex> locker(m_mutex);
        return m_condition.wait_for(locker, timeout, [this] { return m_open; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_condition;
    bool m_open = false;
};

// Records what it receives, on the event thread.
class RecordingHandler : public AbstractAsEventHandler
{
public:
    void handleAsEvent(EventType type, const QByteArray& data) override
    {
        if (onEvent)
            onEvent(type, data);
        QMutexLocker locker(&mutex);
        events.append(qMakePair(int(type), data));
        thread = std::this_thread::get_id();
    }
    QList<QPair<int, QByteArray>> received()
    {
        QMutexLocker locker(&mutex);
        return events;
    }
    int count()
    {
        QMutexLocker locker(&mutex);
        return int(events.size());
    }

    std::function<void(EventType, const QByteArray&)> onEvent;
    QMutex mutex;
    QList<QPair<int, QByteArray>> events;
    std::thread::id thread;
};

TavioSystem::AsEvent makeEvent(
    EventType type, AbstractAsEventHandler* handler, const QByteArray& data = QByteArray())
{
    TavioSystem::AsEvent event;
    event.type = type;
    event.handler = handler;
    event.data = data;
    return event;
}

class EventQueueTest : public EmulatorTest
{
protected:
    void SetUp() override
    {
        EmulatorTest::SetUp();
        initialiseSystem();
    }
};

TEST_F(EventQueueTest, EventsFromManyThreadsKeepEachThreadsOrder)
{
    RecordingHandler handler;
    const int threads = 4;
    const int perThread = 200;
    std::vector<std::thread> posters;
    for (int t = 0; t < threads; ++t) {
        posters.emplace_back([&, t] {
            for (int i = 0; i < perThread; ++i) {
                QByteArray data;
                data.append(char(t)).append(QByteArray::number(i));
                system->asPostEvent(makeEvent(EventType_AsyncPacket, &handler, data));
            }
        });
    }
    for (auto& poster : posters)
        poster.join();
    ASSERT_TRUE(waitFor([&] { return handler.count() == threads * perThread; }));
    EXPECT_NE(handler.thread, std::this_thread::get_id());
    std::vector<int> next(threads, 0);
    for (const auto& event : handler.received()) {
        const int t = event.second.at(0);
        EXPECT_EQ(event.second.mid(1).toInt(), next[t]) << "thread " << t;
        next[t] = event.second.mid(1).toInt() + 1;
    }
}

TEST_F(EventQueueTest, EventsPostedWhileBusyOrFromAHandlerComeAfterTheCurrentOne)
{
    RecordingHandler handler;
    Gate started;
    Gate release;
    handler.onEvent = [&](EventType type, const QByteArray& data) {
        if (data == "first") {
            started.open();
            release.wait();
            // Posted from within the handler: delivered after this one returns.
            system->asPostEvent(makeEvent(type, &handler, "from-handler"));
        }
    };
    system->asPostEvent(makeEvent(EventType_AsyncPacket, &handler, "first"));
    ASSERT_TRUE(started.wait());
    system->asPostEvent(makeEvent(EventType_GenericAsyncPacket, &handler, "second"));
    system->asPostEvent(makeEvent(EventType_AsyncPacket, &handler, "third"));
    release.open();
    ASSERT_TRUE(waitFor([&] { return handler.count() == 4; }));
    const auto events = handler.received();
    EXPECT_EQ(events[0].second, QByteArray("first"));
    EXPECT_EQ(events[1].second, QByteArray("second"));
    EXPECT_EQ(events[1].first, int(EventType_GenericAsyncPacket));
    EXPECT_EQ(events[2].second, QByteArray("third"));
    EXPECT_EQ(events[3].second, QByteArray("from-handler"));
}

TEST_F(EventQueueTest, RemoveEventsTakesOnlyThatTypeOfThatHandler)
{
    RecordingHandler blocker;
    RecordingHandler mine;
    RecordingHandler other;
    Gate started;
    Gate release;
    blocker.onEvent = [&](EventType, const QByteArray&) {
        started.open();
        release.wait();
    };
    system->asPostEvent(makeEvent(EventType_AsyncPacket, &blocker));
    ASSERT_TRUE(started.wait());
    system->asPostEvent(makeEvent(EventType_AsyncPacket, &mine, "a"));
    system->asPostEvent(makeEvent(EventType_GenericAsyncPacket, &mine, "b"));
    system->asPostEvent(makeEvent(EventType_AsyncPacket, &other, "c"));
    system->asPostEvent(makeEvent(EventType_AsyncPacket, &mine, "d"));
    system->asPostEvent(makeEvent(EventType_GenericAsyncPacket, &mine, "e"));
    system->removeEvents(EventType_AsyncPacket, &mine);
    release.open();
    ASSERT_TRUE(waitFor([&] { return mine.count() == 2 && other.count() == 1; }));
    const auto kept = mine.received();
    EXPECT_EQ(kept[0].second, QByteArray("b"));
    EXPECT_EQ(kept[1].second, QByteArray("e"));
    EXPECT_EQ(other.received()[0].second, QByteArray("c"));
}

TEST_F(EventQueueTest, NullHandlersAndUnknownTypesAreIgnored)
{
    RecordingHandler handler;
    system->asPostEvent(makeEvent(EventType_ReadDeviceLists, nullptr));
    system->asPostEvent(makeEvent(EventType(9), &handler));
    system->asPostEvent(makeEvent(EventType_ReadDeviceLists, &handler, "last"));
    ASSERT_TRUE(waitFor([&] { return handler.count() == 1; }));
    EXPECT_EQ(handler.received()[0].second, QByteArray("last"));
}

TEST_F(EventQueueTest, ShutdownDoesNotWaitForABusyHandler)
{
    RecordingHandler handler;
    Gate started;
    Gate release;
    std::atomic<bool> finished { false };
    handler.onEvent = [&](EventType, const QByteArray& data) {
        if (data == "busy") {
            started.open();
            release.wait();
            finished = true;
        }
    };
    system->asPostEvent(makeEvent(EventType_AsyncPacket, &handler, "busy"));
    system->asPostEvent(makeEvent(EventType_AsyncPacket, &handler, "stale"));
    ASSERT_TRUE(started.wait());
    EXPECT_TRUE(system->shutdown()); // returns while the handler is still blocked
    EXPECT_FALSE(finished);
    release.open();
    ASSERT_TRUE(waitFor([&] { return finished.load(); }));

    // The queued event was dropped with the shutdown, and a new start runs a new thread.
    ASSERT_TRUE(system->initialise());
    system->asPostEvent(makeEvent(EventType_AsyncPacket, &handler, "after"));
    ASSERT_TRUE(waitFor([&] { return handler.count() == 2; }));
    EXPECT_EQ(handler.received()[1].second, QByteArray("after"));
}

TEST_F(EventQueueTest, ShutdownWhileDiscoveryIsBusyKeepsItsHubsAliveUntilItEnds)
{
    plugHub(1);
    ASSERT_TRUE(waitFor([&] { return system->testHub(1) != nullptr; }));
    Gate started;
    Gate release;
    system->beforeUpdateHubs = [&] {
        started.open();
        release.wait();
    };
    // A second receiver arrives: discovery runs on the event thread and blocks.
    plugHub(2);
    ASSERT_TRUE(started.wait());
    EXPECT_TRUE(system->shutdown());
    release.open();
    system->beforeUpdateHubs = nullptr;

    // The late discovery run finds the system shut down and adds nothing; a new start works.
    ASSERT_TRUE(system->initialise());
    QList<Hub*> hubs;
    ASSERT_TRUE(system->getHubList(&hubs));
    EXPECT_EQ(hubs.size(), 2);
}

TEST_F(EventQueueTest, PlugAndPlayRunsDiscoveryOnTheEventThread)
{
    const int before = system->updateHubsRuns;
    plugHub(8);
    ASSERT_TRUE(waitFor([&] { return system->testHub(8) != nullptr; }));
    EXPECT_GT(system->updateHubsRuns, before);
    // The hub is owned by the system's thread, so its timers run there.
    EXPECT_EQ(system->testHub(8)->thread(), system->thread());
}

} // namespace
