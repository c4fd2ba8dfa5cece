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

} // namespace Taviosystem
