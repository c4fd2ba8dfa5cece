// The classroomserver program: its help, and a run as a child process reached through its proxy.

#include "httpclient.h"

#include <QtCore/QProcess>
#include <QtCore/QRegularExpression>

#include <gtest/gtest.h>

using namespace ClassroomServerTest;

namespace {

TEST(ClassroomServerProgram, HelpNamesItsOptions)
{
    QProcess program;
    program.start(QStringLiteral(CLASSROOMSERVER_PATH), { QStringLiteral("--help") });
    ASSERT_TRUE(program.waitForFinished(20000));
    EXPECT_EQ(program.exitCode(), 0);
    const QString help = QString::fromUtf8(program.readAllStandardOutput());
    for (const char* option : { "--port", "--proxy-port", "--learners", "--silent", "--pins",
             "--outage-at", "--run-for" })
        EXPECT_TRUE(help.contains(QLatin1String(option))) << option;
}

TEST(ClassroomServerProgram, RunsAsAChildProcessBehindItsProxy)
{
    QProcess program;
    program.start(QStringLiteral(CLASSROOMSERVER_PATH),
        { QStringLiteral("--proxy-port"), QStringLiteral("0"), QStringLiteral("--server-id"),
            QStringLiteral("child-1"), QStringLiteral("--run-for"), QStringLiteral("30000") });
    ASSERT_TRUE(program.waitForStarted(10000));
    QString output;
    const QRegularExpression proxyLine(QStringLiteral("proxy on http://127\\.0\\.0\\.1:(\\d+)"));
    QRegularExpressionMatch match;
    while (!(match = proxyLine.match(output)).hasMatch() && program.waitForReadyRead(20000))
        output += QString::fromUtf8(program.readAllStandardOutput());
    ASSERT_TRUE(match.hasMatch()) << qPrintable(output);
    EXPECT_TRUE(output.contains(QLatin1String("listening on http://127.0.0.1:")));

    HttpClient client;
    ASSERT_TRUE(client.connectTo(quint16(match.captured(1).toUInt())));
    const HttpResult reply = client.post(call(hubMethod("getServerID"), { { "id", 0 } }));
    EXPECT_EQ(reply.json().value("result").toString(), QStringLiteral("child-1"));

    program.terminate();
    EXPECT_TRUE(program.waitForFinished(10000));
}

} // namespace
