#pragma once

// The fixture of the cloud hub's tests: the emulator-backed test system, a loopback cloud
// service with one teacher and a few seeded learners, and helpers that sign in and open the
// class as a host would.

#include "support/emulatorfixture.h"

#include "cloudservice.h"

#include <taviosystem/tessalycontroller.h>
#include <taviosystem/virtualtessalyhub.h>

#include <QtCore/QVariantMap>

namespace TavioTest {

inline const QString Teacher = QStringLiteral("teacher");
inline const QString Password = QStringLiteral("secret");
inline constexpr int CloudHandle = 12330;
// Retries of a lost connection come this far apart in the tests.
inline constexpr int TestRetryInterval = 50;
// Two learners whose uids are the sums of their tokens' bytes.
inline const QString Ann = QStringLiteral("ab");
inline constexpr quint32 AnnUid = 195;
inline const QString Bob = QStringLiteral("cd");
inline constexpr quint32 BobUid = 199;

struct Registered
{
    QString name;
    quint32 uid;
    int subType;
    QString learnerDeviceType;
};

class CloudTest : public EmulatorTest
{
protected:
    void SetUp() override
    {
        EmulatorTest::SetUp();
        service.addAccount(Teacher, Password);
        ASSERT_TRUE(service.start());
        initialiseSystem();
    }

    void TearDown() override
    {
        EmulatorTest::TearDown();
        service.stop();
    }

    // Signs the teacher in; the hub is then listed.
    Taviosystem::VirtualTessalyHub* signIn()
    {
        if (!system->tessalyLogin(service.url(), Teacher, Password))
            return nullptr;
        auto* cloud
            = qobject_cast<Taviosystem::VirtualTessalyHub*>(system->connectedHub(CloudHandle));
        if (cloud) {
            cloud->setRetryInterval(TestRetryInterval);
            QObject::connect(
                cloud, &Taviosystem::Hub::tessalyDeviceRegistered, cloud,
                [this](
                    QString name, quint32 uid, Taviosystem::Device::SubType subType, QString type) {
                    registered.append({ name, uid, int(subType), type });
                },
                Qt::DirectConnection);
        }
        return cloud;
    }

    // Signs in and opens the class; the presenter is then connected.
    Taviosystem::VirtualTessalyHub* openClass()
    {
        Taviosystem::VirtualTessalyHub* cloud = signIn();
        if (!cloud || !system->tessalyStartSession() || !service.waitForPresenter(true, 5000))
            return nullptr;
        hub = cloud;
        return cloud;
    }

    // Opens the class and has Ann and Bob join it.
    bool openClassOfTwo()
    {
        return openClass() && join(Ann, QStringLiteral("Ann")) && join(Bob, QStringLiteral("Bob"));
    }

    // A seeded learner joins, and the hub has made its device.
    bool join(const QString& token, const QString& name)
    {
        service.addLearner(token, name);
        const std::size_t before = registered.size();
        if (!service.joinLearner(token))
            return false;
        return waitFor([&] { return registered.size() > before; }, 5000ms);
    }

    std::vector<Taviosystem::DeviceDisplayInfo> learners()
    {
        QList<Taviosystem::DeviceDisplayInfo> list;
        system->getTavioExpressionDisplayInfoList(CloudHandle, list);
        return std::vector<Taviosystem::DeviceDisplayInfo>(list.begin(), list.end());
    }

    // The numbers of the last poll start the service saw.
    std::vector<int> lastPoll()
    {
        const QVariantMap poll = service.currentPoll();
        return { poll.value(QStringLiteral("pollType"), -1).toInt(),
            poll.value(QStringLiteral("ordinalType"), -1).toInt(),
            poll.value(QStringLiteral("optionCount"), -1).toInt(),
            poll.value(QStringLiteral("maxAnswers"), -1).toInt() };
    }

    bool waitForPolls(int count)
    {
        return service.waitForCall(QStringLiteral("startPoll"), count, 5000);
    }

    CloudService::Service service;
    Recorder<Registered> registered;
    Taviosystem::VirtualTessalyHub* hub = nullptr;
};

} // namespace TavioTest
