// The loopback proxy in front of the reference classroom server: calls pass through; outages,
// refusals, cuts and dripped replies happen when asked.

#include "httpclient.h"

#include <classroomserver.h>
#include <loopbackproxy.h>

#include <QtCore/QThread>

#include <gtest/gtest.h>

using namespace ClassroomServer;
using namespace ClassroomServerTest;

namespace {

const QByteArray ServerIdCall = call(hubMethod("getServerID"), { { "id", 0 } });

class LoopbackProxyTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        server.setServerId(QStringLiteral("behind-proxy"));
        ASSERT_TRUE(server.start());
        ASSERT_TRUE(proxy.start(server.port()));
    }

    bool answered(HttpClient& client)
    {
        const HttpResult reply = client.post(ServerIdCall);
        return reply.complete
            && reply.json().value("result").toString() == QStringLiteral("behind-proxy");
    }

    Server server;
    LoopbackProxy proxy;
};

TEST_F(LoopbackProxyTest, AnOutageDropsKeepAliveConnectionsRefusesNewOnesAndEnds)
{
    HttpClient client;
    ASSERT_TRUE(client.connectTo(proxy.port()));
    EXPECT_TRUE(answered(client));
    EXPECT_TRUE(answered(client)); // the same connection, kept alive
    EXPECT_EQ(proxy.connectionsAccepted(), 1);

    proxy.startOutage(400);
    EXPECT_TRUE(proxy.inOutage());
    EXPECT_TRUE(client.waitForClose(1000));
    HttpClient refused;
    EXPECT_FALSE(refused.connectTo(proxy.port(), 1000));

    QElapsedTimer timer;
    timer.start();
    while (proxy.inOutage() && timer.elapsed() < 5000)
        QThread::msleep(10);
    EXPECT_FALSE(proxy.inOutage());
    HttpClient back;
    ASSERT_TRUE(back.connectTo(proxy.port()));
    EXPECT_TRUE(answered(back));
    EXPECT_EQ(server.requestCount(), 3);
}

TEST_F(LoopbackProxyTest, RefusingKeepsOpenConnectionsAndAnOutageWithoutEndLastsUntilEnded)
{
    HttpClient open;
    ASSERT_TRUE(open.connectTo(proxy.port()));
    proxy.setRefusing(true);
    HttpClient refused;
    EXPECT_FALSE(refused.connectTo(proxy.port(), 1000));
    EXPECT_TRUE(answered(open));
    proxy.setRefusing(false);

    proxy.startOutage(0);
    QThread::msleep(100);
    EXPECT_TRUE(proxy.inOutage());
    proxy.endOutage();
    HttpClient back;
    ASSERT_TRUE(back.connectTo(proxy.port()));
    EXPECT_TRUE(answered(back));
}

TEST_F(LoopbackProxyTest, DripsRepliesAByteAtATime)
{
    proxy.setDripInterval(2);
    HttpClient client;
    ASSERT_TRUE(client.connectTo(proxy.port()));
    const HttpResult reply = client.post(ServerIdCall, QByteArray(), "application/json", 10000);
    ASSERT_TRUE(reply.complete);
    EXPECT_EQ(reply.json().value("result").toString(), QStringLiteral("behind-proxy"));
    EXPECT_GT(reply.reads, 20); // far more pieces than a whole reply would come in
}

TEST_F(LoopbackProxyTest, CutsAfterTheRequestOrMidReply)
{
    proxy.setCut(LoopbackProxy::Cut::AfterRequest);
    HttpClient client;
    ASSERT_TRUE(client.connectTo(proxy.port()));
    EXPECT_FALSE(client.post(ServerIdCall, QByteArray(), "application/json", 1000).complete);
    EXPECT_TRUE(client.waitForClose(1000));
    EXPECT_EQ(server.requestCount(), 1); // it reached the server

    proxy.setCut(LoopbackProxy::Cut::MidReply, 10);
    HttpClient half;
    ASSERT_TRUE(half.connectTo(proxy.port()));
    const HttpResult reply = half.post(ServerIdCall, QByteArray(), "application/json", 1000);
    EXPECT_FALSE(reply.complete);
    EXPECT_TRUE(half.waitForClose(1000));

    proxy.setCut(LoopbackProxy::Cut::OnAccept);
    HttpClient none;
    none.connectTo(proxy.port());
    EXPECT_TRUE(none.waitForClose(1000));

    proxy.setCut(LoopbackProxy::Cut::None);
    HttpClient whole;
    ASSERT_TRUE(whole.connectTo(proxy.port()));
    EXPECT_TRUE(answered(whole));
}

} // namespace
