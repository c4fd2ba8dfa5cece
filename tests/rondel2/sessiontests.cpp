// Question sessions on the classroom-server hub: the checks before a start, the question
// documents, and every answer reported once.

#include "rondel2fixture.h"

#include "hub24/hub24records.h"

#include <taviosystem/taviosystem.h>

#include <QtCore/QJsonDocument>

using namespace TavioTest;
using namespace Taviosystem;
using ClassroomServer::Fault;

namespace {

const char* const SendQuestion = "entities/rondel_hub/sendQuestion";
const char* const StartAll = "entities/rondel_hub/startSessionAllDevices";

QVariantMap response(int id, const char* ordinal, const char* text)
{
    return { { "AnswerID", id }, { "Ordinal", ordinal }, { "AnswerText", text } };
}

class Rondel2SessionTest : public Rondel2Test
{
protected:
    void SetUp() override
    {
        Rondel2Test::SetUp();
        hub = startListed();
        ASSERT_NE(hub, nullptr);
        registerDevices(hub, 3);
    }

    // The question documents the last session sent, one per device.
    QList<QVariantMap> questionsSent(int count)
    {
        EXPECT_TRUE(waitForServerRequests(server, QLatin1String(SendQuestion), count, 5000));
        QList<QVariantMap> questions;
        for (const auto& request : server.requests(QLatin1String(SendQuestion)))
            questions.append(request.parameters.value("Question").toMap());
        return questions;
    }

    VirtualRondel2Hub* hub = nullptr;
};

TEST_F(Rondel2SessionTest, ChecksComeInOrder)
{
    EXPECT_FALSE(hub->startMultichoiceSession(
        0, 9, 9, DisplayOption_Digits, TimeUnit_0, 0, nullptr, nullptr));
    EXPECT_EQ(hub->getLastError(), Hub::Error_BadQuestionId);
    EXPECT_FALSE(hub->startMultichoiceSession(
        1, 9, 1, DisplayOption_Digits, TimeUnit_0, 0, nullptr, nullptr));
    EXPECT_EQ(hub->getLastError(), Hub::Error_NumOfOptionsNotWithinTheRange);
    EXPECT_FALSE(hub->startMultichoiceSession(
        1, 3, 4, DisplayOption_Digits, TimeUnit_0, 0, nullptr, nullptr));
    EXPECT_EQ(hub->getLastError(), Hub::Error_NumOfResponsesExceedsNumOfOptions);
    EXPECT_FALSE(hub->startLikertSession(1, 12, TimeUnit_0, 0, nullptr, nullptr));
    EXPECT_EQ(hub->getLastError(), Hub::Error_ScaleValueNotWithinTheRange);
    ASSERT_TRUE(hub->startYesNoSession(1, false, TimeUnit_0, 0, nullptr, nullptr));
    EXPECT_EQ(hub->sessionType(), Hub::SessionType_YesNo);
    EXPECT_FALSE(hub->startTrueFalseSession(1, false, TimeUnit_0, 0, nullptr, nullptr));
    EXPECT_EQ(hub->getLastError(), Hub::Error_CannotStartSessionBecauseCurrentlyInSession);
    // The question number is checked before the running session.
    EXPECT_FALSE(hub->startTrueFalseSession(0, false, TimeUnit_0, 0, nullptr, nullptr));
    EXPECT_EQ(hub->getLastError(), Hub::Error_BadQuestionId);
    EXPECT_TRUE(hub->stopSession());
    EXPECT_EQ(hub->sessionType(), Hub::SessionType_None);
    EXPECT_TRUE(waitForServerRequests(
        server, QStringLiteral("entities/rondel_hub/endSessionAllDevices"), 1, 3000));
}

struct DocumentCase
{
    const char* name;
    std::function<bool(VirtualRondel2Hub*)> start;
    QVariantMap expected; // members of the document, beside "QuestionNumber" 1
};

TEST_F(Rondel2SessionTest, EachSessionSendsItsQuestionDocumentOnceTheSessionHasStarted)
{
    const std::vector<DocumentCase> cases = {
        { "multiple choice, upper-case letters",
            [](VirtualRondel2Hub* h) {
                return h->startMultichoiceSession(
                    1, 4, 1, DisplayOption_UpperCaseLetters, TimeUnit_0, 0, nullptr, nullptr);
            },
            { { "QuestionType", "MultipleChoice" }, { "MaxResponses", 1 },
                { "PossibleResponses",
                    QVariantList { response(1, "A", "1"), response(2, "B", "2"),
                        response(3, "C", "3"), response(4, "D", "4") } } } },
        { "multiple response, lower-case letters",
            [](VirtualRondel2Hub* h) {
                return h->startMultichoiceSession(
                    2, 3, 2, DisplayOption_LowerCaseLetters, TimeUnit_0, 0, nullptr, nullptr);
            },
            { { "QuestionType", "MultipleResponse" }, { "MaxResponses", 2 },
                { "PossibleResponses",
                    QVariantList {
                        response(1, "a", "1"), response(2, "b", "2"), response(3, "c", "3") } } } },
        { "yes/no with the third choice",
            [](VirtualRondel2Hub* h) {
                return h->startYesNoSession(3, true, TimeUnit_0, 0, nullptr, nullptr);
            },
            { { "QuestionType", "TrueFalse" },
                { "PossibleResponses",
                    QVariantList { response(1, "Yes", "Yes"), response(2, "No", "No"),
                        response(3, "?", "?") } } } },
        { "true/false",
            [](VirtualRondel2Hub* h) {
                return h->startTrueFalseSession(4, false, TimeUnit_0, 0, nullptr, nullptr);
            },
            { { "QuestionType", "TrueFalse" },
                { "PossibleResponses",
                    QVariantList {
                        response(1, "True", "True"), response(2, "False", "False") } } } },
        { "Likert",
            [](VirtualRondel2Hub* h) {
                return h->startLikertSession(5, 4, TimeUnit_0, 0, nullptr, nullptr);
            },
            { { "QuestionType", "ScaleScore" },
                { "PossibleResponses",
                    QVariantList { response(1, "1", "1"), response(2, "2", "2"),
                        response(3, "3", "3"), response(4, "4", "4") } } } },
        { "numeric",
            [](VirtualRondel2Hub* h) {
                return h->startNumericSession(
                    6, QStringLiteral("How many?"), 5, TimeUnit_0, 0, nullptr, nullptr);
            },
            { { "QuestionType", "Gridded" }, { "QuestionText", "How many?" },
                { "MaxResponses", 5 } } },
        { "text",
            [](VirtualRondel2Hub* h) {
                return h->startTextSession(
                    7, QStringLiteral("Name it"), 20, TimeUnit_0, 0, false, nullptr, nullptr);
            },
            { { "QuestionType", "ShortAnswerWithOptions" }, { "QuestionText", "Name it" },
                { "MaxResponses", 20 } } },
        { "maths text",
            [](VirtualRondel2Hub* h) {
                return h->startTextSession(8,
                    QStringLiteral("Solve <math><mi>x</mi><mo>+</mo><mn>1</mn></math>"), 30,
                    TimeUnit_0, 0, true, nullptr, nullptr);
            },
            { { "QuestionType", "Equation" }, { "MathFormat", "MathML" },
                { "QuestionText", "Solve <LaTeX>x+1</LaTeX>" }, { "MaxResponses", 30 } } },
        { "sort in order, digits",
            [](VirtualRondel2Hub* h) {
                return h->startSortInOrderSession(
                    9, 3, 3, DisplayOption_Digits, TimeUnit_0, 0, nullptr, nullptr);
            },
            { { "QuestionType", "SortAndOrder" }, { "MaxResponses", 3 },
                { "PossibleResponses",
                    QVariantList {
                        response(1, "1", "1"), response(2, "2", "2"), response(3, "3", "3") } } } },
    };
    for (const DocumentCase& c : cases) {
        SCOPED_TRACE(c.name);
        server.clearRequests();
        // The session start is answered late: no question goes before it is.
        server.setFault(QLatin1String(StartAll), Fault::delay(250, 1));
        ASSERT_TRUE(c.start(hub));
        waitFor([] { return false; }, 150ms);
        EXPECT_EQ(server.requestCount(QLatin1String(SendQuestion)), 0);
        const QList<QVariantMap> questions = questionsSent(3);
        ASSERT_EQ(questions.size(), 3);
        const auto starts = server.requests(QLatin1String(StartAll));
        ASSERT_EQ(starts.size(), 1);
        EXPECT_EQ(starts.front().parameters.value("SessionParameters").toMap(),
            (QVariantMap { { "StartingQuestionNumber", 1 }, { "SectionCount", 1 },
                { "TotalQuestions", 1 }, { "NavType", "NoQuestionNavigation" } }));
        QVariantMap expected = c.expected;
        expected.insert(QStringLiteral("QuestionNumber"), 1);
        QList<quint32> devices;
        for (const auto& request : server.requests(QLatin1String(SendQuestion))) {
            devices.append(request.parameters.value("DeviceID").toUInt());
            EXPECT_EQ(QJsonDocument::fromVariant(request.parameters.value("Question"))
                          .toJson()
                          .toStdString(),
                QJsonDocument::fromVariant(expected).toJson().toStdString());
        }
        std::sort(devices.begin(), devices.end());
        EXPECT_EQ(devices, (QList<quint32> { 1001, 1002, 1003 }));
        ASSERT_TRUE(hub->stopSession());
    }
}

TEST_F(Rondel2SessionTest, EveryAnswerIsReportedOnceWithTheHostsQuestionIdAndNoneAfterTheStop)
{
    Recorder<QString> answers;
    auto record = [&answers](const QString& text) { answers.append(text); };
    QObject::connect(
        hub, &Hub::multichoiceSessionResponse, hub,
        [&](Hub*, quint32 uid, int q, QString r) {
            record(QStringLiteral("mc %1 %2 %3").arg(uid).arg(q).arg(r));
        },
        Qt::DirectConnection);
    QObject::connect(
        hub, &Hub::yesNoSessionResponse, hub,
        [&](Hub*, quint32 uid, int q, Hub::YesNoResponse r) {
            record(QStringLiteral("yn %1 %2 %3").arg(uid).arg(q).arg(int(r)));
        },
        Qt::DirectConnection);
    QObject::connect(
        hub, &Hub::trueFalseSessionResponse, hub,
        [&](Hub*, quint32 uid, int q, Hub::TrueFalseResponse r) {
            record(QStringLiteral("tf %1 %2 %3").arg(uid).arg(q).arg(int(r)));
        },
        Qt::DirectConnection);
    QObject::connect(
        hub, &Hub::likertSessionResponse, hub,
        [&](Hub*, quint32 uid, int q, int v) {
            record(QStringLiteral("lk %1 %2 %3").arg(uid).arg(q).arg(v));
        },
        Qt::DirectConnection);
    QObject::connect(
        hub, &Hub::numericSessionResponse, hub,
        [&](Hub*, quint32 uid, int q, QString r) {
            record(QStringLiteral("nu %1 %2 %3").arg(uid).arg(q).arg(r));
        },
        Qt::DirectConnection);
    QObject::connect(
        hub, &Hub::textSessionResponse, hub,
        [&](Hub*, quint32 uid, int q, QString r, bool valid) {
            record(QStringLiteral("tx %1 %2 %3 %4").arg(uid).arg(q).arg(r.left(5)).arg(valid));
        },
        Qt::DirectConnection);
    QObject::connect(
        hub, &Hub::sortInOrderSessionResponse, hub,
        [&](Hub*, quint32 uid, int q, QString r) {
            record(QStringLiteral("so %1 %2 %3").arg(uid).arg(q).arg(r));
        },
        Qt::DirectConnection);

    struct Step
    {
        std::function<bool()> start;
        const char* expected; // with %1 for the device
    };
    const std::vector<Step> steps = {
        { [&] {
             return hub->startMultichoiceSession(
                 11, 4, 2, DisplayOption_LowerCaseLetters, TimeUnit_0, 0, nullptr, nullptr);
         },
            "mc %1 11 ab" },
        { [&] {
             return hub->startMultichoiceSession(
                 12, 4, 1, DisplayOption_Digits, TimeUnit_0, 0, nullptr, nullptr);
         },
            "mc %1 12 1" },
        { [&] { return hub->startYesNoSession(13, false, TimeUnit_0, 0, nullptr, nullptr); },
            "yn %1 13 1" },
        { [&] { return hub->startTrueFalseSession(14, true, TimeUnit_0, 0, nullptr, nullptr); },
            "tf %1 14 1" },
        { [&] { return hub->startLikertSession(15, 5, TimeUnit_0, 0, nullptr, nullptr); },
            "lk %1 15 1" },
        { [&] {
             return hub->startNumericSession(
                 16, QStringLiteral("n"), 4, TimeUnit_0, 0, nullptr, nullptr);
         },
            "nu %1 16 42" },
        { [&] {
             return hub->startTextSession(
                 17, QStringLiteral("t"), 10, TimeUnit_0, 0, false, nullptr, nullptr);
         },
            "tx %1 17 hello 1" },
        { [&] {
             return hub->startTextSession(
                 18, QStringLiteral("m"), 10, TimeUnit_0, 0, true, nullptr, nullptr);
         },
            "tx %1 18 <math 1" },
        { [&] {
             return hub->startSortInOrderSession(
                 19, 3, 3, DisplayOption_Digits, TimeUnit_0, 0, nullptr, nullptr);
         },
            "so %1 19 321" },
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.expected);
        const std::size_t before = answers.size();
        ASSERT_TRUE(step.start());
        ASSERT_TRUE(waitFor([&] { return answers.size() == before + 3; }, 5000ms));
        // Nothing more arrives for this question.
        waitFor([] { return false; }, 200ms);
        EXPECT_EQ(answers.size(), before + 3);
        QStringList got;
        for (std::size_t i = before; i < answers.size(); ++i)
            got.append(answers.values().at(i));
        got.sort();
        EXPECT_EQ(got,
            (QStringList { QString::fromLatin1(step.expected).arg(1001),
                QString::fromLatin1(step.expected).arg(1002),
                QString::fromLatin1(step.expected).arg(1003) }));
        ASSERT_TRUE(hub->stopSession());
    }
    // After the stop an answer reaches nobody.
    const std::size_t after = answers.size();
    server.answerNow(qint64(hub->serial()), 1001, QStringLiteral("a"));
    waitFor([] { return false; }, 300ms);
    EXPECT_EQ(answers.size(), after);

    // Not one byte went to the board library under the hub's handle.
    for (const auto& write : emulator().allWrites())
        EXPECT_NE(write.handle, hub->handle());
}

TEST_F(Rondel2SessionTest, AnAnswerAnnouncedTwiceWhileItIsFetchedIsReportedForEachAnnouncement)
{
    Recorder<QString> answers;
    QObject::connect(
        hub, &Hub::numericSessionResponse, hub,
        [&](Hub*, quint32, int, QString r) { answers.append(r); }, Qt::DirectConnection);
    for (quint32 id : { 1001u, 1002u, 1003u }) {
        ClassroomServer::Learner learner = server.learners().at(int(id - 1001));
        learner.silent = true;
        server.setLearner(learner);
    }
    ASSERT_TRUE(
        hub->startNumericSession(3, QStringLiteral("n"), 4, TimeUnit_0, 0, nullptr, nullptr));
    ASSERT_TRUE(waitForServerRequests(server, QLatin1String(SendQuestion), 3, 5000));
    server.setFault(
        QStringLiteral("entities/rondel_hub/getQuestionResponse"), Fault::delay(200, 1));
    server.answerNow(qint64(hub->serial()), 1001, QStringLiteral("7"));
    waitFor([&] {
        return server.requestCount(QStringLiteral("entities/rondel_hub/getQuestionResponse")) == 1;
    });
    server.answerNow(qint64(hub->serial()), 1001, QStringLiteral("8"));
    ASSERT_TRUE(waitFor([&] { return answers.size() == 2; }, 3000ms));
    waitFor([] { return false; }, 200ms);
    EXPECT_EQ(answers.values(), (std::vector<QString> { "7", "8" }));
}

TEST_F(Rondel2SessionTest, RegistrationRefusesAShortPinAndReportsEachDeviceOncePerWindow)
{
    server.setFault(QStringLiteral("entities/rondel_hub/checkOutPin"),
        Fault::replaceResult(QStringLiteral("K7"), 1));
    RegistrationCode code;
    EXPECT_FALSE(hub->asGetRegistrationPin(code));
    server.setPinAsNumber(false);
    server.setPinPool({ QStringLiteral("ZQ4") });
    ASSERT_TRUE(hub->asGetRegistrationPin(code));
    EXPECT_EQ(code.char1(), 'Z');
    EXPECT_EQ(code.char2(), 'Q');
    EXPECT_EQ(code.char3(), '4');
    server.setFault(
        QStringLiteral("entities/rondel_hub/startRegistrationSession"), Fault::errorReply({}, 1));
    EXPECT_FALSE(hub->startExpressionRegistrationSession(0, 0, 0, code));
    EXPECT_EQ(hub->sessionType(), Hub::SessionType_None);
    ASSERT_TRUE(hub->startExpressionRegistrationSession(0, 0, 0, code));
    EXPECT_EQ(hub->sessionType(), Hub::SessionType_ExpressionRegistration);
    EXPECT_EQ(server.requests(QStringLiteral("entities/rondel_hub/startRegistrationSession"))
                  .back()
                  .parameters,
        (QVariantMap { { "Pin", "ZQ4" }, { "IncludeExistingDevices", false },
            { "id", qint64(hub->serial()) } }));
    const std::size_t before = registered.size();
    const qint64 serial = qint64(hub->serial());
    const QString source = QStringLiteral("Rondel.Hub.%1").arg(serial);
    server.queueBeaconSignal(serial, QStringLiteral("DeviceRegistered"), source, 1002);
    server.queueBeaconSignal(
        serial, QStringLiteral("DeviceRegistered"), source, QStringLiteral("1002"));
    server.queueBeaconSignal(serial, QStringLiteral("DeviceRegistered"), source, 1001);
    ASSERT_TRUE(waitFor([&] { return registered.size() == before + 2; }));
    waitFor([] { return false; }, 200ms);
    EXPECT_EQ(registered.size(), before + 2);
    // Stopping the session closes the window and gives the PIN back.
    EXPECT_TRUE(hub->stopSession());
    EXPECT_EQ(hub->sessionType(), Hub::SessionType_None);
    ASSERT_TRUE(
        waitForServerRequests(server, QStringLiteral("entities/rondel_hub/releasePin"), 2, 3000));
    EXPECT_EQ(server.requests(QStringLiteral("entities/rondel_hub/releasePin"))
                  .back()
                  .parameters.value("Pin"),
        QVariant("ZQ4"));
    EXPECT_GE(server.requestCount(QStringLiteral("entities/rondel_hub/endRegistrationSession")), 2);
}

TEST_F(Rondel2SessionTest, TheRegistrationInformationIsMadeUp)
{
    InformationResponse info;
    EXPECT_TRUE(hub->getRegistrationInfo(&info));
    EXPECT_TRUE(info.isValid());
    EXPECT_EQ(info.votingDevicesRegistered, 1);
    EXPECT_EQ(info.votingDeviceCapacity, 32767);
    EXPECT_EQ(info.boardsRegistered, 0);
}

} // namespace
