#pragma once

#include <taviosystem/twopointfourghzhub.h>

#include <QtCore/QString>

namespace Taviosystem {

class orvikserver_helper;

// A software receiver that speaks the 2.4 GHz hub's protocol: the host drives it as a radio hub,
// reads its name, exchanges generic messages with devices through it, and takes registration
// PINs from the discovery server on the school network.
//
// Threads: generic device packets arrive on the packet thread and reach the host on the event
// thread; the discovery server is asked on the caller's thread.
class TAVIOSYSTEM_EXPORT VirtualTwoPointFourGHzHub : public TwoPointFourGHzHub
{
    Q_OBJECT
public:
    static constexpr int m_nResponseMaxWaitTIme = 500; // milliseconds for the name reply
    static constexpr int ResponseTimeout = 6000; // milliseconds for every other reply

    // `info` is the receiver's device path: "x:host:field2:field3:field4".
    VirtualTwoPointFourGHzHub(TavioSystem* system, int handle, quint64 uid, bool connected,
        int version, const QString& info);
    ~VirtualTwoPointFourGHzHub() override;

    bool isVirtualHub() override { return true; }
    void setApplicationFileList(const QList<ApplicationFileInfo>& files) override;
    void processPacket(const QByteArray& packet) override;
    void handleAsEvent(EventType type, const QByteArray& data) override;
    bool asGetRegistrationPin(RegistrationCode& code) override;
    bool sendGenericAsyncMessage(unsigned int uid, const QByteArray& data) override;
    QString name() override;
    void asEndExpressionRegSession() override;
    // Also takes back the generic packets still queued for the host.
    bool stopSession() override;

    // "name@host:field2:field3:field4"
    QString asGetHubDetails();
    bool asIsOrvikServerAvailable();

protected:
    // A hub whose devices are reached through a server: nothing is configured on a receiver and
    // no discovery client is made.
    VirtualTwoPointFourGHzHub(TavioSystem* system, int handle, quint64 uid, bool connected,
        int version, const QString& info, bool radio);
    // Runs on the event thread.
    void processGenericAsyncPacket(const QByteArray& packet);
    // Hands the hub a discovery client of the caller's making (it takes ownership).
    void replaceDiscoveryClient(orvikserver_helper* client);

private:
    bool connectDiscoveryClient();

    QString m_serverHost;
    QString m_field2;
    QString m_field3;
    QString m_field4;
    orvikserver_helper* m_discoveryClient = nullptr;
};

} // namespace Taviosystem
