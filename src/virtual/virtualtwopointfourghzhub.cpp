#include <taviosystem/virtualtwopointfourghzhub.h>

#include "hub/hubengine.h"
#include "hub24/hub24records.h"
#include "orvikserver_helper.h"
#include "virtualhubrecords.h"

#include <taviosystem/registrationcode.h>
#include <taviosystem/taviosystem.h>

namespace Taviosystem {

VirtualTwoPointFourGHzHub::VirtualTwoPointFourGHzHub(
    TavioSystem* system, int handle, quint64 uid, bool connected, int version, const QString& info)
    : VirtualTwoPointFourGHzHub(system, handle, uid, connected, version, info, true)
{
}

VirtualTwoPointFourGHzHub::VirtualTwoPointFourGHzHub(TavioSystem* system, int handle, quint64 uid,
    bool connected, int version, const QString& info, bool radio)
    : TwoPointFourGHzHub(system, handle, uid, connected, version, radio)
{
    const VirtualHubAddress address = VirtualHubAddress::parse(info);
    m_serverHost = address.host;
    m_field2 = address.field2;
    m_field3 = address.field3;
    m_field4 = address.field4;
    m_responseTimeout = ResponseTimeout;
    registerResponseHandler<EnhancedNameResponse>();
    registerResponseHandler<VirtualGenericAsyncResponse>();
    if (radio)
        m_discoveryClient
            = new orvikserver_helper(OrvikTimings(), QStringLiteral("taviolog"), this);
}

VirtualTwoPointFourGHzHub::~VirtualTwoPointFourGHzHub()
{
    if (m_system)
        m_system->removeEvents(EventType_GenericAsyncPacket, this);
    delete m_discoveryClient;
}

void VirtualTwoPointFourGHzHub::replaceDiscoveryClient(orvikserver_helper* client)
{
    delete m_discoveryClient;
    m_discoveryClient = client;
    if (client)
        client->setParent(this);
}

void VirtualTwoPointFourGHzHub::setApplicationFileList(const QList<ApplicationFileInfo>&) { }

QString VirtualTwoPointFourGHzHub::name()
{
    if (!isConnected()) {
        recordError(Error_NotConnected);
        return unreadableName();
    }
    EnhancedNameResponse reply;
    if (!sendAndReceive(hubNameCommand(), reply, m_nResponseMaxWaitTIme))
        return unreadableName();
    return reply.name;
}

QString VirtualTwoPointFourGHzHub::asGetHubDetails()
{
    return name() + QLatin1Char('@') + m_serverHost + QLatin1Char(':') + m_field2 + QLatin1Char(':')
        + m_field3 + QLatin1Char(':') + m_field4;
}

// The client always discovers: the construction string's host only describes this hub.
bool VirtualTwoPointFourGHzHub::connectDiscoveryClient()
{
    return m_discoveryClient
        && (m_discoveryClient->isConnected() || m_discoveryClient->connectToServer(QString(), 0));
}

bool VirtualTwoPointFourGHzHub::asIsOrvikServerAvailable() { return connectDiscoveryClient(); }

bool VirtualTwoPointFourGHzHub::asGetRegistrationPin(RegistrationCode& code)
{
    if (!connectDiscoveryClient())
        return false;
    QString pin;
    if (!m_discoveryClient->requestPin(asGetHubDetails(), pin) || pin.isEmpty())
        return false;
    code = RegistrationCode(pin);
    return true;
}

void VirtualTwoPointFourGHzHub::asEndExpressionRegSession()
{
    if (connectDiscoveryClient())
        m_discoveryClient->closeSession();
}

// An unknown device is no error: there is nobody to send to.
bool VirtualTwoPointFourGHzHub::sendGenericAsyncMessage(unsigned int uid, const QByteArray& data)
{
    unsigned int address = 0;
    if (!getAddress(uid, address))
        return true;
    if (data.size() > MaximumGenericPayload) {
        recordError(Error_InvalidParameter);
        return false;
    }
    OKResponse reply;
    return sendAndReceive(
        genericAsyncMessageCommand(quint16(address), data), reply, m_responseTimeout);
}

// Runs on the packet thread: a generic packet of the running generic session is copied into an
// event and handed to the host on the event thread.
void VirtualTwoPointFourGHzHub::processPacket(const QByteArray& packet)
{
    if (m_sessionType != SessionType_EnhancedGeneric
        || !VirtualGenericAsyncResponse::isResponse(packet)) {
        TwoPointFourGHzHub::processPacket(packet);
        return;
    }
    postPacketEvent(EventType_GenericAsyncPacket, packet, this);
}

void VirtualTwoPointFourGHzHub::handleAsEvent(EventType type, const QByteArray& data)
{
    Hub::handleAsEvent(type, data);
    if (type == EventType_GenericAsyncPacket)
        processGenericAsyncPacket(data);
}

// Runs on the event thread. A packet that outlived its session is dropped.
void VirtualTwoPointFourGHzHub::processGenericAsyncPacket(const QByteArray& packet)
{
    if (m_sessionType != SessionType_EnhancedGeneric)
        return;
    const VirtualGenericAsyncResponse record(packet);
    if (!record.isValid() || !record.generic)
        return;
    const unsigned int uid = record.address != 0 ? getDeviceId(record.address) : 0;
    deliverReceivedMessage(uid, record.payload);
}

bool VirtualTwoPointFourGHzHub::stopSession()
{
    const bool ok = TwoPointFourGHzHub::stopSession();
    if (m_sessionType != SessionType_EnhancedGeneric && m_system)
        m_system->removeEvents(EventType_GenericAsyncPacket, this);
    return ok;
}

} // namespace Taviosystem
