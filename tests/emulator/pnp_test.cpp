// Plug-and-play notifications and resetting the emulator.
#include "emulator_test_support.h"

using namespace EmulatorTests;

namespace {

struct PnpLog
{
    std::mutex m;
    std::vector<int> deviceCounts; // what the callback saw
    std::vector<std::thread::id> threads;

    static void callback(void* ctx)
    {
        auto* log = static_cast<PnpLog*>(ctx);
        const int count = tavioGetDeviceCount();
        std::lock_guard<std::mutex> lock(log->m);
        log->deviceCounts.push_back(count);
        log->threads.push_back(std::this_thread::get_id());
    }

    std::vector<int> counts()
    {
        std::lock_guard<std::mutex> lock(m);
        return deviceCounts;
    }
};

using PnpTest = EmulatorTest;

TEST_F(PnpTest, AddAndRemoveNotifyOnTheNotificationThread)
{
    PnpLog log;
    tavioSetPnpCallback(&PnpLog::callback, &log);
    EXPECT_TRUE(emu().hasPnpCallback());

    auto* hub = emu().addHub({});
    ASSERT_TRUE(emu().waitForPnpIdle(500ms));
    ASSERT_TRUE(emu().removeHub(hub->handle()));
    ASSERT_TRUE(emu().waitForPnpIdle(500ms));
    emu().notifyPnp();
    ASSERT_TRUE(emu().waitForPnpIdle(500ms));

    EXPECT_EQ(log.counts(), (std::vector<int> { 1, 0, 0 }));
    EXPECT_EQ(emu().pnpNotificationsDelivered(), 3);
    std::lock_guard<std::mutex> lock(log.m);
    EXPECT_NE(log.threads[0], std::this_thread::get_id());
    EXPECT_EQ(log.threads[0], log.threads[1]);
}

struct SlowPnp
{
    std::atomic<bool> release { false };
    std::atomic<int> calls { 0 };
    static void callback(void* ctx)
    {
        auto* self = static_cast<SlowPnp*>(ctx);
        for (int i = 0; i < 500 && !self->release; ++i)
            std::this_thread::sleep_for(1ms);
        ++self->calls;
    }
};

TEST_F(PnpTest, NotificationsAreAsynchronousAndInOrder)
{
    SlowPnp slow;
    tavioSetPnpCallback(&SlowPnp::callback, &slow);
    emu().addHub({});
    emu().addHub({}); // returns although the first notification has not
    EXPECT_EQ(slow.calls.load(), 0);
    EXPECT_FALSE(emu().waitForPnpIdle(5ms));
    slow.release = true;
    ASSERT_TRUE(emu().waitForPnpIdle(500ms));
    EXPECT_EQ(slow.calls.load(), 2);
}

TEST_F(PnpTest, ClearCallbackWithHandleZeroRemovesThePnpCallback)
{
    PnpLog log;
    tavioSetPnpCallback(&PnpLog::callback, &log);
    tavioClearCallback(0, asPointer(&PnpLog::callback), &log);
    EXPECT_FALSE(emu().hasPnpCallback());
    emu().notifyPnp();
    ASSERT_TRUE(emu().waitForPnpIdle(500ms));
    EXPECT_TRUE(log.counts().empty());
    EXPECT_EQ(emu().pnpNotificationsDelivered(), 0);
}

TEST_F(PnpTest, ResetForgetsEverythingWithoutNotifying)
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
    EXPECT_TRUE(log.counts().empty());
    EXPECT_FALSE(emu().hasPnpCallback());
    EXPECT_TRUE(emu().handles().empty());
    EXPECT_TRUE(emu().allWrites().empty());
    EXPECT_EQ(emu().attachCount(), 0);
    EXPECT_EQ(tavioGetDeviceCount(), 0);
    EXPECT_TRUE(packets.snapshot().empty());

    auto* again = emu().addHub({});
    EXPECT_EQ(again->handle(), 1);
    EXPECT_FALSE(again->hasPacketCallback());
    unsigned char record[1024] = {};
    EXPECT_EQ(tavioEnumDeviceInfo(0, record), 1);
}

} // namespace
