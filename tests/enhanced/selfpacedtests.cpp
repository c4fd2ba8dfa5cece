// Whole self-paced tests and generic sessions, run as a host runs them: a class of emulated answer
// devices asks for its session and its questions, the host answers every request through the
// public session objects, chunks get lost on the radio, pieces of answers are lost, repeated and
// reordered, and every answer has to arrive once, decoded, under the right question number.

#include "support/emulatorfixture.h"

#include <taviosystem/enhancedgenericsession.h>
#include <taviosystem/enhancedquestionsession.h>

#include <tavioemulator/enhancedfirmware.h>

#include <QtCore/QBitArray>
#include <QtCore/QXmlStreamReader>

#include <map>
#include <memory>
#include <set>

using namespace Taviosystem;
using namespace TavioTest;
using TavioEmulator::EmulatedDevice;
using TavioEmulator::EnhancedFirmware;
using TavioEmulator::EnhancedQuestionInfo;

namespace {

const int Handle = 6;
const int ClassSize = 30;
const int QuestionCount = 10;
const std::uint32_t FirstUid = 0x0C200000;

std::uint32_t uidOf(int learner) { return FirstUid + std::uint32_t(learner); }

// A question text long enough to travel in several chunks.
QString longText(int number)
{
    return QStringLiteral("Question %1: read the passage carefully, then choose the answer that "
                          "fits best. Take your time; you may come back to it later.")
        .arg(number);
}

std::vector<std::unique_ptr<EnhancedQuestion>> questionSet()
{
    std::vector<std::unique_ptr<EnhancedQuestion>> set;
    set.push_back(std::make_unique<MultichoiceQuestion>(
        1, longText(1), longText(1), 4, 1, DisplayOption_Digits, QStringLiteral("2")));
    set.push_back(std::make_unique<YesNoQuestion>(
        2, longText(2), longText(2), true, YesNoQuestion::Answer_Yes));
    set.push_back(std::make_unique<TrueFalseQuestion>(
        3, QStringLiteral("True?"), QStringLiteral("True?"), true, TrueFalseQuestion::Answer_True));
    set.push_back(std::make_unique<LikertQuestion>(
        4, QStringLiteral("How sure are you?"), QStringLiteral("How sure are you?"), 5, 0));
    set.push_back(std::make_unique<NumericQuestion>(
        5, QStringLiteral("Pi to two places?"), QStringLiteral("Pi?"), 10, QStringLiteral("3.14")));
    auto square = std::make_unique<TextQuestion>(6, QStringLiteral("Square <LaTeX>x</LaTeX>"),
        QStringLiteral("Square x"), 40, QStringLiteral("x^2"), QStringLiteral("x^{2}"), true);
    set.push_back(std::move(square));
    set.push_back(std::make_unique<SortInOrderQuestion>(
        7, longText(7), longText(7), 4, 4, DisplayOption_UpperCaseLetters, QStringLiteral("DCBA")));
    set.push_back(std::make_unique<MultichoiceQuestion>(8, QStringLiteral("Pick two"),
        QStringLiteral("Pick two"), 6, 2, DisplayOption_LowerCaseLetters, QStringLiteral("ac")));
    set.push_back(std::make_unique<TextQuestion>(
        9, longText(9), longText(9), 100, QStringLiteral("fox"), QStringLiteral("fox"), false));
    set.push_back(std::make_unique<NumericQuestion>(10, QStringLiteral("Ten squared?"),
        QStringLiteral("Ten squared?"), 5, QStringLiteral("100")));
    return set;
}

// What a learner types for a question, and what the host must receive for it.
struct Expected
{
    std::string typed;
    QString received;
};

Expected expectedAnswer(int learner, int question, const QString& squareMathml)
{
    switch (question) {
    case 1:
        return { learner % 2 ? "B" : "D", learner % 2 ? "2" : "4" };
    case 2:
        return { learner % 2 ? "A" : "B", learner % 2 ? "2" : "1" };
    case 3:
        return { "C", "3" };
    case 4:
        return { std::to_string(1 + learner % 5), QString::number(1 + learner % 5) };
    case 5:
        return { "3.14", "3.14" };
    case 6:
        return { "x^2", squareMathml };
    case 7:
        return { "DCBA", "DCBA" };
    case 8:
        return { "ac", "ac" };
    case 9:
        return { "the quick brown fox, learner " + std::to_string(learner),
            QStringLiteral("the quick brown fox, learner %1").arg(learner) };
    default:
        return { std::to_string(100 + learner), QString::number(100 + learner) };
    }
}

struct Answer
{
    quint32 uid;
    int question;
    QString value;
    bool valid;
};

// The host: answers every request from the question set and records every answer. Runs on
// the event thread.
struct Host
{
    std::vector<std::unique_ptr<EnhancedQuestion>> questions = questionSet();
    Recorder<Answer> answers;
    Recorder<quint32> parameterRequests;
    Recorder<int> refusals;

    static Host* of(void* context) { return static_cast<Host*>(context); }
    static void onParameters(EnhancedQuestionSession* session, quint32 uid, int, void* context)
    {
        Host::of(context)->parameterRequests.append(uid);
        if (!session->sendSessionParameters(uid, QuestionCount, 1, false, QBitArray(), 0))
            Host::of(context)->refusals.append(0);
    }
    static void onQuestion(EnhancedQuestionSession* session, quint32 uid, int number, void* context)
    {
        Host* host = Host::of(context);
        if (number < 1 || number > QuestionCount
            || !session->sendQuestion(uid, host->questions[std::size_t(number - 1)].get()))
            host->refusals.append(number);
    }
    static void onString(
        EnhancedQuestionSession*, quint32 uid, int number, const QString& answer, void* context)
    {
        Host::of(context)->answers.append({ uid, number, answer, true });
    }
    static void onYesNo(EnhancedQuestionSession*, quint32 uid, int number,
        YesNoQuestion::Answer answer, void* context)
    {
        Host::of(context)->answers.append({ uid, number, QString::number(int(answer)), true });
    }
    static void onTrueFalse(EnhancedQuestionSession*, quint32 uid, int number,
        TrueFalseQuestion::Answer answer, void* context)
    {
        Host::of(context)->answers.append({ uid, number, QString::number(int(answer)), true });
    }
    static void onLikert(
        EnhancedQuestionSession*, quint32 uid, int number, int value, void* context)
    {
        Host::of(context)->answers.append({ uid, number, QString::number(value), true });
    }
    static void onText(EnhancedQuestionSession*, quint32 uid, int number, const QString& answer,
        void* context, bool valid)
    {
        Host::of(context)->answers.append({ uid, number, answer, valid });
    }

    EnhancedQuestionSession::CallbacksInfo callbacks()
    {
        EnhancedQuestionSession::CallbacksInfo info;
        info.getSessionParameters = &Host::onParameters;
        info.getQuestion = &Host::onQuestion;
        info.multichoiceAnswer = &Host::onString;
        info.yesNoAnswer = &Host::onYesNo;
        info.trueFalseAnswer = &Host::onTrueFalse;
        info.likertAnswer = &Host::onLikert;
        info.numericAnswer = &Host::onString;
        info.textAnswer = &Host::onText;
        info.sortInOrderAnswer = &Host::onString;
        info.context = this;
        return info;
    }
};

class SelfPacedTest : public EmulatorTest
{
protected:
    void SetUp() override
    {
        EmulatorTest::SetUp();
        devices = std::make_shared<EnhancedFirmware>();
        auto radio = TavioEmulator::radioFirmwareFor(devices);
        radio->setAnsweringKinds({});
        for (int learner = 0; learner < ClassSize; ++learner)
            radio->addDevice(EmulatedDevice::expressionV2(
                uidOf(learner), quint16(0x0400 + learner), "Learner " + std::to_string(learner)));
        emulated = plugTavioHub(Handle, radio);
        initialiseSystem();
        hub = system->tavioHub(Handle);
        ASSERT_NE(hub, nullptr);
        hub->setResponseTimeout(500);
        QList<Device*> list;
        ASSERT_TRUE(hub->getDeviceList(Device::Type_Expression, &list));
        ASSERT_EQ(list.size(), ClassSize);
    }

    std::shared_ptr<EnhancedFirmware> devices;
    TavioEmulator::EmulatedHub* emulated = nullptr;
    TestTavioHub* hub = nullptr;
};

TEST_F(SelfPacedTest, AClassRunsATestThroughLossyRadio)
{
    QString squareMathml;
    ASSERT_EQ(system->translateTextLatexToMathml(QStringLiteral("x^2"), squareMathml, true), 0);
    devices->setLoss(0.1, 0.1, 7);
    devices->setPieceFaults(0.1, 0.2, 0.2, 5);
    devices->setDeviceDelays(0ms, 20ms, 3);
    devices->setRequestRetry(50ms, 20);
    devices->setAnswerSource(
        [squareMathml](const EmulatedDevice& device, const EnhancedQuestionInfo& question) {
            return std::optional<std::string>(
                expectedAnswer(int(device.uid - FirstUid), question.number, squareMathml).typed);
        });

    Host host;
    EnhancedQuestionSession* session = hub->enhancedQuestionSession();
    ASSERT_NE(session, nullptr);
    EXPECT_EQ(hub->enhancedQuestionSession(), session);
    session->setCallbacks(host.callbacks());
    ASSERT_TRUE(session->startSession(false));
    ASSERT_TRUE(devices->waitUntilFinished(60s));
    ASSERT_TRUE(waitFor([&] { return host.answers.size() >= ClassSize * QuestionCount; }, 5000ms));
    ASSERT_TRUE(session->stopSession());

    EXPECT_EQ(host.refusals.size(), 0u);
    EXPECT_EQ(host.parameterRequests.size(), std::size_t(ClassSize));
    std::map<std::pair<quint32, int>, int> seen;
    for (const Answer& answer : host.answers.values()) {
        ++seen[{ answer.uid, answer.question }];
        const int learner = int(answer.uid - FirstUid);
        ASSERT_GE(learner, 0);
        ASSERT_LT(learner, ClassSize);
        EXPECT_EQ(answer.value, expectedAnswer(learner, answer.question, squareMathml).received)
            << "learner " << learner << ", question " << answer.question;
        EXPECT_TRUE(answer.valid);
    }
    EXPECT_EQ(seen.size(), std::size_t(ClassSize * QuestionCount));
    for (const auto& [key, count] : seen)
        EXPECT_EQ(count, 1) << "uid " << key.first << ", question " << key.second;

    // The radio lost chunks and acknowledgements, lost, repeated and swapped pieces, and the
    // transport made up for them.
    int chunksLost = 0;
    int acksLost = 0;
    int piecesLost = 0;
    int piecesRepeated = 0;
    int piecesSwapped = 0;
    for (const auto& report : devices->reports()) {
        chunksLost += report.chunksLost;
        acksLost += report.acksLost;
        piecesLost += report.piecesLost;
        piecesRepeated += report.piecesRepeated;
        piecesSwapped += report.piecesSwapped;
        EXPECT_EQ(int(report.answers.size()), QuestionCount);
        ASSERT_TRUE(report.parameters);
        EXPECT_EQ(report.parameters->totalQuestions, QuestionCount);
    }
    EXPECT_GT(chunksLost, 0);
    EXPECT_GT(acksLost, 0);
    EXPECT_GT(piecesLost, 0);
    EXPECT_GT(piecesRepeated, 0);
    EXPECT_GT(piecesSwapped, 0);
    EXPECT_EQ(devices->counters().abandonedMessages, 0);
}

TEST_F(SelfPacedTest, DefaultParametersAnswerDevicesWithoutTheHost)
{
    Host host;
    EnhancedQuestionSession* session = hub->enhancedQuestionSession();
    session->setCallbacks(host.callbacks());
    session->setDefaultSessionParameters(2, 5, true, QBitArray(9, true), 3);
    devices->setParticipants({ uidOf(0), uidOf(1) });
    ASSERT_TRUE(session->startSession(false));
    ASSERT_TRUE(devices->waitUntilFinished(10s));
    // The last answers went out; the host has them once the event thread has caught up.
    ASSERT_TRUE(waitFor([&] { return host.answers.size() == 4; }));
    ASSERT_TRUE(session->stopSession());
    EXPECT_EQ(host.parameterRequests.size(), 0u);
    for (const auto& report : devices->reports()) {
        ASSERT_TRUE(report.parameters);
        EXPECT_EQ(report.parameters->totalQuestions, 2);
        EXPECT_EQ(report.parameters->firstQuestion(), 5);
        EXPECT_EQ(report.parameters->flags, 0x07);
        EXPECT_EQ(report.parameters->mask, (TavioEmulator::Bytes { 0xFF, 0x01 }));
        EXPECT_EQ(report.parameters->lastParameter, 3);
    }
    // Each asked for questions 5 and 6 of the set, a numeric and a text question.
    std::multiset<int> numbers;
    for (const Answer& answer : host.answers.values())
        numbers.insert(answer.question);
    EXPECT_EQ(numbers, (std::multiset<int> { 5, 5, 6, 6 }));
}

struct DeviceMessage
{
    quint32 uid;
    QByteArray bytes;
};

void onDeviceMessage(EnhancedGenericSession*, quint32 uid, const QByteArray& message, void* context)
{
    static_cast<Recorder<DeviceMessage>*>(context)->append({ uid, message });
}

TEST_F(SelfPacedTest, GenericDevicesFetchTheirFilesAndAnswer)
{
    devices->setParticipants({ uidOf(0), uidOf(1), uidOf(2) });
    devices->setLoss(0.1, 0.1, 11);
    devices->setRequestRetry(50ms, 20);
    // A device answers each host message with a yes/no answer to question 7.
    devices->setGenericAnswerSource([](const EmulatedDevice&, const TavioEmulator::Bytes&) {
        return std::optional<TavioEmulator::Bytes>({ 2, 0, 7, 'A' });
    });

    EnhancedGenericSession* session = hub->getEnhancedGenericSession();
    ASSERT_NE(session, nullptr);
    Recorder<DeviceMessage> received;
    session->setDeviceMessageReceivedCallback(&onDeviceMessage, &received);
    QByteArray picture(300, '\0');
    for (int i = 0; i < picture.size(); ++i)
        picture[i] = char(i * 7);
    ApplicationFileInfo image;
    image.id = QUuid::createUuid();
    image.fileType = 3;
    image.data = picture;
    ApplicationFileInfo hidden;
    hidden.id = QUuid::createUuid();
    hidden.fileType = 6;
    hidden.data = "not listed";
    ApplicationFileInfo xml;
    xml.id = QUuid::createUuid();
    xml.fileType = 1;
    xml.data = "<quiz/>";
    ASSERT_TRUE(session->startSession());
    session->setApplicationFileList({ image, hidden, xml });
    ASSERT_TRUE(devices->waitUntilFinished(20s));

    for (const auto& report : devices->reports()) {
        QXmlStreamReader reader(QByteArray::fromStdString(report.description));
        ASSERT_TRUE(reader.readNextStartElement());
        EXPECT_EQ(reader.name(), QStringLiteral("session"));
        EXPECT_EQ(reader.attributes().value("type"), QStringLiteral("M"));
        ASSERT_EQ(report.files.size(), 2u);
        EXPECT_EQ(report.files[0].type, "IM");
        EXPECT_EQ(report.files[0].id, image.id.toString(QUuid::WithoutBraces).toStdString());
        EXPECT_EQ(report.files[0].size, 301u);
        EXPECT_EQ(report.files[1].type, "XM");
        ASSERT_EQ(report.fileContents.size(), 2u);
        const TavioEmulator::Bytes content = report.fileContents.at(report.files[0].fid);
        EXPECT_EQ(toQByteArray(content), QByteArray(1, '\x03') + picture);
        EXPECT_EQ(toQByteArray(report.fileContents.at(report.files[1].fid)),
            QByteArray(1, '\x01') + "<quiz/>");
    }

    // The host talks to one device; it answers, and asks for question 300.
    ASSERT_TRUE(session->sendAsyncMessage(uidOf(1), "next question, please"));
    ASSERT_TRUE(devices->sendControl(uidOf(2), 3, 300));
    ASSERT_TRUE(waitFor([&] { return received.size() == 2; }, 5000ms));
    std::map<quint32, QByteArray> byUid;
    for (const DeviceMessage& message : received.values())
        byUid[message.uid] = message.bytes;
    EXPECT_EQ(byUid[uidOf(1)],
        QByteArray("\x01<?xml version=\"1.0\" encoding=\"utf-8\"?><response><answer qtype=\"QYN\" "
                   "qnumber=\"7\">A</answer></response>"));
    EXPECT_EQ(byUid[uidOf(2)],
        QByteArray("\x01<?xml version=\"1.0\" encoding=\"utf-8\"?><request "
                   "type=\"Q\"><id>300</id></request>"));
    const auto report = devices->report(uidOf(1));
    ASSERT_TRUE(report);
    ASSERT_FALSE(report->messages.empty());
    EXPECT_EQ(toQByteArray(report->messages.back().bytes), QByteArray("next question, please"));
    ASSERT_TRUE(session->stopSession());
}

// A host may list its files before it starts the session: the description the devices fetch
// lists them, also after a start the hub refused. A stop takes them back.
TEST_F(SelfPacedTest, FilesListedBeforeTheStartAreServed)
{
    devices->setParticipants({ uidOf(0), uidOf(1) });
    EnhancedGenericSession* session = hub->getEnhancedGenericSession();
    ASSERT_NE(session, nullptr);
    ApplicationFileInfo xml;
    xml.id = QUuid::createUuid();
    xml.fileType = 1;
    xml.data = "<quiz/>";
    session->setApplicationFileList({ xml });

    emulated->refuseNextWrites(1);
    EXPECT_FALSE(session->startSession());
    ASSERT_TRUE(session->startSession());
    ASSERT_TRUE(devices->waitUntilFinished(10s));
    for (const auto& report : devices->reports()) {
        ASSERT_EQ(report.files.size(), 1u);
        EXPECT_EQ(report.files[0].type, "XM");
        EXPECT_EQ(report.files[0].id, xml.id.toString(QUuid::WithoutBraces).toStdString());
        ASSERT_EQ(report.fileContents.count(report.files[0].fid), 1u);
        EXPECT_EQ(toQByteArray(report.fileContents.at(report.files[0].fid)),
            QByteArray(1, '\x01') + "<quiz/>");
    }
    ASSERT_TRUE(session->stopSession());

    ASSERT_TRUE(session->startSession());
    ASSERT_TRUE(devices->waitUntilFinished(10s));
    for (const auto& report : devices->reports()) {
        EXPECT_EQ(report.description,
            "<?xml version=\"1.0\" encoding=\"utf-8\"?><session type=\"MF\"></session>");
        EXPECT_TRUE(report.files.empty());
    }
    ASSERT_TRUE(session->stopSession());
}

} // namespace
