// The classroom-server hub's question sessions: question documents sent through the server, and
// the answers the beacon announces fetched and reported to the host.

#include <taviosystem/virtualrondel2hub.h>

#include "rondel2values.h"
#include "serverdata/adapter.h"
#include "serverdata/records.h"
#include "serverdata/rondel_hub.h"

#include <taviosystem/rondel2enhancedquestionsession.h>
#include <taviosystem/taviosystem.h>

#include <QtCore/QLoggingCategory>
#include <QtCore/QThread>
#include <QtNetwork/QNetworkReply>

namespace Taviosystem {

Q_DECLARE_LOGGING_CATEGORY(lcRondel2)

using Tavio::Rondel_hub;

namespace {
const char* const LatexStart = "<LaTeX>";
const char* const LatexEnd = "</LaTeX>";
const char* const QuestionKey = "question";
const char* const GenerationKey = "generation";
} // namespace

// Checks shared by every voting session, in this order: the server, the hub, the question
// number. The session-specific checks follow, then whether a session runs already.
bool VirtualRondel2Hub::checkVotingStart(int questionId)
{
    return requireBeacon() && checkQuestionStart(questionId);
}

bool VirtualRondel2Hub::refuseWhenBusy()
{
    if (m_sessionType == SessionType_None)
        return false;
    recordError(Error_CannotStartSessionBecauseCurrentlyInSession);
    return true;
}

QVariantList VirtualRondel2Hub::choiceResponses(int numOptions, DisplayOption displayOption) const
{
    QVariantList responses;
    for (int i = 1; i <= numOptions; ++i)
        responses.append(Rondel2::possibleResponse(
            i, Rondel2::optionOrdinal(i, displayOption), QString::number(i)));
    return responses;
}

bool VirtualRondel2Hub::startSessionWithQuestion(
    SessionType type, int questionId, const QVariantMap& question, void* context)
{
    m_callbackContext = context;
    m_currentQuestionId = questionId;
    const int generation = ++m_sessionGeneration;
    m_sessionType = type;
    Tavio::TestSessionParameters parameters;
    parameters.setStartingQuestionNumber(1);
    parameters.setSectionCount(1);
    parameters.setTotalQuestions(1);
    parameters.setNavType(QStringLiteral("NoQuestionNavigation"));
    const QVariantMap callContext { { QLatin1String(QuestionKey), question },
        { QLatin1String(GenerationKey), generation } };
    postCall(Rondel_hub::Method_StartSessionAllDevices,
        QVariantMap { { QStringLiteral("SessionParameters"), parameters.getDelta() } },
        "onStartSessionWithQuestion", "onStartSessionWithQuestionFailure", callContext);
    return true;
}

// The question goes to the devices only once the server has started the session on them.
void VirtualRondel2Hub::onStartSessionWithQuestion(QNetworkReply* reply, QVariant)
{
    const QVariantMap context = reply ? reply->property("context").toMap() : QVariantMap();
    if (context.value(QLatin1String(GenerationKey)).toInt() != m_sessionGeneration
        || m_sessionType == SessionType_None)
        return;
    const QVariantMap question = context.value(QLatin1String(QuestionKey)).toMap();
    for (quint32 uid : expressionUids())
        m_entity->request(Rondel_hub::Method_SendQuestion,
            QVariantMap {
                { QStringLiteral("DeviceID"), uid }, { QStringLiteral("Question"), question } },
            this, "success_log", "fail_log");
}

void VirtualRondel2Hub::onStartSessionWithQuestionFailure(QNetworkReply* reply, QVariantMap error)
{
    m_adapter->log(reply, error);
    const QVariantMap context = reply ? reply->property("context").toMap() : QVariantMap();
    if (context.value(QLatin1String(GenerationKey)).toInt() == m_sessionGeneration)
        m_sessionType = SessionType_None;
}

namespace {
QVariantMap questionDocument(const QString& type, const QVariantList& responses)
{
    Tavio::TestQuestionDocument document;
    document.setQuestionNumber(1);
    document.setQuestionType(type);
    if (!responses.isEmpty())
        document.setPossibleResponses(responses);
    return document.getDelta();
}

QVariantList threeChoices(const char* first, const char* second, bool third)
{
    QVariantList responses { Rondel2::possibleResponse(
                                 1, QLatin1String(first), QLatin1String(first)),
        Rondel2::possibleResponse(2, QLatin1String(second), QLatin1String(second)) };
    if (third)
        responses.append(Rondel2::possibleResponse(3, QStringLiteral("?"), QStringLiteral("?")));
    return responses;
}
} // namespace

bool VirtualRondel2Hub::checkChoiceStart(int questionId, int numOptions, int numResponses)
{
    if (!checkVotingStart(questionId))
        return false;
    if (!isValidNumberOfOptions(numOptions)) {
        recordError(Error_NumOfOptionsNotWithinTheRange);
        return false;
    }
    if (!isValidNumberOfResponses(numResponses)) {
        recordError(Error_NumOfResponsesNotWithinTheRange);
        return false;
    }
    if (numResponses > numOptions) {
        recordError(Error_NumOfResponsesExceedsNumOfOptions);
        return false;
    }
    if (refuseWhenBusy())
        return false;
    return true;
}

bool VirtualRondel2Hub::startMultichoiceSession(int questionId, int numOptions, int numResponses,
    DisplayOption displayOption, TimeUnit, int, StringResponseCallback callback, void* context)
{
    if (!checkChoiceStart(questionId, numOptions, numResponses))
        return false;
    m_multichoiceCallback = callback;
    m_displayOption = displayOption;
    QVariantMap question
        = questionDocument(QLatin1String(numResponses > 1 ? "MultipleResponse" : "MultipleChoice"),
            choiceResponses(numOptions, displayOption));
    question.insert(QStringLiteral("MaxResponses"), numResponses);
    return startSessionWithQuestion(SessionType_Multichoice, questionId, question, context);
}

bool VirtualRondel2Hub::startSortInOrderSession(int questionId, int numOptions, int numResponses,
    DisplayOption displayOption, TimeUnit, int, StringResponseCallback callback, void* context)
{
    if (!checkChoiceStart(questionId, numOptions, numResponses))
        return false;
    m_sortInOrderCallback = callback;
    m_displayOption = displayOption;
    QVariantMap question = questionDocument(
        QStringLiteral("SortAndOrder"), choiceResponses(numOptions, displayOption));
    question.insert(QStringLiteral("MaxResponses"), numResponses);
    return startSessionWithQuestion(SessionType_SortInOrder, questionId, question, context);
}

bool VirtualRondel2Hub::startYesNoSession(
    int questionId, bool thirdAnswer, TimeUnit, int, YesNoResponseCallback callback, void* context)
{
    if (!checkVotingStart(questionId) || refuseWhenBusy())
        return false;
    m_yesNoCallback = callback;
    return startSessionWithQuestion(SessionType_YesNo, questionId,
        questionDocument(QStringLiteral("TrueFalse"), threeChoices("Yes", "No", thirdAnswer)),
        context);
}

bool VirtualRondel2Hub::startTrueFalseSession(int questionId, bool thirdAnswer, TimeUnit, int,
    TrueFalseResponseCallback callback, void* context)
{
    if (!checkVotingStart(questionId) || refuseWhenBusy())
        return false;
    m_trueFalseCallback = callback;
    return startSessionWithQuestion(SessionType_TrueFalse, questionId,
        questionDocument(QStringLiteral("TrueFalse"), threeChoices("True", "False", thirdAnswer)),
        context);
}

bool VirtualRondel2Hub::startLikertSession(
    int questionId, int scale, TimeUnit, int, LikertResponseCallback callback, void* context)
{
    if (!checkVotingStart(questionId))
        return false;
    if (!isValidLikertScaleValue(scale)) {
        recordError(Error_ScaleValueNotWithinTheRange);
        return false;
    }
    if (refuseWhenBusy())
        return false;
    m_likertCallback = callback;
    m_likertScale = scale;
    QVariantList responses;
    for (int i = 1; i <= scale; ++i)
        responses.append(Rondel2::possibleResponse(i, QString::number(i), QString::number(i)));
    return startSessionWithQuestion(SessionType_Likert, questionId,
        questionDocument(QStringLiteral("ScaleScore"), responses), context);
}

bool VirtualRondel2Hub::startNumericSession(int questionId, const QString& text,
    int maxResponseSize, TimeUnit, int, StringResponseCallback callback, void* context)
{
    if (!checkVotingStart(questionId))
        return false;
    if (!isValidMaxResponseSize(maxResponseSize)) {
        recordError(Error_ResponseSizeNotWithinTheRange);
        return false;
    }
    if (refuseWhenBusy())
        return false;
    m_numericCallback = callback;
    QVariantMap question = questionDocument(QStringLiteral("Gridded"), QVariantList());
    question.insert(QStringLiteral("QuestionText"), text);
    question.insert(QStringLiteral("MaxResponses"), maxResponseSize);
    return startSessionWithQuestion(SessionType_Numeric, questionId, question, context);
}

bool VirtualRondel2Hub::startTextSession(int questionId, const QString& text, int maxResponseSize,
    TimeUnit, int, bool isEquation, TextResponseCallback callback, void* context)
{
    if (!checkVotingStart(questionId))
        return false;
    if (!isValidMaxResponseSize(maxResponseSize)) {
        recordError(Error_ResponseSizeNotWithinTheRange);
        return false;
    }
    if (refuseWhenBusy())
        return false;
    // Maths in the text reaches the devices as first-dialect LaTeX between markers, whether or
    // not the answer is maths.
    QString latex;
    if (!m_system
        || m_system->translateTextMathmlToLatex(
               text, latex, QLatin1String(LatexStart), QLatin1String(LatexEnd), false, true)
            != 0) {
        recordError(Error_InvalidMMLEquation);
        return false;
    }
    m_textCallback = callback;
    m_mathsFlag = isEquation;
    m_equation = isEquation;
    QVariantMap question = questionDocument(
        QLatin1String(isEquation ? "Equation" : "ShortAnswerWithOptions"), QVariantList());
    if (isEquation)
        question.insert(QStringLiteral("MathFormat"), QStringLiteral("MathML"));
    question.insert(QStringLiteral("QuestionText"), latex);
    question.insert(QStringLiteral("MaxResponses"), maxResponseSize);
    return startSessionWithQuestion(SessionType_Text, questionId, question, context);
}

bool VirtualRondel2Hub::startMessageSession(int questionId, const QString& message, TimeUnit, int,
    MessageResponseCallback callback, void* context)
{
    if (!checkVotingStart(questionId) || refuseWhenBusy())
        return false;
    m_messageCallback = callback;
    m_callbackContext = context;
    m_currentQuestionId = questionId;
    ++m_sessionGeneration;
    m_sessionType = SessionType_Message;
    for (quint32 uid : expressionUids())
        postCall(Rondel_hub::Method_SendMessage,
            QVariantMap { { QStringLiteral("DeviceID"), uid },
                { QStringLiteral("Message"), message }, { QStringLiteral("CanDismiss"), true } },
            "success_log", "fail_log");
    return true;
}

bool VirtualRondel2Hub::sendGenericAsyncMessage(unsigned int uid, const QByteArray& data)
{
    if (!requireBeacon())
        return false;
    postCall(Rondel_hub::Method_SendMessage,
        QVariantMap { { QStringLiteral("DeviceID"), uid },
            { QStringLiteral("Message"), QString::fromUtf8(data) },
            { QStringLiteral("CanDismiss"), true } },
        "success_log", "fail_log");
    return true;
}

// Every stop ends the session here, whether or not the server hears of it. A registration
// window is closed as its own stop closes it.
bool VirtualRondel2Hub::stopSession()
{
    const SessionType previous = m_sessionType.exchange(SessionType_None);
    ++m_sessionGeneration;
    Rondel2EnhancedQuestionSession* session = nullptr;
    {
        std::lock_guard<std::mutex> locker(m_enhancedSessionsMutex);
        session = m_rondel2Session;
    }
    if (session)
        session->sessionStopped();
    if (previous == SessionType_ExpressionRegistration)
        return stopRegistration();
    if (!requireBeacon())
        return false;
    postCall(Rondel_hub::Method_EndSessionAllDevices, QVariantMap(), "success_log", "fail_log");
    return true;
}

bool VirtualRondel2Hub::resetHubSession() { return stopSession(); }

EnhancedQuestionSession* VirtualRondel2Hub::enhancedQuestionSession()
{
    std::lock_guard<std::mutex> locker(m_enhancedSessionsMutex);
    if (!m_rondel2Session) {
        m_rondel2Session = new Rondel2EnhancedQuestionSession(this, m_entity);
        if (m_rondel2Session->thread() != thread())
            m_rondel2Session->moveToThread(thread());
        // Deleted with the hub, as every enhanced session is.
        m_enhancedQuestionSession = m_rondel2Session;
    }
    return m_rondel2Session;
}

// Answers -----------------------------------------------------------------------------------------

// One fetch per device at a time; an announcement that comes meanwhile makes one more fetch
// once it is done, so that no answer is lost and none is fetched twice over.
void VirtualRondel2Hub::fetchQuestionResponse(quint32 device)
{
    if (m_fetching.contains(device)) {
        m_fetchQueued.insert(device);
        return;
    }
    m_fetching.insert(device);
    m_entity->request(Rondel_hub::Method_GetQuestionResponse,
        QVariantMap { { QStringLiteral("DeviceID"), device } }, this, "onGetQuestionResponse",
        "onGetQuestionResponseFailure", m_sessionGeneration.load());
}

namespace {
quint32 requestDevice(QNetworkReply* reply)
{
    quint32 uid = 0;
    if (reply)
        Rondel2::readDeviceId(
            reply->property("parameters").toMap().value(QStringLiteral("DeviceID")), &uid);
    return uid;
}
} // namespace

void VirtualRondel2Hub::onGetQuestionResponseFailure(QNetworkReply* reply, QVariantMap error)
{
    m_adapter->log(reply, error);
    fetchDone(requestDevice(reply));
}

// The device's fetch is over: the next one goes, or the requests that waited for it are handled.
void VirtualRondel2Hub::fetchDone(quint32 device)
{
    m_fetching.remove(device);
    if (m_fetchQueued.remove(device)) {
        fetchQuestionResponse(device);
        return;
    }
    const QList<int> requests = m_deferredRequests.take(device);
    for (int request : requests)
        deliverDeviceRequest(device, request);
}

void VirtualRondel2Hub::onGetQuestionResponse(QNetworkReply* reply, QVariant result)
{
    const quint32 uid = requestDevice(reply);
    if (uid == 0)
        return;
    const int generation = reply->property("context").toInt();
    if (result.metaType() == QMetaType::fromType<QVariantMap>()) {
        Tavio::QuestionResponse response;
        QStringList rejected;
        const QVariantMap map = result.toMap();
        if (!response.readFrom(map, &rejected))
            qCWarning(lcRondel2) << "an answer with unusable members:" << rejected;
        if (!rejected.contains(QStringLiteral("Answer")) && map.contains(QStringLiteral("Answer")))
            reportAnswer(uid, map, generation);
    } else {
        qCWarning(lcRondel2) << "an answer that is no object:" << result;
    }
    fetchDone(uid);
}

void VirtualRondel2Hub::reportAnswer(quint32 uid, const QVariantMap& map, int generation)
{
    if (generation != m_sessionGeneration)
        return;
    Tavio::QuestionResponse response;
    response.readFrom(map);
    const QString answer = response.Answer();
    const SessionType type = m_sessionType;
    if (type == SessionType_Async) {
        Rondel2EnhancedQuestionSession* session = nullptr;
        {
            std::lock_guard<std::mutex> locker(m_enhancedSessionsMutex);
            session = m_rondel2Session;
        }
        if (!session || !session->isActive())
            return;
        if (map.contains(QStringLiteral("QuestionID")) && response.QuestionID() != 0
            && !session->answersQuestion(uid, response.QuestionID()))
            return;
        session->processResponse(this, uid, answer, nullptr);
        return;
    }
    if (type < SessionType_Multichoice || type > SessionType_Message)
        return;
    int vote = 0;
    QString text;
    int value = 0;
    if (type != SessionType_Message)
        processQuestionResponse(
            int(type), uid, answer, m_displayOption, m_mathsFlag, vote, text, value);
    int delivered = vote;
    if (type == SessionType_YesNo) {
        delivered = text == QLatin1String("Yes") ? YesNoResponse_Yes
            : text == QLatin1String("No")        ? YesNoResponse_No
                                                 : YesNoResponse_Invalid;
    } else if (type == SessionType_TrueFalse) {
        delivered = text == QLatin1String("True") ? TrueFalseResponse_True
            : text == QLatin1String("False")      ? TrueFalseResponse_False
                                                  : TrueFalseResponse_Invalid;
    } else if (type == SessionType_Likert && (vote < 1 || vote > m_likertScale)) {
        qCWarning(lcRondel2) << "a Likert answer outside the scale:" << answer;
        return;
    }
    deliverAnswer(type, uid, m_currentQuestionId, text, delivered, value == 0, m_callbackContext);
}

void VirtualRondel2Hub::processQuestionResponse(int type, unsigned int, const QString& answer,
    DisplayOption display, bool mathsFlag, int& vote, QString& text, int& value)
{
    vote = 0;
    value = 0;
    text.clear();
    switch (type) {
    case SessionType_Multichoice:
        text = Rondel2::withoutSeparators(answer);
        if (display == DisplayOption_Digits)
            translateToNumericResponse(text);
        else if (display == DisplayOption_LowerCaseLetters)
            text = text.toLower();
        break;
    case SessionType_YesNo:
    case SessionType_TrueFalse:
        text = answer;
        vote = answer.isEmpty() ? 0 : int(answer.at(0).unicode());
        break;
    case SessionType_Likert: {
        bool ok = false;
        vote = answer.trimmed().toInt(&ok, 10);
        if (!ok)
            vote = 0;
        break;
    }
    case SessionType_Numeric:
        text = answer;
        break;
    case SessionType_Text:
        text = answer;
        if (mathsFlag) {
            QString mathml;
            value = m_system ? m_system->translateTextLatexToMathml(answer, mathml, false) : 1;
            if (value == 0)
                text = mathml;
            else
                recordError(Error_InvalidEquationAnswer);
        }
        break;
    case SessionType_SortInOrder:
        text = Rondel2::withoutSeparators(answer);
        break;
    default:
        break;
    }
}

} // namespace Taviosystem
