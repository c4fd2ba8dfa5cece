#include "servercore.h"

#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QSet>
#include <QtCore/QTimer>
#include <QtNetwork/QTcpSocket>

namespace ClassroomServer {

namespace {
const QString HubHashPrefix = QStringLiteral("Rondel.Hub.");
const QString DeviceHashPrefix = QStringLiteral("Rondel.Device.");

const QString Id = QStringLiteral("id");
const QString DeviceId = QStringLiteral("DeviceID");
const QString Pin = QStringLiteral("Pin");
const QString Name = QStringLiteral("Name");
const QString SessionParameters = QStringLiteral("SessionParameters");
const QString QuestionType = QStringLiteral("QuestionType");
const QString PossibleResponses = QStringLiteral("PossibleResponses");
const QString Ordinal = QStringLiteral("Ordinal");

// Error codes of this server's error replies.
enum ErrorCode {
    Error_Refused = 1,
    Error_NoFreePin = 2,
    Error_UnknownPin = 3,
    Error_NoResponse = 4,
    Error_UnknownDevice = 5,
    Error_BadHash = 6,
    Error_BadRequest = 7,
    Error_UnknownMethod = 8,
    Error_NoCookie = 9,
};

QVariantMap errorMap(int code, const QString& message)
{
    return { { QStringLiteral("type"), QStringLiteral("server") }, { QStringLiteral("code"), code },
        { QStringLiteral("message"), message } };
}

QByteArray toJson(const QVariantMap& map)
{
    return QJsonDocument(QJsonObject::fromVariantMap(map)).toJson(QJsonDocument::Compact);
}

QByteArray resultBody(const QVariant& result)
{
    return toJson({ { QStringLiteral("result"), result } });
}

QByteArray errorBody(const QVariant& error)
{
    return toJson({ { QStringLiteral("error"), error } });
}

// The number in a member that may be a JSON number or decimal text; 0 when it is neither.
qint64 number(const QVariant& value)
{
    bool ok = false;
    const qint64 n = value.toString().trimmed().toLongLong(&ok);
    return ok ? n : 0;
}

QStringList ordinals(const QVariantMap& question)
{
    QStringList list;
    for (const QVariant& response : question.value(PossibleResponses).toList())
        list.append(response.toMap().value(Ordinal).toString());
    return list;
}

QString pinText(const QVariant& value) { return value.toString().trimmed(); }
} // namespace

ServerCore::ServerCore()
    : serverId(QStringLiteral("classroom-server-1"))
    , pinPool({ QStringLiteral("K7Q"), QStringLiteral("M3X"), QStringLiteral("P9D"),
          QStringLiteral("T4W") })
    , m_timers(new QObject)
{
}

ServerCore::~ServerCore()
{
    close();
    delete m_timers; // with it, every timer still to fire
}

bool ServerCore::listen(quint16 port)
{
    close();
    m_front = new RpcFront(
        [this](RecordedRequest& request, QPointer<QTcpSocket> socket) { handle(request, socket); },
        cookieName, cookieValue);
    m_port = m_front->listen(QHostAddress(QHostAddress::LocalHost), port);
    if (m_port == 0) {
        delete m_front;
        m_front = nullptr;
        return false;
    }
    return true;
}

void ServerCore::close()
{
    if (!m_front)
        return;
    m_connectionsBefore += m_front->connectionsSeen();
    delete m_front; // its listener and every connection with it
    m_front = nullptr;
}

void ServerCore::setPinPool(const QStringList& pins)
{
    pinPool = pins;
    m_nextPin = 0;
}

QList<Learner> ServerCore::learners() const
{
    QList<Learner> list;
    for (quint32 id : m_learnerOrder)
        list.append(m_learners.value(id).learner);
    return list;
}

void ServerCore::setLearners(const QList<Learner>& learners)
{
    m_learners.clear();
    m_learnerOrder.clear();
    for (const Learner& learner : learners)
        setLearner(learner);
}

void ServerCore::setLearner(const Learner& learner)
{
    if (!m_learners.contains(learner.deviceId))
        m_learnerOrder.append(learner.deviceId);
    m_learners.insert(learner.deviceId, { learner, learner.name });
}

QString ServerCore::deviceName(quint32 deviceId) const { return m_learners.value(deviceId).name; }

ServerCore::LearnerState* ServerCore::learner(quint32 deviceId)
{
    auto it = m_learners.find(deviceId);
    return it == m_learners.end() ? nullptr : &it.value();
}

QString ServerCore::hubHash(qint64 serial) { return HubHashPrefix + QString::number(serial); }

QString ServerCore::deviceHash(quint32 deviceId)
{
    return DeviceHashPrefix + QString::number(deviceId);
}

ServerCore::HubState& ServerCore::hubFor(qint64 serial)
{
    auto it = m_hubs.find(serial);
    if (it == m_hubs.end()) {
        it = m_hubs.insert(serial, HubState());
        it->snapshot.serial = serial;
    }
    return it.value();
}

QList<HubSnapshot> ServerCore::hubs() const
{
    QList<HubSnapshot> list;
    for (auto it = m_hubs.cbegin(); it != m_hubs.cend(); ++it)
        list.append(hub(it.key()));
    return list;
}

HubSnapshot ServerCore::hub(qint64 serial) const
{
    auto it = m_hubs.find(serial);
    if (it == m_hubs.end())
        return HubSnapshot();
    HubSnapshot snapshot = it->snapshot;
    snapshot.pendingEvents = int(it->pending.size());
    return snapshot;
}

QVariantMap ServerCore::deviceInfo(quint32 deviceId) const
{
    const LearnerState state = m_learners.value(deviceId);
    return { { DeviceId, deviceId }, { Name, state.name },
        { QStringLiteral("Product"), state.learner.product },
        { QStringLiteral("Version"), state.learner.version }, { QStringLiteral("Online"), true },
        { QStringLiteral("Subscribed"), true } };
}

// Beacon entries.

void ServerCore::queue(qint64 serial, const QVariant& entry)
{
    hubFor(serial).pending.append(entry);
}

void ServerCore::queueSignal(
    qint64 serial, const QString& signal, const QString& sourceHash, const QVariant& value)
{
    queue(serial,
        QVariantMap { { QStringLiteral("SourceHash"), sourceHash },
            { QStringLiteral("Signal"), signal }, { QStringLiteral("Value"), value } });
}

void ServerCore::queueBad(qint64 serial, BadBeaconEntry kind, quint32 deviceId)
{
    const QString hash = hubHash(serial);
    const QString registered = QStringLiteral("DeviceRegistered");
    QVariantMap entry { { QStringLiteral("SourceHash"), hash },
        { QStringLiteral("Signal"), registered }, { QStringLiteral("Value"), deviceId } };
    switch (kind) {
    case BadBeaconEntry::MissingSignal:
        entry.remove(QStringLiteral("Signal"));
        break;
    case BadBeaconEntry::MissingValue:
        entry.remove(QStringLiteral("Value"));
        break;
    case BadBeaconEntry::MissingSourceHash:
        entry.remove(QStringLiteral("SourceHash"));
        entry.insert(QStringLiteral("Signal"), QStringLiteral("DeviceResponse"));
        break;
    case BadBeaconEntry::TextId:
        entry.insert(QStringLiteral("Value"), QStringLiteral("learner"));
        break;
    case BadBeaconEntry::SixtyFourBitId:
        entry.insert(QStringLiteral("Value"), qint64(4294967296LL) + deviceId);
        break;
    case BadBeaconEntry::ZeroId:
        entry.insert(QStringLiteral("Value"), 0);
        break;
    case BadBeaconEntry::NegativeId:
        entry.insert(QStringLiteral("Value"), -5);
        break;
    case BadBeaconEntry::UnknownSignal:
        entry.insert(QStringLiteral("Signal"), QStringLiteral("DeviceExploded"));
        break;
    case BadBeaconEntry::NotAnObject:
        queue(serial, QStringLiteral("DeviceRegistered"));
        return;
    case BadBeaconEntry::ExtraMembers:
        entry.insert(QStringLiteral("Colour"), QStringLiteral("blue"));
        entry.insert(QStringLiteral("Weight"), 3);
        break;
    }
    queue(serial, entry);
}

// Learners' actions.

void ServerCore::join(qint64 serial, quint32 deviceId)
{
    // A device belongs to one hub at a time.
    for (auto it = m_hubs.begin(); it != m_hubs.end(); ++it) {
        if (it.key() != serial)
            it->snapshot.devices.removeAll(deviceId);
    }
    HubState& hub = hubFor(serial);
    if (!hub.snapshot.devices.contains(deviceId))
        hub.snapshot.devices.append(deviceId);
    queueSignal(serial, QStringLiteral("DeviceRegistered"), hubHash(serial), deviceId);
}

void ServerCore::answer(qint64 serial, quint32 deviceId, const QString& text, int generation)
{
    HubState& hub = hubFor(serial);
    if (generation >= 0 && generation != hub.sessionGeneration)
        return; // the session ended meanwhile
    const QVariantMap question = hub.snapshot.questions.value(deviceId);
    const int questionNumber = int(number(question.value(
        QStringLiteral("AssessmentQuestionID"), question.value(QStringLiteral("QuestionNumber")))));
    const QString type = question.value(QuestionType).toString();
    const LearnerState* state = learner(deviceId);
    const int seconds = state ? state->learner.answerDelayMs / 1000 : 0;
    static const QStringList types
        = { QStringLiteral("MultipleChoice"), QStringLiteral("MultipleResponse"),
              QStringLiteral("TrueFalse"), QStringLiteral("ScaleScore"), QStringLiteral("Gridded"),
              QStringLiteral("ShortAnswerWithOptions"), QStringLiteral("Equation"),
              QStringLiteral("SortAndOrder") };
    hub.snapshot.responses.insert(deviceId,
        { { QStringLiteral("QuestionID"), questionNumber }, { QStringLiteral("Answer"), text },
            { QStringLiteral("AnswerType"), int(types.indexOf(type)) + 1 },
            { QStringLiteral("AnswerTypeString"), type },
            { QStringLiteral("MathFormat"),
                type == QStringLiteral("Equation") ? QStringLiteral("LaTeX") : QString() },
            { QStringLiteral("SecondsTaken"), seconds },
            { QStringLiteral("StartSecondsOffset"), 0 } });
    queueSignal(serial, QStringLiteral("DeviceResponse"), deviceHash(deviceId), questionNumber);

    // In a self-paced test the learner goes on to the next question.
    if (!hub.snapshot.sessionRunning || questionNumber <= 0)
        return;
    const int first = parameter(hub, deviceId, QStringLiteral("StartingQuestionNumber"), 1);
    const int total = parameter(hub, deviceId, QStringLiteral("TotalQuestions"), 1);
    if (questionNumber + 1 < first + total)
        requestQuestion(serial, deviceId, questionNumber + 1);
}

void ServerCore::rename(qint64 serial, quint32 deviceId, const QString& name)
{
    if (LearnerState* state = learner(deviceId))
        state->name = name;
    queueSignal(serial, QStringLiteral("NameChangeSignal"), hubHash(serial), deviceId);
}

void ServerCore::requestQuestion(qint64 serial, quint32 deviceId, int questionNumber)
{
    queueSignal(serial, QStringLiteral("QuestionRequest"), deviceHash(deviceId), questionNumber);
}

int ServerCore::parameter(
    const HubState& hub, quint32 deviceId, const QString& name, int fallback) const
{
    const QVariantMap own = hub.snapshot.deviceSessionParameters.value(deviceId);
    const QVariant value
        = own.contains(name) ? own.value(name) : hub.snapshot.sessionParameters.value(name);
    const qint64 n = number(value);
    return n > 0 ? int(n) : fallback;
}

QString ServerCore::answerFor(const Learner& learner, const QVariantMap& question) const
{
    const int questionNumber = int(number(question.value(QStringLiteral("QuestionNumber"))));
    if (learner.answersByQuestion.contains(questionNumber))
        return learner.answersByQuestion.value(questionNumber);
    const QString type = question.value(QuestionType).toString();
    if (learner.answersByType.contains(type))
        return learner.answersByType.value(type);
    const QStringList labels = ordinals(question);
    const QVariantList responses = question.value(PossibleResponses).toList();
    if (type == QStringLiteral("MultipleResponse"))
        return QStringList(labels.mid(0, 2)).join(QLatin1Char(','));
    if (type == QStringLiteral("TrueFalse"))
        return responses.isEmpty()
            ? QString()
            : responses.first().toMap().value(QStringLiteral("AnswerText")).toString();
    if (type == QStringLiteral("Gridded"))
        return QStringLiteral("42");
    if (type == QStringLiteral("ShortAnswerWithOptions"))
        return QStringLiteral("hello");
    if (type == QStringLiteral("Equation"))
        return QStringLiteral("x+1");
    if (type == QStringLiteral("SortAndOrder")) {
        QStringList reversed;
        for (auto it = labels.crbegin(); it != labels.crend(); ++it)
            reversed.append(*it);
        return reversed.join(QLatin1Char(','));
    }
    return labels.value(0); // MultipleChoice, ScaleScore and anything else
}

void ServerCore::startRegistration(HubState& hub)
{
    const int generation = ++hub.registrationGeneration;
    const qint64 serial = hub.snapshot.serial;
    for (quint32 id : std::as_const(m_learnerOrder)) {
        const Learner& learner = m_learners[id].learner;
        if (!learner.joins)
            continue;
        if (hub.snapshot.devices.contains(id) && !hub.snapshot.includeExistingDevices)
            continue;
        QTimer::singleShot(learner.joinDelayMs, m_timers, [this, serial, id, generation] {
            const HubState& now = hubFor(serial);
            if (now.registrationGeneration == generation && now.snapshot.registrationOpen)
                join(serial, id);
        });
    }
}

void ServerCore::startSession(HubState& hub)
{
    const int generation = ++hub.sessionGeneration;
    hub.snapshot.sessionRunning = true;
    hub.snapshot.deviceSessionParameters.clear();
    hub.snapshot.questions.clear();
    hub.snapshot.responses.clear();
    hub.askedThisSession.clear();
    for (quint32 id : std::as_const(hub.snapshot.devices)) {
        if (const LearnerState* state = learner(id); state && !state->learner.silent)
            scheduleFirstRequest(
                hub.snapshot.serial, id, generation, state->learner.requestDelayMs);
    }
}

// A learner in a self-paced test asks for its first question when none has come by itself.
void ServerCore::scheduleFirstRequest(qint64 serial, quint32 deviceId, int generation, int delay)
{
    QTimer::singleShot(delay, m_timers, [this, serial, deviceId, generation] {
        HubState& hub = hubFor(serial);
        if (hub.sessionGeneration != generation || !hub.snapshot.sessionRunning
            || hub.askedThisSession.contains(deviceId))
            return;
        requestQuestion(serial, deviceId,
            parameter(hub, deviceId, QStringLiteral("StartingQuestionNumber"), 1));
    });
}

void ServerCore::questionArrived(HubState& hub, quint32 deviceId, const QVariantMap& question)
{
    hub.snapshot.questions.insert(deviceId, question);
    hub.askedThisSession.insert(deviceId);
    const LearnerState* state = learner(deviceId);
    if (!state || state->learner.silent)
        return;
    const qint64 serial = hub.snapshot.serial;
    const int generation = hub.sessionGeneration;
    const QString text = answerFor(state->learner, question);
    QTimer::singleShot(state->learner.answerDelayMs, m_timers,
        [this, serial, deviceId, text, generation, question] {
            // Only the question still on the device's screen is answered.
            if (hubFor(serial).snapshot.questions.value(deviceId) == question)
                answer(serial, deviceId, text, generation);
        });
}

void ServerCore::nameByLearner(qint64 serial, quint32 deviceId, int delay)
{
    QTimer::singleShot(delay, m_timers, [this, serial, deviceId] {
        const LearnerState* state = learner(deviceId);
        if (!state || state->learner.chosenName.isEmpty())
            return;
        QString name = state->learner.chosenName;
        const QVariantMap options = hubFor(serial).snapshot.namingOptions.value(deviceId);
        const int maxLength = int(number(options.value(QStringLiteral("MaxLength"))));
        if (maxLength > 0)
            name = name.left(maxLength);
        rename(serial, deviceId, name);
    });
}

// Requests.

HttpReply ServerCore::faultReply(const Fault& fault) const
{
    switch (fault.kind) {
    case Fault::ErrorReply:
        return { 200,
            errorBody(
                fault.error.isValid() ? fault.error : QVariant(errorMap(Error_Refused, "refused"))),
            false };
    case Fault::Http500:
        return { 500, errorBody(errorMap(Error_Refused, "internal error")), false };
    case Fault::BadJson:
        return { 200, QByteArray("{\"result\": tru"), false };
    case Fault::NonObjectBody:
        return { 200, QByteArray("[1, 2, 3]"), false };
    case Fault::ReplaceResult:
        return { 200, resultBody(fault.result), false };
    case Fault::RawBody:
        return { 200, fault.body, false };
    case Fault::OversizeBody: {
        QByteArray body = "{\"result\": \"";
        body += QByteArray(OversizeBodyBytes - body.size() - 2, 'x');
        body += "\"}";
        return { 200, body, false };
    }
    case Fault::CloseConnection:
        return { 0, QByteArray(), true };
    case Fault::None:
    case Fault::NoReply:
        break;
    }
    return {};
}

ServerCore::Answer ServerCore::respond(RecordedRequest& request)
{
    request.sequence = ++m_sequence;
    requests.append(request);

    Answer answer;
    Fault fault;
    auto it = faults.find(request.method);
    if (it == faults.end())
        it = faults.find(QLatin1String(AnyMethod));
    if (it != faults.end()) {
        fault = it.value();
        if (it->times > 0 && --it->times == 0)
            faults.erase(it);
    }
    answer.delayMs = replyDelay + fault.delayMs;
    if (fault.kind == Fault::NoReply) {
        answer.send = false;
    } else if (fault.kind != Fault::None) {
        answer.reply = faultReply(fault); // the call is not carried out
    } else if (requireCookie && m_cookieSet && !request.hasSessionCookie) {
        answer.reply = { 200, errorBody(errorMap(Error_NoCookie, "no session cookie")), false };
    } else if (!request.validJson) {
        answer.reply = { 400, errorBody(errorMap(Error_BadRequest, "not a JSON object")), false };
    } else {
        QVariant result;
        QVariantMap error;
        call(request.method, request.parameters, result, error);
        answer.reply = { 200, error.isEmpty() ? resultBody(result) : errorBody(error), false };
    }
    m_cookieSet = m_cookieSet || answer.send;
    return answer;
}

void ServerCore::handle(RecordedRequest& request, QPointer<QTcpSocket> socket)
{
    const Answer answer = respond(request);
    if (!answer.send)
        return;
    if (answer.delayMs <= 0) {
        m_front->send(socket, answer.reply);
        return;
    }
    QTimer::singleShot(answer.delayMs, m_timers, [this, socket, reply = answer.reply] {
        if (m_front)
            m_front->send(socket, reply);
    });
}

void ServerCore::call(
    const QString& method, const QVariantMap& parameters, QVariant& result, QVariantMap& error)
{
    const qint64 serial = number(parameters.value(Id));
    // Device IDs are 32-bit and never 0; anything else names no device.
    const qint64 device = number(parameters.value(DeviceId));
    const quint32 deviceId = device > 0 && device <= 0xFFFFFFFFLL ? quint32(device) : 0;
    result = true;

    if (method == QLatin1String(BeaconMethod)) {
        const QString hash = parameters.value(QStringLiteral("hash")).toString();
        bool ok = false;
        const qint64 beaconSerial
            = hash.startsWith(HubHashPrefix) ? hash.mid(HubHashPrefix.size()).toLongLong(&ok) : 0;
        if (!ok) {
            error = errorMap(Error_BadHash, "unknown hash");
            return;
        }
        HubState& hub = hubFor(beaconSerial);
        ++hub.snapshot.beaconPolls;
        hub.snapshot.eventsHandedOut += int(hub.pending.size());
        result = hub.pending;
        hub.pending.clear();
        return;
    }
    if (!method.startsWith(QLatin1String(HubMethodPrefix))) {
        error = errorMap(Error_UnknownMethod, "unknown method");
        return;
    }
    const QString name = method.mid(int(qstrlen(HubMethodPrefix)));
    HubState& hub = hubFor(serial);
    HubSnapshot& snapshot = hub.snapshot;
    const bool knownDevice = m_learners.contains(deviceId);
    auto needDevice = [&] {
        if (!knownDevice)
            error = errorMap(Error_UnknownDevice, "unknown device");
        return knownDevice;
    };

    if (name == QLatin1String("getServerID")) {
        result = serverId;
    } else if (name == QLatin1String("generateSerialNumber")) {
        result = nextSerial++;
    } else if (name == QLatin1String("setVersionInfo")) {
        snapshot.product = parameters.value(QStringLiteral("Product")).toString();
        snapshot.version = parameters.value(QStringLiteral("Version")).toString();
    } else if (name == QLatin1String("setHubName")) {
        snapshot.name = parameters.value(Name).toString();
    } else if (name == QLatin1String("checkOutPin")) {
        QString pin;
        for (int tried = 0; tried < pinPool.size() && pin.isEmpty(); ++tried) {
            const QString candidate = pinPool.at(m_nextPin++ % pinPool.size());
            if (!m_checkedOut.contains(candidate))
                pin = candidate;
        }
        if (pin.isEmpty()) {
            error = errorMap(Error_NoFreePin, "no free PIN");
            return;
        }
        m_checkedOut.append(pin);
        bool digits = false;
        const qint64 asNumber = pin.toLongLong(&digits);
        result = pinAsNumber && digits ? QVariant(asNumber) : QVariant(pin);
    } else if (name == QLatin1String("releasePin")) {
        result = m_checkedOut.removeAll(pinText(parameters.value(Pin))) > 0;
    } else if (name == QLatin1String("startRegistrationSession")) {
        const QString pin = pinText(parameters.value(Pin));
        if (!m_checkedOut.contains(pin)) {
            error = errorMap(Error_UnknownPin, "PIN not checked out");
            return;
        }
        snapshot.registrationOpen = true;
        snapshot.registrationPin = pin;
        snapshot.includeExistingDevices
            = parameters.value(QStringLiteral("IncludeExistingDevices")).toBool();
        startRegistration(hub);
    } else if (name == QLatin1String("endRegistrationSession")) {
        snapshot.registrationOpen = false;
        ++hub.registrationGeneration;
    } else if (name == QLatin1String("resetHub")) {
        snapshot.devices.clear();
        snapshot.sessionRunning = false;
        ++hub.sessionGeneration;
    } else if (name == QLatin1String("changeDeviceName")) {
        if (needDevice())
            m_learners[deviceId].name = parameters.value(Name).toString();
    } else if (name == QLatin1String("changeDeviceNameLimited")) {
        if (!needDevice())
            return;
        LearnerState& state = m_learners[deviceId];
        state.name = parameters.value(Name).toString();
        snapshot.namingOptions.insert(
            deviceId, parameters.value(QStringLiteral("Options")).toMap());
        nameByLearner(serial, deviceId, state.learner.nameDelayMs);
    } else if (name == QLatin1String("startSessionAllDevices")) {
        snapshot.sessionParameters = parameters.value(SessionParameters).toMap();
        startSession(hub);
    } else if (name == QLatin1String("startSessionForDevice")) {
        if (needDevice())
            snapshot.deviceSessionParameters.insert(
                deviceId, parameters.value(SessionParameters).toMap());
    } else if (name == QLatin1String("endSessionAllDevices")) {
        snapshot.sessionRunning = false;
        ++hub.sessionGeneration;
    } else if (name == QLatin1String("getDeviceList")) {
        QVariantList list;
        for (quint32 id : std::as_const(snapshot.devices))
            list.append(deviceInfo(id));
        result = list;
    } else if (name == QLatin1String("getDeviceInfo")) {
        if (needDevice())
            result = deviceInfo(deviceId);
    } else if (name == QLatin1String("getQuestionResponse")) {
        if (!snapshot.responses.contains(deviceId)) {
            error = errorMap(Error_NoResponse, "no response");
            return;
        }
        result = snapshot.responses.value(deviceId);
    } else if (name == QLatin1String("sendQuestion")) {
        if (needDevice())
            questionArrived(hub, deviceId, parameters.value(QStringLiteral("Question")).toMap());
    } else if (name == QLatin1String("sendMessage") || name == QLatin1String("sendMessageMeta")) {
        if (needDevice())
            snapshot.messages[deviceId].append(parameters);
    } else if (name == QLatin1String("removeDevice")) {
        if (snapshot.devices.removeAll(deviceId) == 0)
            error = errorMap(Error_UnknownDevice, "device not on this hub");
    } else {
        error = errorMap(Error_UnknownMethod, "unknown method");
    }
}

} // namespace ClassroomServer
