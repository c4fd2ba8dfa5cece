// The classroom demo: a host program that runs a whole lesson against emulated receivers. It
// plugs in emulated 2.4 GHz hubs, the first with a class of learners waiting to register, then
// uses the library exactly as presentation software would: registers the class under a PIN,
// names a few devices, asks one question of each type with live progress, shows each question's
// results, runs a self-paced test, saves every answer and shuts down. Try --help.

#include "cloudlesson.h"
#include "emulatedclass.h"
#include "legacylesson.h"
#include "serverlesson.h"
#include "lesson.h"
#include "progress.h"
#include "questions.h"

#include <QtCore/QCommandLineParser>
#include <QtCore/QCoreApplication>
#include <QtCore/QFileInfo>
#include <QtCore/QJsonObject>
#include <QtCore/QSettings>
#include <QtCore/QTemporaryDir>
#include <QtCore/QTextStream>
#include <QtNetwork/QTcpServer>
#include <QtNetwork/QUdpSocket>

#include <discoveryserver.h>

using namespace ClassroomDemo;

namespace {

struct Settings
{
    ClassSettings classroom;
    LessonOptions lesson;
    bool legacy = false; // --hub-kind legacy
    bool classroomServer = false; // --hub-kind classroom-server
    ServerLessonOptions serverLesson;
    LegacyLessonOptions legacyLesson;
    bool cloud = false; // --hub-kind cloud
    CloudLessonOptions cloudLesson;
};

// Milliseconds between the discovery server's announcements.
const int AnnouncementIntervalMs = 100;

// The classroom's discovery server, on loopback: it hands out the class's PIN, and the software
// hub finds it by its announcement. The hub reads where to look from settings kept in a
// temporary folder for this run. Nothing leaves this machine.
class DiscoveryService
{
public:
    bool start(const QString& pin, QTextStream& err)
    {
        if (!m_settingsDir.isValid()) {
            err << "classroomdemo: no temporary folder for the discovery settings\n";
            return false;
        }
        QSettings::setPath(QSettings::IniFormat, QSettings::SystemScope, m_settingsDir.path());
        m_server.setPinPool({ pin });
        if (!m_server.start()) {
            err << "classroomdemo: the discovery server could not listen on 127.0.0.1\n";
            return false;
        }
        QUdpSocket probe;
        probe.bind(QHostAddress(QHostAddress::LocalHost), 0);
        const quint16 udpPort = probe.localPort();
        probe.close();
        QSettings settings(QSettings::IniFormat, QSettings::SystemScope,
            QStringLiteral("Corvellan"), QStringLiteral("orvikserver"));
        settings.beginGroup(QStringLiteral("Server"));
        settings.setValue(QStringLiteral("address"), QStringLiteral("127.0.0.1"));
        settings.setValue(QStringLiteral("use_tcp_port"), int(m_server.port()));
        settings.setValue(QStringLiteral("use_udp_port"), int(udpPort));
        settings.sync();
        return udpPort != 0
            && m_server.announceTo(
                QHostAddress(QHostAddress::LocalHost), udpPort, AnnouncementIntervalMs);
    }

    int pinsHeld() const { return int(m_server.heldPins().size()); }

private:
    QTemporaryDir m_settingsDir;
    DiscoveryServer::Server m_server;
};

// An integer option within [minimum, maximum]; false with a message otherwise.
bool intOption(const QCommandLineParser& parser, const QCommandLineOption& option, int minimum,
    int maximum, int& value, QString& error)
{
    bool ok = false;
    const QString text = parser.value(option);
    const qlonglong number = text.toLongLong(&ok);
    if (!ok || number < minimum || number > maximum) {
        error = QStringLiteral("--%1 takes a whole number from %2 to %3, not '%4'")
                    .arg(option.names().constLast())
                    .arg(minimum)
                    .arg(maximum)
                    .arg(text);
        return false;
    }
    value = int(number);
    return true;
}

// Reads the command line into settings. Returns -1 to go on, otherwise the exit code: 0 after
// printing the help (to out), 2 after printing an error (to err).
int parseCommandLine(
    const QStringList& arguments, Settings& settings, QTextStream& out, QTextStream& err)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Runs a whole lesson against emulated classroom hubs: registers a class under a PIN,\n"
        "names a few devices, asks one question of each type with live progress, prints\n"
        "each question's results, runs a self-paced test and can save every answer.\n"
        "Touches no network, but for --hub-kind virtual and classroom-server: they run a\n"
        "discovery or classroom server on 127.0.0.1 and keep their settings in a temporary\n"
        "folder.\n"
        "A question closes when everyone has answered, when no answer came for --quiet ms,\n"
        "or after --timeout ms. Progress is a bar on a terminal and plain lines otherwise.\n"
        "In the self-paced test every answer device fetches the test's own six questions\n"
        "(multiple choice with a long text, true/false, numeric, maths, sort in order,\n"
        "Likert; --questions leaves them alone) one by one and answers them at its own\n"
        "pace over a radio that loses --loss of its chunks and acknowledgements. The test\n"
        "ends when every device has finished, when nothing came for\n"
        "2 s (a device waits for good for a message the hub gave up on, which high losses\n"
        "can cause) or after 10 s. Its progress shows a mark per device: '.' not started,\n"
        "the questions answered so far, '#' finished. Then a table gives per question the\n"
        "devices that answered, the right answers and the most common answer, and per\n"
        "device its right answers and when it finished.\n"
        "Answers are saved as delivered: option letters (C, BDAC), yes/no/unsure,\n"
        "true/false/unsure, Likert points, typed text, MathML for maths, \"read\" for a\n"
        "message; times are milliseconds since the lesson started.\n"
        "Exit code: 0 when the lesson went as planned, 1 when something failed (no hub, a\n"
        "question the hub refused, a device that did not finish the self-paced test, a\n"
        "file not written), 2 for a bad command line."));
    const QCommandLineOption help({ QStringLiteral("h"), QStringLiteral("help") },
        QStringLiteral("Shows this help, with the question file format."));
    const QCommandLineOption hubs(QStringLiteral("hubs"),
        QStringLiteral("Emulated 2.4 GHz hubs to plug in (1 to 16, default 1); the lesson runs "
                       "on the first."),
        QStringLiteral("N"), QStringLiteral("1"));
    const QCommandLineOption classSize(QStringLiteral("class-size"),
        QStringLiteral("Learners in the class (1 to 200, default 30)."), QStringLiteral("N"),
        QStringLiteral("30"));
    const QCommandLineOption seed(QStringLiteral("seed"),
        QStringLiteral("Seed of the simulated learners' answers, delays and silences "
                       "(default 1); a seed repeats a lesson."),
        QStringLiteral("N"), QStringLiteral("1"));
    const QCommandLineOption pin(QStringLiteral("pin"),
        QStringLiteral("Registration PIN: three letters or digits (default ABC)."),
        QStringLiteral("PIN"), QStringLiteral("ABC"));
    const QCommandLineOption silence(QStringLiteral("silence"),
        QStringLiteral("Chance that a learner stays silent at a question, 0 to 1 (default 0.1)."),
        QStringLiteral("P"), QStringLiteral("0.1"));
    const QCommandLineOption timeout(QStringLiteral("timeout"),
        QStringLiteral("Longest a question stays open, in ms (100 to 60000, default 2000)."),
        QStringLiteral("MS"), QStringLiteral("2000"));
    const QCommandLineOption quiet(QStringLiteral("quiet"),
        QStringLiteral("A question also closes once no answer came for this long, in ms "
                       "(50 to 60000, default 300)."),
        QStringLiteral("MS"), QStringLiteral("300"));
    const QCommandLineOption questions(QStringLiteral("questions"),
        QStringLiteral("Question set file replacing the default lesson (format below)."),
        QStringLiteral("FILE"));
    const QCommandLineOption noSelfPaced(
        QStringLiteral("no-self-paced"), QStringLiteral("Skips the self-paced test."));
    const QCommandLineOption loss(QStringLiteral("loss"),
        QStringLiteral("Share of the radio's chunks and acknowledgements lost during the "
                       "self-paced test, 0 to 0.5 (default 0.1)."),
        QStringLiteral("P"), QStringLiteral("0.1"));
    const QCommandLineOption csv(QStringLiteral("csv"),
        QStringLiteral("Writes every answer as CSV: question,type,uid,name,answer,time_ms,"
                       "section (live, or self-paced for the test's answers)."),
        QStringLiteral("FILE"));
    const QCommandLineOption json(QStringLiteral("json"),
        QStringLiteral("Writes the lesson, its questions and every answer as JSON (the "
                       "self-paced test under \"selfPaced\")."),
        QStringLiteral("FILE"));
    const QCommandLineOption hubKind(QStringLiteral("hub-kind"),
        QStringLiteral("radio (default): emulated radio hubs; virtual: the lesson hub is a "
                       "software hub that takes its PIN (--pin) from a discovery server run on "
                       "127.0.0.1; legacy: the older radio hub (its radio settings, voters and "
                       "two slates registering, a voter test, a vote, a pen stroke and a "
                       "re-plug that reads the class back); classroom-server: the hub is a "
                       "classroom server run on 127.0.0.1 (server ID, serial, PIN, registration, "
                       "naming, every question type and a self-paced test); cloud: a cloud "
                       "classroom service run on 127.0.0.1 (sign-in, the class code as PIN, the "
                       "class joining, each question a cloud poll, a self-paced test, sign-out)."),
        QStringLiteral("KIND"), QStringLiteral("radio"));
    const QCommandLineOption framing(QStringLiteral("framing"),
        QStringLiteral("Legacy hub only: usb (default) or serial."), QStringLiteral("FRAMING"),
        QStringLiteral("usb"));
    const QCommandLineOption storeDir(QStringLiteral("store-dir"),
        QStringLiteral("Legacy hub only: the folder of the settings file that keeps the class "
                       "(default a temporary one); a second run with the same folder finds the "
                       "class there and skips registration."),
        QStringLiteral("DIR"));
    const QCommandLineOption serverOutage(QStringLiteral("server-outage"),
        QStringLiteral("Classroom server only: takes the server away for MS milliseconds "
                       "during a question (0, the default: no outage). Under about 3200 ms the "
                       "hub rides it out; longer, it reports the server lost and back."),
        QStringLiteral("MS"), QStringLiteral("0"));
    parser.addOptions({ help, hubs, classSize, seed, pin, silence, timeout, quiet, questions,
        noSelfPaced, loss, csv, json, hubKind, framing, storeDir, serverOutage });

    QString error;
    if (!parser.parse(arguments)) {
        err << "classroomdemo: " << parser.errorText() << " (try --help)\n";
        return 2;
    }
    if (parser.isSet(help)) {
        out << parser.helpText() << "\n" << questionFormatHelp();
        return 0;
    }
    if (!parser.positionalArguments().isEmpty()) {
        err << "classroomdemo: unexpected argument '" << parser.positionalArguments().first()
            << "' (try --help)\n";
        return 2;
    }

    ClassSettings& classroom = settings.classroom;
    LessonOptions& lesson = settings.lesson;
    int seedValue = 0;
    bool ok = intOption(parser, hubs, 1, 16, classroom.hubs, error)
        && intOption(parser, classSize, 1, 200, classroom.size, error)
        && intOption(parser, seed, 0, 2147483647, seedValue, error)
        && intOption(parser, timeout, 100, 60000, lesson.questionTimeoutMs, error)
        && intOption(parser, quiet, 50, 60000, lesson.quietMs, error);
    classroom.seed = std::uint32_t(seedValue);
    if (ok) {
        classroom.pin = parser.value(pin).toUpper();
        static const QRegularExpression pinPattern(QStringLiteral("^[A-Z0-9]{3}$"));
        if (!pinPattern.match(classroom.pin).hasMatch()) {
            error = QStringLiteral("--pin takes three letters or digits");
            ok = false;
        }
    }
    if (ok) {
        const QString kind = parser.value(hubKind);
        classroom.virtualHub = kind == QLatin1String("virtual");
        settings.legacy = kind == QLatin1String("legacy");
        settings.classroomServer = kind == QLatin1String("classroom-server");
        settings.cloud = kind == QLatin1String("cloud");
        if (!classroom.virtualHub && !settings.legacy && !settings.classroomServer
            && !settings.cloud && kind != QLatin1String("radio")) {
            error = QStringLiteral(
                "--hub-kind takes radio, virtual, legacy, classroom-server or cloud");
            ok = false;
        }
    }
    if (ok) {
        ok = intOption(parser, serverOutage, 0, 60000, settings.serverLesson.outageMs, error);
    }
    if (ok) {
        classroom.silence = parser.value(silence).toDouble(&ok);
        if (!ok || classroom.silence < 0.0 || classroom.silence > 1.0) {
            error = QStringLiteral("--silence takes a number from 0 to 1");
            ok = false;
        }
    }
    if (ok) {
        classroom.loss = parser.value(loss).toDouble(&ok);
        if (!ok || classroom.loss < 0.0 || classroom.loss > 0.5) {
            error = QStringLiteral("--loss takes a number from 0 to 0.5");
            ok = false;
        }
    }
    if (ok && parser.isSet(questions)) {
        ok = readQuestionFile(parser.value(questions), lesson.questions, error);
        if (!ok)
            error = parser.value(questions) + QStringLiteral(": ") + error;
    } else if (ok) {
        lesson.questions = defaultQuestions();
    }
    if (!ok) {
        err << "classroomdemo: " << error << "\n";
        return 2;
    }

    const QString framingName = parser.value(framing);
    if (framingName != QLatin1String("usb") && framingName != QLatin1String("serial")) {
        err << "classroomdemo: --framing takes usb or serial\n";
        return 2;
    }
    settings.legacyLesson.serial = framingName == QLatin1String("serial");
    settings.legacyLesson.storeDir = parser.value(storeDir);
    settings.legacyLesson.classSize = qMin(classroom.size, 60);
    settings.legacyLesson.seed = classroom.seed;
    settings.legacyLesson.interactive = Progress::stdoutIsTerminal();
    settings.serverLesson.classSize = qMin(classroom.size, 60);
    settings.serverLesson.interactive = Progress::stdoutIsTerminal();

    settings.cloudLesson.classSize = qMin(classroom.size, 60);
    settings.cloudLesson.seed = classroom.seed;
    settings.cloudLesson.questions = lesson.questions;
    settings.cloudLesson.selfPaced = !parser.isSet(noSelfPaced);
    settings.cloudLesson.questionTimeoutMs = lesson.questionTimeoutMs;

    lesson.selfPaced = !parser.isSet(noSelfPaced);
    lesson.selfPacedQuestions = selfPacedQuestions();
    lesson.loss = classroom.loss;
    lesson.pin = classroom.pin;
    lesson.classSize = classroom.size;
    lesson.csvPath = parser.value(csv);
    lesson.jsonPath = parser.value(json);
    lesson.interactive = Progress::stdoutIsTerminal();
    lesson.description
        = QJsonObject { { "classSize", classroom.size }, { "seed", qint64(classroom.seed) },
              { "pin", classroom.pin }, { "silence", classroom.silence },
              { "selfPaced", lesson.selfPaced }, { "loss", classroom.loss },
              { "questionSet",
                  parser.isSet(questions) ? QFileInfo(parser.value(questions)).fileName()
                                          : QStringLiteral("default") } };
    return -1;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("classroomdemo"));
    QTextStream out(stdout);
    QTextStream err(stderr);

    Settings settings;
    const int exitCode = parseCommandLine(QCoreApplication::arguments(), settings, out, err);
    if (exitCode >= 0)
        return exitCode;

    if (settings.classroomServer)
        return runServerLesson(settings.serverLesson, out);

    // The other lessons use no classroom server: the hub's settings for this run point at a
    // loopback port nobody listens on, and the user's own settings are left alone.
    QTemporaryDir userSettings;
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, userSettings.path());
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        const quint16 closedPort = probe.serverPort();
        probe.close();
        QSettings rondel2(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Corvellan"),
            QStringLiteral("Rondel2"));
        rondel2.beginWriteArray(QStringLiteral("config/servers"));
        rondel2.setArrayIndex(0);
        rondel2.setValue(
            QStringLiteral("url"), QStringLiteral("http://127.0.0.1:%1").arg(closedPort));
        rondel2.endArray();
    }

    if (settings.legacy)
        return runLegacyLesson(settings.legacyLesson, out);
    if (settings.cloud)
        return runCloudLesson(settings.cloudLesson, out);

    DiscoveryService discovery;
    if (settings.classroom.virtualHub && !discovery.start(settings.classroom.pin, err))
        return 1;

    // The emulator stands in for the receivers plugged into this machine.
    EmulatedClass learners(settings.classroom);
    learners.plugIn();

    Lesson lesson(settings.lesson, learners, out);
    int result = lesson.run();
    if (settings.classroom.virtualHub) {
        const int held = discovery.pinsHeld();
        out << "Discovery server: " << (held == 0 ? "the PIN is free again" : "a PIN is still held")
            << "\n";
        if (held != 0 && result == 0)
            result = 1;
    }
    return result;
}
