// The legacy hub's records in both framings, its hub record, and how it is plugged in.
#include "radio_p.h"

#include "tavioemulator/legacyfirmware.h"

#include <cstdio>

namespace TavioEmulator {

using namespace Radio;

namespace {

constexpr std::uint8_t KindRF = 0x68; // 'h': RF settings and enable answers
constexpr std::uint8_t KindRegistration = 0x67; // 'g': voter registration and PIN naming
constexpr std::uint8_t KindVote = 0x65; // 'e'
constexpr std::uint8_t KindSlate = 0x07; // slate request and PIN answer
constexpr std::uint8_t KindPen = 0x21;

constexpr std::uint8_t FrameStart = 0x80; // serial: marks the first byte of a frame
constexpr std::uint8_t SevenBits = 0x7F;

// Sizes in the USB framing; a serial packet is one byte longer.
constexpr std::size_t RFSize = 10;
constexpr std::size_t RecordSize = 9;
constexpr std::size_t PenSize = 8;

// USB bytes 2 to 4 hold a voter's id; the top bit of byte 4 is not part of it in these records.
constexpr std::uint32_t UsbVoterIdMask = 0x7FFFFF;

// Where the serial framing puts a number's 7-bit groups, lowest first.
constexpr std::size_t GroupOffsets[] = { 1, 3, 4, 5, 6 };

constexpr bool isSerial(LegacyFraming framing) { return framing == LegacyFraming::Serial; }

// A packet of `usbSize` bytes in USB framing (or one more in serial framing) with its length and
// kind in place and zeros elsewhere.
Bytes emptyPacket(LegacyFraming framing, std::size_t usbSize, std::uint8_t kind)
{
    if (!isSerial(framing)) {
        Bytes packet(usbSize, 0);
        packet[0] = std::uint8_t(usbSize);
        packet[1] = kind;
        return packet;
    }
    const std::size_t size = usbSize + 1;
    Bytes packet(size, 0);
    packet[0] = std::uint8_t(FrameStart | size);
    packet[2] = kind;
    return packet;
}

void putLittleEndian(Bytes& packet, std::size_t at, std::size_t width, std::uint64_t value)
{
    for (std::size_t i = 0; i < width; ++i)
        packet[at + i] = std::uint8_t(value >> (8 * i));
}

// Serial: the lowest `groups` 7-bit groups of `value` at their offsets.
void putGroups(Bytes& packet, std::uint64_t value, std::size_t groups)
{
    for (std::size_t i = 0; i < groups && i < std::size(GroupOffsets); ++i)
        packet[GroupOffsets[i]] = std::uint8_t((value >> (7 * i)) & SevenBits);
}

// A voter record of `kind`: the device id in USB bytes 2 to 4 or the serial groups 1, 3, 4.
Bytes voterPacket(LegacyFraming framing, std::uint8_t kind, std::uint32_t deviceId)
{
    Bytes packet = emptyPacket(framing, RecordSize, kind);
    if (isSerial(framing))
        putGroups(packet, deviceId, 3);
    else
        putLittleEndian(packet, 2, 3, deviceId & UsbVoterIdMask);
    return packet;
}

// The 3-bit key code of a PIN name character.
std::uint8_t keyCode(char c)
{
    if (c >= 'A' && c <= 'F')
        return std::uint8_t(c - 'A' + 1);
    if (c >= 'a' && c <= 'f')
        return std::uint8_t(c - 'a' + 1);
    return c == ' ' ? 7 : 0;
}

} // namespace

Bytes LegacyFirmware::rfPacket(LegacyFraming framing, const LegacyRFSettings& settings)
{
    Bytes packet = emptyPacket(framing, RFSize, KindRF);
    const auto fields = std::uint8_t((settings.voteChannel & 3) << 1 | (settings.rfBand & 3) << 3
        | (settings.slateChannel & 3) << 5);
    packet[isSerial(framing) ? 1 : 2] = fields;
    packet[3] = isSerial(framing) ? std::uint8_t(settings.boardId & SevenBits) : settings.boardId;
    return packet;
}

// The enable answer has the RF record's length and kind; nothing in the bytes tells the two
// apart, the receiver of them goes by the command it is waiting on. Both are built as they are
// and stay alike on purpose.
Bytes LegacyFirmware::enablePacket(LegacyFraming framing, std::uint32_t deviceId)
{
    Bytes packet = emptyPacket(framing, RFSize, KindRF);
    if (isSerial(framing))
        putGroups(packet, deviceId, 3);
    else
        putLittleEndian(packet, 2, 3, deviceId);
    return packet;
}

Bytes LegacyFirmware::voteRegistrationPacket(
    LegacyFraming framing, std::uint32_t deviceId, bool batteryLow, std::uint8_t version)
{
    Bytes packet = voterPacket(framing, KindRegistration, deviceId);
    if (isSerial(framing)) {
        packet[6] = batteryLow ? 16 : 0;
        packet[9] = std::uint8_t(version & SevenBits);
    } else {
        packet[6] = batteryLow ? 1 : 0;
        packet[8] = version;
    }
    return packet;
}

// A request and a PIN answer share length and kind too, as do a registration and a PIN name:
// the session running at the receiver decides how they read. Serial slate records are 10 bytes,
// as long as the other serial twins of 9-byte USB records.
Bytes LegacyFirmware::slateRequestPacket(
    LegacyFraming framing, std::uint8_t slateId, std::uint8_t second)
{
    Bytes packet = emptyPacket(framing, RecordSize, KindSlate);
    if (isSerial(framing)) {
        packet[4] = std::uint8_t((slateId & 0x1F) << 2);
        packet[5] = std::uint8_t((slateId >> 5) & 3);
    } else {
        packet[4] = std::uint8_t(slateId & SevenBits);
        packet[7] = std::uint8_t(second & SevenBits);
    }
    return packet;
}

Bytes LegacyFirmware::slatePinPacket(
    LegacyFraming framing, std::uint8_t slateId, const std::array<std::uint8_t, 3>& digits)
{
    Bytes packet = emptyPacket(framing, RecordSize, KindSlate);
    if (isSerial(framing)) {
        const std::uint32_t value = std::uint32_t(slateId) | std::uint32_t(digits[0]) << 8
            | std::uint32_t(digits[1]) << 16 | std::uint32_t(digits[2]) << 24;
        putGroups(packet, value, 5);
    } else {
        packet[2] = std::uint8_t(slateId & SevenBits);
        for (std::size_t i = 0; i < digits.size(); ++i)
            packet[3 + i] = std::uint8_t(digits[i] & 7);
    }
    return packet;
}

std::array<std::uint8_t, 3> LegacyFirmware::pinDigits(const std::string& typed)
{
    std::array<std::uint8_t, 3> digits {};
    for (std::size_t i = 0; i < digits.size() && i < typed.size(); ++i) {
        const char c = typed[i];
        if (c >= '0' && c <= '7')
            digits[i] = std::uint8_t(c - '0');
        else if (c != ' ')
            digits[i] = keyCode(c);
    }
    return digits;
}

Bytes LegacyFirmware::votePacket(
    LegacyFraming framing, std::uint32_t deviceId, std::uint8_t key, bool batteryLow)
{
    Bytes packet = voterPacket(framing, KindVote, deviceId);
    packet[6] = batteryLow ? 1 : 0;
    packet[isSerial(framing) ? 9 : 8] = isSerial(framing) ? std::uint8_t(key & SevenBits) : key;
    return packet;
}

Bytes LegacyFirmware::pinNamingPacket(LegacyFraming framing, std::uint32_t deviceId,
    std::uint8_t first, std::uint8_t second, std::uint8_t third)
{
    first &= 7;
    second &= 7;
    third &= 7;
    Bytes packet = voterPacket(framing, KindRegistration, deviceId);
    if (isSerial(framing)) {
        // byte 5: first's bit 2 in bit 2, third in bits 3-5, second's bit 0 in bit 6;
        // byte 6: first's bits 0-1 in bits 2-3, second's bits 1-2 in bits 0-1.
        packet[5] = std::uint8_t((first & 4) | third << 3 | (second & 1) << 6);
        packet[6] = std::uint8_t((first & 3) << 2 | second >> 1);
    } else {
        // first's bit 2 in bit 7 of byte 4 (above the id), its bits 0-1 in bits 6-7 of byte 5,
        // then second and third three bits each.
        packet[4] = std::uint8_t(packet[4] | (first >> 2) << 7);
        packet[5] = std::uint8_t((first & 3) << 6 | second << 3 | third);
    }
    return packet;
}

Bytes LegacyFirmware::pinNamingPacket(
    LegacyFraming framing, std::uint32_t deviceId, const std::string& name)
{
    std::uint8_t codes[3] = {};
    for (std::size_t i = 0; i < 3 && i < name.size(); ++i)
        codes[i] = keyCode(name[i]);
    return pinNamingPacket(framing, deviceId, codes[0], codes[1], codes[2]);
}

Bytes LegacyFirmware::penPacket(LegacyFraming framing, std::uint8_t pen, std::uint16_t x,
    std::uint16_t y, bool tip, bool barrel, bool inRange)
{
    if (!isSerial(framing)) // the same pen packet as the 2.4 GHz hub's
        return TwoPointFourGHzFirmware::penPacket(pen, x, y, tip, barrel, inRange);
    Bytes packet = emptyPacket(framing, PenSize, KindPen);
    const auto button = std::uint8_t((tip ? 1 : 0) | (barrel ? 2 : 0));
    packet[3] = std::uint8_t((x >> 14) | button << 2 | (inRange ? 0x20 : 0));
    packet[4] = std::uint8_t((x >> 7) & SevenBits);
    packet[5] = std::uint8_t(x & SevenBits);
    packet[6] = std::uint8_t((y >> 14) | (pen & 0x0F) << 3);
    packet[7] = std::uint8_t((y >> 7) & SevenBits);
    packet[8] = std::uint8_t(y & SevenBits);
    return packet;
}

std::vector<Bytes> LegacyFirmware::penStrokePackets(LegacyFraming framing, const PenStroke& stroke)
{
    return strokePackets(
        stroke, [framing](std::uint8_t pen, std::uint16_t x, std::uint16_t y, bool tip) {
            return penPacket(framing, pen, x, y, tip);
        });
}

int LegacyFirmware::streamPenStroke(
    EmulatedHub& hub, LegacyFraming framing, const PenStroke& stroke)
{
    return queueEvery(hub, penStrokePackets(framing, stroke), stroke.interval);
}

std::string LegacyFirmware::identifierText(std::uint64_t deviceId)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string text;
    for (int i = 0; i < 6; ++i) {
        const auto byte = std::uint8_t(deviceId >> (8 * i));
        text.push_back(digits[byte >> 4]);
        text.push_back(digits[byte & 0x0F]);
    }
    return text;
}

// LegacyHubRecord

std::string LegacyHubRecord::additionalInfo() const
{
    if (additionalInfoOverride)
        return *additionalInfoOverride;
    char text[128];
    std::snprintf(text, sizeof(text), "xp=<%d> xt=<%d> xl=<%d> hid=<%s> vid=<%04X> pid=<%04X>",
        penCount, touches, erasers, hid ? "true" : "false", unsigned(vendorId),
        unsigned(productId));
    return text;
}

HubConfig LegacyHubRecord::config(LegacyFraming framing) const
{
    HubConfig config;
    config.kind = hasBoard ? 1 : 2;
    config.connectionType = int(framing);
    config.versionNumber = versionNumber;
    config.serial = serial;
    config.handle = handle;
    config.additionalInfo = additionalInfo();
    return config;
}

EmulatedHub* addLegacyHub(
    Emulator& emulator, const LegacyHubRecord& record, std::shared_ptr<LegacyFirmware> firmware)
{
    if (!firmware)
        return nullptr;
    const HubConfig config = record.config(firmware->framing());
    return plugInWithFirmware(emulator, config, std::move(firmware));
}

} // namespace TavioEmulator
