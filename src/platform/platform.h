#pragma once

// The thin layer over what differs between operating systems.

#include <QtCore/QString>
#include <QtCore/QStringList>

QT_BEGIN_NAMESPACE
class QLibrary;
QT_END_NAMESPACE

namespace Taviosystem {
namespace Platform {

// Loads a library by base name ("tavioboardex") or path. A base name is looked up as the
// system's loader does, then next to the application, then next to this library. Null when
// none loads; the caller owns the result.
QLibrary* loadLibrary(const QString& nameOrPath);

// The candidates loadLibrary tries, in order (for diagnostics and tests).
QStringList libraryCandidates(const QString& nameOrPath);

// The machine-wide application-data folder (the variable TAVIOSYSTEM_APPDATA overrides it).
QString commonAppDataFolder();

// The user name of the session ("USER" or "USERNAME").
QString userName();

} // namespace Platform
} // namespace Taviosystem
