#include "rondel2values.h"

#include "serverdata/records.h"

namespace Taviosystem {
namespace Rondel2 {

bool readDeviceId(const QVariant& value, quint32* id)
{
    const QMetaType type = value.metaType();
    if (type == QMetaType::fromType<QString>()) {
        const QString text = value.toString();
        if (text.isEmpty() || text.size() > 10)
            return false;
        for (QChar c : text)
            if (!c.isDigit() || c.unicode() > 127)
                return false;
        bool ok = false;
        const qulonglong number = text.toULongLong(&ok);
        if (!ok || number < 1 || number > 0xFFFFFFFFull)
            return false;
        *id = quint32(number);
        return true;
    }
    if (type == QMetaType::fromType<double>() || type == QMetaType::fromType<int>()
        || type == QMetaType::fromType<qlonglong>() || type == QMetaType::fromType<qulonglong>()
        || type == QMetaType::fromType<uint>()) {
        const double number = value.toDouble();
        if (!(number >= 1 && number <= 4294967295.0) || number != double(qulonglong(number)))
            return false;
        *id = quint32(qulonglong(number));
        return true;
    }
    return false;
}

// The device named by the last "."-separated part of a beacon source hash.
bool deviceFromHash(const QVariant& hash, quint32* id)
{
    if (hash.metaType() != QMetaType::fromType<QString>())
        return false;
    return readDeviceId(QVariant(hash.toString().section(QLatin1Char('.'), -1)), id);
}

QString withoutSeparators(QString text)
{
    text.remove(QLatin1Char(','));
    text.remove(QLatin1Char(' '));
    return text;
}

QString optionOrdinal(int i, DisplayOption display)
{
    switch (display) {
    case DisplayOption_LowerCaseLetters:
        return QString(QChar(QLatin1Char('a').unicode() + i - 1));
    case DisplayOption_UpperCaseLetters:
        return QString(QChar(QLatin1Char('A').unicode() + i - 1));
    default:
        return QString::number(i);
    }
}

QVariantMap possibleResponse(int id, const QString& ordinal, const QString& text)
{
    Tavio::PossibleResponse response;
    response.setAnswerID(id);
    response.setOrdinal(ordinal);
    if (!text.isNull())
        response.setAnswerText(text);
    return response.getDelta();
}

BeaconEntry readBeaconEntry(const QVariant& entry)
{
    BeaconEntry read;
    if (entry.metaType() != QMetaType::fromType<QVariantMap>()) {
        read.problem = QStringLiteral("an entry that is no object");
        return read;
    }
    const QVariantMap map = entry.toMap();
    const QVariant signal = map.value(QStringLiteral("Signal"));
    if (signal.metaType() != QMetaType::fromType<QString>()) {
        read.problem = QStringLiteral("an entry without a signal name");
        return read;
    }
    read.signal = signal.toString();
    const QVariant value = map.value(QStringLiteral("Value"));
    static const struct
    {
        const char* name;
        BeaconEntry::Kind kind;
        bool deviceFromValue;
    } Signals[] = {
        { "DeviceRegistered", BeaconEntry::DeviceRegistered, true },
        { "NameChangeSignal", BeaconEntry::NameChange, true },
        { "DeviceResponse", BeaconEntry::DeviceResponse, false },
        { "QuestionRequest", BeaconEntry::QuestionRequest, false },
        { "DeviceShutdown", BeaconEntry::DeviceShutdown, false },
    };
    for (const auto& known : Signals) {
        if (read.signal != QLatin1String(known.name))
            continue;
        const bool deviceRead = known.deviceFromValue
            ? readDeviceId(value, &read.device)
            : deviceFromHash(map.value(QStringLiteral("SourceHash")), &read.device);
        if (!deviceRead) {
            read.problem = QStringLiteral("no usable device");
            return read;
        }
        if (known.kind == BeaconEntry::QuestionRequest) {
            quint32 number = 0;
            if (!readDeviceId(value, &number) || number > 0xFFFF) {
                read.problem = QStringLiteral("no usable question number");
                return read;
            }
            read.questionNumber = int(number);
        }
        read.kind = known.kind;
        return read;
    }
    read.kind = BeaconEntry::Unknown;
    return read;
}

} // namespace Rondel2
} // namespace Taviosystem
