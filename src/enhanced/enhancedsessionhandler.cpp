#include "enhanced/enhancedsessionhandler.h"

#include "enhanced/asyncresponse.h"
#include "enhanced/genericmessageconverter.h"

#include <taviosystem/enhancedgenericsession.h>
#include <taviosystem/twopointfourghzhub.h>

#include <mutex>

namespace Taviosystem {

namespace {
const char AsyncAnnouncePrefix[] = ":XP00B\r\x03";
const char GenericAnnouncePrefix[] = ":XP00E\r\x05";
constexpr int GenericLengthBytes = 3;

// The 3-byte prefix of a generic host message: its length minus one, most significant first.
QByteArray withLengthPrefix(const QByteArray& data)
{
    const quint32 value = quint32(data.size()) - 1;
    QByteArray message;
    message.reserve(GenericLengthBytes + data.size());
    message.append(char(value >> 16));
    message.append(char(value >> 8));
    message.append(char(value));
    message.append(data);
    return message;
}

} // namespace

EnhancedSessionHandler::EnhancedSessionHandler(TwoPointFourGHzHub* hub)
    : m_hub(hub)
{
}

EnhancedSessionHandler::~EnhancedSessionHandler() = default;

quint32 EnhancedSessionHandler::mode() const
{
    std::shared_lock<std::shared_mutex> locker(m_modeLock);
    return m_mode;
}

bool EnhancedSessionHandler::start(quint32 mode)
{
    std::unique_lock<std::shared_mutex> locker(m_modeLock);
    if (m_mode == mode)
        return true;
    if (m_mode != Mode_None)
        return false;
    m_mode = mode;
    m_messages.setNumberWidth(mode == Mode_Async ? EnhancedMessageManager::NumberWidth_Async
                                                 : EnhancedMessageManager::NumberWidth_Generic);
    return true;
}

void EnhancedSessionHandler::stop()
{
    {
        std::unique_lock<std::shared_mutex> locker(m_modeLock);
        m_mode = Mode_None;
    }
    m_messages.reset();
    m_responses.clear();
}

void EnhancedSessionHandler::halt()
{
    {
        std::unique_lock<std::shared_mutex> locker(m_modeLock);
        m_mode = Mode_None;
    }
    m_messages.dropMessages();
    m_responses.clear();
}

bool EnhancedSessionHandler::send(quint16 address, const QByteArray& data)
{
    std::shared_lock<std::shared_mutex> locker(m_modeLock);
    quint32 number = 0;
    switch (m_mode) {
    case Mode_Async:
        if (!m_messages.queueMessage(address, number, data, EnhancedMessageManager::AsyncChunkSize))
            return false;
        return announce(address, number);
    case Mode_Generic:
        if (data.isEmpty()
            || !m_messages.queueMessage(
                address, number, withLengthPrefix(data), EnhancedMessageManager::GenericChunkSize))
            return false;
        return announce(address, number);
    default:
        return false;
    }
}

void EnhancedSessionHandler::setApplicationFileList(const QList<ApplicationFileInfo>& files)
{
    m_messages.setApplicationFileList(files);
}

QByteArray EnhancedSessionHandler::asyncAnnounceCommand(quint16 address, quint32 number)
{
    QByteArray command(AsyncAnnouncePrefix);
    command.append(char(address >> 8));
    command.append(char(address));
    command.append(char(number));
    return command;
}

QByteArray EnhancedSessionHandler::genericAnnounceCommand(quint16 address, quint32 number)
{
    QByteArray command(GenericAnnouncePrefix);
    command.append(char(address >> 8));
    command.append(char(address));
    command.append(char(number >> 16));
    command.append(char(number >> 8));
    command.append(char(number));
    return command;
}

// Caller holds the read lock.
bool EnhancedSessionHandler::announce(quint16 address, quint32 number)
{
    return m_hub->doSendAndReceive(m_mode == Mode_Async ? asyncAnnounceCommand(address, number)
                                                        : genericAnnounceCommand(address, number));
}

// Caller holds the read lock.
void EnhancedSessionHandler::serveChunk(quint32 number)
{
    const QByteArray command = m_messages.serveChunk(number);
    if (!command.isEmpty())
        m_hub->doSendAndReceive(command);
}

void EnhancedSessionHandler::handleAsEvent(EventType type, const QByteArray& packet)
{
    Delivery delivery;
    {
        std::shared_lock<std::shared_mutex> locker(m_modeLock);
        if (type == EventType_AsyncPacket && m_mode == Mode_Async)
            delivery = dispatchAsync(packet);
        else if (type == EventType_GenericAsyncPacket && m_mode == Mode_Generic)
            delivery = dispatchGeneric(packet);
    }
    switch (delivery.kind) {
    case Delivery::GetMessage:
        m_hub->processAsyncGetMessageRequest(delivery.address, delivery.data);
        break;
    case Delivery::Message:
        if (!delivery.data.isEmpty())
            m_hub->doAsyncResponseCallback(delivery.data, delivery.address);
        break;
    case Delivery::None:
        break;
    }
}

EnhancedSessionHandler::Delivery EnhancedSessionHandler::dispatchAsync(const QByteArray& packet)
{
    const AsyncResponse response(packet);
    Delivery delivery;
    if (!response.isValid())
        return delivery;
    delivery.address = response.address();
    switch (response.packetType()) {
    case AsyncResponse::Type_GetMessage:
        m_responses.deviceMovedOn(response.address());
        delivery.kind = Delivery::GetMessage;
        delivery.data = response.payload();
        break;
    case AsyncResponse::Type_ChunkRequest:
        serveChunk(response.messageNumber());
        break;
    case AsyncResponse::Type_MessageDone:
        m_messages.release(0, response.messageNumber());
        break;
    case AsyncResponse::Type_FirstPiece:
        delivery.kind = Delivery::Message;
        delivery.data = m_responses.receiveFirstPiece(
            response.address(), response.pieceCount(), response.payload());
        break;
    case AsyncResponse::Type_Piece:
        delivery.kind = Delivery::Message;
        delivery.data = m_responses.receivePiece(
            response.address(), response.pieceIndex(), response.payload());
        break;
    case AsyncResponse::Type_Acknowledgement:
        // An acknowledgement that repeats what the device reported before may be radioed
        // between a piece and its repeat; only news of a chunk marks a new step.
        if (m_messages.acknowledge(response.address(), response.ackStart(), response.payload()))
            m_responses.deviceMovedOn(response.address());
        break;
    default:
        break;
    }
    return delivery;
}

EnhancedSessionHandler::Delivery EnhancedSessionHandler::dispatchGeneric(const QByteArray& packet)
{
    const GenericAsyncResponse response(packet);
    Delivery delivery;
    if (!response.isValid())
        return delivery;
    delivery.address = response.address();
    switch (response.packetType()) {
    case AsyncResponse::Type_GenericHeader:
        m_responses.receiveHeader(response.address(), response.genericMessageNumber(),
            response.length(), response.extra());
        break;
    case AsyncResponse::Type_GenericPiece: {
        const QByteArray message
            = m_responses.receiveNextPiece(response.address(), response.payload());
        if (message.isEmpty())
            break;
        const GenericMessageConverter converter(
            message, GenericMessageConverter::Direction_DeviceMessage);
        if (converter.isValid()) {
            delivery.kind = Delivery::Message;
            delivery.data = converter.convertedMessage();
        }
        break;
    }
    case AsyncResponse::Type_Acknowledgement:
        m_messages.acknowledge(response.address(), response.ackStart(), response.payload());
        break;
    case AsyncResponse::Type_Control:
        return dispatchControl(response.address(), response.payload());
    case AsyncResponse::Type_AnyChunkRequest:
        serveChunk(0);
        break;
    default:
        break;
    }
    return delivery;
}

EnhancedSessionHandler::Delivery EnhancedSessionHandler::dispatchControl(
    quint16 address, const QByteArray& control)
{
    const GenericMessageConverter converter(control, GenericMessageConverter::Direction_Control);
    Delivery delivery;
    delivery.address = address;
    if (!converter.isValid())
        return delivery;
    switch (converter.kind()) {
    case GenericMessageConverter::ControlKind_GetSessionDescription: {
        quint32 number = m_messages.sessionMessageNumber();
        if (m_messages.queueMessage(address, number, m_messages.sessionMessage(),
                EnhancedMessageManager::GenericChunkSize))
            announce(address, number);
        break;
    }
    case GenericMessageConverter::ControlKind_RequestSessionDescription:
    case GenericMessageConverter::ControlKind_RequestQuestion:
        delivery.kind = Delivery::Message;
        delivery.data = converter.convertedMessage();
        break;
    case GenericMessageConverter::ControlKind_GetApplicationFile: {
        quint32 number = converter.number();
        const std::optional<QByteArray> file = m_messages.applicationFile(number);
        if (file
            && m_messages.queueMessage(
                address, number, *file, EnhancedMessageManager::GenericChunkSize))
            announce(address, number);
        break;
    }
    case GenericMessageConverter::ControlKind_DiscardMessage:
        m_messages.release(address, 0);
        delivery.kind = Delivery::Message;
        delivery.data = converter.convertedMessage();
        break;
    case GenericMessageConverter::ControlKind_MessageDone:
        m_messages.release(address, converter.number());
        break;
    default:
        break;
    }
    return delivery;
}

} // namespace Taviosystem
