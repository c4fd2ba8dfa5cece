#include "tavioteresponse.h"

#include "hubresponse.h"

namespace Taviosystem {

bool TwoPointFourGHzTavioteResponse::isVote(const QByteArray& packet) const
{
    return packet.size() == VotePacket_Length && packetByte(packet, 0) == VotePacket_Length
        && packet.at(VotePacket_Offset_Kind) == VotePacket_Kind;
}

quint32 TwoPointFourGHzTavioteResponse::deviceNumber(const QByteArray& packet) const
{
    if (!isVote(packet))
        return 0;
    const quint32 address = (quint32(packetByte(packet, VotePacket_Offset_Address)) << 8)
        | packetByte(packet, VotePacket_Offset_Address + 1);
    if (address != 0)
        return address;
    quint32 uid = 0;
    for (int i = 0; i < 4; ++i)
        uid = (uid << 8) | packetByte(packet, VotePacket_Offset_Uid + i);
    return uid;
}

quint8 TwoPointFourGHzTavioteResponse::voteKey(const QByteArray& packet) const
{
    return packetByte(packet, VotePacket_Offset_Key);
}

int TwoPointFourGHzTavioteResponse::batteryLow(const QByteArray&) const
{
    // Low batteries arrive as packets of their own on this hub.
    return 0;
}

namespace {
constexpr char LegacyVoteKind = 'e';
constexpr int LegacyVote_Offset_Battery = 6;
constexpr quint8 SevenBits = 0x7F;
} // namespace

bool LegacyTavioteResponseBase::isRepeat(quint32 deviceNumber, quint8 key)
{
    auto it = m_lastKeys.find(deviceNumber);
    if (it != m_lastKeys.end() && it.value() == key)
        return true;
    m_lastKeys.insert(deviceNumber, key);
    return false;
}

bool LegacyTavioteResponse::isVote(const QByteArray& packet) const
{
    return packet.size() == VotePacket_Length && packetByte(packet, 0) == VotePacket_Length
        && packetByte(packet, 1) == quint8(LegacyVoteKind);
}

quint32 LegacyTavioteResponse::deviceNumber(const QByteArray& packet) const
{
    return quint32(packetByte(packet, 2)) | quint32(packetByte(packet, 3)) << 8
        | quint32(packetByte(packet, 4) & SevenBits) << 16;
}

quint8 LegacyTavioteResponse::voteKey(const QByteArray& packet) const
{
    return packetByte(packet, VotePacket_Offset_Key);
}

int LegacyTavioteResponse::batteryLow(const QByteArray& packet) const
{
    return packetByte(packet, LegacyVote_Offset_Battery) & 1;
}

bool LegacySerialTavioteResponse::isVote(const QByteArray& packet) const
{
    return packet.size() == VotePacket_Length
        && (packetByte(packet, 0) & SevenBits) == VotePacket_Length
        && (packetByte(packet, 2) & SevenBits) == quint8(LegacyVoteKind);
}

quint32 LegacySerialTavioteResponse::deviceNumber(const QByteArray& packet) const
{
    return quint32(packetByte(packet, 1) & SevenBits)
        | quint32(packetByte(packet, 3) & SevenBits) << 7
        | quint32(packetByte(packet, 4) & SevenBits) << 14;
}

quint8 LegacySerialTavioteResponse::voteKey(const QByteArray& packet) const
{
    return packetByte(packet, VotePacket_Offset_Key);
}

} // namespace Taviosystem
