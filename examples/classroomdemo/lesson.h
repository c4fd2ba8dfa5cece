// A whole lesson, run the way presentation software runs one through the public library
// interface: find the hub, register the class under a PIN, name a few devices, ask the questions
// one by one with live progress, show the results, run a self-paced test, save every answer and
// shut down.
#pragma once

#include "answerlog.h"
#include "emulatedclass.h"
#include "questions.h"
#include "report.h"
#include "selfpaced.h"

#include <taviosystem/device.h>
#include <taviosystem/devicedisplayinfo.h>

#include <QtCore/QElapsedTimer>
#include <QtCore/QHash>
#include <QtCore/QJsonObject>
#include <QtCore/QList>
#include <QtCore/QString>
#include <QtCore/QTextStream>

#include <functional>
#include <memory>

namespace Taviosystem {
class TavioSystem;
class TwoPointFourGHzHub;
} // namespace Taviosystem

namespace ClassroomDemo {

struct LessonOptions
{
    QString pin = QStringLiteral("ABC");
    int classSize = 30; // learners the teacher waits for at registration
    QList<Question> questions;
    int registrationTimeoutMs = 5000;
    int questionTimeoutMs = 2000; // a question closes after this at the latest
    int quietMs = 300; // or once no answer came for this long
    // The self-paced test after the questions, unless selfPaced is off; the devices have
    // selfPacedTimeoutMs to finish it. loss is the radio's loss share, for the record.
    bool selfPaced = true;
    QList<Question> selfPacedQuestions;
    int selfPacedTimeoutMs = 10000;
    double loss = 0.1;
    QString csvPath;
    QString jsonPath;
    bool interactive = false; // progress bars instead of plain lines
    QJsonObject description; // what the JSON file says about the lesson
};

class Lesson
{
public:
    // learners: told each question before it is asked, so that the simulated class can answer.
    Lesson(const LessonOptions& options, EmulatedClass& learners, QTextStream& out);

    // The exit code: 0 when everything went as planned.
    int run();

    // A device registered or named, as a library thread reported it.
    struct DeviceEvent
    {
        QString name;
        quint32 uid = 0;
        Taviosystem::Device::SubType subType = Taviosystem::Device::SubType_None;
    };

private:
    bool findHub();
    bool registerClass();
    void listClass(const QList<Taviosystem::DeviceDisplayInfo>& devices);
    void nameDevices();
    void askQuestions();
    void ask(AskedQuestion& asked);
    bool startQuestion(const AskedQuestion& asked);
    QString shownValue(const Question& question, const QString& value);
    void runSelfPacedTest(); // in selfpaced.cpp
    void refreshNames();
    void saveAnswers();
    void shutdown();
    // Runs the event loop (the hubs' timers live in this thread) until done() or timeoutMs,
    // calling tick() every few milliseconds; answers done().
    bool runEventsUntil(
        const std::function<bool()>& done, int timeoutMs, const std::function<void()>& tick);
    qint64 now() const { return m_clock.elapsed(); }

    const LessonOptions& m_options;
    EmulatedClass& m_learners;
    QTextStream& m_out;
    Taviosystem::TavioSystem& m_system;
    Taviosystem::TwoPointFourGHzHub* m_hub = nullptr;
    QElapsedTimer m_clock;
    AnswerLog m_answers;
    EventList<DeviceEvent> m_joined;
    EventList<DeviceEvent> m_named;
    QHash<quint32, QString> m_names;
    QList<AskedQuestion> m_asked;
    SelfPacedResults m_selfPaced;
    // Kept until the lesson ends: the library may call it while the session winds down.
    std::unique_ptr<SelfPacedHost> m_selfPacedHost;
    bool m_ok = true;
};

} // namespace ClassroomDemo
