// The 1024-byte device record handed out by tavioEnumDeviceInfo. Every field is written byte by
// byte at its offset, little-endian, independent of any struct layout.
#include "emulator_p.h"

#include <algorithm>
#include <cstring>

namespace TavioEmulator {

namespace {

constexpr std::size_t KindOffset = 4;
constexpr std::size_t ConnectionTypeOffset = 8;
constexpr std::size_t VersionNumberOffset = 12;
constexpr std::size_t UnusedOffset = 16;
constexpr std::size_t HandleOffset = 20;
constexpr std::size_t SerialLowOffset = 24;
constexpr std::size_t SerialHighOffset = 28;
constexpr std::size_t DevicePathOffset = 32;
constexpr std::size_t DriverVersionOffset = 556;
constexpr std::size_t AdditionalInfoOffset = 613;

void putUint32(unsigned char* record, std::size_t offset, std::uint32_t value)
{
    for (std::size_t i = 0; i < 4; ++i)
        record[offset + i] = static_cast<unsigned char>((value >> (8 * i)) & 0xFFu);
}

void putInt32(unsigned char* record, std::size_t offset, std::int32_t value)
{
    putUint32(record, offset, static_cast<std::uint32_t>(value));
}

// Writes UTF-16 text into [begin, end) with its terminating NUL, cutting it short to fit; a
// surrogate pair is never split.
void putUtf16(unsigned char* record, std::size_t begin, std::size_t end, const std::u16string& text)
{
    const std::size_t room = (end - begin) / 2; // 16-bit units, the NUL included
    std::size_t count = std::min(text.size(), room - 1);
    if (count < text.size() && count > 0 && text[count - 1] >= 0xD800 && text[count - 1] <= 0xDBFF)
        --count;
    for (std::size_t i = 0; i < count; ++i) {
        record[begin + 2 * i] = static_cast<unsigned char>(text[i] & 0xFFu);
        record[begin + 2 * i + 1] = static_cast<unsigned char>((text[i] >> 8) & 0xFFu);
    }
    record[begin + 2 * count] = 0;
    record[begin + 2 * count + 1] = 0;
}

void putText(unsigned char* record, std::size_t begin, std::size_t end, const std::string& text)
{
    const std::size_t count = std::min(text.size(), end - begin - 1);
    if (count > 0)
        std::memcpy(record + begin, text.data(), count);
    record[begin + count] = 0;
}

} // namespace

void fillDeviceRecord(const HubConfig& config, unsigned char* record)
{
    std::memset(record + KindOffset, 0, DeviceRecordSize - KindOffset);
    putInt32(record, KindOffset, config.kind);
    putInt32(record, ConnectionTypeOffset, config.connectionType);
    putInt32(record, VersionNumberOffset, config.versionNumber);
    putInt32(record, UnusedOffset, 0);
    putInt32(record, HandleOffset, config.handle);
    putUint32(record, SerialLowOffset, static_cast<std::uint32_t>(config.serial & 0xFFFFFFFFu));
    putUint32(record, SerialHighOffset, static_cast<std::uint32_t>(config.serial >> 32));
    putUtf16(record, DevicePathOffset, DriverVersionOffset, config.devicePath);
    putUtf16(record, DriverVersionOffset, AdditionalInfoOffset, config.driverVersion);
    putText(record, AdditionalInfoOffset, DeviceRecordSize, config.additionalInfo);
}

} // namespace TavioEmulator
