// The 2.4 GHz hub's side of the long-message transport: starting and stopping the asynchronous
// and enhanced generic sessions, handing host messages to the session handler and device
// messages to the host.

#include "enhanced/asyncresponse.h"
#include "enhanced/enhancedsessionhandler.h"
#include "hub/hubengine.h"
#include "hub24/hub24records.h"
#include "hub24/twopointfourghzprotocol.h"

#include <taviosystem/enhancedgenericsession.h>
#include <taviosystem/enhancedquestionsession.h>
#include <taviosystem/taviosystem.h>
#include <taviosystem/twopointfourghzhub.h>

namespace Taviosystem {

using Protocol = TwoPointFourGHzProtocol;

namespace {
// Takes back every packet of `session` (SessionType_None: of either) still queued for the
// handler, so that none is handled after the session it came in.
void removeTransportEvents(
    TavioSystem* system, EnhancedSessionHandler* handler, Hub::SessionType session)
{
    if (!system)
        return;
    if (session != Hub::SessionType_EnhancedGeneric)
        system->removeEvents(EventType_AsyncPacket, handler);
    if (session != Hub::SessionType_Async)
        system->removeEvents(EventType_GenericAsyncPacket, handler);
}
} // namespace

bool TwoPointFourGHzHub::startAsyncSession(
    AsyncGetMessageCallback getMessage, AsyncReceiveMessageCallback receiveMessage, void* context)
{
    return startTransportSession(SessionType_Async, Protocol::startAsyncSessionCommand(),
        getMessage, receiveMessage, context);
}

bool TwoPointFourGHzHub::startEnhancedGenericSession(
    AsyncReceiveMessageCallback receiveMessage, void* context)
{
    return startTransportSession(SessionType_EnhancedGeneric,
        Protocol::startEnhancedGenericSessionCommand(isVirtualHub()), nullptr, receiveMessage,
        context);
}

// The session and the handler's mode are in place before the command goes out: devices may
// send the moment the hub accepts it.
bool TwoPointFourGHzHub::startTransportSession(SessionType session, const QByteArray& command,
    AsyncGetMessageCallback getMessage, AsyncReceiveMessageCallback receiveMessage, void* context)
{
    if (!isConnected()) {
        recordError(Error_NotConnected);
        return false;
    }
    if (!m_enhancedHandler) {
        recordError(Error_NotSupported);
        return false;
    }
    SessionType expected = SessionType_None;
    if (!m_sessionType.compare_exchange_strong(expected, session)) {
        recordError(Error_CannotStartSessionBecauseCurrentlyInSession);
        return false;
    }
    // A hub reset or a lost connection ends a session without a stop: whatever the last one
    // left in flight goes first, and before this session's callbacks are in place, so that no
    // packet of the last session reaches them. The session description and files the host set
    // stay, so that a host may list its files before it starts the session.
    removeTransportEvents(m_system, m_enhancedHandler, SessionType_None);
    m_enhancedHandler->halt();
    {
        std::lock_guard<std::mutex> locker(m_asyncMutex);
        m_asyncGetCallback = getMessage;
        m_asyncReceiveCallback = receiveMessage;
        m_asyncContext = context;
        if (session == SessionType_Async)
            m_asyncReady.clear();
    }
    const auto mode = session == SessionType_Async ? EnhancedSessionHandler::Mode_Async
                                                   : EnhancedSessionHandler::Mode_Generic;
    m_enhancedHandler->start(mode);
    OKResponse reply;
    if (sendAndReceive(command, reply, m_responseTimeout))
        return true;
    m_enhancedHandler->halt();
    m_sessionType = SessionType_None;
    return false;
}

bool TwoPointFourGHzHub::asyncSendMsg(unsigned int uid, const QByteArray& data)
{
    return sendTransportMessage(SessionType_Async, uid, data);
}

bool TwoPointFourGHzHub::sendGenericAsyncMessage(unsigned int uid, const QByteArray& data)
{
    return sendTransportMessage(SessionType_EnhancedGeneric, uid, data);
}

bool TwoPointFourGHzHub::sendTransportMessage(
    SessionType session, unsigned int uid, const QByteArray& data)
{
    if (m_sessionType != session || !m_enhancedHandler) {
        recordError(Error_InvalidSessionForRequest);
        return false;
    }
    unsigned int address = 0;
    if (!getAddress(uid, address)) {
        recordError(Error_InvalidParameter);
        return false;
    }
    return m_enhancedHandler->send(quint16(address), data);
}

void TwoPointFourGHzHub::setApplicationFileList(const QList<ApplicationFileInfo>& files)
{
    if (m_enhancedHandler)
        m_enhancedHandler->setApplicationFileList(files);
}

bool TwoPointFourGHzHub::asyncIsReadyToReceive(unsigned int uid)
{
    std::lock_guard<std::mutex> locker(m_asyncMutex);
    return m_asyncReady.contains(uid);
}

bool TwoPointFourGHzHub::doSendAndReceive(const QByteArray& command)
{
    OKResponse reply;
    return sendAndReceive(command, reply, m_responseTimeout);
}

TwoPointFourGHzHub::AsyncCallbacks TwoPointFourGHzHub::asyncCallbacks()
{
    std::lock_guard<std::mutex> locker(m_asyncMutex);
    return { m_asyncGetCallback, m_asyncReceiveCallback, m_asyncContext };
}

void TwoPointFourGHzHub::doAsyncResponseCallback(const QByteArray& message, unsigned int address)
{
    deliverReceivedMessage(getDeviceId(address), message);
}

void TwoPointFourGHzHub::deliverReceivedMessage(unsigned int uid, const QByteArray& message)
{
    const AsyncCallbacks callbacks = asyncCallbacks();
    if (callbacks.receive)
        callbacks.receive(this, uid, message, callbacks.context, true);
    else
        Q_EMIT asyncReceiveMsg(this, uid, message, true);
}

void TwoPointFourGHzHub::processAsyncGetMessageRequest(unsigned int address, const QByteArray& data)
{
    const unsigned int uid = getDeviceId(address);
    if (uid == 0)
        return;
    const AsyncCallbacks callbacks = asyncCallbacks();
    if (callbacks.get)
        callbacks.get(this, uid, data, callbacks.context);
    else
        Q_EMIT asyncGetMsg(this, uid, data);
    std::lock_guard<std::mutex> locker(m_asyncMutex);
    if (!m_asyncReady.contains(uid))
        m_asyncReady.append(uid);
}

// Runs on the packet thread: the packet is copied into the event, the handler takes it on the
// event thread.
void TwoPointFourGHzHub::postTransportPacket(EventType type, const QByteArray& packet)
{
    const bool valid = type == EventType_AsyncPacket ? AsyncResponse::isResponse(packet)
                                                     : GenericAsyncResponse::isResponse(packet);
    if (valid && m_enhancedHandler)
        postPacketEvent(type, packet, m_enhancedHandler);
}

void TwoPointFourGHzHub::postPacketEvent(
    EventType type, const QByteArray& packet, AbstractAsEventHandler* handler)
{
    if (!m_system)
        return;
    TavioSystem::AsEvent event;
    event.type = type;
    event.data = QByteArray(packet.constData(), packet.size());
    event.handler = handler;
    m_system->asPostEvent(event);
}

// After the hub has ended `session` (SessionType_None: whichever ran): nothing queued for the
// handler is handled any more, a packet being handled has been (so no callback of the session
// runs after this returns, unless this is called from inside one), and every message, link, file
// and partial device message goes.
void TwoPointFourGHzHub::stopTransport(SessionType session)
{
    if (!m_enhancedHandler)
        return;
    removeTransportEvents(m_system, m_enhancedHandler, session);
    m_enhancedHandler->stop();
}

void TwoPointFourGHzHub::deleteTransport()
{
    stopTransport(SessionType_None);
    delete m_enhancedQuestionSession;
    m_enhancedQuestionSession = nullptr;
    delete m_enhancedGenericSession;
    m_enhancedGenericSession = nullptr;
    delete m_enhancedHandler;
    m_enhancedHandler = nullptr;
}

namespace {
// Session objects live in the hub's thread, whichever thread asked first, so that their timers
// and queued signals run there.
template <typename Session>
Session* createSession(TwoPointFourGHzHub* hub)
{
    auto* session = new Session(hub);
    if (session->thread() != hub->thread())
        session->moveToThread(hub->thread());
    return session;
}
} // namespace

EnhancedQuestionSession* TwoPointFourGHzHub::enhancedQuestionSession()
{
    std::lock_guard<std::mutex> locker(m_enhancedSessionsMutex);
    if (!m_enhancedQuestionSession)
        m_enhancedQuestionSession = createSession<EnhancedQuestionSession>(this);
    return m_enhancedQuestionSession;
}

EnhancedGenericSession* TwoPointFourGHzHub::getEnhancedGenericSession()
{
    std::lock_guard<std::mutex> locker(m_enhancedSessionsMutex);
    if (!m_enhancedGenericSession)
        m_enhancedGenericSession = createSession<EnhancedGenericSession>(this);
    return m_enhancedGenericSession;
}

} // namespace Taviosystem
