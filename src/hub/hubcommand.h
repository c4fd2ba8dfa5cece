#pragma once

#include <QtCore/QByteArray>

namespace Taviosystem {

// Text commands of both radio hub kinds: the command code, its parameters, then a carriage return.
inline QByteArray hubCommand(const char* code, const QByteArray& parameters = QByteArray())
{
    constexpr char EndOfCommand = 0x0D;
    QByteArray bytes(code);
    bytes += parameters;
    bytes += EndOfCommand;
    return bytes;
}

} // namespace Taviosystem
