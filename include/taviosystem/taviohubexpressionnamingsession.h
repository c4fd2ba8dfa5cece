#pragma once

#include <taviosystem/taviosystem_global.h>

#include <QtCore/QObject>

#include <atomic>
#include <QtCore/QString>

namespace Taviosystem {

class Hub;
class TaviohubExpressionNamingSessionImpl;

/*!
    The teacher names TavioExpression devices registered on one 2.4 GHz hub.

    Made by TavioSystem::startTaviohubExpressionNamingSession() and owned by the system: never
    delete it. TavioSystem::stopTaviohubExpressionNamingSession() ends the hub's naming session
    and frees it. When its hub goes away the object stays valid and every call fails; it is
    freed at TavioSystem::shutdown(). Failures record their Hub::Error on the hub.
*/
class TAVIOSYSTEM_EXPORT TaviohubExpressionNamingSession : public QObject
{
    Q_OBJECT
public:
    /*!
        Hears a naming confirmation: the \a name the device \a uid now holds. Called on the board
        library's packet thread with the context given to setCallback().
    */
    typedef void (*NamedCallback)(Hub*, const QString& name, unsigned int uid, void* context);

    /*! Destroys the session; the system does this, never the host. */
    ~TaviohubExpressionNamingSession() override;

    /*!
        Starts the hub's expression naming session.
        \return false, without an error, while another session runs; false with
        Error_CommsFailure when the hub does not acknowledge (the session is then left started,
        so that stopExpressionNamingSession() ends it).
    */
    bool startExpressionNamingSession() const;
    /*!
        Sends \a name (14 characters at most, cut or padded; characters the devices cannot show
        are replaced) to the device \a uid and waits for its receipt.
        \return true when the device confirmed it received the name; false, without hub traffic,
        when the device is not in the host's list, another kind of session runs or the hub is
        busy; Error_CommsFailure without the receipt.
    */
    bool nameExpression(unsigned int uid, const QString& name) const;
    /*!
        Ends the naming session, re-reads the devices and drops the callback set with
        setCallback(). Blocks up to 6000 ms.
        \return true when none runs or the hub acknowledged; false while another kind runs, or
        with Error_CommsFailure without the acknowledgement.
    */
    bool stopExpressionNamingSession() const;
    /*!
        Sets the callback that hears confirmations instead of expressionDeviceNamed(), until the
        next stop.
    */
    void setCallback(NamedCallback callback, void* context) const;

Q_SIGNALS:
    /*!
        The device \a uid confirmed its new \a name. Emitted on the packet thread when no
        callback is set.
    */
    void expressionDeviceNamed(QString name, quint32 uid);

private:
    friend class TavioSystem;
    explicit TaviohubExpressionNamingSession(TaviohubExpressionNamingSessionImpl* impl);
    // Not owned; swapped by the system (on its event thread) when the hub goes away.
    std::atomic<TaviohubExpressionNamingSessionImpl*> m_impl;
};

} // namespace Taviosystem
