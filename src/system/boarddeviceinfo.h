#pragma once

#include <QtCore/QByteArray>
#include <QtCore/QString>
#include <QtCore/QtGlobal>

#include <cstring>

namespace Taviosystem {

// The receiver record the board library fills: 1024 bytes, little-endian, read at fixed byte
// offsets. Texts are read up to their terminator or the end of their field, whichever comes
// first, so a record without terminators cannot make us read past it.
struct BoardDeviceInfo
{
    static constexpr int Size = 1024;
    static constexpr int RecordVersion = 9; // set before every call
    static constexpr int Offset_Version = 0;
    static constexpr int Offset_Kind = 4;
    static constexpr int Offset_ConnectionType = 8;
    static constexpr int Offset_VersionNumber = 12;
    static constexpr int Offset_Handle = 20;
    static constexpr int Offset_SerialLow = 24;
    static constexpr int Offset_SerialHigh = 28;
    static constexpr int Offset_DevicePath = 32; // UTF-16
    static constexpr int Offset_DriverVersion = 556; // UTF-16
    static constexpr int Offset_AdditionalInfo = 613; // 8-bit

    unsigned char bytes[Size];

    BoardDeviceInfo() { clear(); }
    void clear()
    {
        std::memset(bytes, 0, sizeof bytes);
        setInt32(Offset_Version, RecordVersion);
    }

    qint32 int32At(int offset) const
    {
        return qint32(quint32(bytes[offset]) | quint32(bytes[offset + 1]) << 8
            | quint32(bytes[offset + 2]) << 16 | quint32(bytes[offset + 3]) << 24);
    }
    void setInt32(int offset, qint32 value)
    {
        for (int i = 0; i < 4; ++i)
            bytes[offset + i] = static_cast<unsigned char>(quint32(value) >> (8 * i));
    }

    int version() const { return int32At(Offset_Version); }
    int kind() const { return int32At(Offset_Kind); }
    int connectionType() const { return int32At(Offset_ConnectionType); }
    int versionNumber() const { return int32At(Offset_VersionNumber); }
    int handle() const { return int32At(Offset_Handle); }
    quint64 serial() const
    {
        return quint64(quint32(int32At(Offset_SerialLow)))
            | quint64(quint32(int32At(Offset_SerialHigh))) << 32;
    }
    QString devicePath() const { return utf16At(Offset_DevicePath, Offset_DriverVersion); }
    QString driverVersion() const { return utf16At(Offset_DriverVersion, Offset_AdditionalInfo); }
    QByteArray additionalInfo() const
    {
        const char* start = reinterpret_cast<const char*>(bytes) + Offset_AdditionalInfo;
        const int room = Size - Offset_AdditionalInfo;
        return QByteArray(start, int(qstrnlen(start, uint(room))));
    }

private:
    QString utf16At(int offset, int end) const
    {
        QString text;
        for (int i = offset; i + 1 < end; i += 2) {
            const char16_t unit = char16_t(bytes[i] | bytes[i + 1] << 8);
            if (unit == 0)
                break;
            text.append(QChar(unit));
        }
        return text;
    }
};

static_assert(sizeof(BoardDeviceInfo) == BoardDeviceInfo::Size, "the record is 1024 bytes");

} // namespace Taviosystem
