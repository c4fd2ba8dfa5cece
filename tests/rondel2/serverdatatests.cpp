// The classroom server's data layer against the reference server: what goes on the wire for
// every method, and how replies reach the slots their callers named.

#include "support/emulatorfixture.h"
#include "virtual/serverdata/adapter.h"
#include "virtual/serverdata/records.h"
#include "virtual/serverdata/rondel_hub.h"

#include <classroomserver.h>

#include <gtest/gtest.h>

#include <QtCore/QCoreApplication>
#include <QtCore/QFile>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QTemporaryDir>
#include <QtNetwork/QNetworkReply>

#include <memory>

using namespace TavioTest;
using ClassroomServer::Fault;

// Records what reaches its slots, as a caller of the data layer would.
class ReplyReceiver : public QObject
{
    Q_OBJECT
public:
    QList<QVariant> results;
    QList<QVariantMap> failures;
    QList<QVariant> contexts;

public Q_SLOTS:
    void ok(QNetworkReply* reply, QVariant result)
    {
        results.append(result);
        contexts.append(reply->property("context"));
    }
    void failed(QNetworkReply*, QVariantMap error) { failures.append(error); }
};

namespace {

class ServerDataTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.start());
        adapter.setBaseUrl(server.url());
    }

    QVariantMap parametersOf(const ClassroomServer::RecordedRequest& request)
    {
        return QJsonDocument::fromJson(request.json).object().toVariantMap();
    }

    ClassroomServer::Server server;
    Tavio::Adapter adapter;
};

struct MethodCase
{
    Tavio::Rondel_hub::Method method;
    const char* path;
    QVariantMap parameters;
};

TEST_F(ServerDataTest, EveryHubMethodPostsItsPathAndParametersWithTheRecordId)
{
    Tavio::DeviceNamingOptions options;
    options.setMaxLength(8);
    options.setCharLimit(QStringLiteral("Numeric"));
    options.setForceMaxLength(true);
    Tavio::TestSessionParameters session;
    session.setTotalQuestions(3);
    const QVariantMap device { { QStringLiteral("DeviceID"), 1001 } };
    const std::vector<MethodCase> cases = {
        { Tavio::Rondel_hub::Method_GetServerID, "entities/rondel_hub/getServerID", {} },
        { Tavio::Rondel_hub::Method_GenerateSerialNumber,
            "entities/rondel_hub/generateSerialNumber", {} },
        { Tavio::Rondel_hub::Method_SetVersionInfo, "entities/rondel_hub/setVersionInfo",
            { { "Product", "TavioSystem" }, { "Version", "21.0.0" } } },
        { Tavio::Rondel_hub::Method_SetHubName, "entities/rondel_hub/setHubName",
            { { "Name", "Room 12" } } },
        { Tavio::Rondel_hub::Method_CheckOutPin, "entities/rondel_hub/checkOutPin", {} },
        { Tavio::Rondel_hub::Method_ReleasePin, "entities/rondel_hub/releasePin",
            { { "Pin", "K7Q" } } },
        { Tavio::Rondel_hub::Method_StartRegistrationSession,
            "entities/rondel_hub/startRegistrationSession",
            { { "Pin", "K7Q" }, { "IncludeExistingDevices", false } } },
        { Tavio::Rondel_hub::Method_EndRegistrationSession,
            "entities/rondel_hub/endRegistrationSession", {} },
        { Tavio::Rondel_hub::Method_ResetHub, "entities/rondel_hub/resetHub", {} },
        { Tavio::Rondel_hub::Method_ChangeDeviceName, "entities/rondel_hub/changeDeviceName",
            { { "DeviceID", 1001 }, { "Name", "Ann" } } },
        { Tavio::Rondel_hub::Method_ChangeDeviceNameLimited,
            "entities/rondel_hub/changeDeviceNameLimited",
            { { "DeviceID", 1001 }, { "Name", "Ann" }, { "Options", options.getDelta() } } },
        { Tavio::Rondel_hub::Method_StartSessionAllDevices,
            "entities/rondel_hub/startSessionAllDevices",
            { { "SessionParameters", session.getDelta() } } },
        { Tavio::Rondel_hub::Method_StartSessionForDevice,
            "entities/rondel_hub/startSessionForDevice",
            { { "DeviceID", 1001 }, { "SessionParameters", session.getDelta() } } },
        { Tavio::Rondel_hub::Method_EndSessionAllDevices,
            "entities/rondel_hub/endSessionAllDevices", {} },
        { Tavio::Rondel_hub::Method_GetDeviceList, "entities/rondel_hub/getDeviceList", {} },
        { Tavio::Rondel_hub::Method_GetDeviceInfo, "entities/rondel_hub/getDeviceInfo", device },
        { Tavio::Rondel_hub::Method_GetQuestionResponse, "entities/rondel_hub/getQuestionResponse",
            device },
        { Tavio::Rondel_hub::Method_SendQuestion, "entities/rondel_hub/sendQuestion",
            { { "DeviceID", 1001 }, { "Question", QVariantMap { { "QuestionNumber", 1 } } } } },
        { Tavio::Rondel_hub::Method_SendMessage, "entities/rondel_hub/sendMessage",
            { { "DeviceID", 1001 }, { "Message", "Hi" }, { "CanDismiss", true } } },
        { Tavio::Rondel_hub::Method_SendMessageMeta, "entities/rondel_hub/sendMessageMeta",
            { { "DeviceID", 1001 }, { "Message", "Hi" }, { "CanDismiss", true },
                { "Meta", QStringList { "yesNo" } } } },
        { Tavio::Rondel_hub::Method_RemoveDevice, "entities/rondel_hub/removeDevice", device },
    };
    ASSERT_EQ(int(cases.size()), int(Tavio::Rondel_hub::MethodCount));
    Tavio::Rondel_hub entity(&adapter);
    entity.setRecordId(4242);
    ReplyReceiver receiver;
    for (const MethodCase& c : cases) {
        SCOPED_TRACE(c.path);
        server.clearRequests();
        ASSERT_TRUE(entity.request(c.method, c.parameters, &receiver, "ok", "failed"));
        ASSERT_TRUE(waitFor([&] { return server.requestCount() == 1; }));
        const ClassroomServer::RecordedRequest request = server.requests().constFirst();
        EXPECT_EQ(request.path, QStringLiteral("/rpc/1.0/json"));
        EXPECT_EQ(request.contentType, QByteArray("application/json"));
        // The body is the method and its parameters, nothing else; "id" is the record's.
        QVariantMap expected = c.parameters;
        expected.insert(QStringLiteral("id"), 4242);
        const QVariantMap body = parametersOf(request);
        EXPECT_EQ(body.keys(), (QStringList { "method", "parameters" }));
        EXPECT_EQ(body.value("method").toString(), QLatin1String(c.path));
        EXPECT_EQ(QJsonDocument::fromVariant(body.value("parameters")).toJson().toStdString(),
            QJsonDocument::fromVariant(expected).toJson().toStdString());
    }
}

TEST_F(ServerDataTest, BeaconPostsItsHashAndTheCookieComesBack)
{
    Tavio::Beacon beacon(&adapter);
    ReplyReceiver receiver;
    beacon.get(1234, &receiver, "ok", "failed");
    ASSERT_TRUE(waitFor([&] { return receiver.results.size() + receiver.failures.size() == 1; }));
    beacon.get(1234, &receiver, "ok", "failed");
    ASSERT_TRUE(waitFor([&] { return receiver.results.size() + receiver.failures.size() == 2; }));
    const auto requests = server.requests(QStringLiteral("entities/beacon/get"));
    ASSERT_EQ(requests.size(), 2);
    EXPECT_EQ(
        requests.at(0).parameters, (QVariantMap { { "hash", "Rondel.Hub.1234" }, { "id", 1234 } }));
    EXPECT_FALSE(requests.at(0).hasSessionCookie);
    // The cookie the first reply set goes with the next request.
    EXPECT_TRUE(requests.at(1).hasSessionCookie);
}

TEST_F(ServerDataTest, AFileParameterGoesAsAnUploadOfTwoParts)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("lesson.bin"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("\x01\x02payload");
    file.close();
    Tavio::Entity entity(&adapter);
    entity.setParameters(QVariantMap { { "File", path }, { "Note", "x" } });
    ReplyReceiver receiver;
    entity.call(QStringLiteral("entities/rondel_hub/sendMessage"), &receiver, "ok", "failed");
    EXPECT_TRUE(entity.parameters().isEmpty());
    ASSERT_TRUE(waitFor([&] { return server.requestCount() == 1; }));
    const auto request = server.requests().constFirst();
    EXPECT_TRUE(request.upload);
    EXPECT_EQ(request.partNames, (QList<QByteArray> { "rpc_data", "File" }));
    EXPECT_EQ(request.fileName, QByteArray("lesson.bin"));
    EXPECT_EQ(request.fileContentType, QByteArray("application/octet-stream"));
    EXPECT_EQ(request.fileContents, QByteArray("\x01\x02payload"));
    EXPECT_EQ(request.parameters, (QVariantMap { { "Note", "x" } }));
}

TEST_F(ServerDataTest, RepliesReachTheNamedSlotsOnce)
{
    Tavio::Rondel_hub entity(&adapter);
    ReplyReceiver receiver;
    const QString method = QStringLiteral("entities/rondel_hub/getServerID");

    server.setFault(method, Fault::replaceResult(QStringLiteral("abc"), 1));
    entity.request(Tavio::Rondel_hub::Method_GetServerID, {}, &receiver, "ok", "failed",
        QStringLiteral("ctx"));
    ASSERT_TRUE(waitFor([&] { return receiver.results.size() == 1; }));
    EXPECT_EQ(receiver.results.at(0), QVariant(QStringLiteral("abc")));
    EXPECT_EQ(receiver.contexts.at(0), QVariant(QStringLiteral("ctx")));

    // An error reply hands the failure slot the whole map.
    server.setFault(
        method, Fault::errorReply(QVariantMap { { "type", "server" }, { "code", 7 } }, 1));
    entity.request(Tavio::Rondel_hub::Method_GetServerID, {}, &receiver, "ok", "failed");
    ASSERT_TRUE(waitFor([&] { return receiver.failures.size() == 1; }));
    EXPECT_EQ(receiver.failures.at(0).value("error").toMap().value("code").toInt(), 7);

    // No JSON object, HTTP trouble and oversize bodies fail with their own types.
    const std::vector<std::pair<Fault, const char*>> faults = {
        { Fault::badJson(1), "parse" },
        { Fault::nonObjectBody(1), "parse" },
        { Fault::http500(1), "network" },
        { Fault::oversizeBody(1), "size" },
        { Fault::closeConnection(), "network" },
    };
    for (const auto& fault : faults) {
        SCOPED_TRACE(fault.second);
        const int before = int(receiver.failures.size());
        server.setFault(method, fault.first);
        entity.request(Tavio::Rondel_hub::Method_GetServerID, {}, &receiver, "ok", "failed");
        ASSERT_TRUE(waitFor([&] { return receiver.failures.size() == before + 1; }, 5000ms));
        EXPECT_EQ(receiver.failures.last().value("error").toMap().value("type").toString(),
            QLatin1String(fault.second));
        server.clearFault(method);
    }
    // A null "error" is no error.
    server.setFault(method, Fault::rawBody(R"({"error": null, "result": 5})", 1));
    entity.request(Tavio::Rondel_hub::Method_GetServerID, {}, &receiver, "ok", "failed");
    ASSERT_TRUE(waitFor([&] { return receiver.results.size() == 2; }));
    EXPECT_EQ(receiver.results.at(1).toInt(), 5);
    QCoreApplication::processEvents();
    EXPECT_EQ(receiver.results.size(), 2);
    EXPECT_EQ(adapter.pendingCount(), 0);
}

TEST_F(ServerDataTest, ADeletedReceiverHearsNothing)
{
    Tavio::Rondel_hub entity(&adapter);
    auto receiver = std::make_unique<ReplyReceiver>();
    server.setFault(QStringLiteral("entities/rondel_hub/getDeviceList"), Fault::delay(150));
    entity.request(Tavio::Rondel_hub::Method_GetDeviceList, {}, receiver.get(), "ok", "failed");
    receiver.reset();
    ASSERT_TRUE(waitFor([&] { return adapter.pendingCount() == 0; }));
}

TEST_F(ServerDataTest, AdapterSyncEndsOnSuccessFailureAndTimeOut)
{
    Tavio::Rondel_hub entity(&adapter);
    ReplyReceiver target;
    {
        Tavio::AdapterSync sync(&target, "ok", "failed");
        entity.request(Tavio::Rondel_hub::Method_GetServerID, {}, &sync, "success", "failure");
        EXPECT_TRUE(sync.exec(3000));
        EXPECT_TRUE(sync.succeeded());
        EXPECT_EQ(target.results.size(), 1);
    }
    {
        server.setFault(
            QStringLiteral("entities/rondel_hub/checkOutPin"), Fault::errorReply({}, 1));
        Tavio::AdapterSync sync(&target, "ok", "failed");
        entity.request(Tavio::Rondel_hub::Method_CheckOutPin, {}, &sync, "success", "failure");
        EXPECT_TRUE(sync.exec(3000));
        EXPECT_FALSE(sync.succeeded());
        EXPECT_EQ(target.failures.size(), 1);
    }
    {
        server.setFault(QStringLiteral("entities/rondel_hub/resetHub"), Fault::delay(400, 1));
        auto sync = std::make_unique<Tavio::AdapterSync>(&target, "ok", "failed");
        entity.request(Tavio::Rondel_hub::Method_ResetHub, {}, sync.get(), "success", "failure");
        EXPECT_FALSE(sync->exec(100));
        sync.reset();
        // The late reply reaches nobody.
        ASSERT_TRUE(waitFor([&] { return adapter.pendingCount() == 0; }));
        EXPECT_EQ(target.results.size(), 1);
    }
}

TEST(ServerRecords, DeltaHoldsOnlyWhatWasSetAndReadersRefuseMistypedMembers)
{
    Tavio::QuestionResponse response;
    EXPECT_TRUE(response.getDelta().isEmpty());
    response.setAnswer(QStringLiteral("a"));
    response.setQuestionID(3);
    EXPECT_EQ(response.getDelta(), (QVariantMap { { "Answer", "a" }, { "QuestionID", 3 } }));

    Tavio::DeviceInfo info;
    QStringList rejected;
    EXPECT_FALSE(info.readFrom(QVariantMap { { "Name", "Ann" }, { "Version", "x" },
                                   { "Online", QVariantList() }, { "Unknown", 1 } },
        &rejected));
    EXPECT_EQ(info.Name(), QStringLiteral("Ann"));
    EXPECT_EQ(rejected, (QStringList { "Version", "Online" }));
    EXPECT_TRUE(info.readFrom(QVariantMap { { "Version", 2.5 } }));
    EXPECT_DOUBLE_EQ(info.Version(), 2.5);
}

} // namespace

#include "serverdatatests.moc"
