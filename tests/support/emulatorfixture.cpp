#include "emulatorfixture.h"

#include "classroomsettings.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QElapsedTimer>
#include <QtCore/QSettings>
#include <QtCore/QThread>
#include <QtNetwork/QUdpSocket>

namespace TavioTest {

QByteArray toQByteArray(const TavioEmulator::Bytes& bytes)
{
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), int(bytes.size()));
}

TavioEmulator::Bytes toBytes(const QByteArray& bytes)
{
    return TavioEmulator::Bytes(bytes.begin(), bytes.end());
}

TavioEmulator::Bytes hex(const char* hexText) { return toBytes(QByteArray::fromHex(hexText)); }

void writeDiscoverySettings(const QString& address, int tcpPort, int udpPort)
{
    QSettings settings(QSettings::IniFormat, QSettings::SystemScope, QStringLiteral("Corvellan"),
        QStringLiteral("orvikserver"));
    settings.beginGroup(QStringLiteral("Server"));
    settings.setValue(QStringLiteral("address"), address);
    settings.setValue(QStringLiteral("use_tcp_port"), tcpPort);
    settings.setValue(QStringLiteral("use_udp_port"), udpPort);
    settings.sync();
}

quint16 freeUdpPort()
{
    QUdpSocket probe;
    probe.bind(QHostAddress(QHostAddress::LocalHost), 0);
    return probe.localPort();
}

bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeout.count())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

void EmulatorTest::SetUp()
{
    emulator().reset();
    dataDir = std::make_unique<QTemporaryDir>();
    ASSERT_TRUE(dataDir->isValid());
    qputenv("TAVIOSYSTEM_APPDATA", dataDir->filePath(QStringLiteral("appdata")).toLocal8Bit());
    QSettings::setPath(
        QSettings::IniFormat, QSettings::UserScope, dataDir->filePath(QStringLiteral("user")));
    QSettings::setPath(
        QSettings::IniFormat, QSettings::SystemScope, dataDir->filePath(QStringLiteral("system")));
    QSettings::setPath(
        QSettings::NativeFormat, QSettings::UserScope, dataDir->filePath(QStringLiteral("user")));
    QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope,
        dataDir->filePath(QStringLiteral("system")));
    pointClassroomServerAtClosedPort();
    system = std::make_unique<TestSystem>();
    system->setHardwareLibraryName(QStringLiteral(TAVIO_EMULATOR_PATH));
}

void EmulatorTest::TearDown()
{
    if (system)
        system->shutdown();
    system.reset();
    emulator().reset();
}

TavioEmulator::EmulatedHub* EmulatorTest::plugHub(int handle, const std::u16string& driverVersion)
{
    TavioEmulator::HubConfig config;
    config.kind = 3;
    config.handle = handle;
    config.serial = 0x1000 + quint64(handle);
    config.driverVersion = driverVersion;
    return emulator().addHub(config);
}

TavioEmulator::EmulatedHub* EmulatorTest::plugTavioHub(
    int handle, std::shared_ptr<TavioEmulator::TwoPointFourGHzFirmware> firmware)
{
    system->hubs = TestSystem::Hubs::Tavio;
    TavioEmulator::HubConfig config;
    config.kind = 3;
    config.handle = handle;
    config.serial = 0x1000 + quint64(handle);
    return TavioEmulator::addTwoPointFourGHzHub(emulator(), config, std::move(firmware));
}

void EmulatorTest::initialiseSystem()
{
    ASSERT_TRUE(system->initialise());
    // The plug-and-play notifications of hubs plugged in before initialise() ran into no
    // callback; anything later is processed on the event thread.
}

std::vector<QByteArray> EmulatorTest::writesOf(int handle)
{
    std::vector<QByteArray> result;
    if (auto* emulated = emulator().hub(handle)) {
        for (const auto& write : emulated->writes())
            result.push_back(toQByteArray(write.bytes));
    }
    return result;
}

} // namespace TavioTest
