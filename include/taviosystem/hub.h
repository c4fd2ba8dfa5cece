#pragma once

#include <taviosystem/abstractaseventhandler.h>
#include <taviosystem/device.h>
#include <taviosystem/registrationcode.h>
#include <taviosystem/taviosystem_global.h>

#include <QtCore/QByteArray>
#include <QtCore/QHash>
#include <QtCore/QList>
#include <QtCore/QMap>
#include <QtCore/QObject>
#include <QtCore/QString>
#include <QtCore/QVariant>

#include <atomic>
#include <mutex>
#include <shared_mutex>

QT_BEGIN_NAMESPACE
class QTimer;
QT_END_NAMESPACE

class PresenterClient;

namespace Taviosystem {

class TavioSystem;
class IResponseHandler;
class TavioSession;
class EnhancedQuestionSession;
class EnhancedGenericSession;
struct ApplicationFileInfo;
struct PenState;

// A receiver the host talks to as one object. Hubs are created and owned by the system; the
// host only borrows the pointers.
//
// Threads: host operations run on the caller's thread; processPacket runs on the board
// library's packet thread, and so do the host callbacks and directly connected signals it
// produces; handleAsEvent runs on the event thread; the re-enumeration timer runs on the thread
// that owns the hub object.
class TAVIOSYSTEM_EXPORT Hub : public QObject, public AbstractAsEventHandler
{
    Q_OBJECT
public:
    enum Error {
        Error_None = 0,
        Error_Failed = 1,
        Error_NotSupported = 2,
        Error_NotConnected = 3,
        Error_CommsFailure = 4,
        Error_Busy = 5,
        Error_BadQuestionId = 6,
        Error_StringTooLong = 7,
        Error_NumOfOptionsNotWithinTheRange = 8,
        Error_NumOfResponsesNotWithinTheRange = 9,
        Error_ScaleValueNotWithinTheRange = 10,
        Error_ResponseSizeNotWithinTheRange = 11,
        Error_NumOfResponsesExceedsNumOfOptions = 12,
        Error_InCompleteAnswer = 13,
        Error_NameLengthNotWithinTheRange = 14,
        Error_CannotStartSessionBecauseCurrentlyInSession = 15,
        Error_InvalidSessionForRequest = 16,
        Error_InvalidParameter = 17,
        Error_InvalidMMLEquation = 18,
        Error_InvalidEquationAnswer = 19
    };
    Q_ENUM(Error)

    enum Type { Type_Legacy = 1, Type_TwoPointFourGHz = 2 };
    Q_ENUM(Type)

    enum ConnectionType { ConnectionType_Serial = 1, ConnectionType_Usb = 2 };
    Q_ENUM(ConnectionType)

    enum SessionType {
        SessionType_None = 0,
        SessionType_Multichoice = 1,
        SessionType_YesNo = 2,
        SessionType_TrueFalse = 3,
        SessionType_Likert = 4,
        SessionType_Numeric = 5,
        SessionType_Text = 6,
        SessionType_SortInOrder = 7,
        SessionType_Message = 8,
        SessionType_Voting = 9,
        SessionType_ExpressionRegistration = 10,
        SessionType_VoteRegistration = 11,
        SessionType_SlateRegistration = 12,
        SessionType_ExpressionNaming = 13,
        SessionType_VoteNaming = 14,
        SessionType_SlateNaming = 15,
        SessionType_RemoveDevice = 16,
        SessionType_VoteTest = 17,
        SessionType_SlatePinRegistration = 18,
        SessionType_Async = 19,
        SessionType_EndUserNaming = 20,
        SessionType_PinNaming = 21,
        SessionType_EnhancedGeneric = 22,
        SessionType_Stopping = 23
    };
    Q_ENUM(SessionType)

    enum HubState {
        HubState_Unknown = 0,
        HubState_Idle = 1,
        HubState_Code1 = 2,
        HubState_Code3 = 3,
        HubState_Code5 = 4,
        HubState_Code8 = 5,
        HubState_Code9 = 6,
        HubState_Code12 = 7,
        HubState_Code13 = 8,
        HubState_Code17 = 9,
        HubState_Code18 = 10,
        HubState_Code32 = 11,
        HubState_Code33 = 12,
        HubState_Code34 = 13,
        HubState_Code35 = 14,
        HubState_Code48 = 15
    };
    Q_ENUM(HubState)

    enum PenEvent {
        PenEvent_None = 0,
        PenEvent_Move = 1,
        PenEvent_TipDown = 2,
        PenEvent_TipUp = 3,
        PenEvent_BarrelDown = 5,
        PenEvent_BarrelUp = 6
    };
    Q_ENUM(PenEvent)

    enum PenType { PenType_0 = 4000, PenType_1 = 4001 };
    enum PenHardwareMode {
        PenHardwareMode_0 = 5000,
        PenHardwareMode_1 = 5001,
        PenHardwareMode_2 = 5002
    };
    enum PenReportMode { PenReportMode_0 = 6000, PenReportMode_1 = 6001, PenReportMode_2 = 6002 };
    typedef unsigned char PenMode; // passed to the board library unchanged
    typedef unsigned char TouchReportMode; // passed to the board library unchanged

    enum YesNoResponse { YesNoResponse_No = 0, YesNoResponse_Yes = 1, YesNoResponse_Invalid = 2 };
    Q_ENUM(YesNoResponse)
    enum TrueFalseResponse {
        TrueFalseResponse_False = 0,
        TrueFalseResponse_True = 1,
        TrueFalseResponse_Invalid = 2
    };
    Q_ENUM(TrueFalseResponse)
    enum VotingMode { VotingMode_B = 0, VotingMode_M = 1 };
    enum TouchInfoPacketType { TouchInfoPacketType_Touch = 0, TouchInfoPacketType_Pen = 1 };

    // One touch point of a board's touch report.
    struct TouchInfo
    {
        int id = 0; // 0 to 127
        int x = 0;
        int y = 0;
        int radius = 0;
        bool touching = false;
    };

    // Host callbacks. Each receives the context given when it was set, unchanged.
    typedef void (*PenEventCallback)(
        Hub*, unsigned int penId, int x, int y, bool tip, bool barrel, void* context);
    typedef void (*TouchEventCallback)(Hub*, QList<TouchInfo>, void* context);
    typedef void (*TouchStatusEventCallback)(Hub*, bool running, void* context);
    typedef void (*PinNamingCallback)(Hub*, unsigned int uid, const QString& name, void* context);
    typedef void (*VotingCallback)(
        Hub*, unsigned int uid, int vote, bool batteryLow, void* context);
    typedef void (*HubBusyCallback)(Hub*, bool busy, void* context);
    typedef void (*BatteryLowCallback)(Hub*, unsigned int uid, void* context);
    typedef void (*StringResponseCallback)(
        Hub*, unsigned int uid, int questionId, const QString& response, void* context);
    typedef void (*YesNoResponseCallback)(
        Hub*, unsigned int uid, int questionId, YesNoResponse response, void* context);
    typedef void (*TrueFalseResponseCallback)(
        Hub*, unsigned int uid, int questionId, TrueFalseResponse response, void* context);
    typedef void (*LikertResponseCallback)(
        Hub*, unsigned int uid, int questionId, int value, void* context);
    typedef void (*TextResponseCallback)(
        Hub*, unsigned int uid, int questionId, const QString& response, void* context, bool valid);
    typedef void (*MessageResponseCallback)(Hub*, unsigned int uid, int questionId, void* context);
    typedef void (*EndUserNamingCallback)(
        Hub*, unsigned int uid, int questionId, const QString& name, void* context);
    typedef void (*AsyncGetMessageCallback)(
        Hub*, unsigned int uid, const QByteArray& data, void* context);
    typedef void (*AsyncReceiveMessageCallback)(Hub*, unsigned int uid, const QByteArray& message,
        void* context, bool expressionV2LatexFormat);

    // Limits and protocol constants.
    static constexpr int MaximumPens = 3;
    static constexpr int minNumberOfOptions = 1;
    static constexpr int maxNumberOfOptions = 6;
    static constexpr int minNumberOfResponses = 1;
    static constexpr int maxNumberOfResponses = 6;
    static constexpr int minLikertScaleValue = 4;
    static constexpr int maxLikertScaleValue = 9;
    static constexpr int minResponseSize = 0;
    static constexpr int maxResponseSize = 255;
    static constexpr int maxEndUserNameLength = 14;
    static constexpr int m_nFlashWriteResponseMaximumWaitTime = 6000; // milliseconds
    static constexpr int m_nLegacySerialHubResponseMaximumWaitTime = 160; // milliseconds
    static constexpr char chEndOfString = 13;
    static const char* const cmdPenType;
    static const char* const cmdPenHardwareMode;
    static const char* const cmdTouchStatusQuery;

    static constexpr int PenPacket_Offset_Length = 0;
    static constexpr char PenPacket_Length = 8;
    static constexpr int PenPacket_Offset_Control = 1;
    static constexpr char PenPacket_Control = 0x21;
    static constexpr int PenPacket_Serial_Offset_Length = 0;
    static constexpr char PenPacket_Serial_Length = 9;
    static constexpr int PenPacket_Serial_Offset_Control = 2;
    static constexpr char PenPacket_Serial_Control = 1;
    static constexpr int TouchPacket_Offset_Control = 1;
    static constexpr char TouchPacket_Control = 0x45;
    static constexpr int TouchPacket_Header_Length = 2;
    static constexpr int Touch_Length = 7;
    static constexpr int Touch_Id_Offset = 0;
    static constexpr unsigned char Touch_Id_Data_Mask = 0x7F;
    static constexpr unsigned char Touch_Status_Data_Mask = 0x80;
    static constexpr int Touch_X_Offset = 1;
    static constexpr int Touch_Y_Offset = 3;
    static constexpr int Touch_Radius_Offset = 5;
    static constexpr int TouchStatusPacket_Offset_Length = 0;
    static constexpr int TouchStatusPacket_Length = 8;
    static constexpr int TouchStatusPacket_Offset_Control = 1;
    static constexpr char TouchStatusPacket_Control = char(0xA5);
    static constexpr int TouchStatusPacket_Offset_Status = 6;
    static constexpr int TouchStatusPacket_Offset_Touches = 7;
    static constexpr int ReenumerartePacket_Offset_Control = 1;
    static constexpr char ReenumerartePacket_Control = char(0xA0);
    static constexpr int RFChangeStatePacket_Offset_Control = 1;
    static constexpr char RFChangeStatePacket_Control = 0x56;
    static constexpr int RFChangeStatePacket_Offset_PreviousState = 2;
    static constexpr int RFChangeStatePacket_Offset_NewState = 3;
    static constexpr int ReenumerateDelay = 3000; // milliseconds before lists are re-read
    static constexpr unsigned char TouchStatus_Stopped = 0;
    static constexpr unsigned char TouchStatus_Running = 5;

    // The lock that makes every command-and-reply exchange of every hub one at a time.
    static std::mutex m_sendReceiveMutex;

    Hub(TavioSystem* system, int handle, quint64 uid, bool connected, int version);
    ~Hub() override;

    int handle() const { return m_handle; }
    int getInstance() const { return m_handle; }
    bool isConnected() const { return m_connected; }
    Error getLastError() const { return m_lastError; }
    static QString errorAsString(Error error);
    // The virtual votes file, which lists extra voting devices every 2.4 GHz hub adds to its
    // voters: under the machine-wide application-data folder.
    static QString virtualVoteFilePath();
    SessionType sessionType() const { return m_sessionType; }

    void lockDriver();
    void unlockDriver();

    // Board settings, forwarded to the board library with this hub's handle.
    void enableEventRedirection(bool enable);
    bool getEnableEventRedirection();
    void setLATEDetection(bool enable);
    bool getLATEDetection();
    void setPenMode(PenMode mode);
    PenMode getPenMode();
    void setTouchReportMode(TouchReportMode mode);
    void getTouchReportMode(TouchReportMode* mode);
    void setPenReportMode(unsigned char pen, PenReportMode mode);
    void getPenReportMode(unsigned char pen, PenReportMode* mode);
    bool setPenType(unsigned char pen, PenType type);
    void getPenType(unsigned char pen, PenType* type);
    bool setPenHardwareMode(unsigned char pen, PenHardwareMode mode);
    void getPenHardwareMode(unsigned char pen, PenHardwareMode* mode);
    bool isTouchRunning();

    // The virtual interface every hub kind fills in.
private:
    virtual bool getTouchStatus(unsigned char* status, unsigned char* touches);

public:
    virtual bool isPenPacket(const QByteArray& packet) = 0;
    virtual void getPenData(const QByteArray& packet, unsigned char& pen, int& x, int& y, bool& tip,
        bool& barrel, bool& extra)
        = 0;
    virtual quint64 uid() const;
    virtual int getVersion() const;
    virtual bool isHubBusy() = 0;
    virtual bool hasKX9Board() const = 0;
    virtual bool supportsRegistration() const = 0;
    virtual int penCount() const = 0;
    virtual int vendorId() const = 0;
    virtual int productId() const = 0;
    virtual int getNumTouchesSupported();
    virtual bool isTouchSupported() = 0;
    virtual int getNumErasesSupported();
    virtual bool isEraseSupported() = 0;
    virtual void setConnected(bool connected);
    virtual Type type() = 0;
    virtual bool isVirtualHub();
    virtual bool isRondel2Hub();
    virtual bool isTessalyHub();
    virtual unsigned short canRegisterVotingDevicesCount();
    virtual bool getDeviceCount(Device::Type type, int* count) = 0;
    virtual bool getExpressionTypeCount(Device::SubType subType, int* count);
    virtual bool getDeviceList(Device::Type type, QList<Device*>* list) = 0;
    virtual bool getCompleteDeviceList(QList<Device*>* list) = 0;
    virtual void readRegisteredDevicesLists() = 0;
    virtual PresenterClient* getTessalyClient();
    // Runs on the packet thread. The bytes may belong to the board library and are valid only
    // during the call: whatever keeps a packet makes its own copy. A subclass calls this first
    // and then goes on with its own steps.
    virtual void processPacket(const QByteArray& packet);
    virtual bool sendTessalyImageCard(const QByteArray& image, bool flag);
    virtual bool publishTessalyCollaborationMessage(QString type, QString message, QString data);
    virtual void sendTessalyPresenterIsActiveToRemote();
    virtual void sendTessalyCurrentLessonToRemote(QString lessonId, QString lessonName);
    virtual void sendTessalyCurrentCardToRemote(int card, int cardCount);
    virtual void removeTessalyLearner(unsigned int uid);
    virtual void setTessalyPollImage(const QByteArray& image);
    virtual void stopTessalyPoll();
    virtual void pauseTessalyPoll();
    virtual void resumeTessalyPoll();
    virtual QString getTessalyLastError();
    virtual bool isValidNumberOfOptions(int n);
    virtual bool isValidNumberOfResponses(int n);
    virtual bool isValidLikertScaleValue(int n);
    virtual bool isValidMaxResponseSize(int n);
    virtual bool isValidMaxNameLength(int n);
    virtual bool processPinNamingSessionResponse(
        const QByteArray& packet, unsigned int& uid, QString& name)
        = 0;
    virtual bool startVotingSession(VotingMode mode, VotingCallback callback, void* context);
    virtual bool startMultichoiceSession(int questionId, int numOptions, int numResponses,
        DisplayOption displayOption, TimeUnit timeUnit, int time, StringResponseCallback callback,
        void* context);
    virtual bool startYesNoSession(int questionId, bool thirdAnswer, TimeUnit timeUnit, int time,
        YesNoResponseCallback callback, void* context);
    virtual bool startTrueFalseSession(int questionId, bool thirdAnswer, TimeUnit timeUnit,
        int time, TrueFalseResponseCallback callback, void* context);
    virtual bool startLikertSession(int questionId, int scale, TimeUnit timeUnit, int time,
        LikertResponseCallback callback, void* context);
    virtual bool startNumericSession(int questionId, const QString& question, int maxResponseSize,
        TimeUnit timeUnit, int time, StringResponseCallback callback, void* context);
    virtual bool startTextSession(int questionId, const QString& question, int maxResponseSize,
        TimeUnit timeUnit, int time, bool isEquation, TextResponseCallback callback, void* context);
    virtual bool startSortInOrderSession(int questionId, int numOptions, int numResponses,
        DisplayOption displayOption, TimeUnit timeUnit, int time, StringResponseCallback callback,
        void* context);
    virtual bool startMessageSession(int questionId, const QString& message, TimeUnit timeUnit,
        int time, MessageResponseCallback callback, void* context);
    virtual bool stopSession();
    virtual bool resetHubSession();
    virtual HubState getHubState();
    virtual EnhancedQuestionSession* enhancedQuestionSession();
    virtual EnhancedGenericSession* getEnhancedGenericSession();
    virtual bool startExpressionEnduserNamingSession(int questionId, CharacterType characterType,
        int maxLength, bool namingFlag, EndUserNamingCallback callback, void* context);
    virtual bool stopExpressionEndUserNamingSession();
    virtual bool startTaviotePinNamingSession(
        int digits, PinNamingCallback callback, void* context);
    virtual bool setBacklight(unsigned char level, unsigned char timeout);
    virtual unsigned int getDeviceId(unsigned int address) = 0;
    virtual ConnectionType connectionType();
    virtual bool asGetRegistrationPin(RegistrationCode& code);
    virtual bool startAsyncSession(AsyncGetMessageCallback getMessage,
        AsyncReceiveMessageCallback receiveMessage, void* context);
    virtual bool startEnhancedGenericSession(
        AsyncReceiveMessageCallback receiveMessage, void* context);
    virtual bool asyncSendMsg(unsigned int uid, const QByteArray& data);
    virtual bool sendGenericAsyncMessage(unsigned int uid, const QByteArray& data);
    virtual void setApplicationFileList(const QList<ApplicationFileInfo>& files);
    virtual bool asyncIsReadyToReceive(unsigned int uid);
    virtual bool setHubBusyCallback(HubBusyCallback callback, void* context) = 0;
    virtual bool setPenEventCallback(PenEventCallback callback, void* context);
    virtual bool setTouchEventCallback(TouchEventCallback callback, void* context);
    virtual bool setTouchStatusEventCallback(TouchStatusEventCallback callback, void* context);
    virtual bool sendTouchInfoToOS(QList<TouchInfo>& touches, TouchInfoPacketType type);
    virtual bool setBatteryLowCallback(BatteryLowCallback callback, void* context);

protected:
    virtual bool preprocessTavioteSession();

public:
    // Runs on the event thread.
    void handleAsEvent(EventType type, const QByteArray& data) override;

    // The bytes sendTouchInfoToOS hands to the board library.
    static QByteArray buildTouchInfoPacket(
        const QList<TouchInfo>& touches, TouchInfoPacketType type);

Q_SIGNALS:
    void connected(Taviosystem::Hub* pHub);
    void disconnected(Taviosystem::Hub* pHub);
    void hubReset(Taviosystem::Hub* pHub);
    void hubBusy(Taviosystem::Hub* pHub);
    void reenumerateAfterTimeout(const int nTimeout);
    void deviceListChanged();
    void voteReceived(Taviosystem::Hub* pHub, quint32 uid, int vote, int batterylow);
    void multichoiceSessionResponse(
        Taviosystem::Hub* pHub, quint32 uid, int questionId, QString response);
    void yesNoSessionResponse(Taviosystem::Hub* pHub, quint32 uid, int questionId,
        Taviosystem::Hub::YesNoResponse response);
    void trueFalseSessionResponse(Taviosystem::Hub* pHub, quint32 uid, int questionId,
        Taviosystem::Hub::TrueFalseResponse response);
    void likertSessionResponse(
        Taviosystem::Hub* pHub, quint32 uid, int questionId, int likertValue);
    void numericSessionResponse(
        Taviosystem::Hub* pHub, quint32 uid, int questionId, QString response);
    void sortInOrderSessionResponse(
        Taviosystem::Hub* pHub, quint32 uid, int questionId, QString response);
    void endUserNamingSessionResponse(
        Taviosystem::Hub* pHub, quint32 uid, int questionId, QString response);
    void textSessionResponse(
        Taviosystem::Hub* pHub, quint32 uid, int questionId, QString response, bool bIsValid);
    void messageSessionResponse(Taviosystem::Hub* pHub, quint32 uid, int questionId);
    void penEventReceived(Taviosystem::Hub* pHub, Taviosystem::Hub::PenEvent ePenEvent,
        quint8 nPenId, int nX, int nY, bool bTipPressed, bool bBarrelPressed);
    void touchEventReceived(
        Taviosystem::Hub* pHub, QList<Taviosystem::Hub::TouchInfo> listTouchInfo);
    void touchStatusEventReceived(Taviosystem::Hub* pHub, bool bRunning);
    void pinNamingSessionResponse(Taviosystem::Hub* pHub, quint32 uid, QString response);
    void batteryLow(Taviosystem::Hub* pHub, quint32 uid);
    void tessalyDeviceRegistered(
        QString name, quint32 uid, Taviosystem::Device::SubType subType, QString learnerDeviceType);
    void tessalyDeviceRemoved(int uid);
    void remoteControlMessage(QString from, QString type, QVariant data);
    void collaborationMessage(QVariantMap jsonMessage, QVariant data);
    void controllerRegister(bool isRegister);
    void tessalySessionDisconnected();
    void tessalySessionInactivityTimeMs(qint64);
    void asyncGetMsg(Taviosystem::Hub* pHub, quint32 uid, QByteArray getMsgData);
    void asyncReceiveMsg(
        Taviosystem::Hub* pHub, quint32 uid, QByteArray msg, bool expressionV2LatexFormat);

protected:
    Hub();

    void recordError(Error error);
    // Whether this hub keeps off the board library altogether (the server hubs, whose learners
    // are reached over the network): then every command, exchange and board setting is refused
    // with Error_NotSupported and nothing is written for its handle.
    void setOffWire(bool offWire) { m_offWire = offWire; }
    bool refuseOffWire();
    // The system for board settings; null while the hub keeps off the board library.
    TavioSystem* boardSystem() const;
    bool send(const QByteArray& command);
    // Sends a command that starts a session, with the session already in place (the hub may
    // answer at once); a refused write puts the previous session back.
    bool sendStartingSession(SessionType session, const QByteArray& command);
    // Runs one command-and-reply exchange: defined in the library's internal engine header.
    template <typename T>
    bool sendAndReceive(const QByteArray& command, T& reply, int timeoutMs);
    // Sends a command and collects every reply of list record class T until its end-of-list
    // packet arrives (true) or no reply comes within timeoutMs of the previous one (false,
    // Error_CommsFailure). The end-of-list packet itself is not returned.
    template <typename T>
    bool sendAndCollect(const QByteArray& command, QList<QByteArray>& packets, int timeoutMs);
    // Registers the waiting machinery for reply class T (call from constructors).
    template <typename T>
    void registerResponseHandler();
    // Registers list record class T, whose lists end with listTerminator on the wire.
    template <typename T>
    void registerListResponseHandler(const QByteArray& listTerminator);
    template <typename T>
    IResponseHandler* responseHandler() const;
    void reset(IResponseHandler* handler);
    bool getNextPacket(IResponseHandler* handler, QByteArray* packet, int timeoutMs);
    // Reads the lines of the virtual votes file (extra voting devices every 2.4 GHz hub lists):
    // one "serial + identifier#name" line per record. False when the file is missing or its
    // header is not one this version reads; a record cut short ends the list.
    bool readVirtualVoteFile(QStringList& lines);
    bool isRFChangeStatePacket(const QByteArray& packet) const;
    bool isReenumerartePacket(const QByteArray& packet) const;
    void RFChangeStatePacketReceived(const QByteArray& packet);
    void reenumerateDevicesReceived();
    void setSessionType(SessionType type) { m_sessionType = type; }
    TavioSystem* system() const { return m_system; }
    TavioSession* votingSession() const { return m_votingSession; }
    void deleteVotingSession();
    // Creates the state of every pen id 1 to MaximumPens and configures each pen on the hub
    // (hardware mode 1, report mode 0, pen type 0), as both radio hub kinds do when created.
    void initialisePens();

    int m_responseTimeout = 100; // milliseconds the engine waits for a reply
    int m_numTouchesSupported = -1;
    int m_numErasesSupported = -1;
    QTimer* m_reenumerateTimer = nullptr;
    PinNamingCallback m_pinNamingCallback = nullptr;
    void* m_pinNamingContext = nullptr;
    PenEventCallback m_penEventCallback = nullptr;
    void* m_penEventContext = nullptr;
    TouchEventCallback m_touchEventCallback = nullptr;
    void* m_touchEventContext = nullptr;
    TouchStatusEventCallback m_touchStatusEventCallback = nullptr;
    void* m_touchStatusEventContext = nullptr;
    TavioSystem* m_system = nullptr;
    QMap<QString, IResponseHandler*> m_responseHandlers;
    int m_handle = 0;
    quint64 m_uid = 0;
    std::atomic<bool> m_connected { false };
    std::atomic<Error> m_lastError { Error_Failed };
    TavioSession* m_votingSession = nullptr;
    std::atomic<SessionType> m_sessionType { SessionType_None };
    int m_version = 0;
    QHash<unsigned char, PenState*> m_penStates;
    IResponseHandler* m_currentResponseHandler = nullptr;
    std::shared_mutex m_lock;
    std::atomic<bool> m_waitingForTouchStatus { false };
    // When not negative, the re-enumeration timer runs this many milliseconds instead of the
    // delay the signal carries (lets tests avoid multi-second waits).
    int m_reenumerateDelayOverride = -1;
    std::atomic<bool> m_offWire { false };

private Q_SLOTS:
    void onReenumerateAfterTimeout(const int nTimeout);
    void reenumerateDevices();

private:
    void initialiseBase();
    // Records Error_NotSupported and answers false: the default of every operation that only
    // some hub kinds offer.
    bool refuseAsNotSupported();
    bool isTouchPacket(const QByteArray& packet) const;
    bool isTouchStatusPacket(const QByteArray& packet) const;
    void getTouchData(const QByteArray& packet, QList<TouchInfo>& list) const;
    bool findPenEvent(bool tip, unsigned char pen, bool barrel, bool third, PenEvent& event);
    void processPenPacket(const QByteArray& packet);
    void processTouchPacket(const QByteArray& packet);
    void processTouchStatusPacket(const QByteArray& packet);
    bool processVotePacket(const QByteArray& packet);
    bool processPinNamingPacket(const QByteArray& packet);
    void offerToWaitingHandler(const QByteArray& packet);
    bool runExchange(IResponseHandler* handler, const QByteArray& command,
        const QByteArray* endMarker, QList<QByteArray>* packets, int timeoutMs);
    void insertResponseHandler(const char* typeName, IResponseHandler* handler);
    IResponseHandler* findResponseHandler(const char* typeName) const;
};

} // namespace Taviosystem

Q_DECLARE_METATYPE(Taviosystem::Hub::TouchInfo)
Q_DECLARE_METATYPE(Taviosystem::Hub::PenEvent)
Q_DECLARE_METATYPE(Taviosystem::Hub::YesNoResponse)
Q_DECLARE_METATYPE(Taviosystem::Hub::TrueFalseResponse)
