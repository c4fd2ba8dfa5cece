// Writes, firmware answers, packet delivery and the packet callbacks.
#include "emulator_test_support.h"

using namespace EmulatorTests;

namespace {

using TavioEmulator::ScriptedFirmware;
using TavioEmulator::TouchBoardFirmware;

using PacketTest = EmulatorTest;

TEST_F(PacketTest, WritesAreRecordedAndAnsweredOnThePacketThread)
{
    auto* hub = emu().addHub({});
    auto firmware = std::make_shared<ScriptedFirmware>();
    firmware->on({ 'V' }, { { 1, 2 }, { 3 } });
    hub->setFirmware(firmware);
    PacketLog log;
    tavioSetCallback(hub->handle(), &PacketLog::callback, &log);
    EXPECT_TRUE(hub->hasPacketCallback());

    EXPECT_EQ(write(hub->handle(), { 'V', '?' }), 2);
    EXPECT_EQ(write(hub->handle(), { 'X' }), 1); // no rule: no answer
    EXPECT_EQ(write(99, { 'V' }), -1);
    EXPECT_EQ(tavioWritePacket(hub->handle(), nullptr, 3), -1);

    ASSERT_TRUE(log.waitFor(2));
    ASSERT_TRUE(hub->waitUntilDelivered(500ms));
    const auto packets = log.snapshot();
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[0], std::make_pair(hub->handle(), Bytes { 1, 2 }));
    EXPECT_EQ(packets[1].second, Bytes { 3 });
    EXPECT_NE(log.thread, std::this_thread::get_id());
    EXPECT_EQ(hub->packetsDelivered(), 2);

    ASSERT_EQ(hub->writes().size(), 2u);
    EXPECT_EQ(hub->writes()[1].bytes, Bytes { 'X' });
    const auto all = emu().allWrites();
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[2].handle, 99);
    hub->clearWrites();
    EXPECT_TRUE(hub->writes().empty());
    EXPECT_EQ(emu().allWrites().size(), 3u);
}

TEST_F(PacketTest, RefusedWritesAreRecordedButNotSeenByTheFirmware)
{
    auto* hub = emu().addHub({});
    auto firmware = std::make_shared<TouchBoardFirmware>();
    hub->setFirmware(firmware);
    const Bytes query { ':', 'Q', 'T', 0x0D };

    hub->refuseNextWrites(2);
    EXPECT_EQ(write(hub->handle(), query), -1);
    EXPECT_EQ(write(hub->handle(), query), -1);
    EXPECT_EQ(write(hub->handle(), query), 4);
    hub->setRefuseWrites(true);
    EXPECT_EQ(write(hub->handle(), query), -1);
    hub->setRefuseWrites(false);

    EXPECT_TRUE(hub->waitForWrites(4, 100ms));
    EXPECT_FALSE(hub->waitForWrites(5, 1ms));
    EXPECT_EQ(firmware->queriesAnswered(), 1);
}

TEST_F(PacketTest, PacketsArriveByDueTimeThenInQueueingOrder)
{
    auto* hub = emu().addHub({});
    PacketLog log;
    tavioSetCallback(hub->handle(), &PacketLog::callback, &log);
    hub->deliver({ 'a' }, 30ms);
    hub->deliver({ 'b' });
    hub->deliver({ 'c' });
    hub->deliver({ 'd' }, 30ms);
    ASSERT_TRUE(hub->waitUntilDelivered(500ms));
    std::string order;
    for (const auto& packet : log.snapshot())
        order.push_back(char(packet.second.at(0)));
    EXPECT_EQ(order, "bcad");
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
    EXPECT_TRUE(first.snapshot().empty());
    EXPECT_EQ(second.snapshot().size(), 1u);

    // Without a callback a packet is dropped and not counted.
    tavioClearCallback(5, asPointer(&PacketLog::callback), &second);
    EXPECT_FALSE(hub->hasPacketCallback());
    hub->deliver({ 10 });
    ASSERT_TRUE(hub->waitUntilDelivered(500ms));
    EXPECT_EQ(hub->packetsDelivered(), 1);
}

struct BlockingCallback
{
    std::mutex m;
    std::condition_variable cv;
    bool entered = false;
    bool release = false;
    std::atomic<bool> returned { false };

    static void callback(int, const unsigned char*, unsigned int, void* ctx)
    {
        auto* self = static_cast<BlockingCallback*>(ctx);
        std::unique_lock<std::mutex> lock(self->m);
        self->entered = true;
        self->cv.notify_all();
        self->cv.wait_for(lock, 500ms, [self] { return self->release; });
        self->returned = true;
    }
};

TEST_F(PacketTest, ClearCallbackWaitsForTheDeliveryInProgress)
{
    auto* hub = emu().addHub({});
    BlockingCallback blocking;
    tavioSetCallback(hub->handle(), &BlockingCallback::callback, &blocking);
    hub->deliver({ 1 });
    {
        std::unique_lock<std::mutex> lock(blocking.m);
        ASSERT_TRUE(blocking.cv.wait_for(lock, 500ms, [&] { return blocking.entered; }));
    }

    std::atomic<bool> cleared { false };
    std::atomic<bool> returnedBeforeClear { false };
    std::thread clearer([&] {
        tavioClearCallback(hub->handle(), asPointer(&BlockingCallback::callback), &blocking);
        returnedBeforeClear = blocking.returned.load();
        cleared = true;
    });
    std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(cleared.load());
    {
        std::lock_guard<std::mutex> lock(blocking.m);
        blocking.release = true;
        blocking.cv.notify_all();
    }
    clearer.join();
    EXPECT_TRUE(returnedBeforeClear.load());
}

struct SelfClearing
{
    int handle = 0;
    std::atomic<int> calls { 0 };
    static void callback(int handle, const unsigned char*, unsigned int, void* ctx)
    {
        auto* self = static_cast<SelfClearing*>(ctx);
        ++self->calls;
        tavioClearCallback(handle, asPointer(&SelfClearing::callback), ctx);
    }
};

TEST_F(PacketTest, CallbackMayClearItselfOnThePacketThread)
{
    auto* hub = emu().addHub({});
    SelfClearing self;
    tavioSetCallback(hub->handle(), &SelfClearing::callback, &self);
    hub->deliver({ 1 });
    hub->deliver({ 2 });
    ASSERT_TRUE(hub->waitUntilDelivered(500ms));
    EXPECT_EQ(self.calls.load(), 1);
}

struct SelfRemoving
{
    std::atomic<bool> removed { false };
    static void callback(int handle, const unsigned char*, unsigned int, void* ctx)
    {
        static_cast<SelfRemoving*>(ctx)->removed = Emulator::instance().removeHub(handle);
    }
};

TEST_F(PacketTest, HubMayBeUnpluggedFromItsOwnCallback)
{
    auto* hub = emu().addHub({});
    const int handle = hub->handle();
    SelfRemoving remover;
    tavioSetCallback(handle, &SelfRemoving::callback, &remover);
    hub->deliver({ 1 });
    for (int i = 0; i < 500 && !remover.removed; ++i)
        std::this_thread::sleep_for(1ms);
    EXPECT_TRUE(remover.removed.load());
    EXPECT_EQ(emu().hub(handle), nullptr);
    EXPECT_EQ(write(handle, { 1 }), -1);
}

TEST_F(PacketTest, TouchBoardAnswersTheStatusQueryAndPassesTheRestOn)
{
    auto* hub = emu().addHub({});
    auto scripted = std::make_shared<ScriptedFirmware>();
    scripted->on({ 'P' }, { { 'p' } });
    auto board = std::make_shared<TouchBoardFirmware>(scripted);
    hub->setFirmware(board);
    PacketLog log;
    tavioSetCallback(hub->handle(), &PacketLog::callback, &log);
    const Bytes query { ':', 'Q', 'T', 0x0D };

    write(hub->handle(), query);
    board->setRunning(false);
    board->setTouchCount(2);
    write(hub->handle(), query);
    board->setSilent(true);
    write(hub->handle(), query);
    write(hub->handle(), { ':', 'Q', 'T' }); // not the query: handed on, no rule matches
    write(hub->handle(), { 'P', 1 });
    ASSERT_TRUE(hub->waitUntilDelivered(500ms));

    const auto packets = log.snapshot();
    ASSERT_EQ(packets.size(), 3u);
    EXPECT_EQ(packets[0].second, (Bytes { 0x08, 0xA5, 0, 0, 0, 0, 5, 10 }));
    EXPECT_EQ(packets[1].second, (Bytes { 0x08, 0xA5, 0, 0, 0, 0, 0, 2 }));
    EXPECT_EQ(packets[2].second, Bytes { 'p' });
    EXPECT_EQ(board->queriesAnswered(), 2);
}

TEST_F(PacketTest, OneShotRulesComeFirstAndStandingRulesAreReplaced)
{
    auto* hub = emu().addHub({});
    auto firmware = std::make_shared<ScriptedFirmware>();
    hub->setFirmware(firmware);
    PacketLog log;
    tavioSetCallback(hub->handle(), &PacketLog::callback, &log);

    firmware->on({ 'A' }, { { 1 } });
    firmware->onNext({ 'A' }, { { 2 } }, 2);
    firmware->onNext({ 'A' }, {}); // swallows one command once the first one-shot is used up
    for (int i = 0; i < 4; ++i)
        write(hub->handle(), { 'A' });
    firmware->on({ 'A' }, { { 3 } });
    write(hub->handle(), { 'A' });
    firmware->clearRules();
    write(hub->handle(), { 'A' });
    ASSERT_TRUE(hub->waitUntilDelivered(500ms));

    Bytes seen;
    for (const auto& packet : log.snapshot())
        seen.push_back(packet.second.at(0));
    EXPECT_EQ(seen, (Bytes { 2, 2, 1, 3 }));
}

TEST_F(PacketTest, SettersStoreAndGettersAnswerPerHub)
{
    const int handle = emu().addHub({})->handle();
    tavioSetTouchDestinationEx(handle, 3, 1);
    tavioSetTouchEnabled(handle, 0);
    tavioSetLATEDetection(handle, 1);
    tavioSetPointingDeviceDestinationEx(handle, 200, 1, 7, 1);
    tavioReverseButtons(handle, 1);
    const unsigned char touch[] = { 0xA1, 0x02 };
    tavioSendTouchPacketToSystem(handle, touch, 2);

    EXPECT_EQ(tavioGetTouchDestination(handle), 3);
    EXPECT_EQ(tavioGetTouchEnabled(handle), 0);
    EXPECT_EQ(tavioGetLATEDetection(handle), 1);
    EXPECT_EQ(tavioGetPointingDeviceDestination(handle, 200, 0), 7);
    const auto settings = emu().hub(handle)->boardSettings();
    EXPECT_TRUE(settings.touchDestinationExtra);
    EXPECT_TRUE(settings.penDestinationFlag[200] && settings.penDestinationExtra[200]);
    EXPECT_TRUE(settings.buttonsReversed);
    EXPECT_EQ(settings.touchPacketsToSystem, std::vector<Bytes> { (Bytes { 0xA1, 0x02 }) });

    emu().hub(handle)->setBoardSettings({}); // what the getters answer from now on
    EXPECT_EQ(tavioGetTouchEnabled(handle), 1);
    EXPECT_EQ(tavioGetLATEDetection(handle), 0);
    tavioSetTouchEnabled(77, 1); // unknown handle: nothing happens
    EXPECT_EQ(tavioGetTouchEnabled(77), 0);
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

TEST_F(PacketTest, ConcurrentWritesWhileRulesChange)
{
    auto* hub = emu().addHub({});
    auto firmware = std::make_shared<ScriptedFirmware>();
    hub->setFirmware(firmware);
    PacketLog log;
    tavioSetCallback(hub->handle(), &PacketLog::callback, &log);

    std::atomic<bool> done { false };
    std::thread rules([&] {
        while (!done) {
            firmware->on({ 'W' }, { { 1 } });
            firmware->onNext({ 'W' }, { { 2 } });
            firmware->clearRules();
        }
    });
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t) {
        writers.emplace_back([&] {
            for (int i = 0; i < 100; ++i)
                write(hub->handle(), { 'W', std::uint8_t(i) });
        });
    }
    for (auto& writer : writers)
        writer.join();
    done = true;
    rules.join();
    EXPECT_TRUE(hub->waitUntilDelivered(500ms));
    EXPECT_EQ(hub->writes().size(), 400u);
    EXPECT_EQ(std::size_t(hub->packetsDelivered()), log.snapshot().size());
}

} // namespace
