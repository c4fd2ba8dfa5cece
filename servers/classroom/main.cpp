// The reference classroom server as a program: listens on 127.0.0.1 (optionally behind the
// loopback proxy) with a seeded class until it is stopped or its run time is over.
#include "classroomserver.h"
#include "loopbackproxy.h"

#include <QtCore/QCommandLineParser>
#include <QtCore/QCoreApplication>
#include <QtCore/QTimer>

#include <cstdio>

namespace {
bool readNumber(const QCommandLineParser& parser, const QCommandLineOption& option, int minimum,
    int maximum, int& value)
{
    bool ok = false;
    value = parser.value(option).toInt(&ok);
    if (ok && value >= minimum && value <= maximum)
        return true;
    std::fprintf(stderr, "classroomserver: bad --%s\n", qPrintable(option.names().constFirst()));
    return false;
}
} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("classroomserver"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Reference classroom server: answers the classroom-server hub's JSON remote calls "
        "(POST /rpc/1.0/json) and its beacon on 127.0.0.1 only, with a seeded class of learners "
        "who join registration sessions, take names and answer questions."));
    parser.addHelpOption();
    const QCommandLineOption portOption(QStringLiteral("port"),
        QStringLiteral("Port to listen on (0: one the system chooses)."), QStringLiteral("port"),
        QStringLiteral("0"));
    const QCommandLineOption proxyOption(QStringLiteral("proxy-port"),
        QStringLiteral("Also start the loopback proxy in front of the server on this port "
                       "(0: one the system chooses; -1: no proxy)."),
        QStringLiteral("port"), QStringLiteral("-1"));
    const QCommandLineOption learnersOption(QStringLiteral("learners"),
        QStringLiteral("Number of learners in the class."), QStringLiteral("count"),
        QStringLiteral("6"));
    const QCommandLineOption silentOption(QStringLiteral("silent"),
        QStringLiteral("How many of the last learners never answer."), QStringLiteral("count"),
        QStringLiteral("0"));
    const QCommandLineOption answerDelayOption(QStringLiteral("answer-delay"),
        QStringLiteral("Milliseconds the first learner takes to answer (others take longer)."),
        QStringLiteral("ms"), QStringLiteral("40"));
    const QCommandLineOption serverIdOption(QStringLiteral("server-id"),
        QStringLiteral("The server identifier."), QStringLiteral("id"),
        QStringLiteral("classroom-server-1"));
    const QCommandLineOption serialOption(QStringLiteral("first-serial"),
        QStringLiteral("The first hub serial handed out."), QStringLiteral("serial"),
        QStringLiteral("1001"));
    const QCommandLineOption pinsOption(QStringLiteral("pins"),
        QStringLiteral("Comma-separated registration PINs to hand out."), QStringLiteral("pins"),
        QStringLiteral("K7Q,M3X,P9D,T4W"));
    const QCommandLineOption outageAtOption(QStringLiteral("outage-at"),
        QStringLiteral("With the proxy: start an outage this many ms after start (0: none)."),
        QStringLiteral("ms"), QStringLiteral("0"));
    const QCommandLineOption outageForOption(QStringLiteral("outage-for"),
        QStringLiteral("With the proxy: how long the outage lasts in ms."), QStringLiteral("ms"),
        QStringLiteral("4000"));
    const QCommandLineOption runOption(QStringLiteral("run-for"),
        QStringLiteral("Stop after this many milliseconds (0: run until interrupted)."),
        QStringLiteral("ms"), QStringLiteral("0"));
    parser.addOptions({ portOption, proxyOption, learnersOption, silentOption, answerDelayOption,
        serverIdOption, serialOption, pinsOption, outageAtOption, outageForOption, runOption });
    parser.process(app);

    int port = 0, proxyPort = 0, learners = 0, silent = 0, answerDelay = 0, serial = 0;
    int outageAt = 0, outageFor = 0, runFor = 0;
    if (!readNumber(parser, portOption, 0, 65535, port)
        || !readNumber(parser, proxyOption, -1, 65535, proxyPort)
        || !readNumber(parser, learnersOption, 0, 1000, learners)
        || !readNumber(parser, silentOption, 0, learners, silent)
        || !readNumber(parser, answerDelayOption, 0, 600000, answerDelay)
        || !readNumber(parser, serialOption, 1, 2147483647, serial)
        || !readNumber(parser, outageAtOption, 0, 86400000, outageAt)
        || !readNumber(parser, outageForOption, 1, 86400000, outageFor)
        || !readNumber(parser, runOption, 0, 86400000, runFor))
        return 2;
    const QStringList pins = parser.value(pinsOption).split(QLatin1Char(','), Qt::SkipEmptyParts);

    ClassroomServer::Server server;
    QList<ClassroomServer::Learner> learnerList = ClassroomServer::Server::defaultClass(learners);
    for (int i = 0; i < learnerList.size(); ++i) {
        learnerList[i].answerDelayMs = answerDelay + 15 * i;
        learnerList[i].silent = i >= learners - silent;
    }
    server.setLearners(learnerList);
    server.setServerId(parser.value(serverIdOption));
    server.setNextSerial(serial);
    if (!pins.isEmpty())
        server.setPinPool(pins);
    if (!server.start(quint16(port))) {
        std::fprintf(stderr, "classroomserver: cannot listen on 127.0.0.1:%d\n", port);
        return 1;
    }
    std::printf("listening on %s\n", qPrintable(server.url()));

    ClassroomServer::LoopbackProxy proxy;
    if (proxyPort >= 0) {
        if (!proxy.start(server.port(), quint16(proxyPort))) {
            std::fprintf(stderr, "classroomserver: cannot listen on 127.0.0.1:%d\n", proxyPort);
            return 1;
        }
        std::printf("proxy on %s\n", qPrintable(proxy.url()));
        if (outageAt > 0)
            QTimer::singleShot(outageAt, &app, [&proxy, outageFor] {
                std::printf("outage for %d ms\n", outageFor);
                std::fflush(stdout);
                proxy.startOutage(outageFor);
            });
    }
    std::fflush(stdout);
    if (runFor > 0)
        QTimer::singleShot(runFor, &app, &QCoreApplication::quit);
    return app.exec();
}
