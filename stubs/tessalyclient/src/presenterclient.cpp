#include "tessaly/presenterclient.h"
#include "tessaly/presentercollab.h"

#include <QtCore/QEventLoop>
#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QTimer>
#include <QtCore/QUrlQuery>
#include <QtNetwork/QNetworkAccessManager>
#include <QtNetwork/QNetworkReply>
#include <QtNetwork/QNetworkRequest>

namespace {
// A reply body longer than this is a misbehaving service: the call fails.
constexpr qint64 MaxReplySize = 4 * 1024 * 1024;
const char VersionHeader[] = "X-Tessaly-Client-Version";
} // namespace

// What one call to the service came to.
struct CallResult
{
    bool ok = false; // a 2xx reply with a JSON object body
    QJsonObject body;
};

class PresenterClientPrivate
{
public:
    explicit PresenterClientPrivate(PresenterClient* client)
        : q(client)
    {
    }

    // Sends one request and waits for its reply in a local event loop, at most the time limit.
    // Clears the last error first; sets it to the service's reason on a refusal.
    CallResult call(const QByteArray& verb, const QUrl& url, const QByteArray& body,
        const QByteArray& contentType);
    CallResult callJson(const QByteArray& verb, const QString& path, const QVariantMap& body)
    {
        return call(verb, endpoint(path),
            body.isEmpty() ? QByteArray()
                           : QJsonDocument::fromVariant(body).toJson(QJsonDocument::Compact),
            QByteArrayLiteral("application/json"));
    }
    QUrl endpoint(const QString& path) const { return QUrl(baseUrl + path); }
    // Takes a successful sign-in reply on.
    bool signedIn(const CallResult& result);
    void closeCollaboration();

    PresenterClient* q;
    QNetworkAccessManager* manager = nullptr;
    QString serverUrl;
    QString baseUrl; // serverUrl without a trailing '/'
    QString version;
    int timeoutMs = PresenterClient::DefaultTimeoutMs;
    QString lastError;
    QString accessToken;
    QString userName;
    QString sessionCode;
    QString websocketUrl;
    QPointer<PresenterCollab> collab;
};

CallResult PresenterClientPrivate::call(
    const QByteArray& verb, const QUrl& url, const QByteArray& body, const QByteArray& contentType)
{
    lastError.clear();
    CallResult result;
    if (!url.isValid() || url.scheme().isEmpty())
        return result; // nothing to reach: a transport failure
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, contentType);
    request.setAttribute(
        QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    if (!accessToken.isEmpty())
        request.setRawHeader("Authorization", "Bearer " + accessToken.toUtf8());
    if (!version.isEmpty())
        request.setRawHeader(VersionHeader, version.toUtf8());

    QNetworkReply* reply = manager->sendCustomRequest(request, verb, body);
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    bool tooLarge = false;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(reply, &QNetworkReply::downloadProgress, &loop, [&](qint64 received, qint64) {
        if (received > MaxReplySize) {
            tooLarge = true;
            loop.quit();
        }
    });
    timer.start(timeoutMs);
    if (!reply->isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (!reply->isFinished() || tooLarge) {
        // Past the time limit (or flooded): a transport failure, so the error stays empty.
        reply->disconnect();
        reply->abort();
        reply->deleteLater();
        return result;
    }
    reply->deleteLater();
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid())
        return result; // no HTTP answer at all: refused connection, reset, ...
    const QByteArray replyBody = reply->readAll();
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(replyBody, &parseError);
    const QJsonObject object = document.isObject() ? document.object() : QJsonObject();
    const int code = status.toInt();
    if (code < 200 || code > 299) {
        lastError = object.value(QLatin1String("error")).toString();
        if (lastError.isEmpty())
            lastError = QStringLiteral("The service refused the call (HTTP %1)").arg(code);
        return result;
    }
    if (parseError.error != QJsonParseError::NoError || !document.isObject()) {
        lastError = QStringLiteral("The service sent a malformed reply");
        return result;
    }
    result.ok = true;
    result.body = object;
    return result;
}

bool PresenterClientPrivate::signedIn(const CallResult& result)
{
    if (!result.ok)
        return false;
    const QString token = result.body.value(QLatin1String("accessToken")).toString();
    const QString name = result.body.value(QLatin1String("userName")).toString();
    if (token.isEmpty() || name.isEmpty()) {
        lastError = QStringLiteral("The service sent a malformed reply");
        return false;
    }
    accessToken = token;
    userName = name;
    return true;
}

void PresenterClientPrivate::closeCollaboration()
{
    if (collab) {
        collab->close();
        collab->deleteLater();
    }
    collab = nullptr;
}

PresenterClient::PresenterClient(QObject* parent, QString serverUrl)
    : QObject(parent)
    , d(new PresenterClientPrivate(this))
{
    qRegisterMetaType<Tessaly::Learner>();
    qRegisterMetaType<RemoteControlMessage>();
    d->manager = new QNetworkAccessManager(this);
    d->serverUrl = serverUrl;
    d->baseUrl = serverUrl;
    while (d->baseUrl.endsWith(QLatin1Char('/')))
        d->baseUrl.chop(1);
}

PresenterClient::~PresenterClient()
{
    if (d->collab)
        d->collab->close();
}

QString PresenterClient::serverUrl() const { return d->serverUrl; }
void PresenterClient::setTimeoutMs(int nMs) { d->timeoutMs = qMax(1, nMs); }
int PresenterClient::timeoutMs() const { return d->timeoutMs; }
QString PresenterClient::version() const { return d->version; }
void PresenterClient::setVersion(const QString& version) { d->version = version; }

bool PresenterClient::checkServer(const QString& url, const QString& key)
{
    QString base = url.isEmpty() ? d->baseUrl : url;
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    QUrl target(base + QStringLiteral("/api/check"));
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("key"), key);
    target.setQuery(query);
    return d->call("GET", target, QByteArray(), QByteArrayLiteral("application/json")).ok;
}

bool PresenterClient::doLogin(const QString& user, const QString& password)
{
    return d->signedIn(d->callJson("POST", QStringLiteral("/api/login"),
        { { QStringLiteral("user"), user }, { QStringLiteral("password"), password } }));
}

bool PresenterClient::doLogin(const QString& user, const QString& token, const QString& deviceId)
{
    return d->signedIn(d->callJson("POST", QStringLiteral("/api/login/token"),
        { { QStringLiteral("user"), user }, { QStringLiteral("token"), token },
            { QStringLiteral("deviceId"), deviceId } }));
}

bool PresenterClient::doLoginSaml(const QString& assertion)
{
    return d->signedIn(d->callJson(
        "POST", QStringLiteral("/api/login/saml"), { { QStringLiteral("assertion"), assertion } }));
}

bool PresenterClient::doLoginWithOAuth(const QString& provider, const QString& code, QString& out)
{
    const CallResult result = d->callJson("POST", QStringLiteral("/api/login/oauth"),
        { { QStringLiteral("provider"), provider }, { QStringLiteral("code"), code } });
    if (!d->signedIn(result))
        return false;
    out = result.body.value(QLatin1String("account")).toString();
    return true;
}

bool PresenterClient::doLogout()
{
    d->lastError.clear();
    if (d->accessToken.isEmpty()) {
        d->lastError = QStringLiteral("No one is signed in");
        return false;
    }
    d->closeCollaboration();
    const bool ok = d->callJson("POST", QStringLiteral("/api/logout"), {}).ok;
    // Signed out locally whatever the service said: the token is not used again.
    d->accessToken.clear();
    d->userName.clear();
    d->sessionCode.clear();
    d->websocketUrl.clear();
    return ok;
}

QString PresenterClient::doGetAccessToken(const QString& user, const QString& password,
    const QString& deviceId, const QString& deviceName)
{
    const CallResult result = d->callJson("POST", QStringLiteral("/api/token"),
        { { QStringLiteral("user"), user }, { QStringLiteral("password"), password },
            { QStringLiteral("deviceId"), deviceId },
            { QStringLiteral("deviceName"), deviceName } });
    return result.ok ? result.body.value(QLatin1String("accessToken")).toString() : QString();
}

QString PresenterClient::doGetOAuthAccessToken(const QString& provider, const QString& code,
    const QString& deviceId, const QString& deviceName, QString& out)
{
    const CallResult result = d->callJson("POST", QStringLiteral("/api/token/oauth"),
        { { QStringLiteral("provider"), provider }, { QStringLiteral("code"), code },
            { QStringLiteral("deviceId"), deviceId },
            { QStringLiteral("deviceName"), deviceName } });
    if (!result.ok)
        return QString();
    out = result.body.value(QLatin1String("account")).toString();
    return result.body.value(QLatin1String("accessToken")).toString();
}

QString PresenterClient::doGetUserName()
{
    d->lastError.clear();
    return d->userName;
}

bool PresenterClient::doStartSession(const QString& lessonId)
{
    const CallResult result = d->callJson("POST", QStringLiteral("/api/session/start"),
        { { QStringLiteral("lessonId"),
            lessonId.isNull() ? QVariant::fromValue(nullptr) : QVariant(lessonId) } });
    if (!result.ok)
        return false;
    const QString code = result.body.value(QLatin1String("classCode")).toString();
    const QString socketUrl = result.body.value(QLatin1String("websocketUrl")).toString();
    if (code.isEmpty() || socketUrl.isEmpty()) {
        d->lastError = QStringLiteral("The service sent a malformed reply");
        return false;
    }
    d->sessionCode = code;
    d->websocketUrl = socketUrl;
    return true;
}

bool PresenterClient::doStopSession()
{
    d->closeCollaboration();
    const CallResult result = d->callJson("POST", QStringLiteral("/api/session/stop"), {});
    d->sessionCode.clear();
    d->websocketUrl.clear();
    return result.ok;
}

bool PresenterClient::startWebsocket(PresenterCollab** out)
{
    d->lastError.clear();
    d->closeCollaboration();
    if (d->websocketUrl.isEmpty()) {
        d->lastError = QStringLiteral("No class session is running");
        return false;
    }
    QUrl url(d->websocketUrl);
    QUrlQuery query(url);
    query.addQueryItem(QStringLiteral("access"), d->accessToken);
    url.setQuery(query);
    auto* collab = new PresenterCollab(this);
    if (!collab->open(url, d->timeoutMs)) {
        delete collab; // a transport failure: the error stays empty
        return false;
    }
    d->collab = collab;
    if (out)
        *out = collab;
    return true;
}

PresenterCollab* PresenterClient::collaboration() const { return d->collab.data(); }

bool PresenterClient::doGetLearners()
{
    const CallResult result = d->callJson("GET", QStringLiteral("/api/session/learners"), {});
    if (!result.ok)
        return false;
    const QJsonValue learners = result.body.value(QLatin1String("learners"));
    if (!learners.isArray()) {
        d->lastError = QStringLiteral("The service sent a malformed reply");
        return false;
    }
    QList<Tessaly::Learner> list;
    for (const QJsonValue& entry : learners.toArray()) {
        const QJsonObject learner = entry.toObject();
        const QJsonValue token = learner.value(QLatin1String("token"));
        const QJsonValue name = learner.value(QLatin1String("name"));
        if (token.isString() && name.isString())
            list.append(Tessaly::Learner(token.toString(), name.toString()));
    }
    // Each report may run host code that ends the collaboration: look it up every time.
    for (const Tessaly::Learner& learner : list) {
        if (d->collab)
            emit d->collab->learnerJoin(learner);
    }
    return true;
}

bool PresenterClient::doUploadResource(
    const QString& name, const QByteArray& data, QString* id, QString* url)
{
    QUrl target = d->endpoint(QStringLiteral("/api/resources"));
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("name"), name);
    target.setQuery(query);
    const CallResult result
        = d->call("POST", target, data, QByteArrayLiteral("application/octet-stream"));
    if (!result.ok)
        return false;
    const QString address = result.body.value(QLatin1String("url")).toString();
    if (address.isEmpty()) {
        d->lastError = QStringLiteral("The service sent a malformed reply");
        return false;
    }
    if (id)
        *id = result.body.value(QLatin1String("id")).toString();
    if (url)
        *url = address;
    return true;
}

QString PresenterClient::lastError() const { return d->lastError; }
QString PresenterClient::getLastError() const { return d->lastError; }
QString PresenterClient::sessionCode() const { return d->sessionCode; }
QString PresenterClient::getSessionCode() const { return d->sessionCode; }
bool PresenterClient::isLoggedIn() const { return !d->accessToken.isEmpty(); }
