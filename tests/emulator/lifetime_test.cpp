// Leaving the process while receivers are still plugged in.
#include "emulator_test_support.h"

#include <cstdlib>

using namespace EmulatorTests;

namespace {

std::atomic<int> g_packets { 0 };

void slowPacket(int, const unsigned char*, unsigned int, void*)
{
    ++g_packets;
    std::this_thread::sleep_for(2ms);
}

void pnpCallback(void*) { }

using LifetimeTest = EmulatorTest;

TEST_F(LifetimeTest, ExitWithHubsPluggedInNeitherHangsNorCrashes)
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
