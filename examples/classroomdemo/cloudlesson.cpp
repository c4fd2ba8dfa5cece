#include "cloudlesson.h"

#include "progress.h"

#include <cloudservice.h>

#include <taviosystem/enhancedquestion.h>
#include <taviosystem/enhancedquestionsession.h>
#include <taviosystem/registrationcode.h>
#include <taviosystem/taviosystem.h>
#include <taviosystem/tessalycontroller.h>
#include <taviosystem/virtualtessalyhub.h>

#include <QtCore/QCoreApplication>
#include <QtCore/QElapsedTimer>
#include <QtCore/QMap>
#include <QtCore/QThread>

#include <functional>
#include <memory>
#include <random>

using namespace Taviosystem;

namespace ClassroomDemo {

namespace {

const QString TeacherName = QStringLiteral("teacher");
const QString TeacherPassword = QStringLiteral("demo-password");
const int MaximumClassSize = 60;
const char* const LatexStart = "<span class=\"mathquill-embedded-latex\">";
const char* const LatexEnd = "</span>";

// What the host heard, by question.
struct Heard
{
    QMap<quint32, QString> answers;
};

void heardText(Hub*, unsigned int uid, int, const QString& text, void* context)
{
    static_cast<Heard*>(context)->answers.insert(uid, text);
}
void heardYesNo(Hub*, unsigned int uid, int, Hub::YesNoResponse answer, void* context)
{
    static_cast<Heard*>(context)->answers.insert(
        uid, answer == Hub::YesNoResponse_Yes ? QStringLiteral("yes") : QStringLiteral("no"));
}
void heardTrueFalse(Hub*, unsigned int uid, int, Hub::TrueFalseResponse answer, void* context)
{
    static_cast<Heard*>(context)->answers.insert(uid,
        answer == Hub::TrueFalseResponse_True ? QStringLiteral("true") : QStringLiteral("false"));
}
void heardLikert(Hub*, unsigned int uid, int, int value, void* context)
{
    static_cast<Heard*>(context)->answers.insert(uid, QString::number(value));
}
void heardMaths(Hub*, unsigned int uid, int, const QString& text, void* context, bool valid)
{
    static_cast<Heard*>(context)->answers.insert(
        uid, valid ? text : QStringLiteral("(not maths) ") + text);
}

// A learner's poll answer as the cloud carries it: option indexes from 0, true/false as words.
QString pollAnswer(const Question& question, std::mt19937& random)
{
    switch (question.type) {
    case QuestionType::MultipleChoice:
        return QString::number(random() % std::uint32_t(question.options));
    case QuestionType::YesNo:
        return QString::number(random() % 2);
    case QuestionType::TrueFalse:
        return random() % 2 ? QStringLiteral("True") : QStringLiteral("False");
    case QuestionType::Likert:
        return QString::number(random() % std::uint32_t(question.scale));
    case QuestionType::Numeric:
        return QString::number(40 + random() % 5);
    case QuestionType::Text:
        return question.maths ? QLatin1String(LatexStart)
                + QStringLiteral("x^%1").arg(2 + random() % 2) + QLatin1String(LatexEnd)
                              : QStringLiteral("answer %1").arg(random() % 3);
    case QuestionType::SortInOrder: {
        QStringList order;
        for (int i = question.options - 1; i >= 0; --i)
            order << QString::number(i);
        return order.join(QStringLiteral(", "));
    }
    case QuestionType::Message:
        break;
    }
    return QString();
}

bool startPoll(VirtualTessalyHub* hub, int number, const Question& q, Heard& heard)
{
    const DisplayOption display = DisplayOption_UpperCaseLetters;
    switch (q.type) {
    case QuestionType::MultipleChoice:
        return hub->startMultichoiceSession(
            number, q.options, q.responses, display, TimeUnit_0, 0, heardText, &heard);
    case QuestionType::YesNo:
        return hub->startYesNoSession(number, q.thirdAnswer, TimeUnit_0, 0, heardYesNo, &heard);
    case QuestionType::TrueFalse:
        return hub->startTrueFalseSession(
            number, q.thirdAnswer, TimeUnit_0, 0, heardTrueFalse, &heard);
    case QuestionType::Likert:
        return hub->startLikertSession(number, q.scale, TimeUnit_0, 0, heardLikert, &heard);
    case QuestionType::Numeric:
        return hub->startNumericSession(
            number, q.prompt, q.maxLength, TimeUnit_0, 0, heardText, &heard);
    case QuestionType::Text:
        return hub->startTextSession(
            number, q.prompt, q.maxLength, TimeUnit_0, 0, q.maths, heardMaths, &heard);
    case QuestionType::SortInOrder:
        return hub->startSortInOrderSession(
            number, q.options, q.options, display, TimeUnit_0, 0, heardText, &heard);
    case QuestionType::Message:
        break;
    }
    return false;
}

// The most common answers of a question, as "B x12, A x9".
QString summary(const Heard& heard)
{
    QMap<QString, int> counts;
    for (const QString& answer : heard.answers)
        ++counts[answer.simplified().left(40)];
    QStringList parts;
    for (auto it = counts.cbegin(); it != counts.cend() && parts.size() < 4; ++it)
        parts << QStringLiteral("%1 x%2").arg(it.key()).arg(it.value());
    return parts.join(QStringLiteral(", "));
}

// The self-paced test: six questions, each learner asks for them in turn and answers.
struct SelfPacedTest
{
    MultichoiceQuestion multichoice { 1, QString(), QStringLiteral("Which is a prime?"), 4, 1,
        DisplayOption_UpperCaseLetters, QStringLiteral("B") };
    YesNoQuestion yesNo { 2, QString(), QStringLiteral("Is 7 odd?"), false,
        YesNoQuestion::Answer_Yes };
    TrueFalseQuestion trueFalse { 3, QString(), QStringLiteral("2 + 2 = 5"), false,
        TrueFalseQuestion::Answer_False };
    LikertQuestion likert { 4, QString(), QStringLiteral("How sure are you?"), 5 };
    NumericQuestion numeric { 5, QString(), QStringLiteral("6 x 7"), 4, QStringLiteral("42") };
    TextQuestion maths { 6, QString(), QStringLiteral("Square <LaTeX>x</LaTeX>"), 20, QString(),
        QStringLiteral("x^2"), true };
    const EnhancedQuestion* question(int number) const
    {
        const EnhancedQuestion* all[]
            = { &multichoice, &yesNo, &trueFalse, &likert, &numeric, &maths };
        return number >= 1 && number <= 6 ? all[number - 1] : nullptr;
    }
    static QString answer(int number)
    {
        static const char* const answers[] = { "B", "Yes", "False", "4", "42", nullptr };
        return number == 6
            ? QLatin1String(LatexStart) + QStringLiteral("x^2") + QLatin1String(LatexEnd)
            : QString::fromLatin1(answers[number - 1]);
    }
    static constexpr int Count = 6;
};

bool runSelfPacedTest(VirtualTessalyHub* hub, CloudService::Service& service,
    const QStringList& tokens, int timeoutMs, QTextStream& out)
{
    auto* session = hub->enhancedQuestionSession();
    if (!session)
        return false;
    SelfPacedTest test;
    int answered = 0;
    int requested = 0;
    QObject::connect(session, &EnhancedQuestionSession::getQuestion, session,
        [&](EnhancedQuestionSession* s, quint32 uid, int number) {
            ++requested;
            if (const EnhancedQuestion* question = test.question(number))
                s->sendQuestion(uid, question);
        });
    auto count = [&](auto...) { ++answered; };
    QObject::connect(session, &EnhancedQuestionSession::multichoiceAnswer, session, count);
    QObject::connect(session, &EnhancedQuestionSession::yesNoAnswer, session, count);
    QObject::connect(session, &EnhancedQuestionSession::trueFalseAnswer, session, count);
    QObject::connect(session, &EnhancedQuestionSession::likertAnswer, session, count);
    QObject::connect(session, &EnhancedQuestionSession::numericAnswer, session, count);
    QObject::connect(session, &EnhancedQuestionSession::textAnswer, session, count);
    session->setDefaultSessionParameters(SelfPacedTest::Count, 1, true, QBitArray(), 0);
    if (!session->startSession(false))
        return false;
    bool complete = true;
    for (int number = 1; number <= SelfPacedTest::Count; ++number) {
        for (const QString& token : tokens)
            service.requestQuestion(token, number);
        complete
            = waitUntil([&] { return requested >= number * tokens.size(); }, timeoutMs) && complete;
        const int sent = int(service.callsTo(QStringLiteral("assessmentQuestion")).size());
        waitUntil([&] { return sent >= number * tokens.size(); }, timeoutMs);
        for (const QString& token : tokens)
            service.answerAssessment(token, SelfPacedTest::answer(number));
        complete
            = waitUntil([&] { return answered >= number * tokens.size(); }, timeoutMs) && complete;
    }
    out << "Self-paced test: " << answered << " answers to " << SelfPacedTest::Count
        << " questions from " << tokens.size() << " learners\n";
    // The session object goes with its stop.
    return session->stopSession() && complete;
}

} // namespace

int runCloudLesson(const CloudLessonOptions& options, QTextStream& out)
{
    CloudService::Service service;
    service.addAccount(TeacherName, TeacherPassword);
    const int classSize = qBound(1, options.classSize, MaximumClassSize);
    QStringList tokens;
    for (int i = 1; i <= classSize; ++i) {
        const QString token = QStringLiteral("learner-%1").arg(i, 2, 10, QLatin1Char('0'));
        tokens << token;
        service.addLearner(token, QStringLiteral("Learner %1").arg(i));
    }
    if (!service.start()) {
        out << "The cloud classroom service could not listen on 127.0.0.1.\n";
        return 1;
    }

    TavioSystem& system = TavioSystem::instance();
    if (!system.initialise()) {
        out << "The system could not start.\n";
        return 1;
    }
    auto finish = [&](int code) {
        system.tessalyLogout();
        system.shutdown();
        service.stop();
        return code;
    };
    out << "Cloud classroom at " << service.url() << "\n";
    if (!system.tessalyLogin(service.url(), TeacherName, TeacherPassword)) {
        out << "Sign-in failed: " << TessalyController::instance().getLastError() << "\n";
        return finish(1);
    }
    VirtualTessalyHub* hub = nullptr;
    QList<Hub*> hubs;
    system.getHubList(&hubs);
    for (Hub* candidate : std::as_const(hubs))
        if (candidate->isTessalyHub())
            hub = qobject_cast<VirtualTessalyHub*>(candidate);
    if (!hub || !system.tessalyStartSession()) {
        out << "The class could not be opened: " << (hub ? hub->getTessalyLastError() : QString())
            << "\n";
        return finish(1);
    }
    RegistrationCode pin;
    if (!hub->asGetRegistrationPin(pin)) {
        out << "The class has no code.\n";
        return finish(1);
    }
    out << "Signed in as " << TeacherName << " on \"" << hub->name() << "\"; class code "
        << service.classCode(TeacherName) << " (PIN " << QChar(pin.char1()) << QChar(pin.char2())
        << QChar(pin.char3()) << ")\n";

    int joined = 0;
    QObject::connect(hub, &Hub::tessalyDeviceRegistered, hub,
        [&](QString name, quint32 uid, Device::SubType, QString) {
            ++joined;
            if (joined <= 5)
                out << "  joined: " << name << " (uid " << uid << ")\n";
        });
    for (const QString& token : std::as_const(tokens))
        service.joinLearner(token);
    bool planned = waitUntil([&] { return joined == classSize; }, options.questionTimeoutMs);
    out << joined << " of " << classSize << " learners joined\n";
    out << "Naming: skipped (cloud learners sign in under their own names)\n";

    std::mt19937 random(options.seed);
    int number = 0;
    for (const Question& question : options.questions) {
        ++number;
        if (question.type == QuestionType::Message) {
            out << "Q" << number << " message \"" << question.prompt
                << "\": noted, not polled in the cloud\n";
            continue;
        }
        Heard heard;
        if (!startPoll(hub, number, question, heard)) {
            out << "Q" << number << " " << typeTitle(question.type) << ": could not start ("
                << Hub::errorAsString(hub->getLastError()) << ")\n";
            planned = false;
            continue;
        }
        for (const QString& token : std::as_const(tokens))
            service.answerPoll(token, pollAnswer(question, random));
        const bool all = waitUntil(
            [&] { return heard.answers.size() == classSize; }, options.questionTimeoutMs);
        planned = hub->stopSession() && all && planned;
        out << "Q" << number << " " << typeTitle(question.type) << ": " << heard.answers.size()
            << " answers; " << summary(heard) << "\n";
    }

    if (options.selfPaced)
        planned = runSelfPacedTest(hub, service, tokens, options.questionTimeoutMs, out) && planned;

    system.tessalyLogout();
    out << "Signed out; the class is " << (service.sessionRunning() ? "still open" : "closed")
        << "\n";
    planned = planned && !service.sessionRunning();
    out << (planned ? "The cloud lesson went as planned.\n"
                    : "The cloud lesson did not go as planned.\n");
    return finish(planned ? 0 : 1);
}

} // namespace ClassroomDemo
