// The cloud hub's question sessions (cloud polls), their answers, the self-paced test session and
// the recovery of a lost connection.

#include <taviosystem/virtualtessalyhub.h>

#include "mathtext/latextomathml.h"
#include "tessalyclient.h"
#include "tessalylog.h"
#include "threadhop.h"

#include <taviosystem/taviosystem.h>
#include <taviosystem/tessalyenhancedquestionsession.h>

#include <QtCore/QTimer>

namespace Taviosystem {

Q_LOGGING_CATEGORY(lcTessaly, "taviosystem.tessaly", QtInfoMsg)

namespace {
enum PollKind {
    Poll_TrueFalse = 0,
    Poll_YesNo = 1,
    Poll_MultipleChoice = 2,
    Poll_Scale = 3,
    Poll_Sort = 4,
    Poll_Text = 5,
    Poll_Numeric = 7,
    Poll_Math = 9
};
enum OrdinalKind {
    Ordinal_TrueFalse = 0,
    Ordinal_YesNo = 1,
    Ordinal_YesNoUnsure = 3,
    Ordinal_UpperLetters = 5,
    Ordinal_LowerLetters = 6,
    Ordinal_Numbers = 7,
    Ordinal_None = 10
};
const int TwoChoices = 2;
const int ThreeChoices = 3;
const int OneAnswer = 1;
const int TextOptionCount = 2;
const char* const LatexStart = "<LaTeX>";
const char* const LatexEnd = "</LaTeX>";

int ordinalForDisplay(DisplayOption display)
{
    switch (display) {
    case DisplayOption_Digits:
        return Ordinal_Numbers;
    case DisplayOption_LowerCaseLetters:
        return Ordinal_LowerLetters;
    default:
        return Ordinal_UpperLetters;
    }
}

QString withoutSeparators(const QString& response)
{
    QString result = response;
    result.remove(QLatin1Char(','));
    result.remove(QLatin1Char(' '));
    return result;
}

// The 0-based option indexes of an answer as labels counted from `first`; false when a character
// is not an index below optionCount (or below the hub's most options when that is 0).
bool optionLabels(const QString& indexes, int optionCount, QChar first, QString& labels)
{
    if (indexes.isEmpty())
        return false;
    const int bound = optionCount > 0 ? optionCount : Hub::maxNumberOfOptions;
    labels.clear();
    for (QChar c : indexes) {
        const int index = c.unicode() - u'0';
        if (index < 0 || index >= bound)
            return false;
        labels.append(QChar(first.unicode() + index));
    }
    return true;
}

// An answer of digits only, as a number; -1 otherwise.
int digitsValue(const QString& text)
{
    if (text.isEmpty() || text.size() > 9)
        return -1;
    int value = 0;
    for (QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return -1;
        value = value * 10 + (c.unicode() - u'0');
    }
    return value;
}

bool isPollSession(Hub::SessionType session)
{
    return session >= Hub::SessionType_Multichoice && session <= Hub::SessionType_SortInOrder;
}
} // namespace

// Decoding answers --------------------------------------------------------------------------------

int VirtualTessalyHub::translateToYesNoResponse(const QString& text, int value)
{
    if (text == QLatin1String("0"))
        return YesNoResponse_Yes;
    if (text == QLatin1String("1"))
        return YesNoResponse_No;
    if (text == QLatin1String("2"))
        return YesNoResponse_Invalid;
    return TwoPointFourGHzHub::translateToYesNoResponse(value);
}

int VirtualTessalyHub::translateToTrueFalseResponse(const QString& text, int value)
{
    if (text == QLatin1String("True"))
        return TrueFalseResponse_True;
    if (text == QLatin1String("False"))
        return TrueFalseResponse_False;
    // The option indexes the poll offers: 0 true, 1 false, 2 don't know.
    return translateToYesNoResponse(text, value);
}

bool VirtualTessalyHub::processQuestionResponse(int type, int /*serial*/, const QString& response,
    int display, bool mathsFlag, int& vote, QString& text, int& value, int optionCount)
{
    vote = 0;
    value = 0;
    text.clear();
    if (response.size() > MaximumAnswerLength)
        return false;
    switch (type) {
    case SessionType_Multichoice: {
        // Polls number their options from 0; the host reads them as the radio hub gives them.
        const QChar first = display == DisplayOption_Digits ? QLatin1Char('1')
            : display == DisplayOption_UpperCaseLetters     ? QLatin1Char('A')
                                                            : QLatin1Char('a');
        return optionLabels(withoutSeparators(response), optionCount, first, text);
    }
    case SessionType_YesNo:
    case SessionType_TrueFalse: {
        if (response.isEmpty())
            return false;
        const int index = digitsValue(response);
        if (index >= 0 && optionCount > 0 && index >= optionCount)
            return false;
        text = response;
        vote = response.at(0).unicode();
        return true;
    }
    case SessionType_Likert: {
        const int index = digitsValue(response.trimmed());
        if (index < 0 || (optionCount > 0 && index >= optionCount))
            return false;
        vote = index + 1;
        return true;
    }
    case SessionType_Numeric:
        text = response;
        return true;
    case SessionType_Text:
        if (!mathsFlag) {
            text = response;
            return true;
        }
        {
            QString latex = response;
            TessalyEnhancedQuestionSession::extractTessalyLatex(latex);
            QString mathml;
            value = LatexParser::translate(latex, mathml, false);
            text = value == 0 ? mathml : response;
        }
        return true;
    case SessionType_SortInOrder:
        return optionLabels(withoutSeparators(response), optionCount, QLatin1Char('A'), text);
    case SessionType_Message:
        return true;
    default:
        return false;
    }
}

void VirtualTessalyHub::onLearnerPollResponse(
    QString userToken, QString /*pollId*/, int /*responseTime*/, QString response)
{
    // Tokens without a device are no learner of this class.
    const int serial = findSerial(userToken);
    if (serial == 0 || !findExpressionDevice(quint32(serial)))
        return;
    if (m_sessionType == SessionType_Async) {
        if (m_tessalySession)
            m_tessalySession->processResponse(this, quint32(serial), response, nullptr);
        return;
    }
    if (!m_pollRunning || !isPollSession(m_sessionType))
        return;
    // A poll restarted after a reconnection may hand earlier answers in again.
    const QString key = userToken + QChar(0) + response;
    if (m_reportedAnswers.contains(key))
        return;
    if (response.size() > MaximumAnswerLength)
        return;
    m_reportedAnswers.insert(key);
    reportAnswer(quint32(serial), response);
}

void VirtualTessalyHub::reportAnswer(quint32 uid, const QString& response)
{
    const SessionType session = m_sessionType;
    int vote = 0;
    QString text;
    int value = 0;
    if (!processQuestionResponse(session, int(uid), response, m_displayOption, m_equation, vote,
            text, value, m_poll.optionCount))
        return;
    int answer = vote;
    if (session == SessionType_YesNo)
        answer = translateToYesNoResponse(text, vote);
    else if (session == SessionType_TrueFalse)
        answer = translateToTrueFalseResponse(text, vote);
    const bool valid = value == 0;
    if (session == SessionType_Text && !valid)
        recordError(Error_InvalidEquationAnswer);
    deliverAnswer(session, uid, m_currentQuestionId, text, answer, valid, m_callbackContext);
}

// Starting polls ----------------------------------------------------------------------------------

// The checks every question start makes first, in order: the connection to the service, the hub,
// the question number.
bool VirtualTessalyHub::checkPollStart(int questionId)
{
    return hasCollaboration(true) && checkQuestionStart(questionId);
}

// The session is in place before the poll starts: answers may come while the call waits.
bool VirtualTessalyHub::startPoll(SessionType session, const PollStart& poll, void* context,
    int questionId, const std::function<void()>& storeCallback)
{
    if (!noSessionRunning())
        return false;
    storeCallback();
    m_callbackContext = context;
    m_currentQuestionId = questionId;
    m_reportedAnswers.clear();
    m_poll = poll;
    m_sessionType = session;
    m_pollRunning = true;
    if (session == SessionType_Message)
        return true;
    if (!m_collab->startPoll(Tessaly::PollType::POLL_TYPE(poll.pollType),
            Tessaly::OrdinalType::ORDINAL_TYPE(poll.ordinalType), poll.optionCount,
            poll.maxAnswers)) {
        m_pollRunning = false;
        m_sessionType = SessionType_None;
        recordError(Error_CommsFailure);
        return false;
    }
    return true;
}

bool VirtualTessalyHub::startMultichoiceSession(int questionId, int numOptions, int numResponses,
    DisplayOption displayOption, TimeUnit, int, StringResponseCallback callback, void* context)
{
    return onOwnThread(this, [=] {
        if (!checkPollStart(questionId) || !isValidNumberOfOptions(numOptions)
            || !isValidNumberOfResponses(numResponses))
            return false;
        if (numResponses > numOptions) {
            recordError(Error_NumOfResponsesExceedsNumOfOptions);
            return false;
        }
        return startPoll(SessionType_Multichoice,
            { Poll_MultipleChoice, ordinalForDisplay(displayOption), numOptions, numResponses },
            context, questionId, [&] {
                m_multichoiceCallback = callback;
                m_displayOption = displayOption;
            });
    });
}

bool VirtualTessalyHub::startYesNoSession(
    int questionId, bool thirdAnswer, TimeUnit, int, YesNoResponseCallback callback, void* context)
{
    return onOwnThread(this, [=] {
        if (!checkPollStart(questionId))
            return false;
        return startPoll(SessionType_YesNo,
            { Poll_YesNo, thirdAnswer ? Ordinal_YesNoUnsure : Ordinal_YesNo,
                thirdAnswer ? ThreeChoices : TwoChoices, OneAnswer },
            context, questionId, [&] { m_yesNoCallback = callback; });
    });
}

bool VirtualTessalyHub::startTrueFalseSession(int questionId, bool thirdAnswer, TimeUnit, int,
    TrueFalseResponseCallback callback, void* context)
{
    return onOwnThread(this, [=] {
        if (!checkPollStart(questionId))
            return false;
        return startPoll(SessionType_TrueFalse,
            { Poll_TrueFalse, Ordinal_TrueFalse, thirdAnswer ? ThreeChoices : TwoChoices,
                OneAnswer },
            context, questionId, [&] { m_trueFalseCallback = callback; });
    });
}

bool VirtualTessalyHub::startLikertSession(
    int questionId, int scale, TimeUnit, int, LikertResponseCallback callback, void* context)
{
    return onOwnThread(this, [=] {
        if (!checkPollStart(questionId) || !isValidLikertScaleValue(scale))
            return false;
        return startPoll(SessionType_Likert, { Poll_Scale, Ordinal_None, scale, OneAnswer },
            context, questionId, [&] { m_likertCallback = callback; });
    });
}

bool VirtualTessalyHub::startNumericSession(int questionId, const QString&, int maxResponseSize,
    TimeUnit, int, StringResponseCallback callback, void* context)
{
    return onOwnThread(this, [=] {
        if (!checkPollStart(questionId) || !isValidMaxResponseSize(maxResponseSize))
            return false;
        return startPoll(SessionType_Numeric,
            { Poll_Numeric, Ordinal_Numbers, TextOptionCount, OneAnswer }, context, questionId,
            [&] { m_numericCallback = callback; });
    });
}

// The text carries no further than its conversion: a text that does not convert is refused.
bool VirtualTessalyHub::startTextSession(int questionId, const QString& question,
    int maxResponseSize, TimeUnit, int, bool isEquation, TextResponseCallback callback,
    void* context)
{
    return onOwnThread(this, [=] {
        if (!checkPollStart(questionId) || !isValidMaxResponseSize(maxResponseSize))
            return false;
        QString latex;
        if (!m_system
            || m_system->translateTextMathmlToLatex(
                   question, latex, QLatin1String(LatexStart), QLatin1String(LatexEnd), false, true)
                != 0) {
            recordError(Error_InvalidMMLEquation);
            return false;
        }
        return startPoll(SessionType_Text,
            { isEquation ? Poll_Math : Poll_Text, Ordinal_None, TextOptionCount, OneAnswer },
            context, questionId, [&] {
                m_textCallback = callback;
                m_equation = isEquation;
            });
    });
}

bool VirtualTessalyHub::startSortInOrderSession(int questionId, int numOptions, int numResponses,
    DisplayOption displayOption, TimeUnit, int, StringResponseCallback callback, void* context)
{
    return onOwnThread(this, [=] {
        if (!checkPollStart(questionId) || !isValidNumberOfOptions(numOptions)
            || !isValidNumberOfResponses(numResponses))
            return false;
        return startPoll(SessionType_SortInOrder,
            { Poll_Sort, ordinalForDisplay(displayOption), numOptions, OneAnswer }, context,
            questionId, [&] {
                m_sortInOrderCallback = callback;
                m_displayOption = displayOption;
            });
    });
}

// A message is shown by the host's own means; the class sees no poll.
bool VirtualTessalyHub::startMessageSession(
    int questionId, const QString&, TimeUnit, int, MessageResponseCallback callback, void* context)
{
    return onOwnThread(this, [=] {
        if (!checkPollStart(questionId))
            return false;
        return startPoll(
            SessionType_Message, {}, context, questionId, [&] { m_messageCallback = callback; });
    });
}

// A session already running: Error_CannotStartSessionBecauseCurrentlyInSession and false.
bool VirtualTessalyHub::noSessionRunning()
{
    if (canStartSession())
        return true;
    recordError(Error_CannotStartSessionBecauseCurrentlyInSession);
    return false;
}

// Ending sessions ---------------------------------------------------------------------------------

bool VirtualTessalyHub::stopSession()
{
    return onOwnThread(this, [this] { return stopCloudSession(); });
}

bool VirtualTessalyHub::stopCloudSession()
{
    const SessionType previous = m_sessionType;
    if (previous == SessionType_None)
        return true;
    m_namingRegistration = false;
    if (!hasCollaboration(true))
        return false;
    m_sessionType = SessionType_Stopping;
    m_pollRunning = false;
    if (previous == SessionType_Async) {
        releaseEnhancedSession();
    } else if (isPollSession(previous) && previous != SessionType_Message) {
        m_collab->stopPoll();
    }
    m_reportedAnswers.clear();
    m_sessionType = SessionType_None;
    return true;
}

// The test ends for every learner and its session object goes once control is back in the
// hub's thread (the stop may come from inside one of its own callbacks).
void VirtualTessalyHub::releaseEnhancedSession()
{
    TessalyEnhancedQuestionSession* session = m_tessalySession;
    m_tessalySession = nullptr;
    if (!session)
        return;
    session->stopTessalyAssessment();
    session->deleteLater();
}

bool VirtualTessalyHub::startAsyncSession(
    AsyncGetMessageCallback getMessage, AsyncReceiveMessageCallback receiveMessage, void* context)
{
    return onOwnThread(this, [=] {
        if (!hasCollaboration(true))
            return false;
        if (!isConnected()) {
            recordError(Error_NotConnected);
            return false;
        }
        if (!noSessionRunning())
            return false;
        {
            std::lock_guard<std::mutex> locker(m_asyncMutex);
            m_asyncGetCallback = getMessage;
            m_asyncReceiveCallback = receiveMessage;
            m_asyncContext = context;
        }
        m_sessionType = SessionType_Async;
        return true;
    });
}

EnhancedQuestionSession* VirtualTessalyHub::enhancedQuestionSession()
{
    return onOwnThread(this, [this]() -> EnhancedQuestionSession* {
        if (!m_tessalySession && m_collab)
            m_tessalySession = new TessalyEnhancedQuestionSession(this, m_collab);
        return m_tessalySession;
    });
}

// Losing the connection ---------------------------------------------------------------------------

void VirtualTessalyHub::onDisconnected()
{
    // The service ending the class, the teacher's stop and a sign-out are no losses.
    const bool endedByService = m_collab && m_collab->sessionEndedByService();
    const bool stoppedHere = m_client && m_client->sessionCode().isNull();
    disconnectCollaboration();
    m_collabConnected = false;
    if (m_closing || endedByService || stoppedHere) {
        m_closing = true;
        return;
    }
    if (m_client)
        m_client->doStopSession();
    m_retryCounter = 1;
    m_retryTimer->start();
}

void VirtualTessalyHub::onRetryConnection()
{
    if (m_closing)
        return;
    if (!m_initialized) {
        verifyAndInitialize();
        startHub();
    }
    if (m_loggedIn)
        startTessalySession();
    if (!isCollabConnected()) {
        ++m_retryCounter;
        // A refusal (an error text) ends the attempts; a service out of reach is tried again.
        if (m_retryCounter < MaximumRetryCount && m_loggedIn && getTessalyLastError().isEmpty())
            m_retryTimer->start();
        else
            Q_EMIT tessalySessionDisconnected();
        return;
    }
    m_retryCounter = 0;
    qCDebug(lcTessaly) << "connection to the cloud service restored";
    if (m_client)
        m_client->doGetLearners();
    // A poll that ran goes on with the same numbers; answers already reported stay reported.
    if (m_pollRunning && isPollSession(m_sessionType) && m_sessionType != SessionType_Message)
        m_collab->startPoll(Tessaly::PollType::POLL_TYPE(m_poll.pollType),
            Tessaly::OrdinalType::ORDINAL_TYPE(m_poll.ordinalType), m_poll.optionCount,
            m_poll.maxAnswers);
}

} // namespace Taviosystem
