// The cloud client library against the loopback cloud service: sign-in, class sessions, the
// collaboration socket, polls, uploads, refusals and transport failures.

#include "cloudservice.h"

#include <tessaly/tessaly.h>

#include <gtest/gtest.h>

#include <QtCore/QCoreApplication>
#include <QtCore/QElapsedTimer>
#include <QtCore/QPointer>
#include <QtCore/QRegularExpression>
#include <QtTest/QSignalSpy>

#include <functional>
#include <memory>

namespace {

const QString Teacher = QStringLiteral("teacher");
const QString Password = QStringLiteral("secret");

// Runs the test thread's events until `done` holds or `timeoutMs` passes.
bool waitUntil(const std::function<bool()>& done, int timeoutMs = 5000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

class CloudClientTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        service.addAccount(Teacher, Password);
        service.addLearner(QStringLiteral("tok-ann"), QStringLiteral("Ann"));
        service.addLearner(QStringLiteral("tok-bob"), QStringLiteral("Bob"));
        ASSERT_TRUE(service.start());
        client = std::make_unique<PresenterClient>(nullptr, service.url());
    }

    // Signs in, opens the class session and its collaboration socket.
    PresenterCollab* openSession()
    {
        EXPECT_TRUE(client->doLogin(Teacher, Password));
        EXPECT_TRUE(client->doStartSession(QString()));
        PresenterCollab* collab = nullptr;
        EXPECT_TRUE(client->startWebsocket(&collab));
        EXPECT_TRUE(service.waitForPresenter(true, 5000));
        return collab;
    }

    CloudService::Service service;
    std::unique_ptr<PresenterClient> client;
};

TEST_F(CloudClientTest, SignInSucceedsWithTheRightPasswordOnly)
{
    EXPECT_FALSE(client->doLogin(Teacher, QStringLiteral("wrong")));
    EXPECT_FALSE(client->lastError().isEmpty()) << "a refusal names its reason";
    EXPECT_TRUE(client->doGetUserName().isEmpty());
    EXPECT_FALSE(client->doLogin(QStringLiteral("nobody"), Password));

    ASSERT_TRUE(client->doLogin(Teacher, Password));
    EXPECT_TRUE(client->lastError().isEmpty()) << "each call clears the last error";
    EXPECT_EQ(client->doGetUserName(), Teacher);

    const QList<CloudService::RecordedCall> logins = service.callsTo(QStringLiteral("/api/login"));
    ASSERT_EQ(logins.size(), 3);
    EXPECT_EQ(logins.last().body.value(QStringLiteral("user")).toString(), Teacher);
    EXPECT_EQ(logins.last().body.value(QStringLiteral("password")).toString(), Password);

    EXPECT_TRUE(client->doLogout());
    EXPECT_TRUE(client->doGetUserName().isEmpty());
    EXPECT_FALSE(client->doLogout()) << "nobody is signed in any more";
}

TEST_F(CloudClientTest, TokenSignInUsesAnAccessTokenIssuedForTheUser)
{
    const QString token = client->doGetAccessToken(
        Teacher, Password, QStringLiteral("device-1"), QStringLiteral("Desk"));
    ASSERT_FALSE(token.isEmpty());
    EXPECT_TRUE(
        client->doGetAccessToken(Teacher, QStringLiteral("x"), QString(), QString()).isEmpty());
    EXPECT_FALSE(client->doLogin(Teacher, QStringLiteral("not-a-token"), QStringLiteral("d")));
    EXPECT_TRUE(client->doLogin(Teacher, token, QStringLiteral("device-1")));
    EXPECT_EQ(client->doGetUserName(), Teacher);
}

TEST_F(CloudClientTest, TransportFailuresAreBoundedAndLeaveTheErrorEmpty)
{
    // A service that answers too late: the call gives up at its own limit.
    client->setTimeoutMs(300);
    service.slowCalls(QStringLiteral("/api/login"), 1500);
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(client->doLogin(Teacher, Password));
    EXPECT_LT(timer.elapsed(), 1400);
    EXPECT_TRUE(client->lastError().isEmpty());

    // Connections closed without a reply.
    client->setTimeoutMs(5000);
    service.slowCalls(QStringLiteral("/api/login"), 0);
    service.dropCalls(QStringLiteral("/api/login"), -1);
    EXPECT_FALSE(client->doLogin(Teacher, Password));
    EXPECT_TRUE(client->lastError().isEmpty());
    service.dropCalls(QStringLiteral("/api/login"), 0);
    EXPECT_TRUE(client->doLogin(Teacher, Password));

    // No service at all.
    const QString url = service.url();
    service.stop();
    PresenterClient absent(nullptr, url);
    absent.setTimeoutMs(2000);
    timer.restart();
    EXPECT_FALSE(absent.doLogin(Teacher, Password));
    EXPECT_LT(timer.elapsed(), 2500);
    EXPECT_TRUE(absent.lastError().isEmpty());
    EXPECT_FALSE(absent.checkServer(QString(), QStringLiteral("key")));
    EXPECT_EQ(PresenterClient(nullptr, url).timeoutMs(), 10000);
}

TEST_F(CloudClientTest, AServiceBackOnItsPortServesTheSameAccount)
{
    ASSERT_TRUE(client->doLogin(Teacher, Password));
    ASSERT_TRUE(client->doStartSession(QString()));
    const QString code = client->sessionCode();
    const quint16 port = service.port();
    service.stop();
    client->setTimeoutMs(1000);
    EXPECT_FALSE(client->doStartSession(QString()));
    EXPECT_TRUE(client->lastError().isEmpty());
    ASSERT_TRUE(service.start(port));
    ASSERT_TRUE(client->doStartSession(QString())) << qPrintable(client->lastError());
    EXPECT_EQ(client->sessionCode(), code);
}

TEST_F(CloudClientTest, ARefusedCallGivesTheServicesReason)
{
    ASSERT_TRUE(client->doLogin(Teacher, Password));
    service.refuseCalls(
        QStringLiteral("/api/session/start"), QStringLiteral("Class limit reached"));
    EXPECT_FALSE(client->doStartSession(QString()));
    EXPECT_EQ(client->lastError(), QStringLiteral("Class limit reached"));
    EXPECT_TRUE(client->sessionCode().isNull());

    service.clearRefusals();
    ASSERT_TRUE(client->doStartSession(QString()));
    EXPECT_TRUE(client->lastError().isEmpty());
    const QList<CloudService::RecordedCall> starts
        = service.callsTo(QStringLiteral("/api/session/start"));
    ASSERT_EQ(starts.size(), 2);
    EXPECT_TRUE(starts.last().body.contains(QStringLiteral("lessonId")));
    EXPECT_TRUE(starts.last().body.value(QStringLiteral("lessonId")).isNull());
}

TEST_F(CloudClientTest, TheClassCodeIsTheAccountsAndStaysAcrossSessions)
{
    ASSERT_TRUE(client->doLogin(Teacher, Password));
    ASSERT_TRUE(client->doStartSession(QString()));
    const QString code = client->sessionCode();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^TS[0-9]{3}$")).match(code).hasMatch())
        << qPrintable(code);
    EXPECT_EQ(code, service.classCode(Teacher));
    ASSERT_TRUE(client->doStopSession());
    EXPECT_TRUE(client->sessionCode().isNull());
    ASSERT_TRUE(client->doStartSession(QString()));
    EXPECT_EQ(client->sessionCode(), code);
}

TEST_F(CloudClientTest, LearnersArriveOverTheSocketAndFromTheList)
{
    service.joinLearner(QStringLiteral("tok-bob")); // before the presenter is there
    PresenterCollab* collab = openSession();
    ASSERT_NE(collab, nullptr);
    QSignalSpy joins(collab, &PresenterCollab::learnerJoin);
    QSignalSpy leaves(collab, &PresenterCollab::learnerUnregister);

    ASSERT_TRUE(client->doGetLearners());
    ASSERT_EQ(joins.size(), 1) << "the list is reported before the call returns";
    EXPECT_EQ(joins.at(0).at(0).value<Tessaly::Learner>().token, QStringLiteral("tok-bob"));

    service.joinLearner(QStringLiteral("tok-ann"));
    ASSERT_TRUE(waitUntil([&] { return joins.size() == 2; }));
    const Tessaly::Learner ann = joins.at(1).at(0).value<Tessaly::Learner>();
    EXPECT_EQ(ann.token, QStringLiteral("tok-ann"));
    EXPECT_EQ(ann.name, QStringLiteral("Ann"));

    service.leaveLearner(QStringLiteral("tok-ann"));
    ASSERT_TRUE(waitUntil([&] { return leaves.size() == 1; }));
    EXPECT_EQ(leaves.at(0).at(0).toString(), QStringLiteral("tok-ann"));
    service.joinLearner(QStringLiteral("tok-ann")); // a rejoin is a join again
    ASSERT_TRUE(waitUntil([&] { return joins.size() == 3; }));
}

TEST_F(CloudClientTest, APollGoesOutWithItsNumbersAndAnswersComeBack)
{
    PresenterCollab* collab = openSession();
    ASSERT_NE(collab, nullptr);
    QSignalSpy answers(collab, &PresenterCollab::learnerPollResponse);
    service.joinLearner(QStringLiteral("tok-ann"));

    ASSERT_TRUE(collab->startPoll(Tessaly::PollType::POLL_TYPE_MULTIPLE_CHOICE,
        Tessaly::OrdinalType::ORDINAL_TYPE_NUMBERS, 4, 2));
    ASSERT_TRUE(service.waitForCall(QStringLiteral("startPoll"), 1, 5000));
    const QVariantMap poll = service.currentPoll();
    EXPECT_EQ(poll.value(QStringLiteral("pollType")).toInt(), 2);
    EXPECT_EQ(poll.value(QStringLiteral("ordinalType")).toInt(), 7);
    EXPECT_EQ(poll.value(QStringLiteral("optionCount")).toInt(), 4);
    EXPECT_EQ(poll.value(QStringLiteral("maxAnswers")).toInt(), 2);
    EXPECT_TRUE(service.pollRunning());

    ASSERT_TRUE(service.answerPollIndexes(QStringLiteral("tok-ann"), { 1, 3 }));
    ASSERT_TRUE(waitUntil([&] { return answers.size() == 1; }));
    EXPECT_EQ(answers.at(0).at(0).toString(), QStringLiteral("tok-ann"));
    EXPECT_EQ(answers.at(0).at(1).toString(), collab->currentPollId());
    EXPECT_EQ(answers.at(0).at(3).toString(), QStringLiteral("1, 3"));

    ASSERT_TRUE(service.answerPollTrueFalse(QStringLiteral("tok-ann"), false));
    ASSERT_TRUE(waitUntil([&] { return answers.size() == 2; }));
    EXPECT_EQ(answers.at(1).at(3).toString(), QStringLiteral("False"));

    ASSERT_TRUE(collab->stopPoll());
    ASSERT_TRUE(service.waitForCall(QStringLiteral("stopPoll"), 1, 5000));
    EXPECT_FALSE(service.pollRunning());
}

TEST_F(CloudClientTest, AnUploadReturnsTheResourceAddress)
{
    ASSERT_TRUE(client->doLogin(Teacher, Password));
    QByteArray image(100000, '\0');
    for (int i = 0; i < image.size(); ++i)
        image[i] = char(i * 7);
    QString id;
    QString url;
    ASSERT_TRUE(client->doUploadResource(QStringLiteral("temp.jpg"), image, &id, &url));
    const QList<CloudService::Resource> resources = service.resources();
    ASSERT_EQ(resources.size(), 1);
    EXPECT_EQ(resources.at(0).name, QStringLiteral("temp.jpg"));
    EXPECT_EQ(resources.at(0).data, image);
    EXPECT_EQ(url, resources.at(0).url);
    EXPECT_EQ(id, resources.at(0).id);

    service.refuseCalls(QStringLiteral("/api/resources"), QStringLiteral("Storage full"));
    url.clear();
    EXPECT_FALSE(client->doUploadResource(QStringLiteral("temp.jpg"), image, nullptr, &url));
    EXPECT_EQ(client->lastError(), QStringLiteral("Storage full"));
    EXPECT_TRUE(url.isEmpty());
}

TEST_F(CloudClientTest, MalformedFramesAreDroppedAndAnOversizeFrameClosesTheSocket)
{
    PresenterCollab* collab = openSession();
    ASSERT_NE(collab, nullptr);
    QSignalSpy closed(collab, &PresenterCollab::connectionClosed);
    QSignalSpy joins(collab, &PresenterCollab::learnerJoin);
    QSignalSpy unhandled(collab, &PresenterCollab::unhandledMessage);

    for (const QByteArray& bad : { QByteArray("not json"), QByteArray("[1,2]"),
             QByteArray("{\"token\":\"t\"}"), QByteArray("{\"type\":\"learnerJoin\",\"token\":7}"),
             QByteArray("{\"type\":\"pollResponse\",\"token\":\"t\",\"pollId\":\"p\","
                        "\"responseTime\":-1,\"response\":\"0\"}") })
        ASSERT_TRUE(service.sendRawFrame(bad));
    service.sendUnhandledMessage(QStringLiteral("somethingNew"), 42);
    service.joinLearner(QStringLiteral("tok-ann"));
    ASSERT_TRUE(waitUntil([&] { return joins.size() == 1; }));
    EXPECT_EQ(unhandled.size(), 1);
    EXPECT_EQ(unhandled.at(0).at(1).toInt(), 42);
    EXPECT_TRUE(collab->isConnected());
    EXPECT_EQ(closed.size(), 0);

    QByteArray oversize = "{\"type\":\"learnerJoin\",\"token\":\"t\",\"name\":\"";
    oversize += QByteArray(PresenterCollab::DefaultMaxFrameSize, 'x');
    oversize += "\"}";
    ASSERT_TRUE(service.sendRawFrame(oversize));
    ASSERT_TRUE(waitUntil([&] { return closed.size() == 1; }));
    EXPECT_EQ(joins.size(), 1);
    EXPECT_FALSE(collab->isConnected());
    EXPECT_TRUE(service.waitForPresenter(false, 5000));
}

TEST_F(CloudClientTest, OnlyTheServiceClosingTheSocketIsReported)
{
    QPointer<PresenterCollab> collab = openSession();
    ASSERT_TRUE(collab);
    QSignalSpy closed(collab.data(), &PresenterCollab::connectionClosed);
    service.dropPresenterSocket();
    ASSERT_TRUE(waitUntil([&] { return closed.size() == 1; }));
    EXPECT_FALSE(collab->sessionEndedByService());

    // Back again: the presenter's own stop is not a loss of connection.
    PresenterCollab* second = nullptr;
    ASSERT_TRUE(client->startWebsocket(&second));
    EXPECT_TRUE(waitUntil([&] { return collab.isNull(); })) << "the old one is deleted later";
    QSignalSpy secondClosed(second, &PresenterCollab::connectionClosed);
    ASSERT_TRUE(client->doStopSession());
    QCoreApplication::processEvents();
    EXPECT_EQ(secondClosed.size(), 0);

    // The service ends the session: reported, and marked as deliberate.
    ASSERT_TRUE(client->doStartSession(QString()));
    PresenterCollab* third = nullptr;
    ASSERT_TRUE(client->startWebsocket(&third));
    QSignalSpy thirdClosed(third, &PresenterCollab::connectionClosed);
    ASSERT_TRUE(service.waitForPresenter(true, 5000));
    service.endSession();
    ASSERT_TRUE(waitUntil([&] { return thirdClosed.size() == 1; }));
    EXPECT_TRUE(third->sessionEndedByService());
    EXPECT_FALSE(client->startWebsocket(&third)) << "no session to connect to";
}

TEST_F(CloudClientTest, ServiceEventsReachTheirSignals)
{
    PresenterCollab* collab = openSession();
    ASSERT_NE(collab, nullptr);
    QSignalSpy inactivity(collab, &PresenterCollab::inactivityTimeMs);
    QSignalSpy remote(collab, &PresenterCollab::remoteControl);
    QSignalSpy controller(collab, &PresenterCollab::controllerRegister);
    QSignalSpy questions(collab, &PresenterCollab::learnerGetQuestion);
    QSignalSpy collaboration(collab, &PresenterCollab::collaborationMessage);

    service.sendInactivity(90000);
    service.sendRemoteControl(QStringLiteral("phone"), QStringLiteral("nextCard"), 3);
    service.sendControllerRegister(true);
    service.requestQuestion(QStringLiteral("tok-ann"), 2);
    service.sendCollaborationMessage({ { QStringLiteral("data"), QStringLiteral("hello") } });
    ASSERT_TRUE(waitUntil([&] { return collaboration.size() == 1; }));
    ASSERT_EQ(inactivity.size(), 1);
    EXPECT_EQ(inactivity.at(0).at(0).toLongLong(), 90000);
    ASSERT_EQ(remote.size(), 1);
    const RemoteControlMessage message = remote.at(0).at(0).value<RemoteControlMessage>();
    EXPECT_EQ(message.from, QStringLiteral("phone"));
    EXPECT_EQ(message.type, QStringLiteral("nextCard"));
    EXPECT_EQ(message.data.toInt(), 3);
    ASSERT_EQ(controller.size(), 1);
    EXPECT_TRUE(controller.at(0).at(0).toBool());
    ASSERT_EQ(questions.size(), 1);
    EXPECT_EQ(questions.at(0).at(1).toInt(), 2);
    EXPECT_EQ(collaboration.at(0).at(1).toString(), QStringLiteral("hello"));
}

TEST_F(CloudClientTest, AnAssessmentSendsQuestionsAndGetsOptionTextsAndMaths)
{
    PresenterCollab* collab = openSession();
    ASSERT_NE(collab, nullptr);
    QSignalSpy answers(collab, &PresenterCollab::learnerPollResponse);
    PresenterAssessment assessment(nullptr, collab);
    Tessaly::AssessmentOptions options;
    options.allowNavigation = options.allowBackNavigation = true;
    options.questionCount = 5;
    ASSERT_TRUE(assessment.start(QStringLiteral("tok-ann"), &options));

    Tessaly::QuestionYesNo question;
    question.number = 3;
    question.text = QStringLiteral("Is it?");
    question.addActivityOption(QStringLiteral("Yes"), QStringLiteral("YES"), 1);
    question.addActivityOption(QStringLiteral("No"), QStringLiteral("NO"), 2);
    ASSERT_TRUE(assessment.sendQuestion(QStringLiteral("tok-ann"), &question));
    EXPECT_FALSE(assessment.sendQuestion(QStringLiteral("tok-ann"), nullptr));
    ASSERT_TRUE(service.waitForCall(QStringLiteral("assessmentQuestion"), 1, 5000));

    const QVariantMap start = service.callsTo(QStringLiteral("assessmentStart")).value(0).body;
    EXPECT_EQ(start.value(QStringLiteral("token")).toString(), QStringLiteral("tok-ann"));
    const QVariantMap sentOptions = start.value(QStringLiteral("options")).toMap();
    EXPECT_TRUE(sentOptions.value(QStringLiteral("allowNavigation")).toBool());
    EXPECT_EQ(sentOptions.value(QStringLiteral("questionCount")).toInt(), 5);
    const QVariantMap sent = service.callsTo(QStringLiteral("assessmentQuestion"))
                                 .value(0)
                                 .body.value(QStringLiteral("question"))
                                 .toMap();
    EXPECT_EQ(sent.value(QStringLiteral("number")).toInt(), 3);
    EXPECT_EQ(sent.value(QStringLiteral("options")).toList().size(), 2);

    service.answerAssessment(QStringLiteral("tok-ann"), QStringLiteral("No"));
    service.answerAssessmentMaths(QStringLiteral("tok-ann"), QStringLiteral("x^2"));
    ASSERT_TRUE(waitUntil([&] { return answers.size() == 2; }));
    EXPECT_EQ(answers.at(0).at(3).toString(), QStringLiteral("No"));
    EXPECT_EQ(answers.at(1).at(3).toString(),
        QStringLiteral("<span class=\"mathquill-embedded-latex\">x^2</span>"));
}

TEST(CollabFrameTest, DecodesEachKindAndRefusesBadMembers)
{
    using Tessaly::CollabFrame;
    const auto decode
        = [](const char* text) { return Tessaly::decodeCollabFrame(QByteArray(text), 1000); };
    const CollabFrame join = decode(R"({"type":"learnerJoin","token":"a","name":"Ann"})");
    EXPECT_EQ(join.kind, CollabFrame::LearnerJoin);
    EXPECT_EQ(join.learner.name, QStringLiteral("Ann"));
    const CollabFrame answer = decode(
        R"({"type":"pollResponse","token":"a","pollId":"p1","responseTime":250,"response":"2"})");
    EXPECT_EQ(answer.kind, CollabFrame::PollResponse);
    EXPECT_EQ(answer.responseTime, 250);
    EXPECT_EQ(answer.response, QStringLiteral("2"));
    EXPECT_EQ(decode(R"({"type":"inactivity","ms":1.5})").kind, CollabFrame::Malformed);
    EXPECT_EQ(decode(R"({"type":"getQuestion","token":"a","question":1e12})").kind,
        CollabFrame::Malformed);
    EXPECT_EQ(
        decode(R"({"type":"controllerRegister","registered":"yes"})").kind, CollabFrame::Malformed);
    EXPECT_EQ(decode(R"({"type":"sessionEnded"})").kind, CollabFrame::SessionEnded);
    EXPECT_EQ(decode(R"({"type":"other","data":[1]})").kind, CollabFrame::Unhandled);
    EXPECT_EQ(decode("").kind, CollabFrame::Malformed);
    EXPECT_EQ(Tessaly::decodeCollabFrame(QByteArray(1001, ' '), 1000).kind, CollabFrame::Oversize);
}

} // namespace
