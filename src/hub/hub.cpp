#include <taviosystem/hub.h>

#include <taviosystem/enhancedgenericsession.h>
#include <taviosystem/enhancedquestion.h>
#include <taviosystem/enhancedquestionsession.h>

#include "hubengine.h"
#include "system/enumkey.h"
#include "penstate.h"
#include "taviosession.h"
#include "touchstatusresponse.h"

#include <taviosystem/taviosystem.h>

#include <QtCore/QTimer>

namespace Taviosystem {

std::mutex Hub::m_sendReceiveMutex;
const char* const Hub::cmdPenType = ":PK";
const char* const Hub::cmdPenHardwareMode = ":PN";
const char* const Hub::cmdTouchStatusQuery = ":QT";

namespace {
const char cmdPinNamingStart[] = ":VZ";
// The most touches one report to the operating system can carry: its length is one byte.
const int MaximumTouchesPerReport = (255 - Hub::TouchPacket_Header_Length) / Hub::Touch_Length;
// A multi-packet exchange stops collecting after this many records.
const int MaximumCollectedRecords = 65536;

char penCharacter(unsigned char pen)
{
    return pen >= 1 && pen <= Hub::MaximumPens ? char('0' + pen) : '1';
}

quint16 readUInt16LE(const QByteArray& packet, int offset)
{
    return quint16(packetByte(packet, offset) | packetByte(packet, offset + 1) << 8);
}
} // namespace

Hub::Hub(TavioSystem* system, int handle, quint64 uid, bool connected, int version)
    : m_system(system)
    , m_handle(handle)
    , m_uid(uid)
    , m_connected(connected)
    , m_version(version)
{
    initialiseBase();
}

Hub::Hub() { initialiseBase(); }

void Hub::initialiseBase()
{
    qRegisterMetaType<Hub::YesNoResponse>("Taviosystem::Hub::YesNoResponse");
    qRegisterMetaType<Hub::TrueFalseResponse>("Taviosystem::Hub::TrueFalseResponse");
    qRegisterMetaType<Hub::PenEvent>("Taviosystem::Hub::PenEvent");
    qRegisterMetaType<Device::SubType>("Taviosystem::Device::SubType");
    qRegisterMetaType<QList<Hub::TouchInfo>>("QList<Taviosystem::Hub::TouchInfo>");
    qRegisterMetaType<Hub*>("Taviosystem::Hub*");
    qRegisterMetaType<YesNoQuestion::Answer>("Taviosystem::YesNoQuestion::Answer");
    qRegisterMetaType<TrueFalseQuestion::Answer>("Taviosystem::TrueFalseQuestion::Answer");
    qRegisterMetaType<EnhancedQuestionSession*>("Taviosystem::EnhancedQuestionSession*");
    qRegisterMetaType<EnhancedGenericSession*>("Taviosystem::EnhancedGenericSession*");

    registerResponseHandler<TouchStatusResponse>();
    connect(this, &Hub::reenumerateAfterTimeout, this, &Hub::onReenumerateAfterTimeout,
        Qt::QueuedConnection);
}

Hub::~Hub()
{
    qDeleteAll(m_responseHandlers);
    m_responseHandlers.clear();
    qDeleteAll(m_penStates);
    m_penStates.clear();
    delete m_reenumerateTimer;
    delete m_votingSession;
}

QString Hub::errorAsString(Error error) { return errorKey(staticMetaObject, error); }

void Hub::recordError(Error error) { m_lastError = error; }

void Hub::lockDriver()
{
    if (m_system)
        m_system->lockDriver();
}

void Hub::unlockDriver()
{
    if (m_system)
        m_system->unlockDriver();
}

// Board settings --------------------------------------------------------------------------------

void Hub::enableEventRedirection(bool enable)
{
    if (boardSystem())
        boardSystem()->setTouchSystemRedirectionEnabled(this, enable);
}

bool Hub::getEnableEventRedirection()
{
    return boardSystem() && boardSystem()->getTouchSystemRedirectionEnabled(this);
}

void Hub::setLATEDetection(bool enable)
{
    if (boardSystem())
        boardSystem()->setLATEDetection(this, enable);
}

bool Hub::getLATEDetection() { return boardSystem() && boardSystem()->getLATEDetection(this); }

void Hub::setPenMode(PenMode mode)
{
    if (boardSystem())
        boardSystem()->setPenMode(this, mode);
}

Hub::PenMode Hub::getPenMode()
{
    return boardSystem() ? boardSystem()->getPenMode(this) : PenMode(0);
}

void Hub::setTouchReportMode(TouchReportMode mode)
{
    if (boardSystem())
        boardSystem()->setTouchReportMode(this, mode);
}

void Hub::getTouchReportMode(TouchReportMode* mode)
{
    if (boardSystem() && mode)
        boardSystem()->getTouchReportMode(this, mode);
}

void Hub::setPenReportMode(unsigned char pen, PenReportMode mode)
{
    unsigned char value = 0;
    switch (mode) {
    case PenReportMode_1:
        value = 1;
        break;
    case PenReportMode_2:
        value = 2;
        break;
    default:
        value = 0;
        break;
    }
    if (boardSystem())
        boardSystem()->setPenReportMode(this, pen, false, value);
}

void Hub::getPenReportMode(unsigned char pen, PenReportMode* mode)
{
    if (!boardSystem() || !mode)
        return;
    unsigned char value = 255;
    boardSystem()->getPenReportMode(this, pen, &value);
    if (value <= 2)
        *mode = PenReportMode(PenReportMode_0 + value);
}

bool Hub::setPenType(unsigned char pen, PenType type)
{
    QByteArray command(cmdPenType);
    command += type == PenType_1 ? '1' : '0';
    command += penCharacter(pen);
    command += chEndOfString;
    return send(command);
}

void Hub::getPenType(unsigned char pen, PenType* type)
{
    if (PenState* state = m_penStates.value(pen); state && type)
        *type = state->penType;
}

bool Hub::setPenHardwareMode(unsigned char pen, PenHardwareMode mode)
{
    QByteArray command(cmdPenHardwareMode);
    command += penCharacter(pen);
    switch (mode) {
    case PenHardwareMode_1:
        command += '1';
        break;
    case PenHardwareMode_2:
        command += '2';
        break;
    default:
        command += '0';
        break;
    }
    command += chEndOfString;
    return send(command);
}

void Hub::getPenHardwareMode(unsigned char pen, PenHardwareMode* mode)
{
    if (PenState* state = m_penStates.value(pen); state && mode)
        *mode = state->penHardwareMode;
}

void Hub::initialisePens()
{
    for (unsigned char pen = 1; pen <= MaximumPens; ++pen) {
        if (!m_penStates.contains(pen)) {
            auto* state = new PenState;
            state->penId = pen;
            m_penStates.insert(pen, state);
        }
    }
    for (unsigned char pen = 1; pen <= MaximumPens; ++pen) {
        setPenHardwareMode(pen, PenHardwareMode_1);
        setPenReportMode(pen, PenReportMode_0);
        setPenType(pen, PenType_0);
    }
}

// Touch ------------------------------------------------------------------------------------------

bool Hub::getTouchStatus(unsigned char* status, unsigned char* touches)
{
    if (!m_connected) {
        recordError(Error_NotConnected);
        return false;
    }
    TouchStatusResponse reply;
    m_waitingForTouchStatus = true;
    const bool ok
        = sendAndReceive(QByteArray(cmdTouchStatusQuery) + chEndOfString, reply, m_responseTimeout);
    m_waitingForTouchStatus = false;
    if (!ok) {
        recordError(Error_NotSupported);
        return false;
    }
    if (status)
        *status = reply.status;
    if (touches)
        *touches = reply.touchCount;
    return true;
}

bool Hub::isTouchRunning()
{
    unsigned char status = 0;
    return getTouchStatus(&status, nullptr) && status == TouchStatus_Running;
}

int Hub::getNumTouchesSupported()
{
    if (m_numTouchesSupported == -1) {
        unsigned char count = 0;
        if (!getTouchStatus(nullptr, &count))
            return 0;
        m_numTouchesSupported = count;
    }
    return m_numTouchesSupported;
}

QByteArray Hub::buildTouchInfoPacket(const QList<TouchInfo>& touches, TouchInfoPacketType type)
{
    const int count = qMin(int(touches.size()), MaximumTouchesPerReport);
    QByteArray packet;
    packet.reserve(TouchPacket_Header_Length + count * Touch_Length);
    packet += char(count * Touch_Length + TouchPacket_Header_Length);
    packet += type == TouchInfoPacketType_Pen ? PenPacket_Control : TouchPacket_Control;
    for (int i = 0; i < count; ++i) {
        const TouchInfo& touch = touches.at(i);
        packet += char(
            (touch.id & Touch_Id_Data_Mask) | (touch.touching ? Touch_Status_Data_Mask : 0));
        for (int value : { touch.x, touch.y, touch.radius }) {
            packet += char(value & 0xFF);
            packet += char((value >> 8) & 0xFF);
        }
    }
    return packet;
}

bool Hub::sendTouchInfoToOS(QList<TouchInfo>& touches, TouchInfoPacketType type)
{
    const QByteArray packet = buildTouchInfoPacket(touches, type);
    TavioSystem* system = boardSystem();
    if (!system)
        return true;
    return system->sendTouchInfoToOS(this,
        reinterpret_cast<const unsigned char*>(packet.constData()),
        static_cast<unsigned char>(packet.size()));
}

bool Hub::isTouchPacket(const QByteArray& packet) const
{
    return packet.size() > TouchPacket_Offset_Control
        && packet.at(TouchPacket_Offset_Control) == TouchPacket_Control;
}

bool Hub::isTouchStatusPacket(const QByteArray& packet) const
{
    return TouchStatusResponse::isResponse(packet);
}

void Hub::getTouchData(const QByteArray& packet, QList<TouchInfo>& list) const
{
    const int records = (int(packet.size()) - TouchPacket_Header_Length) / Touch_Length;
    list.clear();
    if (records <= 0)
        return;
    list.reserve(records);
    for (int i = 0; i < records; ++i) {
        const int offset = TouchPacket_Header_Length + i * Touch_Length;
        const quint8 idByte = packetByte(packet, offset + Touch_Id_Offset);
        TouchInfo touch;
        touch.id = idByte & Touch_Id_Data_Mask;
        touch.touching = (idByte & Touch_Status_Data_Mask) != 0;
        touch.x = readUInt16LE(packet, offset + Touch_X_Offset);
        touch.y = readUInt16LE(packet, offset + Touch_Y_Offset);
        touch.radius = readUInt16LE(packet, offset + Touch_Radius_Offset);
        list.append(touch);
    }
}

// Packet processing ------------------------------------------------------------------------------

bool Hub::findPenEvent(bool tip, unsigned char pen, bool barrel, bool /*third*/, PenEvent& event)
{
    PenState* state = m_penStates.value(pen);
    if (!state)
        return false;
    if (tip != state->tipPressed)
        event = tip ? PenEvent_TipDown : PenEvent_TipUp;
    if (barrel != state->barrelPressed)
        event = barrel ? PenEvent_BarrelDown : PenEvent_BarrelUp;
    if (tip == state->tipPressed && barrel == state->barrelPressed)
        event = PenEvent_Move;
    state->tipPressed = tip;
    state->barrelPressed = barrel;
    return true;
}

void Hub::processPenPacket(const QByteArray& packet)
{
    unsigned char pen = 0;
    int x = 0;
    int y = 0;
    bool tip = false;
    bool barrel = false;
    bool third = false;
    getPenData(packet, pen, x, y, tip, barrel, third);
    PenEvent event = PenEvent_None;
    findPenEvent(tip, pen, barrel, third, event);
    if (event == PenEvent_None)
        return;
    if (m_penEventCallback)
        m_penEventCallback(this, pen, x, y, tip, barrel, m_penEventContext);
    else
        Q_EMIT penEventReceived(this, event, pen, x, y, tip, barrel);
}

void Hub::processTouchPacket(const QByteArray& packet)
{
    QList<TouchInfo> touches;
    getTouchData(packet, touches);
    if (m_touchEventCallback)
        m_touchEventCallback(this, touches, m_touchEventContext);
    else
        Q_EMIT touchEventReceived(this, touches);
}

void Hub::processTouchStatusPacket(const QByteArray& packet)
{
    const quint8 status = packetByte(packet, TouchStatusPacket_Offset_Status);
    if (status != TouchStatus_Stopped && status != TouchStatus_Running)
        return;
    const bool running = status == TouchStatus_Running;
    if (m_touchStatusEventCallback)
        m_touchStatusEventCallback(this, running, m_touchStatusEventContext);
    else
        Q_EMIT touchStatusEventReceived(this, running);
}

bool Hub::processVotePacket(const QByteArray& packet)
{
    VotingCallback callback = nullptr;
    void* context = nullptr;
    int vote = 0;
    int batteryLow = 0;
    unsigned int uid = 0;
    {
        std::shared_lock<std::shared_mutex> locker(m_lock);
        auto* session = static_cast<TavioteSession*>(m_votingSession);
        if (!session || !session->isVote(packet) || !session->processVote(packet))
            return false;
        uid = getDeviceId(session->deviceNumber());
        if (uid == 0)
            return false;
        callback = session->callback();
        context = session->context();
        vote = session->vote();
        batteryLow = session->batteryLow();
    }
    // The host hears of the vote with no lock held.
    if (callback)
        callback(this, uid, vote, batteryLow != 0, context);
    else
        Q_EMIT voteReceived(this, uid, vote, batteryLow);
    return true;
}

bool Hub::processPinNamingPacket(const QByteArray& packet)
{
    unsigned int uid = 0;
    QString name;
    if (!processPinNamingSessionResponse(packet, uid, name))
        return false;
    if (m_pinNamingCallback)
        m_pinNamingCallback(this, uid, name, m_pinNamingContext);
    else
        Q_EMIT pinNamingSessionResponse(this, uid, name);
    return true;
}

void Hub::offerToWaitingHandler(const QByteArray& packet)
{
    std::shared_lock<std::shared_mutex> locker(m_lock);
    if (m_currentResponseHandler)
        m_currentResponseHandler->processPacket(packet);
}

bool Hub::isRFChangeStatePacket(const QByteArray& packet) const
{
    return packet.size() > RFChangeStatePacket_Offset_Control
        && packet.at(RFChangeStatePacket_Offset_Control) == RFChangeStatePacket_Control;
}

bool Hub::isReenumerartePacket(const QByteArray& packet) const
{
    return packet.size() > ReenumerartePacket_Offset_Control
        && packet.at(ReenumerartePacket_Offset_Control) == ReenumerartePacket_Control;
}

// Runs on the packet thread.
void Hub::processPacket(const QByteArray& packet)
{
    if (isPenPacket(packet)) {
        processPenPacket(packet);
        return;
    }
    // Byte 1 of a serial legacy hub's packet is data, not a kind: the tests by kind at byte 1
    // are for the other framing.
    if (connectionType() != ConnectionType_Serial) {
        if (isReenumerartePacket(packet)) {
            reenumerateDevicesReceived();
            return;
        }
        if (isRFChangeStatePacket(packet)) {
            RFChangeStatePacketReceived(packet);
            return;
        }
        if (isTouchPacket(packet)) {
            processTouchPacket(packet);
            return;
        }
        // A status packet also goes on, so that a waiting query receives it.
        if (isTouchStatusPacket(packet) && !m_waitingForTouchStatus)
            processTouchStatusPacket(packet);
    }

    // A voter test (session 17) is a voting session whose votes the registration session hears.
    const SessionType session = m_sessionType;
    if ((session == SessionType_Voting || session == SessionType_VoteTest)
        && processVotePacket(packet))
        return;
    if (session == SessionType_PinNaming && processPinNamingPacket(packet))
        return;
    offerToWaitingHandler(packet);
}

// Re-enumeration ---------------------------------------------------------------------------------

void Hub::RFChangeStatePacketReceived(const QByteArray& packet)
{
    if (packet.size() <= RFChangeStatePacket_Offset_NewState)
        return;
    const quint8 previous = packetByte(packet, RFChangeStatePacket_Offset_PreviousState);
    const quint8 current = packetByte(packet, RFChangeStatePacket_Offset_NewState);
    switch (current) {
    case 1:
    case 17:
    case 32:
    case 48:
    case 64:
        Q_EMIT reenumerateAfterTimeout(0); // the radio is back: drop a pending re-read
        break;
    default:
        break;
    }
    switch (previous) {
    case 1:
    case 9:
    case 17:
    case 32:
    case 48:
    case 64:
        Q_EMIT reenumerateAfterTimeout(ReenumerateDelay);
        break;
    default:
        break;
    }
}

void Hub::reenumerateDevicesReceived() { Q_EMIT reenumerateAfterTimeout(ReenumerateDelay); }

// Runs on the thread that owns the hub (queued connection).
void Hub::onReenumerateAfterTimeout(const int nTimeout)
{
    if (!m_reenumerateTimer) {
        m_reenumerateTimer = new QTimer(this);
        m_reenumerateTimer->setSingleShot(true);
        connect(m_reenumerateTimer, &QTimer::timeout, this, &Hub::reenumerateDevices);
    }
    m_reenumerateTimer->stop();
    if (nTimeout != 0)
        m_reenumerateTimer->start(
            m_reenumerateDelayOverride >= 0 ? m_reenumerateDelayOverride : nTimeout);
}

void Hub::reenumerateDevices()
{
    if (m_reenumerateTimer)
        m_reenumerateTimer->stop();
    if (!m_system)
        return;
    TavioSystem::AsEvent event;
    event.type = EventType_ReadDeviceLists;
    event.handler = this;
    m_system->asPostEvent(event);
}

// Runs on the event thread.
void Hub::handleAsEvent(EventType type, const QByteArray& /*data*/)
{
    if (type == EventType_ReadDeviceLists)
        readRegisteredDevicesLists();
}

// Command engine ---------------------------------------------------------------------------------

bool Hub::refuseOffWire()
{
    if (!m_offWire)
        return false;
    recordError(Error_NotSupported);
    return true;
}

TavioSystem* Hub::boardSystem() const { return m_offWire ? nullptr : m_system; }

bool Hub::send(const QByteArray& command)
{
    if (refuseOffWire())
        return false;
    if (m_system && m_system->sendCommand(this, command))
        return true;
    recordError(Error_CommsFailure);
    return false;
}

void Hub::insertResponseHandler(const char* typeName, IResponseHandler* handler)
{
    const QString key = QString::fromLatin1(typeName);
    delete m_responseHandlers.take(key);
    m_responseHandlers.insert(key, handler);
}

IResponseHandler* Hub::findResponseHandler(const char* typeName) const
{
    return m_responseHandlers.value(QString::fromLatin1(typeName), nullptr);
}

void Hub::reset(IResponseHandler* handler)
{
    if (handler)
        handler->reset();
}

bool Hub::getNextPacket(IResponseHandler* handler, QByteArray* packet, int timeoutMs)
{
    return handler && handler->getNextPacket(packet, timeoutMs);
}

// Runs on the caller's thread (host or event thread), never on the packet thread: the reply is
// delivered there. One exchange at a time in the whole process.
bool Hub::runExchange(IResponseHandler* handler, const QByteArray& command,
    const QByteArray* endMarker, QList<QByteArray>* packets, int timeoutMs)
{
    if (refuseOffWire())
        return false;
    std::lock_guard<std::mutex> exchangeLocker(m_sendReceiveMutex);
    handler->reset();
    {
        std::unique_lock<std::shared_mutex> locker(m_lock);
        m_currentResponseHandler = handler;
    }

    bool ok = m_system && m_system->sendCommand(this, command);
    if (ok) {
        QByteArray packet;
        if (!endMarker) {
            ok = handler->getNextPacket(&packet, timeoutMs);
            if (ok)
                packets->append(packet);
        } else {
            // Each packet is compared with the end marker before anything else reads it.
            for (;;) {
                if (!handler->getNextPacket(&packet, timeoutMs)) {
                    ok = false;
                    break;
                }
                if (packet == *endMarker)
                    break;
                if (packets->size() >= MaximumCollectedRecords) {
                    ok = false;
                    break;
                }
                packets->append(packet);
            }
        }
    }

    {
        std::unique_lock<std::shared_mutex> locker(m_lock);
        m_currentResponseHandler = nullptr;
    }
    return ok;
}

// Limits -----------------------------------------------------------------------------------------

bool Hub::isValidNumberOfOptions(int n)
{
    if (n >= minNumberOfOptions && n <= maxNumberOfOptions)
        return true;
    recordError(Error_NumOfOptionsNotWithinTheRange);
    return false;
}

bool Hub::isValidNumberOfResponses(int n)
{
    if (n >= minNumberOfResponses && n <= maxNumberOfResponses)
        return true;
    recordError(Error_NumOfResponsesNotWithinTheRange);
    return false;
}

bool Hub::isValidLikertScaleValue(int n)
{
    if (n >= minLikertScaleValue && n <= maxLikertScaleValue)
        return true;
    recordError(Error_ScaleValueNotWithinTheRange);
    return false;
}

bool Hub::isValidMaxResponseSize(int n)
{
    // Compared as unsigned, so negative sizes fail.
    if (unsigned(n) <= unsigned(maxResponseSize))
        return true;
    recordError(Error_ResponseSizeNotWithinTheRange);
    return false;
}

bool Hub::isValidMaxNameLength(int n)
{
    if (n >= 1 && n <= maxEndUserNameLength)
        return true;
    recordError(Error_NameLengthNotWithinTheRange);
    return false;
}

// Callbacks --------------------------------------------------------------------------------------

bool Hub::setPenEventCallback(PenEventCallback callback, void* context)
{
    if (!callback)
        return false;
    m_penEventCallback = callback;
    m_penEventContext = context;
    return true;
}

bool Hub::setTouchEventCallback(TouchEventCallback callback, void* context)
{
    if (!callback)
        return false;
    m_touchEventCallback = callback;
    m_touchEventContext = context;
    return true;
}

bool Hub::setTouchStatusEventCallback(TouchStatusEventCallback callback, void* context)
{
    if (!callback)
        return false;
    m_touchStatusEventCallback = callback;
    m_touchStatusEventContext = context;
    return true;
}

bool Hub::setBatteryLowCallback(BatteryLowCallback, void*) { return refuseAsNotSupported(); }

// Sessions ---------------------------------------------------------------------------------------

bool Hub::preprocessTavioteSession() { return true; }

void Hub::deleteVotingSession()
{
    TavioSession* session = nullptr;
    {
        std::unique_lock<std::shared_mutex> locker(m_lock);
        session = m_votingSession;
        m_votingSession = nullptr;
    }
    delete session;
}

bool Hub::startVotingSession(VotingMode mode, VotingCallback callback, void* context)
{
    if (!preprocessTavioteSession())
        return false;
    auto* session = new TavioteSession(type(), connectionType(), mode, callback, context);
    const QByteArray command = session->startCommand();
    deleteVotingSession();
    {
        std::unique_lock<std::shared_mutex> locker(m_lock);
        m_votingSession = session;
    }
    return sendStartingSession(SessionType_Voting, command);
}

// The session is in place before the command goes out, since the hub may answer at once; a
// command that cannot be sent puts the previous session back.
bool Hub::sendStartingSession(SessionType session, const QByteArray& command)
{
    const SessionType previous = m_sessionType.exchange(session);
    if (send(command))
        return true;
    m_sessionType = previous;
    return false;
}

bool Hub::startTaviotePinNamingSession(int digits, PinNamingCallback callback, void* context)
{
    m_pinNamingCallback = callback;
    m_pinNamingContext = context;
    const QByteArray command
        = QByteArray(cmdPinNamingStart) + QByteArray::number(digits) + chEndOfString;
    return sendStartingSession(SessionType_PinNaming, command);
}

// Operations a hub kind offers only by overriding them.

bool Hub::refuseAsNotSupported()
{
    recordError(Error_NotSupported);
    return false;
}

bool Hub::startMultichoiceSession(
    int, int, int, DisplayOption, TimeUnit, int, StringResponseCallback, void*)
{
    return refuseAsNotSupported();
}

bool Hub::startYesNoSession(int, bool, TimeUnit, int, YesNoResponseCallback, void*)
{
    return refuseAsNotSupported();
}

bool Hub::startTrueFalseSession(int, bool, TimeUnit, int, TrueFalseResponseCallback, void*)
{
    return refuseAsNotSupported();
}

bool Hub::startLikertSession(int, int, TimeUnit, int, LikertResponseCallback, void*)
{
    return refuseAsNotSupported();
}

bool Hub::startNumericSession(
    int, const QString&, int, TimeUnit, int, StringResponseCallback, void*)
{
    return refuseAsNotSupported();
}

bool Hub::startTextSession(
    int, const QString&, int, TimeUnit, int, bool, TextResponseCallback, void*)
{
    return refuseAsNotSupported();
}

bool Hub::startSortInOrderSession(
    int, int, int, DisplayOption, TimeUnit, int, StringResponseCallback, void*)
{
    return refuseAsNotSupported();
}

bool Hub::startMessageSession(int, const QString&, TimeUnit, int, MessageResponseCallback, void*)
{
    return refuseAsNotSupported();
}

bool Hub::stopSession() { return refuseAsNotSupported(); }

bool Hub::resetHubSession() { return refuseAsNotSupported(); }

bool Hub::startExpressionEnduserNamingSession(
    int, CharacterType, int, bool, EndUserNamingCallback, void*)
{
    return refuseAsNotSupported();
}

bool Hub::stopExpressionEndUserNamingSession() { return refuseAsNotSupported(); }

bool Hub::setBacklight(unsigned char, unsigned char) { return refuseAsNotSupported(); }

bool Hub::startAsyncSession(AsyncGetMessageCallback, AsyncReceiveMessageCallback, void*)
{
    return refuseAsNotSupported();
}

bool Hub::startEnhancedGenericSession(AsyncReceiveMessageCallback, void*)
{
    return refuseAsNotSupported();
}

bool Hub::asyncSendMsg(unsigned int, const QByteArray&) { return refuseAsNotSupported(); }

bool Hub::sendGenericAsyncMessage(unsigned int, const QByteArray&)
{
    return refuseAsNotSupported();
}

Hub::HubState Hub::getHubState()
{
    refuseAsNotSupported();
    return HubState_Unknown;
}

void Hub::setApplicationFileList(const QList<ApplicationFileInfo>&) { refuseAsNotSupported(); }

bool Hub::asyncIsReadyToReceive(unsigned int) { return false; }
EnhancedQuestionSession* Hub::enhancedQuestionSession() { return nullptr; }
EnhancedGenericSession* Hub::getEnhancedGenericSession() { return nullptr; }
bool Hub::asGetRegistrationPin(RegistrationCode&) { return false; }
Hub::ConnectionType Hub::connectionType() { return ConnectionType_Usb; }

// Identity and defaults --------------------------------------------------------------------------

quint64 Hub::uid() const { return m_uid; }
int Hub::getVersion() const { return m_version; }
int Hub::getNumErasesSupported() { return m_numErasesSupported; }
void Hub::setConnected(bool connected) { m_connected = connected; }
bool Hub::isVirtualHub() { return false; }
bool Hub::isRondel2Hub() { return false; }
bool Hub::isTessalyHub() { return false; }
unsigned short Hub::canRegisterVotingDevicesCount() { return 0; }
bool Hub::getExpressionTypeCount(Device::SubType, int*) { return false; }
PresenterClient* Hub::getTessalyClient() { return nullptr; }
bool Hub::sendTessalyImageCard(const QByteArray&, bool) { return false; }
bool Hub::publishTessalyCollaborationMessage(QString, QString, QString) { return false; }
void Hub::sendTessalyPresenterIsActiveToRemote() { }
void Hub::sendTessalyCurrentLessonToRemote(QString, QString) { }
void Hub::sendTessalyCurrentCardToRemote(int, int) { }
void Hub::removeTessalyLearner(unsigned int) { }
void Hub::setTessalyPollImage(const QByteArray&) { }
void Hub::stopTessalyPoll() { }
void Hub::pauseTessalyPoll() { }
void Hub::resumeTessalyPoll() { }
QString Hub::getTessalyLastError() { return QString(); }

} // namespace Taviosystem
