// The library's own surface: device records and handles, plug-and-play notifications, reset,
// the reduced library and leaving the process with hubs plugged in.
#include "emulator_test_support.h"

#include <dlfcn.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <string>

using namespace EmulatorTests;

namespace {

using LibraryTest = EmulatorTest;

// The record tavioEnumDeviceInfo fills for `index`, over a buffer of 0xCD bytes.
struct Record
{
    std::array<unsigned char, 1024> bytes;
    unsigned char result;

    explicit Record(int index)
    {
        bytes.fill(0xCD);
        result = tavioEnumDeviceInfo(index, bytes.data());
    }
    std::uint32_t u32(std::size_t at) const
    {
        return std::uint32_t(bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16)
            | std::uint32_t(bytes[at + 3]) << 24;
    }
    // Reading stops at the terminator, so a missing one shows as a longer text.
    std::u16string utf16(std::size_t at) const
    {
        std::u16string text;
        for (; at + 1 < bytes.size() && (bytes[at] || bytes[at + 1]); at += 2)
            text.push_back(char16_t(bytes[at] | bytes[at + 1] << 8));
        return text;
    }
    std::string text(std::size_t at) const { return reinterpret_cast<const char*>(&bytes[at]); }
};

TEST_F(LibraryTest, RecordFieldsSitAtTheirOffsets)
{
    TavioEmulator::HubConfig config;
    config.kind = 4;
    config.connectionType = 2;
    config.versionNumber = 7;
    config.serial = 0x1122334455667788ull;
    config.devicePath = u"usb#hub-\u00e9";
    config.additionalInfo = "model=<wireless> name=<Room 4>";
    ASSERT_NE(emu().addHub(config), nullptr);

    const Record record(0);
    ASSERT_EQ(record.result, 1);
    EXPECT_EQ(record.u32(0), 0xCDCDCDCDu); // the version is the caller's
    EXPECT_EQ(record.u32(4), 4u);
    EXPECT_EQ(record.u32(8), 2u);
    EXPECT_EQ(record.u32(12), 7u);
    EXPECT_EQ(record.u32(16), 0u);
    EXPECT_EQ(record.u32(20), 1u); // the first automatic handle
    EXPECT_EQ(record.u32(24), 0x55667788u); // serial: low word first
    EXPECT_EQ(record.u32(28), 0x11223344u);
    EXPECT_EQ(record.utf16(32), config.devicePath);
    EXPECT_EQ(record.utf16(556), u"6.2.3.4");
    EXPECT_EQ(record.text(613), config.additionalInfo);
}

TEST_F(LibraryTest, LongRecordTextsAreTruncatedAndTerminated)
{
    TavioEmulator::HubConfig config;
    config.devicePath = std::u16string(400, u'p');
    config.driverVersion = std::u16string(40, u'v');
    config.additionalInfo = std::string(600, 'i');
    ASSERT_NE(emu().addHub(config), nullptr);

    const Record record(0);
    EXPECT_EQ(record.utf16(32), std::u16string(261, u'p'));
    EXPECT_EQ(record.utf16(556), std::u16string(27, u'v'));
    EXPECT_EQ(record.text(613), std::string(410, 'i'));
}

TEST_F(LibraryTest, RecordsFollowPlugOrderHandlesAndFailures)
{
    for (int serial = 1; serial <= 3; ++serial) {
        TavioEmulator::HubConfig config;
        config.serial = std::uint64_t(serial);
        ASSERT_EQ(emu().addHub(config)->handle(), serial);
    }
    ASSERT_TRUE(emu().removeHub(2));
    EXPECT_FALSE(emu().removeHub(42));
    EXPECT_EQ(tavioGetDeviceCount(), 2);
    EXPECT_EQ(Record(1).u32(20), 3u);
    EXPECT_EQ(Record(1).u32(24), 3u);
    EXPECT_EQ(Record(2).result, 0);
    EXPECT_EQ(Record(-1).result, 0);
    EXPECT_EQ(tavioEnumDeviceInfo(0, nullptr), 0);
    emu().setFailingRecordIndex(0);
    EXPECT_EQ(Record(0).result, 0);
    EXPECT_EQ(Record(1).result, 1);

    // Handles are not reused automatically; a fixed handle may come back once it is free.
    EXPECT_EQ(emu().addHub({})->handle(), 4);
    TavioEmulator::HubConfig fixed;
    fixed.handle = 7;
    ASSERT_NE(emu().addHub(fixed), nullptr);
    EXPECT_EQ(emu().addHub(fixed), nullptr); // in use
    ASSERT_TRUE(emu().removeHub(7));
    EXPECT_NE(emu().addHub(fixed), nullptr);
    EXPECT_EQ(emu().handles(), (std::vector<int> { 1, 3, 4, 7 }));

    EXPECT_EQ(tavioInterface(), 1);
    EXPECT_EQ(tavioAttach(), 4);
    tavioDetach();
    tavioDetach();
    EXPECT_EQ(emu().attachCount(), 1);
    EXPECT_EQ(emu().detachCount(), 2);
}

// Records the device count each notification saw and its thread; holds every notification
// until released.
struct PnpLog
{
    std::mutex m;
    std::vector<int> counts;
    std::vector<std::thread::id> threads;
    std::atomic<bool> release { true };

    static void callback(void* ctx)
    {
        auto* log = static_cast<PnpLog*>(ctx);
        for (int i = 0; i < 500 && !log->release; ++i)
            std::this_thread::sleep_for(1ms);
        const int count = tavioGetDeviceCount();
        std::lock_guard<std::mutex> lock(log->m);
        log->counts.push_back(count);
        log->threads.push_back(std::this_thread::get_id());
    }
};

TEST_F(LibraryTest, PlugAndPlayNotifiesOnTheNotificationThread)
{
    PnpLog log;
    tavioSetPnpCallback(&PnpLog::callback, &log);
    EXPECT_TRUE(emu().hasPnpCallback());
    auto* hub = emu().addHub({});
    ASSERT_TRUE(emu().waitForPnpIdle(500ms));
    ASSERT_TRUE(emu().removeHub(hub->handle()));
    ASSERT_TRUE(emu().waitForPnpIdle(500ms));

    // Adding and removing return at once; notifications follow in order.
    log.release = false;
    emu().removeHub(emu().addHub({})->handle());
    emu().notifyPnp();
    EXPECT_FALSE(emu().waitForPnpIdle(5ms));
    log.release = true;
    ASSERT_TRUE(emu().waitForPnpIdle(500ms));
    {
        std::lock_guard<std::mutex> lock(log.m);
        EXPECT_EQ(log.counts, (std::vector<int> { 1, 0, 0, 0, 0 }));
        EXPECT_NE(log.threads[0], std::this_thread::get_id());
        EXPECT_EQ(log.threads[0], log.threads[4]);
    }
    EXPECT_EQ(emu().pnpNotificationsDelivered(), 5);

    // Handle 0 clears the plug-and-play callback.
    tavioClearCallback(0, asPointer(&PnpLog::callback), &log);
    EXPECT_FALSE(emu().hasPnpCallback());
    emu().notifyPnp();
    ASSERT_TRUE(emu().waitForPnpIdle(500ms));
    EXPECT_EQ(emu().pnpNotificationsDelivered(), 5);
}

TEST_F(LibraryTest, ResetForgetsEverythingWithoutNotifying)
{
    PnpLog log;
    PacketLog packets;
    auto* hub = emu().addHub({});
    emu().addHub({});
    tavioSetCallback(hub->handle(), &PacketLog::callback, &packets);
    write(hub->handle(), { 1 });
    hub->deliver({ 2 }, 10s); // dropped by the reset
    tavioAttach();
    emu().setFailingRecordIndex(0);
    ASSERT_TRUE(emu().waitForPnpIdle(500ms));
    tavioSetPnpCallback(&PnpLog::callback, &log);

    emu().reset();

    EXPECT_TRUE(emu().waitForPnpIdle(500ms));
    EXPECT_TRUE(log.counts.empty());
    EXPECT_FALSE(emu().hasPnpCallback());
    EXPECT_TRUE(emu().handles().empty());
    EXPECT_TRUE(emu().allWrites().empty());
    EXPECT_EQ(emu().attachCount(), 0);
    EXPECT_TRUE(packets.bytes().empty());
    auto* again = emu().addHub({});
    EXPECT_EQ(again->handle(), 1);
    EXPECT_FALSE(again->hasPacketCallback());
    EXPECT_EQ(Record(0).result, 1);
}

TEST_F(LibraryTest, ReducedLibraryLacksTheOptionalFunctionsAndKeepsItsOwnState)
{
    ::setenv("TAVIOEMU_MINIMAL_HUBS", "3", 1);
    void* library = ::dlopen(TAVIOEMU_MINIMAL_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ::unsetenv("TAVIOEMU_MINIMAL_HUBS"); // read when the library was loaded
    ASSERT_NE(library, nullptr) << ::dlerror();

    for (const char* name : { "tavioAttach", "tavioGetTouchDestination",
             "tavioGetTouchSystemRedirectionEnabled", "tavioSetTouchDestinationEx",
             "tavioSetPointingDeviceDestinationEx", "tavioGetLATEDetection",
             "tavioGetPointingDeviceDestination", "_ZN13TavioEmulator8Emulator8instanceEv" })
        EXPECT_EQ(::dlsym(library, name), nullptr) << name;
    const auto function = [library](const char* name) {
        void* symbol = ::dlsym(library, name);
        Dl_info info {};
        EXPECT_TRUE(symbol && ::dladdr(symbol, &info)
            && std::strstr(info.dli_fname, "tavioboardex_minimal"))
            << name;
        return symbol;
    };
    for (const char* name : { "tavioDetach", "tavioLock" })
        function(name);

    // Three hubs of its own, and none of the full library's.
    emu().addHub({});
    ASSERT_EQ(reinterpret_cast<int (*)()>(function("tavioGetDeviceCount"))(), 3);
    unsigned char record[1024] = {};
    ASSERT_EQ(
        reinterpret_cast<unsigned char (*)(int, void*)>(function("tavioEnumDeviceInfo"))(2, record),
        1);
    std::int32_t fields[6] = {};
    std::memcpy(fields, record + 4, sizeof fields); // kind at 4 ... serial low at 24
    EXPECT_EQ(fields[0], 3);
    EXPECT_EQ(fields[4], 3);
    EXPECT_EQ(fields[5], 0x1003);
    EXPECT_EQ(tavioGetDeviceCount(), 1);

    // The settings stored through the reduced library can be read back through it.
    reinterpret_cast<void (*)(int, unsigned char)>(function("tavioSetTouchDestination"))(2, 4);
    EXPECT_EQ(reinterpret_cast<unsigned char (*)(int)>(function("tavioemuTouchDestination"))(2), 4);
    reinterpret_cast<void (*)(int, unsigned char, int, unsigned char)>(
        function("tavioSetPointingDeviceDestination"))(3, 1, 1, 2);
    EXPECT_EQ(reinterpret_cast<unsigned char (*)(int, unsigned char)>(
                  function("tavioemuPenDestination"))(3, 1),
        2);
    ::dlclose(library);
}

std::atomic<int> g_packets { 0 };

void slowPacket(int, const unsigned char*, unsigned int, void*)
{
    ++g_packets;
    std::this_thread::sleep_for(2ms);
}

void pnpCallback(void*) { }

TEST_F(LibraryTest, ExitWithHubsPluggedInNeitherHangsNorCrashes)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            tavioSetPnpCallback(&pnpCallback, nullptr);
            for (int i = 0; i < 3; ++i) {
                auto* hub = emu().addHub({});
                tavioSetCallback(hub->handle(), &slowPacket, nullptr);
                for (int p = 0; p < 20; ++p)
                    hub->deliver({ std::uint8_t(p) }, std::chrono::milliseconds(p % 3));
                hub->deliver({ 0xFF }, 10s); // still waiting at exit
            }
            while (g_packets < 3)
                std::this_thread::sleep_for(1ms);
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

} // namespace
