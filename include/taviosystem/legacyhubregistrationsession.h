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

/*!
    Sets up one legacy hub: its radio settings, registering voters and (with a PIN handshake)
    radio slates, testing voters, listing, enabling and removing devices.

    Made by TavioSystem::startLegacyhubRegistrationSession() and owned by the system: never
    delete it; TavioSystem::stopLegacyhubRegistrationSession() frees it. Each operation calls the
    LegacyHub operation of the same name on the caller's thread; failures record their
    Hub::Error on the hub. Once its hub has gone (or the host started this kind again) every
    call answers false; the object is freed at TavioSystem::shutdown(). No operation checks that
    the hub is idle: the host orders the steps.

    The signals are the hub's, forwarded by direct connections: they are emitted on the board
    library's packet thread unless the host connects them queued.
*/
class TAVIOSYSTEM_EXPORT LegacyhubRegistrationSession : public QObject
{
    Q_OBJECT
public:
    /*! Destroys the session; the system does this, never the host. */
    ~LegacyhubRegistrationSession() override;

    /*! Reads the radio settings again (LegacyHub::configureHub()). */
    bool configureHub() const;
    /*! Clears the voters and slates from the hub and the store (LegacyHub::clearHub()). */
    bool clearHub() const;
    /*! Clears the voters (LegacyHub::clearHubOfVotes()). */
    bool clearHubOfVotes() const;
    /*! Disables and forgets the slates (LegacyHub::clearHubOfSlates()). */
    bool clearHubOfSlates() const;
    /*! Removes the voter \a id (LegacyHub::clearVoteWithID()). */
    bool clearVoteWithID(quint64 id) const;
    /*!
        Replaces \a list by the hub's voters, loading them from the store when none are known.
        \return true; false once the hub has gone.
    */
    bool getListOfRegisteredVotes(QList<DeviceDisplayInfo>& list) const;
    /*! Replaces \a list by the hub's slates, each named by its PIN; as for the voters. */
    bool getListOfRegisteredSlates(QList<DeviceDisplayInfo>& list) const;
    /*! Opens voter registration: each new voter is reported by voteDeviceRegistered(). */
    bool startVoteRegistrationSession() const;
    /*! Closes voter registration and saves the voters to the store. */
    bool stopVoteRegistrationSession() const;
    /*!
        Opens slate registration: a slate that asks to join is reported by
        generatePinforSlateRegistration(); answer it with startSlatePINRegistration().
    */
    bool startSlateRegistrationSession() const;
    /*! Closes slate registration and saves the slates to the store. */
    bool stopSlateRegistrationSession() const;
    /*! Changes the voters' radio channel; forgets every registration (LegacyHub). */
    bool changeVoteChannel(quint8 channel) const;
    /*! Changes the slates' radio channel; forgets every registration (LegacyHub). */
    bool changeSlateChannel(quint8 channel) const;
    /*! Changes the board id; forgets every registration (LegacyHub). */
    bool changeBoardID(quint8 id) const;
    /*! Tells the hub to use radio slates. */
    bool useRFSlates() const;
    /*!
        Starts a voter test: every listed voter is enabled and each key press is reported by
        voteTestResponse(). End it with the hub's Hub::stopSession().
    */
    bool startVoteTestSession() const;
    /*! Disables the slates on the hub. */
    bool disableSlates() const;
    /*! The voters' channel read when the hub connected; false while unknown. */
    bool getVoteChannel(quint8& channel) const;
    /*! The slates' channel; false while unknown. */
    bool getSlateChannel(quint8& channel) const;
    /*! The board id; false while unknown. */
    bool getBoardID(quint8& id) const;
    /*! The radio band; false while unknown. */
    bool getRFBand(quint8& band) const;
    /*!
        After generatePinforSlateRegistration(): asks the slate \a slateId for \a pin (letters A
        to F), which the host shows and the learner types. A slate that types it is reported by
        slateDeviceRegistered(); a wrong PIN is ignored and the host may ask again.
    */
    bool startSlatePINRegistration(quint8 slateId, RegistrationCode pin) const;
    /*! Enables the listed slate \a slateId again with its stored PIN. */
    bool enableSlate(quint8 slateId) const;
    /*! Removes the slate \a slateId from the list and the store. */
    bool removeSlate(quint8 slateId) const;

Q_SIGNALS:
    /*! A voter joined: its \a uid, battery state and firmware version. Packet thread. */
    void voteDeviceRegistered(quint32 uid, bool batteryIsLow, int deviceVersion);
    /*!
        A voter pressed key \a answer during the voter test. Emitted on the packet thread (it is
        emitted by voteTestReceived()).
    */
    void voteTestResponse(quint32 uid, int answer, int batterylow);
    /*!
        The slate \a Id asks to join: give it a PIN with startSlatePINRegistration(). Packet
        thread.
    */
    void generatePinforSlateRegistration(quint8 Id);
    /*! The slate \a Id typed its PIN and joined. Packet thread. */
    void slateDeviceRegistered(quint8 Id);

public Q_SLOTS:
    /*!
        Receives the hub's votes during a voter test and emits voteTestResponse(); the system
        connects it to Hub::voteReceived().
    */
    void voteTestReceived(Taviosystem::Hub* phub, quint32 deviceid, int answer, int batterylow);

private:
    friend class TavioSystem;
    explicit LegacyhubRegistrationSession(LegacyhubRegistrationSessionImpl* impl);
    // Not owned; swapped by the system (on its event thread) when the hub goes away.
    std::atomic<LegacyhubRegistrationSessionImpl*> m_impl;
};

} // namespace Taviosystem
