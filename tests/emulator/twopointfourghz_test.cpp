// The 2.4 GHz hub firmware, seen from the system's side: commands go in through
// tavioWritePacket and the answers are compared byte for byte as the packet callback gets them.
#include "emulator_test_support.h"

#include <string>
#include <tuple>

using namespace EmulatorTests;

namespace {

using TavioEmulator::EmulatedDevice;
using TavioEmulator::TwoPointFourGHzFirmware;
using F = TwoPointFourGHzFirmware;

Bytes text(const std::string& command) { return Bytes(command.begin(), command.end()); }

// head, then `name` zero-padded or cut to `width`, then tail.
Bytes cat(Bytes head, const std::string& name, std::size_t width, const Bytes& tail = {})
{
    std::string field = name;
    field.resize(width, '\0');
    head.insert(head.end(), field.begin(), field.end());
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

const Bytes OK { 0x04, 0x32, 0x4F, 0x4B };

const EmulatedDevice taviote = EmulatedDevice::taviote(0x11223344, 0x5566, "Tom!x");
const EmulatedDevice slate = EmulatedDevice::slate(0x01020304, 0x0A0B, "SlateOne");
const EmulatedDevice board = EmulatedDevice::board(0x0000BEEF, 0x0102, "Board", 0x0380);
const EmulatedDevice expression = EmulatedDevice::expression(0xA001, 0x0201, "Caf\xE9");
const EmulatedDevice expressionV2 = EmulatedDevice::expressionV2(0xA002, 0x0202, "Second");
const EmulatedDevice penExpression = EmulatedDevice::penExpression(0xA003, 0x0203, "Pen");

// The records the hub must send for the devices above.
const Bytes tavioteRecord = cat({ 0x0D, 0x67, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 6 }, "Tom!", 4);
const Bytes slateRecord = cat({ 0x13, 0x67, 1, 2, 3, 4, 0x0A, 0x0B, 7 }, "SlateOne", 10);
const Bytes boardRecord
    = cat({ 0x17, 0x90, 0, 0, 0xBE, 0xEF, 1, 2, 8 }, "Board", 10, { 0, 0x03, 0x80, 0 });
const Bytes expressionRecord = cat({ 0x17, 0x80, 0, 0, 0xA0, 1, 2, 1, 9 }, "Caf\xE9", 14);
const Bytes expressionV2Record = cat({ 0x17, 0x80, 12, 0, 0xA0, 2, 2, 2, 9 }, "Second", 14);
const Bytes penExpressionRecord = cat({ 0x17, 0x80, 0, 0, 0xA0, 3, 2, 3, 13 }, "Pen", 14);

class TwoPointFourGHzTest : public HubTest
{
protected:
    void SetUp() override
    {
        HubTest::SetUp();
        hub->setFirmware(firmware);
    }

    void populate()
    {
        firmware->addDevices({ taviote, slate, board, expression, expressionV2, penExpression });
    }

    // Writes one command and answers the packets that came back for it.
    Packets ask(const std::string& command)
    {
        EXPECT_EQ(write(hub->handle(), text(command)), int(command.size()));
        return take();
    }

    std::shared_ptr<F> firmware = std::make_shared<F>();
};

TEST_F(TwoPointFourGHzTest, ListsAndCountsPerProduct)
{
    EXPECT_EQ(ask(":GR06\r"), (Packets { OK })); // empty hub
    populate();
    const std::vector<std::pair<std::string, Packets>> cases {
        { ":GR06\r", { tavioteRecord, OK } },
        { ":GR07\r", { slateRecord, OK } },
        { ":GR08\r", { boardRecord, OK } },
        { ":GR09\r", { expressionRecord, expressionV2Record, penExpressionRecord, OK } },
        { ":GR0d\r", { OK } },
    };
    for (const auto& [command, expected] : cases)
        EXPECT_EQ(ask(command), expected) << command;
    EXPECT_EQ(firmware->commandCount(":GR09"), 1);
    EXPECT_EQ(firmware->commandCount(":GR"), 6);

    firmware->addDevice(EmulatedDevice::taviote(0x99, 0x99, "T2"));
    const std::vector<std::pair<std::string, int>> counts { { ":GD06\r", 2 }, { ":GD07\r", 1 },
        { ":GD08\r", 1 }, { ":GD09\r", 2 }, { ":GD0c\r", 1 }, { ":GD0d\r", 1 }, { ":GD0a\r", 0 } };
    for (const auto& [command, count] : counts)
        EXPECT_EQ(ask(command), (Packets { { 0x04, 0x53, 0x00, std::uint8_t(count) } })) << command;
    // Product ids travel as lower-case hexadecimal; anything else is not a count query.
    EXPECT_TRUE(ask(":GD0C\r").empty());
    EXPECT_TRUE(ask(":GD6\r").empty());
}

TEST_F(TwoPointFourGHzTest, InformationAndName)
{
    EXPECT_EQ(ask(":GI\r"), (Packets { { 0x0B, 0x51, 0, 0, 0x03, 0xE8, 0, 4, 0, 64, 0 } }));
    EXPECT_EQ(ask(":GN\r"), (Packets { cat({ 0x10, 0x32 }, "Hub", 10, { 0, 0, 0, 0 }) }));

    populate();
    firmware->addDevice(EmulatedDevice::slate(0x55, 0x55, "S2"));
    firmware->setVotingCapacity(0x1234);
    firmware->setBoardCapacity(2);
    firmware->setSlateCapacity(0x20);
    firmware->setHubStateCode(0x11);
    firmware->setHubName("Classroom-7X");
    firmware->setFreeStore({ 1, 2, 3, 4 });
    EXPECT_EQ(ask(":GI\r"), (Packets { { 0x0B, 0x51, 0, 1, 0x12, 0x34, 1, 2, 2, 0x20, 0x11 } }));
    EXPECT_EQ(ask(":GN\r"), (Packets { cat({ 0x10, 0x32 }, "Classroom-", 10, { 1, 2, 3, 4 }) }));
}

TEST_F(TwoPointFourGHzTest, ClearsAnswerOKAndKeepTheOtherKinds)
{
    // What stays of Taviote, slate, board, expression, V2 and pen expression after each clear.
    const std::vector<std::pair<std::string, std::string>> cases { { ":CS99\r", "" },
        { ":CS06\r", "SBEVP" }, { ":CS07\r", "TBEVP" }, { ":CS08\r", "TSEVP" },
        { ":CS09\r", "TSBP" }, { ":CS0D\r", "TSBEV" } };
    for (const auto& [command, left] : cases) {
        firmware->clearDevices();
        populate();
        EXPECT_EQ(ask(command), (Packets { OK })) << command;
        std::string kinds;
        for (const EmulatedDevice& device : firmware->devices())
            kinds.push_back("TSBEVP"[int(device.kind)]);
        EXPECT_EQ(kinds, left) << command;
    }
    EXPECT_TRUE(ask(":CS0d\r").empty()); // clear codes are upper case
}

TEST_F(TwoPointFourGHzTest, RemoveByIdentifier)
{
    populate();
    EXPECT_TRUE(ask(":RD0C00A0020202\r").empty());
    EXPECT_TRUE(ask(":RD000000000000\r").empty()); // unknown: nothing changes
    EXPECT_TRUE(ask(":RD0000a0030203\r").empty()); // lower case: not a removal
    EXPECT_EQ(ask(":GR09\r"), (Packets { expressionRecord, penExpressionRecord, OK }));
    EXPECT_EQ(firmware->commandCount(":RD"), 3);

    EXPECT_TRUE(firmware->removeDevice(taviote.uid));
    EXPECT_FALSE(firmware->removeDevice(taviote.uid));
    EXPECT_EQ(ask(":GR06\r"), (Packets { OK }));
    firmware->addDevice(EmulatedDevice::slate(slate.uid, 0x0A0B, "Renamed")); // replaces
    EXPECT_EQ(ask(":GR07\r"),
        (Packets { cat({ 0x13, 0x67, 1, 2, 3, 4, 0x0A, 0x0B, 7 }, "Renamed", 10), OK }));
}

TEST_F(TwoPointFourGHzTest, BacklightEndSessionTouchStatusAndOthers)
{
    EXPECT_EQ(ask(std::string(":XP010\r\x02\x05\x07")), (Packets { OK }));
    const auto backlight = firmware->lastBacklight();
    EXPECT_EQ(std::tuple(backlight.set, backlight.level, backlight.value), std::tuple(true, 5, 7));

    EXPECT_EQ(ask(":VE\r"), (Packets { OK }));
    EXPECT_TRUE(ask(":QT\r").empty()); // no board registered
    firmware->addDevice(board);
    EXPECT_EQ(ask(":QT\r"), (Packets { { 0x08, 0xA5, 0, 0, 0, 0, 5, 10 } }));
    firmware->setTouchRunning(false);
    firmware->setTouchCount(4);
    EXPECT_EQ(ask(":QT\r"), (Packets { { 0x08, 0xA5, 0, 0, 0, 0, 0, 4 } }));

    EXPECT_TRUE(ask(":VB\r").empty());
    EXPECT_TRUE(ask(":GI").empty()); // no carriage return
    EXPECT_EQ(firmware->commandCount(":VB"), 1);
    EXPECT_EQ(firmware->totalCommands(), 7);
    firmware->resetCounters();
    EXPECT_EQ(firmware->totalCommands(), 0);
    EXPECT_FALSE(firmware->lastBacklight().set);

    // Commands it does not know go to the next firmware.
    auto next = std::make_shared<TavioEmulator::ScriptedFirmware>();
    next->on(text(":VB"), { { 0x09, 0x65 } });
    hub->setFirmware(std::make_shared<F>(next));
    EXPECT_EQ(ask(":VB\r"), (Packets { { 0x09, 0x65 } }));
    EXPECT_EQ(ask(":VE\r"), (Packets { OK }));
}

TEST_F(TwoPointFourGHzTest, SilenceDropDelayAndResetDuringClear)
{
    populate();
    firmware->setSilent(true);
    EXPECT_TRUE(ask(":GI\r").empty());
    EXPECT_TRUE(ask(":CS06\r").empty());
    EXPECT_EQ(firmware->devices().size(), 5u); // the clear still happened
    firmware->setSilent(false);

    firmware->dropNextAnswers(2);
    EXPECT_TRUE(ask(":GR07\r").empty()); // records and OK go together
    EXPECT_TRUE(ask(":RD000000000000\r").empty()); // no answer: does not count
    EXPECT_TRUE(ask(":GN\r").empty());
    EXPECT_EQ(ask(":VE\r"), (Packets { OK }));

    firmware->setReplyDelay(40ms);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(write(hub->handle(), text(":VE\r")), 4);
    EXPECT_EQ(log.bytes().size(), seen);
    EXPECT_EQ(take(), (Packets { OK }));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 40ms);

    firmware->setReplyDelay(0ms);
    firmware->resetDuringNextClear();
    EXPECT_EQ(ask(":CS06\r"), (Packets { OK }));
    EXPECT_EQ(ask(":CS99\r"), (Packets { { 0x03, 0xA0, 0x00 }, OK }));
    EXPECT_EQ(ask(":CS99\r"), (Packets { OK }));
}

TEST_F(TwoPointFourGHzTest, PacketsOnDemand)
{
    const std::vector<std::pair<Bytes, Bytes>> cases {
        { F::hubResetPacket(), { 0x03, 0xA0, 0x00 } },
        { F::busyChangePacket(0, 5), { 0x04, 0x56, 0x00, 0x05 } },
        { F::batteryLowPacket(expressionV2), { 0x08, 0x50, 0x0C, 0x00, 0xA0, 0x02, 0x02, 0x02 } },
        { F::batteryLowPacket(0x01020304, 0x0506), { 0x08, 0x50, 1, 2, 3, 4, 5, 6 } },
        { F::penPacket(1, 10000, 20000, true, false, false),
            { 0x08, 0x21, 0x00, 0x10, 0x27, 0x20, 0x4E, 0x09 } },
        { F::penPacket(3, 1, 2, false, true), { 0x08, 0x21, 0x00, 1, 0, 2, 0, 0x1E } },
        { F::touchPacket({ { 3, 0x0102, 0x0304, 0x0506, true }, { 0x7F, 0xFFFF, 0, 9, false } }),
            { 16, 0x45, 0x83, 2, 1, 4, 3, 6, 5, 0x7F, 0xFF, 0xFF, 0, 0, 9, 0 } },
        { F::touchPacket({}), { 0x02, 0x45 } },
        { F::touchStatusPacket(5, 10), { 8, 0xA5, 0, 0, 0, 0, 5, 10 } },
        { F::okPacket(), OK },
    };
    for (const auto& [packet, bytes] : cases)
        EXPECT_EQ(packet, bytes);

    // A pen stroke streams tip down, the moves and tip up.
    const TavioEmulator::PenStroke stroke { 2, 0, 0, 300, 600, 2, 1ms };
    EXPECT_EQ(F::streamPenStroke(*hub, stroke), 4);
    EXPECT_EQ(take(),
        (Packets { { 8, 0x21, 0, 0, 0, 0, 0, 0x15 }, { 8, 0x21, 0, 100, 0, 200, 0, 0x15 },
            { 8, 0x21, 0, 200, 0, 0x90, 1, 0x15 }, { 8, 0x21, 0, 0x2C, 1, 0x58, 2, 0x14 } }));
}

// Asks hub 7 for its information from the first plug-and-play notification that can.
void askHubSeven(void* ctx)
{
    auto* asked = static_cast<bool*>(ctx); // notification thread only
    if (!*asked)
        *asked = write(7, text(":GI\r")) == 4;
}

TEST_F(TwoPointFourGHzTest, AddedHubAnswersFromItsFirstWrite)
{
    bool asked = false;
    tavioSetPnpCallback(&askHubSeven, &asked);
    TavioEmulator::HubConfig config;
    config.handle = 7;
    auto fresh = std::make_shared<F>();
    auto* added = TavioEmulator::addTwoPointFourGHzHub(emu(), config, fresh);
    ASSERT_NE(added, nullptr);
    EXPECT_EQ(added->config().kind, 3);
    ASSERT_TRUE(emu().waitForPnpIdle(500ms));
    EXPECT_TRUE(asked);
    EXPECT_EQ(fresh->commandCount(":GI"), 1);
    EXPECT_EQ(fresh->totalCommands(), 1);
}

} // namespace
