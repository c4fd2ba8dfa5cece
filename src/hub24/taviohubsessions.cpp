// The host's registration and naming session objects and their implementations.

#include "taviohubsessionimpls.h"

#include "hub/devicedisplay.h"
#include "hub24records.h"

#include <taviosystem/taviohubslatenamingsession.h>
#include <taviosystem/twopointfourghzhub.h>

namespace Taviosystem {

// Public objects: each call goes to the current implementation ---------------------------------

TaviohubRegistrationSession::TaviohubRegistrationSession(TaviohubRegistrationSessionImpl* impl)
    : m_impl(impl)
{
}

TaviohubRegistrationSession::~TaviohubRegistrationSession() = default;

TaviohubRegistrationSession::RegistrationInfo TaviohubRegistrationSession::registrationInfo() const
{
    return m_impl.load()->registrationInfo();
}

bool TaviohubRegistrationSession::clearHub() const { return m_impl.load()->clearHub(); }
bool TaviohubRegistrationSession::clearHubOfVotes() const
{
    return m_impl.load()->clearHubOfVotes();
}
bool TaviohubRegistrationSession::clearHubOfSlates() const
{
    return m_impl.load()->clearHubOfSlates();
}
bool TaviohubRegistrationSession::clearHubOfBoards() const
{
    return m_impl.load()->clearHubOfBoards();
}
bool TaviohubRegistrationSession::clearHubOfExpressions() const
{
    return m_impl.load()->clearHubOfExpressions();
}
bool TaviohubRegistrationSession::clearHubOfPenExpressions() const
{
    return m_impl.load()->clearHubOfPenExpressions();
}
bool TaviohubRegistrationSession::getListOfRegisteredVotes(QList<DeviceDisplayInfo>& list) const
{
    return m_impl.load()->getListOfRegisteredVotes(list);
}
bool TaviohubRegistrationSession::getListOfRegisteredSlates(QList<DeviceDisplayInfo>& list) const
{
    return m_impl.load()->getListOfRegisteredSlates(list);
}
bool TaviohubRegistrationSession::getListOfRegisteredBoards(QList<DeviceDisplayInfo>& list) const
{
    return m_impl.load()->getListOfRegisteredBoards(list);
}
bool TaviohubRegistrationSession::getListOfRegisteredExpressions(
    QList<DeviceDisplayInfo>& list) const
{
    return m_impl.load()->getListOfRegisteredExpressions(list);
}
bool TaviohubRegistrationSession::getListOfRegisteredPenExpressions(
    QList<DeviceDisplayInfo>& list) const
{
    return m_impl.load()->getListOfRegisteredPenExpressions(list);
}
bool TaviohubRegistrationSession::startExpressionRegistrationSession(
    quint16 p1, quint8 p2, quint8 p3, RegistrationCode pin) const
{
    return m_impl.load()->startExpressionRegistrationSession(p1, p2, p3, pin);
}
bool TaviohubRegistrationSession::startNamingExpressionRegistrationSession(quint16 p1, quint8 p2,
    quint8 p3, RegistrationCode pin, CharacterType characterType, bool flag,
    quint8 nameLength) const
{
    return m_impl.load()->startNamingExpressionRegistrationSession(
        p1, p2, p3, pin, characterType, flag, nameLength);
}
bool TaviohubRegistrationSession::startVoteRegistrationSession(
    quint16 p1, quint8 p2, quint8 p3, RegistrationCode pin) const
{
    return m_impl.load()->startVoteRegistrationSession(p1, p2, p3, pin);
}
bool TaviohubRegistrationSession::startSlateRegistrationSession(
    quint16 p1, quint8 p2, quint8 p3, RegistrationCode pin) const
{
    return m_impl.load()->startSlateRegistrationSession(p1, p2, p3, pin);
}
bool TaviohubRegistrationSession::removeTavioexpression(unsigned int uid) const
{
    return m_impl.load()->removeTavioexpression(uid);
}
bool TaviohubRegistrationSession::removeTaviote(unsigned int uid) const
{
    return m_impl.load()->removeTaviote(uid);
}
bool TaviohubRegistrationSession::removeSlate(unsigned int uid) const
{
    return m_impl.load()->removeSlate(uid);
}
bool TaviohubRegistrationSession::removePenExpression(unsigned int uid) const
{
    return m_impl.load()->removePenExpression(uid);
}
bool TaviohubRegistrationSession::stopExpressionRegistrationSession() const
{
    return m_impl.load()->stopExpressionRegistrationSession();
}
bool TaviohubRegistrationSession::stopVoteRegistrationSession() const
{
    return m_impl.load()->stopVoteRegistrationSession();
}
bool TaviohubRegistrationSession::stopSlateRegistrationSession() const
{
    return m_impl.load()->stopSlateRegistrationSession();
}

TaviohubVoteNamingSession::TaviohubVoteNamingSession(TaviohubTavioteNamingSessionImpl* impl)
    : m_impl(impl)
{
}
TaviohubVoteNamingSession::~TaviohubVoteNamingSession() = default;
bool TaviohubVoteNamingSession::startTavioteNamingSession() const { return m_impl.load()->start(); }
bool TaviohubVoteNamingSession::nameTaviote(unsigned int uid, const QString& name) const
{
    return m_impl.load()->nameTaviote(uid, name);
}
bool TaviohubVoteNamingSession::stopTavioteNamingSession() const { return m_impl.load()->stop(); }
void TaviohubVoteNamingSession::setCallback(NamedCallback callback, void* context) const
{
    m_impl.load()->setCallback(callback, context);
}

TaviohubExpressionNamingSession::TaviohubExpressionNamingSession(
    TaviohubExpressionNamingSessionImpl* impl)
    : m_impl(impl)
{
}
TaviohubExpressionNamingSession::~TaviohubExpressionNamingSession() = default;
bool TaviohubExpressionNamingSession::startExpressionNamingSession() const
{
    return m_impl.load()->start();
}
bool TaviohubExpressionNamingSession::nameExpression(unsigned int uid, const QString& name) const
{
    return m_impl.load()->nameExpression(uid, name);
}
bool TaviohubExpressionNamingSession::stopExpressionNamingSession() const
{
    return m_impl.load()->stop();
}
void TaviohubExpressionNamingSession::setCallback(NamedCallback callback, void* context) const
{
    m_impl.load()->setCallback(callback, context);
}

TaviohubSlateNamingSession::TaviohubSlateNamingSession(TaviohubSlateNamingSessionImpl* impl)
    : m_impl(impl)
{
}
TaviohubSlateNamingSession::~TaviohubSlateNamingSession() = default;
bool TaviohubSlateNamingSession::nameSlate(unsigned int uid, const QString& name) const
{
    return m_impl.load()->nameSlate(uid, name);
}
bool TaviohubSlateNamingSession::stopSlateNamingSession() const { return m_impl.load()->stop(); }

// Registration on a hub --------------------------------------------------------------------------

namespace {
bool displayList(TwoPointFourGHzHub* hub, bool (TwoPointFourGHzHub::*read)(QList<Device*>*),
    QList<DeviceDisplayInfo>& list)
{
    list.clear();
    QList<Device*> devices;
    (hub->*read)(&devices);
    appendDisplayInfo(devices, list);
    return true;
}

bool clearWith(TwoPointFourGHzHub* hub, bool (TwoPointFourGHzHub::*clear)(OKResponse*))
{
    OKResponse response;
    return (hub->*clear)(&response) && response.isValid();
}
} // namespace

TaviohubRegistrationSessionImpl::RegistrationInfo TaviohubNormalRegSessionImpl::registrationInfo()
{
    RegistrationInfo info;
    InformationResponse record;
    // Without the information record nothing is asked and every field stays 0.
    if (!m_hub->getRegistrationInfo(&record))
        return info;
    info.votingDeviceCount = m_hub->tavioexpressionCount() + m_hub->tavioteCount();
    info.boardCount = m_hub->tavioBoardCount();
    info.slateCount = m_hub->tavioSlateCount();
    info.votingDevicesUsed = record.votingDevicesRegistered;
    info.votingDevicesMax = record.votingDeviceCapacity;
    info.votingDevicesFree = info.votingDevicesMax - info.votingDevicesUsed;
    info.boardsUsed = record.boardsRegistered;
    info.boardsMax = record.boardCapacity;
    info.boardsFree = info.boardsMax - info.boardsUsed;
    info.slatesUsed = record.slatesRegistered;
    info.slatesMax = record.slateCapacity;
    info.slatesFree = info.slatesMax - info.slatesUsed;
    info.hubState = record.hubState;
    return info;
}

bool TaviohubNormalRegSessionImpl::clearHub()
{
    return clearWith(m_hub, &TwoPointFourGHzHub::clearHub);
}
bool TaviohubNormalRegSessionImpl::clearHubOfVotes()
{
    return clearWith(m_hub, &TwoPointFourGHzHub::clearHubOfVotes);
}
bool TaviohubNormalRegSessionImpl::clearHubOfSlates()
{
    return clearWith(m_hub, &TwoPointFourGHzHub::clearHubOfSlates);
}
bool TaviohubNormalRegSessionImpl::clearHubOfBoards()
{
    return clearWith(m_hub, &TwoPointFourGHzHub::clearHubOfBoards);
}
bool TaviohubNormalRegSessionImpl::clearHubOfExpressions()
{
    return clearWith(m_hub, &TwoPointFourGHzHub::clearHubOfExpressions);
}
bool TaviohubNormalRegSessionImpl::clearHubOfPenExpressions()
{
    return clearWith(m_hub, &TwoPointFourGHzHub::clearHubOfPenExpressions);
}

bool TaviohubNormalRegSessionImpl::getListOfRegisteredVotes(QList<DeviceDisplayInfo>& list)
{
    return displayList(m_hub, &TwoPointFourGHzHub::readTavioteList, list);
}
bool TaviohubNormalRegSessionImpl::getListOfRegisteredSlates(QList<DeviceDisplayInfo>& list)
{
    return displayList(m_hub, &TwoPointFourGHzHub::readTavioSlateList, list);
}
bool TaviohubNormalRegSessionImpl::getListOfRegisteredBoards(QList<DeviceDisplayInfo>& list)
{
    list.clear();
    return false;
}
bool TaviohubNormalRegSessionImpl::getListOfRegisteredExpressions(QList<DeviceDisplayInfo>& list)
{
    return displayList(m_hub, &TwoPointFourGHzHub::readTavioexpressionList, list);
}
bool TaviohubNormalRegSessionImpl::getListOfRegisteredPenExpressions(QList<DeviceDisplayInfo>& list)
{
    return displayList(m_hub,
        static_cast<bool (TwoPointFourGHzHub::*)(QList<Device*>*)>(
            &TwoPointFourGHzHub::readPenExpressionList),
        list);
}

bool TaviohubNormalRegSessionImpl::startExpressionRegistrationSession(
    quint16 p1, quint8 p2, quint8 p3, RegistrationCode pin)
{
    return m_hub->stopSession() && m_hub->startExpressionRegistrationSession(p1, p2, p3, pin);
}

bool TaviohubNormalRegSessionImpl::startNamingExpressionRegistrationSession(quint16 p1, quint8 p2,
    quint8 p3, RegistrationCode pin, CharacterType characterType, bool flag, quint8 nameLength)
{
    return m_hub->stopSession()
        && m_hub->startNamingExpressionRegistrationSession(
            p1, p2, p3, pin, characterType, flag, nameLength);
}

bool TaviohubNormalRegSessionImpl::startVoteRegistrationSession(
    quint16 p1, quint8 p2, quint8 p3, RegistrationCode pin)
{
    return m_hub->startVoteRegistrationSession(p1, p2, p3, pin);
}

bool TaviohubNormalRegSessionImpl::startSlateRegistrationSession(
    quint16 p1, quint8 p2, quint8 p3, RegistrationCode pin)
{
    return m_hub->startSlateRegistrationSession(p1, p2, p3, pin);
}

// A device not in the host's list is refused before anything goes to the hub.
bool TaviohubNormalRegSessionImpl::removeTavioexpression(unsigned int uid)
{
    return m_hub->findExpressionDevice(uid) && m_hub->stopSession()
        && m_hub->removeTavioexpression(uid) && m_hub->stopRemoveExpressionDeviceSession();
}

bool TaviohubNormalRegSessionImpl::removeTaviote(unsigned int uid)
{
    return m_hub->findVoteDevice(uid) && m_hub->stopSession() && m_hub->removeTaviote(uid)
        && m_hub->stopRemoveVoteDeviceSession();
}

bool TaviohubNormalRegSessionImpl::removeSlate(unsigned int uid)
{
    return m_hub->findSlateDevice(uid) && m_hub->stopSession() && m_hub->removeTavioslate(uid)
        && m_hub->stopRemoveSlateDeviceSession();
}

bool TaviohubNormalRegSessionImpl::removePenExpression(unsigned int uid)
{
    return m_hub->findPenExpressionDevice(uid) && m_hub->stopSession()
        && m_hub->removePenExpression(uid) && m_hub->stopRemoveExpressionDeviceSession();
}

bool TaviohubNormalRegSessionImpl::stopExpressionRegistrationSession()
{
    return m_hub->stopExpressionRegistrationSession();
}
bool TaviohubNormalRegSessionImpl::stopVoteRegistrationSession()
{
    return m_hub->stopVoteRegistrationSession();
}
bool TaviohubNormalRegSessionImpl::stopSlateRegistrationSession()
{
    return m_hub->stopSlateRegistrationSession();
}

TaviohubRegistrationSessionImpl::RegistrationInfo TaviohubRegSessionErrorImpl::registrationInfo()
{
    RegistrationInfo info;
    info.hubState = GoneHubState;
    return info;
}

// Naming on a hub --------------------------------------------------------------------------------

void HostNamedCallback::set(Callback callback, void* context)
{
    std::lock_guard<std::mutex> locker(m_mutex);
    if (m_retired)
        return;
    m_callback = callback;
    m_context = context;
    (m_hub->*m_setter)(&forward, this);
    m_installed = true;
}

void HostNamedCallback::uninstalled()
{
    std::lock_guard<std::mutex> locker(m_mutex);
    m_installed = false;
}

void HostNamedCallback::retire()
{
    std::lock_guard<std::mutex> locker(m_mutex);
    if (m_retired)
        return;
    m_retired = true;
    if (m_installed)
        (m_hub->*m_setter)(nullptr, nullptr);
    m_installed = false;
}

// Runs on the packet thread. The host is called with no lock held.
void HostNamedCallback::forward(
    TwoPointFourGHzHub* hub, unsigned int uid, const QString& name, void* self)
{
    auto* named = static_cast<HostNamedCallback*>(self);
    Callback callback = nullptr;
    void* context = nullptr;
    {
        std::lock_guard<std::mutex> locker(named->m_mutex);
        if (!named->m_retired) {
            callback = named->m_callback;
            context = named->m_context;
        }
    }
    if (callback)
        callback(hub, name, uid, context);
}

TaviohubNormalTavioteNamingSessionImpl::TaviohubNormalTavioteNamingSessionImpl(
    TwoPointFourGHzHub* hub)
    : m_hub(hub)
    , m_named(hub, &TwoPointFourGHzHub::setVoteDeviceNamedCallback)
{
}

void TaviohubNormalTavioteNamingSessionImpl::retire() { m_named.retire(); }

bool TaviohubNormalTavioteNamingSessionImpl::nameTaviote(unsigned int uid, const QString& name)
{
    return m_hub->nameTaviote(uid, name);
}

// The host's callback stays installed: a later start on the same object reports through it.
bool TaviohubNormalTavioteNamingSessionImpl::stop() { return m_hub->stopTavioteNamingSession(); }

bool TaviohubNormalTavioteNamingSessionImpl::start() { return m_hub->startTavioteNamingSession(); }

void TaviohubNormalTavioteNamingSessionImpl::setCallback(
    TaviohubVoteNamingSession::NamedCallback callback, void* context)
{
    m_named.set(callback, context);
}

TaviohubNormalExpressionNamingSessionImpl::TaviohubNormalExpressionNamingSessionImpl(
    TwoPointFourGHzHub* hub)
    : m_hub(hub)
    , m_named(hub, &TwoPointFourGHzHub::setExpressionDeviceNamedCallback)
{
}

void TaviohubNormalExpressionNamingSessionImpl::retire() { m_named.retire(); }

bool TaviohubNormalExpressionNamingSessionImpl::nameExpression(
    unsigned int uid, const QString& name)
{
    ExpressionNameReceivedResponse response;
    return m_hub->nameExpression(uid, name, &response) && response.isValid();
}

bool TaviohubNormalExpressionNamingSessionImpl::start()
{
    return m_hub->startExpressionNamingSession();
}

// The hub's expression naming stop clears the named callback, whatever the hub answers.
bool TaviohubNormalExpressionNamingSessionImpl::stop()
{
    const bool ok = m_hub->stopExpressionNamingSession();
    m_named.uninstalled();
    return ok;
}

void TaviohubNormalExpressionNamingSessionImpl::setCallback(
    TaviohubExpressionNamingSession::NamedCallback callback, void* context)
{
    m_named.set(callback, context);
}

bool TaviohubNormalSlateNamingSessionImpl::nameSlate(unsigned int uid, const QString& name)
{
    return m_hub->nameSlate(uid, name);
}

bool TaviohubNormalSlateNamingSessionImpl::stop() { return m_hub->stopSlateNamingSession(); }

} // namespace Taviosystem
