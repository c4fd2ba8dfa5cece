#pragma once

// The records the 2.4 GHz hub sends, each decoded from one packet. Byte 0 of a packet is its
// length, byte 1 its kind; multi-byte integers are big-endian. Every record has a static
// recognition test and a validity flag; a packet that fails the test yields an invalid record.

#include "hub/hubresponse.h"

#include <taviosystem/device.h>
#include <taviosystem/hub.h>

#include <QtCore/QByteArray>
#include <QtCore/QString>

namespace Taviosystem {

// The 4-byte acknowledgement 04 32 4F 4B; it also ends every device list.
class OKResponse : public HubResponse
{
public:
    static constexpr int PacketLength = 4;
    OKResponse() = default;
    explicit OKResponse(const QByteArray& packet);
    static bool isResponse(const QByteArray& packet);
    static QByteArray packet(); // the four bytes
};

class InformationResponse : public HubResponse
{
public:
    static constexpr int MinimumLength = 11;
    static constexpr char Kind = 0x51;
    InformationResponse() = default;
    explicit InformationResponse(const QByteArray& packet);
    static bool isResponse(const QByteArray& packet);

    quint16 votingDevicesRegistered = 0;
    quint16 votingDeviceCapacity = 0;
    quint8 boardsRegistered = 0;
    quint8 boardCapacity = 0;
    quint8 slatesRegistered = 0;
    quint8 slateCapacity = 0;
    quint8 hubStateCode = 0; // the raw byte 10
    Hub::HubState hubState = Hub::HubState_Unknown; // mapped
};

class NameAndFreeStoreResponse : public HubResponse
{
public:
    static constexpr int MinimumLength = 16;
    static constexpr char Kind = 0x32;
    NameAndFreeStoreResponse() = default;
    explicit NameAndFreeStoreResponse(const QByteArray& packet);
    static bool isResponse(const QByteArray& packet);

    QString name; // bytes 2 to 11, Latin-1, ends early at a zero byte
    QByteArray freeStore; // bytes 12 to 15, raw
};

class DeviceCountResponse : public HubResponse
{
public:
    static constexpr int MinimumLength = 4;
    static constexpr char Kind = 0x53;
    DeviceCountResponse() = default;
    explicit DeviceCountResponse(const QByteArray& packet);
    static bool isResponse(const QByteArray& packet);

    quint16 count = 0;
};

// What every registration record carries: the device identifier (bytes 2 to 7, as 12
// upper-case hexadecimal characters), the uid (2-5), the address (6-7) and the product id (8).
class RegisteredDeviceResponse : public HubResponse
{
public:
    QByteArray deviceIdentifier;
    quint32 uid = 0;
    quint16 address = 0;
    quint8 productId = 0;
    QString name; // Latin-1, cut at the first zero byte

protected:
    // Reads the common fields and a name of nameLength bytes from byte 9.
    void readCommon(const QByteArray& packet, int nameLength);
};

class RegisteredVoteResponse : public RegisteredDeviceResponse
{
public:
    static constexpr int PacketLength = 13;
    static constexpr char Kind = 0x67;
    static constexpr int NameLength = 4;
    RegisteredVoteResponse() = default;
    explicit RegisteredVoteResponse(const QByteArray& packet);
    static bool isResponse(const QByteArray& packet);
    // What the reader sees in place of the OK that ends a voter list.
    static QByteArray endOfListPacket();
};

class RegisteredSlateResponse : public RegisteredDeviceResponse
{
public:
    static constexpr int ShortLength = 19;
    static constexpr int LongLength = 20;
    static constexpr char Kind = 0x67;
    static constexpr int NameLength = 10;
    RegisteredSlateResponse() = default;
    explicit RegisteredSlateResponse(const QByteArray& packet);
    static bool isResponse(const QByteArray& packet);
    static QByteArray endOfListPacket();

    bool hasExtraByte = false;
    quint8 extraByte = 0; // byte 19 of the 20-byte form
};

class RegisteredExpressionResponse : public RegisteredDeviceResponse
{
public:
    static constexpr int MinimumLength = 23;
    static constexpr char Kind = char(0x80);
    static constexpr int NameLength = 14;
    RegisteredExpressionResponse() = default;
    explicit RegisteredExpressionResponse(const QByteArray& packet);
    static bool isResponse(const QByteArray& packet);
    static QByteArray endOfListPacket();

    Device::SubType subType = Device::SubType_None;
};

class RegisteredBoardResponse : public RegisteredDeviceResponse
{
public:
    static constexpr int MinimumLength = 23;
    static constexpr char Kind = char(0x90);
    static constexpr int NameLength = 10;
    RegisteredBoardResponse() = default;
    explicit RegisteredBoardResponse(const QByteArray& packet);
    static bool isResponse(const QByteArray& packet);
    static QByteArray endOfListPacket();
};

class BoardInfoResponse : public HubResponse
{
public:
    static constexpr int PacketLength = 23;
    static constexpr char Kind = char(0x90);
    static constexpr int TouchFirmwareVersion = 850; // boards from this version have touch
    BoardInfoResponse() = default;
    explicit BoardInfoResponse(const QByteArray& packet);
    static bool isResponse(const QByteArray& packet);

    quint16 firmwareVersion = 0; // bytes 20 (high) and 21 (low)
    quint8 lastByte = 0; // byte 22
    bool supportsTouch() const { return m_valid && firmwareVersion >= TouchFirmwareVersion; }
};

class TwoPointFourGHzPinNamingResponse : public HubResponse
{
public:
    static constexpr int PacketLength = 11;
    static constexpr char Kind = 0x67;
    TwoPointFourGHzPinNamingResponse() = default;
    explicit TwoPointFourGHzPinNamingResponse(const QByteArray& packet);
    static bool isResponse(const QByteArray& packet);
    // The name keyed in: four 3-bit key codes in bytes 8 and 9; 1 to 6 are 'A' to 'F',
    // 7 a space, 0 nothing.
    static QString decodeName(quint8 b8, quint8 b9);

    quint32 uid = 0;
    quint16 address = 0;
    QString name;
};

// A 12-byte kind-0x83 answer packet: address (2-3), three small values (4, 5, 6); the one-byte
// answer is byte 6.
class SessionByteResponse : public HubResponse
{
public:
    static constexpr int PacketLength = 12;
    static constexpr char Kind = char(0x83);
    SessionByteResponse() = default;
    explicit SessionByteResponse(const QByteArray& packet);
    static bool isResponse(const QByteArray& packet);

    quint16 address = 0;
    quint8 value4 = 0;
    quint8 value5 = 0;
    quint8 answer = 0;
};

// The same packet read as letter answers: the six answer bytes 6 to 11.
class SessionSortInOrderResponse : public HubResponse
{
public:
    static constexpr int PacketLength = 12;
    static constexpr int AnswerCount = 6;
    SessionSortInOrderResponse() = default;
    explicit SessionSortInOrderResponse(const QByteArray& packet);
    static bool isResponse(const QByteArray& packet);

    quint16 address = 0;
    quint8 value4 = 0;
    quint8 value5 = 0;
    quint8 answers[AnswerCount] = {};
};

class ExpressionNameReceivedResponse : public HubResponse
{
public:
    static constexpr int PacketLength = 4;
    static constexpr char Kind = char(0x82);
    ExpressionNameReceivedResponse() = default;
    explicit ExpressionNameReceivedResponse(const QByteArray& packet);
    static bool isResponse(const QByteArray& packet);

    quint8 status1 = 0;
    quint8 status2 = 0;
};

class BatteryLowResponse : public HubResponse
{
public:
    static constexpr int MinimumLength = 8;
    static constexpr char Kind = 0x50;
    BatteryLowResponse() = default;
    explicit BatteryLowResponse(const QByteArray& packet);
    static bool isResponse(const QByteArray& packet);

    quint32 uid = 0;
    quint16 address = 0;
};

} // namespace Taviosystem
