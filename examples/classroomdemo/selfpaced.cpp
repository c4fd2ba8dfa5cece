#include "selfpaced.h"

#include "lesson.h"
#include "progress.h"

#include <taviosystem/hub.h>
#include <taviosystem/taviosystem.h>
#include <taviosystem/twopointfourghzhub.h>

#include <QtCore/QBitArray>

#include <algorithm>

using namespace Taviosystem;

namespace ClassroomDemo {

namespace {

// What a device shows for a request past the last question (devices stop by themselves after
// the last one; this is for one that asks anyway).
const char* const NoMoreQuestions = "That was the last question. Well done!";

// The test also ends once no request or answer came for this long: a device that waits for a
// message the hub gave up on would otherwise keep it open until the time-out.
const int SelfPacedQuietMs = 2000;
// The list of questions cuts their texts to this many characters.
const int PromptWidth = 56;

// Yes/no and true/false answers share their values: the first choice (yes, true), the second
// (no, false), unsure, or none.
int choiceOf(const QString& text, const char* first, const char* second)
{
    if (text == QLatin1String(first))
        return YesNoQuestion::Answer_Yes;
    if (text == QLatin1String(second))
        return YesNoQuestion::Answer_No;
    return text == QLatin1String("unsure") ? YesNoQuestion::Answer_DontKnow
                                           : YesNoQuestion::Answer_None;
}

QString choiceText(int answer, const char* first, const char* second)
{
    switch (answer) {
    case YesNoQuestion::Answer_Yes:
        return QLatin1String(first);
    case YesNoQuestion::Answer_No:
        return QLatin1String(second);
    case YesNoQuestion::Answer_DontKnow:
        return QStringLiteral("unsure");
    default:
        return QStringLiteral("?");
    }
}

QString hubError(EnhancedQuestionSession* session)
{
    Hub* hub = session->getHub();
    return hub ? Hub::errorAsString(hub->getLastError()) : QStringLiteral("no hub");
}

} // namespace

std::shared_ptr<const EnhancedQuestion> enhancedQuestion(
    TavioSystem& system, int number, const Question& question, QString& error)
{
    const QString& text = question.prompt;
    const QString& expected = question.expected;
    switch (question.type) {
    case QuestionType::MultipleChoice:
        return std::make_shared<MultichoiceQuestion>(number, text, text, question.options,
            question.responses, DisplayOption_UpperCaseLetters, expected);
    case QuestionType::SortInOrder:
        return std::make_shared<SortInOrderQuestion>(number, text, text, question.options,
            question.responses, DisplayOption_UpperCaseLetters, expected);
    case QuestionType::YesNo:
        return std::make_shared<YesNoQuestion>(number, text, text, question.thirdAnswer,
            YesNoQuestion::Answer(choiceOf(expected, "yes", "no")));
    case QuestionType::TrueFalse:
        return std::make_shared<TrueFalseQuestion>(number, text, text, question.thirdAnswer,
            TrueFalseQuestion::Answer(choiceOf(expected, "true", "false")));
    case QuestionType::Likert:
        return std::make_shared<LikertQuestion>(
            number, text, text, question.scale, expected.isEmpty() ? 0 : expected.toInt());
    case QuestionType::Numeric:
        return std::make_shared<NumericQuestion>(number, text, text, question.maxLength, expected);
    case QuestionType::Text: {
        if (!question.maths)
            return std::make_shared<TextQuestion>(
                number, text, text, question.maxLength, expected, expected, false);
        // The MathML becomes LaTeX in each dialect, between the markers the session turns into
        // the devices' own; the expected answer (typed in the second dialect) is also given in
        // the first.
        const QString open = QStringLiteral("<LaTeX>");
        const QString close = QStringLiteral("</LaTeX>");
        QString textV2;
        QString textV1;
        QString mathml;
        QString expectedV1;
        if (system.translateTextMathmlToLatex(text, textV2, open, close, true, true) != 0
            || system.translateTextMathmlToLatex(text, textV1, open, close, false, true) != 0) {
            error = QStringLiteral("the maths in the question does not convert");
            return nullptr;
        }
        if (!expected.isEmpty()
            && (system.translateTextLatexToMathml(expected, mathml, true) != 0
                || system.translateTextMathmlToLatex(mathml, expectedV1, false, false) != 0)) {
            error = QStringLiteral("the expected answer is not maths the system reads");
            return nullptr;
        }
        return std::make_shared<TextQuestion>(
            number, textV2, textV1, question.maxLength, expected, expectedV1, true);
    }
    case QuestionType::Message:
        error = QStringLiteral("a message is not a question of a self-paced test");
        return nullptr;
    }
    return nullptr;
}

SelfPacedHost::SelfPacedHost(const QElapsedTimer& clock,
    std::vector<std::shared_ptr<const EnhancedQuestion>> questions, const QList<quint32>& devices)
    : m_clock(clock)
    , m_questions(std::move(questions))
{
    for (quint32 uid : devices)
        deviceLocked(uid);
}

EnhancedQuestionSession::CallbacksInfo SelfPacedHost::callbacks()
{
    EnhancedQuestionSession::CallbacksInfo info;
    info.getSessionParameters = &SelfPacedHost::onParameters;
    info.getQuestion = &SelfPacedHost::onQuestion;
    info.deviceShutDown = &SelfPacedHost::onShutDown;
    info.multichoiceAnswer = &SelfPacedHost::onString;
    info.yesNoAnswer = &SelfPacedHost::onYesNo;
    info.trueFalseAnswer = &SelfPacedHost::onTrueFalse;
    info.likertAnswer = &SelfPacedHost::onLikert;
    info.numericAnswer = &SelfPacedHost::onString;
    info.textAnswer = &SelfPacedHost::onText;
    info.sortInOrderAnswer = &SelfPacedHost::onString;
    info.context = this;
    return info;
}

// Every device starts at question 1 and goes through the test in order, without a mask.
void SelfPacedHost::onParameters(
    EnhancedQuestionSession* session, quint32 uid, int /*localeId*/, void* context)
{
    SelfPacedHost* host = of(context);
    {
        std::lock_guard<std::mutex> locker(host->m_mutex);
        host->activeLocked(uid).started = true;
    }
    if (!session->sendSessionParameters(
            uid, int(host->m_questions.size()), 1, false, QBitArray(), 0))
        host->problem(QStringLiteral("%1: the session parameters were not sent (%2)")
                          .arg(uidText(uid), hubError(session)));
}

void SelfPacedHost::onQuestion(
    EnhancedQuestionSession* session, quint32 uid, int number, void* context)
{
    SelfPacedHost* host = of(context);
    {
        std::lock_guard<std::mutex> locker(host->m_mutex);
        host->activeLocked(uid).started = true;
    }
    if (number < 1 || number > int(host->m_questions.size())) {
        if (!session->sendNoMoreQuestionsNotification(uid, QLatin1String(NoMoreQuestions)))
            host->problem(QStringLiteral("%1 asked for question %2, which is not in the test")
                              .arg(uidText(uid))
                              .arg(number));
        return;
    }
    if (!session->sendQuestion(uid, host->m_questions[std::size_t(number - 1)].get()))
        host->problem(QStringLiteral("%1: question %2 was not sent (%3)")
                          .arg(uidText(uid))
                          .arg(number)
                          .arg(hubError(session)));
}

void SelfPacedHost::onShutDown(EnhancedQuestionSession*, quint32 uid, void* context)
{
    SelfPacedHost* host = of(context);
    std::lock_guard<std::mutex> locker(host->m_mutex);
    host->activeLocked(uid).shutDown = true;
}

void SelfPacedHost::onString(
    EnhancedQuestionSession*, quint32 uid, int number, const QString& answer, void* context)
{
    of(context)->record(uid, number, answer);
}

void SelfPacedHost::onYesNo(
    EnhancedQuestionSession*, quint32 uid, int number, YesNoQuestion::Answer answer, void* context)
{
    of(context)->record(uid, number, choiceText(answer, "yes", "no"));
}

void SelfPacedHost::onTrueFalse(EnhancedQuestionSession*, quint32 uid, int number,
    TrueFalseQuestion::Answer answer, void* context)
{
    of(context)->record(uid, number, choiceText(answer, "true", "false"));
}

void SelfPacedHost::onLikert(
    EnhancedQuestionSession*, quint32 uid, int number, int value, void* context)
{
    of(context)->record(uid, number, QString::number(value));
}

void SelfPacedHost::onText(EnhancedQuestionSession*, quint32 uid, int number, const QString& answer,
    void* context, bool valid)
{
    SelfPacedHost* host = of(context);
    // Maths that did not convert comes as typed: kept, and reported.
    if (!valid)
        host->problem(QStringLiteral("%1: the maths answered to question %2 does not convert: %3")
                          .arg(uidText(uid))
                          .arg(number)
                          .arg(answer));
    host->record(uid, number, answer);
}

SelfPacedDevice& SelfPacedHost::deviceLocked(quint32 uid)
{
    const auto found = m_deviceIndex.constFind(uid);
    if (found != m_deviceIndex.cend())
        return m_devices[found.value()];
    m_deviceIndex.insert(uid, m_devices.size());
    m_devices.push_back(SelfPacedDevice());
    m_devices.back().uid = uid;
    return m_devices.back();
}

SelfPacedDevice& SelfPacedHost::activeLocked(quint32 uid)
{
    m_lastActivityMs = m_clock.elapsed();
    return deviceLocked(uid);
}

void SelfPacedHost::record(quint32 uid, int number, const QString& value)
{
    const qint64 now = m_clock.elapsed();
    std::lock_guard<std::mutex> locker(m_mutex);
    m_answers.push_back(Answer { number, uid, value, now });
    SelfPacedDevice& device = activeLocked(uid);
    device.answered.insert(number);
    if (device.answered.size() >= m_questions.size() && device.finishedMs < 0)
        device.finishedMs = now;
}

void SelfPacedHost::problem(const QString& text)
{
    std::lock_guard<std::mutex> locker(m_mutex);
    m_problems.push_back(text);
}

std::vector<SelfPacedDevice> SelfPacedHost::devices() const
{
    std::lock_guard<std::mutex> locker(m_mutex);
    return m_devices;
}

std::vector<Answer> SelfPacedHost::answers() const
{
    std::lock_guard<std::mutex> locker(m_mutex);
    return m_answers;
}

qint64 SelfPacedHost::lastActivityMs() const
{
    std::lock_guard<std::mutex> locker(m_mutex);
    return m_lastActivityMs;
}

QStringList SelfPacedHost::problems() const
{
    std::lock_guard<std::mutex> locker(m_mutex);
    return QStringList(m_problems.begin(), m_problems.end());
}

// The lesson's self-paced section.

void Lesson::runSelfPacedTest()
{
    SelfPacedResults& results = m_selfPaced;
    results.questions = m_options.selfPacedQuestions;
    results.loss = m_options.loss;
    const QList<Question>& questions = results.questions;
    m_out << "\nSelf-paced test: " << questions.size()
          << " questions that each device works through at its own pace (radio loss "
          << QString::number(qRound(m_options.loss * 100)) << "%)\n";

    // The questions as the session sends them, and each expected answer as it will arrive.
    std::vector<std::shared_ptr<const EnhancedQuestion>> sent;
    for (int i = 0; i < questions.size(); ++i) {
        const Question& question = questions.at(i);
        QString error;
        auto enhanced = enhancedQuestion(m_system, i + 1, question, error);
        if (!enhanced) {
            m_out << "  Question " << i + 1 << " cannot be sent: " << error << "\n";
            m_ok = false;
            return;
        }
        QString expected = question.expected;
        if (question.type == QuestionType::Text && question.maths && !expected.isEmpty())
            m_system.translateTextLatexToMathml(question.expected, expected, true);
        results.expected.append(expected);
        const int bytes = int(enhanced->questionTextV2().toUtf8().size());
        QString prompt = enhanced->questionTextV2()
                             .replace(QStringLiteral("<LaTeX>"), QStringLiteral("["))
                             .replace(QStringLiteral("</LaTeX>"), QStringLiteral("]"));
        if (prompt.size() > PromptWidth)
            prompt = prompt.left(PromptWidth - 3) + QStringLiteral("...");
        m_out << "  " << QString::number(i + 1).rightJustified(2) << "  "
              << (typeTitle(question.type)
                     + (question.maths ? QStringLiteral(" (maths)") : QString()))
                     .leftJustified(17)
              << QStringLiteral("%1 bytes").arg(bytes).rightJustified(9) << "  " << prompt << "\n";
        sent.push_back(std::move(enhanced));
    }

    QList<DeviceDisplayInfo> devices;
    m_system.getTavioExpressionDisplayInfoList(m_hub->handle(), devices);
    std::sort(devices.begin(), devices.end(),
        [](const DeviceDisplayInfo& a, const DeviceDisplayInfo& b) { return a.name < b.name; });
    for (const DeviceDisplayInfo& device : std::as_const(devices))
        results.devices.append(device.uid);
    if (results.devices.isEmpty()) {
        m_out << "  No answer devices: no test.\n";
        m_ok = false;
        return;
    }

    EnhancedQuestionSession* session = m_hub->enhancedQuestionSession();
    if (!session) {
        m_out << "  The hub has no self-paced sessions.\n";
        m_ok = false;
        return;
    }
    m_learners.setSelfPacedQuestions(questions);
    m_selfPacedHost = std::make_unique<SelfPacedHost>(m_clock, std::move(sent), results.devices);
    SelfPacedHost& host = *m_selfPacedHost;
    session->setCallbacks(host.callbacks());
    results.startMs = now();
    if (!session->startSession(false)) {
        m_out << "  The session did not start: " << Hub::errorAsString(m_hub->getLastError())
              << "\n";
        session->setCallbacks(EnhancedQuestionSession::CallbacksInfo());
        m_ok = false;
        return;
    }
    results.ran = true;
    m_out << "  session open for " << results.devices.size() << " devices (at most "
          << seconds(m_options.selfPacedTimeoutMs) << ")\n";

    const int count = int(questions.size());
    const int expected = int(results.devices.size());
    DeviceProgress progress(m_out, m_options.interactive, count);
    std::vector<int> answered;
    QSet<quint32> reported;
    int finished = 0;
    // Reads the devices' state; answers the names of those that finished since the last look.
    const auto look = [&]() {
        answered.clear();
        QStringList news;
        finished = 0;
        for (const SelfPacedDevice& device : host.devices()) {
            answered.push_back(device.progress());
            if (device.finishedMs < 0)
                continue;
            ++finished;
            if (!reported.contains(device.uid))
                news << m_names.value(device.uid, uidText(device.uid));
            reported.insert(device.uid);
        }
        return news;
    };
    enum Close { Open, Everyone, Quiet, TimeOut } close = Open;
    runEventsUntil(
        [&] {
            const qint64 last = qMax(results.startMs, host.lastActivityMs());
            if (finished >= expected)
                close = Everyone;
            else if (now() - last >= SelfPacedQuietMs)
                close = Quiet;
            else if (now() - results.startMs >= m_options.selfPacedTimeoutMs)
                close = TimeOut;
            return close != Open;
        },
        m_options.selfPacedTimeoutMs + SelfPacedQuietMs,
        [&] {
            const QStringList news = look();
            progress.update(answered, now() - results.startMs, news);
        });
    const QStringList lastFinished = look();
    results.durationMs = now() - results.startMs;
    const QString left = QStringLiteral(": %1 of %2 devices did not finish")
                             .arg(expected - finished)
                             .arg(expected);
    if (close == Everyone)
        results.outcome = QStringLiteral("everyone finished");
    else if (close == Quiet)
        results.outcome
            = QStringLiteral("nothing came for %1").arg(seconds(SelfPacedQuietMs)) + left;
    else
        results.outcome = QStringLiteral("time-out") + left;
    progress.finish(answered, results.durationMs, lastFinished, results.outcome);

    if (!session->stopSession()) {
        m_out << "  The hub did not end the session: " << Hub::errorAsString(m_hub->getLastError())
              << "\n";
        m_ok = false;
    }
    // The host object stays until the lesson ends: a request the event thread took in before
    // the session stopped may still be answered through it.
    session->setCallbacks(EnhancedQuestionSession::CallbacksInfo());

    results.answers = host.answers();
    for (const SelfPacedDevice& device : host.devices()) {
        if (device.finishedMs >= 0)
            results.finishedMs.insert(device.uid, device.finishedMs - results.startMs);
        if (device.shutDown)
            results.problems << QStringLiteral("%1 left the test early")
                                    .arg(m_names.value(device.uid, uidText(device.uid)));
    }
    results.problems << host.problems();
    if (close != Everyone || !results.problems.isEmpty())
        m_ok = false;

    printSelfPacedResults(
        m_out, results, m_names, [this](const Question& question, const QString& value) {
            return shownValue(question, value);
        });
    const RadioCounts radio = m_learners.radioCounts();
    m_out << "  the radio lost " << radio.chunksLost << " of " << radio.chunkCommands
          << " chunks and " << radio.acksLost << " of " << radio.acksSent + radio.acksLost
          << " acknowledgements (the emulator's count)";
    if (radio.abandonedMessages > 0)
        m_out << "; the hub gave up on " << radio.abandonedMessages
              << (radio.abandonedMessages == 1 ? " message" : " messages");
    else if (radio.chunksLost + radio.acksLost > 0 && close == Everyone)
        m_out << "; the transport sent what was missing again";
    m_out << "\n";
    for (const QString& problem : std::as_const(results.problems))
        m_out << "  problem: " << problem << "\n";
}

} // namespace ClassroomDemo
