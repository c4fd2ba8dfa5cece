#pragma once

#include <taviosystem/taviosystem.h>

#include "platform/timedmutex.h"

#include <QtCore/QMetaObject>

#include <shared_mutex>

#include <condition_variable>
#include <memory>
#include <vector>
#include <mutex>
#include <thread>

namespace Taviosystem {

class TwoPointFourGHzHub;
class VirtualTessalyHub;
class LegacyhubRegistrationSessionImpl;
class TaviohubExpressionNamingSessionImpl;
class TaviohubRegistrationSessionImpl;
class TaviohubSlateNamingSessionImpl;
class TaviohubTavioteNamingSessionImpl;

// One kind of host-level session: the public object the host holds, what stands behind it,
// and the connections that forward the hub's signals to it. All owned by the system.
template <typename Public, typename Impl>
struct HostSession
{
    Public* session = nullptr;
    Impl* impl = nullptr;
    Hub* hub = nullptr; // the hub the normal implementation works on
    QList<QMetaObject::Connection> connections;
};

struct TavioSystem::Private
{
    // Guards m_hubs and the two display maps: packet threads look hubs up while discovery
    // (event thread) or the host change the table. Never held while calling out.
    mutable std::shared_mutex hubsLock;
    // Guards the wrapper pointer against shutdown while a library thread calls through it.
    mutable std::shared_mutex wrapperLock;

    // Discovery runs on the event thread and inside initialise(): one pass at a time, or two
    // passes could both take a new receiver for theirs. Recursive: a pass may start another, and
    // a host told of a hub may shut the system down from inside that notification. shutdown()
    // holds it too, so that no pass tells the host anything once shutdown() has returned.
    std::recursive_timed_mutex updateMutex;

    QString libraryName;

    // The event queue: taken with a time limit by every user, woken through the condition.
    TimedMutex eventMutex;
    std::condition_variable_any eventCondition;
    QList<AsEvent> eventQueue;
    bool stopEventThread = false;
    // The handler of the event the event thread is handling now (null between events), and the
    // wake-up of those waiting for it to be done.
    AbstractAsEventHandler* dispatchingHandler = nullptr;
    std::condition_variable_any dispatchDone;

    // The one event thread of the process, with its end signalled to shutdown().
    std::thread eventThread;
    std::mutex endMutex;
    std::condition_variable endCondition;
    bool eventThreadEnded = true;

    // What shutdown() could not delete because the event thread was still busy with it; freed
    // once that thread has been joined.
    QList<Hub*> retiredHubs;

    // Guards the host-session slots below, m_currentSession, m_sessionHub and
    // m_legacySessionHub. Never held while a hub is waited for or the host is called.
    std::mutex sessionsLock;
    // Session objects set aside while the host may still reach them: freed with the hubs.
    std::vector<std::unique_ptr<void, void (*)(void*)>> parkedSessionObjects;
    HostSession<TaviohubRegistrationSession, TaviohubRegistrationSessionImpl> registration;
    HostSession<TaviohubExpressionNamingSession, TaviohubExpressionNamingSessionImpl>
        expressionNaming;
    HostSession<TaviohubVoteNamingSession, TaviohubTavioteNamingSessionImpl> voteNaming;
    HostSession<TaviohubSlateNamingSession, TaviohubSlateNamingSessionImpl> slateNaming;
    HostSession<LegacyhubRegistrationSession, LegacyhubRegistrationSessionImpl> legacyRegistration;
    QList<AbstractHardwareWrapper*> retiredWrappers;

    // The cloud hub (listed in m_hubs while signed in) and the texts of the last sign-in.
    VirtualTessalyHub* tessalyHub = nullptr;
    QString tessalyServerUrl;
    QString tessalyUserName;
    QString tessalyPassword;
};

} // namespace Taviosystem
