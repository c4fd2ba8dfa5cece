// The discovery client against the reference discovery server on loopback: what goes on the
// wire, how the server is found, how replies are read, and how the client reconnects.

#include "support/emulatorfixture.h"

#include "virtual/orvikserver_helper.h"

#include <discoveryserver.h>

#include <QtCore/QElapsedTimer>
#include <QtCore/QRegularExpression>
#include <QtCore/QFile>
#include <QtCore/QSettings>
#include <QtCore/QTemporaryDir>
#include <QtCore/QThread>
#include <QtNetwork/QTcpServer>
#include <QtNetwork/QUdpSocket>

#include <gtest/gtest.h>

#include <memory>

using namespace Taviosystem;
using namespace TavioTest;

namespace {

const QHostAddress Loopback(QHostAddress::LocalHost);
const int AnnouncementInterval = 10; // milliseconds

// Waits short enough for tests: a tenth of a second where the product waits seconds.
OrvikTimings quickTimings(int retryInterval)
{
    OrvikTimings timings;
    timings.discoveryWait = 150;
    timings.connectWait = 500;
    timings.replyWait = 150;
    timings.writeWait = 500;
    timings.retryInterval = retryInterval;
    return timings;
}

QByteArray framed(const QByteArray& payload, quint32 length)
{
    QByteArray bytes;
    for (int i = 0; i < 4; ++i)
        bytes += char((length >> (8 * i)) & 0xFF);
    return bytes + payload;
}

QByteArray framed(const QByteArray& payload) { return framed(payload, quint32(payload.size())); }

// A port nothing listens on (it was free a moment ago).
quint16 closedTcpPort()
{
    QTcpServer probe;
    probe.listen(Loopback, 0);
    return probe.serverPort();
}

class DiscoveryClientTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        QSettings::setPath(
            QSettings::IniFormat, QSettings::SystemScope, dir.filePath(QStringLiteral("system")));
        QSettings::setPath(
            QSettings::IniFormat, QSettings::UserScope, dir.filePath(QStringLiteral("user")));
        qputenv("TAVIOLOG_DIR", dir.filePath(QStringLiteral("log")).toLocal8Bit());
        ASSERT_TRUE(server.start());
        udpPort = freeUdpPort();
        ASSERT_NE(udpPort, 0);
    }

    void writeSettings(const QString& address, int tcpPort)
    {
        writeDiscoverySettings(address, tcpPort, udpPort);
    }

    std::unique_ptr<orvikserver_helper> makeClient(int retryInterval = 60000)
    {
        return std::make_unique<orvikserver_helper>(
            quickTimings(retryInterval), QStringLiteral(TAVIOLOG_PATH));
    }

    // The server is found by its announcement only: the settings name a port nobody uses.
    void announceOnly()
    {
        writeSettings(QStringLiteral("127.0.0.1"), closedTcpPort());
        ASSERT_TRUE(server.announceTo(Loopback, udpPort, AnnouncementInterval));
    }

    QString logText() const
    {
        QFile file(dir.filePath(QStringLiteral("log/taviosystem.log")));
        if (!file.open(QIODevice::ReadOnly))
            return QString();
        return QString::fromLatin1(file.readAll());
    }

    QTemporaryDir dir;
    DiscoveryServer::Server server;
    quint16 udpPort = 0;
};

TEST_F(DiscoveryClientTest, RequestsGoOutAsRPWithUtf8DetailsAndCSEachEndedByCR)
{
    announceOnly();
    auto client = makeClient();
    QString pin;
    ASSERT_TRUE(client->requestPin(QStringLiteral("Salle \u00e9@10.0.0.1:a:b:c"), pin));
    client->closeSession();
    ASSERT_TRUE(server.waitForRequests(2, 2000));

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 2);
    EXPECT_EQ(requests[0].bytes, QByteArray(":RPSalle \xc3\xa9@10.0.0.1:a:b:c"));
    EXPECT_EQ(requests[1].bytes, QByteArray(":CS"));
    EXPECT_EQ(requests[0].connection, requests[1].connection);
    EXPECT_EQ(pin.size(), 3);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^[A-Z0-9]{3}$")).match(pin).hasMatch());
    EXPECT_TRUE(waitFor([&] { return server.heldPins().isEmpty(); }));
}

TEST_F(DiscoveryClientTest, TheAnnouncedPortBeatsTheSettings)
{
    announceOnly();
    auto client = makeClient();
    ASSERT_TRUE(client->connectToServer(QString(), 0));
    EXPECT_EQ(client->connectionText(), QStringLiteral("127.0.0.1:%1").arg(server.port()));
    EXPECT_TRUE(logText().contains(QStringLiteral("Orvik: connected 127.0.0.1")));
    EXPECT_TRUE(waitFor([&] { return server.connectionsAccepted() == 1; }));
    EXPECT_TRUE(client->connectToServer(QString(), 0));
    EXPECT_TRUE(logText().contains(QStringLiteral("Orvik: Already connected.")));
}

TEST_F(DiscoveryClientTest, WithoutAnAnnouncementTheSettingsAddressIsUsed)
{
    writeSettings(QStringLiteral("127.0.0.1"), server.port());
    auto client = makeClient();
    ASSERT_TRUE(client->connectToServer(QString(), 0));
    EXPECT_EQ(client->connectionText(), QStringLiteral("127.0.0.1:%1").arg(server.port()));
    const QString log = logText();
    EXPECT_TRUE(log.contains(QStringLiteral("Orvik: broadcaster did not receive anything")));
    EXPECT_TRUE(log.contains(QStringLiteral("Orvik: [127.0.0.1] addresses follow:")));
}

TEST_F(DiscoveryClientTest, BadAnnouncementsFallBackToTheSettingsAddress)
{
    writeSettings(QStringLiteral("127.0.0.1"), server.port());
    const QByteArray announcements[] = {
        "Orvik addr<> port<9000>",
        "Orvik addr<127.0.0.1> port<>",
        "Orvik addr<127.0.0.1> port<0>",
        "Orvik addr<127.0.0.1> port<70000>",
        QByteArray(2000, 'O'),
    };
    for (const QByteArray& announcement : announcements) {
        server.setAnnouncementText(announcement);
        ASSERT_TRUE(server.announceTo(Loopback, udpPort, AnnouncementInterval));
        auto client = makeClient();
        EXPECT_TRUE(client->connectToServer(QString(), 0)) << announcement.left(40).constData();
        EXPECT_EQ(client->connectionText(), QStringLiteral("127.0.0.1:%1").arg(server.port()));
    }
    EXPECT_EQ(logText().count(QStringLiteral("Orvik: Orvik Data found, but incorrect:")), 5);
}

// When the announcement port cannot be listened on, or the settings name no port, the client
// says so in the log and goes to the address in the settings.
TEST_F(DiscoveryClientTest, AnAnnouncementPortThatCannotBeBoundFallsBackToTheSettingsAddress)
{
    QUdpSocket occupant;
    ASSERT_TRUE(occupant.bind(
        QHostAddress(QHostAddress::AnyIPv4), udpPort, QAbstractSocket::DontShareAddress));
    writeSettings(QStringLiteral("127.0.0.1"), server.port());
    auto client = makeClient();
    ASSERT_TRUE(client->connectToServer(QString(), 0));
    EXPECT_EQ(client->connectionText(), QStringLiteral("127.0.0.1:%1").arg(server.port()));

    writeDiscoverySettings(QStringLiteral("127.0.0.1"), server.port(), 70000);
    auto other = makeClient();
    ASSERT_TRUE(other->connectToServer(QString(), 0));
    EXPECT_EQ(logText().count(QStringLiteral("Orvik: ERROR: could not bind boadcast socket")), 2);
}

TEST_F(DiscoveryClientTest, ARetryInsideTheIntervalFailsAtOnce)
{
    writeSettings(QStringLiteral("127.0.0.1"), closedTcpPort());
    auto client = makeClient(60000);
    QString pin;
    EXPECT_FALSE(client->requestPin(QStringLiteral("hub"), pin));
    EXPECT_TRUE(logText().contains(QStringLiteral("Orvik: not found")));

    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(client->connectToServer(QString(), 0));
    EXPECT_FALSE(client->requestPin(QStringLiteral("hub"), pin));
    EXPECT_LT(clock.elapsed(), 100);
    EXPECT_EQ(logText().count(QStringLiteral("Orvik: too early.")), 2);
    EXPECT_TRUE(pin.isEmpty());
}

TEST_F(DiscoveryClientTest, ADroppedConnectionMakesTheNextRequestReconnectOnceTheIntervalIsOver)
{
    announceOnly();
    auto client = makeClient(400);
    QString pin;
    ASSERT_TRUE(client->requestPin(QStringLiteral("hub"), pin));
    QElapsedTimer sinceConnect;
    sinceConnect.start();
    server.dropConnections();
    ASSERT_TRUE(waitFor([&] { return server.openConnections() == 0; }));

    // The successful attempt started the clock too.
    QString again;
    EXPECT_FALSE(client->requestPin(QStringLiteral("hub"), again));
    EXPECT_TRUE(logText().contains(QStringLiteral("Orvik: too early.")));
    ASSERT_LT(sinceConnect.elapsed(), 400);

    QThread::msleep(420);
    ASSERT_TRUE(client->requestPin(QStringLiteral("hub"), again));
    EXPECT_EQ(again, pin); // the hub still holds it
    EXPECT_EQ(server.connectionsAccepted(), 2);
}

TEST_F(DiscoveryClientTest, AServerStoppedAndRestartedIsReachedAgain)
{
    announceOnly();
    auto client = makeClient(50);
    QString pin;
    ASSERT_TRUE(client->requestPin(QStringLiteral("hub"), pin));
    ASSERT_TRUE(server.restart());
    QThread::msleep(60);
    QString again;
    ASSERT_TRUE(client->requestPin(QStringLiteral("hub"), again));
    EXPECT_EQ(again, pin);
    EXPECT_EQ(server.connectionsAccepted(), 2);
}

TEST_F(DiscoveryClientTest, RepliesGiveAPinOnlyWhenTheyHoldExactlyThreePrintableBytes)
{
    struct Case
    {
        const char* name;
        QByteArray reply;
        const char* pin; // nullptr: none
        bool dropped;
    };
    const Case cases[] = {
        { "three bytes", framed("K9Q"), "K9Q", false },
        { "four bytes", framed("K9QZ"), nullptr, false },
        { "empty", framed(""), nullptr, false },
        { "not printable", framed("K\x01Q"), nullptr, false },
        { "trailing bytes", framed("K9Q") + "junk", "K9Q", false },
        { "declared 3, 2 sent", framed("K9", 3), nullptr, true },
        { "over the cap", framed("K9Q", 4097), nullptr, true },
        { "2^31", framed("K9Q", 0x80000000u), nullptr, true },
        { "all ones", framed("K9Q", 0xFFFFFFFFu), nullptr, true },
        { "half a length", QByteArray("\x03\x00", 2), nullptr, true },
    };
    announceOnly();
    for (const Case& c : cases) {
        server.setRawReply(c.reply);
        auto client = makeClient();
        QString pin;
        EXPECT_EQ(client->requestPin(QStringLiteral("hub"), pin), c.pin != nullptr) << c.name;
        EXPECT_EQ(pin, c.pin ? QString::fromLatin1(c.pin) : QString()) << c.name;
        EXPECT_EQ(client->isConnected(), !c.dropped) << c.name;
    }
    EXPECT_EQ(logText().count(QStringLiteral("bytes refused")), 3);
}

TEST_F(DiscoveryClientTest, ADrippedReplyWithinTheWaitGivesThePin)
{
    announceOnly();
    server.setDripInterval(25); // each gap well inside the 150 ms wait
    auto client = makeClient();
    QString pin;
    ASSERT_TRUE(client->requestPin(QStringLiteral("hub"), pin));
    EXPECT_EQ(pin, server.heldPins().value(QStringLiteral("hub")));
}

// The first reply comes while the client waits for the second: on a connection it has dropped.
TEST_F(DiscoveryClientTest, ALateReplyIsNeverTakenForTheNextPin)
{
    announceOnly();
    server.setReplyDelay(250);
    auto client = makeClient(50);
    QString pin;
    EXPECT_FALSE(client->requestPin(QStringLiteral("first"), pin));
    EXPECT_TRUE(logText().contains(QStringLiteral("no data after 3 secs")));
    QThread::msleep(60);
    QString second;
    client->requestPin(QStringLiteral("second"), second);
    const QString firstPin = server.heldPins().value(QStringLiteral("first"));
    ASSERT_EQ(firstPin.size(), 3);
    EXPECT_NE(second, firstPin);

    server.setReplyDelay(0);
    QThread::msleep(400); // every late reply has gone out
    ASSERT_TRUE(client->requestPin(QStringLiteral("second"), pin));
    EXPECT_EQ(pin, server.heldPins().value(QStringLiteral("second")));
    EXPECT_NE(pin, firstPin);
}

TEST_F(DiscoveryClientTest, BytesTheServerSentUnaskedAreDiscarded)
{
    announceOnly();
    auto client = makeClient();
    ASSERT_TRUE(client->connectToServer(QString(), 0));
    ASSERT_TRUE(waitFor([&] { return server.openConnections() == 1; }));
    server.sendUnsolicited(framed("ZZZ"));
    QThread::msleep(30);
    QString pin;
    ASSERT_TRUE(client->requestPin(QStringLiteral("hub"), pin));
    EXPECT_NE(pin, QStringLiteral("ZZZ"));
    EXPECT_EQ(pin, server.heldPins().value(QStringLiteral("hub")));
}

TEST_F(DiscoveryClientTest, ASilentServerCostsOneWaitAndAConnectionClosedAtOnceNoHang)
{
    announceOnly();
    server.setSilent(true);
    auto client = makeClient(50);
    QString pin;
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(client->requestPin(QStringLiteral("hub"), pin));
    EXPECT_LT(clock.elapsed(), 1500);
    EXPECT_FALSE(client->isConnected());

    server.setSilent(false);
    server.setCloseAfterAccept(true);
    QThread::msleep(60);
    clock.restart();
    EXPECT_FALSE(client->requestPin(QStringLiteral("hub"), pin));
    EXPECT_LT(clock.elapsed(), 1500);
    EXPECT_TRUE(pin.isEmpty());
}

TEST_F(DiscoveryClientTest, PinsAreHeldPerHubAndFreedByClosingTheSession)
{
    announceOnly();
    server.setPinPool({ QStringLiteral("AAA") });
    auto client = makeClient();
    QString pin;
    ASSERT_TRUE(client->requestPin(QStringLiteral("north"), pin));
    EXPECT_EQ(pin, QStringLiteral("AAA"));
    ASSERT_TRUE(client->requestPin(QStringLiteral("north"), pin));
    EXPECT_EQ(pin, QStringLiteral("AAA"));
    EXPECT_FALSE(client->requestPin(QStringLiteral("south"), pin)); // none free: empty reply
    EXPECT_TRUE(client->isConnected());
    client->closeSession();
    ASSERT_TRUE(waitFor([&] { return server.heldPins().isEmpty(); }));
    ASSERT_TRUE(client->requestPin(QStringLiteral("south"), pin));
    EXPECT_EQ(pin, QStringLiteral("AAA"));
}

TEST_F(DiscoveryClientTest, ARequestFromAnotherThreadConnectsAgainOnThatThread)
{
    announceOnly();
    auto client = makeClient(0);
    QString pin;
    ASSERT_TRUE(client->requestPin(QStringLiteral("hub"), pin));
    QString fromThread;
    bool ok = false;
    std::unique_ptr<QThread> thread(
        QThread::create([&] { ok = client->requestPin(QStringLiteral("hub"), fromThread); }));
    thread->start();
    ASSERT_TRUE(thread->wait(5000));
    EXPECT_TRUE(ok);
    EXPECT_EQ(fromThread, pin);
    EXPECT_EQ(server.connectionsAccepted(), 2);
    client.reset(); // while the thread that made its socket still exists
}

TEST(DiscoveryServerTest, AnnouncementsGoTo127001Only)
{
    DiscoveryServer::Server server;
    ASSERT_TRUE(server.start());
    EXPECT_FALSE(server.announceTo(QHostAddress(QHostAddress::Broadcast), 9999, 10));
    EXPECT_FALSE(server.announceTo(QHostAddress(QStringLiteral("10.0.0.5")), 9999, 10));
    EXPECT_FALSE(server.announceTo(QHostAddress(QHostAddress::LocalHostIPv6), 9999, 10));
    EXPECT_EQ(server.announcementsSent(), 0);

    QUdpSocket listener;
    ASSERT_TRUE(listener.bind(Loopback, 0));
    ASSERT_TRUE(server.announceTo(Loopback, listener.localPort(), 10));
    ASSERT_TRUE(listener.waitForReadyRead(2000));
    QByteArray datagram(100, 0);
    QHostAddress from;
    datagram.truncate(int(listener.readDatagram(datagram.data(), datagram.size(), &from)));
    EXPECT_EQ(datagram,
        QByteArray("Orvik addr<127.0.0.1> port<") + QByteArray::number(server.port()) + ">");
    EXPECT_TRUE(from.isLoopback());
}

} // namespace
