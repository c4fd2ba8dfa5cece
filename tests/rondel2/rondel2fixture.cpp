#include "rondel2fixture.h"

#include <taviosystem/hubdisplayinfo.h>
#include <taviosystem/taviosystem.h>

#include <gtest/gtest.h>

using namespace Taviosystem;

namespace TavioTest {

bool waitForServerRequests(
    const ClassroomServer::Server& server, const QString& method, int count, int timeoutMs)
{
    return waitFor(
        [&] { return server.requestCount(method) >= count; }, std::chrono::milliseconds(timeoutMs));
}

void Rondel2Test::SetUp()
{
    EmulatorTest::SetUp();
    VirtualRondel2Hub::setDefaultTimings(TestBeaconRate, TestRequestTimeout, TestSettingsDelay);
    server.setLearners(ClassroomServer::Server::defaultClass(3));
    ASSERT_TRUE(server.start());
    system->hubs = TestSystem::Hubs::Test;
    system->setHubConnectedCallback(
        [](Hub* hub, bool connected, void* context) {
            static_cast<Rondel2Test*>(context)->m_hubEvents.append({ hub, connected });
        },
        this);
}

void Rondel2Test::TearDown()
{
    EmulatorTest::TearDown();
    VirtualRondel2Hub::setDefaultTimings(-1, -1, -1);
}

int Rondel2Test::listedHandle() const
{
    QMap<int, HubDisplayInfo> map;
    system->getTavioHubInfoMap(map);
    for (auto it = map.cbegin(); it != map.cend(); ++it)
        if (it->isRondel2Hub)
            return it.key();
    return -1;
}

HubDisplayInfo Rondel2Test::listedInfo() const
{
    QMap<int, HubDisplayInfo> map;
    system->getTavioHubInfoMap(map);
    return map.value(listedHandle());
}

int Rondel2Test::countEvents(bool connected) const
{
    int count = 0;
    for (const auto& event : m_hubEvents.values())
        count += event.second == connected ? 1 : 0;
    return count;
}

VirtualRondel2Hub* Rondel2Test::startListed(const QString& url)
{
    writeClassroomSettings(url.isEmpty() ? server.url() : url, QStringLiteral("Room 12"));
    initialiseSystem();
    if (!waitFor([this] { return listedHandle() >= 0; }, 5000ms))
        return nullptr;
    return qobject_cast<VirtualRondel2Hub*>(system->connectedHub(listedHandle()));
}

void Rondel2Test::registerDevices(VirtualRondel2Hub* hub, int count)
{
    QObject::connect(
        hub, &TwoPointFourGHzHub::expressionDeviceRegistered, hub,
        [this](QString, quint32 uid, Device::SubType) { registered.append(uid); },
        Qt::DirectConnection);
    RegistrationCode code;
    ASSERT_TRUE(hub->asGetRegistrationPin(code));
    ASSERT_TRUE(hub->startExpressionRegistrationSession(0, 0, 0, code));
    ASSERT_TRUE(waitFor([&] { return int(registered.size()) >= count; }, 5000ms));
    ASSERT_TRUE(hub->stopExpressionRegistrationSession());
    ASSERT_TRUE(waitFor([&] { return hub->tavioexpressionCount() == count; }));
}

} // namespace TavioTest
