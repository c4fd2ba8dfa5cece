// The registration and naming sessions a host starts through the system: one public object per
// kind, bound to one 2.4 GHz hub, retired to an error implementation when that hub goes away.

#include "taviosystem_p.h"

#include "hub24/taviohubsessionimpls.h"

#include <taviosystem/taviohubslatenamingsession.h>
#include <taviosystem/twopointfourghzhub.h>

namespace Taviosystem {

namespace {
enum SessionKind {
    Kind_None = 0,
    Kind_HubRegistration = 1,
    Kind_ExpressionNaming = 2,
    Kind_VoteNaming = 3,
    Kind_SlateNaming = 4
};
} // namespace

template <typename Slot>
void TavioSystem::deleteHostSession(Slot& slot)
{
    for (const QMetaObject::Connection& connection : std::as_const(slot.connections))
        QObject::disconnect(connection);
    slot.connections.clear();
    delete slot.session;
    delete slot.impl;
    slot.session = nullptr;
    slot.impl = nullptr;
    slot.hub = nullptr;
}

// Forwarding connections are direct: the hub's signals come on the packet thread, and the
// host's slots run there unless the host connects them queued.
// make(hub) creates the implementation and the public object into the slot and answers the
// forwarding connections, or an empty list when one of them could not be made.
template <typename Slot, typename MakeSession>
bool TavioSystem::startHostSession(Slot& slot, int kind, int handle, MakeSession make)
{
    if (!m_initialised || m_currentSession == kind || !isValidTaviohubHandle(handle))
        return false;
    auto* hub = qobject_cast<TwoPointFourGHzHub*>(hubForHandle(handle));
    if (!hub)
        return false;
    deleteHostSession(slot); // an earlier session of this kind that is no longer the current one
    m_sessionHub = hub;
    slot.hub = hub;
    slot.connections = make(hub);
    bool connected = !slot.connections.isEmpty();
    for (const QMetaObject::Connection& connection : std::as_const(slot.connections))
        connected = connected && bool(connection);
    if (!connected) {
        deleteHostSession(slot);
        m_sessionHub = nullptr;
        return false;
    }
    m_currentSession = kind;
    return true;
}

template <typename Slot, typename StopHub>
void TavioSystem::stopHostSession(Slot& slot, int kind, StopHub stopHub)
{
    TwoPointFourGHzHub* hub = slot.impl ? slot.impl->hub() : nullptr;
    for (const QMetaObject::Connection& connection : std::as_const(slot.connections))
        QObject::disconnect(connection);
    slot.connections.clear();
    if (hub)
        stopHub(hub);
    deleteHostSession(slot);
    // The shared markers belong to whichever kind started last.
    if (m_currentSession == kind) {
        m_currentSession = Kind_None;
        m_sessionHub = nullptr;
    }
}

template <typename ErrorImpl, typename Slot>
void TavioSystem::swapHostSession(Slot& slot)
{
    if (!slot.session)
        return;
    for (const QMetaObject::Connection& connection : std::as_const(slot.connections))
        QObject::disconnect(connection);
    slot.connections.clear();
    // The old implementation is kept until the system goes: a host thread may be inside it.
    d->retiredSessionImpls.push_back(std::unique_ptr<void, void (*)(void*)>(
        slot.impl, [](void* impl) { delete static_cast<decltype(slot.impl)>(impl); }));
    slot.impl = new ErrorImpl;
    slot.session->m_impl = slot.impl;
    slot.hub = nullptr;
}

const TaviohubRegistrationSession* TavioSystem::startTaviohubRegistrationSession(int handle)
{
    auto& slot = d->registration;
    const bool started = startHostSession(
        slot, Kind_HubRegistration, handle, [&slot](TwoPointFourGHzHub* hub) {
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
        });
    return started ? slot.session : nullptr;
}

const TaviohubExpressionNamingSession* TavioSystem::startTaviohubExpressionNamingSession(int handle)
{
    auto& slot = d->expressionNaming;
    const bool started
        = startHostSession(slot, Kind_ExpressionNaming, handle, [&slot](TwoPointFourGHzHub* hub) {
              slot.impl = new TaviohubNormalExpressionNamingSessionImpl(hub);
              slot.session = new TaviohubExpressionNamingSession(slot.impl);
              return QList<QMetaObject::Connection> { connect(hub,
                  &TwoPointFourGHzHub::expressionDeviceNamed, slot.session,
                  &TaviohubExpressionNamingSession::expressionDeviceNamed, Qt::DirectConnection) };
          });
    return started ? slot.session : nullptr;
}

const TaviohubVoteNamingSession* TavioSystem::startTaviohubVoteNamingSession(int handle)
{
    auto& slot = d->voteNaming;
    const bool started
        = startHostSession(slot, Kind_VoteNaming, handle, [&slot](TwoPointFourGHzHub* hub) {
              slot.impl = new TaviohubNormalTavioteNamingSessionImpl(hub);
              slot.session = new TaviohubVoteNamingSession(slot.impl);
              return QList<QMetaObject::Connection> { connect(hub,
                  &TwoPointFourGHzHub::voteDeviceNamed, slot.session,
                  &TaviohubVoteNamingSession::tavioteDeviceNamed, Qt::DirectConnection) };
          });
    return started ? slot.session : nullptr;
}

const TaviohubSlateNamingSession* TavioSystem::startTaviohubSlateNamingSession(int handle)
{
    auto& slot = d->slateNaming;
    const bool started
        = startHostSession(slot, Kind_SlateNaming, handle, [&slot](TwoPointFourGHzHub* hub) {
              slot.impl = new TaviohubNormalSlateNamingSessionImpl(hub);
              slot.session = new TaviohubSlateNamingSession(slot.impl);
              return QList<QMetaObject::Connection> { connect(hub,
                  &TwoPointFourGHzHub::slateDeviceNamed, slot.session,
                  &TaviohubSlateNamingSession::slateDeviceNamed, Qt::DirectConnection) };
          });
    return started ? slot.session : nullptr;
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

// A hub that carries the current session has gone: that session's public object stays valid
// and refuses every call from now on.
void TavioSystem::retireSessionsOf(Hub* hub)
{
    if (!hub || hub != m_sessionHub)
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
    default:
        break;
    }
    m_sessionHub = nullptr;
}

// At shutdown every surviving session is retired: its hub is about to be deleted.
void TavioSystem::retireAllSessions()
{
    swapHostSession<TaviohubRegSessionErrorImpl>(d->registration);
    swapHostSession<TaviohubExpressionNamingSessionErrorImpl>(d->expressionNaming);
    swapHostSession<TaviohubTavioteNamingSessionErrorImpl>(d->voteNaming);
    swapHostSession<TaviohubSlateNamingSessionErrorImpl>(d->slateNaming);
    m_sessionHub = nullptr;
    m_currentSession = Kind_None;
}

void TavioSystem::releaseHostSessions()
{
    deleteHostSession(d->registration);
    deleteHostSession(d->expressionNaming);
    deleteHostSession(d->voteNaming);
    deleteHostSession(d->slateNaming);
}

} // namespace Taviosystem
