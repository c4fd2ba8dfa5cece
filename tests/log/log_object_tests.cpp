// Tests of Taviosystem::Log over the logging library and over libraries that lack it or parts
// of it.
#include "log_test_support.h"

#include "system/log.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLibrary>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <dlfcn.h>
#include <thread>
#include <vector>

using namespace LogTestSupport;
using Taviosystem::Log;

namespace {

class LogObject : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

    QString logFile() const { return m_dir.filePath(QStringLiteral("taviosystem.log")); }

    QTemporaryDir m_dir;
    // Log() opens the default file in the default folder, which TAVIOLOG_DIR points here.
    EnvironmentGuard m_logDir { "TAVIOLOG_DIR", QFile::encodeName(m_dir.path()) };
};

// Access to what the partial logger recorded.
struct PartialLoggerCalls
{
    int textCalls = 0;
    int lastLevel = -1;
    QByteArray lastText;
};

PartialLoggerCalls takePartialLoggerCalls()
{
    // Opened with the system loader directly and never closed, so that what it recorded survives
    // the Log objects that load and unload it through QLibrary.
    static void* const library = dlopen(TAVIO_PARTIAL_LOGGER_PATH, RTLD_NOW);
    using TakeFunction = int (*)(char*, int, int*);
    const auto take = library == nullptr
        ? nullptr
        : reinterpret_cast<TakeFunction>(dlsym(library, "partial_takeTextCalls"));
    PartialLoggerCalls calls;
    if (take == nullptr) {
        ADD_FAILURE() << "cannot load " << TAVIO_PARTIAL_LOGGER_PATH;
        return calls;
    }
    char text[256];
    calls.textCalls = take(text, sizeof text, &calls.lastLevel);
    calls.lastText = text;
    return calls;
}

TEST_F(LogObject, MissingLibraryDoesNothing)
{
    {
        Log log(2, QStringLiteral("taviolog_library_that_does_not_exist"));
        EXPECT_FALSE(log.isLoaded());
        log.logText(QStringLiteral("nowhere"), 1);
        log.logBinary(QByteArray("\x01\x02", 2), 1);
    }
    {
        Log log(2, m_dir.filePath(QStringLiteral("libabsent.so")));
        EXPECT_FALSE(log.isLoaded());
        log.logText(QStringLiteral("nowhere"), 1);
    }
    {
        Log log(2, QString());
        EXPECT_FALSE(log.isLoaded());
        log.logText(QStringLiteral("nowhere"), 1);
    }
    EXPECT_FALSE(QFileInfo::exists(logFile()));
}

TEST_F(LogObject, WritesThroughTheLibraryUpToItsLevel)
{
    {
        Log log(2, QStringLiteral(TAVIOLOG_PATH));
        ASSERT_TRUE(log.isLoaded());
        log.logText(QStringLiteral("at level two"), 2);
        log.logText(QStringLiteral("at level three"), 3);
        log.logText(QStringLiteral("at level one"), 1);
    }
    const QList<QByteArray> lines = readLines(logFile());
    ASSERT_EQ(lines.size(), 2);
    int level = -1;
    EXPECT_EQ(textOf(lines[0], &level), "at level two");
    EXPECT_EQ(level, 2);
    EXPECT_EQ(textOf(lines[1], &level), "at level one");
    EXPECT_EQ(level, 1);
}

TEST_F(LogObject, ConvertsTextToLatin1)
{
    {
        Log log(2, QStringLiteral(TAVIOLOG_PATH));
        ASSERT_TRUE(log.isLoaded());
        log.logText(QString::fromUtf16(u"caf\u00e9 \u00ff \u0100 \u20ac \u4e2d!"), 1);
    }
    const QList<QByteArray> texts = textsOf(logFile());
    ASSERT_EQ(texts.size(), 1);
    EXPECT_EQ(texts[0], QByteArray("caf\xe9 \xff ? ? ?!"));
}

TEST_F(LogObject, WritesBinaryDumps)
{
    {
        Log log(2, QStringLiteral(TAVIOLOG_PATH));
        ASSERT_TRUE(log.isLoaded());
        log.logBinary(QByteArray::fromHex("48690A"), 2);
        log.logBinary(QByteArray::fromHex("FFFF"), 3);
        log.logBinary(QByteArray(), 1);
    }
    const QList<QByteArray> texts = textsOf(logFile());
    ASSERT_EQ(texts.size(), 1);
    EXPECT_EQ(texts[0], "00000000  48 69 0A                                         Hi.");
}

TEST_F(LogObject, ClosingOneLogLeavesAnotherOnTheSameLibraryWorking)
{
    {
        Log first(2, QStringLiteral(TAVIOLOG_PATH));
        ASSERT_TRUE(first.isLoaded());
        {
            Log second(2, QStringLiteral(TAVIOLOG_PATH));
            ASSERT_TRUE(second.isLoaded());
            second.logText(QStringLiteral("from the second"), 1);
        }
        EXPECT_TRUE(first.isLoaded());
        first.logText(QStringLiteral("from the first"), 1);
    }
    EXPECT_EQ(textsOf(logFile()), (QList<QByteArray> { "from the second", "from the first" }));
}

TEST_F(LogObject, SkipsFunctionsTheLibraryLacks)
{
    takePartialLoggerCalls();
    {
        Log log(2, QStringLiteral(TAVIO_PARTIAL_LOGGER_PATH));
        ASSERT_TRUE(log.isLoaded());
        log.logText(QStringLiteral("partial"), 1);
        log.logBinary(QByteArray("no dump function"), 1);
    } // no close function either
    const PartialLoggerCalls calls = takePartialLoggerCalls();
    EXPECT_EQ(calls.textCalls, 1);
    EXPECT_EQ(calls.lastText, "partial");
    EXPECT_EQ(calls.lastLevel, 2);
}

TEST_F(LogObject, SkipsCallsWhenTheLibraryGivesNoHandle)
{
    takePartialLoggerCalls();
    {
        Log log(99, QStringLiteral(TAVIO_PARTIAL_LOGGER_PATH)); // the partial logger fails at 99
        ASSERT_TRUE(log.isLoaded());
        log.logText(QStringLiteral("dropped"), 1);
    }
    const PartialLoggerCalls calls = takePartialLoggerCalls();
    EXPECT_EQ(calls.textCalls, 0);
    EXPECT_EQ(calls.lastLevel, -1);
}

TEST_F(LogObject, FindsTheLibraryNextToThisModule)
{
    // This code is built into the test executable, so a library beside the executable must be
    // found by its bare name although the system loader does not search there.
    const QString executable = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    if (executable.isEmpty())
        GTEST_SKIP() << "cannot find the test executable";
    const QString baseName
        = QStringLiteral("taviolog_search_%1").arg(QCoreApplication::applicationPid());
    const QString copyPath
        = QFileInfo(executable).absolutePath() + QStringLiteral("/lib%1.so").arg(baseName);
    QFile::remove(copyPath);
    if (!QFile::copy(QStringLiteral(TAVIOLOG_PATH), copyPath))
        GTEST_SKIP() << "cannot write next to the test executable";
    {
        Log log(2, baseName);
        EXPECT_TRUE(log.isLoaded());
        log.logText(QStringLiteral("found beside the executable"), 2);
    }
    QFile::remove(copyPath);
    EXPECT_EQ(textsOf(logFile()), QList<QByteArray> { "found beside the executable" });
}

TEST_F(LogObject, SearchesTheApplicationFolderWhenAnApplicationExists)
{
    int argc = 1;
    char name[] = "log_tests";
    char* argv[] = { name, nullptr };
    QCoreApplication application(argc, argv);
    Log log(2, QStringLiteral("taviolog_library_that_does_not_exist"));
    EXPECT_FALSE(log.isLoaded());
    log.logText(QStringLiteral("nowhere"), 1);
}

TEST_F(LogObject, ConcurrentLogTextKeepsEveryLine)
{
    constexpr int kThreads = 4;
    constexpr int kLinesEach = 50;
    {
        Log log(2, QStringLiteral(TAVIOLOG_PATH));
        ASSERT_TRUE(log.isLoaded());
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&log, t] {
                for (int i = 0; i < kLinesEach; ++i)
                    log.logText(QStringLiteral("thread %1 line %2").arg(t).arg(i), 2);
            });
        }
        for (std::thread& thread : threads)
            thread.join();
    }
    const QList<QByteArray> texts = textsOf(logFile());
    ASSERT_EQ(texts.size(), kThreads * kLinesEach);
    for (int t = 0; t < kThreads; ++t) {
        const QByteArray prefix = QByteArray("thread ") + QByteArray::number(t) + " line ";
        EXPECT_EQ(std::count_if(texts.begin(), texts.end(),
                      [&](const QByteArray& text) { return text.startsWith(prefix); }),
            kLinesEach);
    }
}

} // namespace
