#pragma once

#include <taviosystem/hub.h>

#include <QtCore/QByteArray>
#include <QtCore/QList>
#include <QtCore/QMap>
#include <QtCore/QSet>
#include <QtCore/QString>

#include <atomic>
#include <memory>
#include <mutex>

namespace Taviosystem {

class EnhancedSessionHandler;
class ExpressionNameReceivedResponse;
class InformationResponse;
class OKResponse;
class SessionBufferCollector;

// The current 2.4 GHz radio hub: keeps the host's copy of the devices registered on it, maps the
// radio addresses of answer packets to the uids the host knows, and routes every packet by the
// hub's current session.
//
// Threads: packets arrive on the board library's packet thread; the device lists are read on
// the caller's thread (host or event thread). The lists and the address map are guarded by one
// lock that is never held while waiting for the hub or calling out to the host.
class TAVIOSYSTEM_EXPORT TwoPointFourGHzHub : public Hub
{
    Q_OBJECT
public:
    enum State { State_Idle = 0, State_Busy = 1, State_NotConnected = 2, State_CommsFailure = 3 };
    Q_ENUM(State)

    typedef void (*DeviceNamedCallback)(
        TwoPointFourGHzHub*, unsigned int uid, const QString& name, void* context);

    static constexpr int hubReset_Packet_Length = 3;
    static constexpr char hubReset_Packet_Control = char(0xA0);
    static constexpr int hubStateChanged_Packet_Length = 4;
    static constexpr char hubStateChanged_Packet_Control = 0x56;
    static constexpr int Packet_Offset_PreviousState = 2;
    static constexpr int Packet_Offset_NewState = 3;
    static constexpr int Packet_Offset_X = 3;
    static constexpr int Packet_Offset_Y = 5;
    static constexpr int Packet_Offset_PenId = 7;
    static constexpr int Packet_Offset_Button = 7;
    static constexpr int BoardPenCount = 2; // pens of a registered board

    TwoPointFourGHzHub(TavioSystem* system, int handle, quint64 uid, bool connected, int version);
    ~TwoPointFourGHzHub() override;

    // Hub interface.
    bool isPenPacket(const QByteArray& packet) override;
    void getPenData(const QByteArray& packet, unsigned char& pen, int& x, int& y, bool& tip,
        bool& barrel, bool& extra) override;
    bool isHubBusy() override;
    bool hasKX9Board() const override;
    bool supportsRegistration() const override { return true; }
    int penCount() const override;
    int vendorId() const override { return -1; }
    int productId() const override { return -1; }
    bool isTouchSupported() override;
    bool isEraseSupported() override { return false; }
    void setConnected(bool connected) override;
    Type type() override { return Type_TwoPointFourGHz; }
    unsigned short canRegisterVotingDevicesCount() override;
    bool getDeviceCount(Device::Type type, int* count) override;
    bool getExpressionTypeCount(Device::SubType subType, int* count) override;
    bool getDeviceList(Device::Type type, QList<Device*>* list) override;
    bool getCompleteDeviceList(QList<Device*>* list) override;
    void readRegisteredDevicesLists() override;
    void processPacket(const QByteArray& packet) override;
    bool processPinNamingSessionResponse(
        const QByteArray& packet, unsigned int& uid, QString& name) override;
    HubState getHubState() override;
    bool setBacklight(unsigned char level, unsigned char value) override;
    unsigned int getDeviceId(unsigned int address) override;
    bool setHubBusyCallback(HubBusyCallback callback, void* context) override;
    bool setBatteryLowCallback(BatteryLowCallback callback, void* context) override;

    // Question and voting sessions.
    bool startMultichoiceSession(int questionId, int numOptions, int numResponses,
        DisplayOption displayOption, TimeUnit timeUnit, int time, StringResponseCallback callback,
        void* context) override;
    bool startYesNoSession(int questionId, bool thirdAnswer, TimeUnit timeUnit, int time,
        YesNoResponseCallback callback, void* context) override;
    bool startTrueFalseSession(int questionId, bool thirdAnswer, TimeUnit timeUnit, int time,
        TrueFalseResponseCallback callback, void* context) override;
    bool startLikertSession(int questionId, int scale, TimeUnit timeUnit, int time,
        LikertResponseCallback callback, void* context) override;
    bool startNumericSession(int questionId, const QString& question, int maxResponseSize,
        TimeUnit timeUnit, int time, StringResponseCallback callback, void* context) override;
    bool startTextSession(int questionId, const QString& question, int maxResponseSize,
        TimeUnit timeUnit, int time, bool isEquation, TextResponseCallback callback,
        void* context) override;
    bool startSortInOrderSession(int questionId, int numOptions, int numResponses,
        DisplayOption displayOption, TimeUnit timeUnit, int time, StringResponseCallback callback,
        void* context) override;
    bool startMessageSession(int questionId, const QString& message, TimeUnit timeUnit, int time,
        MessageResponseCallback callback, void* context) override;
    bool stopSession() override;
    bool resetHubSession() override;
    bool canStartSession() const;
    bool startExpressionEnduserNamingSession(int questionId, CharacterType characterType,
        int maxLength, bool namingFlag, EndUserNamingCallback callback, void* context) override;
    bool stopExpressionEndUserNamingSession() override;

    // Asynchronous and enhanced generic sessions: long messages to and from answer devices.
    bool startAsyncSession(AsyncGetMessageCallback getMessage,
        AsyncReceiveMessageCallback receiveMessage, void* context) override;
    bool startEnhancedGenericSession(
        AsyncReceiveMessageCallback receiveMessage, void* context) override;
    bool asyncSendMsg(unsigned int uid, const QByteArray& data) override;
    bool sendGenericAsyncMessage(unsigned int uid, const QByteArray& data) override;
    void setApplicationFileList(const QList<ApplicationFileInfo>& files) override;
    bool asyncIsReadyToReceive(unsigned int uid) override;
    // Created on first use and owned by the hub.
    EnhancedQuestionSession* enhancedQuestionSession() override;
    EnhancedGenericSession* getEnhancedGenericSession() override;

    // 'A' is yes (1), 'B' no (0), anything else 2; the same values serve true/false answers.
    static int translateToYesNoResponse(int answer);
    // Replaces 'A' to 'F' by '1' to '6' in place.
    static void translateToNumericResponse(QString& answer);

    // The 2.4 GHz hub's own operations. Their declaration order is their vtable order, which
    // hosts and subclasses built against this header rely on.
    virtual QString name();
    virtual void asEndExpressionRegSession();
    virtual bool getRegistrationInfo(InformationResponse* info);
    virtual bool clearHub(OKResponse* response);
    virtual bool clearHubOfVotes(OKResponse* response);
    virtual bool clearHubOfSlates(OKResponse* response);
    virtual bool clearHubOfBoards(OKResponse* response);
    virtual bool clearHubOfExpressions(OKResponse* response);
    virtual bool clearHubOfPenExpressions(OKResponse* response);
    virtual bool readPenExpressionList();
    virtual bool startExpressionRegistrationSession(
        quint16 p1, quint8 p2, quint8 p3, const RegistrationCode& pin);
    virtual bool startNamingExpressionRegistrationSession(quint16 p1, quint8 p2, quint8 p3,
        const RegistrationCode& pin, CharacterType characterType, bool flag, quint8 nameLength);
    virtual bool stopExpressionRegistrationSession();
    virtual bool startVoteRegistrationSession(
        quint16 p1, quint8 p2, quint8 p3, const RegistrationCode& pin);
    virtual bool stopVoteRegistrationSession();
    virtual bool startSlateRegistrationSession(
        quint16 p1, quint8 p2, quint8 p3, const RegistrationCode& pin);
    virtual bool stopSlateRegistrationSession();
    virtual bool removeTavioexpression(unsigned int uid);
    virtual bool stopRemoveExpressionDeviceSession();
    virtual bool removeTaviote(unsigned int uid);
    virtual bool stopRemoveVoteDeviceSession();
    virtual bool removeTavioslate(unsigned int uid);
    virtual bool stopRemoveSlateDeviceSession();
    virtual bool removePenExpression(unsigned int uid);
    virtual bool nameExpression(
        unsigned int uid, const QString& name, ExpressionNameReceivedResponse* response);
    virtual bool startExpressionNamingSession();
    virtual bool stopExpressionNamingSession();
    bool startTavioteNamingSession();
    bool nameTaviote(unsigned int uid, const QString& name);
    bool stopTavioteNamingSession();
    bool nameSlate(unsigned int uid, const QString& name);
    bool stopSlateNamingSession();
    // Entry points of the long-message transport, called on the event thread (and, for
    // doSendAndReceive, on the host's thread while it sends). A complete device message goes to
    // the session's receive callback, or the asyncReceiveMsg signal; a device's request for a
    // message to the get-message callback, or asyncGetMsg.
    virtual void doAsyncResponseCallback(const QByteArray& message, unsigned int address);
    // Sends a ready-made command and waits for the hub's OK (Error_CommsFailure without it).
    virtual bool doSendAndReceive(const QByteArray& command);
    virtual void processAsyncGetMessageRequest(unsigned int address, const QByteArray& data);

    State state();
    // Append the current list without asking the hub; always true.
    bool readTavioteList(QList<Device*>* list);
    bool readTavioexpressionList(QList<Device*>* list);
    bool readTavioSlateList(QList<Device*>* list);
    bool readPenExpressionList(QList<Device*>* list);
    int tavioteCount();
    int tavioexpressionCount();
    int tavioSlateCount();
    int tavioBoardCount();
    int penExpressionCount();
    Device* findVoteDevice(unsigned int uid);
    Device* findExpressionDevice(unsigned int uid);
    Device* findSlateDevice(unsigned int uid);
    Device* findPenExpressionDevice(unsigned int uid);
    bool getAddress(unsigned int uid, unsigned int& address);
    void setExpressionDeviceNamedCallback(DeviceNamedCallback callback, void* context);
    void setVoteDeviceNamedCallback(DeviceNamedCallback callback, void* context);

Q_SIGNALS:
    void expressionDeviceNamed(QString name, quint32 uid);
    void expressionDeviceRegistered(
        QString name, quint32 uid, Taviosystem::Device::SubType subType);
    void voteDeviceRegistered(QString name, quint32 uid);
    void slateDeviceRegistered(QString name, quint32 uid);
    void voteDeviceNamed(QString name, quint32 uid);
    void slateDeviceNamed(QString name, quint32 uid);
    void registrationChanged(Taviosystem::Hub* pHub);
    void hubBusy(Taviosystem::Hub* pHub, bool bBusy);

protected:
    TwoPointFourGHzHub();
    // A hub that reaches its devices by other means than the radio: with `radio` false nothing
    // is configured on a receiver (no pens, no long-message transport).
    TwoPointFourGHzHub(
        TavioSystem* system, int handle, quint64 uid, bool connected, int version, bool radio);

    virtual bool readExpressionList();
    virtual bool readVoteList();
    virtual bool readSlateList();
    virtual bool readVirtualVoteList();
    bool readPenCount();
    // Hands a complete device message to the session's receive callback, or the asyncReceiveMsg
    // signal (runs on the event thread).
    void deliverReceivedMessage(unsigned int uid, const QByteArray& message);
    // Runs on the packet thread: posts a copy of the packet to the event thread for `handler`.
    void postPacketEvent(EventType type, const QByteArray& packet, AbstractAsEventHandler* handler);
    // The name reported when the hub's name cannot be read.
    static QString unreadableName();

    // One of the four device lists and whether it must be read again before use.
    enum ListKind { List_Votes, List_Expressions, List_Slates, List_PenExpressions, ListCount };
    struct DeviceList
    {
        QList<Device*> devices;
        bool needsReading = true;
    };

    // Deletes a list's devices (later, in the hub's thread) and takes their addresses out of the
    // address map. Call with m_devicesMutex held.
    void deleteList(ListKind kind);
    void setNeedsReading(ListKind kind, bool needsReading);
    void deleteAllLists();
    // Adds a device to a list and its address to the map (replacing an earlier entry).
    void addDevice(ListKind kind, Device* device);

    mutable std::recursive_mutex m_devicesMutex; // the lists, their flags and the address map
    QMap<quint16, quint32> m_addressMap;
    DeviceList m_lists[ListCount];
    QSet<quint32> m_registeredInWindow; // devices reported in the registration window open now
    std::atomic<int> m_penCount { 0 };
    std::atomic<bool> m_clearing { false };
    void* m_callbackContext = nullptr;
    // The two device-named callbacks and their contexts, set from the host's threads and read
    // together on the packet thread.
    std::mutex m_namedCallbacksMutex;
    DeviceNamedCallback m_expressionDeviceNamedCallback = nullptr;
    void* m_expressionDeviceNamedContext = nullptr;
    DeviceNamedCallback m_voteDeviceNamedCallback = nullptr;
    void* m_voteDeviceNamedContext = nullptr;
    HubBusyCallback m_hubBusyCallback = nullptr;
    void* m_hubBusyContext = nullptr;
    BatteryLowCallback m_batteryLowCallback = nullptr;
    void* m_batteryLowContext = nullptr;
    EndUserNamingCallback m_endUserNamingCallback = nullptr;
    std::atomic<int> m_currentQuestionId { 0 };
    StringResponseCallback m_multichoiceCallback = nullptr;
    YesNoResponseCallback m_yesNoCallback = nullptr;
    TrueFalseResponseCallback m_trueFalseCallback = nullptr;
    LikertResponseCallback m_likertCallback = nullptr;
    StringResponseCallback m_numericCallback = nullptr;
    TextResponseCallback m_textCallback = nullptr;
    StringResponseCallback m_sortInOrderCallback = nullptr;
    MessageResponseCallback m_messageCallback = nullptr;
    DisplayOption m_displayOption = DisplayOption_Digits;
    bool m_equation = false;
    int m_entityCounter = 1;
    // Shared with the packet thread while it hands a piece over; deleted in the hub's thread
    // once neither holds it.
    std::shared_ptr<SessionBufferCollector> m_bufferCollector;
    // Milliseconds after the last piece of a long answer before it is delivered incomplete.
    int m_answerCompletionTimeout = 5000;
    // The long-message transport (null in subclasses built with the protected constructor), its
    // host callbacks and the devices that have asked for a message. The callbacks, context and
    // list are guarded by m_asyncMutex, which is never held while calling out.
    EnhancedSessionHandler* m_enhancedHandler = nullptr;
    std::mutex m_asyncMutex;
    AsyncGetMessageCallback m_asyncGetCallback = nullptr;
    AsyncReceiveMessageCallback m_asyncReceiveCallback = nullptr;
    void* m_asyncContext = nullptr;
    QList<quint32> m_asyncReady;
    std::mutex m_enhancedSessionsMutex;
    EnhancedQuestionSession* m_enhancedQuestionSession = nullptr;
    EnhancedGenericSession* m_enhancedGenericSession = nullptr;
    // Milliseconds to wait for the hub to acknowledge a clear or the end of a session, which it
    // does only once its flash is written.
    int m_flashWriteTimeout = m_nFlashWriteResponseMaximumWaitTime;

private:
    void registerResponseHandlers();
    bool clearWith(const QByteArray& command, OKResponse* response);
    bool readList(ListKind kind);
    bool removeDevice(ListKind kind, unsigned int uid);
    bool processHubResetPacket(const QByteArray& packet);
    bool processBusyChangePacket(const QByteArray& packet);
    void processBatteryLowPacket(const QByteArray& packet);
    void processSessionPacket(const QByteArray& packet);
    void reportNamed(bool expression, unsigned int uid, const QString& name);
    bool isNewInWindow(quint32 uid, std::initializer_list<ListKind> lists);
    Device* findDevice(ListKind kind, unsigned int uid) const;
    void adopt(Device* device);

    // Question sessions.
    bool checkQuestionStart(int questionId);
    bool checkChoiceQuestionStart(int questionId, int numOptions, int numResponses);
    bool refuseWhenInSession();
    quint8 nextEntityId();
    bool sendQuestion(SessionType session, int questionId, int questionType, quint8 typeByte,
        TimeUnit timeUnit, int time, const QString& text, void* context);
    void ensureBufferCollector();
    void deleteBufferCollector();
    void processChoiceAnswer(const QByteArray& packet);
    void processByteAnswer(const QByteArray& packet);
    void processLongAnswerPiece(const QByteArray& packet);
    void handleBufferCollectionCompleted(
        quint16 address, quint8 number, const QString& answer, bool complete);
    bool startRegistration(SessionType session, const QByteArray& command);
    bool startTransportSession(SessionType session, const QByteArray& command,
        AsyncGetMessageCallback getMessage, AsyncReceiveMessageCallback receiveMessage,
        void* context);
    bool sendTransportMessage(SessionType session, unsigned int uid, const QByteArray& data);
    void postTransportPacket(EventType type, const QByteArray& packet);
    // The session's callbacks and context, read together under m_asyncMutex.
    struct AsyncCallbacks
    {
        AsyncGetMessageCallback get;
        AsyncReceiveMessageCallback receive;
        void* context;
    };
    AsyncCallbacks asyncCallbacks();
    void stopTransport(SessionType session);
    void deleteTransport();
    bool stopWindow(SessionType session, std::initializer_list<ListKind> reread);
    bool stopNaming(SessionType session, std::initializer_list<ListKind> reread);
};

} // namespace Taviosystem
