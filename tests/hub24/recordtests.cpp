// The records decoded from 2.4 GHz hub packets: recognition, fields, and packets that are cut
// short, too long or wrong in one byte.

#include "hub24/hub24records.h"
#include "hub24/twopointfourghzprotocol.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>
#include <ostream>

using namespace Taviosystem;

namespace {

QByteArray hexBytes(const char* text) { return QByteArray::fromHex(QByteArray(text)); }

// A packet of `length` zero bytes with the given leading bytes.
QByteArray zeroPadded(const char* leadingHex, int length)
{
    QByteArray packet = hexBytes(leadingHex);
    packet.append(QByteArray(length - packet.size(), '\0'));
    return packet;
}

// One record type with a packet it must accept.
struct RecordCase
{
    const char* name;
    QByteArray sample;
    bool exactLength; // false: "length and byte 0 at least N"
    std::function<bool(const QByteArray&)> isResponse;
    std::function<bool(const QByteArray&)> decodesValid;
};

void PrintTo(const RecordCase& c, std::ostream* os) { *os << c.name; }

template <typename Record>
RecordCase recordCase(const char* name, const char* hex, bool exact)
{
    return { name, hexBytes(hex), exact, [](const QByteArray& p) { return Record::isResponse(p); },
        [](const QByteArray& p) { return Record(p).isValid(); } };
}

const char* const VotePacket = "0D67123456789ABC06426F6200";
const char* const SlatePacket = "136712ABCDEF0123074C6F6E67536C61746531";
const char* const SlateLongPacket = "146712ABCDEF0123074C6F6E67536C617465317F";
const char* const ExpressionPacket = "17800C0000010002094578707200000000000000000000";
const char* const BoardPacket = "17900A0B0C0D0E0F08426F617264000000000000000000";
const char* const BoardInfoPacket = "179000000000000000000000000000000000000003805A";

std::vector<RecordCase> recordCases()
{
    return {
        recordCase<OKResponse>("OK", "04324F4B", true),
        recordCase<InformationResponse>("Information", "0B51FF0101000304050630", false),
        recordCase<NameAndFreeStoreResponse>(
            "NameAndFreeStore", "103248756200414141414141DEADBEEF", false),
        recordCase<DeviceCountResponse>("DeviceCount", "04530102", false),
        recordCase<RegisteredVoteResponse>("RegisteredVote", VotePacket, true),
        recordCase<RegisteredSlateResponse>("RegisteredSlate", SlatePacket, true),
        recordCase<RegisteredSlateResponse>("RegisteredSlateLong", SlateLongPacket, true),
        recordCase<RegisteredExpressionResponse>("RegisteredExpression", ExpressionPacket, false),
        recordCase<RegisteredBoardResponse>("RegisteredBoard", BoardPacket, false),
        recordCase<BoardInfoResponse>("BoardInfo", BoardInfoPacket, true),
        recordCase<TwoPointFourGHzPinNamingResponse>("PinNaming", "0B67112233445566029C00", true),
        recordCase<SessionByteResponse>("SessionByte", "0C83123405060708090A0B0C", true),
        recordCase<SessionSortInOrderResponse>(
            "SessionSortInOrder", "0C83123405060708090A0B0C", true),
        recordCase<ExpressionNameReceivedResponse>("ExpressionNameReceived", "04820102", true),
        recordCase<BatteryLowResponse>("BatteryLow", "0850112233445566", false),
    };
}

class RecordRecognitionTest : public ::testing::TestWithParam<RecordCase>
{
protected:
    bool accepted(const QByteArray& packet) const
    {
        const bool recognised = GetParam().isResponse(packet);
        EXPECT_EQ(recognised, GetParam().decodesValid(packet)) << packet.toHex().constData();
        return recognised;
    }
};

TEST_P(RecordRecognitionTest, AcceptsTheSample) { EXPECT_TRUE(accepted(GetParam().sample)); }

TEST_P(RecordRecognitionTest, RejectsEveryTruncation)
{
    const QByteArray& sample = GetParam().sample;
    for (int n = 0; n < sample.size(); ++n)
        EXPECT_FALSE(accepted(sample.left(n))) << "length " << n;
}

TEST_P(RecordRecognitionTest, RejectsAWrongKind)
{
    QByteArray packet = GetParam().sample;
    packet[1] = char(packet.at(1) ^ 0x01);
    EXPECT_FALSE(accepted(packet));
}

TEST_P(RecordRecognitionTest, RejectsALengthByteOneShort)
{
    QByteArray packet = GetParam().sample;
    packet[0] = char(packet.at(0) - 1);
    EXPECT_FALSE(accepted(packet));
}

TEST_P(RecordRecognitionTest, LengthByteOneOverIsRejectedOnlyByExactRecords)
{
    QByteArray packet = GetParam().sample;
    packet[0] = char(packet.at(0) + 1);
    EXPECT_EQ(accepted(packet), !GetParam().exactLength);
}

TEST_P(RecordRecognitionTest, OverLongPacketsAreRejectedOnlyByExactRecords)
{
    const QByteArray sample = GetParam().sample;
    for (const int extra : { 1, 2, 40 }) {
        QByteArray packet = sample + QByteArray(extra, '\x5A');
        EXPECT_EQ(accepted(packet), !GetParam().exactLength) << "extra " << extra;
        // Even with byte 0 agreeing with the longer size; one more byte than the short slate
        // record is the long form, so that size is left to the slate field tests.
        if (extra == 1)
            continue;
        packet[0] = char(packet.size());
        EXPECT_EQ(accepted(packet), !GetParam().exactLength) << "extra " << extra;
    }
}

TEST_P(RecordRecognitionTest, LengthBytesAreUnsigned)
{
    // 0xFF is 255, not -1: "at least N" holds, "exactly N" does not.
    QByteArray packet = GetParam().sample;
    packet[0] = char(0xFF);
    EXPECT_EQ(accepted(packet), !GetParam().exactLength);
}

TEST_P(RecordRecognitionTest, ArbitraryPacketsNeverCrash)
{
    for (const char fill : { '\x00', '\x7F', '\xFF' }) {
        for (int n = 0; n < 48; ++n) {
            QByteArray packet(n, fill);
            GetParam().isResponse(packet);
            GetParam().decodesValid(packet);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Hub24Records, RecordRecognitionTest, ::testing::ValuesIn(recordCases()),
    [](const ::testing::TestParamInfo<RecordCase>& info) { return info.param.name; });

// --- Fields ---

TEST(Hub24RecordFields, OKIsDecidedByLengthAgainstTheNameRecord)
{
    const QByteArray ok = OKResponse::packet();
    EXPECT_EQ(ok, hexBytes("04324F4B"));
    EXPECT_TRUE(OKResponse(ok).isValid());
    EXPECT_EQ(OKResponse(ok).packetType(), 0x32);
    EXPECT_FALSE(NameAndFreeStoreResponse::isResponse(ok));

    const QByteArray name = zeroPadded("1032", NameAndFreeStoreResponse::MinimumLength);
    EXPECT_TRUE(NameAndFreeStoreResponse::isResponse(name));
    EXPECT_FALSE(OKResponse::isResponse(name));
    EXPECT_FALSE(OKResponse::isResponse(hexBytes("04324F4C")));
    EXPECT_FALSE(OKResponse(hexBytes("04324F4C")).isValid());
}

TEST(Hub24RecordFields, Information)
{
    const InformationResponse r(hexBytes("0B51FF0101000304050630"));
    ASSERT_TRUE(r.isValid());
    EXPECT_EQ(r.packetType(), 0x51);
    EXPECT_EQ(r.votingDevicesRegistered, 0xFF01);
    EXPECT_EQ(r.votingDeviceCapacity, 0x0100);
    EXPECT_EQ(r.boardsRegistered, 3);
    EXPECT_EQ(r.boardCapacity, 4);
    EXPECT_EQ(r.slatesRegistered, 5);
    EXPECT_EQ(r.slateCapacity, 6);
    EXPECT_EQ(r.hubStateCode, 0x30);
    EXPECT_EQ(r.hubState, Hub::HubState_Code48);

    const InformationResponse idle(hexBytes("0B51000000000000000000"));
    EXPECT_EQ(idle.hubState, Hub::HubState_Idle);
    const InformationResponse unknown(hexBytes("0B51000000000000000002"));
    EXPECT_EQ(unknown.hubStateCode, 2);
    EXPECT_EQ(unknown.hubState, Hub::HubState_Unknown);

    const InformationResponse invalid(hexBytes("0A51000000000000000030"));
    EXPECT_FALSE(invalid.isValid());
    EXPECT_EQ(invalid.packetType(), 0);
    EXPECT_EQ(invalid.hubStateCode, 0);
    EXPECT_EQ(invalid.hubState, Hub::HubState_Unknown);
}

TEST(Hub24RecordFields, NameAndFreeStore)
{
    const NameAndFreeStoreResponse cut(hexBytes("103248756269004141414141DEADBEEF"));
    ASSERT_TRUE(cut.isValid());
    EXPECT_EQ(cut.name, QString::fromLatin1("Hubi"));
    EXPECT_EQ(cut.freeStore, hexBytes("DEADBEEF"));

    // Ten characters without a zero byte, one of them Latin-1.
    const NameAndFreeStoreResponse full(hexBytes("1032436C617373726F6F6DE900010203"));
    ASSERT_TRUE(full.isValid());
    EXPECT_EQ(full.name, QString::fromUtf8("Classroom\u00E9"));
    EXPECT_EQ(full.freeStore, hexBytes("00010203"));
}

TEST(Hub24RecordFields, DeviceCount)
{
    const DeviceCountResponse r(hexBytes("0453FF02"));
    ASSERT_TRUE(r.isValid());
    EXPECT_EQ(r.count, 0xFF02);
    EXPECT_EQ(r.packetType(), 0x53);
}

TEST(Hub24RecordFields, RegisteredVote)
{
    const RegisteredVoteResponse r(hexBytes(VotePacket));
    ASSERT_TRUE(r.isValid());
    EXPECT_EQ(r.packetType(), 0x67);
    EXPECT_EQ(r.deviceIdentifier, QByteArray("123456789ABC"));
    EXPECT_EQ(r.uid, 0x12345678u);
    EXPECT_EQ(r.address, 0x9ABC);
    EXPECT_EQ(r.productId, 6);
    EXPECT_EQ(r.name, QStringLiteral("Bob"));

    const RegisteredVoteResponse full(hexBytes("0D67FFFFFFFFFFFF0A416E6E61"));
    ASSERT_TRUE(full.isValid());
    EXPECT_EQ(full.deviceIdentifier, QByteArray("FFFFFFFFFFFF"));
    EXPECT_EQ(full.uid, 0xFFFFFFFFu);
    EXPECT_EQ(full.address, 0xFFFF);
    EXPECT_EQ(full.productId, 10);
    EXPECT_EQ(full.name, QStringLiteral("Anna"));
}

TEST(Hub24RecordFields, VoteRecordNeedsProductSixOrTen)
{
    for (int product = 0; product < 256; ++product) {
        QByteArray packet = hexBytes(VotePacket);
        packet[8] = char(product);
        EXPECT_EQ(RegisteredVoteResponse::isResponse(packet), product == 6 || product == 10)
            << product;
    }
    // The end-of-list marker carries 9 there.
    EXPECT_FALSE(RegisteredVoteResponse::isResponse(RegisteredVoteResponse::endOfListPacket()));
}

TEST(Hub24RecordFields, RegisteredSlate)
{
    const RegisteredSlateResponse shortForm(hexBytes(SlatePacket));
    ASSERT_TRUE(shortForm.isValid());
    EXPECT_EQ(shortForm.deviceIdentifier, QByteArray("12ABCDEF0123"));
    EXPECT_EQ(shortForm.uid, 0x12ABCDEFu);
    EXPECT_EQ(shortForm.address, 0x0123);
    EXPECT_EQ(shortForm.productId, 7);
    EXPECT_EQ(shortForm.name, QStringLiteral("LongSlate1"));
    EXPECT_FALSE(shortForm.hasExtraByte);
    EXPECT_EQ(shortForm.extraByte, 0);

    const RegisteredSlateResponse longForm(hexBytes(SlateLongPacket));
    ASSERT_TRUE(longForm.isValid());
    EXPECT_EQ(longForm.name, QStringLiteral("LongSlate1"));
    EXPECT_TRUE(longForm.hasExtraByte);
    EXPECT_EQ(longForm.extraByte, 0x7F);

    // Byte 0 must equal the size: a 20-byte packet claiming 19 is neither form.
    QByteArray mismatched = hexBytes(SlateLongPacket);
    mismatched[0] = char(RegisteredSlateResponse::ShortLength);
    EXPECT_FALSE(RegisteredSlateResponse(mismatched).isValid());
    QByteArray otherProduct = hexBytes(SlatePacket);
    otherProduct[8] = char(6);
    EXPECT_FALSE(RegisteredSlateResponse(otherProduct).isValid());
}

TEST(Hub24RecordFields, RegisteredExpression)
{
    const RegisteredExpressionResponse r(hexBytes(ExpressionPacket));
    ASSERT_TRUE(r.isValid());
    EXPECT_EQ(r.packetType(), 0x80);
    EXPECT_EQ(r.deviceIdentifier, QByteArray("0C0000010002"));
    EXPECT_EQ(r.uid, 0x0C000001u);
    EXPECT_EQ(r.address, 0x0002);
    EXPECT_EQ(r.productId, 9);
    EXPECT_EQ(r.name, QStringLiteral("Expr"));
    EXPECT_EQ(r.subType, Device::SubType_ExpressionV2);

    // Fourteen Latin-1 characters fill the name field.
    QByteArray full = zeroPadded("17800000000000010D", RegisteredExpressionResponse::MinimumLength);
    full.replace(9, 14,
        QByteArray("Mar\xED"
                   "a Gonz\xE1"
                   "lez"));
    const RegisteredExpressionResponse pen(full);
    ASSERT_TRUE(pen.isValid());
    EXPECT_EQ(pen.name, QString::fromUtf8("Mar\u00EDa Gonz\u00E1lez"));
    EXPECT_EQ(pen.productId, 13);
}

TEST(Hub24RecordFields, ExpressionSubTypeRule)
{
    struct Row
    {
        quint8 firstIdentifierByte;
        quint8 productId;
        Device::SubType expected;
    };
    const Row rows[] = {
        { 12, 9, Device::SubType_ExpressionV2 },
        { 12, 13, Device::SubType_ExpressionV2 },
        { 0x11, 9, Device::SubType_Expression },
        { 0, 9, Device::SubType_Expression },
        { 0x11, 13, Device::SubType_None },
        { 13, 13, Device::SubType_None },
    };
    for (const Row& row : rows) {
        QByteArray packet = hexBytes(ExpressionPacket);
        packet[2] = char(row.firstIdentifierByte);
        packet[8] = char(row.productId);
        const RegisteredExpressionResponse r(packet);
        ASSERT_TRUE(r.isValid());
        EXPECT_EQ(r.subType, row.expected)
            << int(row.firstIdentifierByte) << " " << int(row.productId);
    }
    EXPECT_EQ(RegisteredExpressionResponse().subType, Device::SubType_None);
}

TEST(Hub24RecordFields, ExpressionRecordNeedsProductNineOrThirteen)
{
    for (int product = 0; product < 256; ++product) {
        QByteArray packet = hexBytes(ExpressionPacket);
        packet[8] = char(product);
        EXPECT_EQ(RegisteredExpressionResponse::isResponse(packet), product == 9 || product == 13)
            << product;
    }
}

TEST(Hub24RecordFields, RegisteredBoard)
{
    const RegisteredBoardResponse r(hexBytes(BoardPacket));
    ASSERT_TRUE(r.isValid());
    EXPECT_EQ(r.packetType(), 0x90);
    EXPECT_EQ(r.deviceIdentifier, QByteArray("0A0B0C0D0E0F"));
    EXPECT_EQ(r.uid, 0x0A0B0C0Du);
    EXPECT_EQ(r.address, 0x0E0F);
    EXPECT_EQ(r.productId, 8);
    EXPECT_EQ(r.name, QStringLiteral("Board"));

    QByteArray otherProduct = hexBytes(BoardPacket);
    otherProduct[8] = char(9);
    EXPECT_FALSE(RegisteredBoardResponse(otherProduct).isValid());
}

TEST(Hub24RecordFields, BoardFirmwareDecidesTouch)
{
    const BoardInfoResponse touch(hexBytes(BoardInfoPacket));
    ASSERT_TRUE(touch.isValid());
    EXPECT_EQ(touch.firmwareVersion, 0x0380);
    EXPECT_EQ(touch.lastByte, 0x5A);
    EXPECT_TRUE(touch.supportsTouch());

    QByteArray packet = hexBytes(BoardInfoPacket);
    packet[20] = char(0x03);
    packet[21] = char(0x51);
    EXPECT_EQ(BoardInfoResponse(packet).firmwareVersion, 849);
    EXPECT_FALSE(BoardInfoResponse(packet).supportsTouch());
    packet[21] = char(0x52);
    EXPECT_TRUE(BoardInfoResponse(packet).supportsTouch());

    // A record that failed its test never claims touch.
    packet.chop(1);
    EXPECT_FALSE(BoardInfoResponse(packet).supportsTouch());
}

TEST(Hub24RecordFields, PinNaming)
{
    const TwoPointFourGHzPinNamingResponse r(hexBytes("0B67112233445566029C00"));
    ASSERT_TRUE(r.isValid());
    EXPECT_EQ(r.packetType(), 0x67);
    EXPECT_EQ(r.uid, 0x11223344u);
    EXPECT_EQ(r.address, 0x5566);
    EXPECT_EQ(r.name, QStringLiteral("ABCD"));
}

TEST(Hub24RecordFields, PinNameKeyCodes)
{
    struct Row
    {
        quint8 b8;
        quint8 b9;
        const char* expected;
    };
    const Row rows[] = {
        { 0x02, 0x00, "A" }, { 0x02, 0x9C, "ABCD" }, { 0x0F, 0xFF, "    " }, { 0x00, 0x00, "" },
        { 0x0C, 0x2E, "FEF" }, // 6, 0, 5, 6
        { 0x01, 0x40, "E" }, // second code split over both bytes: 5
        { 0xF0, 0x01, "A" }, // bits above the first code are ignored
        { 0x0A, 0xB7, "EBF " }, // 5, 2, 6, 7
    };
    for (const Row& row : rows) {
        EXPECT_EQ(TwoPointFourGHzPinNamingResponse::decodeName(row.b8, row.b9),
            QString::fromLatin1(row.expected))
            << int(row.b8) << " " << int(row.b9);
    }
}

TEST(Hub24RecordFields, SessionAnswers)
{
    const QByteArray packet = hexBytes("0C83F23405060708090A0BFF");
    const SessionByteResponse byte(packet);
    ASSERT_TRUE(byte.isValid());
    EXPECT_EQ(byte.packetType(), 0x83);
    EXPECT_EQ(byte.address, 0xF234);
    EXPECT_EQ(byte.value4, 5);
    EXPECT_EQ(byte.value5, 6);
    EXPECT_EQ(byte.answer, 7);

    const SessionSortInOrderResponse sort(packet);
    ASSERT_TRUE(sort.isValid());
    EXPECT_EQ(sort.packetType(), 0x83);
    EXPECT_EQ(sort.address, 0xF234);
    EXPECT_EQ(sort.value4, 5);
    EXPECT_EQ(sort.value5, 6);
    const quint8 expected[SessionSortInOrderResponse::AnswerCount] = { 7, 8, 9, 10, 11, 0xFF };
    for (int i = 0; i < SessionSortInOrderResponse::AnswerCount; ++i)
        EXPECT_EQ(sort.answers[i], expected[i]) << i;
}

TEST(Hub24RecordFields, ExpressionNameReceivedAndBatteryLow)
{
    const ExpressionNameReceivedResponse named(hexBytes("0482FE01"));
    ASSERT_TRUE(named.isValid());
    EXPECT_EQ(named.packetType(), 0x82);
    EXPECT_EQ(named.status1, 0xFE);
    EXPECT_EQ(named.status2, 0x01);

    const BatteryLowResponse battery(hexBytes("0950112233445566AA"));
    ASSERT_TRUE(battery.isValid());
    EXPECT_EQ(battery.packetType(), 0x50);
    EXPECT_EQ(battery.uid, 0x11223344u);
    EXPECT_EQ(battery.address, 0x5566);
}

// --- End-of-list packets ---

TEST(Hub24EndOfList, PacketsAreExact)
{
    EXPECT_EQ(RegisteredVoteResponse::endOfListPacket(), hexBytes("0D670000000000000900000000"));
    EXPECT_EQ(RegisteredExpressionResponse::endOfListPacket(),
        hexBytes("1780000000000000090000000000000000000000000000"));
    EXPECT_EQ(RegisteredBoardResponse::endOfListPacket(),
        hexBytes("1790000000000000080000000000000000000000000000"));
    EXPECT_EQ(RegisteredSlateResponse::endOfListPacket(),
        hexBytes("1467000000000000070000000000000000000000"));
}

TEST(Hub24EndOfList, OnlyTheVoteMarkerFailsItsOwnTest)
{
    // The list reader compares with the marker before decoding, so these may pass.
    EXPECT_TRUE(
        RegisteredExpressionResponse::isResponse(RegisteredExpressionResponse::endOfListPacket()));
    EXPECT_TRUE(RegisteredBoardResponse::isResponse(RegisteredBoardResponse::endOfListPacket()));
    EXPECT_TRUE(RegisteredSlateResponse::isResponse(RegisteredSlateResponse::endOfListPacket()));
    EXPECT_FALSE(RegisteredVoteResponse::isResponse(RegisteredVoteResponse::endOfListPacket()));

    const RegisteredSlateResponse slate(RegisteredSlateResponse::endOfListPacket());
    EXPECT_EQ(slate.deviceIdentifier, QByteArray("000000000000"));
    EXPECT_TRUE(slate.name.isEmpty());
    EXPECT_TRUE(slate.hasExtraByte);
}

} // namespace
