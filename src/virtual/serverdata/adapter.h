#pragma once

// The classroom server's transport: JSON remote calls posted over HTTP, each reply routed by
// name to a slot of the object that made the call.

#include <QtCore/QHash>
#include <QtCore/QObject>
#include <QtCore/QPointer>
#include <QtCore/QString>
#include <QtCore/QVariant>

QT_BEGIN_NAMESPACE
class QEventLoop;
class QNetworkAccessManager;
class QNetworkReply;
QT_END_NAMESPACE

namespace Tavio {

// Posts requests to the server and routes every reply, on the thread that owns the adapter, to
// the success or failure slot its caller named. The cookies the server sets go back with every
// later request. A reply whose receiver has been deleted is dropped unseen.
class Adapter : public QObject
{
    Q_OBJECT
public:
    // Milliseconds a request may take before it fails as a network error.
    static constexpr int DefaultRequestTimeout = 6000;
    // Largest reply body read; a longer one is aborted and fails as type "size".
    static constexpr qint64 MaximumReplySize = 4 * 1024 * 1024;

    explicit Adapter(QObject* parent = nullptr);
    ~Adapter() override;

    QString baseUrl() const { return m_baseUrl; }
    void setBaseUrl(const QString& url) { m_baseUrl = url; }
    int requestTimeout() const { return m_requestTimeout; }
    void setRequestTimeout(int milliseconds) { m_requestTimeout = milliseconds; }

    // Posts a JSON body. The slots take (QNetworkReply*, QVariantMap) or, for success,
    // (QNetworkReply*, QVariant). `context` is kept with the request and set on the reply as its
    // "context" property.
    QNetworkReply* post(const QString& url, const QString& body, QObject* receiver,
        const char* successSlot, const char* failureSlot, const QVariant& context = QVariant());
    // Posts a multipart body: the JSON body as part "rpc_data", then the file's contents as part
    // `fieldName`.
    QNetworkReply* upload(const QString& url, const QString& body, const QString& file,
        const QString& fieldName, QObject* receiver, const char* successSlot,
        const char* failureSlot, const QVariant& context = QVariant());

    // How many requests wait for their reply.
    int pendingCount() const { return int(m_pending.size()); }

    // Invokes `slot` of `receiver` by name with (reply, value): first with the value as a
    // QVariantMap, then as a QVariant. False when the receiver has no such slot.
    static bool invokeSlot(
        QObject* receiver, const QByteArray& slot, QNetworkReply* reply, const QVariant& value);
    // What a finished reply carries: the map handed to the failure slot (its "error" set) or
    // the body's map for the success slot. Bodies that are no JSON object fail as type "parse".
    static QVariantMap replyMap(
        int networkError, const QString& errorText, const QByteArray& body, bool* failed);

public Q_SLOTS:
    void onFinished();
    // Writes the map to standard output as "Tavio.log: <json>".
    void log(QNetworkReply* reply, QVariantMap json);

private:
    struct Pending
    {
        QPointer<QObject> receiver;
        QByteArray successSlot;
        QByteArray failureSlot;
        QVariant context;
        bool oversize = false;
    };
    QNetworkReply* track(QNetworkReply* reply, QObject* receiver, const char* successSlot,
        const char* failureSlot, const QVariant& context);

    QString m_baseUrl;
    int m_requestTimeout = DefaultRequestTimeout;
    QNetworkAccessManager* m_manager;
    QHash<QNetworkReply*, Pending> m_pending;
};

// Turns one call into a blocking call: pass the object as the call's receiver with the slot
// names "success" and "failure", then run exec(). Its slots forward the reply to the target's
// named slot and end the local event loop. A call that gets no reply within the time-out ends
// the loop too, and its late reply then reaches nobody.
class AdapterSync : public QObject
{
    Q_OBJECT
public:
    AdapterSync(QObject* target, const char* successSlot, const char* failureSlot);
    ~AdapterSync() override;

    // Runs the local event loop until a slot was reached or `timeoutMs` passed; true when a
    // reply arrived.
    bool exec(int timeoutMs);
    bool succeeded() const { return m_succeeded; }

public Q_SLOTS:
    void success(QNetworkReply* reply, QVariant result);
    void success(QNetworkReply* reply, QVariantMap result);
    void failure(QNetworkReply* reply, QVariantMap error);

Q_SIGNALS:
    void onSync();

private:
    QPointer<QObject> m_target;
    QByteArray m_successSlot;
    QByteArray m_failureSlot;
    bool m_done = false;
    bool m_succeeded = false;
};

} // namespace Tavio
