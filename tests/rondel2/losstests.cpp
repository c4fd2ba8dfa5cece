// Losing the classroom server and getting it back: the beacon's failure count, what the host
// is told, and what works meanwhile.

#include "rondel2fixture.h"

#include <taviosystem/taviohubregistrationsession.h>
#include <taviosystem/taviosystem.h>

using namespace TavioTest;
using namespace Taviosystem;
using ClassroomServer::Fault;

namespace {

const char* const BeaconMethod = "entities/beacon/get";

class Rondel2LossTest : public Rondel2Test
{
protected:
    // Waits for `polls` more beacon polls than now.
    bool waitForPolls(int polls)
    {
        const int target = server.requestCount(QLatin1String(BeaconMethod)) + polls;
        return waitForServerRequests(server, QLatin1String(BeaconMethod), target, 5000);
    }
};

TEST_F(Rondel2LossTest, FourNetworkFailuresInARowLoseTheServerOnceAndASuccessBetweenResets)
{
    VirtualRondel2Hub* hub = startListed();
    ASSERT_NE(hub, nullptr);
    ASSERT_TRUE(waitFor([&] { return countEvents(true) == 1; }));

    // Three failures, a success, three failures: never more than three in a row.
    server.setFault(QLatin1String(BeaconMethod), Fault::http500(3));
    ASSERT_TRUE(waitForPolls(5));
    server.setFault(QLatin1String(BeaconMethod), Fault::http500(3));
    ASSERT_TRUE(waitForPolls(5));
    // Error replies show the server is there: they neither count nor reset.
    server.setFault(QLatin1String(BeaconMethod), Fault::errorReply({}, 6));
    ASSERT_TRUE(waitForPolls(8));
    waitFor([] { return false; }, 100ms);
    EXPECT_EQ(countEvents(false), 0);
    EXPECT_TRUE(hub->beaconWorking());

    // The fourth in a row loses it, once.
    server.setFault(QLatin1String(BeaconMethod), Fault::http500(6));
    ASSERT_TRUE(waitFor([&] { return countEvents(false) == 1; }, 5000ms));
    EXPECT_EQ(listedHandle(), -1);
    // Back once the faults wear off: the same hub.
    ASSERT_TRUE(waitFor([&] { return countEvents(true) == 2; }, 5000ms));
    EXPECT_EQ(countEvents(false), 1);
    EXPECT_EQ(hubEvents().back().first, hub);
    EXPECT_EQ(listedHandle(), 123379);
}

TEST_F(Rondel2LossTest, WhileTheServerIsAwayOperationsFailAndTheRegistrationSessionIsRetired)
{
    ClassroomServer::LoopbackProxy proxy;
    ASSERT_TRUE(proxy.start(server.port()));
    VirtualRondel2Hub* hub = startListed(proxy.url());
    ASSERT_NE(hub, nullptr);
    registerDevices(hub, 3);
    const TaviohubRegistrationSession* session
        = system->startTaviohubRegistrationSession(listedHandle());
    ASSERT_NE(session, nullptr);
    QList<DeviceDisplayInfo> devices;
    EXPECT_TRUE(session->getListOfRegisteredExpressions(devices));
    EXPECT_EQ(devices.size(), 3);

    proxy.startOutage(0);
    ASSERT_TRUE(waitFor([&] { return countEvents(false) == 1; }, 5000ms));
    EXPECT_FALSE(hub->isConnected());
    EXPECT_FALSE(hub->startYesNoSession(1, false, TimeUnit_0, 0, nullptr, nullptr));
    EXPECT_EQ(hub->getLastError(), Hub::Error_CommsFailure);
    RegistrationCode code;
    EXPECT_FALSE(hub->asGetRegistrationPin(code));
    EXPECT_EQ(hub->getLastError(), Hub::Error_CommsFailure);
    // The host's session object stays valid; its calls now fail.
    EXPECT_FALSE(session->getListOfRegisteredExpressions(devices));

    proxy.endOutage();
    ASSERT_TRUE(waitFor([&] { return countEvents(true) == 2; }, 5000ms));
    EXPECT_EQ(hubEvents().back().first, hub);
    ASSERT_TRUE(waitFor([&] { return hub->tavioexpressionCount() == 3; }));

    // Questions work again.
    Recorder<quint32> answered;
    struct Context
    {
        Recorder<quint32>* answers;
    } context { &answered };
    ASSERT_TRUE(hub->startYesNoSession(
        4, false, TimeUnit_0, 0,
        [](Hub*, unsigned int uid, int questionId, Hub::YesNoResponse response, void* ctx) {
            if (questionId == 4 && response == Hub::YesNoResponse_Yes)
                static_cast<Context*>(ctx)->answers->append(uid);
        },
        &context));
    ASSERT_TRUE(waitFor([&] { return answered.size() == 3; }, 5000ms));
    EXPECT_TRUE(hub->stopSession());
}

} // namespace
