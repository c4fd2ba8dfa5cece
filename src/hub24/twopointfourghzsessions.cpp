// The 2.4 GHz hub's sessions: questions and their answers, registration windows, teacher and
// end-user naming.

#include <taviosystem/twopointfourghzhub.h>

#include "enhanced/sessionbuffercollector.h"
#include "hub/hubengine.h"
#include "hub24records.h"
#include "twopointfourghzdevices.h"
#include "twopointfourghzprotocol.h"

#include <taviosystem/taviosystem.h>
#include <taviosystem/twopointfourghztavioexpression.h>
#include <taviosystem/twopointfourghztavioslate.h>
#include <taviosystem/twopointfourghztaviote.h>

#include <QtCore/QRandomGenerator>
#include <QtCore/QTime>

namespace Taviosystem {

namespace {
typedef TwoPointFourGHzProtocol Protocol;

const int YesAnswer = 'A';
const int NoAnswer = 'B';
const quint8 NoAnswerByte = 0xFF;

} // namespace

int TwoPointFourGHzHub::translateToYesNoResponse(int answer)
{
    if (answer == YesAnswer)
        return YesNoResponse_Yes;
    if (answer == NoAnswer)
        return YesNoResponse_No;
    return YesNoResponse_Invalid;
}

void TwoPointFourGHzHub::translateToNumericResponse(QString& answer)
{
    for (QChar& c : answer) {
        if (c >= QLatin1Char('A') && c <= QLatin1Char('F'))
            c = QLatin1Char(char('1' + (c.unicode() - 'A')));
    }
}

bool TwoPointFourGHzHub::canStartSession() const { return m_sessionType == SessionType_None; }

// Starting a question ----------------------------------------------------------------------------

bool TwoPointFourGHzHub::checkQuestionStart(int questionId)
{
    if (!isConnected()) {
        recordError(Error_NotConnected);
        return false;
    }
    if (questionId < 1) {
        recordError(Error_BadQuestionId);
        return false;
    }
    return true;
}

// Multiple choice and sort in order: the options, then the responses, then none above the
// options, then no running session.
bool TwoPointFourGHzHub::checkChoiceQuestionStart(int questionId, int numOptions, int numResponses)
{
    if (!checkQuestionStart(questionId) || !isValidNumberOfOptions(numOptions)
        || !isValidNumberOfResponses(numResponses))
        return false;
    if (numResponses > numOptions) {
        recordError(Error_NumOfResponsesExceedsNumOfOptions);
        return false;
    }
    return !refuseWhenInSession();
}

bool TwoPointFourGHzHub::refuseWhenInSession()
{
    if (canStartSession())
        return false;
    recordError(Error_CannotStartSessionBecauseCurrentlyInSession);
    return true;
}

// A fresh one-byte id per question: a draw from a generator seeded with the time of day, plus
// this hub's running count.
quint8 TwoPointFourGHzHub::nextEntityId()
{
    const QTime now = QTime::currentTime();
    const quint32 seed = quint32(now.hour() * 3600000 + now.minute() * 60000 + now.second() * 1000);
    QRandomGenerator generator(seed);
    const quint8 id = quint8((generator.generate() & 0xFF) + (m_entityCounter & 0xFF));
    ++m_entityCounter;
    return id;
}

bool TwoPointFourGHzHub::sendQuestion(SessionType session, int questionId, int questionType,
    quint8 typeByte, TimeUnit timeUnit, int time, const QString& text, void* context)
{
    m_callbackContext = context;
    const quint8 timeByte = questionType == Protocol::QuestionType_EndUserNaming
        ? quint8(0)
        : Protocol::timeByte(timeUnit, time);
    const QByteArray command = Protocol::questionCommand(
        nextEntityId(), Protocol::QuestionType(questionType), typeByte, timeByte, m_equation, text);
    // The question id, like the session, is in place before the first answer can come.
    const int previousQuestion = m_currentQuestionId.exchange(questionId);
    if (sendStartingSession(session, command))
        return true;
    m_currentQuestionId = previousQuestion;
    return false;
}

void TwoPointFourGHzHub::ensureBufferCollector()
{
    std::unique_lock<std::shared_mutex> locker(m_lock);
    if (m_bufferCollector)
        return;
    auto* collector = new SessionBufferCollector(
        [this](quint16 address, quint8 number, const QString& text, bool complete) {
            handleBufferCollectionCompleted(address, number, text, complete);
        },
        m_answerCompletionTimeout);
    if (collector->thread() != thread())
        collector->moveToThread(thread());
    // Deleted in the hub's thread, where its timers live, once no thread holds it any more.
    m_bufferCollector.reset(collector, [](SessionBufferCollector* c) { c->deleteLater(); });
}

void TwoPointFourGHzHub::deleteBufferCollector()
{
    std::unique_lock<std::shared_mutex> locker(m_lock);
    m_bufferCollector.reset();
}

// Runs on the packet thread: a piece of a long numeric or text answer.
void TwoPointFourGHzHub::processLongAnswerPiece(const QByteArray& packet)
{
    std::shared_ptr<SessionBufferCollector> collector;
    {
        std::shared_lock<std::shared_mutex> locker(m_lock);
        collector = m_bufferCollector;
    }
    if (collector)
        collector->processPacket(packet);
}

bool TwoPointFourGHzHub::startMultichoiceSession(int questionId, int numOptions, int numResponses,
    DisplayOption displayOption, TimeUnit timeUnit, int time, StringResponseCallback callback,
    void* context)
{
    if (!checkChoiceQuestionStart(questionId, numOptions, numResponses))
        return false;
    m_multichoiceCallback = callback;
    m_displayOption = displayOption;
    return sendQuestion(SessionType_Multichoice, questionId, Protocol::QuestionType_Multichoice,
        Protocol::choiceTypeByte(numOptions, numResponses, displayOption), timeUnit, time,
        QString(), context);
}

bool TwoPointFourGHzHub::startSortInOrderSession(int questionId, int numOptions, int numResponses,
    DisplayOption displayOption, TimeUnit timeUnit, int time, StringResponseCallback callback,
    void* context)
{
    if (!checkChoiceQuestionStart(questionId, numOptions, numResponses))
        return false;
    m_sortInOrderCallback = callback;
    return sendQuestion(SessionType_SortInOrder, questionId, Protocol::QuestionType_SortInOrder,
        Protocol::choiceTypeByte(numOptions, numResponses, displayOption), timeUnit, time,
        QString(), context);
}

bool TwoPointFourGHzHub::startYesNoSession(int questionId, bool thirdAnswer, TimeUnit timeUnit,
    int time, YesNoResponseCallback callback, void* context)
{
    if (!checkQuestionStart(questionId) || refuseWhenInSession())
        return false;
    m_yesNoCallback = callback;
    return sendQuestion(SessionType_YesNo, questionId, Protocol::QuestionType_YesNo,
        thirdAnswer ? 1 : 0, timeUnit, time, QString(), context);
}

bool TwoPointFourGHzHub::startTrueFalseSession(int questionId, bool thirdAnswer, TimeUnit timeUnit,
    int time, TrueFalseResponseCallback callback, void* context)
{
    if (!checkQuestionStart(questionId) || refuseWhenInSession())
        return false;
    m_trueFalseCallback = callback;
    return sendQuestion(SessionType_TrueFalse, questionId, Protocol::QuestionType_TrueFalse,
        thirdAnswer ? 1 : 0, timeUnit, time, QString(), context);
}

bool TwoPointFourGHzHub::startLikertSession(int questionId, int scale, TimeUnit timeUnit, int time,
    LikertResponseCallback callback, void* context)
{
    if (!checkQuestionStart(questionId) || !isValidLikertScaleValue(scale) || refuseWhenInSession())
        return false;
    m_likertCallback = callback;
    return sendQuestion(SessionType_Likert, questionId, Protocol::QuestionType_Likert,
        quint8(scale), timeUnit, time, QString(), context);
}

bool TwoPointFourGHzHub::startNumericSession(int questionId, const QString& question,
    int maxResponseSize, TimeUnit timeUnit, int time, StringResponseCallback callback,
    void* context)
{
    if (!checkQuestionStart(questionId) || !isValidMaxResponseSize(maxResponseSize))
        return false;
    if (!Protocol::questionTextFits(question)) {
        recordError(Error_StringTooLong);
        return false;
    }
    if (refuseWhenInSession())
        return false;
    m_numericCallback = callback;
    ensureBufferCollector();
    return sendQuestion(SessionType_Numeric, questionId, Protocol::QuestionType_Numeric,
        quint8(maxResponseSize), timeUnit, time, question, context);
}

bool TwoPointFourGHzHub::startTextSession(int questionId, const QString& question,
    int maxResponseSize, TimeUnit timeUnit, int time, bool isEquation,
    TextResponseCallback callback, void* context)
{
    if (!checkQuestionStart(questionId) || !isValidMaxResponseSize(maxResponseSize))
        return false;
    QString latex;
    if (!m_system || m_system->translateTextMathmlToLatex(question, latex, true, true) != 0) {
        recordError(Error_InvalidMMLEquation);
        return false;
    }
    if (!Protocol::questionTextFits(latex)) {
        recordError(Error_StringTooLong);
        return false;
    }
    if (refuseWhenInSession())
        return false;
    m_textCallback = callback;
    m_equation = isEquation;
    ensureBufferCollector();
    return sendQuestion(SessionType_Text, questionId, Protocol::QuestionType_Text,
        quint8(maxResponseSize), timeUnit, time, latex, context);
}

bool TwoPointFourGHzHub::startMessageSession(int questionId, const QString& message,
    TimeUnit timeUnit, int time, MessageResponseCallback callback, void* context)
{
    if (!checkQuestionStart(questionId))
        return false;
    if (!Protocol::questionTextFits(message)) {
        recordError(Error_StringTooLong);
        return false;
    }
    if (refuseWhenInSession())
        return false;
    m_messageCallback = callback;
    return sendQuestion(SessionType_Message, questionId, Protocol::QuestionType_Message, 0,
        timeUnit, time, message, context);
}

bool TwoPointFourGHzHub::startExpressionEnduserNamingSession(int questionId,
    CharacterType characterType, int maxLength, bool namingFlag, EndUserNamingCallback callback,
    void* context)
{
    if (!checkQuestionStart(questionId) || !isValidMaxNameLength(maxLength)
        || refuseWhenInSession())
        return false;
    m_endUserNamingCallback = callback;
    return sendQuestion(SessionType_EndUserNaming, questionId, Protocol::QuestionType_EndUserNaming,
        Protocol::namingByte(characterType, namingFlag, maxLength, true), TimeUnit_0, 0, QString(),
        context);
}

// Ending a session --------------------------------------------------------------------------------

bool TwoPointFourGHzHub::stopSession()
{
    if (!isConnected()) {
        recordError(Error_NotConnected);
        return false;
    }
    const SessionType previous = m_sessionType;
    if (previous == SessionType_None)
        return true;
    m_sessionType = SessionType_Stopping;
    OKResponse reply;
    const bool ok = sendAndReceive(Protocol::endSessionCommand(), reply, m_flashWriteTimeout);
    // Whatever the reply, the session's helpers go: only the session value comes back.
    if (previous == SessionType_Numeric || previous == SessionType_Text)
        deleteBufferCollector();
    if (previous == SessionType_Voting)
        deleteVotingSession();
    if (!ok) {
        m_sessionType = previous;
        return false;
    }
    if (previous == SessionType_Async || previous == SessionType_EnhancedGeneric)
        stopTransport(previous);
    m_sessionType = SessionType_None;
    return true;
}

bool TwoPointFourGHzHub::resetHubSession()
{
    if (!canStartSession())
        return false;
    OKResponse reply;
    return sendAndReceive(Protocol::endSessionCommand(), reply, m_flashWriteTimeout);
}

bool TwoPointFourGHzHub::stopExpressionEndUserNamingSession()
{
    if (m_sessionType == SessionType_None)
        return true;
    if (m_sessionType != SessionType_EndUserNaming)
        return false;
    m_sessionType = SessionType_None;
    OKResponse reply;
    const bool ok
        = sendAndReceive(Protocol::stopEndUserNamingCommand(), reply, m_flashWriteTimeout);
    bool reread = false;
    {
        std::lock_guard<std::recursive_mutex> locker(m_devicesMutex);
        reread = m_lists[List_Expressions].needsReading;
    }
    if (reread)
        setNeedsReading(List_Expressions, !readExpressionList());
    return ok;
}

// Answers ----------------------------------------------------------------------------------------

// Runs on the packet thread: multiple-choice and sort-in-order answers.
void TwoPointFourGHzHub::processChoiceAnswer(const QByteArray& packet)
{
    const SessionSortInOrderResponse response(packet);
    if (!response.isValid())
        return;
    const unsigned int uid = getDeviceId(response.address);
    if (uid == 0)
        return;
    QString answer;
    if (m_sessionType == SessionType_Multichoice) {
        for (quint8 byte : response.answers) {
            if (byte != 0 && byte != NoAnswerByte)
                answer += QLatin1Char(char(byte));
        }
        if (m_displayOption == DisplayOption_LowerCaseLetters)
            answer = answer.toLower();
        else if (m_displayOption == DisplayOption_Digits)
            translateToNumericResponse(answer);
        deliverAnswer(
            SessionType_Multichoice, uid, m_currentQuestionId, answer, 0, true, m_callbackContext);
        return;
    }
    for (quint8 byte : response.answers) {
        if (byte == 0)
            break;
        answer += QLatin1Char(char(byte));
    }
    deliverAnswer(
        SessionType_SortInOrder, uid, m_currentQuestionId, answer, 0, true, m_callbackContext);
}

// Runs on the packet thread: one-byte answers and read receipts.
void TwoPointFourGHzHub::processByteAnswer(const QByteArray& packet)
{
    const SessionByteResponse response(packet);
    if (!response.isValid())
        return;
    const unsigned int uid = getDeviceId(response.address);
    if (uid == 0)
        return;
    const SessionType session = m_sessionType;
    int value = response.answer;
    if (session == SessionType_YesNo || session == SessionType_TrueFalse)
        value = translateToYesNoResponse(response.answer);
    else if (session != SessionType_Likert && session != SessionType_Message)
        return;
    deliverAnswer(session, uid, m_currentQuestionId, QString(), value, true, m_callbackContext);
}

// Runs on the packet thread, or on the hub's thread when an answer stopped coming.
void TwoPointFourGHzHub::handleBufferCollectionCompleted(
    quint16 address, quint8 /*number*/, const QString& answer, bool complete)
{
    if (!complete)
        recordError(Error_InCompleteAnswer); // delivered all the same
    const unsigned int uid = getDeviceId(address);
    if (uid == 0)
        return;
    const int questionId = m_currentQuestionId;
    if (m_sessionType == SessionType_Numeric) {
        deliverAnswer(SessionType_Numeric, uid, questionId, answer, 0, true, m_callbackContext);
        return;
    }
    if (m_sessionType != SessionType_Text)
        return;
    QString delivered = answer;
    bool valid = true;
    if (m_equation) {
        // A failed translation delivers the answer as typed, marked invalid.
        if (!m_system || m_system->translateTextLatexToMathml(answer, delivered, true) != 0) {
            recordError(Error_InvalidEquationAnswer);
            valid = false;
        }
    }
    deliverAnswer(SessionType_Text, uid, questionId, delivered, 0, valid, m_callbackContext);
}

void TwoPointFourGHzHub::deliverAnswer(SessionType session, unsigned int uid, int questionId,
    const QString& text, int value, bool valid, void* context)
{
    switch (session) {
    case SessionType_Multichoice:
        if (m_multichoiceCallback)
            m_multichoiceCallback(this, uid, questionId, text, context);
        else
            Q_EMIT multichoiceSessionResponse(this, uid, questionId, text);
        break;
    case SessionType_SortInOrder:
        if (m_sortInOrderCallback)
            m_sortInOrderCallback(this, uid, questionId, text, context);
        else
            Q_EMIT sortInOrderSessionResponse(this, uid, questionId, text);
        break;
    case SessionType_YesNo:
        if (m_yesNoCallback)
            m_yesNoCallback(this, uid, questionId, YesNoResponse(value), context);
        else
            Q_EMIT yesNoSessionResponse(this, uid, questionId, YesNoResponse(value));
        break;
    case SessionType_TrueFalse:
        if (m_trueFalseCallback)
            m_trueFalseCallback(this, uid, questionId, TrueFalseResponse(value), context);
        else
            Q_EMIT trueFalseSessionResponse(this, uid, questionId, TrueFalseResponse(value));
        break;
    case SessionType_Likert:
        if (m_likertCallback)
            m_likertCallback(this, uid, questionId, value, context);
        else
            Q_EMIT likertSessionResponse(this, uid, questionId, value);
        break;
    case SessionType_Numeric:
        if (m_numericCallback)
            m_numericCallback(this, uid, questionId, text, context);
        else
            Q_EMIT numericSessionResponse(this, uid, questionId, text);
        break;
    case SessionType_Text:
        if (m_textCallback)
            m_textCallback(this, uid, questionId, text, context, valid);
        else
            Q_EMIT textSessionResponse(this, uid, questionId, text, valid);
        break;
    case SessionType_Message:
        if (m_messageCallback)
            m_messageCallback(this, uid, questionId, context);
        else
            Q_EMIT messageSessionResponse(this, uid, questionId);
        break;
    default:
        break;
    }
}

// Registration -----------------------------------------------------------------------------------

bool TwoPointFourGHzHub::startRegistration(SessionType session, const QByteArray& command)
{
    // Refused without an error while anything runs or the hub is busy.
    if (!canStartSession() || state() != State_Idle)
        return false;
    {
        std::lock_guard<std::recursive_mutex> locker(m_devicesMutex);
        m_registeredInWindow.clear();
    }
    return sendStartingSession(session, command);
}

bool TwoPointFourGHzHub::startVoteRegistrationSession(
    quint16 p1, quint8 p2, quint8 p3, const RegistrationCode& pin)
{
    return startRegistration(
        SessionType_VoteRegistration, Protocol::startVoteRegistrationCommand(p1, p2, p3, pin));
}

bool TwoPointFourGHzHub::startSlateRegistrationSession(
    quint16 p1, quint8 p2, quint8 p3, const RegistrationCode& pin)
{
    return startRegistration(
        SessionType_SlateRegistration, Protocol::startSlateRegistrationCommand(p1, p2, p3, pin));
}

bool TwoPointFourGHzHub::startExpressionRegistrationSession(
    quint16 p1, quint8 p2, quint8 p3, const RegistrationCode& pin)
{
    return startRegistration(SessionType_ExpressionRegistration,
        Protocol::startExpressionRegistrationCommand(p1, p2, p3, pin, 0));
}

bool TwoPointFourGHzHub::startNamingExpressionRegistrationSession(quint16 p1, quint8 p2, quint8 p3,
    const RegistrationCode& pin, CharacterType characterType, bool flag, quint8 nameLength)
{
    return startRegistration(SessionType_ExpressionRegistration,
        Protocol::startExpressionRegistrationCommand(
            p1, p2, p3, pin, Protocol::namingByte(characterType, flag, nameLength, false)));
}

// Ends a registration or removal window: ":VE", the acknowledged lists read again, and the
// session over whether or not the hub answered.
bool TwoPointFourGHzHub::stopWindow(SessionType session, std::initializer_list<ListKind> reread)
{
    if (m_sessionType == SessionType_None)
        return true;
    if (m_sessionType != session)
        return false;
    OKResponse reply;
    const bool ok = sendAndReceive(Protocol::endSessionCommand(), reply, m_flashWriteTimeout);
    // Over before the lists are read again: their records must not count as registrations.
    m_sessionType = SessionType_None;
    if (ok) {
        for (ListKind kind : reread)
            setNeedsReading(kind, !readList(kind));
    }
    return ok;
}

bool TwoPointFourGHzHub::stopVoteRegistrationSession()
{
    return stopWindow(SessionType_VoteRegistration, { List_Votes });
}

bool TwoPointFourGHzHub::stopSlateRegistrationSession()
{
    return stopWindow(SessionType_SlateRegistration, { List_Slates });
}

bool TwoPointFourGHzHub::stopExpressionRegistrationSession()
{
    const bool ok
        = stopWindow(SessionType_ExpressionRegistration, { List_Expressions, List_PenExpressions });
    asEndExpressionRegSession();
    return ok;
}

// Teacher naming ---------------------------------------------------------------------------------

bool TwoPointFourGHzHub::startTavioteNamingSession()
{
    if (!canStartSession()) {
        recordError(Error_Busy);
        return false;
    }
    return sendStartingSession(SessionType_VoteNaming, Protocol::startTavioteNamingCommand());
}

bool TwoPointFourGHzHub::nameTaviote(unsigned int uid, const QString& name)
{
    const SessionType session = m_sessionType;
    if (session != SessionType_None && session != SessionType_VoteNaming)
        return false;
    const QByteArray identifier = deviceIdentifierOf(findVoteDevice(uid));
    if (identifier.isEmpty())
        return false;
    return sendStartingSession(
        SessionType_VoteNaming, Protocol::nameTavioteCommand(identifier, name));
}

bool TwoPointFourGHzHub::nameSlate(unsigned int uid, const QString& name)
{
    const SessionType session = m_sessionType;
    if (session != SessionType_None && session != SessionType_SlateNaming)
        return false;
    const QByteArray identifier = deviceIdentifierOf(findSlateDevice(uid));
    if (identifier.isEmpty())
        return false;
    return sendStartingSession(
        SessionType_SlateNaming, Protocol::nameSlateCommand(identifier, name));
}

bool TwoPointFourGHzHub::startExpressionNamingSession()
{
    if (!canStartSession())
        return false;
    // Set before sending and kept when the hub does not acknowledge: a stop then ends it.
    m_sessionType = SessionType_ExpressionNaming;
    OKResponse reply;
    return sendAndReceive(Protocol::startExpressionNamingCommand(), reply, m_responseTimeout);
}

bool TwoPointFourGHzHub::nameExpression(
    unsigned int uid, const QString& name, ExpressionNameReceivedResponse* response)
{
    const SessionType session = m_sessionType;
    if (session != SessionType_None && session != SessionType_ExpressionNaming)
        return false;
    const QByteArray identifier = deviceIdentifierOf(findExpressionDevice(uid));
    if (identifier.isEmpty() || state() != State_Idle)
        return false;
    ExpressionNameReceivedResponse reply;
    if (!sendAndReceive(
            Protocol::nameExpressionCommand(identifier, name), reply, m_responseTimeout))
        return false;
    if (response)
        *response = reply;
    return true;
}

bool TwoPointFourGHzHub::stopNaming(SessionType session, std::initializer_list<ListKind> reread)
{
    if (m_sessionType == SessionType_None)
        return true;
    if (m_sessionType != session)
        return false;
    m_sessionType = SessionType_None;
    OKResponse reply;
    const bool ok = sendAndReceive(Protocol::endSessionCommand(), reply, m_flashWriteTimeout);
    if (ok) {
        for (ListKind kind : reread)
            setNeedsReading(kind, !readList(kind));
    }
    return ok;
}

bool TwoPointFourGHzHub::stopTavioteNamingSession()
{
    return stopNaming(SessionType_VoteNaming, { List_Votes });
}

bool TwoPointFourGHzHub::stopSlateNamingSession()
{
    return stopNaming(SessionType_SlateNaming, { List_Slates });
}

bool TwoPointFourGHzHub::stopExpressionNamingSession()
{
    if (m_sessionType == SessionType_None)
        return true;
    if (m_sessionType != SessionType_ExpressionNaming)
        return false;
    const bool ok
        = stopNaming(SessionType_ExpressionNaming, { List_Expressions, List_PenExpressions });
    setExpressionDeviceNamedCallback(nullptr, nullptr);
    return ok;
}

} // namespace Taviosystem
