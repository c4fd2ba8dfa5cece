#include "touchstatusresponse.h"

#include <taviosystem/hub.h>

namespace Taviosystem {

bool TouchStatusResponse::isResponse(const QByteArray& packet)
{
    return packet.size() == PacketLength
        && packetByte(packet, Hub::TouchStatusPacket_Offset_Length) == PacketLength
        && packet.at(Hub::TouchStatusPacket_Offset_Control) == Hub::TouchStatusPacket_Control;
}

TouchStatusResponse::TouchStatusResponse(const QByteArray& packet)
{
    if (!isResponse(packet))
        return;
    for (int i = 0; i < 4; ++i)
        reserved[i] = packetByte(packet, 2 + i);
    status = packetByte(packet, Hub::TouchStatusPacket_Offset_Status);
    touchCount = packetByte(packet, Hub::TouchStatusPacket_Offset_Touches);
    m_packetType = packetByte(packet, Hub::TouchStatusPacket_Offset_Control);
    m_valid = true;
}

} // namespace Taviosystem
