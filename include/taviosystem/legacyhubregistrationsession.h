#pragma once

#include <taviosystem/devicedisplayinfo.h>
#include <taviosystem/registrationcode.h>
#include <taviosystem/taviosystem_global.h>

#include <QtCore/QList>
#include <QtCore/QObject>

#include <atomic>

namespace Taviosystem {

class Hub;
class LegacyhubRegistrationSessionImpl;

// Sets up one legacy hub: its radio settings, registering voters and (with a PIN handshake)
// radio slates, testing voters, listing, enabling and removing devices. Made and owned by
// TavioSystem; once its hub has gone every call answers false.
class TAVIOSYSTEM_EXPORT LegacyhubRegistrationSession : public QObject
{
    Q_OBJECT
public:
    ~LegacyhubRegistrationSession() override;

    bool configureHub() const;
    bool clearHub() const;
    bool clearHubOfVotes() const;
    bool clearHubOfSlates() const;
    bool clearVoteWithID(quint64 id) const;
    bool getListOfRegisteredVotes(QList<DeviceDisplayInfo>& list) const;
    bool getListOfRegisteredSlates(QList<DeviceDisplayInfo>& list) const;
    bool startVoteRegistrationSession() const;
    bool stopVoteRegistrationSession() const;
    bool startSlateRegistrationSession() const;
    bool stopSlateRegistrationSession() const;
    bool changeVoteChannel(quint8 channel) const;
    bool changeSlateChannel(quint8 channel) const;
    bool changeBoardID(quint8 id) const;
    bool useRFSlates() const;
    bool startVoteTestSession() const;
    bool disableSlates() const;
    bool getVoteChannel(quint8& channel) const;
    bool getSlateChannel(quint8& channel) const;
    bool getBoardID(quint8& id) const;
    bool getRFBand(quint8& band) const;
    // After generatePinforSlateRegistration: the PIN (letters A to F) the learner types.
    bool startSlatePINRegistration(quint8 slateId, RegistrationCode pin) const;
    bool enableSlate(quint8 slateId) const;
    bool removeSlate(quint8 slateId) const;

Q_SIGNALS:
    void voteDeviceRegistered(quint32 uid, bool batteryIsLow, int deviceVersion);
    void voteTestResponse(quint32 uid, int answer, int batterylow);
    void generatePinforSlateRegistration(quint8 Id);
    void slateDeviceRegistered(quint8 Id);

public Q_SLOTS:
    void voteTestReceived(Taviosystem::Hub* phub, quint32 deviceid, int answer, int batterylow);

private:
    friend class TavioSystem;
    explicit LegacyhubRegistrationSession(LegacyhubRegistrationSessionImpl* impl);
    // Not owned; swapped by the system (on its event thread) when the hub goes away.
    std::atomic<LegacyhubRegistrationSessionImpl*> m_impl;
};

} // namespace Taviosystem
