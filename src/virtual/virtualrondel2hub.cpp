#include <taviosystem/virtualrondel2hub.h>

#include "hub24/hub24records.h"
#include "rondel2values.h"
#include "serverdata/adapter.h"
#include "serverdata/records.h"
#include "serverdata/rondel_hub.h"

#include <taviosystem/rondel2enhancedquestionsession.h>
#include <taviosystem/taviosystem.h>
#include <taviosystem/twopointfourghztavioexpression.h>

#include <QtCore/QDir>
#include <QtCore/QFileInfo>
#include <QtCore/QFileSystemWatcher>
#include <QtCore/QLoggingCategory>
#include <QtCore/QPointer>
#include <QtCore/QSettings>
#include <QtCore/QThread>
#include <QtCore/QTimer>
#include <QtNetwork/QHostInfo>
#include <QtNetwork/QNetworkReply>

#include <condition_variable>

namespace Taviosystem {

Q_LOGGING_CATEGORY(lcRondel2, "taviosystem.rondel2")

using Tavio::Rondel_hub;

namespace {
typedef std::lock_guard<std::recursive_mutex> DevicesLocker;

const char* const Organisation = "Corvellan";
const char* const Application = "Rondel2";
const char* const DefaultUrl = "http://localhost:8081";
const char* const ProductName = "TavioSystem";
const char* const ProductVersion = "21.0.0";
const char* const RegisteredAction = "sendRegisteredSignal";
const char* const RenameAction = "sendRenameSignal";
const char* const NamingAction = "sendNamingSignal";
const quint16 AddressMask = 0xFFFF;
const int MinimumPinLength = 3;

std::atomic<int> s_defaultBeaconRate { VirtualRondel2Hub::BEACON_RATE };
std::atomic<int> s_defaultRequestTimeout { VirtualRondel2Hub::RequestTimeout };
std::atomic<int> s_defaultSettingsChangeDelay { VirtualRondel2Hub::SettingsChangeDelay };

QSettings* openSettings()
{
    return new QSettings(QSettings::IniFormat, QSettings::UserScope, QLatin1String(Organisation),
        QLatin1String(Application));
}

QString errorType(const QVariantMap& map)
{
    return map.value(QStringLiteral("error")).toMap().value(QStringLiteral("type")).toString();
}
} // namespace

VirtualRondel2Hub::VirtualRondel2Hub(TavioSystem* system, int index, bool flag, int kind,
    QString url, QString hubName, ServerLostCallback serverLost)
    : VirtualTwoPointFourGHzHub(system, index, flag, kind, QString(), OffWire())
    , m_serverLost(serverLost)
{
    m_beaconRate = s_defaultBeaconRate.load();
    m_settingsChangeDelay = s_defaultSettingsChangeDelay.load();
    m_adapter = new Tavio::Adapter(this);
    setRequestTimeout(s_defaultRequestTimeout.load());
    m_entity = new Rondel_hub(m_adapter, this);
    m_beacon = new Tavio::Beacon(m_adapter, this);
    m_beaconTimer = new QTimer(this);
    m_beaconTimer->setSingleShot(true);
    connect(m_beaconTimer, &QTimer::timeout, this, &VirtualRondel2Hub::pingBeacon);
    reset(url, hubName);
    m_watcher = new QFileSystemWatcher(this);
    startConfigMonitoring();
}

VirtualRondel2Hub::~VirtualRondel2Hub()
{
    m_beaconRunning = false;
    m_beaconTimer->stop();
}

// Settings ----------------------------------------------------------------------------------------

bool VirtualRondel2Hub::readUrl(QString& url, QString& hubName)
{
    std::unique_ptr<QSettings> settings(openSettings());
    url.clear();
    const int count = settings->beginReadArray(QStringLiteral("config/servers"));
    if (count > 0) {
        settings->setArrayIndex(0);
        url = settings->value(QStringLiteral("url")).toString();
    }
    settings->endArray();
    if (url.isEmpty())
        url = QLatin1String(DefaultUrl);
    hubName = settings->value(QStringLiteral("config/hubName")).toString();
    if (hubName.isEmpty())
        hubName = QHostInfo::localHostName();
    return true;
}

int VirtualRondel2Hub::readSerialNumber(QString serverId)
{
    std::unique_ptr<QSettings> settings(openSettings());
    bool ok = false;
    const qlonglong serial
        = settings->value(QStringLiteral("SERVER_%1/serial").arg(serverId), 0).toLongLong(&ok);
    return ok && serial > 0 && serial <= 2147483647 ? int(serial) : 0;
}

void VirtualRondel2Hub::writeSerialNumber(QString serverId, int serial)
{
    std::unique_ptr<QSettings> settings(openSettings());
    settings->setValue(QStringLiteral("SERVER_%1/serial").arg(serverId), serial);
    settings->sync();
}

void VirtualRondel2Hub::reset(QString url, QString hubName)
{
    m_serial = 0;
    {
        std::lock_guard<std::mutex> locker(m_textMutex);
        m_serverId.clear();
        m_hubName = hubName;
        m_url = url;
    }
    m_beaconRunning = false;
    m_beaconTimer->stop();
    // Replies to calls of the earlier generation are dropped when they come.
    ++m_beaconGeneration;
    m_beaconInFlight = false;
    m_beaconFailures = 0;
    m_initializing = false;
    m_adapter->setBaseUrl(url);
}

// The folder is watched as well as the file: the file may not exist yet, and a settings write
// replaces it, which ends a watch on the file itself.
void VirtualRondel2Hub::startConfigMonitoring()
{
    std::unique_ptr<QSettings> settings(openSettings());
    const QString file = settings->fileName();
    const QString folder = QFileInfo(file).absolutePath();
    QDir().mkpath(folder);
    m_watcher->addPath(folder);
    if (QFileInfo::exists(file))
        m_watcher->addPath(file);
    connect(m_watcher, &QFileSystemWatcher::fileChanged, this,
        &VirtualRondel2Hub::onSettingsChanged, Qt::UniqueConnection);
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this,
        &VirtualRondel2Hub::onSettingsChanged, Qt::UniqueConnection);
}

void VirtualRondel2Hub::onSettingsChanged(QString)
{
    std::unique_ptr<QSettings> settings(openSettings());
    const QString file = settings->fileName();
    if (QFileInfo::exists(file) && !m_watcher->files().contains(file))
        m_watcher->addPath(file);
    ++m_pendingSettingsChanges;
    QTimer::singleShot(m_settingsChangeDelay, this, &VirtualRondel2Hub::onSettingChangeHandler);
}

// A burst of changes is acted on once, after the last. Only a new address or name counts: the
// hub's own serial writes change the file too.
void VirtualRondel2Hub::onSettingChangeHandler()
{
    if (m_pendingSettingsChanges > 0)
        --m_pendingSettingsChanges;
    if (m_pendingSettingsChanges > 0)
        return;
    QString url;
    QString name;
    if (!readUrl(url, name))
        return;
    {
        std::lock_guard<std::mutex> locker(m_textMutex);
        if (url == m_url && name == m_hubName)
            return;
    }
    reset(url, name);
    m_beaconWorking = false;
    callServerLost();
    verifyAndInitialize();
}

void VirtualRondel2Hub::setDefaultTimings(
    int beaconRate, int requestTimeout, int settingsChangeDelay)
{
    s_defaultBeaconRate = beaconRate < 0 ? int(BEACON_RATE) : beaconRate;
    s_defaultRequestTimeout = requestTimeout < 0 ? int(RequestTimeout) : requestTimeout;
    s_defaultSettingsChangeDelay
        = settingsChangeDelay < 0 ? int(SettingsChangeDelay) : settingsChangeDelay;
}

void VirtualRondel2Hub::setRequestTimeout(int milliseconds)
{
    m_requestTimeout = milliseconds;
    m_adapter->setRequestTimeout(milliseconds);
}

QString VirtualRondel2Hub::hubName() const
{
    std::lock_guard<std::mutex> locker(m_textMutex);
    return m_hubName;
}

QString VirtualRondel2Hub::serverId() const
{
    std::lock_guard<std::mutex> locker(m_textMutex);
    return m_serverId;
}

QString VirtualRondel2Hub::name() { return hubName(); }

// Calls -------------------------------------------------------------------------------------------

void VirtualRondel2Hub::postCall(int method, const QVariantMap& parameters, const char* successSlot,
    const char* failureSlot, const QVariant& context)
{
    postCallFor(this, method, parameters, successSlot, failureSlot, context);
}

// The receiver lives in the hub's thread too; the slot names are literals.
void VirtualRondel2Hub::postCallFor(QObject* receiver, int method, const QVariantMap& parameters,
    const char* successSlot, const char* failureSlot, const QVariant& context)
{
    QPointer<QObject> target(receiver);
    auto post = [this, target, method, parameters, successSlot, failureSlot, context] {
        if (target)
            m_entity->request(Rondel_hub::Method(method), parameters, target.data(), successSlot,
                failureSlot, context);
    };
    if (QThread::currentThread() == thread())
        post();
    else
        QMetaObject::invokeMethod(this, post, Qt::QueuedConnection);
}

bool VirtualRondel2Hub::runOnHubThread(const std::function<bool()>& work)
{
    if (QThread::currentThread() == thread())
        return work();
    struct State
    {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
        bool result = false;
    };
    auto state = std::make_shared<State>();
    QMetaObject::invokeMethod(
        this,
        [state, work] {
            const bool result = work();
            std::lock_guard<std::mutex> locker(state->mutex);
            state->finished = true;
            state->result = result;
            state->done.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock<std::mutex> locker(state->mutex);
    state->done.wait_for(locker, std::chrono::milliseconds(m_requestTimeout + 1000),
        [&state] { return state->finished; });
    return state->finished && state->result;
}

// Runs on the hub's thread: a nested event loop waits for the reply, so beacon replies are
// handled meanwhile.
bool VirtualRondel2Hub::blockingCall(int method, const QVariantMap& parameters,
    const char* successSlot, const char* failureSlot, bool* failed)
{
    Tavio::AdapterSync sync(this, successSlot, failureSlot);
    m_entity->request(Rondel_hub::Method(method), parameters, &sync, "success", "failure");
    const bool answered = sync.exec(m_requestTimeout + 500);
    if (failed)
        *failed = !sync.succeeded();
    return answered;
}

bool VirtualRondel2Hub::requireBeacon()
{
    if (m_beaconWorking)
        return true;
    recordError(Error_CommsFailure);
    return false;
}

void VirtualRondel2Hub::success_log(QNetworkReply*, QVariant) { }

void VirtualRondel2Hub::fail_log(QNetworkReply* reply, QVariantMap error)
{
    m_adapter->log(reply, error);
}

// Start-up ----------------------------------------------------------------------------------------

void VirtualRondel2Hub::verifyAndInitialize()
{
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(this, "verifyAndInitialize", Qt::QueuedConnection);
        return;
    }
    if (m_initializing)
        return;
    if (m_serial != 0) {
        if (m_beaconRunning)
            return;
        m_entity->setRecordId(qint64(m_serial.load()));
        m_beaconRunning = true;
        startHub();
        return;
    }
    m_initializing = true;
    m_entity->setRecordId(0);
    m_entity->request(Rondel_hub::Method_GetServerID, QVariantMap(), this, "onGetServerID",
        "onGetServerIDFailure", m_beaconGeneration);
}

void VirtualRondel2Hub::onGetServerID(QNetworkReply* reply, QVariant result)
{
    if (reply && reply->property("context").toInt() != m_beaconGeneration)
        return;
    const QMetaType type = result.metaType();
    const bool usable = type == QMetaType::fromType<QString>()
        || type == QMetaType::fromType<double>() || type == QMetaType::fromType<int>()
        || type == QMetaType::fromType<qlonglong>();
    const QString serverId = usable ? result.toString() : QString();
    if (serverId.isEmpty()) {
        qCWarning(lcRondel2) << "the server gave no usable identifier:" << result;
        m_initializing = false;
        return;
    }
    {
        std::lock_guard<std::mutex> locker(m_textMutex);
        m_serverId = serverId;
    }
    const int serial = readSerialNumber(serverId);
    if (serial != 0) {
        m_serial = quint64(serial);
        m_initializing = false;
        verifyAndInitialize();
        return;
    }
    m_entity->request(Rondel_hub::Method_GenerateSerialNumber, QVariantMap(), this,
        "onGenerateSerialNumberResponse", "onGenerateSerialNumberResponseFailure",
        m_beaconGeneration);
}

void VirtualRondel2Hub::onGenerateSerialNumberResponse(QNetworkReply* reply, QVariant result)
{
    if (reply && reply->property("context").toInt() != m_beaconGeneration)
        return;
    bool ok = false;
    double number = 0;
    if (result.metaType() == QMetaType::fromType<QString>())
        number = result.toString().trimmed().toDouble(&ok);
    else if (result.metaType() == QMetaType::fromType<double>()
        || result.metaType() == QMetaType::fromType<int>()
        || result.metaType() == QMetaType::fromType<qlonglong>())
        number = result.toDouble(&ok);
    if (!ok || !(number >= 1 && number <= 2147483647.0) || number != double(qint64(number))) {
        qCWarning(lcRondel2) << "the server gave no usable hub serial:" << result;
        m_initializing = false;
        return;
    }
    const int serial = int(number);
    writeSerialNumber(serverId(), serial);
    m_serial = quint64(serial);
    m_initializing = false;
    verifyAndInitialize();
}

void VirtualRondel2Hub::onGetServerIDFailure(QNetworkReply* reply, QVariant error)
{
    if (reply && reply->property("context").toInt() != m_beaconGeneration)
        return;
    m_initializing = false;
    m_adapter->log(reply, error.toMap());
}

void VirtualRondel2Hub::onGenerateSerialNumberResponseFailure(QNetworkReply* reply, QVariant error)
{
    onGetServerIDFailure(reply, error);
}

void VirtualRondel2Hub::startHub()
{
    m_entity->request(Rondel_hub::Method_SetVersionInfo,
        QVariantMap { { QStringLiteral("Product"), QLatin1String(ProductName) },
            { QStringLiteral("Version"), QLatin1String(ProductVersion) } },
        this, "success_log", "fail_log");
    m_entity->request(Rondel_hub::Method_SetHubName,
        QVariantMap { { QStringLiteral("Name"), hubName() } }, this, "success_log", "fail_log");
    pingBeacon();
}

// Beacon ------------------------------------------------------------------------------------------

void VirtualRondel2Hub::pingBeacon()
{
    if (!m_beaconRunning || m_beaconInFlight)
        return;
    m_beaconInFlight = true;
    QNetworkReply* reply = m_beacon->get(m_serial, this, "beaconReply", "beaconFailure");
    if (reply)
        reply->setProperty("generation", m_beaconGeneration);
}

void VirtualRondel2Hub::scheduleBeacon() { m_beaconTimer->start(m_beaconRate); }

void VirtualRondel2Hub::callServerLost()
{
    if (m_serverLost && m_system)
        m_serverLost(m_system);
}

void VirtualRondel2Hub::setBeaconWorking(bool working)
{
    if (m_beaconWorking.exchange(working) != working)
        callServerLost();
}

void VirtualRondel2Hub::beaconReply(QNetworkReply* reply, QVariantMap json)
{
    if (!reply || reply->property("generation").toInt() != m_beaconGeneration)
        return;
    m_beaconInFlight = false;
    if (!m_beaconRunning)
        return;
    m_beaconFailures = 0;
    setBeaconWorking(true);
    const QVariant result = json.value(QStringLiteral("result"));
    if (result.metaType() == QMetaType::fromType<QVariantList>()) {
        const QVariantList entries = result.toList();
        for (const QVariant& entry : entries) {
            beaconReplyHandler(entry);
            if (!m_beaconRunning)
                return;
        }
    } else if (result.isValid() && !result.isNull()) {
        qCWarning(lcRondel2) << "a beacon reply whose result is no list:" << result;
    }
    if (!m_beaconInFlight)
        scheduleBeacon();
}

void VirtualRondel2Hub::beaconFailure(QNetworkReply* reply, QVariantMap error)
{
    if (!reply || reply->property("generation").toInt() != m_beaconGeneration)
        return;
    m_beaconInFlight = false;
    if (!m_beaconRunning) {
        setBeaconWorking(false);
        return;
    }
    // Only the network counts: an error reply shows the server is there.
    if (m_beaconWorking && errorType(error) == QLatin1String("network")) {
        if (++m_beaconFailures > MaximumBeaconFailures) {
            m_beaconFailures = 0;
            setBeaconWorking(false);
        }
    }
    if (errorType(error) != QLatin1String("network"))
        m_adapter->log(reply, error);
    scheduleBeacon();
}

void VirtualRondel2Hub::beaconReplyHandler(const QVariant& entry)
{
    const Rondel2::BeaconEntry read = Rondel2::readBeaconEntry(entry);
    switch (read.kind) {
    case Rondel2::BeaconEntry::Invalid:
        qCWarning(lcRondel2) << "a beacon entry with" << read.problem << ":" << entry;
        return;
    case Rondel2::BeaconEntry::Unknown:
        qCInfo(lcRondel2) << "ignored beacon signal" << read.signal;
        return;
    case Rondel2::BeaconEntry::DeviceRegistered:
        getDeviceInfo(read.device, QLatin1String(RegisteredAction));
        return;
    case Rondel2::BeaconEntry::NameChange:
        getDeviceInfo(read.device,
            QLatin1String(
                m_sessionType == SessionType_EndUserNaming ? NamingAction : RenameAction));
        return;
    case Rondel2::BeaconEntry::DeviceResponse:
        fetchQuestionResponse(read.device);
        return;
    case Rondel2::BeaconEntry::QuestionRequest:
    case Rondel2::BeaconEntry::DeviceShutdown:
        break;
    }
    const int request
        = read.kind == Rondel2::BeaconEntry::DeviceShutdown ? -1 : read.questionNumber;
    // The device's answer still being fetched is the answer to its present question: the
    // request that followed it waits for it.
    if (m_fetching.contains(read.device)) {
        m_deferredRequests[read.device].append(request);
        return;
    }
    deliverDeviceRequest(read.device, request);
}

void VirtualRondel2Hub::deliverDeviceRequest(quint32 device, int questionNumber)
{
    Rondel2EnhancedQuestionSession* session = nullptr;
    {
        std::lock_guard<std::mutex> locker(m_enhancedSessionsMutex);
        session = m_rondel2Session;
    }
    if (!session || !session->isActive())
        return;
    if (questionNumber < 0)
        session->notifyDeviceShutdown(device);
    else
        session->requestQuestion(device, questionNumber);
}

// Devices -----------------------------------------------------------------------------------------

void VirtualRondel2Hub::getDeviceInfo(quint32 device, const QString& action)
{
    postCall(Rondel_hub::Method_GetDeviceInfo,
        QVariantMap { { QStringLiteral("DeviceID"), device } }, "onGetDeviceInfo", "fail_log",
        action);
}

bool VirtualRondel2Hub::storeExpressionDevice(quint32 uid, const QString& name)
{
    auto* device = new TwoPointFourGHzTavioexpression(this, uid, quint16(uid & AddressMask), name,
        QByteArray::number(uid), Device::SubType_Expression);
    DevicesLocker locker(m_devicesMutex);
    bool isNew = true;
    QList<Device*>& list = m_lists[List_Expressions].devices;
    for (int i = 0; i < list.size(); ++i) {
        if (list.at(i)->uid() != uid)
            continue;
        list.at(i)->deleteLater();
        list.removeAt(i);
        isNew = false;
        break;
    }
    addDevice(List_Expressions, device);
    return isNew;
}

QList<quint32> VirtualRondel2Hub::expressionUids() const
{
    DevicesLocker locker(m_devicesMutex);
    QList<quint32> uids;
    for (Device* device : m_lists[List_Expressions].devices)
        uids.append(device->uid());
    return uids;
}

void VirtualRondel2Hub::onGetDeviceInfo(QNetworkReply* reply, QVariant result)
{
    quint32 uid = 0;
    if (!reply
        || !Rondel2::readDeviceId(
            reply->property("parameters").toMap().value(QStringLiteral("DeviceID")), &uid))
        return;
    if (result.metaType() != QMetaType::fromType<QVariantMap>()) {
        qCWarning(lcRondel2) << "device details that are no object:" << result;
        return;
    }
    Tavio::DeviceInfo info;
    QStringList rejected;
    if (!info.readFrom(result.toMap(), &rejected))
        qCWarning(lcRondel2) << "device details with unusable members:" << rejected;
    const QString name = info.Name();
    storeExpressionDevice(uid, name);
    const QString action = reply->property("context").toString();
    if (action == QLatin1String(RegisteredAction)) {
        bool first = false;
        {
            DevicesLocker locker(m_devicesMutex);
            first = !m_registeredInWindow.contains(uid);
            m_registeredInWindow.insert(uid);
        }
        if (first)
            Q_EMIT expressionDeviceRegistered(name, uid, Device::SubType_Expression);
    } else if (action == QLatin1String(RenameAction)) {
        reportNamed(true, uid, name);
    } else if (action == QLatin1String(NamingAction)) {
        if (m_endUserNamingCallback)
            m_endUserNamingCallback(this, uid, m_endUserQuestionId, name, m_callbackContext);
        else
            Q_EMIT endUserNamingSessionResponse(this, uid, m_endUserQuestionId, name);
    }
}

bool VirtualRondel2Hub::readExpressionList()
{
    if (!requireBeacon())
        return false;
    postCall(Rondel_hub::Method_GetDeviceList, QVariantMap(), "onGetDeviceList", "fail_log");
    return true;
}

void VirtualRondel2Hub::onGetDeviceList(QNetworkReply*, QVariant result)
{
    if (result.metaType() != QMetaType::fromType<QVariantList>()) {
        qCWarning(lcRondel2) << "a device list that is no list:" << result;
        return;
    }
    // Listed twice, a device is kept once, with its later details.
    QList<quint32> order;
    QHash<quint32, QString> names;
    const QVariantList entries = result.toList();
    for (const QVariant& entry : entries) {
        const QVariantMap map = entry.toMap();
        quint32 uid = 0;
        if (entry.metaType() != QMetaType::fromType<QVariantMap>()
            || !Rondel2::readDeviceId(map.value(QStringLiteral("DeviceID")), &uid)) {
            qCWarning(lcRondel2) << "a listed device without a usable DeviceID:" << entry;
            continue;
        }
        Tavio::DeviceInfo info;
        info.readFrom(map);
        if (!names.contains(uid))
            order.append(uid);
        names.insert(uid, info.Name());
    }
    DevicesLocker locker(m_devicesMutex);
    deleteList(List_Expressions);
    for (quint32 uid : std::as_const(order))
        addDevice(List_Expressions,
            new TwoPointFourGHzTavioexpression(this, uid, quint16(uid & AddressMask),
                names.value(uid), QByteArray::number(uid), Device::SubType_Expression));
    m_lists[List_Expressions].needsReading = false;
}

bool VirtualRondel2Hub::readVoteList() { return true; }
bool VirtualRondel2Hub::readSlateList() { return true; }
bool VirtualRondel2Hub::readVirtualVoteList() { return true; }
bool VirtualRondel2Hub::readPenExpressionList() { return true; }

void VirtualRondel2Hub::readRegisteredDevicesLists() { readExpressionList(); }

bool VirtualRondel2Hub::getDeviceCount(Device::Type type, int* count)
{
    if (!count)
        return false;
    int expressions = 0;
    if (type == Device::Type_Expression) {
        DevicesLocker locker(m_devicesMutex);
        expressions = int(m_lists[List_Expressions].devices.size());
    }
    *count = expressions;
    return true;
}

unsigned short VirtualRondel2Hub::canRegisterVotingDevicesCount() { return 0x7FFF; }

// The hub is reached through the server alone: connecting reads the server's device list
// instead of a receiver's.
void VirtualRondel2Hub::setConnected(bool connected)
{
    Hub::setConnected(connected);
    if (!connected) {
        deleteAllLists();
        m_sessionType = SessionType_None;
        return;
    }
    if (m_beaconWorking)
        readExpressionList();
}

void VirtualRondel2Hub::processPacket(const QByteArray&) { }
Hub::HubState VirtualRondel2Hub::getHubState() { return HubState_Idle; }

bool VirtualRondel2Hub::setBacklight(unsigned char, unsigned char)
{
    recordError(Error_NotSupported);
    return false;
}

bool VirtualRondel2Hub::doSendAndReceive(const QByteArray&)
{
    recordError(Error_NotSupported);
    return false;
}

// Registration ------------------------------------------------------------------------------------

bool VirtualRondel2Hub::getRegistrationInfo(InformationResponse* info)
{
    // One registered voting device out of 32767.
    QByteArray packet(InformationResponse::MinimumLength, '\0');
    packet[0] = char(InformationResponse::MinimumLength);
    packet[1] = InformationResponse::Kind;
    packet[3] = 1;
    packet[4] = char(0x7F);
    packet[5] = char(0xFF);
    if (info)
        *info = InformationResponse(packet);
    return true;
}

void VirtualRondel2Hub::onGetRegistrationPin(QNetworkReply*, QVariant result)
{
    const QMetaType type = result.metaType();
    QString pin;
    if (type == QMetaType::fromType<QString>() || type == QMetaType::fromType<double>()
        || type == QMetaType::fromType<int>() || type == QMetaType::fromType<qlonglong>())
        pin = result.toString();
    std::lock_guard<std::mutex> locker(m_textMutex);
    m_pinReply = pin;
}

bool VirtualRondel2Hub::asGetRegistrationPin(RegistrationCode& code)
{
    if (!requireBeacon())
        return false;
    const bool answered = runOnHubThread([this] {
        {
            std::lock_guard<std::mutex> locker(m_textMutex);
            m_pinReply = QString();
        }
        bool failed = true;
        return blockingCall(Rondel_hub::Method_CheckOutPin, QVariantMap(), "onGetRegistrationPin",
                   "fail_log", &failed)
            && !failed;
    });
    QString pin;
    {
        std::lock_guard<std::mutex> locker(m_textMutex);
        pin = m_pinReply;
    }
    if (!answered || pin.isNull())
        return false;
    // Three printable ASCII characters at least; the first three make the code.
    if (pin.size() < MinimumPinLength)
        return false;
    for (int i = 0; i < MinimumPinLength; ++i)
        if (pin.at(i).unicode() < 0x20 || pin.at(i).unicode() > 0x7E)
            return false;
    {
        std::lock_guard<std::mutex> locker(m_textMutex);
        m_registrationPin = pin;
    }
    code = RegistrationCode(pin.left(MinimumPinLength));
    return true;
}

void VirtualRondel2Hub::onRegistrationSessionStarted(QNetworkReply*, QVariant)
{
    m_sessionType = SessionType_ExpressionRegistration;
}

void VirtualRondel2Hub::onRegistrationSessionStartFailure(QNetworkReply* reply, QVariant error)
{
    m_sessionType = SessionType_None;
    m_adapter->log(reply, error.toMap());
}

bool VirtualRondel2Hub::startRegistration(const RegistrationCode& pin)
{
    if (!requireBeacon())
        return false;
    {
        DevicesLocker locker(m_devicesMutex);
        m_registeredInWindow.clear();
    }
    const QString text
        = QStringLiteral("%1%2%3").arg(QChar(pin.char1()), QChar(pin.char2()), QChar(pin.char3()));
    const QVariantMap parameters { { QStringLiteral("Pin"), text },
        { QStringLiteral("IncludeExistingDevices"), false } };
    const bool answered = runOnHubThread([this, parameters] {
        return blockingCall(Rondel_hub::Method_StartRegistrationSession, parameters,
            "onRegistrationSessionStarted", "onRegistrationSessionStartFailure");
    });
    if (!answered)
        recordError(Error_CommsFailure);
    return answered && m_sessionType == SessionType_ExpressionRegistration;
}

bool VirtualRondel2Hub::startExpressionRegistrationSession(
    quint16, quint8, quint8, const RegistrationCode& pin)
{
    return startRegistration(pin);
}

bool VirtualRondel2Hub::startNamingExpressionRegistrationSession(
    quint16, quint8, quint8, const RegistrationCode& pin, CharacterType, bool, quint8)
{
    return startRegistration(pin);
}

bool VirtualRondel2Hub::stopRegistration()
{
    m_sessionType = SessionType_None;
    if (!requireBeacon())
        return false;
    postCall(Rondel_hub::Method_EndRegistrationSession, QVariantMap(), "success_log", "fail_log");
    asEndExpressionRegSession();
    readExpressionList();
    return true;
}

bool VirtualRondel2Hub::stopExpressionRegistrationSession() { return stopRegistration(); }

void VirtualRondel2Hub::asEndExpressionRegSession()
{
    if (!m_beaconWorking)
        return;
    QString pin;
    {
        std::lock_guard<std::mutex> locker(m_textMutex);
        pin = m_registrationPin;
    }
    postCall(Rondel_hub::Method_ReleasePin, QVariantMap { { QStringLiteral("Pin"), pin } },
        "success_log", "fail_log");
}

bool VirtualRondel2Hub::notSupported()
{
    recordError(Error_NotSupported);
    return false;
}

bool VirtualRondel2Hub::startVoteRegistrationSession(
    quint16, quint8, quint8, const RegistrationCode&)
{
    return notSupported();
}
bool VirtualRondel2Hub::stopVoteRegistrationSession() { return notSupported(); }
bool VirtualRondel2Hub::startSlateRegistrationSession(
    quint16, quint8, quint8, const RegistrationCode&)
{
    return notSupported();
}
bool VirtualRondel2Hub::stopSlateRegistrationSession() { return notSupported(); }
bool VirtualRondel2Hub::removeTaviote(unsigned int) { return notSupported(); }
bool VirtualRondel2Hub::removeTavioslate(unsigned int) { return notSupported(); }
bool VirtualRondel2Hub::removePenExpression(unsigned int) { return notSupported(); }
bool VirtualRondel2Hub::startVotingSession(VotingMode, VotingCallback, void*)
{
    return notSupported();
}
bool VirtualRondel2Hub::startAsyncSession(
    AsyncGetMessageCallback, AsyncReceiveMessageCallback, void*)
{
    return notSupported();
}
bool VirtualRondel2Hub::startEnhancedGenericSession(AsyncReceiveMessageCallback, void*)
{
    return notSupported();
}
bool VirtualRondel2Hub::asyncSendMsg(unsigned int, const QByteArray&) { return notSupported(); }
EnhancedGenericSession* VirtualRondel2Hub::getEnhancedGenericSession()
{
    recordError(Error_NotSupported);
    return nullptr;
}

bool VirtualRondel2Hub::stopRemoveExpressionDeviceSession() { return true; }
bool VirtualRondel2Hub::stopRemoveVoteDeviceSession() { return true; }
bool VirtualRondel2Hub::stopRemoveSlateDeviceSession() { return true; }

void VirtualRondel2Hub::onRemoveDevice(QNetworkReply*, QVariant) { }

bool VirtualRondel2Hub::removeTavioexpression(unsigned int uid)
{
    if (!requireBeacon())
        return false;
    const QVariantMap parameters { { QStringLiteral("DeviceID"), uid } };
    const bool removed = runOnHubThread([this, parameters] {
        bool failed = true;
        return blockingCall(Rondel_hub::Method_RemoveDevice, parameters, "onRemoveDevice",
                   "fail_log", &failed)
            && !failed;
    });
    if (!removed) {
        recordError(Error_CommsFailure);
        return false;
    }
    DevicesLocker locker(m_devicesMutex);
    QList<Device*>& list = m_lists[List_Expressions].devices;
    for (int i = 0; i < list.size(); ++i) {
        if (list.at(i)->uid() != uid)
            continue;
        if (m_addressMap.value(list.at(i)->address()) == uid)
            m_addressMap.remove(list.at(i)->address());
        list.at(i)->deleteLater();
        list.removeAt(i);
        break;
    }
    return true;
}

void VirtualRondel2Hub::okReply(OKResponse* response)
{
    if (response)
        *response = OKResponse(OKResponse::packet());
}

bool VirtualRondel2Hub::clearHub(OKResponse* response)
{
    if (!requireBeacon())
        return false;
    const bool cleared = runOnHubThread([this] {
        bool failed = true;
        return blockingCall(
                   Rondel_hub::Method_ResetHub, QVariantMap(), "success_log", "fail_log", &failed)
            && !failed;
    });
    if (!cleared) {
        recordError(Error_CommsFailure);
        return false;
    }
    okReply(response);
    return true;
}

bool VirtualRondel2Hub::clearHubOfExpressions(OKResponse* response)
{
    if (!clearHub(response))
        return false;
    readExpressionList();
    return true;
}

bool VirtualRondel2Hub::clearHubOfVotes(OKResponse* response)
{
    okReply(response);
    return true;
}
bool VirtualRondel2Hub::clearHubOfSlates(OKResponse* response)
{
    okReply(response);
    return true;
}
bool VirtualRondel2Hub::clearHubOfBoards(OKResponse* response)
{
    okReply(response);
    return true;
}
bool VirtualRondel2Hub::clearHubOfPenExpressions(OKResponse* response)
{
    okReply(response);
    return true;
}

// Naming ------------------------------------------------------------------------------------------

QString VirtualRondel2Hub::getNameLimitChars(CharacterType type)
{
    static const char* const Names[]
        = { "Any", "Numeric", "AlphaNumericLower", "AlphaNumericUpper", "AutoCaseFirstChar" };
    const int index = int(type);
    if (index < 0 || index >= int(sizeof Names / sizeof Names[0]))
        return QString();
    return QLatin1String(Names[index]);
}

bool VirtualRondel2Hub::nameExpression(
    unsigned int uid, const QString& name, ExpressionNameReceivedResponse* response)
{
    if (!requireBeacon())
        return false;
    QVariantMap parameters { { QStringLiteral("DeviceID"), uid },
        { QStringLiteral("Name"), name } };
    if (m_nameMaxLength == 0 && m_nameCharacterType == 0) {
        postCall(Rondel_hub::Method_ChangeDeviceName, parameters, "success_log", "fail_log");
    } else {
        Tavio::DeviceNamingOptions options;
        options.setMaxLength(m_nameMaxLength);
        options.setCharLimit(getNameLimitChars(CharacterType(m_nameCharacterType)));
        options.setForceMaxLength(m_nameForceMaxLength);
        parameters.insert(QStringLiteral("Options"), options.getDelta());
        postCall(Rondel_hub::Method_ChangeDeviceNameLimited, parameters, "success_log", "fail_log");
    }
    // The server accepts names without a reply of the hub's kind: the naming session is told
    // the name was taken.
    if (response)
        *response = ExpressionNameReceivedResponse(QByteArray::fromRawData(
            "\x04\x82\x00\x00", ExpressionNameReceivedResponse::PacketLength));
    return true;
}

bool VirtualRondel2Hub::startExpressionNamingSession()
{
    m_sessionType = SessionType_ExpressionNaming;
    return true;
}

bool VirtualRondel2Hub::stopExpressionNamingSession()
{
    m_sessionType = SessionType_None;
    return true;
}

bool VirtualRondel2Hub::startExpressionEnduserNamingSession(int questionId,
    CharacterType characterType, int maxLength, bool namingFlag, EndUserNamingCallback callback,
    void* context)
{
    if (!requireBeacon())
        return false;
    if (!isValidMaxNameLength(maxLength)) {
        recordError(Error_NameLengthNotWithinTheRange);
        return false;
    }
    m_nameMaxLength = maxLength;
    m_nameCharacterType = int(characterType);
    m_nameForceMaxLength = namingFlag;
    m_endUserQuestionId = questionId;
    m_endUserNamingCallback = callback;
    m_callbackContext = context;
    m_sessionType = SessionType_EndUserNaming;
    Tavio::DeviceNamingOptions options;
    options.setMaxLength(maxLength);
    options.setCharLimit(getNameLimitChars(characterType));
    options.setForceMaxLength(namingFlag);
    const QVariantMap optionMap = options.getDelta();
    QList<QPair<quint32, QString>> devices;
    {
        DevicesLocker locker(m_devicesMutex);
        for (Device* device : m_lists[List_Expressions].devices)
            devices.append({ device->uid(), device->name() });
    }
    for (const auto& device : std::as_const(devices))
        postCall(Rondel_hub::Method_ChangeDeviceNameLimited,
            QVariantMap { { QStringLiteral("DeviceID"), device.first },
                { QStringLiteral("Name"), device.second },
                { QStringLiteral("Options"), optionMap } },
            "success_log", "fail_log");
    return true;
}

bool VirtualRondel2Hub::stopExpressionEndUserNamingSession()
{
    m_sessionType = SessionType_None;
    return true;
}

} // namespace Taviosystem
