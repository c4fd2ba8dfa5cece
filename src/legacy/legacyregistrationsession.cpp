// The host's legacy registration session and its implementations.

#include "legacy/legacysessionimpls.h"

#include "hub/devicedisplay.h"

#include <taviosystem/legacyhub.h>
#include <taviosystem/legacyhubregistrationsession.h>

namespace Taviosystem {

LegacyhubRegistrationSession::LegacyhubRegistrationSession(LegacyhubRegistrationSessionImpl* impl)
    : m_impl(impl)
{
}

LegacyhubRegistrationSession::~LegacyhubRegistrationSession() = default;

bool LegacyhubRegistrationSession::configureHub() const { return m_impl.load()->configureHub(); }

bool LegacyhubRegistrationSession::clearHub() const { return m_impl.load()->clearHub(); }

bool LegacyhubRegistrationSession::clearHubOfVotes() const
{
    return m_impl.load()->clearHubOfVotes();
}

bool LegacyhubRegistrationSession::clearHubOfSlates() const
{
    return m_impl.load()->clearHubOfSlates();
}

bool LegacyhubRegistrationSession::clearVoteWithID(quint64 id) const
{
    return m_impl.load()->clearVoteWithID(id);
}

bool LegacyhubRegistrationSession::getListOfRegisteredVotes(QList<DeviceDisplayInfo>& list) const
{
    return m_impl.load()->getListOfRegisteredVotes(list);
}

bool LegacyhubRegistrationSession::getListOfRegisteredSlates(QList<DeviceDisplayInfo>& list) const
{
    return m_impl.load()->getListOfRegisteredSlates(list);
}

bool LegacyhubRegistrationSession::startVoteRegistrationSession() const
{
    return m_impl.load()->startVoteRegistrationSession();
}

bool LegacyhubRegistrationSession::stopVoteRegistrationSession() const
{
    return m_impl.load()->stopVoteRegistrationSession();
}

bool LegacyhubRegistrationSession::startSlateRegistrationSession() const
{
    return m_impl.load()->startSlateRegistrationSession();
}

bool LegacyhubRegistrationSession::stopSlateRegistrationSession() const
{
    return m_impl.load()->stopSlateRegistrationSession();
}

bool LegacyhubRegistrationSession::changeVoteChannel(quint8 channel) const
{
    return m_impl.load()->changeVoteChannel(channel);
}

bool LegacyhubRegistrationSession::changeSlateChannel(quint8 channel) const
{
    return m_impl.load()->changeSlateChannel(channel);
}

bool LegacyhubRegistrationSession::changeBoardID(quint8 id) const
{
    return m_impl.load()->changeBoardID(id);
}

bool LegacyhubRegistrationSession::useRFSlates() const { return m_impl.load()->useRFSlates(); }

bool LegacyhubRegistrationSession::startVoteTestSession() const
{
    return m_impl.load()->startVoteTestSession();
}

bool LegacyhubRegistrationSession::disableSlates() const { return m_impl.load()->disableSlates(); }

bool LegacyhubRegistrationSession::getVoteChannel(quint8& channel) const
{
    return m_impl.load()->getVoteChannel(channel);
}

bool LegacyhubRegistrationSession::getSlateChannel(quint8& channel) const
{
    return m_impl.load()->getSlateChannel(channel);
}

bool LegacyhubRegistrationSession::getBoardID(quint8& id) const
{
    return m_impl.load()->getBoardID(id);
}

bool LegacyhubRegistrationSession::getRFBand(quint8& band) const
{
    return m_impl.load()->getRFBand(band);
}

bool LegacyhubRegistrationSession::startSlatePINRegistration(
    quint8 slateId, RegistrationCode pin) const
{
    return m_impl.load()->startSlatePINRegistration(slateId, pin);
}

bool LegacyhubRegistrationSession::enableSlate(quint8 slateId) const
{
    return m_impl.load()->enableSlate(slateId);
}

bool LegacyhubRegistrationSession::removeSlate(quint8 slateId) const
{
    return m_impl.load()->removeSlate(slateId);
}

// Runs on the packet thread: a vote during the voter test.
void LegacyhubRegistrationSession::voteTestReceived(
    Hub* phub, quint32 deviceid, int answer, int batterylow)
{
    Q_UNUSED(phub);
    Q_EMIT voteTestResponse(deviceid, answer, batterylow);
}

namespace {
bool displayList(
    LegacyHub* hub, bool (LegacyHub::*read)(QList<Device*>*), QList<DeviceDisplayInfo>& list)
{
    list.clear();
    QList<Device*> devices;
    if (!(hub->*read)(&devices))
        return false;
    appendDisplayInfo(devices, list);
    return true;
}
} // namespace

bool LegacyhubNormalRegSessionImpl::getListOfRegisteredVotes(QList<DeviceDisplayInfo>& list)
{
    return displayList(m_hub, &LegacyHub::readTavioteList, list);
}

bool LegacyhubNormalRegSessionImpl::getListOfRegisteredSlates(QList<DeviceDisplayInfo>& list)
{
    return displayList(m_hub, &LegacyHub::readTavioSlateList, list);
}

bool LegacyhubNormalRegSessionImpl::configureHub() { return m_hub->configureHub(); }

bool LegacyhubNormalRegSessionImpl::clearHub() { return m_hub->clearHub(); }

bool LegacyhubNormalRegSessionImpl::clearHubOfVotes() { return m_hub->clearHubOfVotes(); }

bool LegacyhubNormalRegSessionImpl::clearHubOfSlates() { return m_hub->clearHubOfSlates(); }

bool LegacyhubNormalRegSessionImpl::clearVoteWithID(quint64 id)
{
    return m_hub->clearVoteWithID(id);
}

bool LegacyhubNormalRegSessionImpl::startVoteRegistrationSession()
{
    return m_hub->startVoteRegistrationSession();
}

bool LegacyhubNormalRegSessionImpl::stopVoteRegistrationSession()
{
    return m_hub->stopVoteRegistrationSession();
}

bool LegacyhubNormalRegSessionImpl::startSlateRegistrationSession()
{
    return m_hub->startSlateRegistrationSession();
}

bool LegacyhubNormalRegSessionImpl::stopSlateRegistrationSession()
{
    return m_hub->stopSlateRegistrationSession();
}

bool LegacyhubNormalRegSessionImpl::changeVoteChannel(quint8 channel)
{
    return m_hub->changeVoteChannel(channel);
}

bool LegacyhubNormalRegSessionImpl::changeSlateChannel(quint8 channel)
{
    return m_hub->changeSlateChannel(channel);
}

bool LegacyhubNormalRegSessionImpl::changeBoardID(quint8 id) { return m_hub->changeBoardID(id); }

bool LegacyhubNormalRegSessionImpl::useRFSlates() { return m_hub->useRFSlates(); }

bool LegacyhubNormalRegSessionImpl::startVoteTestSession() { return m_hub->startVoteTestSession(); }

bool LegacyhubNormalRegSessionImpl::disableSlates() { return m_hub->disableSlates(); }

bool LegacyhubNormalRegSessionImpl::getVoteChannel(quint8& channel)
{
    return m_hub->getVoteChannel(channel);
}

bool LegacyhubNormalRegSessionImpl::getSlateChannel(quint8& channel)
{
    return m_hub->getSlateChannel(channel);
}

bool LegacyhubNormalRegSessionImpl::getBoardID(quint8& id) { return m_hub->getBoardID(id); }

bool LegacyhubNormalRegSessionImpl::getRFBand(quint8& band) { return m_hub->getRFBand(band); }

bool LegacyhubNormalRegSessionImpl::startSlatePINRegistration(quint8 slateId, RegistrationCode pin)
{
    return m_hub->startSlatePINRegistration(slateId, pin);
}

bool LegacyhubNormalRegSessionImpl::enableSlate(quint8 slateId)
{
    return m_hub->enableSlate(slateId);
}

bool LegacyhubNormalRegSessionImpl::removeSlate(quint8 slateId)
{
    return m_hub->removeSlate(slateId);
}

} // namespace Taviosystem
