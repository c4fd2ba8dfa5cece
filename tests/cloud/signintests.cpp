// Signing a teacher in and out of the cloud classroom as a host does, and the learners who join
// the class becoming expression devices.

#include "cloudfixture.h"

#include <taviosystem/registrationcode.h>

#include <tessaly/presenterclient.h>

#include <QtCore/QCoreApplication>
#include <QtCore/QElapsedTimer>
#include <QtNetwork/QTcpServer>

using namespace Taviosystem;
using namespace TavioTest;

namespace {

struct Notices
{
    Recorder<Hub*> arrived;
    Recorder<Hub*> left;
    Recorder<int> handlesArrived;
    Recorder<int> handlesLeft;
};

void watch(TavioSystem* system, Notices& notices)
{
    QObject::connect(
        system, &TavioSystem::newHubConnected, system,
        [&](Hub* hub) { notices.arrived.append(hub); }, Qt::DirectConnection);
    QObject::connect(
        system, &TavioSystem::hubDisconnected, system, [&](Hub* hub) { notices.left.append(hub); },
        Qt::DirectConnection);
    QObject::connect(
        system, &TavioSystem::newTavioHubConnected, system,
        [&](int handle) { notices.handlesArrived.append(handle); }, Qt::DirectConnection);
    QObject::connect(
        system, &TavioSystem::tavioHubDisconnected, system,
        [&](int handle) { notices.handlesLeft.append(handle); }, Qt::DirectConnection);
}

bool listed(TavioSystem* system)
{
    QMap<int, HubDisplayInfo> map;
    system->getTavioHubInfoMap(map);
    return map.contains(CloudHandle);
}

} // namespace

TEST_F(CloudTest, AnEmptyTextSignsNoOneInAndAsksTheServiceNothing)
{
    EXPECT_FALSE(system->tessalyLogin(service.url(), Teacher, QString()));
    EXPECT_FALSE(system->tessalyLogin(service.url(), QString(), Password));
    EXPECT_FALSE(system->tessalyLogin(QString(), Teacher, Password));
    EXPECT_TRUE(service.calls().isEmpty());
    EXPECT_FALSE(listed(system.get()));
}

TEST_F(CloudTest, AWrongPasswordListsNothingAndTheNextSignInStartsClean)
{
    Notices notices;
    watch(system.get(), notices);
    EXPECT_FALSE(system->tessalyLogin(service.url(), Teacher, QStringLiteral("wrong")));
    EXPECT_FALSE(listed(system.get()));
    EXPECT_EQ(system->connectedHub(CloudHandle), nullptr);
    EXPECT_EQ(notices.arrived.size(), 0u);
    EXPECT_FALSE(TessalyController::instance().getLastError().isEmpty());
    EXPECT_EQ(service.callsTo(QStringLiteral("/api/login")).size(), 1);

    // The failed hub was freed: a right password now signs in afresh.
    ASSERT_NE(signIn(), nullptr);
    EXPECT_EQ(service.callsTo(QStringLiteral("/api/login")).size(), 2);
    EXPECT_TRUE(TessalyController::instance().getLastError().isEmpty());
}

TEST_F(CloudTest, AnAbsentServiceFailsWithinTheWaitAndIsNamed)
{
    quint16 port = 0;
    {
        QTcpServer probe;
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
        port = probe.serverPort();
    }
    const QString url = QStringLiteral("http://127.0.0.1:%1").arg(port);
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(system->tessalyLogin(url, Teacher, Password));
    EXPECT_LT(timer.elapsed(), 11000);
    EXPECT_FALSE(listed(system.get()));
    EXPECT_TRUE(TessalyController::instance().getLastError().contains(url));
}

TEST_F(CloudTest, ASignInListsTheCloudHubWithItsDisplayInformationAndTellsTheHostOnce)
{
    Notices notices;
    watch(system.get(), notices);
    VirtualTessalyHub* cloud = signIn();
    ASSERT_NE(cloud, nullptr);

    QMap<int, HubDisplayInfo> map;
    ASSERT_TRUE(system->getTavioHubInfoMap(map));
    ASSERT_TRUE(map.contains(CloudHandle));
    const HubDisplayInfo info = map.value(CloudHandle);
    EXPECT_EQ(info.name, QStringLiteral("Tessaly Virtual Hub"));
    EXPECT_EQ(info.uid, 123454321u);
    EXPECT_TRUE(info.isVirtualHub);
    EXPECT_FALSE(info.isRondel2Hub);
    EXPECT_TRUE(info.isTessalyHub);
    EXPECT_EQ(notices.arrived.values(), std::vector<Hub*> { cloud });
    EXPECT_EQ(notices.handlesArrived.values(), std::vector<int> { CloudHandle });
    EXPECT_TRUE(cloud->isTessalyHub());
    EXPECT_TRUE(cloud->isVirtualHub());
    EXPECT_EQ(cloud->name(), QStringLiteral("Tessaly Virtual Hub"));
    EXPECT_EQ(cloud->uid(), 123454321u);
    QList<Hub*> hubs;
    ASSERT_TRUE(system->getHubList(&hubs));
    EXPECT_TRUE(hubs.contains(cloud));

    // Without a class session the hub is not usable yet.
    EXPECT_EQ(cloud->state(), TwoPointFourGHzHub::State_CommsFailure);
    RegistrationCode pin;
    EXPECT_FALSE(cloud->asGetRegistrationPin(pin));

    // The same texts again: still signed in, and the host is told again.
    EXPECT_TRUE(system->tessalyLogin(service.url(), Teacher, Password));
    EXPECT_EQ(notices.arrived.values(), (std::vector<Hub*> { cloud, cloud }));
    EXPECT_EQ(notices.handlesArrived.size(), 2u);
    EXPECT_EQ(service.callsTo(QStringLiteral("/api/login")).size(), 1);
}

TEST_F(CloudTest, TheClassCodeIsThePinAndAShortCodeGivesNone)
{
    ASSERT_NE(openClass(), nullptr);
    EXPECT_EQ(hub->state(), TwoPointFourGHzHub::State_Idle);
    const QString code = service.classCode(Teacher);
    ASSERT_EQ(code.size(), 5);
    RegistrationCode pin;
    ASSERT_TRUE(hub->asGetRegistrationPin(pin));
    EXPECT_EQ(pin.char1(), code.at(2).unicode());
    EXPECT_EQ(pin.char2(), code.at(3).unicode());
    EXPECT_EQ(pin.char3(), code.at(4).unicode());

    // Opening the class again while it runs changes nothing.
    EXPECT_TRUE(system->tessalyStartSession());
    EXPECT_EQ(service.callsTo(QStringLiteral("/api/session/start")).size(), 1);

    system->tessalyLogout();
    service.setClassCode(Teacher, QStringLiteral("TS1"));
    ASSERT_NE(openClass(), nullptr);
    EXPECT_FALSE(hub->asGetRegistrationPin(pin));
}

TEST_F(CloudTest, AnotherTeacherReplacesTheHub)
{
    service.addAccount(QStringLiteral("second"), QStringLiteral("other"));
    Notices notices;
    watch(system.get(), notices);
    VirtualTessalyHub* first = signIn();
    ASSERT_NE(first, nullptr);
    ASSERT_TRUE(
        system->tessalyLogin(service.url(), QStringLiteral("second"), QStringLiteral("other")));
    Hub* second = system->connectedHub(CloudHandle);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(notices.left.values(), std::vector<Hub*> { first });
    EXPECT_EQ(notices.handlesLeft.values(), std::vector<int> { CloudHandle });
    EXPECT_EQ(notices.arrived.size(), 2u);
    EXPECT_EQ(service.callsTo(QStringLiteral("/api/logout")).size(), 1);
    EXPECT_EQ(service.callsTo(QStringLiteral("/api/login")).last().body.value("user").toString(),
        QStringLiteral("second"));
}

TEST_F(CloudTest, ALogoutReportsTheHubGoneWithoutTheCallbackAndSignsOut)
{
    ASSERT_NE(openClass(), nullptr);
    Notices notices;
    watch(system.get(), notices);
    Recorder<bool> callbacks;
    system->setHubConnectedCallback(
        [](Hub*, bool connected, void* context) {
            static_cast<Recorder<bool>*>(context)->append(connected);
        },
        &callbacks);
    Hub* cloud = hub;
    system->tessalyLogout();
    EXPECT_EQ(notices.handlesLeft.values(), std::vector<int> { CloudHandle });
    EXPECT_EQ(notices.left.values(), std::vector<Hub*> { cloud });
    EXPECT_EQ(callbacks.size(), 0u);
    EXPECT_FALSE(listed(system.get()));
    EXPECT_EQ(system->connectedHub(CloudHandle), nullptr);
    EXPECT_EQ(service.callsTo(QStringLiteral("/api/logout")).size(), 1);
    EXPECT_TRUE(service.waitForPresenter(false, 5000));
    EXPECT_FALSE(service.sessionRunning());
    // Signed out: the controller has no one to sign out, and the next sign-in asks again.
    EXPECT_FALSE(TessalyController::instance().doLogout());
    system->setHubConnectedCallback(nullptr, nullptr);
    ASSERT_NE(signIn(), nullptr);
    EXPECT_EQ(service.callsTo(QStringLiteral("/api/login")).size(), 2);
}

TEST_F(CloudTest, NothingIsWrittenToTheBoardLibraryForTheCloudHub)
{
    ASSERT_NE(openClass(), nullptr);
    ASSERT_TRUE(join(QStringLiteral("tok-ann"), QStringLiteral("Ann")));
    int count = -1;
    EXPECT_TRUE(hub->getDeviceCount(Device::Type_Expression, &count));
    EXPECT_EQ(count, 1);
    EXPECT_TRUE(hub->getDeviceCount(Device::Type_Vote, &count));
    EXPECT_EQ(count, 0);
    hub->setPenMode(1);
    hub->setPenReportMode(1, Hub::PenReportMode_1);
    hub->enableEventRedirection(true);
    EXPECT_FALSE(hub->setPenType(1, Hub::PenType_1));
    EXPECT_EQ(hub->getLastError(), Hub::Error_NotSupported);
    EXPECT_FALSE(hub->startVotingSession(Hub::VotingMode_B, nullptr, nullptr));
    EXPECT_FALSE(hub->setBacklight(1, 1));
    EXPECT_FALSE(hub->isTouchSupported());
    EXPECT_FALSE(hub->clearHubOfVotes(nullptr));
    EXPECT_EQ(hub->getLastError(), Hub::Error_NotSupported);
    EXPECT_FALSE(hub->nameExpression(1, QStringLiteral("x"), nullptr));
    EXPECT_FALSE(hub->startVoteRegistrationSession(0, 0, 0, RegistrationCode()));
    EXPECT_TRUE(hub->clearHub(nullptr));
    EXPECT_TRUE(hub->startExpressionNamingSession());
    EXPECT_TRUE(hub->stopExpressionNamingSession());
    QList<Device*> devices;
    EXPECT_TRUE(hub->getCompleteDeviceList(&devices));
    EXPECT_EQ(devices.size(), 1);
    hub->readRegisteredDevicesLists();
    EXPECT_EQ(learners().size(), 1u);
    for (const auto& write : emulator().allWrites())
        EXPECT_NE(write.handle, CloudHandle);
}

// Learners ----------------------------------------------------------------------------------------

TEST_F(CloudTest, TokensWithTheSameByteSumGetTheSumAndTheSumPlusOne)
{
    ASSERT_NE(openClass(), nullptr);
    ASSERT_TRUE(join(QStringLiteral("ab"), QStringLiteral("Ann")));
    ASSERT_TRUE(join(QStringLiteral("ba"), QStringLiteral("Bob")));
    const auto values = registered.values();
    ASSERT_EQ(values.size(), 2u);
    EXPECT_EQ(values[0].uid, 195u); // 'a' + 'b'
    EXPECT_EQ(values[0].name, QStringLiteral("Ann"));
    EXPECT_EQ(values[0].subType, int(Device::SubType_Expression));
    EXPECT_EQ(
        values[0].learnerDeviceType, QString::fromLatin1(VirtualTessalyHub::LearnerDeviceType));
    EXPECT_EQ(values[1].uid, 196u);
    const auto list = learners();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].uid, 195u);
    EXPECT_EQ(list[0].name, QStringLiteral("Ann"));
    EXPECT_EQ(list[1].uid, 196u);
    EXPECT_EQ(hub->getTokenForSerial(196), QStringLiteral("ba"));
}

TEST_F(CloudTest, ANonAsciiTokenCountsItsBytesAsSigned)
{
    ASSERT_NE(openClass(), nullptr);
    // U+00E9 is C3 A9 in UTF-8: -61 and -87.
    ASSERT_TRUE(join(QString(QChar(0xE9)), QStringLiteral("Eva")));
    ASSERT_EQ(registered.size(), 1u);
    EXPECT_EQ(registered.values()[0].uid, quint32(-148));
    EXPECT_EQ(VirtualTessalyHub::serialCandidate(QString(QChar(0xE9))), -148);
}

TEST_F(CloudTest, ARejoinKeepsTheUidAndADuplicateJoinMakesOneDevice)
{
    ASSERT_NE(openClass(), nullptr);
    Recorder<int> removed;
    QObject::connect(
        hub, &Hub::tessalyDeviceRemoved, hub, [&](int uid) { removed.append(uid); },
        Qt::DirectConnection);
    ASSERT_TRUE(join(QStringLiteral("ab"), QStringLiteral("Ann")));
    ASSERT_TRUE(service.leaveLearner(QStringLiteral("ab")));
    ASSERT_TRUE(waitFor([&] { return removed.size() == 1; }, 5000ms));
    EXPECT_EQ(removed.values()[0], 195);
    EXPECT_TRUE(learners().empty());

    // Another learner whose token has the same sum cannot take the serial over.
    ASSERT_TRUE(join(QStringLiteral("ba"), QStringLiteral("Bob")));
    ASSERT_TRUE(service.joinLearner(QStringLiteral("ab")));
    ASSERT_TRUE(waitFor([&] { return learners().size() == 2; }, 5000ms));
    EXPECT_EQ(learners()[0].uid, 196u);
    EXPECT_EQ(learners()[1].uid, 195u);
    // Reported once, when its device was first made.
    EXPECT_EQ(registered.size(), 2u);

    ASSERT_TRUE(service.joinLearner(QStringLiteral("ab")));
    ASSERT_TRUE(hub->getDeviceList(Device::Type_Expression, nullptr));
    QCoreApplication::processEvents();
    EXPECT_EQ(learners().size(), 2u);
    EXPECT_EQ(registered.size(), 2u);
}

TEST_F(CloudTest, EmptyAndHugeLearnerTextsChangeNothingBeyondTheCutName)
{
    ASSERT_NE(openClass(), nullptr);
    service.sendRawEvent({ { QStringLiteral("type"), QStringLiteral("learnerJoin") },
        { QStringLiteral("token"), QString() }, { QStringLiteral("name"), QStringLiteral("x") } });
    const QString hugeName(1 << 20, QLatin1Char('n'));
    ASSERT_TRUE(join(QStringLiteral("big"), hugeName));
    ASSERT_EQ(learners().size(), 1u);
    EXPECT_EQ(learners()[0].name.size(), VirtualTessalyHub::MaximumNameLength);
    EXPECT_EQ(registered.values()[0].name.size(), VirtualTessalyHub::MaximumNameLength);
}

TEST_F(CloudTest, TheControllerKeepsOneClientPerAddressWithItsVersionText)
{
    ASSERT_NE(openClass(), nullptr);
    PresenterClient* client = hub->getTessalyClient();
    ASSERT_NE(client, nullptr);
    EXPECT_EQ(client->version(), QStringLiteral(" 2.%1.%2"));
    EXPECT_EQ(TessalyController::instance().getPresenter(service.url()), client);

    // Another address gets its own client; the hub's stays alive and in use.
    PresenterClient* other
        = TessalyController::instance().getPresenter(QStringLiteral("http://127.0.0.1:1"));
    EXPECT_NE(other, client);
    EXPECT_FALSE(TessalyController::instance().checkServer(
        QStringLiteral("http://127.0.0.1:1"), QString(), QStringLiteral("key")));
    EXPECT_FALSE(TessalyController::instance().getLastError().isEmpty());
    EXPECT_EQ(hub->getTessalyClient(), client);
    RegistrationCode pin;
    EXPECT_TRUE(hub->asGetRegistrationPin(pin));
    EXPECT_TRUE(hub->isCollabConnected());
    EXPECT_EQ(TessalyController::instance().getPresenter(service.url()), client);
    EXPECT_EQ(TessalyController::instance().doGetUserName(), Teacher);
}

TEST_F(CloudTest, TheDeviceIdentityComesFromTheEnvironment)
{
    const QByteArray user = qgetenv("USER");
    const QByteArray userName = qgetenv("USERNAME");
    qputenv("USER", "ada");
    EXPECT_EQ(TessalyController::getDeviceId(), QStringLiteral("ada"));
    qputenv("USER", "");
    qputenv("USERNAME", "grace");
    EXPECT_EQ(TessalyController::getDeviceId(), QStringLiteral("grace"));
    EXPECT_EQ(TessalyController::getDeviceName(), QStringLiteral("grace"));
    qputenv("USER", user);
    qputenv("USERNAME", userName);
}

TEST_F(CloudTest, JoinsInRegistrationAndNamingSessionsReachTheHostAsOnARadioHub)
{
    ASSERT_NE(openClass(), nullptr);
    Recorder<quint32> registeredInWindow;
    Recorder<QString> named;
    Recorder<QString> endUserNames;
    Recorder<qint64> inactivity;
    QObject::connect(
        hub, &TwoPointFourGHzHub::expressionDeviceRegistered, hub,
        [&](QString, quint32 uid, Device::SubType) { registeredInWindow.append(uid); },
        Qt::DirectConnection);
    QObject::connect(
        hub, &TwoPointFourGHzHub::expressionDeviceNamed, hub,
        [&](QString name, quint32) { named.append(name); }, Qt::DirectConnection);
    QObject::connect(
        hub, &Hub::endUserNamingSessionResponse, hub,
        [&](Hub*, quint32, int, QString name) { endUserNames.append(name); }, Qt::DirectConnection);
    QObject::connect(
        hub, &Hub::tessalySessionInactivityTimeMs, hub, [&](qint64 ms) { inactivity.append(ms); },
        Qt::DirectConnection);

    RegistrationCode pin;
    ASSERT_TRUE(hub->asGetRegistrationPin(pin));
    ASSERT_TRUE(hub->startExpressionRegistrationSession(0, 0, 0, pin));
    EXPECT_EQ(hub->sessionType(), Hub::SessionType_ExpressionRegistration);
    ASSERT_TRUE(join(QStringLiteral("ab"), QStringLiteral("Ann")));
    EXPECT_EQ(registeredInWindow.values(), std::vector<quint32> { 195 });
    ASSERT_TRUE(hub->stopExpressionRegistrationSession());
    EXPECT_EQ(hub->sessionType(), Hub::SessionType_None);

    // A naming registration makes no device for a join.
    ASSERT_TRUE(
        hub->startNamingExpressionRegistrationSession(0, 0, 0, pin, CharacterType_1, false, 8));
    service.addLearner(QStringLiteral("cd"), QStringLiteral("Cy"));
    ASSERT_TRUE(service.joinLearner(QStringLiteral("cd")));
    ASSERT_TRUE(service.sendInactivity(1));
    ASSERT_TRUE(waitFor([&] { return inactivity.size() == 1; }, 5000ms));
    EXPECT_EQ(learners().size(), 1u);
    ASSERT_TRUE(hub->stopExpressionRegistrationSession());

    // Teacher naming: a join names the device.
    ASSERT_TRUE(hub->startExpressionNamingSession());
    ASSERT_TRUE(service.joinLearner(QStringLiteral("ab")));
    ASSERT_TRUE(waitFor([&] { return named.size() == 1; }, 5000ms));
    EXPECT_EQ(named.values()[0], QStringLiteral("Ann"));
    ASSERT_TRUE(hub->stopExpressionNamingSession());

    // End-user naming: the checks of a question start, then a join answers with the name.
    EXPECT_FALSE(
        hub->startExpressionEnduserNamingSession(1, CharacterType_1, 15, false, nullptr, nullptr));
    EXPECT_EQ(hub->getLastError(), Hub::Error_NameLengthNotWithinTheRange);
    ASSERT_TRUE(
        hub->startExpressionEnduserNamingSession(1, CharacterType_1, 8, false, nullptr, nullptr));
    EXPECT_EQ(hub->sessionType(), Hub::SessionType_EndUserNaming);
    ASSERT_TRUE(service.joinLearner(QStringLiteral("ab")));
    ASSERT_TRUE(waitFor([&] { return endUserNames.size() == 1; }, 5000ms));
    EXPECT_EQ(endUserNames.values()[0], QStringLiteral("Ann"));
    ASSERT_TRUE(hub->stopExpressionEndUserNamingSession());
    EXPECT_EQ(hub->sessionType(), Hub::SessionType_None);
}
