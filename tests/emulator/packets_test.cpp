// Writes, firmware answers, packet delivery and the packet callbacks.
#include "emulator_test_support.h"

#include <future>

using namespace EmulatorTests;

namespace {

using TavioEmulator::ScriptedFirmware;
using TavioEmulator::TouchBoardFirmware;

const Bytes TouchQuery { ':', 'Q', 'T', 0x0D };

using PacketTest = HubTest;

TEST_F(PacketTest, WritesAreRecordedAndAnsweredOnThePacketThread)
{
    auto firmware = std::make_shared<ScriptedFirmware>();
    firmware->on({ 'V' }, { { 1, 2 }, { 3 } });
    hub->setFirmware(firmware);
    EXPECT_TRUE(hub->hasPacketCallback());

    EXPECT_EQ(write(hub->handle(), { 'V', '?' }), 2);
    EXPECT_EQ(write(hub->handle(), { 'X' }), 1); // no rule: no answer
    EXPECT_EQ(write(99, { 'V' }), -1);
    EXPECT_EQ(tavioWritePacket(hub->handle(), nullptr, 3), -1);
    EXPECT_EQ(take(), (Packets { { 1, 2 }, { 3 } }));
    EXPECT_EQ(log.packets[0].first, hub->handle());
    EXPECT_NE(log.thread, std::this_thread::get_id());
    EXPECT_EQ(hub->packetsDelivered(), 2);

    ASSERT_EQ(hub->writes().size(), 2u);
    EXPECT_EQ(hub->writes()[1].bytes, Bytes { 'X' });
    ASSERT_EQ(emu().allWrites().size(), 3u);
    EXPECT_EQ(emu().allWrites()[2].handle, 99);
    hub->clearWrites();
    EXPECT_TRUE(hub->writes().empty());
}

TEST_F(PacketTest, AllWritesAreForgottenAtOnce)
{
    auto* second = emu().addHub({});
    EXPECT_EQ(write(hub->handle(), { 'A' }), 1);
    EXPECT_EQ(write(second->handle(), { 'B' }), 1);
    ASSERT_EQ(emu().allWrites().size(), 2u);

    emu().clearAllWrites();
    EXPECT_TRUE(emu().allWrites().empty());
    EXPECT_TRUE(hub->writes().empty());
    EXPECT_TRUE(second->writes().empty());
    // Recording goes on afterwards.
    EXPECT_EQ(write(second->handle(), { 'C' }), 1);
    ASSERT_EQ(emu().allWrites().size(), 1u);
    EXPECT_EQ(emu().allWrites()[0].bytes, Bytes { 'C' });
    EXPECT_EQ(second->writes().size(), 1u);
}

TEST_F(PacketTest, RefusedWritesAreRecordedButNotSeenByTheFirmware)
{
    auto firmware = std::make_shared<TouchBoardFirmware>();
    hub->setFirmware(firmware);
    hub->refuseNextWrites(2);
    EXPECT_EQ(write(hub->handle(), TouchQuery), -1);
    EXPECT_EQ(write(hub->handle(), TouchQuery), -1);
    EXPECT_EQ(write(hub->handle(), TouchQuery), 4);
    hub->setRefuseWrites(true);
    EXPECT_EQ(write(hub->handle(), TouchQuery), -1);
    EXPECT_TRUE(hub->waitForWrites(4, 100ms));
    EXPECT_FALSE(hub->waitForWrites(5, 1ms));
    EXPECT_EQ(firmware->queriesAnswered(), 1);
}

TEST_F(PacketTest, PacketsArriveByDueTimeThenInQueueingOrder)
{
    hub->deliver({ 'a' }, 30ms);
    hub->deliver({ 'b' });
    hub->deliver({ 'c' });
    hub->deliver({ 'd' }, 30ms);
    EXPECT_EQ(take(), (Packets { { 'b' }, { 'c' }, { 'a' }, { 'd' } }));
}

TEST_F(PacketTest, OneCallbackPerHandleAndEarlyRegistrationIsKept)
{
    PacketLog first;
    PacketLog second;
    tavioSetCallback(5, &PacketLog::callback, &first); // before the hub exists
    tavioSetCallback(5, &PacketLog::callback, &second); // replaces it
    TavioEmulator::HubConfig config;
    config.handle = 5;
    auto* hub = emu().addHub(config);
    hub->deliver({ 9 });
    ASSERT_TRUE(hub->waitUntilDelivered(500ms));
    EXPECT_TRUE(first.bytes().empty());
    EXPECT_EQ(second.bytes().size(), 1u);

    // Without a callback a packet is dropped and not counted.
    tavioClearCallback(5, asPointer(&PacketLog::callback), &second);
    EXPECT_FALSE(hub->hasPacketCallback());
    hub->deliver({ 10 });
    ASSERT_TRUE(hub->waitUntilDelivered(500ms));
    EXPECT_EQ(hub->packetsDelivered(), 1);
}

// Blocks in the callback until released; marks when it returns.
struct BlockingCallback
{
    std::promise<void> entered;
    std::promise<void> release;
    std::atomic<bool> returned { false };

    static void callback(int, const unsigned char*, unsigned int, void* ctx)
    {
        auto* self = static_cast<BlockingCallback*>(ctx);
        self->entered.set_value();
        self->release.get_future().wait_for(500ms);
        self->returned = true;
    }
};

TEST_F(PacketTest, ClearCallbackWaitsForTheDeliveryInProgress)
{
    BlockingCallback blocking;
    tavioSetCallback(hub->handle(), &BlockingCallback::callback, &blocking);
    hub->deliver({ 1 });
    ASSERT_EQ(blocking.entered.get_future().wait_for(500ms), std::future_status::ready);
    std::atomic<bool> cleared { false };
    std::thread clearer([&] {
        tavioClearCallback(hub->handle(), asPointer(&BlockingCallback::callback), &blocking);
        EXPECT_TRUE(blocking.returned.load());
        cleared = true;
    });
    std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(cleared.load());
    blocking.release.set_value();
    clearer.join();
}

// Clears its own callback on the first packet, or unplugs its hub.
struct SelfService
{
    bool unplug = false;
    std::atomic<int> calls { 0 };
    std::atomic<bool> done { false };
    static void callback(int handle, const unsigned char*, unsigned int, void* ctx)
    {
        auto* self = static_cast<SelfService*>(ctx);
        ++self->calls;
        if (self->unplug)
            self->done = Emulator::instance().removeHub(handle);
        else
            tavioClearCallback(handle, asPointer(&SelfService::callback), ctx);
    }
};

TEST_F(PacketTest, CallbackMayClearItselfOrUnplugItsHubWithoutDeadlock)
{
    SelfService clearing;
    tavioSetCallback(hub->handle(), &SelfService::callback, &clearing);
    hub->deliver({ 1 });
    hub->deliver({ 2 });
    ASSERT_TRUE(hub->waitUntilDelivered(500ms));
    EXPECT_EQ(clearing.calls.load(), 1);

    SelfService unplugging;
    unplugging.unplug = true;
    tavioSetCallback(hub->handle(), &SelfService::callback, &unplugging);
    const int handle = hub->handle();
    hub->deliver({ 3 });
    for (int i = 0; i < 500 && !unplugging.done; ++i)
        std::this_thread::sleep_for(1ms);
    EXPECT_TRUE(unplugging.done.load());
    EXPECT_EQ(emu().hub(handle), nullptr);
    EXPECT_EQ(write(handle, { 1 }), -1);
}

TEST_F(PacketTest, TouchBoardAnswersTheStatusQueryAndPassesTheRestOn)
{
    auto scripted = std::make_shared<ScriptedFirmware>();
    scripted->on({ 'P' }, { { 'p' } });
    auto board = std::make_shared<TouchBoardFirmware>(scripted);
    hub->setFirmware(board);

    write(hub->handle(), TouchQuery);
    board->setRunning(false);
    board->setTouchCount(2);
    write(hub->handle(), TouchQuery);
    board->setSilent(true);
    write(hub->handle(), TouchQuery);
    write(hub->handle(), { ':', 'Q', 'T' }); // not the query: handed on, no rule matches
    write(hub->handle(), { 'P', 1 });
    EXPECT_EQ(take(),
        (Packets { { 0x08, 0xA5, 0, 0, 0, 0, 5, 10 }, { 0x08, 0xA5, 0, 0, 0, 0, 0, 2 }, { 'p' } }));
    EXPECT_EQ(board->queriesAnswered(), 2);
}

TEST_F(PacketTest, OneShotRulesComeFirstAndStandingRulesAreReplaced)
{
    auto firmware = std::make_shared<ScriptedFirmware>();
    hub->setFirmware(firmware);

    firmware->on({ 'A' }, { { 1 } });
    firmware->onNext({ 'A' }, { { 2 } }, 2);
    firmware->onNext({ 'A' }, {}); // swallows one command once the first one-shot is used up
    for (int i = 0; i < 4; ++i)
        write(hub->handle(), { 'A' });
    firmware->on({ 'A' }, { { 3 } });
    write(hub->handle(), { 'A' });
    firmware->clearRules();
    write(hub->handle(), { 'A' });
    EXPECT_EQ(take(), (Packets { { 2 }, { 2 }, { 1 }, { 3 } }));
}

TEST_F(PacketTest, DriverLockIsRecursiveAndExclusive)
{
    tavioLock();
    tavioLock();
    EXPECT_EQ(emu().lockDepth(), 2);
    std::atomic<bool> acquired { false };
    std::thread other([&] {
        tavioLock();
        acquired = true;
        tavioUnlock();
    });
    std::this_thread::sleep_for(10ms);
    EXPECT_FALSE(acquired.load());
    tavioUnlock();
    tavioUnlock();
    other.join();
    EXPECT_TRUE(acquired.load());
    tavioUnlock(); // not held: ignored
    EXPECT_EQ(emu().lockDepth(), 0);
}

} // namespace
