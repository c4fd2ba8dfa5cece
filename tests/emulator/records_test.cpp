// Device records, handles and the attach counters.
#include "emulator_test_support.h"

#include <array>
#include <cstring>
#include <string>

using namespace EmulatorTests;

namespace {

using Record = std::array<unsigned char, 1024>;

std::uint32_t u32At(const Record& record, std::size_t offset)
{
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i)
        value |= std::uint32_t(record[offset + i]) << (8 * i);
    return value;
}

std::u16string utf16At(const Record& record, std::size_t offset)
{
    std::u16string text;
    for (std::size_t at = offset; at + 1 < record.size(); at += 2) {
        const char16_t unit = char16_t(record[at] | (record[at + 1] << 8));
        if (unit == 0)
            break;
        text.push_back(unit);
    }
    return text;
}

bool zeroBetween(const Record& record, std::size_t begin, std::size_t end)
{
    for (std::size_t at = begin; at < end; ++at) {
        if (record[at] != 0)
            return false;
    }
    return true;
}

Record freshRecord()
{
    Record record;
    record.fill(0xCD);
    const std::uint32_t version = 9;
    std::memcpy(record.data(), &version, 4);
    return record;
}

using RecordTest = EmulatorTest;

TEST_F(RecordTest, FieldsSitAtTheirOffsets)
{
    TavioEmulator::HubConfig config;
    config.kind = 4;
    config.connectionType = 2;
    config.versionNumber = 7;
    config.serial = 0x1122334455667788ull;
    config.devicePath = u"usb#hub-\u00e9";
    config.driverVersion = u"6.2.3.4";
    config.additionalInfo = "model=<wireless> name=<Room 4>";
    ASSERT_NE(emu().addHub(config), nullptr);

    Record record = freshRecord();
    ASSERT_EQ(tavioEnumDeviceInfo(0, record.data()), 1);
    EXPECT_EQ(u32At(record, 0), 9u); // left as the caller preset it
    EXPECT_EQ(u32At(record, 4), 4u);
    EXPECT_EQ(u32At(record, 8), 2u);
    EXPECT_EQ(u32At(record, 12), 7u);
    EXPECT_EQ(u32At(record, 16), 0u);
    EXPECT_EQ(u32At(record, 20), 1u); // the first automatic handle
    EXPECT_EQ(record[24], 0x88); // serial: low word first, little-endian
    EXPECT_EQ(u32At(record, 24), 0x55667788u);
    EXPECT_EQ(u32At(record, 28), 0x11223344u);
    EXPECT_EQ(utf16At(record, 32), config.devicePath);
    EXPECT_TRUE(zeroBetween(record, 32 + 2 * config.devicePath.size(), 556));
    EXPECT_EQ(utf16At(record, 556), u"6.2.3.4");
    EXPECT_TRUE(zeroBetween(record, 556 + 14, 613));
    EXPECT_EQ(
        std::string(reinterpret_cast<const char*>(record.data() + 613)), config.additionalInfo);
    EXPECT_TRUE(zeroBetween(record, 613 + config.additionalInfo.size(), 1024));
}

TEST_F(RecordTest, LongTextsAreTruncatedAndTerminated)
{
    TavioEmulator::HubConfig config;
    config.devicePath = std::u16string(400, u'p');
    config.driverVersion = std::u16string(40, u'v');
    config.additionalInfo = std::string(600, 'i');
    ASSERT_NE(emu().addHub(config), nullptr);

    Record record = freshRecord();
    ASSERT_EQ(tavioEnumDeviceInfo(0, record.data()), 1);
    EXPECT_EQ(utf16At(record, 32), std::u16string(261, u'p'));
    EXPECT_EQ(record[554], 0);
    EXPECT_EQ(record[555], 0);
    EXPECT_EQ(utf16At(record, 556), std::u16string(27, u'v'));
    EXPECT_TRUE(zeroBetween(record, 610, 613));
    EXPECT_EQ(
        std::string(reinterpret_cast<const char*>(record.data() + 613)), std::string(410, 'i'));
    EXPECT_EQ(record[1023], 0);
}

TEST_F(RecordTest, RecordsFollowPlugOrderAndFailures)
{
    for (int serial = 1; serial <= 3; ++serial) {
        TavioEmulator::HubConfig config;
        config.serial = std::uint64_t(serial);
        ASSERT_NE(emu().addHub(config), nullptr);
    }
    ASSERT_TRUE(emu().removeHub(2));
    EXPECT_EQ(tavioGetDeviceCount(), 2);

    Record record = freshRecord();
    ASSERT_EQ(tavioEnumDeviceInfo(1, record.data()), 1);
    EXPECT_EQ(u32At(record, 20), 3u);
    EXPECT_EQ(u32At(record, 24), 3u);

    EXPECT_EQ(tavioEnumDeviceInfo(2, record.data()), 0);
    EXPECT_EQ(tavioEnumDeviceInfo(-1, record.data()), 0);
    EXPECT_EQ(tavioEnumDeviceInfo(0, nullptr), 0);
    emu().setFailingRecordIndex(0);
    EXPECT_EQ(tavioEnumDeviceInfo(0, record.data()), 0);
    EXPECT_EQ(tavioEnumDeviceInfo(1, record.data()), 1);
}

TEST_F(RecordTest, HandlesAreNotReusedAutomatically)
{
    TavioEmulator::HubConfig automatic;
    EXPECT_EQ(emu().addHub(automatic)->handle(), 1);
    EXPECT_EQ(emu().addHub(automatic)->handle(), 2);
    ASSERT_TRUE(emu().removeHub(2));
    EXPECT_EQ(emu().addHub(automatic)->handle(), 3);

    TavioEmulator::HubConfig fixed;
    fixed.handle = 7;
    TavioEmulator::EmulatedHub* hub = emu().addHub(fixed);
    ASSERT_NE(hub, nullptr);
    EXPECT_EQ(hub->config().handle, 7);
    EXPECT_EQ(emu().addHub(fixed), nullptr); // in use
    ASSERT_TRUE(emu().removeHub(7));
    EXPECT_NE(emu().addHub(fixed), nullptr); // the same receiver plugged in again
    EXPECT_EQ(emu().handles(), (std::vector<int> { 1, 3, 7 }));
    EXPECT_FALSE(emu().removeHub(42));
}

TEST_F(RecordTest, AttachReportsHubsAndCountsCalls)
{
    emu().addHub({});
    emu().addHub({});
    EXPECT_EQ(tavioInterface(), 1);
    EXPECT_EQ(tavioAttach(), 2);
    tavioDetach();
    tavioDetach();
    EXPECT_EQ(emu().attachCount(), 1);
    EXPECT_EQ(emu().detachCount(), 2);
}

} // namespace
