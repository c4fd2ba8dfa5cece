// The virtual votes file: extra voting devices, listed by every 2.4 GHz hub beside its own.
//
// Layout (little-endian): "VVRDEV" (any case), format version (4 bytes, 3), record version
// (2 bytes, 1), record count (4 bytes, signed), then per record: serial (8 ASCII hex digits),
// a second identifier field (8 bytes, the first 4 kept), 4 reserved bytes, the name length L
// (2 bytes, signed) and L name bytes (the first 9 kept).

#include <taviosystem/hub.h>

#include "platform/platform.h"

#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QStringList>
#include <QtCore/QtEndian>

namespace Taviosystem {

namespace {
const char Magic[] = "VVRDEV";
const int MagicLength = 6;
const quint32 FormatVersion = 3;
const quint16 RecordVersion = 1;
const int SerialLength = 8;
const int SecondFieldLength = 8;
const int SecondFieldKept = 4;
const int ReservedLength = 4;
const int NameKept = 9;
const char SubPath[] = "TAVIO Software/Device Registration/virtualvotes.dev";

// Reads exactly n bytes, or fails.
bool readExactly(QFile& file, int n, QByteArray& out)
{
    out = file.read(n);
    return out.size() == n;
}

// Text up to the first zero byte, at most `limit` bytes.
QString textField(const QByteArray& bytes, int limit)
{
    const QByteArray field = bytes.left(limit);
    const int end = field.indexOf('\0');
    return QString::fromLatin1(end < 0 ? field : field.left(end));
}
} // namespace

QString Hub::virtualVoteFilePath()
{
    const QString folder = Platform::commonAppDataFolder();
    if (folder.isEmpty())
        return QString();
    return QDir(folder).filePath(QString::fromLatin1(SubPath));
}

bool Hub::readVirtualVoteFile(QStringList& lines)
{
    lines.clear();
    const QString path = virtualVoteFilePath();
    if (path.isEmpty())
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;

    QByteArray bytes;
    if (!readExactly(file, MagicLength, bytes)
        || bytes.compare(QByteArray(Magic), Qt::CaseInsensitive) != 0)
        return false;
    if (!readExactly(file, 4, bytes)
        || qFromLittleEndian<quint32>(bytes.constData()) != FormatVersion)
        return false;
    if (!readExactly(file, 2, bytes)
        || qFromLittleEndian<quint16>(bytes.constData()) != RecordVersion)
        return false;
    if (!readExactly(file, 4, bytes))
        return false;
    const qint32 count = qFromLittleEndian<qint32>(bytes.constData());

    // A record cut short ends the list; what was read so far stays.
    for (qint32 i = 0; i < count; ++i) {
        QByteArray serial, second, reserved, length, name;
        if (!readExactly(file, SerialLength, serial)
            || !readExactly(file, SecondFieldLength, second)
            || !readExactly(file, ReservedLength, reserved) || !readExactly(file, 2, length))
            break;
        const qint16 nameLength = qFromLittleEndian<qint16>(length.constData());
        if (nameLength > 0 && !readExactly(file, nameLength, name))
            break;
        lines << textField(serial, SerialLength) + textField(second, SecondFieldKept)
                + QLatin1Char('#') + textField(name, NameKept);
    }
    return true;
}

} // namespace Taviosystem
