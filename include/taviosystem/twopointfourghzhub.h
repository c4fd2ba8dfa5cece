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

/*!
    The current 2.4 GHz radio hub: keeps the host's copy of the devices registered on it, maps the
    radio addresses of answer packets to the uids the host knows, and routes every packet by the
    hub's current session.

    Made and owned by the system for every 2.4 GHz receiver it discovers. Besides the Hub
    interface it offers registration, naming, removal and clearing of learner devices; hosts
    usually reach these through the session objects of TavioSystem.

    Threads: packets arrive on the board library's packet thread, where answers, registrations
    and naming confirmations reach the host. The device lists are read on the caller's thread
    (host or event thread), which blocks while the hub answers. The lists and the address map
    are guarded by one lock that is never held while waiting for the hub or calling out to the
    host.
*/
class TAVIOSYSTEM_EXPORT TwoPointFourGHzHub : public Hub
{
    Q_OBJECT
public:
    /*! What state() found. */
    enum State {
        State_Idle = 0, //!< The hub is idle.
        State_Busy = 1, //!< The hub is in any other state.
        State_NotConnected = 2, //!< The receiver is away.
        State_CommsFailure = 3 //!< The hub did not answer.
    };
    Q_ENUM(State)

    /*!
        Hears a naming confirmation: the \a name the device \a uid now holds. Runs on the packet
        thread.
    */
    typedef void (*DeviceNamedCallback)(
        TwoPointFourGHzHub*, unsigned int uid, const QString& name, void* context);

    /*!
        \name Packet layout
        Offsets and kinds of the hub's reset, state and pen packets.
    */
    //!@{
    static constexpr int hubReset_Packet_Length = 3; //!< Hub reset packet: its length.
    static constexpr char hubReset_Packet_Control = char(0xA0); //!< Hub reset packet: its kind.
    static constexpr int hubStateChanged_Packet_Length = 4; //!< Hub state packet: its length.
    static constexpr char hubStateChanged_Packet_Control = 0x56; //!< Hub state packet: its kind.
    /*! Hub state packet: offset of the previous state. */
    static constexpr int Packet_Offset_PreviousState = 2;
    static constexpr int Packet_Offset_NewState = 3; //!< Hub state packet: offset of the new state.
    static constexpr int Packet_Offset_X = 3; //!< Pen packet: offset of x (16 bits, little-endian).
    static constexpr int Packet_Offset_Y = 5; //!< Pen packet: offset of y (16 bits, little-endian).
    static constexpr int Packet_Offset_PenId = 7; //!< Pen packet: offset of the pen id bits.
    static constexpr int Packet_Offset_Button = 7; //!< Pen packet: offset of the button bits.
    static constexpr int BoardPenCount = 2; //!< Pens of a registered board.
    //!@}

    /*!
        Makes the hub of the receiver \a handle and configures its pens; the system does this,
        never the host.
    */
    TwoPointFourGHzHub(TavioSystem* system, int handle, quint64 uid, bool connected, int version);
    /*! Destroys the hub, its devices and its sessions; the system does this. */
    ~TwoPointFourGHzHub() override;

    bool isPenPacket(const QByteArray& packet) override;
    void getPenData(const QByteArray& packet, unsigned char& pen, int& x, int& y, bool& tip,
        bool& barrel, bool& extra) override;
    /*! Whether state() is State_Busy; asks the hub, blocking the caller. */
    bool isHubBusy() override;
    /*! Whether a board with two pens is registered. */
    bool hasKX9Board() const override;
    /*! True. */
    bool supportsRegistration() const override { return true; }
    /*! 2 when a board is registered, else 0. */
    int penCount() const override;
    /*! -1. */
    int vendorId() const override { return -1; }
    /*! -1. */
    int productId() const override { return -1; }
    /*!
        Asks the board for its firmware (blocking): touch needs version 850 or later.
        \return false with Error_NotConnected, or Error_NotSupported when no board answers.
    */
    bool isTouchSupported() override;
    /*! False. */
    bool isEraseSupported() override { return false; }
    /*!
        Attached: reads every empty device list and the pen count (blocking). Away: drops the
        device lists (earlier pointers become invalid) and the session.
    */
    void setConnected(bool connected) override;
    /*! Hub::Type_TwoPointFourGHz. */
    Type type() override { return Type_TwoPointFourGHz; }
    /*! Asks the hub how many voting devices it can register; 0 without an answer. */
    unsigned short canRegisterVotingDevicesCount() override;
    /*!
        Asks the hub how many devices of \a type are registered (blocking).
        \return false with Error_NotConnected or Error_CommsFailure.
    */
    bool getDeviceCount(Device::Type type, int* count) override;
    /*!
        Asks the hub how many second-generation answer devices it holds; false without traffic
        for any other \a subType.
    */
    bool getExpressionTypeCount(Device::SubType subType, int* count) override;
    /*!
        Replaces \a list by the voters (with the virtual votes file's), answer devices, slates or
        pen expressions; other types give an empty list. A list marked for re-reading (after a
        registration, a clear or a radio change) is read from the hub first, blocking the caller.
        \return false with Error_NotConnected, or Error_CommsFailure when the read failed.
    */
    bool getDeviceList(Device::Type type, QList<Device*>* list) override;
    /*! Voters, answer devices, slates, then pen expressions; fails as getDeviceList(). */
    bool getCompleteDeviceList(QList<Device*>* list) override;
    void readRegisteredDevicesLists() override;
    void processPacket(const QByteArray& packet) override;
    bool processPinNamingSessionResponse(
        const QByteArray& packet, unsigned int& uid, QString& name) override;
    /*! Asks the hub for its state; HubState_Unknown with Error_CommsFailure without an answer. */
    HubState getHubState() override;
    bool setBacklight(unsigned char level, unsigned char value) override;
    /*! The uid the address map holds for the low 16 bits of \a address; 0 when none. */
    unsigned int getDeviceId(unsigned int address) override;
    /*!
        Sets the callback that hears the hub become busy or idle instead of
        hubBusy(Taviosystem::Hub*, bool); runs on the packet thread. A null \a callback is
        refused.
    */
    bool setHubBusyCallback(HubBusyCallback callback, void* context) override;
    /*!
        Sets the callback that hears low batteries instead of batteryLow(); runs on the packet
        thread. A null \a callback is refused.
    */
    bool setBatteryLowCallback(BatteryLowCallback callback, void* context) override;

    // Question and voting sessions: documented on Hub.
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
    /*! Whether no session runs, so that a new one may start. */
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
    /*!
        Replaces the files the devices of a generic session may fetch and the session description
        that lists them; the list survives a start, and a stop clears it.
    */
    void setApplicationFileList(const QList<ApplicationFileInfo>& files) override;
    bool asyncIsReadyToReceive(unsigned int uid) override;
    /*! The hub's enhanced question session, created on first use and owned by the hub. */
    EnhancedQuestionSession* enhancedQuestionSession() override;
    /*! The hub's enhanced generic session, created on first use and owned by the hub. */
    EnhancedGenericSession* getEnhancedGenericSession() override;

    /*!
        Turns the answer byte of a yes/no or true/false question into a Hub::YesNoResponse (or
        Hub::TrueFalseResponse) value: 'A' is yes (1), 'B' no (0), anything else 2.
    */
    static int translateToYesNoResponse(int answer);
    /*! Replaces the labels 'A' to 'F' in \a answer by the digits '1' to '6', in place. */
    static void translateToNumericResponse(QString& answer);

    // The 2.4 GHz hub's own operations. Their declaration order is their vtable order, which
    // hosts and subclasses built against this header rely on.
    /*!
        Asks the hub for its name (blocking).
        \return the name, or "???" (translated) with Error_NotConnected or Error_CommsFailure.
    */
    virtual QString name();
    /*!
        Called when an answer device registration window closes; a software hub gives its PIN back.
    */
    virtual void asEndExpressionRegSession();
    /*!
        Reads the hub's information record into \a info (blocking); false with
        Error_CommsFailure without an answer.
    */
    virtual bool getRegistrationInfo(InformationResponse* info);
    /*!
        Clears every registration from the hub and reads all lists again; blocks up to 6000 ms.
        \param response receives the hub's acknowledgement; may be null.
        \return false with Error_CommsFailure without the acknowledgement.
    */
    virtual bool clearHub(OKResponse* response);
    /*! Clears the voters; as clearHub(). */
    virtual bool clearHubOfVotes(OKResponse* response);
    /*! Clears the slates; as clearHub(). */
    virtual bool clearHubOfSlates(OKResponse* response);
    /*! Clears the boards and reads the pen count again; as clearHub(). */
    virtual bool clearHubOfBoards(OKResponse* response);
    /*! Clears the answer devices; as clearHub(). */
    virtual bool clearHubOfExpressions(OKResponse* response);
    /*! Clears the pen expressions; as clearHub(). */
    virtual bool clearHubOfPenExpressions(OKResponse* response);
    /*! Reads the pen expression list; this hub reports none, so it only answers true. */
    virtual bool readPenExpressionList();
    /*!
        Opens a registration window for answer devices under \a pin (p1 to p3 go to the hub
        unchanged); each new device is reported once by expressionDeviceRegistered() on the
        packet thread.
        \return false while any session runs or the hub is not idle (no error recorded), or with
        Error_CommsFailure when the command cannot be sent.
    */
    virtual bool startExpressionRegistrationSession(
        quint16 p1, quint8 p2, quint8 p3, const RegistrationCode& pin);
    /*!
        As startExpressionRegistrationSession(); the devices also ask their learners for a name
        of at most \a nameLength characters of \a characterType.
    */
    virtual bool startNamingExpressionRegistrationSession(quint16 p1, quint8 p2, quint8 p3,
        const RegistrationCode& pin, CharacterType characterType, bool flag, quint8 nameLength);
    /*!
        Closes the answer device window and re-reads the lists; blocks up to 6000 ms. Then calls
        asEndExpressionRegSession().
        \return true when none runs or the hub acknowledged; false while another session runs,
        or with Error_CommsFailure (the window is closed all the same).
    */
    virtual bool stopExpressionRegistrationSession();
    /*!
        Opens a voter window; as startExpressionRegistrationSession(), reported by
        voteDeviceRegistered().
    */
    virtual bool startVoteRegistrationSession(
        quint16 p1, quint8 p2, quint8 p3, const RegistrationCode& pin);
    /*! Closes the voter window; as stopExpressionRegistrationSession(). */
    virtual bool stopVoteRegistrationSession();
    /*!
        Opens a slate window; as startExpressionRegistrationSession(), reported by
        slateDeviceRegistered().
    */
    virtual bool startSlateRegistrationSession(
        quint16 p1, quint8 p2, quint8 p3, const RegistrationCode& pin);
    /*! Closes the slate window; as stopExpressionRegistrationSession(). */
    virtual bool stopSlateRegistrationSession();
    /*!
        Sends the removal of the answer device \a uid and starts the removal session; end it
        with stopRemoveExpressionDeviceSession().
        \return false when the device is not in the host's list, a session runs or the hub is
        not idle; Error_CommsFailure when the command cannot be sent.
    */
    virtual bool removeTavioexpression(unsigned int uid);
    /*! Ends a removal session and re-reads the answer devices; blocks up to 6000 ms. */
    virtual bool stopRemoveExpressionDeviceSession();
    /*! Removes the voter \a uid; as removeTavioexpression(). */
    virtual bool removeTaviote(unsigned int uid);
    /*! Ends a removal session and re-reads the voters. */
    virtual bool stopRemoveVoteDeviceSession();
    /*! Removes the slate \a uid; as removeTavioexpression(). */
    virtual bool removeTavioslate(unsigned int uid);
    /*! Ends a removal session and re-reads the slates. */
    virtual bool stopRemoveSlateDeviceSession();
    /*! Removes the pen expression \a uid; end with stopRemoveExpressionDeviceSession(). */
    virtual bool removePenExpression(unsigned int uid);
    /*!
        Sends \a name to the answer device \a uid and waits for its receipt into \a response.
        \return false, without traffic, when the device is not listed, another kind of session
        runs or the hub is busy; Error_CommsFailure without the receipt.
    */
    virtual bool nameExpression(
        unsigned int uid, const QString& name, ExpressionNameReceivedResponse* response);
    /*!
        Starts expression naming; confirmations reach the expression-named callback or
        expressionDeviceNamed(). False without an error while a session runs; Error_CommsFailure
        when the hub does not acknowledge (the session then stays started).
    */
    virtual bool startExpressionNamingSession();
    /*!
        Ends expression naming, re-reads the answer devices and clears the expression-named
        callback; blocks up to 6000 ms. False while another kind runs, or with
        Error_CommsFailure.
    */
    virtual bool stopExpressionNamingSession();
    /*! Starts voter naming; Error_Busy while a session runs, Error_CommsFailure when unsent. */
    bool startTavioteNamingSession();
    /*!
        Sends \a name (4 characters) to the voter \a uid, starting voter naming when none runs.
        False without an error when the voter is not listed or another kind runs.
    */
    bool nameTaviote(unsigned int uid, const QString& name);
    /*! Ends voter naming and re-reads the voters; blocks up to 6000 ms. */
    bool stopTavioteNamingSession();
    /*!
        Sends \a name (10 characters) to the slate \a uid, starting slate naming when none runs.
        False without an error when the slate is not listed or another kind runs.
    */
    bool nameSlate(unsigned int uid, const QString& name);
    /*! Ends slate naming and re-reads the slates; blocks up to 6000 ms. */
    bool stopSlateNamingSession();
    /*!
        Hands a whole device \a message from radio \a address to the receive callback, or
        asyncReceiveMsg(). Called by the long-message transport on the event thread.
    */
    virtual void doAsyncResponseCallback(const QByteArray& message, unsigned int address);
    /*!
        Sends a ready-made command and waits for the hub's OK; Error_CommsFailure without it.
        Used by the long-message transport, on the event thread or the host's while it sends.
    */
    virtual bool doSendAndReceive(const QByteArray& command);
    /*!
        Hands a device's request for a message to the get-message callback, or asyncGetMsg(),
        and notes that the device is ready. Called on the event thread; an unknown device is
        ignored.
    */
    virtual void processAsyncGetMessageRequest(unsigned int address, const QByteArray& data);

    /*!
        Asks the hub whether it is idle (blocking).
        \return State_NotConnected with Error_NotConnected, State_CommsFailure with
        Error_CommsFailure, else State_Idle or State_Busy.
    */
    State state();
    /*!
        Appends the voters as last read to \a list, without asking the hub; always true. The
        pointers stay valid until the next read of that list.
    */
    bool readTavioteList(QList<Device*>* list);
    /*! Appends the answer devices as last read; as readTavioteList(). */
    bool readTavioexpressionList(QList<Device*>* list);
    /*! Appends the slates as last read; as readTavioteList(). */
    bool readTavioSlateList(QList<Device*>* list);
    /*! Appends the pen expressions as last read; as readTavioteList(). */
    bool readPenExpressionList(QList<Device*>* list);
    /*! Asks the hub for its voter count; 0 when it fails. */
    int tavioteCount();
    /*! Asks the hub for its answer device count; 0 when it fails. */
    int tavioexpressionCount();
    /*! Asks the hub for its slate count; 0 when it fails. */
    int tavioSlateCount();
    /*! Asks the hub for its board count; 0 when it fails. */
    int tavioBoardCount();
    /*! Asks the hub for its pen expression count; 0 when it fails. */
    int penExpressionCount();
    /*! The listed voter \a uid (borrowed); null when absent. */
    Device* findVoteDevice(unsigned int uid);
    /*! The listed answer device \a uid (borrowed); null when absent. */
    Device* findExpressionDevice(unsigned int uid);
    /*! The listed slate \a uid (borrowed); null when absent. */
    Device* findSlateDevice(unsigned int uid);
    /*! The listed pen expression \a uid (borrowed); null when absent. */
    Device* findPenExpressionDevice(unsigned int uid);
    /*! Stores the radio address of the device \a uid; false when none is known. */
    bool getAddress(unsigned int uid, unsigned int& address);
    /*!
        Sets the callback that hears answer device naming confirmations instead of
        expressionDeviceNamed(); a null \a callback brings the signal back. The expression naming
        session object sets it for the host.
    */
    void setExpressionDeviceNamedCallback(DeviceNamedCallback callback, void* context);
    /*!
        Sets the callback that hears voter naming confirmations instead of voteDeviceNamed(); a
        null \a callback brings the signal back.
    */
    void setVoteDeviceNamedCallback(DeviceNamedCallback callback, void* context);

    // Signals of the 2.4 GHz hub, emitted on the packet thread (besides those of Hub).
Q_SIGNALS:
    /*! The answer device \a uid confirmed its new \a name (no named callback set). */
    void expressionDeviceNamed(QString name, quint32 uid);
    /*!
        An answer device joined during a registration window: its \a name, \a uid and generation
        (SubType_None for a pen expression). Reported once per device and window.
    */
    void expressionDeviceRegistered(
        QString name, quint32 uid, Taviosystem::Device::SubType subType);
    /*! A voter joined during a registration window; once per device and window. */
    void voteDeviceRegistered(QString name, quint32 uid);
    /*! A slate joined during a registration window; once per device and window. */
    void slateDeviceRegistered(QString name, quint32 uid);
    /*! The voter \a uid confirmed its new \a name (no named callback set). */
    void voteDeviceNamed(QString name, quint32 uid);
    /*! The slate \a uid confirmed its new \a name. */
    void slateDeviceNamed(QString name, quint32 uid);
    /*! Declared for hosts that listen for it; this hub does not emit it. */
    void registrationChanged(Taviosystem::Hub* pHub);
    /*! The hub became busy (\a bBusy) or idle (no busy callback set). */
    void hubBusy(Taviosystem::Hub* pHub, bool bBusy);

    //! \cond internal
protected:
    TwoPointFourGHzHub();

    virtual bool readExpressionList();
    virtual bool readVoteList();
    virtual bool readSlateList();
    virtual bool readVirtualVoteList();
    bool readPenCount();
    // Hands a complete device message to the session's receive callback, or the asyncReceiveMsg
    // signal (runs on the event thread).
    void deliverReceivedMessage(unsigned int uid, const QByteArray& message);
    // Hands one answer to the host: to the callback the host gave for `session`, else by the
    // session's signal. `text` is the answer of text-like sessions (valid marks a text answer),
    // `value` that of yes/no, true/false and Likert sessions; a message has neither.
    void deliverAnswer(SessionType session, unsigned int uid, int questionId, const QString& text,
        int value, bool valid, void* context);
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

    // A device's new name: to the host's naming callback (expression or vote), else the signal.
    void reportNamed(bool expression, unsigned int uid, const QString& name);
    // The checks every question start makes first: the hub is connected (Error_NotConnected)
    // and the question id is at least 1 (Error_BadQuestionId).
    bool checkQuestionStart(int questionId);

private:
    void registerResponseHandlers();
    bool clearWith(const QByteArray& command, OKResponse* response);
    bool readList(ListKind kind);
    bool removeDevice(ListKind kind, unsigned int uid);
    bool processHubResetPacket(const QByteArray& packet);
    bool processBusyChangePacket(const QByteArray& packet);
    void processBatteryLowPacket(const QByteArray& packet);
    void processSessionPacket(const QByteArray& packet);
    bool isNewInWindow(quint32 uid, std::initializer_list<ListKind> lists);
    Device* findDevice(ListKind kind, unsigned int uid) const;
    void adopt(Device* device);

    // Question sessions.
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
    //! \endcond
};

} // namespace Taviosystem
