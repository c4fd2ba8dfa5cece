#include <taviosystem/virtualtessalyhub.h>

#include "hub/hubengine.h"
#include "hub24/hub24records.h"
#include "mathtext/latextomathml.h"
#include "tessalyclient.h"
#include "tessalylog.h"
#include "threadhop.h"

#include <taviosystem/registrationcode.h>
#include <taviosystem/taviosystem.h>
#include <taviosystem/tessalycontroller.h>
#include <taviosystem/tessalyenhancedquestionsession.h>
#include <taviosystem/twopointfourghztavioexpression.h>

#include <QtCore/QTimer>

namespace Taviosystem {

const char* const VirtualTessalyHub::LearnerDeviceType = "TessalyLearner";

namespace {
// The class code's first two characters name the service; the PIN is what follows.
const int ClassCodePinOffset = 2;
const int PinLength = 3;
const char* const UploadedImageName = "temp.jpg";
// The locally built information reply: its length, kind, one registered voter and the
// registration capacity field.
const int InformationReplyLength = 11;
const char InformationReplyKind = 0x51;
const int InformationReply_Offset_Registered = 3;
const int InformationReply_Offset_CapacityHigh = 4;
const int InformationReply_Offset_CapacityLow = 5;
const char InformationReplyCapacityHigh = 0x00;
const char InformationReplyCapacityLow = char(0x81);
const quint16 AddressMask = 0xFFFF;

} // namespace

VirtualTessalyHub::VirtualTessalyHub(TavioSystem* system, int handle, bool connected, int version,
    QString serverUrl, QString hubName, QString userName, QString password,
    void (*serverLost)(void*))
    : VirtualTwoPointFourGHzHub(system, handle, connected, version, QString(), OffWire())
    , m_userName(userName)
    , m_password(password)
    , m_serverLost(serverLost)
{
    qRegisterMetaType<Tessaly::Learner>("Tessaly::Learner");
    qRegisterMetaType<RemoteControlMessage>("RemoteControlMessage");
    m_retryTimer = new QTimer(this);
    m_retryTimer->setSingleShot(true);
    m_retryTimer->setInterval(RetryInterval);
    connect(m_retryTimer, &QTimer::timeout, this, &VirtualTessalyHub::onRetryConnection);
    reset(serverUrl, hubName);
}

VirtualTessalyHub::~VirtualTessalyHub()
{
    m_closing = true;
    disconnectCollaboration();
    delete m_tessalySession;
    m_tessalySession = nullptr;
}

void VirtualTessalyHub::reset(const QString& serverUrl, const QString& hubName)
{
    m_identifier = ResetIdentifier;
    m_pin.clear();
    m_hubName = hubName;
    m_serverUrl = serverUrl;
    m_loggedIn = false;
    m_client = TessalyController::instance().getPresenter(serverUrl);
}

void VirtualTessalyHub::setRetryInterval(int milliseconds)
{
    m_retryTimer->setInterval(milliseconds);
}

// Start-up ----------------------------------------------------------------------------------------

void VirtualTessalyHub::verifyAndInitialize()
{
    if (m_initialized)
        return;
    m_initializing = true;
    m_collabConnected = false;
    if (m_identifier == 0)
        m_identifier = DefaultIdentifier;
    m_loggedIn = true;
    startHub();
    // Only a sign-in that holds makes the hub usable; a failed one leaves it to be made afresh.
    m_initialized = m_loggedIn && m_client && !m_client->doGetUserName().isEmpty();
    if (!m_initialized)
        m_loggedIn = false;
    m_initializing = false;
}

void VirtualTessalyHub::startHub()
{
    if (!m_loggedIn || m_collabConnected || !m_client || !m_client->doGetUserName().isEmpty())
        return;
    const bool signedIn = m_client->doLogin(m_userName, m_password);
    // The host reads why through the controller.
    TessalyController::instance().note(m_client, signedIn);
    if (!signedIn)
        m_loggedIn = false;
}

bool VirtualTessalyHub::startTessalySession()
{
    return onOwnThread(this, [this] {
        if (isCollabConnected())
            return true;
        if (!m_client)
            return false;
        m_closing = false;
        disconnectCollaboration();
        PresenterCollab* collab = nullptr;
        if (!m_client->doStartSession(QString()) || !m_client->startWebsocket(&collab) || !collab)
            return false;
        m_collab = collab;
        connectCollaboration();
        m_collabConnected = true;
        if (m_tessalySession)
            m_tessalySession->rebind(collab);
        return true;
    });
}

void VirtualTessalyHub::stopTessalySession()
{
    onOwnThread(this, [this] {
        m_closing = true;
        m_retryTimer->stop();
        disconnectCollaboration();
        m_collabConnected = false;
        if (m_client)
            m_client->doStopSession();
    });
}

void VirtualTessalyHub::connectCollaboration()
{
    PresenterCollab* collab = m_collab;
    m_collabConnections << connect(
        collab, &PresenterCollab::connectionClosed, this, &VirtualTessalyHub::onDisconnected);
    m_collabConnections << connect(
        collab, &PresenterCollab::inactivityTimeMs, this, &VirtualTessalyHub::onInactivityTimeMs);
    m_collabConnections << connect(collab, &PresenterCollab::learnerJoin, this,
        [this](const Tessaly::Learner& learner) { onLearnerJoin(learner.token, learner.name); });
    m_collabConnections << connect(
        collab, &PresenterCollab::learnerUnregister, this, &VirtualTessalyHub::onLearnerUnregister);
    m_collabConnections << connect(
        collab, &PresenterCollab::controllerRegister, this, &Hub::controllerRegister);
    m_collabConnections << connect(collab, &PresenterCollab::learnerPollResponse, this,
        &VirtualTessalyHub::onLearnerPollResponse);
    m_collabConnections << connect(
        collab, &PresenterCollab::remoteControl, this, [this](const RemoteControlMessage& message) {
            onRemoteControlMessage(message.from, message.type, message.data);
        });
    m_collabConnections << connect(
        collab, &PresenterCollab::unhandledMessage, this, &Hub::collaborationMessage);
}

// A connection that is replaced or given up says nothing more to this hub.
void VirtualTessalyHub::disconnectCollaboration()
{
    for (const QMetaObject::Connection& connection : std::as_const(m_collabConnections))
        disconnect(connection);
    m_collabConnections.clear();
    m_collab = nullptr;
}

// Identity and state ------------------------------------------------------------------------------

PresenterClient* VirtualTessalyHub::getTessalyClient() { return m_client; }

QString VirtualTessalyHub::getTessalyLastError()
{
    return onOwnThread(this, [this] { return m_client ? m_client->getLastError() : QString(); });
}

QString VirtualTessalyHub::name() { return m_hubName; }

TwoPointFourGHzHub::State VirtualTessalyHub::cloudState()
{
    if (!isConnected()) {
        recordError(Error_NotConnected);
        return State_NotConnected;
    }
    if (isCollabConnected())
        return State_Idle;
    recordError(Error_CommsFailure);
    return State_CommsFailure;
}

void VirtualTessalyHub::setConnected(bool connected) { Hub::setConnected(connected); }

void VirtualTessalyHub::readRegisteredDevicesLists() { Q_EMIT deviceListChanged(); }

bool VirtualTessalyHub::getDeviceCount(Device::Type type, int* count)
{
    int n = 0;
    if (type == Device::Type_Expression) {
        std::lock_guard<std::recursive_mutex> locker(m_devicesMutex);
        n = int(m_lists[List_Expressions].devices.size());
    }
    if (count)
        *count = n;
    return true;
}

// The client closes the connection itself when the class is stopped through the controller.
bool VirtualTessalyHub::isCollabConnected() const
{
    return m_collabConnected && m_collab && m_collab->isConnected();
}

bool VirtualTessalyHub::hasCollaboration(bool record)
{
    if (isCollabConnected())
        return true;
    if (record)
        recordError(Error_CommsFailure);
    return false;
}

// The learners the service already has arrive as joins, which add to the list; the list is never
// emptied here.
bool VirtualTessalyHub::readExpressionList()
{
    return onOwnThread(this, [this] {
        if (!hasCollaboration(false) || !m_client)
            return true;
        return m_client->doGetLearners();
    });
}

bool VirtualTessalyHub::readVoteList() { return true; }
bool VirtualTessalyHub::readSlateList() { return true; }
bool VirtualTessalyHub::readVirtualVoteList() { return true; }

// Learners ----------------------------------------------------------------------------------------

int VirtualTessalyHub::serialCandidate(const QString& token)
{
    const QByteArray bytes = token.toUtf8();
    quint32 sum = 0;
    // Each byte counts as a signed value; the sum wraps like the int it becomes.
    for (char byte : bytes)
        sum += quint32(qint32(qint8(byte)));
    return int(sum);
}

int VirtualTessalyHub::findSerial(const QString& token) const { return m_serials.value(token, 0); }

int VirtualTessalyHub::getSerialForToken(const QString& token)
{
    const auto known = m_serials.constFind(token);
    if (known != m_serials.cend())
        return known.value();
    const quint32 sum = quint32(serialCandidate(token));
    for (quint32 i = 0; i < quint32(SerialCandidates); ++i) {
        const int candidate = int(sum + i);
        // 0 names no device.
        if (candidate == 0 || m_learners.contains(candidate))
            continue;
        m_learners.insert(candidate, token);
        m_serials.insert(token, candidate);
        return candidate;
    }
    return 0;
}

QString VirtualTessalyHub::getTokenForSerial(int serial) const { return m_learners.value(serial); }

void VirtualTessalyHub::onLearnerJoin(const QString& token, const QString& learnerName)
{
    if (token.isEmpty())
        return;
    const QString name = learnerName.left(MaximumNameLength);
    const int serial = getSerialForToken(token);
    if (serial == 0)
        return;
    const quint32 uid = quint32(serial);
    if (!m_namingRegistration && !findExpressionDevice(uid)) {
        addDevice(List_Expressions,
            new TwoPointFourGHzTavioexpression(this, uid, quint16(uid & AddressMask), name,
                token.toUtf8(), Device::SubType_Expression));
        if (!m_announced.contains(serial)) {
            m_announced.insert(serial);
            qCDebug(lcTessaly).noquote()
                << QStringLiteral("[emitting expressionDeviceRegistered signal] %1").arg(uid);
            if (m_sessionType == SessionType_ExpressionRegistration)
                Q_EMIT expressionDeviceRegistered(name, uid, Device::SubType_Expression);
            Q_EMIT tessalyDeviceRegistered(
                name, uid, Device::SubType_Expression, QString::fromLatin1(LearnerDeviceType));
        }
        Q_EMIT deviceListChanged();
    }
    if (m_sessionType == SessionType_ExpressionNaming) {
        reportNamed(true, uid, name);
    } else if (m_sessionType == SessionType_EndUserNaming) {
        if (m_endUserNamingCallback)
            m_endUserNamingCallback(this, uid, m_currentQuestionId, name, m_callbackContext);
        else
            Q_EMIT endUserNamingSessionResponse(this, uid, m_currentQuestionId, name);
    }
}

void VirtualTessalyHub::onLearnerUnregister(QString token)
{
    const int serial = findSerial(token);
    if (serial == 0)
        return;
    bool removed = false;
    {
        std::lock_guard<std::recursive_mutex> locker(m_devicesMutex);
        QList<Device*>& devices = m_lists[List_Expressions].devices;
        for (qsizetype i = 0; i < devices.size(); ++i) {
            if (devices.at(i)->uid() != quint32(serial))
                continue;
            Device* device = devices.takeAt(i);
            if (m_addressMap.value(device->address()) == device->uid())
                m_addressMap.remove(device->address());
            device->deleteLater();
            removed = true;
            break;
        }
    }
    if (!removed)
        return;
    Q_EMIT tessalyDeviceRemoved(serial);
    Q_EMIT deviceListChanged();
}

void VirtualTessalyHub::onRemoteControlMessage(
    const QString& from, const QString& type, const QVariant& data)
{
    Q_EMIT remoteControlMessage(from, type, data);
}

void VirtualTessalyHub::onInactivityTimeMs(qint64 ms) { Q_EMIT tessalySessionInactivityTimeMs(ms); }

// Registration and naming: the class session is the registration window ---------------------------

bool VirtualTessalyHub::asGetRegistrationPin(RegistrationCode& code)
{
    return onOwnThread(this, [this, &code] {
        const QString classCode = m_client ? m_client->sessionCode() : QString();
        m_pin = classCode.size() >= ClassCodePinOffset + PinLength
            ? classCode.mid(ClassCodePinOffset)
            : QString();
        if (m_pin.isNull())
            return false;
        code = RegistrationCode(m_pin);
        return true;
    });
}

void VirtualTessalyHub::asEndExpressionRegSession() { }

bool VirtualTessalyHub::startExpressionRegistrationSession(
    quint16, quint8, quint8, const RegistrationCode& pin)
{
    return onOwnThread(this, [this, pin] {
        m_pin = QStringLiteral("%1%2%3")
                    .arg(QChar(pin.char1()))
                    .arg(QChar(pin.char2()))
                    .arg(QChar(pin.char3()));
        if (!hasCollaboration(true))
            return false;
        {
            std::lock_guard<std::recursive_mutex> locker(m_devicesMutex);
            m_registeredInWindow.clear();
        }
        m_sessionType = SessionType_ExpressionRegistration;
        return true;
    });
}

bool VirtualTessalyHub::startNamingExpressionRegistrationSession(
    quint16 p1, quint8 p2, quint8 p3, const RegistrationCode& pin, CharacterType, bool, quint8)
{
    if (!startExpressionRegistrationSession(p1, p2, p3, pin))
        return false;
    m_namingRegistration = true;
    return true;
}

bool VirtualTessalyHub::stopExpressionRegistrationSession()
{
    m_namingRegistration = false;
    if (m_sessionType == SessionType_ExpressionRegistration)
        m_sessionType = SessionType_None;
    Q_EMIT deviceListChanged();
    return true;
}

bool VirtualTessalyHub::nameExpression(
    unsigned int, const QString&, ExpressionNameReceivedResponse*)
{
    recordError(Error_NotSupported);
    return false;
}

bool VirtualTessalyHub::startExpressionNamingSession()
{
    if (!canStartSession())
        return false;
    m_sessionType = SessionType_ExpressionNaming;
    return true;
}

bool VirtualTessalyHub::stopExpressionNamingSession()
{
    m_namingRegistration = false;
    if (m_sessionType == SessionType_ExpressionNaming)
        m_sessionType = SessionType_None;
    setExpressionDeviceNamedCallback(nullptr, nullptr);
    return true;
}

bool VirtualTessalyHub::startExpressionEnduserNamingSession(int questionId, CharacterType,
    int maxLength, bool, EndUserNamingCallback callback, void* context)
{
    return onOwnThread(this, [=] {
        if (!checkPollStart(questionId))
            return false;
        if (!isValidMaxNameLength(maxLength) || !noSessionRunning())
            return false;
        m_endUserNamingCallback = callback;
        m_callbackContext = context;
        m_currentQuestionId = questionId;
        m_sessionType = SessionType_EndUserNaming;
        return true;
    });
}

bool VirtualTessalyHub::stopExpressionEndUserNamingSession()
{
    m_namingRegistration = false;
    if (m_sessionType == SessionType_EndUserNaming)
        m_sessionType = SessionType_None;
    return true;
}

// Local replies -----------------------------------------------------------------------------------

bool VirtualTessalyHub::getRegistrationInfo(InformationResponse* info)
{
    m_registrationCapacity = RegistrationCapacity;
    QByteArray reply(InformationReplyLength, '\0');
    reply[0] = char(InformationReplyLength);
    reply[1] = InformationReplyKind;
    reply[InformationReply_Offset_Registered] = 1;
    reply[InformationReply_Offset_CapacityHigh] = InformationReplyCapacityHigh;
    reply[InformationReply_Offset_CapacityLow] = InformationReplyCapacityLow;
    if (info)
        *info = InformationResponse(reply);
    return true;
}

bool VirtualTessalyHub::clearHub(OKResponse* response)
{
    if (response)
        *response = OKResponse(OKResponse::packet());
    return true;
}

bool VirtualTessalyHub::clearHubOfExpressions(OKResponse* response)
{
    return onOwnThread(this, [this, response] {
        if (!hasCollaboration(true))
            return false;
        if (response)
            *response = OKResponse(OKResponse::packet());
        QList<int> removed;
        {
            std::lock_guard<std::recursive_mutex> locker(m_devicesMutex);
            for (Device* device : std::as_const(m_lists[List_Expressions].devices))
                removed.append(int(device->uid()));
            deleteList(List_Expressions);
        }
        for (int serial : std::as_const(removed))
            Q_EMIT tessalyDeviceRemoved(serial);
        Q_EMIT deviceListChanged();
        return true;
    });
}

bool VirtualTessalyHub::sendGenericAsyncMessage(unsigned int, const QByteArray&) { return true; }

// Collaboration pass-throughs ---------------------------------------------------------------------

bool VirtualTessalyHub::publishTessalyCollaborationMessage(
    QString type, QString message, QString data)
{
    return onOwnThread(this, [=] {
        if (!hasCollaboration(false))
            return false;
        m_collab->publishMessage(type, message, data);
        return true;
    });
}

// Runs `work` on the collaboration, in the hub's thread; nothing without one.
void VirtualTessalyHub::withCollaboration(const std::function<void(PresenterCollab*)>& work)
{
    onOwnThread(this, [&] {
        if (hasCollaboration(false))
            work(m_collab);
    });
}

void VirtualTessalyHub::sendTessalyPresenterIsActiveToRemote()
{
    withCollaboration([](PresenterCollab* collab) { collab->sendPresenterIsActiveToRemote(); });
}

void VirtualTessalyHub::sendTessalyCurrentLessonToRemote(QString lessonId, QString lessonName)
{
    withCollaboration(
        [&](PresenterCollab* collab) { collab->sendCurrentLessonToRemote(lessonId, lessonName); });
}

void VirtualTessalyHub::sendTessalyCurrentCardToRemote(int card, int cardCount)
{
    withCollaboration(
        [&](PresenterCollab* collab) { collab->sendCurrentCardToRemote(card, cardCount); });
}

void VirtualTessalyHub::stopTessalyPoll()
{
    withCollaboration([](PresenterCollab* collab) { collab->stopPoll(); });
}

void VirtualTessalyHub::pauseTessalyPoll()
{
    withCollaboration([](PresenterCollab* collab) { collab->pausePoll(); });
}

void VirtualTessalyHub::resumeTessalyPoll()
{
    withCollaboration([](PresenterCollab* collab) { collab->resumePoll(); });
}

void VirtualTessalyHub::removeTessalyLearner(unsigned int uid)
{
    withCollaboration([&](PresenterCollab* collab) {
        const QString token = getTokenForSerial(int(uid));
        if (!token.isEmpty())
            collab->removeLearner(token);
    });
}

// Large images go up as a resource and travel by address; small ones, and those the service would
// not take, travel inline.
void VirtualTessalyHub::setImage(const QByteArray& image)
{
    if (image.size() >= ImageUploadSize && m_client) {
        QString url;
        if (m_client->doUploadResource(QString::fromLatin1(UploadedImageName), image, nullptr, &url)
            && m_collab) {
            m_collab->imageUrl = url;
            return;
        }
    }
    if (m_collab) {
        m_collab->imageUrl.clear();
        m_collab->imageData = image;
    }
}

bool VirtualTessalyHub::sendTessalyImageCard(const QByteArray& image, bool flag)
{
    return onOwnThread(this, [=] {
        if (!hasCollaboration(false))
            return false;
        setImage(image);
        if (m_collab)
            m_collab->showImageCard(flag);
        return true;
    });
}

void VirtualTessalyHub::setTessalyPollImage(const QByteArray& image)
{
    withCollaboration([&](PresenterCollab*) { setImage(image); });
}

} // namespace Taviosystem
