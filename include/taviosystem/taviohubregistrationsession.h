#pragma once

#include <taviosystem/devicedisplayinfo.h>
#include <taviosystem/registrationcode.h>
#include <taviosystem/taviosystem_global.h>

#include <QtCore/QList>
#include <QtCore/QObject>

#include <atomic>

namespace Taviosystem {

class TaviohubRegistrationSessionImpl;

/*!
    Registers learner devices to one 2.4 GHz hub under a PIN, and clears, removes and lists what
    is registered.

    Made by TavioSystem::startTaviohubRegistrationSession() and owned by the system: never delete
    it. TavioSystem::stopTaviohubRegistrationSession() ends the hub's registration window and
    frees the object. When its hub goes away, or when the host starts this kind again after
    another kind, the object stays valid but every call fails (false, empty lists, a
    registrationInfo() with hub state 16); it is freed at TavioSystem::shutdown().

    Operations run on the caller's thread and may block it while the hub answers (a stop waits
    up to 6000 ms for the hub to store its lists). Failures record their Hub::Error on the hub
    (Hub::getLastError()). The signals are the hub's, forwarded by direct connections: they are
    emitted on the board library's packet thread, so the host's slots run there unless it
    connects them queued.
*/
class TAVIOSYSTEM_EXPORT TaviohubRegistrationSession : public QObject
{
    Q_OBJECT
public:
    /*! What the hub has registered and has room for. */
    struct RegistrationInfo
    {
        int votingDeviceCount = 0; //!< Voters plus answer devices, as the hub counts them.
        int votingDevicesUsed = 0; //!< Voting device places in use.
        int votingDevicesMax = 0; //!< Voting device places in all.
        int votingDevicesFree = 0; //!< Voting device places left.
        int boardCount = 0; //!< Boards the hub counts.
        int boardsUsed = 0; //!< Board places in use.
        int boardsMax = 0; //!< Board places in all.
        int boardsFree = 0; //!< Board places left.
        int slateCount = 0; //!< Slates the hub counts.
        int slatesUsed = 0; //!< Slate places in use.
        int slatesMax = 0; //!< Slate places in all.
        int slatesFree = 0; //!< Slate places left.
        int hubState = 0; //!< A Hub::HubState; 16 once the hub has gone.
    };

    /*! Destroys the session; the system does this, never the host. */
    ~TaviohubRegistrationSession() override;

    /*!
        Reads the hub's registration counts and capacities. Every field is 0 when the hub does
        not answer (Error_CommsFailure); hubState is 16 once the hub has gone.
    */
    RegistrationInfo registrationInfo() const;
    /*!
        Clears every registration from the hub and reads its lists again.
        \return true when the hub acknowledged; Error_CommsFailure after 6000 ms without it.
    */
    bool clearHub() const;
    /*! Clears the voters; otherwise as clearHub(). */
    bool clearHubOfVotes() const;
    /*! Clears the slates; otherwise as clearHub(). */
    bool clearHubOfSlates() const;
    /*! Clears the boards; otherwise as clearHub(). */
    bool clearHubOfBoards() const;
    /*! Clears the answer devices; otherwise as clearHub(). */
    bool clearHubOfExpressions() const;
    /*! Clears the pen expressions; otherwise as clearHub(). */
    bool clearHubOfPenExpressions() const;
    /*!
        Replaces \a list by the hub's voters as the host last read them (no hub traffic).
        \return true; false once the hub has gone.
    */
    bool getListOfRegisteredVotes(QList<DeviceDisplayInfo>& list) const;
    /*! Replaces \a list by the hub's slates; as getListOfRegisteredVotes(). */
    bool getListOfRegisteredSlates(QList<DeviceDisplayInfo>& list) const;
    /*! Boards are not listed: always false with \a list empty. */
    bool getListOfRegisteredBoards(QList<DeviceDisplayInfo>& list) const;
    /*! Replaces \a list by the hub's answer devices; as getListOfRegisteredVotes(). */
    bool getListOfRegisteredExpressions(QList<DeviceDisplayInfo>& list) const;
    /*! Replaces \a list by the hub's pen expressions; as getListOfRegisteredVotes(). */
    bool getListOfRegisteredPenExpressions(QList<DeviceDisplayInfo>& list) const;
    /*!
        Opens a registration window for answer devices under \a pin, first stopping whatever
        session the hub runs. Each new device is reported once by expressionDeviceRegistered().
        \param p1, p2, p3 passed to the hub unchanged.
        \return false when the stop failed, the hub is busy (no error recorded) or the command
        could not be sent (Error_CommsFailure).
    */
    bool startExpressionRegistrationSession(
        quint16 p1, quint8 p2, quint8 p3, RegistrationCode pin) const;
    /*!
        As startExpressionRegistrationSession(), and the devices also ask their learners for a
        name of at most \a nameLength characters of \a characterType.
    */
    bool startNamingExpressionRegistrationSession(quint16 p1, quint8 p2, quint8 p3,
        RegistrationCode pin, CharacterType characterType, bool flag, quint8 nameLength) const;
    /*!
        Opens a registration window for voters under \a pin; each new voter is reported once by
        voteDeviceRegistered().
        \return false while any session runs or the hub is busy (no error recorded), or when the
        command could not be sent (Error_CommsFailure).
    */
    bool startVoteRegistrationSession(quint16 p1, quint8 p2, quint8 p3, RegistrationCode pin) const;
    /*! Opens a registration window for slates; as startVoteRegistrationSession(). */
    bool startSlateRegistrationSession(
        quint16 p1, quint8 p2, quint8 p3, RegistrationCode pin) const;
    /*!
        Removes the answer device \a uid from the hub: stops the running session, sends the
        removal and closes it again, then re-reads the list.
        \return false, without hub traffic, when the device is not in the host's list; false
        when the hub is busy or does not acknowledge (Error_CommsFailure).
    */
    bool removeTavioexpression(unsigned int uid) const;
    /*! Removes the voter \a uid; as removeTavioexpression(). */
    bool removeTaviote(unsigned int uid) const;
    /*! Removes the slate \a uid; as removeTavioexpression(). */
    bool removeSlate(unsigned int uid) const;
    /*! Removes the pen expression \a uid; as removeTavioexpression(). */
    bool removePenExpression(unsigned int uid) const;
    /*!
        Closes the answer device window and re-reads the lists. On a virtual hub it also gives
        the PIN back to the discovery server.
        \return true when no session runs or the hub acknowledged; false while another kind of
        session runs, or without an acknowledgement (Error_CommsFailure; the window is closed on
        the host's side all the same).
    */
    bool stopExpressionRegistrationSession() const;
    /*! Closes the voter window; as stopExpressionRegistrationSession(). */
    bool stopVoteRegistrationSession() const;
    /*! Closes the slate window; as stopExpressionRegistrationSession(). */
    bool stopSlateRegistrationSession() const;

Q_SIGNALS:
    /*!
        An answer device joined: its \a name, \a uid and generation (SubType_None for a pen
        expression). Emitted on the packet thread.
    */
    void expressionDeviceRegistered(
        QString name, quint32 uid, Taviosystem::Device::SubType subType);
    /*! A voter joined. Emitted on the packet thread. */
    void voteDeviceRegistered(QString name, quint32 uid);
    /*! A slate joined. Emitted on the packet thread. */
    void slateDeviceRegistered(QString name, quint32 uid);

private:
    friend class TavioSystem;
    explicit TaviohubRegistrationSession(TaviohubRegistrationSessionImpl* impl);
    // Not owned; swapped by the system (on its event thread) when the hub goes away.
    std::atomic<TaviohubRegistrationSessionImpl*> m_impl;
};

} // namespace Taviosystem
