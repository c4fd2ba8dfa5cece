#include "cloudservice.h"
#include "threadtasks.h"

#include <leaksuppressions.h>

#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QPointer>
#include <QtCore/QThread>
#include <QtCore/QTimer>
#include <QtCore/QUrlQuery>
#include <QtCore/QUuid>
#include <QtHttpServer/QAbstractHttpServer>
#include <QtHttpServer/QHttpServerRequest>
#include <QtHttpServer/QHttpServerResponder>
#include <QtNetwork/QTcpSocket>
#include <QtWebSockets/QWebSocket>
#include <QtWebSockets/QWebSocketServer>

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace CloudService {

namespace {
// A list handed to a caller on another thread shares nothing with the service's own: built
// element by element while the caller holds the lock, so the service's later appends never touch
// a buffer the caller is still reading.
template <typename T>
QList<T> unsharedCopy(const QList<T>& list)
{
    QList<T> copy;
    copy.reserve(list.size());
    for (const T& item : list)
        copy.append(item);
    return copy;
}

const QString SocketPath = QStringLiteral("/collab");
const QString LatexStart = QStringLiteral("<span class=\"mathquill-embedded-latex\">");
const QString LatexEnd = QStringLiteral("</span>");
// Presenter frames may carry inline images; anything longer closes the socket.
constexpr quint64 MaxPresenterFrame = 16 * 1024 * 1024;
constexpr int ClassCodeDigits = 900; // "TS100" to "TS999"

QString newToken() { return QUuid::createUuid().toString(QUuid::WithoutBraces); }

QByteArray toJson(const QVariantMap& members)
{
    return QJsonDocument(QJsonObject::fromVariantMap(members)).toJson(QJsonDocument::Compact);
}

QVariantMap fromJson(const QByteArray& bytes)
{
    const QJsonDocument document = QJsonDocument::fromJson(bytes);
    return document.isObject() ? document.object().toVariantMap() : QVariantMap();
}

QString methodName(QHttpServerRequest::Method method)
{
    switch (method) {
    case QHttpServerRequest::Method::Get:
        return QStringLiteral("GET");
    case QHttpServerRequest::Method::Post:
        return QStringLiteral("POST");
    case QHttpServerRequest::Method::Put:
        return QStringLiteral("PUT");
    case QHttpServerRequest::Method::Delete:
        return QStringLiteral("DELETE");
    default:
        return QStringLiteral("OTHER");
    }
}
} // namespace

struct Account
{
    QString password;
    QString classCode;
};

// State shared between the callers' threads and the service's; every member under `mutex`.
struct ServiceState
{
    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    quint16 port = 0;
    quint16 socketPort = 0;
    QMap<QString, Account> accounts;
    int accountsMade = 0;
    QMap<QString, QString> tokens; // access token -> user
    QString sessionUser;
    QString sessionId;
    bool presenterConnected = false;
    QList<LearnerState> learners;
    QMap<QString, int> questionOf; // learner token -> number of the last question sent
    QMap<QString, QString> refusals; // path ("" = every path) -> reason
    QMap<QString, int> delays; // path ("" = every path) -> ms
    QMap<QString, int> drops; // path ("" = every path) -> calls still to drop (-1: all)
    int eventDelay = 0;
    QVariantMap currentPoll;
    bool pollRunning = false;
    QList<RecordedCall> calls;
    QList<Resource> resources;

    // Work handed to the service's thread.
    ReferenceServers::ThreadTasks tasks;

    int learnerIndex(const QString& token) const
    {
        for (int i = 0; i < learners.size(); ++i)
            if (learners.at(i).token == token)
                return i;
        return -1;
    }
    void record(RecordedCall call)
    {
        call.sequence = int(calls.size()) + 1;
        calls.append(call);
        changed.notify_all();
    }
};

class HttpServer;

// Lives on the service's thread: the HTTP server and the presenter's socket.
class ServiceWorker : public QObject
{
    Q_OBJECT
public:
    explicit ServiceWorker(std::shared_ptr<ServiceState> state)
        : m_state(std::move(state))
    {
    }

    // Runs the work posted to this thread, oldest first.
    Q_INVOKABLE void drain() { m_state->tasks.drain(); }

    bool listen(quint16 port);
    void shutDown();
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket);
    void acceptSockets();
    bool sendFrame(const QByteArray& bytes);
    // Sends now or, with an event delay, later; true when a presenter is there now.
    bool sendEvent(const QVariantMap& frame);
    void closePresenter(bool abort);

private:
    struct Reply
    {
        int status = 200;
        QVariantMap body;
    };
    Reply dispatch(const QString& method, const QString& path, const QUrlQuery& query,
        const QVariantMap& body, const QByteArray& raw, const QString& user);
    Reply signIn(const QString& user);
    void presenterFrame(const QByteArray& bytes);
    void presenterGone(QWebSocket* socket);

    std::shared_ptr<ServiceState> m_state;
    HttpServer* m_server = nullptr;
    QWebSocketServer* m_sockets = nullptr; // the collaboration sockets, on a port of their own
    QPointer<QWebSocket> m_presenter;
};

class HttpServer : public QAbstractHttpServer
{
public:
    explicit HttpServer(ServiceWorker* worker)
        : m_worker(worker)
    {
    }

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override
    {
        return m_worker->handleRequest(request, socket);
    }
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override
    {
        makeResponder(request, socket).write(QHttpServerResponder::StatusCode::NotFound);
    }

public:
    static void respond(
        const QHttpServerRequest& request, QTcpSocket* socket, int status, const QVariantMap& body)
    {
        makeResponder(request, socket)
            .write(QJsonDocument(QJsonObject::fromVariantMap(body)),
                QHttpServerResponder::StatusCode(status));
    }

private:
    ServiceWorker* m_worker;
};

bool ServiceWorker::listen(quint16 port)
{
    m_server = new HttpServer(this);
    m_server->setParent(this);
    m_sockets = new QWebSocketServer(
        QStringLiteral("cloudservice"), QWebSocketServer::NonSecureMode, this);
    connect(m_sockets, &QWebSocketServer::newConnection, this, &ServiceWorker::acceptSockets);
    const quint16 bound = m_server->listen(QHostAddress(QHostAddress::LocalHost), port);
    const bool socketsBound = m_sockets->listen(QHostAddress(QHostAddress::LocalHost), 0);
    std::lock_guard<std::mutex> lock(m_state->mutex);
    m_state->port = bound;
    m_state->socketPort = socketsBound ? m_sockets->serverPort() : 0;
    return bound != 0 && socketsBound;
}

void ServiceWorker::shutDown()
{
    closePresenter(true);
    delete m_server;
    m_server = nullptr;
    delete m_sockets;
    m_sockets = nullptr;
}

bool ServiceWorker::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket)
{
    const QString method = methodName(request.method());
    const QString path = request.url().path();
    const QByteArray raw = request.body();
    QString user;
    for (const auto& header : request.headers()) {
        if (header.first.compare("Authorization", Qt::CaseInsensitive) == 0
            && header.second.startsWith("Bearer ")) {
            std::lock_guard<std::mutex> lock(m_state->mutex);
            user = m_state->tokens.value(QString::fromUtf8(header.second.mid(7)));
        }
    }
    const QVariantMap body = fromJson(raw);
    int delay = 0;
    QString refusal;
    bool refused = false;
    bool dropped = false;
    {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        RecordedCall call;
        call.channel = QStringLiteral("http");
        call.method = method;
        call.path = path;
        call.body = body;
        call.raw = raw;
        call.user = user;
        m_state->record(call);
        delay = m_state->delays.value(path, m_state->delays.value(QString()));
        for (const QString& key : { path, QString() }) {
            const int left = m_state->drops.value(key);
            if (!dropped && left != 0) {
                dropped = true;
                if (left > 0)
                    m_state->drops.insert(key, left - 1);
            }
        }
        for (const QString& key : { path, QString() }) {
            if (!refused && m_state->refusals.contains(key)) {
                refused = true;
                refusal = m_state->refusals.value(key);
            }
        }
    }
    if (delay > 0)
        QThread::msleep(ulong(delay)); // the whole service is slow, as a busy one would be
    if (dropped) {
        socket->disconnectFromHost(); // no status line: the client sees a transport failure
        return true;
    }
    if (refused) {
        HttpServer::respond(request, socket, 403, { { QStringLiteral("error"), refusal } });
        return true;
    }
    const Reply reply = dispatch(method, path, request.query(), body, raw, user);
    HttpServer::respond(request, socket, reply.status, reply.body);
    return true;
}

ServiceWorker::Reply ServiceWorker::signIn(const QString& user)
{
    const QString token = newToken();
    m_state->tokens.insert(token, user);
    return Reply { 200,
        { { QStringLiteral("accessToken"), token }, { QStringLiteral("userName"), user } } };
}

ServiceWorker::Reply ServiceWorker::dispatch(const QString& method, const QString& path,
    const QUrlQuery& query, const QVariantMap& body, const QByteArray& raw, const QString& user)
{
    const auto text
        = [&body](const char* name) { return body.value(QLatin1String(name)).toString(); };
    const Reply badCredentials { 401,
        { { QStringLiteral("error"), QStringLiteral("Wrong user name or password") } } };
    const Reply notSignedIn { 401,
        { { QStringLiteral("error"), QStringLiteral("Not signed in") } } };
    const Reply noSession { 409,
        { { QStringLiteral("error"), QStringLiteral("No class session is running") } } };

    std::unique_lock<std::mutex> lock(m_state->mutex);
    const auto passwordMatches = [this](const QString& name, const QString& password) {
        return m_state->accounts.contains(name)
            && m_state->accounts.value(name).password == password;
    };
    if (method == QLatin1String("GET") && path == QLatin1String("/api/check"))
        return Reply { 200, { { QStringLiteral("ok"), true } } };
    if (method == QLatin1String("GET") && path.startsWith(QLatin1String("/resources/"))) {
        for (const Resource& resource : m_state->resources)
            if (path.endsWith(QLatin1Char('/') + resource.id))
                return Reply { 200, { { QStringLiteral("name"), resource.name } } };
        return Reply { 404, { { QStringLiteral("error"), QStringLiteral("No such resource") } } };
    }
    if (method != QLatin1String("POST") && method != QLatin1String("GET"))
        return Reply { 405, { { QStringLiteral("error"), QStringLiteral("Method not allowed") } } };

    if (path == QLatin1String("/api/login")) {
        if (!passwordMatches(text("user"), text("password")))
            return badCredentials;
        return signIn(text("user"));
    }
    if (path == QLatin1String("/api/login/token")) {
        if (m_state->tokens.value(text("token")) != text("user") || text("user").isEmpty())
            return badCredentials;
        return signIn(text("user"));
    }
    if (path == QLatin1String("/api/login/saml") || path == QLatin1String("/api/login/oauth")) {
        const QString name
            = path.endsWith(QLatin1String("saml")) ? text("assertion") : text("code");
        if (!m_state->accounts.contains(name))
            return badCredentials;
        Reply reply = signIn(name);
        reply.body.insert(QStringLiteral("account"), name);
        return reply;
    }
    if (path == QLatin1String("/api/token") || path == QLatin1String("/api/token/oauth")) {
        const bool oauth = path.endsWith(QLatin1String("oauth"));
        const QString name = oauth ? text("code") : text("user");
        if (oauth ? !m_state->accounts.contains(name) : !passwordMatches(name, text("password")))
            return badCredentials;
        const QString token = newToken();
        m_state->tokens.insert(token, name);
        Reply reply { 200, { { QStringLiteral("accessToken"), token } } };
        if (oauth)
            reply.body.insert(QStringLiteral("account"), name);
        return reply;
    }
    if (user.isEmpty())
        return notSignedIn;
    if (path == QLatin1String("/api/logout")) {
        for (auto it = m_state->tokens.begin(); it != m_state->tokens.end();)
            it = it.value() == user ? m_state->tokens.erase(it) : std::next(it);
        if (m_state->sessionUser == user) {
            m_state->sessionUser.clear();
            m_state->sessionId.clear();
            lock.unlock();
            closePresenter(false);
        }
        return Reply { 200, { { QStringLiteral("ok"), true } } };
    }
    if (path == QLatin1String("/api/session/start")) {
        if (!m_state->sessionUser.isEmpty() && m_state->sessionUser != user)
            return Reply {
                409,
                { { QStringLiteral("error"), QStringLiteral("Another class session is running") } }
            };
        m_state->sessionUser = user;
        m_state->sessionId = newToken();
        return Reply { 200,
            { { QStringLiteral("classCode"), m_state->accounts.value(user).classCode },
                { QStringLiteral("sessionId"), m_state->sessionId },
                { QStringLiteral("websocketUrl"),
                    QStringLiteral("ws://127.0.0.1:%1%2?session=%3")
                        .arg(m_state->socketPort)
                        .arg(SocketPath, m_state->sessionId) } } };
    }
    if (path == QLatin1String("/api/session/stop")) {
        if (m_state->sessionUser != user)
            return noSession;
        m_state->sessionUser.clear();
        m_state->sessionId.clear();
        m_state->pollRunning = false;
        lock.unlock();
        closePresenter(false);
        return Reply { 200, { { QStringLiteral("ok"), true } } };
    }
    if (path == QLatin1String("/api/session/learners")) {
        if (m_state->sessionUser != user)
            return noSession;
        QVariantList list;
        for (const LearnerState& learner : m_state->learners)
            if (learner.joined)
                list.append(QVariantMap { { QStringLiteral("token"), learner.token },
                    { QStringLiteral("name"), learner.name } });
        return Reply { 200, { { QStringLiteral("learners"), list } } };
    }
    if (path == QLatin1String("/api/resources") && method == QLatin1String("POST")) {
        Resource resource;
        resource.id = newToken();
        resource.name = query.queryItemValue(QStringLiteral("name"), QUrl::FullyDecoded);
        resource.url = QStringLiteral("http://127.0.0.1:%1/resources/%2")
                           .arg(m_state->port)
                           .arg(resource.id);
        resource.data = raw;
        m_state->resources.append(resource);
        return Reply { 200,
            { { QStringLiteral("id"), resource.id }, { QStringLiteral("url"), resource.url } } };
    }
    return Reply { 404, { { QStringLiteral("error"), QStringLiteral("No such call") } } };
}

void ServiceWorker::acceptSockets()
{
    while (m_sockets && m_sockets->hasPendingConnections()) {
        QWebSocket* socket = m_sockets->nextPendingConnection();
        socket->setParent(this);
        const QUrl url = socket->requestUrl();
        const QUrlQuery query(url);
        bool accepted = false;
        {
            std::lock_guard<std::mutex> lock(m_state->mutex);
            accepted = url.path() == SocketPath && !m_state->sessionId.isEmpty()
                && query.queryItemValue(QStringLiteral("session")) == m_state->sessionId
                && m_state->tokens.value(query.queryItemValue(QStringLiteral("access")))
                    == m_state->sessionUser;
        }
        if (!accepted) {
            socket->close(QWebSocketProtocol::CloseCodePolicyViolated);
            socket->deleteLater();
            continue;
        }
        closePresenter(true); // one presenter at a time: the newest wins
        socket->setMaxAllowedIncomingMessageSize(MaxPresenterFrame);
        connect(socket, &QWebSocket::textMessageReceived, this,
            [this](const QString& text) { presenterFrame(text.toUtf8()); });
        connect(socket, &QWebSocket::binaryMessageReceived, this,
            [this](const QByteArray& bytes) { presenterFrame(bytes); });
        connect(socket, &QWebSocket::disconnected, this, [this, socket] { presenterGone(socket); });
        m_presenter = socket;
        std::lock_guard<std::mutex> lock(m_state->mutex);
        m_state->presenterConnected = true;
        m_state->changed.notify_all();
    }
}

void ServiceWorker::presenterGone(QWebSocket* socket)
{
    socket->deleteLater();
    if (m_presenter != socket)
        return;
    m_presenter = nullptr;
    std::lock_guard<std::mutex> lock(m_state->mutex);
    m_state->presenterConnected = false;
    m_state->changed.notify_all();
}

void ServiceWorker::closePresenter(bool abort)
{
    QWebSocket* socket = m_presenter.data();
    if (!socket)
        return;
    m_presenter = nullptr;
    socket->disconnect(this);
    if (abort)
        socket->abort();
    else
        socket->close();
    socket->deleteLater();
    std::lock_guard<std::mutex> lock(m_state->mutex);
    m_state->presenterConnected = false;
    m_state->changed.notify_all();
}

void ServiceWorker::presenterFrame(const QByteArray& bytes)
{
    const QVariantMap frame = fromJson(bytes);
    const QString type = frame.value(QStringLiteral("type")).toString();
    QString removed;
    {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        RecordedCall call;
        call.channel = QStringLiteral("socket");
        call.method = QStringLiteral("frame");
        call.path = type;
        call.body = frame;
        call.raw = bytes;
        call.user = m_state->sessionUser;
        m_state->record(call);
        if (type == QLatin1String("startPoll")) {
            m_state->currentPoll = frame;
            m_state->pollRunning = true;
        } else if (type == QLatin1String("stopPoll")) {
            m_state->pollRunning = false;
        } else if (type == QLatin1String("assessmentQuestion")) {
            m_state->questionOf.insert(frame.value(QStringLiteral("token")).toString(),
                frame.value(QStringLiteral("question"))
                    .toMap()
                    .value(QStringLiteral("number"))
                    .toInt());
        } else if (type == QLatin1String("removeLearner")) {
            const int index
                = m_state->learnerIndex(frame.value(QStringLiteral("token")).toString());
            if (index >= 0 && m_state->learners.at(index).joined) {
                m_state->learners[index].joined = false;
                removed = m_state->learners.at(index).token;
            }
        }
    }
    if (!removed.isEmpty())
        sendEvent({ { QStringLiteral("type"), QStringLiteral("learnerUnregister") },
            { QStringLiteral("token"), removed } });
}

bool ServiceWorker::sendFrame(const QByteArray& bytes)
{
    if (!m_presenter)
        return false;
    m_presenter->sendTextMessage(QString::fromUtf8(bytes));
    m_presenter->flush();
    return true;
}

bool ServiceWorker::sendEvent(const QVariantMap& frame)
{
    int delay = 0;
    {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        delay = m_state->eventDelay;
    }
    if (!m_presenter)
        return false;
    const QByteArray bytes = toJson(frame);
    if (delay <= 0)
        return sendFrame(bytes);
    QTimer::singleShot(delay, this, [this, bytes] { sendFrame(bytes); });
    return true;
}

class Service::Thread : public QThread
{
};

Service::Service()
    : m_shared(std::make_shared<ServiceState>())
{
}

Service::~Service() { stop(); }

// Runs `work` on the service's thread and waits for it. That thread only runs short socket calls
// (and the delays of slowed calls), so the wait ends; `work` may refer to the caller's locals.
template <typename Work>
void Service::runOnServiceThread(Work work)
{
    if (!m_thread || !m_worker)
        return;
    if (QThread::currentThread() == m_thread.get()) {
        work();
        return;
    }
    m_shared->tasks.run(
        work, [this] { QMetaObject::invokeMethod(m_worker.get(), "drain", Qt::QueuedConnection); });
}

bool Service::start(quint16 port)
{
    if (m_thread)
        return this->port() != 0;
    m_thread = std::make_unique<Thread>();
    m_worker = std::make_unique<ServiceWorker>(m_shared);
    m_worker->moveToThread(m_thread.get());
    m_thread->start();
    bool ok = false;
    runOnServiceThread([&] { ok = m_worker->listen(port); });
    if (!ok)
        stop();
    return ok;
}

void Service::stop()
{
    if (!m_thread)
        return;
    runOnServiceThread([this] { m_worker->shutDown(); });
    m_thread->quit();
    m_thread->wait();
    m_worker.reset();
    m_thread.reset();
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    m_shared->port = 0;
    m_shared->presenterConnected = false;
}

quint16 Service::port() const
{
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    return m_shared->port;
}

QString Service::url() const { return QStringLiteral("http://127.0.0.1:%1").arg(port()); }

void Service::addAccount(const QString& user, const QString& password)
{
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    Account account;
    account.password = password;
    // Spread the codes so that two accounts never look alike: a stride prime to 900.
    account.classCode = QStringLiteral("TS%1").arg(
        100 + (m_shared->accountsMade++ * 457 + 234) % ClassCodeDigits);
    m_shared->accounts.insert(user, account);
}

QString Service::classCode(const QString& user) const
{
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    return m_shared->accounts.value(user).classCode;
}

void Service::setClassCode(const QString& user, const QString& code)
{
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    if (m_shared->accounts.contains(user))
        m_shared->accounts[user].classCode = code;
}

QString Service::sessionUser() const
{
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    return m_shared->sessionUser;
}

bool Service::sessionRunning() const { return !sessionUser().isEmpty(); }

bool Service::presenterConnected() const
{
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    return m_shared->presenterConnected;
}

bool Service::waitForPresenter(bool connected, int timeoutMs) const
{
    std::unique_lock<std::mutex> lock(m_shared->mutex);
    return m_shared->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
        [&] { return m_shared->presenterConnected == connected; });
}

void Service::addLearner(const QString& token, const QString& name)
{
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    const int index = m_shared->learnerIndex(token);
    if (index >= 0)
        m_shared->learners[index].name = name;
    else
        m_shared->learners.append(LearnerState { token, name, false });
}

bool Service::joinLearner(const QString& token)
{
    QString name;
    {
        std::lock_guard<std::mutex> lock(m_shared->mutex);
        const int index = m_shared->learnerIndex(token);
        if (index < 0)
            return false;
        m_shared->learners[index].joined = true;
        name = m_shared->learners.at(index).name;
    }
    sendRawEvent({ { QStringLiteral("type"), QStringLiteral("learnerJoin") },
        { QStringLiteral("token"), token }, { QStringLiteral("name"), name } });
    return true;
}

bool Service::leaveLearner(const QString& token)
{
    {
        std::lock_guard<std::mutex> lock(m_shared->mutex);
        const int index = m_shared->learnerIndex(token);
        if (index < 0 || !m_shared->learners.at(index).joined)
            return false;
        m_shared->learners[index].joined = false;
    }
    sendRawEvent({ { QStringLiteral("type"), QStringLiteral("learnerUnregister") },
        { QStringLiteral("token"), token } });
    return true;
}

QList<LearnerState> Service::learners() const
{
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    return unsharedCopy(m_shared->learners);
}

bool Service::answerPoll(const QString& token, const QString& response, int responseTimeMs)
{
    QString pollId;
    {
        std::lock_guard<std::mutex> lock(m_shared->mutex);
        pollId = m_shared->currentPoll.value(QStringLiteral("pollId")).toString();
    }
    return sendRawEvent({ { QStringLiteral("type"), QStringLiteral("pollResponse") },
        { QStringLiteral("token"), token }, { QStringLiteral("pollId"), pollId },
        { QStringLiteral("responseTime"), responseTimeMs },
        { QStringLiteral("response"), response } });
}

bool Service::answerPollIndexes(const QString& token, const QList<int>& indexes)
{
    QStringList parts;
    for (int index : indexes)
        parts.append(QString::number(index));
    return answerPoll(token, parts.join(QStringLiteral(", ")));
}

bool Service::answerPollTrueFalse(const QString& token, bool value)
{
    return answerPoll(token, value ? QStringLiteral("True") : QStringLiteral("False"));
}

bool Service::answerAssessment(const QString& token, const QString& optionText)
{
    int number = 0;
    {
        std::lock_guard<std::mutex> lock(m_shared->mutex);
        number = m_shared->questionOf.value(token);
    }
    return sendRawEvent({ { QStringLiteral("type"), QStringLiteral("pollResponse") },
        { QStringLiteral("token"), token },
        { QStringLiteral("pollId"), QStringLiteral("assessment-%1").arg(number) },
        { QStringLiteral("responseTime"), 1000 }, { QStringLiteral("response"), optionText } });
}

bool Service::answerAssessmentMaths(const QString& token, const QString& latex)
{
    return answerAssessment(token, LatexStart + latex + LatexEnd);
}

bool Service::requestQuestion(const QString& token, int number)
{
    return sendRawEvent({ { QStringLiteral("type"), QStringLiteral("getQuestion") },
        { QStringLiteral("token"), token }, { QStringLiteral("question"), number } });
}

QVariantMap Service::currentPoll() const
{
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    return m_shared->currentPoll;
}

bool Service::pollRunning() const
{
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    return m_shared->pollRunning;
}

void Service::refuseCalls(const QString& path, const QString& reason)
{
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    m_shared->refusals.insert(path, reason);
}

void Service::clearRefusals()
{
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    m_shared->refusals.clear();
}

void Service::slowCalls(const QString& path, int ms)
{
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    if (ms > 0)
        m_shared->delays.insert(path, ms);
    else
        m_shared->delays.remove(path);
}

void Service::dropCalls(const QString& path, int count)
{
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    if (count != 0)
        m_shared->drops.insert(path, count);
    else
        m_shared->drops.remove(path);
}

void Service::dropPresenterSocket()
{
    runOnServiceThread([this] { m_worker->closePresenter(true); });
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    m_shared->pollRunning = false;
}

void Service::endSession()
{
    runOnServiceThread([this] {
        m_worker->sendFrame(toJson({ { QStringLiteral("type"), QStringLiteral("sessionEnded") } }));
        m_worker->closePresenter(false);
    });
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    m_shared->sessionUser.clear();
    m_shared->sessionId.clear();
    m_shared->pollRunning = false;
}

bool Service::sendRawEvent(const QVariantMap& frame)
{
    bool sent = false;
    runOnServiceThread([&] { sent = m_worker->sendEvent(frame); });
    return sent;
}

bool Service::sendFrame(const QByteArray& bytes)
{
    bool sent = false;
    runOnServiceThread([&] { sent = m_worker->sendFrame(bytes); });
    return sent;
}

bool Service::sendRawFrame(const QByteArray& bytes) { return sendFrame(bytes); }

bool Service::sendInactivity(qint64 ms)
{
    return sendRawEvent(
        { { QStringLiteral("type"), QStringLiteral("inactivity") }, { QStringLiteral("ms"), ms } });
}

bool Service::sendRemoteControl(const QString& from, const QString& type, const QVariant& data)
{
    return sendRawEvent({ { QStringLiteral("type"), QStringLiteral("remoteControl") },
        { QStringLiteral("from"), from }, { QStringLiteral("messageType"), type },
        { QStringLiteral("data"), data } });
}

bool Service::sendControllerRegister(bool registered)
{
    return sendRawEvent({ { QStringLiteral("type"), QStringLiteral("controllerRegister") },
        { QStringLiteral("registered"), registered } });
}

bool Service::sendCollaborationMessage(const QVariantMap& members)
{
    QVariantMap frame = members;
    frame.insert(QStringLiteral("type"), QStringLiteral("collaboration"));
    return sendRawEvent(frame);
}

bool Service::sendUnhandledMessage(const QString& type, const QVariant& data)
{
    return sendRawEvent({ { QStringLiteral("type"), type }, { QStringLiteral("data"), data } });
}

void Service::setEventDelay(int ms)
{
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    m_shared->eventDelay = qMax(0, ms);
}

QList<RecordedCall> Service::calls() const
{
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    return unsharedCopy(m_shared->calls);
}

QList<RecordedCall> Service::callsTo(const QString& path) const
{
    QList<RecordedCall> matching;
    const QList<RecordedCall> all = calls();
    for (const RecordedCall& call : all)
        if (call.path == path)
            matching.append(call);
    return matching;
}

bool Service::waitForCall(const QString& path, int count, int timeoutMs) const
{
    std::unique_lock<std::mutex> lock(m_shared->mutex);
    return m_shared->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        int seen = 0;
        for (const RecordedCall& call : m_shared->calls)
            seen += call.path == path ? 1 : 0;
        return seen >= count;
    });
}

void Service::clearCalls()
{
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    m_shared->calls.clear();
}

QList<Resource> Service::resources() const
{
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    return unsharedCopy(m_shared->resources);
}

} // namespace CloudService

#include "cloudservice.moc"
