#pragma once

// The virtual 2.4 GHz hub's own wire records: the name reply, the generic device packet and the
// generic message frame sent to the hub, plus the hub's construction string.

#include "hub/hubresponse.h"

#include <QtCore/QByteArray>
#include <QtCore/QString>

namespace Taviosystem {

// The reply to ":GL": byte 0 a length, byte 1 0xA3, the name from byte 2 (Latin-1, up to the
// first NUL). Byte 0 reads as the name's length or the packet's; at most the bytes present after
// byte 1 are taken either way.
class EnhancedNameResponse : public HubResponse
{
public:
    static constexpr int Offset_Length = 0;
    static constexpr int Offset_Kind = 1;
    static constexpr int Offset_Name = 2;
    static constexpr quint8 Kind = 0xA3;

    EnhancedNameResponse() = default;
    explicit EnhancedNameResponse(const QByteArray& packet);
    static bool isResponse(const QByteArray& packet);

    QString name;
};

// A generic packet a device sent through the virtual hub: byte 0 zero, bytes 1 to 3 a 24-bit
// value (big-endian, unused here), byte 4 0xE1, the device address in bytes 5 and 6
// (big-endian), the payload from byte 7 on.
class VirtualGenericAsyncResponse : public HubResponse
{
public:
    static constexpr int MinimumLength = 7;
    static constexpr int Offset_Zero = 0;
    static constexpr int Offset_Value = 1;
    static constexpr int Offset_Flag = 4;
    static constexpr int Offset_Address = 5;
    static constexpr int Offset_Payload = 7;
    static constexpr quint8 GenericFlag = 0xE1;

    VirtualGenericAsyncResponse() = default;
    explicit VirtualGenericAsyncResponse(const QByteArray& packet);
    static bool isResponse(const QByteArray& packet);

    bool generic = false;
    quint32 value = 0;
    quint16 address = 0;
    QByteArray payload;
};

// ":AE002" CR, the device address (big-endian), the payload length as 24 bits (big-endian), the
// payload. The caller keeps the payload within MaximumGenericPayload.
QByteArray genericAsyncMessageCommand(quint16 address, const QByteArray& payload);
constexpr int MaximumGenericPayload = 0xFFFFFF;
QByteArray hubNameCommand(); // ":GL" CR

// The construction string of a virtual hub, split at ':' with empty parts kept. With at least
// five parts, part 1 (every '/' removed) is the discovery server's host and parts 2 to 4 are
// kept as they are; otherwise all four stay empty.
struct VirtualHubAddress
{
    static constexpr int MinimumParts = 5;
    QString host;
    QString field2;
    QString field3;
    QString field4;

    static VirtualHubAddress parse(const QString& info);
};

} // namespace Taviosystem
