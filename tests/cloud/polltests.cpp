// Question sessions on the cloud hub as cloud polls: the numbers each poll starts with, the order
// of the checks, and learners' answers reaching the host once each with the right uid and value.

#include "cloudfixture.h"

#include <taviosystem/registrationcode.h>

using namespace Taviosystem;
using namespace TavioTest;

namespace {

struct Answer
{
    quint32 uid;
    int questionId;
    QString text;
    int value;
    bool valid;
};

Recorder<Answer>* recorderOf(void* context) { return static_cast<Recorder<Answer>*>(context); }

void stringAnswer(Hub*, unsigned int uid, int questionId, const QString& text, void* context)
{
    recorderOf(context)->append({ uid, questionId, text, 0, true });
}
void yesNoAnswer(Hub*, unsigned int uid, int questionId, Hub::YesNoResponse value, void* context)
{
    recorderOf(context)->append({ uid, questionId, QString(), int(value), true });
}
void trueFalseAnswer(
    Hub*, unsigned int uid, int questionId, Hub::TrueFalseResponse value, void* context)
{
    recorderOf(context)->append({ uid, questionId, QString(), int(value), true });
}
void likertAnswer(Hub*, unsigned int uid, int questionId, int value, void* context)
{
    recorderOf(context)->append({ uid, questionId, QString(), value, true });
}
void textAnswer(
    Hub*, unsigned int uid, int questionId, const QString& text, void* context, bool valid)
{
    recorderOf(context)->append({ uid, questionId, text, 0, valid });
}

class CloudPollTest : public CloudTest
{
protected:
    void SetUp() override
    {
        CloudTest::SetUp();
        ASSERT_TRUE(openClassOfTwo());
        QObject::connect(
            hub, &Hub::tessalySessionInactivityTimeMs, hub,
            [this](qint64 ms) { inactivity.append(ms); }, Qt::DirectConnection);
    }

    // Sends the answer and waits until the host has `count` answers.
    bool answer(const QString& token, const QString& response, std::size_t count)
    {
        return service.answerPoll(token, response)
            && waitFor([&] { return answers.size() >= count; }, 5000ms);
    }

    // Lets the hub read whatever the service sent so far: the service sends in order.
    void settle()
    {
        const std::size_t before = inactivity.size();
        service.sendInactivity(1);
        ASSERT_TRUE(waitFor([&] { return inactivity.size() > before; }, 5000ms));
    }

    Recorder<Answer> answers;
    Recorder<qint64> inactivity;
};

} // namespace

TEST_F(CloudPollTest, EachQuestionKindStartsItsPollWithItsNumbers)
{
    struct Case
    {
        const char* name;
        std::function<bool()> start;
        std::vector<int> poll; // type, ordinal, options, answers
        Hub::SessionType session;
    };
    const std::vector<Case> cases = {
        { "multiple choice, digits",
            [&] {
                return hub->startMultichoiceSession(
                    1, 4, 2, DisplayOption_Digits, TimeUnit_0, 0, stringAnswer, &answers);
            },
            { 2, 7, 4, 2 }, Hub::SessionType_Multichoice },
        { "multiple choice, lower case",
            [&] {
                return hub->startMultichoiceSession(
                    1, 3, 1, DisplayOption_LowerCaseLetters, TimeUnit_0, 0, stringAnswer, &answers);
            },
            { 2, 6, 3, 1 }, Hub::SessionType_Multichoice },
        { "multiple choice, upper case",
            [&] {
                return hub->startMultichoiceSession(
                    1, 6, 6, DisplayOption_UpperCaseLetters, TimeUnit_0, 0, stringAnswer, &answers);
            },
            { 2, 5, 6, 6 }, Hub::SessionType_Multichoice },
        { "yes/no with a third choice",
            [&] { return hub->startYesNoSession(2, true, TimeUnit_0, 0, yesNoAnswer, &answers); },
            { 1, 3, 3, 1 }, Hub::SessionType_YesNo },
        { "yes/no",
            [&] { return hub->startYesNoSession(2, false, TimeUnit_0, 0, yesNoAnswer, &answers); },
            { 1, 1, 2, 1 }, Hub::SessionType_YesNo },
        { "true/false with a third choice",
            [&] {
                return hub->startTrueFalseSession(
                    3, true, TimeUnit_0, 0, trueFalseAnswer, &answers);
            },
            { 0, 0, 3, 1 }, Hub::SessionType_TrueFalse },
        { "true/false",
            [&] {
                return hub->startTrueFalseSession(
                    3, false, TimeUnit_0, 0, trueFalseAnswer, &answers);
            },
            { 0, 0, 2, 1 }, Hub::SessionType_TrueFalse },
        { "Likert",
            [&] { return hub->startLikertSession(4, 5, TimeUnit_0, 0, likertAnswer, &answers); },
            { 3, 10, 5, 1 }, Hub::SessionType_Likert },
        { "numeric",
            [&] {
                return hub->startNumericSession(
                    5, QStringLiteral("How many?"), 10, TimeUnit_0, 0, stringAnswer, &answers);
            },
            { 7, 7, 2, 1 }, Hub::SessionType_Numeric },
        { "text",
            [&] {
                return hub->startTextSession(
                    6, QStringLiteral("Why?"), 100, TimeUnit_0, 0, false, textAnswer, &answers);
            },
            { 5, 10, 2, 1 }, Hub::SessionType_Text },
        { "maths",
            [&] {
                return hub->startTextSession(
                    6, QStringLiteral("Solve"), 100, TimeUnit_0, 0, true, textAnswer, &answers);
            },
            { 9, 10, 2, 1 }, Hub::SessionType_Text },
        { "sort in order",
            [&] {
                return hub->startSortInOrderSession(
                    7, 4, 4, DisplayOption_UpperCaseLetters, TimeUnit_0, 0, stringAnswer, &answers);
            },
            { 4, 5, 4, 1 }, Hub::SessionType_SortInOrder },
    };
    int polls = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(c.start());
        EXPECT_EQ(hub->sessionType(), c.session);
        ASSERT_TRUE(waitForPolls(++polls));
        EXPECT_EQ(lastPoll(), c.poll);
        ASSERT_TRUE(hub->stopSession());
        EXPECT_EQ(hub->sessionType(), Hub::SessionType_None);
    }
    EXPECT_EQ(service.callsTo(QStringLiteral("stopPoll")).size() > 0, true);

    // A message is no poll.
    ASSERT_TRUE(
        hub->startMessageSession(8, QStringLiteral("Look up"), TimeUnit_0, 0, nullptr, nullptr));
    EXPECT_EQ(hub->sessionType(), Hub::SessionType_Message);
    ASSERT_TRUE(hub->stopSession());
    settle();
    EXPECT_EQ(service.callsTo(QStringLiteral("startPoll")).size(), polls);
}

TEST_F(CloudPollTest, TheChecksComeInTheirOrder)
{
    // Not connected to the service: that comes before anything else.
    hub->stopTessalySession();
    ASSERT_TRUE(service.waitForPresenter(false, 5000));
    EXPECT_FALSE(hub->startMultichoiceSession(
        0, 0, 9, DisplayOption_Digits, TimeUnit_0, 0, stringAnswer, &answers));
    EXPECT_EQ(hub->getLastError(), Hub::Error_CommsFailure);
    ASSERT_TRUE(system->tessalyStartSession());

    EXPECT_FALSE(hub->startMultichoiceSession(
        0, 0, 9, DisplayOption_Digits, TimeUnit_0, 0, stringAnswer, &answers));
    EXPECT_EQ(hub->getLastError(), Hub::Error_BadQuestionId);
    EXPECT_FALSE(hub->startMultichoiceSession(
        1, 7, 9, DisplayOption_Digits, TimeUnit_0, 0, stringAnswer, &answers));
    EXPECT_EQ(hub->getLastError(), Hub::Error_NumOfOptionsNotWithinTheRange);
    EXPECT_FALSE(hub->startMultichoiceSession(
        1, 3, 7, DisplayOption_Digits, TimeUnit_0, 0, stringAnswer, &answers));
    EXPECT_EQ(hub->getLastError(), Hub::Error_NumOfResponsesNotWithinTheRange);
    EXPECT_FALSE(hub->startMultichoiceSession(
        1, 3, 4, DisplayOption_Digits, TimeUnit_0, 0, stringAnswer, &answers));
    EXPECT_EQ(hub->getLastError(), Hub::Error_NumOfResponsesExceedsNumOfOptions);
    EXPECT_FALSE(hub->startLikertSession(1, 3, TimeUnit_0, 0, likertAnswer, &answers));
    EXPECT_EQ(hub->getLastError(), Hub::Error_ScaleValueNotWithinTheRange);
    EXPECT_FALSE(
        hub->startNumericSession(1, QString(), 256, TimeUnit_0, 0, stringAnswer, &answers));
    EXPECT_EQ(hub->getLastError(), Hub::Error_ResponseSizeNotWithinTheRange);
    EXPECT_FALSE(hub->startTextSession(1, QStringLiteral("<math><mfrac><mn>1</mn></math>"), 10,
        TimeUnit_0, 0, true, textAnswer, &answers));
    EXPECT_EQ(hub->getLastError(), Hub::Error_InvalidMMLEquation);

    ASSERT_TRUE(hub->startYesNoSession(1, false, TimeUnit_0, 0, yesNoAnswer, &answers));
    EXPECT_FALSE(hub->startMultichoiceSession(
        1, 3, 7, DisplayOption_Digits, TimeUnit_0, 0, stringAnswer, &answers));
    EXPECT_EQ(hub->getLastError(), Hub::Error_NumOfResponsesNotWithinTheRange);
    EXPECT_FALSE(hub->startMultichoiceSession(
        1, 3, 1, DisplayOption_Digits, TimeUnit_0, 0, stringAnswer, &answers));
    EXPECT_EQ(hub->getLastError(), Hub::Error_CannotStartSessionBecauseCurrentlyInSession);
    // The running session keeps its own callback.
    ASSERT_TRUE(answer(Ann, QStringLiteral("0"), 1));
    EXPECT_EQ(answers.values()[0].value, int(Hub::YesNoResponse_Yes));
    // A long text takes no length check at the start.
    ASSERT_TRUE(hub->stopSession());
    EXPECT_TRUE(hub->startNumericSession(
        1, QString(5000, QLatin1Char('q')), 10, TimeUnit_0, 0, stringAnswer, &answers));
}

TEST_F(CloudPollTest, MultipleChoiceAnswersAreTheHostsLabels)
{
    ASSERT_TRUE(hub->startMultichoiceSession(
        11, 4, 2, DisplayOption_UpperCaseLetters, TimeUnit_0, 0, stringAnswer, &answers));
    ASSERT_TRUE(answer(Ann, QStringLiteral("1, 3"), 1));
    const Answer first = answers.values()[0];
    EXPECT_EQ(first.uid, AnnUid);
    EXPECT_EQ(first.questionId, 11);
    EXPECT_EQ(first.text, QStringLiteral("BD"));
    ASSERT_TRUE(hub->stopSession());

    // Digits count from 1, as on the radio hub; lower-case letters for display 1.
    ASSERT_TRUE(hub->startMultichoiceSession(
        12, 4, 2, DisplayOption_Digits, TimeUnit_0, 0, stringAnswer, &answers));
    ASSERT_TRUE(answer(Bob, QStringLiteral("1, 3"), 2));
    EXPECT_EQ(answers.values()[1].text, QStringLiteral("24"));
    EXPECT_EQ(answers.values()[1].uid, BobUid);
    ASSERT_TRUE(hub->stopSession());
    ASSERT_TRUE(hub->startMultichoiceSession(
        13, 4, 2, DisplayOption_LowerCaseLetters, TimeUnit_0, 0, stringAnswer, &answers));
    ASSERT_TRUE(answer(Bob, QStringLiteral("0,2"), 3));
    EXPECT_EQ(answers.values()[2].text, QStringLiteral("ac"));
}

TEST_F(CloudPollTest, AnswersOfEveryKindReachTheHostOnce)
{
    ASSERT_TRUE(hub->startYesNoSession(1, true, TimeUnit_0, 0, yesNoAnswer, &answers));
    ASSERT_TRUE(answer(Ann, QStringLiteral("1"), 1));
    ASSERT_TRUE(answer(Bob, QStringLiteral("2"), 2));
    EXPECT_EQ(answers.values()[0].value, int(Hub::YesNoResponse_No));
    EXPECT_EQ(answers.values()[1].value, int(Hub::YesNoResponse_Invalid));
    ASSERT_TRUE(hub->stopSession());

    ASSERT_TRUE(hub->startTrueFalseSession(2, false, TimeUnit_0, 0, trueFalseAnswer, &answers));
    ASSERT_TRUE(service.answerPollTrueFalse(Ann, true));
    ASSERT_TRUE(service.answerPollTrueFalse(Bob, false));
    ASSERT_TRUE(waitFor([&] { return answers.size() == 4; }, 5000ms));
    EXPECT_EQ(answers.values()[2].value, int(Hub::TrueFalseResponse_True));
    EXPECT_EQ(answers.values()[3].value, int(Hub::TrueFalseResponse_False));
    ASSERT_TRUE(hub->stopSession());

    ASSERT_TRUE(hub->startLikertSession(3, 5, TimeUnit_0, 0, likertAnswer, &answers));
    ASSERT_TRUE(answer(Ann, QStringLiteral("2"), 5));
    EXPECT_EQ(answers.values()[4].value, 3);
    ASSERT_TRUE(hub->stopSession());

    ASSERT_TRUE(hub->startNumericSession(4, QString(), 10, TimeUnit_0, 0, stringAnswer, &answers));
    ASSERT_TRUE(answer(Ann, QStringLiteral("42"), 6));
    EXPECT_EQ(answers.values()[5].text, QStringLiteral("42"));
    ASSERT_TRUE(hub->stopSession());

    ASSERT_TRUE(hub->startSortInOrderSession(
        5, 3, 3, DisplayOption_Digits, TimeUnit_0, 0, stringAnswer, &answers));
    ASSERT_TRUE(answer(Bob, QStringLiteral("2, 0, 1"), 7));
    EXPECT_EQ(answers.values()[6].text, QStringLiteral("CAB"));
    ASSERT_TRUE(hub->stopSession());

    ASSERT_TRUE(hub->startTextSession(
        6, QStringLiteral("Name it"), 50, TimeUnit_0, 0, false, textAnswer, &answers));
    ASSERT_TRUE(answer(Ann, QStringLiteral("a river"), 8));
    EXPECT_EQ(answers.values()[7].text, QStringLiteral("a river"));
    EXPECT_TRUE(answers.values()[7].valid);
    EXPECT_EQ(answers.size(), 8u);
}

TEST_F(CloudPollTest, MathsAnswersArriveAsMathMLOrAreMarkedInvalid)
{
    ASSERT_TRUE(hub->startTextSession(
        6, QStringLiteral("Solve"), 50, TimeUnit_0, 0, true, textAnswer, &answers));
    ASSERT_TRUE(
        answer(Ann, QStringLiteral("<span class=\"mathquill-embedded-latex\">x^2</span>"), 1));
    EXPECT_TRUE(answers.values()[0].valid);
    EXPECT_TRUE(answers.values()[0].text.contains(QStringLiteral("<msup>")));
    ASSERT_TRUE(answer(Bob, QStringLiteral("\\frac{1}{"), 2));
    EXPECT_FALSE(answers.values()[1].valid);
    EXPECT_EQ(answers.values()[1].text, QStringLiteral("\\frac{1}{"));
    EXPECT_EQ(hub->getLastError(), Hub::Error_InvalidEquationAnswer);
}

TEST_F(CloudPollTest, AnswersThatFitNoPollOrLearnerAreDropped)
{
    ASSERT_TRUE(hub->startMultichoiceSession(
        1, 3, 1, DisplayOption_Digits, TimeUnit_0, 0, stringAnswer, &answers));
    service.answerPoll(Ann, QStringLiteral("5"));
    service.answerPoll(Ann, QStringLiteral("x"));
    service.answerPoll(Ann, QString());
    // Far longer than any answer, though the frame still fits.
    service.answerPoll(Ann, QString(500000, QLatin1Char('1')));
    service.sendRawEvent({ { QStringLiteral("type"), QStringLiteral("pollResponse") },
        { QStringLiteral("token"), QStringLiteral("stranger") },
        { QStringLiteral("pollId"), QStringLiteral("p") }, { QStringLiteral("responseTime"), 1 },
        { QStringLiteral("response"), QStringLiteral("1") } });
    settle();
    EXPECT_EQ(answers.size(), 0u);
    ASSERT_TRUE(hub->stopSession());

    ASSERT_TRUE(hub->startLikertSession(3, 5, TimeUnit_0, 0, likertAnswer, &answers));
    service.answerPoll(Ann, QStringLiteral("many"));
    service.answerPoll(Ann, QStringLiteral("5"));
    ASSERT_TRUE(answer(Bob, QStringLiteral("4"), 1));
    EXPECT_EQ(answers.values()[0].value, 5);
    EXPECT_EQ(answers.values()[0].uid, BobUid);
}

TEST_F(CloudPollTest, NothingArrivesAfterTheStopOrTwice)
{
    ASSERT_TRUE(hub->startNumericSession(4, QString(), 10, TimeUnit_0, 0, stringAnswer, &answers));
    ASSERT_TRUE(answer(Ann, QStringLiteral("7"), 1));
    service.answerPoll(Ann, QStringLiteral("7"));
    settle();
    EXPECT_EQ(answers.size(), 1u);
    ASSERT_TRUE(hub->stopSession());
    EXPECT_TRUE(hub->stopSession()) << "no session: nothing to stop";
    service.answerPoll(Bob, QStringLiteral("8"));
    settle();
    EXPECT_EQ(answers.size(), 1u);
}

TEST_F(CloudPollTest, AStopWithoutTheServiceFailsAndKeepsTheSession)
{
    ASSERT_TRUE(hub->startNumericSession(4, QString(), 10, TimeUnit_0, 0, stringAnswer, &answers));
    hub->stopTessalySession();
    EXPECT_FALSE(hub->stopSession());
    EXPECT_EQ(hub->getLastError(), Hub::Error_CommsFailure);
    EXPECT_EQ(hub->sessionType(), Hub::SessionType_Numeric);
}
