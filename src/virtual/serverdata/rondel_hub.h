#pragma once

// The hub entity of the classroom server and its beacon.

#include "entity.h"
#include "records.h"

namespace Tavio {

// The remote methods of the server's hub record. Every call carries "id", the hub serial.
class Rondel_hub : public DocumentEntity<Rondel_hubRecord>
{
    Q_OBJECT
public:
    enum Method {
        Method_GetServerID,
        Method_GenerateSerialNumber,
        Method_SetVersionInfo,
        Method_SetHubName,
        Method_CheckOutPin,
        Method_ReleasePin,
        Method_StartRegistrationSession,
        Method_EndRegistrationSession,
        Method_ResetHub,
        Method_ChangeDeviceName,
        Method_ChangeDeviceNameLimited,
        Method_StartSessionAllDevices,
        Method_StartSessionForDevice,
        Method_EndSessionAllDevices,
        Method_GetDeviceList,
        Method_GetDeviceInfo,
        Method_GetQuestionResponse,
        Method_SendQuestion,
        Method_SendMessage,
        Method_SendMessageMeta,
        Method_RemoveDevice,
        MethodCount
    };
    Q_ENUM(Method)

    explicit Rondel_hub(Adapter* adapter, QObject* parent = nullptr);

    // "entities/rondel_hub/<name>"
    static QString methodPath(Method method);
    // Posts the method with `parameters` (and "id"); the "result" reaches `successSlot` of
    // `receiver`, a failure the whole reply map at `failureSlot`.
    QNetworkReply* request(Method method, const QVariantMap& parameters, QObject* receiver,
        const char* successSlot, const char* failureSlot, const QVariant& context = QVariant());

public Q_SLOTS:
    void onGetServerID0(QNetworkReply* reply, QVariantMap json);
    void onGenerateSerialNumber0(QNetworkReply* reply, QVariantMap json);
    void onSetVersionInfo0(QNetworkReply* reply, QVariantMap json);
    void onSetHubName0(QNetworkReply* reply, QVariantMap json);
    void onCheckOutPin0(QNetworkReply* reply, QVariantMap json);
    void onReleasePin0(QNetworkReply* reply, QVariantMap json);
    void onStartRegistrationSession0(QNetworkReply* reply, QVariantMap json);
    void onEndRegistrationSession0(QNetworkReply* reply, QVariantMap json);
    void onResetHub0(QNetworkReply* reply, QVariantMap json);
    void onChangeDeviceName0(QNetworkReply* reply, QVariantMap json);
    void onChangeDeviceNameLimited0(QNetworkReply* reply, QVariantMap json);
    void onStartSessionAllDevices0(QNetworkReply* reply, QVariantMap json);
    void onStartSessionForDevice0(QNetworkReply* reply, QVariantMap json);
    void onEndSessionAllDevices0(QNetworkReply* reply, QVariantMap json);
    void onGetDeviceList0(QNetworkReply* reply, QVariantMap json);
    void onGetDeviceInfo0(QNetworkReply* reply, QVariantMap json);
    void onGetQuestionResponse0(QNetworkReply* reply, QVariantMap json);
    void onSendQuestion0(QNetworkReply* reply, QVariantMap json);
    void onSendMessage0(QNetworkReply* reply, QVariantMap json);
    void onSendMessageMeta0(QNetworkReply* reply, QVariantMap json);
    void onRemoveDevice0(QNetworkReply* reply, QVariantMap json);
};

// The server's event queue for this hub: "entities/beacon/get" with the hub's "hash". The whole
// reply map reaches the caller, whose handler reads the list of events in "result".
class Beacon : public DocumentEntity<Record>
{
    Q_OBJECT
public:
    explicit Beacon(Adapter* adapter, QObject* parent = nullptr);

    static QString methodPath();
    // "Rondel.Hub.<serial>"
    static QString hash(quint64 serial);
    QNetworkReply* get(
        quint64 serial, QObject* receiver, const char* successSlot, const char* failureSlot);

public Q_SLOTS:
    void onGet0(QNetworkReply* reply, QVariantMap json);
};

} // namespace Tavio
