#include <taviosystem/rondel2enhancedquestionsession.h>

#include "rondel2values.h"
#include "serverdata/adapter.h"
#include "serverdata/records.h"
#include "serverdata/rondel_hub.h"

#include <taviosystem/hub.h>
#include <taviosystem/virtualrondel2hub.h>

#include <QtCore/QLoggingCategory>
#include <QtCore/QStringList>
#include <QtNetwork/QNetworkReply>

namespace Taviosystem {

Q_DECLARE_LOGGING_CATEGORY(lcRondel2)

using Tavio::Rondel_hub;

namespace {
// The two bytes the base session ignores at the end of a choice answer.
const char* const ChoiceAnswerTrailer = "  ";
const int MaximumLikertByte = 127;
} // namespace

Rondel2EnhancedQuestionSession::Rondel2EnhancedQuestionSession(Hub* hub, Tavio::Rondel_hub* entity)
    : EnhancedQuestionSession(hub)
    , m_rondel2Hub(qobject_cast<VirtualRondel2Hub*>(hub))
    , m_entity(entity)
{
}

Rondel2EnhancedQuestionSession::~Rondel2EnhancedQuestionSession() = default;

QVariantMap Rondel2EnhancedQuestionSession::sessionParameters(
    int totalQuestions, int startingQuestionNumber, bool allowNavigation) const
{
    Tavio::TestSessionParameters parameters;
    parameters.setTotalQuestions(totalQuestions);
    parameters.setStartingQuestionNumber(startingQuestionNumber);
    parameters.setNavType(
        QLatin1String(allowNavigation ? "BetweenSectionsAndQuestions" : "NoQuestionNavigation"));
    return parameters.getDelta();
}

// The host answers the parameter requests inside this call (or later); what it sends waits
// for the server's start, since HTTP may deliver the calls out of order.
bool Rondel2EnhancedQuestionSession::startSession(bool)
{
    if (!m_rondel2Hub || !m_rondel2Hub->requireBeacon())
        return false;
    if (isActive())
        return true;
    {
        std::lock_guard<std::mutex> locker(m_heldMutex);
        m_waitingForStart = true;
        m_held.clear();
    }
    ++m_rondel2Hub->m_sessionGeneration;
    m_rondel2Hub->setSessionType(Hub::SessionType_Async);
    setActive(true);
    if (!usingDefaultSessionParameters())
        for (quint32 uid : m_rondel2Hub->expressionUids())
            reportSessionParametersRequest(uid, 0);
    const SessionParameters defaults = defaultSessionParameters();
    m_rondel2Hub->postCallFor(this, Rondel_hub::Method_StartSessionAllDevices,
        QVariantMap { { QStringLiteral("SessionParameters"),
            sessionParameters(defaults.totalQuestions, defaults.startingQuestionNumber,
                defaults.allowNavigation) } },
        "onStartSessionAllDevices", "onStartSessionAllDevicesFailure");
    return true;
}

void Rondel2EnhancedQuestionSession::postDeviceCall(
    int method, const QVariantMap& parameters, const char* successSlot)
{
    {
        std::lock_guard<std::mutex> locker(m_heldMutex);
        if (m_waitingForStart) {
            m_held.append({ method, parameters, QByteArray(successSlot) });
            return;
        }
    }
    m_rondel2Hub->postCallFor(this, method, parameters, successSlot, "fail_log");
}

// Runs on the hub's thread.
void Rondel2EnhancedQuestionSession::onStartSessionAllDevices(QNetworkReply*, QVariant)
{
    QList<HeldCall> held;
    {
        std::lock_guard<std::mutex> locker(m_heldMutex);
        if (!m_waitingForStart)
            return;
        m_waitingForStart = false;
        held.swap(m_held);
    }
    for (const HeldCall& call : std::as_const(held))
        m_entity->request(Rondel_hub::Method(call.method), call.parameters, this,
            call.successSlot.constData(), "fail_log");
}

void Rondel2EnhancedQuestionSession::onStartSessionAllDevicesFailure(
    QNetworkReply* reply, QVariantMap error)
{
    fail_log(reply, error);
    {
        std::lock_guard<std::mutex> locker(m_heldMutex);
        if (!m_waitingForStart)
            return;
        m_waitingForStart = false;
        m_held.clear();
    }
    setActive(false);
    if (m_rondel2Hub->sessionType() == Hub::SessionType_Async)
        m_rondel2Hub->setSessionType(Hub::SessionType_None);
}

void Rondel2EnhancedQuestionSession::sessionStopped()
{
    {
        std::lock_guard<std::mutex> locker(m_heldMutex);
        m_waitingForStart = false;
        m_held.clear();
    }
    setActive(false);
}

void Rondel2EnhancedQuestionSession::onStartSessionForDevice(QNetworkReply*, QVariant) { }
void Rondel2EnhancedQuestionSession::success_log(QNetworkReply*, QVariant) { }

void Rondel2EnhancedQuestionSession::fail_log(QNetworkReply* reply, QVariantMap error)
{
    m_entity->adapter()->log(reply, error);
}

bool Rondel2EnhancedQuestionSession::sendSessionParameters(quint32 uid, int totalQuestions,
    int startingQuestionNumber, bool allowNavigation, const QBitArray&, int)
{
    postDeviceCall(Rondel_hub::Method_StartSessionForDevice,
        QVariantMap { { QStringLiteral("DeviceID"), uid },
            { QStringLiteral("SessionParameters"),
                sessionParameters(totalQuestions, startingQuestionNumber, allowNavigation) } },
        "onStartSessionForDevice");
    return true;
}

namespace {
// Whether the question keeps within the hub's limits; a refused question changes nothing.
bool withinLimits(Hub* hub, const EnhancedQuestion& question)
{
    switch (question.type()) {
    case EnhancedQuestion::Type_Multichoice:
    case EnhancedQuestion::Type_SortInOrder: {
        const auto* options = dynamic_cast<const OptionQuestion*>(&question);
        return options && hub->isValidNumberOfOptions(options->numberOfOptions())
            && hub->isValidNumberOfResponses(options->numberOfResponses())
            && options->numberOfResponses() <= options->numberOfOptions();
    }
    case EnhancedQuestion::Type_YesNo:
    case EnhancedQuestion::Type_TrueFalse:
        return dynamic_cast<const ThreeChoiceQuestion*>(&question) != nullptr;
    case EnhancedQuestion::Type_Likert: {
        const auto* likert = dynamic_cast<const LikertQuestion*>(&question);
        return likert && hub->isValidLikertScaleValue(likert->scale());
    }
    case EnhancedQuestion::Type_Numeric: {
        const auto* numeric = dynamic_cast<const NumericQuestion*>(&question);
        return numeric && hub->isValidMaxResponseSize(numeric->maxAnswerLength());
    }
    case EnhancedQuestion::Type_Text: {
        const auto* text = dynamic_cast<const TextQuestion*>(&question);
        return text && hub->isValidMaxResponseSize(text->maxAnswerLength());
    }
    default:
        return false;
    }
}

QString optionText(const QStringList& options, int i)
{
    return i - 1 < options.size() ? options.at(i - 1) : QString();
}
} // namespace

bool Rondel2EnhancedQuestionSession::sendQuestion(quint32 uid, const EnhancedQuestion* question)
{
    if (!question || !question->isValid() || !m_rondel2Hub
        || !withinLimits(m_rondel2Hub, *question))
        return false;

    QuestionRecord record;
    record.kind = question->type();
    record.questionNumber = quint16(question->questionNumber());
    record.equation = question->equation();
    if (const auto* options = dynamic_cast<const OptionQuestion*>(question))
        record.displayOption = options->displayOption();
    storeQuestionRecord(uid, record);

    Tavio::TestQuestionDocument document;
    document.setAssessmentQuestionID(question->questionNumber());
    document.setQuestionNumber(question->questionNumber());
    document.setShowQuestionNumber(question->showQuestionNumber());
    document.setMathFormat(QStringLiteral("MathML"));
    // The first line is the question; each further line is an option, after its label field.
    const QStringList lines
        = question->questionText(useExpressionV2LatexFormat()).split(QLatin1Char('\n'));
    document.setQuestionText(lines.value(0));
    QStringList options;
    for (int i = 1; i < lines.size(); ++i)
        options.append(lines.at(i).section(QLatin1Char(':'), 1));

    QVariantList responses;
    switch (question->type()) {
    case EnhancedQuestion::Type_Multichoice:
    case EnhancedQuestion::Type_SortInOrder: {
        const auto* choice = static_cast<const OptionQuestion*>(question);
        if (question->type() == EnhancedQuestion::Type_SortInOrder)
            document.setQuestionType(QStringLiteral("SortAndOrder"));
        else
            document.setQuestionType(QLatin1String(
                choice->numberOfResponses() > 1 ? "MultipleResponse" : "MultipleChoice"));
        document.setMaxResponses(choice->numberOfResponses());
        for (int i = 1; i <= choice->numberOfOptions(); ++i)
            responses.append(Rondel2::possibleResponse(
                i, Rondel2::optionOrdinal(i, choice->displayOption()), optionText(options, i)));
        break;
    }
    case EnhancedQuestion::Type_YesNo:
    case EnhancedQuestion::Type_TrueFalse: {
        const bool yesNo = question->type() == EnhancedQuestion::Type_YesNo;
        const QString first = QLatin1String(yesNo ? "Yes" : "True");
        const QString second = QLatin1String(yesNo ? "No" : "False");
        document.setQuestionType(QStringLiteral("TrueFalse"));
        responses.append(Rondel2::possibleResponse(1, first, first));
        responses.append(Rondel2::possibleResponse(2, second, second));
        if (static_cast<const ThreeChoiceQuestion*>(question)->showThirdChoice())
            responses.append(
                Rondel2::possibleResponse(3, QStringLiteral("?"), QStringLiteral("?")));
        break;
    }
    case EnhancedQuestion::Type_Likert: {
        const int scale = static_cast<const LikertQuestion*>(question)->scale();
        document.setQuestionType(QStringLiteral("ScaleScore"));
        for (int i = 1; i <= scale; ++i)
            responses.append(
                Rondel2::possibleResponse(i, QString::number(i), optionText(options, i)));
        break;
    }
    case EnhancedQuestion::Type_Numeric:
        document.setQuestionType(QStringLiteral("Gridded"));
        document.setMaxResponses(static_cast<const NumericQuestion*>(question)->maxAnswerLength());
        break;
    case EnhancedQuestion::Type_Text:
        document.setQuestionType(
            QLatin1String(question->equation() ? "Equation" : "ShortAnswerWithOptions"));
        break;
    default:
        return false;
    }
    document.setPossibleResponses(responses);
    postDeviceCall(Rondel_hub::Method_SendQuestion,
        QVariantMap { { QStringLiteral("DeviceID"), uid },
            { QStringLiteral("Question"), document.getDelta() } },
        "success_log");
    return true;
}

bool Rondel2EnhancedQuestionSession::sendPopUpMessage(quint32 uid, bool flag, const QString& text)
{
    postDeviceCall(Rondel_hub::Method_SendMessage,
        QVariantMap { { QStringLiteral("DeviceID"), uid }, { QStringLiteral("Message"), text },
            { QStringLiteral("CanDismiss"), flag } },
        "success_log");
    return true;
}

bool Rondel2EnhancedQuestionSession::sendNoMoreQuestionsNotification(
    quint32 uid, const QString& text)
{
    return sendPopUpMessage(uid, false, text);
}

bool Rondel2EnhancedQuestionSession::sendMessage(
    quint32 uid, QFlags<MessageControlFlag> flags, const QString& text)
{
    QStringList meta;
    if (flags.testFlag(MessageControlFlag_ReviewAnswers))
        meta = QStringList { QStringLiteral("reviewAnswers"), QStringLiteral("yesNo") };
    else if (flags.testFlag(MessageControlFlag_YesNo))
        meta = QStringList { QStringLiteral("yesNo") };
    else
        return sendPopUpMessage(uid, flags.testFlag(MessageControlFlag_CanDismiss), text);
    postDeviceCall(Rondel_hub::Method_SendMessageMeta,
        QVariantMap { { QStringLiteral("DeviceID"), uid }, { QStringLiteral("Message"), text },
            { QStringLiteral("CanDismiss"), true }, { QStringLiteral("Meta"), meta } },
        "success_log");
    return true;
}

void Rondel2EnhancedQuestionSession::requestQuestion(quint32 uid, int questionNumber)
{
    reportQuestionRequest(uid, questionNumber);
}

void Rondel2EnhancedQuestionSession::notifyDeviceShutdown(quint32 uid)
{
    reportDeviceShutDown(uid);
}

bool Rondel2EnhancedQuestionSession::answersQuestion(quint32 uid, int questionId) const
{
    QuestionRecord record;
    return findQuestionRecord(uid, &record) && record.questionNumber == questionId;
}

QByteArray Rondel2EnhancedQuestionSession::answerMessage(int kind, const QString& answer)
{
    switch (kind) {
    case EnhancedQuestion::Type_YesNo:
        return answer == QLatin1String("Yes") ? QByteArray("A")
            : answer == QLatin1String("No")   ? QByteArray("B")
                                              : QByteArray("C");
    case EnhancedQuestion::Type_TrueFalse:
        return answer == QLatin1String("True") ? QByteArray("A")
            : answer == QLatin1String("False") ? QByteArray("B")
                                               : QByteArray("C");
    case EnhancedQuestion::Type_Likert: {
        bool ok = false;
        const int value = answer.trimmed().toInt(&ok, 10);
        if (!ok || value < 0 || value > MaximumLikertByte)
            return QByteArray();
        return QByteArray(1, char(value));
    }
    case EnhancedQuestion::Type_Numeric:
    case EnhancedQuestion::Type_Text:
        return answer.toUtf8();
    default:
        return Rondel2::withoutSeparators(answer).toUtf8() + ChoiceAnswerTrailer;
    }
}

void Rondel2EnhancedQuestionSession::processResponse(
    Hub* hub, uint uid, QString answer, void* context)
{
    QuestionRecord record;
    if (!findQuestionRecord(uid, &record))
        return;
    const QByteArray message = answerMessage(record.kind, answer);
    if (message.isEmpty() && record.kind == EnhancedQuestion::Type_Likert) {
        qCWarning(lcRondel2) << "a Likert answer that fits no scale:" << answer;
        return;
    }
    responseCallback(hub, uid, message, context, false);
}

} // namespace Taviosystem
