#include "enhanced/asyncresponse.h"

namespace Taviosystem {

namespace {
constexpr int Offset_Length = 0;
constexpr int Offset_Type = 1;
constexpr int Offset_Address = 2;
constexpr int Offset_Number = 2; // 0x85, 0x86
constexpr int Offset_Data = 4; // after the address
constexpr int Offset_Piece = 5; // after the address and the count, index or tag byte
constexpr int Offset_Bitmap = 6; // after the address and the start chunk
constexpr int Offset_HeaderLength = 7;
constexpr int Offset_HeaderExtra = 10;

constexpr int LongPacket = 13;
constexpr int RequestPacket = 12;
constexpr int NumberPacket = 3;
constexpr int AnyChunkPacket = 2;

quint16 read16(const QByteArray& packet, int offset)
{
    return quint16(packetNumber(packet, offset, 2));
}

quint32 read24(const QByteArray& packet, int offset) { return packetNumber(packet, offset, 3); }

int expectedAsyncLength(quint8 type)
{
    switch (type) {
    case AsyncResponse::Type_GetMessage:
        return RequestPacket;
    case AsyncResponse::Type_ChunkRequest:
    case AsyncResponse::Type_MessageDone:
        return NumberPacket;
    case AsyncResponse::Type_FirstPiece:
    case AsyncResponse::Type_Piece:
    case AsyncResponse::Type_Acknowledgement:
        return LongPacket;
    default:
        return -1;
    }
}

int expectedGenericLength(quint8 type)
{
    switch (type) {
    case AsyncResponse::Type_GenericPiece:
    case AsyncResponse::Type_Acknowledgement:
    case AsyncResponse::Type_Control:
    case AsyncResponse::Type_GenericHeader:
        return LongPacket;
    case AsyncResponse::Type_AnyChunkRequest:
        return AnyChunkPacket;
    default:
        return -1;
    }
}
} // namespace

AsyncResponse::AsyncResponse(const QByteArray& packet)
    : m_packet(packet)
{
    m_valid = isResponse(m_packet);
    parse();
}

AsyncResponse::~AsyncResponse() = default;

bool AsyncResponse::isResponse(const QByteArray& packet)
{
    if (packet.size() < 2)
        return false;
    const int length = packetByte(packet, Offset_Length);
    return packet.size() >= length
        && expectedAsyncLength(packetByte(packet, Offset_Type)) == length;
}

quint8 AsyncResponse::pieceCount() const
{
    return m_packetType == Type_FirstPiece ? packetByte(m_packet, Offset_Data) : 0;
}

quint8 AsyncResponse::pieceIndex() const
{
    return m_packetType == Type_Piece ? packetByte(m_packet, Offset_Data) : 0;
}

bool AsyncResponse::parseCommon()
{
    switch (m_packetType) {
    case Type_ChunkRequest:
    case Type_MessageDone:
        m_messageNumber = packetByte(m_packet, Offset_Number);
        return true;
    case Type_AnyChunkRequest:
        return true;
    case Type_GetMessage:
        m_address = read16(m_packet, Offset_Address);
        m_payload = m_packet.mid(Offset_Data, PieceSize);
        return true;
    case Type_FirstPiece:
    case Type_Piece:
    case Type_GenericPiece:
        m_address = read16(m_packet, Offset_Address);
        m_payload = m_packet.mid(Offset_Piece, PieceSize);
        return true;
    case Type_Acknowledgement:
        m_address = read16(m_packet, Offset_Address);
        m_ackStart = read16(m_packet, Offset_Data);
        m_payload = m_packet.mid(Offset_Bitmap, BitmapSize);
        return true;
    case Type_Control:
        m_address = read16(m_packet, Offset_Address);
        m_payload = m_packet.mid(Offset_Data, ControlSize);
        return true;
    case Type_GenericHeader:
        m_address = read16(m_packet, Offset_Address);
        return true;
    default:
        return false;
    }
}

void AsyncResponse::parse()
{
    m_packetType = packetByte(m_packet, Offset_Type);
    if (expectedAsyncLength(m_packetType) < 0 || !parseCommon())
        m_packetType = 0;
}

GenericAsyncResponse::GenericAsyncResponse(const QByteArray& packet)
{
    m_packet = packet;
    m_valid = isResponse(m_packet);
    parse();
}

bool GenericAsyncResponse::isResponse(const QByteArray& packet)
{
    if (packet.size() < 2)
        return false;
    const int length = packetByte(packet, Offset_Length);
    return packet.size() == length
        && expectedGenericLength(packetByte(packet, Offset_Type)) == length;
}

void GenericAsyncResponse::parse()
{
    m_packetType = packetByte(m_packet, Offset_Type);
    if (expectedGenericLength(m_packetType) < 0 || !parseCommon()) {
        m_packetType = 0;
        return;
    }
    if (m_packetType == Type_GenericPiece)
        m_tag = packetByte(m_packet, Offset_Data);
    if (m_packetType == Type_GenericHeader) {
        m_genericNumber = read24(m_packet, Offset_Data);
        m_length = read24(m_packet, Offset_HeaderLength);
        m_extra = read24(m_packet, Offset_HeaderExtra);
    }
}

} // namespace Taviosystem
