// A lost connection to the cloud service: the hub tries again (with a short interval here),
// keeps its learners and its running poll, and gives up after three failed attempts. Deliberate
// ends are no losses. Bad frames and the remaining collaboration events.

#include "cloudfixture.h"

#include <tessaly/presenterclient.h>

#include <QtCore/QCoreApplication>
#include <QtCore/QThread>

using namespace Taviosystem;
using namespace TavioTest;

namespace {

struct Numeric
{
    quint32 uid;
    QString text;
};

void numericAnswer(Hub*, unsigned int uid, int, const QString& text, void* context)
{
    static_cast<Recorder<Numeric>*>(context)->append({ uid, text });
}

class CloudConnectionTest : public CloudTest
{
protected:
    void SetUp() override
    {
        CloudTest::SetUp();
        ASSERT_NE(openClass(), nullptr);
        ASSERT_TRUE(join(QStringLiteral("ab"), QStringLiteral("Ann")));
        QObject::connect(
            hub, &Hub::tessalySessionDisconnected, hub, [this] { givenUp.append(true); },
            Qt::DirectConnection);
    }

    int sessionStarts()
    {
        return int(service.callsTo(QStringLiteral("/api/session/start")).size());
    }

    Recorder<bool> givenUp;
    Recorder<Numeric> answers;
};

} // namespace

TEST_F(CloudConnectionTest, TheSecondRetryRestoresTheClassWithItsLearnersAndPoll)
{
    ASSERT_TRUE(hub->startNumericSession(3, QString(), 10, TimeUnit_0, 0, numericAnswer, &answers));
    ASSERT_TRUE(waitForPolls(1));
    ASSERT_TRUE(service.answerPoll(QStringLiteral("ab"), QStringLiteral("12")));
    ASSERT_TRUE(waitFor([&] { return answers.size() == 1; }, 5000ms));

    // The first attempt finds the service too slow to answer within the client's wait (a
    // failure worth retrying); the second finds it well again.
    PresenterClient* client = hub->getTessalyClient();
    ASSERT_NE(client, nullptr);
    client->setTimeoutMs(300);
    hub->setRetryInterval(1500);
    service.slowCalls(QStringLiteral("/api/session/start"), 1000);
    service.dropPresenterSocket();
    ASSERT_TRUE(waitFor([&] { return !hub->isCollabConnected(); }, 5000ms));
    ASSERT_TRUE(waitFor([&] { return sessionStarts() == 2; }, 5000ms));
    service.slowCalls(QStringLiteral("/api/session/start"), 0);
    ASSERT_TRUE(waitFor([&] { return hub->isCollabConnected(); }, 10000ms));
    EXPECT_EQ(sessionStarts(), 3);
    EXPECT_EQ(givenUp.size(), 0u);
    EXPECT_EQ(hub->state(), TwoPointFourGHzHub::State_Idle);
    EXPECT_EQ(learners().size(), 1u);
    EXPECT_EQ(registered.size(), 1u) << "a re-read after a reconnection reports no new device";

    // The poll goes on with the same numbers; an answer given before is not reported again.
    ASSERT_TRUE(waitForPolls(2));
    EXPECT_EQ(lastPoll(), (std::vector<int> { 7, 7, 2, 1 }));
    EXPECT_EQ(hub->sessionType(), Hub::SessionType_Numeric);
    ASSERT_TRUE(service.answerPoll(QStringLiteral("ab"), QStringLiteral("12")));
    ASSERT_TRUE(service.answerPoll(QStringLiteral("ab"), QStringLiteral("13")));
    ASSERT_TRUE(waitFor([&] { return answers.size() == 2; }, 5000ms));
    EXPECT_EQ(answers.values()[1].text, QStringLiteral("13"));
    EXPECT_EQ(answers.values()[1].uid, 195u);
}

TEST_F(CloudConnectionTest, ThreeFailedAttemptsGiveOneDisconnectedSignal)
{
    service.stop();
    ASSERT_TRUE(waitFor([&] { return givenUp.size() == 1; }, 10000ms));
    // No further attempts after giving up.
    QThread::msleep(4 * TestRetryInterval);
    QCoreApplication::processEvents();
    EXPECT_EQ(givenUp.size(), 1u);
    EXPECT_FALSE(hub->isCollabConnected());
    // The learners stay listed.
    EXPECT_EQ(learners().size(), 1u);
}

TEST_F(CloudConnectionTest, ADroppedSocketIsRecoveredAndARefusalEndsTheAttempts)
{
    service.dropPresenterSocket();
    ASSERT_TRUE(waitFor([&] { return sessionStarts() == 2 && hub->isCollabConnected(); }, 5000ms));
    EXPECT_EQ(givenUp.size(), 0u);

    // The service refuses the class: no more attempts.
    service.refuseCalls(QStringLiteral("/api/session/start"), QStringLiteral("no classes today"));
    service.dropPresenterSocket();
    ASSERT_TRUE(waitFor([&] { return givenUp.size() == 1; }, 5000ms));
    EXPECT_EQ(sessionStarts(), 3);
    EXPECT_EQ(hub->getTessalyLastError(), QStringLiteral("no classes today"));
}

TEST_F(CloudConnectionTest, DeliberateEndsAreNotRetried)
{
    // The service ends the class.
    service.endSession();
    ASSERT_TRUE(waitFor([&] { return !hub->isCollabConnected(); }, 5000ms));
    QThread::msleep(3 * TestRetryInterval);
    QCoreApplication::processEvents();
    EXPECT_EQ(sessionStarts(), 1);
    EXPECT_EQ(givenUp.size(), 0u);

    // The teacher's own stop through the controller.
    ASSERT_TRUE(system->tessalyStartSession());
    ASSERT_TRUE(service.waitForPresenter(true, 5000));
    EXPECT_TRUE(TessalyController::instance().stopSession());
    ASSERT_TRUE(waitFor([&] { return !hub->isCollabConnected(); }, 5000ms));
    QThread::msleep(3 * TestRetryInterval);
    QCoreApplication::processEvents();
    EXPECT_EQ(sessionStarts(), 2);
}

TEST_F(CloudConnectionTest, AnOversizeFrameClosesTheSocketAndTheRetryRecovers)
{
    ASSERT_TRUE(hub->startNumericSession(3, QString(), 10, TimeUnit_0, 0, numericAnswer, &answers));
    ASSERT_TRUE(service.answerPoll(QStringLiteral("ab"), QString(1 << 20, QLatin1Char('9'))));
    ASSERT_TRUE(waitFor([&] { return sessionStarts() == 2 && hub->isCollabConnected(); }, 5000ms));
    ASSERT_TRUE(service.answerPoll(QStringLiteral("ab"), QStringLiteral("9")));
    ASSERT_TRUE(waitFor([&] { return answers.size() == 1; }, 5000ms));
    EXPECT_EQ(answers.values()[0].text, QStringLiteral("9"));
}

TEST_F(CloudConnectionTest, MalformedFramesAreDroppedAndTheOtherEventsReachTheHost)
{
    Recorder<QString> remote;
    Recorder<bool> controllers;
    Recorder<QString> messages;
    Recorder<qint64> inactivity;
    QObject::connect(
        hub, &Hub::remoteControlMessage, hub,
        [&](QString from, QString type, QVariant data) {
            remote.append(from + QLatin1Char('/') + type + QLatin1Char('/') + data.toString());
        },
        Qt::DirectConnection);
    QObject::connect(
        hub, &Hub::controllerRegister, hub, [&](bool on) { controllers.append(on); },
        Qt::DirectConnection);
    QObject::connect(
        hub, &Hub::collaborationMessage, hub,
        [&](QVariantMap json, QVariant) {
            messages.append(json.value(QStringLiteral("type")).toString());
        },
        Qt::DirectConnection);
    QObject::connect(
        hub, &Hub::tessalySessionInactivityTimeMs, hub, [&](qint64 ms) { inactivity.append(ms); },
        Qt::DirectConnection);

    ASSERT_TRUE(service.sendRawFrame("not json"));
    ASSERT_TRUE(service.sendRawFrame("{\"type\": 5}"));
    ASSERT_TRUE(service.sendRawFrame("{\"type\": \"learnerJoin\"}"));
    ASSERT_TRUE(service.sendRemoteControl(
        QStringLiteral("phone"), QStringLiteral("nextCard"), QStringLiteral("3")));
    ASSERT_TRUE(service.sendControllerRegister(true));
    ASSERT_TRUE(service.sendUnhandledMessage(QStringLiteral("mystery"), 7));
    ASSERT_TRUE(service.sendInactivity(60000));
    ASSERT_TRUE(waitFor([&] { return inactivity.size() == 1; }, 5000ms));
    EXPECT_EQ(inactivity.values()[0], 60000);
    EXPECT_EQ(remote.values(), std::vector<QString> { QStringLiteral("phone/nextCard/3") });
    EXPECT_EQ(controllers.values(), std::vector<bool> { true });
    EXPECT_EQ(messages.values(), std::vector<QString> { QStringLiteral("mystery") });
    EXPECT_EQ(learners().size(), 1u);
    EXPECT_TRUE(hub->isCollabConnected());
}

TEST_F(CloudConnectionTest, ImagesFromOneHundredThousandBytesAreUploaded)
{
    const QByteArray large(100000, 'j');
    ASSERT_TRUE(hub->sendTessalyImageCard(large, true));
    ASSERT_EQ(service.resources().size(), 1);
    EXPECT_EQ(service.resources()[0].name, QStringLiteral("temp.jpg"));
    EXPECT_EQ(service.resources()[0].data, large);
    ASSERT_TRUE(service.waitForCall(QStringLiteral("showImageCard"), 1, 5000));
    EXPECT_EQ(service.callsTo(QStringLiteral("showImageCard"))[0].body.value("imageUrl").toString(),
        service.resources()[0].url);

    // A byte shorter travels inline.
    const QByteArray small(99999, 'k');
    ASSERT_TRUE(hub->sendTessalyImageCard(small, false));
    ASSERT_TRUE(service.waitForCall(QStringLiteral("showImageCard"), 2, 5000));
    EXPECT_EQ(service.resources().size(), 1);
    const QVariantMap inline_ = service.callsTo(QStringLiteral("showImageCard"))[1].body;
    EXPECT_FALSE(inline_.contains(QStringLiteral("imageUrl")));

    // An upload the service refuses falls back to inline bytes.
    service.refuseCalls(QStringLiteral("/api/resources"), QStringLiteral("full"));
    ASSERT_TRUE(hub->sendTessalyImageCard(large, true));
    ASSERT_TRUE(service.waitForCall(QStringLiteral("showImageCard"), 3, 5000));
    EXPECT_EQ(service.resources().size(), 1);
    EXPECT_FALSE(service.callsTo(QStringLiteral("showImageCard"))[2].body.contains(
        QStringLiteral("imageUrl")));

    // Without a class nothing is sent.
    hub->stopTessalySession();
    EXPECT_FALSE(hub->sendTessalyImageCard(small, true));
}
