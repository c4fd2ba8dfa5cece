#pragma once

// The records the legacy hub sends, in its two framings. Over USB, byte 0 is the packet length,
// byte 1 its kind, and numbers are little-endian. Over a serial line every byte carries 7 data
// bits: byte 0 is the length with bit 7 set on a frame's first byte, byte 1 is data (the lowest
// 7 bits of a device id), byte 2 the kind, and numbers are built from 7-bit groups, lowest
// first. A serial packet is one byte longer than its USB twin.
//
// Every record has a static recognition test and a validity flag; a packet that fails the test
// (or whose size differs from its length byte) gives an invalid record, and no valid record
// carries device id 0 or a slate id outside 1 to 63.

#include "hub/hubresponse.h"

#include <QtCore/QByteArray>
#include <QtCore/QString>

namespace Taviosystem {

namespace LegacyFraming {
constexpr quint8 SevenBits = 0x7F;
constexpr quint8 FrameStart = 0x80; // bit 7 of a serial frame's first byte
constexpr int Offset_Length = 0;
constexpr int Offset_Kind = 1; // USB
constexpr int Offset_SerialLowBits = 1; // serial: the lowest 7 bits of a device id
constexpr int Offset_SerialKind = 2;

constexpr char Kind_RFSettings = 'h'; // also the enable reply
constexpr char Kind_VoteRegistration = 'g'; // also PIN naming
constexpr char Kind_SlateRegistration = 0x07; // also the slate PIN reply
constexpr char Kind_Vote = 'e';

constexpr int FirstSlateId = 1;
constexpr int LastSlateId = 63;

// A serial device id: byte 1 and bytes 3 and 4 as 7-bit groups, lowest first.
quint32 serialDeviceId(const QByteArray& packet);
// A USB device id: bytes 2 and 3 and the low 7 bits of byte 4, little-endian.
quint32 usbDeviceId(const QByteArray& packet);
} // namespace LegacyFraming

// ":VT" reply: the radio settings. Vote channel, RF band and slate channel are packed into one
// byte (bits 1-2, 3-4 and 5-6), the board id is the next.
class LegacyRFResponse : public HubResponse
{
public:
    static constexpr int PacketLength = 10;
    LegacyRFResponse() = default;
    explicit LegacyRFResponse(const QByteArray& packet);
    static bool isResponse(const QByteArray& packet);

    quint8 voteChannel = 0;
    quint8 rfBand = 0;
    quint8 slateChannel = 0;
    quint8 boardId = 0;

protected:
    void readSettings(quint8 packed, quint8 boardId);
};

class LegacySerialRFResponse : public LegacyRFResponse
{
public:
    static constexpr int PacketLength = 11;
    LegacySerialRFResponse() = default;
    explicit LegacySerialRFResponse(const QByteArray& packet);
    static bool isResponse(const QByteArray& packet);
};

// ":VI" reply: the voter now enabled.
class LegacyUsbEnableVoteResponse : public HubResponse
{
public:
    static constexpr int PacketLength = 10;
    LegacyUsbEnableVoteResponse() = default;
    explicit LegacyUsbEnableVoteResponse(const QByteArray& packet);
    static bool isResponse(const QByteArray& packet);

    quint32 deviceId = 0;
};

class LegacySerialEnableVoteResponse : public LegacyUsbEnableVoteResponse
{
public:
    static constexpr int PacketLength = 11;
    LegacySerialEnableVoteResponse() = default;
    explicit LegacySerialEnableVoteResponse(const QByteArray& packet);
    static bool isResponse(const QByteArray& packet);
};

// A voter joining in a registration window.
class LegacyVoteRegistrationResponse : public HubResponse
{
public:
    static constexpr int PacketLength = 9;
    LegacyVoteRegistrationResponse() = default;
    explicit LegacyVoteRegistrationResponse(const QByteArray& packet);
    static bool isResponse(const QByteArray& packet);

    quint32 deviceId = 0;
    bool batteryLow = false;
    quint8 deviceVersion = 0;
};

class LegacySerialVoteRegistrationResponse : public LegacyVoteRegistrationResponse
{
public:
    static constexpr int PacketLength = 10;
    static constexpr quint8 BatteryLowMark = 16;
    LegacySerialVoteRegistrationResponse() = default;
    explicit LegacySerialVoteRegistrationResponse(const QByteArray& packet);
    static bool isResponse(const QByteArray& packet);
};

// A slate asking to join a slate registration window.
class LegacySlateRegistrationResponse : public HubResponse
{
public:
    static constexpr int PacketLength = 9;
    LegacySlateRegistrationResponse() = default;
    explicit LegacySlateRegistrationResponse(const QByteArray& packet);
    static bool isResponse(const QByteArray& packet);

    quint8 slateId = 0;
    quint8 secondValue = 0; // USB only; nothing reads it
};

class LegacySerialSlateRegistrationResponse : public LegacySlateRegistrationResponse
{
public:
    static constexpr int PacketLength = 10;
    LegacySerialSlateRegistrationResponse() = default;
    explicit LegacySerialSlateRegistrationResponse(const QByteArray& packet);
    static bool isResponse(const QByteArray& packet);
};

// A slate answering a PIN registration with its id and the PIN typed on it, as three digits.
class LegacySlatePINRegistrationResponse : public HubResponse
{
public:
    static constexpr int PacketLength = 9;
    LegacySlatePINRegistrationResponse() = default;
    explicit LegacySlatePINRegistrationResponse(const QByteArray& packet);
    static bool isResponse(const QByteArray& packet);

    quint8 slateId = 0;
    QString pin;
};

class LegacySerialSlatePINRegistrationResponse : public LegacySlatePINRegistrationResponse
{
public:
    static constexpr int PacketLength = 10;
    static constexpr quint32 FirstDigit = 1;
    static constexpr quint32 LastDigit = 6;
    LegacySerialSlatePINRegistrationResponse() = default;
    explicit LegacySerialSlatePINRegistrationResponse(const QByteArray& packet);
    static bool isResponse(const QByteArray& packet);
};

// A voter's PIN name: three 3-bit key codes.
class LegacyPinNamingResponse : public HubResponse
{
public:
    static constexpr int PacketLength = 9;
    LegacyPinNamingResponse() = default;
    explicit LegacyPinNamingResponse(const QByteArray& packet);
    static bool isResponse(const QByteArray& packet);

    quint32 deviceId = 0;
    QString name;
};

class LegacySerialPinNamingResponse : public LegacyPinNamingResponse
{
public:
    static constexpr int PacketLength = 10;
    LegacySerialPinNamingResponse() = default;
    explicit LegacySerialPinNamingResponse(const QByteArray& packet);
    static bool isResponse(const QByteArray& packet);
};

} // namespace Taviosystem
