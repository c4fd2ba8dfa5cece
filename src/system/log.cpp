#include "system/log.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QLibrary>
#include <QMutex>
#include <QStringList>

#include <algorithm>
#include <limits>
#include <utility>

#if !defined(Q_OS_WIN)
#include <dlfcn.h>
#endif

namespace Taviosystem {

namespace {

// Folder of the module (shared library or executable) that contains this code, or an empty
// string when it cannot be told.
QString folderOfThisModule()
{
#if defined(Q_OS_WIN)
    return {};
#else
    Dl_info info {};
    if (dladdr(reinterpret_cast<void*>(&folderOfThisModule), &info) == 0
        || info.dli_fname == nullptr || info.dli_fname[0] == '\0')
        return {};
    return QFileInfo(QFile::decodeName(info.dli_fname)).absolutePath();
#endif
}

// Loads a library by name. A name that is not absolute is tried with the system loader's
// own search first, then next to the running application and then next to the module that
// contains this code. Returns the loaded library, or null when none of these worked.
std::unique_ptr<QLibrary> loadLibraryFromSearchPath(const QString& baseName)
{
    if (baseName.isEmpty())
        return nullptr;

    auto library = std::make_unique<QLibrary>(baseName);
    if (library->load())
        return library;
    if (QDir::isAbsolutePath(baseName))
        return nullptr;

    QStringList folders;
    if (QCoreApplication::instance() != nullptr)
        folders << QCoreApplication::applicationDirPath();
    folders << folderOfThisModule();

    QStringList tried;
    for (const QString& folder : std::as_const(folders)) {
        if (folder.isEmpty())
            continue;
        const QString candidate = QDir::cleanPath(QDir(folder).filePath(baseName));
        if (tried.contains(candidate))
            continue;
        tried << candidate;
        library->setFileName(candidate);
        if (library->load())
            return library;
    }
    return nullptr;
}

// QLibrary objects that name the same file share one loaded module, and unload() on any of
// them unloads it for all of them. Several Log objects may use the same logging library at
// once, so they count their users here and only the last one unloads it.
class LibraryUsers
{
public:
    static LibraryUsers& instance()
    {
        static LibraryUsers users;
        return users;
    }

    std::unique_ptr<QLibrary> load(const QString& baseName)
    {
        const QMutexLocker lock(&m_mutex);
        std::unique_ptr<QLibrary> library = loadLibraryFromSearchPath(baseName);
        if (library)
            ++m_counts[library->fileName()];
        return library;
    }

    void unload(QLibrary& library)
    {
        const QMutexLocker lock(&m_mutex);
        const auto it = m_counts.find(library.fileName());
        if (it != m_counts.end() && --it.value() > 0)
            return;
        if (it != m_counts.end())
            m_counts.erase(it);
        library.unload();
    }

private:
    QMutex m_mutex;
    QHash<QString, int> m_counts;
};

} // namespace

Log::Log(int level, const QString& libraryName)
    : m_library(LibraryUsers::instance().load(libraryName))
{
    if (!m_library)
        return;

#define TAVIO_LOG_RESOLVE(member, symbol)                                                          \
    member = reinterpret_cast<decltype(member)>(m_library->resolve(symbol))
    // Every function is optional: a missing one resolves to null and its calls are skipped.
    TAVIO_LOG_RESOLVE(m_createA, "log_createA");
    TAVIO_LOG_RESOLVE(m_createW, "log_createW");
    TAVIO_LOG_RESOLVE(m_logTextA, "log_logTextA");
    TAVIO_LOG_RESOLVE(m_logTextW, "log_logTextW");
    TAVIO_LOG_RESOLVE(m_logBinary, "log_logBinary");
    TAVIO_LOG_RESOLVE(m_close, "log_close");
    TAVIO_LOG_RESOLVE(m_isOpen, "log_isOpen");
    TAVIO_LOG_RESOLVE(m_setLevel, "log_setLevel");
    TAVIO_LOG_RESOLVE(m_setMaximumSize, "log_setMaximumSize");
#undef TAVIO_LOG_RESOLVE

    if (m_createA != nullptr)
        m_handle = m_createA(nullptr, nullptr, 0, level);
    if (m_handle != nullptr && m_setLevel != nullptr)
        m_setLevel(m_handle, level);
}

Log::~Log()
{
    if (m_handle != nullptr && m_close != nullptr)
        m_close(m_handle);
    if (m_library)
        LibraryUsers::instance().unload(*m_library);
}

bool Log::isLoaded() const { return m_library && m_library->isLoaded(); }

void Log::logText(const QString& text, int level)
{
    if (m_handle == nullptr || m_logTextA == nullptr)
        return;
    const QByteArray latin1 = text.toLatin1();
    m_logTextA(m_handle, latin1.constData(), level);
}

void Log::logBinary(const QByteArray& data, int level)
{
    if (m_handle == nullptr || m_logBinary == nullptr)
        return;
    const auto size
        = static_cast<int>(std::min<qsizetype>(data.size(), std::numeric_limits<int>::max()));
    m_logBinary(m_handle, data.constData(), size, level);
}

} // namespace Taviosystem
