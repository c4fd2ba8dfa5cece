// What a host does with a 2.4 GHz hub: read its devices, take pen input, register learners
// under a PIN, ask a question and hear every answer, and convert maths. The regions between the
// //! markers are shown in the README and the API reference.

#include "lesson.h"

#include <taviosystem/taviohubregistrationsession.h>
#include <taviosystem/taviosystem.h>
#include <taviosystem/twopointfourghzhub.h>

#include <QtCore/QDebug>

#include <examplehost.h>

using namespace Taviosystem;
using ExampleHost::waitSeconds;

void onPen(Hub* hub, unsigned int penId, int x, int y, bool tip, bool barrel, void* context)
{
    qInfo() << "pen" << penId << x << y << tip << barrel;
}

//! [hub24]
void showHub(TavioSystem& system, Hub* somehub, void* context)
{
    auto* hub = qobject_cast<TwoPointFourGHzHub*>(somehub);
    QString name = hub->name(); // "???" when the hub does not answer
    QList<Device*> voters;
    hub->getDeviceList(Device::Type_Vote, &voters); // read again on demand after a change
    hub->setPenEventCallback(&onPen, context); // or connect to penEventReceived
    QList<DeviceDisplayInfo> display; // or, without touching the hub object:
    system.getTavioVoteDisplayInfoList(hub->handle(), display);
    qInfo() << name << voters.size() << "voters";
}
//! [hub24]

//! [question]
void onAnswer(Hub* hub, unsigned int uid, int questionId, const QString& answer, void* context)
{
    // Runs on the board library's packet thread.
    qInfo() << "question" << questionId << "device" << uid << "answered" << answer;
}

void askQuestion(Hub* hub, void* context)
{
    hub->startMultichoiceSession(
        1, 4, 1, DisplayOption_UpperCaseLetters, TimeUnit_0, 30, &onAnswer, context);
    waitSeconds(30); // answers arrive
    hub->stopSession();
}
//! [question]

//! [registration]
void registerVoters(TavioSystem& system, Hub* hub)
{
    const TaviohubRegistrationSession* registration
        = system.startTaviohubRegistrationSession(hub->handle());
    if (!registration)
        return;
    QObject::connect(registration, &TaviohubRegistrationSession::voteDeviceRegistered, registration,
        [](const QString& name, quint32 uid) { qInfo() << "joined" << uid << name; });
    registration->startVoteRegistrationSession(0, 0, 0, RegistrationCode(QStringLiteral("ABC")));
    waitSeconds(20); // learners key in ABC
    registration->stopVoteRegistrationSession();
    system.stopTaviohubRegistrationSession();
}
//! [registration]

//! [maths]
void convertMaths(TavioSystem& system, const QString& questionWithMathml)
{
    QString mathml, latex;
    system.translateTextLatexToMathml(
        QStringLiteral("\\frac{1}{2}"), mathml, true); // second dialect
    system.translateTextMathmlToLatex(mathml, latex, true, false);
    int length = 0;
    int result = system.validateQuestion(questionWithMathml, length); // -2: longer than 512
    qInfo() << mathml << latex << result << length;
}
//! [maths]

void runLesson(TavioSystem& system, const QList<Hub*>& hubs)
{
    for (Hub* hub : hubs) {
        if (!qobject_cast<TwoPointFourGHzHub*>(hub))
            continue;
        showHub(system, hub, nullptr);
        registerVoters(system, hub);
        askQuestion(hub, nullptr);
        break;
    }
    convertMaths(
        system, QStringLiteral("Simplify <math><mfrac><mn>2</mn><mn>4</mn></mfrac></math>"));
}
