#pragma once

#include "hub/hubresponse.h"

#include <QtCore/QByteArray>

namespace Taviosystem {

// The pen report both USB radio hubs send: X and Y little-endian from bytes 3 and 5, and byte 7
// carrying the tip, barrel and in-range flags below the pen number. Short packets read as zeros.
namespace UsbPenReport {
constexpr int Offset_X = 3;
constexpr int Offset_Y = 5;
constexpr int Offset_Flags = 7; // the flags and the pen number share this byte
constexpr quint8 Flag_Tip = 0x01;
constexpr quint8 Flag_Barrel = 0x02;
constexpr quint8 Flag_InRange = 0x04;
constexpr int PenIdShift = 3;
constexpr quint8 PenIdMask = 0x03;

inline void read(const QByteArray& packet, unsigned char& pen, int& x, int& y, bool& tip,
    bool& barrel, bool& extra)
{
    const quint8 flags = packetByte(packet, Offset_Flags);
    x = packetByte(packet, Offset_X) | packetByte(packet, Offset_X + 1) << 8;
    y = packetByte(packet, Offset_Y) | packetByte(packet, Offset_Y + 1) << 8;
    tip = flags & Flag_Tip;
    barrel = flags & Flag_Barrel;
    extra = flags & Flag_InRange;
    pen = (flags >> PenIdShift) & PenIdMask;
}
} // namespace UsbPenReport

} // namespace Taviosystem
