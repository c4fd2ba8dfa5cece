#include "legacyrecords.h"

#include "hub/pinkeys.h"

namespace Taviosystem {

using namespace LegacyFraming;

namespace {
constexpr int Offset_Settings = 2; // USB; serial keeps them in byte 1
constexpr int Offset_BoardId = 3;
constexpr int VoteChannelShift = 1;
constexpr int RFBandShift = 3;
constexpr int SlateChannelShift = 5;
constexpr quint8 TwoBits = 0x03;

constexpr int Registration_Offset_Battery = 6;
constexpr int Registration_Offset_UsbVersion = 8;
constexpr int Registration_Offset_SerialVersion = 9;
constexpr quint8 BatteryLowBit = 0x01;

constexpr int UsbSlate_Offset_Id = 4;
constexpr int UsbSlate_Offset_Second = 7;
constexpr int SerialSlate_Offset_Low = 4; // bits 2-6: the id's low 5 bits
constexpr int SerialSlate_Offset_High = 5; // bits 0-1: the id's top 2 bits
constexpr int SerialSlate_LowShift = 2;
constexpr quint8 SerialSlate_LowMask = 0x1F;
constexpr int SerialSlate_HighFactor = 32;

constexpr int UsbPin_Offset_Slate = 2;
constexpr int UsbPin_Offset_Digits = 3;
constexpr quint8 UsbPin_DigitMask = 0x07;
constexpr int PinDigitCount = 3;
constexpr int SerialPin_Offsets[] = { 1, 3, 4, 5, 6 }; // 7-bit groups, lowest first
constexpr int ByteBits = 8;
constexpr quint32 ByteMask = 0xFF;

constexpr int Naming_Offset_UsbHigh = 4; // bit 7 carries the first key's top bit
constexpr int Naming_Offset_Keys = 5;
constexpr int Naming_Offset_SerialKeys = 6;
constexpr int KeyBits = 3;
constexpr quint8 KeyMask = 0x07;

quint8 byteAt(const QByteArray& packet, int index) { return packetByte(packet, index); }
quint8 sevenAt(const QByteArray& packet, int index) { return byteAt(packet, index) & SevenBits; }

// A USB packet of exactly (or at least) `length` bytes with that length in byte 0 and `kind`.
bool isUsbPacket(const QByteArray& packet, int length, char kind, bool exact = true)
{
    const int size = int(packet.size());
    return (exact ? size == length : size >= length) && byteAt(packet, Offset_Length) == length
        && byteAt(packet, Offset_Kind) == quint8(kind);
}

// A serial packet whose size is the length its first byte gives (with or without the frame
// mark), `length`, and whose kind is `kind` in its low 7 bits.
bool isSerialPacket(const QByteArray& packet, int length, char kind)
{
    return packet.size() == length && sevenAt(packet, Offset_Length) == length
        && sevenAt(packet, Offset_SerialKind) == quint8(kind);
}

// The slate forms compare the whole first and kind bytes: a frame start of that length, kind 7.
bool isSerialSlatePacket(const QByteArray& packet, int length)
{
    return packet.size() == length && byteAt(packet, Offset_Length) == (FrameStart | length)
        && byteAt(packet, Offset_SerialKind) == quint8(Kind_SlateRegistration);
}

bool isSlateId(int id) { return id >= FirstSlateId && id <= LastSlateId; }
} // namespace

quint32 LegacyFraming::serialDeviceId(const QByteArray& packet)
{
    return quint32(sevenAt(packet, Offset_SerialLowBits)) | quint32(sevenAt(packet, 3)) << 7
        | quint32(sevenAt(packet, 4)) << 14;
}

quint32 LegacyFraming::usbDeviceId(const QByteArray& packet)
{
    return quint32(byteAt(packet, 2)) | quint32(byteAt(packet, 3)) << 8
        | quint32(sevenAt(packet, 4)) << 16;
}

// --- Radio settings ---

bool LegacyRFResponse::isResponse(const QByteArray& packet)
{
    return isUsbPacket(packet, PacketLength, Kind_RFSettings);
}

LegacyRFResponse::LegacyRFResponse(const QByteArray& packet)
{
    if (!isResponse(packet))
        return;
    readSettings(byteAt(packet, Offset_Settings), byteAt(packet, Offset_BoardId));
}

void LegacyRFResponse::readSettings(quint8 packed, quint8 board)
{
    voteChannel = (packed >> VoteChannelShift) & TwoBits;
    rfBand = (packed >> RFBandShift) & TwoBits;
    slateChannel = (packed >> SlateChannelShift) & TwoBits;
    boardId = board;
    m_packetType = quint8(Kind_RFSettings);
    m_valid = true;
}

bool LegacySerialRFResponse::isResponse(const QByteArray& packet)
{
    return isSerialPacket(packet, PacketLength, Kind_RFSettings);
}

LegacySerialRFResponse::LegacySerialRFResponse(const QByteArray& packet)
{
    if (isResponse(packet))
        readSettings(byteAt(packet, Offset_SerialLowBits), byteAt(packet, Offset_BoardId));
}

// --- Enabling a voter ---

bool LegacyUsbEnableVoteResponse::isResponse(const QByteArray& packet)
{
    return isUsbPacket(packet, PacketLength, Kind_RFSettings);
}

LegacyUsbEnableVoteResponse::LegacyUsbEnableVoteResponse(const QByteArray& packet)
{
    if (!isResponse(packet))
        return;
    // All 8 bits of byte 4 count here.
    deviceId = quint32(byteAt(packet, 2)) | quint32(byteAt(packet, 3)) << 8
        | quint32(byteAt(packet, 4)) << 16;
    m_packetType = quint8(Kind_RFSettings);
    m_valid = deviceId != 0;
}

bool LegacySerialEnableVoteResponse::isResponse(const QByteArray& packet)
{
    return isSerialPacket(packet, PacketLength, Kind_RFSettings);
}

LegacySerialEnableVoteResponse::LegacySerialEnableVoteResponse(const QByteArray& packet)
{
    if (!isResponse(packet))
        return;
    deviceId = serialDeviceId(packet);
    m_packetType = quint8(Kind_RFSettings);
    m_valid = deviceId != 0;
}

// --- Voter registration ---

bool LegacyVoteRegistrationResponse::isResponse(const QByteArray& packet)
{
    return isUsbPacket(packet, PacketLength, Kind_VoteRegistration, false);
}

LegacyVoteRegistrationResponse::LegacyVoteRegistrationResponse(const QByteArray& packet)
{
    if (!isResponse(packet))
        return;
    deviceId = usbDeviceId(packet);
    batteryLow = byteAt(packet, Registration_Offset_Battery) & BatteryLowBit;
    deviceVersion = byteAt(packet, Registration_Offset_UsbVersion);
    m_packetType = quint8(Kind_VoteRegistration);
    m_valid = deviceId != 0;
}

bool LegacySerialVoteRegistrationResponse::isResponse(const QByteArray& packet)
{
    return isSerialPacket(packet, PacketLength, Kind_VoteRegistration);
}

LegacySerialVoteRegistrationResponse::LegacySerialVoteRegistrationResponse(const QByteArray& packet)
{
    if (!isResponse(packet))
        return;
    deviceId = serialDeviceId(packet);
    batteryLow = sevenAt(packet, Registration_Offset_Battery) == BatteryLowMark;
    deviceVersion = byteAt(packet, Registration_Offset_SerialVersion);
    m_packetType = quint8(Kind_VoteRegistration);
    m_valid = deviceId != 0;
}

// --- Slate registration ---

bool LegacySlateRegistrationResponse::isResponse(const QByteArray& packet)
{
    return isUsbPacket(packet, PacketLength, Kind_SlateRegistration, false);
}

LegacySlateRegistrationResponse::LegacySlateRegistrationResponse(const QByteArray& packet)
{
    if (!isResponse(packet))
        return;
    slateId = sevenAt(packet, UsbSlate_Offset_Id);
    secondValue = sevenAt(packet, UsbSlate_Offset_Second);
    m_packetType = quint8(Kind_SlateRegistration);
    m_valid = isSlateId(slateId);
}

bool LegacySerialSlateRegistrationResponse::isResponse(const QByteArray& packet)
{
    return isSerialSlatePacket(packet, PacketLength);
}

LegacySerialSlateRegistrationResponse::LegacySerialSlateRegistrationResponse(
    const QByteArray& packet)
{
    if (!isResponse(packet))
        return;
    const int id
        = ((byteAt(packet, SerialSlate_Offset_Low) >> SerialSlate_LowShift) & SerialSlate_LowMask)
        + SerialSlate_HighFactor * (byteAt(packet, SerialSlate_Offset_High) & TwoBits);
    slateId = quint8(id);
    m_packetType = quint8(Kind_SlateRegistration);
    m_valid = isSlateId(id);
}

// --- Slate PIN registration ---

bool LegacySlatePINRegistrationResponse::isResponse(const QByteArray& packet)
{
    return isUsbPacket(packet, PacketLength, Kind_SlateRegistration, false);
}

LegacySlatePINRegistrationResponse::LegacySlatePINRegistrationResponse(const QByteArray& packet)
{
    if (!isResponse(packet))
        return;
    slateId = sevenAt(packet, UsbPin_Offset_Slate);
    for (int i = 0; i < PinDigitCount; ++i)
        pin.append(
            QLatin1Char(char('0' + (byteAt(packet, UsbPin_Offset_Digits + i) & UsbPin_DigitMask))));
    m_packetType = quint8(Kind_SlateRegistration);
    m_valid = isSlateId(slateId);
}

bool LegacySerialSlatePINRegistrationResponse::isResponse(const QByteArray& packet)
{
    return isSerialSlatePacket(packet, PacketLength);
}

LegacySerialSlatePINRegistrationResponse::LegacySerialSlatePINRegistrationResponse(
    const QByteArray& packet)
{
    if (!isResponse(packet))
        return;
    // Five 7-bit groups, lowest first, kept to 32 bits.
    quint32 value = 0;
    int shift = 0;
    for (int offset : SerialPin_Offsets) {
        value |= quint32(sevenAt(packet, offset)) << shift;
        shift += 7;
    }
    const quint32 id = value & ByteMask;
    bool digitsOk = true;
    for (int i = 1; i <= PinDigitCount; ++i) {
        const quint32 digit = (value >> (ByteBits * i)) & ByteMask;
        digitsOk = digitsOk && digit >= FirstDigit && digit <= LastDigit;
        pin.append(QLatin1Char(char('0' + (digit % 10))));
    }
    slateId = quint8(id);
    m_packetType = quint8(Kind_SlateRegistration);
    m_valid = digitsOk && isSlateId(int(id));
    if (!m_valid)
        pin.clear();
}

// --- PIN naming ---

bool LegacyPinNamingResponse::isResponse(const QByteArray& packet)
{
    return isUsbPacket(packet, PacketLength, Kind_VoteRegistration);
}

LegacyPinNamingResponse::LegacyPinNamingResponse(const QByteArray& packet)
{
    if (!isResponse(packet))
        return;
    deviceId = usbDeviceId(packet);
    const quint8 high = byteAt(packet, Naming_Offset_UsbHigh);
    const quint8 keys = byteAt(packet, Naming_Offset_Keys);
    name = nameFromPinKeys({
        quint8((high >> 7) * 4 + (keys >> (2 * KeyBits))),
        quint8((keys >> KeyBits) & KeyMask),
        quint8(keys & KeyMask),
    });
    m_packetType = quint8(Kind_VoteRegistration);
    m_valid = deviceId != 0;
}

bool LegacySerialPinNamingResponse::isResponse(const QByteArray& packet)
{
    return isSerialPacket(packet, PacketLength, Kind_VoteRegistration);
}

LegacySerialPinNamingResponse::LegacySerialPinNamingResponse(const QByteArray& packet)
{
    if (!isResponse(packet))
        return;
    deviceId = serialDeviceId(packet);
    const quint8 b5 = byteAt(packet, Naming_Offset_Keys);
    const quint8 b6 = byteAt(packet, Naming_Offset_SerialKeys);
    name = nameFromPinKeys({
        quint8((b5 & 4) + ((b6 >> 2) & TwoBits)),
        quint8(2 * (b6 & TwoBits) + ((b5 >> 6) & 1)),
        quint8((b5 >> KeyBits) & KeyMask),
    });
    m_packetType = quint8(Kind_VoteRegistration);
    m_valid = deviceId != 0;
}

} // namespace Taviosystem
