#pragma once

#include <QtCore/QByteArray>
#include <QtCore/QtGlobal>

namespace Taviosystem {

// Base of every reply record. A reply class T also offers
//   static bool isResponse(const QByteArray& packet)  -- recognition from the bytes alone
//   explicit T(const QByteArray& packet)                -- decodes and sets m_valid
// and every read it makes is bounds-checked: a packet from the wire is never trusted.
class HubResponse
{
public:
    virtual ~HubResponse() = default;
    virtual quint8 packetType() const { return m_packetType; }
    bool isValid() const { return m_valid; }

protected:
    quint8 m_packetType = 0;
    bool m_valid = false;
};

// Reads byte `index` of a packet, or `fallback` when the packet is too short.
inline quint8 packetByte(const QByteArray& packet, int index, quint8 fallback = 0)
{
    return index >= 0 && index < packet.size() ? quint8(packet.at(index)) : fallback;
}

// Reads `count` bytes (at most 4) from `index` as a big-endian number; bytes past the end of the
// packet read as 0.
inline quint32 packetNumber(const QByteArray& packet, int index, int count)
{
    quint32 value = 0;
    for (int i = 0; i < count; ++i)
        value = value << 8 | packetByte(packet, index + i);
    return value;
}

} // namespace Taviosystem
