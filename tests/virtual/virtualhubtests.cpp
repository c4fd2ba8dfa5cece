// The virtual 2.4 GHz hub as a host meets it, against the emulator's software receiver: its
// listing, name and details, generic messages both ways, and the records it decodes.

#include "support/emulatorfixture.h"

#include "virtual/virtualhubrecords.h"

#include <taviosystem/virtualtwopointfourghzhub.h>

#include <tavioemulator/virtualfirmware.h>

#include <QtCore/QCoreApplication>
#include <QtCore/QThread>

using namespace Taviosystem;
using namespace TavioTest;
using TavioEmulator::EmulatedDevice;
using TavioEmulator::VirtualTwoPointFourGHzFirmware;

namespace {

const int Handle = 3;
const quint32 DeviceUid = 0x00B10007;
const quint16 DeviceAddress = 0x0207;

struct Received
{
    Hub* hub;
    unsigned int uid;
    QByteArray message;
    bool flag;
};

void recordMessage(Hub* hub, unsigned int uid, const QByteArray& message, void* context, bool flag)
{
    static_cast<Recorder<Received>*>(context)->append({ hub, uid, message, flag });
}

class VirtualHubTest : public EmulatorTest
{
protected:
    void SetUp() override
    {
        EmulatorTest::SetUp();
        firmware = std::make_shared<VirtualTwoPointFourGHzFirmware>();
        firmware->setHubName("Lab 3");
        firmware->radio()->addDevice(EmulatedDevice::expression(DeviceUid, DeviceAddress, "Ana"));
    }

    TavioEmulator::EmulatedHub* plug(int handle, const std::u16string& path)
    {
        TavioEmulator::HubConfig config;
        config.kind = 4;
        config.handle = handle;
        config.serial = 0x5100 + quint64(handle);
        config.versionNumber = 7;
        config.devicePath = path;
        return TavioEmulator::addVirtualTwoPointFourGHzHub(emulator(), config, firmware);
    }

    // The test's own hub class, whose waits can be shortened.
    void start(const std::u16string& path = u"vh:/127.0.0.1/:north:12:b")
    {
        system->hubs = TestSystem::Hubs::Tavio;
        emulated = plug(Handle, path);
        initialiseSystem();
        hub = system->virtualHub(Handle);
        ASSERT_NE(hub, nullptr);
        emulated->clearWrites();
    }

    std::vector<QByteArray> writes()
    {
        std::vector<QByteArray> result;
        for (const auto& write : emulated->writes())
            result.push_back(toQByteArray(write.bytes));
        return result;
    }

    void deliver(const TavioEmulator::Bytes& packet)
    {
        emulated->deliver(packet);
        ASSERT_TRUE(emulated->waitUntilDelivered(2000ms));
    }

    std::shared_ptr<VirtualTwoPointFourGHzFirmware> firmware;
    TavioEmulator::EmulatedHub* emulated = nullptr;
    TestVirtualHub* hub = nullptr;
};

TEST_F(VirtualHubTest, AVirtualReceiverIsListedAsAVirtualHubAndComesBackAsTheSameObject)
{
    // Discovery reports on the event thread after a plug or unplug.
    Recorder<int> added;
    Recorder<int> removed;
    QObject::connect(
        system.get(), &TavioSystem::newTavioHubConnected, system.get(),
        [&](int handle) { added.append(handle); }, Qt::DirectConnection);
    QObject::connect(
        system.get(), &TavioSystem::tavioHubDisconnected, system.get(),
        [&](int handle) { removed.append(handle); }, Qt::DirectConnection);
    plug(Handle, u"vh:/127.0.0.1/:north:12:b");
    initialiseSystem();

    QMap<int, HubDisplayInfo> map;
    ASSERT_TRUE(system->getTavioHubInfoMap(map));
    ASSERT_TRUE(map.contains(Handle));
    EXPECT_TRUE(map.value(Handle).isVirtualHub);
    EXPECT_FALSE(map.value(Handle).isRondel2Hub);
    EXPECT_EQ(map.value(Handle).uid, 0x5100u + Handle);
    Hub* listed = system->connectedHub(Handle);
    auto* virtualHub = qobject_cast<VirtualTwoPointFourGHzHub*>(listed);
    ASSERT_NE(virtualHub, nullptr);
    EXPECT_TRUE(virtualHub->isVirtualHub());
    EXPECT_EQ(virtualHub->getVersion(), 7);
    EXPECT_EQ(added.size(), 1u);

    ASSERT_TRUE(emulator().removeHub(Handle));
    ASSERT_TRUE(waitFor([&] { return removed.size() == 1; }));
    ASSERT_TRUE(system->getTavioHubInfoMap(map));
    EXPECT_FALSE(map.contains(Handle));
    EXPECT_FALSE(virtualHub->isConnected());

    plug(Handle, u"vh:/127.0.0.1/:north:12:b");
    ASSERT_TRUE(waitFor([&] { return added.size() == 2; }));
    EXPECT_EQ(system->connectedHub(Handle), listed);
    ASSERT_TRUE(system->getTavioHubInfoMap(map));
    EXPECT_TRUE(map.value(Handle).isVirtualHub);
}

TEST_F(VirtualHubTest, TheNameIsAskedForWithGLAndTheDetailsCarryTheDevicePath)
{
    start();
    EXPECT_EQ(hub->name(), QStringLiteral("Lab 3"));
    EXPECT_EQ(writes(), std::vector<QByteArray> { QByteArray(":GL\r") });
    EXPECT_EQ(hub->asGetHubDetails(), QStringLiteral("Lab 3@127.0.0.1:north:12:b"));

    // A first byte that counts the whole packet gives the same name.
    firmware->setNameLengthByte(VirtualTwoPointFourGHzFirmware::NameLengthByte::Packet);
    EXPECT_EQ(hub->name(), QStringLiteral("Lab 3"));
}

TEST_F(VirtualHubTest, AFourPartPathLeavesHostAndFieldsEmpty)
{
    start(u"vh:/10.1.1.1/:north:12");
    EXPECT_EQ(hub->asGetHubDetails(), QStringLiteral("Lab 3@:::"));
}

TEST_F(VirtualHubTest, ASilentHubHasNoNameAndACommsFailure)
{
    start();
    firmware->setSilent(true);
    EXPECT_EQ(hub->name(), QStringLiteral("???"));
    EXPECT_EQ(hub->getLastError(), Hub::Error_CommsFailure);
}

TEST_F(VirtualHubTest, AnUnpluggedHubHasNoNameAndIsNotConnected)
{
    start();
    ASSERT_TRUE(emulator().removeHub(Handle));
    ASSERT_TRUE(waitFor([&] { return !hub->isConnected(); }));
    EXPECT_EQ(hub->name(), QStringLiteral("???"));
    EXPECT_EQ(hub->getLastError(), Hub::Error_NotConnected);
}

TEST_F(VirtualHubTest, GenericMessagesGoOutInTheHubsFrame)
{
    start();
    struct Case
    {
        QByteArray payload;
        QByteArray frame;
    };
    const QByteArray longPayload(300, 'x');
    const Case cases[] = {
        { QByteArray(), QByteArray::fromHex("3a41453030320d0207000000") },
        { QByteArray("A"), QByteArray::fromHex("3a41453030320d020700000141") },
        { QByteArray::fromHex("00ff0d"), QByteArray::fromHex("3a41453030320d020700000300ff0d") },
        { longPayload, QByteArray::fromHex("3a41453030320d020700012c") + longPayload },
    };
    for (const Case& c : cases) {
        emulated->clearWrites();
        EXPECT_TRUE(hub->sendGenericAsyncMessage(DeviceUid, c.payload));
        EXPECT_EQ(writes(), std::vector<QByteArray> { c.frame }) << c.payload.toHex().constData();
    }
    const auto messages = firmware->genericMessages();
    ASSERT_EQ(messages.size(), std::size(cases));
    EXPECT_EQ(messages.back().address, DeviceAddress);
    EXPECT_TRUE(messages.back().complete);
}

TEST_F(VirtualHubTest, AMessageForAnUnknownDeviceIsNoErrorAndNothingIsWritten)
{
    start();
    EXPECT_TRUE(hub->sendGenericAsyncMessage(0x0BADF00D, QByteArray("hello")));
    EXPECT_TRUE(writes().empty());
}

TEST_F(VirtualHubTest, AGenericMessageWithoutOKIsACommsFailure)
{
    start();
    hub->setResponseTimeout(50);
    firmware->setGenericOkDropped(true);
    EXPECT_FALSE(hub->sendGenericAsyncMessage(DeviceUid, QByteArray("hello")));
    EXPECT_EQ(hub->getLastError(), Hub::Error_CommsFailure);
}

TEST_F(VirtualHubTest, ARefusedWriteIsACommsFailure)
{
    start();
    emulated->setRefuseWrites(true);
    EXPECT_FALSE(hub->sendGenericAsyncMessage(DeviceUid, QByteArray("hello")));
    EXPECT_EQ(hub->getLastError(), Hub::Error_CommsFailure);
}

TEST_F(VirtualHubTest, APayloadPastTwentyFourBitsIsRefused)
{
    start();
    EXPECT_FALSE(hub->sendGenericAsyncMessage(DeviceUid, QByteArray(0x1000000, 'x')));
    EXPECT_EQ(hub->getLastError(), Hub::Error_InvalidParameter);
    EXPECT_TRUE(writes().empty());
}

TEST_F(VirtualHubTest, GenericPacketsReachTheRunningSessionOnlyWithTheirDevicesUid)
{
    start();
    Recorder<Received> received;
    const auto packet = [](quint16 address, const char* text) {
        return VirtualTwoPointFourGHzFirmware::genericPacket(
            address, toBytes(QByteArray(text)), 0x000102);
    };

    deliver(packet(DeviceAddress, "before"));
    ASSERT_TRUE(hub->startEnhancedGenericSession(&recordMessage, &received));
    EXPECT_EQ(writes(), std::vector<QByteArray> { QByteArray(":AE001\r") });
    EXPECT_TRUE(firmware->genericSessionRunning());

    deliver(packet(DeviceAddress, "first"));
    deliver(packet(0x7777, "stranger"));
    deliver(packet(0, "nobody"));
    deliver(hex("00000000e102")); // six bytes: not a generic packet
    ASSERT_TRUE(waitFor([&] { return received.size() >= 3; }));
    ASSERT_TRUE(hub->stopSession());
    deliver(packet(DeviceAddress, "after"));
    QThread::msleep(20);
    QCoreApplication::processEvents();

    const auto values = received.values();
    ASSERT_EQ(values.size(), 3u);
    EXPECT_EQ(values[0].hub, hub);
    EXPECT_EQ(values[0].uid, DeviceUid);
    EXPECT_EQ(values[0].message, QByteArray("first"));
    EXPECT_TRUE(values[0].flag);
    EXPECT_EQ(values[1].uid, 0u);
    EXPECT_EQ(values[1].message, QByteArray("stranger"));
    EXPECT_EQ(values[2].uid, 0u);
    EXPECT_EQ(values[2].message, QByteArray("nobody"));
}

TEST_F(VirtualHubTest, WithoutACallbackGenericPacketsAreSignalled)
{
    start();
    Recorder<Received> received;
    QObject::connect(
        hub, &Hub::asyncReceiveMsg, hub,
        [&](Hub* from, quint32 uid, QByteArray message, bool flag) {
            received.append({ from, uid, message, flag });
        },
        Qt::DirectConnection);
    ASSERT_TRUE(hub->startEnhancedGenericSession(nullptr, nullptr));
    deliver(VirtualTwoPointFourGHzFirmware::genericPacket(DeviceAddress, toBytes("hi")));
    ASSERT_TRUE(waitFor([&] { return received.size() == 1; }));
    EXPECT_EQ(received.values()[0].uid, DeviceUid);
    EXPECT_EQ(received.values()[0].message, QByteArray("hi"));
    EXPECT_TRUE(received.values()[0].flag);
}

// Records -----------------------------------------------------------------------------------------

TEST(VirtualHubRecords, TheNameReplyTakesAtMostTheBytesPresent)
{
    struct Case
    {
        const char* packet;
        const char* name;
        bool valid;
    };
    const Case cases[] = {
        { "05a34c61622033", "Lab 3", true }, // byte 0 the name's length
        { "07a34c61622033", "Lab 3", true }, // byte 0 the packet's length
        { "ffa34c6162", "Lab", true }, // byte 0 past the packet
        { "05a34c6100ff", "La", true }, // up to the first NUL
        { "00a3", "", true },
        { "e9a3", "", true }, // Latin-1
        { "05a2416263", "", false },
        { "05", "", false },
        { "", "", false },
    };
    for (const Case& c : cases) {
        const EnhancedNameResponse reply(QByteArray::fromHex(c.packet));
        EXPECT_EQ(reply.isValid(), c.valid) << c.packet;
        EXPECT_EQ(reply.name, QString::fromLatin1(c.name)) << c.packet;
    }
    EXPECT_EQ(EnhancedNameResponse(QByteArray::fromHex("03a3e9")).name, QStringLiteral("\u00e9"));
}

TEST(VirtualHubRecords, GenericPacketsNeedSevenBytesAZeroAndTheFlag)
{
    const VirtualGenericAsyncResponse record(QByteArray::fromHex("00010203e10a0b4849"));
    ASSERT_TRUE(record.isValid());
    EXPECT_TRUE(record.generic);
    EXPECT_EQ(record.value, 0x010203u);
    EXPECT_EQ(record.address, 0x0A0B);
    EXPECT_EQ(record.payload, QByteArray("HI"));
    EXPECT_TRUE(VirtualGenericAsyncResponse(QByteArray::fromHex("00000000e10001")).isValid());
    EXPECT_TRUE(
        VirtualGenericAsyncResponse(QByteArray::fromHex("00000000e10001")).payload.isEmpty());
    EXPECT_FALSE(VirtualGenericAsyncResponse(QByteArray::fromHex("00000000e100")).isValid());
    EXPECT_FALSE(VirtualGenericAsyncResponse(QByteArray::fromHex("01000000e10001")).isValid());
    EXPECT_FALSE(VirtualGenericAsyncResponse(QByteArray::fromHex("00000000e20001")).isValid());
}

TEST(VirtualHubRecords, TheConstructionStringKeepsEmptyPartsAndDropsSlashes)
{
    struct Case
    {
        const char* info;
        const char* host;
        const char* field2;
        const char* field3;
        const char* field4;
    };
    const Case cases[] = {
        { "vh:/127.0.0.1/:a:b:c", "127.0.0.1", "a", "b", "c" },
        { "vh://server//:a:b:c:ignored:more", "server", "a", "b", "c" },
        { "::::", "", "", "", "" },
        { "vh:host::b:", "host", "", "b", "" },
        { "vh:host:a:b", "", "", "", "" },
        { "", "", "", "", "" },
        { "/:/:/:/:/", "", "/", "/", "/" },
    };
    for (const Case& c : cases) {
        const VirtualHubAddress address = VirtualHubAddress::parse(QString::fromLatin1(c.info));
        EXPECT_EQ(address.host, QLatin1String(c.host)) << c.info;
        EXPECT_EQ(address.field2, QLatin1String(c.field2)) << c.info;
        EXPECT_EQ(address.field3, QLatin1String(c.field3)) << c.info;
        EXPECT_EQ(address.field4, QLatin1String(c.field4)) << c.info;
    }
}

} // namespace
