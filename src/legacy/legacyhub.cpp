// The legacy radio hub: its radio settings, the voter and slate lists it keeps in the settings
// file, clearing and removal, the preparation of a voting session, registration and packets.

#include "hub/hubengine.h"
#include "hub/usbpenreport.h"
#include "legacy/legacyprotocol.h"
#include "legacy/legacyrecords.h"
#include "platform/platform.h"

#include <taviosystem/legacyhub.h>
#include <taviosystem/legacyslate.h>
#include <taviosystem/legacytavioboard.h>
#include <taviosystem/legacytaviote.h>
#include <taviosystem/registrationcode.h>

#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QSettings>

namespace Taviosystem {

namespace {
typedef std::lock_guard<std::recursive_mutex> DevicesLocker;

const char StorePath[] = "/Corvellan/TavioSystem/TavioSystem.ini";
const char SharedGroup[] = "LegacyVoteHub";
const char VotersKey[] = "taviotes";
const char SlatesKey[] = "Slates";
const char SlateIdKey[] = "ID";
const char SlatePinKey[] = "PIN";
const char BadStoreSuffix[] = ".bad";
// Entries of the slate array read at the most (slate ids run from 1 to 63).
constexpr int MaximumStoredSlates = 256;

constexpr int DualPenModelFirst = 800;
constexpr int DualPenModelLast = 899;
constexpr int TwoPenModelFirst = 390;
constexpr int TwoPenModelLast = 399;
constexpr quint8 RFBandWithOffset = 2;
constexpr quint8 RFBandChannelOffset = 3;
constexpr quint8 DefaultUsbSlateChannel = 1;
constexpr quint8 LastUsbSlateChannel = 2;

// Serial pen fields.
constexpr quint8 SerialPen_KindSet = 0x20; // bit 5 set and bit 6 clear in byte 2
constexpr quint8 SerialPen_KindMask = 0x60;
constexpr quint8 SerialPen_InRange = 0x20; // bit 5 of byte 3
constexpr int SerialPen_ButtonShift = 2; // bits 2 and 3 of byte 3
constexpr quint8 SerialPen_ButtonMask = 0x03;
constexpr quint8 SerialPen_ButtonTip = 1;
constexpr quint8 SerialPen_ButtonBarrel = 2;
constexpr int SerialPen_IdShift = 3; // bits 3 to 6 of byte 6
constexpr quint8 SerialPen_IdMask = 0x0F;

bool isDualPenModel(int model) { return model >= DualPenModelFirst && model <= DualPenModelLast; }

// Devices live in their hub's thread, whichever thread made them.
template <typename T>
T* adopted(T* device, const QObject* hub)
{
    if (device->thread() != hub->thread())
        device->moveToThread(hub->thread());
    return device;
}

// The settings file; an unreadable one is kept beside it before anything is written over it.
QSettings* openStore(QObject* owner)
{
    const QString path = Platform::commonAppDataFolder() + QLatin1String(StorePath);
    QDir().mkpath(QFileInfo(path).absolutePath());
    auto* settings = new QSettings(path, QSettings::IniFormat, owner);
    settings->childGroups(); // reads the file, so that its status is known
    if (settings->status() == QSettings::FormatError) {
        const QString bad = path + QLatin1String(BadStoreSuffix);
        QFile::remove(bad);
        QFile::copy(path, bad);
    }
    return settings;
}
} // namespace

LegacyTavioboard::LegacyTavioboard(Hub* hub)
    : Device(hub, 0, 0)
{
}

Legacyslate::Legacyslate(Hub* hub, quint8 slateId, const QString& pin)
    : Device(hub, slateId, 0)
    , m_pin(pin)
{
}

LegacyTaviote::LegacyTaviote(Hub* hub, quint32 deviceId)
    : Device(hub, deviceId, 0)
{
}

LegacyHub::LegacyHub(TavioSystem* system, int handle, quint64 uid, bool connected, bool hasBoard,
    int connectionType, int model, int penCount, int touches, int erasers,
    bool registrationDisabled, int vendorId, int productId)
    : Hub(system, handle, uid, connected, model)
    , m_hasBoard(hasBoard)
    , m_supportsRegistration(determineIfSupportsRegistration(model) && !registrationDisabled)
    , m_dualPenBoard(determineIfKX9Board(model))
    , m_penCount(penCount)
    , m_touches(touches)
    , m_erasers(erasers)
    , m_vendorId(vendorId)
    , m_productId(productId)
    , m_connectionType(connectionType)
{
    if (hasBoard)
        m_board = new LegacyTavioboard(this);
    m_settings = openStore(this); // a child: it moves with the hub to the system's thread
    initialisePens();
    registerResponseHandlers();
}

LegacyHub::~LegacyHub()
{
    DevicesLocker locker(m_devicesMutex);
    qDeleteAll(m_taviotes);
    qDeleteAll(m_slates);
    delete m_board;
}

void LegacyHub::registerResponseHandlers()
{
    if (isSerial()) {
        registerResponseHandler<LegacySerialVoteRegistrationResponse>();
        registerResponseHandler<LegacySerialRFResponse>();
        registerResponseHandler<LegacySerialEnableVoteResponse>();
    } else if (isUsb()) {
        registerResponseHandler<LegacyVoteRegistrationResponse>();
        registerResponseHandler<LegacyRFResponse>();
        registerResponseHandler<LegacyUsbEnableVoteResponse>();
    }
}

bool LegacyHub::determineIfKX9Board(int model) { return isDualPenModel(model); }

bool LegacyHub::determineIfSupportsRegistration(int model) { return !isDualPenModel(model); }

int LegacyHub::determinePenCount(int model)
{
    const bool twoPens
        = (model >= TwoPenModelFirst && model <= TwoPenModelLast) || isDualPenModel(model);
    return twoPens ? 2 : 1;
}

Hub::ConnectionType LegacyHub::connectionType() { return ConnectionType(m_connectionType); }

int LegacyHub::getNumTouchesSupported()
{
    return m_touches >= 0 ? m_touches : Hub::getNumTouchesSupported();
}

bool LegacyHub::isTouchSupported() { return getNumTouchesSupported() > 0; }

int LegacyHub::getNumErasesSupported() { return m_erasers; }

bool LegacyHub::isEraseSupported() { return m_erasers > 0; }

bool LegacyHub::sendCommand(const QByteArray& command) { return send(command); }

// Pens ------------------------------------------------------------------------------------------

bool LegacyHub::isPenPacket(const QByteArray& packet)
{
    if (isSerial())
        return packet.size() == PenPacket_Serial_Length
            && (packetByte(packet, PenPacket_Serial_Offset_Length) & LegacyFraming::SevenBits)
            == PenPacket_Serial_Length
            && (packetByte(packet, PenPacket_Serial_Offset_Control) & SerialPen_KindMask)
            == SerialPen_KindSet;
    return packet.size() == PenPacket_Length
        && packetByte(packet, PenPacket_Offset_Length) == PenPacket_Length
        && packetByte(packet, PenPacket_Offset_Control) == quint8(PenPacket_Control);
}

// Runs on the packet thread; decodes in place.
void LegacyHub::getPenData(const QByteArray& packet, unsigned char& pen, int& x, int& y, bool& tip,
    bool& barrel, bool& extra)
{
    if (isSerial()) {
        const auto groups = [&packet](int first) {
            return (packetByte(packet, first) & 0x03) * 16384
                + (packetByte(packet, first + 1) & LegacyFraming::SevenBits) * 128
                + (packetByte(packet, first + 2) & LegacyFraming::SevenBits);
        };
        const quint8 flags = packetByte(packet, Packet_Offset_Serial_Button);
        const quint8 button = (flags >> SerialPen_ButtonShift) & SerialPen_ButtonMask;
        x = groups(Packet_Offset_Serial_X);
        y = groups(Packet_Offset_Serial_Y);
        tip = button == SerialPen_ButtonTip;
        barrel = button == SerialPen_ButtonBarrel;
        extra = packetByte(packet, Packet_Offset_Serial_Proximity) & SerialPen_InRange;
        pen = (packetByte(packet, Packet_Offset_Serial_PenId) >> SerialPen_IdShift)
            & SerialPen_IdMask;
        return;
    }
    static_assert(Packet_Offset_X == UsbPenReport::Offset_X
        && Packet_Offset_Y == UsbPenReport::Offset_Y
        && Packet_Offset_Button == UsbPenReport::Offset_Flags
        && Packet_Offset_PenId == UsbPenReport::Offset_Flags);
    UsbPenReport::read(packet, pen, x, y, tip, barrel, extra);
}

// Radio configuration ----------------------------------------------------------------------------

bool LegacyHub::configureHub()
{
    LegacyRFResponse settings;
    bool ok = false;
    if (isSerial()) {
        LegacySerialRFResponse reply;
        ok = sendAndReceive(LegacyProtocol::readRFSettingsCommand(), reply,
            m_nLegacySerialHubResponseMaximumWaitTime);
        settings = reply;
    } else if (isUsb()) {
        ok = sendAndReceive(LegacyProtocol::readRFSettingsCommand(), settings, m_responseTimeout);
    } else {
        return true;
    }
    if (!ok) {
        recordError(Error_CommsFailure);
        return false;
    }
    m_voteChannel = settings.voteChannel;
    m_rfBand = settings.rfBand;
    m_slateChannel = settings.slateChannel;
    m_boardId = settings.boardId;
    if (isUsb()
        && (m_slateChannel < DefaultUsbSlateChannel || m_slateChannel > LastUsbSlateChannel)) {
        m_slateChannel = DefaultUsbSlateChannel;
        changeSlateChannel(DefaultUsbSlateChannel);
    }
    return true;
}

namespace {
bool storedValue(quint8 stored, quint8& value)
{
    if (stored == 0)
        return false;
    value = stored;
    return true;
}
} // namespace

bool LegacyHub::getSlateChannel(quint8& channel) { return storedValue(m_slateChannel, channel); }
bool LegacyHub::getVoteChannel(quint8& channel) { return storedValue(m_voteChannel, channel); }
bool LegacyHub::getBoardID(quint8& id) { return storedValue(m_boardId, id); }
bool LegacyHub::getRFBand(quint8& band) { return storedValue(m_rfBand, band); }

bool LegacyHub::changeVoteChannel(quint8 channel)
{
    const quint8 sent
        = m_rfBand == RFBandWithOffset ? quint8(channel + RFBandChannelOffset) : channel;
    if (!send(LegacyProtocol::changeVoteChannelCommand(sent)))
        return false;
    m_voteChannel = channel;
    forgetRegistrations();
    return true;
}

bool LegacyHub::changeSlateChannel(quint8 channel)
{
    const quint8 sent
        = m_rfBand == RFBandWithOffset ? quint8(channel + RFBandChannelOffset) : channel;
    if (!send(LegacyProtocol::changeSlateChannelCommand(sent)))
        return false;
    m_slateChannel = channel;
    forgetRegistrations();
    return true;
}

bool LegacyHub::changeBoardID(quint8 id)
{
    if (!send(LegacyProtocol::changeBoardIdCommand(id)))
        return false;
    m_boardId = id;
    forgetRegistrations();
    return true;
}

// A radio change forgets every registration, on the hub and in the store.
void LegacyHub::forgetRegistrations()
{
    disableSlates();
    clearVoters();
    clearSlates();
    writeDevicesInformation(Device::Type_LegacyVote);
    writeDevicesInformation(Device::Type_LegacySlate);
}

bool LegacyHub::useRFSlates() { return send(LegacyProtocol::useRFSlatesCommand()); }

bool LegacyHub::disableSlates() { return send(LegacyProtocol::disableSlatesCommand()); }

// Device lists -----------------------------------------------------------------------------------

void LegacyHub::clearVoters()
{
    DevicesLocker locker(m_devicesMutex);
    for (Device* device : std::as_const(m_taviotes))
        device->deleteLater();
    m_taviotes.clear();
}

void LegacyHub::clearSlates()
{
    DevicesLocker locker(m_devicesMutex);
    for (Device* device : std::as_const(m_slates))
        device->deleteLater();
    m_slates.clear();
}

void LegacyHub::setConnected(bool connected)
{
    Hub::setConnected(connected);
    if (m_board)
        m_board->setConnected(connected);
    if (!connected) {
        // The store keeps them: the next connection reads them again.
        clearVoters();
        m_sessionType = SessionType_None;
        return;
    }
    configureHub();
    readDevicesInformation(Device::Type_LegacyVote);
    readDevicesInformation(Device::Type_LegacySlate);
}

void LegacyHub::readRegisteredDevicesLists()
{
    readDevicesInformation(Device::Type_LegacySlate);
    readDevicesInformation(Device::Type_LegacyVote);
}

bool LegacyHub::readTavioteList(QList<Device*>* list)
{
    DevicesLocker locker(m_devicesMutex);
    if (m_taviotes.isEmpty())
        readDevicesInformation(Device::Type_LegacyVote);
    if (list)
        *list = m_taviotes;
    return true;
}

bool LegacyHub::readTavioSlateList(QList<Device*>* list)
{
    DevicesLocker locker(m_devicesMutex);
    if (m_slates.isEmpty())
        readDevicesInformation(Device::Type_LegacySlate);
    if (list)
        *list = m_slates;
    return true;
}

bool LegacyHub::getDeviceList(Device::Type type, QList<Device*>* list)
{
    if (!isConnected()) {
        recordError(Error_NotConnected);
        return false;
    }
    QList<Device*> devices;
    switch (type) {
    case Device::Type_LegacyBoard:
        if (m_board)
            devices.append(m_board);
        break;
    case Device::Type_LegacySlate:
        readTavioSlateList(&devices);
        break;
    case Device::Type_LegacyVote:
        readTavioteList(&devices);
        break;
    default:
        break;
    }
    if (list)
        *list = devices;
    return true;
}

bool LegacyHub::getDeviceCount(Device::Type type, int* count)
{
    if (!isConnected()) {
        recordError(Error_NotConnected);
        return false;
    }
    int value = 0;
    {
        DevicesLocker locker(m_devicesMutex);
        switch (type) {
        case Device::Type_LegacyBoard:
            value = m_board ? 1 : 0;
            break;
        case Device::Type_LegacySlate:
            value = int(m_slates.size());
            break;
        case Device::Type_LegacyVote:
            value = int(m_taviotes.size());
            break;
        default:
            break;
        }
    }
    if (count)
        *count = value;
    return true;
}

int LegacyHub::tavioboardCount()
{
    int count = 0;
    getDeviceCount(Device::Type_LegacyBoard, &count);
    return count;
}

bool LegacyHub::getCompleteDeviceList(QList<Device*>* list)
{
    if (!isConnected()) {
        recordError(Error_NotConnected);
        return false;
    }
    QList<Device*> all;
    for (Device::Type type :
        { Device::Type_LegacyBoard, Device::Type_LegacyVote, Device::Type_LegacySlate }) {
        QList<Device*> part;
        if (!getDeviceList(type, &part))
            return false;
        all += part;
    }
    if (list)
        *list = all;
    return true;
}

// Clearing and removal ---------------------------------------------------------------------------

bool LegacyHub::clearHub()
{
    if (!send(LegacyProtocol::clearVotesCommand()))
        return false;
    disableSlates();
    clearVoters();
    clearSlates();
    writeDevicesInformation(Device::Type_LegacyVote);
    writeDevicesInformation(Device::Type_LegacySlate);
    return true;
}

bool LegacyHub::clearHubOfVotes()
{
    if (!send(LegacyProtocol::clearVotesCommand()))
        return false;
    clearVoters();
    writeDevicesInformation(Device::Type_LegacyVote);
    return true;
}

// The store is emptied whatever the hub answers.
bool LegacyHub::clearHubOfSlates()
{
    disableSlates();
    clearSlates();
    writeDevicesInformation(Device::Type_LegacySlate);
    return true;
}

bool LegacyHub::clearVoteWithID(quint64 id)
{
    if (!send(LegacyProtocol::removeVoterCommand(id)))
        return false;
    if (id <= 0xFFFFFFFFull) {
        DevicesLocker locker(m_devicesMutex);
        for (int i = int(m_taviotes.size()) - 1; i >= 0; --i) {
            if (m_taviotes.at(i)->uid() == quint32(id))
                m_taviotes.takeAt(i)->deleteLater();
        }
    }
    writeDevicesInformation(Device::Type_LegacyVote);
    return true;
}

bool LegacyHub::enableSlate(quint8 id)
{
    QString pin;
    {
        DevicesLocker locker(m_devicesMutex);
        for (Device* device : std::as_const(m_slates)) {
            if (device->uid() == id)
                pin = static_cast<Legacyslate*>(device)->pin();
        }
    }
    if (pin.isEmpty()) {
        recordError(Error_CommsFailure);
        return false;
    }
    return send(LegacyProtocol::enableSlateCommand(id, pin));
}

// The slate goes from the list and the store whatever the hub answers.
bool LegacyHub::removeSlate(quint8 id)
{
    {
        DevicesLocker locker(m_devicesMutex);
        for (int i = int(m_slates.size()) - 1; i >= 0; --i) {
            if (m_slates.at(i)->uid() == id)
                m_slates.takeAt(i)->deleteLater();
        }
    }
    disableSlates();
    writeDevicesInformation(Device::Type_LegacySlate);
    return true;
}

// Voting and registration ------------------------------------------------------------------------

int LegacyHub::enableWaitTime() const
{
    return isSerial() ? SerialEnableVoteWaitTime : m_responseTimeout;
}

// Only the voters enabled since ":VO" vote: each listed voter is enabled in turn, and a missing
// or foreign reply stops the preparation.
bool LegacyHub::preprocessTavioteSession()
{
    if (!isSerial() && !isUsb())
        return false;
    if (!send(LegacyProtocol::clearVotesCommand()))
        return false;
    QList<quint32> voters;
    {
        DevicesLocker locker(m_devicesMutex);
        for (Device* device : std::as_const(m_taviotes))
            voters.append(device->uid());
    }
    // The two framings answer with different records carrying the same device id.
    const auto enable = [this](auto reply, quint32 deviceId) {
        return sendAndReceive(LegacyProtocol::enableVoterCommand(deviceId), reply, enableWaitTime())
            && reply.deviceId == deviceId;
    };
    for (quint32 deviceId : std::as_const(voters)) {
        const bool enabled = isSerial() ? enable(LegacySerialEnableVoteResponse(), deviceId)
                                        : enable(LegacyUsbEnableVoteResponse(), deviceId);
        if (!enabled) {
            recordError(Error_CommsFailure);
            return false;
        }
    }
    return true;
}

bool LegacyHub::startVoteTestSession()
{
    if (!startVotingSession(VotingMode_B, nullptr, nullptr))
        return false;
    m_sessionType = SessionType_VoteTest;
    return true;
}

bool LegacyHub::stopSession()
{
    if (!isConnected()) {
        recordError(Error_NotConnected);
        return false;
    }
    if (m_sessionType == SessionType_None)
        return true;
    if (!send(LegacyProtocol::endSessionCommand()))
        return false;
    if (m_sessionType == SessionType_Voting || m_sessionType == SessionType_VoteTest)
        deleteVotingSession();
    m_sessionType = SessionType_None;
    return true;
}

bool LegacyHub::startVoteRegistrationSession()
{
    return sendStartingSession(
        SessionType_VoteRegistration, LegacyProtocol::startVoteRegistrationCommand());
}

bool LegacyHub::stopVoteRegistrationSession()
{
    if (!send(LegacyProtocol::endSessionCommand()))
        return false;
    writeDevicesInformation(Device::Type_LegacyVote);
    m_sessionType = SessionType_None;
    return true;
}

bool LegacyHub::startSlateRegistrationSession()
{
    return sendStartingSession(
        SessionType_SlateRegistration, LegacyProtocol::startSlateRegistrationCommand());
}

bool LegacyHub::stopSlateRegistrationSession()
{
    if (!send(LegacyProtocol::stopSlateRegistrationCommand()))
        return false;
    writeDevicesInformation(Device::Type_LegacySlate);
    m_sessionType = SessionType_None;
    return true;
}

bool LegacyHub::startSlatePINRegistration(quint8 slateId, const RegistrationCode& pin)
{
    {
        DevicesLocker locker(m_devicesMutex);
        m_expectedSlatePin = LegacyProtocol::pinDigits(pin);
    }
    return sendStartingSession(SessionType_SlatePinRegistration,
        LegacyProtocol::startSlatePINRegistrationCommand(slateId, m_slateChannel, pin));
}

// Packets ----------------------------------------------------------------------------------------

namespace {
template <typename Usb, typename Serial>
struct Framed
{
    static Usb decode(const QByteArray& packet, bool serial)
    {
        if (serial)
            return Serial(packet);
        return Usb(packet);
    }
};
} // namespace

// Runs on the packet thread.
void LegacyHub::processPacket(const QByteArray& packet)
{
    Hub::processPacket(packet);
    if (!isSerial() && !isUsb())
        return;
    const bool serial = isSerial();
    switch (m_sessionType.load()) {
    case SessionType_VoteRegistration: {
        const auto record
            = Framed<LegacyVoteRegistrationResponse, LegacySerialVoteRegistrationResponse>::decode(
                packet, serial);
        if (!record.isValid())
            return;
        {
            DevicesLocker locker(m_devicesMutex);
            for (Device* device : std::as_const(m_taviotes)) {
                if (device->uid() == record.deviceId)
                    return;
            }
            m_taviotes.append(adopted(new LegacyTaviote(this, record.deviceId), this));
        }
        Q_EMIT voteDeviceRegistered(record.deviceId, record.batteryLow, record.deviceVersion);
        return;
    }
    case SessionType_SlateRegistration: {
        const auto record = Framed<LegacySlateRegistrationResponse,
            LegacySerialSlateRegistrationResponse>::decode(packet, serial);
        if (record.isValid())
            Q_EMIT generatePinforSlateRegistration(record.slateId);
        return;
    }
    case SessionType_SlatePinRegistration: {
        const auto record = Framed<LegacySlatePINRegistrationResponse,
            LegacySerialSlatePINRegistrationResponse>::decode(packet, serial);
        if (!record.isValid())
            return;
        {
            DevicesLocker locker(m_devicesMutex);
            if (record.pin != m_expectedSlatePin)
                return;
            for (Device* device : std::as_const(m_slates)) {
                if (device->uid() == record.slateId)
                    return;
            }
            m_slates.append(adopted(new Legacyslate(this, record.slateId, record.pin), this));
        }
        Q_EMIT slateDeviceRegistered(record.slateId);
        return;
    }
    default:
        return;
    }
}

bool LegacyHub::processPinNamingSessionResponse(
    const QByteArray& packet, unsigned int& uid, QString& name)
{
    if (!isSerial() && !isUsb())
        return false;
    const auto record = Framed<LegacyPinNamingResponse, LegacySerialPinNamingResponse>::decode(
        packet, isSerial());
    if (!record.isValid())
        return false;
    uid = record.deviceId;
    name = record.name;
    return true;
}

// The store --------------------------------------------------------------------------------------

QString LegacyHub::storeGroup() const
{
    return m_hasBoard ? QString::number(uid()) : QString::fromLatin1(SharedGroup);
}

void LegacyHub::writeDevicesInformation(Device::Type type)
{
    DevicesLocker locker(m_devicesMutex);
    m_settings->beginGroup(storeGroup());
    if (type == Device::Type_LegacyVote) {
        m_settings->remove(QLatin1String(VotersKey));
        QStringList voters;
        for (Device* device : std::as_const(m_taviotes))
            voters.append(QString::number(device->uid()));
        m_settings->setValue(QLatin1String(VotersKey), voters);
    } else {
        m_settings->remove(QLatin1String(SlatesKey));
        m_settings->beginWriteArray(QLatin1String(SlatesKey), int(m_slates.size()));
        for (int i = 0; i < m_slates.size(); ++i) {
            auto* slate = static_cast<Legacyslate*>(m_slates.at(i));
            m_settings->setArrayIndex(i);
            m_settings->setValue(QLatin1String(SlateIdKey), uint(slate->slateId()));
            m_settings->setValue(QLatin1String(SlatePinKey), slate->pin());
        }
        m_settings->endArray();
    }
    m_settings->endGroup();
    m_settings->sync();
}

// An absent or unreadable store gives empty lists; entries that are no voter or slate are
// skipped.
void LegacyHub::readDevicesInformation(Device::Type type)
{
    DevicesLocker locker(m_devicesMutex);
    m_settings->sync();
    m_settings->beginGroup(storeGroup());
    if (type == Device::Type_LegacyVote) {
        clearVoters();
        const QStringList voters = m_settings->value(QLatin1String(VotersKey)).toStringList();
        for (const QString& text : voters) {
            bool ok = false;
            const quint32 id = text.toUInt(&ok);
            if (ok && id != 0)
                m_taviotes.append(adopted(new LegacyTaviote(this, id), this));
        }
    } else {
        clearSlates();
        // The size is the file's word: read no further than a hub could ever have slates.
        const int count
            = qMin(m_settings->beginReadArray(QLatin1String(SlatesKey)), MaximumStoredSlates);
        for (int i = 0; i < count; ++i) {
            m_settings->setArrayIndex(i);
            bool ok = false;
            const uint id = m_settings->value(QLatin1String(SlateIdKey)).toUInt(&ok);
            if (ok && id >= uint(LegacyFraming::FirstSlateId)
                && id <= uint(LegacyFraming::LastSlateId))
                m_slates.append(
                    adopted(new Legacyslate(this, quint8(id),
                                m_settings->value(QLatin1String(SlatePinKey)).toString()),
                        this));
        }
        m_settings->endArray();
    }
    m_settings->endGroup();
}

} // namespace Taviosystem
