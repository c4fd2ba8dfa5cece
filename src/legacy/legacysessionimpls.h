#pragma once

// What stands behind the host's legacy registration session: a normal implementation bound to a
// legacy hub, and an error implementation that refuses every call once that hub has gone.

#include <taviosystem/devicedisplayinfo.h>
#include <taviosystem/registrationcode.h>

#include <QtCore/QList>

namespace Taviosystem {

class LegacyHub;

class LegacyhubRegistrationSessionImpl
{
public:
    virtual ~LegacyhubRegistrationSessionImpl() = default;
    virtual bool configureHub() = 0;
    virtual bool clearHub() = 0;
    virtual bool clearHubOfVotes() = 0;
    virtual bool clearHubOfSlates() = 0;
    virtual bool clearVoteWithID(quint64 id) = 0;
    virtual bool getListOfRegisteredVotes(QList<DeviceDisplayInfo>& list) = 0;
    virtual bool getListOfRegisteredSlates(QList<DeviceDisplayInfo>& list) = 0;
    virtual bool startVoteRegistrationSession() = 0;
    virtual bool stopVoteRegistrationSession() = 0;
    virtual bool startSlateRegistrationSession() = 0;
    virtual bool stopSlateRegistrationSession() = 0;
    virtual bool changeVoteChannel(quint8 channel) = 0;
    virtual bool changeSlateChannel(quint8 channel) = 0;
    virtual bool changeBoardID(quint8 id) = 0;
    virtual bool useRFSlates() = 0;
    virtual bool startVoteTestSession() = 0;
    virtual bool disableSlates() = 0;
    virtual bool getVoteChannel(quint8& channel) = 0;
    virtual bool getSlateChannel(quint8& channel) = 0;
    virtual bool getBoardID(quint8& id) = 0;
    virtual bool getRFBand(quint8& band) = 0;
    virtual bool startSlatePINRegistration(quint8 slateId, RegistrationCode pin) = 0;
    virtual bool enableSlate(quint8 slateId) = 0;
    virtual bool removeSlate(quint8 slateId) = 0;
    // The hub the calls go to; null for the error implementation.
    virtual LegacyHub* hub() const = 0;
    virtual void retire() { }
};

class LegacyhubNormalRegSessionImpl : public LegacyhubRegistrationSessionImpl
{
public:
    explicit LegacyhubNormalRegSessionImpl(LegacyHub* hub)
        : m_hub(hub)
    {
    }
    bool configureHub() override;
    bool clearHub() override;
    bool clearHubOfVotes() override;
    bool clearHubOfSlates() override;
    bool clearVoteWithID(quint64 id) override;
    bool getListOfRegisteredVotes(QList<DeviceDisplayInfo>& list) override;
    bool getListOfRegisteredSlates(QList<DeviceDisplayInfo>& list) override;
    bool startVoteRegistrationSession() override;
    bool stopVoteRegistrationSession() override;
    bool startSlateRegistrationSession() override;
    bool stopSlateRegistrationSession() override;
    bool changeVoteChannel(quint8 channel) override;
    bool changeSlateChannel(quint8 channel) override;
    bool changeBoardID(quint8 id) override;
    bool useRFSlates() override;
    bool startVoteTestSession() override;
    bool disableSlates() override;
    bool getVoteChannel(quint8& channel) override;
    bool getSlateChannel(quint8& channel) override;
    bool getBoardID(quint8& id) override;
    bool getRFBand(quint8& band) override;
    bool startSlatePINRegistration(quint8 slateId, RegistrationCode pin) override;
    bool enableSlate(quint8 slateId) override;
    bool removeSlate(quint8 slateId) override;
    LegacyHub* hub() const override { return m_hub; }

private:
    LegacyHub* m_hub;
};

class LegacyhubRegSessionErrorImpl : public LegacyhubRegistrationSessionImpl
{
public:
    bool configureHub() override { return false; }
    bool clearHub() override { return false; }
    bool clearHubOfVotes() override { return false; }
    bool clearHubOfSlates() override { return false; }
    bool clearVoteWithID(quint64) override { return false; }
    bool getListOfRegisteredVotes(QList<DeviceDisplayInfo>& list) override
    {
        list.clear();
        return false;
    }
    bool getListOfRegisteredSlates(QList<DeviceDisplayInfo>& list) override
    {
        list.clear();
        return false;
    }
    bool startVoteRegistrationSession() override { return false; }
    bool stopVoteRegistrationSession() override { return false; }
    bool startSlateRegistrationSession() override { return false; }
    bool stopSlateRegistrationSession() override { return false; }
    bool changeVoteChannel(quint8) override { return false; }
    bool changeSlateChannel(quint8) override { return false; }
    bool changeBoardID(quint8) override { return false; }
    bool useRFSlates() override { return false; }
    bool startVoteTestSession() override { return false; }
    bool disableSlates() override { return false; }
    bool getVoteChannel(quint8&) override { return false; }
    bool getSlateChannel(quint8&) override { return false; }
    bool getBoardID(quint8&) override { return false; }
    bool getRFBand(quint8&) override { return false; }
    bool startSlatePINRegistration(quint8, RegistrationCode) override { return false; }
    bool enableSlate(quint8) override { return false; }
    bool removeSlate(quint8) override { return false; }
    LegacyHub* hub() const override { return nullptr; }
};

} // namespace Taviosystem
