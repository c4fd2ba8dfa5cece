// Command-and-reply exchanges against the emulator: replies found among unrelated traffic, late
// and malformed replies, one exchange at a time across hubs, multi-packet lists, touch status.

#include "support/emulatorfixture.h"

#include <QtCore/QMutex>
#include <QtTest/QSignalSpy>

#include <thread>

using namespace Taviosystem;
using namespace TavioTest;
using TavioEmulator::Bytes;
using TavioEmulator::ScriptedFirmware;

namespace {

const Bytes cmdAsk = hex("3A544B0D"); // ":TK\r"

class CommandEngineTest : public EmulatorTest
{
protected:
    void SetUp() override
    {
        EmulatorTest::SetUp();
        emulated = plugHub(1);
        firmware = std::make_shared<ScriptedFirmware>();
        emulated->setFirmware(firmware);
        initialiseSystem();
        testHub = hub(1);
        ASSERT_NE(testHub, nullptr);
        emulated->clearWrites();
    }

    TavioEmulator::EmulatedHub* emulated = nullptr;
    std::shared_ptr<ScriptedFirmware> firmware;
    TestHub* testHub = nullptr;
};

TEST_F(CommandEngineTest, TheReplyIsFoundAmongUnrelatedTraffic)
{
    QSignalSpy pens(testHub, &Hub::penEventReceived);
    QSignalSpy touches(testHub, &Hub::touchEventReceived);
    firmware->on(cmdAsk,
        { hex("0821001027204E09"), // a pen
            hex("0945810100020003000000"), // a touch report
            hex("047E"), // the reply's kind, but too short
            hex("047F0102"), // another kind
            hex("047EAABB") });
    TestReply reply;
    ASSERT_TRUE(testHub->exchange(toQByteArray(cmdAsk), reply, 1000));
    EXPECT_TRUE(reply.isValid());
    EXPECT_EQ(reply.payload, QByteArray::fromHex("AABB"));
    EXPECT_EQ(pens.count(), 1);
    EXPECT_EQ(touches.count(), 1);
    ASSERT_EQ(emulated->writes().size(), 1u);
    EXPECT_EQ(toQByteArray(emulated->writes()[0].bytes), QByteArray(":TK\r"));
}

TEST_F(CommandEngineTest, ALateReplyIsDiscardedByTheNextExchange)
{
    testHub->setResponseTimeout(20);
    firmware->onNext(cmdAsk, { hex("047E0001") }, 1, 150ms);
    TestReply reply;
    EXPECT_FALSE(testHub->exchange(toQByteArray(cmdAsk), reply, 20));
    EXPECT_EQ(testHub->getLastError(), Hub::Error_CommsFailure);
    ASSERT_TRUE(emulated->waitUntilDelivered(2000ms)); // the late reply has now arrived

    firmware->on(cmdAsk, { hex("047E0002") });
    ASSERT_TRUE(testHub->exchange(toQByteArray(cmdAsk), reply, 1000));
    EXPECT_EQ(reply.payload, QByteArray::fromHex("0002"));
}

TEST_F(CommandEngineTest, AWrongLengthReplyIsIgnoredAndTheExchangeFails)
{
    firmware->on(cmdAsk, { hex("047E000102"), hex("057E0001") });
    TestReply reply;
    EXPECT_FALSE(testHub->exchange(toQByteArray(cmdAsk), reply, 50));
    EXPECT_EQ(testHub->getLastError(), Hub::Error_CommsFailure);
    EXPECT_FALSE(reply.isValid());
}

TEST_F(CommandEngineTest, ARefusedWriteFailsWithoutWaiting)
{
    emulated->refuseNextWrites(1);
    firmware->on(cmdAsk, { hex("047E0001") });
    TestReply reply;
    EXPECT_FALSE(testHub->exchange(toQByteArray(cmdAsk), reply, 5000));
    EXPECT_EQ(testHub->getLastError(), Hub::Error_CommsFailure);
    EXPECT_EQ(system->getLastError(), TavioSystem::Error_BadPacketWrite);
}

TEST_F(CommandEngineTest, AReplyClassWithoutAHandlerFailsQuietly)
{
    EXPECT_FALSE(testHub->exchangeUnregistered(toQByteArray(cmdAsk), 50));
    EXPECT_EQ(testHub->getLastError(), Hub::Error_Failed); // nothing recorded
    EXPECT_TRUE(emulated->writes().empty()); // and nothing sent
}

TEST_F(CommandEngineTest, ExchangesOfTwoHubsOnTwoThreadsRunOneAtATime)
{
    auto* emulated2 = plugHub(2);
    emulated2->setFirmware(firmware);
    ASSERT_TRUE(waitFor([&] { return hub(2) != nullptr; }));
    TestHub* hub2 = hub(2);

    // The order in which commands were written and replies reached their hubs.
    QMutex mutex;
    QStringList order;
    auto note = [&](const QString& what) {
        QMutexLocker locker(&mutex);
        order << what;
    };
    testHub->setBeforeProcess([&](const QByteArray& p) {
        if (TestReply::isResponse(p))
            note("reply1");
    });
    hub2->setBeforeProcess([&](const QByteArray& p) {
        if (TestReply::isResponse(p))
            note("reply2");
    });
    struct NotingFirmware : TavioEmulator::Firmware
    {
        std::function<void(int)> onCommand;
        void onWrite(TavioEmulator::EmulatedHub& hub, const Bytes&) override
        {
            onCommand(hub.handle());
            hub.deliver(hex("047E0000"), 80ms);
        }
    };
    auto noting = std::make_shared<NotingFirmware>();
    noting->onCommand = [&](int handle) { note(QStringLiteral("write%1").arg(handle)); };
    emulated->setFirmware(noting);
    emulated2->setFirmware(noting);

    bool ok1 = false;
    bool ok2 = false;
    std::thread first([&] {
        TestReply reply;
        ok1 = testHub->exchange(toQByteArray(cmdAsk), reply, 2000);
    });
    std::thread second([&] {
        TestReply reply;
        ok2 = hub2->exchange(toQByteArray(cmdAsk), reply, 2000);
    });
    first.join();
    second.join();
    EXPECT_TRUE(ok1);
    EXPECT_TRUE(ok2);
    ASSERT_EQ(order.size(), 4);
    // Whichever went first had its reply before the other's command was written.
    EXPECT_EQ(order[1], QStringLiteral("reply") + order[0].right(1));
    EXPECT_EQ(order[3], QStringLiteral("reply") + order[2].right(1));
}

TEST_F(CommandEngineTest, AListIsCollectedUntilItsEndMarker)
{
    const Bytes cmdList = hex("3A4C530D");
    // The hub ends a list with its terminator, which the reader sees as the end-of-list packet.
    firmware->on(cmdList,
        { hex("057D010203"), hex("0821001027204E09"), hex("057D040506"),
            toBytes(TestRecord::listTerminator()), hex("057D070809") });
    QList<QByteArray> records;
    ASSERT_TRUE(testHub->collect(toQByteArray(cmdList), records, 500));
    ASSERT_EQ(records.size(), 2);
    EXPECT_EQ(records[0], QByteArray::fromHex("057D010203"));
    EXPECT_EQ(records[1], QByteArray::fromHex("057D040506"));
    ASSERT_TRUE(emulated->waitUntilDelivered(1000ms));

    // An empty list is a successful read; the straggler of the last list is not in it.
    firmware->on(cmdList, { toBytes(TestRecord::listTerminator()) });
    ASSERT_TRUE(testHub->collect(toQByteArray(cmdList), records, 500));
    EXPECT_TRUE(records.isEmpty());

    // A record equal to the end-of-list packet ends the list too: it is compared first.
    firmware->on(cmdList, { hex("057D010203"), toBytes(TestRecord::endOfListPacket()) });
    ASSERT_TRUE(testHub->collect(toQByteArray(cmdList), records, 500));
    EXPECT_EQ(records.size(), 1);

    // A list that stops before its marker fails.
    firmware->on(cmdList, { hex("057D010203") });
    EXPECT_FALSE(testHub->collect(toQByteArray(cmdList), records, 50));
    EXPECT_EQ(testHub->getLastError(), Hub::Error_CommsFailure);
}

class TouchStatusTest : public EmulatorTest
{
protected:
    void SetUp() override
    {
        EmulatorTest::SetUp();
        emulated = plugHub(1);
        board = std::make_shared<TavioEmulator::TouchBoardFirmware>();
        board->setTouchCount(12);
        emulated->setFirmware(board);
        initialiseSystem();
        testHub = hub(1);
        ASSERT_NE(testHub, nullptr);
    }

    TavioEmulator::EmulatedHub* emulated = nullptr;
    std::shared_ptr<TavioEmulator::TouchBoardFirmware> board;
    TestHub* testHub = nullptr;
};

TEST_F(TouchStatusTest, TheBoardIsAskedOnceForItsTouchCount)
{
    QSignalSpy statusEvents(testHub, &Hub::touchStatusEventReceived);
    emulated->clearWrites();
    EXPECT_EQ(testHub->getNumTouchesSupported(), 12);
    EXPECT_EQ(testHub->getNumTouchesSupported(), 12);
    EXPECT_EQ(board->queriesAnswered(), 1);
    ASSERT_EQ(emulated->writes().size(), 1u);
    EXPECT_EQ(toQByteArray(emulated->writes()[0].bytes), QByteArray(":QT\r"));
    EXPECT_TRUE(testHub->isTouchRunning());
    board->setRunning(false);
    EXPECT_FALSE(testHub->isTouchRunning());
    // A reply to our own query is not reported as an event.
    EXPECT_EQ(statusEvents.count(), 0);
}

TEST_F(TouchStatusTest, ASilentBoardIsAskedAgainNextTime)
{
    board->setSilent(true);
    EXPECT_EQ(testHub->getNumTouchesSupported(), 0);
    EXPECT_EQ(testHub->getLastError(), Hub::Error_NotSupported);
    EXPECT_FALSE(testHub->isTouchRunning());
    board->setSilent(false);
    EXPECT_EQ(testHub->getNumTouchesSupported(), 12);
}

TEST_F(TouchStatusTest, ATouchReportDuringTheQueryGoesToTheTouchPath)
{
    QSignalSpy touches(testHub, &Hub::touchEventReceived);
    board->setReplyDelay(60ms);
    emulated->deliver(hex("0945810100020003000000"), 20ms);
    EXPECT_TRUE(testHub->isTouchRunning());
    EXPECT_EQ(touches.count(), 1);
}

TEST_F(TouchStatusTest, NotConnectedHubsDoNotAsk)
{
    testHub->setConnected(false);
    EXPECT_EQ(testHub->getNumTouchesSupported(), 0);
    EXPECT_EQ(testHub->getLastError(), Hub::Error_NotConnected);
    testHub->setConnected(true);
}

TEST_F(TouchStatusTest, UnaskedStatusPacketsAreReported)
{
    QSignalSpy statusEvents(testHub, &Hub::touchStatusEventReceived);
    emulated->deliver(hex("08A5000000000510"));
    emulated->deliver(hex("08A5000000000310")); // status 3: not reported
    emulated->deliver(hex("08A5000000000010"));
    ASSERT_TRUE(emulated->waitUntilDelivered(1000ms));
    ASSERT_EQ(statusEvents.count(), 2);
    EXPECT_TRUE(statusEvents.at(0).at(1).toBool());
    EXPECT_FALSE(statusEvents.at(1).at(1).toBool());

    std::vector<bool> states;
    auto callback = [](Hub*, bool running, void* context) {
        static_cast<std::vector<bool>*>(context)->push_back(running);
    };
    ASSERT_TRUE(testHub->setTouchStatusEventCallback(callback, &states));
    emulated->deliver(hex("08A5000000000510"));
    ASSERT_TRUE(emulated->waitUntilDelivered(1000ms));
    EXPECT_EQ(states, std::vector<bool> { true });
    EXPECT_EQ(statusEvents.count(), 2);
}

} // namespace
