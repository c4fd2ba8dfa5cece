// The self-paced test over the classroom server: parameters and questions as server calls,
// device requests from the beacon, and answers reported through the enhanced session.

#include "rondel2fixture.h"

#include <taviosystem/enhancedquestion.h>
#include <taviosystem/rondel2enhancedquestionsession.h>
#include <taviosystem/taviosystem.h>

#include <QtCore/QBitArray>
#include <QtCore/QJsonDocument>

#include <memory>

using namespace TavioTest;
using namespace Taviosystem;
using ClassroomServer::Fault;

namespace {

const char* const ForDevice = "entities/rondel_hub/startSessionForDevice";
const char* const StartAll = "entities/rondel_hub/startSessionAllDevices";
const char* const SendQuestion = "entities/rondel_hub/sendQuestion";

struct Host
{
    Rondel2EnhancedQuestionSession* session = nullptr;
    std::vector<std::unique_ptr<EnhancedQuestion>> questions;
    Recorder<QString> events;
};

class Rondel2EnhancedTest : public Rondel2Test
{
protected:
    void SetUp() override
    {
        Rondel2Test::SetUp();
        hub = startListed();
        ASSERT_NE(hub, nullptr);
        registerDevices(hub, 3);
        session = qobject_cast<Rondel2EnhancedQuestionSession*>(hub->enhancedQuestionSession());
        ASSERT_NE(session, nullptr);
        host.session = session;
        host.questions.emplace_back(new MultichoiceQuestion(1, QStringLiteral("Pick v2"),
            QStringLiteral("Pick\n1:red\n2:green\n3:blue\n4:pink"), 4, 1, DisplayOption_Digits,
            QStringLiteral("1")));
        host.questions.back()->setShowQuestionNumber(true);
        host.questions.emplace_back(new YesNoQuestion(
            2, QStringLiteral("Sure?"), QStringLiteral("Sure?"), true, YesNoQuestion::Answer_Yes));
        host.questions.emplace_back(
            new LikertQuestion(3, QStringLiteral("Rate"), QStringLiteral("Rate"), 5));
        EnhancedQuestionSession::CallbacksInfo callbacks;
        callbacks.context = &host;
        callbacks.getSessionParameters = [](EnhancedQuestionSession* s, quint32 uid, int, void* c) {
            static_cast<Host*>(c)->events.append(QStringLiteral("params %1").arg(uid));
            s->sendSessionParameters(uid, 3, 1, true, QBitArray(8), 0);
        };
        callbacks.getQuestion = [](EnhancedQuestionSession* s, quint32 uid, int number, void* c) {
            auto* h = static_cast<Host*>(c);
            h->events.append(QStringLiteral("ask %1 %2").arg(uid).arg(number));
            if (number >= 1 && number <= int(h->questions.size()))
                s->sendQuestion(uid, h->questions.at(std::size_t(number - 1)).get());
        };
        callbacks.multichoiceAnswer
            = [](EnhancedQuestionSession*, quint32 uid, int n, const QString& a, void* c) {
                  static_cast<Host*>(c)->events.append(
                      QStringLiteral("mc %1 %2 %3").arg(uid).arg(n).arg(a));
              };
        callbacks.yesNoAnswer
            = [](EnhancedQuestionSession*, quint32 uid, int n, YesNoQuestion::Answer a, void* c) {
                  static_cast<Host*>(c)->events.append(
                      QStringLiteral("yn %1 %2 %3").arg(uid).arg(n).arg(int(a)));
              };
        callbacks.likertAnswer = [](EnhancedQuestionSession*, quint32 uid, int n, int v, void* c) {
            static_cast<Host*>(c)->events.append(
                QStringLiteral("lk %1 %2 %3").arg(uid).arg(n).arg(v));
        };
        session->setCallbacks(callbacks);
        session->setDefaultSessionParameters(3, 1, false, QBitArray(), 0);
        session->useDefaultSessionParameters(false);
    }

    int countEvents(const QString& prefix) const
    {
        int count = 0;
        for (const QString& event : host.events.values())
            count += event.startsWith(prefix) ? 1 : 0;
        return count;
    }

    VirtualRondel2Hub* hub = nullptr;
    Rondel2EnhancedQuestionSession* session = nullptr;
    Host host;
};

TEST_F(Rondel2EnhancedTest, ASelfPacedTestRunsToTheEndWithEveryAnswerReportedOnce)
{
    server.setFault(QLatin1String(StartAll), Fault::delay(250, 1));
    ASSERT_TRUE(session->startSession(false));
    EXPECT_EQ(hub->sessionType(), Hub::SessionType_Async);
    // The host was asked for every device's parameters; they wait for the server's start.
    EXPECT_EQ(countEvents(QStringLiteral("params")), 3);
    waitFor([] { return false; }, 120ms);
    EXPECT_EQ(server.requestCount(QLatin1String(ForDevice)), 0);
    ASSERT_TRUE(waitForServerRequests(server, QLatin1String(ForDevice), 3, 3000));
    const auto start = server.requests(QLatin1String(StartAll));
    ASSERT_EQ(start.size(), 1);
    EXPECT_EQ(start.front().parameters.value("SessionParameters").toMap(),
        (QVariantMap { { "TotalQuestions", 3 }, { "StartingQuestionNumber", 1 },
            { "NavType", "NoQuestionNavigation" } }));
    for (const auto& request : server.requests(QLatin1String(ForDevice)))
        EXPECT_EQ(request.parameters.value("SessionParameters").toMap(),
            (QVariantMap { { "TotalQuestions", 3 }, { "StartingQuestionNumber", 1 },
                { "NavType", "BetweenSectionsAndQuestions" } }));

    // Each device asks for the three questions in turn and answers each once.
    ASSERT_TRUE(waitFor([&] { return countEvents(QStringLiteral("lk")) == 3; }, 8000ms));
    waitFor([] { return false; }, 300ms);
    QStringList answers;
    for (const QString& event : host.events.values())
        if (!event.startsWith(QStringLiteral("params")) && !event.startsWith(QStringLiteral("ask")))
            answers.append(event);
    answers.sort();
    EXPECT_EQ(answers,
        (QStringList { "lk 1001 3 1", "lk 1002 3 1", "lk 1003 3 1", "mc 1001 1 1", "mc 1002 1 1",
            "mc 1003 1 1", "yn 1001 2 2", "yn 1002 2 2", "yn 1003 2 2" }));

    // The first question's document.
    const auto sent = server.requests(QLatin1String(SendQuestion));
    ASSERT_GE(sent.size(), 1);
    const QVariantMap expected {
        { "AssessmentQuestionID", 1 }, { "QuestionNumber", 1 }, { "ShowQuestionNumber", true },
        { "MathFormat", "MathML" }, { "QuestionText", "Pick" },
        { "QuestionType", "MultipleChoice" }, { "MaxResponses", 1 },
        { "PossibleResponses",
            QVariantList {
                QVariantMap { { "AnswerID", 1 }, { "Ordinal", "1" }, { "AnswerText", "red" } },
                QVariantMap { { "AnswerID", 2 }, { "Ordinal", "2" }, { "AnswerText", "green" } },
                QVariantMap { { "AnswerID", 3 }, { "Ordinal", "3" }, { "AnswerText", "blue" } },
                QVariantMap { { "AnswerID", 4 }, { "Ordinal", "4" }, { "AnswerText", "pink" } } } }
    };
    EXPECT_EQ(QJsonDocument::fromVariant(sent.front().parameters.value("Question"))
                  .toJson()
                  .toStdString(),
        QJsonDocument::fromVariant(expected).toJson().toStdString());

    EXPECT_TRUE(session->stopSession());
    EXPECT_EQ(hub->sessionType(), Hub::SessionType_None);
    EXPECT_TRUE(waitForServerRequests(
        server, QStringLiteral("entities/rondel_hub/endSessionAllDevices"), 1, 3000));
}

TEST_F(Rondel2EnhancedTest, MessagesCarryTheirMetaAndARefusedQuestionKeepsTheOldOne)
{
    ASSERT_TRUE(session->startSession(false));
    ASSERT_TRUE(session->sendMessage(1001,
        EnhancedQuestionSession::MessageControlFlag_ReviewAnswers
            | EnhancedQuestionSession::MessageControlFlag_CanDismiss,
        QStringLiteral("Review?")));
    ASSERT_TRUE(session->sendMessage(
        1002, EnhancedQuestionSession::MessageControlFlag_YesNo, QStringLiteral("Done?")));
    ASSERT_TRUE(session->sendNoMoreQuestionsNotification(1003, QStringLiteral("End")));
    ASSERT_TRUE(waitForServerRequests(
        server, QStringLiteral("entities/rondel_hub/sendMessageMeta"), 2, 3000));
    ASSERT_TRUE(
        waitForServerRequests(server, QStringLiteral("entities/rondel_hub/sendMessage"), 1, 3000));
    const auto meta = server.requests(QStringLiteral("entities/rondel_hub/sendMessageMeta"));
    QMap<quint32, QVariantMap> byDevice;
    for (const auto& request : meta)
        byDevice.insert(request.parameters.value("DeviceID").toUInt(), request.parameters);
    EXPECT_EQ(byDevice.value(1001).value("Meta").toStringList(),
        (QStringList { "reviewAnswers", "yesNo" }));
    EXPECT_EQ(byDevice.value(1001).value("CanDismiss"), QVariant(true));
    EXPECT_EQ(byDevice.value(1002).value("Meta").toStringList(), (QStringList { "yesNo" }));
    const auto plain = server.requests(QStringLiteral("entities/rondel_hub/sendMessage"));
    EXPECT_EQ(plain.back().parameters.value("CanDismiss"), QVariant(false));
    EXPECT_EQ(plain.back().parameters.value("Message"), QVariant("End"));

    // A multiple-choice question with more answers than options is refused.
    MultichoiceQuestion tooMany(
        5, QString(), QStringLiteral("x"), 2, 3, DisplayOption_Digits, QString());
    EXPECT_FALSE(session->sendQuestion(1001, &tooMany));
}

TEST(Rondel2AnswerMessages, AnswersBecomeTheDeviceMessagesOfTheirKind)
{
    EXPECT_EQ(Rondel2EnhancedQuestionSession::answerMessage(
                  EnhancedQuestion::Type_YesNo, QStringLiteral("Yes")),
        QByteArray("A"));
    EXPECT_EQ(Rondel2EnhancedQuestionSession::answerMessage(
                  EnhancedQuestion::Type_YesNo, QStringLiteral("No")),
        QByteArray("B"));
    // Only "Yes" is yes: lower case is don't know.
    EXPECT_EQ(Rondel2EnhancedQuestionSession::answerMessage(
                  EnhancedQuestion::Type_YesNo, QStringLiteral("yes")),
        QByteArray("C"));
    EXPECT_EQ(Rondel2EnhancedQuestionSession::answerMessage(
                  EnhancedQuestion::Type_TrueFalse, QStringLiteral("False")),
        QByteArray("B"));
    EXPECT_EQ(Rondel2EnhancedQuestionSession::answerMessage(
                  EnhancedQuestion::Type_Likert, QStringLiteral("7")),
        QByteArray("\x07"));
    EXPECT_EQ(Rondel2EnhancedQuestionSession::answerMessage(
                  EnhancedQuestion::Type_Likert, QStringLiteral("300")),
        QByteArray());
    EXPECT_EQ(Rondel2EnhancedQuestionSession::answerMessage(
                  EnhancedQuestion::Type_Numeric, QStringLiteral("3.5")),
        QByteArray("3.5"));
    EXPECT_EQ(Rondel2EnhancedQuestionSession::answerMessage(
                  EnhancedQuestion::Type_Multichoice, QStringLiteral("1, 3")),
        QByteArray("13  "));
    EXPECT_EQ(Rondel2EnhancedQuestionSession::answerMessage(
                  EnhancedQuestion::Type_SortInOrder, QStringLiteral("c,a ,b")),
        QByteArray("cab  "));
}

} // namespace
