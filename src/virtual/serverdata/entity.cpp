#include "entity.h"

#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QMetaProperty>
#include <QtNetwork/QNetworkReply>

namespace Tavio {

std::atomic<int> Entity::s_requestCounter { 0 };

Entity::Entity(Adapter* adapter, QObject* parent)
    : QObject(parent)
    , m_adapter(adapter)
{
}

Entity::~Entity() = default;

// Every readable property but the object's name, as one JSON object.
QString Entity::body() const
{
    QVariantMap map;
    const QMetaObject* meta = metaObject();
    for (int i = 0; i < meta->propertyCount(); ++i) {
        const QMetaProperty property = meta->property(i);
        if (!property.isReadable() || qstrcmp(property.name(), "objectName") == 0)
            continue;
        map.insert(QString::fromLatin1(property.name()), property.read(this));
    }
    return QString::fromUtf8(
        QJsonDocument(QJsonObject::fromVariantMap(map)).toJson(QJsonDocument::Compact));
}

QNetworkReply* Entity::call(const QString& method, QObject* receiver, const char* successSlot,
    const char* failureSlot, const QVariant& context)
{
    m_method = method;
    m_requestNumber = ++s_requestCounter;
    const QString url = QStringLiteral("%1/rpc/1.0/json").arg(m_adapter->baseUrl());
    m_busy = true;
    QNetworkReply* reply = nullptr;
    const auto file = m_parameters.constFind(QStringLiteral("File"));
    if (file != m_parameters.constEnd()) {
        const QString path = file->toString();
        m_parameters.remove(QStringLiteral("File"));
        reply = m_adapter->upload(
            url, body(), path, QStringLiteral("File"), receiver, successSlot, failureSlot, context);
    } else {
        reply = m_adapter->post(url, body(), receiver, successSlot, failureSlot, context);
    }
    m_parameters.clear();
    m_busy = false;
    return reply;
}

DocumentEntityBase::DocumentEntityBase(Adapter* adapter, QObject* parent)
    : Entity(adapter, parent)
{
}

QNetworkReply* DocumentEntityBase::invoke(const QString& method, const QVariantMap& parameters,
    const char* handlerSlot, QObject* receiver, const char* successSlot, const char* failureSlot,
    const QVariant& context)
{
    QVariantMap sent = parameters;
    sent.insert(QStringLiteral("id"), m_recordId);
    setParameters(sent);
    QNetworkReply* reply = call(method, this, handlerSlot, "onFailure", context);
    if (!reply)
        return nullptr;
    // The caller's request stays readable on the reply: handlers take the device from it.
    reply->setProperty("parameters", sent);
    Caller caller;
    caller.receiver = receiver;
    caller.successSlot = successSlot ? QByteArray(successSlot) : QByteArray();
    caller.failureSlot = failureSlot ? QByteArray(failureSlot) : QByteArray();
    m_callers.insert(reply, caller);
    connect(reply, &QObject::destroyed, this, [this, reply] { m_callers.remove(reply); });
    return reply;
}

bool DocumentEntityBase::takeCaller(QNetworkReply* reply, Caller* caller)
{
    const auto it = m_callers.find(reply);
    if (it == m_callers.end())
        return false;
    *caller = it.value();
    m_callers.erase(it);
    return true;
}

void DocumentEntityBase::forwardResult(QNetworkReply* reply, const QVariantMap& json)
{
    Caller caller;
    if (takeCaller(reply, &caller) && caller.receiver)
        Adapter::invokeSlot(caller.receiver.data(), caller.successSlot, reply,
            QVariant::fromValue(json.value(QStringLiteral("result"))));
}

void DocumentEntityBase::forwardWhole(QNetworkReply* reply, const QVariantMap& json, bool success)
{
    Caller caller;
    if (takeCaller(reply, &caller) && caller.receiver)
        Adapter::invokeSlot(
            caller.receiver.data(), success ? caller.successSlot : caller.failureSlot, reply, json);
}

void DocumentEntityBase::onFailure(QNetworkReply* reply, QVariantMap error)
{
    forwardWhole(reply, error, false);
}
void DocumentEntityBase::onGet(QNetworkReply* reply, QVariantMap json)
{
    forwardWhole(reply, json, true);
}
void DocumentEntityBase::onPut(QNetworkReply* reply, QVariantMap json)
{
    forwardWhole(reply, json, true);
}
void DocumentEntityBase::onDelete(QNetworkReply* reply, QVariantMap json)
{
    forwardWhole(reply, json, true);
}
void DocumentEntityBase::onCount(QNetworkReply* reply, QVariantMap json)
{
    forwardWhole(reply, json, true);
}
void DocumentEntityBase::onDiscover(QNetworkReply* reply, QVariantMap json)
{
    forwardWhole(reply, json, true);
}

} // namespace Tavio
