#include "hub24records.h"

#include "hub/pinkeys.h"

#include "twopointfourghzprotocol.h"

namespace Taviosystem {

namespace {

// Framing shared by every packet from the hub.
constexpr int Offset_Length = 0;
constexpr int Offset_Kind = 1;

// The acknowledgement: length, then the characters '2', 'O', 'K'.
constexpr quint8 OKBytes[OKResponse::PacketLength] = { 0x04, 0x32, 0x4F, 0x4B };

// Information record.
constexpr int Information_Offset_VotingRegistered = 2;
constexpr int Information_Offset_VotingCapacity = 4;
constexpr int Information_Offset_BoardsRegistered = 6;
constexpr int Information_Offset_BoardCapacity = 7;
constexpr int Information_Offset_SlatesRegistered = 8;
constexpr int Information_Offset_SlateCapacity = 9;
constexpr int Information_Offset_HubState = 10;

// Hub name and free store record.
constexpr int NameStore_Offset_Name = 2;
constexpr int NameStore_NameLength = 10;
constexpr int NameStore_Offset_FreeStore = 12;
constexpr int NameStore_FreeStoreLength = 4;

// Device count record.
constexpr int Count_Offset_Count = 2;

// Registration records.
constexpr int Registered_Offset_Identifier = 2;
constexpr int Registered_IdentifierLength = 6;
constexpr int Registered_Offset_Uid = 2;
constexpr int Registered_Offset_Address = 6;
constexpr int Registered_Offset_ProductId = 8;
constexpr int Registered_Offset_Name = 9;
constexpr int Slate_Offset_ExtraByte = 19;

// End-of-list packets: a registration record with a zero identifier and an empty name.
constexpr int VoteEndOfList_Length = 13;
constexpr int ExpressionEndOfList_Length = 23;
constexpr int BoardEndOfList_Length = 23;
constexpr int SlateEndOfList_Length = 20;
// The voter list ends with a byte 8 that no voter record carries.
constexpr int VoteEndOfList_Marker = 9;

// Board information record.
constexpr int BoardInfo_Offset_Firmware = 20;
constexpr int BoardInfo_Offset_LastByte = 22;

// PIN naming record.
constexpr int PinNaming_Offset_Uid = 2;
constexpr int PinNaming_Offset_Address = 6;
constexpr int PinNaming_Offset_Keys = 8;
constexpr quint8 PinKey_Mask = 0x07;
constexpr quint8 PinKey_SplitBit = 0x01; // the bit of b8 that starts the second key code
constexpr int PinKey_Bits = 3;

// Session answer records.
constexpr int Session_Offset_Address = 2;
constexpr int Session_Offset_Value4 = 4;
constexpr int Session_Offset_Value5 = 5;
constexpr int Session_Offset_Answer = 6;

// Expression naming acknowledgement.
constexpr int NameReceived_Offset_Status1 = 2;
constexpr int NameReceived_Offset_Status2 = 3;

// Battery low record.
constexpr int Battery_Offset_Uid = 2;
constexpr int Battery_Offset_Address = 6;

quint8 kindOf(const QByteArray& packet) { return packetByte(packet, Offset_Kind); }

// Exactly `length` bytes, byte 0 saying so, and the given kind.
bool isExactPacket(const QByteArray& packet, int length, char kind)
{
    return packet.size() == length && packetByte(packet, Offset_Length) == length
        && kindOf(packet) == quint8(kind);
}

// At least `length` bytes, byte 0 at least that, and the given kind.
bool isMinimumPacket(const QByteArray& packet, int length, char kind)
{
    return packet.size() >= length && packetByte(packet, Offset_Length) >= length
        && kindOf(packet) == quint8(kind);
}

quint16 read16(const QByteArray& packet, int offset)
{
    return quint16(packetNumber(packet, offset, 2));
}

quint32 read32(const QByteArray& packet, int offset) { return packetNumber(packet, offset, 4); }

// Latin-1 text of at most `length` bytes from `offset`, ending early at a zero byte.
QString readName(const QByteArray& packet, int offset, int length)
{
    QByteArray bytes;
    for (int i = 0; i < length; ++i) {
        const quint8 byte = packetByte(packet, offset + i);
        if (byte == 0)
            break;
        bytes.append(char(byte));
    }
    return QString::fromLatin1(bytes);
}

// A packet of `length` zero bytes but for its length, kind and product id.
QByteArray endOfList(int length, char kind, int productId)
{
    QByteArray packet(length, '\0');
    packet[Offset_Length] = char(length);
    packet[Offset_Kind] = kind;
    packet[Registered_Offset_ProductId] = char(productId);
    return packet;
}

} // namespace

// --- OKResponse ---

bool OKResponse::isResponse(const QByteArray& packet)
{
    if (packet.size() != PacketLength)
        return false;
    for (int i = 0; i < PacketLength; ++i) {
        if (packetByte(packet, i) != OKBytes[i])
            return false;
    }
    return true;
}

OKResponse::OKResponse(const QByteArray& packet)
{
    if (!isResponse(packet))
        return;
    m_packetType = kindOf(packet);
    m_valid = true;
}

QByteArray OKResponse::packet()
{
    return QByteArray(reinterpret_cast<const char*>(OKBytes), PacketLength);
}

// --- InformationResponse ---

bool InformationResponse::isResponse(const QByteArray& packet)
{
    return isMinimumPacket(packet, MinimumLength, Kind);
}

InformationResponse::InformationResponse(const QByteArray& packet)
{
    if (!isResponse(packet))
        return;
    votingDevicesRegistered = read16(packet, Information_Offset_VotingRegistered);
    votingDeviceCapacity = read16(packet, Information_Offset_VotingCapacity);
    boardsRegistered = packetByte(packet, Information_Offset_BoardsRegistered);
    boardCapacity = packetByte(packet, Information_Offset_BoardCapacity);
    slatesRegistered = packetByte(packet, Information_Offset_SlatesRegistered);
    slateCapacity = packetByte(packet, Information_Offset_SlateCapacity);
    hubStateCode = packetByte(packet, Information_Offset_HubState);
    hubState = TwoPointFourGHzProtocol::hubStateFromCode(hubStateCode);
    m_packetType = kindOf(packet);
    m_valid = true;
}

// --- NameAndFreeStoreResponse ---

bool NameAndFreeStoreResponse::isResponse(const QByteArray& packet)
{
    return isMinimumPacket(packet, MinimumLength, Kind);
}

NameAndFreeStoreResponse::NameAndFreeStoreResponse(const QByteArray& packet)
{
    if (!isResponse(packet))
        return;
    name = readName(packet, NameStore_Offset_Name, NameStore_NameLength);
    freeStore.clear();
    for (int i = 0; i < NameStore_FreeStoreLength; ++i)
        freeStore.append(char(packetByte(packet, NameStore_Offset_FreeStore + i)));
    m_packetType = kindOf(packet);
    m_valid = true;
}

// --- DeviceCountResponse ---

bool DeviceCountResponse::isResponse(const QByteArray& packet)
{
    return isMinimumPacket(packet, MinimumLength, Kind);
}

DeviceCountResponse::DeviceCountResponse(const QByteArray& packet)
{
    if (!isResponse(packet))
        return;
    count = read16(packet, Count_Offset_Count);
    m_packetType = kindOf(packet);
    m_valid = true;
}

// --- RegisteredDeviceResponse ---

void RegisteredDeviceResponse::readCommon(const QByteArray& packet, int nameLength)
{
    QByteArray identifier;
    for (int i = 0; i < Registered_IdentifierLength; ++i)
        identifier.append(char(packetByte(packet, Registered_Offset_Identifier + i)));
    deviceIdentifier = identifier.toHex().toUpper();
    uid = read32(packet, Registered_Offset_Uid);
    address = read16(packet, Registered_Offset_Address);
    productId = packetByte(packet, Registered_Offset_ProductId);
    name = readName(packet, Registered_Offset_Name, nameLength);
    m_packetType = kindOf(packet);
}

// --- RegisteredVoteResponse ---

bool RegisteredVoteResponse::isResponse(const QByteArray& packet)
{
    if (!isExactPacket(packet, PacketLength, Kind))
        return false;
    const quint8 product = packetByte(packet, Registered_Offset_ProductId);
    return product == TwoPointFourGHzProtocol::ProductId_Vote
        || product == TwoPointFourGHzProtocol::ProductId_VoteAlternative;
}

RegisteredVoteResponse::RegisteredVoteResponse(const QByteArray& packet)
{
    if (!isResponse(packet))
        return;
    readCommon(packet, NameLength);
    m_valid = true;
}

QByteArray RegisteredVoteResponse::endOfListPacket()
{
    return endOfList(VoteEndOfList_Length, Kind, VoteEndOfList_Marker);
}

// --- RegisteredSlateResponse ---

bool RegisteredSlateResponse::isResponse(const QByteArray& packet)
{
    const int size = packet.size();
    if (size != ShortLength && size != LongLength)
        return false;
    return isExactPacket(packet, size, Kind)
        && packetByte(packet, Registered_Offset_ProductId)
        == TwoPointFourGHzProtocol::ProductId_Slate;
}

RegisteredSlateResponse::RegisteredSlateResponse(const QByteArray& packet)
{
    if (!isResponse(packet))
        return;
    readCommon(packet, NameLength);
    hasExtraByte = packet.size() == LongLength;
    if (hasExtraByte)
        extraByte = packetByte(packet, Slate_Offset_ExtraByte);
    m_valid = true;
}

QByteArray RegisteredSlateResponse::endOfListPacket()
{
    return endOfList(SlateEndOfList_Length, Kind, TwoPointFourGHzProtocol::ProductId_Slate);
}

// --- RegisteredExpressionResponse ---

bool RegisteredExpressionResponse::isResponse(const QByteArray& packet)
{
    if (!isMinimumPacket(packet, MinimumLength, Kind))
        return false;
    const quint8 product = packetByte(packet, Registered_Offset_ProductId);
    return product == TwoPointFourGHzProtocol::ProductId_Expression
        || product == TwoPointFourGHzProtocol::ProductId_PenExpression;
}

RegisteredExpressionResponse::RegisteredExpressionResponse(const QByteArray& packet)
{
    if (!isResponse(packet))
        return;
    readCommon(packet, NameLength);
    // The second generation marks itself in the first identifier byte; pen expressions have
    // no sub-type.
    if (packetByte(packet, Registered_Offset_Identifier)
        == TwoPointFourGHzProtocol::FakeExpressionV2ProductId)
        subType = Device::SubType_ExpressionV2;
    else if (productId != TwoPointFourGHzProtocol::ProductId_PenExpression)
        subType = Device::SubType_Expression;
    else
        subType = Device::SubType_None;
    m_valid = true;
}

QByteArray RegisteredExpressionResponse::endOfListPacket()
{
    return endOfList(
        ExpressionEndOfList_Length, Kind, TwoPointFourGHzProtocol::ProductId_Expression);
}

// --- RegisteredBoardResponse ---

bool RegisteredBoardResponse::isResponse(const QByteArray& packet)
{
    return isMinimumPacket(packet, MinimumLength, Kind)
        && packetByte(packet, Registered_Offset_ProductId)
        == TwoPointFourGHzProtocol::ProductId_Board;
}

RegisteredBoardResponse::RegisteredBoardResponse(const QByteArray& packet)
{
    if (!isResponse(packet))
        return;
    readCommon(packet, NameLength);
    m_valid = true;
}

QByteArray RegisteredBoardResponse::endOfListPacket()
{
    return endOfList(BoardEndOfList_Length, Kind, TwoPointFourGHzProtocol::ProductId_Board);
}

// --- BoardInfoResponse ---

bool BoardInfoResponse::isResponse(const QByteArray& packet)
{
    return isExactPacket(packet, PacketLength, Kind);
}

BoardInfoResponse::BoardInfoResponse(const QByteArray& packet)
{
    if (!isResponse(packet))
        return;
    firmwareVersion = read16(packet, BoardInfo_Offset_Firmware);
    lastByte = packetByte(packet, BoardInfo_Offset_LastByte);
    m_packetType = kindOf(packet);
    m_valid = true;
}

// --- TwoPointFourGHzPinNamingResponse ---

bool TwoPointFourGHzPinNamingResponse::isResponse(const QByteArray& packet)
{
    return isExactPacket(packet, PacketLength, Kind);
}

TwoPointFourGHzPinNamingResponse::TwoPointFourGHzPinNamingResponse(const QByteArray& packet)
{
    if (!isResponse(packet))
        return;
    uid = read32(packet, PinNaming_Offset_Uid);
    address = read16(packet, PinNaming_Offset_Address);
    name = decodeName(
        packetByte(packet, PinNaming_Offset_Keys), packetByte(packet, PinNaming_Offset_Keys + 1));
    m_packetType = kindOf(packet);
    m_valid = true;
}

QString TwoPointFourGHzPinNamingResponse::decodeName(quint8 b8, quint8 b9)
{
    // Bits 3..1 of b8; bit 0 of b8 with bits 7..6 of b9; bits 5..3 of b9; bits 2..0 of b9.
    return nameFromPinKeys({
        quint8((b8 >> 1) & PinKey_Mask),
        quint8(((b8 & PinKey_SplitBit) << (PinKey_Bits - 1)) | (b9 >> (2 * PinKey_Bits))),
        quint8((b9 >> PinKey_Bits) & PinKey_Mask),
        quint8(b9 & PinKey_Mask),
    });
}

// --- SessionByteResponse ---

bool SessionByteResponse::isResponse(const QByteArray& packet)
{
    return isExactPacket(packet, PacketLength, Kind);
}

SessionByteResponse::SessionByteResponse(const QByteArray& packet)
{
    if (!isResponse(packet))
        return;
    address = read16(packet, Session_Offset_Address);
    value4 = packetByte(packet, Session_Offset_Value4);
    value5 = packetByte(packet, Session_Offset_Value5);
    answer = packetByte(packet, Session_Offset_Answer);
    m_packetType = kindOf(packet);
    m_valid = true;
}

// --- SessionSortInOrderResponse ---

bool SessionSortInOrderResponse::isResponse(const QByteArray& packet)
{
    return SessionByteResponse::isResponse(packet);
}

SessionSortInOrderResponse::SessionSortInOrderResponse(const QByteArray& packet)
{
    if (!isResponse(packet))
        return;
    address = read16(packet, Session_Offset_Address);
    value4 = packetByte(packet, Session_Offset_Value4);
    value5 = packetByte(packet, Session_Offset_Value5);
    for (int i = 0; i < AnswerCount; ++i)
        answers[i] = packetByte(packet, Session_Offset_Answer + i);
    m_packetType = kindOf(packet);
    m_valid = true;
}

// --- ExpressionNameReceivedResponse ---

bool ExpressionNameReceivedResponse::isResponse(const QByteArray& packet)
{
    return isExactPacket(packet, PacketLength, Kind);
}

ExpressionNameReceivedResponse::ExpressionNameReceivedResponse(const QByteArray& packet)
{
    if (!isResponse(packet))
        return;
    status1 = packetByte(packet, NameReceived_Offset_Status1);
    status2 = packetByte(packet, NameReceived_Offset_Status2);
    m_packetType = kindOf(packet);
    m_valid = true;
}

// --- BatteryLowResponse ---

bool BatteryLowResponse::isResponse(const QByteArray& packet)
{
    return isMinimumPacket(packet, MinimumLength, Kind);
}

BatteryLowResponse::BatteryLowResponse(const QByteArray& packet)
{
    if (!isResponse(packet))
        return;
    uid = read32(packet, Battery_Offset_Uid);
    address = read16(packet, Battery_Offset_Address);
    m_packetType = kindOf(packet);
    m_valid = true;
}

} // namespace Taviosystem
