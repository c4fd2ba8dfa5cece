#include "rondel_hub.h"

namespace Tavio {

namespace {
struct MethodEntry
{
    const char* name;
    const char* handler;
};

const MethodEntry Methods[] = {
    { "getServerID", "onGetServerID0" },
    { "generateSerialNumber", "onGenerateSerialNumber0" },
    { "setVersionInfo", "onSetVersionInfo0" },
    { "setHubName", "onSetHubName0" },
    { "checkOutPin", "onCheckOutPin0" },
    { "releasePin", "onReleasePin0" },
    { "startRegistrationSession", "onStartRegistrationSession0" },
    { "endRegistrationSession", "onEndRegistrationSession0" },
    { "resetHub", "onResetHub0" },
    { "changeDeviceName", "onChangeDeviceName0" },
    { "changeDeviceNameLimited", "onChangeDeviceNameLimited0" },
    { "startSessionAllDevices", "onStartSessionAllDevices0" },
    { "startSessionForDevice", "onStartSessionForDevice0" },
    { "endSessionAllDevices", "onEndSessionAllDevices0" },
    { "getDeviceList", "onGetDeviceList0" },
    { "getDeviceInfo", "onGetDeviceInfo0" },
    { "getQuestionResponse", "onGetQuestionResponse0" },
    { "sendQuestion", "onSendQuestion0" },
    { "sendMessage", "onSendMessage0" },
    { "sendMessageMeta", "onSendMessageMeta0" },
    { "removeDevice", "onRemoveDevice0" },
};
static_assert(
    sizeof Methods / sizeof Methods[0] == Rondel_hub::MethodCount, "one entry per method");
} // namespace

Rondel_hub::Rondel_hub(Adapter* adapter, QObject* parent)
    : DocumentEntity<Rondel_hubRecord>(adapter, parent)
{
}

QString Rondel_hub::methodPath(Method method)
{
    if (method < 0 || method >= MethodCount)
        return QString();
    return QStringLiteral("entities/rondel_hub/") + QLatin1String(Methods[method].name);
}

QNetworkReply* Rondel_hub::request(Method method, const QVariantMap& parameters, QObject* receiver,
    const char* successSlot, const char* failureSlot, const QVariant& context)
{
    if (method < 0 || method >= MethodCount)
        return nullptr;
    return invoke(methodPath(method), parameters, Methods[method].handler, receiver, successSlot,
        failureSlot, context);
}

void Rondel_hub::onGetServerID0(QNetworkReply* reply, QVariantMap json)
{
    forwardResult(reply, json);
}
void Rondel_hub::onGenerateSerialNumber0(QNetworkReply* reply, QVariantMap json)
{
    forwardResult(reply, json);
}
void Rondel_hub::onSetVersionInfo0(QNetworkReply* reply, QVariantMap json)
{
    forwardResult(reply, json);
}
void Rondel_hub::onSetHubName0(QNetworkReply* reply, QVariantMap json)
{
    forwardResult(reply, json);
}
void Rondel_hub::onCheckOutPin0(QNetworkReply* reply, QVariantMap json)
{
    forwardResult(reply, json);
}
void Rondel_hub::onReleasePin0(QNetworkReply* reply, QVariantMap json)
{
    forwardResult(reply, json);
}
void Rondel_hub::onStartRegistrationSession0(QNetworkReply* reply, QVariantMap json)
{
    forwardResult(reply, json);
}
void Rondel_hub::onEndRegistrationSession0(QNetworkReply* reply, QVariantMap json)
{
    forwardResult(reply, json);
}
void Rondel_hub::onResetHub0(QNetworkReply* reply, QVariantMap json) { forwardResult(reply, json); }
void Rondel_hub::onChangeDeviceName0(QNetworkReply* reply, QVariantMap json)
{
    forwardResult(reply, json);
}
void Rondel_hub::onChangeDeviceNameLimited0(QNetworkReply* reply, QVariantMap json)
{
    forwardResult(reply, json);
}
void Rondel_hub::onStartSessionAllDevices0(QNetworkReply* reply, QVariantMap json)
{
    forwardResult(reply, json);
}
void Rondel_hub::onStartSessionForDevice0(QNetworkReply* reply, QVariantMap json)
{
    forwardResult(reply, json);
}
void Rondel_hub::onEndSessionAllDevices0(QNetworkReply* reply, QVariantMap json)
{
    forwardResult(reply, json);
}
void Rondel_hub::onGetDeviceList0(QNetworkReply* reply, QVariantMap json)
{
    forwardResult(reply, json);
}
void Rondel_hub::onGetDeviceInfo0(QNetworkReply* reply, QVariantMap json)
{
    forwardResult(reply, json);
}
void Rondel_hub::onGetQuestionResponse0(QNetworkReply* reply, QVariantMap json)
{
    forwardResult(reply, json);
}
void Rondel_hub::onSendQuestion0(QNetworkReply* reply, QVariantMap json)
{
    forwardResult(reply, json);
}
void Rondel_hub::onSendMessage0(QNetworkReply* reply, QVariantMap json)
{
    forwardResult(reply, json);
}
void Rondel_hub::onSendMessageMeta0(QNetworkReply* reply, QVariantMap json)
{
    forwardResult(reply, json);
}
void Rondel_hub::onRemoveDevice0(QNetworkReply* reply, QVariantMap json)
{
    forwardResult(reply, json);
}

Beacon::Beacon(Adapter* adapter, QObject* parent)
    : DocumentEntity<Record>(adapter, parent)
{
}

QString Beacon::methodPath() { return QStringLiteral("entities/beacon/get"); }

QString Beacon::hash(quint64 serial) { return QStringLiteral("Rondel.Hub.%1").arg(serial); }

QNetworkReply* Beacon::get(
    quint64 serial, QObject* receiver, const char* successSlot, const char* failureSlot)
{
    setRecordId(qint64(serial));
    return invoke(methodPath(), QVariantMap { { QStringLiteral("hash"), hash(serial) } }, "onGet0",
        receiver, successSlot, failureSlot);
}

void Beacon::onGet0(QNetworkReply* reply, QVariantMap json) { forwardWhole(reply, json, true); }

} // namespace Tavio
