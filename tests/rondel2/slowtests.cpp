// A slow or silent classroom server: replies that drip in, and replies that come after the
// request's time-out. Bad beacon entries and answers: logged, never reported twice.

#include "rondel2fixture.h"

#include <taviosystem/taviosystem.h>

using namespace TavioTest;
using namespace Taviosystem;
using ClassroomServer::BadBeaconEntry;
using ClassroomServer::Fault;

namespace {

TEST_F(Rondel2Test, ADrippedBeaconReplyIsHandledOnce)
{
    ClassroomServer::LoopbackProxy proxy;
    ASSERT_TRUE(proxy.start(server.port()));
    VirtualRondel2Hub* hub = startListed(proxy.url());
    ASSERT_NE(hub, nullptr);
    registerDevices(hub, 3);
    Recorder<quint32> named;
    QObject::connect(
        hub, &TwoPointFourGHzHub::expressionDeviceNamed, hub,
        [&](QString, quint32 uid) { named.append(uid); }, Qt::DirectConnection);
    proxy.setDripInterval(1);
    server.renameByLearner(qint64(hub->serial()), 1002, QStringLiteral("Zed"));
    ASSERT_TRUE(waitFor([&] { return named.size() == 1; }, 8000ms));
    waitFor([] { return false; }, 300ms);
    EXPECT_EQ(named.values(), std::vector<quint32> { 1002 });
    EXPECT_EQ(hub->findExpressionDevice(1002)->name(), QStringLiteral("Zed"));
    EXPECT_EQ(countEvents(false), 0);
}

TEST_F(Rondel2Test, AReplyAfterTheTimeOutGivesFalseAndIsThenIgnored)
{
    VirtualRondel2Hub* hub = startListed();
    ASSERT_NE(hub, nullptr);
    hub->setRequestTimeout(300);
    server.setFault(QStringLiteral("entities/rondel_hub/checkOutPin"), Fault::delay(900, 1));
    RegistrationCode code;
    EXPECT_FALSE(hub->asGetRegistrationPin(code));
    waitFor([] { return false; }, 1200ms);
    EXPECT_TRUE(hub->beaconWorking());
    EXPECT_TRUE(hub->asGetRegistrationPin(code));
    EXPECT_EQ(hub->sessionType(), Hub::SessionType_None);
}

TEST_F(Rondel2Test, BadBeaconEntriesAndAnswersAreLoggedAndNothingIsReportedTwice)
{
    VirtualRondel2Hub* hub = startListed();
    ASSERT_NE(hub, nullptr);
    registerDevices(hub, 3);
    const std::size_t before = registered.size();
    const qint64 serial = qint64(hub->serial());
    for (BadBeaconEntry kind : { BadBeaconEntry::MissingSignal, BadBeaconEntry::MissingValue,
             BadBeaconEntry::MissingSourceHash, BadBeaconEntry::TextId,
             BadBeaconEntry::SixtyFourBitId, BadBeaconEntry::ZeroId, BadBeaconEntry::NegativeId,
             BadBeaconEntry::UnknownSignal, BadBeaconEntry::NotAnObject })
        server.queueBadBeaconEntry(serial, kind, 1003);
    server.queueBeaconEntry(serial, QVariantMap { { "Signal", 5 }, { "Value", QVariantList() } });
    server.queueBadBeaconEntry(serial, BadBeaconEntry::ExtraMembers, 1003);
    ASSERT_TRUE(waitFor([&] { return server.hub(serial).pendingEvents == 0; }, 3000ms));
    waitFor([] { return false; }, 300ms);
    // The one usable entry (unknown members beside the usual three) outside a registration
    // window reports its device once.
    EXPECT_LE(registered.size(), before + 1);
    EXPECT_TRUE(hub->beaconWorking());

    // A Likert answer outside the scale is dropped; the others arrive once.
    Recorder<int> values;
    QObject::connect(
        hub, &Hub::likertSessionResponse, hub,
        [&](Hub*, quint32, int, int value) { values.append(value); }, Qt::DirectConnection);
    for (quint32 id : { 1001u, 1002u, 1003u }) {
        ClassroomServer::Learner learner = server.learners().at(int(id - 1001));
        learner.silent = true;
        server.setLearner(learner);
    }
    ASSERT_TRUE(hub->startLikertSession(2, 5, TimeUnit_0, 0, nullptr, nullptr));
    ASSERT_TRUE(
        waitForServerRequests(server, QStringLiteral("entities/rondel_hub/sendQuestion"), 3, 3000));
    server.answerNow(serial, 1001, QStringLiteral("300"));
    server.answerNow(serial, 1002, QStringLiteral("four"));
    server.answerNow(serial, 1003, QStringLiteral("4"));
    ASSERT_TRUE(waitFor([&] { return values.size() == 1; }, 3000ms));
    waitFor([] { return false; }, 300ms);
    EXPECT_EQ(values.values(), std::vector<int> { 4 });

    // Mistyped and malformed answer replies.
    const QString fetch = QStringLiteral("entities/rondel_hub/getQuestionResponse");
    const int fetched = server.requestCount(fetch);
    server.setFault(fetch, Fault::replaceResult(QVariantList { 1, 2 }, 1));
    server.answerNow(serial, 1001, QStringLiteral("5"));
    ASSERT_TRUE(waitForServerRequests(server, fetch, fetched + 1, 3000));
    server.setFault(QStringLiteral("entities/rondel_hub/getQuestionResponse"),
        Fault::replaceResult(QVariantMap { { "Answer", QVariantMap() } }, 1));
    server.answerNow(serial, 1002, QStringLiteral("5"));
    waitFor([] { return false; }, 400ms);
    EXPECT_EQ(values.size(), 1u);
    EXPECT_TRUE(hub->stopSession());
}

TEST_F(Rondel2Test, ADeviceListedTwiceIsKeptOnceAndUnusableEntriesAreSkipped)
{
    VirtualRondel2Hub* hub = startListed();
    ASSERT_NE(hub, nullptr);
    ASSERT_TRUE(waitFor([&] {
        return server.requestCount(QStringLiteral("entities/rondel_hub/getDeviceList")) >= 1;
    }));
    server.setFault(QStringLiteral("entities/rondel_hub/getDeviceList"),
        Fault::replaceResult(
            QVariantList { QVariantMap { { "DeviceID", 1001 }, { "Name", "Ann" } },
                QVariantMap { { "DeviceID", "1001" }, { "Name", "Anna" } },
                QVariantMap { { "DeviceID", 1002 }, { "Name", "Bo" }, { "Version", "x" } },
                QVariantMap { { "Name", "nobody" } },
                QVariantMap { { "DeviceID", 4294967296.0 }, { "Name", "too big" } },
                QStringLiteral("text") },
            1));
    hub->readRegisteredDevicesLists();
    ASSERT_TRUE(waitFor([&] { return hub->tavioexpressionCount() == 2; }));
    ASSERT_NE(hub->findExpressionDevice(1001), nullptr);
    EXPECT_EQ(hub->findExpressionDevice(1001)->name(), QStringLiteral("Anna"));
    EXPECT_EQ(hub->findExpressionDevice(1002)->name(), QStringLiteral("Bo"));
    int count = 0;
    EXPECT_TRUE(hub->getDeviceCount(Device::Type_Expression, &count));
    EXPECT_EQ(count, 2);
    EXPECT_TRUE(hub->getDeviceCount(Device::Type_Vote, &count));
    EXPECT_EQ(count, 0);
}

} // namespace
