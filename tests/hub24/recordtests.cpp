// The records decoded from 2.4 GHz hub packets: recognition, fields, end-of-list packets, and
// packets that are cut short, too long or wrong in one byte.

#include "hub24/hub24records.h"

#include <gtest/gtest.h>

#include <tuple>

using namespace Taviosystem;

namespace {

QByteArray hexBytes(const char* text) { return QByteArray::fromHex(QByteArray(text)); }

// `packet` with byte `index` set to `value`.
QByteArray withByte(QByteArray packet, int index, int value)
{
    packet[index] = char(value);
    return packet;
}

const char* const VotePacket = "0D67123456789ABC06426F6200";
const char* const SlatePacket = "136712ABCDEF0123074C6F6E67536C61746531";
const char* const ExpressionPacket = "17800C0000010002094578707200000000000000000000";
const char* const BoardPacket = "17900A0B0C0D0E0F08426F617264000000000000000000";
const char* const BoardInfoPacket = "179000000000000000000000000000000000000003805A";

struct RecordCase
{
    const char* sample;
    bool exact; // exact length, or "length and byte 0 at least N"
    bool (*isResponse)(const QByteArray&);
    bool (*decodesValid)(const QByteArray&);
};

template <typename Record>
RecordCase recordCase(const char* sample, bool exact)
{
    return { sample, exact, &Record::isResponse,
        [](const QByteArray& packet) { return Record(packet).isValid(); } };
}

// The fields every registration record carries.
void expectDevice(const RegisteredDeviceResponse& r, int kind, const char* identifier, quint32 uid,
    quint16 address, int productId, const QString& name)
{
    ASSERT_TRUE(r.isValid());
    EXPECT_EQ(std::tuple(r.packetType(), r.deviceIdentifier, r.uid, r.address, r.productId, r.name),
        std::tuple(kind, QByteArray(identifier), uid, address, productId, name));
}

TEST(Hub24Records, DamagedPacketsGiveInvalidRecordsWithoutCrashing)
{
    const RecordCase cases[] = {
        recordCase<OKResponse>("04324F4B", true),
        recordCase<InformationResponse>("0B51FF0101000304050630", false),
        recordCase<NameAndFreeStoreResponse>("103248756200414141414141DEADBEEF", false),
        recordCase<DeviceCountResponse>("04530102", false),
        recordCase<RegisteredVoteResponse>(VotePacket, true),
        recordCase<RegisteredSlateResponse>(SlatePacket, true),
        recordCase<RegisteredExpressionResponse>(ExpressionPacket, false),
        recordCase<RegisteredBoardResponse>(BoardPacket, false),
        recordCase<BoardInfoResponse>(BoardInfoPacket, true),
        recordCase<TwoPointFourGHzPinNamingResponse>("0B67112233445566029C00", true),
        recordCase<SessionByteResponse>("0C83123405060708090A0B0C", true),
        recordCase<SessionSortInOrderResponse>("0C83123405060708090A0B0C", true),
        recordCase<ExpressionNameReceivedResponse>("04820102", true),
        recordCase<BatteryLowResponse>("0850112233445566", false),
    };
    for (const RecordCase& c : cases) {
        SCOPED_TRACE(c.sample);
        // Recognition and decoding always agree.
        const auto accepted = [&c](const QByteArray& packet) {
            const bool recognised = c.isResponse(packet);
            EXPECT_EQ(recognised, c.decodesValid(packet)) << packet.toHex().constData();
            return recognised;
        };
        const QByteArray sample = hexBytes(c.sample);
        EXPECT_TRUE(accepted(sample));
        for (int n = 0; n < sample.size(); ++n)
            EXPECT_FALSE(accepted(sample.left(n))) << "length " << n;
        EXPECT_FALSE(accepted(withByte(sample, 1, sample.at(1) ^ 0x01))) << "kind";
        EXPECT_FALSE(accepted(withByte(sample, 0, sample.at(0) - 1))) << "length byte";
        // Byte 0 is unsigned: 0xFF satisfies "at least N" but not "exactly N".
        EXPECT_EQ(accepted(withByte(sample, 0, 0xFF)), !c.exact) << "length byte 0xFF";
        const QByteArray longer = sample + QByteArray(2, '\x5A');
        EXPECT_EQ(accepted(longer), !c.exact) << "two extra bytes";
        EXPECT_EQ(accepted(withByte(longer, 0, longer.size())), !c.exact) << "and byte 0 agreeing";
    }
}

TEST(Hub24Records, OKAndNameRecordAreToldApartByLength)
{
    const QByteArray ok = OKResponse::packet();
    EXPECT_EQ(ok, hexBytes("04324F4B"));
    EXPECT_EQ(OKResponse(ok).packetType(), 0x32);
    EXPECT_FALSE(NameAndFreeStoreResponse::isResponse(ok));
    EXPECT_FALSE(OKResponse::isResponse(hexBytes("04324F4C")));

    const QByteArray name = hexBytes("1032") + QByteArray(14, '\0');
    EXPECT_TRUE(NameAndFreeStoreResponse::isResponse(name));
    EXPECT_FALSE(OKResponse::isResponse(name));
}

TEST(Hub24Records, HubRecordFields)
{
    const InformationResponse info(hexBytes("0B51FF0101000304050630"));
    ASSERT_TRUE(info.isValid());
    EXPECT_EQ(info.packetType(), 0x51);
    EXPECT_EQ(std::tuple(info.votingDevicesRegistered, info.votingDeviceCapacity,
                  info.boardsRegistered, info.boardCapacity, info.slatesRegistered,
                  info.slateCapacity, info.hubStateCode, info.hubState),
        std::tuple(0xFF01, 0x0100, 3, 4, 5, 6, 0x30, Hub::HubState_Code48));

    const NameAndFreeStoreResponse cut(hexBytes("103248756269004141414141DEADBEEF"));
    ASSERT_TRUE(cut.isValid());
    EXPECT_EQ(cut.name, QStringLiteral("Hubi"));
    EXPECT_EQ(cut.freeStore, hexBytes("DEADBEEF"));
    // Ten characters without a zero byte, one of them Latin-1.
    const NameAndFreeStoreResponse full(hexBytes("1032436C617373726F6F6DE900010203"));
    EXPECT_EQ(full.name, QString::fromUtf8("Classroom\u00E9"));
    EXPECT_EQ(full.freeStore, hexBytes("00010203"));

    const DeviceCountResponse count(hexBytes("0453FF02"));
    ASSERT_TRUE(count.isValid());
    EXPECT_EQ(count.count, 0xFF02);
}

TEST(Hub24Records, VoteRecord)
{
    expectDevice(RegisteredVoteResponse(hexBytes(VotePacket)), 0x67, "123456789ABC", 0x12345678,
        0x9ABC, 6, "Bob");
    expectDevice(RegisteredVoteResponse(hexBytes("0D67FFFFFFFFFFFF0A416E6E61")), 0x67,
        "FFFFFFFFFFFF", 0xFFFFFFFF, 0xFFFF, 10, "Anna");

    // Byte 8 = 9 is the end-of-list marker, not a voter.
    const std::pair<int, bool> products[]
        = { { 6, true }, { 10, true }, { 9, false }, { 7, false }, { 0x86, false } };
    for (const auto& [product, accepted] : products) {
        EXPECT_EQ(RegisteredVoteResponse::isResponse(withByte(hexBytes(VotePacket), 8, product)),
            accepted)
            << product;
    }
}

TEST(Hub24Records, SlateRecordInBothForms)
{
    const RegisteredSlateResponse shortForm(hexBytes(SlatePacket));
    expectDevice(shortForm, 0x67, "12ABCDEF0123", 0x12ABCDEF, 0x0123, 7, "LongSlate1");
    EXPECT_FALSE(shortForm.hasExtraByte);

    const QByteArray longPacket = withByte(hexBytes(SlatePacket), 0, 20) + '\x7F';
    const RegisteredSlateResponse longForm(longPacket);
    ASSERT_TRUE(longForm.isValid());
    EXPECT_TRUE(longForm.hasExtraByte);
    EXPECT_EQ(longForm.extraByte, 0x7F);

    // Byte 0 must equal the size, and byte 8 must be 7.
    EXPECT_FALSE(RegisteredSlateResponse(withByte(longPacket, 0, 19)).isValid());
    EXPECT_FALSE(RegisteredSlateResponse(withByte(hexBytes(SlatePacket), 8, 6)).isValid());
}

TEST(Hub24Records, ExpressionRecordAndItsSubType)
{
    expectDevice(RegisteredExpressionResponse(hexBytes(ExpressionPacket)), 0x80, "0C0000010002",
        0x0C000001, 0x0002, 9, "Expr");
    // Fourteen Latin-1 characters fill the name field.
    const QByteArray full
        = hexBytes(ExpressionPacket).left(9) + hexBytes("4D6172ED6120476F6E7AE16C657A");
    EXPECT_EQ(
        RegisteredExpressionResponse(full).name, QString::fromUtf8("Mar\u00EDa Gonz\u00E1lez"));

    for (const int product : { 0, 8, 10, 12 })
        EXPECT_FALSE(RegisteredExpressionResponse::isResponse(withByte(full, 8, product)));

    // First identifier byte 12 marks the second generation; pen expressions (13) have none.
    const std::tuple<int, int, Device::SubType> rows[]
        = { { 12, 9, Device::SubType_ExpressionV2 }, { 12, 13, Device::SubType_ExpressionV2 },
              { 0x11, 9, Device::SubType_Expression }, { 0x11, 13, Device::SubType_None } };
    for (const auto& [firstByte, product, expected] : rows) {
        const RegisteredExpressionResponse e(withByte(withByte(full, 2, firstByte), 8, product));
        ASSERT_TRUE(e.isValid());
        EXPECT_EQ(e.subType, expected) << firstByte << " " << product;
    }
}

TEST(Hub24Records, BoardRecordAndFirmwareDecidesTouch)
{
    expectDevice(RegisteredBoardResponse(hexBytes(BoardPacket)), 0x90, "0A0B0C0D0E0F", 0x0A0B0C0D,
        0x0E0F, 8, "Board");
    EXPECT_FALSE(RegisteredBoardResponse(withByte(hexBytes(BoardPacket), 8, 9)).isValid());

    const BoardInfoResponse touch(hexBytes(BoardInfoPacket));
    ASSERT_TRUE(touch.isValid());
    EXPECT_EQ(touch.firmwareVersion, 0x0380);
    EXPECT_EQ(touch.lastByte, 0x5A);
    EXPECT_TRUE(touch.supportsTouch());
    const BoardInfoResponse old(withByte(hexBytes(BoardInfoPacket), 21, 0x51));
    EXPECT_EQ(old.firmwareVersion, 849);
    EXPECT_FALSE(old.supportsTouch());
    EXPECT_TRUE(BoardInfoResponse(withByte(hexBytes(BoardInfoPacket), 21, 0x52)).supportsTouch());
    // A record that failed its test never claims touch.
    EXPECT_FALSE(BoardInfoResponse(hexBytes(BoardInfoPacket).chopped(1)).supportsTouch());
}

TEST(Hub24Records, PinNaming)
{
    const TwoPointFourGHzPinNamingResponse r(hexBytes("0B67112233445566029C00"));
    ASSERT_TRUE(r.isValid());
    EXPECT_EQ(std::tuple(r.packetType(), r.uid, r.address, r.name),
        std::tuple(0x67, 0x11223344u, 0x5566, QStringLiteral("ABCD")));

    const std::tuple<quint8, quint8, const char*> rows[]
        = { { 0x02, 0x00, "A" }, { 0x02, 0x9C, "ABCD" }, { 0x0F, 0xFF, "    " }, { 0x00, 0x00, "" },
              { 0x01, 0x40, "E" }, // the second code spans both bytes
              { 0xF0, 0x01, "A" }, // bits above the first code are ignored
              { 0x0A, 0xB7, "EBF " } };
    for (const auto& [b8, b9, expected] : rows) {
        EXPECT_EQ(TwoPointFourGHzPinNamingResponse::decodeName(b8, b9), QLatin1String(expected))
            << int(b8) << " " << int(b9);
    }
}

TEST(Hub24Records, SessionAnswersNameReceivedAndBatteryLow)
{
    const QByteArray packet = hexBytes("0C83F23405060708090A0BFF");
    const SessionByteResponse byte(packet);
    ASSERT_TRUE(byte.isValid());
    EXPECT_EQ(std::tuple(byte.packetType(), byte.address, byte.value4, byte.value5, byte.answer),
        std::tuple(0x83, 0xF234, 5, 6, 7));

    const SessionSortInOrderResponse sort(packet);
    ASSERT_TRUE(sort.isValid());
    EXPECT_EQ(std::tuple(sort.address, sort.value4, sort.value5), std::tuple(0xF234, 5, 6));
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(sort.answers), 6), hexBytes("0708090A0BFF"));

    const ExpressionNameReceivedResponse named(hexBytes("0482FE01"));
    ASSERT_TRUE(named.isValid());
    EXPECT_EQ(std::tuple(named.status1, named.status2), std::tuple(0xFE, 0x01));

    const BatteryLowResponse battery(hexBytes("0950112233445566AA"));
    ASSERT_TRUE(battery.isValid());
    EXPECT_EQ(std::tuple(battery.packetType(), battery.uid, battery.address),
        std::tuple(0x50, 0x11223344u, 0x5566));
}

TEST(Hub24Records, EndOfListPackets)
{
    EXPECT_EQ(RegisteredVoteResponse::endOfListPacket(), hexBytes("0D670000000000000900000000"));
    EXPECT_EQ(RegisteredExpressionResponse::endOfListPacket(),
        hexBytes("178000000000000009") + QByteArray(14, '\0'));
    EXPECT_EQ(RegisteredBoardResponse::endOfListPacket(),
        hexBytes("179000000000000008") + QByteArray(14, '\0'));
    EXPECT_EQ(RegisteredSlateResponse::endOfListPacket(),
        hexBytes("146700000000000007") + QByteArray(11, '\0'));

    // Only the voter marker fails its own record's test; the reader compares before decoding.
    EXPECT_FALSE(RegisteredVoteResponse::isResponse(RegisteredVoteResponse::endOfListPacket()));
    EXPECT_TRUE(
        RegisteredExpressionResponse::isResponse(RegisteredExpressionResponse::endOfListPacket()));
    EXPECT_TRUE(RegisteredBoardResponse::isResponse(RegisteredBoardResponse::endOfListPacket()));
    const RegisteredSlateResponse slate(RegisteredSlateResponse::endOfListPacket());
    ASSERT_TRUE(slate.isValid());
    EXPECT_EQ(slate.deviceIdentifier, QByteArray("000000000000"));
    EXPECT_TRUE(slate.name.isEmpty());
    EXPECT_TRUE(slate.hasExtraByte);
}

} // namespace
