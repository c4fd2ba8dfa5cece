#pragma once

#include <taviosystem/enhancedquestion.h>
#include <taviosystem/taviosystem_global.h>

#include <QtCore/QBitArray>
#include <QtCore/QByteArray>
#include <QtCore/QFlags>
#include <QtCore/QHash>
#include <QtCore/QObject>
#include <QtCore/QString>

#include <atomic>
#include <mutex>

namespace Taviosystem {

class Hub;

// A test that TavioExpression devices run at their own pace over a hub's asynchronous session:
// a device asks for the session parameters and then for questions by number, the host answers
// each request, and the device sends one answer per question. Requests and answers reach the
// host by callback or, where no callback is set, by signal. One session per hub, owned by it.
//
// Threads: host operations run on the caller's thread; device requests and answers arrive on
// the event thread, and so do the callbacks and directly connected signals they produce. In
// simulation mode timers stand in for the devices; they run on the thread that owns the
// session, so a simulated session is started, driven and stopped from that thread.
class TAVIOSYSTEM_EXPORT EnhancedQuestionSession : public QObject
{
    Q_OBJECT
public:
    // The control byte of a text message (0x03).
    enum MessageControlFlag {
        MessageControlFlag_None = 0x00,
        MessageControlFlag_CanDismiss = 0x01,
        MessageControlFlag_YesNo = 0x02,
        MessageControlFlag_ReviewAnswers = 0x04
    };
    Q_DECLARE_FLAGS(MessageControlFlags, MessageControlFlag)
    Q_FLAG(MessageControlFlags)

    // Host callbacks; each receives the context of CallbacksInfo unchanged.
    typedef void (*GetSessionParametersCallback)(
        EnhancedQuestionSession* session, quint32 uid, int localeId, void* context);
    typedef void (*GetQuestionCallback)(
        EnhancedQuestionSession* session, quint32 uid, int questionNumber, void* context);
    typedef void (*DeviceShutDownCallback)(
        EnhancedQuestionSession* session, quint32 uid, void* context);
    typedef void (*StringAnswerCallback)(EnhancedQuestionSession* session, quint32 uid,
        int questionNumber, const QString& answer, void* context);
    typedef void (*YesNoAnswerCallback)(EnhancedQuestionSession* session, quint32 uid,
        int questionNumber, YesNoQuestion::Answer answer, void* context);
    typedef void (*TrueFalseAnswerCallback)(EnhancedQuestionSession* session, quint32 uid,
        int questionNumber, TrueFalseQuestion::Answer answer, void* context);
    typedef void (*LikertAnswerCallback)(EnhancedQuestionSession* session, quint32 uid,
        int questionNumber, int likertValue, void* context);
    typedef void (*TextAnswerCallback)(EnhancedQuestionSession* session, quint32 uid,
        int questionNumber, const QString& answer, void* context, bool bIsValid);

    // Set as a whole; a null callback leaves its event to the matching signal.
    struct CallbacksInfo
    {
        GetSessionParametersCallback getSessionParameters = nullptr;
        GetQuestionCallback getQuestion = nullptr;
        DeviceShutDownCallback deviceShutDown = nullptr;
        StringAnswerCallback multichoiceAnswer = nullptr;
        YesNoAnswerCallback yesNoAnswer = nullptr;
        TrueFalseAnswerCallback trueFalseAnswer = nullptr;
        LikertAnswerCallback likertAnswer = nullptr;
        StringAnswerCallback numericAnswer = nullptr;
        TextAnswerCallback textAnswer = nullptr;
        StringAnswerCallback sortInOrderAnswer = nullptr;
        void* context = nullptr;
    };

    // Host-to-device message kinds (the first byte of each message).
    static constexpr char Message_SessionParameters = 0x01;
    static constexpr char Message_Question = 0x02;
    static constexpr char Message_Text = 0x03;
    static constexpr char Message_NoMoreQuestions = 0x04;
    static constexpr char Message_PopUp = 0x05;
    // Bits of the parameter flags byte of a session-parameters message.
    static constexpr quint8 ParameterFlag_StartingQuestionNumber = 0x01;
    static constexpr quint8 ParameterFlag_QuestionMask = 0x02;
    static constexpr quint8 ParameterFlag_Navigation = 0x04;
    static constexpr int MaximumQuestionMaskBits = 256;
    // Bits of the question flags byte of a question message.
    static constexpr quint8 QuestionFlag_ShowQuestionNumber = 0x01;
    static constexpr quint8 QuestionFlag_SecondOption = 0x02;
    static constexpr quint8 QuestionFlag_FirstOption = 0x04;
    static constexpr quint8 QuestionFlag_Equation = 0x08;
    // The bytes of a question message that follow its length field and precede the text.
    static constexpr int QuestionMessage_HeaderLength = 8;
    // Device requests: the 8 data bytes of a get-message request.
    static constexpr int Request_Offset_Kind = 0;
    static constexpr int Request_Offset_QuestionNumber = 2;
    static constexpr int Request_Offset_LocaleId = 5;
    static constexpr quint8 Request_SessionParameters = 0x00;
    static constexpr quint8 Request_Question = 0x01;
    static constexpr quint8 Request_DeviceShutDown = 0xFF;
    // Milliseconds between the steps of a simulated device.
    static constexpr int SimulationStepInterval = 1000;

    explicit EnhancedQuestionSession(Hub* hub, QObject* parent = nullptr);
    ~EnhancedQuestionSession() override;

    // Starts the hub's asynchronous session (true at once when already active); with simulate
    // set, timers stand in for the hub's expression devices and nothing is sent to them.
    virtual bool startSession(bool simulate);
    // Sends a question to a device; refuses a question that is not valid or that breaks the
    // hub's limits (the hub's last error tells which).
    virtual bool sendQuestion(quint32 uid, const EnhancedQuestion* question);
    virtual bool sendSessionParameters(quint32 uid, int totalQuestions, int startingQuestionNumber,
        bool allowNavigation, const QBitArray& questionMask, int lastParameter);
    virtual bool sendMessage(quint32 uid, QFlags<MessageControlFlag> flags, const QString& text);
    virtual bool sendPopUpMessage(quint32 uid, bool flag, const QString& text);
    virtual bool sendNoMoreQuestionsNotification(quint32 uid, const QString& text);
    // Which LaTeX dialect this session's devices type: the second.
    virtual bool useExpressionV2LatexFormat() const;

    bool stopSession();
    void setCallbacks(CallbacksInfo callbacks);
    // Stores the parameters every device's request is then answered with, without asking the
    // host, and forgets the devices' last question numbers.
    void setDefaultSessionParameters(int totalQuestions, int startingQuestionNumber,
        bool allowNavigation, QBitArray questionMask, int lastParameter);
    void useDefaultSessionParameters(bool use);
    Hub* getHub() const { return m_hub; }

Q_SIGNALS:
    void getSessionParameters(
        Taviosystem::EnhancedQuestionSession* pEnhancedSession, quint32 uid, int localeId);
    void getQuestion(
        Taviosystem::EnhancedQuestionSession* pEnhancedSession, quint32 uid, int questionNumber);
    void multichoiceAnswer(Taviosystem::EnhancedQuestionSession* pEnhancedSession, quint32 uid,
        int questionNumber, QString answer);
    void yesNoAnswer(Taviosystem::EnhancedQuestionSession* pEnhancedSession, quint32 uid,
        int questionNumber, Taviosystem::YesNoQuestion::Answer answer);
    void trueFalseAnswer(Taviosystem::EnhancedQuestionSession* pEnhancedSession, quint32 uid,
        int questionNumber, Taviosystem::TrueFalseQuestion::Answer answer);
    void likertAnswer(Taviosystem::EnhancedQuestionSession* pEnhancedSession, quint32 uid,
        int questionNumber, int likertValue);
    void numericAnswer(Taviosystem::EnhancedQuestionSession* pEnhancedSession, quint32 uid,
        int questionNumber, QString answer);
    void textAnswer(Taviosystem::EnhancedQuestionSession* pEnhancedSession, quint32 uid,
        int questionNumber, QString answer, bool bIsValid);
    void sortInOrderAnswer(Taviosystem::EnhancedQuestionSession* pEnhancedSession, quint32 uid,
        int questionNumber, QString answer);
    void deviceShutDown(Taviosystem::EnhancedQuestionSession* pEnhancedSession, quint32 uid);

protected:
    // What the session remembers of the last question sent to a device.
    struct QuestionRecord
    {
        int kind = EnhancedQuestion::Type_None;
        quint16 questionNumber = 0;
        DisplayOption displayOption = DisplayOption_Digits;
        bool equation = false;
    };
    struct SessionParameters
    {
        int totalQuestions = 0;
        int startingQuestionNumber = 0;
        bool allowNavigation = false;
        QBitArray questionMask;
        int lastParameter = 0;
    };

    // The two callbacks given to the hub; both run on the event thread and find the session
    // through the hub.
    static void getMsgCallback(Hub* pHub, unsigned int uid, const QByteArray& data, void* context);
    static void responseCallback(Hub* pHub, unsigned int uid, const QByteArray& message,
        void* context, bool expressionV2LatexFormat);

    // Message 0x01; each value is cut to one byte and the mask to its first 256 bits.
    static QByteArray questionSessionStartMessage(int totalQuestions, int startingQuestionNumber,
        bool allowNavigation, const QBitArray& questionMask, int lastParameter);
    // Message 0x02 for a question whose display byte and answer text are known; the text of the
    // chosen dialect is sent with its LaTeX markers as brackets.
    static QByteArray questionInformationMessage(const EnhancedQuestion& question,
        quint8 displayByte, const QString& answer, bool expressionV2LatexFormat);
    static quint8 toMCDisplayOptionsByte(
        int numberOfOptions, int numberOfResponses, DisplayOption displayOption);
    static quint8 toSCDisplayOptionsByte(bool displayFlag);
    // The option labels of a multiple-choice or sort-in-order answer (the message's last two
    // bytes are not part of it), written as the display option labels them.
    static QString translateToMultichoiceResponse(
        const QByteArray& message, DisplayOption displayOption);
    // "A" the first choice, "B" the second, anything else the third.
    static YesNoQuestion::Answer translateToYesNoResponse(const QByteArray& message);
    static TrueFalseQuestion::Answer translateToTrueFalseResponse(const QByteArray& message);
    // Upper-case labels "A" to "F" as the digits "1" to "6".
    static QString translateToNumericResponse(const QString& labels);

    // For the sessions that carry the same conversation over other transports.
    void storeQuestionRecord(quint32 uid, const QuestionRecord& record);
    bool findQuestionRecord(quint32 uid, QuestionRecord* record) const;
    SessionParameters defaultSessionParameters() const;
    bool usingDefaultSessionParameters() const;
    bool isActive() const { return m_active; }
    // For sessions that start and end over other transports.
    void setActive(bool active) { m_active = active; }
    bool isSimulating() const { return m_simulate; }
    // Hand an event to the host's callback or, without one, emit the signal.
    void reportSessionParametersRequest(quint32 uid, int localeId);
    void reportQuestionRequest(quint32 uid, int questionNumber);
    void reportDeviceShutDown(quint32 uid);
    // Shortens the simulated devices' steps (tests).
    void setSimulationStepInterval(int milliseconds) { m_simulationStepInterval = milliseconds; }

    void timerEvent(QTimerEvent* event) override;

private:
    enum SimulationStage {
        Stage_Answer = 1,
        Stage_QuestionRequest = 2,
        Stage_EnumerateDevices = 3
    };
    struct SimulatedStep
    {
        quint32 uid = 0;
        SimulationStage stage = Stage_EnumerateDevices;
        int kind = EnhancedQuestion::Type_None;
    };

    CallbacksInfo callbacks() const;
    // Checks a question against the hub's limits and works out its display byte and the answer
    // text it carries; false (and the hub's error where a limit is broken) when it is refused.
    bool prepareQuestion(const EnhancedQuestion& question, QuestionRecord& record,
        quint8& displayByte, QString& answer);
    bool send(quint32 uid, const QByteArray& message);
    void handleRequest(quint32 uid, const QByteArray& data);
    void handleAnswer(quint32 uid, const QByteArray& message, bool expressionV2LatexFormat);
    void startSimulatedStep(const SimulatedStep& step);
    void runSimulatedStep(const SimulatedStep& step);
    QByteArray simulatedAnswer(int kind);
    int simulatedPick(int& previousPick, int choices);

    Hub* m_hub;
    // Guards the question records, the callbacks, the default parameters and the last question
    // numbers, which host calls and the event thread share. Never held while a host callback
    // runs or a signal is emitted.
    mutable std::mutex m_mutex;
    QHash<quint32, QuestionRecord> m_questionRecords;
    CallbacksInfo m_callbacks;
    SessionParameters m_defaultParameters;
    std::atomic<bool> m_active { false };
    bool m_useDefaultParameters = false;
    std::atomic<bool> m_simulate { false };
    // Simulation timers by timer id; touched only on the session's thread.
    QHash<int, SimulatedStep> m_simulationTimers;
    QHash<quint32, int> m_lastQuestionNumbers;
    int m_simulationStepInterval = SimulationStepInterval;
    // The previous random picks of simulated answers, per group; 0 is the first choice.
    int m_previousMultichoicePick = 0;
    int m_previousChoicePick = 0;
    int m_previousLikertPick = 0;
};

} // namespace Taviosystem

Q_DECLARE_OPERATORS_FOR_FLAGS(Taviosystem::EnhancedQuestionSession::MessageControlFlags)
