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

/*!
    A test that TavioExpression devices run at their own pace over a hub's asynchronous session.

    A device asks for the session parameters and then for questions by number, the host answers
    each request (sendSessionParameters(), sendQuestion()), and the device sends one answer per
    question, which the session decodes (maths answers as MathML) and hands back with the
    question's number. Long messages travel in chunks the devices acknowledge; the library
    resends what the radio lost. Requests and answers reach the host by the callbacks of
    setCallbacks() or, where no callback is set, by signal. One session per hub, made and owned
    by the hub (Hub::enhancedQuestionSession()): never delete it.

    Failures record their Hub::Error on the hub (Hub::getLastError()).

    Threads: host operations run on the caller's thread; device requests and answers arrive on
    the event thread, and so do the callbacks and directly connected signals they produce; no
    library lock is held while they run. In simulation mode timers stand in for the devices; they
    run on the thread that owns the session, so a simulated session is started, driven and
    stopped from that thread.
*/
class TAVIOSYSTEM_EXPORT EnhancedQuestionSession : public QObject
{
    Q_OBJECT
public:
    /*! The control byte of a text message (sendMessage()). */
    enum MessageControlFlag {
        MessageControlFlag_None = 0x00, //!< No control.
        MessageControlFlag_CanDismiss = 0x01, //!< The learner may dismiss the message.
        MessageControlFlag_YesNo = 0x02, //!< The message asks yes or no.
        MessageControlFlag_ReviewAnswers = 0x04 //!< The learner may review the answers.
    };
    /*! A combination of MessageControlFlag values. */
    Q_DECLARE_FLAGS(MessageControlFlags, MessageControlFlag)
    Q_FLAG(MessageControlFlags)

    /*!
        \name Host callbacks
        Each runs on the event thread and receives the context of CallbacksInfo unchanged.
    */
    //!@{
    /*! A device asks for the session parameters, in its \a localeId. */
    typedef void (*GetSessionParametersCallback)(
        EnhancedQuestionSession* session, quint32 uid, int localeId, void* context);
    /*! A device asks for the question \a questionNumber. */
    typedef void (*GetQuestionCallback)(
        EnhancedQuestionSession* session, quint32 uid, int questionNumber, void* context);
    /*! A device is shutting down. */
    typedef void (*DeviceShutDownCallback)(
        EnhancedQuestionSession* session, quint32 uid, void* context);
    /*! An answer given as text: multiple choice, numeric, sort in order. */
    typedef void (*StringAnswerCallback)(EnhancedQuestionSession* session, quint32 uid,
        int questionNumber, const QString& answer, void* context);
    /*! A yes/no answer. */
    typedef void (*YesNoAnswerCallback)(EnhancedQuestionSession* session, quint32 uid,
        int questionNumber, YesNoQuestion::Answer answer, void* context);
    /*! A true/false answer. */
    typedef void (*TrueFalseAnswerCallback)(EnhancedQuestionSession* session, quint32 uid,
        int questionNumber, TrueFalseQuestion::Answer answer, void* context);
    /*! A Likert answer: the point chosen. */
    typedef void (*LikertAnswerCallback)(EnhancedQuestionSession* session, quint32 uid,
        int questionNumber, int likertValue, void* context);
    /*! A text answer; for maths, MathML, with \c bIsValid false when it did not convert. */
    typedef void (*TextAnswerCallback)(EnhancedQuestionSession* session, quint32 uid,
        int questionNumber, const QString& answer, void* context, bool bIsValid);
    //!@}

    /*! The host's callbacks, set as a whole; a null callback leaves its event to the signal. */
    struct CallbacksInfo
    {
        GetSessionParametersCallback getSessionParameters = nullptr; //!< Parameters requests.
        GetQuestionCallback getQuestion = nullptr; //!< Question requests.
        DeviceShutDownCallback deviceShutDown = nullptr; //!< Devices shutting down.
        StringAnswerCallback multichoiceAnswer = nullptr; //!< Multiple-choice answers.
        YesNoAnswerCallback yesNoAnswer = nullptr; //!< Yes/no answers.
        TrueFalseAnswerCallback trueFalseAnswer = nullptr; //!< True/false answers.
        LikertAnswerCallback likertAnswer = nullptr; //!< Likert answers.
        StringAnswerCallback numericAnswer = nullptr; //!< Numeric answers.
        TextAnswerCallback textAnswer = nullptr; //!< Text and maths answers.
        StringAnswerCallback sortInOrderAnswer = nullptr; //!< Sort-in-order answers.
        void* context = nullptr; //!< Handed to every callback unchanged.
    };

    /*!
        \name Message layout
        The host-to-device messages and their flags, for sessions that carry the same
        conversation over other transports; hosts rarely need them.
    */
    //!@{
    static constexpr char Message_SessionParameters = 0x01; //!< Kind: session parameters.
    static constexpr char Message_Question = 0x02; //!< Kind: a question.
    static constexpr char Message_Text = 0x03; //!< Kind: a text message.
    static constexpr char Message_NoMoreQuestions = 0x04; //!< Kind: no more questions.
    static constexpr char Message_PopUp = 0x05; //!< Kind: a pop-up.
    /*! Parameter flag: a starting question number is given. */
    static constexpr quint8 ParameterFlag_StartingQuestionNumber = 0x01;
    static constexpr quint8 ParameterFlag_QuestionMask = 0x02; //!< Parameter flag: a mask follows.
    static constexpr quint8 ParameterFlag_Navigation = 0x04; //!< Parameter flag: navigation.
    static constexpr int MaximumQuestionMaskBits = 256; //!< Longest question mask.
    /*! Question flag: show the question number. */
    static constexpr quint8 QuestionFlag_ShowQuestionNumber = 0x01;
    static constexpr quint8 QuestionFlag_SecondOption = 0x02; //!< Question flag: second option.
    static constexpr quint8 QuestionFlag_FirstOption = 0x04; //!< Question flag: first option.
    static constexpr quint8 QuestionFlag_Equation = 0x08; //!< Question flag: maths answer.
    /*! The bytes of a question message that follow its length field and precede the text. */
    static constexpr int QuestionMessage_HeaderLength = 8;
    static constexpr int Request_Offset_Kind = 0; //!< Device request: offset of the kind.
    /*! Device request: offset of the question number. */
    static constexpr int Request_Offset_QuestionNumber = 2;
    static constexpr int Request_Offset_LocaleId = 5; //!< Device request: offset of the locale.
    static constexpr quint8 Request_SessionParameters = 0x00; //!< Request kind: parameters.
    static constexpr quint8 Request_Question = 0x01; //!< Request kind: a question.
    static constexpr quint8 Request_DeviceShutDown = 0xFF; //!< Request kind: shutting down.
    //!@}
    /*! Milliseconds between the steps of a simulated device. */
    static constexpr int SimulationStepInterval = 1000;

    /*! Makes the session of \a hub; the hub does this on first use, never the host. */
    explicit EnhancedQuestionSession(Hub* hub, QObject* parent = nullptr);
    /*! Destroys the session; its hub does this. */
    ~EnhancedQuestionSession() override;

    /*!
        Starts the hub's asynchronous session (true at once when already active).
        \param simulate timers stand in for the hub's expression devices: they ask for question
        0 and answer it, and nothing is sent to the devices.
        \return false with the hub's Error_NotConnected,
        Error_CannotStartSessionBecauseCurrentlyInSession or Error_CommsFailure.
    */
    virtual bool startSession(bool simulate);
    /*!
        Sends \a question (read, not kept) to the device \a uid; the device's answer comes back
        with the question's number.
        \return false for a null or invalid question, or one that breaks the hub's limits (the
        hub records Error_NumOfOptionsNotWithinTheRange, Error_NumOfResponsesNotWithinTheRange,
        Error_ScaleValueNotWithinTheRange or Error_ResponseSizeNotWithinTheRange; more responses
        than options records nothing); false with Error_InvalidSessionForRequest when the
        session does not run, or Error_InvalidParameter for an unknown device.
    */
    virtual bool sendQuestion(quint32 uid, const EnhancedQuestion* question);
    /*!
        Answers a device's parameters request: \a totalQuestions from \a startingQuestionNumber,
        whether the learner may move between questions, and which questions to offer (at most
        256 bits of \a questionMask). \a lastParameter goes to the device as given. Fails as
        sendQuestion() does for an idle session or unknown device.
    */
    virtual bool sendSessionParameters(quint32 uid, int totalQuestions, int startingQuestionNumber,
        bool allowNavigation, const QBitArray& questionMask, int lastParameter);
    /*! Sends a text message with its control \a flags to the device \a uid. */
    virtual bool sendMessage(quint32 uid, QFlags<MessageControlFlag> flags, const QString& text);
    /*! Shows \a text as a pop-up on the device \a uid. */
    virtual bool sendPopUpMessage(quint32 uid, bool flag, const QString& text);
    /*! Tells the device \a uid there are no more questions, with \a text to show. */
    virtual bool sendNoMoreQuestionsNotification(quint32 uid, const QString& text);
    /*! Which LaTeX dialect this session's devices type: the second (true). */
    virtual bool useExpressionV2LatexFormat() const;

    /*!
        Stops the hub's session and any simulation. After a true answer none of the session's
        callbacks runs any more (one may stop the session from inside its own callback).
        \return false when the session does not run, or when the hub refused (its error).
    */
    bool stopSession();
    /*! Sets every callback and their context at once; a null one leaves its event to the signal. */
    void setCallbacks(CallbacksInfo callbacks);
    /*!
        Stores the parameters every device's request is then answered with, without asking the
        host, and forgets the devices' last question numbers. Turns their use on.
    */
    void setDefaultSessionParameters(int totalQuestions, int startingQuestionNumber,
        bool allowNavigation, QBitArray questionMask, int lastParameter);
    /*! Turns the use of the default parameters on or off. */
    void useDefaultSessionParameters(bool use);
    /*! The hub the session belongs to. */
    Hub* getHub() const { return m_hub; }

    // Signals are emitted on the event thread, for events without a callback.
Q_SIGNALS:
    /*! A device asks for the session parameters, in its \a localeId. */
    void getSessionParameters(
        Taviosystem::EnhancedQuestionSession* pEnhancedSession, quint32 uid, int localeId);
    /*! A device asks for the question \a questionNumber. */
    void getQuestion(
        Taviosystem::EnhancedQuestionSession* pEnhancedSession, quint32 uid, int questionNumber);
    /*! A multiple-choice answer, written as the question's display option labels the options. */
    void multichoiceAnswer(Taviosystem::EnhancedQuestionSession* pEnhancedSession, quint32 uid,
        int questionNumber, QString answer);
    /*! A yes/no answer. */
    void yesNoAnswer(Taviosystem::EnhancedQuestionSession* pEnhancedSession, quint32 uid,
        int questionNumber, Taviosystem::YesNoQuestion::Answer answer);
    /*! A true/false answer. */
    void trueFalseAnswer(Taviosystem::EnhancedQuestionSession* pEnhancedSession, quint32 uid,
        int questionNumber, Taviosystem::TrueFalseQuestion::Answer answer);
    /*! A Likert answer: the point chosen. */
    void likertAnswer(Taviosystem::EnhancedQuestionSession* pEnhancedSession, quint32 uid,
        int questionNumber, int likertValue);
    /*! A numeric answer. */
    void numericAnswer(Taviosystem::EnhancedQuestionSession* pEnhancedSession, quint32 uid,
        int questionNumber, QString answer);
    /*! A text answer; for maths, MathML, with \a bIsValid false when it did not convert. */
    void textAnswer(Taviosystem::EnhancedQuestionSession* pEnhancedSession, quint32 uid,
        int questionNumber, QString answer, bool bIsValid);
    /*! A sort-in-order answer: the labels in the learner's order. */
    void sortInOrderAnswer(Taviosystem::EnhancedQuestionSession* pEnhancedSession, quint32 uid,
        int questionNumber, QString answer);
    /*! A device is shutting down. */
    void deviceShutDown(Taviosystem::EnhancedQuestionSession* pEnhancedSession, quint32 uid);

    //! \cond internal
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
    //! \endcond
};

} // namespace Taviosystem

Q_DECLARE_OPERATORS_FOR_FLAGS(Taviosystem::EnhancedQuestionSession::MessageControlFlags)
