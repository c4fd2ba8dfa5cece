#pragma once

#include <taviosystem/twopointfourghzhub.h>

#include <QtCore/QString>

namespace Taviosystem {

class orvikserver_helper;

/*!
    A software receiver that speaks the 2.4 GHz hub's protocol: the host drives it as a radio hub,
    reads its name, exchanges generic messages with devices through it, and takes registration
    PINs from the discovery server on the school network.

    Made and owned by the system for every software receiver it discovers, and listed with
    HubDisplayInfo::isVirtualHub set.

    Threads: generic device packets arrive on the packet thread and reach the host on the event
    thread; the discovery server is asked on the caller's thread, which blocks while it answers
    (up to a few seconds when no server can be found).
*/
class TAVIOSYSTEM_EXPORT VirtualTwoPointFourGHzHub : public TwoPointFourGHzHub
{
    Q_OBJECT
public:
    static constexpr int m_nResponseMaxWaitTIme = 500; //!< Milliseconds for the name reply.
    static constexpr int ResponseTimeout = 6000; //!< Milliseconds for every other reply.

    /*!
        Makes the hub of the receiver \a handle; the system does this, never the host.
        \param info the receiver's device path: "x:host:field2:field3:field4".
    */
    VirtualTwoPointFourGHzHub(TavioSystem* system, int handle, quint64 uid, bool connected,
        int version, const QString& info);
    /*! Destroys the hub; the system does this. */
    ~VirtualTwoPointFourGHzHub() override;

    /*! True. */
    bool isVirtualHub() override { return true; }
    /*! Does nothing: the software hub serves no application files. */
    void setApplicationFileList(const QList<ApplicationFileInfo>& files) override;
    void processPacket(const QByteArray& packet) override;
    /*! Handles the generic packets the hub queued for itself; runs on the event thread. */
    void handleAsEvent(EventType type, const QByteArray& data) override;
    /*!
        Asks the discovery server for this hub's PIN (the same one while the hub holds it);
        blocks the caller.
        \return false when no server can be reached or it gives no PIN.
    */
    bool asGetRegistrationPin(RegistrationCode& code) override;
    /*!
        Sends \a data to the device \a uid and waits up to 6000 ms for the hub's OK. An unknown
        device is no error: nothing is sent and the answer is true.
        \return false with Error_CommsFailure without the OK, or Error_InvalidParameter for a
        message too long for the hub.
    */
    bool sendGenericAsyncMessage(unsigned int uid, const QByteArray& data) override;
    /*!
        Asks the hub for its name, waiting up to 500 ms.
        \return the name, or "???" (translated) with Error_NotConnected or Error_CommsFailure.
    */
    QString name() override;
    /*! Gives the registration PIN back to the discovery server (blocking). */
    void asEndExpressionRegSession() override;
    /*!
        As TwoPointFourGHzHub::stopSession(); also takes back the generic packets still queued for
        the host.
    */
    bool stopSession() override;

    /*! "name@host:field2:field3:field4": name() and the fields of the device path. */
    QString asGetHubDetails();
    /*! Whether the discovery server can be reached, connecting to it when needed (blocking). */
    bool asIsOrvikServerAvailable();

    //! \cond internal
protected:
    // For the hubs whose learners are reached over the network instead of a receiver: no pens
    // are set up, there is no radio transport and no discovery client, and the hub keeps off the
    // board library (nothing is written for its handle).
    struct OffWire
    {
    };
    VirtualTwoPointFourGHzHub(
        TavioSystem* system, int handle, bool connected, int version, const QString& info, OffWire);

    // Runs on the event thread.
    void processGenericAsyncPacket(const QByteArray& packet);
    // Hands the hub a discovery client of the caller's making (it takes ownership).
    void replaceDiscoveryClient(orvikserver_helper* client);

private:
    bool connectDiscoveryClient();
    // The discovery host and fields of the construction string, and the command time-out.
    void setAddress(const QString& info);

    QString m_serverHost;
    QString m_field2;
    QString m_field3;
    QString m_field4;
    orvikserver_helper* m_discoveryClient = nullptr;
    //! \endcond
};

} // namespace Taviosystem
