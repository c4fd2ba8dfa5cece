// The loopback cloud classroom service as a program: listens on 127.0.0.1 with the accounts and
// learners given on the command line until it is stopped or its run time is over.
#include "cloudservice.h"

#include <QtCore/QCommandLineParser>
#include <QtCore/QCoreApplication>
#include <QtCore/QTimer>

#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("cloudservice"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Loopback cloud classroom service: teacher sign-in, class sessions with \"TS\" class "
        "codes, learners and polls over HTTP and a WebSocket on 127.0.0.1 only."));
    parser.addHelpOption();
    const QCommandLineOption portOption(QStringLiteral("port"),
        QStringLiteral("TCP port to listen on (0: one the system chooses)."),
        QStringLiteral("port"), QStringLiteral("0"));
    const QCommandLineOption accountOption(QStringLiteral("account"),
        QStringLiteral("A teacher account as user:password (repeatable)."),
        QStringLiteral("user:password"));
    const QCommandLineOption learnerOption(QStringLiteral("learner"),
        QStringLiteral("A learner who is in the class from the start, as token:name "
                       "(repeatable)."),
        QStringLiteral("token:name"));
    const QCommandLineOption runOption(QStringLiteral("run-for"),
        QStringLiteral("Stop after this many milliseconds (0: run until interrupted)."),
        QStringLiteral("ms"), QStringLiteral("0"));
    parser.addOptions({ portOption, accountOption, learnerOption, runOption });
    parser.process(app);

    bool ok = false;
    const uint port = parser.value(portOption).toUInt(&ok);
    if (!ok || port > 65535) {
        std::fprintf(stderr, "cloudservice: bad --port\n");
        return 2;
    }
    const int runFor = parser.value(runOption).toInt(&ok);
    if (!ok || runFor < 0) {
        std::fprintf(stderr, "cloudservice: bad --run-for\n");
        return 2;
    }

    // Splits every "first:rest" value of an option; false (and a message) on one without a first.
    const auto pairsOf = [&parser](const QCommandLineOption& option, const char* form,
                             QList<QPair<QString, QString>>& pairs) {
        for (const QString& value : parser.values(option)) {
            const qsizetype colon = value.indexOf(QLatin1Char(':'));
            if (colon <= 0) {
                std::fprintf(stderr, "cloudservice: bad --%s (%s)\n",
                    qPrintable(option.names().constFirst()), form);
                return false;
            }
            pairs.append({ value.left(colon), value.mid(colon + 1) });
        }
        return true;
    };
    QList<QPair<QString, QString>> accounts;
    QList<QPair<QString, QString>> learners;
    if (!pairsOf(accountOption, "user:password", accounts)
        || !pairsOf(learnerOption, "token:name", learners))
        return 2;

    CloudService::Service service;
    for (const auto& account : accounts)
        service.addAccount(account.first, account.second);
    for (const auto& learner : learners)
        service.addLearner(learner.first, learner.second);
    if (!service.start(quint16(port))) {
        std::fprintf(stderr, "cloudservice: cannot listen on 127.0.0.1:%u\n", port);
        return 1;
    }
    for (const auto& learner : learners)
        service.joinLearner(learner.first);
    std::printf("listening on %s\n", qPrintable(service.url()));
    std::fflush(stdout);
    if (runFor > 0)
        QTimer::singleShot(runFor, &app, &QCoreApplication::quit);
    return app.exec();
}
