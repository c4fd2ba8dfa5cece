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

/*!
    One file the devices of an enhanced generic session may fetch by number. The session
    description lists it when its type is one of FileType.
*/
struct ApplicationFileInfo
{
    /*! The kinds of file the session description lists. */
    enum FileType {
        FileType_Xml = 1, //!< "XM" in the session description.
        FileType_Application = 2, //!< "AP".
        FileType_Image = 3, //!< "IM".
        FileType_Audio = 4, //!< "AU".
        FileType_Video = 5 //!< "VI".
    };

    QUuid id; //!< The file's identifier, listed without braces.
    int fileNumber = 0; //!< Ignored: the library numbers the files itself.
    int fileType = 0; //!< A FileType; files of other types are served but not listed.
    QByteArray data; //!< The file's bytes.
};

/*!
    A plain message channel to the newer answer devices of one hub, over the hub's enhanced
    generic session.

    The host sends byte messages to a device and receives the devices' messages, their requests
    and answers turned into small XML documents (first byte MessageType_Xml) or binary answers
    (MessageType_BinaryAnswer). Devices also fetch the session description and the files listed
    with setApplicationFileList(). One per hub, made and owned by the hub
    (Hub::getEnhancedGenericSession()): never delete it.

    Threads: the host operations run on the caller's thread; device messages arrive on the event
    thread, and so do the callback and directly connected signals they produce. No library lock
    is held while the host is called.
*/
class TAVIOSYSTEM_EXPORT EnhancedGenericSession : public QObject
{
    Q_OBJECT
public:
    /*! The first byte of a delivered message holding a UTF-8 XML document. */
    static constexpr quint8 MessageType_Xml = 0x01;
    /*!
        The first byte of a delivered binary answer: the question number (2 bytes, big-endian),
        then the answer bytes. Any other first byte comes from the device as sent.
    */
    static constexpr quint8 MessageType_BinaryAnswer = 0x03;

    /*!
        Hears a device message; runs on the event thread with the context given to
        setDeviceMessageReceivedCallback().
    */
    typedef void (*DeviceMessageReceivedCallback)(
        EnhancedGenericSession* pSession, quint32 uid, const QByteArray& message, void* context);

    /*! Makes the session of \a hub; the hub does this on first use, never the host. */
    explicit EnhancedGenericSession(Hub* hub, QObject* parent = nullptr);
    /*! Destroys the session; its hub does this. */
    ~EnhancedGenericSession() override;

    /*!
        Starts the hub's generic session unless this session already runs.
        \return true when it runs; false with the hub's Error_NotConnected,
        Error_CannotStartSessionBecauseCurrentlyInSession or Error_CommsFailure.
    */
    bool startSession();
    /*!
        Stops the hub's session; after a true answer no device message reaches the host.
        \return false when this session does not run, or when the hub refused (its error).
    */
    bool stopSession();
    /*! Whether the session runs. */
    bool isActive() const;
    /*!
        Queues \a message for the device \a uid; the hub adds the length prefix and resends what
        the radio lost.
        \return false with the hub's Error_InvalidSessionForRequest when the generic session is
        not running, or Error_InvalidParameter for an unknown uid.
    */
    bool sendAsyncMessage(quint32 uid, const QByteArray& message);
    /*!
        Replaces the files the devices may fetch and the session description that lists them.
        It may come before or after startSession(): the list survives a start, and a stop clears
        it. A software hub serves no files.
    */
    void setApplicationFileList(const QList<ApplicationFileInfo>& files);
    /*!
        Sets the callback that hears device messages; with one set, messages go to it alone,
        without one, to deviceMessageReceived(). It may be changed from inside the callback.
    */
    void setDeviceMessageReceivedCallback(DeviceMessageReceivedCallback callback, void* context);
    /*! The hub the session belongs to. */
    Hub* getHub() const;

    /*!
        The hub's receive callback for this session kind: hands a device message to the hub's
        generic session object. Runs on the event thread; hosts do not call it.
    */
    static void responseCallback(Hub* pHub, unsigned int uid, const QByteArray& message,
        void* context, bool expressionV2LatexFormat);

Q_SIGNALS:
    /*! The device \a uid sent \a message (no callback set). Emitted on the event thread. */
    void deviceMessageReceived(
        Taviosystem::EnhancedGenericSession* pSession, quint32 uid, QByteArray message);

    //! \cond internal
private:
    void deliverDeviceMessage(quint32 uid, const QByteArray& message);

    Hub* m_hub;
    std::atomic<bool> m_active { false };
    DeviceMessageReceivedCallback m_deviceMessageCallback = nullptr;
    void* m_callbackContext = nullptr;
    mutable QMutex m_callbackMutex; // guards the callback and its context as a pair
    //! \endcond
};

} // namespace Taviosystem
