// The legacy hub firmware: its records byte for byte in both framings, and its command handling
// seen from the system's side through tavioWritePacket and the packet callback.
#include "emulator_test_support.h"

#include <string>

using namespace EmulatorTests;

namespace {

using TavioEmulator::LegacyFirmware;
using TavioEmulator::LegacyFraming;
using TavioEmulator::LegacyHubRecord;
using TavioEmulator::LegacyRFSettings;
using TavioEmulator::LegacySession;
using TavioEmulator::LegacySlate;
using TavioEmulator::LegacyVoter;
using L = LegacyFirmware;

constexpr LegacyFraming Usb = LegacyFraming::Usb;
constexpr LegacyFraming Serial = LegacyFraming::Serial;

Bytes text(const std::string& command) { return Bytes(command.begin(), command.end()); }

// Independent readers of the records, written from the record tables: the emulator's packets must
// decode to what it was told.
bool isSerial(LegacyFraming framing) { return framing == Serial; }

// USB: exactly `usbSize` bytes, byte 0 the size, byte 1 the kind. Serial: one byte more, the low
// seven bits of byte 0 the size, of byte 2 the kind.
bool isRecord(LegacyFraming framing, const Bytes& p, std::size_t usbSize, std::uint8_t kind)
{
    if (!isSerial(framing))
        return p.size() == usbSize && p[0] == usbSize && p[1] == kind;
    return p.size() == usbSize + 1 && (p[0] & 0x7F) == usbSize + 1 && (p[2] & 0x7F) == kind;
}

std::uint32_t serialId(const Bytes& p)
{
    return (p[1] & 0x7Fu) + 128u * (p[3] & 0x7Fu) + 16384u * (p[4] & 0x7Fu);
}

// Registration, vote and PIN naming records.
std::uint32_t voterId(LegacyFraming framing, const Bytes& p)
{
    return isSerial(framing) ? serialId(p) : p[2] + 256u * p[3] + 65536u * (p[4] & 0x7Fu);
}

// Enable records.
std::uint32_t enabledId(LegacyFraming framing, const Bytes& p)
{
    return isSerial(framing) ? serialId(p) : p[2] + 256u * p[3] + 65536u * p[4];
}

std::uint8_t voteKey(LegacyFraming framing, const Bytes& p) { return p[isSerial(framing) ? 9 : 8]; }

struct RFFields
{
    int vote, band, slate, board;
    bool operator==(const RFFields& o) const
    {
        return vote == o.vote && band == o.band && slate == o.slate && board == o.board;
    }
};

RFFields rfFields(LegacyFraming framing, const Bytes& p)
{
    const int bits = p[isSerial(framing) ? 1 : 2];
    return { (bits >> 1) & 3, (bits >> 3) & 3, (bits >> 5) & 3, p[3] };
}

// The slate id a serial slate request carries.
int serialSlateRequestId(const Bytes& p) { return ((p[4] >> 2) & 0x1F) + 32 * (p[5] & 3); }

// The serial slate PIN answer's 32-bit value.
std::uint32_t serialPinValue(const Bytes& p)
{
    const std::uint64_t v = (p[1] & 0x7Fu) + 128ull * (p[3] & 0x7F) + 16384ull * (p[4] & 0x7F)
        + 2097152ull * (p[5] & 0x7F) + 268435456ull * (p[6] & 0x7F);
    return std::uint32_t(v);
}

// The PIN text of a slate PIN answer.
std::string pinText(LegacyFraming framing, const Bytes& p)
{
    int digits[3];
    if (isSerial(framing)) {
        const std::uint32_t v = serialPinValue(p);
        digits[0] = (v >> 8) & 0xFF;
        digits[1] = (v >> 16) & 0xFF;
        digits[2] = (v >> 24) & 0xFF;
    } else {
        for (int i = 0; i < 3; ++i)
            digits[i] = p[3 + std::size_t(i)] & 7;
    }
    std::string text;
    for (int digit : digits)
        text += std::to_string(digit);
    return text;
}

int pinSlateId(LegacyFraming framing, const Bytes& p)
{
    return isSerial(framing) ? int(serialPinValue(p) & 0xFF) : p[2] & 0x7F;
}

// The three key codes of a PIN naming record.
std::array<int, 3> nameCodes(LegacyFraming framing, const Bytes& p)
{
    if (isSerial(framing))
        return { (p[5] & 4) + ((p[6] >> 2) & 3), 2 * (p[6] & 3) + ((p[5] >> 6) & 1),
            (p[5] >> 3) & 7 };
    return { ((p[4] >> 7) & 1) * 4 + (p[5] >> 6), (p[5] >> 3) & 7, p[5] & 7 };
}

// Records by hand

struct Case
{
    const char* name;
    Bytes built;
    Bytes expected;
};

TEST(LegacyRecords, BytesPerFraming)
{
    const LegacyRFSettings rf { 2, 2, 3, 42 }; // fields 2<<1 | 2<<3 | 3<<5 = 0x74
    const std::vector<Case> cases {
        // The worked example: 8A 05 67 01 00 ... is device 5 + 128.
        { "serial registration 133", L::voteRegistrationPacket(Serial, 133, false, 0),
            { 0x8A, 0x05, 0x67, 0x01, 0x00, 0, 0, 0, 0, 0 } },
        { "serial registration low battery", L::voteRegistrationPacket(Serial, 133, true, 5),
            { 0x8A, 0x05, 0x67, 0x01, 0x00, 0, 16, 0, 0, 5 } },
        { "usb registration", L::voteRegistrationPacket(Usb, 0x012345, true, 7),
            { 0x09, 0x67, 0x45, 0x23, 0x01, 0, 1, 0, 7 } },
        { "usb rf", L::rfPacket(Usb, rf), { 0x0A, 0x68, 0x74, 42, 0, 0, 0, 0, 0, 0 } },
        { "serial rf", L::rfPacket(Serial, rf), { 0x8B, 0x74, 0x68, 42, 0, 0, 0, 0, 0, 0, 0 } },
        { "usb enable", L::enablePacket(Usb, 0x0A0B0C),
            { 0x0A, 0x68, 0x0C, 0x0B, 0x0A, 0, 0, 0, 0, 0 } },
        { "serial enable", L::enablePacket(Serial, 133),
            { 0x8B, 0x05, 0x68, 0x01, 0x00, 0, 0, 0, 0, 0, 0 } },
        { "serial enable, 21 bits", L::enablePacket(Serial, 0x1FFFFF),
            { 0x8B, 0x7F, 0x68, 0x7F, 0x7F, 0, 0, 0, 0, 0, 0 } },
        { "usb slate request", L::slateRequestPacket(Usb, 7, 5),
            { 0x09, 0x07, 0, 0, 7, 0, 0, 5, 0 } },
        { "serial slate request 63", L::slateRequestPacket(Serial, 63),
            { 0x8A, 0, 0x07, 0, 0x7C, 0x01, 0, 0, 0, 0 } },
        { "serial slate request 7", L::slateRequestPacket(Serial, 7),
            { 0x8A, 0, 0x07, 0, 0x1C, 0, 0, 0, 0, 0 } },
        { "usb slate pin", L::slatePinPacket(Usb, 7, { 1, 3, 6 }),
            { 0x09, 0x07, 7, 1, 3, 6, 0, 0, 0 } },
        // 7 | 1 << 8 | 3 << 16 | 6 << 24 = 0x06030107 in 7-bit groups: 07 02 0C 30 00.
        { "serial slate pin", L::slatePinPacket(Serial, 7, { 1, 3, 6 }),
            { 0x8A, 0x07, 0x07, 0x02, 0x0C, 0x30, 0x00, 0, 0, 0 } },
        { "usb vote", L::votePacket(Usb, 0x000102, 0x04, true),
            { 0x09, 0x65, 0x02, 0x01, 0x00, 0, 1, 0, 0x04 } },
        { "serial vote", L::votePacket(Serial, 133, 0x20),
            { 0x8A, 0x05, 0x65, 0x01, 0x00, 0, 0, 0, 0, 0x20 } },
        // The serial id byte may look like a touch (0x45) or RF change (0x56) kind.
        { "serial vote 0x45", L::votePacket(Serial, 0x45, 0x01),
            { 0x8A, 0x45, 0x65, 0, 0, 0, 0, 0, 0, 0x01 } },
        { "serial vote 0x56", L::votePacket(Serial, 0x56 + 128, 0x02),
            { 0x8A, 0x56, 0x65, 1, 0, 0, 0, 0, 0, 0x02 } },
        // A B C: codes 1 2 3; first's bit 2 above the id, then 01 010 011 in byte 5.
        { "usb pin name ABC", L::pinNamingPacket(Usb, 5, "ABC"),
            { 0x09, 0x67, 0x05, 0, 0x00, 0x53, 0, 0, 0 } },
        { "usb pin name F E", L::pinNamingPacket(Usb, 5, "F E"),
            { 0x09, 0x67, 0x05, 0, 0x80, 0xBD, 0, 0, 0 } },
        { "serial pin name F E", L::pinNamingPacket(Serial, 133, "F E"),
            { 0x8A, 0x05, 0x67, 0x01, 0x00, 0x6C, 0x0B, 0, 0, 0 } },
        { "usb pen", L::penPacket(Usb, 1, 0x1234, 0x0567, true),
            { 0x08, 0x21, 0x00, 0x34, 0x12, 0x67, 0x05, 0x0D } },
        // x 32769 = 2:0:1, y 300 = 0:2:44; tip and barrel (code 3), in range, pen 2.
        { "serial pen", L::penPacket(Serial, 2, 0x8001, 300, true, true),
            { 0x89, 0x00, 0x21, 0x2E, 0x00, 0x01, 0x10, 0x02, 0x2C } },
        { "serial pen out of range", L::penPacket(Serial, 0, 0, 0, false, false, false),
            { 0x89, 0x00, 0x21, 0, 0, 0, 0, 0, 0 } },
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.built, c.expected) << c.name;
}

TEST(LegacyRecords, WorkedExamplesDecode)
{
    EXPECT_EQ(voterId(Serial, L::voteRegistrationPacket(Serial, 133, false, 1)), 133u);
    // Serial slate ids live in five plus two bits: 0 and 64 decode as invalid ids.
    EXPECT_EQ(serialSlateRequestId(L::slateRequestPacket(Serial, 0)), 0);
    EXPECT_EQ(serialSlateRequestId(L::slateRequestPacket(Serial, 64)), 64);
    for (int id : { 1, 31, 32, 33, 63 })
        EXPECT_EQ(serialSlateRequestId(L::slateRequestPacket(Serial, std::uint8_t(id))), id);
    const Bytes pin = L::slatePinPacket(Serial, 63, { 6, 6, 6 });
    EXPECT_EQ(pinSlateId(Serial, pin), 63);
    EXPECT_EQ(pinText(Serial, pin), "666");
    const std::array<int, 3> codes { 6, 7, 5 };
    EXPECT_EQ(nameCodes(Usb, L::pinNamingPacket(Usb, 0x7FFFFF, 6, 7, 5)), codes);
    EXPECT_EQ(nameCodes(Serial, L::pinNamingPacket(Serial, 0x1FFFFF, 6, 7, 5)), codes);
    EXPECT_EQ(voterId(Usb, L::pinNamingPacket(Usb, 0x7FFFFF, 7, 7, 7)), 0x7FFFFFu);
}

TEST(LegacyRecords, PinDigitsAndIdentifiers)
{
    using Digits = std::array<std::uint8_t, 3>;
    EXPECT_EQ(L::pinDigits("ACF"), (Digits { 1, 3, 6 }));
    EXPECT_EQ(L::pinDigits("acf"), (Digits { 1, 3, 6 }));
    EXPECT_EQ(L::pinDigits("136"), (Digits { 1, 3, 6 }));
    EXPECT_EQ(L::pinDigits("G0"), (Digits { 0, 0, 0 }));
    EXPECT_EQ(L::identifierText(133), "850000000000");
    EXPECT_EQ(L::identifierText(0x00123456), "563412000000");
    EXPECT_EQ(L::identifierText(0xA1B2C3D4E5F6ull), "F6E5D4C3B2A1");
}

// Every serial packet is one byte longer than its USB twin; only its first byte has bit 7 set.
TEST(LegacyRecords, SerialFramingShape)
{
    const std::uint32_t ids[] = { 0, 1, 127, 128, 133, 0x3FFF, 0x1FFFFF, 0xFFFFFFFF };
    for (std::uint32_t id : ids) {
        auto pairOf = [id](auto build) { return std::make_pair(build(Usb), build(Serial)); };
        const std::vector<std::pair<Bytes, Bytes>> twins {
            pairOf([id](LegacyFraming f) { return L::voteRegistrationPacket(f, id, true, 255); }),
            pairOf([id](LegacyFraming f) { return L::enablePacket(f, id); }),
            pairOf([id](LegacyFraming f) { return L::votePacket(f, id, 0xFF, true); }),
            pairOf([id](LegacyFraming f) { return L::pinNamingPacket(f, id, 7, 7, 7); }),
            pairOf(
                [id](LegacyFraming f) { return L::slateRequestPacket(f, std::uint8_t(id), 255); }),
            pairOf([id](LegacyFraming f) {
                return L::slatePinPacket(f, std::uint8_t(id), { 7, 7, 7 });
            }),
            pairOf([id](LegacyFraming f) {
                return L::rfPacket(f, { 3, 3, 3, std::uint8_t(id) });
            }),
            pairOf([id](LegacyFraming f) {
                return L::penPacket(f, std::uint8_t(id), std::uint16_t(id), 0xFFFF, true, true);
            }),
        };
        for (const auto& [usb, serial] : twins) {
            ASSERT_EQ(serial.size(), usb.size() + 1) << id;
            EXPECT_EQ(usb[0], usb.size());
            EXPECT_EQ(serial[0], 0x80 | serial.size());
            for (std::size_t i = 1; i < serial.size(); ++i)
                EXPECT_EQ(serial[i] & 0x80, 0) << "id " << id << " byte " << i;
        }
        if (id <= 0x1FFFFF) {
            EXPECT_EQ(voterId(Serial, L::votePacket(Serial, id, 1)), id);
            EXPECT_EQ(enabledId(Serial, L::enablePacket(Serial, id)), id);
        }
        if (id <= 0x7FFFFF) {
            EXPECT_EQ(voterId(Usb, L::voteRegistrationPacket(Usb, id, false, 1)), id);
        }
    }
}

TEST(LegacyRecords, PenStrokesPerFraming)
{
    TavioEmulator::PenStroke stroke;
    stroke.pen = 1;
    stroke.fromX = 100;
    stroke.toX = 20100;
    stroke.fromY = 50;
    stroke.toY = 50;
    stroke.moves = 3;
    for (LegacyFraming framing : { Usb, Serial }) {
        const auto packets = L::penStrokePackets(framing, stroke);
        ASSERT_EQ(packets.size(), 5u);
        EXPECT_EQ(packets.front(), L::penPacket(framing, 1, 100, 50, true));
        EXPECT_EQ(packets[2], L::penPacket(framing, 1, 10100, 50, true));
        EXPECT_EQ(packets.back(), L::penPacket(framing, 1, 20100, 50, false));
    }
}

// The hub record

struct DeviceRecord
{
    unsigned char bytes[1024] = {};
    std::int32_t at(std::size_t offset) const
    {
        return std::int32_t(std::uint32_t(bytes[offset]) | std::uint32_t(bytes[offset + 1]) << 8
            | std::uint32_t(bytes[offset + 2]) << 16 | std::uint32_t(bytes[offset + 3]) << 24);
    }
    std::string additionalInfo() const { return reinterpret_cast<const char*>(bytes + 613); }
};

class LegacyHubRecordTest : public EmulatorTest
{
};

TEST_F(LegacyHubRecordTest, KindConnectionTypeVersionAndItems)
{
    LegacyHubRecord withBoard;
    withBoard.versionNumber = 395;
    EXPECT_EQ(
        withBoard.additionalInfo(), "xp=<-1> xt=<0> xl=<0> hid=<false> vid=<0000> pid=<0000>");
    LegacyHubRecord without;
    without.hasBoard = false;
    without.versionNumber = 850;
    without.penCount = 2;
    without.touches = 4;
    without.erasers = 1;
    without.hid = true;
    without.vendorId = 0x1B2C;
    without.productId = 0x00A1;
    EXPECT_EQ(without.additionalInfo(), "xp=<2> xt=<4> xl=<1> hid=<true> vid=<1B2C> pid=<00A1>");

    ASSERT_NE(addLegacyHub(emu(), withBoard, std::make_shared<L>(Serial)), nullptr);
    ASSERT_NE(addLegacyHub(emu(), without, std::make_shared<L>(Usb)), nullptr);
    EXPECT_EQ(addLegacyHub(emu(), without, nullptr), nullptr);
    ASSERT_EQ(tavioGetDeviceCount(), 2);
    DeviceRecord first, second;
    ASSERT_NE(tavioEnumDeviceInfo(0, first.bytes), 0);
    ASSERT_NE(tavioEnumDeviceInfo(1, second.bytes), 0);
    EXPECT_EQ(first.at(4), 1);
    EXPECT_EQ(first.at(8), 1);
    EXPECT_EQ(first.at(12), 395);
    EXPECT_EQ(first.additionalInfo(), withBoard.additionalInfo());
    EXPECT_EQ(second.at(4), 2);
    EXPECT_EQ(second.at(8), 2);
    EXPECT_EQ(second.at(12), 850);
    EXPECT_EQ(second.additionalInfo(), without.additionalInfo());
}

// Command handling, in both framings

class LegacyHubTest : public EmulatorTest, public ::testing::WithParamInterface<LegacyFraming>
{
protected:
    void SetUp() override
    {
        EmulatorTest::SetUp();
        firmware = std::make_shared<L>(GetParam());
        hub = addLegacyHub(emu(), {}, firmware);
        ASSERT_NE(hub, nullptr);
        tavioSetCallback(hub->handle(), &PacketLog::callback, &log);
    }

    LegacyFraming framing() const { return GetParam(); }

    // Writes one command and answers the packets that came back for it.
    Packets ask(const Bytes& command)
    {
        EXPECT_EQ(write(hub->handle(), command), int(command.size()));
        return take();
    }
    Packets ask(const std::string& command) { return ask(text(command)); }

    Packets take() { return log.takeFresh(*hub, seen, 1000ms); }

    static LegacyVoter voter(std::uint32_t id, std::vector<std::uint8_t> keys = { 0x01 })
    {
        LegacyVoter v;
        v.deviceId = id;
        v.keys = std::move(keys);
        return v;
    }

    std::string enable(std::uint32_t id) { return ":VI" + L::identifierText(id) + "\r"; }

    std::shared_ptr<L> firmware;
    TavioEmulator::EmulatedHub* hub = nullptr;
    PacketLog log;
    std::size_t seen = 0;
};

INSTANTIATE_TEST_SUITE_P(Framings, LegacyHubTest, ::testing::Values(Usb, Serial),
    [](const auto& info) { return info.param == Usb ? "Usb" : "Serial"; });

TEST_P(LegacyHubTest, RFSettingsAndTheirChanges)
{
    const std::size_t rfSize = 10;
    Packets packets = ask(":VT\r");
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_TRUE(isRecord(framing(), packets[0], rfSize, 'h'));
    EXPECT_EQ(rfFields(framing(), packets[0]), (RFFields { 1, 1, 1, 1 }));

    firmware->setRFSettings({ 3, 2, 2, 9 });
    EXPECT_TRUE(ask(":VY5\r").empty()); // band 2: channels 4 to 6 are reported as 1 to 3
    EXPECT_TRUE(ask(":AY4\r").empty());
    EXPECT_TRUE(ask(":UR42\r").empty());
    packets = ask(":VT\r");
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(rfFields(framing(), packets[0]), (RFFields { 2, 2, 1, 42 }));

    // A channel outside band 2 changes nothing; neither does a malformed board id.
    EXPECT_TRUE(ask(":VY1\r").empty());
    EXPECT_TRUE(ask(":VY7\r").empty());
    EXPECT_TRUE(ask(":UR5\r").empty());
    EXPECT_TRUE(ask(":URxy\r").empty());
    EXPECT_EQ(rfFields(framing(), ask(":VT\r").at(0)), (RFFields { 2, 2, 1, 42 }));

    firmware->setRFSettings({ 1, 1, 1, 1 });
    ask(":VY3\r");
    ask(":AY2\r");
    EXPECT_EQ(rfFields(framing(), ask(":VT\r").at(0)), (RFFields { 3, 1, 2, 1 }));
    EXPECT_EQ(firmware->commandCount(":VY"), 4);
    EXPECT_EQ(firmware->commandCount(":VY5"), 1);
    EXPECT_EQ(firmware->commandCount(":VT"), 4);
}

TEST_P(LegacyHubTest, FaultsOnTheHubsOwnAnswers)
{
    firmware->setSilent(true);
    EXPECT_TRUE(ask(":VT\r").empty());
    firmware->setSilent(false);
    firmware->dropNextAnswers(1);
    EXPECT_TRUE(ask(":VT\r").empty());
    EXPECT_EQ(ask(":VT\r").size(), 1u);

    firmware->setReplyDelay(80ms);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ask(":VT\r").size(), 1u);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 80ms);
    firmware->setReplyDelay(0ms);

    // Refused writes never reach the firmware.
    hub->refuseNextWrites(1);
    EXPECT_EQ(write(hub->handle(), text(":VT\r")), -1);
    EXPECT_TRUE(take().empty());
    EXPECT_EQ(firmware->commandCount(":VT"), 4);
}

TEST_P(LegacyHubTest, EnableAnswersOnlyForKnownVoters)
{
    firmware->addVoter(voter(133));
    firmware->addVoter(voter(0x00123456 & 0x1FFFFF));
    EXPECT_TRUE(ask(enable(134)).empty());
    EXPECT_TRUE(ask(":VI" + L::identifierText(133 + (1ull << 32)) + "\r").empty());
    EXPECT_TRUE(ask(":VI850000000000\r").size() == 1u);
    EXPECT_TRUE(ask(":VI850000000000X\r").empty()); // too long
    EXPECT_TRUE(ask(":VI8500000000\r").empty()); // too short
    EXPECT_TRUE(ask(":VIff0000000000\r").empty()); // upper-case only

    const Packets packets = ask(enable(0x00123456 & 0x1FFFFF));
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_TRUE(isRecord(framing(), packets[0], 10, 'h'));
    EXPECT_EQ(enabledId(framing(), packets[0]), 0x00123456u & 0x1FFFFF);
    EXPECT_EQ(
        firmware->enabledVoters(), (std::vector<std::uint32_t> { 133, 0x00123456 & 0x1FFFFF }));

    // A foreign reply, for the loop that checks it.
    firmware->setEnableReplyId(133, 999);
    EXPECT_EQ(enabledId(framing(), ask(enable(133)).at(0)), 999u);
    firmware->setEnableReplyId(133, std::nullopt);
    EXPECT_EQ(enabledId(framing(), ask(enable(133)).at(0)), 133u);

    EXPECT_TRUE(ask(":VO\r").empty());
    EXPECT_TRUE(firmware->enabledVoters().empty());
    EXPECT_TRUE(ask(":RD" + L::identifierText(133) + "\r").empty());
    EXPECT_TRUE(ask(enable(133)).empty());
    EXPECT_EQ(firmware->voters().size(), 1u);
    EXPECT_EQ(firmware->commandCount(":VI"), 10);
}

TEST_P(LegacyHubTest, OnlyEnabledVotersVoteAndRepeatTheirKeys)
{
    firmware->addVoter(voter(133, { 0x01, 0x01, 0x02 })); // a repeat, then another key
    firmware->addVoter(voter(0x45, { 0x20 }));
    firmware->addVoter(voter(0x56 + 128, { 0x04 }));
    LegacyVoter quiet = voter(7, { 0x08 });
    quiet.silent = true;
    firmware->addVoter(quiet);
    LegacyVoter low = voter(300, { 0x10 });
    low.batteryLow = true;
    firmware->addVoter(low);

    EXPECT_TRUE(ask(":VB\r").empty()); // nobody enabled yet
    for (std::uint32_t id : { 133u, 0x45u, 7u, 300u })
        ASSERT_EQ(ask(enable(id)).size(), 1u) << id;
    Packets votes = ask(":VB\r");
    EXPECT_EQ(firmware->session(), LegacySession::Voting);
    std::vector<std::pair<std::uint32_t, int>> seenVotes;
    for (const Bytes& vote : votes) {
        ASSERT_TRUE(isRecord(framing(), vote, 9, 'e'));
        seenVotes.emplace_back(voterId(framing(), vote), voteKey(framing(), vote));
    }
    const std::vector<std::pair<std::uint32_t, int>> expected { { 133, 0x01 }, { 133, 0x01 },
        { 133, 0x02 }, { 0x45, 0x20 }, { 300, 0x10 } };
    EXPECT_EQ(seenVotes, expected);
    EXPECT_EQ(votes.back()[6] & 1, 1); // battery low

    // ":VO" disables them all; ":VM" votes as ":VB" does.
    ask(":VE\r");
    ask(":VO\r");
    EXPECT_TRUE(ask(":VM\r").empty());
    ASSERT_EQ(ask(enable(0x56 + 128)).size(), 1u);
    votes = ask(":VM\r");
    ASSERT_EQ(votes.size(), 1u);
    EXPECT_EQ(voterId(framing(), votes[0]), 0x56u + 128);
}

TEST_P(LegacyHubTest, EndingVotingTakesBackLateVotes)
{
    LegacyVoter late = voter(133, { 0x01, 0x02 });
    late.delay = 100ms;
    late.keyGap = 300ms;
    firmware->addVoter(late);
    ask(enable(133));
    EXPECT_EQ(write(hub->handle(), text(":VB\r")), 4);
    EXPECT_EQ(write(hub->handle(), text(":VE\r")), 4);
    EXPECT_TRUE(take().empty());
    EXPECT_EQ(firmware->session(), LegacySession::None);

    // Disabled while the votes are under way: the rest stays unsent.
    EXPECT_EQ(write(hub->handle(), text(":VB\r")), 4);
    std::this_thread::sleep_for(200ms); // the first key went out at 100 ms
    EXPECT_EQ(write(hub->handle(), text(":VO\r")), 4);
    std::this_thread::sleep_for(250ms); // the second was due at 400 ms
    EXPECT_EQ(take().size(), 1u);
}

TEST_P(LegacyHubTest, VoterRegistration)
{
    LegacyVoter waiting = voter(133);
    waiting.batteryLow = true;
    waiting.version = 9;
    firmware->addWaitingVoter(waiting);
    LegacyVoter slow = voter(0x1234);
    slow.delay = 300ms;
    firmware->addWaitingVoter(slow);

    EXPECT_TRUE(ask(enable(133)).empty()); // not known before it registers
    EXPECT_EQ(write(hub->handle(), text(":VR\r")), 4);
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(write(hub->handle(), text(":VE\r")), 4); // before the slow one speaks
    const Packets packets = take();
    ASSERT_EQ(packets.size(), 1u);
    const Bytes& record = packets[0];
    EXPECT_TRUE(isRecord(framing(), record, 9, 'g'));
    EXPECT_EQ(voterId(framing(), record), 133u);
    if (isSerial(framing())) {
        EXPECT_EQ(record[6] & 0x7F, 16);
        EXPECT_EQ(record[9], 9);
    } else {
        EXPECT_EQ(record[6] & 1, 1);
        EXPECT_EQ(record[8], 9);
    }
    ASSERT_EQ(firmware->voters().size(), 1u);
    EXPECT_EQ(firmware->waitingVoters().size(), 1u);
    EXPECT_EQ(ask(enable(133)).size(), 1u);
}

TEST_P(LegacyHubTest, SlateRegistrationWithPins)
{
    firmware->addWaitingSlate({ 7, "", 0ms });
    firmware->addWaitingSlate({ 12, "ABD", 0ms }); // will type a wrong PIN
    Packets requests = ask(":AR\r");
    EXPECT_EQ(firmware->session(), LegacySession::SlateRegistration);
    ASSERT_EQ(requests.size(), 2u);
    for (const Bytes& request : requests)
        EXPECT_TRUE(isRecord(framing(), request, 9, 0x07));
    if (isSerial(framing())) {
        EXPECT_EQ(serialSlateRequestId(requests[0]), 7);
        EXPECT_EQ(serialSlateRequestId(requests[1]), 12);
    } else {
        EXPECT_EQ(requests[0][4], 7);
        EXPECT_EQ(requests[1][4], 12);
    }

    // Slate 7 with A C F: "07", channel 1, "136".
    Packets answer = ask(":AP071136\r");
    EXPECT_EQ(firmware->session(), LegacySession::SlatePin);
    ASSERT_EQ(answer.size(), 1u);
    EXPECT_EQ(pinSlateId(framing(), answer[0]), 7);
    EXPECT_EQ(pinText(framing(), answer[0]), "136");
    ASSERT_EQ(firmware->registeredSlates().size(), 1u);
    EXPECT_EQ(firmware->registeredSlates()[0].slateId, 7);
    const auto request = firmware->lastPinRequest();
    ASSERT_TRUE(request);
    EXPECT_EQ(request->slateId, 7);
    EXPECT_EQ(request->channel, 1);
    EXPECT_EQ(request->pin, "136");

    answer = ask(":AP12"
                 "2"
                 "135\r");
    ASSERT_EQ(answer.size(), 1u);
    EXPECT_EQ(pinSlateId(framing(), answer[0]), 12);
    EXPECT_EQ(pinText(framing(), answer[0]), "124"); // what it typed
    EXPECT_EQ(firmware->registeredSlates().size(), 1u);
    EXPECT_EQ(firmware->waitingSlates().size(), 1u);
    EXPECT_TRUE(ask(":AP30"
                    "1"
                    "111\r")
                    .empty()); // nobody waits as slate 30

    EXPECT_TRUE(ask(":AO\r").empty());
    EXPECT_EQ(firmware->session(), LegacySession::None);
    EXPECT_TRUE(ask(":AT1\r").empty());
    EXPECT_TRUE(firmware->usesRadioSlates());
    EXPECT_TRUE(ask(":AB07136\r").empty());
    EXPECT_EQ(firmware->enabledSlates(), (std::map<std::uint8_t, std::string> { { 7, "136" } }));
    EXPECT_TRUE(ask(":AE\r").empty());
    EXPECT_TRUE(firmware->enabledSlates().empty());
}

TEST_P(LegacyHubTest, PinNaming)
{
    LegacyVoter named = voter(133);
    named.pinName = "F E";
    firmware->addVoter(named);
    firmware->addVoter(voter(200)); // no name: keys nothing
    const Packets packets = ask(":VZ42\r");
    EXPECT_EQ(firmware->session(), LegacySession::PinNaming);
    EXPECT_EQ(firmware->lastPinNamingArgument(), 42);
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_TRUE(isRecord(framing(), packets[0], 9, 'g'));
    EXPECT_EQ(voterId(framing(), packets[0]), 133u);
    EXPECT_EQ(nameCodes(framing(), packets[0]), (std::array<int, 3> { 6, 7, 5 }));
    EXPECT_TRUE(ask(":VZ\r").empty());
    EXPECT_EQ(firmware->lastPinNamingArgument(), 42);
}

TEST_P(LegacyHubTest, QuietCommandsAndOddBytes)
{
    for (const char* quiet : { ":PK11\r", ":PN10\r", ":QT\r", ":VE\r", ":AT0\r" })
        EXPECT_TRUE(ask(quiet).empty()) << quiet;
    EXPECT_EQ(firmware->commandCount(":P"), 2);
    EXPECT_EQ(firmware->commandCount(":QT"), 1);

    // Truncated, overlong and binary commands are counted and never crash.
    const std::vector<Bytes> odd { {}, { 0x0D }, text(":"), text(":V"), text(":VI"), text(":VI\r"),
        text(":AP\r"), text(":AP07\r"), text(":AP0711\r"), text(":AP07123456\r"),
        text(":APxx1136\r"), text(":AB\r"), text(":AB7\r"), text(":VY\r"),
        text(":VY99999999999999999999\r"), text(":VZ-\r"), text(":VZ-5"), text(":RD\r"),
        Bytes(300, 0xFF), Bytes { ':', 'V', 'T' } };
    for (const Bytes& command : odd) {
        if (!command.empty())
            write(hub->handle(), command);
        firmware->onWrite(*hub, command);
    }
    EXPECT_TRUE(take().empty());
    EXPECT_EQ(firmware->lastPinNamingArgument(), std::nullopt);
}

TEST_P(LegacyHubTest, TouchQueriesGoOnToTheNextFirmware)
{
    auto board = std::make_shared<TavioEmulator::TouchBoardFirmware>();
    firmware = std::make_shared<L>(framing(), board);
    hub->setFirmware(firmware);
    EXPECT_EQ(ask(":QT\r"), (Packets { { 0x08, 0xA5, 0, 0, 0, 0, 5, 10 } }));
    EXPECT_EQ(ask(":VT\r").size(), 1u);
    EXPECT_EQ(board->queriesAnswered(), 1);
}

TEST_P(LegacyHubTest, PenStrokeReachesTheCallback)
{
    TavioEmulator::PenStroke stroke;
    stroke.toX = 1000;
    stroke.moves = 2;
    stroke.interval = 1ms;
    EXPECT_EQ(L::streamPenStroke(*hub, framing(), stroke), 4);
    const Packets packets = take();
    ASSERT_EQ(packets.size(), 4u);
    EXPECT_EQ(packets.back(), L::penPacket(framing(), stroke.pen, 1000, 0, false));
}

TEST_P(LegacyHubTest, UnplugWhileLearnersAreDue)
{
    LegacyVoter late = voter(133);
    late.delay = 200ms;
    firmware->addVoter(late);
    ask(enable(133));
    EXPECT_EQ(write(hub->handle(), text(":VB\r")), 4);
    EXPECT_TRUE(emu().removeHub(hub->handle()));
    std::this_thread::sleep_for(250ms);
    EXPECT_EQ(log.bytes().size(), 1u); // the enable answer only
}

} // namespace
