// Tests of the logging library (libtaviolog.so), loaded at run time with every function looked
// up by name, the way the system uses it.
#include "log_test_support.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <dlfcn.h>
#include <thread>
#include <vector>

using namespace LogTestSupport;

namespace {

struct LoggerApi
{
    void* (*createA)(const char*, const char*, int, int) = nullptr;
    void* (*createW)(const char16_t*, const char16_t*, int, int) = nullptr;
    void (*logTextA)(void*, const char*, int) = nullptr;
    void (*logTextW)(void*, const char16_t*, int) = nullptr;
    void (*logBinary)(void*, const void*, int, int) = nullptr;
    void (*close)(void*) = nullptr;
    int (*isOpen)(void*) = nullptr;
    void (*setLevel)(void*, int) = nullptr;
    void (*setMaximumSize)(void*, int) = nullptr;

    bool complete() const
    {
        return createA && createW && logTextA && logTextW && logBinary && close && isOpen
            && setLevel && setMaximumSize;
    }
};

template <typename Function>
void resolveInto(void* library, const char* name, Function& function)
{
    function = reinterpret_cast<Function>(dlsym(library, name));
}

// Opened with the system loader directly and never closed, so that it stays loaded whatever the
// Log objects in other tests load and unload through QLibrary.
const LoggerApi& api()
{
    static const LoggerApi loaded = [] {
        LoggerApi result;
        void* library = dlopen(TAVIOLOG_PATH, RTLD_NOW);
        if (library == nullptr)
            return result;
        resolveInto(library, "log_createA", result.createA);
        resolveInto(library, "log_createW", result.createW);
        resolveInto(library, "log_logTextA", result.logTextA);
        resolveInto(library, "log_logTextW", result.logTextW);
        resolveInto(library, "log_logBinary", result.logBinary);
        resolveInto(library, "log_close", result.close);
        resolveInto(library, "log_isOpen", result.isOpen);
        resolveInto(library, "log_setLevel", result.setLevel);
        resolveInto(library, "log_setMaximumSize", result.setMaximumSize);
        return result;
    }();
    return loaded;
}

class TaviologStub : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        ASSERT_TRUE(api().complete()) << "cannot load " << TAVIOLOG_PATH;
    }

    void TearDown() override
    {
        for (void* handle : m_handles)
            api().close(handle);
    }

    QString path(const QString& name) const { return m_dir.filePath(name); }
    QByteArray folder() const { return QFile::encodeName(m_dir.path()); }

    // Opens <temporary folder>/<name>; the handle is closed after the test.
    void* open(const char* name, int level)
    {
        void* handle = api().createA(name, folder().constData(), 0, level);
        if (handle != nullptr)
            m_handles.push_back(handle);
        return handle;
    }

    void closeNow(void* handle)
    {
        api().close(handle);
        m_handles.erase(std::remove(m_handles.begin(), m_handles.end(), handle), m_handles.end());
    }

    QTemporaryDir m_dir;
    std::vector<void*> m_handles;
};

TEST_F(TaviologStub, WritesTimestampedLinesAtOrBelowTheLevel)
{
    void* log = open("levels.log", 2);
    ASSERT_NE(log, nullptr);
    EXPECT_EQ(api().isOpen(log), 1);

    api().logTextA(log, "level one", 1);
    api().logTextA(log, "level two", 2);
    api().logTextA(log, "level three", 3);
    api().logTextA(log, "level zero", 0);

    const QList<QByteArray> lines = readLines(path(QStringLiteral("levels.log")));
    ASSERT_EQ(lines.size(), 3);
    int level = -1;
    EXPECT_EQ(textOf(lines[0], &level), "level one");
    EXPECT_EQ(level, 1);
    EXPECT_EQ(textOf(lines[1], &level), "level two");
    EXPECT_EQ(level, 2);
    EXPECT_EQ(textOf(lines[2], &level), "level zero");
    EXPECT_EQ(level, 0);
}

TEST_F(TaviologStub, SetLevelChangesWhatIsWritten)
{
    void* log = open("setlevel.log", 1);
    ASSERT_NE(log, nullptr);
    api().logTextA(log, "hidden", 3);
    api().setLevel(log, 3);
    api().logTextA(log, "shown", 3);
    api().setLevel(log, 0);
    api().logTextA(log, "hidden again", 1);

    EXPECT_EQ(textsOf(path(QStringLiteral("setlevel.log"))), QList<QByteArray> { "shown" });
}

TEST_F(TaviologStub, AppendsToAnExistingFile)
{
    void* first = open("append.log", 5);
    ASSERT_NE(first, nullptr);
    api().logTextA(first, "first", 1);
    closeNow(first);

    void* second = open("append.log", 5);
    ASSERT_NE(second, nullptr);
    api().logTextA(second, "second", 1);

    EXPECT_EQ(
        textsOf(path(QStringLiteral("append.log"))), (QList<QByteArray> { "first", "second" }));
}

TEST_F(TaviologStub, BinaryDumpHasSixteenBytesALine)
{
    void* log = open("binary.log", 2);
    ASSERT_NE(log, nullptr);

    const QByteArray data = QByteArray("0123456789ABCDEF") + QByteArray::fromHex("0001FF41");
    api().logBinary(log, data.constData(), static_cast<int>(data.size()), 2);
    api().logBinary(log, data.constData(), static_cast<int>(data.size()), 3); // above the level
    api().logBinary(log, nullptr, 4, 1);
    api().logBinary(log, data.constData(), 0, 1);
    api().logBinary(log, data.constData(), -5, 1);

    const QList<QByteArray> texts = textsOf(path(QStringLiteral("binary.log")));
    ASSERT_EQ(texts.size(), 2);
    EXPECT_EQ(
        texts[0], "00000000  30 31 32 33 34 35 36 37 38 39 41 42 43 44 45 46  0123456789ABCDEF");
    EXPECT_EQ(texts[1], "00000010  00 01 FF 41                                      ...A");
}

TEST_F(TaviologStub, BinaryDumpOfExactlySixteenBytesIsOneLine)
{
    void* log = open("sixteen.log", 0);
    ASSERT_NE(log, nullptr);
    const QByteArray data(16, 'z');
    api().logBinary(log, data.constData(), static_cast<int>(data.size()), 0);
    const QList<QByteArray> texts = textsOf(path(QStringLiteral("sixteen.log")));
    ASSERT_EQ(texts.size(), 1);
    EXPECT_TRUE(texts[0].startsWith("00000000  7A 7A"));
    EXPECT_TRUE(texts[0].endsWith("7A  zzzzzzzzzzzzzzzz"));
}

TEST_F(TaviologStub, NullFolderUsesTaviologDir)
{
    const QString folder = m_dir.filePath(QStringLiteral("from-env/nested"));
    EnvironmentGuard dir("TAVIOLOG_DIR", QFile::encodeName(folder));
    EnvironmentGuard appData("TAVIOSYSTEM_APPDATA", QFile::encodeName(path("ignored")));

    void* log = api().createA(nullptr, nullptr, 0, 2);
    ASSERT_NE(log, nullptr);
    api().logTextA(log, "into TAVIOLOG_DIR", 2);
    api().close(log);

    EXPECT_EQ(textsOf(folder + QStringLiteral("/taviosystem.log")),
        QList<QByteArray> { "into TAVIOLOG_DIR" });
    EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("ignored"))));
}

TEST_F(TaviologStub, NullFolderFallsBackToApplicationData)
{
    EnvironmentGuard dir("TAVIOLOG_DIR");
    dir.unset();
    EnvironmentGuard appData("TAVIOSYSTEM_APPDATA", folder());

    void* log = api().createA("app.log", nullptr, 0, 2);
    ASSERT_NE(log, nullptr);
    api().logTextA(log, "into application data", 1);
    api().close(log);

    EXPECT_EQ(textsOf(path(QStringLiteral("Corvellan/TavioSystem/Logs/app.log"))),
        QList<QByteArray> { "into application data" });
}

TEST_F(TaviologStub, NullFolderWithoutEnvironmentUsesTmpTaviolog)
{
    EnvironmentGuard dir("TAVIOLOG_DIR");
    dir.unset();
    EnvironmentGuard appData("TAVIOSYSTEM_APPDATA");
    appData.unset();

    const QByteArray name
        = "log_tests_" + QByteArray::number(QCoreApplication::applicationPid()) + ".log";
    const QString file = QStringLiteral("/tmp/taviolog/") + QString::fromLatin1(name);
    void* log = api().createA(name.constData(), nullptr, 0, 2);
    ASSERT_NE(log, nullptr);
    api().logTextA(log, "into /tmp/taviolog", 1);
    api().close(log);

    const QList<QByteArray> texts = textsOf(file);
    QFile::remove(file);
    EXPECT_EQ(texts, QList<QByteArray> { "into /tmp/taviolog" });
}

TEST_F(TaviologStub, CreateFailsWhenTheFolderCannotBeMade)
{
    QFile blocker(path(QStringLiteral("not-a-folder")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QByteArray folder = QFile::encodeName(blocker.fileName() + QStringLiteral("/sub"));
    EXPECT_EQ(api().createA("x.log", folder.constData(), 0, 1), nullptr);
}

TEST_F(TaviologStub, RotatesWhenTheFileWouldGrowPastTheMaximumSize)
{
    void* log = open("rotate.log", 5);
    ASSERT_NE(log, nullptr);
    constexpr int kMaximum = 300;
    api().setMaximumSize(log, kMaximum);

    // Each line is 23 (time) + 5 (level) + 20 (text) + 1 = 49 bytes: several rotations happen.
    constexpr int kLineLength = 49;
    constexpr int kLines = 30;
    for (int i = 0; i < kLines; ++i) {
        const QByteArray text
            = QByteArray("message number ") + QByteArray::number(i).rightJustified(5, '0');
        api().logTextA(log, text.constData(), 1);
    }

    const QString current = path(QStringLiteral("rotate.log"));
    const QString previous = path(QStringLiteral("rotate.log.1"));
    EXPECT_LE(QFileInfo(current).size(), kMaximum);
    EXPECT_LE(QFileInfo(previous).size(), kMaximum);
    EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("rotate.log.2"))));

    const QList<QByteArray> newer = textsOf(current);
    const QList<QByteArray> older = textsOf(previous);
    ASSERT_FALSE(newer.isEmpty());
    ASSERT_EQ(older.size(), kMaximum / kLineLength); // a full file: older ones were replaced
    EXPECT_EQ(newer.last(), "message number 00029");
    // The two files hold consecutive messages.
    const int lastOlder = older.last().right(5).toInt();
    const int firstNewer = newer.first().right(5).toInt();
    EXPECT_EQ(lastOlder + 1, firstNewer);
    EXPECT_EQ(firstNewer + newer.size(), kLines);
}

TEST_F(TaviologStub, WideFunctionsWriteUtf8)
{
    const QString folderText = m_dir.path();
    void* log
        = api().createW(u"wide.log", reinterpret_cast<const char16_t*>(folderText.utf16()), 0, 4);
    ASSERT_NE(log, nullptr);
    m_handles.push_back(log);
    api().logTextW(log, u"gr\u00fc\u00dfe \u20ac \U0001F600", 4);
    api().logTextW(log, u"too detailed", 5);
    api().logTextW(log, nullptr, 1);

    const QList<QByteArray> texts = textsOf(path(QStringLiteral("wide.log")));
    ASSERT_EQ(texts.size(), 1);
    EXPECT_EQ(
        QString::fromUtf8(texts[0]), QString::fromUtf16(u"gr\u00fc\u00dfe \u20ac \U0001F600"));
}

TEST_F(TaviologStub, NullAndUnknownHandlesAreIgnored)
{
    int notAHandle = 0;
    const char bytes[4] = { 1, 2, 3, 4 };
    for (void* handle : { static_cast<void*>(nullptr), static_cast<void*>(&notAHandle) }) {
        EXPECT_EQ(api().isOpen(handle), 0);
        api().logTextA(handle, "text", 0);
        api().logTextW(handle, u"text", 0);
        api().logBinary(handle, bytes, 4, 0);
        api().setLevel(handle, 3);
        api().setMaximumSize(handle, 10);
        api().close(handle);
    }
    EXPECT_EQ(notAHandle, 0);

    void* log = open("nulltext.log", 5);
    ASSERT_NE(log, nullptr);
    api().logTextA(log, nullptr, 1);
    api().logTextW(log, nullptr, 1);
    EXPECT_TRUE(readLines(path(QStringLiteral("nulltext.log"))).isEmpty());
}

TEST_F(TaviologStub, ClosedHandlesAreIgnored)
{
    void* log = open("closed.log", 5);
    ASSERT_NE(log, nullptr);
    api().logTextA(log, "before", 1);
    closeNow(log);

    EXPECT_EQ(api().isOpen(log), 0);
    api().logTextA(log, "after", 1);
    api().setLevel(log, 1);
    api().close(log);

    EXPECT_EQ(textsOf(path(QStringLiteral("closed.log"))), QList<QByteArray> { "before" });
}

TEST_F(TaviologStub, ConcurrentWritesKeepLinesWhole)
{
    void* log = open("threads.log", 5);
    ASSERT_NE(log, nullptr);
    constexpr int kThreads = 4;
    constexpr int kLinesEach = 100;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([log, t] {
            const QByteArray text = QByteArray("thread ") + QByteArray::number(t) + " "
                + QByteArray(40, static_cast<char>('a' + t));
            for (int i = 0; i < kLinesEach; ++i)
                api().logTextA(log, text.constData(), 1);
        });
    }
    for (std::thread& thread : threads)
        thread.join();

    const QList<QByteArray> texts = textsOf(path(QStringLiteral("threads.log")));
    ASSERT_EQ(texts.size(), kThreads * kLinesEach);
    for (const QByteArray& text : texts) {
        ASSERT_EQ(text.size(), 49);
        const char fill = text.back();
        EXPECT_EQ(text,
            QByteArray("thread ") + QByteArray::number(fill - 'a') + " " + QByteArray(40, fill));
    }
}

} // namespace
