// The reference classroom server on its own: the shape of its replies, the cookie, its counters
// and PIN pool, its learners seen through the beacon, its faults and uploads.

#include "httpclient.h"

#include <classroomserver.h>

#include <QtCore/QBuffer>
#include <QtCore/QEventLoop>
#include <QtCore/QThread>
#include <QtCore/QTimer>
#include <QtNetwork/QHttpMultiPart>
#include <QtNetwork/QNetworkAccessManager>
#include <QtNetwork/QNetworkReply>

#include <gtest/gtest.h>

using namespace ClassroomServer;
using namespace ClassroomServerTest;

namespace {

const qint64 Serial = 77;

QVariantMap withId(QVariantMap parameters)
{
    parameters.insert(QStringLiteral("id"), Serial);
    return parameters;
}

class ClassroomServerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.start());
        ASSERT_TRUE(client.connectTo(server.port()));
    }

    QVariantMap rpc(const char* name, const QVariantMap& parameters = QVariantMap())
    {
        const HttpResult reply = client.post(call(hubMethod(name), withId(parameters)));
        EXPECT_TRUE(reply.complete) << name;
        return reply.json();
    }

    QVariantList poll()
    {
        const HttpResult reply = client.post(call(QLatin1String(BeaconMethod),
            withId({ { QStringLiteral("hash"), QStringLiteral("Rondel.Hub.%1").arg(Serial) } })));
        EXPECT_TRUE(reply.complete);
        return reply.json().value(QStringLiteral("result")).toList();
    }

    // Polls until count entries came (or five seconds passed).
    QVariantList events(int count)
    {
        QVariantList all;
        QElapsedTimer timer;
        timer.start();
        while (all.size() < count && timer.elapsed() < 5000) {
            all += poll();
            QThread::msleep(10);
        }
        return all;
    }

    static QVariantMap entry(const QString& hash, const QString& signal, const QVariant& value)
    {
        return { { QStringLiteral("SourceHash"), hash }, { QStringLiteral("Signal"), signal },
            { QStringLiteral("Value"), value } };
    }

    Server server;
    HttpClient client;
};

TEST_F(ClassroomServerTest, RawPostGetsTheResultMemberAndTheCookieComesBack)
{
    server.setServerId(QStringLiteral("room-12"));
    const HttpResult first = client.post(call(hubMethod("getServerID"), { { "id", 0 } }));
    ASSERT_TRUE(first.complete);
    EXPECT_EQ(first.status, 200);
    EXPECT_EQ(first.json(), QVariantMap({ { "result", "room-12" } }));
    const QByteArray cookie = server.cookieName() + '=' + server.cookieValue();
    EXPECT_TRUE(first.headers.value("set-cookie").startsWith(cookie));

    client.post(call(hubMethod("getServerID"), { { "id", 0 } }), cookie);
    const QList<RecordedRequest> requests = server.requests();
    ASSERT_EQ(requests.size(), 2);
    EXPECT_EQ(requests[0].path, QStringLiteral("/rpc/1.0/json"));
    EXPECT_EQ(requests[0].httpMethod, QByteArray("POST"));
    EXPECT_EQ(requests[0].method, hubMethod("getServerID"));
    EXPECT_EQ(requests[0].parameters, QVariantMap({ { "id", 0 } }));
    EXPECT_FALSE(requests[0].hasSessionCookie);
    EXPECT_TRUE(requests[1].hasSessionCookie);
    EXPECT_EQ(requests[1].cookie, cookie);
    EXPECT_EQ(requests[0].connection, requests[1].connection);

    server.setRequireCookie(true);
    EXPECT_TRUE(
        client.post(call(hubMethod("getServerID"), { { "id", 0 } })).json().contains("error"));
    EXPECT_TRUE(client.post(call(hubMethod("getServerID"), { { "id", 0 } }), cookie)
                    .json()
                    .contains("result"));
}

TEST_F(ClassroomServerTest, SerialsCountUpAndPinsComeFromThePool)
{
    server.setNextSerial(500);
    EXPECT_EQ(rpc("generateSerialNumber").value("result").toInt(), 500);
    EXPECT_EQ(rpc("generateSerialNumber").value("result").toInt(), 501);

    server.setPinPool({ QStringLiteral("AB1"), QStringLiteral("CD2") });
    EXPECT_EQ(rpc("checkOutPin").value("result").toString(), QStringLiteral("AB1"));
    EXPECT_EQ(rpc("checkOutPin").value("result").toString(), QStringLiteral("CD2"));
    const QVariantMap none = rpc("checkOutPin");
    EXPECT_TRUE(none.value("error").isValid());
    EXPECT_FALSE(none.contains("result"));
    rpc("releasePin", { { "Pin", "AB1" } });
    EXPECT_EQ(server.checkedOutPins(), QStringList({ QStringLiteral("CD2") }));
    EXPECT_EQ(rpc("checkOutPin").value("result").toString(), QStringLiteral("AB1"));
}

TEST_F(ClassroomServerTest, LearnersJoinARegistrationWithACheckedOutPinAndEachEventIsHandedOutOnce)
{
    QList<Learner> learners = Server::defaultClass(3);
    learners[2].joins = false;
    server.setLearners(learners);
    server.setPinPool({ QStringLiteral("Q42") });

    EXPECT_TRUE(
        rpc("startRegistrationSession", { { "Pin", "Q42" }, { "IncludeExistingDevices", false } })
            .value("error")
            .isValid()); // not checked out yet
    rpc("checkOutPin");
    EXPECT_EQ(
        rpc("startRegistrationSession", { { "Pin", "Q42" }, { "IncludeExistingDevices", false } })
            .value("result"),
        QVariant(true));

    const QString hubHash = QStringLiteral("Rondel.Hub.%1").arg(Serial);
    const QVariantList joined = events(2);
    EXPECT_EQ(joined,
        QVariantList({ entry(hubHash, "DeviceRegistered", 1001),
            entry(hubHash, "DeviceRegistered", 1002) }));
    QThread::msleep(150);
    EXPECT_TRUE(poll().isEmpty()); // handed out once; the third learner never joins
    EXPECT_EQ(server.hub(Serial).devices, QList<quint32>({ 1001, 1002 }));

    const QVariantList list = rpc("getDeviceList").value("result").toList();
    ASSERT_EQ(list.size(), 2);
    EXPECT_EQ(list[0].toMap().value("DeviceID").toUInt(), 1001u);
    EXPECT_EQ(list[0].toMap().value("Name").toString(), QStringLiteral("Learner 1"));
    EXPECT_TRUE(list[0].toMap().contains("Version"));

    rpc("endRegistrationSession");
    EXPECT_FALSE(server.hub(Serial).registrationOpen);
}

TEST_F(ClassroomServerTest, AQuestionIsAnsweredAfterItsDelayAndASilentLearnerStaysSilent)
{
    QList<Learner> learners = Server::defaultClass(2);
    learners[0].answersByType.insert(QStringLiteral("MultipleChoice"), QStringLiteral("B"));
    learners[1].silent = true;
    server.setLearners(learners);
    server.joinNow(Serial, 1001);
    server.joinNow(Serial, 1002);
    poll();

    rpc("startSessionAllDevices",
        { { "SessionParameters",
            QVariantMap { { "StartingQuestionNumber", 1 }, { "SectionCount", 1 },
                { "TotalQuestions", 1 }, { "NavType", "NoQuestionNavigation" } } } });
    const QVariantMap question { { "QuestionNumber", 1 }, { "QuestionType", "MultipleChoice" },
        { "PossibleResponses",
            QVariantList { QVariantMap { { "AnswerID", 1 }, { "Ordinal", "A" } },
                QVariantMap { { "AnswerID", 2 }, { "Ordinal", "B" } } } } };
    for (quint32 device : { 1001u, 1002u })
        rpc("sendQuestion", { { "DeviceID", device }, { "Question", question } });

    EXPECT_EQ(events(1),
        QVariantList({ entry(QStringLiteral("Rondel.Device.1001"), "DeviceResponse", 1) }));
    const QVariantMap response = rpc("getQuestionResponse", { { "DeviceID", 1001 } });
    EXPECT_EQ(response.value("result").toMap().value("Answer").toString(), QStringLiteral("B"));
    EXPECT_EQ(response.value("result").toMap().value("QuestionID").toInt(), 1);

    QThread::msleep(500); // the silent learner's delay and more
    EXPECT_TRUE(poll().isEmpty());
    EXPECT_TRUE(rpc("getQuestionResponse", { { "DeviceID", 1002 } }).value("error").isValid());
    EXPECT_EQ(server.hub(Serial).questions.value(1002).value("QuestionNumber").toInt(), 1);
}

TEST_F(ClassroomServerTest, ASelfPacedLearnerAsksForTheFirstQuestionAndThenTheNext)
{
    QList<Learner> learners = Server::defaultClass(1);
    learners[0].requestDelayMs = 20;
    learners[0].answersByQuestion.insert(3, QStringLiteral("True"));
    server.setLearners(learners);
    server.joinNow(Serial, 1001);
    poll();

    rpc("startSessionAllDevices",
        { { "SessionParameters",
            QVariantMap { { "StartingQuestionNumber", 3 }, { "TotalQuestions", 2 },
                { "NavType", "BetweenSectionsAndQuestions" } } } });
    const QString device = QStringLiteral("Rondel.Device.1001");
    EXPECT_EQ(events(1), QVariantList({ entry(device, "QuestionRequest", 3) }));

    rpc("sendQuestion",
        { { "DeviceID", 1001 },
            { "Question",
                QVariantMap { { "QuestionNumber", 3 }, { "AssessmentQuestionID", 3 },
                    { "QuestionType", "TrueFalse" } } } });
    EXPECT_EQ(events(2),
        QVariantList({ entry(device, "DeviceResponse", 3), entry(device, "QuestionRequest", 4) }));
    EXPECT_EQ(rpc("getQuestionResponse", { { "DeviceID", 1001 } })
                  .value("result")
                  .toMap()
                  .value("Answer")
                  .toString(),
        QStringLiteral("True"));

    // The last question answered, nothing more is asked for; after the end nothing comes.
    rpc("sendQuestion",
        { { "DeviceID", 1001 },
            { "Question",
                QVariantMap { { "QuestionNumber", 4 }, { "QuestionType", "Gridded" } } } });
    EXPECT_EQ(events(1), QVariantList({ entry(device, "DeviceResponse", 4) }));
    rpc("endSessionAllDevices");
    QThread::msleep(150);
    EXPECT_TRUE(poll().isEmpty());
}

TEST_F(ClassroomServerTest, EndUserNamingLetsALearnerTakeItsChosenName)
{
    QList<Learner> learners = Server::defaultClass(1);
    learners[0].chosenName = QStringLiteral("Alexandra");
    server.setLearners(learners);
    server.joinNow(Serial, 1001);
    poll();

    rpc("changeDeviceNameLimited",
        { { "DeviceID", 1001 }, { "Name", "Learner 1" },
            { "Options",
                QVariantMap {
                    { "MaxLength", 4 }, { "CharLimit", "Any" }, { "ForceMaxLength", false } } } });
    EXPECT_EQ(events(1),
        QVariantList(
            { entry(QStringLiteral("Rondel.Hub.%1").arg(Serial), "NameChangeSignal", 1001) }));
    EXPECT_EQ(rpc("getDeviceInfo", { { "DeviceID", 1001 } }).value("result").toMap().value("Name"),
        QVariant(QStringLiteral("Alex")));

    rpc("changeDeviceName", { { "DeviceID", 1001 }, { "Name", "Sam" } });
    EXPECT_EQ(server.deviceName(1001), QStringLiteral("Sam"));
}

TEST_F(ClassroomServerTest, FaultsReplaceTheReplyAndWearOff)
{
    const QString method = hubMethod("getServerID");
    server.setFault(method, Fault::errorReply(QVariantMap { { "type", "server" } }, 1));
    EXPECT_EQ(client.post(call(method, { { "id", 0 } })).json(),
        QVariantMap({ { "error", QVariantMap { { "type", "server" } } } }));
    EXPECT_TRUE(client.post(call(method, { { "id", 0 } })).json().contains("result")); // worn off

    server.setFault(QLatin1String(AnyMethod), Fault::http500(2));
    EXPECT_EQ(client.post(call(method, { { "id", 0 } })).status, 500);
    EXPECT_EQ(client.post(call(hubMethod("getDeviceList"), { { "id", 0 } })).status, 500);

    server.setFault(method, Fault::replaceResult(QVariantList { 1, 2 }, 1));
    EXPECT_EQ(client.post(call(method, { { "id", 0 } })).json().value("result"),
        QVariant(QVariantList { 1, 2 }));

    server.setFault(method, Fault::nonObjectBody(1));
    EXPECT_FALSE(
        QJsonDocument::fromJson(client.post(call(method, { { "id", 0 } })).body).isObject());

    server.setFault(method, Fault::oversizeBody(1));
    EXPECT_GT(client.post(call(method, { { "id", 0 } })).body.size(), 4 * 1024 * 1024);

    // A faulted beacon poll hands out nothing; the events wait for the next poll.
    server.queueBadBeaconEntry(Serial, BadBeaconEntry::SixtyFourBitId, 1001);
    server.setFault(QLatin1String(BeaconMethod), Fault::badJson(1));
    const HttpResult bad = client.post(call(QLatin1String(BeaconMethod),
        withId({ { "hash", QStringLiteral("Rondel.Hub.%1").arg(Serial) } })));
    EXPECT_TRUE(QJsonDocument::fromJson(bad.body).isNull());
    EXPECT_EQ(poll(),
        QVariantList({ entry(QStringLiteral("Rondel.Hub.%1").arg(Serial), "DeviceRegistered",
            qint64(4294967296LL) + 1001) }));

    server.setFault(method, Fault::closeConnection(1));
    EXPECT_FALSE(client.post(call(method, { { "id", 0 } }), QByteArray(), "application/json", 1000)
                     .complete);
    EXPECT_TRUE(client.waitForClose(1000));
    EXPECT_EQ(server.requestCount(method), 7);
    EXPECT_EQ(server.requestCount(), 10);
}

TEST_F(ClassroomServerTest, StoppingDropsKeepAliveConnectionsAndARestartKeepsPortAndState)
{
    server.setPinPool({ QStringLiteral("Z99") });
    EXPECT_EQ(rpc("checkOutPin").value("result").toString(), QStringLiteral("Z99"));
    const quint16 port = server.port();

    server.stop();
    EXPECT_FALSE(server.isListening());
    EXPECT_TRUE(client.waitForClose(1000));
    HttpClient refused;
    EXPECT_FALSE(refused.connectTo(port, 1000));

    ASSERT_TRUE(server.restart());
    EXPECT_EQ(server.port(), port);
    ASSERT_TRUE(client.connectTo(port));
    EXPECT_TRUE(rpc("checkOutPin").value("error").isValid()); // the PIN is still out
    EXPECT_EQ(server.connectionsAccepted(), 2);
}

// Waits for a Qt network reply and deletes it.
void finish(QNetworkReply* reply)
{
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(5000, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec();
    EXPECT_TRUE(reply->isFinished());
    delete reply;
}

TEST_F(ClassroomServerTest, QtsCookieJarSendsTheCookieBackAndAnUploadIsTakenApartIntoItsParts)
{
    const QUrl url(server.url() + QStringLiteral("/rpc/1.0/json"));
    QNetworkAccessManager manager;
    QNetworkRequest plain(url);
    plain.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
    finish(manager.post(plain, call(hubMethod("getServerID"), withId({}))));

    auto* multiPart = new QHttpMultiPart(QHttpMultiPart::MixedType);
    QHttpPart rpcData;
    rpcData.setHeader(QNetworkRequest::ContentDispositionHeader, "form-data; name=\"rpc_data\"");
    rpcData.setBody(call(hubMethod("sendQuestion"), withId({ { "DeviceID", 1001 } })));
    QHttpPart file;
    file.setHeader(QNetworkRequest::ContentDispositionHeader,
        "form-data; name=\"File\" filename=\"picture.png\"");
    file.setHeader(QNetworkRequest::ContentTypeHeader, "application/octet-stream");
    file.setBody(QByteArray("\x89PNG\r\n--not a boundary\r\n\x00\x01", 24));
    multiPart->append(rpcData);
    multiPart->append(file);
    QNetworkReply* reply = manager.post(QNetworkRequest(url), multiPart);
    multiPart->setParent(reply);
    finish(reply);

    const QList<RecordedRequest> uploads = server.requests(hubMethod("sendQuestion"));
    ASSERT_EQ(uploads.size(), 1);
    EXPECT_TRUE(uploads[0].upload);
    EXPECT_TRUE(uploads[0].contentType.startsWith("multipart/mixed"));
    EXPECT_TRUE(uploads[0].hasSessionCookie);
    EXPECT_FALSE(server.requests(hubMethod("getServerID")).value(0).hasSessionCookie);
    EXPECT_EQ(uploads[0].partNames, QList<QByteArray>({ "rpc_data", "File" }));
    EXPECT_EQ(uploads[0].parameters.value("DeviceID").toInt(), 1001);
    EXPECT_EQ(uploads[0].fileName, QByteArray("picture.png"));
    EXPECT_EQ(uploads[0].fileContentType, QByteArray("application/octet-stream"));
    EXPECT_EQ(uploads[0].fileContents, QByteArray("\x89PNG\r\n--not a boundary\r\n\x00\x01", 24));
}

} // namespace
