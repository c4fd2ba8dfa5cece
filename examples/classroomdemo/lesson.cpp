#include "lesson.h"

#include "progress.h"

#include <taviosystem/hub.h>
#include <taviosystem/registrationcode.h>
#include <taviosystem/taviohubexpressionnamingsession.h>
#include <taviosystem/taviohubregistrationsession.h>
#include <taviosystem/taviosystem.h>
#include <taviosystem/twopointfourghzhub.h>
#include <taviosystem/virtualtwopointfourghzhub.h>

#include <QtCore/QEventLoop>
#include <QtCore/QTimer>

#include <algorithm>
#include <cmath>

using namespace Taviosystem;

namespace ClassroomDemo {

namespace {

const int TickMs = 20; // how often waiting loops look at what arrived
const int NamingConfirmationTimeoutMs = 1000;
// The teacher names this many devices, giving their learners' surnames.
const char* const Surnames[] = { "Okafor", "Larsen", "Martin" };

// Answer callbacks: the library calls them on its packet threads with the context given when
// the question started, the lesson's answer log. They only record the answer.
AnswerLog* logOf(void* context) { return static_cast<AnswerLog*>(context); }

void onStringAnswer(Hub*, unsigned int uid, int questionId, const QString& answer, void* context)
{
    logOf(context)->add(questionId, uid, answer);
}

void onYesNoAnswer(Hub*, unsigned int uid, int questionId, Hub::YesNoResponse answer, void* context)
{
    const char* text = answer == Hub::YesNoResponse_Yes ? "yes"
        : answer == Hub::YesNoResponse_No               ? "no"
                                                        : "unsure";
    logOf(context)->add(questionId, uid, QLatin1String(text));
}

void onTrueFalseAnswer(
    Hub*, unsigned int uid, int questionId, Hub::TrueFalseResponse answer, void* context)
{
    const char* text = answer == Hub::TrueFalseResponse_True ? "true"
        : answer == Hub::TrueFalseResponse_False             ? "false"
                                                             : "unsure";
    logOf(context)->add(questionId, uid, QLatin1String(text));
}

void onLikertAnswer(Hub*, unsigned int uid, int questionId, int value, void* context)
{
    logOf(context)->add(questionId, uid, QString::number(value));
}

void onTextAnswer(Hub*, unsigned int uid, int questionId, const QString& answer, void* context,
    bool /*valid: false when maths did not convert; the answer comes as typed*/)
{
    logOf(context)->add(questionId, uid, answer);
}

void onMessageRead(Hub*, unsigned int uid, int questionId, void* context)
{
    logOf(context)->add(questionId, uid, QStringLiteral("read"));
}

// The naming session's confirmations, also on a packet thread.
void onDeviceNamed(Hub*, const QString& name, unsigned int uid, void* context)
{
    static_cast<EventList<Lesson::DeviceEvent>*>(context)->append(
        Lesson::DeviceEvent { name, uid, Device::SubType_None });
}

const char* generationOf(Device::SubType subType)
{
    switch (subType) {
    case Device::SubType_Expression:
        return "expression";
    case Device::SubType_ExpressionV2:
        return "expression 2";
    default:
        return "other";
    }
}

void sortByName(QList<DeviceDisplayInfo>& devices)
{
    std::sort(devices.begin(), devices.end(),
        [](const DeviceDisplayInfo& a, const DeviceDisplayInfo& b) { return a.name < b.name; });
}

} // namespace

Lesson::Lesson(const LessonOptions& options, EmulatedClass& learners, QTextStream& out)
    : m_options(options)
    , m_learners(learners)
    , m_out(out)
    , m_system(TavioSystem::instance())
    , m_answers(m_clock)
{
}

int Lesson::run()
{
    m_clock.start();
    if (!findHub()) {
        shutdown();
        return 1;
    }
    if (!registerClass()) {
        shutdown();
        return 1;
    }
    nameDevices();
    askQuestions();
    if (m_options.selfPaced)
        runSelfPacedTest();

    const std::vector<Answer> answers = m_answers.answers();
    QSet<quint32> learners;
    for (const Answer& answer : answers)
        learners.insert(answer.uid);
    m_out << "\nLesson over after " << seconds(now()) << ": " << m_asked.size() << " questions, "
          << answers.size() << " answers from " << learners.size() << " learners";
    if (m_selfPaced.ran) {
        QSet<quint32> devices;
        for (const Answer& answer : m_selfPaced.answers)
            devices.insert(answer.uid);
        m_out << "; a self-paced test of " << m_selfPaced.questions.size() << " questions, "
              << m_selfPaced.answers.size() << " answers from " << devices.size() << " devices";
    }
    m_out << ".\n";
    saveAnswers();
    shutdown();
    return m_ok ? 0 : 1;
}

bool Lesson::findHub()
{
    const int version = TavioSystem::getLibraryVersion();
    m_out << "taviosystem2 " << (version >> 16) << '.' << ((version >> 8) & 0xFF) << '.'
          << (version & 0xFF);
    if (!m_system.initialise()) {
        m_out << "\nThe board library could not be loaded ("
              << TavioSystem::errorAsString(m_system.getLastError()) << ").\n";
        return false;
    }
    int major = 0, minor = 0, build = 0;
    if (m_system.getDriverVersion(&major, &minor, &build))
        m_out << ", driver " << major << '.' << minor << '.' << build;
    m_out << "\n";

    QList<Hub*> hubs;
    m_system.getHubList(&hubs);
    m_out << "Hubs: " << hubs.size() << "\n";
    for (Hub* hub : std::as_const(hubs)) {
        auto* tavioHub = qobject_cast<TwoPointFourGHzHub*>(hub);
        if (!tavioHub)
            continue;
        const bool lessonHub = !m_hub;
        if (lessonHub)
            m_hub = tavioHub;
        int devices = 0;
        tavioHub->getDeviceCount(Device::Type_Expression, &devices);
        m_out << "  hub " << hub->handle() << " \"" << tavioHub->name() << "\" serial 0x"
              << QString::number(hub->uid(), 16) << ", "
              << (tavioHub->state() == TwoPointFourGHzHub::State_Idle ? "idle" : "busy") << ", "
              << devices << " answer devices" << (lessonHub ? "  <- the lesson runs here" : "")
              << "\n";
    }
    if (!m_hub) {
        m_out << "No 2.4 GHz hub is attached.\n";
        return false;
    }
    if (auto* software = qobject_cast<VirtualTwoPointFourGHzHub*>(m_hub)) {
        m_out << "  the lesson hub is a software hub: " << software->asGetHubDetails() << "\n"
              << "  discovery server "
              << (software->asIsOrvikServerAvailable() ? "found" : "not found") << "\n";
    }
    return true;
}

bool Lesson::registerClass()
{
    m_out << "\nRegistration\n";
    const TaviohubRegistrationSession* registration
        = m_system.startTaviohubRegistrationSession(m_hub->handle());
    if (!registration) {
        m_out << "  The registration session could not start.\n";
        return false;
    }
    const auto info = registration->registrationInfo();
    m_out << "  hub holds " << info.votingDevicesUsed << " of " << info.votingDevicesMax
          << " voting devices\n";

    // Registrations come on the packet thread, through a directly connected signal.
    const QMetaObject::Connection connection = QObject::connect(
        registration, &TaviohubRegistrationSession::expressionDeviceRegistered, registration,
        [this](const QString& name, quint32 uid, Device::SubType subType) {
            m_joined.append(DeviceEvent { name, uid, subType });
        },
        Qt::DirectConnection);

    // A software hub takes its PIN from the discovery server; the stop of expression
    // registration gives it back.
    QString pin = m_options.pin;
    RegistrationCode code(pin);
    if (m_hub->isVirtualHub()) {
        if (!m_hub->asGetRegistrationPin(code)) {
            m_out << "  The discovery server gave no PIN.\n";
            m_system.stopTaviohubRegistrationSession();
            QObject::disconnect(connection);
            return false;
        }
        pin = QString(QChar(code.char1())) + QChar(code.char2()) + QChar(code.char3());
        m_out << "  the discovery server's PIN: " << pin << "\n";
    }
    if (!registration->startExpressionRegistrationSession(0, 0, 0, code)) {
        m_out << "  The registration window did not open: "
              << Hub::errorAsString(m_hub->getLastError()) << "\n";
        QObject::disconnect(connection);
        m_system.stopTaviohubRegistrationSession();
        return false;
    }
    m_out << "  window open: learners key in PIN " << pin << " (waiting for " << m_options.classSize
          << ", at most " << seconds(m_options.registrationTimeoutMs) << ")\n";

    const qint64 opened = now();
    Progress progress(m_out, m_options.interactive, QStringLiteral("joined"));
    QSet<quint32> joined;
    std::size_t seen = 0;
    const auto collect = [&]() {
        QStringList names;
        for (const DeviceEvent& event : m_joined.takeNew(seen)) {
            if (!joined.contains(event.uid))
                names << event.name;
            joined.insert(event.uid);
        }
        progress.update(int(joined.size()), m_options.classSize, now() - opened,
            names.join(QStringLiteral(", ")));
    };
    const bool everyone = runEventsUntil([&] { return joined.size() >= m_options.classSize; },
        m_options.registrationTimeoutMs, collect);
    collect();
    progress.finish(int(joined.size()), m_options.classSize, now() - opened,
        everyone ? QStringLiteral("everyone is in") : QStringLiteral("time-out"));

    const bool stopped = registration->stopExpressionRegistrationSession();
    QObject::disconnect(connection);
    if (!stopped)
        m_out << "  The hub did not end the window: " << Hub::errorAsString(m_hub->getLastError())
              << "\n";
    QList<DeviceDisplayInfo> devices;
    registration->getListOfRegisteredExpressions(devices);
    m_system.stopTaviohubRegistrationSession();
    sortByName(devices);
    listClass(devices);
    refreshNames();
    if (devices.isEmpty()) {
        m_out << "  Nobody joined: no lesson today.\n";
        return false;
    }
    if (!everyone)
        m_ok = false;
    return stopped;
}

void Lesson::listClass(const QList<DeviceDisplayInfo>& devices)
{
    m_out << "\nThe class: " << devices.size() << " answer devices\n";
    const int columns = 2;
    for (int i = 0; i < devices.size(); ++i) {
        const DeviceDisplayInfo& device = devices.at(i);
        const bool endOfRow = i % columns == columns - 1 || i == devices.size() - 1;
        const QString generation = QString::fromLatin1(generationOf(device.subType));
        m_out << (i % columns == 0 ? "  " : "    ") << uidText(device.uid) << "  "
              << device.name.leftJustified(14) << ' '
              << (endOfRow ? generation : generation.leftJustified(12));
        if (endOfRow)
            m_out << "\n";
    }
}

void Lesson::nameDevices()
{
    QList<DeviceDisplayInfo> devices;
    m_system.getTavioExpressionDisplayInfoList(m_hub->handle(), devices);
    sortByName(devices);
    const int count = qMin(int(devices.size()), int(std::size(Surnames)));
    if (count == 0)
        return;
    m_out << "\nNaming " << count << " devices\n";
    const TaviohubExpressionNamingSession* naming
        = m_system.startTaviohubExpressionNamingSession(m_hub->handle());
    if (!naming) {
        m_out << "  The naming session could not start.\n";
        m_ok = false;
        return;
    }
    naming->setCallback(&onDeviceNamed, &m_named);
    if (!naming->startExpressionNamingSession())
        m_out << "  The hub did not acknowledge the naming session.\n";

    int confirmed = 0;
    for (int i = 0; i < count; ++i) {
        const DeviceDisplayInfo& device = devices.at(i);
        const QString name = device.name + QLatin1Char(' ') + QLatin1String(Surnames[i]);
        const bool ok = naming->nameExpression(device.uid, name);
        confirmed += ok ? 1 : 0;
        m_out << "  " << uidText(device.uid) << "  " << device.name << " -> " << name << ": "
              << (ok ? "the device confirmed" : "no confirmation") << "\n";
        if (!ok)
            m_ok = false;
    }
    // Then the hub reports each device under its new name.
    runEventsUntil([&] { return int(m_named.size()) >= confirmed; }, NamingConfirmationTimeoutMs,
        std::function<void()>());
    std::size_t seen = 0;
    for (const DeviceEvent& event : m_named.takeNew(seen))
        m_out << "  hub reports " << uidText(event.uid) << " as \"" << event.name << "\"\n";

    naming->stopExpressionNamingSession();
    m_system.stopTaviohubExpressionNamingSession();
    refreshNames();
}

void Lesson::askQuestions()
{
    const QList<Question>& questions = m_options.questions;
    for (int i = 0; i < questions.size(); ++i) {
        AskedQuestion asked;
        asked.number = i + 1;
        asked.question = questions.at(i);
        ask(asked);
        m_asked.append(asked);
    }
}

void Lesson::ask(AskedQuestion& asked)
{
    const Question& question = asked.question;
    m_out << "\nQuestion " << asked.number << " of " << m_options.questions.size() << ": "
          << typeTitle(question.type) << " (" << settingsText(question) << ")\n"
          << "  " << question.prompt << "\n";
    if (question.type == QuestionType::Text && question.maths) {
        // What the devices will show, in the plain dialect with its markers.
        QString latex;
        int position = 0;
        const int valid = m_system.validateQuestion(question.prompt, position);
        if (valid != 0) {
            asked.error
                = QStringLiteral("the maths in the question does not convert (%1)").arg(valid);
            m_out << "  not asked: " << asked.error << "\n";
            m_ok = false;
            return;
        }
        if (m_system.translateTextMathmlToLatex(question.prompt, latex, false, true) == 0)
            m_out << "  devices show: " << latex << "\n";
    }

    m_hub->getDeviceCount(Device::Type_Expression, &asked.expectedAnswers);
    m_learners.setQuestion(question);
    const qint64 start = now();
    if (!startQuestion(asked)) {
        asked.error = Hub::errorAsString(m_hub->getLastError());
        m_out << "  not asked: " << asked.error << "\n";
        m_ok = false;
        return;
    }
    asked.asked = true;

    enum Close { Open, Everyone, Quiet, TimeOut } close = Open;
    const int expected = asked.expectedAnswers;
    Progress progress(m_out, m_options.interactive,
        question.type == QuestionType::Message ? QStringLiteral("read")
                                               : QStringLiteral("answered"));
    runEventsUntil(
        [&] {
            const qint64 elapsed = now() - start;
            const qint64 last = qMax(start, m_answers.lastArrivalMs(asked.number));
            if (m_answers.learnersAnswered(asked.number) >= expected)
                close = Everyone;
            else if (now() - last >= m_options.quietMs)
                close = Quiet;
            else if (elapsed >= m_options.questionTimeoutMs)
                close = TimeOut;
            return close != Open;
        },
        m_options.questionTimeoutMs + TickMs,
        [&] {
            progress.update(m_answers.learnersAnswered(asked.number), expected, now() - start);
        });
    if (!m_hub->stopSession()) {
        m_out << "  The hub did not end the question: " << Hub::errorAsString(m_hub->getLastError())
              << "\n";
        m_ok = false;
    }
    asked.openMs = now() - start;
    const QString outcomes[] = { QStringLiteral("stopped"), QStringLiteral("everyone answered"),
        QStringLiteral("no answer for %1 ms").arg(m_options.quietMs), QStringLiteral("time-out") };
    asked.outcome = outcomes[close];
    progress.finish(
        m_answers.learnersAnswered(asked.number), expected, asked.openMs, asked.outcome);

    QStringList values;
    for (const Answer& answer : m_answers.finalAnswers(asked.number))
        values << shownValue(question, answer.value);
    printResults(m_out, asked, values);
}

bool Lesson::startQuestion(const AskedQuestion& asked)
{
    const Question& q = asked.question;
    const int id = asked.number;
    // The countdown the devices show, in whole seconds.
    const int time = qMax(1, int(std::ceil(m_options.questionTimeoutMs / 1000.0)));
    void* log = &m_answers;
    switch (q.type) {
    case QuestionType::MultipleChoice:
        return m_hub->startMultichoiceSession(id, q.options, q.responses,
            DisplayOption_UpperCaseLetters, TimeUnit_0, time, &onStringAnswer, log);
    case QuestionType::YesNo:
        return m_hub->startYesNoSession(id, q.thirdAnswer, TimeUnit_0, time, &onYesNoAnswer, log);
    case QuestionType::TrueFalse:
        return m_hub->startTrueFalseSession(
            id, q.thirdAnswer, TimeUnit_0, time, &onTrueFalseAnswer, log);
    case QuestionType::Likert:
        return m_hub->startLikertSession(id, q.scale, TimeUnit_0, time, &onLikertAnswer, log);
    case QuestionType::Numeric:
        return m_hub->startNumericSession(
            id, q.prompt, q.maxLength, TimeUnit_0, time, &onStringAnswer, log);
    case QuestionType::Text:
        return m_hub->startTextSession(
            id, q.prompt, q.maxLength, TimeUnit_0, time, q.maths, &onTextAnswer, log);
    case QuestionType::SortInOrder:
        return m_hub->startSortInOrderSession(id, q.options, q.responses,
            DisplayOption_UpperCaseLetters, TimeUnit_0, time, &onStringAnswer, log);
    case QuestionType::Message:
        return m_hub->startMessageSession(id, q.prompt, TimeUnit_0, time, &onMessageRead, log);
    }
    return false;
}

// Maths answers arrive as MathML; the table shows them as LaTeX, which reads better.
QString Lesson::shownValue(const Question& question, const QString& value)
{
    if (question.type != QuestionType::Text || !question.maths)
        return value;
    QString latex;
    return m_system.translateTextMathmlToLatex(value, latex, false, false) == 0 ? latex : value;
}

void Lesson::refreshNames()
{
    QList<DeviceDisplayInfo> devices;
    m_system.getTavioExpressionDisplayInfoList(m_hub->handle(), devices);
    for (const DeviceDisplayInfo& device : std::as_const(devices))
        m_names.insert(device.uid, device.name);
}

void Lesson::saveAnswers()
{
    const std::vector<Answer> answers = m_answers.answers();
    QString error;
    if (!m_options.csvPath.isEmpty()) {
        if (writeCsv(m_options.csvPath, m_asked, answers, m_selfPaced, m_names, error))
            m_out << "Answers written to " << m_options.csvPath << "\n";
        else {
            m_out << "Could not write " << error << "\n";
            m_ok = false;
        }
    }
    if (!m_options.jsonPath.isEmpty()) {
        if (writeJson(m_options.jsonPath, m_options.description, m_asked, answers, m_selfPaced,
                m_names, error))
            m_out << "Answers written to " << m_options.jsonPath << "\n";
        else {
            m_out << "Could not write " << error << "\n";
            m_ok = false;
        }
    }
}

void Lesson::shutdown()
{
    if (!m_system.isInitialised())
        return;
    const bool ok = m_system.shutdown();
    m_out << (ok ? "Shut down.\n" : "Shut down with errors.\n");
    m_out.flush();
    if (!ok)
        m_ok = false;
}

bool Lesson::runEventsUntil(
    const std::function<bool()>& done, int timeoutMs, const std::function<void()>& tick)
{
    bool finished = done();
    if (finished)
        return true;
    QElapsedTimer waited;
    waited.start();
    QEventLoop loop;
    QTimer timer;
    timer.setInterval(TickMs);
    QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
        if (tick)
            tick();
        finished = done();
        if (finished || waited.elapsed() >= timeoutMs)
            loop.quit();
    });
    timer.start();
    loop.exec();
    return finished;
}

} // namespace ClassroomDemo
