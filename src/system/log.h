// The library's diagnostic log, written through the external logging library (taviolog).
//
// The logging library is optional: it is loaded at run time, and every call is skipped when the
// library, one of its functions or the log handle is missing, so logging never makes an
// operation fail. All state is set up in the constructor and never changes afterwards, and the
// logging library is itself thread-safe, so logText() and logBinary() may be called from any
// number of threads at once.
#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

QT_BEGIN_NAMESPACE
class QLibrary;
QT_END_NAMESPACE

namespace Taviosystem {

class Log
{
public:
    // Loads the logging library and opens a log that keeps messages up to and including level.
    // A library name that is not absolute is looked up by the system loader first, then next to
    // the running application and then next to the module that contains this code.
    explicit Log(int level, const QString& libraryName = QStringLiteral("taviolog"));
    // Closes the log and unloads the library.
    ~Log();

    Log(const Log&) = delete;
    Log& operator=(const Log&) = delete;

    // True when the logging library was found and loaded.
    bool isLoaded() const;

    // Writes one line. The text is converted to Latin-1; characters above U+00FF become '?'.
    void logText(const QString& text, int level);
    // Writes a hex dump of data.
    void logBinary(const QByteArray& data, int level);

private:
    using CreateAFunction
        = void* (*)(const char* fileName, const char* folder, int flags, int level);
    using CreateWFunction
        = void* (*)(const char16_t* fileName, const char16_t* folder, int flags, int level);
    using LogTextAFunction = void (*)(void* handle, const char* text, int level);
    using LogTextWFunction = void (*)(void* handle, const char16_t* text, int level);
    using LogBinaryFunction = void (*)(void* handle, const void* data, int size, int level);
    using CloseFunction = void (*)(void* handle);
    using IsOpenFunction = int (*)(void* handle);
    using SetLevelFunction = void (*)(void* handle, int level);
    using SetMaximumSizeFunction = void (*)(void* handle, int bytes);

    std::unique_ptr<QLibrary> m_library;

    CreateAFunction m_createA = nullptr;
    CreateWFunction m_createW = nullptr;
    LogTextAFunction m_logTextA = nullptr;
    LogTextWFunction m_logTextW = nullptr;
    LogBinaryFunction m_logBinary = nullptr;
    CloseFunction m_close = nullptr;
    IsOpenFunction m_isOpen = nullptr;
    SetLevelFunction m_setLevel = nullptr;
    SetMaximumSizeFunction m_setMaximumSize = nullptr;

    void* m_handle = nullptr;
};

} // namespace Taviosystem
