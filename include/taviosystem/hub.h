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

/*!
    A receiver the host talks to as one object: a radio hub or a software hub.

    Hubs are created and owned by the system; the host only borrows the pointers it gets from
    TavioSystem::getHubList(), TavioSystem::newHubConnected() or the connection callback, and
    never deletes them. A hub whose receiver goes away is kept, marked not connected, and the
    same object comes back with its receiver. The concrete kinds are TwoPointFourGHzHub (with
    VirtualTwoPointFourGHzHub) and LegacyHub; operations a kind does not offer record
    Error_NotSupported and fail.

    Failures are never thrown: an operation answers false, null or 0 and records a code that
    getLastError() returns; a success does not clear it.

    Every event is offered twice: to a callback when the host set one (then the callback alone
    is used) and otherwise as a signal. Threads: host operations run on the caller's thread, and
    those that wait for the hub block it (one command-and-reply exchange at a time in the whole
    process). Answers, votes, pen and touch events arrive on the board library's packet thread,
    and so do their callbacks and directly connected signals; never wait for the hub from inside
    one of them. Device list re-reads run on the system's event thread; the re-enumeration timer
    runs on the thread that owns the hub (the one that created the system).
*/
class TAVIOSYSTEM_EXPORT Hub : public QObject, public AbstractAsEventHandler
{
    Q_OBJECT
public:
    /*! What the last failing operation recorded; errorAsString() prints the key. */
    enum Error {
        Error_None = 0, //!< Nothing recorded.
        Error_Failed = 1, //!< The value before anything was recorded.
        Error_NotSupported = 2, //!< This hub kind, or the board, does not offer it.
        Error_NotConnected = 3, //!< The receiver is away.
        Error_CommsFailure = 4, //!< The command could not be sent, or no reply came in time.
        Error_Busy = 5, //!< Another session runs.
        Error_BadQuestionId = 6, //!< A question id below 1.
        Error_StringTooLong = 7, //!< The question text does not fit the question command.
        Error_NumOfOptionsNotWithinTheRange = 8, //!< Options outside 1 to 6.
        Error_NumOfResponsesNotWithinTheRange = 9, //!< Responses outside 1 to 6.
        Error_ScaleValueNotWithinTheRange = 10, //!< A Likert scale outside 4 to 9.
        Error_ResponseSizeNotWithinTheRange = 11, //!< A maximum answer size outside 0 to 255.
        Error_NumOfResponsesExceedsNumOfOptions = 12, //!< More responses than options.
        Error_InCompleteAnswer = 13, //!< A long answer was delivered with pieces missing.
        Error_NameLengthNotWithinTheRange = 14, //!< A name length outside 1 to 14.
        Error_CannotStartSessionBecauseCurrentlyInSession = 15, //!< Another session runs.
        Error_InvalidSessionForRequest = 16, //!< The request needs another session to run.
        Error_InvalidParameter = 17, //!< An unknown device, or a message too long.
        Error_InvalidMMLEquation = 18, //!< Maths in a question text that does not convert.
        Error_InvalidEquationAnswer = 19 //!< A maths answer that does not convert to MathML.
    };
    Q_ENUM(Error)

    /*! The hub family, as type() reports it. */
    enum Type {
        Type_Legacy = 1, //!< LegacyHub.
        Type_TwoPointFourGHz = 2 //!< TwoPointFourGHzHub, and the software hubs.
    };
    Q_ENUM(Type)

    /*! How the receiver is attached, as connectionType() reports it. */
    enum ConnectionType {
        ConnectionType_Serial = 1, //!< A serial line (legacy hubs only).
        ConnectionType_Usb = 2 //!< USB, and every hub that is not a serial legacy hub.
    };
    Q_ENUM(ConnectionType)

    /*! The session a hub runs, as sessionType() reports it. */
    enum SessionType {
        SessionType_None = 0, //!< Idle.
        SessionType_Multichoice = 1, //!< A multiple-choice question.
        SessionType_YesNo = 2, //!< A yes/no question.
        SessionType_TrueFalse = 3, //!< A true/false question.
        SessionType_Likert = 4, //!< A Likert scale question.
        SessionType_Numeric = 5, //!< A numeric question.
        SessionType_Text = 6, //!< A text question.
        SessionType_SortInOrder = 7, //!< A sort-in-order question.
        SessionType_Message = 8, //!< A message to read.
        SessionType_Voting = 9, //!< Taviote voting.
        SessionType_ExpressionRegistration = 10, //!< Answer device registration window.
        SessionType_VoteRegistration = 11, //!< Voter registration window.
        SessionType_SlateRegistration = 12, //!< Slate registration window.
        SessionType_ExpressionNaming = 13, //!< Teacher naming of answer devices.
        SessionType_VoteNaming = 14, //!< Teacher naming of voters.
        SessionType_SlateNaming = 15, //!< Teacher naming of slates.
        SessionType_RemoveDevice = 16, //!< A device removal.
        SessionType_VoteTest = 17, //!< Voter test (legacy hubs).
        SessionType_SlatePinRegistration = 18, //!< Slate PIN handshake (legacy hubs).
        SessionType_Async = 19, //!< The enhanced question session's transport.
        SessionType_EndUserNaming = 20, //!< Learners type their own names.
        SessionType_PinNaming = 21, //!< Learners key names on voters.
        SessionType_EnhancedGeneric = 22, //!< The enhanced generic session.
        SessionType_Stopping = 23 //!< A stop command is on its way.
    };
    Q_ENUM(SessionType)

    /*!
        The hub's own state, as getHubState() reports it: idle, or one value per further state
        code of the hub's firmware (HubState_Code followed by the code).
    */
    enum HubState {
        HubState_Unknown = 0, //!< Not read.
        HubState_Idle = 1, //!< Idle.
        HubState_Code1 = 2, //!< Firmware state 1.
        HubState_Code3 = 3, //!< Firmware state 3.
        HubState_Code5 = 4, //!< Firmware state 5.
        HubState_Code8 = 5, //!< Firmware state 8.
        HubState_Code9 = 6, //!< Firmware state 9.
        HubState_Code12 = 7, //!< Firmware state 12.
        HubState_Code13 = 8, //!< Firmware state 13.
        HubState_Code17 = 9, //!< Firmware state 17.
        HubState_Code18 = 10, //!< Firmware state 18.
        HubState_Code32 = 11, //!< Firmware state 32.
        HubState_Code33 = 12, //!< Firmware state 33.
        HubState_Code34 = 13, //!< Firmware state 34.
        HubState_Code35 = 14, //!< Firmware state 35.
        HubState_Code48 = 15 //!< Firmware state 48.
    };
    Q_ENUM(HubState)

    /*! What a pen packet changed, as penEventReceived() reports it. */
    enum PenEvent {
        PenEvent_None = 0, //!< Never reported.
        PenEvent_Move = 1, //!< The pen moved; buttons unchanged.
        PenEvent_TipDown = 2, //!< The tip was pressed.
        PenEvent_TipUp = 3, //!< The tip was released.
        PenEvent_BarrelDown = 5, //!< The barrel button was pressed (wins over a tip change).
        PenEvent_BarrelUp = 6 //!< The barrel button was released.
    };
    Q_ENUM(PenEvent)

    /*! A pen's type, set with setPenType(). */
    enum PenType {
        PenType_0 = 4000, //!< Type 0, the default.
        PenType_1 = 4001 //!< Type 1.
    };
    /*! A pen's hardware mode, set with setPenHardwareMode(). */
    enum PenHardwareMode {
        PenHardwareMode_0 = 5000, //!< Mode 0.
        PenHardwareMode_1 = 5001, //!< Mode 1, set when the hub is created.
        PenHardwareMode_2 = 5002 //!< Mode 2.
    };
    /*! Where a pen's positions go, set with setPenReportMode(). */
    enum PenReportMode {
        PenReportMode_0 = 6000, //!< Mode 0, set when the hub is created.
        PenReportMode_1 = 6001, //!< Mode 1.
        PenReportMode_2 = 6002 //!< Mode 2.
    };
    typedef unsigned char PenMode; //!< Passed to the board library unchanged.
    typedef unsigned char TouchReportMode; //!< Passed to the board library unchanged.

    /*! A yes/no answer. */
    enum YesNoResponse {
        YesNoResponse_No = 0, //!< No.
        YesNoResponse_Yes = 1, //!< Yes.
        YesNoResponse_Invalid = 2 //!< The third answer, or anything else.
    };
    Q_ENUM(YesNoResponse)
    /*! A true/false answer. */
    enum TrueFalseResponse {
        TrueFalseResponse_False = 0, //!< False.
        TrueFalseResponse_True = 1, //!< True.
        TrueFalseResponse_Invalid = 2 //!< The third answer, or anything else.
    };
    Q_ENUM(TrueFalseResponse)
    /*! How voters vote, given to startVotingSession(). */
    enum VotingMode {
        VotingMode_B = 0, //!< Mode B.
        VotingMode_M = 1 //!< Mode M.
    };
    /*! What sendTouchInfoToOS() hands over. */
    enum TouchInfoPacketType {
        TouchInfoPacketType_Touch = 0, //!< Touch points.
        TouchInfoPacketType_Pen = 1 //!< Pen points.
    };

    /*! One touch point of a board's touch report. */
    struct TouchInfo
    {
        int id = 0; //!< The touch's id, 0 to 127.
        int x = 0; //!< Horizontal position.
        int y = 0; //!< Vertical position.
        int radius = 0; //!< Size of the contact.
        bool touching = false; //!< Still touching.
    };

    /*!
        \name Host callbacks
        Each receives the hub and the context given when it was set, unchanged. They run on the
        board library's packet thread, with no library lock held.
    */
    //!@{
    /*! A pen event: the pen, its position and its buttons (setPenEventCallback()). */
    typedef void (*PenEventCallback)(
        Hub*, unsigned int penId, int x, int y, bool tip, bool barrel, void* context);
    /*! A touch report (setTouchEventCallback()). */
    typedef void (*TouchEventCallback)(Hub*, QList<TouchInfo>, void* context);
    /*! The touch system started or stopped (setTouchStatusEventCallback()). */
    typedef void (*TouchStatusEventCallback)(Hub*, bool running, void* context);
    /*! A name keyed on a voter (startTaviotePinNamingSession()). */
    typedef void (*PinNamingCallback)(Hub*, unsigned int uid, const QString& name, void* context);
    /*! A vote: the key pressed and the battery state (startVotingSession()). */
    typedef void (*VotingCallback)(
        Hub*, unsigned int uid, int vote, bool batteryLow, void* context);
    /*! The hub became busy or idle (setHubBusyCallback()). */
    typedef void (*HubBusyCallback)(Hub*, bool busy, void* context);
    /*! A device reported a low battery (setBatteryLowCallback()). */
    typedef void (*BatteryLowCallback)(Hub*, unsigned int uid, void* context);
    /*! An answer given as text: multiple choice, numeric, sort in order. */
    typedef void (*StringResponseCallback)(
        Hub*, unsigned int uid, int questionId, const QString& response, void* context);
    /*! A yes/no answer. */
    typedef void (*YesNoResponseCallback)(
        Hub*, unsigned int uid, int questionId, YesNoResponse response, void* context);
    /*! A true/false answer. */
    typedef void (*TrueFalseResponseCallback)(
        Hub*, unsigned int uid, int questionId, TrueFalseResponse response, void* context);
    /*! A Likert answer: the point chosen. */
    typedef void (*LikertResponseCallback)(
        Hub*, unsigned int uid, int questionId, int value, void* context);
    /*! A text answer; \c valid is false for a maths answer that did not convert to MathML. */
    typedef void (*TextResponseCallback)(
        Hub*, unsigned int uid, int questionId, const QString& response, void* context, bool valid);
    /*! A message was read. */
    typedef void (*MessageResponseCallback)(Hub*, unsigned int uid, int questionId, void* context);
    /*! A name a learner typed (startExpressionEnduserNamingSession()). */
    typedef void (*EndUserNamingCallback)(
        Hub*, unsigned int uid, int questionId, const QString& name, void* context);
    /*! A device asks for a message (startAsyncSession()); runs on the event thread. */
    typedef void (*AsyncGetMessageCallback)(
        Hub*, unsigned int uid, const QByteArray& data, void* context);
    /*! A whole message from a device; runs on the event thread. */
    typedef void (*AsyncReceiveMessageCallback)(Hub*, unsigned int uid, const QByteArray& message,
        void* context, bool expressionV2LatexFormat);
    //!@}

    /*!
        \name Question limits
        The bounds that question starts and EnhancedQuestionSession::sendQuestion() check.
    */
    //!@{
    static constexpr int MaximumPens = 3; //!< Pen ids run from 1 to this.
    static constexpr int minNumberOfOptions = 1; //!< Fewest options of a choice question.
    static constexpr int maxNumberOfOptions = 6; //!< Most options of a choice question.
    static constexpr int minNumberOfResponses = 1; //!< Fewest responses a learner gives.
    static constexpr int maxNumberOfResponses = 6; //!< Most responses a learner gives.
    static constexpr int minLikertScaleValue = 4; //!< Smallest Likert scale.
    static constexpr int maxLikertScaleValue = 9; //!< Largest Likert scale.
    static constexpr int minResponseSize = 0; //!< Smallest maximum answer size.
    static constexpr int maxResponseSize = 255; //!< Largest maximum answer size.
    static constexpr int maxEndUserNameLength = 14; //!< Longest end-user name.
    //!@}
    /*!
        \name Protocol constants
        Timings, commands and packet layouts shared by the hub kinds; hosts rarely need them.
    */
    //!@{
    static constexpr int m_nFlashWriteResponseMaximumWaitTime = 6000; //!< Milliseconds.
    static constexpr int m_nLegacySerialHubResponseMaximumWaitTime = 160; //!< Milliseconds.
    static constexpr char chEndOfString = 13; //!< Carriage return that ends every text command.
    static const char* const cmdPenType; //!< The pen type command, ":PK".
    static const char* const cmdPenHardwareMode; //!< The pen hardware mode command, ":PN".
    static const char* const cmdTouchStatusQuery; //!< The touch status query, ":QT".

    /*! Pen packet (USB framing): offset of the length byte. */
    static constexpr int PenPacket_Offset_Length = 0;
    static constexpr char PenPacket_Length = 8; //!< Pen packet (USB framing): its length.
    /*! Pen packet (USB framing): offset of the kind byte. */
    static constexpr int PenPacket_Offset_Control = 1;
    static constexpr char PenPacket_Control = 0x21; //!< Pen packet (USB framing): its kind.
    /*! Pen packet (serial framing): offset of the length byte. */
    static constexpr int PenPacket_Serial_Offset_Length = 0;
    static constexpr char PenPacket_Serial_Length = 9; //!< Pen packet (serial framing): its length.
    /*! Pen packet (serial framing): offset of the kind byte. */
    static constexpr int PenPacket_Serial_Offset_Control = 2;
    static constexpr char PenPacket_Serial_Control = 1; //!< Pen packet (serial framing): its kind.
    static constexpr int TouchPacket_Offset_Control = 1; //!< Touch packet: offset of the kind byte.
    static constexpr char TouchPacket_Control = 0x45; //!< Touch packet: its kind.
    /*! Touch packet: bytes before the first touch. */
    static constexpr int TouchPacket_Header_Length = 2;
    static constexpr int Touch_Length = 7; //!< Bytes of one touch.
    static constexpr int Touch_Id_Offset = 0; //!< Touch: offset of the id byte.
    /*! Touch: the id bits of the id byte. */
    static constexpr unsigned char Touch_Id_Data_Mask = 0x7F;
    /*! Touch: the touching bit of the id byte. */
    static constexpr unsigned char Touch_Status_Data_Mask = 0x80;
    static constexpr int Touch_X_Offset = 1; //!< Touch: offset of x (16 bits, little-endian).
    static constexpr int Touch_Y_Offset = 3; //!< Touch: offset of y (16 bits, little-endian).
    /*! Touch: offset of the radius (16 bits, little-endian). */
    static constexpr int Touch_Radius_Offset = 5;
    /*! Touch status packet: offset of the length byte. */
    static constexpr int TouchStatusPacket_Offset_Length = 0;
    static constexpr int TouchStatusPacket_Length = 8; //!< Touch status packet: its length.
    /*! Touch status packet: offset of the kind byte. */
    static constexpr int TouchStatusPacket_Offset_Control = 1;
    /*! Touch status packet: its kind. */
    static constexpr char TouchStatusPacket_Control = char(0xA5);
    /*! Touch status packet: offset of the status. */
    static constexpr int TouchStatusPacket_Offset_Status = 6;
    /*! Touch status packet: offset of the touch count. */
    static constexpr int TouchStatusPacket_Offset_Touches = 7;
    /*! Re-enumeration packet: offset of the kind byte. */
    static constexpr int ReenumerartePacket_Offset_Control = 1;
    /*! Re-enumeration packet: its kind. */
    static constexpr char ReenumerartePacket_Control = char(0xA0);
    /*! Radio state packet: offset of the kind byte. */
    static constexpr int RFChangeStatePacket_Offset_Control = 1;
    static constexpr char RFChangeStatePacket_Control = 0x56; //!< Radio state packet: its kind.
    /*! Radio state packet: offset of the previous state. */
    static constexpr int RFChangeStatePacket_Offset_PreviousState = 2;
    /*! Radio state packet: offset of the new state. */
    static constexpr int RFChangeStatePacket_Offset_NewState = 3;
    static constexpr int ReenumerateDelay = 3000; //!< Milliseconds before lists are re-read.
    /*! Touch status: the touch system is stopped. */
    static constexpr unsigned char TouchStatus_Stopped = 0;
    /*! Touch status: the touch system runs. */
    static constexpr unsigned char TouchStatus_Running = 5;

    //!@}
    /*!
        The lock that makes every command-and-reply exchange of every hub one at a time. Never
        take it from host code.
    */
    static std::mutex m_sendReceiveMutex;

    /*!
        Makes a hub of \a system for the receiver \a handle; the system does this when it
        discovers a receiver, never the host.
    */
    Hub(TavioSystem* system, int handle, quint64 uid, bool connected, int version);
    /*! Destroys the hub; the system does this at TavioSystem::shutdown(). */
    ~Hub() override;

    /*! The receiver's handle, as the system's per-handle operations take it. */
    int handle() const { return m_handle; }
    /*! The same as handle(). */
    int getInstance() const { return m_handle; }
    /*! Whether the receiver is attached; a hub object outlives its receiver. */
    bool isConnected() const { return m_connected; }
    /*! The code the last failing operation recorded; a success does not clear it. */
    Error getLastError() const { return m_lastError; }
    /*! The key of \a error ("Error_CommsFailure"); empty for a value outside the enumeration. */
    static QString errorAsString(Error error);
    /*!
        The virtual votes file, which lists extra voting devices every 2.4 GHz hub adds to its
        voters: under the machine-wide application-data folder.
    */
    static QString virtualVoteFilePath();
    /*! The session the hub runs. */
    SessionType sessionType() const { return m_sessionType; }

    /*! Takes the board library's lock (TavioSystem::lockDriver()). */
    void lockDriver();
    /*! Releases the board library's lock. */
    void unlockDriver();

    /*! \name Board settings
        Forwarded to the board library with this hub's handle; without a library they do nothing
        and the getters answer the library's defaults.
    */
    //!@{
    /*! Hands touch input to the operating system, or not. */
    void enableEventRedirection(bool enable);
    /*! Whether touch input goes to the operating system. */
    bool getEnableEventRedirection();
    /*! Turns the board's LATE detection on or off. */
    void setLATEDetection(bool enable);
    /*! Whether the board's LATE detection is on. */
    bool getLATEDetection();
    /*! Sets how the board reports pen coordinates. */
    void setPenMode(PenMode mode);
    /*! How the board reports pen coordinates. */
    PenMode getPenMode();
    /*! Sets where the board's touch reports go. */
    void setTouchReportMode(TouchReportMode mode);
    /*! Stores in \a mode where the board's touch reports go. */
    void getTouchReportMode(TouchReportMode* mode);
    /*! Sets where the positions of \a pen go. */
    void setPenReportMode(unsigned char pen, PenReportMode mode);
    /*! Where the positions of \a pen go; \a mode is left alone for an unknown answer. */
    void getPenReportMode(unsigned char pen, PenReportMode* mode);
    //!@}
    /*!
        Sets the type of \a pen (1 to 3) on the hub.
        \return false with Error_CommsFailure when the command cannot be sent.
    */
    bool setPenType(unsigned char pen, PenType type);
    /*! The type the hub was created with for \a pen; \a type is left alone for an unknown pen. */
    void getPenType(unsigned char pen, PenType* type);
    /*!
        Sets the hardware mode of \a pen (1 to 3) on the hub.
        \return false with Error_CommsFailure when the command cannot be sent.
    */
    bool setPenHardwareMode(unsigned char pen, PenHardwareMode mode);
    /*! The stored hardware mode of \a pen; \a mode is left alone for an unknown pen. */
    void getPenHardwareMode(unsigned char pen, PenHardwareMode* mode);
    /*!
        Asks the board whether its touch system runs; blocks up to 100 ms.
        \return false when it does not, and with Error_NotSupported when the board does not
        answer (Error_NotConnected without the receiver).
    */
    bool isTouchRunning();

    //! \cond internal
    // The virtual interface every hub kind fills in.
private:
    virtual bool getTouchStatus(unsigned char* status, unsigned char* touches);
    //! \endcond

public:
    /*! Whether \a packet is a pen packet of this hub's framing. Used on the packet thread. */
    virtual bool isPenPacket(const QByteArray& packet) = 0;
    /*!
        Decodes a pen packet: the \a pen id, its position, tip and barrel buttons and whether it
        is in range (\a extra). Used on the packet thread.
    */
    virtual void getPenData(const QByteArray& packet, unsigned char& pen, int& x, int& y, bool& tip,
        bool& barrel, bool& extra)
        = 0;
    /*! The hub's serial number. */
    virtual quint64 uid() const;
    /*! The firmware version the board library reported. */
    virtual int getVersion() const;
    /*! Whether the hub is busy; a 2.4 GHz hub asks the hub (blocks), a legacy hub never is. */
    virtual bool isHubBusy() = 0;
    /*! Whether a dual-pen board is attached. */
    virtual bool hasKX9Board() const = 0;
    /*! Whether learner devices can be registered to this hub. */
    virtual bool supportsRegistration() const = 0;
    /*! The number of pens of the attached board. */
    virtual int penCount() const = 0;
    /*! The receiver's USB vendor id; -1 when unknown. */
    virtual int vendorId() const = 0;
    /*! The receiver's USB product id; -1 when unknown. */
    virtual int productId() const = 0;
    /*!
        The number of touches the board reports at once. Asked of the board once (blocking up
        to 100 ms); 0 when it does not answer, and then asked again next time.
    */
    virtual int getNumTouchesSupported();
    /*! Whether the board takes touch input. */
    virtual bool isTouchSupported() = 0;
    /*! The number of erasers the board supports; -1 when unknown. */
    virtual int getNumErasesSupported();
    /*! Whether the board supports erasers. */
    virtual bool isEraseSupported() = 0;
    /*! Marks the receiver attached or away; the system calls it during discovery. */
    virtual void setConnected(bool connected);
    /*! The hub family. */
    virtual Type type() = 0;
    /*! Whether this is a software hub rather than a radio receiver. */
    virtual bool isVirtualHub();
    /*! Whether this is the classroom-server hub. */
    virtual bool isRondel2Hub();
    /*! Whether this is the cloud classroom hub. */
    virtual bool isTessalyHub();
    /*! How many voting devices the hub can register; 0 when unknown. */
    virtual unsigned short canRegisterVotingDevicesCount();
    /*!
        Stores in \a count how many devices of \a type are registered.
        \return false with Error_NotConnected without the receiver, or Error_CommsFailure when a
        hub that is asked does not answer.
    */
    virtual bool getDeviceCount(Device::Type type, int* count) = 0;
    /*! Stores the number of answer devices of generation \a subType; false where not counted. */
    virtual bool getExpressionTypeCount(Device::SubType subType, int* count);
    /*!
        Replaces \a list by the hub's devices of \a type (borrowed pointers, valid until the
        hub's next list read; see Device). A list marked for re-reading is read from the hub
        first, blocking the caller.
        \return false with Error_NotConnected without the receiver, or when a read fails
        (Error_CommsFailure); true with an empty list for a type the hub does not keep.
    */
    virtual bool getDeviceList(Device::Type type, QList<Device*>* list) = 0;
    /*! Replaces \a list by all the hub's devices; fails as getDeviceList(). */
    virtual bool getCompleteDeviceList(QList<Device*>* list) = 0;
    /*!
        Reads every device list again and emits deviceListChanged(). The system runs it on the
        event thread after the radio changed; earlier device pointers become invalid.
    */
    virtual void readRegisteredDevicesLists() = 0;
    /*! The cloud client of the cloud classroom hub; null for every other hub. */
    virtual PresenterClient* getTessalyClient();
    /*!
        Processes one packet from the receiver. Runs on the packet thread; the system calls it.
        The bytes may belong to the board library and are valid only during the call: whatever
        keeps a packet makes its own copy. A subclass calls this first and then goes on with its
        own steps.
    */
    virtual void processPacket(const QByteArray& packet);
    /*! Shows an image card to the cloud classroom; false on every other hub. */
    virtual bool sendTessalyImageCard(const QByteArray& image, bool flag);
    /*! Publishes a message to the cloud classroom; false on every other hub. */
    virtual bool publishTessalyCollaborationMessage(QString type, QString message, QString data);
    /*! Tells the cloud classroom the presenter is active; nothing on every other hub. */
    virtual void sendTessalyPresenterIsActiveToRemote();
    /*! Tells the cloud classroom the current lesson; nothing on every other hub. */
    virtual void sendTessalyCurrentLessonToRemote(QString lessonId, QString lessonName);
    /*! Tells the cloud classroom the current card; nothing on every other hub. */
    virtual void sendTessalyCurrentCardToRemote(int card, int cardCount);
    /*! Removes a learner from the cloud classroom; nothing on every other hub. */
    virtual void removeTessalyLearner(unsigned int uid);
    /*! Sets the image of the cloud classroom's poll; nothing on every other hub. */
    virtual void setTessalyPollImage(const QByteArray& image);
    /*! Stops the cloud classroom's poll; nothing on every other hub. */
    virtual void stopTessalyPoll();
    /*! Pauses the cloud classroom's poll; nothing on every other hub. */
    virtual void pauseTessalyPoll();
    /*! Resumes the cloud classroom's poll; nothing on every other hub. */
    virtual void resumeTessalyPoll();
    /*! The cloud client's last error text; empty on every other hub. */
    virtual QString getTessalyLastError();
    /*! True for 1 to 6 options; else records Error_NumOfOptionsNotWithinTheRange. */
    virtual bool isValidNumberOfOptions(int n);
    /*! True for 1 to 6 responses; else records Error_NumOfResponsesNotWithinTheRange. */
    virtual bool isValidNumberOfResponses(int n);
    /*! True for a scale of 4 to 9; else records Error_ScaleValueNotWithinTheRange. */
    virtual bool isValidLikertScaleValue(int n);
    /*! True for 0 to 255; else records Error_ResponseSizeNotWithinTheRange. */
    virtual bool isValidMaxResponseSize(int n);
    /*! True for 1 to 14; else records Error_NameLengthNotWithinTheRange. */
    virtual bool isValidMaxNameLength(int n);
    /*!
        Decodes a PIN naming answer into the voter's \a uid and the \a name it keyed. Used on the
        packet thread.
    */
    virtual bool processPinNamingSessionResponse(
        const QByteArray& packet, unsigned int& uid, QString& name)
        = 0;
    /*!
        Starts Taviote voting: each key press reaches \a callback (or voteReceived() without
        one) on the packet thread. A legacy hub first enables each listed voter, blocking the
        caller; a key held down counts once.
        \return false with Error_CommsFailure when the hub cannot be prepared or the command
        cannot be sent.
    */
    virtual bool startVotingSession(VotingMode mode, VotingCallback callback, void* context);
    /*!
        Asks a multiple-choice question: each answer reaches \a callback, or
        multichoiceSessionResponse() without one, on the packet thread, written as
        \a displayOption labels the options.
        \param questionId the host's number for the question, 1 or more; answers carry it.
        \param numOptions options shown, 1 to 6.
        \param numResponses options each learner picks, 1 to \a numOptions.
        \param timeUnit, time the question's time limit.
        \param context handed back to every callback of this hub's sessions (the latest start
        sets it for all of them).
        \return true when the question went out; otherwise false with Error_NotConnected,
        Error_BadQuestionId, Error_NumOfOptionsNotWithinTheRange,
        Error_NumOfResponsesNotWithinTheRange, Error_NumOfResponsesExceedsNumOfOptions,
        Error_CannotStartSessionBecauseCurrentlyInSession or Error_CommsFailure. The base
        records Error_NotSupported.
    */
    virtual bool startMultichoiceSession(int questionId, int numOptions, int numResponses,
        DisplayOption displayOption, TimeUnit timeUnit, int time, StringResponseCallback callback,
        void* context);
    /*!
        Asks a yes/no question, with a third answer when \a thirdAnswer is set. Answers reach
        \a callback or yesNoSessionResponse() on the packet thread.
        \return false with Error_NotConnected, Error_BadQuestionId,
        Error_CannotStartSessionBecauseCurrentlyInSession or Error_CommsFailure;
        Error_NotSupported in the base.
    */
    virtual bool startYesNoSession(int questionId, bool thirdAnswer, TimeUnit timeUnit, int time,
        YesNoResponseCallback callback, void* context);
    /*!
        Asks a true/false question; as startYesNoSession(), answers by trueFalseSessionResponse().
    */
    virtual bool startTrueFalseSession(int questionId, bool thirdAnswer, TimeUnit timeUnit,
        int time, TrueFalseResponseCallback callback, void* context);
    /*!
        Asks for a point on a Likert \a scale (4 to 9). Answers reach \a callback or
        likertSessionResponse() on the packet thread.
        \return false as startYesNoSession(), or with Error_ScaleValueNotWithinTheRange.
    */
    virtual bool startLikertSession(int questionId, int scale, TimeUnit timeUnit, int time,
        LikertResponseCallback callback, void* context);
    /*!
        Asks for a number of at most \a maxResponseSize characters, showing \a question on the
        devices. Answers reach \a callback or numericSessionResponse() on the packet thread (an
        answer whose last piece stopped coming is delivered after 5 s with
        Error_InCompleteAnswer recorded).
        \return false as startYesNoSession(), or with Error_ResponseSizeNotWithinTheRange or
        Error_StringTooLong (the text does not fit the question command).
    */
    virtual bool startNumericSession(int questionId, const QString& question, int maxResponseSize,
        TimeUnit timeUnit, int time, StringResponseCallback callback, void* context);
    /*!
        Asks for a text of at most \a maxResponseSize characters. MathML in \a question is sent
        as device LaTeX; with \a isEquation the answers are maths and arrive as MathML (an answer
        that does not convert arrives as typed, marked not valid, with
        Error_InvalidEquationAnswer recorded). Answers reach \a callback or
        textSessionResponse() on the packet thread.
        \return false as startNumericSession(), or with Error_InvalidMMLEquation.
    */
    virtual bool startTextSession(int questionId, const QString& question, int maxResponseSize,
        TimeUnit timeUnit, int time, bool isEquation, TextResponseCallback callback, void* context);
    /*!
        Asks learners to put \a numOptions options in order; as startMultichoiceSession(),
        answers by sortInOrderSessionResponse().
    */
    virtual bool startSortInOrderSession(int questionId, int numOptions, int numResponses,
        DisplayOption displayOption, TimeUnit timeUnit, int time, StringResponseCallback callback,
        void* context);
    /*!
        Shows \a message on the devices; each read receipt reaches \a callback or
        messageSessionResponse() on the packet thread.
        \return false as startYesNoSession(), or with Error_StringTooLong.
    */
    virtual bool startMessageSession(int questionId, const QString& message, TimeUnit timeUnit,
        int time, MessageResponseCallback callback, void* context);
    /*!
        Ends the running session; blocks until the hub acknowledges (a 2.4 GHz hub waits up to
        6000 ms). After an asynchronous or generic session's stop returns true, none of its
        callbacks runs any more.
        \return true when none runs or the hub acknowledged; false with Error_NotConnected, or
        with Error_CommsFailure (the session then goes on). The base records Error_NotSupported.
    */
    virtual bool stopSession();
    /*!
        Tells an idle hub to end whatever session it may still think it runs.
        \return false while a session runs, or with Error_CommsFailure;
        Error_NotSupported in the base.
    */
    virtual bool resetHubSession();
    /*!
        Reads the hub's own state; HubState_Unknown when it cannot (Error_NotSupported in the base).
    */
    virtual HubState getHubState();
    /*!
        The hub's enhanced question session, created on first use and owned by the hub; null on
        hubs without one.
    */
    virtual EnhancedQuestionSession* enhancedQuestionSession();
    /*!
        The hub's enhanced generic session, created on first use and owned by the hub; null on
        hubs without one.
    */
    virtual EnhancedGenericSession* getEnhancedGenericSession();
    /*!
        Asks learners with answer devices to type their own name, of at most \a maxLength (1 to
        14) characters of \a characterType. Each name reaches \a callback or
        endUserNamingSessionResponse() on the packet thread.
        \return false with Error_NotConnected, Error_BadQuestionId,
        Error_NameLengthNotWithinTheRange, Error_CannotStartSessionBecauseCurrentlyInSession or
        Error_CommsFailure; Error_NotSupported in the base.
    */
    virtual bool startExpressionEnduserNamingSession(int questionId, CharacterType characterType,
        int maxLength, bool namingFlag, EndUserNamingCallback callback, void* context);
    /*!
        Ends end-user naming and re-reads the answer devices; blocks up to 6000 ms.
        \return true when none runs or the hub acknowledged; false while another session runs,
        or with Error_CommsFailure; Error_NotSupported in the base.
    */
    virtual bool stopExpressionEndUserNamingSession();
    /*!
        Lets learners key a name of \a digits letters on their voters; each name reaches
        \a callback or pinNamingSessionResponse() on the packet thread. End it with
        stopSession().
        \return false with Error_CommsFailure when the command cannot be sent.
    */
    virtual bool startTaviotePinNamingSession(
        int digits, PinNamingCallback callback, void* context);
    /*!
        Sets the board's backlight \a level (at most 49) and \a timeout.
        \return false for a level above 49, or with Error_CommsFailure without the hub's
        acknowledgement; Error_NotSupported in the base.
    */
    virtual bool setBacklight(unsigned char level, unsigned char timeout);
    /*! The uid of the device at radio \a address; 0 when none is known. */
    virtual unsigned int getDeviceId(unsigned int address) = 0;
    /*! How the receiver is attached. */
    virtual ConnectionType connectionType();
    /*!
        Fills \a code with this hub's registration PIN where the hub hands one out (software
        hubs ask their server); false everywhere else.
    */
    virtual bool asGetRegistrationPin(RegistrationCode& code);
    /*!
        Starts the transport of the enhanced question session; hosts use
        EnhancedQuestionSession instead. Device requests reach \a getMessage (or asyncGetMsg())
        and whole device messages \a receiveMessage (or asyncReceiveMsg()), on the event thread.
        \return false with Error_NotConnected, Error_CannotStartSessionBecauseCurrentlyInSession
        or Error_CommsFailure; Error_NotSupported in the base.
    */
    virtual bool startAsyncSession(AsyncGetMessageCallback getMessage,
        AsyncReceiveMessageCallback receiveMessage, void* context);
    /*!
        Starts the transport of the enhanced generic session; hosts use EnhancedGenericSession
        instead. Fails as startAsyncSession().
    */
    virtual bool startEnhancedGenericSession(
        AsyncReceiveMessageCallback receiveMessage, void* context);
    /*!
        Queues \a data for the device \a uid in the asynchronous session; the library cuts it
        into chunks and resends what the radio lost.
        \return false with Error_InvalidSessionForRequest when that session does not run, or
        Error_InvalidParameter for an unknown device; Error_NotSupported in the base.
    */
    virtual bool asyncSendMsg(unsigned int uid, const QByteArray& data);
    /*! Queues \a data for the device \a uid in the generic session; fails as asyncSendMsg(). */
    virtual bool sendGenericAsyncMessage(unsigned int uid, const QByteArray& data);
    /*!
        Replaces the files the devices of a generic session may fetch (see
        EnhancedGenericSession::setApplicationFileList()); Error_NotSupported in the base.
    */
    virtual void setApplicationFileList(const QList<ApplicationFileInfo>& files);
    /*! Whether the device \a uid has asked for a message in the asynchronous session. */
    virtual bool asyncIsReadyToReceive(unsigned int uid);
    /*!
        Sets the callback that hears the hub become busy or idle, instead of the hub's busy
        signal. A null \a callback is refused (false) and the old one kept; hubs that do not
        report it answer false.
    */
    virtual bool setHubBusyCallback(HubBusyCallback callback, void* context) = 0;
    /*!
        Sets the callback that hears pen events instead of penEventReceived(). A null
        \a callback is refused (false) and the old one kept; there is no way to clear one.
    */
    virtual bool setPenEventCallback(PenEventCallback callback, void* context);
    /*! Sets the callback that hears touch reports instead of touchEventReceived(); as above. */
    virtual bool setTouchEventCallback(TouchEventCallback callback, void* context);
    /*!
        Sets the callback that hears the touch system start and stop instead of
        touchStatusEventReceived(); as above.
    */
    virtual bool setTouchStatusEventCallback(TouchStatusEventCallback callback, void* context);
    /*!
        Hands \a touches (at most 36) to the operating system through the board library.
        \return true.
    */
    virtual bool sendTouchInfoToOS(QList<TouchInfo>& touches, TouchInfoPacketType type);
    /*!
        Sets the callback that hears low batteries instead of batteryLow(). A null \a callback
        is refused; Error_NotSupported in the base.
    */
    virtual bool setBatteryLowCallback(BatteryLowCallback callback, void* context);

    //! \cond internal
protected:
    virtual bool preprocessTavioteSession();
    //! \endcond

public:
    /*!
        Handles an event the hub posted to itself: a device list re-read. Runs on the event
        thread.
    */
    void handleAsEvent(EventType type, const QByteArray& data) override;

    /*! The bytes sendTouchInfoToOS() hands to the board library. */
    static QByteArray buildTouchInfoPacket(
        const QList<TouchInfo>& touches, TouchInfoPacketType type);

    // Signals are emitted only for events without a host callback. Answer, vote, pen and touch
    // signals come on the board library's packet thread: a directly connected slot runs there, a
    // queued one in its receiver's thread.
Q_SIGNALS:
    /*! Declared for hosts that listen for it; hubs report arrival through the system instead. */
    void connected(Taviosystem::Hub* pHub);
    /*! Declared for hosts that listen for it; hubs report departure through the system instead. */
    void disconnected(Taviosystem::Hub* pHub);
    /*!
        The 2.4 GHz hub reset itself: its device lists are emptied and its session ended.
        Packet thread.
    */
    void hubReset(Taviosystem::Hub* pHub);
    /*! Declared; the 2.4 GHz hub reports busy changes by TwoPointFourGHzHub::hubBusy(). */
    void hubBusy(Taviosystem::Hub* pHub);
    /*!
        The hub asks itself to re-read its device lists after \a nTimeout milliseconds (0
        cancels a pending re-read). Internal; emitted on the packet thread.
    */
    void reenumerateAfterTimeout(const int nTimeout);
    /*!
        The device lists were read again; device pointers from before are invalid. Emitted on the
        event thread.
    */
    void deviceListChanged();
    /*! A vote: the key and the battery state (non-zero when low). Packet thread. */
    void voteReceived(Taviosystem::Hub* pHub, quint32 uid, int vote, int batterylow);
    /*! A multiple-choice answer for the question \a questionId. Packet thread. */
    void multichoiceSessionResponse(
        Taviosystem::Hub* pHub, quint32 uid, int questionId, QString response);
    /*! A yes/no answer. Packet thread. */
    void yesNoSessionResponse(Taviosystem::Hub* pHub, quint32 uid, int questionId,
        Taviosystem::Hub::YesNoResponse response);
    /*! A true/false answer. Packet thread. */
    void trueFalseSessionResponse(Taviosystem::Hub* pHub, quint32 uid, int questionId,
        Taviosystem::Hub::TrueFalseResponse response);
    /*! A Likert answer: the point chosen. Packet thread. */
    void likertSessionResponse(
        Taviosystem::Hub* pHub, quint32 uid, int questionId, int likertValue);
    /*! A numeric answer. Packet thread (or the hub's thread for an answer cut short). */
    void numericSessionResponse(
        Taviosystem::Hub* pHub, quint32 uid, int questionId, QString response);
    /*! A sort-in-order answer: the option labels in the learner's order. Packet thread. */
    void sortInOrderSessionResponse(
        Taviosystem::Hub* pHub, quint32 uid, int questionId, QString response);
    /*! A name a learner typed in end-user naming. Packet thread. */
    void endUserNamingSessionResponse(
        Taviosystem::Hub* pHub, quint32 uid, int questionId, QString response);
    /*!
        A text answer; for maths, MathML, with \a bIsValid false when it did not convert. Packet
        thread (or the hub's thread for an answer cut short).
    */
    void textSessionResponse(
        Taviosystem::Hub* pHub, quint32 uid, int questionId, QString response, bool bIsValid);
    /*! A learner read the message. Packet thread. */
    void messageSessionResponse(Taviosystem::Hub* pHub, quint32 uid, int questionId);
    /*! A pen event with the pen's position and buttons. Packet thread. */
    void penEventReceived(Taviosystem::Hub* pHub, Taviosystem::Hub::PenEvent ePenEvent,
        quint8 nPenId, int nX, int nY, bool bTipPressed, bool bBarrelPressed);
    /*! A touch report. Packet thread. */
    void touchEventReceived(
        Taviosystem::Hub* pHub, QList<Taviosystem::Hub::TouchInfo> listTouchInfo);
    /*! The touch system started (\a bRunning) or stopped. Packet thread. */
    void touchStatusEventReceived(Taviosystem::Hub* pHub, bool bRunning);
    /*! A name keyed on a voter in PIN naming. Packet thread. */
    void pinNamingSessionResponse(Taviosystem::Hub* pHub, quint32 uid, QString response);
    /*! A device reported a low battery. Packet thread. */
    void batteryLow(Taviosystem::Hub* pHub, quint32 uid);
    /*! A learner joined the cloud classroom hub. */
    void tessalyDeviceRegistered(
        QString name, quint32 uid, Taviosystem::Device::SubType subType, QString learnerDeviceType);
    /*! A learner left the cloud classroom hub. */
    void tessalyDeviceRemoved(int uid);
    /*! A remote-control message from the cloud classroom. */
    void remoteControlMessage(QString from, QString type, QVariant data);
    /*! A cloud classroom message the hub does not handle itself. */
    void collaborationMessage(QVariantMap jsonMessage, QVariant data);
    /*! A remote controller registered with the cloud classroom, or left it. */
    void controllerRegister(bool isRegister);
    /*! The cloud classroom connection is lost for good. */
    void tessalySessionDisconnected();
    /*! The cloud classroom reports how long it has been inactive, in milliseconds. */
    void tessalySessionInactivityTimeMs(qint64);
    /*!
        A device asks for a message in the asynchronous session (no get-message callback set).
        Event thread.
    */
    void asyncGetMsg(Taviosystem::Hub* pHub, quint32 uid, QByteArray getMsgData);
    /*!
        A whole message from a device in the asynchronous or generic session (no receive
        callback set). Event thread.
    */
    void asyncReceiveMsg(
        Taviosystem::Hub* pHub, quint32 uid, QByteArray msg, bool expressionV2LatexFormat);

    //! \cond internal
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
    //! \endcond
};

} // namespace Taviosystem

Q_DECLARE_METATYPE(Taviosystem::Hub::TouchInfo)
Q_DECLARE_METATYPE(Taviosystem::Hub::PenEvent)
Q_DECLARE_METATYPE(Taviosystem::Hub::YesNoResponse)
Q_DECLARE_METATYPE(Taviosystem::Hub::TrueFalseResponse)
