// The wrapper over the board library: loading, defaults for missing functions, the record.

#include "support/emulatorfixture.h"

#include "system/boarddeviceinfo.h"
#include "system/taviowrapper.h"

#include <QtCore/QLibrary>

using namespace Taviosystem;
using namespace TavioTest;

namespace {

class WrapperTest : public EmulatorTest
{
};

TEST_F(WrapperTest, AMissingLibraryAnswersEveryDefault)
{
    TavioWrapper wrapper(QStringLiteral("/nonexistent/libnothing.so"));
    EXPECT_EQ(wrapper.load(), 0);
    EXPECT_FALSE(wrapper.isLoaded());
    EXPECT_EQ(wrapper.libraryInterface(), 0);
    EXPECT_EQ(wrapper.sendCommand(1, 2), -1);
    EXPECT_EQ(wrapper.writePacket(1, "ab", 2), -1);
    EXPECT_EQ(wrapper.getDeviceCount(), 0);
    BoardDeviceInfo record;
    EXPECT_FALSE(wrapper.enumDeviceInfo(0, &record));
    EXPECT_EQ(wrapper.getPointingDeviceDestination(1, 1, 0), 255);
    EXPECT_EQ(wrapper.getTouchDestination(1), 255);
    EXPECT_TRUE(wrapper.getTouchEnabled(1));
    EXPECT_TRUE(wrapper.getTouchSystemRedirectionEnabled(1));
    EXPECT_EQ(wrapper.getLATEDetection(1), 255);
    EXPECT_FALSE(wrapper.isSomethingOnBoard(1));
    EXPECT_EQ(wrapper.openSynchronousChannel(1, 2, 3), -1);
    EXPECT_EQ(wrapper.readSynchronousPacket(1, 2, 3, 4, 5), -1);
    EXPECT_FALSE(wrapper.setCalibrationMode(1, 2));
    EXPECT_EQ(wrapper.getHIDCoordinateReportMode(1), 0);
    EXPECT_FALSE(wrapper.serialConnect(1));
    EXPECT_FALSE(wrapper.serialDisconnect());
    EXPECT_FALSE(wrapper.serialGetConnected(1));
    EXPECT_EQ(wrapper.serialGetStartupMode(), 0);
    // Operations without a result simply do nothing.
    wrapper.detach();
    wrapper.setXferMask(1, 255);
    wrapper.setTouchDestinationEx(1, 2, true);
    wrapper.setPointingDeviceDestinationEx(1, 1, true, 2, true);
    wrapper.lock();
    wrapper.unlock();
    wrapper.sendTouchPacketToSystem(1, nullptr, 0);
}

TEST_F(WrapperTest, TheEmulatorOffersEveryFunction)
{
    plugHub(3);
    plugHub(4);
    TavioWrapper wrapper(QStringLiteral(TAVIO_EMULATOR_PATH));
    EXPECT_EQ(wrapper.load(), 2); // the attach result: hubs attached
    EXPECT_TRUE(wrapper.isLoaded());
    for (const char* name : { "tavioAttach", "tavioGetTouchDestination", "tavioReverseButtons",
             "tavioSetTouchDestinationEx", "tavioSendTouchPacketToSystem" })
        EXPECT_TRUE(wrapper.hasFunction(name)) << name;
    EXPECT_FALSE(wrapper.hasFunction("tavioNoSuchFunction"));

    wrapper.setTouchDestinationEx(3, 6, true);
    wrapper.setPointingDeviceDestinationEx(4, 2, true, 1, true);
    wrapper.setXferMask(4, 255);
    const auto settings3 = emulator().hub(3)->boardSettings();
    const auto settings4 = emulator().hub(4)->boardSettings();
    EXPECT_EQ(settings3.touchDestination, 6);
    EXPECT_TRUE(settings3.touchDestinationExtra);
    EXPECT_EQ(settings4.penDestination[2], 1);
    EXPECT_TRUE(settings4.penDestinationFlag[2]);
    EXPECT_TRUE(settings4.penDestinationExtra[2]);
    EXPECT_EQ(settings4.xferMask, 255);
    EXPECT_EQ(wrapper.getTouchDestination(3), 6);
}

TEST_F(WrapperTest, ALibraryLackingFunctionsGetsTheirDefaults)
{
    qputenv("TAVIOEMU_MINIMAL_HUBS", "2");
    TavioWrapper wrapper(QStringLiteral(TAVIO_EMULATOR_MINIMAL_PATH));
    EXPECT_EQ(wrapper.load(), 0); // no attach function
    qunsetenv("TAVIOEMU_MINIMAL_HUBS");
    ASSERT_TRUE(wrapper.isLoaded());
    EXPECT_FALSE(wrapper.hasFunction("tavioAttach"));
    EXPECT_EQ(wrapper.getDeviceCount(), 2);
    EXPECT_TRUE(wrapper.getTouchSystemRedirectionEnabled(1));
    wrapper.setTouchSystemRedirectionEnabled(1, false);
    EXPECT_TRUE(wrapper.getTouchSystemRedirectionEnabled(1)); // still the default
    EXPECT_EQ(wrapper.getTouchDestination(1), 255);
    EXPECT_EQ(wrapper.getLATEDetection(1), 255);
    EXPECT_EQ(wrapper.getPointingDeviceDestination(1, 1, 0), 255);

    // Only the plain functions exist: the Ex operations fall back on them.
    typedef unsigned char (*Peek)(int);
    auto peekTouch = reinterpret_cast<Peek>(
        QLibrary::resolve(QStringLiteral(TAVIO_EMULATOR_MINIMAL_PATH), "tavioemuTouchDestination"));
    ASSERT_NE(peekTouch, nullptr);
    wrapper.setTouchDestinationEx(1, 4, true);
    EXPECT_EQ(peekTouch(1), 4);
    typedef unsigned char (*PeekPen)(int, unsigned char);
    auto peekPen = reinterpret_cast<PeekPen>(
        QLibrary::resolve(QStringLiteral(TAVIO_EMULATOR_MINIMAL_PATH), "tavioemuPenDestination"));
    ASSERT_NE(peekPen, nullptr);
    wrapper.setPointingDeviceDestinationEx(2, 3, true, 2, true);
    EXPECT_EQ(peekPen(2, 3), 2);
}

TEST_F(WrapperTest, TheRecordIsReadAtItsOffsets)
{
    TavioEmulator::HubConfig config;
    config.kind = 2;
    config.connectionType = 1;
    config.versionNumber = 395;
    config.handle = 12;
    config.serial = 0x1122334455667788ull;
    config.devicePath = u"/dev/tavio/\u00e9\u4e2d";
    config.driverVersion = u"5.1.12.34";
    config.additionalInfo = "xp=<-1> hid=<true>";
    emulator().addHub(config);
    TavioEmulator::HubConfig longTexts;
    longTexts.handle = 13;
    longTexts.devicePath = std::u16string(400, u'p');
    longTexts.driverVersion = std::u16string(60, u'7');
    longTexts.additionalInfo = std::string(800, 'x');
    emulator().addHub(longTexts);

    TavioWrapper wrapper(QStringLiteral(TAVIO_EMULATOR_PATH));
    wrapper.load();
    BoardDeviceInfo record;
    ASSERT_TRUE(wrapper.enumDeviceInfo(0, &record));
    EXPECT_EQ(record.version(), 9);
    EXPECT_EQ(record.kind(), 2);
    EXPECT_EQ(record.connectionType(), 1);
    EXPECT_EQ(record.versionNumber(), 395);
    EXPECT_EQ(record.handle(), 12);
    EXPECT_EQ(record.serial(), 0x1122334455667788ull);
    EXPECT_EQ(record.devicePath(), QString::fromUtf16(u"/dev/tavio/\u00e9\u4e2d"));
    EXPECT_EQ(record.driverVersion(), QStringLiteral("5.1.12.34"));
    EXPECT_EQ(record.additionalInfo(), QByteArray("xp=<-1> hid=<true>"));

    ASSERT_TRUE(wrapper.enumDeviceInfo(1, &record));
    EXPECT_EQ(record.handle(), 13);
    EXPECT_LE(record.devicePath().size(), 262);
    EXPECT_GT(record.devicePath().size(), 200);
    EXPECT_LE(record.driverVersion().size(), 28);
    EXPECT_LE(record.additionalInfo().size(), 411);
    EXPECT_FALSE(wrapper.enumDeviceInfo(2, &record));
    EXPECT_FALSE(wrapper.enumDeviceInfo(-1, &record));
}

TEST(BoardDeviceInfoTest, TextsWithoutTerminatorsStopAtTheirField)
{
    BoardDeviceInfo record;
    std::memset(record.bytes, 'A', sizeof record.bytes);
    EXPECT_EQ(record.devicePath().size(), (556 - 32) / 2);
    EXPECT_EQ(record.driverVersion().size(), (613 - 556) / 2);
    EXPECT_EQ(record.additionalInfo().size(), 1024 - 613);
}

} // namespace
