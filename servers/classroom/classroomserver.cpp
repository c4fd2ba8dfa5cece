#include "classroomserver.h"
#include "servercore.h"
#include "serverthread.h"

#include <QtCore/QDataStream>
#include <QtCore/QRandomGenerator>
#include <QtCore/QThread>

#include <chrono>
#include <thread>

// The HTTP server builds a TLS configuration when it is made; Qt's OpenSSL backend keeps the
// certificates it parsed for that in process-wide state that is never freed. Leak checking in
// every process that runs this server ignores exactly those allocations.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libqopensslbackend.so\nleak:libcrypto.so\n";
}

namespace ClassroomServer {

namespace {
Fault make(Fault::Kind kind, int times)
{
    Fault fault;
    fault.kind = kind;
    fault.times = times;
    return fault;
}

// Strings handed to the caller are deep copies: nothing the server's thread goes on using is
// shared with another thread.
QByteArray copied(const QByteArray& bytes) { return QByteArray(bytes.constData(), bytes.size()); }
QString copied(const QString& text) { return QString(text.constData(), text.size()); }
} // namespace

Fault Fault::delay(int ms, int times)
{
    Fault fault = make(None, times);
    fault.delayMs = ms;
    return fault;
}

Fault Fault::errorReply(const QVariant& error, int times)
{
    Fault fault = make(ErrorReply, times);
    fault.error = error;
    return fault;
}

Fault Fault::http500(int times) { return make(Http500, times); }
Fault Fault::badJson(int times) { return make(BadJson, times); }
Fault Fault::nonObjectBody(int times) { return make(NonObjectBody, times); }

Fault Fault::replaceResult(const QVariant& result, int times)
{
    Fault fault = make(ReplaceResult, times);
    fault.result = result;
    return fault;
}

Fault Fault::rawBody(const QByteArray& body, int times)
{
    Fault fault = make(RawBody, times);
    fault.body = body;
    return fault;
}

Fault Fault::oversizeBody(int times) { return make(OversizeBody, times); }
Fault Fault::noReply(int times) { return make(NoReply, times); }
Fault Fault::closeConnection(int times) { return make(CloseConnection, times); }

Server::Server()
    : m_thread(std::make_unique<ServerThread>())
{
    const QByteArray token = QByteArray::number(QRandomGenerator::global()->generate64(), 16);
    m_thread->run([this, token] {
        m_core = std::make_unique<ServerCore>();
        m_core->cookieName = "classroom_session";
        m_core->cookieValue = token;
    });
}

Server::~Server()
{
    m_thread->run([this] { m_core.reset(); });
    m_thread.reset();
}

bool Server::start(quint16 port)
{
    return m_thread->get([&] { return m_core->listen(port); });
}

void Server::stop()
{
    m_thread->run([this] { m_core->close(); });
}

bool Server::restart()
{
    return m_thread->get([&] { return m_core->listen(m_core->port()); });
}

bool Server::isListening() const
{
    return m_thread->get([&] { return m_core->isListening(); });
}

quint16 Server::port() const
{
    return m_thread->get([&] { return m_core->port(); });
}

QString Server::url() const { return QStringLiteral("http://127.0.0.1:%1").arg(port()); }

void Server::setServerId(const QString& id)
{
    const QString text = copied(id);
    m_thread->run([&] { m_core->serverId = text; });
}

QString Server::serverId() const
{
    return m_thread->get([&] { return copied(m_core->serverId); });
}

void Server::setNextSerial(qint64 serial)
{
    m_thread->run([&] { m_core->nextSerial = serial; });
}

qint64 Server::nextSerial() const
{
    return m_thread->get([&] { return m_core->nextSerial; });
}

void Server::setPinPool(const QStringList& pins)
{
    QStringList list;
    for (const QString& pin : pins)
        list.append(copied(pin));
    m_thread->run([&] { m_core->setPinPool(list); });
}

QStringList Server::checkedOutPins() const
{
    QStringList list;
    m_thread->run([&] {
        for (const QString& pin : m_core->checkedOutPins())
            list.append(copied(pin));
    });
    return list;
}

void Server::setPinAsNumber(bool number)
{
    m_thread->run([&] { m_core->pinAsNumber = number; });
}

QList<Learner> Server::defaultClass(int count)
{
    QList<Learner> learners;
    for (int i = 0; i < count; ++i) {
        Learner learner;
        learner.deviceId = quint32(1001 + i);
        learner.name = QStringLiteral("Learner %1").arg(i + 1);
        learner.chosenName = QStringLiteral("Pupil %1").arg(i + 1);
        learner.joinDelayMs = 40 + 15 * i;
        learner.nameDelayMs = 40 + 15 * i;
        learner.answerDelayMs = 40 + 15 * i;
        learners.append(learner);
    }
    return learners;
}

// Learners are plain values with implicitly shared members: they cross threads as deep copies.
namespace {
Learner copied(const Learner& learner)
{
    Learner copy = learner;
    copy.name = copied(learner.name);
    copy.chosenName = copied(learner.chosenName);
    copy.product = copied(learner.product);
    copy.answersByQuestion.clear();
    for (auto it = learner.answersByQuestion.cbegin(); it != learner.answersByQuestion.cend(); ++it)
        copy.answersByQuestion.insert(it.key(), copied(it.value()));
    copy.answersByType.clear();
    for (auto it = learner.answersByType.cbegin(); it != learner.answersByType.cend(); ++it)
        copy.answersByType.insert(copied(it.key()), copied(it.value()));
    return copy;
}

QVariant copied(const QVariant& value)
{
    // A round trip through a byte form gives a value that shares nothing.
    QByteArray bytes;
    {
        QDataStream out(&bytes, QIODevice::WriteOnly);
        out << value;
    }
    QDataStream in(bytes);
    QVariant copy;
    in >> copy;
    return copy;
}

QVariantMap copied(const QVariantMap& map) { return copied(QVariant(map)).toMap(); }

RecordedRequest copied(const RecordedRequest& request)
{
    RecordedRequest copy = request;
    copy.httpMethod = copied(request.httpMethod);
    copy.path = copied(request.path);
    copy.contentType = copied(request.contentType);
    copy.body = copied(request.body);
    copy.json = copied(request.json);
    copy.method = copied(request.method);
    copy.parameters = copied(request.parameters);
    copy.cookie = copied(request.cookie);
    copy.partNames.clear();
    for (const QByteArray& name : request.partNames)
        copy.partNames.append(copied(name));
    copy.fileName = copied(request.fileName);
    copy.fileContentType = copied(request.fileContentType);
    copy.fileContents = copied(request.fileContents);
    return copy;
}

HubSnapshot copied(const HubSnapshot& hub)
{
    HubSnapshot copy = hub;
    copy.name = copied(hub.name);
    copy.product = copied(hub.product);
    copy.version = copied(hub.version);
    copy.registrationPin = copied(hub.registrationPin);
    copy.sessionParameters = copied(hub.sessionParameters);
    auto copyMap = [](const QMap<quint32, QVariantMap>& from) {
        QMap<quint32, QVariantMap> to;
        for (auto it = from.cbegin(); it != from.cend(); ++it)
            to.insert(it.key(), copied(it.value()));
        return to;
    };
    copy.deviceSessionParameters = copyMap(hub.deviceSessionParameters);
    copy.questions = copyMap(hub.questions);
    copy.responses = copyMap(hub.responses);
    copy.namingOptions = copyMap(hub.namingOptions);
    copy.messages.clear();
    for (auto it = hub.messages.cbegin(); it != hub.messages.cend(); ++it)
        copy.messages.insert(it.key(), copied(QVariant(it.value())).toList());
    return copy;
}
} // namespace

void Server::setLearners(const QList<Learner>& learners)
{
    QList<Learner> list;
    for (const Learner& learner : learners)
        list.append(copied(learner));
    m_thread->run([&] { m_core->setLearners(list); });
}

QList<Learner> Server::learners() const
{
    QList<Learner> list;
    m_thread->run([&] {
        for (const Learner& learner : m_core->learners())
            list.append(copied(learner));
    });
    return list;
}

void Server::setLearner(const Learner& learner)
{
    const Learner copy = copied(learner);
    m_thread->run([&] { m_core->setLearner(copy); });
}

QString Server::deviceName(quint32 deviceId) const
{
    return m_thread->get([&] { return copied(m_core->deviceName(deviceId)); });
}

void Server::queueBeaconEntry(qint64 serial, const QVariant& entry)
{
    const QVariant copy = copied(entry);
    m_thread->run([&] { m_core->queue(serial, copy); });
}

void Server::queueBeaconSignal(
    qint64 serial, const QString& signal, const QString& sourceHash, const QVariant& value)
{
    const QString signalCopy = copied(signal);
    const QString hashCopy = copied(sourceHash);
    const QVariant valueCopy = copied(value);
    m_thread->run([&] { m_core->queueSignal(serial, signalCopy, hashCopy, valueCopy); });
}

void Server::queueBadBeaconEntry(qint64 serial, BadBeaconEntry kind, quint32 deviceId)
{
    m_thread->run([&] { m_core->queueBad(serial, kind, deviceId); });
}

void Server::joinNow(qint64 serial, quint32 deviceId)
{
    m_thread->run([&] { m_core->join(serial, deviceId); });
}

void Server::answerNow(qint64 serial, quint32 deviceId, const QString& answer)
{
    const QString text = copied(answer);
    m_thread->run([&] { m_core->answer(serial, deviceId, text, -1); });
}

void Server::renameByLearner(qint64 serial, quint32 deviceId, const QString& name)
{
    const QString text = copied(name);
    m_thread->run([&] { m_core->rename(serial, deviceId, text); });
}

void Server::requestQuestionNow(qint64 serial, quint32 deviceId, int questionNumber)
{
    m_thread->run([&] { m_core->requestQuestion(serial, deviceId, questionNumber); });
}

void Server::shutdownDevice(qint64 serial, quint32 deviceId)
{
    m_thread->run([&] {
        m_core->queueSignal(serial, QStringLiteral("DeviceShutdown"),
            QStringLiteral("Rondel.Device.%1").arg(deviceId), deviceId);
    });
}

void Server::setFault(const QString& method, const Fault& fault)
{
    const QString key = copied(method);
    Fault copy = fault;
    copy.error = copied(fault.error);
    copy.result = copied(fault.result);
    copy.body = copied(fault.body);
    m_thread->run([&] { m_core->faults.insert(key, copy); });
}

void Server::clearFault(const QString& method)
{
    const QString key = copied(method);
    m_thread->run([&] { m_core->faults.remove(key); });
}

void Server::clearFaults()
{
    m_thread->run([this] { m_core->faults.clear(); });
}

void Server::setRequireCookie(bool required)
{
    m_thread->run([&] { m_core->requireCookie = required; });
}

void Server::setReplyDelay(int ms)
{
    m_thread->run([&] { m_core->replyDelay = ms; });
}

QList<HubSnapshot> Server::hubs() const
{
    QList<HubSnapshot> list;
    m_thread->run([&] {
        for (const HubSnapshot& hub : m_core->hubs())
            list.append(copied(hub));
    });
    return list;
}

HubSnapshot Server::hub(qint64 serial) const
{
    return m_thread->get([&] { return copied(m_core->hub(serial)); });
}

QList<RecordedRequest> Server::requests() const { return requests(QString()); }

QList<RecordedRequest> Server::requests(const QString& method) const
{
    QList<RecordedRequest> list;
    m_thread->run([&] {
        for (const RecordedRequest& request : std::as_const(m_core->requests)) {
            if (method.isEmpty() || request.method == method)
                list.append(copied(request));
        }
    });
    return list;
}

int Server::requestCount(const QString& method) const
{
    int count = 0;
    m_thread->run([&] {
        for (const RecordedRequest& request : std::as_const(m_core->requests))
            count += method.isEmpty() || request.method == method ? 1 : 0;
    });
    return count;
}

bool Server::waitForRequests(const QString& method, int count, int timeoutMs) const
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (requestCount(method) >= count)
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

void Server::clearRequests()
{
    m_thread->run([this] { m_core->requests.clear(); });
}

int Server::connectionsAccepted() const
{
    return m_thread->get([&] { return m_core->connectionsAccepted(); });
}

QByteArray Server::cookieName() const
{
    return m_thread->get([&] { return copied(m_core->cookieName); });
}

QByteArray Server::cookieValue() const
{
    return m_thread->get([&] { return copied(m_core->cookieValue); });
}

} // namespace ClassroomServer
