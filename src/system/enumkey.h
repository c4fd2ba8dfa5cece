#pragma once

#include <QtCore/QMetaEnum>
#include <QtCore/QMetaObject>
#include <QtCore/QString>

namespace Taviosystem {

// The key of `value` in the enumerator named "Error" of a class: empty for a value outside the
// enumeration, "Unknown" when the class has no such enumerator.
inline QString errorKey(const QMetaObject& meta, int value)
{
    const int index = meta.indexOfEnumerator("Error");
    if (index < 0)
        return QStringLiteral("Unknown");
    return QString::fromLatin1(meta.enumerator(index).valueToKey(value));
}

} // namespace Taviosystem
