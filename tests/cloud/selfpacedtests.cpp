// The self-paced test over the cloud class: assessments started with the default parameters or
// those the host gives, questions and messages on their way to learners, learners' requests and
// answers of every kind reaching the host, rejoins, a stop from inside the session and a
// reconnection mid-test.

#include "cloudfixture.h"

#include <taviosystem/tessalyenhancedquestionsession.h>

#include <QtCore/QCoreApplication>
#include <QtCore/QPointer>

using namespace Taviosystem;
using namespace TavioTest;

namespace {

struct Event
{
    QString kind;
    quint32 uid;
    int number;
    QString text;
    int value;
    bool valid;
};

class CloudSelfPacedTest : public CloudTest
{
protected:
    void SetUp() override
    {
        CloudTest::SetUp();
        ASSERT_TRUE(openClassOfTwo());
        session = qobject_cast<TessalyEnhancedQuestionSession*>(hub->enhancedQuestionSession());
        ASSERT_NE(session, nullptr);
        record();
    }

    void record()
    {
        auto add = [this](Event e) { events.append(e); };
        auto* s = session.data();
        QObject::connect(
            s, &EnhancedQuestionSession::getSessionParameters, s,
            [=](EnhancedQuestionSession*, quint32 uid, int) {
                add({ "parameters", uid, 0, {}, 0, true });
            },
            Qt::DirectConnection);
        QObject::connect(
            s, &EnhancedQuestionSession::getQuestion, s,
            [=](EnhancedQuestionSession*, quint32 uid, int n) {
                add({ "question", uid, n, {}, 0, true });
            },
            Qt::DirectConnection);
        QObject::connect(
            s, &EnhancedQuestionSession::deviceShutDown, s,
            [=](EnhancedQuestionSession*, quint32 uid) {
                add({ "shutdown", uid, 0, {}, 0, true });
            },
            Qt::DirectConnection);
        QObject::connect(
            s, &EnhancedQuestionSession::multichoiceAnswer, s,
            [=](EnhancedQuestionSession*, quint32 uid, int n, QString a) {
                add({ "multichoice", uid, n, a, 0, true });
            },
            Qt::DirectConnection);
        QObject::connect(
            s, &EnhancedQuestionSession::sortInOrderAnswer, s,
            [=](EnhancedQuestionSession*, quint32 uid, int n, QString a) {
                add({ "sort", uid, n, a, 0, true });
            },
            Qt::DirectConnection);
        QObject::connect(
            s, &EnhancedQuestionSession::yesNoAnswer, s,
            [=](EnhancedQuestionSession*, quint32 uid, int n, YesNoQuestion::Answer a) {
                add({ "yesno", uid, n, {}, int(a), true });
            },
            Qt::DirectConnection);
        QObject::connect(
            s, &EnhancedQuestionSession::trueFalseAnswer, s,
            [=](EnhancedQuestionSession*, quint32 uid, int n, TrueFalseQuestion::Answer a) {
                add({ "truefalse", uid, n, {}, int(a), true });
            },
            Qt::DirectConnection);
        QObject::connect(
            s, &EnhancedQuestionSession::likertAnswer, s,
            [=](EnhancedQuestionSession*, quint32 uid, int n, int v) {
                add({ "likert", uid, n, {}, v, true });
            },
            Qt::DirectConnection);
        QObject::connect(
            s, &EnhancedQuestionSession::numericAnswer, s,
            [=](EnhancedQuestionSession*, quint32 uid, int n, QString a) {
                add({ "numeric", uid, n, a, 0, true });
            },
            Qt::DirectConnection);
        QObject::connect(
            s, &EnhancedQuestionSession::textAnswer, s,
            [=](EnhancedQuestionSession*, quint32 uid, int n, QString a, bool valid) {
                add({ "text", uid, n, a, 0, valid });
            },
            Qt::DirectConnection);
    }

    std::vector<Event> eventsOf(const char* kind)
    {
        std::vector<Event> result;
        for (const Event& e : events.values())
            if (e.kind == QLatin1String(kind))
                result.push_back(e);
        return result;
    }

    bool waitForEvents(std::size_t count)
    {
        return waitFor([&] { return events.size() >= count; }, 5000ms);
    }

    QList<CloudService::RecordedCall> starts()
    {
        return service.callsTo(QStringLiteral("assessmentStart"));
    }

    // Sends the question to Ann, then her answer; waits for the host to have it.
    void ask(const EnhancedQuestion& question, const QString& answer)
    {
        const std::size_t before = events.size();
        const int sent = int(service.callsTo(QStringLiteral("assessmentQuestion")).size());
        ASSERT_TRUE(session->sendQuestion(AnnUid, &question));
        ASSERT_TRUE(service.waitForCall(QStringLiteral("assessmentQuestion"), sent + 1, 5000));
        ASSERT_TRUE(service.answerAssessment(Ann, answer));
        ASSERT_TRUE(waitForEvents(before + 1));
    }

    QVariantMap lastQuestion()
    {
        return service.callsTo(QStringLiteral("assessmentQuestion"))
            .last()
            .body.value("question")
            .toMap();
    }

    QPointer<TessalyEnhancedQuestionSession> session;
    Recorder<Event> events;
};

} // namespace

TEST_F(CloudSelfPacedTest, WithDefaultsOnEveryLearnerStartsWithThemAndTheHostIsNotAsked)
{
    session->setDefaultSessionParameters(5, 1, true, QBitArray(), 0);
    ASSERT_TRUE(session->startSession(false));
    EXPECT_EQ(hub->sessionType(), Hub::SessionType_Async);
    ASSERT_TRUE(service.waitForCall(QStringLiteral("assessmentStart"), 2, 5000));
    QStringList tokens;
    for (const auto& call : starts()) {
        tokens << call.body.value("token").toString();
        const QVariantMap options = call.body.value("options").toMap();
        EXPECT_EQ(options.value("questionCount").toInt(), 5);
        EXPECT_TRUE(options.value("allowNavigation").toBool());
        EXPECT_TRUE(options.value("allowBackNavigation").toBool());
    }
    tokens.sort();
    EXPECT_EQ(tokens, (QStringList { Ann, Bob }));
    EXPECT_TRUE(eventsOf("parameters").empty());
    // A second start while the test runs is refused by the hub.
    EXPECT_FALSE(hub->startYesNoSession(1, false, TimeUnit_0, 0, nullptr, nullptr));
}

TEST_F(CloudSelfPacedTest, WithDefaultsOffTheHostIsAskedForEachLearnerAndItsAnswerStartsIt)
{
    session->useDefaultSessionParameters(false);
    ASSERT_TRUE(session->startSession(false));
    ASSERT_EQ(eventsOf("parameters").size(), 2u);
    EXPECT_TRUE(starts().isEmpty());

    ASSERT_TRUE(session->sendSessionParameters(BobUid, 3, 1, false, QBitArray(9), 7));
    ASSERT_TRUE(service.waitForCall(QStringLiteral("assessmentStart"), 1, 5000));
    const auto call = starts().last();
    EXPECT_EQ(call.body.value("token").toString(), Bob);
    EXPECT_EQ(call.body.value("options").toMap().value("questionCount").toInt(), 3);
    EXPECT_FALSE(call.body.value("options").toMap().value("allowNavigation").toBool());

    // A learner who comes back resumes with the same options; a leaving one is reported.
    ASSERT_TRUE(service.leaveLearner(Bob));
    ASSERT_TRUE(waitForEvents(3));
    EXPECT_EQ(eventsOf("shutdown").size(), 1u);
    EXPECT_EQ(eventsOf("shutdown")[0].uid, BobUid);
    ASSERT_TRUE(service.joinLearner(Bob));
    ASSERT_TRUE(waitFor([&] { return starts().size() == 2; }, 5000ms));
    EXPECT_EQ(starts().last().body.value("token").toString(), Bob);
    EXPECT_EQ(starts().last().body.value("options").toMap().value("questionCount").toInt(), 3);

    // A learner new to the test is asked about like the others.
    ASSERT_TRUE(join(QStringLiteral("ef"), QStringLiteral("Cy")));
    ASSERT_TRUE(waitFor([&] { return eventsOf("parameters").size() == 3; }, 5000ms));
}

TEST_F(CloudSelfPacedTest, QuestionRequestsAndAnswersOfEveryKindReachTheHost)
{
    session->setDefaultSessionParameters(7, 1, false, QBitArray(), 0);
    ASSERT_TRUE(session->startSession(false));
    ASSERT_TRUE(service.requestQuestion(Ann, 2));
    ASSERT_TRUE(waitForEvents(1));
    EXPECT_EQ(eventsOf("question")[0].uid, AnnUid);
    EXPECT_EQ(eventsOf("question")[0].number, 2);

    MultichoiceQuestion multichoice(1, QString(), QStringLiteral("Pick <LaTeX>x</LaTeX>"), 4, 2,
        DisplayOption_UpperCaseLetters, QStringLiteral("B"));
    ask(multichoice, QStringLiteral("B, D"));
    EXPECT_EQ(eventsOf("multichoice")[0].text, QStringLiteral("BD"));
    EXPECT_EQ(eventsOf("multichoice")[0].number, 1);
    const QVariantMap sent = lastQuestion();
    EXPECT_EQ(sent.value("kind").toString(), QStringLiteral("multichoice"));
    EXPECT_EQ(sent.value("text").toString(),
        QStringLiteral("Pick <span class=\"mathquill-embedded-latex\">x</span>"));
    EXPECT_EQ(sent.value("options").toList().size(), 4);
    EXPECT_EQ(
        sent.value("options").toList()[1].toMap().value("text").toString(), QStringLiteral("B"));

    YesNoQuestion yesNo(2, QString(), QStringLiteral("Ready?"), true, YesNoQuestion::Answer_Yes);
    ask(yesNo, QStringLiteral("Yes"));
    EXPECT_EQ(eventsOf("yesno")[0].value, int(YesNoQuestion::Answer_Yes));
    const QVariantList yesNoOptions = lastQuestion().value("options").toList();
    ASSERT_EQ(yesNoOptions.size(), 3);
    EXPECT_EQ(yesNoOptions[0].toMap().value("key").toString(), QStringLiteral("YES"));
    EXPECT_EQ(yesNoOptions[2].toMap().value("key").toString(), QStringLiteral("DONTKNOW"));
    EXPECT_EQ(yesNoOptions[2].toMap().value("value").toInt(), 2);
    ask(yesNo, QStringLiteral("yes"));
    EXPECT_EQ(eventsOf("yesno")[1].value, int(YesNoQuestion::Answer_DontKnow));

    TrueFalseQuestion trueFalse(
        3, QString(), QStringLiteral("Sky is blue"), false, TrueFalseQuestion::Answer_True);
    ask(trueFalse, QStringLiteral("False"));
    EXPECT_EQ(eventsOf("truefalse")[0].value, int(TrueFalseQuestion::Answer_False));

    LikertQuestion likert(4, QString(), QStringLiteral("Rate"), 5);
    ask(likert, QStringLiteral("4"));
    EXPECT_EQ(eventsOf("likert")[0].value, 4);
    EXPECT_EQ(lastQuestion().value("options").toList().size(), 5);

    NumericQuestion numeric(5, QString(), QStringLiteral("How many"), 4, QStringLiteral("12"));
    ask(numeric, QStringLiteral("12"));
    EXPECT_EQ(eventsOf("numeric")[0].text, QStringLiteral("12"));

    TextQuestion maths(
        6, QString(), QStringLiteral("Square x"), 20, QString(), QStringLiteral("x^2"), true);
    {
        const std::size_t before = events.size();
        ASSERT_TRUE(session->sendQuestion(AnnUid, &maths));
        ASSERT_TRUE(service.waitForCall(QStringLiteral("assessmentQuestion"), 7, 5000));
        EXPECT_EQ(lastQuestion().value("kind").toString(), QStringLiteral("mathformula"));
        EXPECT_EQ(lastQuestion().value("correctAnswer").toString(),
            QStringLiteral("<span class=\"mathquill-embedded-latex\">x^2</span>"));
        ASSERT_TRUE(service.answerAssessmentMaths(Ann, QStringLiteral("x^2")));
        ASSERT_TRUE(waitForEvents(before + 1));
    }
    EXPECT_TRUE(eventsOf("text")[0].valid);
    EXPECT_TRUE(eventsOf("text")[0].text.contains(QStringLiteral("<msup>")));

    SortInOrderQuestion sort(
        7, QString(), QStringLiteral("Order"), 3, 3, DisplayOption_Digits, QStringLiteral("213"));
    ask(sort, QStringLiteral("2, 1, 3"));
    EXPECT_EQ(eventsOf("sort")[0].text, QStringLiteral("213"));
    EXPECT_EQ(eventsOf("sort")[0].uid, AnnUid);

    // A scale answer that is no number fits no option.
    ASSERT_TRUE(session->sendQuestion(AnnUid, &likert));
    const std::size_t before = events.size();
    ASSERT_TRUE(service.answerAssessment(Ann, QStringLiteral("lots")));
    ASSERT_TRUE(service.requestQuestion(Ann, 9));
    ASSERT_TRUE(waitForEvents(before + 1));
    EXPECT_EQ(events.values().back().kind, QStringLiteral("question"));

    // A question that is not valid is refused.
    const NumericQuestion invalid;
    EXPECT_FALSE(session->sendQuestion(AnnUid, &invalid));
}

TEST_F(CloudSelfPacedTest, MessagesGoToTheLearnerAsTheFlagsSay)
{
    session->setDefaultSessionParameters(1, 1, false, QBitArray(), 0);
    ASSERT_TRUE(session->startSession(false));
    EXPECT_TRUE(session->sendPopUpMessage(AnnUid, true, QStringLiteral("one")));
    EXPECT_TRUE(session->sendNoMoreQuestionsNotification(AnnUid, QStringLiteral("two")));
    EXPECT_TRUE(session->sendMessage(AnnUid,
        EnhancedQuestionSession::MessageControlFlag_ReviewAnswers
            | EnhancedQuestionSession::MessageControlFlag_CanDismiss,
        QStringLiteral("three")));
    EXPECT_TRUE(session->sendMessage(
        AnnUid, EnhancedQuestionSession::MessageControlFlag_YesNo, QStringLiteral("four")));
    EXPECT_TRUE(session->sendMessage(
        AnnUid, EnhancedQuestionSession::MessageControlFlag_CanDismiss, QStringLiteral("five")));
    ASSERT_TRUE(service.waitForCall(QStringLiteral("assessmentMessage"), 5, 5000));
    const auto calls = service.callsTo(QStringLiteral("assessmentMessage"));
    const std::vector<std::pair<bool, bool>> expected
        = { { true, false }, { false, false }, { true, true }, { true, false }, { true, false } };
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(calls[i].body.value("token").toString(), Ann);
        EXPECT_EQ(calls[i].body.value("popUp").toBool(), expected[i].first);
        EXPECT_EQ(calls[i].body.value("final").toBool(), expected[i].second);
    }
    EXPECT_FALSE(session->useExpressionV2LatexFormat());
}

TEST_F(CloudSelfPacedTest, AStopFromInsideTheSessionEndsItAndFreesIt)
{
    session->setDefaultSessionParameters(2, 1, false, QBitArray(), 0);
    ASSERT_TRUE(session->startSession(false));
    bool stopped = false;
    QObject::connect(
        session.data(), &EnhancedQuestionSession::getQuestion, session.data(),
        [&](EnhancedQuestionSession* s, quint32, int) { stopped = s->stopSession(); },
        Qt::DirectConnection);
    ASSERT_TRUE(service.requestQuestion(Ann, 1));
    ASSERT_TRUE(waitFor([&] { return stopped; }, 5000ms));
    EXPECT_EQ(hub->sessionType(), Hub::SessionType_None);
    ASSERT_TRUE(service.waitForCall(QStringLiteral("assessmentStop"), 1, 5000));
    ASSERT_TRUE(waitFor([&] { return session.isNull(); }, 5000ms));
    // Answers after the stop go nowhere; the next test gets a new session.
    ASSERT_TRUE(service.answerAssessment(Ann, QStringLiteral("Yes")));
    EnhancedQuestionSession* next = hub->enhancedQuestionSession();
    ASSERT_NE(next, nullptr);
    EXPECT_TRUE(next->startSession(false));
}

TEST_F(CloudSelfPacedTest, AReconnectionMidTestKeepsTheSessionWorking)
{
    session->setDefaultSessionParameters(2, 1, false, QBitArray(), 0);
    ASSERT_TRUE(session->startSession(false));
    LikertQuestion likert(1, QString(), QStringLiteral("Rate"), 4);
    ASSERT_TRUE(session->sendQuestion(BobUid, &likert));
    service.dropPresenterSocket();
    ASSERT_TRUE(waitFor(
        [&] {
            return service.callsTo(QStringLiteral("/api/session/start")).size() == 2
                && hub->isCollabConnected();
        },
        5000ms));
    EXPECT_EQ(hub->sessionType(), Hub::SessionType_Async);
    ASSERT_TRUE(service.requestQuestion(Bob, 2));
    ASSERT_TRUE(waitForEvents(1));
    EXPECT_EQ(eventsOf("question")[0].uid, BobUid);
    ASSERT_TRUE(service.answerAssessment(Bob, QStringLiteral("3")));
    ASSERT_TRUE(waitForEvents(2));
    EXPECT_EQ(eventsOf("likert")[0].value, 3);
    // The question goes out over the new connection.
    EXPECT_TRUE(session->sendQuestion(BobUid, &likert));
}
