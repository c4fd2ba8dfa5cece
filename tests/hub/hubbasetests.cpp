// The hub base as a host meets it: limits, callbacks, pens, touches, re-enumeration, votes and
// PIN naming, driven through the emulator.

#include "support/emulatorfixture.h"

#include <taviosystem/enhancedgenericsession.h>

#include <QtTest/QSignalSpy>
#include <QtTest/QTest>

#include <functional>

using namespace Taviosystem;
using namespace TavioTest;

namespace {

class HubBaseTest : public EmulatorTest
{
protected:
    void SetUp() override
    {
        EmulatorTest::SetUp();
        emulated = plugHub(1);
        initialiseSystem();
        testHub = hub(1);
        ASSERT_NE(testHub, nullptr);
    }

    void deliver(const char* hexText)
    {
        emulated->deliver(hex(hexText));
        ASSERT_TRUE(emulated->waitUntilDelivered(2000ms));
    }

    TavioEmulator::EmulatedHub* emulated = nullptr;
    TestHub* testHub = nullptr;
};

TEST_F(HubBaseTest, LimitValidatorsRecordTheirErrors)
{
    struct Case
    {
        bool (Hub::*validator)(int);
        int value;
        bool ok;
        Hub::Error error;
    };
    const Case cases[] = {
        { &Hub::isValidNumberOfOptions, 0, false, Hub::Error_NumOfOptionsNotWithinTheRange },
        { &Hub::isValidNumberOfOptions, 7, false, Hub::Error_NumOfOptionsNotWithinTheRange },
        { &Hub::isValidNumberOfOptions, 1, true, Hub::Error_None },
        { &Hub::isValidNumberOfOptions, 6, true, Hub::Error_None },
        { &Hub::isValidNumberOfResponses, 0, false, Hub::Error_NumOfResponsesNotWithinTheRange },
        { &Hub::isValidNumberOfResponses, 6, true, Hub::Error_None },
        { &Hub::isValidLikertScaleValue, 3, false, Hub::Error_ScaleValueNotWithinTheRange },
        { &Hub::isValidLikertScaleValue, 4, true, Hub::Error_None },
        { &Hub::isValidLikertScaleValue, 9, true, Hub::Error_None },
        { &Hub::isValidLikertScaleValue, 10, false, Hub::Error_ScaleValueNotWithinTheRange },
        { &Hub::isValidMaxResponseSize, -1, false, Hub::Error_ResponseSizeNotWithinTheRange },
        { &Hub::isValidMaxResponseSize, 0, true, Hub::Error_None },
        { &Hub::isValidMaxResponseSize, 255, true, Hub::Error_None },
        { &Hub::isValidMaxResponseSize, 256, false, Hub::Error_ResponseSizeNotWithinTheRange },
        { &Hub::isValidMaxNameLength, 15, false, Hub::Error_NameLengthNotWithinTheRange },
        { &Hub::isValidMaxNameLength, 0, false, Hub::Error_NameLengthNotWithinTheRange },
        { &Hub::isValidMaxNameLength, 14, true, Hub::Error_None },
    };
    for (const Case& c : cases) {
        TestHub hub(system.get(), 50, 1, 0, false);
        EXPECT_EQ((hub.*c.validator)(c.value), c.ok) << c.value;
        EXPECT_EQ(hub.getLastError(), c.ok ? Hub::Error_Failed : c.error) << c.value;
    }
    EXPECT_EQ(int(Hub::Error_NumOfOptionsNotWithinTheRange), 8);
    EXPECT_EQ(int(Hub::Error_ScaleValueNotWithinTheRange), 10);
    EXPECT_EQ(int(Hub::Error_ResponseSizeNotWithinTheRange), 11);
    EXPECT_EQ(int(Hub::Error_NameLengthNotWithinTheRange), 14);
}

TEST_F(HubBaseTest, OperationsAHubDoesNotOfferAreNotSupported)
{
    const QString text = QStringLiteral("q");
    const QByteArray data("x");
    const std::function<bool(Hub&)> operations[] = {
        [](Hub& h) {
            return h.startMultichoiceSession(
                1, 4, 1, DisplayOption_Digits, TimeUnit_0, 10, nullptr, nullptr);
        },
        [](Hub& h) { return h.startYesNoSession(1, false, TimeUnit_0, 10, nullptr, nullptr); },
        [](Hub& h) { return h.startTrueFalseSession(1, true, TimeUnit_1, 10, nullptr, nullptr); },
        [](Hub& h) { return h.startLikertSession(1, 5, TimeUnit_0, 10, nullptr, nullptr); },
        [&](Hub& h) {
            return h.startNumericSession(1, text, 10, TimeUnit_0, 10, nullptr, nullptr);
        },
        [&](Hub& h) {
            return h.startTextSession(1, text, 10, TimeUnit_0, 10, false, nullptr, nullptr);
        },
        [](Hub& h) {
            return h.startSortInOrderSession(
                1, 4, 4, DisplayOption_Digits, TimeUnit_0, 10, nullptr, nullptr);
        },
        [&](Hub& h) { return h.startMessageSession(1, text, TimeUnit_0, 10, nullptr, nullptr); },
        [](Hub& h) { return h.stopSession(); },
        [](Hub& h) { return h.resetHubSession(); },
        [](Hub& h) {
            return h.startExpressionEnduserNamingSession(
                1, CharacterType_1, 8, false, nullptr, nullptr);
        },
        [](Hub& h) { return h.stopExpressionEndUserNamingSession(); },
        [](Hub& h) { return h.setBacklight(10, 1); },
        [](Hub& h) { return h.startAsyncSession(nullptr, nullptr, nullptr); },
        [](Hub& h) { return h.startEnhancedGenericSession(nullptr, nullptr); },
        [&](Hub& h) { return h.asyncSendMsg(5, data); },
        [&](Hub& h) { return h.sendGenericAsyncMessage(5, data); },
        [](Hub& h) { return h.setBatteryLowCallback(nullptr, nullptr); },
    };
    int index = 0;
    for (const auto& operation : operations) {
        testHub->isValidNumberOfOptions(0); // any other error first
        EXPECT_FALSE(operation(*testHub)) << "operation " << index;
        EXPECT_EQ(testHub->getLastError(), Hub::Error_NotSupported) << "operation " << index;
        ++index;
    }
    testHub->isValidNumberOfOptions(0);
    EXPECT_EQ(testHub->getHubState(), Hub::HubState_Unknown);
    EXPECT_EQ(testHub->getLastError(), Hub::Error_NotSupported);
    testHub->isValidNumberOfOptions(0);
    testHub->setApplicationFileList({});
    EXPECT_EQ(testHub->getLastError(), Hub::Error_NotSupported);
    EXPECT_FALSE(testHub->asyncIsReadyToReceive(1));
    EXPECT_EQ(testHub->enhancedQuestionSession(), nullptr);
    EXPECT_EQ(testHub->connectionType(), Hub::ConnectionType_Usb);
}

void penCallback(Hub*, unsigned int pen, int x, int y, bool tip, bool barrel, void* context)
{
    static_cast<QList<QList<int>>*>(context)->append({ int(pen), x, y, tip, barrel });
}

TEST_F(HubBaseTest, PenPacketsBecomePenEvents)
{
    QSignalSpy pens(testHub, &Hub::penEventReceived);
    deliver("0821001027204E09"); // pen 1, tip pressed
    deliver("0821001027204E09");
    deliver("0821001027204E0B"); // barrel pressed too
    deliver("0821001027204E08"); // both released: the barrel wins
    deliver("0821001027204E09");
    deliver("0821001027204E08");
    deliver("0821001027204E20"); // pen 4: no state, no event
    ASSERT_EQ(pens.count(), 6);
    const QList<Hub::PenEvent> expected
        = { Hub::PenEvent_TipDown, Hub::PenEvent_Move, Hub::PenEvent_BarrelDown,
              Hub::PenEvent_BarrelUp, Hub::PenEvent_TipDown, Hub::PenEvent_TipUp };
    for (int i = 0; i < pens.count(); ++i)
        EXPECT_EQ(pens.at(i).at(1).value<Hub::PenEvent>(), expected[i]) << i;
    EXPECT_EQ(pens.at(0).at(2).toUInt(), 1u);
    EXPECT_EQ(pens.at(0).at(3).toInt(), 10000);
    EXPECT_EQ(pens.at(0).at(4).toInt(), 20000);
    EXPECT_TRUE(pens.at(0).at(5).toBool());
    EXPECT_FALSE(pens.at(0).at(6).toBool());

    // With a callback, the callback alone hears of pens; a null callback is refused.
    QList<QList<int>> calls;
    ASSERT_TRUE(testHub->setPenEventCallback(&penCallback, &calls));
    EXPECT_FALSE(testHub->setPenEventCallback(nullptr, nullptr));
    deliver("081100FFFF0100"
            "00"); // not a pen packet: control byte 0x11
    deliver("08210034120100"
            "11"); // pen 2 (bits 3-4 = 2), tip down
    ASSERT_EQ(calls.size(), 1);
    EXPECT_EQ(calls[0], (QList<int> { 2, 0x1234, 1, 1, 0 }));
    EXPECT_EQ(pens.count(), 6);
}

TEST_F(HubBaseTest, TouchReportsIgnoreTrailingBytes)
{
    QSignalSpy touches(testHub, &Hub::touchEventReceived);
    // Two touches and three trailing bytes.
    deliver("1345"
            "81102000050000"
            "02303000060000"
            "AABBCC");
    ASSERT_EQ(touches.count(), 1);
    const auto list = touches.at(0).at(1).value<QList<Hub::TouchInfo>>();
    ASSERT_EQ(list.size(), 2);
    EXPECT_EQ(list[0].id, 1);
    EXPECT_TRUE(list[0].touching);
    EXPECT_EQ(list[0].x, 0x2010);
    EXPECT_EQ(list[0].y, 0x0500);
    EXPECT_EQ(list[0].radius, 0);
    EXPECT_EQ(list[1].id, 2);
    EXPECT_FALSE(list[1].touching);
    EXPECT_EQ(list[1].x, 0x3030);

    deliver("0245"); // no touches at all
    ASSERT_EQ(touches.count(), 2);
    EXPECT_TRUE(touches.at(1).at(1).value<QList<Hub::TouchInfo>>().isEmpty());

    QList<Hub::TouchInfo> fromCallback;
    ASSERT_TRUE(testHub->setTouchEventCallback(
        [](Hub*, QList<Hub::TouchInfo> touches, void* context) {
            *static_cast<QList<Hub::TouchInfo>*>(context) = touches;
        },
        &fromCallback));
    EXPECT_FALSE(testHub->setTouchEventCallback(nullptr, nullptr));
    deliver("0945"
            "FF01000100FFFF");
    ASSERT_EQ(fromCallback.size(), 1);
    EXPECT_EQ(fromCallback[0].id, 127);
    EXPECT_EQ(fromCallback[0].radius, 0xFFFF);
    EXPECT_EQ(touches.count(), 2);
}

TEST_F(HubBaseTest, PenCommandsAreSentAsTheHubExpects)
{
    // Created hubs configure pens 1 to 3.
    const std::vector<QByteArray> setUp = writesOf(1);
    const std::vector<QByteArray> expected
        = { ":PN11\r", ":PK01\r", ":PN21\r", ":PK02\r", ":PN31\r", ":PK03\r" };
    EXPECT_EQ(setUp, expected);
    EXPECT_EQ(emulated->boardSettings().penDestination[3], 0);

    emulated->clearWrites();
    EXPECT_TRUE(testHub->setPenType(2, Hub::PenType_1));
    EXPECT_TRUE(testHub->setPenType(9, Hub::PenType(1234)));
    EXPECT_TRUE(testHub->setPenHardwareMode(3, Hub::PenHardwareMode_2));
    EXPECT_TRUE(testHub->setPenHardwareMode(1, Hub::PenHardwareMode(42)));
    const std::vector<QByteArray> commands = { ":PK12\r", ":PK01\r", ":PN32\r", ":PN10\r" };
    EXPECT_EQ(writesOf(1), commands);

    Hub::PenType type = Hub::PenType_1;
    testHub->getPenType(1, &type);
    EXPECT_EQ(type, Hub::PenType_0);
    type = Hub::PenType_1;
    testHub->getPenType(7, &type); // no such pen: unchanged
    EXPECT_EQ(type, Hub::PenType_1);

    emulated->setRefuseWrites(true);
    EXPECT_FALSE(testHub->setPenType(1, Hub::PenType_0));
    EXPECT_EQ(testHub->getLastError(), Hub::Error_CommsFailure);
    emulated->setRefuseWrites(false);
}

TEST_F(HubBaseTest, RadioChangesScheduleOneDeviceListReread)
{
    QSignalSpy scheduled(testHub, &Hub::reenumerateAfterTimeout);
    QSignalSpy reads(testHub, &TestHub::listsRead);
    testHub->setReenumerateDelayOverride(150);

    deliver("04560900"); // previous state 9, new state 0
    ASSERT_EQ(scheduled.count(), 1);
    EXPECT_EQ(scheduled.at(0).at(0).toInt(), 3000);
    ASSERT_TRUE(reads.wait(2000));
    EXPECT_EQ(testHub->reenumerations(), 1);

    // New state 1 cancels a pending re-read before previous state 1 schedules another.
    scheduled.clear();
    deliver("04560101");
    ASSERT_EQ(scheduled.count(), 2);
    EXPECT_EQ(scheduled.at(0).at(0).toInt(), 0);
    EXPECT_EQ(scheduled.at(1).at(0).toInt(), 3000);
    ASSERT_TRUE(reads.wait(2000));
    EXPECT_EQ(testHub->reenumerations(), 2);

    // States that schedule nothing, and a packet too short to read.
    scheduled.clear();
    deliver("04560200");
    deliver("0356");
    EXPECT_EQ(scheduled.count(), 0);
}

TEST_F(HubBaseTest, TwoReenumerationPacketsLeadToOneReread)
{
    QSignalSpy reads(testHub, &TestHub::listsRead);
    testHub->setReenumerateDelayOverride(300);
    deliver("02A0");
    QTest::qWait(100);
    deliver("02A0");
    ASSERT_TRUE(reads.wait(2000));
    QTest::qWait(400);
    EXPECT_EQ(testHub->reenumerations(), 1);

    // A new-state packet cancels the pending read.
    deliver("02A0");
    deliver("04560011");
    QTest::qWait(500);
    EXPECT_EQ(testHub->reenumerations(), 1);
}

void voteCallback(Hub*, unsigned int uid, int vote, bool batteryLow, void* context)
{
    static_cast<QList<QList<int>>*>(context)->append({ int(uid), vote, batteryLow });
}

TEST_F(HubBaseTest, VotesReachTheHostWithTheVotersUid)
{
    testHub->mapAddress(0x0102, 7001);
    testHub->mapAddress(0x00AB, 7002);
    emulated->clearWrites();
    QList<QList<int>> votes;
    ASSERT_TRUE(testHub->startVotingSession(Hub::VotingMode_B, &voteCallback, &votes));
    EXPECT_EQ(testHub->sessionType(), Hub::SessionType_Voting);
    EXPECT_EQ(writesOf(1), std::vector<QByteArray> { ":VB\r" });

    deliver("0965000000000102"
            "04"); // key 0x04: vote 3
    deliver("0965000000000102"
            "03"); // two keys: vote 0
    deliver("09650000"
            "00AB"
            "0000"
            "20"); // no address: the uid field names the voter
    deliver("0965000000009999"
            "01"); // unknown voter: dropped
    deliver("0965000000000102"); // too short: not a vote
    EXPECT_EQ(votes, (QList<QList<int>> { { 7001, 3, 0 }, { 7001, 0, 0 }, { 7002, 6, 0 } }));

    // Without a callback the hub emits voteReceived.
    QSignalSpy signalled(testHub, &Hub::voteReceived);
    ASSERT_TRUE(testHub->startVotingSession(Hub::VotingMode_M, nullptr, nullptr));
    EXPECT_EQ(writesOf(1).back(), QByteArray(":VM\r"));
    deliver("0965000000000102"
            "10");
    ASSERT_EQ(signalled.count(), 1);
    EXPECT_EQ(signalled.at(0).at(1).toUInt(), 7001u);
    EXPECT_EQ(signalled.at(0).at(2).toInt(), 5);
    EXPECT_EQ(signalled.at(0).at(3).toInt(), 0);
    EXPECT_EQ(votes.size(), 3);
}

TEST_F(HubBaseTest, AnUnmappedVoteGoesOnToTheWaitingExchange)
{
    auto firmware = std::make_shared<TavioEmulator::ScriptedFirmware>();
    emulated->setFirmware(firmware);
    ASSERT_TRUE(testHub->startVotingSession(Hub::VotingMode_B, nullptr, nullptr));
    // A reply class that happens to look like a vote of an unknown voter.
    firmware->on(hex("3A544B0D"),
        { hex("0965000000009999"
              "01"),
            hex("047E0102") });
    QSignalSpy signalled(testHub, &Hub::voteReceived);
    TestReply reply;
    ASSERT_TRUE(testHub->exchange(QByteArray(":TK\r"), reply, 1000));
    EXPECT_EQ(signalled.count(), 0);
}

TEST_F(HubBaseTest, AFailedVotingStartRecordsCommsFailure)
{
    emulated->refuseNextWrites(1);
    EXPECT_FALSE(testHub->startVotingSession(Hub::VotingMode_B, nullptr, nullptr));
    EXPECT_EQ(testHub->getLastError(), Hub::Error_CommsFailure);
    EXPECT_EQ(testHub->sessionType(), Hub::SessionType_None);
}

TEST_F(HubBaseTest, PinNamingAnswersReachTheHost)
{
    emulated->clearWrites();
    QList<QPair<unsigned int, QString>> names;
    auto callback = [](Hub*, unsigned int uid, const QString& name, void* context) {
        static_cast<QList<QPair<unsigned int, QString>>*>(context)->append(qMakePair(uid, name));
    };
    ASSERT_TRUE(testHub->startTaviotePinNamingSession(4, callback, &names));
    EXPECT_EQ(testHub->sessionType(), Hub::SessionType_PinNaming);
    EXPECT_EQ(writesOf(1), std::vector<QByteArray> { ":VZ4\r" });
    deliver("0B67"
            "00001234"
            "0000"
            "414243");
    deliver("0967000000000102"
            "04"); // not an answer
    ASSERT_EQ(names.size(), 1);
    EXPECT_EQ(names[0].first, 0x1234u);
    EXPECT_EQ(names[0].second, QStringLiteral("ABC"));

    // A null callback is allowed: the answers come as signals.
    QSignalSpy signalled(testHub, &Hub::pinNamingSessionResponse);
    ASSERT_TRUE(testHub->startTaviotePinNamingSession(12, nullptr, nullptr));
    EXPECT_EQ(writesOf(1).back(), QByteArray(":VZ12\r"));
    deliver("0B67"
            "00000001"
            "0000"
            "440000");
    ASSERT_EQ(signalled.count(), 1);
    EXPECT_EQ(signalled.at(0).at(2).toString(), QStringLiteral("D"));
    EXPECT_EQ(names.size(), 1);
}

TEST_F(HubBaseTest, ShortAndEmptyPacketsAreHarmless)
{
    QSignalSpy pens(testHub, &Hub::penEventReceived);
    QSignalSpy touches(testHub, &Hub::touchEventReceived);
    deliver("");
    deliver("08");
    deliver("A0");
    deliver("0821");
    EXPECT_EQ(pens.count(), 0);
    EXPECT_EQ(touches.count(), 0);
}

TEST(RegistrationCodeTest, CharactersFromCodesOrText)
{
    RegistrationCode defaults;
    EXPECT_EQ(defaults.char1(), 65);
    EXPECT_EQ(defaults.char3(), 65);
    RegistrationCode fromText(QStringLiteral("XYZW"));
    EXPECT_EQ(fromText.char1(), 'X');
    EXPECT_EQ(fromText.char2(), 'Y');
    EXPECT_EQ(fromText.char3(), 'Z');
    RegistrationCode copy;
    copy = fromText;
    EXPECT_EQ(copy.char2(), 'Y');
    // Missing characters of a short text are 0, not the default 'A'.
    RegistrationCode shortText(QStringLiteral("Q"));
    EXPECT_EQ(shortText.char1(), 'Q');
    EXPECT_EQ(shortText.char2(), 0);
    EXPECT_EQ(shortText.char3(), 0);
    RegistrationCode twoCharacters(QStringLiteral("AB"));
    EXPECT_EQ(twoCharacters.char2(), 'B');
    EXPECT_EQ(twoCharacters.char3(), 0);
    RegistrationCode empty { QString() };
    EXPECT_EQ(empty.char1(), 0);
}

} // namespace
