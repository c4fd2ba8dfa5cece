#pragma once

// Reading the values the classroom server sends: device identifiers, beacon sources, answers
// and the question documents the hub builds.

#include <taviosystem/taviosystem_global.h>

#include <QtCore/QString>
#include <QtCore/QVariant>

namespace Taviosystem {
namespace Rondel2 {

// A device identifier of the server: a number or decimal text, 1 to 4294967295.
bool readDeviceId(const QVariant& value, quint32* id);
// The device named by the last "."-separated part of a beacon source hash.
bool deviceFromHash(const QVariant& hash, quint32* id);
// The text with every "," and " " taken out.
QString withoutSeparators(QString text);
// The label of option i (from 1) as the display option shows it: digit, a.., A...
QString optionOrdinal(int i, DisplayOption display);
// A possible response of a question document; a null text is left out.
QVariantMap possibleResponse(int id, const QString& ordinal, const QString& text);

// One entry of a beacon reply, read: what it asks for and the device (and question number) it
// names. An entry that cannot be acted on is Invalid, with the reason in `problem`.
struct BeaconEntry
{
    enum Kind {
        Invalid,
        Unknown, // a signal this hub does not act on
        DeviceRegistered,
        NameChange,
        DeviceResponse,
        QuestionRequest,
        DeviceShutdown
    };
    Kind kind = Invalid;
    QString signal;
    quint32 device = 0;
    int questionNumber = 0;
    QString problem;
};
BeaconEntry readBeaconEntry(const QVariant& entry);

} // namespace Rondel2
} // namespace Taviosystem
