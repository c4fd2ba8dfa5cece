#include "serverlesson.h"

#include "legacylesson.h"
#include "progress.h"

#include <classroomserver.h>
#include <loopbackproxy.h>

#include <taviosystem/enhancedquestion.h>
#include <taviosystem/rondel2enhancedquestionsession.h>
#include <taviosystem/taviosystem.h>
#include <taviosystem/virtualrondel2hub.h>

#include <QtCore/QBitArray>
#include <QtCore/QCoreApplication>
#include <QtCore/QElapsedTimer>
#include <QtCore/QHash>
#include <QtCore/QSettings>
#include <QtCore/QTemporaryDir>
#include <QtCore/QThread>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

using namespace Taviosystem;

namespace ClassroomDemo {

namespace {

const int RegistrationTimeoutMs = 8000;
const int AnswerTimeoutMs = 15000;

// What the host hears: hub notifications, registrations, names and answers.
struct Host
{
    // Set on the thread that tells the host of hubs.
    std::atomic<VirtualRondel2Hub*> hub { nullptr };
    std::atomic<Hub*> returned { nullptr };
    std::atomic<int> losses { 0 };
    std::atomic<int> returns { 0 };
    QList<quint32> registered;
    QHash<quint32, QString> names;
    // Answers of the question running now, by device; a second answer of a device is counted
    // as a duplicate.
    QHash<quint32, QString> answers;
    int duplicates = 0;

    void answer(quint32 uid, const QString& text)
    {
        if (answers.contains(uid))
            ++duplicates;
        answers.insert(uid, text);
    }
};

struct AskedQuestion
{
    const char* title;
    std::function<bool(VirtualRondel2Hub*, int questionId)> start;
};

} // namespace

int runServerLesson(const ServerLessonOptions& options, QTextStream& out)
{
    // The hub reads where its server is from the user's settings: this run keeps its own.
    QTemporaryDir settingsDir;
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir.path());

    ClassroomServer::Server server;
    server.setServerId(QStringLiteral("demo-school"));
    server.setPinPool({ QStringLiteral("K7Q") });
    server.setLearners(ClassroomServer::Server::defaultClass(options.classSize));
    ClassroomServer::LoopbackProxy proxy;
    if (!server.start() || !proxy.start(server.port())) {
        out << "The classroom server could not listen on 127.0.0.1.\n";
        return 1;
    }
    {
        QSettings settings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Corvellan"),
            QStringLiteral("Rondel2"));
        settings.beginWriteArray(QStringLiteral("config/servers"));
        settings.setArrayIndex(0);
        settings.setValue(QStringLiteral("url"), proxy.url());
        settings.endArray();
        settings.setValue(QStringLiteral("config/hubName"), QStringLiteral("Room 12"));
    }
    out << "Classroom server on " << server.url() << " (reached through " << proxy.url()
        << "), server ID " << server.serverId() << "\n";

    Host host;
    TavioSystem& system = TavioSystem::instance();
    system.setHubConnectedCallback(
        [](Hub* hub, bool connected, void* context) {
            auto* h = static_cast<Host*>(context);
            auto* server = qobject_cast<VirtualRondel2Hub*>(hub);
            if (!server)
                return;
            if (!h->hub) {
                h->hub = server;
                return;
            }
            if (connected) {
                h->returned = hub;
                ++h->returns;
            } else {
                ++h->losses;
            }
        },
        &host);
    if (!system.initialise() || !waitUntil([&] { return host.hub != nullptr; }, 5000)) {
        out << "The classroom-server hub did not come up.\n";
        system.shutdown();
        return 1;
    }
    VirtualRondel2Hub* hub = host.hub.load();
    out << "Hub \"" << hub->name() << "\", serial " << hub->serial() << ", handle " << hub->handle()
        << "\n";

    bool ok = true;
    QObject::connect(
        hub, &TwoPointFourGHzHub::expressionDeviceRegistered, hub,
        [&host](QString name, quint32 uid, Device::SubType) {
            host.registered.append(uid);
            host.names.insert(uid, name);
        },
        Qt::DirectConnection);

    // Registration under the server's PIN.
    RegistrationCode code;
    if (!hub->asGetRegistrationPin(code)
        || !hub->startExpressionRegistrationSession(0, 0, 0, code)) {
        out << "Registration could not start.\n";
        system.shutdown();
        return 1;
    }
    out << "PIN " << QChar(code.char1()) << QChar(code.char2()) << QChar(code.char3())
        << ": waiting for " << options.classSize << " learners\n";
    ok = waitUntil(
             [&] { return host.registered.size() >= options.classSize; }, RegistrationTimeoutMs)
        && ok;
    hub->stopExpressionRegistrationSession();
    waitUntil([&] { return hub->tavioexpressionCount() == options.classSize; }, 3000);
    out << "Registered: " << host.registered.size() << " learners, " << hub->tavioexpressionCount()
        << " on the hub\n";

    // Naming: every learner types the name it chose.
    QHash<quint32, QString> chosen;
    hub->startExpressionEnduserNamingSession(
        1, CharacterType(0), 12, false,
        [](Hub*, unsigned int uid, int, const QString& name, void* context) {
            static_cast<QHash<quint32, QString>*>(context)->insert(uid, name);
        },
        &chosen);
    ok = waitUntil([&] { return chosen.size() >= options.classSize; }, RegistrationTimeoutMs) && ok;
    hub->stopExpressionEndUserNamingSession();
    out << "Named: " << chosen.size() << " learners (" << chosen.value(1001) << ", ...)\n";

    // One question of each type.
    auto* hostPtr = &host;
    QObject::connect(
        hub, &Hub::multichoiceSessionResponse, hub,
        [hostPtr](Hub*, quint32 uid, int, QString a) { hostPtr->answer(uid, a); },
        Qt::DirectConnection);
    QObject::connect(
        hub, &Hub::yesNoSessionResponse, hub,
        [hostPtr](Hub*, quint32 uid, int, Hub::YesNoResponse a) {
            hostPtr->answer(uid, QString::number(a));
        },
        Qt::DirectConnection);
    QObject::connect(
        hub, &Hub::trueFalseSessionResponse, hub,
        [hostPtr](Hub*, quint32 uid, int, Hub::TrueFalseResponse a) {
            hostPtr->answer(uid, QString::number(a));
        },
        Qt::DirectConnection);
    QObject::connect(
        hub, &Hub::likertSessionResponse, hub,
        [hostPtr](Hub*, quint32 uid, int, int a) { hostPtr->answer(uid, QString::number(a)); },
        Qt::DirectConnection);
    QObject::connect(
        hub, &Hub::numericSessionResponse, hub,
        [hostPtr](Hub*, quint32 uid, int, QString a) { hostPtr->answer(uid, a); },
        Qt::DirectConnection);
    QObject::connect(
        hub, &Hub::textSessionResponse, hub,
        [hostPtr](Hub*, quint32 uid, int, QString a, bool) { hostPtr->answer(uid, a); },
        Qt::DirectConnection);
    QObject::connect(
        hub, &Hub::sortInOrderSessionResponse, hub,
        [hostPtr](Hub*, quint32 uid, int, QString a) { hostPtr->answer(uid, a); },
        Qt::DirectConnection);

    const std::vector<AskedQuestion> questions = {
        { "multiple choice",
            [](VirtualRondel2Hub* h, int q) {
                return h->startMultichoiceSession(
                    q, 4, 1, DisplayOption_UpperCaseLetters, TimeUnit_0, 0, nullptr, nullptr);
            } },
        { "multiple response",
            [](VirtualRondel2Hub* h, int q) {
                return h->startMultichoiceSession(
                    q, 5, 2, DisplayOption_LowerCaseLetters, TimeUnit_0, 0, nullptr, nullptr);
            } },
        { "yes/no",
            [](VirtualRondel2Hub* h, int q) {
                return h->startYesNoSession(q, true, TimeUnit_0, 0, nullptr, nullptr);
            } },
        { "true/false",
            [](VirtualRondel2Hub* h, int q) {
                return h->startTrueFalseSession(q, false, TimeUnit_0, 0, nullptr, nullptr);
            } },
        { "Likert",
            [](VirtualRondel2Hub* h, int q) {
                return h->startLikertSession(q, 5, TimeUnit_0, 0, nullptr, nullptr);
            } },
        { "numeric",
            [](VirtualRondel2Hub* h, int q) {
                return h->startNumericSession(
                    q, QStringLiteral("6 x 7?"), 4, TimeUnit_0, 0, nullptr, nullptr);
            } },
        { "text",
            [](VirtualRondel2Hub* h, int q) {
                return h->startTextSession(
                    q, QStringLiteral("Say hello"), 20, TimeUnit_0, 0, false, nullptr, nullptr);
            } },
        { "maths",
            [](VirtualRondel2Hub* h, int q) {
                return h->startTextSession(q, QStringLiteral("Add one to <math><mi>x</mi></math>"),
                    20, TimeUnit_0, 0, true, nullptr, nullptr);
            } },
        { "sort in order",
            [](VirtualRondel2Hub* h, int q) {
                return h->startSortInOrderSession(
                    q, 3, 3, DisplayOption_Digits, TimeUnit_0, 0, nullptr, nullptr);
            } },
    };
    const int outageQuestion = 2; // the outage comes during the yes/no question
    int question = 0;
    for (const AskedQuestion& asked : questions) {
        ++question;
        host.answers.clear();
        const QString sendQuestion = QStringLiteral("entities/rondel_hub/sendQuestion");
        const int sentBefore = server.requestCount(sendQuestion);
        if (!asked.start(hub, question)) {
            out << "Question " << question << " (" << asked.title
                << ") could not start: " << Hub::errorAsString(hub->getLastError()) << "\n";
            ok = false;
            continue;
        }
        if (options.outageMs > 0 && question - 1 == outageQuestion) {
            // The server goes once the question has reached the class: answers given meanwhile
            // wait on the server for the hub.
            waitUntil(
                [&] { return server.requestCount(sendQuestion) >= sentBefore + options.classSize; },
                5000);
            out << "  the server goes away for " << options.outageMs << " ms\n";
            const int lossesBefore = host.losses;
            proxy.startOutage(options.outageMs);
            waitUntil([&] { return !proxy.inOutage(); }, options.outageMs + 2000);
            waitUntil([&] { return host.losses > lossesBefore && host.returns >= host.losses; },
                3 * VirtualRondel2Hub::BEACON_RATE);
            if (host.losses > lossesBefore) {
                // The loss ended the question: once the server and its class are back it is
                // asked again, and each learner's answer counts once.
                out << "  server lost\n";
                waitUntil([&] { return host.returns >= host.losses; }, 10000);
                out << "  server back: "
                    << (host.returned.load() == hub ? "the same hub" : "another hub") << "\n";
                waitUntil([&] { return hub->tavioexpressionCount() == options.classSize; }, 5000);
                out << "  asking question " << question << " again\n";
                host.answers.clear();
                if (!asked.start(hub, question))
                    ok = false;
            } else {
                out << "  outage ridden out: no notice\n";
            }
        }
        const bool all
            = waitUntil([&] { return host.answers.size() >= options.classSize; }, AnswerTimeoutMs);
        waitUntil([] { return false; }, 200);
        hub->stopSession();
        out << "Question " << question << " (" << asked.title << "): " << host.answers.size()
            << " answers";
        if (!host.answers.isEmpty())
            out << ", learner 1001 said \"" << host.answers.value(1001).simplified().left(40)
                << "\"";
        out << "\n";
        ok = all && ok;
    }

    // The self-paced test.
    auto* session = qobject_cast<Rondel2EnhancedQuestionSession*>(hub->enhancedQuestionSession());
    struct Test
    {
        std::vector<std::unique_ptr<EnhancedQuestion>> questions;
        QHash<QString, int> answers; // "uid/question" -> times reported
    } test;
    test.questions.emplace_back(new MultichoiceQuestion(1, QString(),
        QStringLiteral("Which is red?\n1:apple\n2:sky\n3:grass"), 3, 1, DisplayOption_Digits,
        QStringLiteral("1")));
    test.questions.emplace_back(new TrueFalseQuestion(
        2, QString(), QStringLiteral("Ice is cold"), false, TrueFalseQuestion::Answer_True));
    test.questions.emplace_back(
        new NumericQuestion(3, QString(), QStringLiteral("6 x 7"), 4, QStringLiteral("42")));
    EnhancedQuestionSession::CallbacksInfo callbacks;
    callbacks.context = &test;
    callbacks.getQuestion = [](EnhancedQuestionSession* s, quint32 uid, int n, void* c) {
        auto* t = static_cast<Test*>(c);
        if (n >= 1 && n <= int(t->questions.size()))
            s->sendQuestion(uid, t->questions.at(std::size_t(n - 1)).get());
    };
    callbacks.multichoiceAnswer
        = [](EnhancedQuestionSession*, quint32 uid, int n, const QString&, void* c) {
              static_cast<Test*>(c)->answers[QStringLiteral("%1/%2").arg(uid).arg(n)] += 1;
          };
    callbacks.trueFalseAnswer
        = [](EnhancedQuestionSession*, quint32 uid, int n, TrueFalseQuestion::Answer, void* c) {
              static_cast<Test*>(c)->answers[QStringLiteral("%1/%2").arg(uid).arg(n)] += 1;
          };
    callbacks.numericAnswer
        = [](EnhancedQuestionSession*, quint32 uid, int n, const QString&, void* c) {
              static_cast<Test*>(c)->answers[QStringLiteral("%1/%2").arg(uid).arg(n)] += 1;
          };
    session->setCallbacks(callbacks);
    session->setDefaultSessionParameters(3, 1, false, QBitArray(), 0);
    session->useDefaultSessionParameters(true);
    const int expected = options.classSize * 3;
    if (session->startSession(false)) {
        const bool done
            = waitUntil([&] { return test.answers.size() >= expected; }, AnswerTimeoutMs);
        waitUntil([] { return false; }, 300);
        session->stopSession();
        int twice = 0;
        for (int times : std::as_const(test.answers))
            twice += times > 1 ? 1 : 0;
        out << "Self-paced test: " << test.answers.size() << " of " << expected << " answers"
            << (twice ? ", some twice" : ", each once") << "\n";
        ok = done && twice == 0 && ok;
    } else {
        out << "The self-paced test could not start.\n";
        ok = false;
    }
    if (host.duplicates != 0) {
        out << host.duplicates << " answers were reported twice.\n";
        ok = false;
    }
    if (options.outageMs > 0)
        out << "Server outage: lost " << host.losses.load() << " times, back "
            << host.returns.load() << " times\n";

    system.shutdown();
    out << (ok ? "Every answer was counted once.\n" : "The lesson did not go as planned.\n");
    return ok ? 0 : 1;
}

} // namespace ClassroomDemo
