// Helpers shared by the logging tests.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QRegularExpression>
#include <QString>
#include <QtGlobal>

#include <gtest/gtest.h>

namespace LogTestSupport {

// Sets or clears an environment variable for the lifetime of the object, then restores it.
class EnvironmentGuard
{
public:
    explicit EnvironmentGuard(const char* name)
        : m_name(name)
        , m_wasSet(qEnvironmentVariableIsSet(name))
        , m_previous(qgetenv(name))
    {
    }

    EnvironmentGuard(const char* name, const QByteArray& value)
        : EnvironmentGuard(name)
    {
        qputenv(m_name, value);
    }

    ~EnvironmentGuard()
    {
        if (m_wasSet)
            qputenv(m_name, m_previous);
        else
            qunsetenv(m_name);
    }

    EnvironmentGuard(const EnvironmentGuard&) = delete;
    EnvironmentGuard& operator=(const EnvironmentGuard&) = delete;

    void unset() { qunsetenv(m_name); }

private:
    const char* m_name;
    bool m_wasSet;
    QByteArray m_previous;
};

inline QByteArray readAll(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

// The file's lines without their line ends (none for a missing file).
inline QList<QByteArray> readLines(const QString& path)
{
    QByteArray content = readAll(path);
    if (content.endsWith('\n'))
        content.chop(1);
    if (content.isEmpty())
        return {};
    return content.split('\n');
}

// "YYYY-MM-DD hh:mm:ss.zzz [level] " followed by the text.
inline const QRegularExpression& linePattern()
{
    static const QRegularExpression pattern(
        QStringLiteral(R"(^\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{3} \[(-?\d+)\] (.*)$)"),
        QRegularExpression::DotMatchesEverythingOption);
    return pattern;
}

// The text of a log line after its timestamp and level; fails the test on a malformed line.
inline QByteArray textOf(const QByteArray& line, int* level = nullptr)
{
    const auto match = linePattern().match(QString::fromLatin1(line));
    EXPECT_TRUE(match.hasMatch()) << "malformed log line: " << line.constData();
    if (!match.hasMatch())
        return {};
    if (level != nullptr)
        *level = match.captured(1).toInt();
    return match.captured(2).toLatin1();
}

// The texts of all lines of a log file.
inline QList<QByteArray> textsOf(const QString& path)
{
    QList<QByteArray> texts;
    for (const QByteArray& line : readLines(path))
        texts << textOf(line);
    return texts;
}

} // namespace LogTestSupport
