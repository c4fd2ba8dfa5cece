// The registration and naming sessions a host starts through the system: one public object per
// kind, bound to one hub (a 2.4 GHz hub, or a legacy hub for legacy registration), retired to an
// error implementation when that hub goes away or when a later start of the same kind replaces it.
//
// The slots, m_currentSession and m_sessionHub are changed by host threads (start, stop) and by
// the event thread (a hub leaving) under d->sessionsLock, which is never held while the hub is
// waited for or the host is called.

#include "taviosystem_p.h"

#include "hub24/taviohubsessionimpls.h"
#include "legacy/legacysessionimpls.h"

#include <taviosystem/legacyhub.h>
#include <taviosystem/legacyhubregistrationsession.h>
#include <taviosystem/taviohubslatenamingsession.h>
#include <taviosystem/twopointfourghzhub.h>

#include <type_traits>

#include <type_traits>

namespace Taviosystem {

namespace {
enum SessionKind {
    Kind_None = 0,
    Kind_HubRegistration = 1,
    Kind_ExpressionNaming = 2,
    Kind_VoteNaming = 3,
    Kind_SlateNaming = 4,
    Kind_LegacyRegistration = 5
};

// Whether the hub is running a session that a host-level session of `kind` started. (A legacy
// registration session leaves its hub alone when it goes.)
bool isRunningKind(const Hub* hub, int kind)
{
    if (kind == Kind_LegacyRegistration)
        return false;
    switch (hub->sessionType()) {
    case Hub::SessionType_ExpressionRegistration:
    case Hub::SessionType_VoteRegistration:
    case Hub::SessionType_SlateRegistration:
        return kind == Kind_HubRegistration;
    case Hub::SessionType_ExpressionNaming:
        return kind == Kind_ExpressionNaming;
    case Hub::SessionType_VoteNaming:
        return kind == Kind_VoteNaming;
    case Hub::SessionType_SlateNaming:
        return kind == Kind_SlateNaming;
    default:
        return false;
    }
}

template <typename Slot>
void disconnectSlot(Slot& slot)
{
    for (const QMetaObject::Connection& connection : std::as_const(slot.connections))
        QObject::disconnect(connection);
    slot.connections.clear();
}
} // namespace

// Freed at shutdown (or once the event thread has let go of the hubs), never before: the host
// may still hold the public object, and a host thread may still be inside the implementation.
template <typename T>
void TavioSystem::parkSessionObject(T* object)
{
    if (object)
        d->parkedSessionObjects.emplace_back(
            object, [](void* parked) { delete static_cast<T*>(parked); });
}

template <typename Slot>
void TavioSystem::deleteHostSession(Slot& slot)
{
    disconnectSlot(slot);
    delete slot.session;
    delete slot.impl;
    slot.session = nullptr;
    slot.impl = nullptr;
    slot.hub = nullptr;
}

// Caller holds d->sessionsLock. The public object stays where it is and refuses every call from
// now on; the implementation it had lets go of its hub and is parked.
template <typename ErrorImpl, typename Slot>
void TavioSystem::swapHostSession(Slot& slot)
{
    if (!slot.session)
        return;
    disconnectSlot(slot);
    slot.impl->retire();
    parkSessionObject(slot.impl);
    slot.impl = new ErrorImpl;
    slot.session->m_impl = slot.impl;
    slot.hub = nullptr;
}

// Forwarding connections are direct: the hub's signals come on the packet thread, and the
// host's slots run there unless the host connects them queued.
// make(hub) creates the implementation and the public object into the slot and answers the
// forwarding connections, or an empty list when one of them could not be made.
template <typename ErrorImpl, typename Slot, typename MakeSession, typename StopHub>
bool TavioSystem::startHostSession(
    Slot& slot, int kind, int handle, MakeSession make, StopHub stopHub)
{
    // An earlier object of this kind that the host may still hold: it is retired, and its hub
    // session ended when it is still running there.
    // The hub class the kind works on, and its own check of the handle and session hub marker.
    using HubClass = std::remove_pointer_t<decltype(slot.impl->hub())>;
    const bool legacy = kind == Kind_LegacyRegistration;
    const auto isValidHandle = [this, legacy](int handle) {
        return legacy ? isValidLegacyhubHandle(handle) : isValidTaviohubHandle(handle);
    };
    HubClass* earlierHub = nullptr;
    {
        std::lock_guard<std::mutex> locker(d->sessionsLock);
        if (!m_initialised || m_currentSession == kind || !isValidHandle(handle))
            return false;
        if (!qobject_cast<HubClass*>(hubForHandle(handle)))
            return false;
        if (slot.session) {
            earlierHub = slot.impl->hub();
            swapHostSession<ErrorImpl>(slot);
            parkSessionObject(slot.session);
            parkSessionObject(slot.impl);
            slot.session = nullptr;
            slot.impl = nullptr;
        }
    }
    if (earlierHub && isRunningKind(earlierHub, kind))
        stopHub(earlierHub);

    std::lock_guard<std::mutex> locker(d->sessionsLock);
    // Checked again: the lock was let go while the hub was waited for.
    if (!m_initialised || m_currentSession == kind || slot.session || !isValidHandle(handle))
        return false;
    auto* hub = qobject_cast<HubClass*>(hubForHandle(handle));
    if (!hub)
        return false;
    slot.hub = hub;
    slot.connections = make(hub);
    bool connected = !slot.connections.isEmpty();
    for (const QMetaObject::Connection& connection : std::as_const(slot.connections))
        connected = connected && bool(connection);
    if (!connected) {
        deleteHostSession(slot);
        return false;
    }
    (legacy ? m_legacySessionHub : m_sessionHub) = hub;
    m_currentSession = kind;
    return true;
}

template <typename Slot, typename StopHub>
void TavioSystem::stopHostSession(Slot& slot, int kind, StopHub stopHub)
{
    Slot taken;
    {
        std::lock_guard<std::mutex> locker(d->sessionsLock);
        disconnectSlot(slot);
        std::swap(taken, slot);
        // The shared markers belong to whichever kind started last.
        if (kind == Kind_LegacyRegistration)
            m_legacySessionHub = nullptr;
        if (m_currentSession == kind) {
            m_currentSession = Kind_None;
            if (kind != Kind_LegacyRegistration)
                m_sessionHub = nullptr;
        }
    }
    if (auto* hub = taken.impl ? taken.impl->hub() : nullptr)
        stopHub(hub);
    deleteHostSession(taken);
}

const TaviohubRegistrationSession* TavioSystem::startTaviohubRegistrationSession(int handle)
{
    auto& slot = d->registration;
    const bool started = startHostSession<TaviohubRegSessionErrorImpl>(
        slot, Kind_HubRegistration, handle,
        [&slot](TwoPointFourGHzHub* hub) {
            slot.impl = new TaviohubNormalRegSessionImpl(hub);
            slot.session = new TaviohubRegistrationSession(slot.impl);
            auto* session = slot.session;
            return QList<QMetaObject::Connection> {
                connect(hub, &TwoPointFourGHzHub::expressionDeviceRegistered, session,
                    &TaviohubRegistrationSession::expressionDeviceRegistered, Qt::DirectConnection),
                connect(hub, &TwoPointFourGHzHub::voteDeviceRegistered, session,
                    &TaviohubRegistrationSession::voteDeviceRegistered, Qt::DirectConnection),
                connect(hub, &TwoPointFourGHzHub::slateDeviceRegistered, session,
                    &TaviohubRegistrationSession::slateDeviceRegistered, Qt::DirectConnection),
            };
        },
        [](TwoPointFourGHzHub* hub) { hub->stopSession(); });
    return started ? slot.session : nullptr;
}

const TaviohubExpressionNamingSession* TavioSystem::startTaviohubExpressionNamingSession(int handle)
{
    auto& slot = d->expressionNaming;
    const bool started = startHostSession<TaviohubExpressionNamingSessionErrorImpl>(
        slot, Kind_ExpressionNaming, handle,
        [&slot](TwoPointFourGHzHub* hub) {
            slot.impl = new TaviohubNormalExpressionNamingSessionImpl(hub);
            slot.session = new TaviohubExpressionNamingSession(slot.impl);
            return QList<QMetaObject::Connection> { connect(hub,
                &TwoPointFourGHzHub::expressionDeviceNamed, slot.session,
                &TaviohubExpressionNamingSession::expressionDeviceNamed, Qt::DirectConnection) };
        },
        [](TwoPointFourGHzHub* hub) { hub->stopExpressionNamingSession(); });
    return started ? slot.session : nullptr;
}

const TaviohubVoteNamingSession* TavioSystem::startTaviohubVoteNamingSession(int handle)
{
    auto& slot = d->voteNaming;
    const bool started = startHostSession<TaviohubTavioteNamingSessionErrorImpl>(
        slot, Kind_VoteNaming, handle,
        [&slot](TwoPointFourGHzHub* hub) {
            slot.impl = new TaviohubNormalTavioteNamingSessionImpl(hub);
            slot.session = new TaviohubVoteNamingSession(slot.impl);
            return QList<QMetaObject::Connection> { connect(hub,
                &TwoPointFourGHzHub::voteDeviceNamed, slot.session,
                &TaviohubVoteNamingSession::tavioteDeviceNamed, Qt::DirectConnection) };
        },
        [](TwoPointFourGHzHub* hub) { hub->stopTavioteNamingSession(); });
    return started ? slot.session : nullptr;
}

const TaviohubSlateNamingSession* TavioSystem::startTaviohubSlateNamingSession(int handle)
{
    auto& slot = d->slateNaming;
    const bool started = startHostSession<TaviohubSlateNamingSessionErrorImpl>(
        slot, Kind_SlateNaming, handle,
        [&slot](TwoPointFourGHzHub* hub) {
            slot.impl = new TaviohubNormalSlateNamingSessionImpl(hub);
            slot.session = new TaviohubSlateNamingSession(slot.impl);
            return QList<QMetaObject::Connection> { connect(hub,
                &TwoPointFourGHzHub::slateDeviceNamed, slot.session,
                &TaviohubSlateNamingSession::slateDeviceNamed, Qt::DirectConnection) };
        },
        [](TwoPointFourGHzHub* hub) { hub->stopSlateNamingSession(); });
    return started ? slot.session : nullptr;
}

const LegacyhubRegistrationSession* TavioSystem::startLegacyhubRegistrationSession(int handle)
{
    auto& slot = d->legacyRegistration;
    const bool started = startHostSession<LegacyhubRegSessionErrorImpl>(
        slot, Kind_LegacyRegistration, handle,
        [&slot](LegacyHub* hub) {
            slot.impl = new LegacyhubNormalRegSessionImpl(hub);
            slot.session = new LegacyhubRegistrationSession(slot.impl);
            auto* session = slot.session;
            return QList<QMetaObject::Connection> {
                connect(hub, &LegacyHub::voteDeviceRegistered, session,
                    &LegacyhubRegistrationSession::voteDeviceRegistered, Qt::DirectConnection),
                connect(hub, &LegacyHub::generatePinforSlateRegistration, session,
                    &LegacyhubRegistrationSession::generatePinforSlateRegistration,
                    Qt::DirectConnection),
                connect(hub, &LegacyHub::slateDeviceRegistered, session,
                    &LegacyhubRegistrationSession::slateDeviceRegistered, Qt::DirectConnection),
                connect(hub, &Hub::voteReceived, session,
                    &LegacyhubRegistrationSession::voteTestReceived, Qt::DirectConnection),
            };
        },
        [](LegacyHub*) {});
    return started ? slot.session : nullptr;
}

void TavioSystem::stopLegacyhubRegistrationSession()
{
    // The hub's side is the host's to end (stopping registration writes the store).
    stopHostSession(d->legacyRegistration, Kind_LegacyRegistration, [](LegacyHub*) {});
}

void TavioSystem::stopTaviohubRegistrationSession()
{
    stopHostSession(
        d->registration, Kind_HubRegistration, [](TwoPointFourGHzHub* hub) { hub->stopSession(); });
}

void TavioSystem::stopTaviohubExpressionNamingSession()
{
    stopHostSession(d->expressionNaming, Kind_ExpressionNaming,
        [](TwoPointFourGHzHub* hub) { hub->stopExpressionNamingSession(); });
}

void TavioSystem::stopTaviohubVoteNamingSession()
{
    stopHostSession(d->voteNaming, Kind_VoteNaming,
        [](TwoPointFourGHzHub* hub) { hub->stopTavioteNamingSession(); });
}

void TavioSystem::stopTaviohubSlateNamingSession()
{
    stopHostSession(d->slateNaming, Kind_SlateNaming,
        [](TwoPointFourGHzHub* hub) { hub->stopSlateNamingSession(); });
}

// Runs on the event thread. A hub that carries the current session has gone: that session's
// public object stays valid and refuses every call from now on.
void TavioSystem::retireSessionsOf(Hub* hub)
{
    std::lock_guard<std::mutex> locker(d->sessionsLock);
    if (!hub)
        return;
    // The legacy registration session has a hub marker of its own.
    if (hub == m_legacySessionHub) {
        swapHostSession<LegacyhubRegSessionErrorImpl>(d->legacyRegistration);
        m_legacySessionHub = nullptr;
    }
    if (hub != m_sessionHub)
        return;
    switch (m_currentSession) {
    case Kind_HubRegistration:
        swapHostSession<TaviohubRegSessionErrorImpl>(d->registration);
        break;
    case Kind_ExpressionNaming:
        swapHostSession<TaviohubExpressionNamingSessionErrorImpl>(d->expressionNaming);
        break;
    case Kind_VoteNaming:
        swapHostSession<TaviohubTavioteNamingSessionErrorImpl>(d->voteNaming);
        break;
    case Kind_SlateNaming:
        swapHostSession<TaviohubSlateNamingSessionErrorImpl>(d->slateNaming);
        break;
    default: // legacy registration has been seen to above
        break;
    }
    m_sessionHub = nullptr;
}

// At shutdown every surviving session is retired: its hub is about to be deleted.
void TavioSystem::retireAllSessions()
{
    std::lock_guard<std::mutex> locker(d->sessionsLock);
    swapHostSession<TaviohubRegSessionErrorImpl>(d->registration);
    swapHostSession<TaviohubExpressionNamingSessionErrorImpl>(d->expressionNaming);
    swapHostSession<TaviohubTavioteNamingSessionErrorImpl>(d->voteNaming);
    swapHostSession<TaviohubSlateNamingSessionErrorImpl>(d->slateNaming);
    swapHostSession<LegacyhubRegSessionErrorImpl>(d->legacyRegistration);
    m_sessionHub = nullptr;
    m_legacySessionHub = nullptr;
    m_currentSession = Kind_None;
}

void TavioSystem::releaseHostSessions()
{
    std::lock_guard<std::mutex> locker(d->sessionsLock);
    deleteHostSession(d->registration);
    deleteHostSession(d->expressionNaming);
    deleteHostSession(d->voteNaming);
    deleteHostSession(d->slateNaming);
    deleteHostSession(d->legacyRegistration);
    d->parkedSessionObjects.clear();
}

} // namespace Taviosystem
