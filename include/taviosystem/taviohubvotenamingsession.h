#pragma once

#include <taviosystem/taviosystem_global.h>

#include <QtCore/QObject>

#include <atomic>
#include <QtCore/QString>

namespace Taviosystem {

class Hub;
class TaviohubTavioteNamingSessionImpl;

/*!
    The teacher names Taviote voters registered on one 2.4 GHz hub.

    Made by TavioSystem::startTaviohubVoteNamingSession() and owned by the system: never delete
    it. TavioSystem::stopTaviohubVoteNamingSession() ends the hub's naming session and frees it.
    When its hub goes away the object stays valid and every call fails; it is freed at
    TavioSystem::shutdown(). Failures record their Hub::Error on the hub.
*/
class TAVIOSYSTEM_EXPORT TaviohubVoteNamingSession : public QObject
{
    Q_OBJECT
public:
    /*!
        Hears a naming confirmation: the \a name the voter \a uid now holds. Called on the board
        library's packet thread with the context given to setCallback().
    */
    typedef void (*NamedCallback)(Hub*, const QString& name, unsigned int uid, void* context);

    /*! Destroys the session; the system does this, never the host. */
    ~TaviohubVoteNamingSession() override;

    /*!
        Starts the hub's voter naming session.
        \return false with Error_Busy while another session runs; Error_CommsFailure when the
        command cannot be sent.
    */
    bool startTavioteNamingSession() const;
    /*!
        Sends \a name (4 characters at most, cut or padded) to the voter \a uid, starting the
        naming session when none runs. The voter confirms later, by callback or
        tavioteDeviceNamed().
        \return false, without hub traffic or error, when the voter is not in the host's list or
        another kind of session runs; Error_CommsFailure when the command cannot be sent.
    */
    bool nameTaviote(unsigned int uid, const QString& name) const;
    /*!
        Ends the naming session and re-reads the voters, so their objects show the new names.
        Blocks up to 6000 ms.
        \return true when none runs or the hub acknowledged; false while another kind runs, or
        with Error_CommsFailure without the acknowledgement.
    */
    bool stopTavioteNamingSession() const;
    /*!
        Sets the callback that hears confirmations instead of tavioteDeviceNamed(). With a
        callback set, even a null one, the signal is no longer emitted; the callback stays across
        a stop and a later start.
    */
    void setCallback(NamedCallback callback, void* context) const;

Q_SIGNALS:
    /*!
        The voter \a uid confirmed its new \a name. Emitted on the packet thread when no callback
        is set.
    */
    void tavioteDeviceNamed(QString name, quint32 uid);

private:
    friend class TavioSystem;
    explicit TaviohubVoteNamingSession(TaviohubTavioteNamingSessionImpl* impl);
    // Not owned; swapped by the system (on its event thread) when the hub goes away.
    std::atomic<TaviohubTavioteNamingSessionImpl*> m_impl;
};

} // namespace Taviosystem
