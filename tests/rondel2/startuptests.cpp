// The classroom-server hub's start-up and its place in the hub table: the serial it is given,
// when it is listed, a receiver that takes its handle, and a change of server.

#include "rondel2fixture.h"

#include <taviosystem/hubdisplayinfo.h>
#include <taviosystem/taviosystem.h>

#include <QtCore/QCoreApplication>
#include <QtCore/QSettings>

using namespace TavioTest;
using namespace Taviosystem;

namespace {

const char* const BeaconMethod = "entities/beacon/get";

int storedSerial(const QString& serverId)
{
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Corvellan"),
        QStringLiteral("Rondel2"));
    return settings.value(QStringLiteral("SERVER_%1/serial").arg(serverId), 0).toInt();
}

TEST_F(Rondel2Test, AGeneratedSerialIsStoredAndTheHubListedOnceTheBeaconWorks)
{
    server.setServerId(QStringLiteral("school-7"));
    server.setNextSerial(5001);
    VirtualRondel2Hub* hub = startListed();
    ASSERT_NE(hub, nullptr);
    EXPECT_EQ(listedHandle(), 123379);
    EXPECT_EQ(hub->handle(), 123379);
    EXPECT_EQ(hub->uid(), 5001u);
    EXPECT_EQ(hub->serial(), 5001u);
    EXPECT_EQ(hub->name(), QStringLiteral("Room 12"));
    EXPECT_TRUE(hub->isRondel2Hub());
    EXPECT_TRUE(hub->isVirtualHub());
    EXPECT_TRUE(hub->beaconWorking());
    EXPECT_EQ(storedSerial(QStringLiteral("school-7")), 5001);
    const HubDisplayInfo info = listedInfo();
    EXPECT_EQ(info.name, QStringLiteral("Room 12"));
    EXPECT_EQ(info.uid, 5001u);
    EXPECT_TRUE(info.isVirtualHub);
    EXPECT_TRUE(info.isRondel2Hub);
    EXPECT_FALSE(info.isTessalyHub);
    // Told once, as connected.
    ASSERT_TRUE(waitFor([&] { return countEvents(true) == 1; }));
    EXPECT_EQ(hubEvents().front().first, hub);
    EXPECT_EQ(countEvents(false), 0);

    // The start-up calls, in order, then the beacon with the hub's hash.
    const auto requests = server.requests();
    QStringList methods;
    for (const auto& request : requests)
        if (request.method != QLatin1String(BeaconMethod) && methods.size() < 4)
            methods.append(request.method);
    EXPECT_EQ(methods,
        (QStringList { "entities/rondel_hub/getServerID",
            "entities/rondel_hub/generateSerialNumber", "entities/rondel_hub/setVersionInfo",
            "entities/rondel_hub/setHubName" }));
    EXPECT_EQ(server.requests("entities/rondel_hub/getServerID").front().parameters.value("id"),
        QVariant(0));
    EXPECT_EQ(server.requests("entities/rondel_hub/setVersionInfo").front().parameters,
        (QVariantMap { { "Product", "TavioSystem" }, { "Version", "21.0.0" }, { "id", 5001 } }));
    EXPECT_EQ(server.requests("entities/rondel_hub/setHubName").front().parameters,
        (QVariantMap { { "Name", "Room 12" }, { "id", 5001 } }));
    EXPECT_EQ(server.requests(BeaconMethod).front().parameters,
        (QVariantMap { { "hash", "Rondel.Hub.5001" }, { "id", 5001 } }));
}

TEST_F(Rondel2Test, AStoredSerialIsUsedAgain)
{
    {
        QSettings settings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Corvellan"),
            QStringLiteral("Rondel2"));
        settings.setValue(QStringLiteral("SERVER_classroom-server-1/serial"), 777);
    }
    VirtualRondel2Hub* hub = startListed();
    ASSERT_NE(hub, nullptr);
    EXPECT_EQ(hub->uid(), 777u);
    EXPECT_EQ(listedInfo().uid, 777u);
    EXPECT_EQ(server.requestCount(QStringLiteral("entities/rondel_hub/generateSerialNumber")), 0);
}

TEST_F(Rondel2Test, AReceiverAtTheHubsHandleMovesItAndBothAreListed)
{
    plugHub(123379);
    VirtualRondel2Hub* hub = startListed();
    ASSERT_NE(hub, nullptr);
    const int handle = listedHandle();
    EXPECT_NE(handle, 123379);
    EXPECT_EQ(handle & 0x100, 0x100);
    EXPECT_EQ(hub->handle(), handle);
    QMap<int, HubDisplayInfo> map;
    system->getTavioHubInfoMap(map);
    ASSERT_TRUE(map.contains(123379));
    EXPECT_FALSE(map.value(123379).isRondel2Hub);
    EXPECT_NE(system->connectedHub(123379), nullptr);
    EXPECT_NE(system->connectedHub(123379), hub);
}

TEST_F(Rondel2Test, ABurstOfSettingsChangesIsHandledOnceAndTheHubComesBackWithTheNewSerial)
{
    VirtualRondel2Hub* hub = startListed();
    ASSERT_NE(hub, nullptr);
    ASSERT_TRUE(waitFor([&] { return countEvents(true) == 1; }));
    ClassroomServer::Server other;
    other.setServerId(QStringLiteral("school-9"));
    other.setNextSerial(9001);
    ASSERT_TRUE(other.start());
    for (int i = 0; i < 4; ++i)
        writeClassroomSettings(
            i < 3 ? other.url() + QStringLiteral("/") : other.url(), QStringLiteral("Room 14"));
    ASSERT_TRUE(waitFor([&] { return listedInfo().uid == 9001u; }, 5000ms));
    EXPECT_EQ(other.requestCount(QStringLiteral("entities/rondel_hub/getServerID")), 1);
    EXPECT_EQ(listedInfo().name, QStringLiteral("Room 14"));
    EXPECT_EQ(system->connectedHub(listedHandle()), hub);
    ASSERT_TRUE(waitFor([&] { return countEvents(true) == 2; }));
    const auto events = hubEvents();
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events.at(1), std::make_pair(static_cast<Hub*>(hub), false));
    EXPECT_EQ(events.at(2), std::make_pair(static_cast<Hub*>(hub), true));
    EXPECT_EQ(other.requests("entities/rondel_hub/setHubName").front().parameters.value("Name"),
        QVariant("Room 14"));
}

TEST_F(Rondel2Test, TestsThatDoNotUseTheHubNeverWaitOnIt)
{
    // The settings of a test that does not start a server point at a closed port: the hub is
    // made, asks once, is refused and stays unlisted.
    pointClassroomServerAtClosedPort();
    initialiseSystem();
    QCoreApplication::processEvents();
    waitFor([] { return false; }, 200ms);
    EXPECT_EQ(listedHandle(), -1);
    EXPECT_EQ(countEvents(true), 0);
}

} // namespace
