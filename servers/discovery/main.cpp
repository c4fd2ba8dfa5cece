// The reference discovery server as a program: listens on 127.0.0.1 and announces itself to
// 127.0.0.1 until it is stopped or its run time is over.
#include "discoveryserver.h"

#include <QtCore/QCommandLineParser>
#include <QtCore/QCoreApplication>
#include <QtCore/QTimer>

#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("discoveryserver"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Reference discovery server: hands out three-character registration PINs over TCP on "
        "127.0.0.1 and announces itself by UDP to 127.0.0.1 only (never broadcast)."));
    parser.addHelpOption();
    const QCommandLineOption portOption(QStringLiteral("port"),
        QStringLiteral("TCP port to listen on (0: one the system chooses)."),
        QStringLiteral("port"), QStringLiteral("0"));
    const QCommandLineOption udpOption(QStringLiteral("announce-port"),
        QStringLiteral("UDP port on 127.0.0.1 to announce to (0: no announcements)."),
        QStringLiteral("port"), QStringLiteral("0"));
    const QCommandLineOption intervalOption(QStringLiteral("interval"),
        QStringLiteral("Milliseconds between announcements."), QStringLiteral("ms"),
        QStringLiteral("1000"));
    const QCommandLineOption runOption(QStringLiteral("run-for"),
        QStringLiteral("Stop after this many milliseconds (0: run until interrupted)."),
        QStringLiteral("ms"), QStringLiteral("0"));
    parser.addOptions({ portOption, udpOption, intervalOption, runOption });
    parser.process(app);

    bool ok = false;
    const uint port = parser.value(portOption).toUInt(&ok);
    if (!ok || port > 65535) {
        std::fprintf(stderr, "discoveryserver: bad --port\n");
        return 2;
    }
    const uint udpPort = parser.value(udpOption).toUInt(&ok);
    if (!ok || udpPort > 65535) {
        std::fprintf(stderr, "discoveryserver: bad --announce-port\n");
        return 2;
    }
    const int interval = parser.value(intervalOption).toInt(&ok);
    if (!ok || interval <= 0) {
        std::fprintf(stderr, "discoveryserver: bad --interval\n");
        return 2;
    }
    const int runFor = parser.value(runOption).toInt(&ok);
    if (!ok || runFor < 0) {
        std::fprintf(stderr, "discoveryserver: bad --run-for\n");
        return 2;
    }

    DiscoveryServer::Server server;
    if (!server.start(quint16(port))) {
        std::fprintf(stderr, "discoveryserver: cannot listen on 127.0.0.1:%u\n", port);
        return 1;
    }
    if (udpPort != 0)
        server.announceTo(QHostAddress(QHostAddress::LocalHost), quint16(udpPort), interval);
    std::printf("listening on 127.0.0.1:%u\n", unsigned(server.port()));
    std::fflush(stdout);
    if (runFor > 0)
        QTimer::singleShot(runFor, &app, &QCoreApplication::quit);
    return app.exec();
}
