// Tests of the logging library (libtaviolog.so) through its C interface, and of
// Taviosystem::Log over it and over libraries that lack it or parts of it.
#include "system/log.h"
#include "taviolog.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <optional>
#include <thread>
#include <vector>

using Taviosystem::Log;

namespace {

// Sets an environment variable (or clears it, given no value) until the end of the scope.
class EnvironmentGuard
{
public:
    EnvironmentGuard(const char* name, const std::optional<QByteArray>& value)
        : m_name(name)
    {
        if (qEnvironmentVariableIsSet(name))
            m_previous = qgetenv(name);
        value ? qputenv(name, *value) : qunsetenv(name);
    }
    ~EnvironmentGuard() { m_previous ? qputenv(m_name, *m_previous) : qunsetenv(m_name); }

private:
    const char* m_name;
    std::optional<QByteArray> m_previous;
};

// The lines of a log file without their "YYYY-MM-DD hh:mm:ss.zzz " timestamps, so "[level] text";
// a line without a timestamp fails the test. A missing file has no lines.
QList<QByteArray> textsOf(const QString& path)
{
    static const QRegularExpression stamp(
        QStringLiteral(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} (?=\[-?\d+\] ))"));
    QFile file(path);
    QByteArray content = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    if (content.endsWith('\n'))
        content.chop(1);
    QList<QByteArray> texts;
    for (const QByteArray& line : content.isEmpty() ? QList<QByteArray>() : content.split('\n')) {
        const auto match = stamp.match(QString::fromLatin1(line));
        EXPECT_TRUE(match.hasMatch()) << "malformed log line: " << line.constData();
        texts << line.mid(match.capturedLength());
    }
    return texts;
}

class TaviologStub : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }
    void TearDown() override
    {
        for (void* handle : m_handles)
            log_close(handle); // closing twice is harmless
    }

    QString path(const char* name) const { return m_dir.filePath(QLatin1String(name)); }

    // Opens <temporary folder>/<name>; the handle is closed after the test.
    void* open(const char* name, int level)
    {
        void* handle = log_createA(name, QFile::encodeName(m_dir.path()).constData(), 0, level);
        EXPECT_NE(handle, nullptr) << name;
        m_handles.push_back(handle);
        return handle;
    }

    QTemporaryDir m_dir;
    std::vector<void*> m_handles;
};

TEST_F(TaviologStub, WritesTimestampedLinesUpToTheLevel)
{
    void* log = open("levels.log", 2);
    EXPECT_EQ(log_isOpen(log), 1);
    log_logTextA(log, "level one", 1);
    log_logTextA(log, "level two", 2);
    log_logTextA(log, "level three", 3);
    log_setLevel(log, 3);
    log_logTextA(log, "shown", 3);

    EXPECT_EQ(textsOf(path("levels.log")),
        (QList<QByteArray> { "[1] level one", "[2] level two", "[3] shown" }));
}

TEST_F(TaviologStub, BinaryDumpHasSixteenBytesALine)
{
    void* log = open("binary.log", 2);
    const QByteArray data = QByteArray("0123456789ABCDEF") + QByteArray::fromHex("007FFF41");
    log_logBinary(log, data.constData(), 16, 2); // exactly one line
    log_logBinary(log, data.constData(), int(data.size()), 2);
    log_logBinary(log, data.constData(), int(data.size()), 3); // above the level
    log_logBinary(log, nullptr, 4, 1);
    log_logBinary(log, data.constData(), 0, 1);
    log_logBinary(log, data.constData(), -5, 1);

    const QByteArray full
        = "[2] 00000000  30 31 32 33 34 35 36 37 38 39 41 42 43 44 45 46  0123456789ABCDEF";
    EXPECT_EQ(textsOf(path("binary.log")),
        (QList<QByteArray> {
            full, full, "[2] 00000010  00 7F FF 41                                      ...A" }));
}

TEST_F(TaviologStub, NullFolderComesFromTheEnvironment)
{
    const auto writeDefault = [](const char* fileName, const char* text) {
        void* log = log_createA(fileName, nullptr, 0, 2);
        ASSERT_NE(log, nullptr);
        log_logTextA(log, text, 1);
        log_close(log);
    };
    {
        EnvironmentGuard dir("TAVIOLOG_DIR", QFile::encodeName(path("from-env/nested")));
        EnvironmentGuard appData("TAVIOSYSTEM_APPDATA", QFile::encodeName(path("ignored")));
        writeDefault(nullptr, "log dir");
        EXPECT_EQ(
            textsOf(path("from-env/nested/taviosystem.log")), QList<QByteArray> { "[1] log dir" });
        EXPECT_FALSE(QFileInfo::exists(path("ignored")));
    }
    EnvironmentGuard dir("TAVIOLOG_DIR", std::nullopt);
    {
        EnvironmentGuard appData("TAVIOSYSTEM_APPDATA", QFile::encodeName(m_dir.path()));
        writeDefault("app.log", "app data");
        EXPECT_EQ(textsOf(path("Corvellan/TavioSystem/Logs/app.log")),
            QList<QByteArray> { "[1] app data" });
    }
    EnvironmentGuard appData("TAVIOSYSTEM_APPDATA", std::nullopt);
    const QByteArray name
        = "log_tests_" + QByteArray::number(QCoreApplication::applicationPid()) + ".log";
    writeDefault(name.constData(), "tmp");
    const QString file = QStringLiteral("/tmp/taviolog/") + QString::fromLatin1(name);
    EXPECT_EQ(textsOf(file), QList<QByteArray> { "[1] tmp" });
    QFile::remove(file);

    // A folder that cannot be made: no handle.
    QFile blocker(path("not-a-folder"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    EXPECT_EQ(log_createA("x.log", QFile::encodeName(path("not-a-folder/sub")).constData(), 0, 1),
        nullptr);
}

TEST_F(TaviologStub, RotatesBeforeTheFileGrowsPastTheMaximumSize)
{
    void* log = open("rotate.log", 5);
    log_setMaximumSize(log, 300);
    // Each line is 23 (time) + 5 (level) + 20 (text) + 1 = 49 bytes: six fit in 300.
    for (int i = 0; i < 30; ++i) {
        const QByteArray text = "message number " + QByteArray::number(i).rightJustified(5, '0');
        log_logTextA(log, text.constData(), 1);
    }
    const QList<QByteArray> newer = textsOf(path("rotate.log"));
    const QList<QByteArray> older = textsOf(path("rotate.log.1"));
    EXPECT_LE(QFileInfo(path("rotate.log")).size(), 300);
    EXPECT_FALSE(QFileInfo::exists(path("rotate.log.2")));
    ASSERT_EQ(older.size(), 6);
    ASSERT_FALSE(newer.isEmpty());
    // The two files hold the last messages, consecutive.
    EXPECT_EQ(newer.last(), "[1] message number 00029");
    EXPECT_EQ(older.last().right(5).toInt() + 1, newer.first().right(5).toInt());
    EXPECT_EQ(older.size() + newer.size(), 30 - older.first().right(5).toInt());
}

TEST_F(TaviologStub, NullUnknownAndClosedHandlesAreIgnored)
{
    int notAHandle = 0;
    void* log = open("handles.log", 5);
    log_logTextA(log, "before", 1);
    log_close(log);
    const char bytes[4] = { 1, 2, 3, 4 };
    for (void* handle : { static_cast<void*>(nullptr), static_cast<void*>(&notAHandle), log }) {
        EXPECT_EQ(log_isOpen(handle), 0);
        log_logTextA(handle, "text", 0);
        log_logTextW(handle, u"text", 0);
        log_logBinary(handle, bytes, 4, 0);
        log_setLevel(handle, 3);
        log_setMaximumSize(handle, 10);
        log_close(handle);
    }
    EXPECT_EQ(notAHandle, 0);

    // Opening the file again appends; null texts are ignored; wide texts are written as UTF-8.
    void* again = open("handles.log", 5);
    log_logTextA(again, nullptr, 1);
    log_logTextW(again, nullptr, 1);
    log_logTextW(again, u"\u00fc\u20ac\U0001F600", 1);
    EXPECT_EQ(textsOf(path("handles.log")),
        (QList<QByteArray> { "[1] before", "[1] \xC3\xBC\xE2\x82\xAC\xF0\x9F\x98\x80" }));
}

TEST_F(TaviologStub, ConcurrentWritesKeepLinesWhole)
{
    void* log = open("threads.log", 5);
    std::vector<std::thread> threads;
    for (char fill = 'a'; fill < 'e'; ++fill) {
        threads.emplace_back([log, fill] {
            const QByteArray text(60, fill);
            for (int i = 0; i < 100; ++i)
                log_logTextA(log, text.constData(), 1);
        });
    }
    for (std::thread& thread : threads)
        thread.join();

    const QList<QByteArray> texts = textsOf(path("threads.log"));
    ASSERT_EQ(texts.size(), 400);
    for (const QByteArray& text : texts)
        ASSERT_EQ(text, "[1] " + QByteArray(60, text.back()));
}

// --- Taviosystem::Log ---

class LogObject : public TaviologStub
{
protected:
    QList<QByteArray> written() const { return textsOf(path("taviosystem.log")); }
    // Log() opens the default file in the default folder, which TAVIOLOG_DIR points here.
    EnvironmentGuard m_logDir { "TAVIOLOG_DIR", QFile::encodeName(m_dir.path()) };
};

TEST_F(LogObject, MissingLibraryDoesNothing)
{
    for (const QString& name : { QStringLiteral("taviolog_library_that_does_not_exist"),
             m_dir.filePath(QStringLiteral("libabsent.so")), QString() }) {
        Log log(2, name);
        EXPECT_FALSE(log.isLoaded()) << name.toStdString();
        log.logText(QStringLiteral("nowhere"), 1);
        log.logBinary(QByteArray("\x01\x02", 2), 1);
    }
    EXPECT_TRUE(written().isEmpty());
}

TEST_F(LogObject, WritesUpToItsLevelInLatin1)
{
    {
        Log log(2, QStringLiteral(TAVIOLOG_PATH));
        ASSERT_TRUE(log.isLoaded());
        log.logText(QString::fromUtf16(u"caf\u00e9 \u00ff \u0100 \u20ac \u4e2d!"), 2);
        log.logText(QStringLiteral("at level three"), 3);
        log.logBinary(QByteArray::fromHex("48690A"), 1);
        log.logBinary(QByteArray::fromHex("FFFF"), 3);
    }
    EXPECT_EQ(written(),
        (QList<QByteArray> { "[2] caf\xe9 \xff ? ? ?!",
            "[1] 00000000  48 69 0A                                         Hi." }));
}

TEST_F(LogObject, ClosingOneLogLeavesAnotherOnTheSameLibraryWorking)
{
    {
        Log first(2, QStringLiteral(TAVIOLOG_PATH));
        {
            Log second(2, QStringLiteral(TAVIOLOG_PATH));
            second.logText(QStringLiteral("from the second"), 1);
        }
        EXPECT_TRUE(first.isLoaded());
        first.logText(QStringLiteral("from the first"), 1);
    }
    EXPECT_EQ(written(), (QList<QByteArray> { "[1] from the second", "[1] from the first" }));
}

TEST_F(LogObject, SkipsWhatTheLibraryLacks)
{
    // Opened with the system loader and never closed, so that what it counted survives the Log
    // objects that load and unload it.
    static void* const library = dlopen(TAVIO_PARTIAL_LOGGER_PATH, RTLD_NOW);
    ASSERT_NE(library, nullptr) << TAVIO_PARTIAL_LOGGER_PATH;
    const auto take = reinterpret_cast<int (*)(const char**)>(dlsym(library, "partial_take"));
    ASSERT_NE(take, nullptr);
    const char* lastText = nullptr;
    take(&lastText);
    {
        Log log(2, QStringLiteral(TAVIO_PARTIAL_LOGGER_PATH));
        ASSERT_TRUE(log.isLoaded());
        log.logText(QStringLiteral("partial"), 1);
        log.logBinary(QByteArray("no dump function"), 1);
    } // no close function either
    EXPECT_EQ(take(&lastText), 1);
    EXPECT_STREQ(lastText, "partial");
    {
        Log log(99, QStringLiteral(TAVIO_PARTIAL_LOGGER_PATH)); // no handle at level 99
        log.logText(QStringLiteral("dropped"), 1);
    }
    EXPECT_EQ(take(&lastText), 0);
}

TEST_F(LogObject, FindsTheLibraryNextToThisModule)
{
    // This code is built into the test executable, so a library beside the executable must be
    // found by its bare name although the system loader does not search there.
    const QString folder = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath();
    const QString baseName
        = QStringLiteral("taviolog_search_%1").arg(QCoreApplication::applicationPid());
    const QString copy = folder + QStringLiteral("/lib%1.so").arg(baseName);
    QFile::remove(copy);
    if (folder.isEmpty() || !QFile::copy(QStringLiteral(TAVIOLOG_PATH), copy))
        GTEST_SKIP() << "cannot write next to the test executable";
    {
        Log log(2, baseName);
        EXPECT_TRUE(log.isLoaded());
        log.logText(QStringLiteral("found"), 2);
    }
    QFile::remove(copy);
    EXPECT_EQ(written(), QList<QByteArray> { "[2] found" });
}

} // namespace
