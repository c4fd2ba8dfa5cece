// The system manager as a host uses it: life cycle, errors, versions, board settings and the
// packet callback, against the hub emulator.

#include "support/emulatorfixture.h"

#include <taviosystem/taviosystem.h>

#include <QtTest/QSignalSpy>

using namespace Taviosystem;
using namespace TavioTest;

namespace {

class SystemTest : public EmulatorTest
{
};

TEST_F(SystemTest, LifeCycleKeepsTheLastErrorAndEnumeratesOnce)
{
    EXPECT_EQ(system->getLastError(), TavioSystem::Error_Failed);
    EXPECT_TRUE(system->shutdown()); // not initialised: nothing to do
    plugHub(3);

    QSignalSpy arrived(system.get(), &TavioSystem::newTavioHubConnected);
    ASSERT_TRUE(system->initialise());
    EXPECT_EQ(system->getLastError(), TavioSystem::Error_Failed);
    EXPECT_EQ(arrived.count(), 1);
    const int attaches = emulator().attachCount();
    EXPECT_GE(attaches, 1);

    EXPECT_TRUE(system->initialise()); // already initialised: at once, enumerating nothing
    EXPECT_EQ(arrived.count(), 1);
    EXPECT_EQ(emulator().attachCount(), attaches);

    EXPECT_TRUE(system->shutdown());
    EXPECT_FALSE(system->isInitialised());
    EXPECT_GE(emulator().detachCount(), 1);
    EXPECT_FALSE(emulator().hasPnpCallback());
    EXPECT_FALSE(emulator().hub(3)->hasPacketCallback());

    // And again: a fresh start finds the hub anew.
    ASSERT_TRUE(system->initialise());
    EXPECT_EQ(arrived.count(), 2);
    QList<Hub*> hubs;
    ASSERT_TRUE(system->getHubList(&hubs));
    ASSERT_EQ(hubs.size(), 1);
    EXPECT_EQ(hubs.first()->handle(), 3);
    EXPECT_TRUE(emulator().hub(3)->hasPacketCallback());
}

TEST_F(SystemTest, NotInitialisedOperationsRecordTheirError)
{
    QList<Hub*> hubs;
    EXPECT_FALSE(system->getHubList(&hubs));
    EXPECT_EQ(system->getLastError(), TavioSystem::Error_NotInitialised);

    TestHub detached(system.get(), 5, 1, 0, false);
    EXPECT_FALSE(system->sendCommand(&detached, QByteArray(":QT\r")));
    EXPECT_EQ(system->getLastError(), TavioSystem::Error_NotInitialised);
}

TEST_F(SystemTest, ErrorKeysAndLibraryVersion)
{
    EXPECT_EQ(TavioSystem::errorAsString(TavioSystem::Error_BadPacketWrite),
        QStringLiteral("Error_BadPacketWrite"));
    EXPECT_EQ(TavioSystem::errorAsString(TavioSystem::Error_None), QStringLiteral("Error_None"));
    EXPECT_EQ(TavioSystem::errorAsString(TavioSystem::Error(42)), QString());
    EXPECT_EQ(Hub::errorAsString(Hub::Error_InvalidEquationAnswer),
        QStringLiteral("Error_InvalidEquationAnswer"));
    EXPECT_EQ(Hub::errorAsString(Hub::Error_CannotStartSessionBecauseCurrentlyInSession),
        QStringLiteral("Error_CannotStartSessionBecauseCurrentlyInSession"));
    EXPECT_EQ(Hub::errorAsString(Hub::Error(20)), QString());
    EXPECT_EQ(TavioSystem::getLibraryVersion(), 131600);
}

TEST_F(SystemTest, MissingLibraryFailsAndALaterCallRetries)
{
    system->setHardwareLibraryName(QStringLiteral("/nonexistent/libtavioboardex.so"));
    EXPECT_FALSE(system->initialise());
    EXPECT_EQ(system->getLastError(), TavioSystem::Error_DriverNotInstalled);
    EXPECT_FALSE(system->isDriverInstalled());
    int major = -1, minor = -1, build = -1;
    EXPECT_FALSE(system->getDriverVersion(&major, &minor, &build));
    EXPECT_EQ(major, -1);
    EXPECT_FALSE(system->isInitialised());
    EXPECT_TRUE(system->shutdown());

    plugHub(1);
    system->setHardwareLibraryName(QStringLiteral(TAVIO_EMULATOR_PATH));
    EXPECT_TRUE(system->isDriverInstalled());
    ASSERT_TRUE(system->initialise());
    QList<Hub*> hubs;
    ASSERT_TRUE(system->getHubList(&hubs));
    EXPECT_EQ(hubs.size(), 1);
}

TEST_F(SystemTest, ALibraryWithoutAttachStillInitialises)
{
    system->setHardwareLibraryName(QStringLiteral(TAVIO_EMULATOR_MINIMAL_PATH));
    ASSERT_TRUE(system->initialise());
    EXPECT_TRUE(system->isInitialised());
    EXPECT_EQ(emulator().attachCount(), 0); // the full emulator was never attached
}

struct DriverVersionCase
{
    const char16_t* text;
    bool ok;
    int major, minor, build;
};

class DriverVersionTest : public EmulatorTest,
                          public ::testing::WithParamInterface<DriverVersionCase>
{
};

TEST_P(DriverVersionTest, ReadsTheNumbersOfTheFirstRecord)
{
    const DriverVersionCase& c = GetParam();
    plugHub(1, c.text);
    plugHub(2, u"9.9.9"); // only the first record counts
    int major = -1, minor = -1, build = -1;
    EXPECT_EQ(system->getDriverVersion(&major, &minor, &build), c.ok);
    if (c.ok) {
        EXPECT_EQ(major, c.major);
        EXPECT_EQ(minor, c.minor);
        EXPECT_EQ(build, c.build);
    }
}

INSTANTIATE_TEST_SUITE_P(Texts, DriverVersionTest,
    ::testing::Values(DriverVersionCase { u"5.1.12.34", true, 5, 12, 34 },
        DriverVersionCase { u"5.10.3", true, 5, 10, 3 },
        DriverVersionCase { u"6.1.2", true, 6, 1, 2 },
        DriverVersionCase { u"v 7.0 build 123", true, 7, 0, 123 },
        DriverVersionCase { u"driver", false, 0, 0, 0 }, DriverVersionCase { u"", false, 0, 0, 0 },
        DriverVersionCase { u"5.1.12", false, 0, 0, 0 },
        DriverVersionCase { u"8.2", false, 0, 0, 0 },
        DriverVersionCase { u"99999999999999999999.1.2", true, 0x7FFFFFFF, 1, 2 }));

TEST_F(SystemTest, DriverVersionNeedsAHub)
{
    int major = 0, minor = 0, build = 0;
    EXPECT_FALSE(system->getDriverVersion(&major, &minor, &build));
}

TEST_F(SystemTest, BoardSettingsReachTheLibraryWithTheHubsHandle)
{
    plugHub(4);
    auto* other = plugHub(9);
    initialiseSystem();
    TestHub* hub = this->hub(4);
    ASSERT_NE(hub, nullptr);
    auto* emulated = emulator().hub(4);

    hub->setPenMode(3);
    hub->setTouchReportMode(2);
    hub->enableEventRedirection(true);
    hub->setLATEDetection(true);
    hub->setPenReportMode(2, Hub::PenReportMode_2);
    TavioEmulator::BoardSettings settings = emulated->boardSettings();
    EXPECT_EQ(settings.hidCoordinateReportMode, 3);
    EXPECT_EQ(settings.touchDestination, 2);
    EXPECT_TRUE(settings.touchSystemRedirection);
    EXPECT_TRUE(settings.lateDetection);
    EXPECT_EQ(settings.penDestination[2], 2);
    EXPECT_FALSE(settings.penDestinationFlag[2]);

    EXPECT_EQ(hub->getPenMode(), 3);
    Hub::TouchReportMode touchMode = 0;
    hub->getTouchReportMode(&touchMode);
    EXPECT_EQ(touchMode, 2);
    EXPECT_TRUE(hub->getEnableEventRedirection());
    EXPECT_TRUE(hub->getLATEDetection());
    Hub::PenReportMode penMode = Hub::PenReportMode_0;
    hub->getPenReportMode(2, &penMode);
    EXPECT_EQ(penMode, Hub::PenReportMode_2);

    // A byte outside 0 to 2 leaves the pen report mode as it was.
    settings.penDestination[1] = 7;
    emulated->setBoardSettings(settings);
    penMode = Hub::PenReportMode_1;
    hub->getPenReportMode(1, &penMode);
    EXPECT_EQ(penMode, Hub::PenReportMode_1);

    hub->setLATEDetection(false);
    EXPECT_FALSE(hub->getLATEDetection());

    QList<Hub::TouchInfo> touches;
    Hub::TouchInfo touch;
    touch.id = 5;
    touch.x = 0x1234;
    touch.y = 0x0201;
    touch.radius = 9;
    touch.touching = true;
    touches << touch;
    EXPECT_TRUE(hub->sendTouchInfoToOS(touches, Hub::TouchInfoPacketType_Touch));
    QList<Hub::TouchInfo> none;
    EXPECT_TRUE(hub->sendTouchInfoToOS(none, Hub::TouchInfoPacketType_Pen));
    const auto sent = emulated->boardSettings().touchPacketsToSystem;
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(toQByteArray(sent[0]), QByteArray::fromHex("094585341201020900"));
    EXPECT_EQ(toQByteArray(sent[1]), QByteArray::fromHex("0221"));

    // Nothing reached the other hub.
    EXPECT_EQ(other->boardSettings().hidCoordinateReportMode, 0);
    EXPECT_TRUE(other->boardSettings().touchPacketsToSystem.empty());
}

TEST(TouchInfoPacket, EncodesEveryTouchAndCapsTheCount)
{
    EXPECT_EQ(
        Hub::buildTouchInfoPacket({}, Hub::TouchInfoPacketType_Touch), QByteArray::fromHex("0245"));
    QList<Hub::TouchInfo> many;
    for (int i = 0; i < 40; ++i) {
        Hub::TouchInfo touch;
        touch.id = i;
        touch.x = 0xABCD;
        many << touch;
    }
    const QByteArray packet = Hub::buildTouchInfoPacket(many, Hub::TouchInfoPacketType_Touch);
    EXPECT_EQ(packet.size(), 2 + 36 * 7); // one length byte holds at most 36 touches
    EXPECT_EQ(quint8(packet.at(0)), 254);
    EXPECT_EQ(packet.mid(2, 7), QByteArray::fromHex("00CDAB00000000"));
}

TEST_F(SystemTest, PacketsArriveWithoutTheirPrefixAndOnlyAtTheirHub)
{
    auto* first = plugHub(1);
    auto* second = plugHub(2);
    initialiseSystem();
    TestHub* hub1 = hub(1);
    TestHub* hub2 = hub(2);
    ASSERT_TRUE(hub1 && hub2);

    first->deliver(hex("3F410102"));
    first->deliver(hex("3F41"));
    first->deliver(hex("41"));
    first->deliver(hex("0A410000"));
    ASSERT_TRUE(first->waitUntilDelivered(2000ms));
    ASSERT_TRUE(second->waitUntilDelivered(2000ms));
    const QList<QByteArray> received = hub1->receivedPackets();
    ASSERT_EQ(received.size(), 4);
    EXPECT_EQ(received[0], QByteArray::fromHex("02"));
    EXPECT_EQ(received[1], QByteArray::fromHex("3F41"));
    EXPECT_EQ(received[2], QByteArray::fromHex("41"));
    EXPECT_EQ(received[3], QByteArray::fromHex("00"));
    EXPECT_TRUE(hub2->receivedPackets().isEmpty());

    // A handle without a hub object, and null data, are dropped without a trace.
    const unsigned char bytes[] = { 0x08, 0x21 };
    TavioSystem::processPacketCallback(77, bytes, sizeof bytes, system.get());
    TavioSystem::processPacketCallback(1, nullptr, 4, system.get());
    TavioSystem::processPacketCallback(1, bytes, sizeof bytes, nullptr);
    EXPECT_EQ(hub1->receivedPackets().size(), 4);

    // The hub is handed bytes of its own: the library's buffer is reused once the call returns.
    unsigned char buffer[] = { 0x05, 0x22, 0x01, 0x02, 0x03 };
    TavioSystem::processPacketCallback(1, buffer, sizeof buffer, system.get());
    std::fill(std::begin(buffer), std::end(buffer), 0xEE);
    EXPECT_EQ(hub1->lastPacketAsHanded(), QByteArray::fromHex("0522010203"));
}

TEST_F(SystemTest, RefusedWritesRecordBadPacketWrite)
{
    auto* emulated = plugHub(1);
    initialiseSystem();
    TestHub* hub = this->hub(1);
    ASSERT_NE(hub, nullptr);
    emulated->refuseNextWrites(1);
    EXPECT_FALSE(hub->sendRaw(QByteArray(":QT\r")));
    EXPECT_EQ(system->getLastError(), TavioSystem::Error_BadPacketWrite);
    EXPECT_EQ(hub->getLastError(), Hub::Error_CommsFailure);
    EXPECT_TRUE(hub->sendRaw(QByteArray(":QT\r")));
}

typedef std::pair<Hub*, bool> Connection;

void recordConnection(Hub* hub, bool connected, void* context)
{
    static_cast<Recorder<Connection>*>(context)->append(Connection(hub, connected));
}

TEST_F(SystemTest, HubsArriveAndLeaveByCallbackOrSignalsNeverBoth)
{
    // Discovery after a plug-and-play notification runs on the event thread: record there.
    Recorder<Connection> calls;
    Recorder<Connection> signalled;
    Recorder<std::pair<int, bool>> handles;
    QObject::connect(
        system.get(), &TavioSystem::newHubConnected, system.get(),
        [&](Hub* hub) { signalled.append(Connection(hub, true)); }, Qt::DirectConnection);
    QObject::connect(
        system.get(), &TavioSystem::hubDisconnected, system.get(),
        [&](Hub* hub) { signalled.append(Connection(hub, false)); }, Qt::DirectConnection);
    QObject::connect(
        system.get(), &TavioSystem::newTavioHubConnected, system.get(),
        [&](int handle) {
            handles.append({ handle, true });
        },
        Qt::DirectConnection);
    QObject::connect(
        system.get(), &TavioSystem::tavioHubDisconnected, system.get(),
        [&](int handle) {
            handles.append({ handle, false });
        },
        Qt::DirectConnection);
    system->setHubConnectedCallback(&recordConnection, &calls);

    plugHub(6);
    initialiseSystem();
    ASSERT_EQ(calls.size(), 1u);
    Hub* hub = calls.values()[0].first;
    EXPECT_TRUE(calls.values()[0].second);
    EXPECT_EQ(handles.size(), 1u);

    // Unplugged and plugged in again: the same object, told false then true.
    ASSERT_TRUE(emulator().removeHub(6));
    ASSERT_TRUE(waitFor([&] { return calls.size() == 2; }));
    EXPECT_EQ(calls.values()[1], Connection(hub, false));
    EXPECT_FALSE(hub->isConnected());
    QMap<int, HubDisplayInfo> infos;
    system->getTavioHubInfoMap(infos);
    EXPECT_TRUE(infos.isEmpty());
    QList<Hub*> hubs;
    ASSERT_TRUE(system->getHubList(&hubs));
    EXPECT_TRUE(hubs.isEmpty());

    plugHub(6);
    ASSERT_TRUE(waitFor([&] { return calls.size() == 3; }));
    EXPECT_EQ(calls.values()[2], Connection(hub, true));
    EXPECT_TRUE(hub->isConnected());
    system->getTavioHubInfoMap(infos);
    ASSERT_TRUE(infos.contains(6));
    EXPECT_EQ(infos.value(6).uid, 0x1006u);
    EXPECT_FALSE(infos.value(6).isVirtualHub);

    // Without a callback the signals carry the news.
    system->setHubConnectedCallback(nullptr, nullptr);
    ASSERT_TRUE(emulator().removeHub(6));
    ASSERT_TRUE(waitFor([&] { return signalled.size() == 1; }));
    EXPECT_EQ(signalled.values()[0], Connection(hub, false));
    EXPECT_EQ(calls.size(), 3u);
    const std::vector<std::pair<int, bool>> expectedHandles
        = { { 6, true }, { 6, false }, { 6, true }, { 6, false } };
    EXPECT_EQ(handles.values(), expectedHandles);
}

TEST_F(SystemTest, UnreadableAndUnknownRecordsAreSkipped)
{
    plugHub(1);
    TavioEmulator::HubConfig unknownKind;
    unknownKind.kind = 9;
    unknownKind.handle = 2;
    emulator().addHub(unknownKind);
    plugHub(3);
    emulator().setFailingRecordIndex(0);
    initialiseSystem();
    QList<Hub*> hubs;
    ASSERT_TRUE(system->getHubList(&hubs));
    ASSERT_EQ(hubs.size(), 1);
    EXPECT_EQ(hubs.first()->handle(), 3);
    EXPECT_FALSE(emulator().hub(2)->hasPacketCallback());
}

} // namespace
