#pragma once

#include <QtCore/QString>

#include <initializer_list>

namespace Taviosystem {

// The name a voter keys in PIN naming: each 3-bit key code gives a letter, 1 to 6 'A' to 'F',
// 7 a space, 0 nothing.
inline QString nameFromPinKeys(std::initializer_list<quint8> codes)
{
    constexpr quint8 Mask = 0x07;
    constexpr quint8 None = 0;
    constexpr quint8 Space = 7;
    QString name;
    for (quint8 code : codes) {
        code &= Mask;
        if (code == None)
            continue;
        name.append(code == Space ? QLatin1Char(' ') : QLatin1Char(char('A' + code - 1)));
    }
    return name;
}

} // namespace Taviosystem
