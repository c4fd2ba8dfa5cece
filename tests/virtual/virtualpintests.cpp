// Registration PINs of the virtual hub, end to end: the hub asks the reference discovery server
// on loopback, the teacher's PIN opens the registration window, learners join with it, and only
// the end of expression registration gives it back.

#include "support/emulatorfixture.h"

#include <discoveryserver.h>

#include <taviosystem/registrationcode.h>
#include <taviosystem/taviohubregistrationsession.h>
#include <taviosystem/virtualtwopointfourghzhub.h>

#include <tavioemulator/virtualfirmware.h>

#include <QtCore/QThread>

using namespace Taviosystem;
using namespace TavioTest;
using TavioEmulator::EmulatedDevice;
using TavioEmulator::VirtualTwoPointFourGHzFirmware;

namespace {

const int Handle = 5;
const QString Details = QStringLiteral("Lab 3@127.0.0.1:north:12:b");

class VirtualPinTest : public EmulatorTest
{
protected:
    void SetUp() override
    {
        EmulatorTest::SetUp();
        ASSERT_TRUE(server.start());
        const quint16 udpPort = freeUdpPort();
        ASSERT_NE(udpPort, 0);
        // The settings name the server's address; the announcement tells the hub its port.
        writeDiscoverySettings(QStringLiteral("127.0.0.1"), 1, udpPort);
        ASSERT_TRUE(server.announceTo(QHostAddress(QHostAddress::LocalHost), udpPort, 10));

        firmware = std::make_shared<VirtualTwoPointFourGHzFirmware>();
        firmware->setHubName("Lab 3");
        TavioEmulator::HubConfig config;
        config.kind = 4;
        config.handle = Handle;
        config.serial = 0x5105;
        config.devicePath = u"vh:/127.0.0.1/:north:12:b";
        emulated = TavioEmulator::addVirtualTwoPointFourGHzHub(emulator(), config, firmware);
        initialiseSystem();
        hub = qobject_cast<VirtualTwoPointFourGHzHub*>(system->connectedHub(Handle));
        ASSERT_NE(hub, nullptr);
    }

    int closeRequests() const
    {
        int count = 0;
        for (const auto& request : server.requests())
            count += request.bytes == ":CS" ? 1 : 0;
        return count;
    }

    DiscoveryServer::Server server;
    std::shared_ptr<VirtualTwoPointFourGHzFirmware> firmware;
    TavioEmulator::EmulatedHub* emulated = nullptr;
    VirtualTwoPointFourGHzHub* hub = nullptr;
};

TEST_F(VirtualPinTest, TheServersPinRegistersTheClassAndTheExpressionStopFreesIt)
{
    EXPECT_TRUE(hub->asIsOrvikServerAvailable());
    RegistrationCode code;
    ASSERT_TRUE(hub->asGetRegistrationPin(code));
    ASSERT_TRUE(server.waitForRequests(1, 2000));
    EXPECT_EQ(server.requests().first().bytes, ":RP" + Details.toUtf8());
    const QString pin = server.heldPins().value(Details);
    ASSERT_EQ(pin.size(), 3);
    EXPECT_EQ(QString(QChar(code.char1())) + QChar(code.char2()) + QChar(code.char3()), pin);

    firmware->radio()->addWaitingLearner(
        EmulatedDevice::expression(0x00B30001, 0x0701, "Ana"), pin.toStdString());
    const TaviohubRegistrationSession* registration
        = system->startTaviohubRegistrationSession(Handle);
    ASSERT_NE(registration, nullptr);
    Recorder<QString> joined;
    QObject::connect(
        registration, &TaviohubRegistrationSession::expressionDeviceRegistered, system.get(),
        [&](const QString& name, quint32, Device::SubType) { joined.append(name); },
        Qt::DirectConnection);
    ASSERT_TRUE(registration->startExpressionRegistrationSession(1, 2, 3, code));
    ASSERT_TRUE(waitFor([&] { return joined.size() == 1; }));
    EXPECT_EQ(joined.values().front(), QStringLiteral("Ana"));

    ASSERT_TRUE(registration->stopExpressionRegistrationSession());
    ASSERT_TRUE(waitFor([&] { return closeRequests() == 1; }));
    EXPECT_TRUE(waitFor([&] { return server.heldPins().isEmpty(); }));
    system->stopTaviohubRegistrationSession();
}

TEST_F(VirtualPinTest, OtherStopsAndADepartingHubKeepThePinHeld)
{
    RegistrationCode code;
    ASSERT_TRUE(hub->asGetRegistrationPin(code));
    const TaviohubRegistrationSession* registration
        = system->startTaviohubRegistrationSession(Handle);
    ASSERT_NE(registration, nullptr);
    ASSERT_TRUE(registration->startVoteRegistrationSession(1, 2, 3, code));
    ASSERT_TRUE(registration->stopVoteRegistrationSession());
    ASSERT_TRUE(registration->startSlateRegistrationSession(1, 2, 3, code));
    ASSERT_TRUE(registration->stopSlateRegistrationSession());
    ASSERT_TRUE(registration->startExpressionRegistrationSession(1, 2, 3, code));

    Recorder<int> gone; // reported on the event thread
    QObject::connect(
        system.get(), &TavioSystem::tavioHubDisconnected, system.get(),
        [&](int handle) { gone.append(handle); }, Qt::DirectConnection);
    ASSERT_TRUE(emulator().removeHub(Handle));
    ASSERT_TRUE(waitFor([&] { return gone.size() == 1; }));
    QThread::msleep(30);
    EXPECT_EQ(closeRequests(), 0);
    EXPECT_EQ(server.heldPins().size(), 1);
    system->stopTaviohubRegistrationSession();
}

TEST_F(VirtualPinTest, NoFreePinGivesNoCode)
{
    server.setPinPool({ QStringLiteral("ZZ9") });
    RegistrationCode code;
    ASSERT_TRUE(hub->asGetRegistrationPin(code));
    EXPECT_EQ(code.char1(), 'Z');
    EXPECT_EQ(code.char3(), '9');
    server.setRawReply(QByteArray(4, '\0'));
    RegistrationCode none(QStringLiteral("XYZ"));
    EXPECT_FALSE(hub->asGetRegistrationPin(none));
    EXPECT_EQ(none.char1(), 'X');
}

// With the discovery server gone the hub has no PIN to offer and the host's code is untouched;
// asking costs no more than a refused connection.
TEST_F(VirtualPinTest, AnAbsentServerGivesNoCode)
{
    server.stop();
    RegistrationCode code(QStringLiteral("XYZ"));
    EXPECT_FALSE(hub->asGetRegistrationPin(code));
    EXPECT_EQ(code.char1(), 'X');
    EXPECT_EQ(code.char3(), 'Z');
    EXPECT_FALSE(hub->asIsOrvikServerAvailable());
    EXPECT_TRUE(server.requests().isEmpty());
}

} // namespace
