#include <taviosystem/tessalyenhancedquestionsession.h>

#include "tessalyclient.h"
#include "threadhop.h"

#include <taviosystem/device.h>
#include <taviosystem/virtualtessalyhub.h>

namespace Taviosystem {

const char* const TessalyEnhancedQuestionSession::LatexStartMarker
    = "<span class=\"mathquill-embedded-latex\">";
const char* const TessalyEnhancedQuestionSession::LatexEndMarker = "</span>";

namespace {
const char* const HostLatexStart = "<LaTeX>";
const char* const HostLatexEnd = "</LaTeX>";
const char* const MathMLStart = "<math";
// Option answers end with two bytes the decoder does not read.
const char* const OptionAnswerTrailer = "  ";
const int YesValue = 1;
const int NoValue = 2;
const int DontKnowValue = 2;

QString optionLabel(DisplayOption display, int index)
{
    switch (display) {
    case DisplayOption_LowerCaseLetters:
        return QString(QChar(u'a' + index));
    case DisplayOption_UpperCaseLetters:
        return QString(QChar(u'A' + index));
    default:
        return QString::number(index + 1);
    }
}

QString displayLabelsName(DisplayOption display)
{
    switch (display) {
    case DisplayOption_LowerCaseLetters:
        return QStringLiteral("lower");
    case DisplayOption_UpperCaseLetters:
        return QStringLiteral("upper");
    default:
        return QStringLiteral("digits");
    }
}

void addOption(
    Tessaly::QuestionBaseWithOptions* question, const char* text, const char* key, int value)
{
    question->addActivityOption(QString::fromLatin1(text), QString::fromLatin1(key), value);
}
} // namespace

TessalyEnhancedQuestionSession::TessalyEnhancedQuestionSession(Hub* hub, PresenterCollab* collab)
    : EnhancedQuestionSession(hub)
    , m_tessalyHub(qobject_cast<VirtualTessalyHub*>(hub))
    , m_assessment(new PresenterAssessment(this, collab))
{
    connectCollaboration(collab);
}

TessalyEnhancedQuestionSession::~TessalyEnhancedQuestionSession() = default;

void TessalyEnhancedQuestionSession::connectCollaboration(PresenterCollab* collab)
{
    for (const QMetaObject::Connection& connection : std::as_const(m_connections))
        disconnect(connection);
    m_connections.clear();
    if (!collab)
        return;
    m_connections << connect(collab, &PresenterCollab::learnerGetQuestion, this,
        &TessalyEnhancedQuestionSession::onlearnerGetQuestion);
    m_connections << connect(collab, &PresenterCollab::learnerJoin, this,
        [this](const Tessaly::Learner& learner) { onLearnerJoin(learner.token); });
    m_connections << connect(collab, &PresenterCollab::learnerUnregister, this,
        &TessalyEnhancedQuestionSession::onLearnerUnregister);
}

void TessalyEnhancedQuestionSession::rebind(PresenterCollab* collab)
{
    m_assessment->setCollaboration(collab);
    connectCollaboration(collab);
}

bool TessalyEnhancedQuestionSession::useExpressionV2LatexFormat() const { return false; }

QString TessalyEnhancedQuestionSession::getTokenForSerial(uint serial) const
{
    return m_tessalyHub ? m_tessalyHub->getTokenForSerial(int(serial)) : QString();
}

quint32 TessalyEnhancedQuestionSession::serialOf(const QString& token) const
{
    return m_tessalyHub ? quint32(m_tessalyHub->findSerial(token)) : 0;
}

Tessaly::AssessmentOptions* TessalyEnhancedQuestionSession::defaultOptions()
{
    const SessionParameters defaults = defaultSessionParameters();
    auto* options = new Tessaly::AssessmentOptions(this);
    options->allowNavigation = defaults.allowNavigation;
    options->allowBackNavigation = defaults.allowNavigation;
    options->questionCount = defaults.totalQuestions;
    return options;
}

// The options are kept for the learner, who gets them again on rejoining.
bool TessalyEnhancedQuestionSession::startAssessment(
    const QString& token, Tessaly::AssessmentOptions* options)
{
    Tessaly::AssessmentOptions* previous = m_pendingAssessments.value(token);
    m_pendingAssessments.insert(token, options);
    if (previous && previous != options)
        previous->deleteLater();
    return m_assessment->start(token, options);
}

bool TessalyEnhancedQuestionSession::startSession(bool simulate)
{
    return onOwnThread(this, [this, simulate] {
        // The hub's side: checks and the session mark; nothing is sent.
        if (!EnhancedQuestionSession::startSession(false))
            return false;
        Q_UNUSED(simulate);
        // The learners the hub holds now; those who join later are met by onLearnerJoin.
        QList<Device*> devices;
        if (m_tessalyHub)
            m_tessalyHub->readTavioexpressionList(&devices);
        QList<quint32> uids;
        for (const Device* device : std::as_const(devices))
            uids.append(device->uid());
        const bool defaults = usingDefaultSessionParameters();
        for (quint32 uid : std::as_const(uids)) {
            if (!defaults) {
                reportSessionParametersRequest(uid, 0);
                continue;
            }
            const QString token = getTokenForSerial(uid);
            if (!token.isEmpty())
                startAssessment(token, defaultOptions());
        }
        return true;
    });
}

bool TessalyEnhancedQuestionSession::sendSessionParameters(quint32 uid, int totalQuestions,
    int /*startingQuestionNumber*/, bool allowNavigation, const QBitArray& /*questionMask*/,
    int /*lastParameter*/)
{
    return onOwnThread(this, [=] {
        const QString token = getTokenForSerial(uid);
        if (token.isEmpty())
            return false;
        auto* options = new Tessaly::AssessmentOptions(this);
        options->allowNavigation = allowNavigation;
        options->allowBackNavigation = allowNavigation;
        options->questionCount = totalQuestions;
        return startAssessment(token, options);
    });
}

Tessaly::QuestionBase* TessalyEnhancedQuestionSession::makeQuestion(
    const EnhancedQuestion& question)
{
    switch (question.type()) {
    case EnhancedQuestion::Type_Multichoice:
    case EnhancedQuestion::Type_SortInOrder: {
        const auto* options = dynamic_cast<const OptionQuestion*>(&question);
        if (!options)
            return nullptr;
        Tessaly::QuestionBaseWithOptions* object
            = question.type() == EnhancedQuestion::Type_Multichoice
            ? static_cast<Tessaly::QuestionBaseWithOptions*>(new Tessaly::QuestionMultiChoice(this))
            : new Tessaly::QuestionSort(this);
        for (int i = 0; i < qBound(0, options->numberOfOptions(), Hub::maxNumberOfOptions); ++i) {
            const QString label = optionLabel(options->displayOption(), i);
            object->addActivityOption(label, label, i + 1);
        }
        object->maxAnswers = options->numberOfResponses();
        object->correctAnswer = options->correctLabels();
        object->displayLabels = displayLabelsName(options->displayOption());
        return object;
    }
    case EnhancedQuestion::Type_YesNo:
    case EnhancedQuestion::Type_TrueFalse: {
        const auto* choice = dynamic_cast<const ThreeChoiceQuestion*>(&question);
        if (!choice)
            return nullptr;
        auto* object = new Tessaly::QuestionYesNo(this);
        if (question.type() == EnhancedQuestion::Type_YesNo) {
            addOption(object, "Yes", "YES", YesValue);
            addOption(object, "No", "NO", NoValue);
        } else {
            addOption(object, "True", "TRUE", YesValue);
            addOption(object, "False", "FALSE", NoValue);
        }
        if (choice->showThirdChoice())
            addOption(object, "?", "DONTKNOW", DontKnowValue);
        return object;
    }
    case EnhancedQuestion::Type_Likert: {
        const auto* likert = dynamic_cast<const LikertQuestion*>(&question);
        if (!likert)
            return nullptr;
        auto* object = new Tessaly::QuestionScale(this);
        for (int value = 1; value <= qBound(0, likert->scale(), Hub::maxLikertScaleValue); ++value)
            object->addActivityOption(QString::number(value), QString::number(value), value);
        if (likert->correctValue() != 0)
            object->correctAnswer = QString::number(likert->correctValue());
        return object;
    }
    case EnhancedQuestion::Type_Numeric: {
        const auto* numeric = dynamic_cast<const NumericQuestion*>(&question);
        if (!numeric)
            return nullptr;
        auto* object = new Tessaly::QuestionNumeric(this);
        object->maxLength = numeric->maxAnswerLength();
        object->correctAnswer = numeric->correctAnswer();
        return object;
    }
    case EnhancedQuestion::Type_Text: {
        const auto* text = dynamic_cast<const TextQuestion*>(&question);
        if (!text)
            return nullptr;
        Tessaly::QuestionBase* object = question.equation()
            ? static_cast<Tessaly::QuestionBase*>(new Tessaly::QuestionMathFormula(this))
            : new Tessaly::QuestionText(this);
        QString answer = text->correctAnswer(useExpressionV2LatexFormat());
        object->correctAnswer = encodeAsTessalyLatex(answer);
        object->maxLength = text->maxAnswerLength();
        return object;
    }
    default:
        return nullptr;
    }
}

bool TessalyEnhancedQuestionSession::sendQuestion(quint32 uid, const EnhancedQuestion* question)
{
    return onOwnThread(this, [=] {
        if (!question || !question->isValid())
            return false;
        QuestionRecord record;
        record.kind = question->type();
        record.questionNumber = quint16(question->questionNumber());
        record.equation = question->equation();
        if (const auto* options = dynamic_cast<const OptionQuestion*>(question))
            record.displayOption = options->displayOption();
        storeQuestionRecord(uid, record);

        Tessaly::QuestionBase* object = makeQuestion(*question);
        if (!object)
            return false;
        QString text = question->questionText(useExpressionV2LatexFormat());
        convertToTessalyLatex(text);
        object->number = question->questionNumber();
        object->text = text;
        object->showNumber = question->showQuestionNumber();
        const QString token = getTokenForSerial(uid);
        const bool sent = !token.isEmpty() && m_assessment->sendQuestion(token, object);
        object->deleteLater();
        return sent;
    });
}

bool TessalyEnhancedQuestionSession::sendPopUpMessage(quint32 uid, bool flag, const QString& text)
{
    onOwnThread(
        this, [=] { m_assessment->sendMessage(getTokenForSerial(uid), text, flag, false); });
    return true;
}

bool TessalyEnhancedQuestionSession::sendNoMoreQuestionsNotification(
    quint32 uid, const QString& text)
{
    onOwnThread(
        this, [=] { m_assessment->sendMessage(getTokenForSerial(uid), text, false, false); });
    return true;
}

bool TessalyEnhancedQuestionSession::sendMessage(
    quint32 uid, QFlags<MessageControlFlag> flags, const QString& text)
{
    if (flags.testFlag(MessageControlFlag_ReviewAnswers)) {
        onOwnThread(
            this, [=] { m_assessment->sendMessage(getTokenForSerial(uid), text, true, true); });
        return true;
    }
    if (flags.testFlag(MessageControlFlag_YesNo)) {
        onOwnThread(
            this, [=] { m_assessment->sendMessage(getTokenForSerial(uid), text, true, false); });
        return true;
    }
    return sendPopUpMessage(uid, flags.testFlag(MessageControlFlag_CanDismiss), text);
}

void TessalyEnhancedQuestionSession::stopTessalyAssessment() { m_assessment->stop(); }

// Learners' requests and answers (the hub's thread) -----------------------------------------------

void TessalyEnhancedQuestionSession::onlearnerGetQuestion(QString token, int questionNumber)
{
    const quint32 serial = serialOf(token);
    if (serial != 0 && isActive())
        reportQuestionRequest(serial, questionNumber);
}

// A learner who comes back resumes with the options it had; one new to this test is treated as
// the test's start treated the others.
void TessalyEnhancedQuestionSession::onLearnerJoin(const QString& token)
{
    if (!isActive() || token.isEmpty())
        return;
    if (Tessaly::AssessmentOptions* options = m_pendingAssessments.value(token)) {
        m_assessment->start(token, options);
        return;
    }
    const quint32 serial = serialOf(token);
    if (serial == 0)
        return;
    if (usingDefaultSessionParameters())
        startAssessment(token, defaultOptions());
    else
        reportSessionParametersRequest(serial, 0);
}

void TessalyEnhancedQuestionSession::onLearnerUnregister(QString token)
{
    const quint32 serial = serialOf(token);
    if (serial != 0 && isActive())
        reportDeviceShutDown(serial);
}

void TessalyEnhancedQuestionSession::processResponse(
    Hub* hub, uint serial, QString answer, void* context)
{
    QuestionRecord record;
    if (!findQuestionRecord(serial, &record))
        return;
    if (answer.size() > VirtualTessalyHub::MaximumAnswerLength)
        return;
    QByteArray message;
    if (responseMessage(record.kind, answer, message))
        responseCallback(hub, serial, message, context, false);
}

bool TessalyEnhancedQuestionSession::responseMessage(
    int kind, const QString& answer, QByteArray& message)
{
    QString text = answer;
    extractTessalyLatex(text);
    switch (kind) {
    case EnhancedQuestion::Type_YesNo:
        message = text == QLatin1String("Yes") ? "A" : text == QLatin1String("No") ? "B" : "C";
        return true;
    case EnhancedQuestion::Type_TrueFalse:
        message = text == QLatin1String("True") ? "A" : text == QLatin1String("False") ? "B" : "C";
        return true;
    case EnhancedQuestion::Type_Likert: {
        // A scale value is a small number; anything else fits no option.
        bool ok = false;
        const int value = text.trimmed().toInt(&ok);
        if (!ok || value < 0 || value > Hub::maxLikertScaleValue)
            return false;
        message = QByteArray(1, char(value));
        return true;
    }
    case EnhancedQuestion::Type_Numeric:
    case EnhancedQuestion::Type_Text:
        message = text.toUtf8();
        return true;
    default:
        text.remove(QLatin1Char(','));
        text.remove(QLatin1Char(' '));
        message = text.toUtf8() + OptionAnswerTrailer;
        return true;
    }
}

// Text helpers ------------------------------------------------------------------------------------

void TessalyEnhancedQuestionSession::convertToTessalyLatex(QString& text)
{
    text.replace(QLatin1String(HostLatexStart), QLatin1String(LatexStartMarker));
    text.replace(QLatin1String(HostLatexEnd), QLatin1String(LatexEndMarker));
}

QString TessalyEnhancedQuestionSession::extractTessalyLatex(QString& text)
{
    const QLatin1String start(LatexStartMarker);
    const qsizetype begin = text.indexOf(start);
    if (begin < 0)
        return text;
    const qsizetype from = begin + start.size();
    const qsizetype end = text.indexOf(QLatin1String(LatexEndMarker), from);
    if (end < 0)
        return text;
    text = text.mid(from, end - from);
    return text;
}

QString TessalyEnhancedQuestionSession::encodeAsTessalyLatex(QString& text)
{
    if (!text.contains(QLatin1String(LatexStartMarker))
        && !text.contains(QLatin1String(MathMLStart)))
        text = QLatin1String(LatexStartMarker) + text + QLatin1String(LatexEndMarker);
    return text;
}

} // namespace Taviosystem
