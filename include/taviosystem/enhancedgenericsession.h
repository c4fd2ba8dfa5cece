#pragma once

#include <taviosystem/taviosystem_global.h>

#include <QtCore/QByteArray>
#include <QtCore/QList>
#include <QtCore/QMutex>
#include <QtCore/QObject>
#include <QtCore/QUuid>

#include <atomic>

namespace Taviosystem {

class Hub;

// One file the devices of an enhanced generic session may fetch by number. The session
// description lists it when its type is one of FileType.
struct ApplicationFileInfo
{
    enum FileType {
        FileType_Xml = 1, // "XM" in the session description
        FileType_Application = 2, // "AP"
        FileType_Image = 3, // "IM"
        FileType_Audio = 4, // "AU"
        FileType_Video = 5 // "VI"
    };

    QUuid id;
    int fileNumber = 0; // ignored: the library numbers the files itself
    int fileType = 0; // a FileType; files of other types are served but not listed
    QByteArray data;
};

// A plain message channel to the newer answer devices of one hub, over the hub's enhanced
// generic session. The host sends byte messages to a device and receives the devices' messages,
// their requests and answers turned into small XML documents. One per hub, made and owned by
// the hub (Hub::getEnhancedGenericSession()).
//
// Threads: the host operations run on the caller's thread; device messages arrive on the event
// thread, and so do the callback and directly connected signals they produce.
class TAVIOSYSTEM_EXPORT EnhancedGenericSession : public QObject
{
    Q_OBJECT
public:
    // The first byte of a delivered message; any other first byte comes from the device as sent.
    static constexpr quint8 MessageType_Xml = 0x01; // a UTF-8 XML document follows
    // Question number (2 bytes, big-endian), then the answer bytes.
    static constexpr quint8 MessageType_BinaryAnswer = 0x03;

    typedef void (*DeviceMessageReceivedCallback)(
        EnhancedGenericSession* pSession, quint32 uid, const QByteArray& message, void* context);

    explicit EnhancedGenericSession(Hub* hub, QObject* parent = nullptr);
    ~EnhancedGenericSession() override;

    // Starts the hub's generic session unless this session already runs; true when it runs.
    bool startSession();
    // Stops the hub's session; false when this session does not run or the hub refused.
    bool stopSession();
    bool isActive() const;
    // The hub adds the length prefix; fails with the hub's error when the generic session is
    // not running or the uid is unknown.
    bool sendAsyncMessage(quint32 uid, const QByteArray& message);
    // Replaces the files the devices may fetch and the session description that lists them.
    void setApplicationFileList(const QList<ApplicationFileInfo>& files);
    // With a callback set, device messages go to it alone; without one, to the signal.
    void setDeviceMessageReceivedCallback(DeviceMessageReceivedCallback callback, void* context);
    Hub* getHub() const;

    // The hub's receive callback for this session kind: hands a device message to the hub's
    // generic session object. Runs on the event thread.
    static void responseCallback(Hub* pHub, unsigned int uid, const QByteArray& message,
        void* context, bool expressionV2LatexFormat);

Q_SIGNALS:
    void deviceMessageReceived(
        Taviosystem::EnhancedGenericSession* pSession, quint32 uid, QByteArray message);

private:
    void deliverDeviceMessage(quint32 uid, const QByteArray& message);

    Hub* m_hub;
    std::atomic<bool> m_active { false };
    DeviceMessageReceivedCallback m_deviceMessageCallback = nullptr;
    void* m_callbackContext = nullptr;
    mutable QMutex m_callbackMutex; // guards the callback and its context as a pair
};

} // namespace Taviosystem
