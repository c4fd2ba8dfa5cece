#include "adapter.h"

#include <QtCore/QEventLoop>
#include <QtCore/QFile>
#include <QtCore/QFileInfo>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QTimer>
#include <QtNetwork/QHttpMultiPart>
#include <QtNetwork/QNetworkAccessManager>
#include <QtNetwork/QNetworkCookieJar>
#include <QtNetwork/QNetworkReply>
#include <QtNetwork/QNetworkRequest>

#include <cstdio>

namespace Tavio {

namespace {
const char* const ContextProperty = "context";

QVariantMap errorMap(
    const QString& type, int code, const QString& message, const QString& description)
{
    QVariantMap error;
    error.insert(QStringLiteral("type"), type);
    error.insert(QStringLiteral("code"), code);
    error.insert(QStringLiteral("message"), message);
    error.insert(QStringLiteral("description"), description);
    return QVariantMap { { QStringLiteral("error"), error } };
}
} // namespace

Adapter::Adapter(QObject* parent)
    : QObject(parent)
    , m_manager(new QNetworkAccessManager(this))
{
    m_manager->setCookieJar(new QNetworkCookieJar(m_manager));
}

Adapter::~Adapter()
{
    // Replies still running are aborted without reaching anybody.
    const QList<QNetworkReply*> replies = m_pending.keys();
    m_pending.clear();
    for (QNetworkReply* reply : replies) {
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
}

QNetworkReply* Adapter::post(const QString& url, const QString& body, QObject* receiver,
    const char* successSlot, const char* failureSlot, const QVariant& context)
{
    QNetworkRequest request { QUrl(url) };
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    request.setTransferTimeout(m_requestTimeout);
    return track(
        m_manager->post(request, body.toUtf8()), receiver, successSlot, failureSlot, context);
}

QNetworkReply* Adapter::upload(const QString& url, const QString& body, const QString& file,
    const QString& fieldName, QObject* receiver, const char* successSlot, const char* failureSlot,
    const QVariant& context)
{
    auto* multiPart = new QHttpMultiPart(QHttpMultiPart::MixedType);
    QHttpPart rpcPart;
    rpcPart.setHeader(
        QNetworkRequest::ContentDispositionHeader, QStringLiteral("form-data; name=\"rpc_data\""));
    rpcPart.setBody(body.toUtf8());
    multiPart->append(rpcPart);

    QHttpPart filePart;
    filePart.setHeader(QNetworkRequest::ContentDispositionHeader,
        QStringLiteral("form-data; name=\"%1\" filename=\"%2\"")
            .arg(fieldName, QFileInfo(file).fileName()));
    filePart.setHeader(
        QNetworkRequest::ContentTypeHeader, QStringLiteral("application/octet-stream"));
    auto* device = new QFile(file, multiPart);
    device->open(QIODevice::ReadOnly); // a file that cannot be read goes as an empty part
    filePart.setBodyDevice(device);
    multiPart->append(filePart);

    QNetworkRequest request { QUrl(url) };
    request.setTransferTimeout(m_requestTimeout);
    QNetworkReply* reply = m_manager->post(request, multiPart);
    multiPart->setParent(reply); // the multipart body lives as long as its reply
    return track(reply, receiver, successSlot, failureSlot, context);
}

QNetworkReply* Adapter::track(QNetworkReply* reply, QObject* receiver, const char* successSlot,
    const char* failureSlot, const QVariant& context)
{
    Pending entry;
    entry.receiver = receiver;
    entry.successSlot = successSlot ? QByteArray(successSlot) : QByteArray();
    entry.failureSlot = failureSlot ? QByteArray(failureSlot) : QByteArray();
    entry.context = context;
    m_pending.insert(reply, entry);
    reply->setProperty(ContextProperty, context);
    connect(reply, &QNetworkReply::finished, this, &Adapter::onFinished);
    // A body past the limit is not read to its end: the reply is aborted at once.
    connect(reply, &QNetworkReply::downloadProgress, this,
        [this, reply](qint64 received, qint64 total) {
            if (received <= MaximumReplySize && total <= MaximumReplySize)
                return;
            auto it = m_pending.find(reply);
            if (it == m_pending.end() || it->oversize)
                return;
            it->oversize = true;
            reply->abort();
        });
    return reply;
}

QVariantMap Adapter::replyMap(
    int networkError, const QString& errorText, const QByteArray& body, bool* failed)
{
    *failed = true;
    if (networkError != 0)
        return errorMap(
            QStringLiteral("network"), networkError, QStringLiteral("connection error"), errorText);
    if (body.size() > MaximumReplySize)
        return errorMap(QStringLiteral("size"), 0, QStringLiteral("reply too large"),
            QStringLiteral("the reply body is longer than %1 bytes").arg(MaximumReplySize));
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject())
        return errorMap(QStringLiteral("parse"), int(parseError.error),
            QStringLiteral("reply is no JSON object"), parseError.errorString());
    const QVariantMap map = document.object().toVariantMap();
    const auto error = map.constFind(QStringLiteral("error"));
    *failed = error != map.constEnd() && error->isValid() && !error->isNull();
    return map;
}

// Runs on the adapter's thread.
void Adapter::onFinished()
{
    auto* reply = qobject_cast<QNetworkReply*>(sender());
    if (!reply)
        return;
    const auto it = m_pending.find(reply);
    if (it == m_pending.end())
        return;
    const Pending entry = it.value();
    m_pending.erase(it);
    reply->deleteLater();

    bool failed = true;
    QVariantMap map;
    if (entry.oversize)
        map = errorMap(QStringLiteral("size"), 0, QStringLiteral("reply too large"),
            QStringLiteral("the reply body is longer than %1 bytes").arg(MaximumReplySize));
    else if (reply->error() != QNetworkReply::NoError)
        map = replyMap(int(reply->error()), reply->errorString(), QByteArray(), &failed);
    else
        map = replyMap(0, QString(), reply->read(MaximumReplySize + 1), &failed);

    QObject* receiver = entry.receiver.data();
    if (!receiver)
        return;
    invokeSlot(receiver, failed ? entry.failureSlot : entry.successSlot, reply, map);
}

bool Adapter::invokeSlot(
    QObject* receiver, const QByteArray& slot, QNetworkReply* reply, const QVariant& value)
{
    if (!receiver || slot.isEmpty())
        return false;
    // The slot takes the value as a map when it can, else as a variant.
    const QMetaObject* meta = receiver->metaObject();
    const bool isMap = value.metaType() == QMetaType::fromType<QVariantMap>();
    if (isMap
        && meta->indexOfMethod(
               QMetaObject::normalizedSignature(slot + "(QNetworkReply*,QVariantMap)").constData())
            >= 0)
        return QMetaObject::invokeMethod(receiver, slot.constData(), Qt::DirectConnection,
            Q_ARG(QNetworkReply*, reply), Q_ARG(QVariantMap, value.toMap()));
    if (meta->indexOfMethod(
            QMetaObject::normalizedSignature(slot + "(QNetworkReply*,QVariant)").constData())
        >= 0)
        return QMetaObject::invokeMethod(receiver, slot.constData(), Qt::DirectConnection,
            Q_ARG(QNetworkReply*, reply), Q_ARG(QVariant, value));
    return false;
}

void Adapter::log(QNetworkReply*, QVariantMap json)
{
    const QByteArray text
        = QJsonDocument(QJsonObject::fromVariantMap(json)).toJson(QJsonDocument::Compact);
    std::fprintf(stdout, "Tavio.log: %s\n", text.constData());
    std::fflush(stdout);
}

// AdapterSync -------------------------------------------------------------------------------------

AdapterSync::AdapterSync(QObject* target, const char* successSlot, const char* failureSlot)
    : m_target(target)
    , m_successSlot(successSlot ? QByteArray(successSlot) : QByteArray())
    , m_failureSlot(failureSlot ? QByteArray(failureSlot) : QByteArray())
{
}

AdapterSync::~AdapterSync() = default;

bool AdapterSync::exec(int timeoutMs)
{
    if (m_done)
        return true;
    QEventLoop loop;
    connect(this, &AdapterSync::onSync, &loop, &QEventLoop::quit);
    QTimer timer;
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    timer.start(timeoutMs);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    return m_done;
}

void AdapterSync::success(QNetworkReply* reply, QVariant result)
{
    if (m_done)
        return;
    m_done = true;
    m_succeeded = true;
    Adapter::invokeSlot(m_target.data(), m_successSlot, reply, result);
    Q_EMIT onSync();
}

void AdapterSync::success(QNetworkReply* reply, QVariantMap result)
{
    success(reply, QVariant(result));
}

void AdapterSync::failure(QNetworkReply* reply, QVariantMap error)
{
    if (m_done)
        return;
    m_done = true;
    Adapter::invokeSlot(m_target.data(), m_failureSlot, reply, error);
    Q_EMIT onSync();
}

} // namespace Tavio
