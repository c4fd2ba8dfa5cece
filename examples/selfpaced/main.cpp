// A self-paced test on a 2.4 GHz hub's answer devices: the enhanced question session serves
// each device the session parameters and the questions it asks for, and hands back every answer
// decoded. Newer devices can instead exchange plain messages through the enhanced generic
// session. The regions between the //! markers are shown in the README and the API reference.

#include <taviosystem/enhancedgenericsession.h>
#include <taviosystem/enhancedquestionsession.h>
#include <taviosystem/taviosystem.h>
#include <taviosystem/twopointfourghzhub.h>

#include <QtCore/QCoreApplication>
#include <QtCore/QDebug>
#include <QtCore/QUuid>

#include <examplehost.h>

#include <vector>

using namespace Taviosystem;
using ExampleHost::waitSeconds;

// The test, by question number from 1.
static std::vector<const EnhancedQuestion*> questions;

//! [selfpaced]
void onParameters(EnhancedQuestionSession* s, quint32 uid, int localeId, void* context)
{
    s->sendSessionParameters(uid, 10, 1, false, QBitArray(), 0); // 10 questions from number 1
}

void onQuestion(EnhancedQuestionSession* s, quint32 uid, int number, void* context)
{
    s->sendQuestion(uid, questions[number - 1]); // MultichoiceQuestion, TextQuestion, ...
}

void onText(EnhancedQuestionSession* s, quint32 uid, int number, const QString& answer,
    void* context, bool valid)
{
    qInfo() << "device" << uid << "question" << number << answer << (valid ? "" : "(raw)");
}

void runSelfPacedTest(Hub* hub, void* context)
{
    EnhancedQuestionSession* session = hub->enhancedQuestionSession(); // owned by the hub
    EnhancedQuestionSession::CallbacksInfo callbacks;
    callbacks.getSessionParameters = &onParameters;
    callbacks.getQuestion = &onQuestion;
    callbacks.textAnswer = &onText; // and multichoiceAnswer, yesNoAnswer, ...
    callbacks.context = context;
    session->setCallbacks(callbacks);
    session->startSession(false); // true: timers stand in for the devices
    waitSeconds(60); // devices work through the test
    session->stopSession();
}
//! [selfpaced]

//! [generic]
void onDeviceMessage(
    EnhancedGenericSession* session, quint32 uid, const QByteArray& message, void* context)
{
    qInfo() << "device" << uid << "sent" << message; // 0x01 and an XML document, or 0x03 ...
}

void runGenericSession(Hub* hub, quint32 uid, const QByteArray& questionBytes,
    const ApplicationFileInfo& imageFile, const ApplicationFileInfo& quizFile, void* context)
{
    EnhancedGenericSession* generic = hub->getEnhancedGenericSession(); // owned by the hub
    generic->setDeviceMessageReceivedCallback(&onDeviceMessage, context);
    generic->startSession();
    generic->setApplicationFileList({ imageFile, quizFile }); // id, type, bytes
    generic->sendAsyncMessage(uid, questionBytes);
    waitSeconds(60);
    generic->stopSession();
}
//! [generic]

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    TavioSystem& system = TavioSystem::instance();
    if (!ExampleHost::initialise(system))
        return 1;
    MultichoiceQuestion first(1, QStringLiteral("Largest planet?"),
        QStringLiteral("Largest planet?"), 4, 1, DisplayOption_UpperCaseLetters,
        QStringLiteral("C"));
    TextQuestion second(2, QStringLiteral("Half of one?"), QStringLiteral("Half of one?"), 20,
        QStringLiteral("\\frac{1}{2}"), QStringLiteral("\\frac{1}{2}"), true);
    questions = { &first, &second };

    QList<Hub*> hubs;
    system.getHubList(&hubs);
    for (Hub* hub : hubs) {
        auto* hub24 = qobject_cast<TwoPointFourGHzHub*>(hub);
        if (!hub24)
            continue;
        runSelfPacedTest(hub24, nullptr);
        QList<Device*> devices;
        if (hub24->getDeviceList(Device::Type_Expression, &devices) && !devices.isEmpty()) {
            ApplicationFileInfo image { QUuid::createUuid(), 0, ApplicationFileInfo::FileType_Image,
                QByteArray(64, 'i') };
            ApplicationFileInfo quiz { QUuid::createUuid(), 0, ApplicationFileInfo::FileType_Xml,
                QByteArrayLiteral("<quiz/>") };
            runGenericSession(
                hub24, devices.first()->uid(), QByteArrayLiteral("hello"), image, quiz, nullptr);
        }
        break;
    }
    system.shutdown();
}
