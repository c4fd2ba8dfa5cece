#pragma once

// Remote calls to the classroom server: an entity posts its method path and parameters as one
// JSON object to "<base URL>/rpc/1.0/json".

#include "adapter.h"

#include <QtCore/QHash>
#include <QtCore/QObject>
#include <QtCore/QPointer>
#include <QtCore/QString>
#include <QtCore/QVariant>

#include <atomic>

namespace Tavio {

class Entity : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString method READ method WRITE setMethod)
    Q_PROPERTY(QVariantMap parameters READ parameters WRITE setParameters)
public:
    explicit Entity(Adapter* adapter, QObject* parent = nullptr);
    ~Entity() override;

    QString method() const { return m_method; }
    void setMethod(const QString& method) { m_method = method; }
    QVariantMap parameters() const { return m_parameters; }
    void setParameters(const QVariantMap& parameters) { m_parameters = parameters; }
    void setParameter(const QString& name, const QVariant& value)
    {
        m_parameters.insert(name, value);
    }
    Adapter* adapter() const { return m_adapter; }
    int requestNumber() const { return m_requestNumber; }
    bool busy() const { return m_busy; }

    // Posts the call with the current parameters, which are then cleared. A "File" parameter is
    // taken out and sent as an upload of that file.
    QNetworkReply* call(const QString& method, QObject* receiver, const char* successSlot,
        const char* failureSlot, const QVariant& context = QVariant());
    // The JSON body of the call as it would be posted now.
    QString body() const;

private:
    Adapter* m_adapter;
    QString m_method;
    QVariantMap m_parameters;
    int m_requestNumber = 0;
    bool m_busy = false;
    static std::atomic<int> s_requestCounter;
};

// An entity that posts every call with itself as receiver and hands the caller's success slot
// the reply's "result" and its failure slot the whole reply map. Each caller's receiver and
// slots are kept per request, so several calls may be in flight at once.
class DocumentEntityBase : public Entity
{
    Q_OBJECT
public:
    // The value of every call: the record's integer identifier ("id").
    qint64 recordId() const { return m_recordId; }
    void setRecordId(qint64 id) { m_recordId = id; }

    // Posts `method` with the parameters given and "id"; the reply goes to the handler slot
    // `handlerSlot` of this entity and from there to the caller.
    QNetworkReply* invoke(const QString& method, const QVariantMap& parameters,
        const char* handlerSlot, QObject* receiver, const char* successSlot,
        const char* failureSlot, const QVariant& context = QVariant());

public Q_SLOTS:
    void onFailure(QNetworkReply* reply, QVariantMap error);
    void onGet(QNetworkReply* reply, QVariantMap json);
    void onPut(QNetworkReply* reply, QVariantMap json);
    void onDelete(QNetworkReply* reply, QVariantMap json);
    void onCount(QNetworkReply* reply, QVariantMap json);
    void onDiscover(QNetworkReply* reply, QVariantMap json);

protected:
    explicit DocumentEntityBase(Adapter* adapter, QObject* parent = nullptr);
    // Hands the reply's "result" to the caller's success slot.
    void forwardResult(QNetworkReply* reply, const QVariantMap& json);
    void forwardWhole(QNetworkReply* reply, const QVariantMap& json, bool success);

private:
    struct Caller
    {
        QPointer<QObject> receiver;
        QByteArray successSlot;
        QByteArray failureSlot;
    };
    bool takeCaller(QNetworkReply* reply, Caller* caller);

    qint64 m_recordId = 0;
    QHash<QNetworkReply*, Caller> m_callers;
};

template <typename T>
class DocumentEntity : public DocumentEntityBase
{
public:
    using RecordType = T;
    explicit DocumentEntity(Adapter* adapter, QObject* parent = nullptr)
        : DocumentEntityBase(adapter, parent)
    {
    }
};

} // namespace Tavio
