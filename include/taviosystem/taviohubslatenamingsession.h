#pragma once

#include <taviosystem/taviosystem_global.h>

#include <QtCore/QObject>

#include <atomic>
#include <QtCore/QString>

namespace Taviosystem {

class TaviohubSlateNamingSessionImpl;

/*!
    The teacher names TavioSlate tablets registered on one 2.4 GHz hub.

    Made by TavioSystem::startTaviohubSlateNamingSession() and owned by the system: never delete
    it. TavioSystem::stopTaviohubSlateNamingSession() ends the hub's naming session and frees
    it. When its hub goes away the object stays valid and every call fails; it is freed at
    TavioSystem::shutdown(). Failures record their Hub::Error on the hub.
*/
class TAVIOSYSTEM_EXPORT TaviohubSlateNamingSession : public QObject
{
    Q_OBJECT
public:
    /*! Destroys the session; the system does this, never the host. */
    ~TaviohubSlateNamingSession() override;

    /*!
        Sends \a name (10 characters at most, cut or padded) to the slate \a uid, starting the
        naming session when none runs; the slate confirms by slateDeviceNamed().
        \return false, without hub traffic or error, when the slate is not in the host's list or
        another kind of session runs; Error_CommsFailure when the command cannot be sent.
    */
    bool nameSlate(unsigned int uid, const QString& name) const;
    /*!
        Ends the naming session and re-reads the slates. Blocks up to 6000 ms.
        \return true when none runs or the hub acknowledged; false while another kind runs, or
        with Error_CommsFailure without the acknowledgement.
    */
    bool stopSlateNamingSession() const;

Q_SIGNALS:
    /*! The slate \a uid confirmed its new \a name. Emitted on the packet thread. */
    void slateDeviceNamed(QString name, quint32 uid);

private:
    friend class TavioSystem;
    explicit TaviohubSlateNamingSession(TaviohubSlateNamingSessionImpl* impl);
    // Not owned; swapped by the system (on its event thread) when the hub goes away.
    std::atomic<TaviohubSlateNamingSessionImpl*> m_impl;
};

} // namespace Taviosystem
