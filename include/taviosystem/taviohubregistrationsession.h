#pragma once

#include <taviosystem/devicedisplayinfo.h>
#include <taviosystem/registrationcode.h>
#include <taviosystem/taviosystem_global.h>

#include <QtCore/QList>
#include <QtCore/QObject>

#include <atomic>

namespace Taviosystem {

class TaviohubRegistrationSessionImpl;

// Registers learner devices to one 2.4 GHz hub under a PIN, and clears, removes and lists what
// is registered. Made and owned by TavioSystem; when its hub goes away the object stays valid
// and every call fails.
class TAVIOSYSTEM_EXPORT TaviohubRegistrationSession : public QObject
{
    Q_OBJECT
public:
    struct RegistrationInfo
    {
        int votingDeviceCount = 0; // voters plus answer devices, as the hub counts them
        int votingDevicesUsed = 0;
        int votingDevicesMax = 0;
        int votingDevicesFree = 0;
        int boardCount = 0;
        int boardsUsed = 0;
        int boardsMax = 0;
        int boardsFree = 0;
        int slateCount = 0;
        int slatesUsed = 0;
        int slatesMax = 0;
        int slatesFree = 0;
        int hubState = 0; // a Hub::HubState; 16 once the hub has gone
    };

    ~TaviohubRegistrationSession() override;

    RegistrationInfo registrationInfo() const;
    bool clearHub() const;
    bool clearHubOfVotes() const;
    bool clearHubOfSlates() const;
    bool clearHubOfBoards() const;
    bool clearHubOfExpressions() const;
    bool clearHubOfPenExpressions() const;
    bool getListOfRegisteredVotes(QList<DeviceDisplayInfo>& list) const;
    bool getListOfRegisteredSlates(QList<DeviceDisplayInfo>& list) const;
    bool getListOfRegisteredBoards(QList<DeviceDisplayInfo>& list) const;
    bool getListOfRegisteredExpressions(QList<DeviceDisplayInfo>& list) const;
    bool getListOfRegisteredPenExpressions(QList<DeviceDisplayInfo>& list) const;
    bool startExpressionRegistrationSession(
        quint16 p1, quint8 p2, quint8 p3, RegistrationCode pin) const;
    bool startNamingExpressionRegistrationSession(quint16 p1, quint8 p2, quint8 p3,
        RegistrationCode pin, CharacterType characterType, bool flag, quint8 nameLength) const;
    bool startVoteRegistrationSession(quint16 p1, quint8 p2, quint8 p3, RegistrationCode pin) const;
    bool startSlateRegistrationSession(
        quint16 p1, quint8 p2, quint8 p3, RegistrationCode pin) const;
    bool removeTavioexpression(unsigned int uid) const;
    bool removeTaviote(unsigned int uid) const;
    bool removeSlate(unsigned int uid) const;
    bool removePenExpression(unsigned int uid) const;
    bool stopExpressionRegistrationSession() const;
    bool stopVoteRegistrationSession() const;
    bool stopSlateRegistrationSession() const;

Q_SIGNALS:
    void expressionDeviceRegistered(
        QString name, quint32 uid, Taviosystem::Device::SubType subType);
    void voteDeviceRegistered(QString name, quint32 uid);
    void slateDeviceRegistered(QString name, quint32 uid);

private:
    friend class TavioSystem;
    explicit TaviohubRegistrationSession(TaviohubRegistrationSessionImpl* impl);
    // Not owned; swapped by the system (on its event thread) when the hub goes away.
    std::atomic<TaviohubRegistrationSessionImpl*> m_impl;
};

} // namespace Taviosystem
