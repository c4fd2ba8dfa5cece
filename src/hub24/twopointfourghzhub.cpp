#include <taviosystem/twopointfourghzhub.h>

#include "enhanced/asyncresponse.h"
#include "enhanced/enhancedsessionhandler.h"
#include "enhanced/sessionbuffercollector.h"
#include "hub/hubengine.h"
#include "hub24records.h"
#include "twopointfourghzdevices.h"
#include "twopointfourghzprotocol.h"

#include <taviosystem/penexpression.h>
#include <taviosystem/twopointfourghztavioexpression.h>
#include <taviosystem/twopointfourghztavioslate.h>
#include <taviosystem/twopointfourghztaviote.h>

#include <QtCore/QCoreApplication>
#include <QtCore/QStringList>
#include <QtCore/QThread>

namespace Taviosystem {

namespace {
typedef TwoPointFourGHzProtocol Protocol;
typedef std::lock_guard<std::recursive_mutex> DevicesLocker;

const quint8 PenFlag_Tip = 0x01;
const quint8 PenFlag_Barrel = 0x02;
const quint8 PenFlag_InRange = 0x04;
const int PenIdShift = 3;
const quint8 PenIdMask = 0x03;
const quint16 AddressMask = 0xFFFF;
const int VirtualVoteSerialDigits = 8;

// The board list read for its first record only: the reader still goes on to the end of the
// list, so that the hub's closing acknowledgement cannot answer a later command.
class BoardInfoListRecord : public BoardInfoResponse
{
public:
    using BoardInfoResponse::BoardInfoResponse;
    static QByteArray endOfListPacket() { return RegisteredBoardResponse::endOfListPacket(); }
};
} // namespace

QString TwoPointFourGHzHub::unreadableName()
{
    return QCoreApplication::translate(
        "TwoPointFourGHzHub", "???", "The 'name' returned when the hub name cannot be read");
}

TwoPointFourGHzHub::TwoPointFourGHzHub(
    TavioSystem* system, int handle, quint64 uid, bool connected, int version)
    : Hub(system, handle, uid, connected, version)
{
    registerResponseHandlers();
    initialisePens();
    m_enhancedHandler = new EnhancedSessionHandler(this);
}

TwoPointFourGHzHub::TwoPointFourGHzHub(
    TavioSystem* system, int handle, quint64 uid, bool connected, int version, bool radio)
    : Hub(system, handle, uid, connected, version)
{
    registerResponseHandlers();
    if (radio) {
        initialisePens();
        m_enhancedHandler = new EnhancedSessionHandler(this);
    }
}

TwoPointFourGHzHub::TwoPointFourGHzHub() { registerResponseHandlers(); }

TwoPointFourGHzHub::~TwoPointFourGHzHub()
{
    deleteTransport();
    DevicesLocker locker(m_devicesMutex);
    for (DeviceList& list : m_lists) {
        qDeleteAll(list.devices);
        list.devices.clear();
    }
}

void TwoPointFourGHzHub::registerResponseHandlers()
{
    const QByteArray endOfList = OKResponse::packet();
    registerResponseHandler<InformationResponse>();
    registerResponseHandler<NameAndFreeStoreResponse>();
    registerResponseHandler<DeviceCountResponse>();
    registerResponseHandler<OKResponse>();
    registerListResponseHandler<RegisteredVoteResponse>(endOfList);
    registerListResponseHandler<RegisteredExpressionResponse>(endOfList);
    registerListResponseHandler<RegisteredSlateResponse>(endOfList);
    registerResponseHandler<SessionByteResponse>();
    registerResponseHandler<SessionSortInOrderResponse>();
    registerResponseHandler<ExpressionNameReceivedResponse>();
    registerListResponseHandler<RegisteredBoardResponse>(endOfList);
    registerListResponseHandler<BoardInfoListRecord>(endOfList);
    registerResponseHandler<GenericAsyncResponse>();
}

// Pens ------------------------------------------------------------------------------------------

bool TwoPointFourGHzHub::isPenPacket(const QByteArray& packet)
{
    return packet.size() == PenPacket_Length
        && packet.at(PenPacket_Offset_Length) == PenPacket_Length
        && packet.at(PenPacket_Offset_Control) == PenPacket_Control;
}

// Runs on the packet thread; decodes in place.
void TwoPointFourGHzHub::getPenData(const QByteArray& packet, unsigned char& pen, int& x, int& y,
    bool& tip, bool& barrel, bool& extra)
{
    const quint8 flags = packetByte(packet, Packet_Offset_Button);
    x = packetByte(packet, Packet_Offset_X) | packetByte(packet, Packet_Offset_X + 1) << 8;
    y = packetByte(packet, Packet_Offset_Y) | packetByte(packet, Packet_Offset_Y + 1) << 8;
    tip = flags & PenFlag_Tip;
    barrel = flags & PenFlag_Barrel;
    extra = flags & PenFlag_InRange;
    pen = (packetByte(packet, Packet_Offset_PenId) >> PenIdShift) & PenIdMask;
}

int TwoPointFourGHzHub::penCount() const { return m_penCount; }

bool TwoPointFourGHzHub::hasKX9Board() const { return m_penCount == BoardPenCount; }

// Connection and the device lists ----------------------------------------------------------------

void TwoPointFourGHzHub::adopt(Device* device)
{
    // Devices live in the hub's thread, whichever thread read them.
    if (device->thread() != thread())
        device->moveToThread(thread());
}

void TwoPointFourGHzHub::deleteList(ListKind kind)
{
    DevicesLocker locker(m_devicesMutex);
    DeviceList& list = m_lists[kind];
    for (Device* device : std::as_const(list.devices)) {
        if (m_addressMap.value(device->address()) == device->uid())
            m_addressMap.remove(device->address());
        // Deleted once control is back in the hub's thread, so a pointer the host is using
        // there stays valid until then.
        device->deleteLater();
    }
    list.devices.clear();
}

void TwoPointFourGHzHub::setNeedsReading(ListKind kind, bool needsReading)
{
    DevicesLocker locker(m_devicesMutex);
    m_lists[kind].needsReading = needsReading;
}

void TwoPointFourGHzHub::deleteAllLists()
{
    DevicesLocker locker(m_devicesMutex);
    for (int kind = 0; kind < ListCount; ++kind) {
        deleteList(ListKind(kind));
        m_lists[kind].needsReading = true;
    }
}

void TwoPointFourGHzHub::addDevice(ListKind kind, Device* device)
{
    adopt(device);
    DevicesLocker locker(m_devicesMutex);
    m_addressMap.insert(device->address(), device->uid());
    m_lists[kind].devices.append(device);
}

void TwoPointFourGHzHub::setConnected(bool connected)
{
    Hub::setConnected(connected);
    if (!connected) {
        deleteAllLists();
        m_penCount = 0;
        m_sessionType = SessionType_None;
        return;
    }
    const ListKind order[] = { List_Votes, List_Expressions, List_Slates, List_PenExpressions };
    for (ListKind kind : order) {
        bool empty = false;
        {
            DevicesLocker locker(m_devicesMutex);
            empty = m_lists[kind].devices.isEmpty();
        }
        if (empty && readList(kind))
            setNeedsReading(kind, false);
    }
    readPenCount();
}

bool TwoPointFourGHzHub::readList(ListKind kind)
{
    switch (kind) {
    case List_Votes:
        return readVoteList();
    case List_Expressions:
        return readExpressionList();
    case List_Slates:
        return readSlateList();
    case List_PenExpressions:
        return readPenExpressionList();
    case ListCount:
        break;
    }
    return false;
}

// Runs on the event thread after the radio changed state.
void TwoPointFourGHzHub::readRegisteredDevicesLists()
{
    lockDriver();
    readVoteList();
    readExpressionList();
    readSlateList();
    readPenExpressionList();
    unlockDriver();
    Q_EMIT deviceListChanged();
}

// The list is emptied and refilled under the devices lock, in one step, so that two reads at
// once (the host's and the event thread's) leave each voter in it once. A failed read leaves it
// empty.
bool TwoPointFourGHzHub::readVoteList()
{
    QList<QByteArray> records;
    const bool read = sendAndCollect<RegisteredVoteResponse>(
        Protocol::readDeviceListCommand(Protocol::ProductId_Vote), records, m_responseTimeout);
    DevicesLocker locker(m_devicesMutex);
    deleteList(List_Votes);
    if (!read)
        return false;
    for (const QByteArray& packet : std::as_const(records)) {
        const RegisteredVoteResponse record(packet);
        if (record.isValid())
            addDevice(List_Votes,
                new TwoPointFourGHzTaviote(
                    this, record.uid, record.address, record.name, record.deviceIdentifier));
    }
    readVirtualVoteList();
    return true;
}

bool TwoPointFourGHzHub::readExpressionList()
{
    QList<QByteArray> records;
    if (!sendAndCollect<RegisteredExpressionResponse>(
            Protocol::readDeviceListCommand(Protocol::ProductId_Expression), records,
            m_responseTimeout))
        return false;
    DevicesLocker locker(m_devicesMutex);
    deleteList(List_Expressions);
    for (const QByteArray& packet : std::as_const(records)) {
        const RegisteredExpressionResponse record(packet);
        if (record.isValid())
            addDevice(List_Expressions,
                new TwoPointFourGHzTavioexpression(this, record.uid, record.address, record.name,
                    record.deviceIdentifier, record.subType));
    }
    m_lists[List_Expressions].needsReading = false;
    return true;
}

// As for the voters: emptied and refilled in one step.
bool TwoPointFourGHzHub::readSlateList()
{
    QList<QByteArray> records;
    const bool read = sendAndCollect<RegisteredSlateResponse>(
        Protocol::readDeviceListCommand(Protocol::ProductId_Slate), records, m_responseTimeout);
    DevicesLocker locker(m_devicesMutex);
    deleteList(List_Slates);
    if (!read)
        return false;
    for (const QByteArray& packet : std::as_const(records)) {
        const RegisteredSlateResponse record(packet);
        if (record.isValid())
            addDevice(List_Slates,
                new TwoPointFourGHzTavioSlate(
                    this, record.uid, record.address, record.name, record.deviceIdentifier));
    }
    return true;
}

bool TwoPointFourGHzHub::readPenExpressionList()
{
    // This hub reports pen expressions among its expression devices; the list stays empty.
    return true;
}

bool TwoPointFourGHzHub::readPenCount()
{
    m_penCount = 0;
    QList<QByteArray> records;
    if (!sendAndCollect<RegisteredBoardResponse>(
            Protocol::readDeviceListCommand(Protocol::ProductId_Board), records, m_responseTimeout))
        return false;
    if (!records.isEmpty())
        m_penCount = BoardPenCount;
    return true;
}

bool TwoPointFourGHzHub::readVirtualVoteList()
{
    QStringList lines;
    readVirtualVoteFile(lines);
    for (const QString& line : std::as_const(lines)) {
        // "identifier#name", neither part empty: the split is at the last '#' that still leaves
        // a name, so the identifier may hold '#' and so may a name that ends the line with one.
        const int hash
            = line.size() < 3 ? -1 : int(line.lastIndexOf(QLatin1Char('#'), line.size() - 2));
        if (hash < 1)
            continue;
        const QString identifier = line.left(hash);
        const quint32 uid = identifier.left(VirtualVoteSerialDigits).toUInt(nullptr, 16);
        addDevice(List_Votes,
            new TwoPointFourGHzTaviote(
                this, uid, quint16(uid & AddressMask), line.mid(hash + 1), identifier.toLatin1()));
    }
    return true;
}

bool TwoPointFourGHzHub::getDeviceList(Device::Type type, QList<Device*>* list)
{
    if (!isConnected()) {
        recordError(Error_NotConnected);
        return false;
    }
    ListKind kind;
    switch (type) {
    case Device::Type_Vote:
        kind = List_Votes;
        break;
    case Device::Type_Expression:
        kind = List_Expressions;
        break;
    case Device::Type_Slate:
        kind = List_Slates;
        break;
    case Device::Type_PenExpression:
        kind = List_PenExpressions;
        break;
    default:
        if (list)
            list->clear();
        return true;
    }
    bool needsReading = false;
    {
        DevicesLocker locker(m_devicesMutex);
        needsReading = m_lists[kind].needsReading;
    }
    if (needsReading) {
        const bool ok = readList(kind);
        // The expression list stays flagged until it is read; the others are read once.
        setNeedsReading(kind, kind == List_Expressions ? !ok : false);
        if (!ok)
            return false;
    }
    if (list) {
        DevicesLocker locker(m_devicesMutex);
        *list = m_lists[kind].devices;
    }
    return true;
}

bool TwoPointFourGHzHub::getCompleteDeviceList(QList<Device*>* list)
{
    if (!isConnected()) {
        recordError(Error_NotConnected);
        return false;
    }
    QList<Device*> all;
    for (Device::Type type : { Device::Type_Vote, Device::Type_Expression, Device::Type_Slate,
             Device::Type_PenExpression }) {
        QList<Device*> part;
        if (!getDeviceList(type, &part))
            return false;
        all += part;
    }
    if (list)
        *list = all;
    return true;
}

bool TwoPointFourGHzHub::readTavioteList(QList<Device*>* list)
{
    DevicesLocker locker(m_devicesMutex);
    if (list)
        *list += m_lists[List_Votes].devices;
    return true;
}

bool TwoPointFourGHzHub::readTavioexpressionList(QList<Device*>* list)
{
    DevicesLocker locker(m_devicesMutex);
    if (list)
        *list += m_lists[List_Expressions].devices;
    return true;
}

bool TwoPointFourGHzHub::readTavioSlateList(QList<Device*>* list)
{
    DevicesLocker locker(m_devicesMutex);
    if (list)
        *list += m_lists[List_Slates].devices;
    return true;
}

bool TwoPointFourGHzHub::readPenExpressionList(QList<Device*>* list)
{
    DevicesLocker locker(m_devicesMutex);
    if (list)
        *list += m_lists[List_PenExpressions].devices;
    return true;
}

Device* TwoPointFourGHzHub::findDevice(ListKind kind, unsigned int uid) const
{
    DevicesLocker locker(m_devicesMutex);
    for (Device* device : m_lists[kind].devices) {
        if (device->uid() == uid)
            return device;
    }
    return nullptr;
}

Device* TwoPointFourGHzHub::findVoteDevice(unsigned int uid) { return findDevice(List_Votes, uid); }
Device* TwoPointFourGHzHub::findExpressionDevice(unsigned int uid)
{
    return findDevice(List_Expressions, uid);
}
Device* TwoPointFourGHzHub::findSlateDevice(unsigned int uid)
{
    return findDevice(List_Slates, uid);
}
Device* TwoPointFourGHzHub::findPenExpressionDevice(unsigned int uid)
{
    return findDevice(List_PenExpressions, uid);
}

// Runs on the packet thread for every answer.
unsigned int TwoPointFourGHzHub::getDeviceId(unsigned int address)
{
    DevicesLocker locker(m_devicesMutex);
    return m_addressMap.value(quint16(address & AddressMask), 0);
}

bool TwoPointFourGHzHub::getAddress(unsigned int uid, unsigned int& address)
{
    DevicesLocker locker(m_devicesMutex);
    for (auto it = m_addressMap.cbegin(); it != m_addressMap.cend(); ++it) {
        if (it.value() == uid) {
            address = it.key();
            return true;
        }
    }
    return false;
}

// Counts and information -------------------------------------------------------------------------

bool TwoPointFourGHzHub::getDeviceCount(Device::Type type, int* count)
{
    if (!isConnected()) {
        recordError(Error_NotConnected);
        return false;
    }
    DeviceCountResponse reply;
    if (!sendAndReceive(
            Protocol::countDevicesCommand(Protocol::productIdOf(type)), reply, m_responseTimeout))
        return false;
    if (count)
        *count = reply.count;
    return true;
}

bool TwoPointFourGHzHub::getExpressionTypeCount(Device::SubType subType, int* count)
{
    // Only the second generation can be counted by the hub.
    if (subType != Device::SubType_ExpressionV2)
        return false;
    if (!isConnected()) {
        recordError(Error_NotConnected);
        return false;
    }
    DeviceCountResponse reply;
    if (!sendAndReceive(Protocol::countDevicesCommand(Protocol::FakeExpressionV2ProductId), reply,
            m_responseTimeout))
        return false;
    if (count)
        *count = reply.count;
    return true;
}

int TwoPointFourGHzHub::tavioteCount()
{
    int count = 0;
    return getDeviceCount(Device::Type_Vote, &count) ? count : 0;
}

int TwoPointFourGHzHub::tavioexpressionCount()
{
    int count = 0;
    return getDeviceCount(Device::Type_Expression, &count) ? count : 0;
}

int TwoPointFourGHzHub::tavioSlateCount()
{
    int count = 0;
    return getDeviceCount(Device::Type_Slate, &count) ? count : 0;
}

int TwoPointFourGHzHub::tavioBoardCount()
{
    int count = 0;
    return getDeviceCount(Device::Type_Board, &count) ? count : 0;
}

int TwoPointFourGHzHub::penExpressionCount()
{
    int count = 0;
    return getDeviceCount(Device::Type_PenExpression, &count) ? count : 0;
}

bool TwoPointFourGHzHub::getRegistrationInfo(InformationResponse* info)
{
    InformationResponse reply;
    if (!sendAndReceive(Protocol::getInformationCommand(), reply, m_responseTimeout))
        return false;
    if (info)
        *info = reply;
    return true;
}

TwoPointFourGHzHub::State TwoPointFourGHzHub::state()
{
    if (!isConnected()) {
        recordError(Error_NotConnected);
        return State_NotConnected;
    }
    InformationResponse info;
    if (!getRegistrationInfo(&info))
        return State_CommsFailure;
    return info.hubState == HubState_Idle ? State_Idle : State_Busy;
}

bool TwoPointFourGHzHub::isHubBusy() { return state() == State_Busy; }

Hub::HubState TwoPointFourGHzHub::getHubState()
{
    InformationResponse info;
    return getRegistrationInfo(&info) ? info.hubState : HubState_Unknown;
}

unsigned short TwoPointFourGHzHub::canRegisterVotingDevicesCount()
{
    InformationResponse info;
    return getRegistrationInfo(&info) ? info.votingDeviceCapacity : 0;
}

QString TwoPointFourGHzHub::name()
{
    if (!isConnected()) {
        recordError(Error_NotConnected);
        return unreadableName();
    }
    NameAndFreeStoreResponse reply;
    if (!sendAndReceive(Protocol::getNameCommand(), reply, m_responseTimeout))
        return unreadableName();
    return reply.name;
}

bool TwoPointFourGHzHub::isTouchSupported()
{
    if (!isConnected()) {
        recordError(Error_NotConnected);
        return false;
    }
    QList<QByteArray> records;
    if (!sendAndCollect<BoardInfoListRecord>(
            Protocol::readDeviceListCommand(Protocol::ProductId_Board), records, m_responseTimeout)
        || records.isEmpty()) {
        recordError(Error_NotSupported);
        return false;
    }
    return BoardInfoResponse(records.first()).supportsTouch();
}

bool TwoPointFourGHzHub::setBacklight(unsigned char level, unsigned char value)
{
    if (level > Protocol::BacklightLevel_Max)
        return false;
    OKResponse reply;
    return sendAndReceive(Protocol::backlightCommand(level, value), reply, m_responseTimeout);
}

void TwoPointFourGHzHub::asEndExpressionRegSession() { }

// Clearing and removal ---------------------------------------------------------------------------

bool TwoPointFourGHzHub::clearWith(const QByteArray& command, OKResponse* response)
{
    OKResponse reply;
    if (!sendAndReceive(command, reply, m_flashWriteTimeout))
        return false;
    if (response)
        *response = reply;
    return true;
}

bool TwoPointFourGHzHub::clearHub(OKResponse* response)
{
    // The hub resets itself while it clears; that reset must not empty the lists under us.
    m_clearing = true;
    const bool ok = clearWith(Protocol::clearCommand(Protocol::Clear_All), response);
    if (ok) {
        for (ListKind kind : { List_Expressions, List_Votes, List_Slates, List_PenExpressions })
            setNeedsReading(kind, !readList(kind));
    }
    m_clearing = false;
    return ok;
}

bool TwoPointFourGHzHub::clearHubOfVotes(OKResponse* response)
{
    if (!clearWith(Protocol::clearCommand(Protocol::Clear_Votes), response))
        return false;
    setNeedsReading(List_Votes, !readVoteList());
    return true;
}

bool TwoPointFourGHzHub::clearHubOfSlates(OKResponse* response)
{
    if (!clearWith(Protocol::clearCommand(Protocol::Clear_Slates), response))
        return false;
    setNeedsReading(List_Slates, !readSlateList());
    return true;
}

bool TwoPointFourGHzHub::clearHubOfBoards(OKResponse* response)
{
    if (!clearWith(Protocol::clearCommand(Protocol::Clear_Boards), response))
        return false;
    readPenCount();
    return true;
}

bool TwoPointFourGHzHub::clearHubOfExpressions(OKResponse* response)
{
    if (!clearWith(Protocol::clearCommand(Protocol::Clear_Expressions), response))
        return false;
    setNeedsReading(List_Expressions, !readExpressionList());
    return true;
}

bool TwoPointFourGHzHub::clearHubOfPenExpressions(OKResponse* response)
{
    if (!clearWith(Protocol::clearCommand(Protocol::Clear_PenExpressions), response))
        return false;
    setNeedsReading(List_PenExpressions, !readPenExpressionList());
    return true;
}

bool TwoPointFourGHzHub::removeDevice(ListKind kind, unsigned int uid)
{
    const QByteArray identifier = deviceIdentifierOf(findDevice(kind, uid));
    if (identifier.isEmpty() || m_sessionType != SessionType_None || state() != State_Idle)
        return false;
    if (!send(Protocol::removeDeviceCommand(identifier)))
        return false;
    m_sessionType = SessionType_RemoveDevice;
    unsigned int address = 0;
    DevicesLocker locker(m_devicesMutex);
    if (const Device* device = findDevice(kind, uid))
        address = device->address();
    if (m_addressMap.value(quint16(address)) == uid)
        m_addressMap.remove(quint16(address));
    return true;
}

bool TwoPointFourGHzHub::removeTaviote(unsigned int uid) { return removeDevice(List_Votes, uid); }
bool TwoPointFourGHzHub::removeTavioexpression(unsigned int uid)
{
    return removeDevice(List_Expressions, uid);
}
bool TwoPointFourGHzHub::removeTavioslate(unsigned int uid)
{
    return removeDevice(List_Slates, uid);
}
bool TwoPointFourGHzHub::removePenExpression(unsigned int uid)
{
    return removeDevice(List_PenExpressions, uid);
}

bool TwoPointFourGHzHub::stopRemoveVoteDeviceSession()
{
    return stopWindow(SessionType_RemoveDevice, { List_Votes });
}
bool TwoPointFourGHzHub::stopRemoveExpressionDeviceSession()
{
    return stopWindow(SessionType_RemoveDevice, { List_Expressions, List_PenExpressions });
}
bool TwoPointFourGHzHub::stopRemoveSlateDeviceSession()
{
    return stopWindow(SessionType_RemoveDevice, { List_Slates });
}

// Callbacks --------------------------------------------------------------------------------------

bool TwoPointFourGHzHub::setHubBusyCallback(HubBusyCallback callback, void* context)
{
    if (!callback)
        return false;
    m_hubBusyCallback = callback;
    m_hubBusyContext = context;
    return true;
}

bool TwoPointFourGHzHub::setBatteryLowCallback(BatteryLowCallback callback, void* context)
{
    if (!callback)
        return false;
    m_batteryLowCallback = callback;
    m_batteryLowContext = context;
    return true;
}

void TwoPointFourGHzHub::setExpressionDeviceNamedCallback(
    DeviceNamedCallback callback, void* context)
{
    std::lock_guard<std::mutex> locker(m_namedCallbacksMutex);
    m_expressionDeviceNamedCallback = callback;
    m_expressionDeviceNamedContext = context;
}

void TwoPointFourGHzHub::setVoteDeviceNamedCallback(DeviceNamedCallback callback, void* context)
{
    std::lock_guard<std::mutex> locker(m_namedCallbacksMutex);
    m_voteDeviceNamedCallback = callback;
    m_voteDeviceNamedContext = context;
}

// Runs on the packet thread: the callback of a naming confirmation, or a signal without one.
void TwoPointFourGHzHub::reportNamed(bool expression, unsigned int uid, const QString& name)
{
    DeviceNamedCallback callback = nullptr;
    void* context = nullptr;
    {
        std::lock_guard<std::mutex> locker(m_namedCallbacksMutex);
        callback = expression ? m_expressionDeviceNamedCallback : m_voteDeviceNamedCallback;
        context = expression ? m_expressionDeviceNamedContext : m_voteDeviceNamedContext;
    }
    if (callback)
        callback(this, uid, name, context);
    else if (expression)
        Q_EMIT expressionDeviceNamed(name, uid);
    else
        Q_EMIT voteDeviceNamed(name, uid);
}

// Packet processing ------------------------------------------------------------------------------

bool TwoPointFourGHzHub::processPinNamingSessionResponse(
    const QByteArray& packet, unsigned int& uid, QString& name)
{
    const TwoPointFourGHzPinNamingResponse response(packet);
    if (!response.isValid())
        return false;
    uid = response.uid;
    name = response.name;
    return true;
}

bool TwoPointFourGHzHub::processHubResetPacket(const QByteArray& packet)
{
    if (packet.size() != hubReset_Packet_Length || packetByte(packet, 0) != hubReset_Packet_Length
        || packet.at(1) != hubReset_Packet_Control || m_clearing)
        return false;
    deleteAllLists();
    m_penCount = 0;
    m_sessionType = SessionType_None;
    Q_EMIT hubReset(this);
    return true;
}

bool TwoPointFourGHzHub::processBusyChangePacket(const QByteArray& packet)
{
    if (packet.size() != hubStateChanged_Packet_Length
        || packetByte(packet, 0) != hubStateChanged_Packet_Length
        || packet.at(1) != hubStateChanged_Packet_Control)
        return false;
    const quint8 previous = packetByte(packet, Packet_Offset_PreviousState);
    const quint8 current = packetByte(packet, Packet_Offset_NewState);
    if (previous != 0 && current != 0)
        return true; // busy before and after: nothing changed for the host
    const bool busy = current != 0;
    if (m_hubBusyCallback)
        m_hubBusyCallback(this, busy, m_hubBusyContext);
    else
        Q_EMIT hubBusy(this, busy);
    return true;
}

void TwoPointFourGHzHub::processBatteryLowPacket(const QByteArray& packet)
{
    if (!BatteryLowResponse::isResponse(packet))
        return;
    const BatteryLowResponse response(packet);
    if (m_batteryLowCallback)
        m_batteryLowCallback(this, response.uid, m_batteryLowContext);
    else
        Q_EMIT batteryLow(this, response.uid);
}

// Runs on the packet thread during a registration window. The records a list read brings back
// look like registrations: a device counts as registered only when it is new to the host's
// lists, and only once a window.
bool TwoPointFourGHzHub::isNewInWindow(quint32 uid, std::initializer_list<ListKind> lists)
{
    DevicesLocker locker(m_devicesMutex);
    for (ListKind kind : lists) {
        if (findDevice(kind, uid))
            return false;
    }
    if (m_registeredInWindow.contains(uid))
        return false;
    m_registeredInWindow.insert(uid);
    return true;
}

void TwoPointFourGHzHub::processSessionPacket(const QByteArray& packet)
{
    switch (m_sessionType.load()) {
    case SessionType_Multichoice:
    case SessionType_SortInOrder:
        processChoiceAnswer(packet);
        return;
    case SessionType_YesNo:
    case SessionType_TrueFalse:
    case SessionType_Likert:
    case SessionType_Message:
        processByteAnswer(packet);
        return;
    case SessionType_Numeric:
    case SessionType_Text:
        processLongAnswerPiece(packet);
        return;
    case SessionType_ExpressionRegistration: {
        const RegisteredExpressionResponse record(packet);
        if (!record.isValid()
            || !isNewInWindow(record.uid, { List_Expressions, List_PenExpressions }))
            return;
        setNeedsReading(List_Expressions, true);
        setNeedsReading(List_PenExpressions, true);
        Q_EMIT expressionDeviceRegistered(record.name, record.uid, record.subType);
        return;
    }
    case SessionType_VoteRegistration: {
        const RegisteredVoteResponse record(packet);
        if (!record.isValid() || !isNewInWindow(record.uid, { List_Votes }))
            return;
        setNeedsReading(List_Votes, true);
        Q_EMIT voteDeviceRegistered(record.name, record.uid);
        return;
    }
    case SessionType_SlateRegistration: {
        const RegisteredSlateResponse record(packet);
        if (!record.isValid() || !isNewInWindow(record.uid, { List_Slates }))
            return;
        setNeedsReading(List_Slates, true);
        Q_EMIT slateDeviceRegistered(record.name, record.uid);
        return;
    }
    case SessionType_ExpressionNaming: {
        const RegisteredExpressionResponse record(packet);
        if (!record.isValid())
            return;
        reportNamed(true, record.uid, record.name);
        return;
    }
    case SessionType_VoteNaming: {
        const RegisteredVoteResponse record(packet);
        if (!record.isValid())
            return;
        reportNamed(false, record.uid, record.name);
        return;
    }
    case SessionType_SlateNaming: {
        const RegisteredSlateResponse record(packet);
        if (record.isValid())
            Q_EMIT slateDeviceNamed(record.name, record.uid);
        return;
    }
    case SessionType_Async:
        postTransportPacket(EventType_AsyncPacket, packet);
        return;
    case SessionType_EnhancedGeneric:
        postTransportPacket(EventType_GenericAsyncPacket, packet);
        return;
    case SessionType_EndUserNaming: {
        const RegisteredExpressionResponse record(packet);
        if (!record.isValid())
            return;
        const unsigned int uid = getDeviceId(record.address);
        setNeedsReading(List_Expressions, true);
        setNeedsReading(List_PenExpressions, true);
        if (m_endUserNamingCallback)
            m_endUserNamingCallback(this, uid, m_currentQuestionId, record.name, m_callbackContext);
        else
            Q_EMIT endUserNamingSessionResponse(this, uid, m_currentQuestionId, record.name);
        return;
    }
    default:
        return;
    }
}

// Runs on the packet thread.
void TwoPointFourGHzHub::processPacket(const QByteArray& packet)
{
    Hub::processPacket(packet);
    if (processHubResetPacket(packet) || processBusyChangePacket(packet))
        return;
    processBatteryLowPacket(packet);
    processSessionPacket(packet);
}

} // namespace Taviosystem
