// The legacy hub through the public API against the emulator, in both framings: connection and
// radio settings, registration of voters and slates, the voter test, voting, pens, the device
// store in the settings file, hot-plug and refused writes.

#include "support/emulatorfixture.h"
#include "support/legacystore.h"

#include <taviosystem/legacyhub.h>
#include <taviosystem/legacyhubregistrationsession.h>

#include <tavioemulator/legacyfirmware.h>

#include <QtCore/QFile>
#include <QtCore/QDir>
#include <QtCore/QSettings>
#include <QtTest/QSignalSpy>

#include <set>
#include <tuple>

using namespace Taviosystem;
using namespace TavioTest;
using TavioEmulator::LegacyFirmware;
using TavioEmulator::LegacyFraming;
using TavioEmulator::LegacyHubRecord;
using TavioEmulator::LegacyRFSettings;
using TavioEmulator::LegacySlate;
using TavioEmulator::LegacyVoter;

namespace {

const int Handle = 11;
const quint64 Serial = 0x5151;

LegacyVoter voter(quint32 id, std::vector<std::uint8_t> keys = { 0x01 })
{
    LegacyVoter v;
    v.deviceId = id;
    v.keys = std::move(keys);
    return v;
}

class LegacyHubTest : public EmulatorTest, public ::testing::WithParamInterface<LegacyFraming>
{
protected:
    void SetUp() override
    {
        EmulatorTest::SetUp();
        firmware = std::make_shared<LegacyFirmware>(GetParam());
        LegacyRFSettings rf;
        rf.voteChannel = 2;
        rf.rfBand = 1;
        rf.slateChannel = 1;
        rf.boardId = 9;
        firmware->setRFSettings(rf);
        record.hasBoard = true;
        record.versionNumber = 395;
        record.serial = Serial;
        record.handle = Handle;
    }

    void start()
    {
        emulated = TavioEmulator::addLegacyHub(emulator(), record, firmware);
        initialiseSystem();
        hub = qobject_cast<LegacyHub*>(system->connectedHub(Handle));
        ASSERT_NE(hub, nullptr);
    }

    bool serial() const { return GetParam() == LegacyFraming::Serial; }
    void deliver(const TavioEmulator::Bytes& packet)
    {
        emulated->deliver(packet);
        ASSERT_TRUE(emulated->waitUntilDelivered(2000ms));
    }
    QList<quint32> listedVoters()
    {
        QList<Device*> devices;
        EXPECT_TRUE(hub->getDeviceList(Device::Type_LegacyVote, &devices));
        QList<quint32> ids;
        for (Device* device : devices)
            ids.append(device->uid());
        return ids;
    }
    std::vector<QByteArray> writes() { return writesOf(Handle); }

    std::shared_ptr<LegacyFirmware> firmware;
    LegacyHubRecord record;
    TavioEmulator::EmulatedHub* emulated = nullptr;
    LegacyHub* hub = nullptr;
};

TEST_P(LegacyHubTest, ConnectionReadsTheRadioAndTheRecord)
{
    QSignalSpy legacyArrived(system.get(), &TavioSystem::newLegacyHubConnected);
    start();
    EXPECT_EQ(legacyArrived.count(), 1);
    EXPECT_EQ(firmware->commandCount(":VT"), 1);
    EXPECT_EQ(emulated->boardSettings().xferMask, 255);
    EXPECT_EQ(hub->type(), Hub::Type_Legacy);
    EXPECT_EQ(int(hub->connectionType()), int(GetParam()));
    quint8 value = 0;
    ASSERT_TRUE(hub->getVoteChannel(value));
    EXPECT_EQ(value, 2);
    ASSERT_TRUE(hub->getBoardID(value));
    EXPECT_EQ(value, 9);
    // Version 395 with xp=<-1>: two pens, and registration is supported.
    EXPECT_EQ(hub->penCount(), 2);
    EXPECT_TRUE(hub->supportsRegistration());
    EXPECT_FALSE(hub->hasKX9Board());
    EXPECT_EQ(hub->getDeviceId(12345), 12345u);
    QList<Device*> boards;
    ASSERT_TRUE(hub->getDeviceList(Device::Type_LegacyBoard, &boards));
    EXPECT_EQ(boards.size(), 1);
    QMap<int, HubDisplayInfo> legacy;
    system->getLegacyHubInfoMap(legacy);
    EXPECT_TRUE(legacy.contains(Handle));
    QList<DeviceDisplayInfo> display;
    EXPECT_FALSE(system->getTavioVoteDisplayInfoList(Handle, display));

    // A slow hub: the settings do not come in time.
    firmware->setReplyDelay(400ms);
    EXPECT_FALSE(hub->configureHub());
    EXPECT_EQ(hub->getLastError(), Hub::Error_CommsFailure);
}

TEST_P(LegacyHubTest, VotersRegisterOnceAndAreKeptInTheStore)
{
    firmware->addWaitingVoter(voter(133));
    firmware->addWaitingVoter(voter(0x45)); // a serial id whose low bits look like a kind
    start();
    const LegacyhubRegistrationSession* session = system->startLegacyhubRegistrationSession(Handle);
    ASSERT_NE(session, nullptr);
    Recorder<quint32> registered;
    QObject::connect(
        session, &LegacyhubRegistrationSession::voteDeviceRegistered, system.get(),
        [&](quint32 uid, bool, int) { registered.append(uid); }, Qt::DirectConnection);
    ASSERT_TRUE(session->startVoteRegistrationSession());
    EXPECT_EQ(writes().back(), QByteArray(":VR\r"));
    ASSERT_TRUE(waitFor([&] { return registered.size() == 2; }));
    // The same voter again, and a record of id 0: nothing more.
    deliver(LegacyFirmware::voteRegistrationPacket(GetParam(), 133, false, 1));
    deliver(LegacyFirmware::voteRegistrationPacket(GetParam(), 0, false, 1));
    ASSERT_TRUE(session->stopVoteRegistrationSession());
    EXPECT_EQ(registered.size(), 2u);
    EXPECT_EQ(storedLegacyVoters(QString::number(Serial)), (QStringList { "133", "69" }));

    QList<DeviceDisplayInfo> list;
    ASSERT_TRUE(session->getListOfRegisteredVotes(list));
    ASSERT_EQ(list.size(), 2);
    EXPECT_EQ(list.at(0).uid, 133u);

    // Unplugged: the voters stay in the store, the session refuses; back: reloaded.
    Hub* before = hub;
    ASSERT_TRUE(emulator().removeHub(Handle));
    ASSERT_TRUE(waitFor([&] { return !hub->isConnected(); }));
    EXPECT_FALSE(session->startVoteRegistrationSession());
    emulated = TavioEmulator::addLegacyHub(emulator(), record, firmware);
    ASSERT_TRUE(waitFor([&] {
        QMap<int, HubDisplayInfo> legacy;
        system->getLegacyHubInfoMap(legacy);
        return legacy.contains(Handle);
    }));
    EXPECT_EQ(system->connectedHub(Handle), before);
    EXPECT_EQ(listedVoters(), (QList<quint32> { 133, 69 }));
    EXPECT_EQ(emulated->boardSettings().xferMask, -1); // set at the first plug only
    EXPECT_TRUE(emulated->hasPacketCallback());
    system->stopLegacyhubRegistrationSession();
}

TEST_P(LegacyHubTest, VotingEnablesTheListedVotersAndTakesEachKeyOnce)
{
    firmware->addWaitingVoter(voter(133, { 0x01, 0x01, 0x02 }));
    // 214: its low seven bits are 0x56, the kind of a radio change in the other framing.
    firmware->addWaitingVoter(voter(214, { 0x08 }));
    start();
    ASSERT_TRUE(hub->startVoteRegistrationSession());
    ASSERT_TRUE(waitFor([&] { return listedVoters().size() == 2; }));
    ASSERT_TRUE(hub->stopVoteRegistrationSession());

    Recorder<std::pair<quint32, int>> votes;
    QObject::connect(
        hub, &Hub::voteReceived, system.get(),
        [&](Hub*, quint32 uid, int vote, int) {
            votes.append({ uid, vote });
        },
        Qt::DirectConnection);
    emulated->clearWrites();
    ASSERT_TRUE(hub->startVotingSession(Hub::VotingMode_B, nullptr, nullptr));
    const std::vector<QByteArray> sent = writes();
    ASSERT_EQ(sent.size(), 4u);
    EXPECT_EQ(sent[0], QByteArray(":VO\r"));
    EXPECT_EQ(sent[1], QByteArray(":VI850000000000\r"));
    EXPECT_EQ(sent[2], QByteArray(":VID60000000000\r"));
    EXPECT_EQ(sent[3], QByteArray(":VB\r"));
    // Key 1 held down counts once; key 2 then counts again.
    ASSERT_TRUE(waitFor([&] { return votes.size() == 3; }));
    emulated->waitUntilDelivered(1000ms);
    std::multiset<std::pair<quint32, int>> got;
    for (const auto& vote : votes.values())
        got.insert(vote);
    EXPECT_EQ(got, (std::multiset<std::pair<quint32, int>> { { 133, 1 }, { 133, 2 }, { 214, 4 } }));
    ASSERT_TRUE(hub->stopSession());

    // A foreign enable answer stops the preparation at that voter, and so does none at all.
    firmware->setEnableReplyId(133, 134);
    firmware->resetCounters();
    EXPECT_FALSE(hub->startVotingSession(Hub::VotingMode_B, nullptr, nullptr));
    EXPECT_EQ(hub->getLastError(), Hub::Error_CommsFailure);
    EXPECT_EQ(hub->sessionType(), Hub::SessionType_None);
    EXPECT_EQ(firmware->commandCount(":VI"), 1);
    firmware->setEnableReplyId(133, std::nullopt);
    ASSERT_TRUE(firmware->removeVoter(214));
    EXPECT_FALSE(hub->startVotingSession(Hub::VotingMode_B, nullptr, nullptr));
    EXPECT_EQ(firmware->commandCount(":VB"), 0); // neither failed preparation started a vote
}

TEST_P(LegacyHubTest, AVoterTestReachesTheSession)
{
    firmware->addVoter(voter(133, { 0x04 }));
    record.penCount = 1;
    start();
    seedLegacyStore(QString::number(Serial), { "133" });
    hub->readRegisteredDevicesLists();
    const LegacyhubRegistrationSession* session = system->startLegacyhubRegistrationSession(Handle);
    ASSERT_NE(session, nullptr);
    Recorder<std::pair<quint32, int>> tested;
    QObject::connect(
        session, &LegacyhubRegistrationSession::voteTestResponse, system.get(),
        [&](quint32 uid, int answer, int) {
            tested.append({ uid, answer });
        },
        Qt::DirectConnection);
    ASSERT_TRUE(session->startVoteTestSession());
    EXPECT_EQ(hub->sessionType(), Hub::SessionType_VoteTest);
    ASSERT_TRUE(waitFor([&] { return tested.size() == 1; }));
    EXPECT_EQ(tested.values()[0], std::make_pair(133u, 3));
    EXPECT_TRUE(hub->stopSession());
    EXPECT_EQ(writes().back(), QByteArray(":VE\r"));
    system->stopLegacyhubRegistrationSession();
}

TEST_P(LegacyHubTest, SlatesJoinWithTheirPin)
{
    LegacySlate right;
    right.slateId = 7;
    LegacySlate wrong;
    wrong.slateId = 9;
    wrong.typedPin = "BBB";
    firmware->addWaitingSlate(right);
    firmware->addWaitingSlate(wrong);
    start();
    const LegacyhubRegistrationSession* session = system->startLegacyhubRegistrationSession(Handle);
    ASSERT_NE(session, nullptr);
    Recorder<int> asked;
    Recorder<int> joined;
    QObject::connect(
        session, &LegacyhubRegistrationSession::generatePinforSlateRegistration, system.get(),
        [&](quint8 id) { asked.append(id); }, Qt::DirectConnection);
    QObject::connect(
        session, &LegacyhubRegistrationSession::slateDeviceRegistered, system.get(),
        [&](quint8 id) { joined.append(id); }, Qt::DirectConnection);
    ASSERT_TRUE(session->startSlateRegistrationSession());
    ASSERT_TRUE(waitFor([&] { return asked.size() == 2; }));
    // Slate 7 on slate channel 1 with A C F: ":AP", 0 and 7, the channel, 1 3 6.
    ASSERT_TRUE(session->startSlatePINRegistration(7, RegistrationCode('A', 'C', 'F')));
    EXPECT_EQ(writes().back(), QByteArray(":AP071136\r"));
    ASSERT_TRUE(waitFor([&] { return joined.size() == 1; }));
    ASSERT_TRUE(session->startSlatePINRegistration(9, RegistrationCode('A', 'A', 'A')));
    emulated->waitUntilDelivered(1000ms);
    ASSERT_TRUE(session->stopSlateRegistrationSession());
    EXPECT_EQ(joined.values(), std::vector<int> { 7 });
    QList<DeviceDisplayInfo> slates;
    ASSERT_TRUE(session->getListOfRegisteredSlates(slates));
    ASSERT_EQ(slates.size(), 1);
    EXPECT_EQ(slates.at(0).name, QStringLiteral("136"));
    EXPECT_EQ(storedLegacySlates(QString::number(Serial)),
        (QList<StoredSlate> { { 7, QStringLiteral("136") } }));

    ASSERT_TRUE(session->enableSlate(7));
    EXPECT_EQ(writes().back(), QByteArray(":AB07136\r"));
    EXPECT_FALSE(session->enableSlate(8)); // not listed
    // Removing a slate that is not listed still disables slates and answers true.
    emulated->refuseNextWrites(1);
    EXPECT_TRUE(session->removeSlate(12));
    EXPECT_EQ(hub->getLastError(), Hub::Error_CommsFailure);
    ASSERT_TRUE(session->removeSlate(7));
    ASSERT_TRUE(session->getListOfRegisteredSlates(slates));
    EXPECT_TRUE(slates.isEmpty());
    system->stopLegacyhubRegistrationSession();
}

TEST_P(LegacyHubTest, ChannelsInBandTwoAreSentThreeHigher)
{
    LegacyRFSettings rf;
    rf.voteChannel = 1;
    rf.rfBand = 2;
    rf.slateChannel = 1;
    rf.boardId = 3;
    firmware->setRFSettings(rf);
    start();
    ASSERT_TRUE(hub->changeVoteChannel(1));
    EXPECT_EQ(firmware->commandCount(":VY4"), 1);
    quint8 channel = 0;
    ASSERT_TRUE(hub->getVoteChannel(channel));
    EXPECT_EQ(channel, 1);
    ASSERT_TRUE(hub->changeBoardID(5));
    EXPECT_EQ(firmware->commandCount(":UR05"), 1);
    // A board id change forgets every registration: slates are disabled.
    EXPECT_EQ(writes().back(), QByteArray(":AE\r"));

    // A refused write: false, the error, and nothing changed.
    emulated->refuseNextWrites(1);
    EXPECT_FALSE(hub->changeVoteChannel(2));
    EXPECT_EQ(hub->getLastError(), Hub::Error_CommsFailure);
    ASSERT_TRUE(hub->getVoteChannel(channel));
    EXPECT_EQ(channel, 1);
}

TEST_P(LegacyHubTest, PensOfTheBoard)
{
    start();
    Recorder<std::tuple<int, int, int>> events;
    QObject::connect(
        hub, &Hub::penEventReceived, system.get(),
        [&](Hub*, Hub::PenEvent event, unsigned char, int x, int y) {
            events.append({ int(event), x, y });
        },
        Qt::DirectConnection);
    deliver(LegacyFirmware::penPacket(GetParam(), 1, 1000, 2000, true));
    deliver(LegacyFirmware::penPacket(GetParam(), 1, 1010, 2010, false));
    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ(std::get<1>(events.values()[0]), 1000);
    EXPECT_EQ(std::get<2>(events.values()[0]), 2000);
    EXPECT_EQ(std::get<0>(events.values()[0]), int(Hub::PenEvent_TipDown));
}

TEST_P(LegacyHubTest, BoardlessHubsShareOneStoreGroupAndBadStoresAreKept)
{
    record.hasBoard = false;
    ASSERT_TRUE(
        writeLegacyStore("[LegacyVoteHub]\ntaviotes=12, 0, x, 99\n[Slates\ngarbage\x01\x02"));
    start();
    EXPECT_EQ(hub->storeGroup(), QStringLiteral("LegacyVoteHub"));
    EXPECT_EQ(listedVoters(), (QList<quint32> { 12, 99 }));
    // What could not be read is kept beside the store before anything is written over it.
    EXPECT_TRUE(QFile::exists(legacyStorePath() + QStringLiteral(".bad")));
    ASSERT_TRUE(hub->clearHubOfVotes());
    EXPECT_TRUE(storedLegacyVoters(QStringLiteral("LegacyVoteHub")).isEmpty());
}

// The key=<value> items of a hub record, and the legacy hub a record makes.
TEST(LegacyDiscovery, AdditionalInformationItems)
{
    QHash<QString, QString> items;
    TestSystem::parseAdditionalDeviceInfo(QStringLiteral("a=<1> b=<2> a=<3>"), items);
    EXPECT_EQ(items.value(QStringLiteral("a")), QStringLiteral("3"));
    EXPECT_EQ(items.value(QStringLiteral("b")), QStringLiteral("2"));
    items.clear();
    // Shortest key, shortest value, white space simplified in both.
    TestSystem::parseAdditionalDeviceInfo(QStringLiteral("xp=<2>  x  t =< 3  4 >junk"), items);
    EXPECT_EQ(items.value(QStringLiteral("xp")), QStringLiteral("2"));
    EXPECT_EQ(items.value(QStringLiteral("x t")), QStringLiteral("3 4"));
    EXPECT_EQ(items.size(), 2);
    items.clear();
    // Neither part may be empty: the key runs past the first "=<", the value past a ">" at once.
    TestSystem::parseAdditionalDeviceInfo(QStringLiteral("=<1> k=<> v=<>>"), items);
    EXPECT_EQ(items.size(), 1);
    EXPECT_EQ(items.value(QStringLiteral("=<1> k")), QStringLiteral("> v=<"));
}

TEST(LegacyDiscovery, ModelRules)
{
    EXPECT_EQ(LegacyHub::determinePenCount(395), 2);
    EXPECT_EQ(LegacyHub::determinePenCount(850), 2);
    EXPECT_EQ(LegacyHub::determinePenCount(100), 1);
    EXPECT_TRUE(LegacyHub::determineIfKX9Board(850));
    EXPECT_FALSE(LegacyHub::determineIfSupportsRegistration(850));
    EXPECT_TRUE(LegacyHub::determineIfSupportsRegistration(395));
    EXPECT_FALSE(LegacyHub::determineIfKX9Board(900));
}

// Refused writes leave the session and the store as they were, except where the store is
// written whatever the hub answers.
TEST_P(LegacyHubTest, RefusedWritesChangeNothingButTheSlateStore)
{
    seedLegacyStore(QString::number(Serial), { "5" }, { { 3, QStringLiteral("111") } });
    firmware->addWaitingVoter(voter(6));
    start();
    emulated->refuseNextWrites(1);
    EXPECT_FALSE(hub->startVoteRegistrationSession());
    EXPECT_EQ(hub->getLastError(), Hub::Error_CommsFailure);
    EXPECT_EQ(hub->sessionType(), Hub::SessionType_None);

    ASSERT_TRUE(hub->startVoteRegistrationSession());
    ASSERT_TRUE(waitFor([&] { return listedVoters().size() == 2; }));
    emulated->refuseNextWrites(1);
    EXPECT_FALSE(hub->stopVoteRegistrationSession());
    EXPECT_EQ(hub->sessionType(), Hub::SessionType_VoteRegistration);
    EXPECT_EQ(storedLegacyVoters(QString::number(Serial)), QStringList { "5" });
    ASSERT_TRUE(hub->stopVoteRegistrationSession());
    EXPECT_EQ(storedLegacyVoters(QString::number(Serial)), (QStringList { "5", "6" }));

    emulated->refuseNextWrites(1);
    EXPECT_FALSE(hub->clearHubOfVotes());
    EXPECT_EQ(listedVoters().size(), 2);
    emulated->refuseNextWrites(1);
    EXPECT_TRUE(hub->clearHubOfSlates());
    EXPECT_TRUE(storedLegacySlates(QString::number(Serial)).isEmpty());
}

// A store whose slate array claims two billion entries is read as far as slates can go.
TEST_P(LegacyHubTest, AStoreClaimingAHugeSlateArrayIsReadInBounds)
{
    ASSERT_TRUE(writeLegacyStore("[20817]\nSlates\\size=2147483647\nSlates\\1\\ID=5\n"
                                 "Slates\\1\\PIN=123\nSlates\\300\\ID=6\n"));
    start();
    QList<Device*> slates;
    ASSERT_TRUE(hub->getDeviceList(Device::Type_LegacySlate, &slates));
    ASSERT_EQ(slates.size(), 1);
    EXPECT_EQ(slates.at(0)->uid(), 5u);
    EXPECT_EQ(slates.at(0)->name(), QStringLiteral("123"));
}

TEST_P(LegacyHubTest, HubsWithoutABoardShareTheirVoters)
{
    seedLegacyStore(QStringLiteral("LegacyVoteHub"), { "5", "7" });
    record.hasBoard = false;
    start();
    LegacyHubRecord second = record;
    second.handle = Handle + 1;
    second.serial = Serial + 1;
    TavioEmulator::addLegacyHub(emulator(), second, std::make_shared<LegacyFirmware>(GetParam()));
    ASSERT_TRUE(waitFor([&] { return system->connectedHub(Handle + 1) != nullptr; }));
    auto* other = qobject_cast<LegacyHub*>(system->connectedHub(Handle + 1));
    ASSERT_NE(other, nullptr);
    QList<Device*> voters;
    ASSERT_TRUE(other->readTavioteList(&voters));
    EXPECT_EQ(voters.size(), 2);
    EXPECT_EQ(listedVoters(), (QList<quint32> { 5, 7 }));
    QList<Device*> boards;
    ASSERT_TRUE(hub->getDeviceList(Device::Type_LegacyBoard, &boards));
    EXPECT_TRUE(boards.isEmpty());
}

// Unplugged, the hub is reported gone by handle and its object kept; plugged in again, the same
// object comes back with its voters.
TEST_P(LegacyHubTest, UnpluggedAndPluggedInAgainTheHubKeepsItsObject)
{
    seedLegacyStore(QString::number(Serial), { "5", "7" });
    // Discovery after a plug-and-play notification runs on the event thread: record there.
    Recorder<std::pair<int, bool>> reported;
    QObject::connect(
        system.get(), &TavioSystem::legacyHubDisconnected, system.get(),
        [&](HubHandle_t handle) {
            reported.append({ int(handle), false });
        },
        Qt::DirectConnection);
    QObject::connect(
        system.get(), &TavioSystem::newLegacyHubConnected, system.get(),
        [&](HubHandle_t handle) {
            reported.append({ int(handle), true });
        },
        Qt::DirectConnection);
    start();
    ASSERT_EQ(reported.size(), 1u);

    ASSERT_TRUE(emulator().removeHub(Handle));
    ASSERT_TRUE(waitFor([&] { return reported.size() == 2; }));
    EXPECT_EQ(reported.values()[1], std::make_pair(Handle, false));
    EXPECT_FALSE(hub->isConnected());
    QMap<int, HubDisplayInfo> legacy;
    system->getLegacyHubInfoMap(legacy);
    EXPECT_FALSE(legacy.contains(Handle));
    EXPECT_FALSE(hub->startVoteRegistrationSession());

    emulated = TavioEmulator::addLegacyHub(emulator(), record, firmware);
    ASSERT_TRUE(waitFor([&] { return reported.size() == 3; }));
    EXPECT_EQ(reported.values()[2], std::make_pair(Handle, true));
    EXPECT_EQ(system->connectedHub(Handle), hub);
    EXPECT_TRUE(hub->isConnected());
    EXPECT_EQ(listedVoters(), (QList<quint32> { 5, 7 }));
}

INSTANTIATE_TEST_SUITE_P(Framings, LegacyHubTest,
    ::testing::Values(LegacyFraming::Usb, LegacyFraming::Serial), [](const auto& info) {
        return std::string(info.param == LegacyFraming::Usb ? "Usb" : "Serial");
    });

} // namespace
