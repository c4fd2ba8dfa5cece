// The 2.4 GHz hub as a host meets it, against the emulator's 2.4 GHz firmware: discovery, the
// device lists and address map, clears and removals, resets, busy changes, battery warnings,
// registration and naming records, pens and touches.

#include "support/emulatorfixture.h"

#include "hub24/hub24records.h"

#include <taviosystem/twopointfourghztavioexpression.h>
#include <taviosystem/twopointfourghztaviote.h>

#include <tavioemulator/twopointfourghzfirmware.h>

#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QFileInfo>
#include <QtTest/QSignalSpy>


using namespace Taviosystem;
using namespace TavioTest;
using TavioEmulator::EmulatedDevice;
using TavioEmulator::TwoPointFourGHzFirmware;

namespace {

const int Handle = 1;

// A class of 40: 20 voters, 5 + 5 answer devices of both generations, 3 pen expressions,
// 6 slates and a board with touch.
std::vector<EmulatedDevice> classroom()
{
    std::vector<EmulatedDevice> devices;
    for (quint32 i = 0; i < 20; ++i)
        devices.push_back(EmulatedDevice::taviote(0x00A10000 + i, quint16(0x0100 + i),
            "V" + std::to_string(i)));
    for (quint32 i = 0; i < 5; ++i) {
        devices.push_back(EmulatedDevice::expression(0x00B10000 + i, quint16(0x0200 + i),
            "Expr" + std::to_string(i)));
        devices.push_back(EmulatedDevice::expressionV2(0x00B20000 + i, quint16(0x0300 + i),
            "Expr2-" + std::to_string(i)));
    }
    for (quint32 i = 0; i < 3; ++i)
        devices.push_back(EmulatedDevice::penExpression(0x00C10000 + i, quint16(0x0400 + i),
            "Pen" + std::to_string(i)));
    for (quint32 i = 0; i < 6; ++i)
        devices.push_back(EmulatedDevice::slate(0x00D10000 + i, quint16(0x0500 + i),
            "Slate" + std::to_string(i)));
    devices.push_back(EmulatedDevice::board(0x00E10000, 0x0600, "Board", 0x0380));
    return devices;
}

class Hub24Test : public EmulatorTest
{
protected:
    void SetUp() override
    {
        EmulatorTest::SetUp();
        system->hubs = TestSystem::Hubs::Tavio;
        firmware = std::make_shared<TwoPointFourGHzFirmware>();
        firmware->addDevices(classroom());
        firmware->setHubName("Room 12");
    }

    TavioEmulator::EmulatedHub* plug(int handle = Handle)
    {
        TavioEmulator::HubConfig config;
        config.kind = 3;
        config.handle = handle;
        config.serial = 0xABCD0000ull + quint64(handle);
        config.versionNumber = 17;
        return TavioEmulator::addTwoPointFourGHzHub(emulator(), config, firmware);
    }

    void start()
    {
        emulated = plug();
        initialiseSystem();
        hub = system->tavioHub(Handle);
        ASSERT_NE(hub, nullptr);
    }

    void deliver(const TavioEmulator::Bytes& packet)
    {
        emulated->deliver(packet);
        ASSERT_TRUE(emulated->waitUntilDelivered(2000ms));
    }

    QList<Device*> list(Device::Type type)
    {
        QList<Device*> devices;
        EXPECT_TRUE(hub->getDeviceList(type, &devices));
        return devices;
    }

    std::shared_ptr<TwoPointFourGHzFirmware> firmware;
    TavioEmulator::EmulatedHub* emulated = nullptr;
    TestTavioHub* hub = nullptr;
};

void recordHub(Hub* hub, bool connected, void* context)
{
    static_cast<Recorder<std::pair<Hub*, bool>>*>(context)->append({ hub, connected });
}

TEST_F(Hub24Test, AHubWithAClassIsReportedWithItsDevices)
{
    Recorder<std::pair<Hub*, bool>> reported;
    system->setHubConnectedCallback(&recordHub, &reported);
    QSignalSpy signalled(system.get(), &TavioSystem::newHubConnected);
    QSignalSpy handles(system.get(), &TavioSystem::newTavioHubConnected);
    start();

    ASSERT_EQ(reported.size(), 1u);
    EXPECT_EQ(reported.values()[0].first, hub);
    EXPECT_EQ(signalled.count(), 0);
    ASSERT_EQ(handles.count(), 1);
    EXPECT_EQ(handles.at(0).at(0).toInt(), Handle);
    EXPECT_EQ(hub->uid(), 0xABCD0001ull);
    EXPECT_EQ(hub->getVersion(), 17);
    EXPECT_EQ(hub->type(), Hub::Type_TwoPointFourGHz);
    EXPECT_EQ(hub->vendorId(), -1);

    // The lists were read while the hub was reported, and reading them again asks nothing.
    const int listReads = firmware->commandCount(":GR");
    QList<Device*> votes;
    ASSERT_TRUE(hub->getDeviceList(Device::Type_Vote, &votes));
    EXPECT_EQ(votes.size(), 20);
    EXPECT_EQ(votes.first()->name(), QStringLiteral("V0"));
    EXPECT_EQ(qobject_cast<TwoPointFourGHzTaviote*>(votes.first())->deviceIdentifier(),
        QByteArray("00A100000100"));
    const QList<Device*> expressions = list(Device::Type_Expression);
    EXPECT_EQ(expressions.size(), 13);
    EXPECT_EQ(list(Device::Type_Slate).size(), 6);
    EXPECT_TRUE(list(Device::Type_PenExpression).isEmpty());
    EXPECT_TRUE(list(Device::Type_Board).isEmpty());
    EXPECT_EQ(firmware->commandCount(":GR"), listReads);

    int generations[3] = {};
    for (const Device* device : expressions)
        ++generations[device->subType()];
    EXPECT_EQ(generations[Device::SubType_None], 3); // pen expressions
    EXPECT_EQ(generations[Device::SubType_Expression], 5);
    EXPECT_EQ(generations[Device::SubType_ExpressionV2], 5);

    QList<Device*> all;
    ASSERT_TRUE(hub->getCompleteDeviceList(&all));
    EXPECT_EQ(all.size(), 39);
    EXPECT_EQ(all.first()->type(), Device::Type_Vote);
    EXPECT_EQ(all.last()->type(), Device::Type_Slate);

    // Radio addresses map to uids; unknown ones to 0.
    EXPECT_EQ(hub->getDeviceId(0x0105), 0x00A10005u);
    EXPECT_EQ(hub->getDeviceId(0x10302), 0x0CB20002u); // only the low 16 bits are an address
    EXPECT_EQ(hub->getDeviceId(0x7777), 0u);
    unsigned int address = 0;
    ASSERT_TRUE(hub->getAddress(0x00D10002, address));
    EXPECT_EQ(address, 0x0502u);
    EXPECT_FALSE(hub->getAddress(0x12345678, address));

    EXPECT_EQ(hub->penCount(), 2);
    EXPECT_TRUE(hub->hasKX9Board());
    EXPECT_TRUE(hub->isTouchSupported());
    EXPECT_EQ(hub->name(), QStringLiteral("Room 12"));
    EXPECT_EQ(hub->state(), TwoPointFourGHzHub::State_Idle);
    EXPECT_FALSE(hub->isHubBusy());
    EXPECT_EQ(hub->getHubState(), Hub::HubState_Idle);
    EXPECT_EQ(hub->canRegisterVotingDevicesCount(), 1000);
    EXPECT_EQ(hub->tavioteCount(), 20);
    EXPECT_EQ(hub->tavioexpressionCount(), 10);
    EXPECT_EQ(hub->tavioSlateCount(), 6);
    EXPECT_EQ(hub->tavioBoardCount(), 1);
    int count = 0;
    ASSERT_TRUE(hub->getExpressionTypeCount(Device::SubType_ExpressionV2, &count));
    EXPECT_EQ(count, 5);
    EXPECT_FALSE(hub->getExpressionTypeCount(Device::SubType_None, &count));

    // The host's display lists say the same without touching the hub.
    QList<DeviceDisplayInfo> display;
    ASSERT_TRUE(system->getTavioExpressionDisplayInfoList(Handle, display));
    ASSERT_EQ(display.size(), 13);
    EXPECT_EQ(display.first().name, expressions.first()->name());
    EXPECT_EQ(display.first().uid, expressions.first()->uid());
    EXPECT_EQ(display.first().subType, expressions.first()->subType());
    EXPECT_TRUE(display.first().text.isEmpty());
    ASSERT_TRUE(system->getTavioVoteDisplayInfoList(Handle, display));
    EXPECT_EQ(display.size(), 20);
    ASSERT_TRUE(system->getTavioSlateDisplayInfoList(Handle, display));
    EXPECT_EQ(display.size(), 6);
    EXPECT_FALSE(system->getTavioSlateDisplayInfoList(Handle + 1, display));
    EXPECT_FALSE(system->getLegacyVoteDisplayInfoList(Handle, display));
    EXPECT_TRUE(display.isEmpty());
    QMap<int, HubDisplayInfo> hubs;
    system->getTavioHubInfoMap(hubs);
    ASSERT_TRUE(hubs.contains(Handle));
    EXPECT_EQ(hubs.value(Handle).uid, 0xABCD0001ull);
}

TEST_F(Hub24Test, AClearEmptiesTheHubAndTheHostsListsFollow)
{
    start();
    QSignalSpy resets(hub, &Hub::hubReset);
    firmware->resetDuringNextClear();
    OKResponse ok;
    ASSERT_TRUE(hub->clearHub(&ok));
    EXPECT_TRUE(ok.isValid());
    EXPECT_TRUE(firmware->devices().empty());
    EXPECT_TRUE(list(Device::Type_Vote).isEmpty());
    EXPECT_TRUE(list(Device::Type_Expression).isEmpty());
    EXPECT_TRUE(list(Device::Type_Slate).isEmpty());
    EXPECT_EQ(hub->getDeviceId(0x0105), 0u);
    EXPECT_EQ(hub->tavioteCount(), 0);
    // The hub reset that came with the clear was not taken for a real one.
    ASSERT_TRUE(emulated->waitUntilDelivered(1000ms));
    EXPECT_EQ(resets.count(), 0);

    // Clearing one kind re-reads only that list.
    firmware->addDevices(classroom());
    ASSERT_TRUE(hub->clearHubOfSlates(&ok));
    EXPECT_TRUE(list(Device::Type_Slate).isEmpty());
    EXPECT_EQ(hub->tavioteCount(), 20);
    ASSERT_TRUE(hub->clearHubOfVotes(&ok));
    EXPECT_TRUE(list(Device::Type_Vote).isEmpty());
    ASSERT_TRUE(hub->clearHubOfBoards(&ok));
    EXPECT_EQ(hub->penCount(), 0);
    ASSERT_TRUE(hub->clearHubOfExpressions(&ok));
    EXPECT_EQ(list(Device::Type_Expression).size(), 3); // the pen expressions stay
    ASSERT_TRUE(hub->clearHubOfPenExpressions(&ok));
    EXPECT_EQ(hub->penExpressionCount(), 0);
    for (const char* command : { ":CS99", ":CS07", ":CS06", ":CS08", ":CS09", ":CS0D" })
        EXPECT_EQ(firmware->commandCount(command), 1) << command;

    firmware->setSilent(true);
    hub->setResponseTimeout(30);
    EXPECT_FALSE(hub->clearHubOfVotes(&ok));
    EXPECT_EQ(hub->getLastError(), Hub::Error_CommsFailure);
}

TEST_F(Hub24Test, AHubResetEmptiesTheListsUntilTheyAreReadAgain)
{
    start();
    QSignalSpy resets(hub, &Hub::hubReset);
    deliver(TwoPointFourGHzFirmware::hubResetPacket());
    ASSERT_EQ(resets.count(), 1);
    EXPECT_EQ(hub->penCount(), 0);
    EXPECT_EQ(hub->getDeviceId(0x0105), 0u);
    QList<Device*> current;
    hub->readTavioteList(&current);
    EXPECT_TRUE(current.isEmpty());
    // A flagged list is read again when the host asks for it.
    EXPECT_EQ(list(Device::Type_Vote).size(), 20);
    EXPECT_EQ(hub->getDeviceId(0x0105), 0x00A10005u);
}

TEST_F(Hub24Test, UnpluggedAndPluggedInAgainTheHubKeepsItsObject)
{
    // Discovery after a plug-and-play notification runs on the event thread: record there.
    Recorder<std::pair<Hub*, bool>> reported;
    QObject::connect(
        system.get(), &TavioSystem::hubDisconnected, system.get(),
        [&](Hub* hub) { reported.append({ hub, false }); }, Qt::DirectConnection);
    QObject::connect(
        system.get(), &TavioSystem::newHubConnected, system.get(),
        [&](Hub* hub) { reported.append({ hub, true }); }, Qt::DirectConnection);
    start();
    ASSERT_EQ(reported.size(), 1u);

    ASSERT_TRUE(emulator().removeHub(Handle));
    ASSERT_TRUE(waitFor([&] { return reported.size() == 2; }));
    EXPECT_EQ(reported.values()[1], std::make_pair(static_cast<Hub*>(hub), false));
    EXPECT_FALSE(hub->isConnected());
    QList<Device*> devices;
    EXPECT_FALSE(hub->getDeviceList(Device::Type_Vote, &devices));
    EXPECT_EQ(hub->getLastError(), Hub::Error_NotConnected);
    EXPECT_EQ(hub->name(), QStringLiteral("???"));
    EXPECT_EQ(hub->state(), TwoPointFourGHzHub::State_NotConnected);
    EXPECT_EQ(hub->getDeviceId(0x0105), 0u);

    emulated = plug();
    ASSERT_TRUE(waitFor([&] { return reported.size() == 3; }));
    EXPECT_EQ(reported.values()[2], std::make_pair(static_cast<Hub*>(hub), true));
    EXPECT_TRUE(hub->isConnected());
    EXPECT_EQ(list(Device::Type_Vote).size(), 20);
    EXPECT_EQ(hub->getDeviceId(0x0105), 0x00A10005u);
}

TEST_F(Hub24Test, ASilentHubAnswersItsFailures)
{
    firmware->setSilent(true);
    start(); // every list read times out, but the hub is still reported
    hub->setResponseTimeout(30);
    EXPECT_EQ(hub->name(), QStringLiteral("???"));
    EXPECT_EQ(hub->getLastError(), Hub::Error_CommsFailure);
    EXPECT_EQ(hub->state(), TwoPointFourGHzHub::State_CommsFailure);
    EXPECT_EQ(hub->getHubState(), Hub::HubState_Unknown);
    EXPECT_FALSE(hub->isTouchSupported());
    EXPECT_EQ(hub->getLastError(), Hub::Error_NotSupported);
    QList<Device*> devices;
    EXPECT_FALSE(hub->getDeviceList(Device::Type_Expression, &devices));
    EXPECT_EQ(hub->tavioteCount(), 0);
    EXPECT_FALSE(hub->setBacklight(10, 1));

    // Once the hub answers, the flagged lists are read on demand.
    firmware->setSilent(false);
    EXPECT_EQ(list(Device::Type_Expression).size(), 13);
}

TEST_F(Hub24Test, TouchNeedsABoardOfARecentFirmware)
{
    firmware->clearDevices();
    firmware->addDevice(EmulatedDevice::board(0x00E10000, 0x0600, "Old", 0x0351));
    start();
    EXPECT_FALSE(hub->isTouchSupported());
    firmware->clearDevices();
    EXPECT_FALSE(hub->isTouchSupported());
    EXPECT_EQ(hub->getLastError(), Hub::Error_NotSupported);
    // The list's closing acknowledgement did not answer a later command.
    OKResponse ok;
    EXPECT_TRUE(hub->clearHubOfBoards(&ok));
}

TEST_F(Hub24Test, BacklightLevelsAboveTheLimitAreRefused)
{
    start();
    emulated->clearWrites();
    EXPECT_FALSE(hub->setBacklight(50, 1));
    EXPECT_TRUE(emulated->writes().empty());
    EXPECT_TRUE(hub->setBacklight(49, 7));
    EXPECT_EQ(writesOf(Handle).back(), QByteArray::fromHex("3A5850303130") + "\r\x02\x31\x07");
    EXPECT_EQ(firmware->lastBacklight().level, 49);
}

TEST_F(Hub24Test, ARemovedDeviceLeavesTheAddressMapAndTheList)
{
    start();
    emulated->clearWrites();
    EXPECT_FALSE(hub->removeTaviote(0x12345678)); // not on the list
    EXPECT_TRUE(emulated->writes().empty());

    ASSERT_TRUE(hub->removeTaviote(0x00A10003));
    EXPECT_EQ(hub->sessionType(), Hub::SessionType_RemoveDevice);
    EXPECT_EQ(writesOf(Handle).back(), QByteArray(":RD00A100030103\r"));
    EXPECT_EQ(hub->getDeviceId(0x0103), 0u);
    EXPECT_FALSE(hub->removeTavioslate(0x00D10000)); // a session runs

    ASSERT_TRUE(hub->stopRemoveVoteDeviceSession());
    EXPECT_EQ(hub->sessionType(), Hub::SessionType_None);
    EXPECT_EQ(list(Device::Type_Vote).size(), 19);
    EXPECT_EQ(hub->findVoteDevice(0x00A10003), nullptr);
    EXPECT_NE(hub->findVoteDevice(0x00A10004), nullptr);
    EXPECT_TRUE(hub->stopRemoveVoteDeviceSession()); // nothing to stop

    // A busy hub refuses removals.
    firmware->setHubStateCode(3);
    EXPECT_FALSE(hub->removeTavioslate(0x00D10000));
    EXPECT_EQ(hub->state(), TwoPointFourGHzHub::State_Busy);
    EXPECT_EQ(hub->getHubState(), Hub::HubState_Code3);
}

void onBusy(Hub*, bool busy, void* context) { static_cast<Recorder<bool>*>(context)->append(busy); }

TEST_F(Hub24Test, BusyChangesAndLowBatteriesReachTheHost)
{
    start();
    QSignalSpy busy(hub, qOverload<Hub*, bool>(&TwoPointFourGHzHub::hubBusy));
    deliver(TwoPointFourGHzFirmware::busyChangePacket(3, 5)); // busy before and after
    deliver(TwoPointFourGHzFirmware::busyChangePacket(0, 5));
    deliver(TwoPointFourGHzFirmware::busyChangePacket(5, 0));
    ASSERT_EQ(busy.count(), 2);
    EXPECT_TRUE(busy.at(0).at(1).toBool());
    EXPECT_FALSE(busy.at(1).at(1).toBool());

    Recorder<bool> calls;
    EXPECT_FALSE(hub->setHubBusyCallback(nullptr, nullptr));
    ASSERT_TRUE(hub->setHubBusyCallback(&onBusy, &calls));
    deliver(TwoPointFourGHzFirmware::busyChangePacket(0, 1));
    EXPECT_EQ(calls.values(), std::vector<bool> { true });
    EXPECT_EQ(busy.count(), 2);

    QSignalSpy battery(hub, &Hub::batteryLow);
    deliver(TwoPointFourGHzFirmware::batteryLowPacket(0x00A10007, 0x0107));
    ASSERT_EQ(battery.count(), 1);
    EXPECT_EQ(battery.at(0).at(1).toUInt(), 0x00A10007u);
    Recorder<unsigned int> low;
    ASSERT_TRUE(hub->setBatteryLowCallback(
        [](Hub*, unsigned int uid, void* context) {
            static_cast<Recorder<unsigned int>*>(context)->append(uid);
        },
        &low));
    deliver(TwoPointFourGHzFirmware::batteryLowPacket(0x00A10008, 0x0108));
    EXPECT_EQ(low.values(), std::vector<unsigned int> { 0x00A10008u });
    EXPECT_EQ(battery.count(), 1);
}

TEST_F(Hub24Test, RegistrationAndNamingRecordsAreReportedBySession)
{
    start();
    const EmulatedDevice voter = EmulatedDevice::taviote(0x00A20001, 0x0701, "NEW");
    const EmulatedDevice expression = EmulatedDevice::expressionV2(0x00B30001, 0x0702, "Ana");
    const EmulatedDevice slate = EmulatedDevice::slate(0x00D20001, 0x0703, "Tab");
    QSignalSpy votes(hub, &TwoPointFourGHzHub::voteDeviceRegistered);
    QSignalSpy expressions(hub, &TwoPointFourGHzHub::expressionDeviceRegistered);
    QSignalSpy slates(hub, &TwoPointFourGHzHub::slateDeviceRegistered);

    // Outside a session, records mean nothing.
    deliver(voter.record());
    EXPECT_EQ(votes.count(), 0);

    hub->setSessionType(Hub::SessionType_VoteRegistration);
    deliver(expression.record()); // the wrong kind for this session
    deliver(voter.record());
    ASSERT_EQ(votes.count(), 1);
    EXPECT_EQ(votes.at(0).at(0).toString(), QStringLiteral("NEW"));
    EXPECT_EQ(votes.at(0).at(1).toUInt(), 0x00A20001u);
    EXPECT_EQ(expressions.count(), 0);

    hub->setSessionType(Hub::SessionType_ExpressionRegistration);
    deliver(expression.record());
    ASSERT_EQ(expressions.count(), 1);
    EXPECT_EQ(expressions.at(0).at(2).value<Device::SubType>(), Device::SubType_ExpressionV2);

    hub->setSessionType(Hub::SessionType_SlateRegistration);
    deliver(slate.record());
    ASSERT_EQ(slates.count(), 1);

    // A registration flags the list: the next read brings the new device in.
    firmware->addDevice(voter);
    hub->setSessionType(Hub::SessionType_None);
    EXPECT_EQ(list(Device::Type_Vote).size(), 21);

    QSignalSpy voteNamed(hub, &TwoPointFourGHzHub::voteDeviceNamed);
    QSignalSpy slateNamed(hub, &TwoPointFourGHzHub::slateDeviceNamed);
    QSignalSpy expressionNamed(hub, &TwoPointFourGHzHub::expressionDeviceNamed);
    hub->setSessionType(Hub::SessionType_VoteNaming);
    deliver(voter.record());
    hub->setSessionType(Hub::SessionType_SlateNaming);
    deliver(slate.record());
    hub->setSessionType(Hub::SessionType_ExpressionNaming);
    deliver(expression.record());
    EXPECT_EQ(voteNamed.count(), 1);
    EXPECT_EQ(slateNamed.count(), 1);
    ASSERT_EQ(expressionNamed.count(), 1);
    EXPECT_EQ(expressionNamed.at(0).at(0).toString(), QStringLiteral("Ana"));

    Recorder<std::pair<unsigned int, QString>> named;
    auto onNamed = [](TwoPointFourGHzHub*, unsigned int uid, const QString& name, void* context) {
        static_cast<Recorder<std::pair<unsigned int, QString>>*>(context)->append({ uid, name });
    };
    hub->setExpressionDeviceNamedCallback(onNamed, &named);
    deliver(expression.record());
    hub->setVoteDeviceNamedCallback(onNamed, &named);
    hub->setSessionType(Hub::SessionType_VoteNaming);
    deliver(voter.record());
    ASSERT_EQ(named.size(), 2u);
    EXPECT_EQ(named.values()[0].second, QStringLiteral("Ana"));
    EXPECT_EQ(named.values()[1].first, 0x00A20001u);
    EXPECT_EQ(expressionNamed.count(), 1);
    EXPECT_EQ(voteNamed.count(), 1);

    // End-user naming names the device by its address on this hub.
    QSignalSpy endUser(hub, &Hub::endUserNamingSessionResponse);
    hub->setSessionType(Hub::SessionType_EndUserNaming);
    hub->setCurrentQuestionId(4);
    EmulatedDevice renamed = EmulatedDevice::expression(0x00B10002, 0x0202, "Zoe");
    deliver(renamed.record());
    deliver(EmulatedDevice::expression(0x00B19999, 0x7777, "Nobody").record());
    ASSERT_EQ(endUser.count(), 2);
    EXPECT_EQ(endUser.at(0).at(1).toUInt(), 0x00B10002u);
    EXPECT_EQ(endUser.at(0).at(2).toInt(), 4);
    EXPECT_EQ(endUser.at(0).at(3).toString(), QStringLiteral("Zoe"));
    EXPECT_EQ(endUser.at(1).at(1).toUInt(), 0u);
}

TEST_F(Hub24Test, PensAndTouchesOfTheBoard)
{
    start();
    QSignalSpy pens(hub, &Hub::penEventReceived);
    QSignalSpy touches(hub, &Hub::touchEventReceived);
    deliver(TwoPointFourGHzFirmware::penPacket(1, 10000, 20000, true));
    deliver(TwoPointFourGHzFirmware::penPacket(1, 10010, 20010, true));
    deliver(TwoPointFourGHzFirmware::penPacket(1, 10010, 20010, true, true));
    deliver(TwoPointFourGHzFirmware::penPacket(1, 10010, 20010, false, false));
    deliver(TwoPointFourGHzFirmware::penPacket(2, 5, 6, true));
    ASSERT_EQ(pens.count(), 5);
    const QList<Hub::PenEvent> expected = { Hub::PenEvent_TipDown, Hub::PenEvent_Move,
        Hub::PenEvent_BarrelDown, Hub::PenEvent_BarrelUp, Hub::PenEvent_TipDown };
    for (int i = 0; i < pens.count(); ++i)
        EXPECT_EQ(pens.at(i).at(1).value<Hub::PenEvent>(), expected[i]) << i;
    EXPECT_EQ(pens.at(1).at(3).toInt(), 10010);
    EXPECT_EQ(pens.at(4).at(2).toUInt(), 2u);

    TavioEmulator::Bytes report = TwoPointFourGHzFirmware::touchPacket(
        { { 3, 100, 200, 7, true }, { 4, 300, 400, 8, false } });
    report.insert(report.end(), { 0xAA, 0xBB, 0xCC });
    report[0] = std::uint8_t(report.size());
    deliver(report);
    ASSERT_EQ(touches.count(), 1);
    const auto list = touches.at(0).at(1).value<QList<Hub::TouchInfo>>();
    ASSERT_EQ(list.size(), 2);
    EXPECT_EQ(list[1].id, 4);
    EXPECT_EQ(list[1].y, 400);
    EXPECT_FALSE(list[1].touching);

    // Touch status: reported when unasked, and taken by a waiting query.
    QSignalSpy status(hub, &Hub::touchStatusEventReceived);
    deliver(TwoPointFourGHzFirmware::touchStatusPacket(0, 10));
    ASSERT_EQ(status.count(), 1);
    EXPECT_FALSE(status.at(0).at(1).toBool());
    EXPECT_TRUE(hub->isTouchRunning());
    EXPECT_EQ(status.count(), 1);
}

// The virtual votes file ------------------------------------------------------------------------

struct VirtualRecord
{
    QByteArray serial;
    QByteArray second;
    QByteArray name;
    int nameLength = -1; // -1: the name's own length
};

QByteArray virtualVotes(const QByteArray& magic, quint32 format, quint16 recordVersion,
    const QList<VirtualRecord>& records, int count = -1)
{
    QByteArray file = magic;
    auto put = [&file](quint64 value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            file += char((value >> (8 * i)) & 0xFF);
    };
    put(format, 4);
    put(recordVersion, 2);
    put(quint32(count < 0 ? records.size() : count), 4);
    for (const VirtualRecord& record : records) {
        file += record.serial.leftJustified(8, '\0', true);
        file += record.second.leftJustified(8, '\0', true);
        put(0, 4);
        put(quint16(record.nameLength < 0 ? record.name.size() : record.nameLength), 2);
        file += record.name;
    }
    return file;
}

class VirtualVotesTest : public Hub24Test
{
protected:
    void writeFile(const QByteArray& contents)
    {
        const QString path = Hub::virtualVoteFilePath();
        ASSERT_TRUE(QDir().mkpath(QFileInfo(path).absolutePath()));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(contents);
    }

    QStringList lines()
    {
        QStringList lines;
        hub->readVirtualVoteFile(lines);
        return lines;
    }
};

TEST_F(VirtualVotesTest, VirtualVotersJoinEveryVoterList)
{
    writeFile(virtualVotes("VVRDEV", 3, 1,
        { { "0001A2B3", "ABCDxxxx", "Table 12" }, { "00001234", "ABCD", "Bob" } }));
    start();
    EXPECT_EQ(lines(), (QStringList { "0001A2B3ABCD#Table 12", "00001234ABCD#Bob" }));
    QList<Device*> votes = list(Device::Type_Vote);
    ASSERT_EQ(votes.size(), 22);
    const auto* bob = qobject_cast<TwoPointFourGHzTaviote*>(hub->findVoteDevice(0x1234));
    ASSERT_NE(bob, nullptr);
    EXPECT_EQ(bob->address(), 0x1234);
    EXPECT_EQ(bob->name(), QStringLiteral("Bob"));
    EXPECT_EQ(bob->deviceIdentifier(), QByteArray("00001234ABCD"));
    EXPECT_EQ(hub->getDeviceId(0x1234), 0x1234u);
    EXPECT_EQ(hub->getDeviceId(0xA2B3), 0x0001A2B3u);

    // Reading every list again brings each virtual voter in once.
    hub->readRegisteredDevicesLists();
    EXPECT_EQ(list(Device::Type_Vote).size(), 22);
}

TEST_F(VirtualVotesTest, HeadersAndRecordsAreCheckedAndCut)
{
    start();
    EXPECT_TRUE(lines().isEmpty()); // no file at all

    writeFile(virtualVotes("vvrdev", 3, 1, { { "00000001", "WXYZ", "Lower" } }));
    EXPECT_EQ(lines(), QStringList { "00000001WXYZ#Lower" });
    writeFile(virtualVotes("VVRDEV", 2, 1, { { "00000001", "WXYZ", "Old" } }));
    QStringList read;
    EXPECT_FALSE(hub->readVirtualVoteFile(read));
    EXPECT_TRUE(read.isEmpty());
    writeFile(virtualVotes("VVRDEV", 3, 2, { { "00000001", "WXYZ", "Old" } }));
    EXPECT_FALSE(hub->readVirtualVoteFile(read));
    writeFile("VVRDEV\x03");
    EXPECT_FALSE(hub->readVirtualVoteFile(read));
    writeFile(virtualVotes("VVRDEV", 3, 1, {}, 0));
    EXPECT_TRUE(hub->readVirtualVoteFile(read));
    EXPECT_TRUE(read.isEmpty());

    // A name of 20 bytes gives 9 characters and the next record follows it; an empty name
    // gives a line no voter comes from.
    writeFile(virtualVotes("VVRDEV", 3, 1,
        { { "00000002", "ABCD", "Twenty characters!!!" }, { "00000003", "ABCD", "" },
            { "00000004", "ABCD", "Last" } }));
    EXPECT_EQ(lines(),
        (QStringList { "00000002ABCD#Twenty ch", "00000003ABCD#", "00000004ABCD#Last" }));
    hub->readRegisteredDevicesLists();
    EXPECT_EQ(list(Device::Type_Vote).size(), 22);

    // A count larger than the records present ends at the last whole record.
    writeFile(virtualVotes("VVRDEV", 3, 1, { { "00000005", "ABCD", "One" } }, 1000000)
        + QByteArray("\x00\x00", 2));
    EXPECT_EQ(lines(), QStringList { "00000005ABCD#One" });
}

// A line splits at its last '#' that leaves a name behind: the identifier may hold '#', and so
// may the name when no later '#' would leave one.
TEST_F(VirtualVotesTest, HashSignsInNames)
{
    writeFile(virtualVotes("VVRDEV", 3, 1,
        { { "00001234", "ABCD", "Bob#x" }, { "00005678", "ABCD", "Amy#" },
            { "00009ABC", "ABCD", "#" } }));
    start();
    EXPECT_EQ(
        lines(), (QStringList { "00001234ABCD#Bob#x", "00005678ABCD#Amy#", "00009ABCABCD##" }));
    EXPECT_EQ(list(Device::Type_Vote).size(), 23);
    const struct
    {
        quint32 uid;
        const char* identifier;
        const char* name;
    } expected[] = { { 0x1234, "00001234ABCD#Bob", "x" }, { 0x5678, "00005678ABCD", "Amy#" },
        { 0x9ABC, "00009ABCABCD", "#" } };
    for (const auto& voter : expected) {
        const auto* device = qobject_cast<TwoPointFourGHzTaviote*>(hub->findVoteDevice(voter.uid));
        ASSERT_NE(device, nullptr) << voter.name;
        EXPECT_EQ(device->address(), voter.uid);
        EXPECT_EQ(device->deviceIdentifier(), QByteArray(voter.identifier));
        EXPECT_EQ(device->name(), QString::fromLatin1(voter.name));
    }
}

TEST_F(VirtualVotesTest, VotersSharingTheirLowBitsShareOneAddress)
{
    writeFile(virtualVotes("VVRDEV", 3, 1,
        { { "00011234", "ABCD", "First" }, { "00021234", "ABCD", "Second" } }));
    start();
    EXPECT_EQ(list(Device::Type_Vote).size(), 22);
    EXPECT_EQ(hub->getDeviceId(0x1234), 0x00021234u);
}

} // namespace
