// Lifetimes and threads as a host meets them: host-level sessions that outlive their hub or are
// replaced, a hub unplugged mid-session, shutdown while the event thread is busy, a restart,
// list reads that overlap, registration windows that read lists, and the transport's callbacks
// around a stop. Run under AddressSanitizer and ThreadSanitizer by the test command.

#include "support/emulatorfixture.h"

#include <taviosystem/taviohubexpressionnamingsession.h>
#include <taviosystem/taviohubregistrationsession.h>
#include <taviosystem/taviohubslatenamingsession.h>
#include <taviosystem/taviohubvotenamingsession.h>

#include <tavioemulator/twopointfourghzfirmware.h>

#include <QtTest/QSignalSpy>

#include <atomic>
#include <set>
#include <thread>

using namespace Taviosystem;
using namespace TavioTest;
using TavioEmulator::EmulatedDevice;
using TavioEmulator::TwoPointFourGHzFirmware;

namespace {

const int Handle = 7;
const unsigned int Ann = 0x00B10001; // expression, address 0x0201
const unsigned int Vi = 0x00A10001; // voter, address 0x0101
const unsigned int Tab = 0x00D10001; // slate, address 0x0301

// What a host records from callbacks that may run on any thread, with the moment they ran
// measured against the host's own shutdown.
struct HostLog
{
    std::atomic<bool> shutDown { false };
    std::atomic<int> calls { 0 };
    std::atomic<int> callsAfterShutdown { 0 };
    void called()
    {
        ++calls;
        if (shutDown)
            ++callsAfterShutdown;
    }
};

void onNamed(Hub*, const QString&, unsigned int, void* context)
{
    static_cast<HostLog*>(context)->called();
}

void onHub(Hub*, bool, void* context) { static_cast<HostLog*>(context)->called(); }

class LifetimeTest : public EmulatorTest
{
protected:
    void SetUp() override
    {
        EmulatorTest::SetUp();
        firmware = std::make_shared<TwoPointFourGHzFirmware>();
        firmware->addDevice(EmulatedDevice::expression(Ann, 0x0201, "Ann"));
        firmware->addDevice(EmulatedDevice::taviote(Vi, 0x0101, "Vi"));
        firmware->addDevice(EmulatedDevice::slate(Tab, 0x0301, "Tab"));
        firmware->setAnsweringKinds({});
        firmware->setVoters({});
        plugTavioHub(Handle, firmware);
        initialiseSystem();
        hub = system->tavioHub(Handle);
        ASSERT_NE(hub, nullptr);
        hub->setResponseTimeout(200);
    }

    TavioEmulator::EmulatedHub* replug()
    {
        TavioEmulator::HubConfig config;
        config.kind = 3;
        config.handle = Handle;
        config.serial = 0x1000 + Handle;
        return TavioEmulator::addTwoPointFourGHzHub(emulator(), config, firmware);
    }

    void unplugAndWait()
    {
        ASSERT_TRUE(emulator().removeHub(Handle));
        ASSERT_TRUE(waitFor([&] { return !hub->isConnected(); }));
    }

    // Listed again: the hub is connected before discovery lists it.
    bool isListed()
    {
        QMap<int, HubDisplayInfo> listed;
        system->getTavioHubInfoMap(listed);
        return listed.contains(Handle);
    }

    void replugAndWait()
    {
        replug();
        ASSERT_TRUE(waitFor([&] { return isListed(); }));
    }

    std::vector<QByteArray> writes()
    {
        std::vector<QByteArray> result;
        if (auto* emulated = emulator().hub(Handle)) {
            for (const auto& write : emulated->writes())
                result.push_back(toQByteArray(write.bytes));
        }
        return result;
    }

    std::shared_ptr<TwoPointFourGHzFirmware> firmware;
    TestTavioHub* hub = nullptr;
};

// A naming session whose callback is still set when the hub goes, or when the system shuts
// down, lets go of the hub before it is freed (AddressSanitizer catches a write into it).
TEST_F(LifetimeTest, NamingSessionsLeftWithCallbacksNeverReachAFreedHub)
{
    HostLog log;
    const TaviohubVoteNamingSession* voteNaming = system->startTaviohubVoteNamingSession(Handle);
    ASSERT_NE(voteNaming, nullptr);
    voteNaming->setCallback(&onNamed, &log);
    const TaviohubExpressionNamingSession* expressionNaming
        = system->startTaviohubExpressionNamingSession(Handle);
    ASSERT_NE(expressionNaming, nullptr);
    expressionNaming->setCallback(&onNamed, &log);

    // The hub carrying the current session (expression naming) leaves: that one is retired.
    unplugAndWait();
    EXPECT_FALSE(expressionNaming->startExpressionNamingSession());
    // The host sets a callback on the retired object: nothing reaches the hub.
    expressionNaming->setCallback(&onNamed, &log);

    system->shutdown();
    log.shutDown = true;
    EXPECT_FALSE(voteNaming->nameTaviote(Vi, QStringLiteral("Al")));
    // The hubs are freed by now; freeing the sessions must not touch them.
    system.reset();
    EXPECT_EQ(log.callsAfterShutdown, 0);
}

// Registration, then vote naming, then registration again: the first registration object stays
// valid for the host and refuses; its window, still open on the hub, is closed.
TEST_F(LifetimeTest, StartingAKindAgainRetiresTheObjectTheHostStillHolds)
{
    const TaviohubRegistrationSession* first = system->startTaviohubRegistrationSession(Handle);
    ASSERT_NE(first, nullptr);
    ASSERT_TRUE(first->startVoteRegistrationSession(1, 2, 3, RegistrationCode("ABC")));
    EXPECT_EQ(hub->sessionType(), Hub::SessionType_VoteRegistration);
    ASSERT_NE(system->startTaviohubVoteNamingSession(Handle), nullptr);

    emulator().hub(Handle)->clearWrites();
    const TaviohubRegistrationSession* second = system->startTaviohubRegistrationSession(Handle);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(second, first);
    // The first object's window was closed on the hub before the second was handed out.
    ASSERT_FALSE(writes().empty());
    EXPECT_EQ(writes().front(), QByteArray(":VE\r"));
    EXPECT_EQ(hub->sessionType(), Hub::SessionType_None);

    // Read through the host's old pointer: it refuses, as after its hub has gone.
    EXPECT_EQ(first->registrationInfo().hubState, 16);
    EXPECT_FALSE(first->startVoteRegistrationSession(1, 2, 3, RegistrationCode("ABC")));
    QList<DeviceDisplayInfo> list;
    EXPECT_FALSE(first->getListOfRegisteredVotes(list));

    // The new one works on the hub.
    ASSERT_TRUE(second->getListOfRegisteredVotes(list));
    EXPECT_EQ(list.size(), 1);
    system->stopTaviohubRegistrationSession();
    system->stopTaviohubVoteNamingSession();
    // Still safe to read after the stops; freed at shutdown.
    EXPECT_FALSE(first->clearHub());
}

// A voter naming session stopped and started again keeps the host's callback: the confirmation
// goes to it, not to the signal.
TEST_F(LifetimeTest, VoterNamingKeepsItsCallbackAcrossAStop)
{
    const TaviohubVoteNamingSession* naming = system->startTaviohubVoteNamingSession(Handle);
    ASSERT_NE(naming, nullptr);
    HostLog log;
    naming->setCallback(&onNamed, &log);
    QSignalSpy signalled(naming, &TaviohubVoteNamingSession::tavioteDeviceNamed);
    ASSERT_TRUE(naming->startTavioteNamingSession());
    ASSERT_TRUE(naming->stopTavioteNamingSession());
    ASSERT_TRUE(naming->nameTaviote(Vi, QStringLiteral("Bo")));
    ASSERT_TRUE(waitFor([&] { return log.calls == 1; }));
    EXPECT_EQ(signalled.count(), 0);

    // Expression naming is the one whose stop clears the callback: the signal takes over.
    const TaviohubExpressionNamingSession* expressions
        = system->startTaviohubExpressionNamingSession(Handle);
    ASSERT_NE(expressions, nullptr);
    ASSERT_TRUE(naming->stopTavioteNamingSession());
    HostLog expressionLog;
    expressions->setCallback(&onNamed, &expressionLog);
    ASSERT_TRUE(expressions->startExpressionNamingSession());
    ASSERT_TRUE(expressions->stopExpressionNamingSession());
    QSignalSpy expressionSignal(
        expressions, &TaviohubExpressionNamingSession::expressionDeviceNamed);
    ASSERT_TRUE(expressions->startExpressionNamingSession());
    emulator().hub(Handle)->deliver(EmulatedDevice::expression(Ann, 0x0201, "Anna").record());
    ASSERT_TRUE(emulator().hub(Handle)->waitUntilDelivered(2000ms));
    EXPECT_EQ(expressionSignal.count(), 1);
    EXPECT_EQ(expressionLog.calls, 0);
    ASSERT_TRUE(expressions->stopExpressionNamingSession());
}

// Host threads start and stop sessions while the hub comes and goes, the event thread retiring
// them: the slots are shared under one lock (ThreadSanitizer checks the accesses).
TEST_F(LifetimeTest, HostSessionsStartAndStopWhileTheHubComesAndGoes)
{
    hub->setResponseTimeout(20);
    std::atomic<bool> done { false };
    std::thread plugger([&] {
        for (int i = 0; i < 15; ++i) {
            emulator().removeHub(Handle);
            emulator().waitForPnpIdle(2000ms);
            std::this_thread::sleep_for(2ms);
            replug();
            emulator().waitForPnpIdle(2000ms);
            std::this_thread::sleep_for(2ms);
        }
        done = true;
    });
    HostLog log;
    int started = 0;
    while (!done) {
        if (const auto* registration = system->startTaviohubRegistrationSession(Handle)) {
            ++started;
            registration->registrationInfo();
        }
        if (const auto* naming = system->startTaviohubVoteNamingSession(Handle)) {
            ++started;
            naming->setCallback(&onNamed, &log);
        }
        if (const auto* naming = system->startTaviohubExpressionNamingSession(Handle))
            naming->setCallback(&onNamed, &log);
        system->startTaviohubSlateNamingSession(Handle);
        system->stopTaviohubRegistrationSession();
        system->stopTaviohubSlateNamingSession();
        system->stopTaviohubVoteNamingSession();
        system->stopTaviohubExpressionNamingSession();
        QCoreApplication::processEvents();
    }
    plugger.join();
    EXPECT_GT(started, 0);
    // Once the hub is listed again, a session starts on it.
    ASSERT_TRUE(waitFor([&] { return isListed(); }, 5000ms));
    EXPECT_NE(system->startTaviohubRegistrationSession(Handle), nullptr);
}

// A host list read and the event thread's re-read at the same time leave each device once.
TEST_F(LifetimeTest, OverlappingListReadsListEachDeviceOnce)
{
    firmware->setReplyDelay(15ms);
    for (int round = 0; round < 4; ++round) {
        std::thread other([&] { hub->readRegisteredDevicesLists(); });
        QList<Device*> voters;
        QList<Device*> slates;
        hub->readTavioteListFromHub();
        hub->readTavioSlateListFromHub();
        other.join();
        ASSERT_TRUE(hub->readTavioteList(&voters));
        ASSERT_TRUE(hub->readTavioSlateList(&slates));
        EXPECT_EQ(voters.size(), 1) << "round " << round;
        EXPECT_EQ(slates.size(), 1) << "round " << round;
    }
}

// A registration window reports each device new to the host's list once, even when a list is
// read during the window and the hub sends every registered device's record again.
TEST_F(LifetimeTest, ARegistrationWindowReportsEachNewDeviceOnce)
{
    const TaviohubRegistrationSession* registration
        = system->startTaviohubRegistrationSession(Handle);
    ASSERT_NE(registration, nullptr);
    Recorder<unsigned int> registered;
    QObject::connect(
        registration, &TaviohubRegistrationSession::voteDeviceRegistered, system.get(),
        [&](const QString&, quint32 uid) { registered.append(uid); }, Qt::DirectConnection);
    firmware->addWaitingLearner(EmulatedDevice::taviote(0x00A10002, 0x0102, "New"), "ABC");
    ASSERT_TRUE(registration->startVoteRegistrationSession(1, 2, 3, RegistrationCode("ABC")));
    ASSERT_TRUE(waitFor([&] { return registered.size() == 1; }));

    // The host reads the voters while the window is open, twice.
    QList<Device*> voters;
    ASSERT_TRUE(hub->getDeviceList(Device::Type_Vote, &voters));
    hub->readTavioteListFromHub();
    EXPECT_EQ(voters.size(), 2);
    // The same device joining again in this window is not news either.
    emulator().hub(Handle)->deliver(EmulatedDevice::taviote(0x00A10002, 0x0102, "New").record());
    ASSERT_TRUE(emulator().hub(Handle)->waitUntilDelivered(2000ms));
    ASSERT_TRUE(registration->stopVoteRegistrationSession());
    EXPECT_EQ(registered.values(), std::vector<unsigned int> { 0x00A10002 });

    // A new window reports a device the host has not listed yet, once.
    ASSERT_TRUE(registration->startVoteRegistrationSession(1, 2, 3, RegistrationCode("ABC")));
    const auto late = EmulatedDevice::taviote(0x00A10003, 0x0103, "Late");
    emulator().hub(Handle)->deliver(late.record());
    emulator().hub(Handle)->deliver(late.record());
    ASSERT_TRUE(emulator().hub(Handle)->waitUntilDelivered(2000ms));
    ASSERT_TRUE(registration->stopVoteRegistrationSession());
    EXPECT_EQ(registered.values(), (std::vector<unsigned int> { 0x00A10002, 0x00A10003 }));
    system->stopTaviohubRegistrationSession();
}

// A discovery pass still reading a returning hub's lists when shutdown() is called tells the
// host nothing once shutdown() has returned, and lists nothing.
TEST_F(LifetimeTest, NoDiscoveryNewsAfterShutdownReturns)
{
    HostLog log;
    system->setHubConnectedCallback(&onHub, &log);
    QObject::connect(
        system.get(), &TavioSystem::newTavioHubConnected, system.get(),
        [&](HubHandle_t) { log.called(); }, Qt::DirectConnection);
    unplugAndWait();
    firmware->setReplyDelay(40ms);
    TavioEmulator::EmulatedHub* back = replug();
    // The event thread is inside the pass once the hub is asked for its first list.
    ASSERT_TRUE(back->waitForWrites(1, 2000ms));
    const int before = log.calls;
    system->shutdown();
    log.shutDown = true;
    QMap<int, HubDisplayInfo> listed;
    ASSERT_TRUE(system->getTavioHubInfoMap(listed));
    EXPECT_TRUE(listed.isEmpty());
    // Long enough for the pass to have read every list and told the host, had it gone on.
    QThread::msleep(400);
    QCoreApplication::processEvents();
    EXPECT_EQ(log.callsAfterShutdown, 0);
    EXPECT_EQ(log.calls, before);
    ASSERT_TRUE(system->getTavioHubInfoMap(listed));
    EXPECT_TRUE(listed.isEmpty());
}

// Shutdown with a busy event thread sets the wrapper aside; the next initialise() attaches the
// library through a new one, and the old one, freed later, leaves the library attached.
TEST_F(LifetimeTest, AWrapperSetAsideDoesNotDetachItsSuccessor)
{
    unplugAndWait();
    firmware->setReplyDelay(40ms);
    TavioEmulator::EmulatedHub* back = replug();
    ASSERT_TRUE(back->waitForWrites(1, 2000ms));
    system->shutdown();
    EXPECT_FALSE(emulator().isAttached());
    firmware->setReplyDelay(0ms);
    ASSERT_TRUE(system->isDriverInstalled());
    EXPECT_TRUE(emulator().isAttached());
    ASSERT_TRUE(system->initialise());
    EXPECT_TRUE(emulator().isAttached());
    hub = system->tavioHub(Handle);
    ASSERT_NE(hub, nullptr);
    QList<Device*> voters;
    ASSERT_TRUE(hub->getDeviceList(Device::Type_Vote, &voters));
    EXPECT_EQ(voters.size(), 1);
}

// The whole life of a host: every host-level session kind with callbacks, the hub unplugged
// and back mid-session, kinds started again, shutdown with the event thread busy, a restart,
// the hub used, shutdown. Nothing reaches the host after either shutdown.
TEST_F(LifetimeTest, AHostsWholeLifeWithSessionsUnplugsAndARestart)
{
    HostLog log;
    system->setHubConnectedCallback(&onHub, &log);
    const auto* registration = system->startTaviohubRegistrationSession(Handle);
    const auto* expressionNaming = system->startTaviohubExpressionNamingSession(Handle);
    const auto* voteNaming = system->startTaviohubVoteNamingSession(Handle);
    const auto* slateNaming = system->startTaviohubSlateNamingSession(Handle);
    ASSERT_TRUE(registration && expressionNaming && voteNaming && slateNaming);
    expressionNaming->setCallback(&onNamed, &log);
    voteNaming->setCallback(&onNamed, &log);
    ASSERT_TRUE(voteNaming->nameTaviote(Vi, QStringLiteral("Vic")));
    ASSERT_TRUE(waitFor([&] { return log.calls == 1; }));

    // Unplugged mid-session: the current session (slate naming) is retired, the others wait.
    unplugAndWait();
    EXPECT_FALSE(slateNaming->nameSlate(Tab, QStringLiteral("Desk")));
    replugAndWait();
    ASSERT_TRUE(voteNaming->stopTavioteNamingSession());

    // Kinds started again: the objects the host held before stay safe to call.
    const auto* registration2 = system->startTaviohubRegistrationSession(Handle);
    const auto* expressionNaming2 = system->startTaviohubExpressionNamingSession(Handle);
    ASSERT_TRUE(registration2 && expressionNaming2);
    EXPECT_EQ(registration->registrationInfo().hubState, 16);
    EXPECT_FALSE(expressionNaming->startExpressionNamingSession());
    expressionNaming2->setCallback(&onNamed, &log);

    // Shutdown while the event thread is reading a returning hub's lists.
    unplugAndWait();
    firmware->setReplyDelay(30ms);
    ASSERT_TRUE(replug()->waitForWrites(1, 2000ms));
    system->shutdown();
    log.shutDown = true;
    QThread::msleep(300);
    QCoreApplication::processEvents();
    EXPECT_EQ(log.callsAfterShutdown, 0);
    EXPECT_FALSE(registration2->clearHub());
    EXPECT_FALSE(voteNaming->nameTaviote(Vi, QStringLiteral("X")));

    // Again, and the hub is used.
    log.shutDown = false;
    firmware->setReplyDelay(0ms);
    ASSERT_TRUE(system->initialise());
    hub = system->tavioHub(Handle);
    ASSERT_NE(hub, nullptr);
    hub->setResponseTimeout(200);
    const auto* naming = system->startTaviohubVoteNamingSession(Handle);
    ASSERT_NE(naming, nullptr);
    HostLog restarted;
    naming->setCallback(&onNamed, &restarted);
    ASSERT_TRUE(naming->nameTaviote(Vi, QStringLiteral("Val")));
    ASSERT_TRUE(waitFor([&] { return restarted.calls == 1; }));
    ASSERT_TRUE(naming->stopTavioteNamingSession());
    EXPECT_TRUE(emulator().isAttached());

    system->shutdown();
    log.shutDown = true;
    restarted.shutDown = true;
    emulator().hub(Handle)->deliver(EmulatedDevice::taviote(Vi, 0x0101, "Vee").record());
    emulator().hub(Handle)->waitUntilDelivered(2000ms);
    EXPECT_EQ(log.callsAfterShutdown, 0);
    EXPECT_EQ(restarted.callsAfterShutdown, 0);
    system.reset();
}

} // namespace
