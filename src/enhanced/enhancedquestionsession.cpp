#include <taviosystem/enhancedquestionsession.h>

#include <taviosystem/device.h>
#include <taviosystem/hub.h>

#include "hub/hubresponse.h"
#include "mathtext/latextomathml.h"

#include <QtCore/QRandomGenerator>
#include <QtCore/QTime>
#include <QtCore/QTimerEvent>

namespace Taviosystem {

namespace {

// The letters yes/no and true/false answers travel as, indexed by the answer value.
constexpr char ChoiceLetters[] = { '?', 'B', 'A', 'C' };
// Simulated devices pick their answers from these.
const char* const SimulatedOptionLetters = "ABCDEF";
const char* const SimulatedChoiceLetters = "AB";
const char* const SimulatedLikertDigits = "1234567";
const char* const SimulatedNumericAnswer = "Numeric";
const char* const SimulatedTextAnswer = "Text";
const char* const SimulatedSortOrder = "ABCDEF";
// Multiple-choice and sort-in-order answers end with two bytes that are not labels.
constexpr int OptionAnswerTrailerSize = 2;

// A big-endian 16-bit length.
void appendLength(QByteArray& message, int length)
{
    message.append(char((length >> 8) & 0xFF));
    message.append(char(length & 0xFF));
}

// Numeric and text answers: UTF-8 up to the padding of the last piece.
QString decodeAnswerText(const QByteArray& message)
{
    const qsizetype end = message.indexOf('\0');
    return QString::fromUtf8(end < 0 ? message : message.left(end));
}

// The shared rule of yes/no and true/false answers: 2 for "A", 1 for "B", otherwise 3.
int choiceOfAnswer(const QByteArray& message)
{
    switch (packetByte(message, 0)) {
    case 'A':
        return YesNoQuestion::Answer_Yes;
    case 'B':
        return YesNoQuestion::Answer_No;
    default:
        return YesNoQuestion::Answer_DontKnow;
    }
}

// Hands an event to the host's callback when one is set, else emits the signal. The callback
// takes the signal's arguments followed by the context.
template <typename Callback, typename Signal, typename... Args>
void raise(EnhancedQuestionSession* session, Callback callback, void* context, Signal signal,
    quint32 uid, Args... args)
{
    if (callback)
        callback(session, uid, args..., context);
    else
        Q_EMIT(session->*signal)(session, uid, args...);
}

} // namespace

EnhancedQuestionSession::EnhancedQuestionSession(Hub* hub, QObject* parent)
    : QObject(parent)
    , m_hub(hub)
{
}

EnhancedQuestionSession::~EnhancedQuestionSession() = default;

bool EnhancedQuestionSession::startSession(bool simulate)
{
    m_simulate = simulate;
    if (m_active)
        return true;
    {
        std::lock_guard<std::mutex> locker(m_mutex);
        m_lastQuestionNumbers.clear();
    }
    if (!m_hub || !m_hub->startAsyncSession(&getMsgCallback, &responseCallback, nullptr))
        return false;
    m_active = true;
    if (simulate)
        startSimulatedStep({ 0, Stage_EnumerateDevices, EnhancedQuestion::Type_None });
    return true;
}

bool EnhancedQuestionSession::stopSession()
{
    bool result = false;
    if (m_active) {
        result = m_hub->stopSession();
        m_active = !result;
    }
    for (auto it = m_simulationTimers.cbegin(); it != m_simulationTimers.cend(); ++it)
        killTimer(it.key());
    m_simulationTimers.clear();
    return result;
}

bool EnhancedQuestionSession::sendQuestion(quint32 uid, const EnhancedQuestion* question)
{
    if (!m_hub || !question || !question->isValid())
        return false;
    {
        std::lock_guard<std::mutex> locker(m_mutex);
        m_lastQuestionNumbers.insert(uid, question->questionNumber());
        m_questionRecords.remove(uid);
    }
    QuestionRecord record;
    record.kind = question->type();
    record.questionNumber = quint16(question->questionNumber());
    record.equation = question->equation();
    quint8 displayByte = 0;
    QString answer;
    if (!prepareQuestion(*question, record, displayByte, answer))
        return false;
    const QByteArray message
        = questionInformationMessage(*question, displayByte, answer, useExpressionV2LatexFormat());
    storeQuestionRecord(uid, record);
    if (!m_simulate)
        return send(uid, message);
    startSimulatedStep({ uid, Stage_Answer, record.kind });
    return true;
}

bool EnhancedQuestionSession::prepareQuestion(
    const EnhancedQuestion& question, QuestionRecord& record, quint8& displayByte, QString& answer)
{
    switch (question.type()) {
    case EnhancedQuestion::Type_Multichoice:
    case EnhancedQuestion::Type_SortInOrder: {
        const auto* options = dynamic_cast<const OptionQuestion*>(&question);
        // A question with more responses than options breaks no single limit: no error.
        if (!options || !m_hub->isValidNumberOfOptions(options->numberOfOptions())
            || !m_hub->isValidNumberOfResponses(options->numberOfResponses())
            || options->numberOfResponses() > options->numberOfOptions())
            return false;
        displayByte = toMCDisplayOptionsByte(
            options->numberOfOptions(), options->numberOfResponses(), options->displayOption());
        answer = options->correctLabels();
        record.displayOption = options->displayOption();
        return true;
    }
    case EnhancedQuestion::Type_YesNo:
    case EnhancedQuestion::Type_TrueFalse: {
        const auto* choice = dynamic_cast<const ThreeChoiceQuestion*>(&question);
        if (!choice)
            return false;
        displayByte = toSCDisplayOptionsByte(choice->showThirdChoice());
        const int value = choice->correctChoice();
        answer = QChar::fromLatin1(
            value >= 0 && value < int(sizeof ChoiceLetters) ? ChoiceLetters[value] : '?');
        return true;
    }
    case EnhancedQuestion::Type_Likert: {
        const auto* likert = dynamic_cast<const LikertQuestion*>(&question);
        if (!likert || !m_hub->isValidLikertScaleValue(likert->scale()))
            return false;
        displayByte = quint8(likert->scale());
        if (likert->correctValue() != 0)
            answer = QString::number(likert->correctValue());
        return true;
    }
    case EnhancedQuestion::Type_Numeric: {
        const auto* numeric = dynamic_cast<const NumericQuestion*>(&question);
        if (!numeric || !m_hub->isValidMaxResponseSize(numeric->maxAnswerLength()))
            return false;
        displayByte = quint8(numeric->maxAnswerLength());
        answer = numeric->correctAnswer();
        return true;
    }
    case EnhancedQuestion::Type_Text: {
        const auto* text = dynamic_cast<const TextQuestion*>(&question);
        if (!text || !m_hub->isValidMaxResponseSize(text->maxAnswerLength()))
            return false;
        displayByte = quint8(text->maxAnswerLength());
        answer = text->correctAnswer(useExpressionV2LatexFormat());
        return true;
    }
    default:
        return false;
    }
}

bool EnhancedQuestionSession::sendSessionParameters(quint32 uid, int totalQuestions,
    int startingQuestionNumber, bool allowNavigation, const QBitArray& questionMask,
    int lastParameter)
{
    if (!m_hub)
        return false;
    // A cloud learner who rejoins resumes at the last question it was sent.
    if (m_hub->isTessalyHub()) {
        std::lock_guard<std::mutex> locker(m_mutex);
        const auto it = m_lastQuestionNumbers.constFind(uid);
        if (it != m_lastQuestionNumbers.cend())
            startingQuestionNumber = it.value();
    }
    return send(uid,
        questionSessionStartMessage(
            totalQuestions, startingQuestionNumber, allowNavigation, questionMask, lastParameter));
}

bool EnhancedQuestionSession::sendMessage(
    quint32 uid, QFlags<MessageControlFlag> flags, const QString& text)
{
    const QByteArray textBytes = text.toUtf8();
    QByteArray message(1, Message_Text);
    appendLength(message, int(textBytes.size()) + 1);
    message.append(char(flags.toInt() & 0xFF));
    message.append(textBytes);
    return send(uid, message);
}

bool EnhancedQuestionSession::sendPopUpMessage(quint32 uid, bool flag, const QString& text)
{
    const QByteArray textBytes = text.toUtf8();
    QByteArray message(1, Message_PopUp);
    if (textBytes.isEmpty()) {
        appendLength(message, 0);
    } else {
        appendLength(message, int(textBytes.size()) + 1);
        message.append(char(flag ? 1 : 0));
        message.append(textBytes);
    }
    return send(uid, message);
}

bool EnhancedQuestionSession::sendNoMoreQuestionsNotification(quint32 uid, const QString& text)
{
    const QByteArray textBytes = text.toUtf8();
    QByteArray message(1, Message_NoMoreQuestions);
    appendLength(message, int(textBytes.size()));
    message.append(textBytes);
    return send(uid, message);
}

bool EnhancedQuestionSession::useExpressionV2LatexFormat() const { return true; }

bool EnhancedQuestionSession::send(quint32 uid, const QByteArray& message)
{
    return m_hub && m_hub->asyncSendMsg(uid, message);
}

void EnhancedQuestionSession::setCallbacks(CallbacksInfo callbacks)
{
    std::lock_guard<std::mutex> locker(m_mutex);
    m_callbacks = callbacks;
}

EnhancedQuestionSession::CallbacksInfo EnhancedQuestionSession::callbacks() const
{
    std::lock_guard<std::mutex> locker(m_mutex);
    return m_callbacks;
}

void EnhancedQuestionSession::setDefaultSessionParameters(int totalQuestions,
    int startingQuestionNumber, bool allowNavigation, QBitArray questionMask, int lastParameter)
{
    std::lock_guard<std::mutex> locker(m_mutex);
    m_defaultParameters
        = { totalQuestions, startingQuestionNumber, allowNavigation, questionMask, lastParameter };
    m_useDefaultParameters = true;
    m_lastQuestionNumbers.clear();
}

void EnhancedQuestionSession::useDefaultSessionParameters(bool use)
{
    std::lock_guard<std::mutex> locker(m_mutex);
    m_useDefaultParameters = use;
}

EnhancedQuestionSession::SessionParameters EnhancedQuestionSession::defaultSessionParameters() const
{
    std::lock_guard<std::mutex> locker(m_mutex);
    return m_defaultParameters;
}

bool EnhancedQuestionSession::usingDefaultSessionParameters() const
{
    std::lock_guard<std::mutex> locker(m_mutex);
    return m_useDefaultParameters;
}

void EnhancedQuestionSession::storeQuestionRecord(quint32 uid, const QuestionRecord& record)
{
    std::lock_guard<std::mutex> locker(m_mutex);
    m_questionRecords.insert(uid, record);
}

bool EnhancedQuestionSession::findQuestionRecord(quint32 uid, QuestionRecord* record) const
{
    std::lock_guard<std::mutex> locker(m_mutex);
    const auto it = m_questionRecords.constFind(uid);
    if (it == m_questionRecords.cend())
        return false;
    if (record)
        *record = it.value();
    return true;
}

void EnhancedQuestionSession::reportSessionParametersRequest(quint32 uid, int localeId)
{
    const CallbacksInfo info = callbacks();
    raise(this, info.getSessionParameters, info.context,
        &EnhancedQuestionSession::getSessionParameters, uid, localeId);
}

void EnhancedQuestionSession::reportQuestionRequest(quint32 uid, int questionNumber)
{
    const CallbacksInfo info = callbacks();
    raise(this, info.getQuestion, info.context, &EnhancedQuestionSession::getQuestion, uid,
        questionNumber);
}

void EnhancedQuestionSession::reportDeviceShutDown(quint32 uid)
{
    const CallbacksInfo info = callbacks();
    raise(this, info.deviceShutDown, info.context, &EnhancedQuestionSession::deviceShutDown, uid);
}

// Runs on the event thread.
void EnhancedQuestionSession::getMsgCallback(
    Hub* pHub, unsigned int uid, const QByteArray& data, void* /*context*/)
{
    EnhancedQuestionSession* session = pHub ? pHub->enhancedQuestionSession() : nullptr;
    if (session)
        session->handleRequest(uid, data);
}

// Runs on the event thread.
void EnhancedQuestionSession::responseCallback(Hub* pHub, unsigned int uid,
    const QByteArray& message, void* /*context*/, bool expressionV2LatexFormat)
{
    EnhancedQuestionSession* session = pHub ? pHub->enhancedQuestionSession() : nullptr;
    if (session)
        session->handleAnswer(uid, message, expressionV2LatexFormat);
}

void EnhancedQuestionSession::handleRequest(quint32 uid, const QByteArray& data)
{
    switch (packetByte(data, Request_Offset_Kind)) {
    case Request_DeviceShutDown:
        reportDeviceShutDown(uid);
        break;
    case Request_SessionParameters:
        if (usingDefaultSessionParameters()) {
            const SessionParameters defaults = defaultSessionParameters();
            sendSessionParameters(uid, defaults.totalQuestions, defaults.startingQuestionNumber,
                defaults.allowNavigation, defaults.questionMask, defaults.lastParameter);
        } else {
            reportSessionParametersRequest(uid, packetByte(data, Request_Offset_LocaleId));
        }
        break;
    case Request_Question:
        reportQuestionRequest(uid, packetByte(data, Request_Offset_QuestionNumber));
        break;
    default:
        break;
    }
}

void EnhancedQuestionSession::handleAnswer(
    quint32 uid, const QByteArray& message, bool expressionV2LatexFormat)
{
    QuestionRecord record;
    if (!findQuestionRecord(uid, &record))
        return;
    const CallbacksInfo info = callbacks();
    const int number = record.questionNumber;
    switch (record.kind) {
    case EnhancedQuestion::Type_Multichoice:
        raise(this, info.multichoiceAnswer, info.context,
            &EnhancedQuestionSession::multichoiceAnswer, uid, number,
            translateToMultichoiceResponse(message, record.displayOption));
        break;
    case EnhancedQuestion::Type_SortInOrder:
        raise(this, info.sortInOrderAnswer, info.context,
            &EnhancedQuestionSession::sortInOrderAnswer, uid, number,
            translateToMultichoiceResponse(message, record.displayOption));
        break;
    case EnhancedQuestion::Type_YesNo:
        raise(this, info.yesNoAnswer, info.context, &EnhancedQuestionSession::yesNoAnswer, uid,
            number, translateToYesNoResponse(message));
        break;
    case EnhancedQuestion::Type_TrueFalse:
        raise(this, info.trueFalseAnswer, info.context, &EnhancedQuestionSession::trueFalseAnswer,
            uid, number, translateToTrueFalseResponse(message));
        break;
    case EnhancedQuestion::Type_Likert:
        raise(this, info.likertAnswer, info.context, &EnhancedQuestionSession::likertAnswer, uid,
            number, int(qint8(packetByte(message, 0))));
        break;
    case EnhancedQuestion::Type_Numeric:
        raise(this, info.numericAnswer, info.context, &EnhancedQuestionSession::numericAnswer, uid,
            number, decodeAnswerText(message));
        break;
    case EnhancedQuestion::Type_Text: {
        QString answer = decodeAnswerText(message);
        bool valid = true;
        if (record.equation) {
            // The system's LaTeX translation; a maths answer that does not parse still reaches
            // the host, as typed and marked not valid.
            QString mathml = answer;
            if (LatexParser::translate(answer, mathml, expressionV2LatexFormat)
                == LatexParser::Result_Success)
                answer = mathml;
            else
                valid = false;
        }
        if (info.textAnswer)
            info.textAnswer(this, uid, number, answer, info.context, valid);
        else
            Q_EMIT textAnswer(this, uid, number, answer, valid);
        break;
    }
    default:
        break;
    }
}

QByteArray EnhancedQuestionSession::questionSessionStartMessage(int totalQuestions,
    int startingQuestionNumber, bool allowNavigation, const QBitArray& questionMask,
    int lastParameter)
{
    const int maskBits = qMin(int(questionMask.size()), MaximumQuestionMaskBits);
    QByteArray mask((maskBits + 7) / 8, '\0');
    for (int i = 0; i < maskBits; ++i)
        if (questionMask.testBit(i))
            mask[i / 8] = char(quint8(mask.at(i / 8)) | (1 << (i % 8)));

    quint8 flags = 0;
    if (totalQuestions != 0) {
        if (startingQuestionNumber != 0)
            flags |= ParameterFlag_StartingQuestionNumber;
        if (!questionMask.isEmpty())
            flags |= ParameterFlag_QuestionMask;
        if (allowNavigation)
            flags |= ParameterFlag_Navigation;
    }

    QByteArray message(1, Message_SessionParameters);
    // Total, flags, starting number and last parameter, one byte each, around the mask.
    appendLength(message, 4 + int(mask.size()));
    message.append(char(totalQuestions));
    message.append(char(flags));
    message.append(char(startingQuestionNumber));
    message.append(mask);
    message.append(char(lastParameter));
    return message;
}

QByteArray EnhancedQuestionSession::questionInformationMessage(const EnhancedQuestion& question,
    quint8 displayByte, const QString& answer, bool expressionV2LatexFormat)
{
    QString text = question.questionText(expressionV2LatexFormat);
    text.replace(QStringLiteral("<LaTeX>"), QStringLiteral("["));
    text.replace(QStringLiteral("</LaTeX>"), QStringLiteral("]"));
    const QByteArray textBytes = text.toUtf8();
    const QByteArray answerBytes = answer.toUtf8();
    // A Likert question carries its correct value as one byte, 0 when it has none; the answer
    // length field still gives the length of the value in decimal.
    QByteArray answerField = answerBytes;
    if (question.type() == EnhancedQuestion::Type_Likert)
        answerField = QByteArray(1, char(answer.toInt()));

    quint8 flags = 0;
    if (question.showQuestionNumber())
        flags |= QuestionFlag_ShowQuestionNumber;
    if (question.secondOptionFlag())
        flags |= QuestionFlag_SecondOption;
    if (question.firstOptionFlag())
        flags |= QuestionFlag_FirstOption;
    if (question.equation())
        flags |= QuestionFlag_Equation;

    QByteArray message(1, Message_Question);
    appendLength(
        message, QuestionMessage_HeaderLength + int(textBytes.size()) + int(answerField.size()));
    message.append(char(question.questionNumber()));
    message.append(char(question.type()));
    message.append(char(displayByte));
    message.append(char(flags));
    appendLength(message, int(textBytes.size()));
    appendLength(message, int(answerBytes.size()));
    message.append(textBytes);
    message.append(answerField);
    return message;
}

quint8 EnhancedQuestionSession::toMCDisplayOptionsByte(
    int numberOfOptions, int numberOfResponses, DisplayOption displayOption)
{
    int code = 0;
    switch (displayOption) {
    case DisplayOption_Digits:
    case DisplayOption_LowerCaseLetters:
    case DisplayOption_UpperCaseLetters:
        code = displayOption;
        break;
    }
    return quint8(qMin(numberOfOptions, Hub::maxNumberOfOptions) * 32
        + qMin(numberOfResponses, Hub::maxNumberOfResponses) * 4 + code);
}

quint8 EnhancedQuestionSession::toSCDisplayOptionsByte(bool displayFlag)
{
    return displayFlag ? 1 : 0;
}

QString EnhancedQuestionSession::translateToMultichoiceResponse(
    const QByteArray& message, DisplayOption displayOption)
{
    const QLatin1String allowed = displayOption == DisplayOption_Digits
        ? QLatin1String("123456abcdef")
        : QLatin1String("abcdef");
    QString labels;
    for (qsizetype i = 0; i < message.size() - OptionAnswerTrailerSize; ++i) {
        const QChar label = QLatin1Char(message.at(i));
        if (allowed.contains(label, Qt::CaseInsensitive))
            labels.append(label);
    }
    switch (displayOption) {
    case DisplayOption_Digits:
        return translateToNumericResponse(labels);
    case DisplayOption_LowerCaseLetters:
        return labels.toLower();
    default:
        return labels;
    }
}

YesNoQuestion::Answer EnhancedQuestionSession::translateToYesNoResponse(const QByteArray& message)
{
    return YesNoQuestion::Answer(choiceOfAnswer(message));
}

TrueFalseQuestion::Answer EnhancedQuestionSession::translateToTrueFalseResponse(
    const QByteArray& message)
{
    return TrueFalseQuestion::Answer(choiceOfAnswer(message));
}

QString EnhancedQuestionSession::translateToNumericResponse(const QString& labels)
{
    QString digits = labels;
    for (QChar& label : digits)
        if (label >= QLatin1Char('A') && label <= QLatin1Char('F'))
            label = QChar(u'1' + (label.unicode() - u'A'));
    return digits;
}

// Simulation: runs on the session's thread.

void EnhancedQuestionSession::startSimulatedStep(const SimulatedStep& step)
{
    const int id = startTimer(m_simulationStepInterval);
    if (id != 0)
        m_simulationTimers.insert(id, step);
}

void EnhancedQuestionSession::timerEvent(QTimerEvent* event)
{
    const auto it = m_simulationTimers.find(event->timerId());
    if (it == m_simulationTimers.end()) {
        QObject::timerEvent(event);
        return;
    }
    killTimer(event->timerId());
    const SimulatedStep step = it.value();
    m_simulationTimers.erase(it);
    runSimulatedStep(step);
}

void EnhancedQuestionSession::runSimulatedStep(const SimulatedStep& step)
{
    switch (step.stage) {
    case Stage_EnumerateDevices: {
        QList<Device*> devices;
        if (m_hub && m_hub->getDeviceList(Device::Type_Expression, &devices))
            for (const Device* device : devices)
                startSimulatedStep({ device->uid(), Stage_QuestionRequest, step.kind });
        break;
    }
    case Stage_QuestionRequest:
        // The device asks for question 0.
        getMsgCallback(
            m_hub, step.uid, QByteArray(1, char(Request_Question)) + QByteArray(1, '\0'), nullptr);
        break;
    case Stage_Answer: {
        const QByteArray answer = simulatedAnswer(step.kind);
        if (answer.isEmpty())
            break;
        responseCallback(m_hub, step.uid, answer, nullptr, useExpressionV2LatexFormat());
        startSimulatedStep({ step.uid, Stage_QuestionRequest, step.kind });
        break;
    }
    }
}

// The answer a device might send, as it stands: no trailing bytes.
QByteArray EnhancedQuestionSession::simulatedAnswer(int kind)
{
    QByteArray answer;
    switch (kind) {
    case EnhancedQuestion::Type_Multichoice:
        answer = QByteArray(1, SimulatedOptionLetters[simulatedPick(m_previousMultichoicePick, 6)]);
        break;
    case EnhancedQuestion::Type_YesNo:
    case EnhancedQuestion::Type_TrueFalse:
        answer = QByteArray(1, SimulatedChoiceLetters[simulatedPick(m_previousChoicePick, 2)]);
        break;
    case EnhancedQuestion::Type_Likert:
        answer = QByteArray(1, SimulatedLikertDigits[simulatedPick(m_previousLikertPick, 7)]);
        break;
    case EnhancedQuestion::Type_Numeric:
        answer = SimulatedNumericAnswer;
        break;
    case EnhancedQuestion::Type_Text:
        answer = SimulatedTextAnswer;
        break;
    case EnhancedQuestion::Type_SortInOrder:
        answer = SimulatedSortOrder;
        break;
    default:
        break;
    }
    return answer;
}

// A random index below choices that differs from the group's previous pick unless that was the
// first choice.
int EnhancedQuestionSession::simulatedPick(int& previousPick, int choices)
{
    QRandomGenerator generator(quint32(QTime::currentTime().msecsSinceStartOfDay() + 1000));
    int pick = generator.bounded(choices);
    while (choices > 1 && pick == previousPick && previousPick != 0)
        pick = generator.bounded(choices);
    previousPick = pick;
    return pick;
}

} // namespace Taviosystem
