#include "platform.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QDir>
#include <QtCore/QFileInfo>
#include <QtCore/QLibrary>
#include <QtCore/QStandardPaths>

#if defined(Q_OS_WIN)
#include <shlobj.h>
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

namespace Taviosystem {
namespace Platform {

namespace {

// The folder holding the library this code is part of.
QString ownLibraryFolder()
{
#if defined(Q_OS_WIN)
    return QString();
#else
    Dl_info info;
    if (dladdr(reinterpret_cast<void*>(&ownLibraryFolder), &info) == 0 || !info.dli_fname)
        return QString();
    return QFileInfo(QString::fromLocal8Bit(info.dli_fname)).absolutePath();
#endif
}

QString fileNameFor(const QString& baseName)
{
#if defined(Q_OS_WIN)
    return QStringLiteral("lib%1.dll").arg(baseName);
#elif defined(Q_OS_MACOS)
    return QStringLiteral("lib%1.dylib").arg(baseName);
#else
    return QStringLiteral("lib%1.so").arg(baseName);
#endif
}

} // namespace

QStringList libraryCandidates(const QString& nameOrPath)
{
    QStringList candidates;
    if (nameOrPath.isEmpty())
        return candidates;
    const QFileInfo info(nameOrPath);
    if (info.isAbsolute() || nameOrPath.contains(QLatin1Char('/'))) {
        candidates << nameOrPath;
        return candidates;
    }
    candidates << nameOrPath; // the system's own search (QLibrary adds prefix and suffix)
    const QString fileName = fileNameFor(nameOrPath);
    if (QCoreApplication::instance())
        candidates << QDir(QCoreApplication::applicationDirPath()).filePath(fileName);
    const QString ownFolder = ownLibraryFolder();
    if (!ownFolder.isEmpty())
        candidates << QDir(ownFolder).filePath(fileName);
    candidates.removeDuplicates();
    return candidates;
}

QLibrary* loadLibrary(const QString& nameOrPath)
{
    for (const QString& candidate : libraryCandidates(nameOrPath)) {
        auto* library = new QLibrary(candidate);
        if (library->load())
            return library;
        delete library;
    }
    return nullptr;
}

QString commonAppDataFolder()
{
    const QByteArray overridden = qgetenv("TAVIOSYSTEM_APPDATA");
    if (!overridden.isEmpty())
        return QDir::fromNativeSeparators(QString::fromLocal8Bit(overridden));
#if defined(Q_OS_WIN)
    wchar_t path[MAX_PATH] = {};
    if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, 0, path)))
        return QDir::fromNativeSeparators(QString::fromWCharArray(path));
    return QString();
#else
    // The machine-wide folder when we may write there, else the user's own data folder.
    const QString machineWide = QStringLiteral("/var/lib");
    if (::access(machineWide.toLocal8Bit().constData(), W_OK) == 0)
        return machineWide;
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
#endif
}

QString userName()
{
    QString name = QString::fromLocal8Bit(qgetenv("USER"));
    if (name.isEmpty())
        name = QString::fromLocal8Bit(qgetenv("USERNAME"));
    return name;
}

} // namespace Platform
} // namespace Taviosystem
